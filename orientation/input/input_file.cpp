// Reading the .tv2 input file: defaults, header keyword blocks, patterns.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/input/input_file.hpp"

#include <cmath>
#include <ostream>
#include <sstream>
#include <string>

#include "common/fixed_format.hpp"
#include "orientation/errors/report_fatal_error.hpp"
#include "orientation/geometry/crystal_geometry.hpp"
#include "orientation/geometry/rotation.hpp"
#include "common/angles.hpp"

namespace talvor {

namespace {

constexpr int kMaxKeywordLength = 128;
constexpr int kEchoWidth = 57;  // echo lines end in this column
constexpr float kMinParameterDeg = 0.1f;
constexpr float kMaxParameterDeg = 10.0f;

// "<label>" padded with blanks so that "read" ends in column 57.
std::string ReadEcho(const std::string& label) {
  std::string line = label;
  line.resize(kEchoWidth - 4, ' ');
  return line + "read";
}

// The place of a read that failed: its line, and what was found there.
InputPlace FailedRead(const common::ReadResult& r, const std::string& file, int pattern = 0) {
  InputPlace place{{file, r.line}, pattern, "end of file"};
  if (r.status == common::ReadStatus::bad_value)
    place.what = "\"" + r.item + "\" is not " + r.expected;
  return place;
}

void Check(const common::ReadResult& r, int code, const std::string& file, int pattern = 0) {
  if (!r) ReportFatalError(code, {}, FailedRead(r, file, pattern));
}

// The place of a value that was read but is out of range.
template <typename T>
InputPlace Found(const common::ReadResult& r, const std::string& file, T value, int pattern = 0) {
  std::ostringstream text;
  text << "found " << value;
  return InputPlace{{file, r.line}, pattern, text.str()};
}

}  // namespace

void CubicRotations(Mat3 (&rotations)[kMaxSymmetryOps]) {
  const float q = kPi / 2.0f;         // 90 degrees
  const float t = 2.0f * kPi / 3.0f;  // 120 degrees
  const float h = kPi;                // 180 degrees
  struct AxisAngle {
    float x, y, z, w;
  };
  const AxisAngle table[kMaxSymmetryOps] = {
      {0, 0, 1, 0},    {0, 0, 1, q},  {1, 1, 1, t},   {0, 0, -1, h}, {-1, 0, -1, h}, {0, -1, -1, h},
      {-1, -1, -1, t}, {0, 0, -1, q}, {-1, 1, -1, t}, {-1, 0, 0, q}, {1, -1, -1, t}, {0, -1, 0, q},
      {0, 1, 0, q},    {-1, 1, 1, t}, {-1, -1, 1, t}, {1, 0, 0, q},  {1, 1, -1, t},  {1, -1, 1, t},
      {1, 0, -1, h},   {0, -1, 1, h}, {-1, -1, 0, h}, {0, -1, 0, h}, {-1, 0, 0, h},  {-1, 1, 0, h}};
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
  p.strategy = IndexingStrategy::orientationVoting;
  p.p1 = common::radians(2.0f);
  p.p2 = common::radians(3.5f);
  p.cosP2 = std::cos(p.p2);
  p.patternCount = kAllPatterns;
  p.printFlag = 0;
  p.sourceFile.clear();
  p.basisLine = 0;
  p.familyLine.fill(0);
}

void ReadHeader(common::FreeFormReader& reader, const std::string& file_name, OrientationProblem& p,
                std::ostream& out) {
  for (int i = 0; i < 16; ++i) out << '\n';
  p.sourceFile = file_name;
  InputPlace stop_place;  // why the header ended without _PatternData
  for (;;) {
    std::string word;
    if (const auto r = reader.read(word); !r) {
      stop_place = {{file_name, r.line}, 0, "the file ends before _PatternData"};
      break;
    }
    if (word.empty() || word[0] == '#') continue;  // comment or unrecognised line
    if (word[0] != '_') continue;                  // any other line is ignored
    reader.backspace();
    std::string keyword;
    const common::ReadResult kr = reader.read(keyword);
    if (!kr) {
      stop_place = FailedRead(kr, file_name);
      break;
    }
    if (keyword.size() > kMaxKeywordLength) keyword.resize(kMaxKeywordLength);
    const std::string& fn = file_name;

    if (keyword == "_PatternData") {
      return;
    } else if (keyword == "_LatticeBasis") {
      p.basisLine = kr.line;
      for (int r = 1; r <= 3; ++r) {
        float x, y, z;
        Check(reader.read(x, y, z), kBadLatticeBasis, fn);
        p.basis(r, 1) = x;
        p.basis(r, 2) = y;
        p.basis(r, 3) = z;
      }
      for (int r = 1; r <= 3; ++r)
        out << " Basis vector " << r << " : " << common::format_fixed(p.basis(r, 1), 13, 6)
            << common::format_fixed(p.basis(r, 2), 13, 6)
            << common::format_fixed(p.basis(r, 3), 13, 6) << '\n';
    } else if (keyword == "_NumberOfFamiliesOfReflectingPlanes") {
      std::int32_t n;
      const auto r = reader.read(n);
      Check(r, kBadFamilyCount, fn);
      if (n > kMaxFamilies) n = kMaxFamilies;
      if (n < 1) ReportFatalError(kFamilyCountTooSmall, {}, Found(r, fn, n));
      p.familyCount = n;
      out << " Number of families of reflecting planes : " << std::string(8, ' ')
          << common::format_int(n, 6) << '\n';
    } else if (keyword == "_FamiliesOfReflectingPlanes") {
      for (int f = 0; f < p.familyCount; ++f) {
        MillerIndices m;
        const auto r = reader.read(m.h, m.k, m.l);
        Check(r, kBadFamilies, file_name);
        p.families[f] = m;
        p.familyLine[f] = r.line;
      }
      out << ReadEcho(" Families of reflecting planes") << '\n';
    } else if (keyword == "_NumberOfSymmetryOperations") {
      std::int32_t n;
      const auto r = reader.read(n);
      Check(r, kBadSymmetryCount, fn);
      if (n < 1 || n > kMaxSymmetryOps)
        ReportFatalError(kSymmetryCountOutOfRange, {}, Found(r, fn, n));
      p.symmetryCount = n;
      out << " Number of symmetry operations : " << std::string(18, ' ') << common::format_int(n, 6)
          << '\n';
    } else if (keyword == "_SymmetryOperations") {
      for (int o = 0; o < p.symmetryCount; ++o) {
        Vec3 axis;
        float deg;
        Check(reader.read(axis[0], axis[1], axis[2], deg), kBadSymmetryOperations, fn);
        float w = common::radians(deg);
        p.symmetry[o] = RotationFromAxisAngle(w, axis);
      }
      out << ReadEcho(" Symmetry operations") << '\n';
    } else if (keyword == "_IndexingStrategy") {
      std::int32_t s;
      const auto r = reader.read(s);
      Check(r, kBadStrategy, fn);
      if (!StrategyFromNumber(s, p.strategy))
        ReportFatalError(kStrategyOutOfRange, {}, Found(r, fn, s));
      out << " Indexing strategy : " << std::string(30, ' ') << common::format_int(s, 6) << '\n';
    } else if (keyword == "_ParametersOfStrategy") {
      float p1, p2;
      const auto r = reader.read(p1, p2);
      Check(r, kBadParameters, fn);
      // NaN fails both comparisons the other way round, so test for "inside".
      if (!(p1 >= kMinParameterDeg && p1 <= kMaxParameterDeg))
        ReportFatalError(kP1OutOfRange, {}, Found(r, fn, p1));
      if (!(p2 >= kMinParameterDeg && p2 <= kMaxParameterDeg))
        ReportFatalError(kP2OutOfRange, {}, Found(r, fn, p2));
      p.p1 = common::radians(p1);
      p.p2 = common::radians(p2);
      p.cosP2 = std::cos(p.p2);
      out << " Parameters p_1 & p_2 of strategy : " << ' '
          << common::format_fixed(common::degrees(p.p1), 10, 4)
          << common::format_fixed(common::degrees(p.p2), 10, 4) << '\n';
    } else if (keyword == "_NumberOfPatterns") {
      std::int32_t n;
      const auto r = reader.read(n);
      Check(r, kBadPatternCount, fn);
      if (n < 1) ReportFatalError(kPatternCountTooSmall, {}, Found(r, fn, n));
      p.patternCount = n;
      out << " Number of patterns : " << std::string(29, ' ') << common::format_int(n, 6) << '\n';
    } else if (keyword == "_PrintComputationTime") {
      std::int32_t flag;
      Check(reader.read(flag), kBadPrintFlag, fn);
      p.printFlag = flag;
      out << " Print computation time : " << std::string(25, ' ') << common::format_int(flag, 6)
          << '\n';
    } else {
      stop_place = {{file_name, kr.line}, 0, "\"" + keyword + "\" is not a keyword"};
      break;
    }
  }
  StopWithLine("Error reading " + file_name + ".", stop_place);
}

namespace {

// Title line skipped (title null) or kept, then the count and the vectors.
PatternStatus ReadPatternAfterTitle(common::FreeFormReader& reader, int pattern_number,
                                    const std::string& file_name, ScatteringPattern& pattern,
                                    std::string* title) {
  if (title != nullptr) {
    if (!reader.read_line(*title)) return PatternStatus::no_more;
  } else if (!reader.skip_lines(1)) {
    return PatternStatus::no_more;
  }
  std::int32_t n;
  const common::ReadResult count = reader.read(n);
  if (!count) return PatternStatus::no_more;
  const std::string& fn = file_name;
  if (n < kMinVectors) ReportFatalError(kTooFewVectors, {}, Found(count, fn, n, pattern_number));
  if (n > kMaxVectors) ReportFatalError(kTooManyVectors, {}, Found(count, fn, n, pattern_number));
  for (int v = 0; v < n; ++v) {
    Vec3 s;
    const common::ReadResult r = reader.read(s[0], s[1], s[2]);
    Check(r, kBadVector, fn, pattern_number);
    float length;
    // A vector of zero length (or not finite) cannot be normalised; keeping
    // the slot's earlier content would silently index a stale vector.
    if (!Normalize(s, pattern.vectors[v], length) || !std::isfinite(length))
      ReportFatalError(kZeroLengthVector,
                       ": vector " + std::to_string(v + 1) + " of pattern " +
                           std::to_string(pattern_number) + " in " + file_name,
                       InputPlace{{fn, r.line}, pattern_number, {}});
  }
  pattern.vectorCount = n;
  return PatternStatus::read;
}

}  // namespace

PatternStatus ReadPattern(common::FreeFormReader& reader, int pattern_number,
                          const std::string& file_name, ScatteringPattern& pattern) {
  return ReadPatternAfterTitle(reader, pattern_number, file_name, pattern, nullptr);
}

PatternStatus ReadPattern(common::FreeFormReader& reader, int pattern_number,
                          const std::string& file_name, ScatteringPattern& pattern,
                          std::string& title) {
  return ReadPatternAfterTitle(reader, pattern_number, file_name, pattern, &title);
}

}  // namespace talvor
