// Fuzz harness of hklconv's readers: the whole program on a folder where one
// of list.hkl, symmetry.prp and basis.kik (HKLCONV_FUZZED_FILE, set by the
// build) is the fuzzed input and the other two are those of the example.
// SPDX-License-Identifier: BSD-3-Clause
#include <sstream>

#include "fuzz/fuzz_support.hpp"
#include "reflections/reflection_list.hpp"

namespace {

const char* const kFiles[] = {"list.hkl", "symmetry.prp", "basis.kik"};

// The example's companion files, copied once into the private folder.
bool prepare() {
  for (const char* f : kFiles)
    fuzz::copy_into_private_dir(std::filesystem::path(HKLCONV_EXAMPLE_DIR) / f, f);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool prepared = prepare();
  (void)prepared;
  fuzz::write_input(HKLCONV_FUZZED_FILE, data, size);
  std::istringstream in;  // the pause reads end of input
  std::ostringstream out;
  try {
    (void)hklconv::run(fuzz::private_dir(), in, out);
  } catch (const hklconv::Stop&) {
  } catch (const std::exception&) {
  }
  return 0;
}
