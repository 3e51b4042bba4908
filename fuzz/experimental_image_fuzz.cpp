// Fuzz harness of the experimental image reader (BMP), followed by the
// correlation of what it read with a flat pattern.
#include <vector>

#include "fuzz_support.hpp"
#include "image/correlate_with_experiment.hpp"
#include "image/file_error.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmorant;
  const auto file = fuzz::write_input("experiment.bmp", data, size);
  try {
    const std::vector<int> grey = read_experimental_image(file.string());
    if (!grey.empty()) {
      static const PatternImage flat{};
      (void)correlate_grey_levels(grey, flat);
    }
  } catch (const FileError&) {
  } catch (const std::exception&) {
  }
  return 0;
}
