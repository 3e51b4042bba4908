// How a fit spreads independent evaluations over processes: one process, or the ranks of an MPI job.
//
// Every process runs the same fit. A batch of tasks is numbered 0, 1, ...;
// task t is computed by rank t mod size, and then every rank receives every
// task's result, so that all ranks take the same next step. Only rank 0
// writes files and prints. The results do not depend on the number of
// ranks: a task's result depends only on the task.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <memory>
#include <utility>
#include <vector>

namespace velmorant::fit {

class TaskDistribution {
public:
  virtual ~TaskDistribution() = default;
  virtual int rank() const = 0;
  virtual int size() const = 0;
  bool mine(int task) const { return task % size() == rank(); }
  // `mine`: (task number, its result) for the tasks this rank computed.
  // Returns the results of tasks 0 .. tasks - 1 in order, on every rank.
  virtual std::vector<std::vector<double>> gather(
      int tasks, const std::vector<std::pair<int, std::vector<double>>>& mine) = 0;
  // Ends the whole job at once after an error on one rank (status = exit status).
  [[noreturn]] virtual void abort(int status) = 0;
};

// One process.
class SingleProcess final : public TaskDistribution {
public:
  int rank() const override { return 0; }
  int size() const override { return 1; }
  std::vector<std::vector<double>> gather(
      int tasks, const std::vector<std::pair<int, std::vector<double>>>& mine) override;
  [[noreturn]] void abort(int status) override;
};

// The ranks of an MPI job when the fit was built with MPI and started by
// mpirun/srun; otherwise a single process. Initialises MPI (kept until the
// returned object is destroyed, which finalises it).
std::unique_ptr<TaskDistribution> make_task_distribution(int& argc, char**& argv);

// Whether this build can spread a fit over MPI ranks.
bool built_with_mpi();

}  // namespace velmorant::fit
