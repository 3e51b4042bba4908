// Writing the result line of a run.
// SPDX-License-Identifier: BSD-3-Clause
#include "programs/Velmorant/result_file.hpp"

#include "common/fixed_format.hpp"
#include "simulator/image/write_file_whole.hpp"

namespace velmorant {

std::string estimates_line(const std::array<float, 3>& seconds) {
  return common::free_real(seconds[0]) + common::free_real(seconds[1]) +
         common::free_real(seconds[2]);
}

std::string correlation_line(float r) { return common::free_real(r); }

void write_result_file(const std::string& line) {
  const std::string text = line + "\n";
  write_file_whole(kResultFileName, text.data(), text.size(), "the result file");
}

}  // namespace velmorant
