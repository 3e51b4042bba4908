// Speed of Velmorant's engine on the silicon example at N = 16, 32, 64 and 128 beams, as one table.
//
// Usage: velmorant_bench [--quick] [--method0] [example folder]   (default: the silicon example)
//
// For each beam count it measures, side by side in the same run:
//  - the time per pixel with the series limits 1000, 7 and 3 of the
//    straightforward single-threaded kernel (reference_transmitted_intensity),
//    of the engine's kernel on one thread, and of the engine on every thread;
//  - the effective rate of the engine: 8 (N+1)^3 operations per complex
//    matrix product times the products the algorithm as written needs
//    (series terms tried, including the one the ratio test rejects, plus the
//    s squarings), divided by the measured time;
//  - the time per pixel the calibration (on every thread) finds, over the
//    time per pixel over the whole field (calib/all: the estimates' bias);
//  - the rate of one product of order N + 1 by Eigen and by a plain triple loop;
//  - whole runs of methods 0, 1 and 2 at N = 16 and 32 on one and on every
//    thread (method 0 at N = 32 on every 8th row of the field, scaled up)
//    beside the calibrated estimates.
// The machine's attainable rate is a large Eigen complex product (the better
// of orders 512 and 1024) on one core times the number of cores, measured
// first; the same product on all cores at once is printed beside it. It is
// compiled with the same instruction-set level as the engine, printed first.
//
// A second table splits the time of a method-0 pixel (limit 1000, one
// thread) at N = 18, 32, 64 and 128: the matrix products (the same products
// replayed alone), everything else (norms, element-wise passes, building the
// exponent matrix, copies) and the exponent-matrix build by itself.
// `--method0` prints only that table and the attainable rate; compare_levels.sh
// runs it for the portable and the default build side by side.
// SPDX-License-Identifier: BSD-3-Clause
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "simulator/beams/select_beams.hpp"
#include "simulator/engine/pattern_computation.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "simulator/progress/silent_presentation.hpp"

using namespace velmorant;

namespace {

using Clock = std::chrono::steady_clock;
double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Seconds per call of f: three rounds, each repeating f until a third of
// `budget` has passed; the fastest round counts (other processes on the
// machine only ever slow a round down).
template <class F>
double time_per_call(F&& f, double budget) {
  double best = 1e30;
  for (int round = 0; round < 3; ++round) {
    int calls = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
      f();
      ++calls;
      elapsed = seconds_since(start);
    } while (elapsed < budget / 3);
    best = std::min(best, elapsed / calls);
  }
  return best;
}

// The 1-minute load average of the machine (Linux), or -1.
double load_average() {
  std::ifstream in("/proc/loadavg");
  double load = -1;
  in >> load;
  return load;
}

// Flop rate (Gflop/s) of an Eigen product of order n on one thread.
double eigen_product_rate(int n, double budget) {
  ComplexMatrix a = ComplexMatrix::Random(n, n), b = ComplexMatrix::Random(n, n), c(n, n);
  const double t = time_per_call([&] { c.noalias() = a * b; }, budget);
  return 8.0 * double(n) * n * n / t * 1e-9;
}

void triple_loop_product(const ComplexMatrix& a, const ComplexMatrix& b, ComplexMatrix& c) {
  const int n = int(a.rows());
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      std::complex<float> sum(0.0f, 0.0f);
      for (int k = 0; k < n; ++k) sum += a(i, k) * b(k, j);
      c(i, j) = sum;
    }
}

double triple_loop_rate(int n, double budget) {
  ComplexMatrix a = ComplexMatrix::Random(n, n), b = ComplexMatrix::Random(n, n), c(n, n);
  const double t = time_per_call([&] { triple_loop_product(a, b, c); }, budget);
  return 8.0 * double(n) * n * n / t * 1e-9;
}

// The same large product on `threads` threads at once, each its own: Gflop/s in all.
double eigen_rate_on_threads(int n, int threads, double budget) {
  std::vector<double> rates(static_cast<std::size_t>(threads), 0.0);
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t)
    running.emplace_back([&, t] { rates[std::size_t(t)] = eigen_product_rate(n, budget); });
  for (auto& r : running) r.join();
  double sum = 0;
  for (double r : rates) sum += r;
  return sum;
}

struct Crystal {
  std::unique_ptr<SimulationInput> in;
  BeamList beams;
};

// Products per pixel as the algorithm is written: the series terms tried
// (the identity times A included) plus the s squarings.
double specified_products(PixelEngine& engine, const BeamList& beams,
                          const std::vector<PixelEngine::Pixel>& pixels, int limit) {
  ExponentialWorkspace ws(beams.order());
  double products = 0;
  for (const auto& p : pixels) {
    build_exponent_matrix(engine.wave_vector(p.i, p.j), engine.coupling_matrix(), beams, ws.a);
    const int s = scaling_exponent(frobenius_norm(ws.a));
    ws.a /= std::ldexp(1.0f, s);
    const int added = taylor_exponential(ws.a, limit, ws.e, ws.term, ws.product);
    const int tried = added < limit ? added + 1 : added;
    products += tried + s;
  }
  return products / double(pixels.size());
}

// The instruction-set level of this build and the vector extensions it enables.
std::string build_level() {
  std::string s = "build level ";
#ifdef TEM_SIMD_LEVEL
  s += TEM_SIMD_LEVEL;
#else
  s += "unknown";
#endif
  s += " (vector extensions: SSE2";
#ifdef __AVX__
  s += " AVX";
#endif
#ifdef __AVX2__
  s += " AVX2";
#endif
#ifdef __FMA__
  s += " FMA";
#endif
#ifdef __AVX512F__
  s += " AVX512F";
#endif
  return s + ")";
}

// Matrix and vector products of one method-0 pixel as the engine does them.
struct PixelProducts {
  int series = 0;     // term x A, from the second term on
  int squarings = 0;  // whole-matrix squarings
  int vector = 0;     // row x Q and Q x column each
};

PixelProducts count_products(const std::array<float, 3>& k, const ComplexMatrix& w,
                             const BeamList& beams, int limit, ExponentialWorkspace& ws) {
  build_exponent_matrix(k, w, beams, ws.a);
  const int s = scaling_exponent(frobenius_norm(ws.a));
  ws.a /= std::ldexp(1.0f, s);
  const int added = taylor_exponential(ws.a, limit, ws.e, ws.term, ws.product);
  const int tried = added < limit ? added + 1 : added;
  const int d = corner_squarings(beams.order(), s);
  PixelProducts p;
  p.series = added == 0 ? 0 : tried - 1;
  p.squarings = s - d;
  p.vector = d == 0 ? 0 : (1 << (d - 1)) - 1;
  return p;
}

struct Method0Split {
  int n = 0;
  double pixel = 0, products = 0, build = 0, all = 0;  // seconds per pixel
  double effective =
      0;  // Gflop/s on all threads, 8 (N+1)^3 per product the algorithm as written needs
};

// Time per method-0 pixel on one thread and on all, with the products
// replayed alone (on matrices of the pixel's order holding values of the
// same size) and the exponent-matrix build alone.
Method0Split split_method0(PixelEngine& single, PixelEngine& all, const BeamList& beams,
                           const std::vector<PixelEngine::Pixel>& pixels, double budget) {
  const int order = beams.order();
  single.set_series_limit(kFullSeriesLimit);
  all.set_series_limit(kFullSeriesLimit);
  ExponentialWorkspace ws(order);
  std::vector<PixelProducts> counts;
  for (const auto& p : pixels)
    counts.push_back(count_products(single.wave_vector(p.i, p.j), single.coupling_matrix(), beams,
                                    kFullSeriesLimit, ws));
  const double n_pix = double(pixels.size());
  std::vector<float> values(pixels.size());
  Method0Split m;
  m.n = beams.count;
  const double needed = specified_products(single, beams, pixels, kFullSeriesLimit);
  m.pixel = time_per_call(
                [&] {
                  single.compute_pixels(pixels.data(), values.data(), int(pixels.size()),
                                        [](int) { return true; });
                },
                budget) /
            n_pix;
  m.all = time_per_call(
              [&] {
                all.compute_pixels(pixels.data(), values.data(), int(pixels.size()),
                                   [](int) { return true; });
              },
              budget) /
          n_pix;
  // ws.a and ws.e now hold a scaled exponent and a series sum: realistic operands.
  ComplexMatrix p1(order, order), p2(order, order);
  ComplexRow row = ws.e.row(0), row_next(order);
  ComplexColumn column = ws.e.col(0), column_next(order);
  m.products = time_per_call(
                   [&] {
                     for (const PixelProducts& c : counts) {
                       for (int q = 0; q < c.series; ++q) p1.noalias() = ws.e * ws.a;
                       for (int q = 0; q < c.squarings; ++q) p2.noalias() = ws.e * ws.e;
                       for (int q = 0; q < c.vector; ++q) {
                         row_next.noalias() = row * ws.e;
                         column_next.noalias() = ws.e * column;
                       }
                     }
                   },
                   budget) /
               n_pix;
  m.build = time_per_call(
                [&] {
                  for (const auto& p : pixels)
                    build_exponent_matrix_with_norm(single.wave_vector(p.i, p.j),
                                                    single.coupling_matrix(), beams,
                                                    ws.normal.data(), ws.term);
                },
                budget) /
            n_pix;
  m.effective = 8.0 * double(order) * order * order * needed / m.all * 1e-9;
  return m;
}

void print_split_header() {
  std::printf(
      "\nmethod 0 (limit 1000): ms per pixel; products replayed alone; outside = pixel - products\n"
      "%-5s %10s %10s %10s %9s %10s %8s %10s %9s %9s %9s\n",
      "N", "1thr ms", "products", "outside", "outside%", "build ms", "build%", "all ms", "1thr/all",
      "eff Gf/s", "eff/attn");
}

void print_split(const Method0Split& m, double attainable) {
  std::printf(
      "%-5d %10.4f %10.4f %10.4f %8.1f%% %10.5f %7.2f%% %10.4f %9.2f %9.2f %8.0f%%   (load %.2f)\n",
      m.n, 1e3 * m.pixel, 1e3 * m.products, 1e3 * (m.pixel - m.products),
      100.0 * (m.pixel - m.products) / m.pixel, 1e3 * m.build, 100.0 * m.build / m.pixel,
      1e3 * m.all, m.pixel / m.all, m.effective, 100.0 * m.effective / attainable, load_average());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false, method0_only = false;
  std::string dir = VELMORANT_EXAMPLES_DIR "/si-111";
  for (int a = 1; a < argc; ++a) {
    if (std::string(argv[a]) == "--quick")
      quick = true;
    else if (std::string(argv[a]) == "--method0")
      method0_only = true;
    else
      dir = argv[a];
  }
  const double budget = quick ? 0.3 : 1.0;  // seconds per measurement
  const std::string file = dir + "/VelmorantDS.dat";
  std::ifstream text(file);
  if (!text) {
    std::fprintf(stderr, "velmorant_bench: cannot open %s\n", file.c_str());
    return 1;
  }
  auto base = std::make_unique<SimulationInput>();
  parse_simulation_input(text, file, *base);
  derive_simulation_input(*base, dir);
  // Every reflection of a box large enough for 128 beams may take part.
  base->strength_fraction = 0.0f;
  base->hkl_limit = std::max(base->hkl_limit, 14);
  const int cores = hardware_threads();

  std::printf("Velmorant engine benchmark: %s, %d hardware threads, load average %.2f\n%s\n",
              file.c_str(), cores, load_average(), build_level().c_str());
  // The better of two large orders (1024 leaves the caches more often).
  const double rate_512 = eigen_product_rate(512, 2 * budget),
               rate_1024 = eigen_product_rate(1024, 2 * budget);
  const int large = rate_512 >= rate_1024 ? 512 : 1024;
  const double one_core = std::max(rate_512, rate_1024);
  const double all_cores = eigen_rate_on_threads(large, cores, 2 * budget);
  const double attainable = one_core * cores;
  std::printf(
      "attainable complex-product rate: Eigen on one core %.2f Gflop/s (order 512: %.2f, 1024: "
      "%.2f)"
      " x %d cores = %.2f Gflop/s (order %d on all cores at once, measured: %.2f)\n\n",
      one_core, rate_512, rate_1024, cores, attainable, large, all_cores);

  std::vector<PixelEngine::Pixel> pixels;  // a 16 x 16 grid over the whole field
  for (int a = 0; a < 16; ++a)
    for (int b = 0; b < 16; ++b) pixels.push_back({16 + 32 * a, 16 + 32 * b});

  // The split of a method-0 pixel, on an 8 x 8 grid over the field.
  std::vector<PixelEngine::Pixel> grid8;
  for (int a = 0; a < 8; ++a)
    for (int b = 0; b < 8; ++b) grid8.push_back({32 + 64 * a, 32 + 64 * b});
  print_split_header();
  for (int asked : {18, 32, 64, 128}) {
    auto in = std::make_unique<SimulationInput>(*base);
    in->max_beams = asked;
    BeamList beams;
    select_beams(*in, beams);
    ProgressState state;
    SilentPresentation presentation;
    RunControl control(state, presentation);
    PixelEngine single(*in, beams, control, {}, 1);
    PixelEngine all(*in, beams, control, {}, cores);
    print_split(split_method0(single, all, beams, grid8, budget), attainable);
  }
  if (method0_only) return 0;
  std::printf("\n");

  std::printf("%-5s %-6s %9s %9s %9s %9s %8s %8s %8s %9s %9s %6s %10s\n", "N", "limit", "products",
              "ref ms", "1thr ms", "all ms", "1thr/ref", "all/1thr", "all/ref", "eff Gf/s",
              "eff/attn", "s", "calib/all");
  struct Row {
    int n;
    double eigen_rate, loop_rate;
  };
  std::vector<Row> product_rows;
  std::vector<int> asked_counts = {16, 32, 64, 128};
  for (int asked : asked_counts) {
    Crystal c{std::make_unique<SimulationInput>(*base), {}};
    c.in->max_beams = asked;
    select_beams(*c.in, c.beams);
    const int order = c.beams.order();
    ProgressState state;
    SilentPresentation presentation;
    RunControl control(state, presentation);
    PixelEngine single(*c.in, c.beams, control, {}, 1);
    PixelEngine all(*c.in, c.beams, control, {}, cores);
    ExponentialWorkspace ws(order);
    std::vector<float> values(pixels.size());
    // Time per pixel that the calibration on every thread finds, for each limit.
    const auto estimates = calibrate_speed(all);
    const double calibrated[3] = {estimates[0] / 262144.0, estimates[1] / (65025.0 * 1.71),
                                  estimates[2] / (28900.0 * 1.02)};
    int pass = 0;
    for (int limit : {kFullSeriesLimit, kAdaptiveSeriesLimit, kBlockSeriesLimit}) {
      single.set_series_limit(limit);
      all.set_series_limit(limit);
      const double products = specified_products(single, c.beams, pixels, limit);
      double mean_s = 0;
      for (const auto& p : pixels) {
        build_exponent_matrix(single.wave_vector(p.i, p.j), single.coupling_matrix(), c.beams,
                              ws.a);
        mean_s += scaling_exponent(frobenius_norm(ws.a));
      }
      mean_s /= double(pixels.size());
      const double n_pix = double(pixels.size());
      const double t_ref =
          time_per_call(
              [&] {
                for (const auto& p : pixels)
                  reference_transmitted_intensity(single.wave_vector(p.i, p.j),
                                                  single.coupling_matrix(), c.beams, limit, ws);
              },
              budget) /
          n_pix;
      const double t_one =
          time_per_call(
              [&] {
                single.compute_pixels(pixels.data(), values.data(), int(pixels.size()),
                                      [](int) { return true; });
              },
              budget) /
          n_pix;
      const double t_all = time_per_call(
                               [&] {
                                 all.compute_pixels(pixels.data(), values.data(),
                                                    int(pixels.size()), [](int) { return true; });
                               },
                               budget) /
                           n_pix;
      const double flops = 8.0 * double(order) * order * order * products;
      const double effective = flops / t_all * 1e-9;
      std::printf(
          "%-5d %-6d %9.1f %9.4f %9.4f %9.4f %8.2f %8.2f %8.2f %9.2f %8.0f%% %6.1f %10.2f\n",
          c.beams.count, limit, products, 1e3 * t_ref, 1e3 * t_one, 1e3 * t_all, t_ref / t_one,
          t_one / t_all, t_ref / t_all, effective, 100.0 * effective / attainable, mean_s,
          calibrated[pass++] / t_all);
    }
    std::printf("      (load average %.2f)\n", load_average());
    product_rows.push_back(
        {order, eigen_product_rate(order, budget), triple_loop_rate(order, budget)});
  }

  std::printf(
      "\none complex product of order N + 1 on one core (Gflop/s)\n%-6s %10s %12s %8s %12s\n",
      "order", "Eigen", "triple loop", "ratio", "Eigen/large");
  for (const Row& r : product_rows)
    std::printf("%-6d %10.2f %12.2f %8.1f %11.0f%%\n", r.n, r.eigen_rate, r.loop_rate,
                r.eigen_rate / r.loop_rate, 100.0 * r.eigen_rate / one_core);

  // Whole runs against the estimates.
  std::printf(
      "\nwhole runs (seconds): estimate = calibrate_speed with these threads; method 0 for N > 16 "
      "on every"
      " 8th row, scaled by 8\n%-5s %-7s %-7s %10s %10s %8s\n",
      "N", "method", "threads", "estimate", "measured", "est/meas");
  // A full method-1 run at N = 64 takes minutes: the whole runs stop at 32.
  std::vector<int> run_counts = quick ? std::vector<int>{16} : std::vector<int>{16, 32};
  for (int asked : run_counts) {
    Crystal c{std::make_unique<SimulationInput>(*base), {}};
    c.in->max_beams = asked;
    select_beams(*c.in, c.beams);
    ProgressState state;
    SilentPresentation presentation;
    RunControl control(state, presentation);
    double measured[3][2] = {};
    for (int ti = 0; ti < 2; ++ti) {
      const int threads = ti == 0 ? 1 : cores;
      if (ti == 1 && cores == 1) break;
      const auto estimates = calibrate_speed(*c.in, c.beams, control, {}, threads);
      PixelEngine engine(*c.in, c.beams, control, {}, threads);
      PatternImage image;
      for (int method = 0; method < 3; ++method) {
        double seconds = 0;
        if (method == 0 && c.beams.count > 16) {
          std::vector<PixelEngine::Pixel> rows;
          for (int i = 4; i <= 512; i += 8)
            for (int j = 1; j <= 512; ++j) rows.push_back({i, j});
          std::vector<float> v(rows.size());
          engine.set_series_limit(kFullSeriesLimit);
          const auto start = Clock::now();
          engine.compute_pixels(rows.data(), v.data(), int(rows.size()), [](int) { return true; });
          seconds = 8.0 * seconds_since(start);
        } else {
          const auto start = Clock::now();
          compute_pattern(engine, static_cast<SamplingMethod>(method), image);
          seconds = seconds_since(start);
        }
        measured[method][ti] = seconds;
        std::printf("%-5d %-7d %-7d %10.2f %10.2f %8.2f", c.beams.count, method, threads,
                    estimates[std::size_t(method)], seconds,
                    estimates[std::size_t(method)] / seconds);
        std::printf("   load %.2f", load_average());
        if (ti == 1) std::printf("   1thr/all %.2f", measured[method][0] / seconds);
        std::printf("\n");
        std::fflush(stdout);
      }
    }
  }
  return 0;
}
