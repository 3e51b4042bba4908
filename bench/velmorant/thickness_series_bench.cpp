// Cost of a thickness series against single patterns: whole method-2 patterns, and method-0 and method-2 pixels.
//
// Usage: thickness_series_bench [example folder] [threads]   (default: the silicon example, 1 thread)
//
// Prints, for series of 50 thicknesses in steps of 20 Å from 1000 Å (50
// whole steps) and from 1010 Å (no whole number of steps):
//  - a whole method-2 pattern at one thickness against the 50-member series
//    through velmorant::Simulation (the target: the series at most twice
//    the single pattern);
//  - the time per pixel of one direction at one thickness (the program's
//    kernel) against the 50-member series of that direction, with the
//    series limits of methods 0 and 2.
// Every timing is the fastest of three rounds (other processes only ever slow
// a round down); the load average is printed beside the figures.
// SPDX-License-Identifier: BSD-3-Clause
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "simulator/engine/pattern_computation.hpp"
#include "simulator/engine/simulation.hpp"
#include "simulator/engine/thickness_series.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "simulator/scattering/structure_factor.hpp"
#include "simulator/progress/silent_presentation.hpp"
#include "bench/velmorant/bench_timing.hpp"

using namespace velmorant;

using bench::Clock;
using bench::fastest_of_three;
using bench::load_average;

int main(int argc, char** argv) {
  bench::Example example = bench::read_example(argc, argv);
  const std::string& folder = example.folder;
  const int threads = example.threads;
  std::unique_ptr<SimulationInput>& in = example.in;
  std::unique_ptr<BeamList>& beams = example.beams;
  constexpr int kCount = 50;
  std::printf(
      "%s: N = %d beams, %d thread(s), series of %d thicknesses in steps of 20 A, load %s\n",
      folder.c_str(), beams->count, threads, kCount, load_average().c_str());
  Simulation simulation(*in, *beams, threads);
  PatternImage image;
  std::vector<PatternImage> images;
  ProgressState state;
  SilentPresentation silent;
  RunControl control(state, silent);
  auto sf = [&in](const std::array<std::int32_t, 3>& hkl) {
    return structure_factor(*in, hkl, true);
  };
  // From 1000 A the first thickness is 50 steps; from 1010 A 101 substeps of
  // 10 A; from 1010.3 A 50 steps and a rest of 10.3 A.
  for (const float start : {1000.0f, 1010.0f, 1010.3f}) {
    const ThicknessSeries series{start, 20.0f, kCount};
    const SeriesPlan plan = series_plan(series.first, series.step, series.count, beams->order());
    std::printf(
        "\nfrom %g A: substep %g A, %d substeps and a rest of %g A to the first thickness\n",
        double(start), double(series.step / float(plan.substeps)), plan.steps, double(plan.rest));
    simulation.prepare({series.first, {}, {}});
    simulation.compute(SamplingMethod::block, image);  // fills the stored structure factors
    const double single =
        fastest_of_three([&] { simulation.compute(SamplingMethod::block, image); });
    const double many =
        fastest_of_three([&] { simulation.compute_series(SamplingMethod::block, series, images); });
    std::printf(
        "  whole patterns, method 2: one thickness %7.3f s, %d thicknesses %7.3f s, ratio %.2f "
        "(target <= 2)\n",
        single, kCount, many, many / single);

    SimulationInput first = *in;
    first.effective_thickness = series.first / in->surface_normal[2];
    PixelEngine engine(first, *beams, control, sf, 1);
    ComplexMatrix w_step, w_rest;
    build_coupling_matrix(*beams, series.step / float(plan.substeps) / in->surface_normal[2],
                          in->potential_factor, sf, {}, w_step);
    build_coupling_matrix(*beams,
                          (plan.steps < 0 ? series.first : plan.rest) / in->surface_normal[2],
                          in->potential_factor, sf, {}, w_rest);
    ExponentialWorkspace ws(beams->order());
    SeriesWorkspace sw(beams->order());
    std::vector<float> out(kCount);
    for (const auto& [name, limit] :
         {std::pair{"method 0 (series limit 1000)", kFullSeriesLimit},
          std::pair{"method 2 (series limit 3)   ", kBlockSeriesLimit}}) {
      constexpr int kPixels = 170;
      float sink = 0;
      const double one = fastest_of_three([&] {
        for (int q = 1; q <= 3 * kPixels; q += 3)
          sink += transmitted_intensity(engine.wave_vector(q, 513 - q), engine.coupling_matrix(),
                                        *beams, limit, ws);
      });
      const double all = fastest_of_three([&] {
        for (int q = 1; q <= 3 * kPixels; q += 3) {
          transmitted_series(engine.wave_vector(q, 513 - q), w_rest, w_step, *beams, limit, kCount,
                             plan, sw, out.data());
          sink += out[kCount - 1];
        }
      });
      std::printf("  pixels (one thread), %s: one %.4f ms, series %.4f ms, ratio %.2f%s\n", name,
                  1000 * one / kPixels, 1000 * all / kPixels, all / one,
                  sink == 12345.0f ? " " : "");
    }
  }
  std::printf("\nload after the run: %s\n", load_average().c_str());
  return 0;
}
