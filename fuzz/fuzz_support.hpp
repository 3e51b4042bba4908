// What every fuzz harness shares: the entry point both drivers call, a private
// scratch folder per process and writing the input bytes to a file there.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

// The entry point of a harness, called once per input by libFuzzer or by the
// seeded mutator (mutator_main.cpp). Returns 0; a crash, a sanitizer report or
// an exception of a kind the reader does not document is a finding.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fuzz {

// A folder of this process alone (under TMPDIR or /tmp), created on first use
// and removed with its content when the process exits normally.
const std::filesystem::path& private_dir();

// Replaces `name` in private_dir() by the given bytes; returns its path.
std::filesystem::path write_input(std::string_view name, const std::uint8_t* data,
                                  std::size_t size);

// Copies `source` into private_dir() under `name` (fixed companion files).
void copy_into_private_dir(const std::filesystem::path& source, std::string_view name);

}  // namespace fuzz
