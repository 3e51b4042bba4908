// Fuzz harness of the simulation input reader: "VelmorantDS.dat" read,
// derived and taken through the beam selection in a search box of at most
// +-4 in h, k and l.
// SPDX-License-Identifier: BSD-3-Clause
#include <algorithm>
#include <fstream>
#include <memory>

#include "simulator/beams/select_beams.hpp"
#include "fuzz/fuzz_support.hpp"
#include "simulator/input/input_error.hpp"
#include "simulator/input/read_simulation_input.hpp"

// Beam selection scans (2 L + 1)^3 reflections for the search limit L, each
// with a structure factor over every site: the box is made this small so that
// an input takes milliseconds; the selection's code is the same at any size.
constexpr std::int32_t kLargestSearchedLimit = 4;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmorant;
  const auto file = fuzz::write_input(kInputFileName, data, size);
  auto in = std::make_unique<SimulationInput>();
  try {
    {
      std::ifstream text(file);
      parse_simulation_input(text, file.string(), *in);
    }
    // The X-ray coefficient file is looked up in the private folder first
    // (absent), then beside the executable, where the build puts the shipped one.
    derive_simulation_input(*in, fuzz::private_dir());
    in->hkl_limit = std::min(in->hkl_limit, kLargestSearchedLimit);
    BeamList beams;
    select_beams(*in, beams);
  } catch (const InputError&) {
  } catch (const SingularBasis&) {
  } catch (const FormFactorStop&) {
  } catch (const std::exception&) {
  }
  return 0;
}
