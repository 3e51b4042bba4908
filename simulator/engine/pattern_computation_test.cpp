// Tests of the pattern computation: the empty crystal, the deficiency line, the three methods, units left and calibration.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/engine/pattern_computation.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "simulator/progress/silent_presentation.hpp"
#include "common/physical_constants.hpp"

namespace velmorant {
namespace {

using cf = std::complex<float>;

// Records, for every progress_update (each sets the bar once), the work
// units left at that moment.
class RecordingPresentation : public SilentPresentation {
public:
  explicit RecordingPresentation(const ProgressState& state) : state_(state) {}
  void set_bar(int) override { units.push_back(state_.units_left); }
  std::vector<int> units;

private:
  const ProgressState& state_;
};

// A run control without a window; rate_update calls are counted through its
// clock. Ending the run would be a test failure.
struct QuietRun {
  ProgressState state;
  RecordingPresentation presentation{state};
  int rate_updates = 0;
  RunControl control{state, presentation, [] { throw std::runtime_error("run ended"); },
                     [this] {
                       ++rate_updates;
                       return 0;
                     }};
};

// Parameters of a small experiment: 200 kV-like wavelength, 0.2 mrad pixels.
std::unique_ptr<SimulationInput> experiment(float thickness) {
  auto in = std::make_unique<SimulationInput>();
  in->wavelength = 0.025f;  // |k| = 40 per Å
  in->pixel_scale = 2e-4f;
  in->effective_thickness = thickness;
  in->potential_factor = 0.02f;
  return in;
}

StructureFactorFn constant_factor(cf f) {
  return [f](const std::array<std::int32_t, 3>&) { return f; };
}

// One reflection g = (0.4, 0.3, 0) per Å. With F = 4 and K = 0.02 the
// coupling is a = K F / (2 |k|) = 0.001 per Å, so t = 250 Å = 1/(4a) puts
// the whole intensity into the diffracted beam at the Bragg condition.
BeamList one_reflection() {
  BeamList beams;
  beams.count = 1;
  beams.miller[1] = {1, 1, 0};
  beams.lab_vector[1] = {0.4f, 0.3f, 0.0f};
  return beams;
}

BeamList three_reflections() {
  BeamList beams = one_reflection();
  beams.count = 3;
  beams.miller[2] = {-1, 0, 1};
  beams.lab_vector[2] = {-0.5f, 0.1f, 0.002f};
  beams.miller[3] = {0, 1, 1};
  beams.lab_vector[3] = {-0.1f, 0.4f, 0.002f};
  return beams;
}

int count_not_equal(const PatternImage& image, float value) {
  int n = 0;
  for (std::size_t k = 0; k < PatternImage::size(); ++k) n += image.data()[k] != value;
  return n;
}

// --- The empty crystal: every method gives exactly 1 and counts its work ---

TEST(EmptyCrystal, FullMethodGivesOneEverywhereAndCountsEveryPixel) {
  auto in = experiment(500.0f);
  BeamList beams;  // N = 0
  QuietRun run;
  PatternImage image;
  compute_pattern(*in, beams, SamplingMethod::full, run.control, image);
  EXPECT_EQ(count_not_equal(image, 1.0f), 0);
  // One update for the single row of the coupling matrix, then one per pixel
  // with the units left before that pixel is counted.
  ASSERT_EQ(run.presentation.units.size(), 1u + 262144u);
  EXPECT_EQ(run.presentation.units[1], 262144);
  EXPECT_EQ(run.presentation.units.back(), 1);
  EXPECT_EQ(run.state.units_left, 0);
  EXPECT_EQ(run.rate_updates, 1 + 512);
  EXPECT_EQ(run.state.timing_phase, TimingPhase::timing);
}

TEST(EmptyCrystal, AdaptiveMethodComputesEveryRefinementPixelAndFollowsTheUnitFormulas) {
  auto in = experiment(500.0f);
  BeamList beams;
  QuietRun run;
  PatternImage image;
  compute_pattern(*in, beams, SamplingMethod::adaptive, run.control, image);
  EXPECT_EQ(count_not_equal(image, 1.0f), 0);
  // T = 0 and every difference is 0, which is not below T: all 65536 coarse
  // pixels plus 256 x 255 and 255 x 511 refinement pixels are computed.
  const std::vector<int>& u = run.presentation.units;
  ASSERT_EQ(u.size(), 1u + 65536u + 65280u + 130305u);
  EXPECT_EQ(u[1], 111411);
  EXPECT_EQ(u[65536], 111411 - 65535);
  // First refinement: after (1, 2) the count is trunc(0.4 * 65280 + 19660.8).
  EXPECT_EQ(u[1 + 65536], 45875);
  EXPECT_EQ(u[2 + 65536], 45772);
  // Second refinement starts from the end of the first (19661), then jumps
  // to trunc(0.3 * (261121 - 511 - 1)) = 78182 after (2, 1).
  EXPECT_EQ(u[1 + 65536 + 65280], 19661);
  EXPECT_EQ(u[2 + 65536 + 65280], 78182);
  for (int v : u) ASSERT_GE(v, 0);
  EXPECT_EQ(run.state.units_left, 153);  // after (510, 511): trunc(0.3 * 511)
  EXPECT_EQ(run.rate_updates, 1 + 256);  // no rate updates during the refinements
}

TEST(EmptyCrystal, BlockMethodGivesOneEverywhere) {
  auto in = experiment(500.0f);
  BeamList beams;
  QuietRun run;
  PatternImage image;
  compute_pattern(*in, beams, SamplingMethod::block, run.control, image);
  EXPECT_EQ(count_not_equal(image, 1.0f), 0);
  EXPECT_EQ(run.presentation.units.size(), 1u + 28900u);
  EXPECT_EQ(run.presentation.units[1], 28900);
  EXPECT_EQ(run.state.units_left, 0);
  EXPECT_EQ(run.rate_updates, 1 + 170);
}

TEST(EmptyCrystal, AnyOtherMethodNumberIsTheBlockMethod) {
  auto in = experiment(500.0f);
  BeamList beams;
  QuietRun run;
  PatternImage image;
  compute_pattern(*in, beams, static_cast<SamplingMethod>(7), run.control, image);
  EXPECT_EQ(run.presentation.units.size(), 1u + 28900u);
}

// --- Geometry ---

TEST(PixelGeometry, WaveVectorHasLengthOneOverLambdaAndTheOpticalAxisAtTheCentreCorner) {
  auto in = experiment(100.0f);
  BeamList beams;
  QuietRun run;
  PixelEngine engine(*in, beams, run.control);
  for (auto [i, j] : {std::pair{1, 1}, std::pair{256, 257}, std::pair{512, 3}}) {
    const auto k = engine.wave_vector(i, j);
    EXPECT_NEAR(std::sqrt(k[0] * k[0] + k[1] * k[1] + k[2] * k[2]), 40.0f, 1e-4f);
    EXPECT_NEAR(k[0] / k[2], ((i - 0.5) - 256) * 2e-4, 1e-7);
    EXPECT_NEAR(k[1] / k[2], ((j - 0.5) - 256) * 2e-4, 1e-7);
  }
  // Pixels 256 and 257 lie symmetrically about the axis.
  EXPECT_FLOAT_EQ(engine.wave_vector(256, 256)[0], -engine.wave_vector(257, 256)[0]);
}

// The dark deficiency line of a single reflection lies where |k + g| = |k|.
TEST(OneReflection, DarkestPixelOfEachRowLiesOnTheBraggCondition) {
  auto in = experiment(250.0f);
  const BeamList beams = one_reflection();
  QuietRun run;
  PixelEngine engine(*in, beams, run.control, constant_factor(cf(4.0f, 0.0f)));
  const auto& g = beams.lab_vector[1];
  for (int i : {60, 150, 256, 330, 390}) {
    int darkest = 0;
    float lowest = 2.0f;
    double crossing = -1;
    double previous = 0;
    for (int j = 1; j <= 512; ++j) {
      const float v = engine.pixel_intensity(i, j);
      if (v < lowest) lowest = v, darkest = j;
      const auto k = engine.wave_vector(i, j);
      double excitation = 0;  // |k + g|^2 - |k|^2
      for (int c = 0; c < 3; ++c)
        excitation += (double(k[c]) + g[c]) * (double(k[c]) + g[c]) - double(k[c]) * k[c];
      if (j > 1 && (previous < 0) != (excitation < 0))
        crossing = (j - 1) + previous / (previous - excitation);
      previous = excitation;
    }
    ASSERT_GT(crossing, 1.0) << "row " << i << ": the line must cross the row";
    EXPECT_NEAR(darkest, crossing, 1.0) << "row " << i;
    EXPECT_LT(lowest, 0.01f) << "row " << i;  // t = 1/(4a): nearly all intensity leaves
  }
}

// A reflection in the x-z plane sees the field mirrored in y: pixel (i, j)
// and (i, 513 - j) have y tangents of opposite sign, exactly, and the same
// excitation, so their intensities are identical.
TEST(OneReflection, PatternIsMirrorSymmetricAboutTheReflectionPlane) {
  auto in = experiment(400.0f);
  BeamList beams = one_reflection();
  beams.lab_vector[1] = {0.5f, 0.0f, 0.001f};
  QuietRun run;
  PixelEngine engine(*in, beams, run.control, constant_factor(cf(4.0f, 0.4f)));
  for (int i : {1, 200, 233, 512})
    for (int j : {1, 77, 250, 256}) {
      const auto k = engine.wave_vector(i, j), mirror = engine.wave_vector(i, 513 - j);
      ASSERT_EQ(k[1], -mirror[1]);
      EXPECT_EQ(engine.pixel_intensity(i, j), engine.pixel_intensity(i, 513 - j)) << i << "," << j;
    }
}

// --- The three methods on a small crystal ---

double correlation(const PatternImage& a, const PatternImage& b) {
  double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
  const double n = double(PatternImage::size());
  for (std::size_t k = 0; k < PatternImage::size(); ++k) {
    const double x = a.data()[k], y = b.data()[k];
    sa += x, sb += y, saa += x * x, sbb += y * y, sab += x * y;
  }
  return (sab - sa * sb / n) / std::sqrt((saa - sa * sa / n) * (sbb - sb * sb / n));
}

class ThreeBeamPatterns : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    in_ = experiment(250.0f).release();
    beams_ = new BeamList(three_reflections());
    for (int method = 0; method < 3; ++method) {
      QuietRun run;
      PixelEngine engine(*in_, *beams_, run.control, constant_factor(cf(4.0f, 0.3f)));
      images_[method] = new PatternImage;
      compute_pattern(engine, static_cast<SamplingMethod>(method), *images_[method]);
    }
  }
  static void TearDownTestSuite() {
    for (auto*& image : images_) delete image, image = nullptr;
    delete beams_;
    delete in_;
  }
  // Direct intensity of one pixel with a given series limit.
  static float direct(int i, int j, int limit) {
    QuietRun run;
    PixelEngine engine(*in_, *beams_, run.control, constant_factor(cf(4.0f, 0.3f)));
    engine.set_series_limit(limit);
    return engine.pixel_intensity(i, j);
  }
  static SimulationInput* in_;
  static BeamList* beams_;
  static PatternImage* images_[3];
};
SimulationInput* ThreeBeamPatterns::in_ = nullptr;
BeamList* ThreeBeamPatterns::beams_ = nullptr;
PatternImage* ThreeBeamPatterns::images_[3] = {};

TEST_F(ThreeBeamPatterns, FasterMethodsCorrelateWithTheFullOne) {
  const double r1 = correlation(*images_[0], *images_[1]);
  const double r2 = correlation(*images_[0], *images_[2]);
  RecordProperty("correlation_method1", std::to_string(r1));
  RecordProperty("correlation_method2", std::to_string(r2));
  std::printf("correlation with method 0: method 1 %.6f, method 2 %.6f\n", r1, r2);
  EXPECT_GT(r1, 0.9995);
  EXPECT_GT(r2, 0.99);
  // The pattern has structure: dark lines well below 1.
  float lowest = 1.0f;
  for (std::size_t k = 0; k < PatternImage::size(); ++k)
    lowest = std::min(lowest, images_[0]->data()[k]);
  EXPECT_LT(lowest, 0.3f);
}

TEST_F(ThreeBeamPatterns, AdaptiveMethodKeepsCoarseSamplesAndRefinesByTheThreshold) {
  const PatternImage& im = *images_[1];
  // The threshold uses only coarse samples, which the refinements leave alone.
  const float t = interpolation_threshold(im, kAdaptiveStep, kAdaptiveFraction);
  EXPECT_GT(t, 0.0f);
  for (auto [i, j] : {std::pair{1, 1}, std::pair{201, 333}, std::pair{511, 511}})
    EXPECT_EQ(im(i, j), direct(i, j, kAdaptiveSeriesLimit));
  int interpolated = 0, computed = 0;
  for (int i = 1; i <= 511; i += 34)
    for (int j = 2; j <= 510; j += 2) {
      const float a = im(i, j - 1), b = im(i, j + 1);
      if (neighbours_interpolate(a, b, t)) {
        ASSERT_EQ(im(i, j), (a + b) / 2.0f);
        ++interpolated;
      } else {
        ASSERT_EQ(im(i, j), direct(i, j, kAdaptiveSeriesLimit));
        ++computed;
      }
    }
  EXPECT_GT(interpolated, 0);
  EXPECT_GT(computed, 0);
  for (int k = 1; k <= 512; ++k) {
    EXPECT_EQ(im(512, k), im(511, k));
    EXPECT_EQ(im(k, 512), im(k, 511));
  }
}

TEST_F(ThreeBeamPatterns, BlockMethodCornersComeFromTheCornerBlocks) {
  const PatternImage& im = *images_[2];
  EXPECT_EQ(im(1, 1), direct(3, 3, kBlockSeriesLimit));
  EXPECT_EQ(im(1, 512), direct(3, 510, kBlockSeriesLimit));
  EXPECT_EQ(im(512, 1), direct(510, 3, kBlockSeriesLimit));
  EXPECT_EQ(im(512, 512), direct(510, 510, kBlockSeriesLimit));
  // Every pixel repeats the centre of its 3 x 3 block; the outer rows and
  // columns repeat their neighbours.
  auto centre = [](int i) { return 3 * ((std::clamp(i, 2, 511) - 2) / 3) + 3; };
  for (int i = 1; i <= 512; ++i)
    for (int j = 1; j <= 512; ++j) ASSERT_EQ(im(i, j), im(centre(i), centre(j))) << i << "," << j;
  // The corner values differ: the test above is not trivially satisfied.
  EXPECT_NE(im(1, 1), im(512, 512));
}

// --- The adaptive test and threshold ---

struct InterpolateCase {
  float a, b, threshold;
  bool interpolate;
};

class NeighbourTest : public ::testing::TestWithParam<InterpolateCase> {};

TEST_P(NeighbourTest, BelowThresholdOnly) {
  const auto& c = GetParam();
  EXPECT_EQ(neighbours_interpolate(c.a, c.b, c.threshold), c.interpolate);
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
INSTANTIATE_TEST_SUITE_P(
    Table, NeighbourTest,
    ::testing::Values(InterpolateCase{0.75f, 0.5f, 0.25f, false},  // exactly T: computed
                      InterpolateCase{0.5f, 0.75f, 0.25f, false},
                      InterpolateCase{0.75f, 0.5f, 0.2500001f, true},
                      InterpolateCase{0.7f, 0.7f, 0.0f, false},  // T = 0: always computed
                      InterpolateCase{kNaN, 0.5f, 1.0f, false},
                      InterpolateCase{0.5f, kNaN, 1.0f, false}));

// Coarse samples (odd i, j) set by `value`; the rest stays 0.
PatternImage coarse_image(float (*value)(int ci, int cj)) {
  PatternImage im;
  for (int i = 1; i <= 511; i += 2)
    for (int j = 1; j <= 511; j += 2) im(i, j) = value((i - 1) / 2, (j - 1) / 2);
  return im;
}

TEST(InterpolationThreshold, UniformImageGivesZero) {
  PatternImage im;
  im.fill(0.8f);
  EXPECT_EQ(interpolation_threshold(im, 2, 0.2f), 0.0f);
}

TEST(InterpolationThreshold, HalfTheDifferencesLargeGivesTheTopBin) {
  // Columns alternate 0.5 and 0: every difference along j is 0.5, every one
  // along i is 0; 50 % lie in bin 100, more than 20 %, so w = 99.
  const PatternImage im = coarse_image([](int, int cj) { return cj % 2 ? 0.5f : 0.0f; });
  const float top = 1.00001f * 0.5f;
  EXPECT_EQ(interpolation_threshold(im, 2, 0.2f), 99.0f * top / 100.0f);
  // With a fraction above one half the search runs down to bin 1.
  EXPECT_EQ(interpolation_threshold(im, 2, 0.6f), 1.0f * top / 100.0f);
}

TEST(InterpolationThreshold, FewLargeDifferencesGiveTheLowestBin) {
  // Every eighth coarse column is 0.5: 2/8 of the differences along j,
  // 1/8 of all, are large; the zeros of bin 1 are needed to pass 20 %.
  const PatternImage im = coarse_image([](int, int cj) { return cj % 8 == 0 ? 0.5f : 0.0f; });
  EXPECT_EQ(interpolation_threshold(im, 2, 0.2f), 1.00001f * 0.5f / 100.0f);
}

TEST(InterpolationThreshold, SpreadDifferencesPickTheBinThatPassesTheFraction) {
  // Ramp along j with steps growing with the column: differences spread
  // evenly over the bins, so the top 20 % starts near 80 % of the range.
  const PatternImage im = coarse_image([](int, int cj) { return 1e-4f * float(cj * cj); });
  const float t = interpolation_threshold(im, 2, 0.2f);
  const float largest = 1e-4f * float(254 * 254 - 253 * 253);
  EXPECT_GT(t, 0.55f * largest);  // half the differences (along i) are 0
  EXPECT_LT(t, 0.65f * largest);
}

TEST(InterpolationThreshold, DifferencesThatAreNotNumbersAreLeftOut) {
  PatternImage im = coarse_image([](int, int cj) { return cj % 2 ? 0.5f : 0.0f; });
  const float clean = interpolation_threshold(im, 2, 0.2f);
  im(101, 101) = kNaN;
  im(201, 1) = std::numeric_limits<float>::infinity();
  EXPECT_EQ(interpolation_threshold(im, 2, 0.2f), clean);
  PatternImage all_nan;
  all_nan.fill(kNaN);
  EXPECT_EQ(interpolation_threshold(all_nan, 2, 0.2f), 0.0f);
}

// --- The crystal's own structure factors and the speed calibration ---

// Silicon-like cubic cell with one atom (so extinction distances are long),
// absorptive electron form factors.
std::unique_ptr<SimulationInput> small_crystal() {
  auto in = experiment(2000.0f);
  const float a = 5.43f;
  in->form_factor_model = 1;
  in->species_count = 1;
  in->atomic_number[0] = 14;
  in->site_count[0] = 1;
  in->site_occupancy[0][0] = 1.0f;
  in->site_debye_waller[0][0] = 0.076f;
  for (int r = 1; r <= 3; ++r) in->reciprocal_metric(r, r) = 1.0f / (a * a);
  in->potential_factor = 1.0f / (a * a * a * common::kPi);
  return in;
}

BeamList small_crystal_beams() {
  BeamList beams;
  beams.count = 2;
  beams.miller[1] = {2, 2, 0};
  beams.lab_vector[1] = {0.52f, 0.0f, -0.004f};
  beams.miller[2] = {0, 4, 0};
  beams.lab_vector[2] = {0.0f, 0.7366f, -0.0075f};
  return beams;
}

TEST(CrystalStructureFactors, BlockPatternIsFiniteAndDarkened) {
  auto in = small_crystal();
  const BeamList beams = small_crystal_beams();
  QuietRun run;
  PatternImage image;
  compute_pattern(*in, beams, SamplingMethod::block, run.control, image);
  EXPECT_EQ(run.presentation.units.size(), 3u + 28900u);  // 3 coupling rows
  float lowest = 2.0f, highest = -1.0f;
  for (std::size_t k = 0; k < PatternImage::size(); ++k) {
    ASSERT_TRUE(std::isfinite(image.data()[k]));
    lowest = std::min(lowest, image.data()[k]);
    highest = std::max(highest, image.data()[k]);
  }
  EXPECT_LT(lowest, 0.8f);
  EXPECT_GT(highest, 0.5f);
  // No mean absorption enters the structure matrix (only the anomalous part
  // coupling the beams), and three series terms are approximate: values a
  // little above 1 are possible, far above are not.
  EXPECT_LT(highest, 1.05f);
}

TEST(SpeedCalibration, StopsAfterThirtyHundredthsAndScalesByTheWorkOfEachMethod) {
  auto in = small_crystal();
  const BeamList beams = small_crystal_beams();
  QuietRun run;
  int now = 0;
  // Each clock reading advances one hundredth: a pass stops after 31 pixels
  // with e = 31.
  const auto estimates = calibrate_speed(*in, beams, run.control, [&now] { return now++; });
  EXPECT_FLOAT_EQ(estimates[0], 31.0f * 262144.0f / (31.0f * 100.0f));
  EXPECT_FLOAT_EQ(estimates[1], 31.0f * 65025.0f * 1.71f / (31.0f * 100.0f));
  EXPECT_FLOAT_EQ(estimates[2], 31.0f * 28900.0f * 1.02f / (31.0f * 100.0f));
  EXPECT_EQ(run.presentation.units.size(), 3u + 3u * 31u);
}

TEST(SpeedCalibration, FastPassUsesAllThreeHundredTwelvePixels) {
  auto in = experiment(100.0f);
  BeamList beams;
  QuietRun run;
  int calls = 0;
  // One hundredth per 20 readings: 312 pixels take 15 hundredths.
  const auto estimates =
      calibrate_speed(*in, beams, run.control, [&calls] { return calls++ / 20; });
  EXPECT_EQ(run.presentation.units.size(), 1u + 3u * 312u);
  EXPECT_GT(estimates[0], 0.0f);
  EXPECT_LT(estimates[0], 15.0f * 262144.0f / (312.0f * 100.0f) + 1.0f);
}

TEST(SpeedCalibration, PassAcrossMidnightMeasuresModuloOneDay) {
  auto in = experiment(100.0f);
  BeamList beams;
  QuietRun run;
  int now = kHundredthsPerDay - 10;
  const auto estimates = calibrate_speed(*in, beams, run.control, [&now] {
    const int t = now;
    now = (now + 1) % kHundredthsPerDay;
    return t;
  });
  for (float e : estimates) EXPECT_GT(e, 0.0f);
  EXPECT_FLOAT_EQ(estimates[0], 31.0f * 262144.0f / (31.0f * 100.0f));
}

// --- Threads: the same pattern, bit for bit, and the same progress calls ---

struct ThreadedRun {
  PatternImage image;
  BeamStack stack;         // every beam, when asked for
  std::vector<int> units;  // units_left at every progress_update
  int rate_updates = 0;
};

ThreadedRun run_with_threads(int method, int threads, bool every_beam = false) {
  auto in = experiment(250.0f);
  in->pixel_scale = 6e-4f;  // a wider field: the lines cross it several times
  const BeamList beams = three_reflections();
  QuietRun run;
  ThreadedRun result;
  PixelEngine engine(*in, beams, run.control, constant_factor(cf(4.0f, 0.3f)), threads);
  EXPECT_EQ(engine.threads(), threads);
  if (every_beam) engine.set_beam_stack(&result.stack);
  compute_pattern(engine, static_cast<SamplingMethod>(method), result.image);
  result.units = run.presentation.units;
  result.rate_updates = run.rate_updates;
  return result;
}

class ThreadCounts : public ::testing::TestWithParam<int> {};

TEST_P(ThreadCounts, TwoAndFourThreadsGiveTheSingleThreadedPatternExactly) {
  const int method = GetParam();
  const ThreadedRun one = run_with_threads(method, 1);
  for (int threads : {2, 4}) {
    const ThreadedRun many = run_with_threads(method, threads);
    int differing = 0;
    for (std::size_t k = 0; k < PatternImage::size(); ++k)
      differing += std::memcmp(&one.image.data()[k], &many.image.data()[k], sizeof(float)) != 0;
    EXPECT_EQ(differing, 0) << "method " << method << ", " << threads << " threads";
    EXPECT_EQ(correlation(one.image, many.image), correlation(one.image, one.image));
    // The progress display sees the same sequence of work counts.
    EXPECT_EQ(many.units, one.units) << "method " << method << ", " << threads << " threads";
    EXPECT_EQ(many.rate_updates, one.rate_updates);
  }
}

// Keeping every beam changes nothing of the bright field, bit for bit (nor
// the progress calls); page 0 is that bright field, every page is filled
// (methods 1 and 2 complete the other pixels of each beam as the bright
// field's), and the stack too is the same for every thread count.
TEST_P(ThreadCounts, EveryBeamKeepsTheBrightFieldAndIsTheSameOnEveryThreadCount) {
  const int method = GetParam();
  const ThreadedRun plain = run_with_threads(method, 1);
  const ThreadedRun one = run_with_threads(method, 1, true);
  ASSERT_EQ(one.stack.order(), 4);
  EXPECT_EQ(std::memcmp(plain.image.data(), one.image.data(), PatternImage::size() * sizeof(float)),
            0);
  EXPECT_EQ(std::memcmp(one.stack.page(0), one.image.data(), PatternImage::size() * sizeof(float)),
            0);
  EXPECT_EQ(plain.units, one.units);
  for (int b = 1; b < one.stack.order(); ++b) {
    const float* p = one.stack.page(b);
    int zero = 0;
    float largest = 0;
    for (std::size_t k = 0; k < PatternImage::size(); ++k) {
      zero += p[k] == 0.0f;
      largest = std::max(largest, p[k]);
    }
    EXPECT_EQ(zero, 0) << "beam " << b << ": pixels left unfilled";
    EXPECT_GT(largest, 0.05f) << "beam " << b;
    // The block method: each sample of every beam stands for its 3 x 3 block.
    if (method == 2) {
      for (int i = 3; i <= 510; i += 3)
        for (int j = 3; j <= 510; j += 3)
          for (int di = -1; di <= 1; ++di)
            for (int dj = -1; dj <= 1; ++dj)
              ASSERT_EQ(one.stack(b, i + di, j + dj), one.stack(b, i, j));
    }
  }
  for (int threads : {2, 4}) {
    const ThreadedRun many = run_with_threads(method, threads, true);
    EXPECT_EQ(
        std::memcmp(one.stack.data(), many.stack.data(), 4 * PatternImage::size() * sizeof(float)),
        0)
        << "method " << method << ", " << threads << " threads";
  }
}

// The adaptive method's interpolated pixels: in every beam the mean of the
// same two neighbours as in the bright field.
TEST(EveryBeam, AdaptiveInterpolationUsesTheBrightFieldsNeighbours) {
  const ThreadedRun run = run_with_threads(1, 2, true);
  int interpolated = 0;
  for (int i = 1; i <= 511; i += 2)
    for (int j = 2; j <= 510; j += 2)
      if (run.image(i, j) == (run.image(i, j - 1) + run.image(i, j + 1)) / 2.0f &&
          run.stack(1, i, j) == (run.stack(1, i, j - 1) + run.stack(1, i, j + 1)) / 2.0f)
        ++interpolated;
  // Most even columns of the coarse rows are interpolated in the three-beam pattern.
  EXPECT_GT(interpolated, 256 * 255 / 2);
}

INSTANTIATE_TEST_SUITE_P(Methods, ThreadCounts, ::testing::Values(0, 1, 2));

}  // namespace
}  // namespace velmorant
