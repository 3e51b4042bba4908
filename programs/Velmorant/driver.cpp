// The order of one Velmorant run, and how each way of ending it leaves the result file.
// SPDX-License-Identifier: BSD-3-Clause
#include "programs/Velmorant/driver.hpp"

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "common/provenance.hpp"
#include "programs/Velmorant/result_file.hpp"
#include "programs/Velmorant/sampling_method.hpp"
#include "programs/Velmorant/thread_count.hpp"
#include "simulator/beams/beam_list.hpp"
#include "simulator/beams/select_beams.hpp"
#include "simulator/engine/pattern_computation.hpp"
#include "simulator/engine/pattern_image.hpp"
#include "simulator/engine/pixel_pool.hpp"
#include "simulator/engine/simulation.hpp"
#include "simulator/image/beam_files.hpp"
#include "simulator/image/correlate_with_experiment.hpp"
#include "simulator/image/file_error.hpp"
#include "simulator/image/image_format.hpp"
#include "simulator/image/image_path.hpp"
#include "simulator/image/simulated_image.hpp"
#include "simulator/image/write_pattern_image.hpp"
#include "simulator/input/diagnostics.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "simulator/progress/interrupt.hpp"
#include "simulator/progress/run_control.hpp"

namespace velmorant {

namespace {

// Thrown by the run control's end hook when the quit message arrives (the
// user chose Exit while suspended): unwinds the computation to the driver.
struct RunEndedByUser {};

// Time per unit of work at the start, from the calibrated estimate E of the
// method: 1.5 times the calibrated time per computed pixel (divisors 2^18,
// 1.71 x 255^2, 1.02 x 170^2 of the calibration).
float start_seconds_per_unit(SamplingMethod method, float estimate) {
  switch (method) {
    case SamplingMethod::full:
      return estimate * 1.5f * (1.0f / float(PatternImage::kPixels));  // 2^-18, exact
    case SamplingMethod::adaptive:
      return estimate * 1.5f / 111192.76f;
    case SamplingMethod::block:
      break;
  }
  return estimate * 1.5f / 29477.998f;
}

int count_non_finite(const PatternImage& image) {
  int n = 0;
  for (std::size_t k = 0; k < PatternImage::size(); ++k) n += !std::isfinite(image.data()[k]);
  return n;
}

// Why the selection kept no diffracted beam, for a crystal whose max_beams
// asks for at least one: no reflection of the search box passed the strength
// threshold and the window of directions, or none came near the Ewald sphere.
std::string no_beam_reason(const SimulationInput& in) {
  const CandidateList candidates = search_candidates(in);
  std::ostringstream s;
  if (candidates.count() == 0) {
    if (in.strength_fraction > 1.0f)
      s << "no reflection passed the strength threshold: strength_fraction is "
        << in.strength_fraction << ", a fraction of the strongest |F|^2 above 1 (not a percentage)";
    else
      s << "no reflection with |h|, |k|, |l| <= " << in.hkl_limit
        << " passed the strength threshold and the window of directions of the field";
  } else {
    s << candidates.count() << " reflections passed the strength threshold, but none came within "
      << candidates.band_half_width << " 1/A of the Ewald sphere for any direction of the field";
  }
  s << "; check that the cell is in A, the wavelength in A, the orientation and the field "
       "(pixel_pitch / camera_length); max_beams 0 computes the bright field of the transmitted "
       "beam alone";
  return s.str();
}

bool variable_is_one(const char* name) {
  const char* v = std::getenv(name);
  return v && std::strcmp(v, "1") == 0;
}

// The input and its beams. The beam search keeps the dialog served, and one
// predicted to take more than a minute is refused unless VELMORANT_LONG_SEARCH=1.
void read_input(RunControl& control, SimulationInput& in, BeamList& beams, std::ostream& err) {
  ReadOptions options;
  options.long_search_confirmed = variable_is_one(kLongSearchVariable);
  options.poll = [&control] { control.keep_alive(); };
  options.messages = &err;
  read_simulation_input(".", in, beams, options);
  if (variable_is_one(kDiagnosticsVariable)) print_diagnostics(in, beams, err);
}

// Where the pattern goes, and the extra files the environment asks for.
struct OutputPlan {
  ImagePlan images;
  bool raw = false;                  // VELMORANT_RAW=1: the intensities as a float TIFF
  std::unique_ptr<BeamStack> stack;  // VELMORANT_BEAMS=1: every beam's disc
  std::optional<float> aperture;     // VELMORANT_BEAMS_APERTURE, mrad
};

// Without its folder the image could not be written at the end of the run,
// and without a readable experimental image the run would end on that error
// after the computation: both are found before it, as are extra files this
// build cannot write and a mistyped aperture. A remark on the experimental
// image goes to `err`.
OutputPlan plan_outputs(const SimulationInput& in, std::ostream& err) {
  check_image_folder(in);
  OutputPlan plan;
  plan.images = plan_images(in);
  plan.images.provenance = common::provenance("Velmorant", common::utc_date_today());
  if (!plan.images.unusable.empty()) return plan;
  if (!plan.images.note.empty()) err << "Velmorant: note: " << plan.images.note << '\n';
  plan.raw = variable_is_one(kRawVariable);
  if (plan.raw && !format_built(ImageFormat::tiff))
    throw FileError(std::string(kRawVariable) +
                    "=1 asks for the raw intensities as a TIFF file, and this Velmorant was built "
                    "without TIFF support (libtiff-dev was not installed)");
  // Every beam's disc: the stack ((N + 1) x 512 x 512 floats) and its files
  // need both libraries.
  if (variable_is_one(kBeamsVariable)) {
    if (!format_built(ImageFormat::tiff) || !format_built(ImageFormat::png))
      throw FileError(std::string(kBeamsVariable) +
                      "=1 asks for every beam as a TIFF stack and a PNG picture, and this "
                      "Velmorant was built without TIFF or PNG support (libtiff-dev, libpng-dev)");
    plan.aperture = parse_aperture(std::getenv(kApertureVariable));
    plan.stack = std::make_unique<BeamStack>();
  }
  return plan;
}

// The pattern's files, its correlation with the experiment, and the result file.
void write_outputs(PatternImage& image, const SimulationInput& in, const OutputPlan& plan,
                   std::ostream& err) {
  if (int bad = count_non_finite(image))
    err << "Velmorant: " << bad << " of " << PatternImage::size()
        << " pixels of the pattern are not finite numbers; they are written black"
        << (plan.images.experiment ? " and the correlation is -1\n" : "\n");
  // Files beyond the simulated image are named, so that a run's outputs can be found.
  if (plan.raw) {
    const std::string path = raw_intensities_path(plan.images.simulated_path);
    write_raw_intensities(image, path, plan.images.provenance);
    err << "Velmorant: wrote " << path << " (" << kRawVariable << "=1)\n";
  }
  if (plan.stack) {
    write_beam_files(*plan.stack, plan.images.simulated_path, plan.aperture,
                     plan.images.provenance);
    err << "Velmorant: wrote " << beam_stack_path(plan.images.simulated_path) << ", "
        << beam_index_path(plan.images.simulated_path) << " and "
        << composed_pattern_path(plan.images.simulated_path) << " (" << kBeamsVariable << "=1)\n";
  }
  write_simulated_image(image, plan.images, in);

  Correlation c;
  if (plan.images.experiment)
    c = compare_with_experiment(image, in);
  else
    c.why = "no experimental image is named (image name \"" + std::string(kNoExperiment) +
            "\" or empty); the pattern is in \"" + plan.images.simulated_path + "\"";
  if (!c.why.empty())
    err << "Velmorant: r = " << (c.r == kUnusableImage ? "2.0" : "-1") << ": " << c.why << '\n';
  write_result_file(correlation_line(c.r));
}

}  // namespace

int run_velmorant(const char* argument, Presentation& presentation, std::ostream& out,
                  std::ostream& err) {
  ProgressState progress;
  progress.focus_request = 0;
  // Ctrl+C or a termination request ends the run as Exit does (the terminal
  // gets its echo back) and leaves "  -101".
  InterruptHandlers interrupts;
  RunControl control(progress, presentation, [] { throw RunEndedByUser{}; });
  control.watch_interrupt(interrupts.flag());
  bool run_started = false;  // "  -101" written
  auto in = std::make_unique<SimulationInput>();
  auto beams = std::make_unique<BeamList>();
  PatternImage image;

  try {
    // Dialog: handlers, Start, Exit, Suspend disabled, shown, running,
    // bar at 1 %, queue drained.
    control.open_dialog();
    progress.timing_phase = TimingPhase::estimating;
    progress.total_seconds = 60.0f;
    progress.remaining_seconds = 59.0f;
    control.progress_update();

    read_input(control, *in, *beams, err);
    // A pattern without any diffracted beam is uniform: computed only when
    // max_beams asks for the transmitted beam alone, never by accident.
    if (beams->count == 0 && in->max_beams >= 1) {
      control.close_dialog();
      err << "Velmorant: " << kInputFileName
          << ": no beam was selected besides the transmitted beam: " << no_beam_reason(*in)
          << "; nothing was computed\n";
      return kExitFailed;
    }

    // The calibration computes its pixels on the same threads as the run,
    // so the estimates are those of the run.
    const int threads = thread_count(std::getenv(kThreadsVariable), hardware_threads(), err);
    Simulation simulation(*in, *beams, threads);
    const std::array<float, 3> estimates = simulation.calibrate(control);

    const std::optional<SamplingMethod> method = sampling_method(argument);
    if (!method) {
      write_result_file(estimates_line(estimates));
      out << "Estimated run time (s) of methods 0, 1, 2:" << estimates_line(estimates) << '\n';
      control.close_dialog();
      return kExitDone;
    }

    write_result_file(kRunWithoutResult);
    run_started = true;
    const OutputPlan plan = plan_outputs(*in, err);
    if (!plan.images.unusable.empty()) {
      // The experimental image cannot be compared: r is known without the
      // computation, and no earlier simulated image is replaced.
      err << "Velmorant: r = 2.0 without computing the pattern: " << plan.images.unusable << '\n';
      write_result_file(correlation_line(kUnusableImage));
      control.close_dialog();
      return kExitDone;
    }
    presentation.enable(kSuspendButton, true);
    progress.focus_request = kSuspendButton;
    const float e = estimates[static_cast<std::size_t>(*method)];
    progress.seconds_per_unit = start_seconds_per_unit(*method, e);
    progress.total_seconds = e;
    progress.remaining_seconds = e;
    progress.progress_percent = 1;

    simulation.compute(*method, image, control, plan.stack.get());
    write_outputs(image, *in, plan, err);
    control.close_dialog();
    return kExitDone;
  } catch (const RunEndedByUser&) {
    // The dialog is already closed; nothing more is written, except after a
    // signal that came before the run started: a caller must not take an
    // earlier run's result for this one's.
    if (control.interrupted()) {
      const char* name = interrupts.signal_number() == SIGINT ? "SIGINT" : "SIGTERM";
      try {
        if (!run_started) write_result_file(kRunWithoutResult);
        err << "Velmorant: interrupted by " << name << "; " << kResultFileName << " holds \""
            << kRunWithoutResult << "\"\n";
      } catch (const FileError& e) {
        err << "Velmorant: interrupted by " << name << "; " << e.what() << '\n';
      }
    }
    return kExitByUser;
  } catch (const SingularBasis& e) {
    // The stop itself is silent; one line on standard error tells the user
    // why the run ended. The result file is left as it was.
    control.close_dialog();
    err << "Velmorant: " << kInputFileName << ": " << e.what() << '\n';
    return kExitFailed;
  } catch (const FormFactorStop& e) {
    control.close_dialog();
    out << e.what() << '\n';
    return kExitFailed;
  } catch (const std::bad_alloc&) {
    control.close_dialog();
    err << "Velmorant: not enough memory for this crystal (N = " << beams->count << " beams)\n";
    return kExitFailed;
  } catch (const std::exception& e) {  // InputError, FileError, anything unforeseen
    control.close_dialog();
    err << "Velmorant: " << e.what() << '\n';
    return kExitFailed;
  }
}

}  // namespace velmorant
