// Reduction of a Miller-index list to symmetry-distinct families of reflecting planes.
#pragma once
#include <array>
#include <filesystem>
#include <iosfwd>
#include <string>

#include "common/mat3.hpp"

namespace hklconv {

constexpr int kMaxSymmetryOps = 24;   // capacity of the symmetry table
constexpr int kMaxReflections = 150;  // capacity of the reflection list

struct SymmetryOps {
  int count = 0;                                  // nsym
  std::array<common::Mat3, kMaxSymmetryOps> op;   // act on plane normals from the left
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

// Ends the run: carries what the console must show and whether to pause.
struct Stop {
  std::string message;  // lines, each ending with '\n'
  bool pause;
};

// INVMAT: inverse and |det| of the basis; stops if the basis is singular.
void invert_basis(CrystalBasis& basis);

// Distance limit of the family comparison between unit normals: V^(1/3)/100.
float length_tolerance(float volume);

// Zero-length threshold of a plane normal h b1 + k b2 + l b3, a reciprocal
// length: one per cent of the reciprocal cell edge, 1 / (100 V^(1/3)).
// (Comparing the reciprocal length with a direct-space length would stop
// every cell with an edge above 10 units on its lowest-index planes.)
float reciprocal_length_tolerance(float volume);

// NCRYST: unit normal of the planes (h k l); stops if its reciprocal length
// is below `tol_r`.
std::array<float, 3> plane_normal(const CrystalBasis& basis, int h, int k, int l, float tol_r);

// Appends (h k l) unless a symmetry image of its normal v, or its opposite,
// lies within tol of a stored normal. Returns true if it was appended.
bool add_if_distinct(ReflectionList& list, const SymmetryOps& sym, const std::array<float, 3>& v,
                     int h, int k, int l, float tol);

// The whole program on the files of `dir`; console text goes to `out`, the
// pause reads from `in`. Returns the process exit status (0 in every case).
int run(const std::filesystem::path& dir, std::istream& in, std::ostream& out);

}  // namespace hklconv
