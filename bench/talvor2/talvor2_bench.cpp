// Patterns per second of the four indexing strategies on the example inputs (copper, titanium).
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/catalogue.hpp"
#include "common/free_form_reader.hpp"
#include "errors/report_fatal_error.hpp"
#include "input/input_file.hpp"
#include "strategies/strategies.hpp"

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
  SearchContext ctx{example.problem, *example.catalogue, pattern, VoteExponent(*example.catalogue),
                    *work, store};
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

}  // namespace

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
