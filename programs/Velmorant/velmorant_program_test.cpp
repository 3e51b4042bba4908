// Whole-program runs of Velmorant in a scratch working directory on a tiny crystal.
// SPDX-License-Identifier: BSD-3-Clause
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#ifdef VELMORANT_HAVE_TIFF
#include <tiffio.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "programs/Velmorant/app_test_support.hpp"
#include "common/provenance.hpp"
#include "programs/Velmorant/result_file.hpp"
#include "simulator/engine/pattern_computation.hpp"
#include "simulator/engine/simulation.hpp"
#include "simulator/image/beam_files.hpp"
#include "simulator/image/correlate_with_experiment.hpp"
#include "simulator/image/encode_image.hpp"
#include "simulator/image/experimental_image.hpp"
#include "simulator/image/pixel_order.hpp"
#include "simulator/image/write_pattern_image.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "simulator/progress/silent_presentation.hpp"

namespace velmorant {
namespace {

using testing::read_bytes;
using testing::read_text;
using testing::ScratchFolder;
using testing::tiny_input;
using testing::TinyCrystal;
using testing::write_bytes;
using testing::write_text;
using Bytes = std::vector<std::uint8_t>;

struct ProgramRun {
  int status = -1;
  std::string out, err;
};

// Runs `program` in `dir` with the silent presentation and no standard input.
ProgramRun run_program(const std::filesystem::path& dir, const std::vector<std::string>& args,
                       const char* program = VELMORANT_PROGRAM, bool raw = false,
                       const std::vector<std::pair<std::string, std::string>>& environment = {}) {
  ScratchFolder logs;
  const std::string out_path = logs / "out", err_path = logs / "err";
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(120);
    int in = ::open("/dev/null", O_RDONLY);
    int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(121);
    ::dup2(in, 0), ::dup2(out, 1), ::dup2(err, 2);
    ::setenv("VELMORANT_PRESENTATION", "silent", 1);
    ::unsetenv("VELMORANT_DIAGNOSTICS");
    ::unsetenv("VELMORANT_LONG_SEARCH");
    if (raw)
      ::setenv("VELMORANT_RAW", "1", 1);
    else
      ::unsetenv("VELMORANT_RAW");
    ::unsetenv("VELMORANT_BEAMS");
    ::unsetenv("VELMORANT_BEAMS_APERTURE");
    for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program, argv.data());
    ::_exit(122);
  }
  ProgramRun run;
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  run.out = read_text(out_path);
  run.err = read_text(err_path);
  return run;
}

std::vector<std::string> entries(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<float> reals(const std::string& line) {
  std::istringstream s(line);
  std::vector<float> v;
  float x;
  while (s >> x) v.push_back(x);
  return v;
}

// The transmitted intensities of `crystal` computed in-process with `method`.
PatternImage computed_pattern(const TinyCrystal& crystal, int method) {
  ScratchFolder dir;
  write_text(dir / "VelmorantDS.dat", tiny_input(crystal));
  auto in = std::make_unique<SimulationInput>();
  auto beams = std::make_unique<BeamList>();
  read_simulation_input(dir.path(), *in, *beams);
  ProgressState progress;
  SilentPresentation silent;
  RunControl control(progress, silent);
  PatternImage image;
  compute_pattern(*in, *beams, static_cast<SamplingMethod>(method), control, image);
  return image;
}

// The pattern of `crystal` computed in-process with `method` and scaled, as
// the program would write it (image_bits of the crystal).
Bytes expected_image(const TinyCrystal& crystal, int method) {
  PatternImage image = computed_pattern(crystal, method);
  scale_to_grey_levels(image);
  Bytes bytes(encoded_size(crystal.image_bits));
  encode_pattern_image(image, crystal.image_bits, bytes.data());
  return bytes;
}

class Program : public ::testing::Test {
protected:
  ScratchFolder work;
  // The "experiment": the same crystal 100 Å thinner, method 2.
  static const Bytes& experiment() {
    static const Bytes bytes = expected_image(TinyCrystal{.thickness = 300.0f}, 2);
    return bytes;
  }
  void prepare(const TinyCrystal& crystal, bool with_experiment = true) {
    write_text(work / "VelmorantDS.dat", tiny_input(crystal));
    if (with_experiment) write_bytes(work / "experiment.bmp", experiment());
  }
  std::string result() const { return read_text(work / "VelmorantDS.res"); }
};

TEST_F(Program, EstimateQueryWritesThreeEstimatesAndNoImage) {
  const std::vector<std::vector<std::string>> queries = {{},     {"12"},  {"3"},
                                                         {"-1"}, {"1.0"}, {" 1"}};
  for (const auto& args : queries) {
    const std::string what = args.empty() ? "no argument" : '"' + args[0] + '"';
    prepare(TinyCrystal{});
    write_text(work / "VelmorantDS.res", "an earlier result\n");
    const ProgramRun run = run_program(work.path(), args);
    EXPECT_EQ(run.status, 0) << what << run.err;
    EXPECT_EQ(run.err, "") << what;
    const std::string line = result();
    // The same three estimates on standard output.
    EXPECT_EQ(run.out, "Estimated run time (s) of methods 0, 1, 2:" + line) << what;
    ASSERT_EQ(line.substr(0, 1), " ") << what << line;
    ASSERT_EQ(line.back(), '\n');
    const std::vector<float> e = reals(line);
    ASSERT_EQ(e.size(), 3u) << what << line;
    // A tiny crystal can finish its 312 calibration pixels within one hundredth: 0 s.
    for (float x : e) EXPECT_TRUE(std::isfinite(x) && x >= 0.0f) << what << line;
    EXPECT_EQ(entries(work.path()),
              (std::vector<std::string>{"VelmorantDS.dat", "VelmorantDS.res", "experiment.bmp"}))
        << what;
  }
}

TEST_F(Program, EachMethodWritesItsImageAndTheCorrelation) {
  const struct {
    const char* argument;
    int method;
    int image_bits;
  } cases[] = {{"0", 0, 8}, {"1", 1, 8}, {"2", 2, 24}};
  for (const auto& c : cases) {
    const TinyCrystal crystal{.image_bits = c.image_bits};
    prepare(crystal);
    const ProgramRun run = run_program(work.path(), {c.argument});
    const std::string what =
        std::string("method ") + c.argument + ", " + std::to_string(c.image_bits) + " bits";
    EXPECT_EQ(run.status, 0) << what << run.err;
    EXPECT_EQ(run.out, "") << what;
    EXPECT_EQ(run.err, "") << what;
    const std::vector<float> r = reals(result());
    ASSERT_EQ(r.size(), 1u) << what << result();
    // The same crystal 100 Å thinner: alike, but not the same.
    EXPECT_GT(r[0], 0.5f) << what;
    EXPECT_LT(r[0], 1.0f) << what;
    EXPECT_EQ(read_bytes(work / "DS_experiment.bmp"), expected_image(crystal, c.method)) << what;
    EXPECT_EQ(entries(work.path()),
              (std::vector<std::string>{"DS_experiment.bmp", "VelmorantDS.dat", "VelmorantDS.res",
                                        "experiment.bmp"}))
        << what;
  }
}

TEST_F(Program, OwnImageAsExperimentGivesNearlyOne) {
  prepare(TinyCrystal{});
  write_bytes(work / "experiment.bmp", expected_image(TinyCrystal{}, 2));
  const ProgramRun run = run_program(work.path(), {"2"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<float> r = reals(result());
  ASSERT_EQ(r.size(), 1u);
  EXPECT_GT(r[0], 0.999f);
  EXPECT_LE(r[0], 1.0f);
}

// The experiment as a PNG or TIFF of every depth: the simulated image is
// written in the experiment's format and depth, holds the same pattern as the
// BMP would, and r is the BMP experiment's r (to the bit where the file holds
// the same integer grey levels).
TEST_F(Program, ExperimentInEveryFormatGivesTheBmpResult) {
  if (!format_built(ImageFormat::png) || !format_built(ImageFormat::tiff))
    GTEST_SKIP() << "built without libpng or libtiff";
  prepare(TinyCrystal{});
  ASSERT_EQ(run_program(work.path(), {"2"}).status, 0);
  const std::vector<float> r_bmp = reals(result());
  ASSERT_EQ(r_bmp.size(), 1u);
  const std::vector<float> grey_bmp = read_experimental_image(work / "DS_experiment.bmp");
  // The experiment's grey levels as an image, to be written in each format.
  const std::vector<float> levels = read_experimental_image(work / "experiment.bmp");
  PatternImage experiment;
  std::copy(levels.begin(), levels.end(), experiment.data());
  const struct {
    const char* name;
    bool png;
    int bits;
    const char* signature;
    bool same_levels;
  } cases[] = {
      {"e.png", true, 8, "\x89PNG", true}, {"e.png", true, 16, "\x89PNG", true},
      {"e.tif", false, 8, "II*", true},    {"e.tif", false, 16, "II*", true},
      {"e.tif", false, 32, "II*", false},  // stretched from its own extremes
  };
  for (const auto& c : cases) {
    const std::string what = std::string(c.name) + " " + std::to_string(c.bits);
    write_text(work / "VelmorantDS.dat", tiny_input(TinyCrystal{.name = c.name}));
    write_bytes(work / c.name,
                c.png ? encode_png(experiment, c.bits) : encode_tiff(experiment, c.bits));
    const ProgramRun run = run_program(work.path(), {"2"});
    ASSERT_EQ(run.status, 0) << what << run.err;
    EXPECT_EQ(run.err, "") << what;
    const std::vector<float> r = reals(result());
    ASSERT_EQ(r.size(), 1u) << what;
    if (c.same_levels)
      EXPECT_EQ(r[0], r_bmp[0]) << what;
    else
      EXPECT_NEAR(r[0], r_bmp[0], 1e-4f) << what;
    const std::string written = work / (std::string("DS_") + c.name);
    const Bytes bytes = read_bytes(written);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + int(std::strlen(c.signature))),
              c.signature)
        << what;
    const ExperimentalImage back = load_experimental_image(written);
    ASSERT_TRUE(back.usable()) << back.problem;
    EXPECT_EQ(back.bits, c.bits) << what;
    float worst = 0.0f;
    for (std::size_t k = 0; k < PatternImage::kPixels; ++k)
      worst = std::max(worst, std::fabs(back.grey[k] - grey_bmp[k]));
    EXPECT_LE(worst, 0.5f) << what;  // the BMP holds the rounded levels
  }
}

// Without an experimental image ("-" as its name) the pattern is computed
// and written as DS_pattern.bmp, r = 2.0 with one line saying why, exit 0.
TEST_F(Program, NoExperimentWritesThePatternAndTwo) {
  const TinyCrystal crystal{.name = "-"};
  prepare(crystal, false);
  const ProgramRun run = run_program(work.path(), {"2"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err,
            "Velmorant: r = 2.0: no experimental image is named (image name \"-\" or empty); the "
            "pattern is in "
            "\"./DS_pattern.bmp\"\n");
  EXPECT_EQ(result(), " 2.0\n");
  EXPECT_EQ(read_bytes(work / "DS_pattern.bmp"), expected_image(crystal, 2));
  EXPECT_EQ(entries(work.path()),
            (std::vector<std::string>{"DS_pattern.bmp", "VelmorantDS.dat", "VelmorantDS.res"}));
}

// VELMORANT_RAW=1 writes the unscaled intensities beside the grey image, to
// the bit; the grey image and r are those of a run without it.
TEST_F(Program, RawSwitchWritesTheIntensitiesAsFloatTiff) {
  if (!format_built(ImageFormat::png) || !format_built(ImageFormat::tiff))
    GTEST_SKIP() << "built without libpng or libtiff";
  const TinyCrystal crystal;
  prepare(crystal);
  ASSERT_EQ(run_program(work.path(), {"2"}).status, 0);
  const std::string r_plain = result();
  const ProgramRun run = run_program(work.path(), {"2"}, VELMORANT_PROGRAM, true);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("wrote ./DS_experiment_raw.tif (VELMORANT_RAW=1)"), std::string::npos)
      << run.err;
  EXPECT_EQ(result(), r_plain);
  EXPECT_EQ(read_bytes(work / "DS_experiment.bmp"), expected_image(crystal, 2));
  const Bytes bytes = read_bytes(work / "DS_experiment_raw.tif");
  const ExperimentalImage raw = decode_tiff(bytes.data(), bytes.size(), "raw", false);
  ASSERT_TRUE(raw.usable()) << raw.problem;
  EXPECT_EQ(raw.bits, 32);
  const PatternImage intensities = computed_pattern(crystal, 2);
  for (std::size_t k = 0; k < PatternImage::kPixels; ++k)
    ASSERT_EQ(raw.grey[k], intensities.data()[k]) << k;
  float lo = 1.0f, hi = 0.0f;
  for (float v : raw.grey) lo = std::min(lo, v), hi = std::max(hi, v);
  EXPECT_GT(lo, 0.0f);  // transmitted intensities, not grey levels
  EXPECT_LE(hi, 1.0f + 1e-5f);
}

// VELMORANT_BEAMS=1 (here with the adaptive method, whose interpolated
// pixels every beam shares, and an aperture) writes the stack of every beam
// as float TIFF pages, its CSV index and the composed PNG; the grey image, r
// and the raw bright field are those of a run without it, and page 0 is that
// raw bright field.
TEST_F(Program, BeamsSwitchWritesEveryBeamItsIndexAndTheComposedPattern) {
#ifndef VELMORANT_HAVE_TIFF
  GTEST_SKIP() << "built without libtiff";
#else
  if (!format_built(ImageFormat::png)) GTEST_SKIP() << "built without libpng";
  const TinyCrystal crystal;
  prepare(crystal);
  ASSERT_EQ(run_program(work.path(), {"1"}, VELMORANT_PROGRAM, true).status, 0);
  const std::string r_plain = result();
  const Bytes image_plain = read_bytes(work / "DS_experiment.bmp");
  const Bytes raw_plain = read_bytes(work / "DS_experiment_raw.tif");
  const ProgramRun run =
      run_program(work.path(), {"1"}, VELMORANT_PROGRAM, true,
                  {{"VELMORANT_BEAMS", "1"}, {"VELMORANT_BEAMS_APERTURE", "6.5"}});
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* file :
       {"DS_experiment_beams.tif", "DS_experiment_beams.csv", "DS_experiment_pattern.png"})
    EXPECT_NE(run.err.find(file), std::string::npos) << run.err;
  EXPECT_EQ(result(), r_plain);
  EXPECT_EQ(read_bytes(work / "DS_experiment.bmp"), image_plain);
  EXPECT_EQ(read_bytes(work / "DS_experiment_raw.tif"), raw_plain);

  // The same run in process: every page, the index and the picture.
  auto in = std::make_unique<SimulationInput>();
  auto beams = std::make_unique<BeamList>();
  read_simulation_input(work.path(), *in, *beams);
  Simulation simulation(*in, *beams, 1);
  PatternImage image;
  BeamStack stack;
  simulation.compute(SamplingMethod::adaptive, image, stack);
  ASSERT_EQ(stack.order(), crystal.max_beams + 1);

  const std::string tiff_path = work / "DS_experiment_beams.tif";
  TIFF* t = TIFFOpen(tiff_path.c_str(), "r");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(int(TIFFNumberOfDirectories(t)), stack.order());
  const Bytes raw_bytes = read_bytes(work / "DS_experiment_raw.tif");
  const ExperimentalImage raw = decode_tiff(raw_bytes.data(), raw_bytes.size(), "raw", false);
  std::vector<float> row(512);
  for (int page = 0; page < stack.order(); ++page) {
    ASSERT_TRUE(TIFFSetDirectory(t, std::uint16_t(page)));
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 0, format = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(t, TIFFTAG_SAMPLEFORMAT, &format);
    EXPECT_EQ(width, 512u);
    EXPECT_EQ(height, 512u);
    EXPECT_EQ(bits, 32);
    EXPECT_EQ(format, SAMPLEFORMAT_IEEEFP);
    int differing = 0, differing_from_raw = 0;
    for (int r = 0; r < 512; ++r) {
      ASSERT_GE(TIFFReadScanline(t, row.data(), std::uint32_t(r), 0), 0);
      for (int x = 0; x < 512; ++x) {
        const std::size_t k = element_from_top(r, x);
        differing += std::memcmp(&row[std::size_t(x)], &stack.page(page)[k], sizeof(float)) != 0;
        if (page == 0) differing_from_raw += row[std::size_t(x)] != raw.grey[k];
      }
    }
    EXPECT_EQ(differing, 0) << "page " << page;
    EXPECT_EQ(differing_from_raw, 0);
  }
  TIFFClose(t);

  // The index after its first line, what made it (the date may turn between runs).
  std::string index = read_text(work / "DS_experiment_beams.csv");
  EXPECT_EQ(index.rfind("# Velmorant ", 0), 0u) << index.substr(0, 80);
  index.erase(0, index.find('\n') + 1);
  std::istringstream lines(index);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(
      line.rfind(
          "page,h,k,l,gx_per_angstrom,gy_per_angstrom,gz_per_angstrom,offset_up_px,offset_left_px",
          0),
      0u);
  const std::optional<float> aperture = 6.5f;
  const ComposedLayout layout = composed_layout(stack, aperture);
  EXPECT_EQ(index, beam_index_text(stack, layout));
  int rows = 0;
  while (std::getline(lines, line)) ++rows;
  EXPECT_EQ(rows, stack.order());

  const std::vector<std::uint8_t> grey =
      composed_grey_levels(compose_pattern(stack, layout, aperture));
  EXPECT_EQ(read_bytes(work / "DS_experiment_pattern.png"),
            encode_grey_png(grey.data(), layout.width, layout.height,
                            common::provenance("Velmorant", common::utc_date_today())));
  EXPECT_GT(layout.width, 512);  // the {100} discs lie beside the transmitted one

  // A mistyped aperture stops the run before the computation, naming the variable.
  const ProgramRun bad =
      run_program(work.path(), {"1"}, VELMORANT_PROGRAM, false,
                  {{"VELMORANT_BEAMS", "1"}, {"VELMORANT_BEAMS_APERTURE", "6,5"}});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("VELMORANT_BEAMS_APERTURE is \"6,5\""), std::string::npos) << bad.err;
  EXPECT_EQ(result(), "  -101\n");
  EXPECT_EQ(read_bytes(work / "DS_experiment.bmp"), image_plain);
#endif
}

TEST_F(Program, UnusableExperimentGivesTwo) {
  prepare(TinyCrystal{});
  Bytes small = experiment();
  small[18] = 0;  // width 512 -> 256
  small[19] = 1;
  write_bytes(work / "experiment.bmp", small);
  const ProgramRun run = run_program(work.path(), {"2"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(result(), " 2.0\n");
  // Said, and found before the computation: no image is written.
  EXPECT_EQ(run.err,
            "Velmorant: r = 2.0 without computing the pattern: the experimental image "
            "\"./experiment.bmp\" is 256 x 512 pixels; it must be 512 x 512 (images are not "
            "resampled)\n");
  EXPECT_FALSE(std::filesystem::exists(work / "DS_experiment.bmp"));
}

TEST_F(Program, MissingExperimentalImageLeavesMinus101) {
  prepare(TinyCrystal{}, false);
  const ProgramRun run = run_program(work.path(), {"2"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"./experiment.bmp\""), std::string::npos) << run.err;
  EXPECT_EQ(result(), "  -101\n");
  // Found before the computation: no simulated image is written.
  EXPECT_EQ(entries(work.path()), (std::vector<std::string>{"VelmorantDS.dat", "VelmorantDS.res"}));
}

TEST_F(Program, ShortExperimentalImageLeavesMinus101) {
  prepare(TinyCrystal{});
  Bytes cut(experiment().begin(), experiment().begin() + 5000);
  write_bytes(work / "experiment.bmp", cut);
  const ProgramRun run = run_program(work.path(), {"2"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("experiment.bmp\" is too short"), std::string::npos) << run.err;
  EXPECT_EQ(result(), "  -101\n");
}

TEST_F(Program, MissingImageFolderLeavesMinus101AndWritesNothingElse) {
  prepare(TinyCrystal{.folder = "no such folder"}, false);
  const ProgramRun run = run_program(work.path(), {"2"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"no such folder/DS_experiment.bmp\""), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("does not exist"), std::string::npos) << run.err;
  EXPECT_EQ(result(), "  -101\n");
  EXPECT_EQ(entries(work.path()), (std::vector<std::string>{"VelmorantDS.dat", "VelmorantDS.res"}));
}

TEST_F(Program, WindowsFolderSeparatorsAreAccepted) {
  std::filesystem::create_directories(work.path() / "images" / "si");
  prepare(TinyCrystal{.folder = "images\\si"}, false);
  write_bytes(work / "images/si/experiment.bmp", experiment());
  const ProgramRun run = run_program(work.path(), {"2"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(reals(result()).size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(work.path() / "images" / "si" / "DS_experiment.bmp"));
}

TEST_F(Program, InputErrorsLeaveTheEarlierResult) {
  const struct {
    const char* what;
    std::string input;  // empty: no input file
    std::string message;
    bool on_standard_output;
  } cases[] = {
      {"no input file", "", "VelmorantDS.dat", false},
      {"singular basis", tiny_input(TinyCrystal{.cell = 0.0f}), "singular", false},
      {"hydrogen in the absorptive model",
       [] {
         std::string s = tiny_input(TinyCrystal{});
         s.replace(s.find("\n14\n"), 4, "\n1\n");
         return s;
       }(),
       "VelmorantDS.dat, line 17: the atomic number of species 1 is 1; expected 2..98", false},
      // A search of hours is refused before it starts, naming the line of index_limit.
      {"index_limit 1000", tiny_input(TinyCrystal{.index_limit = 1000}),
       "./VelmorantDS.dat, line 41: index_limit is 1000: the reflection search would take", false},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(work / "VelmorantDS.dat");
    if (!c.input.empty()) write_text(work / "VelmorantDS.dat", c.input);
    write_text(work / "VelmorantDS.res", " 0.25\n");
    const ProgramRun run = run_program(work.path(), {"2"});
    EXPECT_EQ(run.status, 1) << c.what;
    EXPECT_NE((c.on_standard_output ? run.out : run.err).find(c.message), std::string::npos)
        << c.what << ": " << run.out << run.err;
    EXPECT_EQ(result(), " 0.25\n") << c.what;
    EXPECT_FALSE(std::filesystem::exists(work / "DS_experiment.bmp")) << c.what;
  }
}

// The input with `from` (which must occur once) replaced by `to`.
std::string changed_input(const TinyCrystal& crystal, const std::string& from,
                          const std::string& to) {
  std::string s = tiny_input(crystal);
  const size_t at = s.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  EXPECT_EQ(s.find(from, at + 1), std::string::npos) << from;
  if (at != std::string::npos) s.replace(at, from.size(), to);
  return s;
}

// Mistakes of units, numbers and atomic numbers stop the run before any
// computation with a message naming the file, the line and the value; the
// earlier result and an earlier simulated image stay as they were.
TEST_F(Program, InputMistakesStopBeforeTheComputationAndKeepEarlierFiles) {
  const TinyCrystal xray{.form_factor_model = 0};
  const struct {
    const char* what;
    std::string input;
    std::vector<std::string> message;  // every part must appear on standard error
  } cases[] = {
      {"kV given as the wavelength",
       changed_input(TinyCrystal{}, "\n0.02508\n", "\n200\n"),
       {"VelmorantDS.dat, line 71: the wavelength is 200 Å", "did you give kV?"}},
      {"negative thickness",
       tiny_input(TinyCrystal{.thickness = -400.0f}),
       {"line 50: the thickness is -400 Å", "positive thickness"}},
      {"thousands separator",
       changed_input(TinyCrystal{}, "\n400\n", "\n1,500.0\n"),
       {"line 50: \"1,500.0\" holds a comma", "(1500.0)"}},
      {"cell in nm",
       tiny_input(TinyCrystal{.cell = 0.4f}),
       {"line 6: the cell edge a is 0.4 Å long", "is the cell in Å"}},
      {"field wider than 0.5 rad",
       changed_input(TinyCrystal{}, "\n0.025\n", "\n25\n"),
       {"line 74: the pixel scale", "25 / 640", "same unit"}},
      {"Z = 0, absorptive model",
       changed_input(TinyCrystal{}, "\n14\n", "\n0\n"),
       {"line 17: the atomic number of species 1 is 0; expected 2..98"}},
      {"Z = 0, X-ray model",
       changed_input(xray, "\n14\n", "\n0\n"),
       {"line 17: the atomic number of species 1 is 0; expected 1..98"}},
      {"Z = 113, X-ray model",
       changed_input(xray, "\n14\n", "\n113\n"),
       {"line 17: the atomic number of species 1 is 113; expected 1..98"}},
      {"strength fraction as a percentage",
       changed_input(TinyCrystal{}, "\n0.0001\n", "\n100\n"),
       {"no beam was selected", "strength_fraction is 100", "max_beams 0"}},
      {"no reflection near the Ewald sphere",
       changed_input(TinyCrystal{}, "\n0.025\n", "\n0.0000001\n"),
       {"no beam was selected", "none came within"}},
  };
  const Bytes earlier_image = {'B', 'M', 'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  for (const auto& c : cases) {
    write_text(work / "VelmorantDS.dat", c.input);
    write_text(work / "VelmorantDS.res", " 0.25\n");
    write_bytes(work / "DS_experiment.bmp", earlier_image);
    write_bytes(work / "experiment.bmp", experiment());
    for (const char* argument : {"2", "x"}) {  // a run and an estimate query
      const ProgramRun run = run_program(work.path(), {argument});
      EXPECT_EQ(run.status, 1) << c.what;
      for (const std::string& part : c.message)
        EXPECT_NE(run.err.find(part), std::string::npos) << c.what << ": " << run.err;
      EXPECT_EQ(run.out, "") << c.what;
      EXPECT_EQ(result(), " 0.25\n") << c.what;
      EXPECT_EQ(read_bytes(work / "DS_experiment.bmp"), earlier_image) << c.what;
    }
  }
}

TEST_F(Program, MaxBeamsZeroComputesTheTransmittedBeamAlone) {
  prepare(TinyCrystal{.max_beams = 0});
  const ProgramRun run = run_program(work.path(), {"2"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(reals(result()).size(), 1u);
  // Without diffracted beams every direction transmits alike: one grey level.
  const Bytes image = read_bytes(work / "DS_experiment.bmp");
  ASSERT_EQ(image.size(), 263222u);
  EXPECT_TRUE(std::all_of(image.begin() + 1078, image.end(),
                          [&](std::uint8_t g) { return g == image[1078]; }));
}

TEST_F(Program, HelpPrintsUsageAndTouchesNothing) {
  for (const char* argument : {"-h", "--help"}) {
    prepare(TinyCrystal{}, false);
    const ProgramRun run = run_program(work.path(), {argument});
    EXPECT_EQ(run.status, 0) << argument;
    EXPECT_EQ(run.out.rfind("Usage: Velmorant [0|1|2]\n", 0), 0u) << run.out;
    for (const char* variable : {"VELMORANT_THREADS", "VELMORANT_PRESENTATION", "VELMORANT_RAW",
                                 "VELMORANT_BEAMS=", "VELMORANT_BEAMS_APERTURE",
                                 "VELMORANT_DIAGNOSTICS", "VELMORANT_LONG_SEARCH"})
      EXPECT_NE(run.out.find(variable), std::string::npos) << variable;
    EXPECT_EQ(run.err, "") << argument;
    EXPECT_EQ(entries(work.path()), (std::vector<std::string>{"VelmorantDS.dat"})) << argument;
  }
}

TEST_F(Program, ExperimentMakerWithoutNoiseWritesThePatternOfTheGivenThickness) {
  prepare(TinyCrystal{}, false);
  const ProgramRun run =
      run_program(work.path(), {"300", "0", "7", "2"}, VELMORANT_MAKE_EXPERIMENT);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(read_bytes(work / "experiment.bmp"), experiment());
  EXPECT_EQ(entries(work.path()), (std::vector<std::string>{"VelmorantDS.dat", "experiment.bmp"}));
}

TEST_F(Program, NonFinitePixelsAreWrittenBlackAndGiveMinusOne) {
  // A slab seen almost edge-on: the path through it overflows to infinity.
  prepare(TinyCrystal{.thickness = 1.0e10f, .surface_normal_z = 1.0e-30f});
  const ProgramRun run = run_program(work.path(), {"2"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("not finite"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("\nVelmorant: r = -1: "), std::string::npos) << run.err;
  EXPECT_EQ(result(), " -1.0\n");
  const Bytes image = read_bytes(work / "DS_experiment.bmp");
  ASSERT_EQ(image.size(), 263222u);
  EXPECT_TRUE(
      std::all_of(image.begin() + 1078, image.end(), [](std::uint8_t g) { return g == 0; }));
}

// Ctrl+C on the terminal presentation: the terminal gets its echo back, the
// result file holds "  -101" and the exit status is 2. The program runs with
// a pseudo-terminal as its controlling terminal, in a confirmed search of
// hours, and Ctrl+C is typed on that terminal.
TEST_F(Program, CtrlCOnTheTerminalRestoresEchoAndLeavesMinus101) {
  prepare(TinyCrystal{.index_limit = 1000});
  write_text(work / "VelmorantDS.res", " 0.25\n");
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 || !::ptsname(master))
    GTEST_SKIP() << "no pseudo-terminal available";
  const std::string slave = ::ptsname(master);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();
    const int tty = ::open(slave.c_str(), O_RDWR);  // the session's controlling terminal
    if (tty < 0 || ::ioctl(tty, TIOCSCTTY, 0) != 0 || ::chdir(work.path().c_str()) != 0)
      ::_exit(121);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(tty, 0), ::dup2(null, 1), ::dup2(tty, 2);
    ::setenv("VELMORANT_PRESENTATION", "terminal", 1);
    ::setenv("VELMORANT_LONG_SEARCH", "1", 1);
    ::unsetenv("VELMORANT_DIAGNOSTICS");
    ::execl(VELMORANT_PROGRAM, VELMORANT_PROGRAM, "0", static_cast<char*>(nullptr));
    ::_exit(122);
  }
  const int tty = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(tty, 0);
  ::fcntl(master, F_SETFL, O_NONBLOCK);
  std::string drawn;
  auto drain = [&] {
    char buf[4096];
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) drawn.append(buf, std::size_t(n));
  };
  auto echo_on = [&] {
    termios t{};
    return ::tcgetattr(tty, &t) == 0 && (t.c_lflag & ECHO) && (t.c_lflag & ICANON);
  };
  ASSERT_TRUE(echo_on());
  // The progress line is up once echo is off (up to 20 s on a loaded machine).
  for (int i = 0; i < 2000 && echo_on(); ++i) {
    drain();
    ::usleep(10000);
  }
  ASSERT_FALSE(echo_on()) << drawn;
  ASSERT_EQ(::write(master, "\x03", 1), 1);  // Ctrl+C
  int wstatus = 0;
  pid_t ended = 0;
  for (int i = 0; i < 2000 && ended == 0; ++i) {
    drain();
    ended = ::waitpid(pid, &wstatus, WNOHANG);
    if (ended == 0) ::usleep(10000);
  }
  if (ended == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &wstatus, 0);
    FAIL() << "Ctrl+C did not end the run: " << drawn;
  }
  drain();
  EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 2) << wstatus << " " << drawn;
  EXPECT_TRUE(echo_on());
  EXPECT_EQ(result(), "  -101\n");
  EXPECT_NE(drawn.find("interrupted by SIGINT"), std::string::npos) << drawn;
  ::close(tty);
  ::close(master);
}

}  // namespace
}  // namespace velmorant
