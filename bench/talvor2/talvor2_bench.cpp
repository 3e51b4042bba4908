// Patterns per second of the four indexing strategies (examples; generated maps on 1 and 2 threads) and a run of 1e6 patterns.
// SPDX-License-Identifier: BSD-3-Clause
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/run_program.hpp"
#include "orientation/catalogue/catalogue.hpp"
#include "common/free_form_reader.hpp"
#include "orientation/errors/report_fatal_error.hpp"
#include "orientation/input/input_file.hpp"
#include "orientation/pipeline/pattern_pipeline.hpp"
#include "orientation/strategies/strategies.hpp"
#include "orientation/synthetic/pattern_generator.hpp"

namespace {

using namespace talvor;

// One example input, read once: header, catalogue and every pattern.
struct Example {
  OrientationProblem problem;
  std::unique_ptr<Catalogue> catalogue = std::make_unique<Catalogue>();
  std::vector<ScatteringPattern> patterns;
  bool ok = false;
};

const Example& Load(const std::string& name) {
  static Example examples[2];
  Example& e = examples[name == "copper" ? 0 : 1];
  if (e.ok || !e.patterns.empty()) return e;
  const std::string path = std::string(TALVOR2_EXAMPLES) + "/" + name + ".tv2";
  std::ifstream in(path);
  if (!in) return e;
  try {
    common::FreeFormReader reader(in);
    SetDefaults(e.problem);
    std::ostringstream echo;
    ReadHeader(reader, path, e.problem, echo);
    BuildCatalogue(e.problem, *e.catalogue);
    ScatteringPattern pattern;
    for (int i = 1; i <= e.problem.patternCount; ++i) {
      if (ReadPattern(reader, i, path, pattern) != PatternStatus::read) break;
      e.patterns.push_back(pattern);
    }
    e.ok = !e.patterns.empty();
  } catch (const FatalStop&) {
    e.ok = false;
  }
  return e;
}

void BM_Strategy(benchmark::State& state, const std::string& name, int strategy) {
  const Example& example = Load(name);
  if (!example.ok) {
    state.SkipWithError(("cannot read examples/talvor2/" + name + ".tv2").c_str());
    return;
  }
  auto work = std::make_unique<StrategyWorkspace>();
  ScatteringPattern pattern;
  SolutionStore store;
  SearchContext ctx{
      example.problem, *example.catalogue, pattern, VoteExponent(*example.catalogue), *work, store};
  for (auto _ : state) {
    for (const ScatteringPattern& p : example.patterns) {
      pattern = p;
      store.count = 0;
      RunStrategy(static_cast<IndexingStrategy>(strategy), ctx);
      benchmark::DoNotOptimize(store.entries[0].fit);
    }
  }
  state.counters["patterns/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(example.patterns.size()),
      benchmark::Counter::kIsRate);
}

void BM_BuildCatalogue(benchmark::State& state, const std::string& name) {
  const Example& example = Load(name);
  if (!example.ok) {
    state.SkipWithError(("cannot read examples/talvor2/" + name + ".tv2").c_str());
    return;
  }
  auto catalogue = std::make_unique<Catalogue>();
  for (auto _ : state) {
    BuildCatalogue(example.problem, *catalogue);
    benchmark::DoNotOptimize(catalogue->pairCount);
  }
}

// A generated map of 8-vector patterns of the default cubic crystal (10 %
// spurious, 0.3 degrees of noise), as .tv2 text.
const std::string& MapText(int strategy) {
  static std::string texts[5];
  std::string& text = texts[strategy];
  if (text.empty()) {
    tools::MapSettings map;
    map.width = 60;
    map.height = 50;
    map.patterns.minVectors = map.patterns.maxVectors = 8;
    map.patterns.spuriousFraction = 0.1;
    tools::RunParameters run;
    run.strategy = strategy;
    std::ostringstream input, truth;
    tools::WriteMap(input, truth, tools::DefaultCubic(), run, map);
    text = input.str();
  }
  return text;
}

// The whole pattern loop (reading, solving, handing back in order) on
// `threads` threads; compare the rates of 1 and 2 threads side by side.
void BM_MapThreads(benchmark::State& state, int strategy, int threads) {
  const std::string& text = MapText(strategy);
  OrientationProblem problem;
  auto catalogue = std::make_unique<Catalogue>();
  std::int64_t patterns = 0;
  for (auto _ : state) {
    std::istringstream in(text);
    common::FreeFormReader reader(in);
    SetDefaults(problem);
    std::ostringstream echo;
    ReadHeader(reader, "map.tv2", problem, echo);
    BuildCatalogue(problem, *catalogue);
    PatternCallbacks calls;
    calls.before = [](std::int32_t) {};
    calls.write = [&](const PatternSlot& slot) {
      benchmark::DoNotOptimize(slot.store.entries[0].fit);
      ++patterns;
    };
    RunPatternLoop(reader, "map.tv2", problem, *catalogue, threads, calls);
  }
  state.counters["patterns/s"] =
      benchmark::Counter(static_cast<double>(patterns), benchmark::Counter::kIsRate);
}

// Talvor2 as a program on 1e6 patterns of 8 vectors (default crystal,
// strategy 3, every hardware thread): wall time and peak resident memory of
// the run. The input (about 370 MB) is generated once into the build tree.
void BM_MillionPatterns(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path work = TALVOR2_BENCH_WORK;
  fs::create_directories(work);
  const fs::path input = work / "million.tv2";
  if (!fs::exists(input)) {
    const common::ProgramStatus made = common::run_program(
        {TALVOR2_PATTERNS_PROGRAM, "map", "default-cubic", (work / "million").string(), "1000",
         "1000", "4", "4", "1", "3", "0.1", "0.3", "8"});
    if (!made.succeeded()) {
      state.SkipWithError("cannot generate the million-pattern map");
      return;
    }
  }
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(work.c_str()) != 0) _exit(3);
      if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "r", stdin)) _exit(3);
      execl(TALVOR2_PROGRAM, "Talvor2", "million.tv2", static_cast<char*>(nullptr));
      _exit(3);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("Talvor2 failed on the million-pattern map");
      return;
    }
    state.SetIterationTime(seconds);
    state.counters["wall_s"] = seconds;
    state.counters["cpu_s"] =
        static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
        1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    state.counters["max_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  }
}

}  // namespace

BENCHMARK_CAPTURE(BM_MapThreads, strategy_1_threads_1, 1, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_MapThreads, strategy_1_threads_2, 1, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_MapThreads, strategy_2_threads_1, 2, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_MapThreads, strategy_2_threads_2, 2, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_MapThreads, strategy_3_threads_1, 3, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_MapThreads, strategy_3_threads_2, 3, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_MapThreads, strategy_4_threads_1, 4, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_MapThreads, strategy_4_threads_2, 4, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_MillionPatterns)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_CAPTURE(BM_Strategy, copper_strategy_1, std::string("copper"), 1);
BENCHMARK_CAPTURE(BM_Strategy, copper_strategy_2, std::string("copper"), 2);
BENCHMARK_CAPTURE(BM_Strategy, copper_strategy_3, std::string("copper"), 3);
BENCHMARK_CAPTURE(BM_Strategy, copper_strategy_4, std::string("copper"), 4);
BENCHMARK_CAPTURE(BM_Strategy, titanium_strategy_1, std::string("titanium"), 1);
BENCHMARK_CAPTURE(BM_Strategy, titanium_strategy_2, std::string("titanium"), 2);
BENCHMARK_CAPTURE(BM_Strategy, titanium_strategy_3, std::string("titanium"), 3);
BENCHMARK_CAPTURE(BM_Strategy, titanium_strategy_4, std::string("titanium"), 4);
BENCHMARK_CAPTURE(BM_BuildCatalogue, copper, std::string("copper"));
BENCHMARK_CAPTURE(BM_BuildCatalogue, titanium, std::string("titanium"));

BENCHMARK_MAIN();
