// The number of worker threads of a program, from its environment variable.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/thread_count.hpp"

#include <algorithm>

namespace common {

int thread_count(const ThreadSetting& setting, const char* text, int hardware, std::ostream& err) {
  const int fallback = std::clamp(hardware, 1, setting.limit);
  if (text == nullptr || *text == '\0') return fallback;
  long long value = 0;
  const char* p = text;
  for (; *p >= '0' && *p <= '9'; ++p) value = std::min<long long>(value * 10 + (*p - '0'), 1000000);
  if (p == text || *p != '\0' || value < 1) {
    err << setting.program << ": " << setting.variable << "=\"" << text
        << "\" is not a positive whole number; using " << fallback << " threads\n";
    return fallback;
  }
  return int(std::min<long long>(value, setting.limit));
}

}  // namespace common
