// The pattern loop on a pool of threads: patterns read in order, solved in parallel, handed back in order.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/pipeline/pattern_pipeline.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "orientation/strategies/strategies.hpp"

namespace talvor {

namespace {

// The strategy on one pattern; the slot's store holds the result.
void Solve(PatternSlot& slot, const OrientationProblem& problem, const Catalogue& catalogue,
           float vote_exponent, StrategyWorkspace& work) {
  slot.store.count = 0;
  if (slot.pattern.vectorCount >= kMinVectors) {
    SearchContext ctx{problem, catalogue, slot.pattern, vote_exponent, work, slot.store};
    RunStrategy(problem.strategy, ctx);
  }
}

bool IsLastNumber(std::int32_t i, const OrientationProblem& problem) {
  // The counter must not pass the largest integer.
  return i >= problem.patternCount || i == kAllPatterns;
}

void RunOnThisThread(common::FreeFormReader& reader, const std::string& file_name,
                     const OrientationProblem& problem, const Catalogue& catalogue,
                     const PatternCallbacks& calls) {
  const float vote_exponent = VoteExponent(catalogue);
  auto work = std::make_unique<StrategyWorkspace>();
  auto slot = std::make_unique<PatternSlot>();
  for (std::int32_t i = 1; i <= problem.patternCount; ++i) {
    calls.before(i);
    slot->number = i;
    slot->status = ReadPattern(reader, i, file_name, slot->pattern, slot->title);
    if (slot->status != PatternStatus::read) break;
    Solve(*slot, problem, catalogue, vote_exponent, *work);
    calls.write(*slot);
    if (IsLastNumber(i, problem)) break;
  }
}

// Shared state of the workers and the reading/writing thread. Slot s of
// the run (0-based sequence number) lives in slots[s % window].
class Pool {
public:
  Pool(const OrientationProblem& problem, const Catalogue& catalogue, int threads)
      : problem_(problem),
        catalogue_(catalogue),
        voteExponent_(VoteExponent(catalogue)),
        window_(threads * kPatternsInFlightPerThread),
        slots_(window_),
        solved_(new std::atomic<bool>[window_]) {
    for (int s = 0; s < window_; ++s) solved_[s].store(false);
    std::vector<std::unique_ptr<StrategyWorkspace>> work;
    for (int t = 0; t < threads; ++t) work.push_back(std::make_unique<StrategyWorkspace>());
    for (auto& w : work) workers_.emplace_back([this, w = std::move(w)] { Work(*w); });
  }

  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    work_cv_.notify_all();
    for (std::thread& t : workers_) t.join();
  }

  int window() const { return window_; }
  PatternSlot& slot(std::int64_t s) { return slots_[static_cast<std::size_t>(s % window_)]; }
  bool solved(std::int64_t s) const { return solved_[s % window_].load(std::memory_order_acquire); }

  // Makes slot s (read, not yet solved) available to the workers.
  void Publish(std::int64_t s) {
    solved_[s % window_].store(false, std::memory_order_relaxed);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      published_ = s + 1;
    }
    work_cv_.notify_one();
  }

  // Waits until slot s is solved. Only the worker that solves slot s wakes
  // the caller, so a wait costs one wake-up however many others finish first.
  void WaitSolved(std::int64_t s) {
    if (solved(s)) return;
    std::unique_lock<std::mutex> lock(mutex_);
    awaited_ = s;
    done_cv_.wait(lock, [&] { return solved(s); });
    awaited_ = -1;
  }

private:
  void Work(StrategyWorkspace& work) {
    for (;;) {
      std::int64_t s;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        work_cv_.wait(lock, [&] { return stop_ || claimed_ < published_; });
        if (stop_) return;
        s = claimed_++;
      }
      Solve(slot(s), problem_, catalogue_, voteExponent_, work);
      solved_[s % window_].store(true, std::memory_order_release);
      bool awaited;
      {
        // Under the lock: either the writer is already waiting for s, or it
        // sees the flag when it takes the lock to wait.
        std::lock_guard<std::mutex> lock(mutex_);
        awaited = awaited_ == s;
      }
      if (awaited) done_cv_.notify_one();
    }
  }

  const OrientationProblem& problem_;
  const Catalogue& catalogue_;
  const float voteExponent_;
  const int window_;
  std::vector<PatternSlot> slots_;
  std::unique_ptr<std::atomic<bool>[]> solved_;
  std::mutex mutex_;
  std::condition_variable work_cv_, done_cv_;
  std::int64_t published_ = 0;  // guarded by mutex_: slots before it may be claimed
  std::int64_t claimed_ = 0;    // guarded by mutex_
  std::int64_t awaited_ = -1;   // guarded by mutex_: the slot the writer waits for, or -1
  bool stop_ = false;           // guarded by mutex_
  std::vector<std::thread> workers_;
};

void RunOnPool(common::FreeFormReader& reader, const std::string& file_name,
               const OrientationProblem& problem, const Catalogue& catalogue, int threads,
               const PatternCallbacks& calls) {
  Pool pool(problem, catalogue, threads);
  std::int64_t read = 0, written = 0;  // slots read and slots handed to the caller
  bool input_open = true;
  bool ends_with_stop = false;  // the last slot read holds the end of input or an error

  auto write_next = [&] {
    const PatternSlot& slot = pool.slot(written);
    calls.before(slot.number);
    calls.write(slot);
    ++written;
  };

  for (;;) {
    while (input_open && read - written < pool.window()) {
      PatternSlot& slot = pool.slot(read);
      const auto i = static_cast<std::int32_t>(read + 1);
      slot.number = i;
      slot.error = nullptr;
      try {
        slot.status = ReadPattern(reader, i, file_name, slot.pattern, slot.title);
      } catch (...) {
        slot.status = PatternStatus::no_more;
        slot.error = std::current_exception();
      }
      if (slot.status != PatternStatus::read) {
        ++read;
        input_open = false;
        ends_with_stop = true;
        break;
      }
      pool.Publish(read);
      ++read;
      if (IsLastNumber(i, problem)) input_open = false;
      while (written < read && pool.solved(written)) write_next();
    }
    if (written == read) return;
    if (ends_with_stop && written == read - 1) {
      const PatternSlot& last = pool.slot(written);
      calls.before(last.number);
      if (last.error) std::rethrow_exception(last.error);
      return;
    }
    // Wait for half a window at a time rather than for every pattern: the
    // reading and writing thread then wakes about twice per window instead
    // of once per pattern, taking a core from the workers less often.
    const std::int64_t last_published = ends_with_stop ? read - 2 : read - 1;
    std::int64_t target = std::min<std::int64_t>(written + pool.window() / 2 - 1, last_published);
    if (pool.solved(target)) target = written;
    pool.WaitSolved(target);
    while (written <= last_published && pool.solved(written)) write_next();
  }
}

}  // namespace

int SolverThreadCount(std::ostream& err) {
  const unsigned hardware = std::thread::hardware_concurrency();
  return common::thread_count(kThreadSetting, std::getenv(kThreadSetting.variable),
                              static_cast<int>(std::min(hardware, 1u << 20)), err);
}

void RunPatternLoop(common::FreeFormReader& reader, const std::string& file_name,
                    const OrientationProblem& problem, const Catalogue& catalogue, int threads,
                    const PatternCallbacks& calls) {
  if (threads <= 1)
    RunOnThisThread(reader, file_name, problem, catalogue, calls);
  else
    RunOnPool(reader, file_name, problem, catalogue, threads, calls);
}

}  // namespace talvor
