// One fit: the coarse grid, the local refinement, the optional final full-method point, and its record.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/fit/fit_run.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>

#include "common/fixed_format.hpp"
#include "simulator/engine/pattern_image.hpp"
#include "simulator/compare/score.hpp"
#include "simulator/fit/search.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "simulator/scattering/electron_form_factor.hpp"

namespace velmorant::fit {

namespace {

using Clock = std::chrono::steady_clock;

// One unit of work handed to a rank: one point, or a thickness series
// starting at values[0] with `series` members (0: a single point).
struct Task {
  FitValues values{};
  int method = 2;
  Stage stage = Stage::grid;
  int series = 0;
  double series_step = 0;  // Å
};

constexpr std::size_t kPointDoubles = 11;

// Thickness-series patterns held at once by one rank (1 MiB each).
constexpr int kSeriesChunk = 64;

void pack(const EvaluatedPoint& p, std::vector<double>& out) {
  out.push_back(double(int(p.stage)));
  out.push_back(double(p.method));
  out.insert(out.end(), p.values.begin(), p.values.end());
  out.push_back(double(p.wavelength));
  out.push_back(double(p.r));
  out.push_back(p.pearson);
  out.push_back(p.seconds);
}

std::vector<EvaluatedPoint> unpack(const std::vector<double>& in) {
  std::vector<EvaluatedPoint> points;
  for (std::size_t k = 0; k + kPointDoubles <= in.size(); k += kPointDoubles) {
    EvaluatedPoint p;
    p.stage = Stage(int(in[k]));
    p.method = int(in[k + 1]);
    for (int q = 0; q < kParameterCount; ++q) p.values[std::size_t(q)] = in[k + 2 + std::size_t(q)];
    p.wavelength = float(in[k + 7]);
    p.r = float(in[k + 8]);
    p.pearson = in[k + 9];
    p.seconds = in[k + 10];
    points.push_back(p);
  }
  return points;
}

class Fitter {
public:
  Fitter(const FitOptions& options, const SimulationInput& in, const BeamList& beams,
         const std::vector<float>& grey, TaskDistribution& distribution,
         const FitProgress& progress)
      : options_(options),
        simulation_(in, beams, options.threads),
        grey_(grey),
        distribution_(distribution),
        progress_(progress),
        file_(file_values(in)) {}

  FitResult run() {
    grid();
    refine();
    // A grid point of a thickness series is a little more accurate than a
    // pattern of the method (thickness_series.hpp): the best point is
    // computed once more as the program computes it, so that Velmorant
    // reproduces its r; with final_full by method 0.
    const EvaluatedPoint& best = result_.points[result_.best];
    const bool from_series = best.stage == Stage::grid && thickness_varied();
    if (options_.final_full || from_series) {
      Task t;
      t.values = best.values;
      t.method = options_.final_full ? 0 : options_.method;
      t.stage = Stage::final;
      const std::size_t at = result_.points.size();
      run_tasks({t});
      result_.best = at;
    }
    return std::move(result_);
  }

private:
  // Evaluates the tasks spread over the ranks and appends their points in
  // task order; returns the index of the first appended point.
  std::size_t run_tasks(const std::vector<Task>& tasks) {
    std::vector<std::pair<int, std::vector<double>>> mine;
    int planned = 0;
    for (const Task& t : tasks) planned += std::max(1, t.series);
    int done = 0;
    for (std::size_t k = 0; k < tasks.size(); ++k) {
      if (!distribution_.mine(int(k))) continue;
      std::vector<double> packed;
      for (const EvaluatedPoint& p : evaluate(tasks[k])) pack(p, packed);
      mine.emplace_back(int(k), std::move(packed));
      // A rank's share stands for the whole batch in the bar.
      done += std::max(1, tasks[k].series) * distribution_.size();
      if (progress_) progress_(tasks[k].stage, std::min(done, planned), planned, best_so_far());
    }
    const std::size_t first = result_.points.size();
    for (const std::vector<double>& v : distribution_.gather(int(tasks.size()), mine))
      for (const EvaluatedPoint& p : unpack(v)) result_.points.push_back(p);
    for (std::size_t k = first; k < result_.points.size(); ++k)
      if (k == 0 || result_.points[k].score(options_.score) >
                        result_.points[result_.best].score(options_.score))
        result_.best = k;
    return first;
  }

  bool thickness_varied() const {
    for (const ParameterRange& r : options_.ranges)
      if (r.parameter == Parameter::thickness) return true;
    return false;
  }

  const EvaluatedPoint* best_so_far() const {
    return result_.points.empty() ? nullptr : &result_.points[result_.best];
  }

  std::vector<EvaluatedPoint> evaluate(const Task& t) {
    const auto start = Clock::now();
    std::vector<EvaluatedPoint> out;
    const Overrides o = overrides_for(t.values, options_.ranges);
    simulation_.prepare(o);
    EvaluatedPoint p;
    p.stage = t.stage;
    p.method = t.method;
    p.values = t.values;
    p.wavelength = simulation_.input().wavelength;
    if (t.series > 0) {
      // Scored as they come, at most kSeriesChunk patterns at a time: the
      // memory does not grow with the number of thicknesses (1 MiB each).
      const ThicknessSeries series{float(t.values[0]), float(t.series_step), t.series};
      for (int first = 0; first < t.series; first += kSeriesChunk) {
        const ThicknessSeries chunk{series.thickness(first), series.step,
                                    std::min(kSeriesChunk, t.series - first)};
        simulation_.compute_series(static_cast<SamplingMethod>(t.method), chunk, images_);
        for (int k = 0; k < chunk.count; ++k) {
          p.values[0] = double(series.thickness(first + k));
          const Scores s = score_pattern(grey_, images_[std::size_t(k)]);
          p.r = s.r;
          p.pearson = s.pearson;
          out.push_back(p);
        }
      }
      const double seconds = std::chrono::duration<double>(Clock::now() - start).count() / t.series;
      for (EvaluatedPoint& q : out) q.seconds = seconds;
    } else {
      simulation_.compute(static_cast<SamplingMethod>(t.method), image_);
      const Scores s = score_pattern(grey_, image_);
      p.r = s.r;
      p.pearson = s.pearson;
      p.seconds = std::chrono::duration<double>(Clock::now() - start).count();
      out.push_back(p);
    }
    return out;
  }

  void grid() {
    // The thickness, when varied, is the series inside every task.
    const ParameterRange* thickness = nullptr;
    std::vector<const ParameterRange*> outer;
    for (const ParameterRange& r : options_.ranges) {
      if (r.parameter == Parameter::thickness)
        thickness = &r;
      else
        outer.push_back(&r);
    }
    std::vector<Task> tasks;
    std::vector<int> index(outer.size(), 0);
    for (;;) {
      Task t;
      t.values = file_;
      t.method = options_.method;
      for (std::size_t q = 0; q < outer.size(); ++q)
        t.values[std::size_t(outer[q]->parameter)] = outer[q]->value(index[q]);
      if (thickness) {
        t.values[0] = thickness->value(0);
        t.series = thickness->count();
        t.series_step = double(float(thickness->step));
      }
      tasks.push_back(t);
      // Next combination, the last parameter fastest.
      int q = int(outer.size()) - 1;
      while (q >= 0 && ++index[std::size_t(q)] == outer[std::size_t(q)]->count())
        index[std::size_t(q--)] = 0;
      if (q < 0) break;
    }
    run_tasks(tasks);
  }

  void refine() {
    const std::size_t n = options_.ranges.size();
    if (options_.max_evaluations <= 0) return;
    const EvaluatedPoint start = result_.points[result_.best];
    Point x(n), scale(n), low(n), high(n);
    for (std::size_t q = 0; q < n; ++q) {
      const ParameterRange& r = options_.ranges[q];
      x[q] = start.values[std::size_t(r.parameter)];
      scale[q] = r.step;
      low[q] = r.low;
      high[q] = std::max(r.low, r.value(r.count() - 1));
    }
    int done = 0;
    const BatchScore f = [&](const std::vector<Point>& batch) {
      std::vector<Task> tasks;
      for (const Point& p : batch) {
        Task t;
        t.values = start.values;
        for (std::size_t q = 0; q < n; ++q)
          t.values[std::size_t(options_.ranges[q].parameter)] = p[q];
        t.values = to_float_precision(t.values);
        t.method = options_.method;
        t.stage = Stage::refine;
        tasks.push_back(t);
      }
      const std::size_t first = run_tasks(tasks);
      done += int(batch.size());
      if (progress_) progress_(Stage::refine, done, options_.max_evaluations, best_so_far());
      std::vector<double> scores;
      for (std::size_t k = first; k < result_.points.size(); ++k)
        scores.push_back(result_.points[k].score(options_.score));
      return scores;
    };
    const double s0 = start.score(options_.score);
    if (n == 1) {
      golden_section(std::max(low[0], x[0] - scale[0]), std::min(high[0], x[0] + scale[0]),
                     options_.tolerance * scale[0], options_.max_evaluations, x[0], s0, f);
    } else {
      Point half(n);
      for (std::size_t q = 0; q < n; ++q) half[q] = scale[q] / 2;
      nelder_mead(x, s0, half, low, high, options_.tolerance * 2, options_.max_evaluations, f);
    }
  }

  const FitOptions& options_;
  Simulation simulation_;
  const std::vector<float>& grey_;
  TaskDistribution& distribution_;
  const FitProgress& progress_;
  FitValues file_;
  FitResult result_;
  PatternImage image_;
  std::vector<PatternImage> images_;
};

std::string replace_lines(const std::string& text,
                          const std::vector<std::pair<int, std::string>>& lines) {
  std::istringstream in(text);
  std::string out, line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    for (const auto& [n, replacement] : lines)
      if (n == number) line = replacement;
    out += line;
    out += '\n';
  }
  return out;
}

}  // namespace

FitResult run_fit(const FitOptions& options, const SimulationInput& in, const BeamList& beams,
                  const std::vector<float>& grey, TaskDistribution& distribution,
                  const FitProgress& progress) {
  check_ranges(options.ranges);
  Fitter fitter(options, in, beams, grey, distribution, progress);
  return fitter.run();
}

std::string points_csv(const FitResult& result) {
  std::string csv =
      "stage,method,thickness_A,voltage_kV,wavelength_A,phi1_deg,Phi_deg,phi2_deg,r,pearson,"
      "seconds\n";
  char buffer[64];
  for (const EvaluatedPoint& p : result.points) {
    csv += kStageNames[int(p.stage)];
    csv += ',' + std::to_string(p.method);
    for (int q = 0; q < kParameterCount; ++q) {
      csv += ',' + common::shortest_text(float(p.values[std::size_t(q)]));
      if (q == 1) csv += ',' + common::shortest_text(p.wavelength);
    }
    csv += ',' + common::shortest_text(p.r);
    std::snprintf(buffer, sizeof buffer, ",%.9f,%.3f\n", p.pearson, p.seconds);
    csv += buffer;
  }
  return csv;
}

std::string best_fit_input(const std::string& original, const FitOptions& options,
                           const EvaluatedPoint& best) {
  std::istringstream text(original);
  SimulationInput in;
  InputLines lines;
  parse_simulation_input(text, kInputFileName, in, &lines);
  std::vector<std::pair<int, std::string>> replace{{lines.image_directory, "  ."}};
  bool euler = false;
  for (const ParameterRange& r : options.ranges) {
    if (r.parameter == Parameter::thickness)
      replace.emplace_back(lines.thickness, "  " + common::shortest_text(float(best.values[0])));
    else if (r.parameter == Parameter::voltage)
      replace.emplace_back(lines.wavelength, "  " + common::shortest_text(best.wavelength));
    else
      euler = true;
  }
  if (euler)
    replace.emplace_back(lines.euler_angles,
                         "  " + common::shortest_text(float(best.values[2])) + " " +
                             common::shortest_text(float(best.values[3])) + " " +
                             common::shortest_text(float(best.values[4])));
  return replace_lines(original, replace);
}

}  // namespace velmorant::fit
