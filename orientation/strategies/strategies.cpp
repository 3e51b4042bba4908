// The four indexing strategies: voting for the families of each vector, then the pair search.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/strategies/strategies.hpp"

#include <algorithm>
#include <cmath>

#include "orientation/geometry/crystal_geometry.hpp"
#include "orientation/geometry/rotation.hpp"
#include "orientation/scoring/evaluate_orientation.hpp"

namespace talvor {

namespace {

// Visits every trial of the pattern in the one order that decides ties:
// pairs (i, j) with i < j, then the pair-table entries t of the pair's
// angle range in table order. For each entry the first vector of the pair
// is matched to direction P_t (family f1) and the second to Q_t (family f2);
// then, when the families differ, the swapped assignment follows: the first
// vector to Q_t, the second to P_t. The table keeps each family pair in one
// order only (f1 <= f2), so without the swapped trial a measured pair whose
// true families come in descending order could never be indexed.
// `wanted(i, j, fi, fj)` decides whether the trial that gives vector i
// family fi and vector j family fj is built at all; `visit(g, i, j, fi, fj)`
// receives each trial orientation that could be constructed. Pairs of
// parallel or antiparallel vectors, and antiparallel table entries, give
// no trial.
template <typename Wanted, typename Visit>
void ForEachTrial(const SearchContext& ctx, Wanted&& wanted, Visit&& visit) {
  const ScatteringPattern& pattern = ctx.pattern;
  const Catalogue& cat = ctx.catalogue;
  const int n = pattern.vectorCount;
  for (int i = 0; i < n - 1; ++i) {
    for (int j = i + 1; j < n; ++j) {
      const Vec3& si = pattern.vectors[i];
      const Vec3& sj = pattern.vectors[j];
      const IndexRange range = PairRange(cat, AngleFromCosine(dot(si, sj)), ctx.problem.p1);
      if (range.empty()) continue;
      Triad sample;
      if (!BuildTriad(si, sj, sample)) continue;  // every trial of this pair fails
      for (int t = range.first; t <= range.last; ++t) {
        const PairEntry& e = cat.pairs[t];
        if (!e.hasTriad) continue;
        if (wanted(i, j, e.f1, e.f2))
          visit(OrientationFromTriads(e.triad, sample), i, j, e.f1, e.f2);
        if (e.f1 != e.f2 && wanted(i, j, e.f2, e.f1))
          visit(OrientationFromTriads(SwappedTriad(e.triad), sample), i, j, e.f2, e.f1);
      }
    }
  }
}

void ClearVotes(StrategyWorkspace& work, int n, int nfam) {
  for (int v = 0; v < n; ++v) std::fill_n(work.votes[v].begin(), nfam, 0.0);
}

// Family lists of every pair of measured vectors, in pair order.
void BuildPairFamilyLists(SearchContext& ctx) {
  const int n = ctx.pattern.vectorCount;
  for (int i = 0; i < n - 1; ++i)
    for (int j = i + 1; j < n; ++j) {
      float a = AngleFromCosine(dot(ctx.pattern.vectors[i], ctx.pattern.vectors[j]));
      BuildFamilyList(ctx.catalogue, PairRange(ctx.catalogue, a, ctx.problem.p1),
                      ctx.work.pairFamilies[PairIndex(i, j, n)]);
    }
}

int HalfTheFamilies(int nfam) { return std::min(nfam, std::max(1, nfam / 2)); }

}  // namespace

float VoteExponent(const Catalogue& catalogue) {
  return static_cast<float>(catalogue.signedCount) / 100.0f + 1.5f;
}

void BuildFamilyList(const Catalogue& catalogue, IndexRange range, FamilyList& list) {
  list.Clear();
  for (int t = range.first; t <= range.last; ++t) {
    list.Add(catalogue.pairs[t].f1);
    list.Add(catalogue.pairs[t].f2);
  }
}

void SearchPairs(SearchContext& ctx, bool restricted) {
  int best_match_count = 0;
  const auto& allowed = ctx.work.allowed;
  ForEachTrial(
      ctx,
      [&](int i, int j, int fi, int fj) {
        return !restricted || (allowed[i][fi] && allowed[j][fj]);
      },
      [&](const Mat3& g, int, int, int, int) {
        EvaluateOrientation(g, ctx.pattern, ctx.problem, ctx.catalogue, best_match_count,
                            ctx.store);
      });
}

void ChooseTopFamilies(StrategyWorkspace& work, int n, int nfam, int k) {
  for (int v = 0; v < n; ++v) std::fill_n(work.allowed[v].begin(), nfam, false);
  for (int round = 0; round < k; ++round) {
    for (int v = 0; v < n; ++v) {
      auto& votes = work.votes[v];
      int best = 0;
      for (int f = 1; f < nfam; ++f)
        if (votes[f] > votes[best]) best = f;
      votes[best] = -1.0;
      work.allowed[v][best] = true;
    }
  }
}

void AngleVoting(SearchContext& ctx) {
  const int n = ctx.pattern.vectorCount;
  BuildPairFamilyLists(ctx);
  for (int i = 0; i < n - 1; ++i)
    for (int j = i + 1; j < n; ++j) {
      const FamilyList& list = ctx.work.pairFamilies[PairIndex(i, j, n)];
      for (int q = 0; q < list.count; ++q) {
        ctx.work.votes[i][list.family[q]] += 1.0;
        ctx.work.votes[j][list.family[q]] += 1.0;
      }
    }
}

void OrientationVoting(SearchContext& ctx) {
  const ScatteringPattern& pattern = ctx.pattern;
  const Catalogue& cat = ctx.catalogue;
  const int n = pattern.vectorCount;
  const int nfam = ctx.problem.familyCount;
  const float cos_p2 = ctx.problem.cosP2;
  std::array<int, kMaxVectors> recorded;  // family recorded for each vector, or -1
  ForEachTrial(
      ctx, [](int, int, int, int) { return true; },
      [&](const Mat3& g, int, int, int, int) {
        int r = 0;
        for (int v = 0; v < n; ++v) {
          const Vec3 c = Apply(g, pattern.vectors[v]);
          recorded[v] = -1;
          for (int f = 0; f < nfam && recorded[v] < 0; ++f)
            for (int m = 0; m < cat.memberCount[f]; ++m)
              if (std::fabs(dot(c, cat.members[f][m])) > cos_p2) {
                recorded[v] = f;
                ++r;
                break;
              }
        }
        if (r < 3) return;
        const double weight =
            std::pow(static_cast<double>(r), static_cast<double>(ctx.voteExponent));
        for (int v = 0; v < n; ++v)
          if (recorded[v] >= 0) ctx.work.votes[v][recorded[v]] += weight;
      });
}

void TripletVoting(SearchContext& ctx) {
  const int n = ctx.pattern.vectorCount;
  BuildPairFamilyLists(ctx);
  auto& work = ctx.work;
  // Votes for vector v: the families of `from` (in its order) also in `also`.
  auto vote = [&work](int v, const FamilyList& from, const FamilyList& also) {
    for (int q = 0; q < from.count; ++q)
      if (also.Contains(from.family[q])) work.votes[v][from.family[q]] += 1.0;
  };
  auto any_common = [](const FamilyList& a, const FamilyList& b) {
    for (int w = 0; w < kMaxFamilies / 64; ++w)
      if (a.member[w] & b.member[w]) return true;
    return false;
  };
  for (int i1 = 0; i1 < n - 2; ++i1)
    for (int i2 = i1 + 1; i2 < n - 1; ++i2)
      for (int i3 = i2 + 1; i3 < n; ++i3) {
        const FamilyList& A = work.pairFamilies[PairIndex(i1, i2, n)];
        const FamilyList& B = work.pairFamilies[PairIndex(i2, i3, n)];
        const FamilyList& C = work.pairFamilies[PairIndex(i1, i3, n)];
        // i1: C and A; i2: A and B; i3: B and C. Any of them empty: no votes.
        if (!any_common(C, A) || !any_common(A, B) || !any_common(B, C)) continue;
        vote(i1, C, A);
        vote(i2, A, B);
        vote(i3, B, C);
      }
}

void RunStrategy(IndexingStrategy strategy, SearchContext& ctx) {
  const int n = ctx.pattern.vectorCount;
  const int nfam = ctx.problem.familyCount;
  switch (strategy) {
    case IndexingStrategy::angleVoting:
      ClearVotes(ctx.work, n, nfam);
      AngleVoting(ctx);
      ChooseTopFamilies(ctx.work, n, nfam, HalfTheFamilies(nfam));
      SearchPairs(ctx, true);
      break;
    case IndexingStrategy::exhaustive:
      SearchPairs(ctx, false);
      break;
    case IndexingStrategy::orientationVoting:
      ClearVotes(ctx.work, n, nfam);
      OrientationVoting(ctx);
      ChooseTopFamilies(ctx.work, n, nfam, 1);
      SearchPairs(ctx, true);
      break;
    case IndexingStrategy::tripletVoting:
      ClearVotes(ctx.work, n, nfam);
      TripletVoting(ctx);
      ChooseTopFamilies(ctx.work, n, nfam, HalfTheFamilies(nfam));
      SearchPairs(ctx, true);
      break;
  }
}

}  // namespace talvor
