// Time per pixel of the diffraction engine for a few beam counts and the three series limits.
//
// Usage: engine_pixel_time [--patterns] [example folder]   (default: the silicon example)
// Reads VelmorantDS.dat of the folder, selects up to 16, 32 and 64 beams
// (strength threshold off, max_beams overridden) and times pixels along the
// diagonal of the field with the series limits of methods 0, 1 and 2.
// With --patterns it then computes the whole pattern of the folder's own
// input with each method and prints the calibrated estimate beside the
// measured time.
// SPDX-License-Identifier: BSD-3-Clause
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "simulator/beams/select_beams.hpp"
#include "simulator/engine/pattern_computation.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "simulator/progress/silent_presentation.hpp"

using namespace velmorant;

int main(int argc, char** argv) {
  bool patterns = false;
  std::string dir = VELMORANT_EXAMPLES_DIR "/si-111";
  for (int a = 1; a < argc; ++a) {
    if (std::string(argv[a]) == "--patterns")
      patterns = true;
    else
      dir = argv[a];
  }
  const std::string file = dir + "/VelmorantDS.dat";
  std::ifstream text(file);
  if (!text) {
    std::fprintf(stderr, "engine_pixel_time: cannot open %s\n", file.c_str());
    return 1;
  }
  auto in = std::make_unique<SimulationInput>();
  parse_simulation_input(text, file, *in);
  derive_simulation_input(*in, dir);  // model 0 looks for f0_WaasKirf.dat there first
  const auto own = std::make_unique<SimulationInput>(*in);  // as the file says
  // Every reflection of the box may take part, so that 64 beams can be found.
  in->strength_fraction = 0.0f;
  std::printf("%-6s %-6s %12s %12s %12s   (ms per pixel)\n", "asked", "N", "limit 1000", "limit 7",
              "limit 3");
  for (int asked : {16, 32, 64}) {
    in->max_beams = asked;
    BeamList beams;
    select_beams(*in, beams);
    ProgressState state;
    SilentPresentation presentation;
    RunControl control(state, presentation);
    PixelEngine engine(*in, beams, control);
    double ms[3];
    const int limits[3] = {kFullSeriesLimit, kAdaptiveSeriesLimit, kBlockSeriesLimit};
    for (int m = 0; m < 3; ++m) {
      engine.set_series_limit(limits[m]);
      const auto start = std::chrono::steady_clock::now();
      int count = 0;
      double elapsed = 0;
      for (int q = 1; q <= 512 && elapsed < 2.0; q += 3, ++count) {
        engine.pixel_intensity(q, 513 - q);
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      }
      ms[m] = 1000.0 * elapsed / count;
    }
    // Mean scaling exponent s (number of squarings) along the same diagonal.
    ComplexMatrix a(beams.order(), beams.order());
    double squarings = 0;
    int pixels = 0;
    for (int q = 1; q <= 512; q += 3, ++pixels) {
      build_exponent_matrix(engine.wave_vector(q, 513 - q), engine.coupling_matrix(), beams, a);
      squarings += scaling_exponent(frobenius_norm(a));
    }
    std::printf("%-6d %-6d %12.3f %12.3f %12.3f   mean s = %.1f\n", asked, beams.count, ms[0],
                ms[1], ms[2], squarings / pixels);
  }
  if (!patterns) return 0;

  BeamList beams;
  select_beams(*own, beams);
  ProgressState state;
  SilentPresentation presentation;
  RunControl control(state, presentation);
  const auto estimates = calibrate_speed(*own, beams, control);
  std::printf("\nwhole patterns of %s, N = %d\n%-8s %12s %12s\n", file.c_str(), beams.count,
              "method", "estimate s", "measured s");
  PatternImage image;
  for (int method = 0; method < 3; ++method) {
    const auto start = std::chrono::steady_clock::now();
    compute_pattern(*own, beams, static_cast<SamplingMethod>(method), control, image);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-8d %12.1f %12.1f\n", method, estimates[method], seconds);
  }
  return 0;
}
