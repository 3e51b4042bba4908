// Velmorant in Python: the input (file or CIF), the simulation with its overrides, patterns as arrays, images and scores.
// SPDX-License-Identifier: BSD-3-Clause
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/electron_wavelength.hpp"
#include "common/file_error.hpp"
#include "common/fixed_format.hpp"
#include "common/input_error.hpp"
#include "simulator/beams/beam_list.hpp"
#include "simulator/engine/beam_stack.hpp"
#ifdef TEM_PYTHON_CIF
#include "simulator/input_writer/cif_input.hpp"
#endif
#include "simulator/engine/pattern_image.hpp"
#include "simulator/engine/simulation.hpp"
#include "simulator/compare/score.hpp"
#include "simulator/image/beam_files.hpp"
#include "simulator/image/correlate_with_experiment.hpp"
#include "simulator/image/experimental_image.hpp"
#include "simulator/image/image_path.hpp"
#include "simulator/image/write_pattern_image.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "python/bindings.hpp"
#include "python/interrupt_check.hpp"
#include "simulator/scattering/electron_form_factor.hpp"
#include "simulator/progress/run_control.hpp"

namespace py = pybind11;
using velmorant::PatternImage;

namespace tem_python {

namespace {

constexpr int kSize = PatternImage::kSize;
using FloatImage = py::array_t<float, py::array::c_style | py::array::forcecast>;

// Picture orientation (row 0 at the top, column 0 at the left, as the image
// files show it) from the engine's element order, and back: row r, column c
// is pixel (i, j) = (512 - r, 512 - c).
py::array_t<float> to_picture(const PatternImage& image) {
  py::array_t<float> a({kSize, kSize});
  auto v = a.mutable_unchecked<2>();
  for (int r = 0; r < kSize; ++r)
    for (int c = 0; c < kSize; ++c) v(r, c) = image(kSize - r, kSize - c);
  return a;
}

void check_shape(const FloatImage& a, const char* name) {
  if (a.ndim() != 2 || a.shape(0) != kSize || a.shape(1) != kSize)
    throw py::value_error(std::string(name) + " must be a 512 x 512 array");
}

void from_picture(const FloatImage& a, PatternImage& image, const char* name) {
  check_shape(a, name);
  auto v = a.unchecked<2>();
  for (int r = 0; r < kSize; ++r)
    for (int c = 0; c < kSize; ++c) image(kSize - r, kSize - c) = v(r, c);
}

// Grey levels of an experiment in element order, as read_experimental_image gives them.
std::vector<float> grey_from_picture(const FloatImage& a, const char* name) {
  PatternImage image;
  from_picture(a, image, name);
  return {image.data(), image.data() + PatternImage::kPixels};
}

int default_threads() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

// One input as the reader leaves it.
struct Input {
  std::unique_ptr<velmorant::SimulationInput> in = std::make_unique<velmorant::SimulationInput>();
  std::unique_ptr<velmorant::BeamList> beams = std::make_unique<velmorant::BeamList>();
  std::string source;  // the name in messages
  std::string text;    // the file text
  std::string folder;  // where relative image folders are taken from
};

std::shared_ptr<Input> read_input_text(const std::string& text, const std::string& source,
                                       const std::string& folder, bool long_search) {
  auto input = std::make_shared<Input>();
  input->source = source;
  input->text = text;
  input->folder = folder;
  velmorant::ReadOptions options;
  options.long_search_confirmed = long_search;
  // Ctrl-C ends a long reflection search as it ends a run.
  InterruptCheck check;
  options.poll = [&check] {
    if (check.peek_message()) throw RunCancelled{};
  };
  std::istringstream s(text);
  try {
    py::gil_scoped_release unlocked;
    velmorant::read_simulation_input(s, source, folder, *input->in, *input->beams, options);
  } catch (const RunCancelled&) {
    if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
    throw py::error_already_set();
  }
  return input;
}

std::shared_ptr<Input> read_input(const std::string& folder, bool long_search) {
  const std::string path = (std::filesystem::path(folder) / velmorant::kInputFileName).string();
  std::ifstream f(path, std::ios::binary);
  if (!f)
    throw common::FileError(
        path +
            ": cannot open the simulation input file; expected VelmorantDS.dat in the folder given",
        path,
        std::filesystem::exists(path) ? common::FileError::Kind::other
                                      : common::FileError::Kind::not_found);
  std::ostringstream text;
  text << f.rdbuf();
  return read_input_text(text.str(), path, folder, long_search);
}

// The beams of `in`: h k l, laboratory vectors and where each disc lies on
// the detector (BeamDisc), transmitted beam first.
py::dict beam_table(const velmorant::SimulationInput& in, const velmorant::BeamList& beams) {
  velmorant::BeamStack described;  // its pages stay empty: only the discs are described
  velmorant::describe_discs(in, beams, described);
  const std::vector<velmorant::BeamDisc>& discs = described.discs;
  const py::ssize_t n = py::ssize_t(discs.size());
  py::array_t<std::int32_t> hkl({n, py::ssize_t(3)});
  py::array_t<float> g({n, py::ssize_t(3)});
  py::array_t<float> up(n), left(n);
  auto h = hkl.mutable_unchecked<2>();
  auto v = g.mutable_unchecked<2>();
  auto u = up.mutable_unchecked<1>();
  auto l = left.mutable_unchecked<1>();
  for (py::ssize_t k = 0; k < n; ++k) {
    const velmorant::BeamDisc& d = discs[std::size_t(k)];
    for (py::ssize_t c = 0; c < 3; ++c) {
      h(k, c) = d.miller[std::size_t(c)];
      v(k, c) = d.lab_vector[std::size_t(c)];
    }
    u(k) = d.offset_i;
    l(k) = d.offset_j;
  }
  py::dict t;
  t["hkl"] = hkl;
  t["lab_vector_per_angstrom"] = g;
  t["offset_up_px"] = up;
  t["offset_left_px"] = left;
  return t;
}

// The pages of a stack in picture orientation, each as to_picture turns an
// image: (N + 1) x 512 x 512. The copy runs with the interpreter lock released.
py::array_t<float> pages_to_picture(const velmorant::BeamStack& stack) {
  const py::ssize_t n = stack.order();
  py::array_t<float> a({n, py::ssize_t(kSize), py::ssize_t(kSize)});
  auto v = a.mutable_unchecked<3>();
  {
    py::gil_scoped_release unlocked;
    for (int b = 0; b < stack.order(); ++b)
      for (int r = 0; r < kSize; ++r)
        for (int c = 0; c < kSize; ++c) v(b, r, c) = stack(b, kSize - r, kSize - c);
  }
  return a;
}

// One computed pattern and what it was computed with.
struct Pattern {
  py::array_t<float> intensities;  // 512 x 512, picture orientation, 1 = no loss
  int method = 0;
  float thickness = 0;       // Å
  float wavelength = 0;      // Å
  velmorant::Vec3f euler{};  // degrees
  py::dict beams;            // h k l, laboratory vectors and disc offsets of the beams used
  // With beams=True: (N + 1) x 512 x 512, every beam's intensity in picture
  // orientation (page 0 = intensities); None otherwise.
  py::object beam_intensities = py::none();
  // What composing the whole pattern needs besides the pages.
  std::vector<velmorant::BeamDisc> discs;
  float pixel_scale = 0;  // pixel_pitch / camera_length: tangent per pixel
};

// The picture of the whole pattern (every disc at its place, overlaps
// added) composed by the program's own code from a pattern's pages.
py::array_t<float> whole_pattern(const Pattern& p, std::optional<float> aperture_mrad) {
  if (p.beam_intensities.is_none())
    throw py::value_error("the pattern has no beam intensities; run it with beams=True");
  if (aperture_mrad && !(*aperture_mrad > 0.0f && *aperture_mrad < 500.0f))
    throw py::value_error("aperture_mrad must be above 0 and below 500");
  const auto pages = p.beam_intensities.cast<py::array_t<float>>();
  auto v = pages.unchecked<3>();
  const int order = int(v.shape(0));
  if (std::size_t(order) != p.discs.size() || v.shape(1) != kSize || v.shape(2) != kSize)
    throw py::value_error("beam_intensities must be (N+1) x 512 x 512, one page per beam");
  velmorant::ComposedLayout layout;
  std::vector<float> picture;
  {
    py::gil_scoped_release unlocked;
    velmorant::BeamStack stack;
    stack.resize(order);
    for (int b = 0; b < order; ++b)
      for (int r = 0; r < kSize; ++r)
        for (int c = 0; c < kSize; ++c) stack(b, kSize - r, kSize - c) = v(b, r, c);
    stack.discs = p.discs;
    stack.pixel_scale = p.pixel_scale;
    layout = velmorant::composed_layout(stack, aperture_mrad);
    picture = velmorant::compose_pattern(stack, layout, aperture_mrad);
  }
  py::array_t<float> a({py::ssize_t(layout.height), py::ssize_t(layout.width)});
  std::copy(picture.begin(), picture.end(), a.mutable_data());
  return a;
}

class PySimulation {
public:
  PySimulation(std::shared_ptr<Input> input, std::optional<int> threads)
      : input_(std::move(input)),
        simulation_(*input_->in, *input_->beams,
                    threads ? std::max(1, *threads) : default_threads()) {}

  // The overrides of one call: voltage or wavelength, thickness, angles.
  velmorant::Overrides overrides(std::optional<float> thickness, std::optional<double> kv,
                                 std::optional<float> wavelength,
                                 std::optional<velmorant::Vec3f> euler) {
    if (kv && wavelength) throw py::value_error("give voltage_kv or wavelength_angstrom, not both");
    velmorant::Overrides o;
    o.thickness = thickness;
    if (kv) {
      // A voltage is told in its own unit; the wavelength's range is the reader's.
      const float lambda = float(common::electron_wavelength_angstrom(*kv));
      if (!std::isfinite(*kv) || !velmorant::wavelength_problem(lambda).empty())
        throw common::InputError(
            "voltage_kv = " + common::shortest_text(float(*kv)) + " gives a wavelength of " +
            common::shortest_text(lambda) + " A; the simulation takes " +
            common::shortest_text(float(velmorant::kMinWavelength)) + " to " +
            common::shortest_text(float(velmorant::kMaxWavelength)) + " A, about " +
            std::to_string(int(common::voltage_kv_for_wavelength(velmorant::kMaxWavelength))) +
            " kV to " +
            std::to_string(int(common::voltage_kv_for_wavelength(velmorant::kMinWavelength))) +
            " kV: is the voltage in kV?");
      o.wavelength = lambda;
    }
    if (wavelength) o.wavelength = wavelength;
    o.euler_degrees = euler;
    return o;
  }

  Pattern run(int method, std::optional<float> thickness, std::optional<double> kv,
              std::optional<float> wavelength, std::optional<velmorant::Vec3f> euler,
              bool every_beam) {
    if (method < 0 || method > 2)
      throw py::value_error("method must be 0 (full), 1 (adaptive) or 2 (block)");
    velmorant::Overrides o = overrides(thickness, kv, wavelength, euler);
    auto image = std::make_unique<PatternImage>();
    std::unique_ptr<velmorant::BeamStack> stack;
    if (every_beam) stack = std::make_unique<velmorant::BeamStack>();
    interruptible([&](velmorant::RunControl& control) {
      simulation_.prepare(o);
      simulation_.compute(static_cast<velmorant::SamplingMethod>(method), *image, control,
                          stack.get());
    });
    Pattern p;
    p.intensities = to_picture(*image);
    if (stack) {
      p.beam_intensities = pages_to_picture(*stack);
      p.discs = stack->discs;
      p.pixel_scale = stack->pixel_scale;
    }
    p.method = method;
    const velmorant::SimulationInput& in = simulation_.input();
    p.thickness = in.thickness;
    p.wavelength = in.wavelength;
    p.euler = o.euler_degrees ? *o.euler_degrees : input_->in->euler_degrees;
    p.beams = beam_table(in, simulation_.beams());
    return p;
  }

  std::array<float, 3> estimate(std::optional<float> thickness, std::optional<double> kv,
                                std::optional<float> wavelength,
                                std::optional<velmorant::Vec3f> euler) {
    velmorant::Overrides o = overrides(thickness, kv, wavelength, euler);
    std::array<float, 3> e{};
    interruptible([&](velmorant::RunControl& control) {
      simulation_.prepare(o);
      e = simulation_.calibrate(control);
    });
    return e;
  }

  py::dict beams(std::optional<float> thickness, std::optional<double> kv,
                 std::optional<float> wavelength, std::optional<velmorant::Vec3f> euler) {
    velmorant::Overrides o = overrides(thickness, kv, wavelength, euler);
    {
      py::gil_scoped_release unlocked;
      simulation_.prepare(o);
    }
    return beam_table(simulation_.input(), simulation_.beams());
  }

  int threads() const { return simulation_.threads(); }

  // Runs `work` with the interpreter lock released and a run control that
  // ends the work when a Python signal handler raises (Ctrl-C); the Python
  // exception is then raised here.
  template <class Work>
  void interruptible(Work&& work) {
    bool cancelled = false;
    {
      py::gil_scoped_release unlocked;
      velmorant::ProgressState state;
      InterruptCheck presentation;
      velmorant::RunControl control(state, presentation, [] { throw RunCancelled{}; });
      try {
        control.open_dialog();
        work(control);
        control.close_dialog();
      } catch (const RunCancelled&) {
        cancelled = true;
      }
    }
    if (cancelled) {
      // Only a Python signal handler that raised ends a run; its exception is set.
      if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
      throw py::error_already_set();
    }
  }
  const Input& input() const { return *input_; }

private:
  std::shared_ptr<Input> input_;
  velmorant::Simulation simulation_;
};

PatternImage image_of(const FloatImage& intensities) {
  PatternImage image;
  from_picture(intensities, image, "intensities");
  return image;
}

// The simulation input as Velmorant reads it, and its beams.
void bind_input(py::module_& m) {
  py::class_<Input, std::shared_ptr<Input>>(
      m, "Input",
      "A simulation input (VelmorantDS.dat) as Velmorant reads it, with "
      "its beams selected.")
      .def_property_readonly("thickness_angstrom", [](const Input& i) { return i.in->thickness; })
      .def_property_readonly("wavelength_angstrom", [](const Input& i) { return i.in->wavelength; })
      .def_property_readonly("voltage_kv",
                             [](const Input& i) {
                               return common::voltage_kv_for_wavelength(double(i.in->wavelength));
                             })
      .def_property_readonly(
          "euler_degrees", [](const Input& i) { return i.in->euler_degrees; },
          "Bunge angles phi1, Phi, phi2 as written in the file, degrees")
      .def_property_readonly(
          "beam_count", [](const Input& i) { return i.beams->count; },
          "diffracted beams selected (the transmitted beam not counted)")
      .def_property_readonly(
          "beams", [](const Input& i) { return beam_table(*i.in, *i.beams); },
          "dict: 'hkl' (N+1, 3) int32, transmitted beam first; 'lab_vector_per_angstrom' (N+1, 3) "
          "float32; 'offset_up_px', 'offset_left_px' (N+1,) float32: each disc's centre from the "
          "transmitted disc's on the detector, pixels up and to the left in the picture")
      .def_property_readonly(
          "experiment_path",
          [](const Input& i) {
            return (std::filesystem::path(i.folder) / velmorant::experimental_image_path(*i.in))
                .string();
          },
          "the experimental image the file names, relative to the input's folder")
      .def_property_readonly(
          "text", [](const Input& i) { return i.text; }, "the text of VelmorantDS.dat")
      .def_property_readonly("source", [](const Input& i) { return i.source; })
      .def("__repr__", [](const Input& i) {
        std::ostringstream s;
        s << "<tem.Input " << i.source << ": " << i.beams->count << " beams, " << i.in->thickness
          << " A thick, " << i.in->wavelength << " A>";
        return s.str();
      });

  m.def("read_input", &read_input, py::arg("folder") = ".", py::kw_only(),
        py::arg("long_search") = false,
        "Reads folder/VelmorantDS.dat as Velmorant does and selects the beams. long_search=True "
        "runs a "
        "reflection search predicted to take more than a minute (VELMORANT_LONG_SEARCH=1). Raises "
        "tem.InputError with Velmorant's message.");
}

#ifdef TEM_PYTHON_CIF
// The input velmorant_input writes for a CIF (with gemmi).
void bind_input_from_cif(py::module_& m) {
  m.def(
      "input_from_cif",
      [](const std::string& cif, std::optional<double> voltage_kv,
         std::optional<double> wavelength_angstrom, std::vector<double> zone,
         std::vector<double> reference, std::vector<double> euler_degrees,
         double thickness_angstrom, std::optional<double> semi_angle_mrad,
         std::optional<double> camera_length, std::optional<double> pixel_pitch, int model,
         std::optional<double> global_b_angstrom2, int index_limit, double strength_fraction,
         int max_beams, const std::string& image_folder, const std::string& image_name,
         int image_bits, const std::string& block, const std::string& folder, bool long_search) {
        velmorant::crystal_file::CifInputOptions o;
        o.block = block;
        o.kv = voltage_kv;
        o.wavelength = wavelength_angstrom;
        o.zone = zone;
        o.reference = reference;
        o.euler = euler_degrees;
        o.semi_angle = semi_angle_mrad;
        o.camera_length = camera_length;
        o.pixel_pitch = pixel_pitch;
        o.global_b = global_b_angstrom2;
        o.settings.thickness = thickness_angstrom;
        o.settings.form_factor_model = model;
        o.settings.index_limit = index_limit;
        o.settings.strength_fraction = strength_fraction;
        o.settings.max_beams = max_beams;
        o.settings.image_folder = image_folder;
        o.settings.image_name = image_name;
        o.settings.image_bits = image_bits;
        if (model != 0 && model != 1) throw py::value_error("model must be 0 or 1");
        if (image_bits != 8 && image_bits != 24)
          throw py::value_error("image_bits must be 8 or 24");
        const velmorant::crystal_file::CifInput made = velmorant::crystal_file::cif_input(cif, o);
        return read_input_text(made.text, cif + " (as " + velmorant::kInputFileName + ")", folder,
                               long_search);
      },
      py::arg("cif"), py::kw_only(), py::arg("voltage_kv") = py::none(),
      py::arg("wavelength_angstrom") = py::none(), py::arg("zone") = std::vector<double>{},
      py::arg("reference") = std::vector<double>{},
      py::arg("euler_degrees") = std::vector<double>{}, py::arg("thickness_angstrom") = 1000.0,
      py::arg("semi_angle_mrad") = py::none(), py::arg("camera_length") = py::none(),
      py::arg("pixel_pitch") = py::none(), py::arg("model") = 1,
      py::arg("global_b_angstrom2") = py::none(), py::arg("index_limit") = 6,
      py::arg("strength_fraction") = 0.001, py::arg("max_beams") = 30,
      py::arg("image_folder") = ".", py::arg("image_name") = velmorant::kNoExperiment,
      py::arg("image_bits") = 8, py::arg("block") = "", py::arg("folder") = ".",
      py::arg("long_search") = false,
      "The input velmorant_input writes for a CIF, read as Velmorant reads it. Options as "
      "velmorant_input's: "
      "voltage_kv (200) or wavelength_angstrom; zone [u v w] or [u v t w] (0 0 1) with reference, "
      "or "
      "euler_degrees; thickness_angstrom; semi_angle_mrad (10) or camera_length with pixel_pitch; "
      "model 0/1; "
      "global_b_angstrom2; index_limit, strength_fraction, max_beams; image_folder, image_name, "
      "image_bits. "
      "folder: where the image folder and the X-ray coefficient file are looked for. Input.text is "
      "the file.");
}
#endif

// One computed pattern and its whole-pattern composition.
void bind_pattern(py::module_& m) {
  py::class_<Pattern>(m, "Pattern", "One computed pattern and the values it was computed with.")
      .def_readonly(
          "intensities", &Pattern::intensities,
          "512 x 512 numpy.float32 transmitted intensities (1 = no loss), picture orientation")
      .def_readonly("method", &Pattern::method)
      .def_readonly("thickness_angstrom", &Pattern::thickness)
      .def_readonly("wavelength_angstrom", &Pattern::wavelength)
      .def_property_readonly(
          "voltage_kv",
          [](const Pattern& p) { return common::voltage_kv_for_wavelength(double(p.wavelength)); })
      .def_readonly("euler_degrees", &Pattern::euler)
      .def_readonly("beams", &Pattern::beams,
                    "dict: 'hkl' (N+1, 3), 'lab_vector_per_angstrom' (N+1, 3), 'offset_up_px' and "
                    "'offset_left_px' (N+1,) of the beams used, transmitted beam first (the page "
                    "order of beam_intensities)")
      .def_readonly("beam_intensities", &Pattern::beam_intensities,
                    "with run(beams=True): (N+1) x 512 x 512 numpy.float32, every beam's intensity "
                    "per incident direction, each page in the orientation of intensities (page 0 "
                    "equals intensities, page b is the beam beams['hkl'][b]); None otherwise")
      .def("whole_pattern", &whole_pattern, py::kw_only(), py::arg("aperture_mrad") = py::none(),
           "The intensities of the whole pattern as Velmorant composes its _pattern.png "
           "(float32, rows from the top): every disc moved by its offset rounded to whole "
           "pixels, overlapping discs added, 0 where no disc lies; aperture_mrad limits each "
           "disc to the convergence semi-angle given (VELMORANT_BEAMS_APERTURE). Needs "
           "run(beams=True); tem.whole_pattern_levels gives the PNG's grey levels.")
      .def(
          "grey_levels",
          [](const Pattern& p) {
            PatternImage image = image_of(p.intensities);
            velmorant::scale_to_grey_levels(image);
            return to_picture(image);
          },
          "the intensities scaled as for the image file: smallest 0, largest 255, not rounded");
}

// Patterns of one input with values replaced, in memory.
void bind_simulation(py::module_& m) {
  py::class_<PySimulation>(
      m, "Simulation",
      "Patterns of one input with the thickness, voltage and Euler angles replaced, in memory. "
      "The beams and structure factors are kept while the replaced values cannot change them.")
      .def(py::init<std::shared_ptr<Input>, std::optional<int>>(), py::arg("input"), py::kw_only(),
           py::arg("threads") = py::none(),
           "threads: pixels computed in parallel (default: every hardware thread)")
      .def("run", &PySimulation::run, py::kw_only(), py::arg("method") = 0,
           py::arg("thickness_angstrom") = py::none(), py::arg("voltage_kv") = py::none(),
           py::arg("wavelength_angstrom") = py::none(), py::arg("euler_degrees") = py::none(),
           py::arg("beams") = false,
           "Computes a pattern with sampling method 0 (every pixel), 1 (adaptive) or 2 (3 x 3 "
           "blocks); values "
           "not given are the input's. beams=True also keeps every beam's intensity "
           "(Pattern.beam_intensities, (N+1) x 512 x 512 floats) as VELMORANT_BEAMS=1 does. The "
           "interpreter lock is released; Ctrl-C stops the run "
           "between pixels "
           "and raises KeyboardInterrupt.")
      .def("estimate_seconds", &PySimulation::estimate, py::kw_only(),
           py::arg("thickness_angstrom") = py::none(), py::arg("voltage_kv") = py::none(),
           py::arg("wavelength_angstrom") = py::none(), py::arg("euler_degrees") = py::none(),
           "Run-time estimates in seconds of methods 0, 1 and 2 (Velmorant's estimate query)")
      .def("beams", &PySimulation::beams, py::kw_only(), py::arg("thickness_angstrom") = py::none(),
           py::arg("voltage_kv") = py::none(), py::arg("wavelength_angstrom") = py::none(),
           py::arg("euler_degrees") = py::none(), "the beam table for these values")
      .def_property_readonly("threads", &PySimulation::threads)
      .def_property_readonly("input", &PySimulation::input,
                             py::return_value_policy::reference_internal);
}

// Experimental images and the grey levels of the image files.
void bind_image_functions(py::module_& m) {
  m.def(
      "read_experimental_image",
      [](const std::string& path) {
        std::vector<float> grey;
        {
          py::gil_scoped_release unlocked;
          const velmorant::ExperimentalImage e = velmorant::load_experimental_image(path);
          if (!e.usable()) throw common::FileError(e.problem, path);
          grey = e.grey;
        }
        PatternImage image;
        std::copy(grey.begin(), grey.end(), image.data());
        return to_picture(image);
      },
      py::arg("path"),
      "Grey levels 0..255 of a 512 x 512 BMP, PNG or TIFF image as Velmorant reads an experiment, "
      "picture "
      "orientation. Raises tem.FileError for a file it cannot read or compare "
      "(tem.MissingFileError, a FileNotFoundError, when it does not exist).");

  m.def(
      "grey_levels",
      [](const FloatImage& intensities) {
        PatternImage image = image_of(intensities);
        velmorant::scale_to_grey_levels(image);
        return to_picture(image);
      },
      py::arg("intensities"),
      "smallest intensity 0, largest 255, not rounded (the levels of the correlation)");

  m.def(
      "image_levels",
      [](const FloatImage& intensities) {
        PatternImage image = image_of(intensities);
        velmorant::scale_to_grey_levels(image);
        py::array_t<std::uint8_t> a({kSize, kSize});
        auto v = a.mutable_unchecked<2>();
        for (int r = 0; r < kSize; ++r)
          for (int c = 0; c < kSize; ++c)
            v(r, c) = velmorant::grey_level(image(kSize - r, kSize - c));
        return a;
      },
      py::arg("intensities"), "the 8-bit grey levels Velmorant writes into its image file (uint8)");

  m.def(
      "whole_pattern_levels",
      [](const py::array_t<float, py::array::c_style | py::array::forcecast>& picture) {
        if (picture.ndim() != 2) throw py::value_error("picture must be a 2-d array");
        std::vector<float> values(picture.data(), picture.data() + picture.size());
        const std::vector<std::uint8_t> grey = velmorant::composed_grey_levels(values);
        py::array_t<std::uint8_t> a({picture.shape(0), picture.shape(1)});
        std::copy(grey.begin(), grey.end(), a.mutable_data());
        return a;
      },
      py::arg("picture"),
      "The 8-bit grey levels of the composed _pattern.png for Pattern.whole_pattern's "
      "intensities: logarithmic, 255 the largest, 0 four decades below it and for zero (uint8)");
}

// The scores of a pattern against an experiment.
void bind_scores(py::module_& m) {
  m.def(
      "correlation_r",
      [](const FloatImage& intensities, const FloatImage& experiment) {
        const PatternImage image = image_of(intensities);
        const std::vector<float> grey = grey_from_picture(experiment, "experiment");
        return velmorant::mid_grey_correlation(grey, image);
      },
      py::arg("intensities"), py::arg("experiment"),
      "Velmorant's r: the pattern scaled to grey levels 0..255 against the experiment's grey "
      "levels, both "
      "taken about mid grey (128)");

  m.def(
      "pearson",
      [](const FloatImage& intensities, const FloatImage& experiment) {
        const PatternImage image = image_of(intensities);
        const std::vector<float> grey = grey_from_picture(experiment, "experiment");
        return velmorant::pearson_correlation(grey, image);
      },
      py::arg("intensities"), py::arg("experiment"),
      "Pearson correlation (about both means), as velmorant_fit scores; -1 for a uniform or "
      "non-finite image");
}

}  // namespace

void bind_simulator(py::module_& m) {
  bind_input(m);
#ifdef TEM_PYTHON_CIF
  bind_input_from_cif(m);
#endif
  bind_pattern(m);
  bind_simulation(m);
  bind_image_functions(m);
  bind_scores(m);
}

}  // namespace tem_python
