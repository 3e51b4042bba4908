// Beam selection: strong reflections near the Ewald sphere, strongest first.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "simulator/beams/beam_list.hpp"
#include "simulator/input/simulation_input.hpp"

namespace velmorant {

inline constexpr int kMaxCandidates = 10000;
inline constexpr int kBandGrid = 288;  // band filter grid: u, v = -31, -29, ..., 543

// --- Candidate reflections: the index box closed under the lattice's rotations ---
//
// The index box |h|, |k|, |l| <= n is closed under the rotations of a cubic,
// tetragonal, orthorhombic, monoclinic or triclinic lattice in its usual
// cell, but not under those of a hexagonal one: a 60-degree turn takes
// (1 4 0) to (-4 5 0), so a box of candidates would hold some members of a
// family and not the others. The candidates are therefore the reflections
// that some rotation of the lattice takes into the box: the box itself and
// its turned copies, a set that every rotation of the lattice maps onto
// itself and that is the box alone wherever the box was already closed.
//
// The rotations are the integer matrices M acting on (h, k, l), entries -1,
// 0 or 1 and determinant 1, that keep every length |g| (Mᵀ·G·M = G for the
// reciprocal metric G, within kMetricTolerance of its diagonal), and their
// products.
inline constexpr double kMetricTolerance = 1e-4;  // relative

using IndexRotation =
    std::array<std::int32_t, 9>;  // row by row: h' = M(1,1) h + M(1,2) k + M(1,3) l
struct CandidateRegion {
  std::vector<IndexRotation> rotations;  // the identity first
  std::array<std::int32_t, 3>
      reach{};  // the scan reaches |h| <= n reach[0], |k| <= n reach[1], |l| <= n reach[2]
};
CandidateRegion candidate_region(const SimulationInput& in);

// Whether some rotation of `region` takes hkl into the box of limit n.
bool in_candidate_region(const CandidateRegion& region, int n,
                         const std::array<std::int32_t, 3>& hkl);

// --- Groups of equal strength ---
//
// Symmetry-equivalent reflections have the same |F|² up to the rounding of
// the single-precision structure-factor sum. Strengths a >= b are taken as
// equal when a - b <= kEqualStrengthTolerance * a (64 units in the last place
// of a float: the sum over sites rounds at every term). A group is a run of
// the strength-ordered list whose members are all equal to the run's first,
// strongest member. The selection never keeps part of a group:
//  - the strength threshold keeps a group whose strongest member passes it,
//  - the band filter, whose grid of directions is square and can therefore
//    reach one member and not its twin turned about the beam, keeps all the
//    members of a group that lie at the same distance from the beam axis
//    and the same height along it (within kEqualGeometryTolerance |g|) once
//    it keeps one of them,
//  - the cap max_beams is exceeded by the rest of the group it falls into.
// Each group so kept is reported (KeptGroup). When no group is cut the
// beams, and their order, are those of the plain selection.
inline constexpr float kEqualStrengthTolerance = 64.0f * 1.1920929e-7f;  // relative
inline constexpr float kEqualGeometryTolerance = 1e-5f;                  // relative to |g|
bool equal_strength(float stronger, float weaker);

struct KeptGroup {
  enum class Cause { threshold, band, cap };
  Cause cause = Cause::cap;
  std::vector<std::array<std::int32_t, 3>> members;  // h, k, l of every member, list order
};

// Working storage of the selection: the ordered candidates (0-based here:
// candidate i, counted from 1, is entry i-1) and the band half-width ΔS.
struct CandidateList {
  std::vector<std::array<std::int32_t, 3>> miller;
  std::vector<std::array<float, 3>> lab_vector;
  std::vector<float> strength;
  float band_half_width = 0;           // ΔS, Å⁻¹
  std::vector<KeptGroup> kept_groups;  // groups the strength threshold would have cut
  int count() const { return static_cast<int>(miller.size()); }
};

// Called often while the beams are selected (every kPollInterval structure
// factors of the search, every grid row of the band filter), so that a
// caller can keep a window served and let the user end the run: it may
// throw to stop the selection. Empty: nothing is called.
using SelectionPoll = std::function<void()>;
inline constexpr int kPollInterval = 64;  // structure-factor evaluations between two polls

// search_candidates then filter_by_band: fills `beams` (entry 0 is set to the
// transmitted beam) and returns one line per group kept whole (see above),
// naming its members and the resulting N, for standard error.
// May throw FormFactorStop (structure factors, model != 0).
// max_beams < 1 keeps no diffracted beam: N = 0, the transmitted beam alone
// (a safe reading of a value that cannot cap anything; "no limit" could ask
// for 10001² scattering matrices).
std::vector<std::string> select_beams(const SimulationInput& in, BeamList& beams,
                                      const SelectionPoll& poll = {});

// First stage: threshold, ΔS, scan of the candidate region with the window
// test (at most 10000 candidates), ordering by decreasing strength with
// sort_by_key. The reflections of the index box are ordered among themselves
// exactly as a search of the box alone orders them; those outside the box,
// and those just below the threshold that join a group passing it, are
// sorted apart and merged in (at equal strength after the box's).
CandidateList search_candidates(const SimulationInput& in, const SelectionPoll& poll = {});

// Second stage: Ewald-band flags on the 288 x 288 grid, compaction in list
// order up to max_beams (and the rest of a group the cap falls into), N.
// Returns the lines of the groups kept whole, those of the threshold included.
std::vector<std::string> filter_by_band(const SimulationInput& in, const CandidateList& candidates,
                                        BeamList& beams, const SelectionPoll& poll = {});

// One line for standard error: the group kept whole, why, and N.
std::string kept_group_line(const KeptGroup& group, int max_beams, int n);

// --- How long the search will take ---
//
// The search evaluates a structure factor for every candidate reflection,
// once to find the strongest (only when strength_fraction > 0) and once in
// the window scan; each evaluation sums over every site of the cell. Its time
// therefore grows with the cube of n and with the number of sites, and is
// predicted from the measured time of one evaluation of this crystal:
// time = scans x reflections x that time. The count of reflections is that
// of the scanned box, (2 n reach_h + 1)(2 n reach_k + 1)(2 n reach_l + 1) - 1,
// the index box itself where it is already closed: an upper bound, as the
// window scan also ends early once 10000 candidates are found. The band
// filter after it is bounded by the 10000 candidates (at most 288^2 x 10000
// cheap tests, about a second) and is not counted.

// Number of structure-factor evaluations of the search with limit n >= 1.
double search_evaluations(const CandidateRegion& region, int n, float strength_fraction);

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
// the largest limit (at most 32767) that stays within `budget_seconds`.
SearchEstimate estimate_search(const CandidateRegion& region, int n, float strength_fraction,
                               double seconds_per_evaluation, double budget_seconds);

// Sorts by ascending key with common::quicksort_by_key (whose order of equal
// keys the beam list keeps); `indices` and `vectors` follow the keys.
// All three must have the same size.
void sort_by_key(std::vector<float>& keys, std::vector<std::array<std::int32_t, 3>>& indices,
                 std::vector<std::array<float, 3>>& vectors);

}  // namespace velmorant
