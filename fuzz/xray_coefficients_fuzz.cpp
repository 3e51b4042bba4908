// Fuzz harness of the X-ray coefficient reader ("f0_WaasKirf.dat"): the
// fuzzed file read for an atomic number taken from its bytes (-1 to 99, so
// that numbers outside the table are tried too).
// SPDX-License-Identifier: BSD-3-Clause
#include <array>
#include <numeric>

#include "fuzz/fuzz_support.hpp"
#include "simulator/input/input_error.hpp"
#include "simulator/scattering/xray_coefficients.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmorant;
  const auto file = fuzz::write_input(kXrayFileName, data, size);
  const unsigned sum = std::accumulate(data, data + size, 0u);
  const std::int32_t z = static_cast<std::int32_t>(sum % 101) - 1;
  std::int32_t table_atomic_number = 0;
  std::array<float, 11> coefficients{};
  try {
    read_xray_coefficients(file, z, table_atomic_number, coefficients);
  } catch (const InputError&) {
  } catch (const std::exception&) {
  }
  return 0;
}
