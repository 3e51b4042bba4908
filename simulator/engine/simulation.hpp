// Simulation: the in-memory entry point of the engine, an input with overrides in, 512 x 512 intensities of every beam out.
//
// A Simulation holds a copy of one input as the reader leaves it (the base)
// and runs patterns of that input with some of its values replaced: the
// crystal thickness, the electron wavelength and the Euler angles. It reads
// and writes no file and shows nothing; progress and cancelling go through
// an optional RunControl, as in the program.
//
// What is kept between evaluations:
//  - the beam list, as long as the wavelength and the Euler angles are those
//    it was selected for (the selection depends on both; a thickness never
//    changes it);
//  - every structure factor computed so far, as long as the wavelength is the
//    same (the absorptive form factors depend on it, the orientation does not);
//    the coupling matrix of a new thickness is then built from these stored
//    values in N^2 multiplications instead of N^2 structure-factor sums.
// A pattern computed here is the pattern the program computes from a file
// holding the same values, bit for bit.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <complex>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "simulator/beams/beam_list.hpp"
#include "simulator/engine/beam_stack.hpp"
#include "simulator/engine/pattern_computation.hpp"
#include "simulator/engine/pattern_image.hpp"
#include "simulator/engine/scattering_matrix.hpp"
#include "simulator/input/simulation_input.hpp"
#include "simulator/progress/run_control.hpp"

namespace velmorant {

// Values that replace those of the base input for one evaluation; an empty
// one keeps the base value. Units are those of "VelmorantDS.dat".
struct Overrides {
  std::optional<float> thickness;      // crystal thickness along the surface normal, Å
  std::optional<float> wavelength;     // electron wavelength λ, Å
  std::optional<Vec3f> euler_degrees;  // φ1, Φ, φ2, degrees
};

// Refuses, with a common::InputError, an override the input file itself
// could not hold: a thickness that is not a positive number, a wavelength
// outside 0.001..0.1 Å (the reader's words, "did you give kV?"), an Euler
// angle that is not a finite number (a NaN would also keep the exponential's
// series from ever meeting its stop test).
void check_overrides(const Overrides& o);

// `out` = `base` with the overrides applied and every derived field that
// depends on them (effective thickness, Euler angles in radians, orientation
// matrix, potential factor) derived as the reader derives it. `base` must be
// an input as read_simulation_input leaves it; out may not alias base.
void apply_overrides(const SimulationInput& base, const Overrides& o, SimulationInput& out);

// Equally spaced thicknesses first, first + step, ..., `count` of them (Å,
// along the surface normal like `thickness`).
struct ThicknessSeries {
  float first = 0;  // Å
  float step = 0;   // Å, > 0
  int count = 0;    // >= 1
  float thickness(int k) const { return first + float(k) * step; }
};

class Simulation {
public:
  // `base` and `beams` as read_simulation_input leaves them (copied).
  // `threads` (at least 1; 1 = the calling thread only) compute the pixels.
  Simulation(const SimulationInput& base, const BeamList& beams, int threads = 1);
  ~Simulation();
  Simulation(const Simulation&) = delete;
  Simulation& operator=(const Simulation&) = delete;

  // Makes the base with `o` the current input. Selects the beams again only
  // when the wavelength or the Euler angles differ from those the current
  // beams were selected for. Throws common::InputError for an override
  // check_overrides refuses; may throw FormFactorStop as the reader does.
  void prepare(const Overrides& o);

  const SimulationInput& input() const { return *current_; }  // the current input
  const BeamList& beams() const { return *beams_; }           // its beams
  int threads() const { return threads_; }

  // The pattern of the current input with sampling method 0, 1 or any other
  // value (2), exactly as compute_pattern computes it. Progress goes
  // through `control` (its end hook may throw to cancel); without it nothing
  // is reported.
  // With `stack` (not nullptr) the same run also keeps the intensity of
  // every beam for every pixel (BeamStack: (N + 1) pages of 512 x 512, page 0
  // equal to `image`, and the table of discs); the image is the one
  // computed without it, bit for bit.
  void compute(SamplingMethod method, PatternImage& image, RunControl& control,
               BeamStack* stack = nullptr);
  void compute(SamplingMethod method, PatternImage& image);
  void compute(SamplingMethod method, PatternImage& image, BeamStack& stack);
  // prepare(o), then compute(method, image).
  void compute(const Overrides& o, SamplingMethod method, PatternImage& image);

  // calibrate_speed for the current input (same progress calls, same estimates).
  std::array<float, 3> calibrate(RunControl& control, const std::function<int()>& clock = {});

  // The patterns of the current input at the thicknesses of `series`
  // (replacing its thickness); images is resized to series.count. Methods 0
  // and 2 carry the wave of every sampled direction from one thickness to
  // the next by one product with the propagator exp(A step) (see
  // thickness_series.hpp): about the cost of one pattern. The members are
  // at least as accurate as separate patterns, so with method 2 they differ
  // from them by the method's own truncation. Method 1, whose samples depend
  // on the pattern, computes each thickness on its own.
  // The current input's thickness is left unchanged.
  void compute_series(SamplingMethod method, const ThicknessSeries& series,
                      std::vector<PatternImage>& images, RunControl& control);
  void compute_series(SamplingMethod method, const ThicknessSeries& series,
                      std::vector<PatternImage>& images);

private:
  StructureFactorFn stored_structure_factor();
  RunControl& silent_control();

  std::unique_ptr<SimulationInput> base_;
  std::unique_ptr<SimulationInput> current_;
  std::unique_ptr<BeamList> beams_;
  int threads_;
  // What the beams were selected for: wavelength (Å) and Euler angles (radians).
  float beams_wavelength_;
  Vec3f beams_euler_;
  // Structure factors computed at the wavelength structure_wavelength_.
  std::map<std::array<std::int32_t, 3>, std::complex<float>> structure_factors_;
  float structure_wavelength_;
  // Silent progress for runs without a RunControl of their own (made on first use).
  struct Silent;
  std::unique_ptr<Silent> silent_;
};

}  // namespace velmorant
