// The number of worker threads of a program, from its environment variable (the one rule of the suite).
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <ostream>

namespace common {

// What a program calls its variable and how many threads it starts at most.
struct ThreadSetting {
  const char* program;   // for messages: "Velmorant", "Talvor2"
  const char* variable;  // "VELMORANT_THREADS", "TALVOR2_THREADS"
  int limit;             // more threads than this are not started
};

// Threads for the value `text` of the setting's variable (null: not set).
// Not set or empty: `hardware` (every hardware thread), 1 .. limit. A whole
// number 1 .. limit in decimal: that many (1 computes everything on the
// calling thread); above the limit: the limit. Anything else (0, negative,
// signs, blanks, text, trailing characters) is reported on `err` as
// "<program>: <variable>="<text>" is not a positive whole number; using <n> threads"
// and the default is used.
int thread_count(const ThreadSetting& setting, const char* text, int hardware, std::ostream& err);

}  // namespace common
