// Talvor2 in Python: a crystal (basis, families, symmetry) and patterns of measured vectors in, Bunge angles, used/all and fit out.
// SPDX-License-Identifier: BSD-3-Clause
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "orientation/pipeline/solve_in_memory.hpp"
#include "orientation/catalogue/catalogue.hpp"
#include "common/file_error.hpp"
#include "common/free_form_reader.hpp"
#include "common/physical_constants.hpp"
#include "orientation/errors/report_fatal_error.hpp"
#include "orientation/geometry/rotation.hpp"
#include "orientation/input/input_file.hpp"
#include "orientation/input/orientation_problem.hpp"
#include "python/bindings.hpp"
#include "orientation/report/results_file.hpp"
#include "common/angles.hpp"

namespace py = pybind11;

namespace tem_python {

namespace {

using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;
using IntArray = py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>;

// The crystal and the strategy, with the catalogue Talvor2 derives from them once per run.
struct OrientationSetup {
  talvor::OrientationProblem problem;
  std::unique_ptr<talvor::Catalogue> catalogue = std::make_unique<talvor::Catalogue>();
  float p1_degrees = 2.0f, p2_degrees = 3.5f;  // as given (the problem holds radians)

  void build() {
    py::gil_scoped_release unlocked;
    talvor::BuildCatalogue(problem, *catalogue);
  }
};

// The names the arrays go by in Talvor2's messages. They are no files: a stop
// that names one reaches Python with the message alone, without a filename.
constexpr const char* kArguments = "the arguments";
constexpr const char* kPatterns = "the patterns";

template <class F>
auto naming_no_file(F&& f) {
  try {
    return f();
  } catch (const talvor::FatalStop& stop) {
    const std::string& file = stop.where().file;
    if (file == kArguments || file == kPatterns) throw common::InputError(stop.what());
    throw;
  }
}

std::shared_ptr<OrientationSetup> setup_of(std::optional<FloatArray> basis,
                                           std::optional<IntArray> families,
                                           std::optional<FloatArray> symmetry, int strategy,
                                           float p1_degrees, float p2_degrees) {
  const std::string source = kArguments;
  auto s = std::make_shared<OrientationSetup>();
  talvor::OrientationProblem& p = s->problem;
  talvor::SetDefaults(p);
  p.sourceFile = source;
  if (basis) {
    if (basis->ndim() != 2 || basis->shape(0) != 3 || basis->shape(1) != 3)
      throw py::value_error(
          "basis must be 3 x 3, row r the Cartesian components of basis vector r");
    auto b = basis->unchecked<2>();
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) p.basis(r + 1, c + 1) = b(r, c);
  }
  if (families) {
    if (families->ndim() != 2 || families->shape(1) != 3)
      throw py::value_error("families must be an (m, 3) array of Miller indices h k l");
    p.familyCount = static_cast<int>(families->shape(0));
    if (p.familyCount > talvor::kMaxFamilies)
      p.familyCount = talvor::kMaxFamilies + 1;  // refused below
    auto f = families->unchecked<2>();
    for (int k = 0; k < std::min(p.familyCount, talvor::kMaxFamilies); ++k)
      p.families[k] = {f(k, 0), f(k, 1), f(k, 2)};
  }
  if (symmetry) {
    const bool matrices =
        symmetry->ndim() == 3 && symmetry->shape(1) == 3 && symmetry->shape(2) == 3;
    const bool axis_angle = symmetry->ndim() == 2 && symmetry->shape(1) == 4;
    if (!matrices && !axis_angle)
      throw py::value_error(
          "symmetry must be (n, 3, 3) matrices acting on crystal-frame vectors, or (n, 4): "
          "axis x y z and angle in degrees as in a .tv2 file");
    const int n = static_cast<int>(symmetry->shape(0));
    p.symmetryCount = n;
    const float* v = symmetry->data();
    for (int o = 0; o < std::min(n, talvor::kMaxSymmetryOps); ++o) {
      if (matrices) {
        for (int r = 0; r < 3; ++r)
          for (int c = 0; c < 3; ++c) p.symmetry[o](r + 1, c + 1) = v[9 * o + 3 * r + c];
      } else {
        talvor::Vec3 axis{v[4 * o], v[4 * o + 1], v[4 * o + 2]};
        float w = common::radians(v[4 * o + 3]);  // as the .tv2 reader converts degrees
        p.symmetry[o] = talvor::RotationFromAxisAngle(w, axis);
      }
    }
  }
  if (!talvor::StrategyFromNumber(strategy, p.strategy))
    talvor::ReportFatalError(
        talvor::kStrategyOutOfRange, {},
        talvor::InputPlace{{source, 0}, 0, "found " + std::to_string(strategy)});
  talvor::CheckProblem(p, p1_degrees, p2_degrees, source);
  s->p1_degrees = p1_degrees;
  s->p2_degrees = p2_degrees;
  s->build();
  return s;
}

// Patterns as a list of (n, 3) arrays or one (P, n, 3) array.
std::vector<talvor::ScatteringPattern> patterns_of(const py::object& patterns) {
  std::vector<FloatArray> list;
  if (py::isinstance<py::array>(patterns) && py::array(patterns).ndim() == 3) {
    FloatArray all = FloatArray::ensure(patterns);
    for (py::ssize_t k = 0; k < all.shape(0); ++k)
      list.push_back(FloatArray::ensure(patterns[py::int_(k)]));
  } else {
    for (const py::handle item : patterns) {
      FloatArray a = FloatArray::ensure(item);
      if (!a) throw py::value_error("each pattern must be an (n, 3) array of measured vectors");
      list.push_back(a);
    }
  }
  std::vector<talvor::ScatteringPattern> out(list.size());
  for (std::size_t k = 0; k < list.size(); ++k) {
    const FloatArray& a = list[k];
    if (a.ndim() != 2 || a.shape(1) != 3)
      throw py::value_error("pattern " + std::to_string(k + 1) +
                            " must be an (n, 3) array of measured vectors");
    talvor::SetPatternVectors(out[k], a.data(), static_cast<int>(a.shape(0)),
                              static_cast<int>(k + 1), kPatterns);
  }
  return out;
}

std::shared_ptr<OrientationSetup> make_setup(std::optional<FloatArray> basis,
                                             std::optional<IntArray> families,
                                             std::optional<FloatArray> symmetry, int strategy,
                                             float p1_degrees, float p2_degrees) {
  return naming_no_file([&] {
    return setup_of(std::move(basis), std::move(families), std::move(symmetry), strategy,
                    p1_degrees, p2_degrees);
  });
}

py::dict index(const OrientationSetup& s, const py::object& patterns, std::optional<int> threads) {
  const std::vector<talvor::ScatteringPattern> p =
      naming_no_file([&] { return patterns_of(patterns); });
  std::vector<talvor::SolutionStore> stores;
  const int t = threads ? std::max(1, *threads)
                        : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  {
    py::gil_scoped_release unlocked;
    talvor::SolvePatterns(s.problem, *s.catalogue, p, stores, t);
  }
  const py::ssize_t n = static_cast<py::ssize_t>(p.size());
  py::array_t<float> euler({n, py::ssize_t(3)});
  py::array_t<std::int32_t> used(n), all(n);
  py::array_t<float> fit(n);
  py::array_t<bool> solved(n);
  auto e = euler.mutable_unchecked<2>();
  for (py::ssize_t k = 0; k < n; ++k) {
    const talvor::SolutionValues v =
        talvor::SolutionValuesOf(p[std::size_t(k)], stores[std::size_t(k)], s.problem);
    e(k, 0) = v.phi1;
    e(k, 1) = v.Phi;
    e(k, 2) = v.phi2;
    used.mutable_at(k) = v.used;
    all.mutable_at(k) = v.all;
    fit.mutable_at(k) = v.fit;
    solved.mutable_at(k) = v.solved;
  }
  py::dict d;
  d["euler_degrees"] = euler;
  d["used"] = used;
  d["all"] = all;
  d["fit_degrees"] = fit;
  d["solved"] = solved;
  return d;
}

// Discards what the .tv2 reader echoes.
struct NullBuffer : std::streambuf {
  int overflow(int c) override { return c; }
};

}  // namespace

void bind_orientation(py::module_& m) {
  py::class_<OrientationSetup, std::shared_ptr<OrientationSetup>>(
      m, "OrientationSetup",
      "A crystal (basis, families of reflecting planes, symmetry operations) and an indexing "
      "strategy, with "
      "the tables Talvor2 derives from them.")
      .def(py::init(&make_setup), py::kw_only(), py::arg("basis") = py::none(),
           py::arg("families") = py::none(), py::arg("symmetry") = py::none(),
           py::arg("strategy") = 3, py::arg("p1_degrees") = 2.0f, py::arg("p2_degrees") = 3.5f,
           "basis: 3 x 3, row r the Cartesian components of basis vector r (any length unit; "
           "default unit "
           "cube); families: (m, 3) Miller indices (default 111 002 022 113); symmetry: (n, 3, 3) "
           "matrices "
           "acting on crystal-frame vectors or (n, 4) axis and angle in degrees (default the 24 "
           "rotations of "
           "the cube); strategy 1 angle voting, 2 exhaustive, 3 orientation voting, 4 triplet "
           "voting; p1, p2 "
           "tolerances in degrees (0.1..10). Raises tem.InputError with Talvor2's messages.")
      .def("index", &index, py::arg("patterns"), py::kw_only(), py::arg("threads") = py::none(),
           "Indexes patterns (a list of (n, 3) arrays of measured scattering vectors in the sample "
           "frame, "
           "3 <= n <= 32, or a (P, n, 3) array). Returns a dict of arrays: euler_degrees (P, 3) "
           "Bunge angles "
           "of g (sample -> crystal) reduced by the symmetry, used and all (vectors), fit_degrees "
           "(mean "
           "angular deviation), solved; an unsolved pattern has angles -1 and fit 999.999, as in "
           "Talvor2's "
           "results file.")
      .def_property_readonly(
          "strategy",
          [](const OrientationSetup& s) { return static_cast<int>(s.problem.strategy); })
      .def_property_readonly("p1_degrees", [](const OrientationSetup& s) { return s.p1_degrees; })
      .def_property_readonly("p2_degrees", [](const OrientationSetup& s) { return s.p2_degrees; })
      .def_property_readonly("basis",
                             [](const OrientationSetup& s) {
                               py::array_t<float> a({3, 3});
                               auto v = a.mutable_unchecked<2>();
                               for (int r = 0; r < 3; ++r)
                                 for (int c = 0; c < 3; ++c)
                                   v(r, c) = s.problem.basis(r + 1, c + 1);
                               return a;
                             })
      .def_property_readonly("families",
                             [](const OrientationSetup& s) {
                               py::array_t<std::int32_t> a({s.problem.familyCount, 3});
                               auto v = a.mutable_unchecked<2>();
                               for (int k = 0; k < s.problem.familyCount; ++k) {
                                 v(k, 0) = s.problem.families[k].h;
                                 v(k, 1) = s.problem.families[k].k;
                                 v(k, 2) = s.problem.families[k].l;
                               }
                               return a;
                             })
      .def_property_readonly(
          "symmetry",
          [](const OrientationSetup& s) {
            py::array_t<float> a({s.problem.symmetryCount, 3, 3});
            auto v = a.mutable_unchecked<3>();
            for (int o = 0; o < s.problem.symmetryCount; ++o)
              for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) v(o, r, c) = s.problem.symmetry[o](r + 1, c + 1);
            return a;
          },
          "(n, 3, 3) matrices acting on crystal-frame vectors");

  m.def(
      "index_patterns",
      [](const py::object& patterns, std::optional<FloatArray> basis,
         std::optional<IntArray> families, std::optional<FloatArray> symmetry, int strategy,
         float p1, float p2, std::optional<int> threads) {
        auto s = make_setup(std::move(basis), std::move(families), std::move(symmetry), strategy,
                            p1, p2);
        return index(*s, patterns, threads);
      },
      py::arg("patterns"), py::kw_only(), py::arg("basis") = py::none(),
      py::arg("families") = py::none(), py::arg("symmetry") = py::none(), py::arg("strategy") = 3,
      py::arg("p1_degrees") = 2.0f, py::arg("p2_degrees") = 3.5f, py::arg("threads") = py::none(),
      "OrientationSetup(basis=..., families=..., symmetry=..., strategy=..., p1_degrees=..., "
      "p2_degrees=...).index(patterns, threads=...) in one call.");

  m.def(
      "read_tv2",
      [](const std::string& path) {
        auto s = std::make_shared<OrientationSetup>();
        std::vector<talvor::ScatteringPattern> patterns;
        std::vector<std::string> titles;
        {
          std::ifstream f(path);
          if (!f)
            throw common::FileError("Cannot open " + path + ".", path,
                                    std::filesystem::exists(path)
                                        ? common::FileError::Kind::other
                                        : common::FileError::Kind::not_found);
          common::FreeFormReader reader(f);
          NullBuffer null_buffer;
          std::ostream echo(&null_buffer);
          talvor::SetDefaults(s->problem);
          talvor::ReadHeader(reader, path, s->problem, echo);
          talvor::ScatteringPattern p;
          std::string title;
          for (std::int32_t i = 1; i <= s->problem.patternCount; ++i) {
            if (talvor::ReadPattern(reader, i, path, p, title) != talvor::PatternStatus::read)
              break;
            patterns.push_back(p);
            titles.push_back(title);
            if (i == talvor::kAllPatterns) break;
          }
        }
        s->p1_degrees = common::degrees(s->problem.p1);
        s->p2_degrees = common::degrees(s->problem.p2);
        s->build();
        py::list vectors;
        for (const auto& p : patterns) {
          py::array_t<float> a({p.vectorCount, 3});
          auto v = a.mutable_unchecked<2>();
          for (int k = 0; k < p.vectorCount; ++k)
            for (int c = 0; c < 3; ++c) v(k, c) = p.vectors[std::size_t(k)][std::size_t(c)];
          vectors.append(a);
        }
        return py::make_tuple(s, vectors, titles);
      },
      py::arg("path"),
      "Reads a Talvor2 input file: (OrientationSetup, list of (n, 3) unit vectors, list of "
      "titles). The "
      "setup is the file's crystal and strategy exactly as Talvor2 reads them. Raises "
      "tem.InputError with "
      "Talvor2's messages.");
}

}  // namespace tem_python
