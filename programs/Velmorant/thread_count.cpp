// The number of threads that compute the pixels, from the environment variable VELMORANT_THREADS.
#include "programs/Velmorant/thread_count.hpp"

#include <algorithm>

namespace velmorant {

int thread_count(const char* text, int hardware, std::ostream& err) {
  const int fallback = std::clamp(hardware, 1, kMaxThreads);
  if (text == nullptr || *text == '\0') return fallback;
  long long value = 0;
  const char* p = text;
  for (; *p >= '0' && *p <= '9'; ++p) value = std::min<long long>(value * 10 + (*p - '0'), 1000000);
  if (p == text || *p != '\0' || value < 1) {
    err << "Velmorant: " << kThreadsVariable << "=\"" << text
        << "\" is not a positive whole number; using " << fallback << " threads\n";
    return fallback;
  }
  return int(std::min<long long>(value, kMaxThreads));
}

}  // namespace velmorant
