// The number of threads that compute the pixels, from the environment variable VELMORANT_THREADS.
#pragma once

#include <ostream>

namespace velmorant {

inline constexpr const char* kThreadsVariable = "VELMORANT_THREADS";
// More threads than this are not started, whatever the variable says.
inline constexpr int kMaxThreads = 256;

// Threads for the value `text` of VELMORANT_THREADS (null: not set).
// Not set or empty: `hardware` (every hardware thread). A whole number
// 1 .. 256 in decimal: that many (1 computes everything on the main thread);
// above 256: 256. Anything else (0, negative, text, trailing characters) is
// reported on `err` and the default is used.
int thread_count(const char* text, int hardware, std::ostream& err);

}  // namespace velmorant
