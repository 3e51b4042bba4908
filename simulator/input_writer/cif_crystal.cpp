// CIF -> CrystalStructure with gemmi: the cell, the space-group operations and
// the expansion of the listed sites to the whole unit cell.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/input_writer/cif_crystal.hpp"

#include <gemmi/cif.hpp>
#include <gemmi/smcif.hpp>
#include <gemmi/symmetry.hpp>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "common/file_error.hpp"
#include "simulator/input_writer/microscope_geometry.hpp"
#include "common/vec3.hpp"

namespace velmorant::crystal_file {

namespace {

using Fract = std::array<double, 3>;

// Into [0, 1), with values a rounding error below 1 taken as 0.
double into_cell(double v) {
  double w = v - std::floor(v);
  if (w > 1.0 - 1e-9 || w < 1e-12) w = 0.0;
  return w;
}

Fract image_of(const gemmi::Op& op, const Fract& x) {
  Fract r{};
  for (int i = 0; i < 3; ++i) {
    double v = op.tran[i];
    for (int j = 0; j < 3; ++j) v += op.rot[i][j] * x[j];
    r[i] = into_cell(v / gemmi::Op::DEN);
  }
  return r;
}

// Distance (Å) between two fractional positions, nearest periodic image.
double periodic_distance(const CellRows& cell, const Fract& p, const Fract& q) {
  Vec3d d{};
  for (int i = 0; i < 3; ++i) {
    double f = p[i] - q[i];
    f -= std::round(f);
    d[i] = f;
  }
  const Vec3d v = cartesian_direction(cell, d);
  return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// U_eq = (1/3) Σ U_ij a*_i a*_j (a_i · a_j).
double equivalent_u(const CellRows& cell, const gemmi::SMat33<double>& u) {
  const Vec3d& a = cell[0];
  const Vec3d& b = cell[1];
  const Vec3d& c = cell[2];
  using common::cross;
  using common::dot;
  const Vec3d bc = cross(b, c), ca = cross(c, a), ab = cross(a, b);
  const double volume = dot(a, bc);
  const double rec[3] = {std::sqrt(dot(bc, bc)) / volume, std::sqrt(dot(ca, ca)) / volume,
                         std::sqrt(dot(ab, ab)) / volume};
  const double U[3][3] = {{u.u11, u.u12, u.u13}, {u.u12, u.u22, u.u23}, {u.u13, u.u23, u.u33}};
  double sum = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) sum += U[i][j] * rec[i] * rec[j] * dot(cell[i], cell[j]);
  return sum / 3.0;
}

bool has_aniso(const gemmi::SMat33<double>& u) {
  return u.u11 != 0 || u.u22 != 0 || u.u33 != 0 || u.u12 != 0 || u.u13 != 0 || u.u23 != 0;
}

// The operations of the block's space group, split into the point-group part
// and the centring translations.
gemmi::GroupOps space_group_operations(gemmi::cif::Block& block, const gemmi::SmallStructure& st,
                                       const std::string& path, const std::string& where,
                                       std::string& description) {
  for (const char* tag : {"_space_group_symop_operation_xyz", "_symmetry_equiv_pos_as_xyz"}) {
    gemmi::cif::Column column = block.find_values(tag);
    if (column.length() == 0) continue;
    std::vector<gemmi::Op> ops;
    for (const std::string& item : column) {
      const std::string triplet = gemmi::cif::as_string(item);
      try {
        ops.push_back(gemmi::parse_triplet(triplet));
      } catch (const std::exception& e) {
        throw CifError(where + ": the symmetry operation \"" + triplet + "\" cannot be read (" +
                           e.what() + ")",
                       {path});
      }
    }
    description = st.spacegroup_hm.empty() ? std::to_string(ops.size()) + " listed operations"
                                           : st.spacegroup_hm;
    return gemmi::split_centering_vectors(ops);
  }
  const gemmi::SpaceGroup* sg = nullptr;
  if (!st.spacegroup_hm.empty()) {
    std::string name = st.spacegroup_hm;
    if (name.find(':') == std::string::npos)
      if (const std::string* code = block.find_value("_space_group_IT_coordinate_system_code"))
        if (!gemmi::cif::is_null(*code)) name += ":" + gemmi::cif::as_string(*code);
    sg = gemmi::find_spacegroup_by_name(name, st.cell.alpha, st.cell.gamma);
    if (!sg)
      throw CifError(where + ": the space group \"" + name +
                         "\" is not known; list the symmetry "
                         "operations (_space_group_symop_operation_xyz) instead",
                     {path});
  } else {
    for (const char* tag : {"_space_group_IT_number", "_symmetry_Int_Tables_number"})
      if (const std::string* number = block.find_value(tag))
        if (!gemmi::cif::is_null(*number)) {
          sg = gemmi::find_spacegroup_by_number(gemmi::cif::as_int(*number));
          break;
        }
    if (!sg)
      throw CifError(where +
                         ": no space group: give _space_group_name_H-M_alt, the space-group "
                         "number or the symmetry operations",
                     {path});
  }
  description = sg->xhm();
  return sg->operations();
}

// The cell angle (0: alpha, 1: beta, 2: gamma) that the crystal system of
// the space group named `hm` fixes, in degrees; none for triclinic and
// monoclinic groups, rhombohedral axes, or a name gemmi does not know.
std::optional<double> angle_fixed_by_space_group(const std::string& hm, int angle) {
  const gemmi::SpaceGroup* sg = hm.empty() ? nullptr : gemmi::find_spacegroup_by_name(hm);
  if (!sg) return std::nullopt;
  switch (sg->crystal_system()) {
    case gemmi::CrystalSystem::Orthorhombic:
    case gemmi::CrystalSystem::Tetragonal:
    case gemmi::CrystalSystem::Cubic:
      return 90.0;
    case gemmi::CrystalSystem::Trigonal:
    case gemmi::CrystalSystem::Hexagonal:
      if (sg->ext == 'R') return std::nullopt;  // rhombohedral axes: alpha = beta = gamma, free
      return angle == 2 ? 120.0 : 90.0;
    default:
      return std::nullopt;
  }
}

}  // namespace

CrystalStructure read_cif_crystal(const std::string& path, const std::string& block_name) {
  {
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    const int error = errno;
    if (!f)
      throw common::FileError(
          path + ": cannot be opened: " + (error ? std::strerror(error) : "cannot open"), path,
          common::FileError::kind_of_errno(error));
    std::fclose(f);
  }
  gemmi::cif::Document doc;
  try {
    doc = gemmi::cif::read_file(path);
  } catch (const tao::pegtl::parse_error& e) {
    // The parser names the line: the message says it as the readers do.
    const int line = e.positions().empty() ? 0 : static_cast<int>(e.positions().front().line);
    const common::FilePosition at{path, line};
    throw CifError(
        common::format_position(at) + ": cannot be read as CIF: " + std::string(e.message()), at);
  } catch (const std::exception& e) {
    // gemmi's own checks start with "<path>:<line> ": the line goes where the readers put it.
    std::string text = e.what();
    int line = 0;
    const std::string prefix = path + ":";
    if (text.rfind(prefix, 0) == 0) {
      std::size_t end = prefix.size();
      while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
      if (end > prefix.size() && end < text.size() && text[end] == ' ') {
        line = std::stoi(text.substr(prefix.size(), end - prefix.size()));
        text.erase(0, end + 1);
      }
    }
    const common::FilePosition at{path, line};
    throw CifError(common::format_position(at) + ": cannot be read as CIF: " + text, at);
  }
  gemmi::cif::Block* block = nullptr;
  if (!block_name.empty()) {
    block = doc.find_block(block_name);
    if (!block) throw CifError(path + ": has no data block \"" + block_name + "\"", {path});
  } else {
    for (gemmi::cif::Block& b : doc.blocks)
      if (b.find_values("_atom_site_fract_x").length() > 0) {
        block = &b;
        break;
      }
    if (!block)
      throw CifError(path + ": no data block lists atom sites (_atom_site_fract_x)", {path});
  }
  const std::string where = path + ", block " + block->name;

  gemmi::SmallStructure st;
  try {
    st = gemmi::make_small_structure_from_block(*block);
  } catch (const std::exception& e) {
    throw CifError(where + ": " + e.what(), {path});
  }
  CrystalStructure crystal;
  crystal.name = block->name;
  crystal.source = path;
  crystal.a = st.cell.a;
  crystal.b = st.cell.b;
  crystal.c = st.cell.c;
  crystal.alpha = st.cell.alpha;
  crystal.beta = st.cell.beta;
  crystal.gamma = st.cell.gamma;
  CellRows cell{};
  for (const char* tag : {"_cell_length_a", "_cell_length_b", "_cell_length_c"}) {
    const std::string* value = block->find_value(tag);
    if (!value || gemmi::cif::is_null(*value))
      throw CifError(where + ": the cell is incomplete: " + tag + " is missing", {path});
  }
  // A missing angle is never taken as 90 degrees silently (gemmi would keep
  // a default cell); the message says what the space group implies, if anything.
  const char* const angle_tags[3] = {"_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma"};
  for (int k = 0; k < 3; ++k) {
    const std::string* value = block->find_value(angle_tags[k]);
    if (value && !gemmi::cif::is_null(*value)) continue;
    std::string hint = "; give it in degrees";
    if (const std::optional<double> fixed = angle_fixed_by_space_group(st.spacegroup_hm, k))
      hint = "; the space group " + st.spacegroup_hm + " fixes it at " +
             std::to_string(int(*fixed)) + " degrees: add the line \"" + angle_tags[k] + " " +
             std::to_string(int(*fixed)) + "\"";
    throw CifError(where + ": the cell is incomplete: " + angle_tags[k] + " is missing" + hint,
                   {path});
  }
  try {
    cell = cell_rows(crystal.a, crystal.b, crystal.c, crystal.alpha, crystal.beta, crystal.gamma);
  } catch (const SettingsError&) {
    throw CifError(where +
                       ": the cell (_cell_length_a, b, c, _cell_angle_alpha, beta, gamma) is "
                       "missing or does not describe a cell",
                   {path});
  }
  if (st.sites.empty()) throw CifError(where + ": lists no atom sites", {path});
  const gemmi::GroupOps ops = space_group_operations(*block, st, path, where, crystal.space_group);
  crystal.asymmetric_sites = static_cast<int>(st.sites.size());

  for (const gemmi::SmallStructure::Site& site : st.sites) {
    if (site.element == gemmi::El::X)
      throw CifError(where + ": the element of site \"" + site.label + "\" (type \"" +
                         site.type_symbol + "\") is not known",
                     {path});
    if (!(site.occ >= 0.0) || site.occ > 1.0 + 1e-6)
      throw CifError(where + ": the occupancy of site \"" + site.label + "\" is " +
                         std::to_string(site.occ) + "; expected 0..1",
                     {path});
    double u = has_aniso(site.aniso) ? equivalent_u(cell, site.aniso) : site.u_iso;
    if (!(u >= 0.0))
      throw CifError(where + ": the displacement of site \"" + site.label + "\" is negative",
                     {path});
    const int z = site.element.atomic_number();
    CrystalSpecies* species = nullptr;
    for (CrystalSpecies& s : crystal.species)
      if (s.atomic_number == z) species = &s;
    if (!species) {
      crystal.species.push_back({z, site.element.name(), {}});
      species = &crystal.species.back();
    }
    const Fract x{site.fract.x, site.fract.y, site.fract.z};
    const size_t first = species->sites.size();
    // Point-group part outermost, centring innermost: the images of a site
    // on a centred lattice come in centring order.
    for (const gemmi::Op& sym : ops.sym_ops)
      for (const gemmi::Op::Tran& centring : ops.cen_ops) {
        const Fract p = image_of(sym.translated(centring), x);
        bool known = false;
        for (size_t k = first; k < species->sites.size() && !known; ++k)
          known = periodic_distance(cell, p, species->sites[k].fract) < kCoincidenceDistance;
        if (!known) species->sites.push_back({p, site.occ, u});
      }
  }
  return crystal;
}

}  // namespace velmorant::crystal_file
