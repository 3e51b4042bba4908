// Reading the .tv2 input file: defaults, header keyword blocks, patterns.
#include "input/input_file.hpp"

#include <cmath>
#include <ostream>
#include <string>

#include "common/fixed_format.hpp"
#include "errors/report_fatal_error.hpp"
#include "geometry/crystal_geometry.hpp"
#include "geometry/rotation.hpp"

namespace talvor {

namespace {

constexpr int kMaxKeywordLength = 128;
constexpr int kEchoWidth = 57;  // echo lines end in this column
constexpr float kMinParameterDeg = 0.1f;
constexpr float kMaxParameterDeg = 10.0f;

float DegreesToRadians(float deg) { return deg * kPi / 180.0f; }
float RadiansToDegrees(float rad) { return rad * 180.0f / kPi; }

// "<label>" padded with blanks so that "read" ends in column 57.
std::string ReadEcho(const std::string& label) {
  std::string line = label;
  line.resize(kEchoWidth - 4, ' ');
  return line + "read";
}

void Check(const common::ReadResult& r, int code) {
  if (!r) ReportFatalError(code);
}

}  // namespace

void CubicRotations(Mat3 (&rotations)[kMaxSymmetryOps]) {
  const float q = kPi / 2.0f;          // 90 degrees
  const float t = 2.0f * kPi / 3.0f;   // 120 degrees
  const float h = kPi;                 // 180 degrees
  struct AxisAngle {
    float x, y, z, w;
  };
  const AxisAngle table[kMaxSymmetryOps] = {
      {0, 0, 1, 0},    {0, 0, 1, q},    {1, 1, 1, t},    {0, 0, -1, h},   {-1, 0, -1, h},
      {0, -1, -1, h},  {-1, -1, -1, t}, {0, 0, -1, q},   {-1, 1, -1, t},  {-1, 0, 0, q},
      {1, -1, -1, t},  {0, -1, 0, q},   {0, 1, 0, q},    {-1, 1, 1, t},   {-1, -1, 1, t},
      {1, 0, 0, q},    {1, 1, -1, t},   {1, -1, 1, t},   {1, 0, -1, h},   {0, -1, 1, h},
      {-1, -1, 0, h},  {0, -1, 0, h},   {-1, 0, 0, h},   {-1, 1, 0, h}};
  for (int o = 0; o < kMaxSymmetryOps; ++o) {
    float w = table[o].w;
    Vec3 axis = {table[o].x, table[o].y, table[o].z};
    rotations[o] = RotationFromAxisAngle(w, axis);
  }
}

void SetDefaults(OrientationProblem& p) {
  p.basis = Mat3::identity();
  p.familyCount = 4;
  p.families[0] = {1, 1, 1};
  p.families[1] = {0, 0, 2};
  p.families[2] = {0, 2, 2};
  p.families[3] = {1, 1, 3};
  p.symmetryCount = kMaxSymmetryOps;
  Mat3 cubic[kMaxSymmetryOps];
  CubicRotations(cubic);
  for (int o = 0; o < kMaxSymmetryOps; ++o) p.symmetry[o] = cubic[o];
  p.strategy = 3;
  p.p1 = DegreesToRadians(2.0f);
  p.p2 = DegreesToRadians(3.5f);
  p.cosP2 = std::cos(p.p2);
  p.patternCount = kAllPatterns;
  p.printFlag = 0;
}

void ReadHeader(common::FreeFormReader& reader, const std::string& file_name, OrientationProblem& p,
                std::ostream& out) {
  for (int i = 0; i < 16; ++i) out << '\n';
  for (;;) {
    std::string word;
    if (!reader.read(word)) break;  // end of file before _PatternData
    if (word.empty() || word[0] == '#') continue;  // comment or unrecognised line
    if (word[0] != '_') continue;                  // any other line is ignored
    reader.backspace();
    std::string keyword;
    if (!reader.read(keyword)) break;
    if (keyword.size() > kMaxKeywordLength) keyword.resize(kMaxKeywordLength);

    if (keyword == "_PatternData") {
      return;
    } else if (keyword == "_LatticeBasis") {
      for (int r = 1; r <= 3; ++r) {
        float x, y, z;
        Check(reader.read(x, y, z), kBadLatticeBasis);
        p.basis(r, 1) = x;
        p.basis(r, 2) = y;
        p.basis(r, 3) = z;
      }
      for (int r = 1; r <= 3; ++r)
        out << " Basis vector " << r << " : " << common::format_fixed(p.basis(r, 1), 13, 6)
            << common::format_fixed(p.basis(r, 2), 13, 6) << common::format_fixed(p.basis(r, 3), 13, 6)
            << '\n';
    } else if (keyword == "_NumberOfFamiliesOfReflectingPlanes") {
      std::int32_t n;
      Check(reader.read(n), kBadFamilyCount);
      if (n > kMaxFamilies) n = kMaxFamilies;
      if (n < 1) ReportFatalError(kFamilyCountTooSmall);
      p.familyCount = n;
      out << " Number of families of reflecting planes : " << std::string(8, ' ')
          << common::format_int(n, 6) << '\n';
    } else if (keyword == "_FamiliesOfReflectingPlanes") {
      for (int f = 0; f < p.familyCount; ++f) {
        MillerIndices m;
        Check(reader.read(m.h, m.k, m.l), kBadFamilies);
        p.families[f] = m;
      }
      out << ReadEcho(" Families of reflecting planes") << '\n';
    } else if (keyword == "_NumberOfSymmetryOperations") {
      std::int32_t n;
      Check(reader.read(n), kBadSymmetryCount);
      if (n < 1 || n > kMaxSymmetryOps) ReportFatalError(kSymmetryCountOutOfRange);
      p.symmetryCount = n;
      out << " Number of symmetry operations : " << std::string(18, ' ') << common::format_int(n, 6)
          << '\n';
    } else if (keyword == "_SymmetryOperations") {
      for (int o = 0; o < p.symmetryCount; ++o) {
        Vec3 axis;
        float deg;
        Check(reader.read(axis[0], axis[1], axis[2], deg), kBadSymmetryOperations);
        float w = DegreesToRadians(deg);
        p.symmetry[o] = RotationFromAxisAngle(w, axis);
      }
      out << ReadEcho(" Symmetry operations") << '\n';
    } else if (keyword == "_IndexingStrategy") {
      std::int32_t s;
      Check(reader.read(s), kBadStrategy);
      if (s < 1 || s > 4) ReportFatalError(kStrategyOutOfRange);
      p.strategy = s;
      out << " Indexing strategy : " << std::string(30, ' ') << common::format_int(s, 6) << '\n';
    } else if (keyword == "_ParametersOfStrategy") {
      float p1, p2;
      Check(reader.read(p1, p2), kBadParameters);
      // NaN fails both comparisons the other way round, so test for "inside".
      if (!(p1 >= kMinParameterDeg && p1 <= kMaxParameterDeg)) ReportFatalError(kP1OutOfRange);
      if (!(p2 >= kMinParameterDeg && p2 <= kMaxParameterDeg)) ReportFatalError(kP2OutOfRange);
      p.p1 = DegreesToRadians(p1);
      p.p2 = DegreesToRadians(p2);
      p.cosP2 = std::cos(p.p2);
      out << " Parameters p_1 & p_2 of strategy : " << ' '
          << common::format_fixed(RadiansToDegrees(p.p1), 10, 4)
          << common::format_fixed(RadiansToDegrees(p.p2), 10, 4) << '\n';
    } else if (keyword == "_NumberOfPatterns") {
      std::int32_t n;
      Check(reader.read(n), kBadPatternCount);
      if (n < 1) ReportFatalError(kPatternCountTooSmall);
      p.patternCount = n;
      out << " Number of patterns : " << std::string(29, ' ') << common::format_int(n, 6) << '\n';
    } else if (keyword == "_PrintComputationTime") {
      std::int32_t flag;
      Check(reader.read(flag), kBadPrintFlag);
      p.printFlag = flag;
      out << " Print computation time : " << std::string(25, ' ') << common::format_int(flag, 6)
          << '\n';
    } else {
      break;  // an unknown keyword
    }
  }
  StopWithLine("Error reading " + file_name + ".");
}

PatternStatus ReadPattern(common::FreeFormReader& reader, int pattern_number,
                          const std::string& file_name, ScatteringPattern& pattern) {
  if (!reader.skip_lines(1)) return PatternStatus::no_more;  // title line
  std::int32_t n;
  if (!reader.read(n)) return PatternStatus::no_more;
  if (n < kMinVectors) ReportFatalError(kTooFewVectors);
  if (n > kMaxVectors) ReportFatalError(kTooManyVectors);
  for (int v = 0; v < n; ++v) {
    Vec3 s;
    Check(reader.read(s[0], s[1], s[2]), kBadVector);
    float length;
    // A vector of zero length (or not finite) cannot be normalised; keeping
    // the slot's earlier content would silently index a stale vector.
    if (!Normalize(s, pattern.vectors[v], length) || !std::isfinite(length))
      ReportFatalError(kZeroLengthVector, ": vector " + std::to_string(v + 1) + " of pattern " +
                                              std::to_string(pattern_number) + " in " + file_name);
  }
  pattern.vectorCount = n;
  return PatternStatus::read;
}

}  // namespace talvor
