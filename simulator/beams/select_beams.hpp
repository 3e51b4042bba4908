// Beam selection: strong reflections near the Ewald sphere, strongest first.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "beams/beam_list.hpp"
#include "input/simulation_input.hpp"

namespace velmorant {

inline constexpr int kMaxCandidates = 10000;
inline constexpr int kBandGrid = 288;  // band filter grid: u, v = -31, -29, ..., 543

// Working storage of the selection: the ordered candidates (0-based here:
// candidate i, counted from 1, is entry i-1) and the band half-width ΔS.
struct CandidateList {
  std::vector<std::array<std::int32_t, 3>> miller;
  std::vector<std::array<float, 3>> lab_vector;
  std::vector<float> strength;
  float band_half_width = 0;  // ΔS, Å⁻¹
  int count() const { return static_cast<int>(miller.size()); }
};

// search_candidates then filter_by_band: fills `beams` (entry 0 is set to the
// transmitted beam). May throw FormFactorStop (structure factors, model != 0).
// max_beams < 1 keeps no diffracted beam: N = 0, the transmitted beam alone
// (a safe reading of a value that cannot cap anything; "no limit" could ask
// for 10001² scattering matrices).
void select_beams(const SimulationInput& in, BeamList& beams);

// First stage: threshold, ΔS, window scan (at most 10000 candidates), ordering
// by decreasing strength with sort_by_key.
CandidateList search_candidates(const SimulationInput& in);

// Second stage: Ewald-band flags on the 288 x 288 grid, compaction in list order
// up to max_beams, N.
void filter_by_band(const SimulationInput& in, const CandidateList& candidates, BeamList& beams);

// Recursive quicksort (ascending keys, pivot = first key, Hoare partition);
// `indices` and `vectors` follow the keys.
// All three must have the same size.
void sort_by_key(std::vector<float>& keys, std::vector<std::array<std::int32_t, 3>>& indices,
                 std::vector<std::array<float, 3>>& vectors);

}  // namespace velmorant
