// BeamStack: the intensity of every beam for every incident direction of one pattern, and where each beam's disc lies.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "simulator/beams/beam_list.hpp"
#include "simulator/engine/pattern_image.hpp"
#include "simulator/input/simulation_input.hpp"

namespace velmorant {

// One beam of the stack: which reflection it is and where its disc falls.
struct BeamDisc {
  std::array<std::int32_t, 3> miller{};  // h, k, l (0 0 0: the transmitted beam)
  Vec3f lab_vector{};                    // g' in the laboratory frame, Å^-1
  // Centre of the disc relative to the transmitted disc's centre, pixels of
  // the pattern: along i (sample +x, up in every picture) and along j
  // (sample +y, left). The beam leaving along k0 + g, k0 = (0, 0, 1/λ) the
  // beam direction, meets the detector at camera length L at L times its
  // tangent g_x / (1/λ + g_z); one pixel is pixel_pitch there.
  float offset_i = 0, offset_j = 0;  // pixels
};

// Page b (0..N) holds |amplitude of beam b|^2 for every pixel (i, j), in
// PatternImage's storage order (i fastest); page 0 is the bright field.
// (N + 1) x 512 x 512 floats, allocated once by resize.
class BeamStack {
public:
  static constexpr std::size_t kPageSize = PatternImage::kPixels;  // floats per page

  // Room for `order` pages (N + 1), all zero; `discs` is not touched.
  void resize(int order) {
    order_ = order;
    v_.assign(std::size_t(order) * kPageSize, 0.0f);
  }
  int order() const { return order_; }

  float* page(int b) { return v_.data() + std::size_t(b) * kPageSize; }
  const float* page(int b) const { return v_.data() + std::size_t(b) * kPageSize; }
  float& operator()(int b, int i, int j) { return page(b)[PatternImage::index(i, j)]; }
  float operator()(int b, int i, int j) const { return page(b)[PatternImage::index(i, j)]; }
  float* data() { return v_.data(); }
  const float* data() const { return v_.data(); }

  std::vector<BeamDisc> discs;  // one per page, filled by describe_discs
  float pixel_scale = 0;        // pixel_pitch / camera_length: tangent per pixel
  float wavelength = 0;         // Å

private:
  int order_ = 0;
  std::vector<float> v_;
};

// Fills stack.discs (one per beam of `beams`), stack.pixel_scale and
// stack.wavelength from the input; the pages are left as they are.
inline void describe_discs(const SimulationInput& in, const BeamList& beams, BeamStack& stack) {
  stack.pixel_scale = in.pixel_scale;
  stack.wavelength = in.wavelength;
  stack.discs.resize(std::size_t(beams.order()));
  const float k = 1.0f / in.wavelength;  // Å^-1
  for (int b = 0; b < beams.order(); ++b) {
    BeamDisc& d = stack.discs[std::size_t(b)];
    d.miller = beams.miller[std::size_t(b)];
    d.lab_vector = beams.lab_vector[std::size_t(b)];
    const float along = k + d.lab_vector[2];
    d.offset_i = d.lab_vector[0] / along / in.pixel_scale;
    d.offset_j = d.lab_vector[1] / along / in.pixel_scale;
  }
}

}  // namespace velmorant
