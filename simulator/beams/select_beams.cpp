// Beam selection: strong reflections near the Ewald sphere, strongest first.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/beams/select_beams.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <utility>

#include "common/quicksort.hpp"
#include "simulator/engine/pattern_image.hpp"
#include "simulator/scattering/structure_factor.hpp"

namespace velmorant {

namespace {

constexpr float kFieldSize = float(PatternImage::kSize);  // 512 pixels across the field
constexpr float kCentre = 0.5f * kFieldSize;              // 256: the optical axis
// The band filter's grid: every second pixel position from -31 to 543, the
// field and a margin of 32 pixels on every side.
constexpr int kBandMargin = 32;
constexpr int kBandFirst = 1 - kBandMargin;                       // -31
constexpr int kBandLast = PatternImage::kSize + kBandMargin - 1;  // 543
static_assert((kBandLast - kBandFirst) / 2 + 1 == kBandGrid);

// Crystal-frame g = R·hkl, then laboratory frame g' = Oᵀ·g.
std::array<float, 3> lab_vector_of(const SimulationInput& in, float h, float k, float l) {
  const Mat3& r = in.reciprocal_basis;
  const Mat3& o = in.orientation_matrix;
  const float g1 = r(1, 1) * h + r(1, 2) * k + r(1, 3) * l;
  const float g2 = r(2, 1) * h + r(2, 2) * k + r(2, 3) * l;
  const float g3 = r(3, 1) * h + r(3, 2) * k + r(3, 3) * l;
  return {o(1, 1) * g1 + o(2, 1) * g2 + o(3, 1) * g3, o(1, 2) * g1 + o(2, 2) * g2 + o(3, 2) * g3,
          o(1, 3) * g1 + o(2, 3) * g2 + o(3, 3) * g3};
}

struct SortView {
  std::vector<float>& keys;
  std::vector<std::array<std::int32_t, 3>>& indices;
  std::vector<std::array<float, 3>>& vectors;
  void swap(int a, int b) {
    std::swap(keys[a], keys[b]);
    std::swap(indices[a], indices[b]);
    std::swap(vectors[a], vectors[b]);
  }
};

}  // namespace

void sort_by_key(std::vector<float>& keys, std::vector<std::array<std::int32_t, 3>>& indices,
                 std::vector<std::array<float, 3>>& vectors) {
  SortView v{keys, indices, vectors};
  common::quicksort_by_key(
      static_cast<int>(keys.size()), [&](int i) { return keys[std::size_t(i)]; },
      [&](int a, int b) { v.swap(a, b); });
}

CandidateRegion candidate_region(const SimulationInput& in) {
  const Mat3& g = in.reciprocal_metric;
  double metric[3][3];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) metric[r][c] = double(g(r + 1, c + 1));
  auto keeps_lengths = [&](const IndexRotation& m) {
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) {
        double q = 0;  // (Mᵀ G M)(r, c)
        for (int a = 0; a < 3; ++a)
          for (int b = 0; b < 3; ++b)
            q += double(m[3 * a + r]) * metric[a][b] * double(m[3 * b + c]);
        const double scale = std::sqrt(std::fabs(metric[r][r] * metric[c][c]));
        if (!(std::fabs(q - metric[r][c]) <= kMetricTolerance * scale)) return false;
      }
    return true;
  };
  auto product = [](const IndexRotation& a, const IndexRotation& b) {
    IndexRotation m{};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c)
        for (int t = 0; t < 3; ++t) m[3 * r + c] += a[3 * r + t] * b[3 * t + c];
    return m;
  };
  CandidateRegion region;
  region.rotations.push_back({1, 0, 0, 0, 1, 0, 0, 0, 1});
  IndexRotation m{};
  for (int code = 0; code < 19683; ++code) {  // 3^9 matrices of -1, 0, 1
    int rest = code;
    for (int e = 0; e < 9; ++e, rest /= 3) m[e] = rest % 3 - 1;
    const int det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                    m[2] * (m[3] * m[7] - m[4] * m[6]);
    if (det != 1 || m == region.rotations[0] || !keeps_lengths(m)) continue;
    region.rotations.push_back(m);
  }
  // Products, until the set is a group (at most 24 rotations).
  for (size_t i = 0; i < region.rotations.size() && region.rotations.size() <= 48; ++i)
    for (size_t j = 0; j < region.rotations.size() && region.rotations.size() <= 48; ++j) {
      const IndexRotation p = product(region.rotations[i], region.rotations[j]);
      if (std::find(region.rotations.begin(), region.rotations.end(), p) == region.rotations.end())
        region.rotations.push_back(p);
    }
  // h' = Σ M(1, c)·(index c) with |index c| <= n: |h'| <= n Σ|M(1, c)|. The
  // turned copies M⁻¹·box, M⁻¹ again a rotation of the set, reach as far.
  region.reach = {1, 1, 1};
  for (const IndexRotation& r : region.rotations)
    for (int row = 0; row < 3; ++row)
      region.reach[size_t(row)] =
          std::max(region.reach[size_t(row)],
                   std::abs(r[3 * row]) + std::abs(r[3 * row + 1]) + std::abs(r[3 * row + 2]));
  return region;
}

bool in_candidate_region(const CandidateRegion& region, int n,
                         const std::array<std::int32_t, 3>& hkl) {
  for (const IndexRotation& m : region.rotations) {
    bool inside = true;
    for (int r = 0; r < 3 && inside; ++r) {
      const long long v = (long long)m[3 * r] * hkl[0] + (long long)m[3 * r + 1] * hkl[1] +
                          (long long)m[3 * r + 2] * hkl[2];
      inside = v >= -n && v <= n;
    }
    if (inside) return true;
  }
  return false;
}

bool equal_strength(float stronger, float weaker) {
  return stronger - weaker <= kEqualStrengthTolerance * stronger;
}

namespace {

// Appends the rows of `from` to `to`.
void append(CandidateList& to, const CandidateList& from, int i) {
  to.miller.push_back(from.miller[i]);
  to.lab_vector.push_back(from.lab_vector[i]);
  to.strength.push_back(from.strength[i]);
}

// Orders a part of the candidates by decreasing strength (ascending keys −S).
void order_by_strength(CandidateList& list) {
  std::vector<float> keys(list.strength.size());
  for (size_t i = 0; i < keys.size(); ++i) keys[i] = -list.strength[i];
  sort_by_key(keys, list.miller, list.lab_vector);
  for (size_t i = 0; i < keys.size(); ++i) list.strength[i] = -keys[i];
}

// First member of the group of each entry of a strength-ordered list: a new
// group starts where the strength is no longer equal to the group's first.
std::vector<int> group_starts(const std::vector<float>& strength) {
  std::vector<int> start(strength.size());
  int first = 0;
  for (size_t i = 0; i < strength.size(); ++i) {
    if (!equal_strength(strength[first], strength[i])) first = int(i);
    start[i] = first;
  }
  return start;
}

}  // namespace

namespace {

// The reflections a search visits: the index box |h|, |k|, |l| <= n and the
// candidate region beyond it, with the poll served every kPollInterval
// structure factors.
struct SearchScan {
  SearchScan(const SimulationInput& in, const SelectionPoll& poll)
      : n(in.hkl_limit), region(candidate_region(in)), poll(poll) {}
  int n;
  CandidateRegion region;
  const SelectionPoll& poll;
  int since_poll = 0;  // structure factors since the last poll

  int hn() const { return n * region.reach[0]; }
  int kn() const { return n * region.reach[1]; }
  int ln() const { return n * region.reach[2]; }
  bool in_box(int h, int k, int l) const {
    return std::abs(h) <= n && std::abs(k) <= n && std::abs(l) <= n;
  }
  bool visits(int h, int k, int l) const {
    return !(h == 0 && k == 0 && l == 0) &&
           (in_box(h, k, l) || in_candidate_region(region, n, {h, k, l}));
  }
  void evaluated() {
    if (poll && ++since_poll == kPollInterval) {
      since_poll = 0;
      poll();
    }
  }
};

// Calls visit(h, k, l, strength) for every reflection the search visits, in
// scan order (h slowest), until it returns false.
template <class Visit>
void for_each_visited(const SimulationInput& in, SearchScan& scan, Visit&& visit) {
  for (int h = -scan.hn(); h <= scan.hn(); ++h)
    for (int k = -scan.kn(); k <= scan.kn(); ++k)
      for (int l = -scan.ln(); l <= scan.ln(); ++l) {
        if (!scan.visits(h, k, l)) continue;
        const float s = structure_strength(in, {h, k, l});
        scan.evaluated();
        if (!visit(h, k, l, s)) return;
      }
}

// 1. Strength threshold: strength_fraction of the strongest reflection visited.
float strength_threshold(const SimulationInput& in, SearchScan& scan) {
  if (!(in.strength_fraction > 0.0f)) return 0.0f;
  float largest = 0.0f;
  for_each_visited(in, scan, [&](int, int, int, float s) {
    if (s > largest) largest = s;
    return true;
  });
  return largest * in.strength_fraction;
}

// 2. Band half-width (1/A) and the window of directions, from the reflection (n, n, n).
struct ScanWindow {
  float band_half_width;  // 1/A
  float tan_window;       // tan(alpha + theta): field half-angle plus Bragg angle of (n, n, n)
};

ScanWindow scan_window(const SimulationInput& in) {
  const float fn = static_cast<float>(in.hkl_limit);
  const Mat3& r = in.reciprocal_basis;
  const float c1 = r(1, 1) * fn + r(1, 2) * fn + r(1, 3) * fn;
  const float c2 = r(2, 1) * fn + r(2, 2) * fn + r(2, 3) * fn;
  const float c3 = r(3, 1) * fn + r(3, 2) * fn + r(3, 3) * fn;
  const float g_len = std::sqrt(c1 * c1 + c2 * c2 + c3 * c3);
  const float theta = std::asin(in.wavelength * g_len / 2.0f);
  const float alpha = std::atan(kFieldSize * in.pixel_scale);
  return {in.pixel_scale * 2.1f * g_len, std::tan(alpha + theta)};
}

// 3-4. Window scan, at most kMaxCandidates entries: the box's entries are
// those a scan of the box alone would take (it ends at the 10001st); the
// strongest of the others (at most 10000, the first in scan order) fill
// the room that is left. `box` gets the reflections of the index box passing
// the threshold, `rest` those outside the box or just below the threshold,
// both in scan order.
void scan_for_candidates(const SimulationInput& in, SearchScan& scan, float threshold,
                         const ScanWindow& window, CandidateList& box, CandidateList& rest) {
  // Reflections below the threshold by less than the tolerance of equal
  // strengths may belong to a group whose strongest member passes it.
  const float near_threshold = threshold * (1.0f - kEqualStrengthTolerance);
  const float p = in.pixel_scale;
  const float ds = window.band_half_width;
  box.miller.reserve(kMaxCandidates);
  box.lab_vector.reserve(kMaxCandidates);
  box.strength.reserve(kMaxCandidates);
  for_each_visited(in, scan, [&](int h, int k, int l, float s) {
    if (s < near_threshold) return true;
    const auto g =
        lab_vector_of(in, static_cast<float>(h), static_cast<float>(k), static_cast<float>(l));
    const float rho = std::sqrt(g[0] * g[0] + g[1] * g[1]);
    const float lower = -(rho * window.tan_window + ds);
    const float upper = rho * kFieldSize * p + ds;
    if (g[2] < lower || g[2] > upper) return true;  // undecidable comparisons pass
    CandidateList& part = (scan.in_box(h, k, l) && !(s < threshold)) ? box : rest;
    if (&part == &box && box.count() == kMaxCandidates) return false;
    if (part.count() == kMaxCandidates) return true;
    part.miller.push_back({h, k, l});
    part.lab_vector.push_back(g);
    part.strength.push_back(s);
    return true;
  });
}

// 5. Both parts by decreasing strength, merged: the box's entries first
// among equals, the rest only as far as there is room.
CandidateList merge_by_strength(CandidateList& box, CandidateList& rest, float band_half_width) {
  order_by_strength(box);
  order_by_strength(rest);
  CandidateList list;
  list.band_half_width = band_half_width;
  const int room = kMaxCandidates - box.count();
  const int rest_count = std::min(rest.count(), room);
  list.miller.reserve(size_t(box.count() + rest_count));
  list.lab_vector.reserve(size_t(box.count() + rest_count));
  list.strength.reserve(size_t(box.count() + rest_count));
  int i = 0, j = 0;
  while (i < box.count() || j < rest_count) {
    if (j == rest_count || (i < box.count() && !(box.strength[i] < rest.strength[j])))
      append(list, box, i++);
    else
      append(list, rest, j++);
  }
  return list;
}

// Entries below the threshold stay only in a group whose first passes it;
// each group kept with such members is recorded.
CandidateList keep_whole_groups(const CandidateList& list, float threshold) {
  const std::vector<int> start = group_starts(list.strength);
  CandidateList kept;
  kept.band_half_width = list.band_half_width;
  KeptGroup group;
  group.cause = KeptGroup::Cause::threshold;
  bool cut = false;
  for (int i = 0; i < list.count(); ++i) {
    const bool passes = !(list.strength[i] < threshold);
    if (!passes && list.strength[start[i]] < threshold) continue;
    if (start[i] == i) {
      if (cut) kept.kept_groups.push_back(group);
      group.members.clear();
      cut = false;
    }
    group.members.push_back(list.miller[i]);
    cut = cut || !passes;
    append(kept, list, i);
  }
  if (cut) kept.kept_groups.push_back(group);
  return kept;
}

}  // namespace

CandidateList search_candidates(const SimulationInput& in, const SelectionPoll& poll) {
  SearchScan scan(in, poll);
  const float threshold = strength_threshold(in, scan);
  const ScanWindow window = scan_window(in);
  CandidateList box, rest;
  scan_for_candidates(in, scan, threshold, window, box, rest);
  CandidateList list = merge_by_strength(box, rest, window.band_half_width);
  if (threshold <= 0.0f) return list;
  return keep_whole_groups(list, threshold);
}

std::string kept_group_line(const KeptGroup& group, int max_beams, int n) {
  std::ostringstream s;
  s << "Velmorant: beam selection: kept whole the group of " << group.members.size()
    << " reflections of equal strength {";
  for (size_t i = 0; i < group.members.size(); ++i) {
    const auto& m = group.members[i];
    s << (i ? ", " : "") << m[0] << ' ' << m[1] << ' ' << m[2];
  }
  s << "} that ";
  switch (group.cause) {
    case KeptGroup::Cause::threshold:
      s << "the strength threshold";
      break;
    case KeptGroup::Cause::band:
      s << "the band filter's square grid of directions";
      break;
    case KeptGroup::Cause::cap:
      s << "the cap max_beams = " << max_beams;
      break;
  }
  s << " would have split; N = " << n;
  return s.str();
}

std::vector<std::string> filter_by_band(const SimulationInput& in, const CandidateList& cand,
                                        BeamList& beams, const SelectionPoll& poll) {
  const int count = cand.count();
  const float p = in.pixel_scale;
  const float lambda = in.wavelength;
  const float ds = cand.band_half_width;
  std::vector<char> flag(kMaxCandidates, 0);
  int unflagged = count;
  for (int u = kBandFirst; u <= kBandLast && unflagged > 0; u += 2) {
    if (poll) poll();
    const float x = ((static_cast<float>(u) - 0.5f) - kCentre) * p;
    for (int v = kBandFirst; v <= kBandLast && unflagged > 0; v += 2) {
      const float y = ((static_cast<float>(v) - 0.5f) - kCentre) * p;
      const float d = std::sqrt(x * x + y * y + 1.0f) * lambda;
      const float k1 = x / d, k2 = y / d, k3 = 1.0f / d;
      const float kk = k1 * k1 + k2 * k2 + k3 * k3;
      for (int i = 0; i < count; ++i) {
        if (flag[i]) continue;  // a set flag stays set: skipping it changes nothing
        const auto& g = cand.lab_vector[i];
        const float q1 = k1 + g[0], q2 = k2 + g[1], q3 = k3 + g[2];
        const float dev = std::fabs(std::fabs(q3) - std::sqrt(kk - q1 * q1 - q2 * q2));
        if (!(dev > ds)) {  // ≤ ΔS, or undecidable (no square root): flag
          flag[i] = 1;
          --unflagged;
        }
      }
    }
  }

  std::vector<KeptGroup> kept = cand.kept_groups;
  const std::vector<int> start = group_starts(cand.strength);

  // Members of a group turned into each other about the beam axis: the same
  // distance from the axis and the same height along it. One flagged flags all.
  {
    std::vector<char> done(size_t(count), 0);
    auto same_place = [&](int a, int b) {
      const auto& ga = cand.lab_vector[a];
      const auto& gb = cand.lab_vector[b];
      const float ra = std::sqrt(ga[0] * ga[0] + ga[1] * ga[1]);
      const float rb = std::sqrt(gb[0] * gb[0] + gb[1] * gb[1]);
      const float scale = kEqualGeometryTolerance * std::sqrt(ra * ra + ga[2] * ga[2]);
      return std::fabs(ra - rb) <= scale && std::fabs(ga[2] - gb[2]) <= scale;
    };
    for (int i = 0; i < count; ++i) {
      if (done[size_t(i)]) continue;
      // The twins of i within its group (which runs on from i while start == start[i]).
      bool any = false, all = true;
      for (int j = i; j < count && start[size_t(j)] == start[size_t(i)]; ++j)
        if (!done[size_t(j)] && same_place(i, j)) {
          any = any || flag[size_t(j)];
          all = all && flag[size_t(j)];
        }
      KeptGroup group;
      group.cause = KeptGroup::Cause::band;
      for (int j = i; j < count && start[size_t(j)] == start[size_t(i)]; ++j)
        if (!done[size_t(j)] && same_place(i, j)) {
          done[size_t(j)] = 1;
          if (any && !all) {
            flag[size_t(j)] = 1;
            group.members.push_back(cand.miller[size_t(j)]);
          }
        }
      if (any && !all) kept.push_back(group);
    }
  }

  // 7-8. Compaction in strength order up to max_beams, and on to the end of
  // the group the cap falls into.
  beams.miller[0] = {0, 0, 0};
  beams.lab_vector[0] = {0.0f, 0.0f, 0.0f};
  int filled = 0;
  if (in.max_beams >= 1) {
    int last = -1;  // the last candidate kept
    int i = 0;
    for (; i < count; ++i) {
      if (flag[size_t(i)]) {
        ++filled;
        beams.miller[filled] = cand.miller[size_t(i)];
        beams.lab_vector[filled] = cand.lab_vector[size_t(i)];
        last = i;
      }
      if (filled == in.max_beams) break;
    }
    // The flagged rest of the last kept candidate's group.
    KeptGroup group;
    group.cause = KeptGroup::Cause::cap;
    if (filled == in.max_beams && last >= 0) {
      for (int j = i + 1; j < count && start[size_t(j)] == start[size_t(last)]; ++j)
        if (flag[size_t(j)]) {
          ++filled;
          beams.miller[filled] = cand.miller[size_t(j)];
          beams.lab_vector[filled] = cand.lab_vector[size_t(j)];
          group.members.push_back(cand.miller[size_t(j)]);
        }
    }
    if (!group.members.empty()) {
      // The whole group: its members kept before the cap, then the rest.
      std::vector<std::array<std::int32_t, 3>> before;
      for (int j = start[size_t(last)]; j <= last; ++j)
        if (flag[size_t(j)]) before.push_back(cand.miller[size_t(j)]);
      group.members.insert(group.members.begin(), before.begin(), before.end());
      kept.push_back(group);
    }
  }
  beams.count = filled;
  // Groups the cap left out altogether are not reported.
  auto is_kept = [&](const std::array<std::int32_t, 3>& m) {
    for (int i = 1; i <= filled; ++i)
      if (beams.miller[size_t(i)] == m) return true;
    return false;
  };
  std::vector<std::string> lines;
  for (const KeptGroup& g : kept)
    if (!g.members.empty() && is_kept(g.members.front()))
      lines.push_back(kept_group_line(g, in.max_beams, filled));
  return lines;
}

std::vector<std::string> select_beams(const SimulationInput& in, BeamList& beams,
                                      const SelectionPoll& poll) {
  const CandidateList candidates = search_candidates(in, poll);
  return filter_by_band(in, candidates, beams, poll);
}

double search_evaluations(const CandidateRegion& region, int n, float strength_fraction) {
  double box = 1.0;
  for (int r = 0; r < 3; ++r) box *= 2.0 * double(n) * double(region.reach[size_t(r)]) + 1.0;
  box -= 1.0;
  return strength_fraction > 0.0f ? 2.0 * box : box;
}

double measure_evaluation_seconds(const SimulationInput& in) {
  constexpr int kLeast = 8, kMost = 4096;
  constexpr double kAbout = 0.005;  // s
  const int n = in.hkl_limit;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  double elapsed = 0;
  int count = 0;
  volatile float sink = 0;  // keeps the evaluations from being optimised away
  // The box in scan order, from its start again when it is used up.
  int h = -n, k = -n, l = -n;
  while (count < kMost && (count < kLeast || elapsed < kAbout)) {
    if (!(h == 0 && k == 0 && l == 0)) {
      sink = sink + structure_strength(in, {h, k, l});
      ++count;
      elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    }
    if (++l > n) {
      l = -n;
      if (++k > n) {
        k = -n;
        if (++h > n) h = -n;
      }
    }
  }
  return elapsed / count;
}

SearchEstimate estimate_search(const CandidateRegion& region, int n, float strength_fraction,
                               double seconds_per_evaluation, double budget_seconds) {
  SearchEstimate e;
  e.seconds = search_evaluations(region, n, strength_fraction) * seconds_per_evaluation;
  auto fits = [&](int m) {
    return search_evaluations(region, m, strength_fraction) * seconds_per_evaluation <=
           budget_seconds;
  };
  // The count grows with m: the largest m that fits, by bisection over
  // 0..32767 (hkl_limit is at most 32767).
  int lo = 0, hi = 32767;
  if (fits(hi)) {
    lo = hi;
  } else {
    while (hi - lo > 1) {
      const int mid = lo + (hi - lo) / 2;
      (mid >= 1 && fits(mid) ? lo : hi) = mid;
    }
  }
  e.largest_limit = lo;
  return e;
}

}  // namespace velmorant
