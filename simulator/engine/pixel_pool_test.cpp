// Tests of the pixel pool: every item once, reports on the calling thread, holding, stopping and errors.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/engine/pixel_pool.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace velmorant {
namespace {

class PoolSizes : public ::testing::TestWithParam<int> {};

TEST_P(PoolSizes, EveryItemIsComputedOnceAndReportedOnTheCallingThread) {
  PixelPool pool(GetParam());
  EXPECT_EQ(pool.threads(), GetParam());
  for (int count : {0, 1, 7, 1000}) {
    std::vector<std::atomic<int>> times(std::size_t(count + 1));
    std::vector<int> on_thread(std::size_t(count + 1), -1);
    int reports = 0;
    const std::thread::id caller = std::this_thread::get_id();
    bool reports_on_caller = true;
    const int reported = pool.run(
        count,
        [&](int item, int thread) {
          times[std::size_t(item)].fetch_add(1);
          on_thread[std::size_t(item)] = thread;
        },
        [&] {
          ++reports;
          reports_on_caller = reports_on_caller && std::this_thread::get_id() == caller;
          return true;
        });
    EXPECT_EQ(reported, count);
    EXPECT_EQ(reports, count);
    EXPECT_TRUE(reports_on_caller);
    for (int k = 0; k < count; ++k) {
      EXPECT_EQ(times[std::size_t(k)].load(), 1) << "item " << k;
      EXPECT_GE(on_thread[std::size_t(k)], 0);
      EXPECT_LT(on_thread[std::size_t(k)], GetParam());
    }
  }
}

TEST_P(PoolSizes, NoItemStartsWhileAReportRuns) {
  PixelPool pool(GetParam());
  std::atomic<int> started{0};
  int most_started_during_a_report = 0;
  int reports = 0;
  pool.run(
      400, [&](int, int) { started.fetch_add(1); },
      [&] {
        // A slow report, as a suspended run would be. A worker that had
        // passed the gate just before the report began may still start the
        // one item it took; no worker starts a second one.
        const int before = started.load();
        if (++reports % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        most_started_during_a_report =
            std::max(most_started_during_a_report, started.load() - before);
        return true;
      });
  EXPECT_LE(most_started_during_a_report, GetParam() - 1);
  EXPECT_EQ(started.load(), 400);
}

TEST_P(PoolSizes, FalseFromAReportStopsHandingOutItems) {
  PixelPool pool(GetParam());
  std::atomic<int> started{0};
  int reports = 0, started_at_stop = 0;
  const int reported = pool.run(
      10000, [&](int, int) { started.fetch_add(1); },
      [&] {
        started_at_stop = started.load();
        return ++reports < 5;
      });
  EXPECT_EQ(reported, 5);
  // Items under way when the report said stop are finished, no more start.
  EXPECT_LE(started.load(), started_at_stop + GetParam() - 1);
  // The pool is ready for the next pass.
  EXPECT_EQ(pool.run(
                3, [](int, int) {}, [] { return true; }),
            3);
}

TEST_P(PoolSizes, AnExceptionFromAReportEndsThePassAndPropagates) {
  PixelPool pool(GetParam());
  std::atomic<int> started{0};
  int reports = 0, started_at_exit = 0;
  EXPECT_THROW(pool.run(
                   10000, [&](int, int) { started.fetch_add(1); },
                   [&]() -> bool {
                     started_at_exit = started.load();
                     if (++reports == 3) throw std::runtime_error("exit");
                     return true;
                   }),
               std::runtime_error);
  EXPECT_LE(started.load(), started_at_exit + GetParam() - 1);
  EXPECT_EQ(pool.run(
                3, [](int, int) {}, [] { return true; }),
            3);
}

TEST_P(PoolSizes, AnExceptionFromAnItemPropagates) {
  PixelPool pool(GetParam());
  EXPECT_THROW(pool.run(
                   100,
                   [](int item, int) {
                     if (item == 42) throw std::invalid_argument("bad item");
                   },
                   [] { return true; }),
               std::invalid_argument);
  EXPECT_EQ(pool.run(
                3, [](int, int) {}, [] { return true; }),
            3);
}

INSTANTIATE_TEST_SUITE_P(Threads, PoolSizes, ::testing::Values(1, 2, 4));

}  // namespace
}  // namespace velmorant
