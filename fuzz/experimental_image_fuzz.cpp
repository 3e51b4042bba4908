// Fuzz harness of the experimental image decoders (BMP with run-length
// encoding, PNG, TIFF: the format is told by the first bytes), followed by
// the correlation of what was decoded with a flat pattern.
// SPDX-License-Identifier: BSD-3-Clause
#include <cstdint>

#include "simulator/image/correlate_with_experiment.hpp"
#include "simulator/image/experimental_image.hpp"
#include "simulator/image/file_error.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmorant;
  try {
    const ExperimentalImage image = decode_experimental_image(data, size, "fuzz");
    if (image.usable()) {
      static const PatternImage flat{};
      (void)correlate_grey_levels(image.grey, flat);
    }
  } catch (const FileError&) {
  } catch (const std::exception&) {
  }
  return 0;
}
