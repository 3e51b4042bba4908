// The number of threads that compute the pixels, from the environment variable VELMORANT_THREADS.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <ostream>

#include "common/thread_count.hpp"

namespace velmorant {

inline constexpr const char* kThreadsVariable = "VELMORANT_THREADS";
// More threads than this are not started, whatever the variable says.
inline constexpr int kMaxThreads = 256;
inline constexpr common::ThreadSetting kThreadSetting{"Velmorant", kThreadsVariable, kMaxThreads};

// Threads for the value `text` of VELMORANT_THREADS (null: not set):
// common::thread_count with the limit 256.
inline int thread_count(const char* text, int hardware, std::ostream& err) {
  return common::thread_count(kThreadSetting, text, hardware, err);
}

}  // namespace velmorant
