// The fake dialog of the tests: an in-memory queue and a record of every operation.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/progress/scripted_presentation.hpp"

#include <cctype>
#include <stdexcept>

namespace velmorant {

ScriptedPresentation::ScriptedPresentation() {
  // As created from the template: captioned buttons, all enabled.
  texts_[kStartButton] = std::string(kStartText);
  texts_[kSuspendButton] = std::string(kSuspendText);
  texts_[kExitButton] = std::string(kExitText);
  texts_[kTimeText] = "";
  for (int id : {kStartButton, kSuspendButton, kExitButton, kProgressBar, kTimeText})
    enabled_[id] = true;
}

const std::string& ScriptedPresentation::text(int control) const {
  static const std::string none;
  auto it = texts_.find(control);
  return it == texts_.end() ? none : it->second;
}

bool ScriptedPresentation::enabled(int control) const {
  auto it = enabled_.find(control);
  return it != enabled_.end() && it->second;
}

void ScriptedPresentation::show() {
  shown_ = true;
  log.push_back("show");
}

void ScriptedPresentation::close() {
  if (closed_) return;
  closed_ = true;
  shown_ = false;
  log.push_back("close");
  if (handlers_) handlers_->on_destroy();
}

void ScriptedPresentation::set_text(int control, std::string_view text) {
  texts_[control] = std::string(text);
  log.push_back("text " + std::to_string(control) + " " + std::string(text));
}

void ScriptedPresentation::enable(int control, bool on) {
  enabled_[control] = on;
  log.push_back("enable " + std::to_string(control) + (on ? " 1" : " 0"));
}

void ScriptedPresentation::set_bar(int percent) {
  bar_ = percent;
  bar_history.push_back(percent);
}

void ScriptedPresentation::set_focus(int control) {
  focus_ = control;
  log.push_back("focus " + std::to_string(control));
}

bool ScriptedPresentation::peek_message() {
  ++peeks;
  return !queue_.empty();
}

FetchResult ScriptedPresentation::fetch_message() {
  ++fetches;
  log.push_back("fetch");
  if (queue_.empty())  // a real fetch would block for ever here
    throw std::runtime_error("ScriptedPresentation: fetch on an empty queue");
  current_ = queue_.front();
  queue_.pop_front();
  if (current_.kind == ScriptedMessage::quit) return FetchResult::quit;
  if (current_.kind == ScriptedMessage::failure) return FetchResult::failed;
  return FetchResult::message;
}

bool ScriptedPresentation::filter_message() {
  log.push_back("filter");
  if (current_.kind != ScriptedMessage::key) return false;
  // Alt+mnemonic: the button whose caption has that letter after '&'.
  char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(current_.letter)));
  for (int id : {kStartButton, kSuspendButton, kExitButton}) {
    const std::string& caption = texts_[id];
    auto amp = caption.find('&');
    if (amp != std::string::npos && amp + 1 < caption.size() &&
        std::tolower(static_cast<unsigned char>(caption[amp + 1])) == letter) {
      if (enabled(id)) press(id);
      break;
    }
  }
  return true;
}

void ScriptedPresentation::dispatch_message() {
  log.push_back("dispatch");
  if (current_.kind == ScriptedMessage::click && enabled(current_.control))
    press(current_.control);
  else if (current_.kind == ScriptedMessage::close_request)
    close();
}

void ScriptedPresentation::press(int control) {
  if (control == kExitButton) {
    close();  // the dialog layer's default action for the Exit button
  } else if (handlers_) {
    if (control == kStartButton) handlers_->on_continue();
    if (control == kSuspendButton) handlers_->on_suspend();
  }
}

void ScriptedPresentation::post_quit() {
  log.push_back("post_quit");
  queue_.push_back({ScriptedMessage::quit});
}

void ScriptedPresentation::wait_for_message() {
  ++idles;
  if (!on_idle || idles > idle_limit)
    throw std::runtime_error("ScriptedPresentation: suspended with nothing scripted");
  on_idle(*this);
}

}  // namespace velmorant
