// Beam selection: strong reflections near the Ewald sphere, strongest first.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
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

// Called often while the beams are selected (every kPollInterval structure
// factors of the search, every grid row of the band filter), so that a
// caller can keep a window served and let the user end the run: it may
// throw to stop the selection. Empty: nothing is called.
using SelectionPoll = std::function<void()>;
inline constexpr int kPollInterval = 64;  // structure-factor evaluations between two polls

// search_candidates then filter_by_band: fills `beams` (entry 0 is set to the
// transmitted beam). May throw FormFactorStop (structure factors, model != 0).
// max_beams < 1 keeps no diffracted beam: N = 0, the transmitted beam alone
// (a safe reading of a value that cannot cap anything; "no limit" could ask
// for 10001² scattering matrices).
void select_beams(const SimulationInput& in, BeamList& beams, const SelectionPoll& poll = {});

// First stage: threshold, ΔS, window scan (at most 10000 candidates), ordering
// by decreasing strength with sort_by_key.
CandidateList search_candidates(const SimulationInput& in, const SelectionPoll& poll = {});

// Second stage: Ewald-band flags on the 288 x 288 grid, compaction in list order
// up to max_beams, N.
void filter_by_band(const SimulationInput& in, const CandidateList& candidates, BeamList& beams,
                    const SelectionPoll& poll = {});

// --- How long the search will take ---
//
// The search evaluates a structure factor for every reflection of the box
// -n..n, (2n + 1)^3 - 1 of them, once to find the strongest (only when
// strength_fraction > 0) and once in the window scan; each evaluation sums
// over every site of the cell. Its time therefore grows with the cube of n
// and with the number of sites, and is predicted from the measured time of
// one evaluation of this crystal: time = scans x reflections x that time.
// This is an upper bound: the window scan ends early once 10000 candidates
// are found. The band filter after it is bounded by the 10000 candidates
// (at most 288^2 x 10000 cheap tests, about a second) and is not counted.

// Number of structure-factor evaluations of the search with limit n >= 1.
double search_evaluations(int n, float strength_fraction);

// Time of one structure-factor evaluation of this crystal, s: the first
// reflections of the box in scan order (the box again when it is smaller)
// evaluated for about 5 ms, at least 8 and at most 4096 of them. May throw
// FormFactorStop, exactly as the search would on its first reflection.
double measure_evaluation_seconds(const SimulationInput& in);

struct SearchEstimate {
  double seconds = 0;     // predicted time of the search
  int largest_limit = 0;  // the largest n whose search stays within the budget; 0: not even n = 1
};

// Predicted time of the search with limit n at `seconds_per_evaluation`, and
// the largest limit that stays within `budget_seconds`.
SearchEstimate estimate_search(int n, float strength_fraction, double seconds_per_evaluation,
                               double budget_seconds);

// Recursive quicksort (ascending keys, pivot = first key, Hoare partition);
// `indices` and `vectors` follow the keys.
// All three must have the same size.
void sort_by_key(std::vector<float>& keys, std::vector<std::array<std::int32_t, 3>>& indices,
                 std::vector<std::array<float, 3>>& vectors);

}  // namespace velmorant
