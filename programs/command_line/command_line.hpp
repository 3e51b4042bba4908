// Command lines of the CLI11 tools: the documented exit statuses, unexpected words in the order typed, the nearest option.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <CLI/CLI.hpp>

#include "common/edit_distance.hpp"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

namespace programs {

// Exit status of a command line that cannot be run (CLI11's own codes, 105,
// 109 and so on, are not what the tools document).
inline constexpr int kBadCommandLine = 2;

// The long option of `app` nearest to `word` ("--kvv" -> "--kv"), or "" when
// none is within a third of the word's length.
inline std::string nearest_option(const CLI::App& app, const std::string& word) {
  const std::string bare = word.substr(0, word.find('='));
  std::string best;
  std::size_t best_distance = std::max<std::size_t>(2, bare.size() / 3) + 1;
  for (const CLI::Option* o : app.get_options()) {
    for (const std::string& name : o->get_lnames()) {
      const std::string option = "--" + name;
      if (option == bare) return "";  // not misspelt
      // A word that begins with an option ("--zone-axis") is near it too.
      const bool extends =
          bare.size() > option.size() && bare.compare(0, option.size(), option) == 0;
      const std::size_t d = extends ? 1 : common::edit_distance(bare, option);
      if (d < best_distance) best_distance = d, best = option;
    }
  }
  return best;
}

// "(--kvv: did you mean --kv?)" for every word of argv that looks like a long
// option but is none of app's, with a near one.
inline std::string suggestions(const CLI::App& app, int argc, char** argv) {
  std::string out;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.rfind("--", 0) != 0 || word == "--") continue;
    const std::string near = nearest_option(app, word);
    if (!near.empty()) out += " (" + word + ": did you mean " + near + "?)";
  }
  return out;
}

// Parses argv with `app`, which must allow extras (app.allow_extras()).
// Returns -1 when the program should go on; otherwise the exit status after
// printing: 0 for --help and --version, kBadCommandLine for a mistake, with
// the words that were not expected listed in the order typed and the nearest
// option of a misspelt one.
inline int parse_command_line(CLI::App& app, int argc, char** argv, const std::string& program) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
    std::cerr << program << ": " << e.what() << suggestions(app, argc, argv) << "\n"
              << program << " --help lists the options\n";
    return kBadCommandLine;
  }
  const std::vector<std::string> extra = app.remaining();
  if (extra.empty()) return -1;
  std::cerr << program << ": unexpected arguments:";
  for (const std::string& word : extra) std::cerr << ' ' << word;
  std::cerr << suggestions(app, argc, argv) << "\n" << program << " --help lists the options\n";
  return kBadCommandLine;
}

}  // namespace programs
