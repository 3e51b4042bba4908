// How a fit spreads independent evaluations over processes: one process, or the ranks of an MPI job.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/fit/task_distribution.hpp"

#include <cstdlib>
#include <cstring>

#ifdef VELMORANT_FIT_MPI
#include <mpi.h>
#endif

namespace velmorant::fit {

std::vector<std::vector<double>> SingleProcess::gather(
    int tasks, const std::vector<std::pair<int, std::vector<double>>>& mine) {
  std::vector<std::vector<double>> all(static_cast<std::size_t>(tasks));
  for (const auto& [t, v] : mine) all[std::size_t(t)] = v;
  return all;
}

void SingleProcess::abort(int status) { std::exit(status); }

#ifdef VELMORANT_FIT_MPI
namespace {

class MpiRanks final : public TaskDistribution {
public:
  MpiRanks() {
    MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
    MPI_Comm_size(MPI_COMM_WORLD, &size_);
  }
  ~MpiRanks() override { MPI_Finalize(); }
  int rank() const override { return rank_; }
  int size() const override { return size_; }

  std::vector<std::vector<double>> gather(
      int tasks, const std::vector<std::pair<int, std::vector<double>>>& mine) override {
    // Packed as: task, length, values ... for each task of this rank.
    std::vector<double> packed;
    for (const auto& [t, v] : mine) {
      packed.push_back(double(t));
      packed.push_back(double(v.size()));
      packed.insert(packed.end(), v.begin(), v.end());
    }
    int length = int(packed.size());
    std::vector<int> lengths(static_cast<std::size_t>(size_)),
        offsets(static_cast<std::size_t>(size_));
    MPI_Allgather(&length, 1, MPI_INT, lengths.data(), 1, MPI_INT, MPI_COMM_WORLD);
    int total = 0;
    for (int r = 0; r < size_; ++r)
      offsets[std::size_t(r)] = total, total += lengths[std::size_t(r)];
    std::vector<double> everything(static_cast<std::size_t>(total));
    MPI_Allgatherv(packed.data(), length, MPI_DOUBLE, everything.data(), lengths.data(),
                   offsets.data(), MPI_DOUBLE, MPI_COMM_WORLD);
    std::vector<std::vector<double>> all(static_cast<std::size_t>(tasks));
    for (std::size_t k = 0; k < everything.size();) {
      const auto t = std::size_t(everything[k]);
      const auto n = std::size_t(everything[k + 1]);
      all[t].assign(everything.begin() + std::ptrdiff_t(k + 2),
                    everything.begin() + std::ptrdiff_t(k + 2 + n));
      k += 2 + n;
    }
    return all;
  }

  [[noreturn]] void abort(int status) override {
    MPI_Abort(MPI_COMM_WORLD, status);
    std::exit(status);
  }

private:
  int rank_ = 0, size_ = 1;
};

}  // namespace

// Whether a launcher started this process as a rank of a job: Open MPI's
// mpirun and PMIx or PMI launchers (srun, Hydra) set these. A fit started on
// its own runs as a single process and never starts MPI, whose singleton
// start-up needs a daemon of its own (and fails when one cannot be started).
bool started_by_a_launcher() {
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"})
    if (std::getenv(name) != nullptr) return true;
  return false;
}

std::unique_ptr<TaskDistribution> make_task_distribution(int& argc, char**& argv) {
  if (!started_by_a_launcher()) return std::make_unique<SingleProcess>();
  MPI_Init(&argc, &argv);
  return std::make_unique<MpiRanks>();
}

bool built_with_mpi() { return true; }
#else
std::unique_ptr<TaskDistribution> make_task_distribution(int&, char**&) {
  return std::make_unique<SingleProcess>();
}

bool built_with_mpi() { return false; }
#endif

}  // namespace velmorant::fit
