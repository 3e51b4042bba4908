// Checks that computing a pixel allocates no heap memory once the engine is set up (glibc only).
// SPDX-License-Identifier: BSD-3-Clause
#include <atomic>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "simulator/engine/pattern_computation.hpp"
#include "simulator/progress/silent_presentation.hpp"

// Counting replaces malloc, which a sanitizer runtime owns (its free would
// reject memory from glibc's malloc): counted only with glibc, unsanitized.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELMORANT_COUNT_MALLOC 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define VELMORANT_COUNT_MALLOC 0
#endif
#endif
#if !defined(VELMORANT_COUNT_MALLOC) && defined(__GLIBC__)
#define VELMORANT_COUNT_MALLOC 1
#elif !defined(VELMORANT_COUNT_MALLOC)
#define VELMORANT_COUNT_MALLOC 0
#endif

#if VELMORANT_COUNT_MALLOC
// Every malloc of the process passes through here and is counted; glibc does
// the work. The count is read only around the loop under test.
extern "C" void* __libc_malloc(std::size_t size);
namespace {
std::atomic<long> malloc_calls{0};
}
extern "C" void* malloc(std::size_t size) {
  malloc_calls.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
#endif

namespace velmorant {
namespace {

// A crystal of `count` diffracted beams (129: matrices of order 130, above
// the size at which matrix products would take their packing buffers from the
// heap with Eigen's default stack limit; 500: the largest beam sets users run,
// whose per-thread working storage is four matrices of order 501, 8.03 MB)
// and a silent run control.
struct LargeCrystal {
  std::unique_ptr<SimulationInput> in = std::make_unique<SimulationInput>();
  BeamList beams;
  ProgressState state;
  SilentPresentation presentation;
  RunControl control{state, presentation};
  explicit LargeCrystal(int count = 129) {
    in->wavelength = 0.025f;
    in->pixel_scale = 2e-4f;
    in->effective_thickness = 300.0f;
    in->potential_factor = 0.02f;
    beams.count = count;
    for (int r = 1; r <= beams.count; ++r) {
      beams.miller[r] = {r, 0, 0};
      beams.lab_vector[r] = {0.05f * float(r % 13) - 0.3f, 0.04f * float(r % 7) - 0.12f,
                             -0.001f * float(r % 5)};
    }
  }
  PixelEngine engine(int threads) {
    return PixelEngine(
        *in, beams, control,
        [](const std::array<std::int32_t, 3>& h) {
          return std::complex<float>(1.0f / float(1 + h[0] * h[0]), 0.05f);
        },
        threads);
  }
};

class PixelAllocation : public ::testing::TestWithParam<int> {};

TEST_P(PixelAllocation, NoHeapAllocationPerPixel) {
#if !VELMORANT_COUNT_MALLOC
  GTEST_SKIP() << "allocation counting needs glibc's malloc, not a sanitizer's";
#else
  LargeCrystal crystal(GetParam());
  PixelEngine engine = crystal.engine(1);
  engine.pixel_intensity(100, 100);  // first call: anything lazily set up is done
  for (int limit : {kFullSeriesLimit, kBlockSeriesLimit}) {
    engine.set_series_limit(limit);
    const long before = malloc_calls.load();
    const float v = engine.pixel_intensity(300, 200);
    const long after = malloc_calls.load();
    EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(after - before, 0) << "series limit " << limit;
  }
#endif
}

INSTANTIATE_TEST_SUITE_P(BeamCounts, PixelAllocation, ::testing::Values(129, 500));

// A pass on several threads allocates what the pass needs once (its
// closures), never per pixel: 8 and 64 pixels cost the same number of
// allocations, on every thread together.
TEST(PixelAllocationThreads, NoHeapAllocationPerPixelOnSeveralThreads) {
#if !VELMORANT_COUNT_MALLOC
  GTEST_SKIP() << "allocation counting needs glibc's malloc, not a sanitizer's";
#else
  LargeCrystal crystal;
  PixelEngine engine = crystal.engine(2);
  RunControl& control = crystal.control;
  engine.set_series_limit(kBlockSeriesLimit);
  std::vector<PixelEngine::Pixel> pixels;
  for (int q = 0; q < 64; ++q) pixels.push_back({100 + 3 * q, 200 + q});
  std::vector<float> values(pixels.size());
  auto pass = [&](int count) {
    const long before = malloc_calls.load();
    engine.compute_pixels(pixels.data(), values.data(), count, [&](int) {
      control.progress_update();
      return true;
    });
    return malloc_calls.load() - before;
  };
  pass(64);  // first pass: both threads' lazily set-up state is done
  const long eight = pass(8), sixty_four = pass(64);
  EXPECT_EQ(sixty_four, eight);
  EXPECT_LE(sixty_four, 4);
  for (float v : values) EXPECT_TRUE(std::isfinite(v));
#endif
}

}  // namespace
}  // namespace velmorant
