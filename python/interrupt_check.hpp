// Ctrl-C in Python during a long computation: a silent presentation that looks at Python's signals every few milliseconds.
//
// The engine runs with the interpreter lock released and calls the run
// control's progress_update after every pixel, on the calling thread; the
// control asks the presentation whether a message waits. This presentation
// answers, at most every kCheckInterval, after taking the lock briefly and
// running Python's signal handlers (PyErr_CheckSignals): when a handler
// raised (KeyboardInterrupt on Ctrl-C), it posts the quit message, the
// control ends the run through its end hook, and the caller re-raises the
// Python exception once the lock is held again.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <pybind11/pybind11.h>

#include <chrono>
#include <cstdint>

#include "simulator/progress/silent_presentation.hpp"

namespace tem_python {

// Thrown by the end hook of the run control: unwinds the computation.
struct RunCancelled {};

class InterruptCheck : public velmorant::SilentPresentation {
public:
  static constexpr std::chrono::milliseconds kCheckInterval{20};

  bool peek_message() override {
    if (SilentPresentation::peek_message()) return true;
    // The clock is read every 16th call only: a pixel takes microseconds.
    if ((++calls_ & 15u) != 0) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_check_ < kCheckInterval) return false;
    last_check_ = now;
    pybind11::gil_scoped_acquire lock;
    if (PyErr_CheckSignals() != 0) {
      raised_ = true;  // the Python error stays set for the caller
      post_quit();
      return true;
    }
    return false;
  }

  // Whether a Python signal handler raised during the run.
  bool raised() const { return raised_; }

private:
  std::uint32_t calls_ = 0;
  std::chrono::steady_clock::time_point last_check_ = std::chrono::steady_clock::now();
  bool raised_ = false;
};

}  // namespace tem_python
