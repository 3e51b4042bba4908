// The first command-line argument as a 16-character text compared with "0", "1", "2".
// SPDX-License-Identifier: BSD-3-Clause
#include "programs/Velmorant/sampling_method.hpp"

#include <string>

namespace velmorant {

std::optional<SamplingMethod> sampling_method(const char* argument) {
  std::string text = argument ? argument : "";
  text.resize(kArgumentWidth, ' ');  // cut longer arguments, pad shorter ones
  for (int method = 0; method <= 2; ++method) {
    std::string name(1, char('0' + method));
    name.resize(kArgumentWidth, ' ');
    if (text == name) return static_cast<SamplingMethod>(method);
  }
  return std::nullopt;
}

}  // namespace velmorant
