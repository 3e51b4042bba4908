// SilentPresentation: no window and no output, for batch runs and CI.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include "simulator/progress/presentation.hpp"

namespace velmorant {

// Nothing is shown and no user can act; the only message there can be is
// the quit message, posted when close() destroys the (invisible) dialog or
// by post_quit().
class SilentPresentation : public Presentation {
public:
  void show() override {}
  void close() override;
  void set_text(int, std::string_view) override {}
  void enable(int, bool) override {}
  void set_bar(int) override {}
  void set_focus(int) override {}
  bool peek_message() override { return quit_posted_; }
  FetchResult fetch_message() override;
  bool filter_message() override { return false; }
  void dispatch_message() override {}
  void post_quit() override { quit_posted_ = true; }
  void wait_for_message() override {}
  std::string_view name() const override { return "silent"; }

private:
  bool quit_posted_ = false;
  bool closed_ = false;
};

}  // namespace velmorant
