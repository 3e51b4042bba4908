// PixelPool: the threads that compute the pixels of one pass of the field, the calling thread among them.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/engine/pixel_pool.hpp"

#include <Eigen/Core>

namespace velmorant {

int hardware_threads() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : int(n);
}

PixelPool::PixelPool(int threads) {
  Eigen::initParallel();  // Eigen's cache-size query happens here, once
  for (int t = 1; t < threads; ++t) workers_.emplace_back([this, t] { work_loop(t); });
}

PixelPool::~PixelPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  start_.notify_all();
  for (std::thread& w : workers_) w.join();
}

void PixelPool::work_loop(int thread) {
  int seen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      start_.wait(lock, [&] { return stop_ || generation_ != seen; });
      if (stop_) return;
      seen = generation_;
    }
    take_items(thread);
    if (active_.fetch_sub(1, std::memory_order_acq_rel) == 1) active_.notify_all();
  }
}

void PixelPool::take_items(int thread) {
  for (;;) {
    while (hold_.load(std::memory_order_acquire)) hold_.wait(true, std::memory_order_acquire);
    if (abandon_.load(std::memory_order_acquire)) return;
    const int item = next_.fetch_add(1, std::memory_order_relaxed);
    if (item >= count_) return;
    try {
      (*compute_)(item, thread);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!worker_error_) worker_error_ = std::current_exception();
      abandon_.store(true, std::memory_order_release);
    }
    completed_.fetch_add(1, std::memory_order_release);
    completed_.notify_one();
  }
}

void PixelPool::wait_for_workers() {
  for (int a = active_.load(std::memory_order_acquire); a != 0;
       a = active_.load(std::memory_order_acquire))
    active_.wait(a, std::memory_order_acquire);
}

int PixelPool::run(int count, const Compute& compute, const Report& report) {
  compute_ = &compute;
  count_ = count;
  next_.store(0, std::memory_order_relaxed);
  completed_.store(0, std::memory_order_relaxed);
  hold_.store(false, std::memory_order_relaxed);
  abandon_.store(false, std::memory_order_relaxed);
  worker_error_ = nullptr;
  const bool parallel = !workers_.empty() && count > 1;
  if (parallel) {
    active_.store(int(workers_.size()), std::memory_order_relaxed);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++generation_;
    }
    start_.notify_all();
  }
  int reported = 0;
  bool stopped = false;
  try {
    for (;;) {
      const int done = completed_.load(std::memory_order_acquire);
      if (reported < done) {
        if (parallel) hold_.store(true, std::memory_order_seq_cst);
        while (reported < done && !stopped) {
          ++reported;
          if (!report()) stopped = true;
        }
        // A stop is set before the hold is lifted: a worker released by the
        // lift must not take another item (it once took a dozen in between).
        if (stopped) abandon_.store(true, std::memory_order_release);
        if (parallel) {
          hold_.store(false, std::memory_order_release);
          hold_.notify_all();
        }
      }
      if (stopped) break;
      if (reported == count || abandon_.load(std::memory_order_acquire)) break;
      const int item = next_.fetch_add(1, std::memory_order_relaxed);
      if (item < count) {
        compute(item, 0);
        completed_.fetch_add(1, std::memory_order_release);
      } else {
        completed_.wait(done, std::memory_order_acquire);  // the workers' last items
      }
    }
  } catch (...) {
    abandon_.store(true, std::memory_order_release);
    hold_.store(false, std::memory_order_release);
    hold_.notify_all();
    if (parallel) wait_for_workers();
    throw;
  }
  if (parallel) wait_for_workers();
  if (worker_error_) std::rethrow_exception(worker_error_);
  return reported;
}

}  // namespace velmorant
