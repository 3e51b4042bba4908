// The four indexing strategies: voting for the families of each vector, then the pair search.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <array>
#include <cstdint>

#include "orientation/catalogue/catalogue.hpp"
#include "orientation/input/orientation_problem.hpp"
#include "orientation/solutions/solution_store.hpp"

namespace talvor {

constexpr int kMaxVectorPairs = kMaxVectors * (kMaxVectors - 1) / 2;  // 496

// Distinct families (0-based) of the pair-table entries in one index range,
// in order of first appearance (f1 then f2 of each entry), with a bit set
// for fast membership tests.
struct FamilyList {
  int count = 0;
  std::array<std::uint8_t, kMaxFamilies> family{};
  std::array<std::uint64_t, kMaxFamilies / 64> member{};
  bool Contains(int f) const { return (member[f / 64] >> (f % 64)) & 1u; }
  void Add(int f) {
    if (Contains(f)) return;
    member[f / 64] |= std::uint64_t{1} << (f % 64);
    family[count++] = static_cast<std::uint8_t>(f);
  }
  void Clear() {
    count = 0;
    member.fill(0);
  }
};

// Working tables of one search; about 300 kB, allocated once per run and
// reused for every pattern.
struct StrategyWorkspace {
  // VoteTable: votes[v][f] of measured vector v for family f. Held in
  // double: orientation votes r^W reach 32^63 for the largest catalogues,
  // far beyond the single-precision range.
  std::array<std::array<double, kMaxFamilies>, kMaxVectors> votes{};
  // AllowedFamilies: allowed[v][f] set when f is chosen for vector v.
  std::array<std::array<bool, kMaxFamilies>, kMaxVectors> allowed{};
  // Family lists of the vector pairs, indexed by PairIndex(i, j).
  std::array<FamilyList, kMaxVectorPairs> pairFamilies{};
};

// Index of the pair (i, j), 0 <= i < j < n, in visiting order.
inline int PairIndex(int i, int j, int n) { return i * (2 * n - i - 1) / 2 + (j - i - 1); }

// W = NL / 100 + 1.5, NL the number of signed directions.
float VoteExponent(const Catalogue& catalogue);

// Everything one search reads, and the store it fills.
struct SearchContext {
  const OrientationProblem& problem;
  const Catalogue& catalogue;
  const ScatteringPattern& pattern;
  float voteExponent;  // W, used by strategy 3
  StrategyWorkspace& work;
  SolutionStore& store;
};

// Runs the strategy on the pattern; the result is what the store holds.
void RunStrategy(IndexingStrategy strategy, SearchContext& ctx);

// The final search over every pair of measured vectors and every matching
// table entry; with `restricted`, a trial is built only when the families
// it assigns are allowed for both vectors.
void SearchPairs(SearchContext& ctx, bool restricted);

// Per vector, the k families with the most votes (first maximum wins, a
// chosen family's vote becomes -1); fills work.allowed.
void ChooseTopFamilies(StrategyWorkspace& work, int vectorCount, int familyCount, int k);

// Voting stages, each adding to work.votes.
void AngleVoting(SearchContext& ctx);
void OrientationVoting(SearchContext& ctx);
void TripletVoting(SearchContext& ctx);

// The family list of one range of the pair table.
void BuildFamilyList(const Catalogue& catalogue, IndexRange range, FamilyList& list);

}  // namespace talvor
