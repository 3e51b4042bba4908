// Fuzz harness of the CIF reader of velmorant_input: cell, space group and
// atom sites read with gemmi, sites expanded into the cell and merged.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/input_writer/cif_crystal.hpp"
#include "fuzz/fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmorant::crystal_file;
  const auto file = fuzz::write_input("crystal.cif", data, size);
  try {
    (void)read_cif_crystal(file.string());
  } catch (const CifError&) {
  } catch (const std::exception&) {
  }
  return 0;
}
