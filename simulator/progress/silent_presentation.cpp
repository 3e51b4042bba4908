// The presentation without output: only the quit message travels.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/progress/silent_presentation.hpp"

namespace velmorant {

void SilentPresentation::close() {
  if (closed_) return;
  closed_ = true;
  if (handlers_) handlers_->on_destroy();
}

FetchResult SilentPresentation::fetch_message() {
  if (quit_posted_) {
    quit_posted_ = false;
    return FetchResult::quit;
  }
  return FetchResult::failed;  // nothing can arrive; never block
}

}  // namespace velmorant
