// Talvor2's command line and main flow: one input file from defaults to the run report.
// SPDX-License-Identifier: BSD-3-Clause
#include "programs/Talvor2/talvor2_run.hpp"

#include <ctime>
#include <fstream>
#include <iostream>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>

#include "orientation/catalogue/catalogue.hpp"
#include "common/console_pause.hpp"
#include "common/edit_distance.hpp"
#include "common/provenance.hpp"
#include "common/version.hpp"
#include "orientation/errors/report_fatal_error.hpp"
#include "orientation/input/input_file.hpp"
#include "orientation/report/results_file.hpp"
#include "orientation/pipeline/pattern_pipeline.hpp"
#include "orientation/maps/ipf_colour.hpp"
#include "orientation/maps/map_position.hpp"
#include "orientation/maps/map_table.hpp"
#ifdef TALVOR2_WITH_PNG
#include "orientation/maps/map_picture.hpp"
#endif

namespace talvor {

namespace {

std::string Strip(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

bool IsHelpRequest(const std::string& arg) {
  return arg == "-h" || arg == "--help" || arg == "-help" || arg == "help" || arg == "h";
}

// The options besides the file name, as the help and the usage list them.
constexpr const char* kOptionLines =
    "        options --map        also the map table <name>_tv2.csv and, for titles\n"
    "                             with positions x=.. y=.., the picture <name>_tv2.png\n"
    "                --ipf=CLASS  the picture's colours: cubic (m-3m) or hexagonal (6/mmm)\n";

void PrintHelp(std::ostream& out) {
  out << "\n"
         " This is a program for crystal orientation deterination\n"
         " based on normalized scattering vectors.\n"
         " For a description see the suite's README.md and docs/talvor2.md.\n"
         "\n"
         "        use    Talvor2 [options] [filename.tv2]\n"
      << kOptionLines << "\n";
}

void PrintUsage(std::ostream& out) {
  out << " Error: Too many command line arguments.\n"
         "        use    Talvor2\n"
         "        or     Talvor2 -h\n"
         "        or     Talvor2 filename.tv2\n"
      << kOptionLines;
}

// A word that looks like an option ("--...") but is none of Talvor2's.
bool IsUnknownOption(const std::string& a) { return a.rfind("--", 0) == 0 && a != "--help"; }

// The file name typed at the prompt: the first word of the first non-empty
// line, ended by a blank, comma or slash, or a quoted text. False at end of input.
bool ReadNameFromPrompt(std::istream& in, std::string& name) {
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos) continue;
    const char c = line[start];
    if (c == '\'' || c == '"') {
      const auto end = line.find(c, start + 1);
      name = line.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
    } else {
      const auto end = line.find_first_of(" \t,/", start);
      name = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    return true;
  }
  return false;
}

// The pattern loop and everything around it; errors leave by FatalStop.
void ProcessOrStop(const std::string& raw_name, RunEnvironment& env) {
  std::ostream& out = env.out;
  OrientationProblem problem;
  SetDefaults(problem);

  const std::string name = Strip(raw_name);
  const std::size_t L = name.size();
  if (L <= 4 || name.compare(L - 4, 4, ".tv2") != 0)
    StopWithLine("Error: Extention of filename is not .tv2.");

  const std::filesystem::path input_path = env.directory / name;
  std::error_code ec;
  std::ifstream input;
  if (!std::filesystem::is_directory(input_path, ec)) input.open(input_path);
  if (!input.is_open()) StopWithLine("Error: Cannot open " + name + ".");
  common::FreeFormReader reader(input);

  ReadHeader(reader, name, problem, out);

  // Engine preparation, once per run: about a megabyte of tables.
  auto catalogue = std::make_unique<Catalogue>();
  BuildCatalogue(problem, *catalogue);

  const float t0 = env.cpu_seconds();
  PrintBanner(out);
  const std::string results_name = ResultsFileName(name);
  ResultsFile results(env.directory / results_name, results_name, name);

  // The map outputs, when asked for: the table beside the results file and
  // the picture of the patterns that carry positions.
  const std::string table_name = MapTableName(name);
  std::unique_ptr<MapTableFile> table;
  if (env.writeMap)
    table = std::make_unique<MapTableFile>(env.directory / table_name, table_name,
                                           common::provenance("Talvor2", common::utc_date_today()));
#ifdef TALVOR2_WITH_PNG
  std::unique_ptr<MapPicture> picture;
  if (env.writeMap) {
    std::optional<LaueClass> laue =
        env.ipfClass.empty() ? LaueClassOf(problem) : LaueClassFromName(env.ipfClass);
    if (laue) picture = std::make_unique<MapPicture>(MakeIpfFrame(problem, *laue));
  }
#endif

  PatternCallbacks calls;
  calls.before = [&](std::int32_t i) {
    if (i % 10 == 0) WriteProgress(out, i, problem.patternCount);
  };
  calls.write = [&](const PatternSlot& slot) {
    WriteSolutionLine(results, slot.number, slot.pattern, slot.store, problem);
    if (!table) return;
    const MapPosition position = ParseMapPosition(slot.title);
    table->WriteRow(
        MapTableRow(slot.number, slot.title, position, slot.pattern, slot.store, problem));
#ifdef TALVOR2_WITH_PNG
    if (picture) picture->Add(position, slot.store.count > 0, slot.store.entries[0].orientation);
#endif
  };
  const int threads = env.threads > 0 ? env.threads : SolverThreadCount(std::cerr);
  RunPatternLoop(reader, name, problem, *catalogue, threads, calls);

  const float t1 = env.cpu_seconds();
  input.close();
  results.Close();  // the report below only after a successful close
  if (table) table->Close();
  WriteRunReport(out, t1 - t0, results_name);
  if (table) out << " Map table saved in file : " << table_name << "\n";
#ifdef TALVOR2_WITH_PNG
  if (env.writeMap && !picture)
    out << " No map picture: the symmetry operations are neither cubic (24) nor hexagonal (12);"
           " --ipf=cubic or --ipf=hexagonal chooses the colours.\n";
  if (picture && picture->points() == 0)
    out << " No map picture: no title carries a position x=.. y=...\n";
  if (picture && picture->points() > 0) {
    const std::string picture_name = MapPictureName(name);
    WritePng(picture->Draw(), env.directory / picture_name, picture_name,
             common::provenance("Talvor2", common::utc_date_today()));
    out << " Map picture saved in file : " << picture_name << "\n";
    if (picture->outside() > 0)
      out << " " << picture->outside() << " positions outside 0.." << kMaxMapCoordinate
          << " are not drawn.\n";
  }
#else
  if (env.writeMap) out << " No map picture: this Talvor2 was built without libpng.\n";
#endif
  if (table) out << "\n";
  if (problem.printFlag != 0) common::console_pause(env.in, out);
}

}  // namespace

float ProcessCpuSeconds() {
  return static_cast<float>(static_cast<double>(std::clock()) / CLOCKS_PER_SEC);
}

void PrintBanner(std::ostream& out) {
  static const char* const kArt[6] = {
      "   _____     _                 ____                         ",
      "  |_   _|_ _| |_   _____  _ __|___ \\                        ",
      "    | |/ _` | \\ \\ / / _ \\| '__| __) |                       ",
      "    | | (_| | |\\ V / (_) | |   / __/                        ",
      "    |_|\\__,_|_| \\_/ \\___/|_|  |_____|                       ",
      "    crystal orientations from normalised scattering vectors ",
  };
  out << std::string(11, '\n');
  for (const char* line : kArt) out << ' ' << line << '\n';
  out << std::string(3, '\n');
}

int ProcessInputFile(const std::string& name, RunEnvironment& env) {
  try {
    ProcessOrStop(name, env);
  } catch (const FatalStop& stop) {
    ShowFatalStop(stop, env.in, env.out);
    return kExitError;
  }
  return kExitSuccess;
}

int RunTalvor2(const std::vector<std::string>& all_args, RunEnvironment& env) {
  if (!env.cpu_seconds) env.cpu_seconds = ProcessCpuSeconds;
  int status = kExitSuccess;
  // The map options come out first; the rest is the command line as always.
  std::vector<std::string> args;
  for (const std::string& arg : all_args) {
    const std::string a = Strip(arg);
    if (a == "--map") {
      env.writeMap = true;
    } else if (a.rfind("--ipf=", 0) == 0) {
      env.ipfClass = a.substr(6);
      if (!LaueClassFromName(env.ipfClass)) {
        env.out << " Error: --ipf takes cubic, m-3m, hexagonal or 6/mmm, not \"" << env.ipfClass
                << "\".\n"
                << std::flush;
        return kExitError;
      }
    } else {
      args.push_back(arg);
    }
  }
  if (args.empty()) {
    PrintBanner(env.out);
    env.out << " Enter filename : " << std::flush;
    std::string name;
    if (!ReadNameFromPrompt(env.in, name)) {
      env.out << "\n Error: no file name was entered (end of input).\n" << std::flush;
      return kExitError;
    }
    status = ProcessInputFile(name, env);
  } else if (args.size() == 1 && Strip(args[0]) == "--version") {
    // Never an input file: those end in .tv2.
    env.out << common::program_version("Talvor2") << "\n";
  } else if (args.size() == 1 && IsHelpRequest(Strip(args[0]))) {
    PrintHelp(env.out);
    common::console_pause(env.in, env.out);
  } else if (args.size() == 1) {
    status = ProcessInputFile(args[0], env);
  } else {
    for (const std::string& arg : args) {
      const std::string a = Strip(arg);
      if (!IsUnknownOption(a)) continue;
      const std::string word = a.substr(0, a.find('='));
      const char* nearest =
          common::edit_distance(word, "--map") <= common::edit_distance(word, "--ipf")
              ? "--map"
              : "--ipf=CLASS";
      env.out << " Error: unknown option " << a << "; did you mean " << nearest << "?\n";
    }
    PrintUsage(env.out);
    common::console_pause(env.in, env.out);
    status = kExitError;
  }
  env.out << std::flush;
  return status;
}

}  // namespace talvor
