// Reading list.hkl, symmetry.prp and basis.kik, merging equivalent plane
// normals, and writing reflects.kik.
// SPDX-License-Identifier: BSD-3-Clause
#include "reflections/reflection_list.hpp"

#include <cmath>
#include <fstream>
#include <limits>
#include <ostream>

#include "common/console_pause.hpp"
#include "common/fixed_format.hpp"
#include "common/free_form_reader.hpp"

namespace hklconv {

namespace {

// Verb texts (18 characters) and file texts (13 characters) of the file messages.
constexpr const char* kOpen = "      Cannot open ";
constexpr const char* kRead = "      Cannot read ";
constexpr const char* kWrite = "  Cannot WRITE on ";
constexpr const char* kClose = "     Cannot close ";
constexpr const char* kSymmetryFile = "SYMMETRY.PRP.";
constexpr const char* kReflectsFile = "REFLECTS.KIK.";
constexpr const char* kBasisFile = "BASIS.KIK.   ";
constexpr const char* kListFile = "LIST.HKL.    ";

// The name of the file a file text stands for, as the messages' detail lines give it.
std::string file_name(const char* file) {
  if (file == kSymmetryFile) return "symmetry.prp";
  if (file == kReflectsFile) return "reflects.kik";
  if (file == kBasisFile) return "basis.kik";
  return "list.hkl";
}

// The verb and file line; then, when given, a line " <file>, line <n>: <detail>"
// (" <detail>" when the line is not known).
[[noreturn]] void file_error(const char* verb, const char* file, const std::string& detail = "",
                             int line = 0) {
  const common::FilePosition where{file_name(file), line};
  std::string msg = std::string(" ") + verb + file + "\n";
  if (!detail.empty())
    msg += " " + (line > 0 ? common::format_position(where) + ": " : std::string()) + detail + "\n";
  throw Stop(msg + "\n", true, where);
}

void check(const common::ReadResult& r, const char* file) {
  if (!r) file_error(kRead, file);
}

// An index that the four columns of reflects.kik can hold.
void check_index_field(std::int32_t h, std::int32_t k, std::int32_t l, int line) {
  for (std::int32_t i : {h, k, l})
    if (i < kMinIndex || i > kMaxIndex)
      file_error(kRead, kListFile,
                 "index " + std::to_string(i) + " does not fit the four columns of reflects.kik (" +
                     std::to_string(kMinIndex) + " to " + std::to_string(kMaxIndex) + ").",
                 line);
}

void read_symmetry_file(const std::filesystem::path& path, SymmetryOps& sym) {
  std::ifstream f(path);
  if (!f) file_error(kOpen, kSymmetryFile);
  common::FreeFormReader r(f);
  check(r.skip_lines(2), kSymmetryFile);
  std::int32_t unused1, unused2, nsym;
  check(r.read(unused1, unused2, nsym), kSymmetryFile);
  if (nsym < 1 || nsym > kMaxSymmetryOps)
    file_error(kRead, kSymmetryFile,
               std::to_string(nsym) + " symmetry operations; between 1 and " +
                   std::to_string(kMaxSymmetryOps) + " are allowed.",
               r.lines_consumed());
  sym.count = nsym;
  for (int k = 0; k < nsym; ++k) {
    check(r.read(), kSymmetryFile);  // label
    for (int row = 1; row <= 3; ++row) {
      float x, y, z;
      check(r.read(x, y, z), kSymmetryFile);
      sym.op[k](row, 1) = x;
      sym.op[k](row, 2) = y;
      sym.op[k](row, 3) = z;
    }
  }
}

void read_basis_file(const std::filesystem::path& path, CrystalBasis& basis) {
  std::ifstream f(path);
  if (!f) file_error(kOpen, kBasisFile);
  common::FreeFormReader r(f);
  if (!r.rewind()) file_error(kRead, kBasisFile);
  check(r.skip_lines(2), kBasisFile);
  for (int i = 1; i <= 3; ++i) {
    if (!r.read())
      file_error(kRead, kBasisFile,
                 "basis.kik ends at line " + std::to_string(r.lines_consumed()) +
                     ", before the label line of basis vector " + std::to_string(i) + ".");
    float x, y, z;
    check(r.read(x, y, z), kBasisFile);
    basis.basis(i, 1) = x;
    basis.basis(i, 2) = y;
    basis.basis(i, 3) = z;
  }
  invert_basis(basis);
}

void write_reflection_list(const std::filesystem::path& path, const ReflectionList& list) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) file_error(kOpen, kReflectsFile);
  f << "       hkl-list for indexing converted from the list.hkl file.\n\n"
    << " " << common::format_int(list.count, 5) << "\n\n";
  for (int p = 0; p < list.count; ++p) {
    const Reflection& e = list.entry[p];
    f << "     " << common::format_int(e.h, 4) << common::format_int(e.k, 4)
      << common::format_int(e.l, 4) << "\n";
  }
  f.flush();
  if (!f) file_error(kWrite, kReflectsFile);
  f.close();
  if (f.fail()) file_error(kClose, kReflectsFile);
}

}  // namespace

void invert_basis(CrystalBasis& basis) {
  // |det| below the smallest positive float means det == 0: the only
  // singular basis this program refuses.
  float det;
  if (!common::invert(basis.basis, std::numeric_limits<float>::denorm_min(), basis.inverse, det))
    throw Stop(
        " Determinant in SUBROUTINE INVMAT = 0.\n Vectors of the crystal basis are coplanar.\n",
        false, {"basis.kik", 0});
  basis.volume = std::fabs(det);
}

float reciprocal_length_tolerance(float volume) {
  return 1.0f / (std::pow(volume, 0.33333334f) * 100.0f);
}

std::array<float, 3> plane_normal(const CrystalBasis& basis, int h, int k, int l, float tol_r) {
  const float fh = static_cast<float>(h), fk = static_cast<float>(k), fl = static_cast<float>(l);
  std::array<float, 3> w;
  for (int i = 1; i <= 3; ++i)
    w[i - 1] = basis.inverse(i, 1) * fh + basis.inverse(i, 2) * fk + basis.inverse(i, 3) * fl;
  float len = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
  if (len < tol_r)
    throw Stop(
        " Norm of a vector equals 0 in SUBROUTINE NCRYST.\n"
        " One of the reflections must have Miller indices 0 0 0.\n",
        false, {"list.hkl", 0});
  return {w[0] / len, w[1] / len, w[2] / len};
}

bool add_if_distinct(ReflectionList& list, const SymmetryOps& sym, const std::array<float, 3>& v,
                     int h, int k, int l, float tol) {
  std::array<std::array<float, 3>, kMaxSymmetryOps> eq;
  for (int o = 0; o < sym.count; ++o)
    for (int r = 1; r <= 3; ++r)
      eq[o][r - 1] = sym.op[o](r, 1) * v[0] + sym.op[o](r, 2) * v[1] + sym.op[o](r, 3) * v[2];
  for (int p = 0; p < list.count; ++p) {
    const auto& n = list.entry[p].normal;
    for (int o = 0; o < sym.count; ++o) {
      const auto& e = eq[o];
      float dx = e[0] - n[0], dy = e[1] - n[1], dz = e[2] - n[2];
      float diff = std::sqrt(dx * dx + dy * dy + dz * dz);
      if (diff <= tol) return false;
      float sx = e[0] + n[0], sy = e[1] + n[1], sz = e[2] + n[2];
      float sum = std::sqrt(sx * sx + sy * sy + sz * sz);
      if (sum <= tol) return false;
    }
  }
  if (list.count >= kMaxReflections) return false;
  list.entry[list.count++] = Reflection{h, k, l, eq[0]};
  return true;
}

ReflectionList reduce_reflections(const CrystalBasis& basis, const SymmetryOps& sym,
                                  const std::array<int, 3>* hkl, int count,
                                  const std::string& source) {
  ReflectionList list;
  const float tol_r = reciprocal_length_tolerance(basis.volume);
  for (int line = 0; line < count && list.count < kMaxReflections; ++line) {
    const auto [h, k, l] = hkl[line];
    for (int index : hkl[line])
      if (index < kMinIndex || index > kMaxIndex)
        throw Stop(" Miller indices " + std::to_string(h) + " " + std::to_string(k) + " " +
                       std::to_string(l) +
                       " lie outside -999..9999 (the columns of reflects.kik).\n",
                   false, {source, line + 1});
    std::array<float, 3> v;
    try {
      v = plane_normal(basis, h, k, l, tol_r);
    } catch (const Stop& stop) {
      throw Stop(stop.what(), false, {source, line + 1});
    }
    if (list.count == 0)
      list.entry[list.count++] = Reflection{h, k, l, v};
    else
      add_if_distinct(list, sym, v, h, k, l, kSameNormal);
  }
  return list;
}

int run(const std::filesystem::path& dir, std::istream& in, std::ostream& out) {
  try {
    std::ifstream list_file(dir / "list.hkl");
    if (!list_file) file_error(kOpen, kListFile);
    common::FreeFormReader list_reader(list_file);
    std::int32_t n;
    check(list_reader.read(), kListFile);
    check(list_reader.read(n), kListFile);
    check(list_reader.read(), kListFile);

    SymmetryOps sym;
    read_symmetry_file(dir / "symmetry.prp", sym);
    CrystalBasis basis;
    read_basis_file(dir / "basis.kik", basis);
    const float tol_r = reciprocal_length_tolerance(basis.volume);

    ReflectionList list;
    std::int32_t h, k, l;
    check(list_reader.read(h, k, l), kListFile);
    check_index_field(h, k, l, list_reader.lines_consumed());
    list.entry[0] = Reflection{h, k, l, plane_normal(basis, h, k, l, tol_r)};
    list.count = 1;
    for (int line = 1; line < n && list.count < kMaxReflections; ++line) {
      check(list_reader.read(h, k, l), kListFile);
      check_index_field(h, k, l, list_reader.lines_consumed());
      add_if_distinct(list, sym, plane_normal(basis, h, k, l, tol_r), h, k, l, kSameNormal);
    }
    list_file.close();
    write_reflection_list(dir / "reflects.kik", list);
  } catch (const Stop& stop) {
    common::print_error(out, stop);
    if (stop.pause()) common::console_pause(in, out);
    return kExitError;
  }
  return kExitSuccess;
}

}  // namespace hklconv
