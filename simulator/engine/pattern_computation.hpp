// Sampling of the 512 x 512 field of incident directions: the three methods, edge filling and the speed calibration.
//
// The pattern is computed pixel by pixel from the transmitted intensity of
// the many-beam slab (engine/scattering_matrix.hpp). After every computed
// pixel the run control's progress_update is called (it serves the window
// and may suspend or end the run); after every row of the timed passes its
// rate_update. The engine keeps ProgressState::units_left, the count of work
// units not yet done, from which the time to completion is shown.
//
// Writing the image is not part of compute_pattern: the image writer depends
// on PatternImage, so the engine does not call back into it. The driver calls
// write_pattern_image(image, input) right after compute_pattern returns,
// before anything else, which keeps the order of a run unchanged.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "simulator/beams/beam_list.hpp"
#include "simulator/engine/beam_stack.hpp"
#include "simulator/engine/matrix_exponential.hpp"
#include "simulator/engine/pattern_image.hpp"
#include "simulator/engine/pixel_pool.hpp"
#include "simulator/engine/scattering_matrix.hpp"
#include "simulator/input/simulation_input.hpp"
#include "simulator/progress/run_control.hpp"

namespace velmorant {

// How the field of directions is sampled; the first command-line argument
// "0", "1" or "2" names one (app/sampling_method.hpp).
enum class SamplingMethod : int {
  full = 0,      // every pixel, full series
  adaptive = 1,  // every second pixel, the rest interpolated where the neighbours agree
  block = 2,     // every third pixel in both directions, each standing for a 3 x 3 block
};

// Series limits (largest number of Taylor terms) of the three methods.
inline constexpr int kFullSeriesLimit = 1000;   // method 0
inline constexpr int kAdaptiveSeriesLimit = 7;  // method 1
inline constexpr int kBlockSeriesLimit = 3;     // method 2

// Work units at the start of each method (units_left).
inline constexpr int kFullUnits =
    PatternImage::kSize * PatternImage::kSize;  // 512^2 computed pixels
inline constexpr int kAdaptiveUnits = 111411;   // 256^2 coarse pixels plus the refinements
inline constexpr int kBlockUnits = 28900;       // 170^2 sampled pixels

// Threshold of the adaptive method: step 2, fraction 0.2 of the differences.
inline constexpr int kAdaptiveStep = 2;
inline constexpr float kAdaptiveFraction = 0.2f;

// The per-pixel machinery of one computation: the coupling matrix, a pool of
// threads and the working matrices of each thread, allocated once by the
// constructor and reused for every pixel. Holds references to its
// arguments; they must outlive it.
//
// Pixels are computed on every thread of the pool (pixel_pool.hpp); each
// pixel's value depends only on the pixel, so the pattern is the same, bit
// for bit, for every number of threads. The run control is used on the
// constructing thread only: progress_update once per computed pixel as
// pixels complete, rate_update per row's worth of pixels.
class PixelEngine {
public:
  // Builds the coupling matrix from the structure factors of all beam
  // differences (absorptive part included), calling control.progress_update()
  // at the start of each of its N + 1 rows. `structure_factor` replaces the
  // crystal's own structure factors (for tests); empty means the crystal's.
  // `threads` (at least 1; 1 = everything on the calling thread) compute the pixels.
  PixelEngine(const SimulationInput& in, const BeamList& beams, RunControl& control,
              const StructureFactorFn& structure_factor = {}, int threads = 1);

  void set_series_limit(int limit) { series_limit_ = limit; }
  int series_limit() const { return series_limit_; }
  int threads() const { return pool_.threads(); }

  // Incident wave vector of pixel (i, j), Å^-1: the unit vector along
  // (x, y, 1) with x = ((i - 0.5) - 256) p, y = ((j - 0.5) - 256) p, divided by lambda.
  std::array<float, 3> wave_vector(int i, int j) const;

  // Transmitted intensity of pixel (i, j) with the current series limit,
  // computed on the calling thread, then one progress_update. i, j may lie
  // outside 1..512 (the direction simply continues the grid).
  float pixel_intensity(int i, int j);

  // One pixel of a pass.
  struct Pixel {
    int i, j;
  };
  // Computes the intensities of pixels[0 .. count) with the current series
  // limit into values[0 .. count) on every thread. For every completed pixel
  // the calling thread calls report(n), n = pixels completed so far (1, 2,
  // ...); report must call progress_update (the engine's work counter is the
  // caller's business) and returns false to stop handing out pixels. No new
  // pixel starts while a report runs. Returns the number of pixels reported.
  int compute_pixels(const Pixel* pixels, float* values, int count,
                     const std::function<bool(int)>& report);

  // With a stack set (nullptr: none, the default), every computed pixel also
  // stores the intensity of every beam into its pages (beam_intensities), and
  // compute_pattern fills the other pixels of each page as it fills the
  // bright field. The stack must have the beams' order while pixels are
  // computed (compute_pattern sizes it); it must outlive its use.
  void set_beam_stack(BeamStack* stack) { stack_ = stack; }
  BeamStack* beam_stack() const { return stack_; }

  const ComplexMatrix& coupling_matrix() const { return w_; }
  RunControl& control() { return control_; }

private:
  const SimulationInput& in_;
  const BeamList& beams_;
  RunControl& control_;
  ComplexMatrix w_;
  PixelPool pool_;
  std::vector<ExponentialWorkspace> ws_;  // one per thread of the pool
  int series_limit_ = kFullSeriesLimit;
  BeamStack* stack_ = nullptr;
};

// Computes the whole pattern into `image` with the sampling method: full
// (every pixel, full series), adaptive (every second pixel, adaptive
// refinement, 7 terms) or block (every third pixel replicated into 3 x 3
// blocks, 3 terms). Builds the coupling matrix first. Non-finite intensities are
// stored as they are. Does not write the image file (see above).
// `threads` compute the pixels (1: all on the calling thread).
void compute_pattern(const SimulationInput& in, const BeamList& beams, SamplingMethod method,
                     RunControl& control, PatternImage& image, int threads = 1);
// The same with a prepared engine (its coupling matrix already built). When
// the engine has a beam stack, it is resized to the beams' order and filled
// too: every page is sampled and completed like the image, and page 0 equals
// the image bit for bit.
void compute_pattern(PixelEngine& engine, SamplingMethod method, PatternImage& image);

// The pixels the full (every pixel) and block (every third pixel in both
// directions, i and j = 3, 6, ..., 510) methods compute, row by row. Any
// other method gives the block grid.
void sampled_pixels(SamplingMethod method, std::vector<PixelEngine::Pixel>& pixels);

// Completes one 512 x 512 page (PatternImage storage order) whose block
// samples are set: each sample stands for the 3 x 3 block around it, rows
// and columns 1 and 512 repeat their neighbours 2 and 511.
void fill_blocks(float* page);

// Threshold of the adaptive method from the coarse samples at spacing `step`:
// the differences between each sample and its neighbours `step` further along
// i and along j are put into 100 bins up to 1.00001 x the largest; T is the
// upper edge of the bin at which the largest differences, counted from the
// top, first make up more than `fraction` of them; 0 if none does.
// Differences that are not finite numbers are left out of the bins.
float interpolation_threshold(const PatternImage& image, int step, float fraction);

// The adaptive method's test: a pixel receives the mean of its two
// neighbours a and b only when |a - b| < threshold. Neighbours that differ
// by exactly the threshold, or whose difference is not a number, are not
// interpolated: the pixel is computed.
inline bool neighbours_interpolate(float a, float b, float threshold) {
  return std::fabs(a - b) < threshold;
}

// Run-time estimates in seconds for methods 0, 1 and 2, from the time per
// pixel along the diagonal (q, q), q = 201..512, with each series limit:
// each pass stops at the first pixel after more than 30 hundredths of a
// second, or after 312 pixels. `clock` gives hundredths of a second since
// midnight; a pass across midnight is measured modulo one day. Empty: a
// steady clock in hundredths with their fractions, and a pass whose 312
// pixels end within 30 hundredths goes over them again, up to 8 times, so
// that even fast pixels are timed over about 30 hundredths. Builds its own coupling matrix. With several `threads`
// the pixels are computed as in the pattern, on every thread, and the time
// per completed pixel is the time of the parallel run.
std::array<float, 3> calibrate_speed(const SimulationInput& in, const BeamList& beams,
                                     RunControl& control, const std::function<int()>& clock = {},
                                     int threads = 1);
// The same with a prepared engine; leaves its series limit at 3.
std::array<float, 3> calibrate_speed(PixelEngine& engine, const std::function<int()>& clock = {});

}  // namespace velmorant
