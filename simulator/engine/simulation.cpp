// Simulation: the in-memory entry point of the engine, an input with overrides in, 512 x 512 intensities of every beam out.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/engine/simulation.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "simulator/beams/select_beams.hpp"
#include "common/physical_constants.hpp"
#include "simulator/geometry/matrix3.hpp"
#include "simulator/engine/pattern_computation.hpp"
#include "simulator/engine/pixel_pool.hpp"
#include "simulator/engine/thickness_series.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "simulator/scattering/structure_factor.hpp"
#include "simulator/progress/silent_presentation.hpp"
#include "common/angles.hpp"
#include "common/fixed_format.hpp"
#include "common/input_error.hpp"

namespace velmorant {

namespace {

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool same_bits(const Vec3f& a, const Vec3f& b) {
  return same_bits(a[0], b[0]) && same_bits(a[1], b[1]) && same_bits(a[2], b[2]);
}

}  // namespace

struct Simulation::Silent {
  ProgressState state;
  SilentPresentation presentation;
  RunControl control{state, presentation};
};

void check_overrides(const Overrides& o) {
  if (o.thickness)
    if (const std::string problem = thickness_problem(*o.thickness); !problem.empty())
      throw common::InputError("thickness override: " + problem);
  if (o.wavelength)
    if (const std::string problem = wavelength_problem(*o.wavelength); !problem.empty())
      throw common::InputError("wavelength override: " + problem);
  if (o.euler_degrees)
    for (const float a : *o.euler_degrees)
      if (!std::isfinite(a))
        throw common::InputError("Euler angle override: " + common::shortest_text(a) +
                                 "; the angles phi1, Phi, phi2 must be finite numbers of degrees");
}

void apply_overrides(const SimulationInput& base, const Overrides& o, SimulationInput& out) {
  out = base;
  if (o.thickness) {
    out.thickness = *o.thickness;
    out.effective_thickness = out.thickness / out.surface_normal[2];
  }
  if (o.wavelength) {
    out.wavelength = *o.wavelength;
    out.potential_factor = potential_factor(out);
  }
  if (o.euler_degrees) {
    out.euler_degrees = *o.euler_degrees;
    for (int c = 0; c < 3; ++c) out.euler_angles[c] = common::radians((*o.euler_degrees)[c]);
    out.orientation_matrix =
        bunge_matrix(out.euler_angles[0], out.euler_angles[1], out.euler_angles[2]);
  }
}

Simulation::Simulation(const SimulationInput& base, const BeamList& beams, int threads)
    : base_(std::make_unique<SimulationInput>(base)),
      current_(std::make_unique<SimulationInput>(base)),
      beams_(std::make_unique<BeamList>(beams)),
      threads_(std::max(1, threads)),
      beams_wavelength_(base.wavelength),
      beams_euler_(base.euler_angles),
      structure_wavelength_(base.wavelength) {}

Simulation::~Simulation() = default;

void Simulation::prepare(const Overrides& o) {
  check_overrides(o);
  apply_overrides(*base_, o, *current_);
  if (!same_bits(current_->wavelength, structure_wavelength_)) {
    structure_factors_.clear();
    structure_wavelength_ = current_->wavelength;
  }
  if (!same_bits(current_->wavelength, beams_wavelength_) ||
      !same_bits(current_->euler_angles, beams_euler_)) {
    select_beams(*current_, *beams_);
    beams_wavelength_ = current_->wavelength;
    beams_euler_ = current_->euler_angles;
  }
}

StructureFactorFn Simulation::stored_structure_factor() {
  return [this](const std::array<std::int32_t, 3>& hkl) {
    auto [it, added] = structure_factors_.try_emplace(hkl);
    if (added) it->second = structure_factor(*current_, hkl, true);
    return it->second;
  };
}

RunControl& Simulation::silent_control() {
  if (!silent_) silent_ = std::make_unique<Silent>();
  return silent_->control;
}

void Simulation::compute(SamplingMethod method, PatternImage& image, RunControl& control,
                         BeamStack* stack) {
  PixelEngine engine(*current_, *beams_, control, stored_structure_factor(), threads_);
  if (stack) {
    describe_discs(*current_, *beams_, *stack);
    engine.set_beam_stack(stack);
  }
  compute_pattern(engine, method, image);
}

void Simulation::compute(SamplingMethod method, PatternImage& image) {
  compute(method, image, silent_control());
}

void Simulation::compute(SamplingMethod method, PatternImage& image, BeamStack& stack) {
  compute(method, image, silent_control(), &stack);
}

void Simulation::compute(const Overrides& o, SamplingMethod method, PatternImage& image) {
  prepare(o);
  compute(method, image);
}

std::array<float, 3> Simulation::calibrate(RunControl& control, const std::function<int()>& clock) {
  PixelEngine engine(*current_, *beams_, control, stored_structure_factor(), threads_);
  return calibrate_speed(engine, clock);
}

void Simulation::compute_series(SamplingMethod method, const ThicknessSeries& series,
                                std::vector<PatternImage>& images, RunControl& control) {
  images.resize(std::size_t(std::max(series.count, 0)));
  if (series.count <= 0) return;
  const float kept = current_->thickness, kept_effective = current_->effective_thickness;
  auto restore = [&] {
    current_->thickness = kept;
    current_->effective_thickness = kept_effective;
  };
  auto set_thickness = [&](float t) {
    current_->thickness = t;
    current_->effective_thickness = t / current_->surface_normal[2];
  };
  try {
    if (method == SamplingMethod::adaptive) {
      for (int k = 0; k < series.count; ++k) {
        set_thickness(series.thickness(k));
        compute(method, images[std::size_t(k)], control);
      }
      restore();
      return;
    }
    // The first thickness through the engine (its coupling matrix and
    // directions), the step's coupling matrix from the same structure factors.
    set_thickness(series.first);
    PixelEngine first(*current_, *beams_, control, stored_structure_factor(), 1);
    const SeriesPlan plan = series_plan(series.first, series.step, series.count, beams_->order());
    const float normal = current_->surface_normal[2];
    ComplexMatrix w_step, w_rest;
    build_coupling_matrix(*beams_, series.step / float(plan.substeps) / normal,
                          current_->potential_factor, stored_structure_factor(), {}, w_step);
    if (plan.steps >= 0 && plan.rest != 0.0f)
      build_coupling_matrix(*beams_, plan.rest / normal, current_->potential_factor,
                            stored_structure_factor(), {}, w_rest);
    const ComplexMatrix& w_first = plan.steps < 0 ? first.coupling_matrix() : w_rest;
    const int limit = method == SamplingMethod::full ? kFullSeriesLimit : kBlockSeriesLimit;
    std::vector<PixelEngine::Pixel> pixels;
    sampled_pixels(method, pixels);
    for (PatternImage& image : images) image.fill(0.0f);
    PixelPool pool(threads_);
    std::vector<SeriesWorkspace> ws;
    std::vector<std::vector<float>> values(std::size_t(pool.threads()),
                                           std::vector<float>(std::size_t(series.count)));
    for (int t = 0; t < pool.threads(); ++t) ws.emplace_back(beams_->order());
    const int count = series.count;
    pool.run(
        int(pixels.size()),
        [&](int item, int thread) {
          const auto [i, j] = pixels[std::size_t(item)];
          float* v = values[std::size_t(thread)].data();
          transmitted_series(first.wave_vector(i, j), w_first, w_step, *beams_, limit, count, plan,
                             ws[std::size_t(thread)], v);
          const std::size_t at = PatternImage::index(i, j);
          for (int k = 0; k < count; ++k) images[std::size_t(k)].data()[at] = v[k];
        },
        [&] {
          control.progress_update();
          return true;
        });
    if (method != SamplingMethod::full)
      for (PatternImage& image : images) fill_blocks(image.data());
  } catch (...) {
    restore();
    throw;
  }
  restore();
}

void Simulation::compute_series(SamplingMethod method, const ThicknessSeries& series,
                                std::vector<PatternImage>& images) {
  compute_series(method, series, images, silent_control());
}

}  // namespace velmorant
