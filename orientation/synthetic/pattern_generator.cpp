// Seeded generator of scattering-vector patterns with known orientations (double precision).
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/synthetic/pattern_generator.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <sstream>

#include "common/angles.hpp"
#include "common/vec3.hpp"

namespace talvor::tools {

namespace {

using common::dot;
using common::kPiDouble;

// Portable random numbers: the 64-bit Mersenne twister's output is fixed by
// the language standard, and everything else is derived here by hand.
class Random {
public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  // Uniform in [0, 1).
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  // Uniform integer in [lo, hi].
  int Between(int lo, int hi) {
    return lo + static_cast<int>(Uniform() * static_cast<double>(hi - lo + 1));
  }
  // Standard normal by the Box-Muller transform.
  double Normal() {
    const double u1 = 1.0 - Uniform();  // (0, 1]
    const double u2 = Uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPiDouble * u2);
  }

private:
  // splitmix64: a small generator with a full 64-bit state.
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint64_t state_;
};

Vector3d Normalized(const Vector3d& v) {
  const double len = std::sqrt(dot(v, v));
  return {v[0] / len, v[1] / len, v[2] / len};
}

Vector3d Apply(const Matrix3d& m, const Vector3d& v) {
  return {dot(m[0], v), dot(m[1], v), dot(m[2], v)};
}

// m^T v.
Vector3d ApplyTransposed(const Matrix3d& m, const Vector3d& v) {
  Vector3d r{};
  for (int j = 0; j < 3; ++j) r[j] = m[0][j] * v[0] + m[1][j] * v[1] + m[2][j] * v[2];
  return r;
}

Matrix3d Multiply(const Matrix3d& a, const Matrix3d& b) {
  Matrix3d p{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) p[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
  return p;
}

Matrix3d Transposed(const Matrix3d& a) {
  Matrix3d t{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) t[i][j] = a[j][i];
  return t;
}

double Trace(const Matrix3d& m) { return m[0][0] + m[1][1] + m[2][2]; }

// Right-handed rotation by `degrees` about `axis`.
Matrix3d RotationMatrix(const AxisAngle& op) {
  const double len = std::sqrt(dot(op.axis, op.axis));
  if (len == 0.0) return {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  const Vector3d n = {op.axis[0] / len, op.axis[1] / len, op.axis[2] / len};
  const double c = std::cos(common::radians(op.degrees)), s = std::sin(common::radians(op.degrees));
  Matrix3d m{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m[i][j] = n[i] * n[j] * (1 - c) + (i == j ? c : 0.0);
  m[0][1] -= s * n[2];
  m[1][0] += s * n[2];
  m[0][2] += s * n[1];
  m[2][0] -= s * n[1];
  m[1][2] -= s * n[0];
  m[2][1] += s * n[0];
  return m;
}

// Uniformly distributed rotation from a random unit quaternion.
Matrix3d RandomRotation(Random& random) {
  double q[4], len2 = 0.0;
  do {
    len2 = 0.0;
    for (double& c : q) {
      c = random.Normal();
      len2 += c * c;
    }
  } while (len2 < 1e-12);
  const double len = std::sqrt(len2);
  const double a = q[0] / len, b = q[1] / len, c = q[2] / len, d = q[3] / len;
  return {{{a * a + b * b - c * c - d * d, 2 * (b * c - a * d), 2 * (b * d + a * c)},
           {2 * (b * c + a * d), a * a - b * b + c * c - d * d, 2 * (c * d - a * b)},
           {2 * (b * d - a * c), 2 * (c * d + a * b), a * a - b * b - c * c + d * d}}};
}

Vector3d RandomUnitVector(Random& random) {
  for (;;) {
    const Vector3d v = {random.Normal(), random.Normal(), random.Normal()};
    if (dot(v, v) > 1e-12) return Normalized(v);
  }
}

// Determinant and inverse of the basis, column j of the inverse being the
// reciprocal vector b_j.
Matrix3d Inverse(const Matrix3d& a) {
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  Matrix3d r{};
  r[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) / det;
  r[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det;
  r[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
  r[1][0] = (a[1][2] * a[2][0] - a[1][0] * a[2][2]) / det;
  r[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
  r[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det;
  r[2][0] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) / det;
  r[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det;
  r[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;
  return r;
}

// The distinct plane-normal axes of all families (a direction and its
// opposite count once), crystal frame.
std::vector<Vector3d> PlaneAxes(const CrystalDescription& crystal) {
  const Matrix3d reciprocal = Inverse(crystal.basis);
  const std::vector<Matrix3d> ops = SymmetryMatrices(crystal);
  std::vector<Vector3d> axes;
  for (const auto& f : crystal.families) {
    const Vector3d hkl = {static_cast<double>(f[0]), static_cast<double>(f[1]),
                          static_cast<double>(f[2])};
    const Vector3d normal = Normalized(Apply(reciprocal, hkl));
    for (const Matrix3d& op : ops) {
      const Vector3d image = Apply(op, normal);
      const bool known = std::any_of(axes.begin(), axes.end(), [&](const Vector3d& a) {
        return std::fabs(dot(a, image)) > std::cos(common::radians(0.01));
      });
      if (!known) axes.push_back(image);
    }
  }
  return axes;
}

// True when v keeps at least `limit_cos` (as a cosine) away from every
// vector of `others` and from their opposites.
bool WellSeparated(const Vector3d& v, const std::vector<Vector3d>& others, double limit_cos) {
  return std::none_of(others.begin(), others.end(),
                      [&](const Vector3d& o) { return std::fabs(dot(v, o)) >= limit_cos; });
}

// v turned by a small random angle: Gaussian displacement in the tangent
// plane with root-mean-square length `rms` (radians).
Vector3d WithNoise(const Vector3d& v, double rms, Random& random) {
  // Any two unit vectors perpendicular to v.
  const Vector3d helper = std::fabs(v[0]) < 0.9 ? Vector3d{1, 0, 0} : Vector3d{0, 1, 0};
  Vector3d t1 = {v[1] * helper[2] - v[2] * helper[1], v[2] * helper[0] - v[0] * helper[2],
                 v[0] * helper[1] - v[1] * helper[0]};
  t1 = Normalized(t1);
  const Vector3d t2 = {v[1] * t1[2] - v[2] * t1[1], v[2] * t1[0] - v[0] * t1[2],
                       v[0] * t1[1] - v[1] * t1[0]};
  const double sigma = rms / std::sqrt(2.0);
  const double a = sigma * random.Normal(), b = sigma * random.Normal();
  return Normalized(
      {v[0] + a * t1[0] + b * t2[0], v[1] + a * t1[1] + b * t2[1], v[2] + a * t1[2] + b * t2[2]});
}

std::string Fixed(double value, int width, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%*.*f", width, decimals, value);
  return text;
}

}  // namespace

CrystalDescription DefaultCubic() {
  CrystalDescription c;
  c.title = "unit cubic cell, the finder's default crystal";
  c.basis = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  c.families = {{1, 1, 1}, {0, 0, 2}, {0, 2, 2}, {1, 1, 3}};
  // The 24 rotations of the cube in the finder's default order.
  c.symmetry = {{{0, 0, 1}, 0},     {{0, 0, 1}, 90},    {{1, 1, 1}, 120},    {{0, 0, -1}, 180},
                {{-1, 0, -1}, 180}, {{0, -1, -1}, 180}, {{-1, -1, -1}, 120}, {{0, 0, -1}, 90},
                {{-1, 1, -1}, 120}, {{-1, 0, 0}, 90},   {{1, -1, -1}, 120},  {{0, -1, 0}, 90},
                {{0, 1, 0}, 90},    {{-1, 1, 1}, 120},  {{-1, -1, 1}, 120},  {{1, 0, 0}, 90},
                {{1, 1, -1}, 120},  {{1, -1, 1}, 120},  {{1, 0, -1}, 180},   {{0, -1, 1}, 180},
                {{-1, -1, 0}, 180}, {{0, -1, 0}, 180},  {{-1, 0, 0}, 180},   {{-1, 1, 0}, 180}};
  return c;
}

CrystalDescription CubicCopper() {
  CrystalDescription c = DefaultCubic();
  c.title = "copper, fcc, a = 3.6149 A";
  const double a = 3.6149;
  c.basis = {{{a, 0, 0}, {0, a, 0}, {0, 0, a}}};
  c.families = {{1, 1, 1}, {0, 0, 2}, {0, 2, 2}, {1, 1, 3}, {0, 2, 4}};
  return c;
}

CrystalDescription HexagonalTitanium() {
  CrystalDescription c;
  c.title = "titanium, hcp, a = 2.9508 A, c = 4.6855 A";
  const double a = 2.9508, cc = 4.6855;
  c.basis = {{{a, 0, 0}, {-a / 2, a * std::sqrt(3.0) / 2, 0}, {0, 0, cc}}};
  // {10-10} {0002} {10-11} {10-12} {11-20} {10-13} {11-22} in three indices.
  c.families = {{1, 0, 0}, {0, 0, 2}, {1, 0, 1}, {1, 0, 2}, {1, 1, 0}, {1, 0, 3}, {1, 1, 2}};
  const double h = std::sqrt(3.0) / 2;
  c.symmetry = {{{0, 0, 1}, 0},     {{0, 0, 1}, 60},  {{0, 0, 1}, 120},    {{0, 0, 1}, 180},
                {{0, 0, 1}, 240},   {{0, 0, 1}, 300}, {{1, 0, 0}, 180},    {{h, 0.5, 0}, 180},
                {{0.5, h, 0}, 180}, {{0, 1, 0}, 180}, {{-0.5, h, 0}, 180}, {{-h, 0.5, 0}, 180}};
  return c;
}

CrystalDescription CrystalByName(const std::string& name) {
  if (name == "copper") return CubicCopper();
  if (name == "titanium") return HexagonalTitanium();
  return DefaultCubic();
}

std::vector<Matrix3d> SymmetryMatrices(const CrystalDescription& crystal) {
  std::vector<Matrix3d> ops;
  for (const AxisAngle& op : crystal.symmetry) ops.push_back(RotationMatrix(op));
  return ops;
}

namespace {

// The vectors of one pattern of the true orientation g: plane normals of
// random axes far enough apart with random sign, the spurious directions,
// noise on the genuine ones, everything in random order.
GeneratedPattern DrawPattern(const Matrix3d& g, const std::vector<Vector3d>& axes,
                             const PatternSettings& settings, Random& random) {
  const double separation_cos = std::cos(common::radians(settings.separationDegrees));
  const double noise = common::radians(settings.noiseDegrees);
  GeneratedPattern pattern;
  pattern.orientation = g;
  const int n = random.Between(settings.minVectors, settings.maxVectors);
  const int spurious = static_cast<int>(std::lround(settings.spuriousFraction * n));

  // Plane normals: random axes (crystal frame) far enough apart, random sign.
  std::vector<Vector3d> chosen;
  std::vector<int> order(axes.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  for (size_t i = 0; i + 1 < order.size(); ++i)  // Fisher-Yates shuffle
    std::swap(order[i], order[i + random.Between(0, static_cast<int>(order.size() - 1 - i))]);
  for (int index : order) {
    if (static_cast<int>(chosen.size()) == n - spurious) break;
    if (WellSeparated(axes[index], chosen, separation_cos)) chosen.push_back(axes[index]);
  }

  std::vector<Vector3d> sample;  // sample frame, exact
  for (Vector3d y : chosen) {
    if (random.Uniform() < 0.5) y = {-y[0], -y[1], -y[2]};
    sample.push_back(ApplyTransposed(pattern.orientation, y));
  }
  // Spurious directions: not within the separation of any plane normal in
  // the true orientation, nor of another vector.
  std::vector<Vector3d> sample_axes;
  for (const Vector3d& y : axes) sample_axes.push_back(ApplyTransposed(pattern.orientation, y));
  const int genuine = static_cast<int>(sample.size());
  while (static_cast<int>(sample.size()) < genuine + spurious) {
    const Vector3d v = RandomUnitVector(random);
    if (WellSeparated(v, sample_axes, separation_cos) && WellSeparated(v, sample, separation_cos))
      sample.push_back(v);
  }

  // Noise on the genuine vectors, then everything in random order.
  for (int i = 0; i < genuine; ++i) sample[i] = WithNoise(sample[i], noise, random);
  std::vector<int> position(sample.size());
  for (size_t i = 0; i < position.size(); ++i) position[i] = static_cast<int>(i);
  for (size_t i = 0; i + 1 < position.size(); ++i)
    std::swap(position[i],
              position[i + random.Between(0, static_cast<int>(position.size() - 1 - i))]);
  for (size_t i = 0; i < position.size(); ++i) {
    pattern.vectors.push_back(sample[position[i]]);
    if (position[i] >= genuine) pattern.spurious.push_back(static_cast<int>(i));
  }
  return pattern;
}

void WriteHeader(std::ostream& out, const CrystalDescription& crystal, const RunParameters& run,
                 std::int64_t pattern_count) {
  out << "# Talvor2 input: " << crystal.title << "\n";
  out << "# Synthetic patterns from talvor2_patterns (known orientations), not measured data.\n";
  out << "_LatticeBasis\n";
  for (const Vector3d& row : crystal.basis)
    out << Fixed(row[0], 12, 7) << Fixed(row[1], 12, 7) << Fixed(row[2], 12, 7) << "\n";
  out << "_NumberOfFamiliesOfReflectingPlanes\n" << crystal.families.size() << "\n";
  out << "_FamiliesOfReflectingPlanes\n";
  for (const auto& f : crystal.families) out << " " << f[0] << " " << f[1] << " " << f[2] << "\n";
  out << "_NumberOfSymmetryOperations\n" << crystal.symmetry.size() << "\n";
  out << "_SymmetryOperations\n";
  for (const AxisAngle& op : crystal.symmetry)
    out << Fixed(op.axis[0], 11, 7) << Fixed(op.axis[1], 11, 7) << Fixed(op.axis[2], 11, 7)
        << Fixed(op.degrees, 7, 1) << "\n";
  out << "_IndexingStrategy\n" << run.strategy << "\n";
  out << "_ParametersOfStrategy\n"
      << Fixed(run.p1Degrees, 0, 2) << " " << Fixed(run.p2Degrees, 0, 2) << "\n";
  out << "_NumberOfPatterns\n" << pattern_count << "\n";
  out << "_PrintComputationTime\n0\n";
  out << "_PatternData\n";
}

void WritePattern(std::ostream& out, const std::string& title, const GeneratedPattern& pattern) {
  out << title << "\n" << pattern.vectors.size() << "\n";
  for (const Vector3d& v : pattern.vectors)
    out << Fixed(v[0], 12, 7) << Fixed(v[1], 12, 7) << Fixed(v[2], 12, 7) << "\n";
}

}  // namespace

std::vector<GeneratedPattern> GeneratePatterns(const CrystalDescription& crystal,
                                               const PatternSettings& settings) {
  Random random(settings.seed);
  const std::vector<Vector3d> axes = PlaneAxes(crystal);
  std::vector<GeneratedPattern> patterns;
  for (int p = 0; p < settings.patternCount; ++p) {
    const Matrix3d g = RandomRotation(random);
    patterns.push_back(DrawPattern(g, axes, settings, random));
  }
  return patterns;
}

int GrainAt(const MapSettings& map, int x, int y) {
  const int gx = static_cast<int>(static_cast<std::int64_t>(x) * map.grainsX / map.width);
  const int gy = static_cast<int>(static_cast<std::int64_t>(y) * map.grainsY / map.height);
  return gy * map.grainsX + gx;
}

std::vector<Matrix3d> MapGrains(const MapSettings& map) {
  Random random(map.patterns.seed);
  std::vector<Matrix3d> grains;
  for (int g = 0; g < map.grainsX * map.grainsY; ++g) grains.push_back(RandomRotation(random));
  return grains;
}

void WriteMap(std::ostream& input, std::ostream& truth, const CrystalDescription& crystal,
              const RunParameters& run, const MapSettings& map) {
  const std::vector<Matrix3d> grains = MapGrains(map);
  // The vectors draw from their own sequence, after the grains' orientations.
  Random random(map.patterns.seed ^ 0x6D61705F706F696EULL);
  const std::vector<Vector3d> axes = PlaneAxes(crystal);
  const std::int64_t count = static_cast<std::int64_t>(map.width) * map.height;
  WriteHeader(input, crystal, run, count);
  truth << "# True orientations of the synthetic map (" << crystal.title << "), " << map.width
        << " x " << map.height << " points, " << grains.size() << " grains\n";
  truth << "# grain      phi1       Phi      phi2   (Bunge, degrees, reduced by the crystal "
           "symmetry)\n";
  for (std::size_t g = 0; g < grains.size(); ++g) {
    const Vector3d e = ReducedBungeDegrees(grains[g], crystal);
    truth << "#" << Fixed(static_cast<double>(g + 1), 6, 0) << Fixed(e[0], 10, 4)
          << Fixed(e[1], 10, 4) << Fixed(e[2], 10, 4) << "\n";
  }
  truth << "#      no     x     y grain\n";
  std::int64_t number = 0;
  for (int y = 0; y < map.height; ++y) {
    for (int x = 0; x < map.width; ++x) {
      ++number;
      const int grain = GrainAt(map, x, y);
      const GeneratedPattern p = DrawPattern(grains[grain], axes, map.patterns, random);
      WritePattern(input,
                   "Pattern " + std::to_string(number) + " x=" + std::to_string(x) +
                       " y=" + std::to_string(y),
                   p);
      truth << Fixed(static_cast<double>(number), 9, 0) << Fixed(x, 6, 0) << Fixed(y, 6, 0)
            << Fixed(grain + 1, 6, 0) << "\n";
    }
  }
}

std::string FormatInput(const CrystalDescription& crystal, const RunParameters& run,
                        const std::vector<GeneratedPattern>& patterns) {
  std::ostringstream out;
  WriteHeader(out, crystal, run, static_cast<std::int64_t>(patterns.size()));
  for (size_t p = 0; p < patterns.size(); ++p)
    WritePattern(out, "Pattern " + std::to_string(p + 1), patterns[p]);
  return out.str();
}

std::string FormatTruth(const CrystalDescription& crystal,
                        const std::vector<GeneratedPattern>& patterns) {
  std::ostringstream out;
  out << "# True orientations of the synthetic patterns (" << crystal.title << ")\n";
  out << "#   no   n  spurious      phi1       Phi      phi2   (Bunge, degrees, reduced by the "
         "crystal symmetry)   spurious vectors\n";
  for (size_t p = 0; p < patterns.size(); ++p) {
    const Vector3d e = ReducedBungeDegrees(patterns[p].orientation, crystal);
    out << Fixed(static_cast<double>(p + 1), 6, 0) << Fixed(patterns[p].vectors.size(), 4, 0)
        << Fixed(patterns[p].spurious.size(), 10, 0) << Fixed(e[0], 10, 4) << Fixed(e[1], 10, 4)
        << Fixed(e[2], 10, 4);
    for (int s : patterns[p].spurious) out << " " << s + 1;
    out << "\n";
  }
  return out.str();
}

double MisorientationDegrees(const Matrix3d& a, const Matrix3d& b,
                             const CrystalDescription& crystal) {
  const Matrix3d d = Multiply(a, Transposed(b));
  double best = -1.0;
  for (const Matrix3d& op : SymmetryMatrices(crystal))
    best = std::max(best, Trace(Multiply(op, d)));
  const double c = std::clamp((best - 1.0) / 2.0, -1.0, 1.0);
  return common::degrees(std::acos(c));
}

Vector3d ReducedBungeDegrees(const Matrix3d& g, const CrystalDescription& crystal) {
  Matrix3d r = g;
  double best = -2.0;
  for (const Matrix3d& op : SymmetryMatrices(crystal)) {
    const Matrix3d p = Multiply(op, g);
    if (Trace(p) > best + 1e-12) {
      best = Trace(p);
      r = p;
    }
  }
  // Bunge matrix rows: (c1c2 - s1s2c, s1c2 + c1s2c, s2s), (.., .., c2s), (s1s, -c1s, c).
  double phi1, phi2;
  const double Phi = std::acos(std::clamp(r[2][2], -1.0, 1.0));
  if (std::fabs(std::sin(Phi)) > 1e-9) {
    phi1 = std::atan2(r[2][0], -r[2][1]);
    phi2 = std::atan2(r[0][2], r[1][2]);
  } else {
    phi1 = std::atan2(r[0][1], r[0][0]);
    phi2 = 0.0;
  }
  if (phi1 < 0) phi1 += 2 * kPiDouble;
  if (phi2 < 0) phi2 += 2 * kPiDouble;
  return {common::degrees(phi1), common::degrees(Phi), common::degrees(phi2)};
}

}  // namespace talvor::tools
