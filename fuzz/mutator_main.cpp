// A small seeded mutator that drives a fuzz harness without libFuzzer, so that
// the same harnesses build with g++ and under the AddressSanitizer build:
//   fuzz_<reader> [--runs N] [--seed S] [--max-len BYTES] SEED_FILE_OR_FOLDER...
// Every seed is run once as it is, then N mutated inputs (stacked byte, number
// and line mutations, splices of two seeds). The sequence is fixed by S, so a
// run can be repeated exactly. When a finding ends the process, the input that
// caused it is written to crash-<program>-<run> in the working directory (and
// can be replayed with --runs 0 and that file as the only seed).
// SPDX-License-Identifier: BSD-3-Clause
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.hpp"

// Present only when a sanitizer runtime is linked.
extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// The input being run and where it goes if the process dies on it: kept here
// so that the death callback and the abort handler need no allocation.
struct CurrentInput {
  const Bytes* bytes = nullptr;
  std::array<char, 512> crash_path{};
};
CurrentInput g_current;  // written only by the driver loop, read only when dying

void save_current_input() {
  if (!g_current.bytes || g_current.crash_path[0] == '\0') return;
  const int fd = ::open(g_current.crash_path.data(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  const Bytes& b = *g_current.bytes;
  std::size_t done = 0;
  while (done < b.size()) {
    const ssize_t n = ::write(fd, b.data() + done, b.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  static const char note[] = "\nfuzz: the input of this finding is in ";
  (void)!::write(2, note, sizeof note - 1);
  (void)!::write(2, g_current.crash_path.data(), std::strlen(g_current.crash_path.data()));
  (void)!::write(2, "\n", 1);
}

extern "C" void on_abort(int sig) {
  save_current_input();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

// Texts that readers of numbers and counts tend to get wrong.
constexpr std::string_view kNumbers[] = {
    "0",     "-0",    "1",      "-1",    "2",          "3",          "8",           "17",
    "24",    "25",    "33",     "99",    "129",        "151",        "512",         "-1000",
    "32767", "32768", "65535",  "65536", "2147483647", "2147483648", "-2147483648", "-2147483649",
    "1e38",  "-1e38", "3.5e38", "1e-38", "1e-45",      "1e400",      "nan",         "inf",
    "-inf",  "0.0",   "1.5",    "1e20",  "1e-20",      "'",          "\"",          "",
    " ",     ",",     "\r\n",   "\n",    "1 2 3",      "0 0 0"};

constexpr std::uint8_t kBytes[] = {0,   1,   0x7f, 0x80, 0xff, ' ', '\t', '\n', '\r', ',', '.',
                                   '-', '+', 'e',  'E',  '0',  '1', '9',  '\'', '"',  '_', '#'};

constexpr std::uint32_t kWords[] = {
    0,   1,   2,   8,    24,   32,     40,          54,          255,         256,
    511, 512, 513, 1024, 1078, 262144, 0x7fffffffu, 0x80000000u, 0xffffffffu, 0xfffffe00u};

class Mutator {
public:
  explicit Mutator(std::uint64_t seed) : rng_(seed) {}

  std::size_t below(std::size_t n) {
    return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }

  // A position weighted towards the start, where headers and counts are.
  std::size_t position(std::size_t size) {
    const std::size_t window = std::min<std::size_t>(size, std::size_t{16} << below(15));
    return below(window);
  }

  void mutate(Bytes& b, const std::vector<Bytes>& seeds, std::size_t max_len) {
    const std::size_t steps = 1 + below(4);
    for (std::size_t s = 0; s < steps; ++s) mutate_once(b, seeds);
    if (b.size() > max_len) b.resize(max_len);
  }

private:
  void mutate_once(Bytes& b, const std::vector<Bytes>& seeds) {
    switch (below(10)) {
      case 0:  // flip one bit
        if (!b.empty()) b[position(b.size())] ^= static_cast<std::uint8_t>(1u << below(8));
        break;
      case 1:  // one byte from the interesting set
        if (!b.empty()) b[position(b.size())] = kBytes[below(std::size(kBytes))];
        break;
      case 2: {  // insert a few bytes
        const std::size_t at = position(b.size() + 1);
        const std::size_t n = 1 + below(8);
        for (std::size_t i = 0; i < n; ++i)
          b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), kBytes[below(std::size(kBytes))]);
        break;
      }
      case 3: {  // erase a range
        if (b.empty()) break;
        const std::size_t at = position(b.size());
        const std::size_t n = std::min(b.size() - at, 1 + below(below(2) ? 16 : b.size() / 4 + 1));
        b.erase(b.begin() + static_cast<std::ptrdiff_t>(at),
                b.begin() + static_cast<std::ptrdiff_t>(at + n));
        break;
      }
      case 4:
      case 5:
        replace_number(b);
        break;
      case 6: {  // erase or duplicate a whole line
        if (b.empty()) break;
        std::size_t start = position(b.size());
        while (start > 0 && b[start - 1] != '\n') --start;
        std::size_t end = start;
        while (end < b.size() && b[end] != '\n') ++end;
        if (end < b.size()) ++end;
        const Bytes line(b.begin() + static_cast<std::ptrdiff_t>(start),
                         b.begin() + static_cast<std::ptrdiff_t>(end));
        if (below(2))
          b.erase(b.begin() + static_cast<std::ptrdiff_t>(start),
                  b.begin() + static_cast<std::ptrdiff_t>(end));
        else
          b.insert(b.begin() + static_cast<std::ptrdiff_t>(start), line.begin(), line.end());
        break;
      }
      case 7: {  // a little-endian 16- or 32-bit word, for binary headers
        if (b.size() < 4) break;
        const std::size_t at = position(b.size() - 3);
        const std::uint32_t w = kWords[below(std::size(kWords))];
        const std::size_t width = below(2) ? 4 : 2;
        for (std::size_t i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(w >> (8 * i));
        break;
      }
      case 8: {  // splice: a prefix of this input and a suffix of a seed
        const Bytes& other = seeds[below(seeds.size())];
        const std::size_t cut = position(b.size() + 1);
        const std::size_t from = below(other.size() + 1);
        b.resize(cut);
        b.insert(b.end(), other.begin() + static_cast<std::ptrdiff_t>(from), other.end());
        break;
      }
      default: {  // cut the input short
        if (!b.empty()) b.resize(position(b.size()));
        break;
      }
    }
  }

  // Replaces the number (or token) at a position by one of kNumbers.
  void replace_number(Bytes& b) {
    const std::string_view with = kNumbers[below(std::size(kNumbers))];
    if (b.empty()) {
      b.assign(with.begin(), with.end());
      return;
    }
    const auto is_token = [](std::uint8_t c) {
      return std::isalnum(c) || c == '.' || c == '-' || c == '+';
    };
    std::size_t start = position(b.size());
    std::size_t probe = start;  // move to the next token
    while (probe < b.size() && !is_token(b[probe])) ++probe;
    if (probe == b.size()) probe = start;
    start = probe;
    while (start > 0 && is_token(b[start - 1])) --start;
    std::size_t end = probe;
    while (end < b.size() && is_token(b[end])) ++end;
    b.erase(b.begin() + static_cast<std::ptrdiff_t>(start),
            b.begin() + static_cast<std::ptrdiff_t>(end));
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(start), with.begin(), with.end());
  }

  std::mt19937_64 rng_;
};

Bytes read_all(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

[[noreturn]] void usage(const char* program) {
  std::cerr << "usage: " << program
            << " [--runs N] [--seed S] [--max-len BYTES] SEED_FILE_OR_FOLDER...\n";
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long long runs = 1000, seed = 1, max_len = 0;
  std::vector<fs::path> seed_paths;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const auto value = [&]() -> unsigned long long {
      if (i + 1 >= argc) usage(argv[0]);
      char* end = nullptr;
      const unsigned long long v = std::strtoull(argv[++i], &end, 10);
      if (!end || *end != '\0') usage(argv[0]);
      return v;
    };
    if (arg == "--runs")
      runs = value();
    else if (arg == "--seed")
      seed = value();
    else if (arg == "--max-len")
      max_len = value();
    else if (arg.starts_with("--"))
      usage(argv[0]);
    else
      seed_paths.emplace_back(arg);
  }

  std::vector<Bytes> seeds;
  for (const fs::path& p : seed_paths) {
    if (fs::is_directory(p)) {
      std::vector<fs::path> files;
      for (const auto& e : fs::directory_iterator(p))
        if (e.is_regular_file()) files.push_back(e.path());
      std::sort(files.begin(), files.end());  // a fixed order: the run is repeatable
      for (const fs::path& f : files) seeds.push_back(read_all(f));
    } else if (fs::is_regular_file(p)) {
      seeds.push_back(read_all(p));
    } else {
      std::cerr << argv[0] << ": no seed file or folder " << p << "\n";
      return 2;
    }
  }
  if (seeds.empty()) seeds.emplace_back();
  if (max_len == 0) {
    std::size_t longest = 0;
    for (const Bytes& s : seeds) longest = std::max(longest, s.size());
    max_len = 2 * longest + 256;
  }

  const std::string program = fs::path(argv[0]).filename().string();
  const auto set_crash_path = [&](unsigned long long run) {
    const std::string path = "crash-" + program + "-" + std::to_string(run);
    std::snprintf(g_current.crash_path.data(), g_current.crash_path.size(), "%s", path.c_str());
  };
  if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(save_current_input);
  std::signal(SIGABRT, on_abort);

  Mutator mutator(seed);
  Bytes input;
  g_current.bytes = &input;
  for (std::size_t i = 0; i < seeds.size(); ++i) {
    input = seeds[i];
    set_crash_path(i);
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  for (unsigned long long run = 0; run < runs; ++run) {
    input = seeds[mutator.below(seeds.size())];
    mutator.mutate(input, seeds, max_len);
    set_crash_path(seeds.size() + run);
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  g_current.bytes = nullptr;
  std::cout << program << ": " << seeds.size() << " seeds and " << runs << " mutated inputs (seed "
            << seed << "), no finding\n";
  return 0;
}
