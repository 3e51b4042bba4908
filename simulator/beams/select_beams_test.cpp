// Tests of the beam selection.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/beams/select_beams.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <set>
#include <sstream>

#include "simulator/input/read_simulation_input.hpp"
#include "simulator/input/test_input_builder.hpp"
#include "simulator/scattering/structure_factor.hpp"
#include "common/angles.hpp"

namespace velmorant {
namespace {

using testing::TestInput;

std::unique_ptr<SimulationInput> prepared(const TestInput& t) {
  return testing::prepared(t, VELMORANT_SOURCE_DATA_DIR);
}

using Cell = std::array<std::array<std::string, 3>, 3>;
// Titanium's hexagonal cell, a = 2.95 Å, c = 4.68 Å (b = a turned by 120°).
Cell hexagonal_cell() {
  return {{{"2.95", "0", "0"}, {"-1.475", "2.55477494", "0"}, {"0", "0", "4.68"}}};
}

TestInput silicon_111() {
  TestInput t;
  t.species.push_back(testing::silicon());
  t.index_limit = "6";
  t.strength_fraction = "0.001";
  t.max_beams = "100";
  return t;
}

// A reference quicksort with the same partition: 1-based, plain recursion.
void reference_sort(std::vector<float>& a, std::vector<int>& rows, int first, int m) {
  if (m < 2) return;
  auto A = [&](int i) -> float& { return a[first + i - 1]; };
  const float x = A(1);
  int i = 0, j = m + 1;
  for (;;) {
    do --j;
    while (A(j) > x);
    do ++i;
    while (A(i) < x);
    if (i < j) {
      std::swap(A(i), A(j));
      std::swap(rows[first + i - 1], rows[first + j - 1]);
    } else {
      break;
    }
  }
  const int q = (i == j) ? i + 1 : i;
  reference_sort(a, rows, first, q - 1);
  reference_sort(a, rows, first + q - 1, m - q + 1);
}

TEST(SortByKey, GivesTheHoarePartitionOrderIncludingTies) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 200; ++trial) {
    const int m = 1 + static_cast<int>(rng() % 60);
    std::vector<float> keys(m);
    for (float& k : keys) k = -static_cast<float>(rng() % 6);  // many equal keys
    std::vector<std::array<std::int32_t, 3>> idx(m);
    std::vector<std::array<float, 3>> vec(m);
    std::vector<int> rows(m);
    for (int i = 0; i < m; ++i) {
      idx[i] = {i, -i, 2 * i};
      vec[i] = {float(i), 0.5f * i, -float(i)};
      rows[i] = i;
    }
    std::vector<float> ref = keys;
    reference_sort(ref, rows, 0, m);
    sort_by_key(keys, idx, vec);
    ASSERT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    for (int i = 0; i < m; ++i) {
      EXPECT_EQ(keys[i], ref[i]);
      EXPECT_EQ(idx[i][0], rows[i]) << "trial " << trial << " position " << i;
      EXPECT_EQ(vec[i][0], float(rows[i]));
      EXPECT_EQ(idx[i][1], -rows[i]);
    }
  }
}

TEST(SortByKey, HandlesLongSortedAndReversedLists) {
  for (bool reversed : {false, true}) {
    const int m = 10000;
    std::vector<float> keys(m);
    std::vector<std::array<std::int32_t, 3>> idx(m);
    std::vector<std::array<float, 3>> vec(m);
    for (int i = 0; i < m; ++i) {
      keys[i] = reversed ? float(m - i) : float(i);
      idx[i] = {i, 0, 0};
    }
    sort_by_key(keys, idx, vec);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_EQ(idx[0][0], reversed ? m - 1 : 0);
  }
}

TEST(SelectBeams, CandidatesAreOrderedStrongestFirst) {
  auto in = prepared(silicon_111());
  const CandidateList c = search_candidates(*in);
  ASSERT_GT(c.count(), 10);
  for (int i = 1; i < c.count(); ++i) EXPECT_GE(c.strength[i - 1], c.strength[i]);
  for (int i = 0; i < c.count(); ++i)
    EXPECT_EQ(c.strength[i], structure_strength(*in, c.miller[i]));
  // ΔS = p · 2.1 · |R·(n,n,n)|.
  const float g = std::sqrt(3.0f) * 6.0f / 5.4309f;
  EXPECT_NEAR(c.band_half_width, (0.025f / 640.0f) * 2.1f * g, 1e-8f);
}

// The selection hands control back often: once every kPollInterval
// structure factors of both scans, once per row of the band filter's grid;
// and whatever the poll throws stops it (the user ended the run).
TEST(SelectBeams, PollIsCalledThroughoutAndCanStopTheSelection) {
  for (const char* fraction : {"0.01", "0.0"}) {
    TestInput t = silicon_111();
    t.strength_fraction = fraction;
    auto in = prepared(t);
    int polls = 0;
    const CandidateList c = search_candidates(*in, [&polls] { ++polls; });
    // A cubic cell: the candidates are the box itself.
    EXPECT_EQ(polls,
              int(search_evaluations(candidate_region(*in), in->hkl_limit, in->strength_fraction)) /
                  kPollInterval)
        << fraction;
    EXPECT_EQ(c.count(), search_candidates(*in).count());
    polls = 0;
    auto beams = std::make_unique<BeamList>();
    filter_by_band(*in, c, *beams, [&polls] { ++polls; });
    EXPECT_GE(polls, 1) << fraction;
    EXPECT_LE(polls, kBandGrid) << fraction;
  }
  struct Stop {};
  auto in = prepared(silicon_111());
  auto beams = std::make_unique<BeamList>();
  int polls = 0;
  EXPECT_THROW(select_beams(*in, *beams,
                            [&polls] {
                              if (++polls == 2) throw Stop{};
                            }),
               Stop);
  EXPECT_EQ(polls, 2);
}

// The predicted time follows the cube law (of the index box for a cubic
// cell, of the box widened to twice n across the sixfold axis for a
// hexagonal one) and the largest limit within the budget is the last one
// whose prediction fits.
TEST(SearchEstimate, CubeLawAndLargestLimitWithinTheBudget) {
  TestInput t = silicon_111();
  const CandidateRegion cubic = candidate_region(*prepared(t));
  EXPECT_EQ(search_evaluations(cubic, 1, 0.0f), 26.0);
  EXPECT_EQ(search_evaluations(cubic, 1, 0.5f), 52.0);
  EXPECT_EQ(search_evaluations(cubic, 1000, 0.01f), 2.0 * (2001.0 * 2001.0 * 2001.0 - 1.0));
  t.basis = hexagonal_cell();
  const CandidateRegion hexagonal = candidate_region(*prepared(t));
  EXPECT_EQ(search_evaluations(hexagonal, 1, 0.0f), 5.0 * 5.0 * 3.0 - 1.0);
  for (const CandidateRegion* region : {&cubic, &hexagonal}) {
    for (double per : {1e-9, 3.7e-7, 1e-6, 2.5e-5, 1e-3}) {
      for (float fraction : {0.0f, 0.01f}) {
        const SearchEstimate e = estimate_search(*region, 20, fraction, per, 60.0);
        EXPECT_DOUBLE_EQ(e.seconds, search_evaluations(*region, 20, fraction) * per);
        const int m = e.largest_limit;
        if (m >= 1) {
          EXPECT_LE(search_evaluations(*region, m, fraction) * per, 60.0) << per;
        }
        if (m < 32767) {
          EXPECT_GT(search_evaluations(*region, m + 1, fraction) * per, 60.0) << per;
        }
      }
    }
  }
  // The measured time of one structure factor is positive and finite.
  const double per = measure_evaluation_seconds(*prepared(silicon_111()));
  EXPECT_GT(per, 0.0);
  EXPECT_TRUE(std::isfinite(per));
}

// A window that accepts every reflection of the box: ΔS = 2.1·p·|g(n,n,n)|
// exceeds every |g| for p = 0.5, and α + θ stays below 90° for a short
// wavelength (α = atan(256), θ = asin(λ|g(n,n,n)|/2)).
void open_window(TestInput& t) {
  t.pixel_pitch = "320";  // p = 320 / 640 = 0.5
  t.wavelength = "0.0005";
}

TEST(SelectBeams, StrengthEqualToTheThresholdPasses) {
  // One atom at the origin of a cubic cell: the six {100} have exactly the
  // same strength, the largest of the box.
  TestInput t;
  t.model = "0";
  t.species.push_back({29, {{0, 0, 0, 1, 0}}});
  t.basis = {{{"3.0", "0", "0"}, {"0", "3.0", "0"}, {"0", "0", "3.0"}}};
  t.index_limit = "2";
  t.strength_fraction = "1.0";  // T = the largest strength itself
  open_window(t);
  auto in = prepared(t);
  const CandidateList c = search_candidates(*in);
  ASSERT_EQ(c.count(), 6);
  for (int i = 0; i < c.count(); ++i) {
    EXPECT_EQ(c.strength[i], structure_strength(*in, {1, 0, 0}));
    EXPECT_EQ(std::abs(c.miller[i][0]) + std::abs(c.miller[i][1]) + std::abs(c.miller[i][2]), 1);
  }
}

TEST(SelectBeams, NoThresholdKeepsTheWeakestToo) {
  TestInput t = silicon_111();
  t.strength_fraction = "0";
  auto in = prepared(t);
  const CandidateList c = search_candidates(*in);
  // Forbidden reflections (|F|² ≈ 0, e.g. 200) are candidates now.
  EXPECT_LT(c.strength.back(), 1e-6f);
  t.strength_fraction = "-1";
  auto in2 = prepared(t);
  EXPECT_EQ(search_candidates(*in2).count(), c.count());
}

TEST(SelectBeams, IndexLimitBelowOneSearchesThe26NearestReflections) {
  TestInput t = silicon_111();
  t.index_limit = "0";
  t.strength_fraction = "0";
  open_window(t);
  auto in = prepared(t);
  EXPECT_EQ(in->hkl_limit, 1);
  EXPECT_EQ(search_candidates(*in).count(), 26);
}

TEST(SelectBeams, MoreThan10000ReflectionsKeepTheFirst10000InBoxOrder) {
  TestInput t;
  t.model = "0";
  t.species.push_back({29, {{0, 0, 0, 1, 0}}});
  t.basis = {{{"2.0", "0", "0"}, {"0", "2.0", "0"}, {"0", "0", "2.0"}}};
  t.index_limit = "11";  // 23³ − 1 = 12166 reflections
  t.strength_fraction = "0";
  open_window(t);
  auto in = prepared(t);
  const CandidateList c = search_candidates(*in);
  ASSERT_EQ(c.count(), kMaxCandidates);
  // Box positions (h outermost) of the candidates: exactly the first 10000
  // reflections, i.e. positions 0 .. 10000 with (0,0,0) (position 6083) skipped.
  std::vector<int> positions;
  for (const auto& m : c.miller)
    positions.push_back(((m[0] + 11) * 23 + (m[1] + 11)) * 23 + (m[2] + 11));
  std::sort(positions.begin(), positions.end());
  EXPECT_EQ(positions.front(), 0);
  EXPECT_EQ(positions.back(), 10000);
  EXPECT_EQ(std::adjacent_find(positions.begin(), positions.end()), positions.end());
  EXPECT_EQ(std::find(positions.begin(), positions.end(), 6083), positions.end());
  for (int i = 1; i < c.count(); ++i) EXPECT_GE(c.strength[i - 1], c.strength[i]);
}

// The cap keeps the first flagged candidates in strength order and then the
// rest of the group of equal strength it falls into, never part of it.
TEST(SelectBeams, MaxBeamsKeepsTheFirstFlaggedInStrengthOrderAndWholeGroups) {
  TestInput t = silicon_111();
  t.max_beams = "10000";
  auto in = prepared(t);
  const CandidateList c = search_candidates(*in);
  BeamList all;
  filter_by_band(*in, c, all);
  ASSERT_GT(all.count, 8);
  ASSERT_LT(all.count, c.count());  // the band filter threw some away
  auto strength = [&](int i) { return structure_strength(*in, all.miller[i]); };
  for (int cap : {1, 5, all.count - 1, all.count, all.count + 3}) {
    in->max_beams = cap;
    BeamList some;
    const std::vector<std::string> lines = filter_by_band(*in, c, some);
    // The end of the group of beam `cap`: equal strengths within 64 ulp of its first member.
    int end = std::min(cap, all.count);
    int first = end;
    while (first > 1 && strength(first - 1) - strength(end) <= 64 * 1.2e-7f * strength(first - 1))
      --first;
    while (end < all.count && strength(first) - strength(end + 1) <= 64 * 1.2e-7f * strength(first))
      ++end;
    EXPECT_EQ(some.count, end) << cap;
    const auto cap_lines = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
      return l.find("the cap max_beams") != std::string::npos;
    });
    EXPECT_EQ(cap_lines, some.count > cap ? 1 : 0) << cap;
    for (int i = 0; i <= some.count; ++i) {
      EXPECT_EQ(some.miller[i], all.miller[i]);
      EXPECT_EQ(some.lab_vector[i], all.lab_vector[i]);
    }
  }
  in->max_beams = 0;  // below 1: no diffracted beam
  BeamList none;
  filter_by_band(*in, c, none);
  EXPECT_EQ(none.count, 0);
}

// The window test written out from its geometry, independently of the
// selection code: crystal-frame g = R·hkl, laboratory g' = Oᵀ·g,
// ρ = |g'_xy|, accepted when −(ρ·tan(α + θ) + ΔS) ≤ g'_3 ≤ ρ·512·p + ΔS with
// α = atan(512 p), θ = asin(λ|g(n,n,n)|/2) and ΔS = p·2.1·|g(n,n,n)|.
bool in_window(const SimulationInput& in, int h, int k, int l) {
  const Mat3& R = in.reciprocal_basis;
  const Mat3& O = in.orientation_matrix;
  const float hkl[3] = {float(h), float(k), float(l)};
  float g[3], gl[3];
  for (int r = 0; r < 3; ++r)
    g[r] = R(r + 1, 1) * hkl[0] + R(r + 1, 2) * hkl[1] + R(r + 1, 3) * hkl[2];
  for (int r = 0; r < 3; ++r) gl[r] = O(1, r + 1) * g[0] + O(2, r + 1) * g[1] + O(3, r + 1) * g[2];
  const float n = float(in.hkl_limit), p = in.pixel_scale;
  float c[3];
  for (int r = 0; r < 3; ++r) c[r] = R(r + 1, 1) * n + R(r + 1, 2) * n + R(r + 1, 3) * n;
  const float G = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
  const float ds = p * 2.1f * G;
  const float theta = std::asin(in.wavelength * G / 2.0f);
  const float alpha = std::atan(512.0f * p);
  const float rho = std::sqrt(gl[0] * gl[0] + gl[1] * gl[1]);
  return gl[2] >= -(rho * std::tan(alpha + theta) + ds) && gl[2] <= rho * 512.0f * p + ds;
}

TEST(SelectBeams, WindowTestKeepsExactlyTheReflectionsNearTheZeroLayer) {
  // Cases: tilts off a zone axis and beam convergences for which the window
  // rejects part of the box; without a threshold the candidates must be
  // exactly the reflections of the box that pass the window test.
  const struct {
    const char* euler;
    const char* pixel_pitch;
    const char* index_limit;
  } cases[] = {{"0.0 54.7356 45.0", "0.025", "4"},  // near [111]
               {"10.0 3.0 -20.0", "0.025", "4"},    // near [001], tilted
               {"0.0 0.0 0.0", "0.005", "3"},       // on [001], narrow field
               {"30.0 70.0 15.0", "0.1", "3"}};     // general orientation, wide field
  for (const auto& c : cases) {
    TestInput t = silicon_111();
    t.strength_fraction = "0";
    t.euler = c.euler;
    t.pixel_pitch = c.pixel_pitch;
    t.index_limit = c.index_limit;
    auto in = prepared(t);
    const CandidateList cand = search_candidates(*in);
    std::vector<std::array<std::int32_t, 3>> expected;
    const int n = in->hkl_limit;
    for (int h = -n; h <= n; ++h)
      for (int k = -n; k <= n; ++k)
        for (int l = -n; l <= n; ++l)
          if ((h || k || l) && in_window(*in, h, k, l)) expected.push_back({h, k, l});
    const int box = (2 * n + 1) * (2 * n + 1) * (2 * n + 1) - 1;
    EXPECT_GT(expected.size(), 0u) << c.euler;
    EXPECT_LT(static_cast<int>(expected.size()), box) << c.euler;  // the window rejects some
    std::vector<std::array<std::int32_t, 3>> got = cand.miller;
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected) << c.euler << " p " << c.pixel_pitch;
  }
}

// The Ewald-band flag written out from its geometry: on the grid
// u, v = −31, −29, …, 543, k = (x, y, 1)/(√(x² + y² + 1)·λ) with
// x = ((u − 0.5) − 256)·p, y likewise, K = k + g'; flagged when
// | |K_3| − √(|k|² − K_1² − K_2²) | ≤ ΔS or the root has no value.
bool meets_band(const SimulationInput& in, const std::array<float, 3>& g, float ds) {
  const float p = in.pixel_scale, lambda = in.wavelength;
  for (int u = -31; u <= 543; u += 2)
    for (int v = -31; v <= 543; v += 2) {
      const float x = ((float(u) - 0.5f) - 256.0f) * p;
      const float y = ((float(v) - 0.5f) - 256.0f) * p;
      const float norm = std::sqrt(x * x + y * y + 1.0f) * lambda;
      const float k[3] = {x / norm, y / norm, 1.0f / norm};
      const float kk = k[0] * k[0] + k[1] * k[1] + k[2] * k[2];
      const float K[3] = {k[0] + g[0], k[1] + g[1], k[2] + g[2]};
      const float root = std::sqrt(kk - K[0] * K[0] - K[1] * K[1]);
      if (std::isnan(root) || std::fabs(std::fabs(K[2]) - root) <= ds) return true;
    }
  return false;
}

TEST(SelectBeams, BandFilterKeepsExactlyTheCandidatesThatComeNearTheSphere) {
  const struct {
    const char* euler;
    const char* pixel_pitch;
    const char* strength_fraction;
  } cases[] = {{"0.0 54.40 45.30", "0.025", "0.001"},
               {"10.0 3.0 -20.0", "0.025", "0.001"},
               {"0.0 0.0 0.0", "0.02", "0.001"},
               {"30.0 70.0 15.0", "0.1", "0"}};  // wide field, every reflection a candidate
  for (const auto& c : cases) {
    TestInput t = silicon_111();
    t.index_limit = "4";
    t.strength_fraction = c.strength_fraction;
    t.max_beams = "10000";
    t.euler = c.euler;
    t.pixel_pitch = c.pixel_pitch;
    auto in = prepared(t);
    const CandidateList cand = search_candidates(*in);
    BeamList beams;
    filter_by_band(*in, cand, beams);
    std::vector<std::array<std::int32_t, 3>> expected;
    for (int i = 0; i < cand.count(); ++i)
      if (meets_band(*in, cand.lab_vector[i], cand.band_half_width))
        expected.push_back(cand.miller[i]);
    EXPECT_GT(expected.size(), 0u) << c.euler;
    EXPECT_LT(static_cast<int>(expected.size()), cand.count()) << c.euler;  // some are dropped
    ASSERT_EQ(beams.count, static_cast<int>(expected.size())) << c.euler;
    for (int i = 1; i <= beams.count; ++i)  // in candidate (strength) order
      EXPECT_EQ(beams.miller[i], expected[i - 1]) << c.euler << " beam " << i;
  }
}

TEST(SelectBeams, BandFilterKeepsReflectionsThatMeetTheEwaldSphere) {
  TestInput t = silicon_111();
  t.max_beams = "10000";
  auto in = prepared(t);
  const CandidateList c = search_candidates(*in);
  BeamList beams;
  filter_by_band(*in, c, beams);
  // Near [111] every kept beam lies close to the zero layer or crosses the
  // sphere inside the field: for each kept g', some grid direction has
  // | |k+g|_3 − √(k² − (k+g)_1² − (k+g)_2²) | ≤ ΔS. Check the zero-layer
  // 220 beams are kept and the far-off 111 beams (g'·z ≈ ±0.18) are not.
  bool has_220 = false, has_111 = false;
  for (int i = 1; i <= beams.count; ++i) {
    const auto& m = beams.miller[i];
    const int a = std::abs(m[0]) + std::abs(m[1]) + std::abs(m[2]);
    if (a == 4 && m[0] + m[1] + m[2] == 0) has_220 = true;
    if (a == 3 && std::abs(m[0]) == 1 && std::abs(m[1]) == 1) has_111 = true;
  }
  EXPECT_TRUE(has_220);
  EXPECT_FALSE(has_111);
  // Entry 0 is the transmitted beam.
  EXPECT_EQ(beams.miller[0], (std::array<std::int32_t, 3>{0, 0, 0}));
}

}  // namespace
}  // namespace velmorant

// ---- Beam sets that keep the crystal's symmetry ----

namespace velmorant {
namespace {

using testing::TestInput;

std::unique_ptr<SimulationInput> titanium_0001(const std::string& max_beams) {
  return testing::titanium_on_0001(max_beams, "1500.0", VELMORANT_SOURCE_DATA_DIR);
}

std::unique_ptr<SimulationInput> silicon_on_111(const std::string& max_beams) {
  return testing::silicon_on_111(max_beams, "1500.0", VELMORANT_SOURCE_DATA_DIR);
}

// Whether every beam's laboratory vector turned by `degrees` about the beam
// axis is again a beam's (within 1e-4 |g|); the first beam that is not, if any.
std::string first_unturned(const BeamList& beams, double degrees) {
  const double c = std::cos(common::radians(degrees)), s = std::sin(common::radians(degrees));
  for (int i = 1; i <= beams.count; ++i) {
    const auto& g = beams.lab_vector[i];
    const double x = c * g[0] - s * g[1], y = s * g[0] + c * g[1], z = g[2];
    const double len = std::sqrt(double(g[0]) * g[0] + double(g[1]) * g[1] + double(g[2]) * g[2]);
    bool found = false;
    for (int j = 1; j <= beams.count && !found; ++j) {
      const auto& h = beams.lab_vector[j];
      found = std::fabs(h[0] - x) + std::fabs(h[1] - y) + std::fabs(h[2] - z) <= 1e-4 * len;
    }
    if (!found) {
      std::ostringstream o;
      o << beams.miller[i][0] << ' ' << beams.miller[i][1] << ' ' << beams.miller[i][2];
      return o.str();
    }
  }
  return "";
}

// The plain selection cuts groups of symmetry-equivalent reflections: the
// index box holds 4 of the 12 members of {1 4 0} at limit 4, the caps 22 and
// 60 fall inside groups of equal strength, and the square grid of the band
// filter reaches {3 0 0} along the diagonals only. Kept whole, the beams are
// closed under the sixfold axis, in the plain selection's order.
TEST(SymmetricBeams, TitaniumOn0001KeepsTheSixfoldAxisAtEveryCap) {
  BeamList all;
  select_beams(*titanium_0001("10000"), all);
  ASSERT_GT(all.count, 60);
  EXPECT_EQ(first_unturned(all, 60.0), "");
  const struct {
    const char* cap;
    bool cut;  // the cap falls inside a group
  } cases[] = {{"22", true}, {"30", false}, {"60", true}};
  for (const auto& c : cases) {
    BeamList beams;
    const std::vector<std::string> lines = select_beams(*titanium_0001(c.cap), beams);
    const int cap = std::stoi(c.cap);
    EXPECT_EQ(first_unturned(beams, 60.0), "") << "cap " << cap;
    EXPECT_EQ(beams.count > cap, c.cut) << "cap " << cap;
    EXPECT_GE(beams.count, cap);
    for (int i = 0; i <= beams.count; ++i)
      EXPECT_EQ(beams.miller[i], all.miller[i]) << "cap " << cap;
    const std::string said = "the cap max_beams = " + std::string(c.cap) +
                             " would have split; N = " + std::to_string(beams.count);
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(),
                      [&](const std::string& l) { return l.find(said) != std::string::npos; }),
        c.cut ? 1 : 0)
        << "cap " << cap;
  }
}

// Silicon exactly on [111]: the threefold axis survives the cap and the
// square grid of the band filter, which alone reaches only some of {4 4 0}.
TEST(SymmetricBeams, SiliconOn111KeepsTheThreefoldAxis) {
  for (const char* cap : {"10", "20", "10000"}) {
    BeamList beams;
    const std::vector<std::string> lines = select_beams(*silicon_on_111(cap), beams);
    EXPECT_EQ(first_unturned(beams, 120.0), "") << cap;
    if (beams.count >= 18) {
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(
          lines.back(),
          "Velmorant: beam selection: kept whole the group of 6 reflections of equal strength "
          "{0 -4 4, 4 -4 0, 4 0 -4, 0 4 -4, -4 0 4, -4 4 0} that the band filter's square grid of "
          "directions would have split; N = " +
              std::to_string(beams.count));
    }
  }
}

// Every candidate turned by a rotation of the lattice is a candidate: with
// no threshold and a window open to every direction, the candidates are the
// whole region. It is the box itself for the cubic and monoclinic cells.
TEST(SymmetricBeams, CandidatesAreClosedUnderTheLatticeRotations) {
  using Cell = std::array<std::array<std::string, 3>, 3>;
  const struct {
    Cell cell;
    std::vector<std::array<double, 4>> turns;  // axis (Cartesian) and angle in degrees
    bool box;
  } cases[] = {
      {{{{"2.95", "0", "0"}, {"-1.475", "2.55477494", "0"}, {"0", "0", "4.68"}}},
       {{0, 0, 1, 60}, {1, 0, 0, 180}},
       false},
      {{{{"5.4309", "0", "0"}, {"0", "5.4309", "0"}, {"0", "0", "5.4309"}}},
       {{0, 0, 1, 90}, {1, 1, 1, 120}},
       true},
      {{{{"12.23", "0", "0"}, {"0", "3.04", "0"}, {"-1.3865", "0", "5.6381"}}},
       {{0, 1, 0, 180}},
       true},
  };
  for (const auto& c : cases) {
    TestInput t;
    t.species.push_back(testing::silicon());
    t.basis = c.cell;
    t.index_limit = "4";
    t.strength_fraction = "0";
    t.pixel_pitch = "320";  // p = 0.5: the window takes every reflection
    t.wavelength = "0.0005";
    auto in = testing::prepared(t, VELMORANT_SOURCE_DATA_DIR);
    const CandidateList cand = search_candidates(*in);
    std::set<std::array<std::int32_t, 3>> set(cand.miller.begin(), cand.miller.end());
    ASSERT_EQ(set.size(), size_t(cand.count()));
    EXPECT_EQ(cand.count() == 9 * 9 * 9 - 1, c.box) << c.cell[0][0];
    for (const auto& turn : c.turns) {
      // Rodrigues' rotation of g = R·hkl, back to indices h = a·g.
      const double norm = std::sqrt(turn[0] * turn[0] + turn[1] * turn[1] + turn[2] * turn[2]);
      const double u[3] = {turn[0] / norm, turn[1] / norm, turn[2] / norm};
      const double ct = std::cos(common::radians(turn[3])), st = std::sin(common::radians(turn[3]));
      int missing = 0;
      for (const auto& m : cand.miller) {
        double g[3];
        for (int r = 0; r < 3; ++r)
          g[r] = in->reciprocal_basis(r + 1, 1) * m[0] + in->reciprocal_basis(r + 1, 2) * m[1] +
                 in->reciprocal_basis(r + 1, 3) * m[2];
        const double dot = u[0] * g[0] + u[1] * g[1] + u[2] * g[2];
        const double cross[3] = {u[1] * g[2] - u[2] * g[1], u[2] * g[0] - u[0] * g[2],
                                 u[0] * g[1] - u[1] * g[0]};
        double turned[3];
        for (int r = 0; r < 3; ++r) turned[r] = g[r] * ct + cross[r] * st + u[r] * dot * (1 - ct);
        std::array<std::int32_t, 3> hkl;
        for (int r = 0; r < 3; ++r) {
          double h = 0;
          for (int col = 0; col < 3; ++col) h += in->cell_basis(r + 1, col + 1) * turned[col];
          hkl[r] = std::int32_t(std::lround(h));
        }
        missing += !set.count(hkl);
      }
      EXPECT_EQ(missing, 0) << c.cell[0][0] << " turn " << turn[3];
    }
  }
}

}  // namespace
}  // namespace velmorant
