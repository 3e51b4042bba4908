// BeamList: the beams the simulation keeps, chosen by select_beams.
//
// Entry 0 is the transmitted beam: Miller indices (0, 0, 0) and laboratory
// vector 0. Entries 1..count are the diffracted beams, strongest first.
// The scattering matrices have order count + 1 and are indexed by entries.
//
// The tables are allocated on the heap by the constructor with room for
// kMaxBeams + 1 entries (about 240 KB), so a BeamList itself is small and can
// live anywhere (stack, static, unique_ptr). Never resize the vectors.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace velmorant {

inline constexpr int kMaxBeams = 10000;  // largest count N of diffracted beams

struct BeamList {
  std::int32_t count = 0;                           // N, 0..kMaxBeams
  std::vector<std::array<std::int32_t, 3>> miller;  // h, k, l of entries 0..N
  std::vector<std::array<float, 3>> lab_vector;     // g' in the laboratory frame, Å⁻¹

  BeamList() : miller(kMaxBeams + 1, {0, 0, 0}), lab_vector(kMaxBeams + 1, {0.f, 0.f, 0.f}) {}
  int order() const { return count + 1; }  // number of entries including the transmitted beam
};

}  // namespace velmorant
