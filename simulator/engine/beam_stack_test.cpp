// Tests of every beam's disc: conservation of electrons, the two-beam Pendellösung, zone-axis symmetry, threads.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/engine/beam_stack.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "simulator/beams/select_beams.hpp"
#include "simulator/engine/double_reference_kernel.hpp"
#include "simulator/engine/pattern_computation.hpp"
#include "simulator/engine/simulation.hpp"
#include "simulator/input/test_input_builder.hpp"
#include "simulator/progress/silent_presentation.hpp"

namespace velmorant {
namespace {

using cf = std::complex<float>;

struct QuietRun {
  ProgressState state;
  SilentPresentation presentation;
  RunControl control{state, presentation, [] { throw std::runtime_error("run ended"); },
                     [] { return 0; }};
};

// Silicon near [111] with the X-ray coefficient model: Mott-Bethe form
// factors are real, so F(-g) = F(g)* and the structure matrix is Hermitian;
// without an absorptive part the slab conserves the electrons.
std::unique_ptr<SimulationInput> non_absorbing_silicon(float thickness) {
  testing::TestInput t;
  t.model = "0";
  t.global_dw = "0.46";
  t.species.push_back(testing::silicon());
  t.index_limit = "8";
  t.strength_fraction = "0.00001";
  t.max_beams = "90";
  t.pixel_pitch = "0.08";  // 31 mrad from the centre to the edge: beams enough for N = 60
  t.thickness = std::to_string(thickness);
  t.euler = "0.0 54.40 45.30";  // about 0.4 degrees off [111]
  return testing::prepared(t, VELMORANT_SOURCE_DATA_DIR);
}

// Sum of all beams of one pixel, in double.
double beam_sum(const BeamStack& stack, int i, int j) {
  double sum = 0;
  for (int b = 0; b < stack.order(); ++b) sum += stack(b, i, j);
  return sum;
}

// Conservation of electrons, pixel by pixel, on a 64 x 64 (N = 20) or
// 32 x 32 (N = 60) grid of directions over the whole field (the full series
// of method 0), at N = 20 and N = 60 beams and 500 to 2000 Å. Each
// pixel's exponential is one scaling and a dozen squarings in single
// precision; the sum of all beams must stay within 2e-3 of 1. The worst
// deviation per thickness is printed: it grows about linearly with t (the
// rounding of each squaring doubles with the next).
TEST(BeamConservation, AllBeamsSumToOneWithoutAbsorptionInSinglePrecision) {
  for (const char* cap : {"20", "60"}) {
    for (float t : {500.0f, 1000.0f, 1500.0f, 2000.0f}) {
      const auto in = non_absorbing_silicon(t);
      BeamList beams;
      select_beams(*in, beams);
      // Exactly N beams: the strongest N of a larger selection (any subset
      // of the beams couples through a Hermitian matrix and conserves too).
      ASSERT_GE(beams.count, std::stoi(cap)) << "the crystal offers fewer beams than N";
      beams.count = std::stoi(cap);
      QuietRun run;
      PixelEngine engine(*in, beams, run.control, {}, 2);
      BeamStack stack;
      stack.resize(beams.order());
      engine.set_beam_stack(&stack);
      std::vector<PixelEngine::Pixel> pixels;
      const int spacing = beams.count <= 20 ? 8 : 16;  // 64 x 64 or 32 x 32 directions
      for (int i = 1; i <= 512; i += spacing)
        for (int j = spacing / 2; j <= 512; j += spacing) pixels.push_back({i, j});
      std::vector<float> values(pixels.size());
      engine.compute_pixels(pixels.data(), values.data(), int(pixels.size()), [&](int) {
        run.control.progress_update();
        return true;
      });
      double worst = 0;
      for (std::size_t p = 0; p < pixels.size(); ++p) {
        const auto [i, j] = pixels[p];
        ASSERT_EQ(std::memcmp(&values[p], &stack(0, i, j), sizeof(float)), 0)
            << "page 0 is the bright field";
        worst = std::max(worst, std::fabs(beam_sum(stack, i, j) - 1.0));
      }
      std::printf("  N = %d, t = %6.0f A: worst |sum - 1| = %.3g\n", beams.count, double(t), worst);
      EXPECT_LT(worst, 2e-3) << "N = " << beams.count << ", t = " << t << " A";
    }
  }
}

// The same sum from the double-precision yardstick: the whole first column
// of the exact exponential, for a few directions across the field, to 1e-9.
TEST(BeamConservation, AllBeamsSumToOneWithTheDoubleReference) {
  for (const char* cap : {"20", "60"}) {
    const auto in = non_absorbing_silicon(2000.0f);
    BeamList beams;
    select_beams(*in, beams);
    ASSERT_GE(beams.count, std::stoi(cap));
    beams.count = std::stoi(cap);
    QuietRun run;
    PixelEngine engine(*in, beams, run.control);
    double worst = 0;
    for (int q = 1; q <= 512; q += 73) {
      const auto e = testing::exact_exponential(testing::exponent_matrix_double(
          engine.wave_vector(q, 513 - q), engine.coupling_matrix(), beams));
      double sum = 0;
      for (int b = 0; b < beams.order(); ++b) sum += std::norm(e(b, 0));
      worst = std::max(worst, std::fabs(sum - 1.0));
    }
    std::printf("N = %d, t = 2000 A, double precision: worst |sum - 1| = %.3g\n", beams.count,
                worst);
    EXPECT_LT(worst, 1e-9) << "N = " << beams.count;
  }
}

// Silicon exactly on [001] (Euler angles 0): the zone has the point group
// 4mm, and the selection keeps whole groups of equivalent reflections. A
// turn by 90 degrees about the beam, (x, y) -> (-y, x), takes pixel (i, j)
// to (513 - j, i) and beam g to R g; the mirror x -> -x takes (i, j) to
// (513 - i, j). The block method's samples (every third pixel from 3 to
// 510) go onto samples under both, so the disc of R g at R k must be the
// disc of g at k, sample for sample, within rounding (the sums k.g run over
// the components in another order).
TEST(ZoneAxisDiscs, EquivalentBeamsAreImagesOfEachOtherUnderTheZoneOperations) {
  testing::TestInput t;
  t.species.push_back(testing::silicon());
  t.index_limit = "4";
  t.strength_fraction = "0.001";
  t.max_beams = "24";
  t.thickness = "800.0";
  t.pixel_pitch = "0.06";
  t.euler = "0 0 0";
  const auto in = testing::prepared(t, VELMORANT_SOURCE_DATA_DIR);
  BeamList beams;
  select_beams(*in, beams);
  ASSERT_GE(beams.count, 8);
  Simulation simulation(*in, beams, 2);
  PatternImage image;
  BeamStack stack;
  simulation.compute(SamplingMethod::block, image, stack);
  ASSERT_EQ(stack.order(), beams.order());

  auto find_beam = [&](float gx, float gy, float gz) {
    for (int b = 0; b < beams.order(); ++b) {
      const auto& g = beams.lab_vector[std::size_t(b)];
      if (std::fabs(g[0] - gx) < 1e-4f && std::fabs(g[1] - gy) < 1e-4f &&
          std::fabs(g[2] - gz) < 1e-4f)
        return b;
    }
    return -1;
  };
  int compared = 0;
  for (int op = 0; op < 2; ++op) {  // 0: the fourfold turn, 1: the mirror
    for (int b = 0; b < beams.order(); ++b) {
      const auto& g = beams.lab_vector[std::size_t(b)];
      const int image_beam = op == 0 ? find_beam(-g[1], g[0], g[2]) : find_beam(-g[0], g[1], g[2]);
      ASSERT_GE(image_beam, 0) << "beam " << b << " has no image in the beam set";
      float largest = 0, worst = 0;
      for (int a = 3; a <= 510; a += 3)
        for (int c = 3; c <= 510; c += 3) {
          const float v = stack(b, a, c);
          const float w = op == 0 ? stack(image_beam, 513 - c, a) : stack(image_beam, 513 - a, c);
          largest = std::max(largest, v);
          worst = std::max(worst, std::fabs(v - w));
        }
      ASSERT_GT(largest, 0.0f);
      EXPECT_LE(worst, 2e-4f * largest)
          << (op == 0 ? "turn" : "mirror") << ": beam " << b << " ("
          << beams.miller[std::size_t(b)][0] << ' ' << beams.miller[std::size_t(b)][1] << ' '
          << beams.miller[std::size_t(b)][2] << ") against beam " << image_beam << ", largest "
          << largest;
      ++compared;
    }
  }
  EXPECT_EQ(compared, 2 * beams.order());
  // The table of discs: the transmitted beam at the centre, each diffracted
  // one at lambda g / pixel_scale to first order.
  EXPECT_EQ(stack.discs[0].offset_i, 0.0f);
  EXPECT_EQ(stack.discs[0].offset_j, 0.0f);
  for (int b = 1; b < beams.order(); ++b) {
    const BeamDisc& d = stack.discs[std::size_t(b)];
    EXPECT_EQ(d.miller, beams.miller[std::size_t(b)]);
    EXPECT_NEAR(d.offset_i, in->wavelength * d.lab_vector[0] / in->pixel_scale,
                0.02f * std::fabs(d.offset_i) + 1e-3f);
  }
}

}  // namespace
}  // namespace velmorant
