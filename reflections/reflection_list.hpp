// Reduction of a Miller-index list to symmetry-distinct families of reflecting planes.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <array>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <utility>

#include "common/input_error.hpp"

#include "common/mat3.hpp"

namespace hklconv {

constexpr int kMaxSymmetryOps = 24;   // capacity of the symmetry table
constexpr int kMaxReflections = 150;  // capacity of the reflection list

struct SymmetryOps {
  int count = 0;                                 // nsym
  std::array<common::Mat3, kMaxSymmetryOps> op;  // act on plane normals from the left
};

struct CrystalBasis {
  common::Mat3 basis;    // row i: Cartesian components of basis vector i
  common::Mat3 inverse;  // column j: reciprocal vector b_j (no factor 2 pi)
  float volume = 0;      // |det| of the basis
};

struct Reflection {
  int h = 0, k = 0, l = 0;
  std::array<float, 3> normal{};  // unit plane normal
};

struct ReflectionList {
  int count = 0;
  std::array<Reflection, kMaxReflections> entry;
};

// Indices the I4 fields of reflects.kik can hold; others are refused on input.
constexpr int kMinIndex = -999;
constexpr int kMaxIndex = 9999;

// Distance limit between unit plane normals (dimensionless) within which
// two reflections are one family: about 0.57 degrees, whatever the cell.
constexpr float kSameNormal = 0.01f;

// Exit status: 0 when reflects.kik was written, 1 after any stop.
constexpr int kExitSuccess = 0;
constexpr int kExitError = 1;

// Ends the run: what() is what the console must show (lines, each ending
// with '\n'); pause() whether to wait for Enter after it; where() the file
// (and line, when known) it is about.
class Stop : public common::InputError {
public:
  Stop(const std::string& message, bool pause, common::FilePosition where = {})
      : common::InputError(message, std::move(where)), pause_(pause) {}
  bool pause() const noexcept { return pause_; }

private:
  bool pause_;
};

// INVMAT: inverse and |det| of the basis; stops if the basis is singular.
void invert_basis(CrystalBasis& basis);

// Zero-length threshold of a plane normal h b1 + k b2 + l b3, a reciprocal
// length: one per cent of the reciprocal cell edge, 1 / (100 V^(1/3)).
// (Comparing the reciprocal length with a direct-space length would stop
// every cell with an edge above 10 units on its lowest-index planes.)
float reciprocal_length_tolerance(float volume);

// NCRYST: unit normal of the planes (h k l); stops if its reciprocal length
// is below `tol_r`.
std::array<float, 3> plane_normal(const CrystalBasis& basis, int h, int k, int l, float tol_r);

// Appends (h k l) unless a symmetry image of its normal v, or its opposite,
// lies within tol (kSameNormal in the program) of a stored normal. Returns
// true if it was appended.
bool add_if_distinct(ReflectionList& list, const SymmetryOps& sym, const std::array<float, 3>& v,
                     int h, int k, int l, float tol);

// The program's reduction on a list already in memory: the first line
// stands for its family, each further line is added when add_if_distinct
// finds it distinct, and the list stops growing at kMaxReflections families
// as in reflects.kik. Stops (Stop, naming `source` and the 1-based entry
// as its line) on an index outside kMinIndex..kMaxIndex or a (0 0 0) entry.
// `basis` must have been inverted (invert_basis).
ReflectionList reduce_reflections(const CrystalBasis& basis, const SymmetryOps& sym,
                                  const std::array<int, 3>* hkl, int count,
                                  const std::string& source);

// The whole program on the files of `dir`; console text goes to `out`, the
// pause reads from `in`. Returns the process exit status.
int run(const std::filesystem::path& dir, std::istream& in, std::ostream& out);

}  // namespace hklconv
