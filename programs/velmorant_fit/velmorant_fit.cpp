// velmorant_fit: fits thickness, voltage and a small tilt of a Velmorant input to its experimental image.
//
//   velmorant_fit --vary thickness=1200:2200:100 [--vary voltage=195:205:2.5] [options]
//   mpirun -np K velmorant_fit ...      (the evaluations spread over K processes)
//
// Reads "VelmorantDS.dat" in the --input folder and the experimental image it
// names, scores a grid of the varied parameters, refines the best point,
// and writes into the --output folder: points.csv (every evaluation; a
// first line "# velmorant_fit <version>, <date>" says what made it, as in
// best.txt), best.txt, a VelmorantDS.dat of the best fit with a copy of the
// experimental image (run Velmorant there to reproduce the best point),
// best_simulation.bmp, and the pictures score.png and comparison.png.
// Nothing is written before the fit has finished; a fault in the command
// line or the input stops it with a message and exit status 1 (2 for a
// malformed command line).
// SPDX-License-Identifier: BSD-3-Clause
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/atomic_file.hpp"
#include "common/file_error.hpp"
#include "common/fixed_format.hpp"
#include "common/input_error.hpp"
#include "common/provenance.hpp"
#include "common/run_program.hpp"
#include "common/version.hpp"
#include "programs/command_line/command_line.hpp"
#include "simulator/compare/score.hpp"
#include "simulator/engine/pixel_pool.hpp"
#include "simulator/engine/simulation.hpp"
#include "simulator/fit/fit_run.hpp"
#include "simulator/image/correlate_with_experiment.hpp"
#include "simulator/image/experimental_image.hpp"
#include "simulator/image/image_path.hpp"
#include "simulator/image/write_file_whole.hpp"
#include "simulator/image/write_pattern_image.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "simulator/scattering/structure_factor.hpp"

namespace fs = std::filesystem;
using namespace velmorant;
using namespace velmorant::fit;

namespace {

using Clock = std::chrono::steady_clock;

std::string clock_text(double seconds) {
  const long s = std::lround(std::max(0.0, seconds));
  char b[32];
  std::snprintf(b, sizeof b, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return b;
}

// The progress bar on standard error, redrawn in place (terminals only).
class ProgressBar {
public:
  explicit ProgressBar(ScoreKind score) : score_(score) {}
  void operator()(Stage stage, int done, int planned, const EvaluatedPoint* best) {
    if (stage != stage_) stage_ = stage, start_ = Clock::now();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
    char line[160];
    const double best_score = best ? best->score(score_) : -1;
    if (stage == Stage::grid && planned > 0) {
      const int width = 30, filled = done * width / planned;
      std::snprintf(line, sizeof line, "\r  grid    [%s%s] %5d/%-5d  %s to go  best %.4f ",
                    std::string(std::size_t(filled), '#').c_str(),
                    std::string(std::size_t(width - filled), '-').c_str(), done, planned,
                    clock_text(done ? elapsed / done * (planned - done) : 0).c_str(), best_score);
    } else {
      std::snprintf(
          line, sizeof line, "\r  %-7s evaluation %d of at most %d  (%s at most to go)  best %.4f ",
          kStageNames[int(stage)], done, planned,
          clock_text(done ? elapsed / done * std::max(0, planned - done) : 0).c_str(), best_score);
    }
    std::fputs(line, stderr);
    std::fflush(stderr);
  }
  void finish() { std::fputs("\n", stderr); }

private:
  ScoreKind score_;
  Stage stage_ = Stage::final;
  Clock::time_point start_ = Clock::now();
};

std::string read_text(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The 512 x 512 field as seen in the written image (top row first), as floats.
void append_display_order(const std::vector<float>& element_values, std::vector<float>& out) {
  for (int y = 0; y < PatternImage::kSize; ++y)
    for (int x = 0; x < PatternImage::kSize; ++x)
      out.push_back(
          element_values[PatternImage::index(PatternImage::kSize - y, PatternImage::kSize - x)]);
}

fs::path plot_script() {
  std::error_code ec;
  const fs::path beside =
      fs::read_symlink("/proc/self/exe", ec).parent_path() / "velmorant_fit_plot.py";
  if (!ec && fs::exists(beside)) return beside;
  return VELMORANT_FIT_PLOT_SOURCE;
}

// The files a fit writes into its output folder (besides the copy of the
// experimental image, named as in the input).
constexpr const char* kFitFiles[] = {"points.csv",     "best.txt",  "best_simulation.bmp",
                                     "comparison.f32", "score.png", "comparison.png",
                                     kInputFileName};

// Where a fit's files go: a fresh folder beside the output folder, put in
// its place as a whole at the end, so that the output folder always holds
// one fit's files, also after a full disk or a kill in the middle.
struct OutputFolder {
  fs::path target;   // the --output folder
  fs::path staging;  // "<target>.velmorant-<pid>.tmp" beside it; empty until made
};

// Checks the output folder and makes the staging folder beside it, before
// anything is computed: a folder that cannot take new files is found now.
// An existing output folder may hold only a fit's files, which the new fit
// replaces; any other file there stops the fit (nothing of it is touched).
void prepare_output_folder(OutputFolder& out, const std::string& image_name) {
  if (fs::exists(out.target) && !fs::is_directory(out.target))
    throw common::FileError(out.target.string() + ": the output folder is a file",
                            out.target.string());
  if (fs::is_directory(out.target)) {
    for (const fs::directory_entry& e : fs::directory_iterator(out.target)) {
      const std::string name = e.path().filename().string();
      bool ours = name == image_name;
      for (const char* f : kFitFiles) ours = ours || name == f;
      if (!ours)
        throw common::FileError(
            out.target.string() + ": the output folder holds \"" + name +
                "\", which a fit does not write; a fit replaces its output folder as a "
                "whole, so give a new folder or one that holds an earlier fit only",
            out.target.string());
    }
  }
  const fs::path absolute = fs::absolute(out.target).lexically_normal();
  const fs::path name =
      absolute.has_filename() ? absolute.filename() : absolute.parent_path().filename();
  const fs::path parent =
      absolute.has_filename() ? absolute.parent_path() : absolute.parent_path().parent_path();
  std::error_code ec;
  fs::create_directories(parent, ec);
  if (ec)
    throw common::FileError(
        "cannot make the folder \"" + parent.string() + "\" for the output: " + ec.message(),
        parent.string());
  out.staging = parent / common::temporary_name(name.string(), long(::getpid()));
  fs::remove_all(out.staging, ec);
  if (!fs::create_directory(out.staging, ec) || ec)
    throw common::FileError("cannot write into the folder \"" + parent.string() +
                                "\" (for the output folder \"" + out.target.string() +
                                "\"): " + (ec ? ec.message() : std::string("it exists")),
                            parent.string());
}

// Puts the staging folder in the place of the output folder: one exchange of
// the two names where the output folder exists (the earlier fit is then
// removed), one rename where it does not.
void place_output_folder(OutputFolder& out) {
  const fs::path target = fs::absolute(out.target).lexically_normal();
  if (fs::exists(target)) {
    if (::renameat2(AT_FDCWD, out.staging.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) != 0)
      throw common::FileError("cannot put the results in place of \"" + out.target.string() +
                                  "\": " + std::strerror(errno) + "; they are complete in \"" +
                                  out.staging.string() + "\"",
                              out.target.string());
  } else if (::rename(out.staging.c_str(), target.c_str()) != 0) {
    throw common::FileError("cannot put the results at \"" + out.target.string() +
                                "\": " + std::strerror(errno) + "; they are complete in \"" +
                                out.staging.string() + "\"",
                            out.target.string());
  }
  std::error_code ec;
  fs::remove_all(out.staging, ec);  // the earlier fit, after an exchange
  out.staging.clear();
}

// Removes the staging folder of a fit that did not end (nothing of the
// output folder has been touched then).
void discard_output_folder(OutputFolder& out) {
  if (out.staging.empty()) return;
  std::error_code ec;
  fs::remove_all(out.staging, ec);
  out.staging.clear();
}

struct Arguments {
  std::vector<std::string> vary;
  std::string input = ".";
  std::string output = "velmorant_fit";
  std::string score = "pearson";
  int method = 2;
  bool final_full = false;
  int threads = 0;
  int max_evaluations = 60;
  double tolerance = 0.01;
  bool plots = true;
};

// `fitting` is set while several ranks compute: an error there may be one
// rank's alone, and the others would wait for it for ever.
int fit_main(TaskDistribution& ranks, Arguments& a, bool& plots_wanted, OutputFolder& output,
             bool& fitting) {
  const bool talk = ranks.rank() == 0;
  FitOptions options;
  // The library names a range as written; the option that carried it is this program's.
  if (a.vary.empty())
    throw FitError(
        "nothing to fit: give at least one --vary name=low:high:step (thickness, voltage, phi1, "
        "Phi, phi2)");
  try {
    for (const std::string& v : a.vary) options.ranges.push_back(parse_range(v));
    check_ranges(options.ranges);
  } catch (const FitError& e) {
    throw FitError(std::string("--vary ") + e.what());
  }
  options.score = a.score == "r" ? ScoreKind::r : ScoreKind::pearson;
  options.method = a.method;
  options.final_full = a.final_full;
  options.threads = a.threads > 0 ? a.threads : hardware_threads();
  options.max_evaluations = a.max_evaluations;
  options.tolerance = a.tolerance;

  // Everything is read and checked before anything is computed or written.
  const fs::path dir = a.input;
  auto in = std::make_unique<SimulationInput>();
  auto beams = std::make_unique<BeamList>();
  read_simulation_input(dir, *in, *beams);
  const std::string original = read_text(dir / kInputFileName);
  if (in->image_name.empty() || in->image_name == kNoExperiment)
    throw common::InputError(
        (dir / kInputFileName).string() + " names no experimental image (image name \"" +
            in->image_name +
            "\"); a fit compares with one: give its folder and name in the input's image lines "
            "(velmorant_input --image-folder DIR --image-name FILE writes them)",
        {(dir / kInputFileName).string()});
  fs::path image_path = experimental_image_path(*in);
  if (image_path.is_relative()) image_path = dir / image_path;
  const ExperimentalImage experiment = load_experimental_image(image_path.string());
  if (!experiment.usable()) {
    // A detector image of another size: say how to bring it to the simulated field.
    const bool size = experiment.problem.find("it must be 512 x 512") != std::string::npos;
    throw common::InputError(
        experiment.problem +
            (size ? "; ImageMagick resamples it (convert IN -resize 512x512! OUT.png) or crops "
                    "its centre (convert IN -gravity center -crop 512x512+0+0 +repage OUT.png), "
                    "where the cut or scaled image spans the input's field"
                  : ""),
        {image_path.string()});
  }
  const std::vector<float>& grey = experiment.grey;
  output.target = a.output;
  if (talk) prepare_output_folder(output, in->image_name);
  const fs::path& output_dir = output.staging;

  if (talk) {
    std::printf("velmorant_fit: %s, N = %d beams, method %d, score %s, %d rank(s) x %d thread(s)\n",
                (dir / kInputFileName).string().c_str(), beams->count, options.method,
                a.score.c_str(), ranks.size(), options.threads);
    std::fflush(stdout);
  }
  ProgressBar bar(options.score);
  const bool show = talk && isatty(STDERR_FILENO);
  FitProgress progress;
  if (show) progress = std::ref(bar);
  fitting = ranks.size() > 1;
  const FitResult result = run_fit(options, *in, *beams, grey, ranks, progress);
  fitting = false;
  if (show) bar.finish();
  if (!talk) return 0;

  // The best point once more, for its picture.
  const EvaluatedPoint& best = result.points[result.best];
  Simulation simulation(*in, *beams, options.threads);
  PatternImage pattern;
  simulation.compute(overrides_for(best.values, options.ranges),
                     static_cast<SamplingMethod>(best.method), pattern);

  const std::string made_by =
      "# " + common::provenance("velmorant_fit", common::utc_date_today()) + "\n";
  const std::string csv = made_by + points_csv(result);
  write_file_whole((output_dir / "points.csv").string(), csv.data(), csv.size(),
                   "the table of evaluated points");
  const std::string dat = best_fit_input(original, options, best);
  write_file_whole((output_dir / kInputFileName).string(), dat.data(), dat.size(),
                   "the best-fit input");
  const std::string image_bytes = read_text(image_path);
  write_file_whole((output_dir / in->image_name).string(), image_bytes.data(), image_bytes.size(),
                   "the copy of the experimental image");
  PatternImage scaled = pattern;
  scale_to_grey_levels(scaled);
  std::vector<std::uint8_t> bmp(kBmp8FileSize);
  encode_pattern_image(scaled, 8, bmp.data());
  write_file_whole((output_dir / "best_simulation.bmp").string(), bmp.data(), bmp.size(),
                   "the best simulation");
  {
    std::vector<float> grey_f(grey.begin(), grey.end()),
        sim(scaled.data(), scaled.data() + PatternImage::size());
    std::vector<float> both;
    append_display_order(grey_f, both);
    append_display_order(sim, both);
    write_file_whole((output_dir / "comparison.f32").string(), both.data(),
                     both.size() * sizeof(float), "the images of the comparison");
  }

  // The final table.
  std::ostringstream table;
  char line[200];
  std::snprintf(line, sizeof line, "%-12s %-5s %14s %12s %12s %10s\n", "parameter", "unit", "best",
                "grid low", "grid high", "step");
  table << line;
  for (const ParameterRange& r : options.ranges) {
    const auto p = std::size_t(r.parameter);
    std::snprintf(line, sizeof line, "%-12s %-5s %14s %12g %12g %10g\n", kParameterNames[p],
                  kParameterUnits[p], common::shortest_text(float(best.values[p])).c_str(), r.low,
                  r.high, r.step);
    table << line;
  }
  int counts[3] = {0, 0, 0};
  for (const EvaluatedPoint& p : result.points) ++counts[int(p.stage)];
  std::snprintf(line, sizeof line,
                "best: pearson %.6f  r %s  (method %d, %s point)\nwavelength %s A\n"
                "evaluations: %d grid, %d refinement, %d final\n",
                best.pearson, common::shortest_text(best.r).c_str(), best.method,
                kStageNames[int(best.stage)], common::shortest_text(best.wavelength).c_str(),
                counts[0], counts[1], counts[2]);
  table << line;
  table << "reproduce: cd " << output.target.string() << " && Velmorant " << best.method
        << "   (VelmorantDS.res then holds r)\n";
  const std::string best_text = table.str(), best_file = made_by + best_text;
  write_file_whole((output_dir / "best.txt").string(), best_file.data(), best_file.size(),
                   "the best parameters");
  std::fputs(best_text.c_str(), stdout);
  std::printf("written: %s/{points.csv, best.txt, %s, %s, best_simulation.bmp, comparison.f32%s}\n",
              output.target.string().c_str(), kInputFileName, in->image_name.c_str(),
              a.plots ? ", score.png, comparison.png" : "");
  plots_wanted = a.plots;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  auto ranks = make_task_distribution(argc, argv);
  const bool talk = ranks->rank() == 0;
  Arguments a;
  CLI::App app{
      "velmorant_fit: fits the thickness, the accelerating voltage and a small tilt of a "
      "Velmorant input (VelmorantDS.dat) to its experimental image"};
  app.add_option("--vary", a.vary,
                 "a varied parameter and its grid: name=low:high:step with name thickness (A), "
                 "voltage (kV), "
                 "phi1, Phi or phi2 (degrees); repeat for several")
      ->required();
  app.add_option("--input", a.input,
                 "folder of VelmorantDS.dat (its image folder is taken from there)");
  app.add_option("--output", a.output, "folder for the results (created; its files are replaced)");
  app.add_option("--score", a.score,
                 "pearson (mean-free, default) or r (about mid grey, as Velmorant)")
      ->check(CLI::IsMember({"pearson", "r"}));
  app.add_option("--method", a.method,
                 "sampling method of the grid and the refinement: 0, 1 or 2 (default)")
      ->check(CLI::Range(0, 2));
  app.add_flag("--final-full", a.final_full,
               "evaluate the best point once more with method 0 (every pixel)");
  app.add_option("--threads", a.threads, "threads per process (default: every hardware thread)")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--max-evaluations", a.max_evaluations,
                 "largest number of refinement points (0: grid only)")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--tolerance", a.tolerance, "refinement stops at this fraction of each grid step")
      ->check(CLI::PositiveNumber);
  app.add_flag("!--no-plots", a.plots, "do not draw score.png and comparison.png");
  app.set_version_flag("--version", common::program_version("velmorant_fit"));
  app.allow_extras();
  if (talk) {
    if (const int status = programs::parse_command_line(app, argc, argv, "velmorant_fit");
        status >= 0)
      return status;
  } else {  // the other ranks end as rank 0 does, silently
    try {
      app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
      return e.get_exit_code() == 0 ? 0 : programs::kBadCommandLine;
    }
    if (!app.remaining().empty()) return programs::kBadCommandLine;
  }
  bool plots = false, fitting = false;
  OutputFolder output;
  int status = 0;
  try {
    status = fit_main(*ranks, a, plots, output, fitting);
  } catch (const SingularBasis& e) {
    if (talk) std::fprintf(stderr, "velmorant_fit: %s: %s\n", kInputFileName, e.what());
    status = 1;
  } catch (const std::exception& e) {
    if (talk || fitting) std::fprintf(stderr, "velmorant_fit: %s\n", e.what());
    status = 1;
    if (fitting) ranks->abort(status);
  }
  ranks.reset();  // ends MPI before a process is started for the pictures
  if (status != 0 || !talk) {
    discard_output_folder(output);
    return status;
  }
  if (plots) {
    // The script is started without a shell: the folder name reaches it as typed.
    const std::string python = *VELMORANT_FIT_PYTHON ? VELMORANT_FIT_PYTHON : "python3";
    const common::ProgramStatus drawn =
        common::run_program({python, plot_script().string(), output.staging.string(), a.score});
    if (!drawn.succeeded())
      std::fprintf(
          stderr,
          "velmorant_fit: the pictures were not drawn (%s; python3 with matplotlib, Debian package "
          "python3-matplotlib, is needed); the results are complete. Draw them later with\n  %s\n",
          drawn.failure.c_str(),
          common::shell_words({python, plot_script().string(), output.target.string(), a.score})
              .c_str());
  }
  try {
    place_output_folder(output);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmorant_fit: %s\n", e.what());
    return 1;
  }
  return status;
}
