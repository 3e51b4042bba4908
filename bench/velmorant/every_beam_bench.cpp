// Cost of keeping every beam's disc: method-0 pixels and whole patterns with and without the beam stack.
//
// Usage: every_beam_bench [example folder] [threads]   (default: the silicon example, 1 thread)
//
// Prints
//  - the time per method-0 pixel of the program's kernel (the transmitted
//    beam only) against the kernel that keeps every beam, at the example's
//    beam count and at N = 60 and 120 (the example's strongest beams, as
//    many as its selection offers), one thread;
//  - a whole method-0 pattern through velmorant::Simulation without and with
//    the stack (target: at most 10 % longer with it).
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

#include "simulator/beams/select_beams.hpp"
#include "simulator/engine/beam_stack.hpp"
#include "simulator/engine/pattern_computation.hpp"
#include "simulator/engine/simulation.hpp"
#include "simulator/input/read_simulation_input.hpp"
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
  std::printf("%s: N = %d beams, load %s\n", folder.c_str(), beams->count, load_average().c_str());
  ProgressState state;
  SilentPresentation silent;
  RunControl control(state, silent);

  // Pixels: the example's beams, then larger selections of the same crystal.
  auto wide = std::make_unique<SimulationInput>(*in);
  wide->max_beams = 120;
  wide->strength_fraction = 0.00001f;
  wide->index_limit = wide->hkl_limit = 8;
  wide->pixel_scale *= 4.0f;  // a wider field of directions keeps more beams near the Ewald sphere
  auto many = std::make_unique<BeamList>();
  select_beams(*wide, *many);
  const int available = many->count;
  for (int n : {beams->count, 60, 80}) {
    if (n != beams->count && n > available) {
      std::printf("  N = %3d: the crystal offers only %d beams\n", n, available);
      continue;
    }
    BeamList chosen = n == beams->count ? *beams : *many;
    chosen.count = n;
    PixelEngine engine(*in, chosen, control, {}, 1);
    ExponentialWorkspace ws(chosen.order());
    BeamStack stack;
    stack.resize(chosen.order());
    constexpr int kPixels = 170;
    float sink = 0;
    const double bright = fastest_of_three([&] {
      for (int q = 1; q <= 3 * kPixels; q += 3)
        sink += transmitted_intensity(engine.wave_vector(q, 513 - q), engine.coupling_matrix(),
                                      chosen, kFullSeriesLimit, ws);
    });
    const double every = fastest_of_three([&] {
      for (int q = 1; q <= 3 * kPixels; q += 3)
        sink += beam_intensities(engine.wave_vector(q, 513 - q), engine.coupling_matrix(), chosen,
                                 kFullSeriesLimit, ws, &stack(0, q, 513 - q), BeamStack::kPageSize);
    });
    std::vector<float> local(std::size_t(chosen.order()));
    const double contiguous = fastest_of_three([&] {
      for (int q = 1; q <= 3 * kPixels; q += 3)
        sink += beam_intensities(engine.wave_vector(q, 513 - q), engine.coupling_matrix(), chosen,
                                 kFullSeriesLimit, ws, local.data(), 1);
    });
    std::printf(
        "  method-0 pixel, N = %3d, one thread: bright field %.4f ms, every beam %.4f ms (into one "
        "array %.4f ms), ratio %.3f%s\n",
        n, 1000 * bright / kPixels, 1000 * every / kPixels, 1000 * contiguous / kPixels,
        every / bright, sink == 12345.0f ? " " : "");
  }

  Simulation simulation(*in, *beams, threads);
  PatternImage image;
  BeamStack stack;
  simulation.compute(SamplingMethod::block, image, stack);  // allocates the stack once
  const double plain = fastest_of_three([&] { simulation.compute(SamplingMethod::full, image); });
  const double with =
      fastest_of_three([&] { simulation.compute(SamplingMethod::full, image, stack); });
  std::printf(
      "  whole method-0 pattern, %d thread(s): bright field %.3f s, every beam %.3f s, ratio %.3f "
      "(target <= 1.10)\n",
      threads, plain, with, with / plain);
  std::printf("  memory of the stack: %d pages of 1 MiB\n", stack.order());
  std::printf("load after the run: %s\n", load_average().c_str());
  return 0;
}
