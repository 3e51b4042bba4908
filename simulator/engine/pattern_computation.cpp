// Sampling of the 512 x 512 field of incident directions: the three methods, edge filling and the speed calibration.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/engine/pattern_computation.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "simulator/scattering/structure_factor.hpp"

namespace velmorant {

namespace {

constexpr int kSize = PatternImage::kSize;  // 512: the last pixel of a row or column
constexpr int kLastOdd = kSize - 1;         // 511: the last pixel of the coarse grids
constexpr int kLastEven = kSize - 2;        // 510
constexpr int kBlockFirst = 3;              // the block grid: 3, 6, ..., 510
constexpr int kBlockStep = 3;
constexpr float kCentre = 0.5f * kSize;  // 256: the optical axis lies between pixels 256 and 257

StructureFactorFn crystal_structure_factor(const SimulationInput& in) {
  return [&in](const std::array<std::int32_t, 3>& hkl) { return structure_factor(in, hkl, true); };
}

// Row and column copies on one page in PatternImage's storage order.
void copy_row(float* page, int from, int to) {
  for (int j = 1; j <= kSize; ++j)
    page[PatternImage::index(to, j)] = page[PatternImage::index(from, j)];
}

void copy_column(float* page, int from, int to) {
  for (int i = 1; i <= kSize; ++i)
    page[PatternImage::index(i, to)] = page[PatternImage::index(i, from)];
}

// Applies fill(page) to the image and to every page of the engine's beam
// stack, if it has one: the other beams are completed as the bright field is.
template <class Fill>
void fill_pages(PixelEngine& engine, PatternImage& image, Fill fill) {
  fill(image.data());
  if (BeamStack* stack = engine.beam_stack())
    for (int b = 0; b < stack->order(); ++b) fill(stack->page(b));
}

using Pixel = PixelEngine::Pixel;

// The square grid of pixels (i, j), i and j from `first` to `last` in steps
// of `step`, row by row.
void square_grid(int first, int last, int step, std::vector<Pixel>& pixels) {
  const int row = (last - first) / step + 1;
  pixels.clear();
  pixels.reserve(std::size_t(row) * std::size_t(row));
  for (int i = first; i <= last; i += step)
    for (int j = first; j <= last; j += step) pixels.push_back({i, j});
}

// Computes the square grid of pixels (square_grid) on all threads: one
// progress call and one unit of work per pixel, and a rate update after every
// row. Leaves the pixels and their values in that order.
void grid_pass(PixelEngine& engine, int first, int last, int step, std::vector<Pixel>& pixels,
               std::vector<float>& values) {
  RunControl& control = engine.control();
  ProgressState& state = control.state();
  const int row = (last - first) / step + 1;
  square_grid(first, last, step, pixels);
  values.resize(pixels.size());
  engine.compute_pixels(pixels.data(), values.data(), int(pixels.size()), [&](int n) {
    control.progress_update();
    state.units_left -= 1;
    if (n % row == 0) control.rate_update(row);
    return true;
  });
}

void full_method(PixelEngine& engine, PatternImage& image) {
  RunControl& control = engine.control();
  control.state().units_left = kFullUnits;
  control.rate_update(0);
  engine.set_series_limit(kFullSeriesLimit);
  std::vector<Pixel> pixels;
  std::vector<float> values;
  grid_pass(engine, 1, kSize, 1, pixels, values);
  for (std::size_t k = 0; k < pixels.size(); ++k) image(pixels[k].i, pixels[k].j) = values[k];
}

// One refinement pass of the adaptive method over the elements visit() lists
// in order: an element whose two neighbours differ by less than T gets
// their mean at once; the others are computed on all threads. units_left
// follows `units_after` (i, j) element by element as if they were done in
// order: each computed pixel's progress_update sees the count left by the
// element before it.
template <class Visit, class Neighbours, class UnitsAfter>
void refinement_pass(PixelEngine& engine, PatternImage& image, float threshold, Visit visit,
                     Neighbours neighbours, UnitsAfter units_after) {
  RunControl& control = engine.control();
  ProgressState& state = control.state();
  std::vector<Pixel> pixels;
  std::vector<int> units_before;
  int units = state.units_left;
  BeamStack* stack = engine.beam_stack();
  visit([&](int i, int j) {
    const auto [p, q] = neighbours(i, j);
    const float a = image(p.i, p.j), b = image(q.i, q.j);
    if (neighbours_interpolate(a, b, threshold)) {
      image(i, j) = (a + b) / 2.0f;
      // Every beam takes the mean of the same two neighbours.
      if (stack)
        for (int beam = 0; beam < stack->order(); ++beam)
          (*stack)(beam, i, j) = ((*stack)(beam, p.i, p.j) + (*stack)(beam, q.i, q.j)) / 2.0f;
    } else {
      pixels.push_back({i, j});
      units_before.push_back(units);
    }
    units = units_after(i, j);
  });
  std::vector<float> values(pixels.size());
  engine.compute_pixels(pixels.data(), values.data(), int(pixels.size()), [&](int n) {
    state.units_left = units_before[std::size_t(n - 1)];
    control.progress_update();
    return true;
  });
  for (std::size_t k = 0; k < pixels.size(); ++k) image(pixels[k].i, pixels[k].j) = values[k];
  state.units_left = units;
}

void adaptive_method(PixelEngine& engine, PatternImage& image) {
  RunControl& control = engine.control();
  ProgressState& state = control.state();
  state.units_left = kAdaptiveUnits;
  control.rate_update(0);
  engine.set_series_limit(kAdaptiveSeriesLimit);
  // Coarse pass: every second pixel in both directions.
  std::vector<Pixel> pixels;
  std::vector<float> values;
  grid_pass(engine, 1, kLastOdd, 2, pixels, values);
  for (std::size_t k = 0; k < pixels.size(); ++k) image(pixels[k].i, pixels[k].j) = values[k];
  const float threshold = interpolation_threshold(image, kAdaptiveStep, kAdaptiveFraction);
  // First refinement: the even columns of the coarse rows; it reads only coarse pixels.
  refinement_pass(
      engine, image, threshold,
      [](auto&& element) {
        for (int i = 1; i <= kLastOdd; i += 2)
          for (int j = 2; j <= kLastEven; j += 2) element(i, j);
      },
      [](int i, int j) {
        return std::pair{Pixel{i, j - 1}, Pixel{i, j + 1}};
      },
      [](int i, int j) {
        const float left = 0.4f * float(65280 - 255 * ((i - 1) / 2) - (j - 1) / 2) + 19660.8f;
        return int(std::max(0.0f, left));
      });
  // Second refinement: the even rows, every column but the last; it reads
  // only the odd rows, complete after the first refinement.
  refinement_pass(
      engine, image, threshold,
      [](auto&& element) {
        for (int i = 2; i <= kLastEven; i += 2)
          for (int j = 1; j <= kLastOdd; ++j) element(i, j);
      },
      [](int i, int j) {
        return std::pair{Pixel{i - 1, j}, Pixel{i + 1, j}};
      },
      [](int i, int j) {
        const float left = 0.3f * float(kLastOdd * kLastOdd - kLastOdd * (i - 1) - j);
        return int(std::max(0.0f, left));
      });
  fill_pages(engine, image, [](float* page) {
    copy_row(page, kLastOdd, kSize);
    copy_column(page, kLastOdd, kSize);
  });
}

void block_method(PixelEngine& engine, PatternImage& image) {
  RunControl& control = engine.control();
  ProgressState& state = control.state();
  state.units_left = kBlockUnits;
  control.rate_update(0);
  engine.set_series_limit(kBlockSeriesLimit);
  std::vector<Pixel> pixels;
  std::vector<float> values;
  grid_pass(engine, kBlockFirst, kLastEven, kBlockStep, pixels, values);
  // Each sampled pixel stands for the 3 x 3 block around it (the blocks do not overlap).
  for (std::size_t k = 0; k < pixels.size(); ++k) {
    const auto [i, j] = pixels[k];
    image(i, j) = values[k];
  }
  fill_pages(engine, image, fill_blocks);
}

}  // namespace

void sampled_pixels(SamplingMethod method, std::vector<Pixel>& pixels) {
  if (method == SamplingMethod::full)
    square_grid(1, kSize, 1, pixels);
  else
    square_grid(kBlockFirst, kLastEven, kBlockStep, pixels);
}

void fill_blocks(float* page) {
  for (int i = kBlockFirst; i <= kLastEven; i += kBlockStep)
    for (int j = kBlockFirst; j <= kLastEven; j += kBlockStep)
      page[PatternImage::index(i, j - 1)] = page[PatternImage::index(i, j + 1)] =
          page[PatternImage::index(i, j)];
  for (int i = kBlockFirst; i <= kLastEven; i += kBlockStep) {
    copy_row(page, i, i - 1);
    copy_row(page, i, i + 1);
  }
  copy_row(page, 2, 1);
  copy_row(page, kLastOdd, kSize);
  copy_column(page, 2, 1);
  copy_column(page, kLastOdd, kSize);
}

PixelEngine::PixelEngine(const SimulationInput& in, const BeamList& beams, RunControl& control,
                         const StructureFactorFn& structure_factor, int threads)
    : in_(in), beams_(beams), control_(control), pool_(std::max(1, threads)) {
  build_coupling_matrix(
      beams, in.effective_thickness, in.potential_factor,
      structure_factor ? structure_factor : crystal_structure_factor(in),
      [&control] { control.progress_update(); }, w_);
  ws_.reserve(std::size_t(pool_.threads()));
  for (int t = 0; t < pool_.threads(); ++t) ws_.emplace_back(beams.order());
}

std::array<float, 3> PixelEngine::wave_vector(int i, int j) const {
  const float p = in_.pixel_scale;
  const float x = ((float(i) - 0.5f) - kCentre) * p;
  const float y = ((float(j) - 0.5f) - kCentre) * p;
  const float norm = std::sqrt(x * x + y * y + 1.0f);
  const float k = 1.0f / in_.wavelength;
  return {x / norm * k, y / norm * k, 1.0f / norm * k};
}

float PixelEngine::pixel_intensity(int i, int j) {
  const float intensity =
      transmitted_intensity(wave_vector(i, j), w_, beams_, series_limit_, ws_[0]);
  control_.progress_update();
  return intensity;
}

int PixelEngine::compute_pixels(const Pixel* pixels, float* values, int count,
                                const std::function<bool(int)>& report) {
  int completed = 0;
  return pool_.run(
      count,
      [&](int item, int thread) {
        const Pixel p = pixels[item];
        ExponentialWorkspace& ws = ws_[std::size_t(thread)];
        if (stack_)
          values[item] = beam_intensities(wave_vector(p.i, p.j), w_, beams_, series_limit_, ws,
                                          &(*stack_)(0, p.i, p.j), BeamStack::kPageSize);
        else
          values[item] =
              transmitted_intensity(wave_vector(p.i, p.j), w_, beams_, series_limit_, ws);
      },
      [&] { return report(++completed); });
}

void compute_pattern(const SimulationInput& in, const BeamList& beams, SamplingMethod method,
                     RunControl& control, PatternImage& image, int threads) {
  PixelEngine engine(in, beams, control, {}, threads);
  compute_pattern(engine, method, image);
}

void compute_pattern(PixelEngine& engine, SamplingMethod method, PatternImage& image) {
  image.fill(0.0f);
  if (BeamStack* stack = engine.beam_stack()) stack->resize(int(engine.coupling_matrix().rows()));
  switch (method) {
    case SamplingMethod::full:
      full_method(engine, image);
      break;
    case SamplingMethod::adaptive:
      adaptive_method(engine, image);
      break;
    case SamplingMethod::block:
    default:  // a value cast from any other number samples in blocks too
      block_method(engine, image);
      break;
  }
}

float interpolation_threshold(const PatternImage& image, int step, float fraction) {
  constexpr int kBins = 100;
  if (step < 1) return 0.0f;
  const int m = kLastOdd / step;
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

std::array<float, 3> calibrate_speed(const SimulationInput& in, const BeamList& beams,
                                     RunControl& control, const std::function<int()>& clock,
                                     int threads) {
  PixelEngine engine(in, beams, control, {}, threads);
  return calibrate_speed(engine, clock);
}

std::array<float, 3> calibrate_speed(PixelEngine& engine, const std::function<int()>& clock) {
  // The default clock counts hundredths of a second with their fractions: a
  // pass whose 312 pixels take only a few hundredths is still timed to
  // better than a percent (whole hundredths would make its estimate 30 % or
  // more off).
  const auto origin = std::chrono::steady_clock::now();
  const std::function<double()> now =
      clock ? std::function<double()>([&clock] { return double(clock()); })
            : std::function<double()>([origin] {
                return 100.0 *
                       std::chrono::duration<double>(std::chrono::steady_clock::now() - origin)
                           .count();
              });
  constexpr int kLimits[3] = {kFullSeriesLimit, kAdaptiveSeriesLimit, kBlockSeriesLimit};
  std::array<float, 3> estimate{};
  for (int pass = 0; pass < 3; ++pass) {
    engine.set_series_limit(kLimits[pass]);
    std::array<PixelEngine::Pixel, 312> diagonal;
    for (int q = 201; q <= kSize; ++q) diagonal[std::size_t(q - 201)] = {q, q};
    std::array<float, 312> values;
    const double start = now();
    double elapsed = 0;
    int count = 0;
    // With several threads the pixels still in progress at the stop are
    // finished but not counted: e / c is the time per pixel of the parallel
    // run. With the steady clock a pass whose 312 pixels end within 30
    // hundredths goes over the diagonal again (at most 8 times in all): a
    // measurement of a few milliseconds is at the mercy of one interruption
    // by another process. A given clock keeps the single round.
    const int rounds = clock ? 1 : 8;
    for (int round = 0; round < rounds && !(elapsed > 30); ++round) {
      const int before = count;
      engine.compute_pixels(diagonal.data(), values.data(), int(diagonal.size()), [&](int n) {
        engine.control().progress_update();
        count = before + n;
        elapsed = now() - start;
        if (elapsed < 0) elapsed += kHundredthsPerDay;  // across midnight
        return !(elapsed > 30);
      });
    }
    // Pixels each method computes, times the share of the refinements (1.71)
    // and of the replication (1.02).
    const float e = float(elapsed), per = float(count) * 100.0f;
    if (pass == 0) estimate[0] = e * float(PatternImage::kPixels) / per;
    if (pass == 1) estimate[1] = e * 65025.0f * 1.71f / per;
    if (pass == 2) estimate[2] = e * 28900.0f * 1.02f / per;
  }
  return estimate;
}

}  // namespace velmorant
