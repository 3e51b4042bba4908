// Beam selection: strong reflections near the Ewald sphere, strongest first.
#include "beams/select_beams.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "engine/pattern_image.hpp"
#include "scattering/structure_factor.hpp"

namespace velmorant {

namespace {

constexpr float kFieldSize = float(PatternImage::kSize);  // 512 pixels across the field
constexpr float kCentre = 0.5f * kFieldSize;              // 256: the optical axis
// The band filter's grid: every second pixel position from -31 to 543, the
// field and a margin of 32 pixels on every side.
constexpr int kBandMargin = 32;
constexpr int kBandFirst = 1 - kBandMargin;                     // -31
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

// Not std::sort: the order of ties is part of the output (the beam list).
// Sorts keys[first..last] (0-based, inclusive). Hoare partition: pivot
// = first key, j from above while key > x, i from below while key < x,
// exchange while i < j, split q = i + 1 if i = j else i; then both parts.
// The two parts are disjoint, so recursing into the smaller one and looping
// on the larger gives the same order as plain recursion on both, with a bounded
// stack depth.
void quicksort(SortView& v, int first, int last) {
  while (last - first + 1 >= 2) {
    const float x = v.keys[first];
    int i = first - 1, j = last + 1;
    for (;;) {
      --j;
      while (j > first && v.keys[j] > x) --j;
      ++i;
      while (i < last && v.keys[i] < x) ++i;
      if (i < j) {
        v.swap(i, j);
      } else {
        break;
      }
    }
    const int q = (i == j) ? i + 1 : i;  // first element of the second part
    if (q - first < last - q + 1) {
      quicksort(v, first, q - 1);
      first = q;
    } else {
      quicksort(v, q, last);
      last = q - 1;
    }
  }
}

}  // namespace

void sort_by_key(std::vector<float>& keys, std::vector<std::array<std::int32_t, 3>>& indices,
                 std::vector<std::array<float, 3>>& vectors) {
  SortView v{keys, indices, vectors};
  quicksort(v, 0, static_cast<int>(keys.size()) - 1);
}

CandidateList search_candidates(const SimulationInput& in, const SelectionPoll& poll) {
  const int n = in.hkl_limit;
  // Structure factors since the last poll.
  int since_poll = 0;
  auto evaluated = [&] {
    if (poll && ++since_poll == kPollInterval) {
      since_poll = 0;
      poll();
    }
  };
  const float p = in.pixel_scale;
  const float lambda = in.wavelength;

  // 1. Strength threshold.
  float threshold = 0.0f;
  if (in.strength_fraction > 0.0f) {
    float largest = 0.0f;
    for (int h = -n; h <= n; ++h)
      for (int k = -n; k <= n; ++k)
        for (int l = -n; l <= n; ++l) {
          if (h == 0 && k == 0 && l == 0) continue;
          const float s = structure_strength(in, {h, k, l});
          evaluated();
          if (s > largest) largest = s;
        }
    threshold = largest * in.strength_fraction;
  }

  // 2. Band half-width and window angles from the reflection (n, n, n).
  const float fn = static_cast<float>(n);
  const Mat3& r = in.reciprocal_basis;
  const float c1 = r(1, 1) * fn + r(1, 2) * fn + r(1, 3) * fn;
  const float c2 = r(2, 1) * fn + r(2, 2) * fn + r(2, 3) * fn;
  const float c3 = r(3, 1) * fn + r(3, 2) * fn + r(3, 3) * fn;
  const float g_len = std::sqrt(c1 * c1 + c2 * c2 + c3 * c3);
  CandidateList list;
  list.band_half_width = p * 2.1f * g_len;
  const float theta = std::asin(lambda * g_len / 2.0f);
  const float alpha = std::atan(kFieldSize * p);
  const float tan_window = std::tan(alpha + theta);

  // 3-4. Window scan, at most kMaxCandidates entries.
  list.miller.reserve(kMaxCandidates);
  list.lab_vector.reserve(kMaxCandidates);
  list.strength.reserve(kMaxCandidates);
  for (int h = -n; h <= n; ++h)
    for (int k = -n; k <= n; ++k)
      for (int l = -n; l <= n; ++l) {
        if (h == 0 && k == 0 && l == 0) continue;
        const float s = structure_strength(in, {h, k, l});
        evaluated();
        if (s < threshold) continue;
        const auto g = lab_vector_of(in, static_cast<float>(h), static_cast<float>(k),
                                     static_cast<float>(l));
        const float rho = std::sqrt(g[0] * g[0] + g[1] * g[1]);
        const float lower = -(rho * tan_window + list.band_half_width);
        const float upper = rho * kFieldSize * p + list.band_half_width;
        if (g[2] < lower || g[2] > upper) continue;  // undecidable comparisons pass
        if (list.count() == kMaxCandidates) goto scan_done;
        list.miller.push_back({h, k, l});
        list.lab_vector.push_back(g);
        list.strength.push_back(s);
      }
scan_done:

  // 5. Order by decreasing strength: ascending keys −S.
  std::vector<float> keys(list.strength.size());
  for (size_t i = 0; i < keys.size(); ++i) keys[i] = -list.strength[i];
  sort_by_key(keys, list.miller, list.lab_vector);
  for (size_t i = 0; i < keys.size(); ++i) list.strength[i] = -keys[i];
  return list;
}

void filter_by_band(const SimulationInput& in, const CandidateList& cand, BeamList& beams,
                    const SelectionPoll& poll) {
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

  // 7-8. Compaction in strength order up to max_beams.
  beams.miller[0] = {0, 0, 0};
  beams.lab_vector[0] = {0.0f, 0.0f, 0.0f};
  int filled = 0;
  if (in.max_beams >= 1) {
    for (int i = 0; i < count; ++i) {
      if (flag[i]) {
        ++filled;
        beams.miller[filled] = cand.miller[i];
        beams.lab_vector[filled] = cand.lab_vector[i];
      }
      if (filled == in.max_beams) break;
    }
  }
  beams.count = filled;
}

void select_beams(const SimulationInput& in, BeamList& beams, const SelectionPoll& poll) {
  const CandidateList candidates = search_candidates(in, poll);
  filter_by_band(in, candidates, beams, poll);
}

double search_evaluations(int n, float strength_fraction) {
  const double side = 2.0 * double(n) + 1.0;
  const double box = side * side * side - 1.0;
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

SearchEstimate estimate_search(int n, float strength_fraction, double seconds_per_evaluation,
                               double budget_seconds) {
  SearchEstimate e;
  e.seconds = search_evaluations(n, strength_fraction) * seconds_per_evaluation;
  auto fits = [&](int m) {
    return search_evaluations(m, strength_fraction) * seconds_per_evaluation <= budget_seconds;
  };
  // Start from the cube root and correct the rounding either way.
  const double scans = strength_fraction > 0.0f ? 2.0 : 1.0;
  const double per = seconds_per_evaluation > 0 ? seconds_per_evaluation : 1e-300;
  double side = std::cbrt(budget_seconds / (scans * per) + 1.0);
  int m = int(std::min(32767.0, std::floor((side - 1.0) / 2.0)));  // hkl_limit is at most 32767
  if (m < 0) m = 0;
  while (m >= 1 && !fits(m)) --m;
  while (m < 32767 && fits(m + 1)) ++m;
  e.largest_limit = m;
  return e;
}

}  // namespace velmorant
