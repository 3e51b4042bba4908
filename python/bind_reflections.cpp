// hklconv in Python: a Miller-index list reduced to its symmetry-distinct families of reflecting planes.
// SPDX-License-Identifier: BSD-3-Clause
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <array>
#include <vector>

#include "common/input_error.hpp"
#include "reflections/reflection_list.hpp"
#include "python/bindings.hpp"

namespace py = pybind11;

namespace tem_python {

void bind_reflections(py::module_& m) {
  using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;
  using IntArray = py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>;
  m.def(
      "reduce_reflections",
      [](const IntArray& hkl, const FloatArray& basis, const FloatArray& symmetry) {
        if (hkl.ndim() != 2 || hkl.shape(1) != 3)
          throw py::value_error("hkl must be an (m, 3) array of Miller indices");
        if (basis.ndim() != 2 || basis.shape(0) != 3 || basis.shape(1) != 3)
          throw py::value_error(
              "basis must be 3 x 3, row r the Cartesian components of basis vector r");
        if (symmetry.ndim() != 3 || symmetry.shape(1) != 3 || symmetry.shape(2) != 3)
          throw py::value_error("symmetry must be (n, 3, 3) matrices acting on plane normals");
        const int n = static_cast<int>(symmetry.shape(0));
        if (n < 1 || n > hklconv::kMaxSymmetryOps)
          throw py::value_error("1 to 24 symmetry operations are possible");
        hklconv::CrystalBasis b;
        auto bv = basis.unchecked<2>();
        for (int r = 0; r < 3; ++r)
          for (int c = 0; c < 3; ++c) b.basis(r + 1, c + 1) = bv(r, c);
        hklconv::SymmetryOps sym;
        sym.count = n;
        auto sv = symmetry.unchecked<3>();
        for (int o = 0; o < n; ++o)
          for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) sym.op[std::size_t(o)](r + 1, c + 1) = sv(o, r, c);
        const int count = static_cast<int>(hkl.shape(0));
        std::vector<std::array<int, 3>> indices(static_cast<std::size_t>(count));
        auto hv = hkl.unchecked<2>();
        for (int k = 0; k < count; ++k) indices[std::size_t(k)] = {hv(k, 0), hv(k, 1), hv(k, 2)};
        // The arrays are no files: the stop keeps its message and names no place.
        hklconv::ReflectionList list;
        try {
          hklconv::invert_basis(b);
          list = hklconv::reduce_reflections(b, sym, indices.data(), count, "hkl");
        } catch (const hklconv::Stop& stop) {
          throw common::InputError(stop.what());
        }
        py::array_t<std::int32_t> out({list.count, 3});
        auto o = out.mutable_unchecked<2>();
        for (int k = 0; k < list.count; ++k) {
          o(k, 0) = list.entry[std::size_t(k)].h;
          o(k, 1) = list.entry[std::size_t(k)].k;
          o(k, 2) = list.entry[std::size_t(k)].l;
        }
        return out;
      },
      py::arg("hkl"), py::kw_only(), py::arg("basis"), py::arg("symmetry"),
      "Reduces a Miller-index list to its symmetry-distinct families as hklconv does: the first "
      "index line "
      "of each family stands for it (parallel orders and opposites are one family). basis: 3 x 3, "
      "row r "
      "basis vector r; symmetry: (n, 3, 3) matrices acting on plane normals in the basis's "
      "Cartesian frame. "
      "At most 150 families are kept, as in reflects.kik. Raises tem.InputError with hklconv's "
      "messages.");
}

}  // namespace tem_python
