// The order of one Velmorant run, and how each way of ending it leaves the result file.
#include "app/driver.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "app/result_file.hpp"
#include "app/sampling_method.hpp"
#include "app/thread_count.hpp"
#include "beams/beam_list.hpp"
#include "engine/pattern_computation.hpp"
#include "engine/pattern_image.hpp"
#include "engine/pixel_pool.hpp"
#include "engine/simulation.hpp"
#include "image/correlate_with_experiment.hpp"
#include "image/file_error.hpp"
#include "image/image_path.hpp"
#include "image/write_pattern_image.hpp"
#include "input/diagnostics.hpp"
#include "input/read_simulation_input.hpp"
#include "simulator/progress/run_control.hpp"

namespace velmorant {

namespace {

// Thrown by the run control's end hook when the quit message arrives (the
// user chose Exit while suspended): unwinds the computation to the driver.
struct RunEndedByUser {};

// Time per unit of work at the start, from the calibrated estimate E of the
// method: 1.5 times the calibrated time per computed pixel (divisors 2^18,
// 1.71 x 255^2, 1.02 x 170^2 of the calibration).
float start_seconds_per_unit(int method, float estimate) {
  switch (method) {
    case 0: return estimate * 1.5f * 3.8146973e-06f;  // 2^-18
    case 1: return estimate * 1.5f / 111192.76f;
    default: return estimate * 1.5f / 29477.998f;
  }
}

int count_non_finite(const PatternImage& image) {
  int n = 0;
  for (std::size_t k = 0; k < PatternImage::size(); ++k) n += !std::isfinite(image.data()[k]);
  return n;
}

bool diagnostics_requested() {
  const char* v = std::getenv(kDiagnosticsVariable);
  return v && std::strcmp(v, "1") == 0;
}

}  // namespace

int run_velmorant(const char* argument, Presentation& presentation, std::ostream& out,
                  std::ostream& err) {
  ProgressState progress;
  progress.focus_request = 0;
  RunControl control(progress, presentation, [] { throw RunEndedByUser{}; });
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

    read_simulation_input(".", *in, *beams);
    if (diagnostics_requested()) print_diagnostics(*in, *beams, err);

    // The calibration computes its pixels on the same threads as the run,
    // so the estimates are those of the run.
    const int threads = thread_count(std::getenv(kThreadsVariable), hardware_threads(), err);
    Simulation simulation(*in, *beams, threads);
    const std::array<float, 3> estimates = simulation.calibrate(control);

    const std::optional<int> method = sampling_method(argument);
    if (!method) {
      write_result_file(estimates_line(estimates));
      control.close_dialog();
      return kExitDone;
    }

    write_result_file(kRunWithoutResult);
    // Without its folder the image could not be written at the end of the run.
    check_image_folder(*in);
    presentation.enable(kSuspendButton, true);
    progress.focus_request = kSuspendButton;
    const float e = estimates[*method];
    progress.seconds_per_unit = start_seconds_per_unit(*method, e);
    progress.total_seconds = e;
    progress.remaining_seconds = e;
    progress.progress_percent = 1;

    simulation.compute(*method, image, control);
    if (int bad = count_non_finite(image))
      err << "Velmorant: " << bad << " of " << PatternImage::size()
          << " pixels of the pattern are not finite numbers; they are written black and the "
             "correlation is -1\n";
    write_pattern_image(image, *in);
    if (encoded_size(in->image_bits) == 0)
      err << "Velmorant: image_bits = " << in->image_bits
          << " is neither 8 nor 24: the simulated image \"" << simulated_image_path(*in)
          << "\" is written empty\n";

    const float r = correlate_with_experiment(image, *in);
    write_result_file(correlation_line(r));
    control.close_dialog();
    return kExitDone;
  } catch (const RunEndedByUser&) {
    // The dialog is already closed; nothing more is written.
    return kExitByUser;
  } catch (const SingularBasis&) {
    // The stop itself is silent; one line on standard error tells the user
    // why the run ended. The result file is left as it was.
    control.close_dialog();
    err << "Velmorant: " << kInputFileName
        << ": the cell basis is singular (|det| < 1.1920929e-7); nothing was computed\n";
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
