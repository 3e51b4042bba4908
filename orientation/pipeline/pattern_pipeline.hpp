// The pattern loop on a pool of threads: patterns read in order, solved in parallel, handed back in order.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <cstdint>
#include <exception>
#include <functional>
#include <ostream>
#include <string>

#include "orientation/catalogue/catalogue.hpp"
#include "common/free_form_reader.hpp"
#include "common/thread_count.hpp"
#include "orientation/input/input_file.hpp"
#include "orientation/input/orientation_problem.hpp"
#include "orientation/solutions/solution_store.hpp"

namespace talvor {

// One pattern on its way through the loop.
struct PatternSlot {
  std::int32_t number = 0;  // 1-based pattern number
  PatternStatus status = PatternStatus::no_more;
  std::exception_ptr error;  // set when reading the pattern stopped the run
  ScatteringPattern pattern;
  std::string title;    // the title line as read
  SolutionStore store;  // the solution, once solved
};

// What the loop calls, always on the calling thread and in pattern order.
struct PatternCallbacks {
  // Before pattern i is handed on (where a single-threaded loop would read it).
  std::function<void(std::int32_t i)> before;
  // A read and solved pattern.
  std::function<void(const PatternSlot& slot)> write;
};

// Talvor2's thread setting: TALVOR2_THREADS, at most 1024 threads.
inline constexpr common::ThreadSetting kThreadSetting{"Talvor2", "TALVOR2_THREADS", 1024};

// Number of threads that solve patterns: common::thread_count of
// TALVOR2_THREADS (a whole number from 1, at most 1024; not set: every
// hardware thread), a bad value reported on `err`.
int SolverThreadCount(std::ostream& err);

// Patterns in flight per solving thread: the memory of the loop is bounded
// by this window whatever the number of patterns.
constexpr int kPatternsInFlightPerThread = 64;

// Reads patterns 1, 2, ... up to problem.patternCount from `reader`, solves
// each with problem.strategy and gives it to `calls.write`, in order. The
// loop ends at the end of the input. An error while reading pattern k (or
// an exception thrown by a callback) leaves the loop after every pattern
// before k has been written, with the same exception. With `threads` 1 the
// loop runs on the calling thread alone; with more, the calling thread
// reads and writes while `threads` workers solve. The callbacks see the
// same sequence for any thread count.
void RunPatternLoop(common::FreeFormReader& reader, const std::string& file_name,
                    const OrientationProblem& problem, const Catalogue& catalogue, int threads,
                    const PatternCallbacks& calls);

}  // namespace talvor
