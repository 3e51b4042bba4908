// PixelPool: the threads that compute the pixels of one pass of the field, the calling thread among them.
//
// A pass is a numbered list of independent items (pixels). Every thread,
// the calling one included, takes the next item not yet taken and computes
// it with its own working storage, so an item's result depends only on the
// item, never on the thread or the number of threads.
//
// The calling thread (the program's main thread, which owns the window)
// also reports: between its own items it calls `report` once for every
// item completed since, by any thread. While a report runs no thread takes
// a new item, so a report that blocks (a suspended run waiting inside the
// progress update) holds the whole pass: an item already under way (at
// most one per worker, including one taken in the instant the report
// began) is finished and its result kept aside, and nothing more starts. A report that throws (the user's Exit) stops the
// pass: no new item is taken, the items in progress are awaited, and the
// exception goes on to the caller.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace velmorant {

// Every hardware thread of the machine (at least 1).
int hardware_threads();

class PixelPool {
public:
  // Computes item `item` on thread `thread` (0 = the calling thread, 1 ..
  // threads() - 1 the workers); must touch only that item's result and that
  // thread's working storage.
  using Compute = std::function<void(int item, int thread)>;
  // Called on the calling thread once per completed item; false asks to stop
  // handing out items (the pass then ends once the items in progress are done).
  using Report = std::function<bool()>;

  // `threads` in all, at least 1: the calling thread and threads - 1 workers
  // started here and kept until destruction.
  explicit PixelPool(int threads);
  ~PixelPool();
  PixelPool(const PixelPool&) = delete;
  PixelPool& operator=(const PixelPool&) = delete;

  int threads() const { return int(workers_.size()) + 1; }

  // Computes items 0 .. count - 1, handed out in increasing order. Returns
  // the number of items reported (count, unless a report returned false).
  int run(int count, const Compute& compute, const Report& report);

private:
  void work_loop(int thread);
  void take_items(int thread);
  void wait_for_workers();

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable start_;
  int generation_ = 0;  // guarded by mutex_: one step per pass
  bool stop_ = false;   // guarded by mutex_

  // The current pass (set before its generation starts).
  const Compute* compute_ = nullptr;
  int count_ = 0;
  std::atomic<int> next_{0};       // next item to take
  std::atomic<int> completed_{0};  // items done
  std::atomic<bool> hold_{false};  // set while the calling thread reports
  std::atomic<bool> abandon_{false};
  std::atomic<int> active_{0};       // workers still inside the pass
  std::exception_ptr worker_error_;  // guarded by mutex_
};

}  // namespace velmorant
