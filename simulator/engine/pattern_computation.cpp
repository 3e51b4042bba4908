// Sampling of the 512 x 512 field of incident directions: the three methods, edge filling and the speed calibration.
#include "engine/pattern_computation.hpp"

#include <algorithm>
#include <cmath>

#include "scattering/structure_factor.hpp"

namespace velmorant {

namespace {

constexpr int kSize = PatternImage::kSize;

StructureFactorFn crystal_structure_factor(const SimulationInput& in) {
  return [&in](const std::array<std::int32_t, 3>& hkl) { return structure_factor(in, hkl, true); };
}

void copy_row(PatternImage& image, int from, int to) {
  for (int j = 1; j <= kSize; ++j) image(to, j) = image(from, j);
}

void copy_column(PatternImage& image, int from, int to) {
  for (int i = 1; i <= kSize; ++i) image(i, to) = image(i, from);
}

// Mean of the two neighbours when they differ by less than T, else computed.
float refine(PixelEngine& engine, int i, int j, float a, float b, float threshold) {
  if (neighbours_interpolate(a, b, threshold)) return (a + b) / 2.0f;
  return engine.pixel_intensity(i, j);
}

void full_method(PixelEngine& engine, PatternImage& image) {
  ProgressState& state = engine.control().state();
  state.units_left = kFullUnits;
  engine.control().rate_update(0);
  engine.set_series_limit(kFullSeriesLimit);
  for (int i = 1; i <= kSize; ++i) {
    for (int j = 1; j <= kSize; ++j) {
      image(i, j) = engine.pixel_intensity(i, j);
      state.units_left -= 1;
    }
    engine.control().rate_update(kSize);
  }
}

void adaptive_method(PixelEngine& engine, PatternImage& image) {
  ProgressState& state = engine.control().state();
  state.units_left = kAdaptiveUnits;
  engine.control().rate_update(0);
  engine.set_series_limit(kAdaptiveSeriesLimit);
  // Coarse pass: every second pixel in both directions.
  for (int i = 1; i <= 511; i += 2) {
    for (int j = 1; j <= 511; j += 2) {
      image(i, j) = engine.pixel_intensity(i, j);
      state.units_left -= 1;
    }
    engine.control().rate_update(256);
  }
  const float threshold = interpolation_threshold(image, kAdaptiveStep, kAdaptiveFraction);
  // First refinement: the even columns of the coarse rows.
  for (int i = 1; i <= 511; i += 2) {
    for (int j = 2; j <= 510; j += 2) {
      image(i, j) = refine(engine, i, j, image(i, j - 1), image(i, j + 1), threshold);
      const float left = 0.4f * float(65280 - 255 * ((i - 1) / 2) - (j - 1) / 2) + 19660.8f;
      state.units_left = int(std::max(0.0f, left));
    }
  }
  // Second refinement: the even rows, every column but the last.
  for (int i = 2; i <= 510; i += 2) {
    for (int j = 1; j <= 511; ++j) {
      image(i, j) = refine(engine, i, j, image(i - 1, j), image(i + 1, j), threshold);
      const float left = 0.3f * float(261121 - 511 * (i - 1) - j);
      state.units_left = int(std::max(0.0f, left));
    }
  }
  copy_row(image, 511, 512);
  copy_column(image, 511, 512);
}

void block_method(PixelEngine& engine, PatternImage& image) {
  ProgressState& state = engine.control().state();
  state.units_left = kBlockUnits;
  engine.control().rate_update(0);
  engine.set_series_limit(kBlockSeriesLimit);
  for (int i = 3; i <= 510; i += 3) {
    for (int j = 3; j <= 510; j += 3) {
      const float v = engine.pixel_intensity(i, j);
      image(i, j - 1) = v;
      image(i, j) = v;
      image(i, j + 1) = v;
      state.units_left -= 1;
    }
    copy_row(image, i, i - 1);
    copy_row(image, i, i + 1);
    engine.control().rate_update(170);
  }
  copy_row(image, 2, 1);
  copy_row(image, 511, 512);
  copy_column(image, 2, 1);
  copy_column(image, 511, 512);
}

}  // namespace

PixelEngine::PixelEngine(const SimulationInput& in, const BeamList& beams, RunControl& control,
                         const StructureFactorFn& structure_factor)
    : in_(in), beams_(beams), control_(control), ws_(beams.order()) {
  build_coupling_matrix(beams, in.effective_thickness, in.potential_factor,
                        structure_factor ? structure_factor : crystal_structure_factor(in),
                        [&control] { control.progress_update(); }, w_);
}

std::array<float, 3> PixelEngine::wave_vector(int i, int j) const {
  const float p = in_.pixel_scale;
  const float x = ((float(i) - 0.5f) - 256.0f) * p;
  const float y = ((float(j) - 0.5f) - 256.0f) * p;
  const float norm = std::sqrt(x * x + y * y + 1.0f);
  const float k = 1.0f / in_.wavelength;
  return {x / norm * k, y / norm * k, 1.0f / norm * k};
}

float PixelEngine::pixel_intensity(int i, int j) {
  const float intensity = transmitted_intensity(wave_vector(i, j), w_, beams_, series_limit_, ws_);
  control_.progress_update();
  return intensity;
}

void compute_pattern(const SimulationInput& in, const BeamList& beams, int method, RunControl& control,
                     PatternImage& image) {
  PixelEngine engine(in, beams, control);
  compute_pattern(engine, method, image);
}

void compute_pattern(PixelEngine& engine, int method, PatternImage& image) {
  image.fill(0.0f);
  if (method == 0)
    full_method(engine, image);
  else if (method == 1)
    adaptive_method(engine, image);
  else
    block_method(engine, image);
}

float interpolation_threshold(const PatternImage& image, int step, float fraction) {
  constexpr int kBins = 100;
  if (step < 1) return 0.0f;
  const int m = 511 / step;
  const int last = 1 + step * (m - 1);
  // Largest finite difference.
  float largest = 0.0f;
  auto for_each_difference = [&](auto&& visit) {
    for (int i = 1; i <= last; i += step)
      for (int j = 1; j <= last; j += step) {
        visit(std::fabs(image(i, j) - image(i + step, j)));
        visit(std::fabs(image(i, j) - image(i, j + step)));
      }
  };
  for_each_difference([&](float d) {
    if (std::isfinite(d) && d > largest) largest = d;
  });
  const float top = 1.00001f * largest;
  std::array<int, kBins> bins{};
  int counted = 0;
  for_each_difference([&](float d) {
    if (!std::isfinite(d)) return;
    int b = 0;
    if (top > 0.0f) {
      const float x = std::trunc(100.0f * d / top);
      b = x >= float(kBins - 1) ? kBins - 1 : (x > 0.0f ? int(x) : 0);
    }
    ++bins[b];
    ++counted;
  });
  if (counted == 0 || !std::isfinite(top)) return 0.0f;
  std::array<float, kBins> share{};
  for (int b = 0; b < kBins; ++b) share[b] = float(bins[b]) / float(counted);
  // Bins w..100 (1-based) summed from the top, starting with 100 and 99.
  float sum = share[kBins - 1];
  for (int w = kBins - 1; w >= 1; --w) {
    sum += share[w - 1];
    if (sum > fraction) return float(w) * top / 100.0f;
  }
  return 0.0f;
}

std::array<float, 3> calibrate_speed(const SimulationInput& in, const BeamList& beams, RunControl& control,
                                     const std::function<int()>& clock) {
  PixelEngine engine(in, beams, control);
  return calibrate_speed(engine, clock);
}

std::array<float, 3> calibrate_speed(PixelEngine& engine, const std::function<int()>& clock) {
  const std::function<int()> now = clock ? clock : std::function<int()>(time_of_day_hundredths);
  constexpr int kLimits[3] = {kFullSeriesLimit, kAdaptiveSeriesLimit, kBlockSeriesLimit};
  std::array<float, 3> estimate{};
  for (int pass = 0; pass < 3; ++pass) {
    engine.set_series_limit(kLimits[pass]);
    const int start = now();
    int elapsed = 0;
    int count = 0;
    for (int q = 201; q <= 512; ++q) {
      engine.pixel_intensity(q, q);
      ++count;
      elapsed = now() - start;
      if (elapsed < 0) elapsed += kHundredthsPerDay;  // across midnight
      if (elapsed > 30) break;
    }
    // Pixels each method computes, times the share of the refinements (1.71)
    // and of the replication (1.02).
    const float e = float(elapsed), per = float(count) * 100.0f;
    if (pass == 0) estimate[0] = e * 262144.0f / per;
    if (pass == 1) estimate[1] = e * 65025.0f * 1.71f / per;
    if (pass == 2) estimate[2] = e * 28900.0f * 1.02f / per;
  }
  return estimate;
}

}  // namespace velmorant
