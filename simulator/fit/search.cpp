// Local refinement of a grid's best point: golden-section search in one dimension, Nelder–Mead in several.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/fit/search.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace velmorant::fit {

namespace {

struct Vertex {
  Point x;
  double score;
};

}  // namespace

SearchResult golden_section(double low, double high, double tolerance, int max_evaluations,
                            double known, double known_score, const BatchScore& f) {
  const double ratio = (std::sqrt(5.0) - 1.0) / 2.0;  // 0.618...
  SearchResult result{{known}, known_score, 0};
  auto keep = [&result](double x, double s) {
    if (s > result.score) result.best = {x}, result.score = s;
  };
  double a = low, b = high;
  if (!(b - a > tolerance) || max_evaluations < 2) return result;
  double c = b - ratio * (b - a), d = a + ratio * (b - a);
  const std::vector<double> first = f({{c}, {d}});
  double fc = first[0], fd = first[1];
  result.evaluations = 2;
  keep(c, fc);
  keep(d, fd);
  while (b - a > tolerance && result.evaluations < max_evaluations) {
    if (fc >= fd) {  // the maximum lies in [a, d]
      b = d, d = c, fd = fc;
      c = b - ratio * (b - a);
      fc = f({{c}})[0];
      keep(c, fc);
    } else {  // in [c, b]
      a = c, c = d, fc = fd;
      d = a + ratio * (b - a);
      fd = f({{d}})[0];
      keep(d, fd);
    }
    ++result.evaluations;
  }
  return result;
}

namespace {

// One Nelder–Mead descent from `start`, adding to `result`.
void nelder_mead_round(const Point& start, double start_score, const Point& scale, const Point& low,
                       const Point& high, double tolerance, int max_evaluations,
                       const BatchScore& f, SearchResult& result) {
  const std::size_t n = start.size();
  auto clamp = [&](Point x) {
    for (std::size_t i = 0; i < n; ++i) x[i] = std::clamp(x[i], low[i], high[i]);
    return x;
  };
  auto score = [&](const std::vector<Point>& batch) {
    std::vector<double> s = f(batch);
    result.evaluations += int(batch.size());
    for (std::size_t k = 0; k < batch.size(); ++k)
      if (s[k] > result.score) result.best = batch[k], result.score = s[k];
    return s;
  };
  std::vector<Vertex> simplex{{start, start_score}};
  {
    std::vector<Point> batch;
    for (std::size_t i = 0; i < n; ++i) {
      Point x = start;
      x[i] += scale[i];
      if (x[i] > high[i]) x[i] = start[i] - scale[i];  // stay inside the range
      batch.push_back(clamp(x));
    }
    const std::vector<double> s = score(batch);
    for (std::size_t i = 0; i < n; ++i) simplex.push_back({batch[i], s[i]});
  }
  auto by_score = [](const Vertex& p, const Vertex& q) { return p.score > q.score; };
  auto combine = [&](const Point& centre, const Point& worst, double t) {
    Point x(n);
    for (std::size_t i = 0; i < n; ++i) x[i] = centre[i] + t * (worst[i] - centre[i]);
    return clamp(x);
  };
  while (result.evaluations < max_evaluations) {
    std::stable_sort(simplex.begin(), simplex.end(), by_score);
    bool small = true;
    for (std::size_t v = 1; v <= n; ++v)
      for (std::size_t i = 0; i < n; ++i)
        if (std::fabs(simplex[v].x[i] - simplex[0].x[i]) > tolerance * scale[i]) small = false;
    if (small) break;
    Point centre(n, 0.0);
    for (std::size_t v = 0; v < n; ++v)
      for (std::size_t i = 0; i < n; ++i) centre[i] += simplex[v].x[i] / double(n);
    Vertex& worst = simplex[n];
    const Point reflected = combine(centre, worst.x, -1.0);
    const double fr = score({reflected})[0];
    if (fr > simplex[0].score) {
      const Point expanded = combine(centre, worst.x, -2.0);
      const double fe = score({expanded})[0];
      worst = fe > fr ? Vertex{expanded, fe} : Vertex{reflected, fr};
    } else if (fr > simplex[n - 1].score) {
      worst = {reflected, fr};
    } else {
      const bool outside = fr > worst.score;
      const Point contracted = combine(centre, outside ? reflected : worst.x, 0.5);
      const double fc = score({contracted})[0];
      if (fc > std::max(fr, worst.score)) {
        worst = {contracted, fc};
      } else {  // shrink towards the best vertex, one batch
        std::vector<Point> batch;
        for (std::size_t v = 1; v <= n; ++v)
          batch.push_back(combine(simplex[0].x, simplex[v].x, 0.5));
        const std::vector<double> s = score(batch);
        for (std::size_t v = 1; v <= n; ++v) simplex[v] = {batch[v - 1], s[v - 1]};
      }
    }
  }
}

}  // namespace

SearchResult nelder_mead(const Point& start, double start_score, const Point& scale,
                         const Point& low, const Point& high, double tolerance, int max_evaluations,
                         const BatchScore& f) {
  // A simplex can collapse before it reaches the maximum, in a long valley
  // above all: a new simplex of the first size is started from the best
  // point as long as the previous round improved it (at most 4 rounds).
  SearchResult result{start, start_score, 0};
  for (int round = 0; round < 4 && result.evaluations < max_evaluations; ++round) {
    const double before = result.score;
    const Point from = result.best;
    nelder_mead_round(from, before, scale, low, high, tolerance, max_evaluations, f, result);
    if (round > 0 && !(result.score > before)) break;
  }
  return result;
}

}  // namespace velmorant::fit
