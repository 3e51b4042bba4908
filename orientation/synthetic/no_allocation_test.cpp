// The per-pattern work of every strategy allocates no memory (counted by a replaced operator new).
// SPDX-License-Identifier: BSD-3-Clause
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <sstream>
#include <vector>

#include "orientation/catalogue/catalogue.hpp"
#include "common/free_form_reader.hpp"
#include "orientation/input/input_file.hpp"
#include "orientation/strategies/strategies.hpp"
#include "orientation/synthetic/pattern_generator.hpp"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace talvor {
namespace {

TEST(PerPatternWork, AllocatesNothing) {
  // The counting operator new is the one in use.
  const long probe = allocations.load();
  auto probe_object = std::make_unique<int>(0);
  ASSERT_GT(allocations.load(), probe);

  for (const char* name : {"copper", "titanium"}) {
    const tools::CrystalDescription crystal = tools::CrystalByName(name);
    tools::PatternSettings settings;
    settings.patternCount = 10;
    settings.spuriousFraction = 0.1;
    std::istringstream text(
        tools::FormatInput(crystal, {}, tools::GeneratePatterns(crystal, settings)));
    common::FreeFormReader reader(text);
    OrientationProblem problem;
    SetDefaults(problem);
    std::ostringstream echo;
    ReadHeader(reader, "generated.tv2", problem, echo);
    auto catalogue = std::make_unique<Catalogue>();
    BuildCatalogue(problem, *catalogue);
    std::vector<ScatteringPattern> patterns(settings.patternCount);
    for (int i = 0; i < settings.patternCount; ++i)
      ASSERT_EQ(ReadPattern(reader, i + 1, "generated.tv2", patterns[i]), PatternStatus::read);

    auto work = std::make_unique<StrategyWorkspace>();
    ScatteringPattern pattern;
    SolutionStore store;
    SearchContext ctx{problem, *catalogue, pattern, VoteExponent(*catalogue), *work, store};
    for (int strategy = 1; strategy <= 4; ++strategy) {
      const long before = allocations.load();
      for (const ScatteringPattern& p : patterns) {
        pattern = p;
        store.count = 0;
        RunStrategy(static_cast<IndexingStrategy>(strategy), ctx);
        ASSERT_EQ(store.count, 1);
      }
      EXPECT_EQ(allocations.load() - before, 0) << name << " strategy " << strategy;
    }
  }
}

}  // namespace
}  // namespace talvor
