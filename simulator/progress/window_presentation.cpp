// The progress dialog as an FLTK window: layout from the dialog template, and the message queue on FLTK's event loop.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/progress/window_presentation.hpp"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Progress.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>

#include <chrono>
#include <cmath>
#include <cstdlib>

namespace velmorant {

namespace {

// The dialog is laid out in dialog units; for an 8-point sans-serif font at
// 96 dpi a horizontal unit is 6/4 pixel and a vertical unit 13/8 pixel.
int px_x(int du) { return static_cast<int>(std::lround(du * 6.0 / 4.0)); }
int px_y(int du) { return static_cast<int>(std::lround(du * 13.0 / 8.0)); }

struct Rect {
  int x, y, w, h;  // dialog units
};
constexpr Rect kDialog = {40, 40, 302, 71};
constexpr Rect kStartRect = {69, 25, 50, 18};
constexpr Rect kSuspendRect = {127, 25, 50, 18};
constexpr Rect kExitRect = {185, 25, 50, 18};
constexpr Rect kBarRect = {9, 8, 281, 8};
constexpr Rect kTextRect = {88, 48, 130, 16};
constexpr int kFontSize = 11;                    // pixels: 8 points at 96 dpi
constexpr long long kLookIntervalNs = 10000000;  // the window system is looked at every 10 ms
constexpr double kIdleWaitSeconds = 0.1;         // longest sleep while suspended

long long now_ns() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

// A dialog push button: Space or Enter press it while it has the focus,
// Alt+its underlined letter presses it (FLTK's label shortcut), and the
// default button also takes Enter when no other button has the focus and
// wears a dark frame.
class DialogButton : public Fl_Button {
public:
  DialogButton(int x, int y, int w, int h, const char* label) : Fl_Button(x, y, w, h, label) {}
  bool is_default = false;

  int handle(int event) override {
    bool enter = Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter;
    if (enter && active_r() &&
        ((event == FL_KEYBOARD && Fl::focus() == this) || (event == FL_SHORTCUT && is_default))) {
      simulate_key_action();
      do_callback();
      return 1;
    }
    return Fl_Button::handle(event);
  }

  void draw() override {
    Fl_Button::draw();
    if (is_default) {
      fl_color(active_r() ? FL_BLACK : fl_inactive(FL_BLACK));
      fl_rect(x(), y(), w(), h());
    }
  }
};

// The largest font size up to `size` at which `text` fits in `width` pixels.
int fitting_size(const char* text, int width, int size) {
  for (; size > 6; --size) {
    fl_font(FL_HELVETICA, size);
    if (fl_width(text) <= width) break;
  }
  return size;
}

template <class W>
W* place(const Rect& r, const char* label = nullptr) {
  auto* w = new W(px_x(r.x), px_y(r.y), px_x(r.w), px_y(r.h), label);
  w->labelsize(kFontSize);
  return w;
}

}  // namespace

WindowPresentation::WindowPresentation() {
  window_ = std::make_unique<Fl_Double_Window>(px_x(kDialog.x), px_y(kDialog.y), px_x(kDialog.w),
                                               px_y(kDialog.h));
  window_->copy_label(std::string(kDialogCaption).c_str());
  window_->xclass("Velmorant");
  auto* start = place<DialogButton>(kStartRect);
  start->is_default = true;
  start_ = start;
  suspend_ = place<DialogButton>(kSuspendRect);
  exit_ = place<DialogButton>(kExitRect);
  start_->copy_label(std::string(kStartText).c_str());
  suspend_->copy_label(std::string(kSuspendText).c_str());
  exit_->copy_label(std::string(kExitText).c_str());
  for (Fl_Button* b : {start_, suspend_, exit_}) {
    b->callback(on_button, this);
    b->when(FL_WHEN_RELEASE);
  }
  bar_ = place<Fl_Progress>(kBarRect);
  bar_->box(FL_THIN_DOWN_BOX);
  bar_->minimum(0.0f);
  bar_->maximum(100.0f);
  bar_->value(0.0f);
  bar_->selection_color(FL_DARK_BLUE);
  text_ = place<Fl_Box>(kTextRect);
  text_->box(FL_THIN_DOWN_BOX);                                   // sunken
  text_->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);  // FLTK centres vertically
  // The longest time line must fit; sans-serif fonts differ in width.
  text_->labelsize(
      fitting_size("      Time to complete :99999h 59m 60s", text_->w() - 6, kFontSize));
  window_->end();
  window_->callback(on_window, this);
  // A fixed-size dialog: no resizing, but the window manager still offers
  // minimising and shows it in the task bar.
  window_->size_range(window_->w(), window_->h(), window_->w(), window_->h());
}

WindowPresentation::~WindowPresentation() = default;

Fl_Widget* WindowPresentation::widget(int control) const {
  switch (control) {
    case kStartButton:
      return start_;
    case kSuspendButton:
      return suspend_;
    case kExitButton:
      return exit_;
    case kProgressBar:
      return bar_;
    case kTimeText:
      return text_;
    default:
      return nullptr;
  }
}

void WindowPresentation::on_button(Fl_Widget* widget, void* self) {
  auto* p = static_cast<WindowPresentation*>(self);
  int id = widget == p->start_     ? kStartButton
           : widget == p->suspend_ ? kSuspendButton
                                   : kExitButton;
  // FLTK calls back only for active buttons; clicks are the only notifications.
  p->queue_.push_back({Command::click, id});
}

void WindowPresentation::on_window(Fl_Widget*, void* self) {
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  static_cast<WindowPresentation*>(self)->queue_.push_back({Command::close_request, 0});
}

void WindowPresentation::show() {
  if (closed_) return;
  window_->show();
  publish_state();
  Fl::flush();
}

void WindowPresentation::publish_state() {
  if (closed_ || !window_->shown()) return;
  std::string state;
  for (int id : {kStartButton, kSuspendButton, kExitButton}) {
    Fl_Widget* b = widget(id);
    state += std::to_string(id) + (b->active() ? " 1 " : " 0 ") + b->label() + "\n";
  }
  state += std::to_string(kProgressBar) + " " +
           std::to_string(static_cast<int>(std::lround(bar_->value()))) + "\n";
  state += std::to_string(kTimeText) + " " + (text_->label() ? text_->label() : "") + "\n";
  int focus = 0;
  for (int id : {kStartButton, kSuspendButton, kExitButton})
    if (Fl::focus() == widget(id)) focus = id;
  state += "focus " + std::to_string(focus) + "\n";
  if (state == published_) return;
  published_ = state;
  if (!dialog_atom_) dialog_atom_ = XInternAtom(fl_display, "_VELMORANT_DIALOG", False);
  XChangeProperty(fl_display, fl_xid(window_.get()), dialog_atom_, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(state.data()),
                  static_cast<int>(state.size()));
}

void WindowPresentation::close() {
  if (closed_) return;
  closed_ = true;
  window_->hide();  // destroys the X window
  Fl::flush();
  if (handlers_) handlers_->on_destroy();
}

void WindowPresentation::set_text(int control, std::string_view text) {
  if (Fl_Widget* w = widget(control)) w->copy_label(std::string(text).c_str());
}

void WindowPresentation::enable(int control, bool on) {
  if (Fl_Widget* w = widget(control)) {
    if (on)
      w->activate();
    else
      w->deactivate();
  }
}

void WindowPresentation::set_bar(int percent) {
  float v = static_cast<float>(percent);
  if (bar_->value() != v) bar_->value(v);  // redraws when drawn next
}

void WindowPresentation::set_focus(int control) {
  if (Fl_Widget* w = widget(control)) w->take_focus();
}

bool WindowPresentation::peek_message() {
  if (!queue_.empty()) return true;
  long long t = now_ns();
  if (t - last_look_ns_ < kLookIntervalNs) return false;
  last_look_ns_ = t;
  publish_state();
  Fl::flush();
  return Fl::ready() != 0;
}

FetchResult WindowPresentation::fetch_message() {
  if (queue_.empty()) {
    // Nothing queued by the widgets: the window-system events are the message.
    if (!closed_ && !Fl::ready()) Fl::wait();  // blocks until something happens
    current_ = {Command::events, 0};
    return FetchResult::message;
  }
  current_ = queue_.front();
  queue_.pop_front();
  return current_.kind == Command::quit ? FetchResult::quit : FetchResult::message;
}

void WindowPresentation::dispatch_message() {
  switch (current_.kind) {
    case Command::events:
      Fl::check();  // delivers the events; button callbacks queue their clicks
      break;
    case Command::click:
      if (current_.control == kExitButton)
        close();  // the Exit button's default action
      else if (handlers_ && current_.control == kStartButton)
        handlers_->on_continue();
      else if (handlers_ && current_.control == kSuspendButton)
        handlers_->on_suspend();
      break;
    case Command::close_request:
      close();
      break;
    case Command::quit:
      break;
  }
}

void WindowPresentation::post_quit() { queue_.push_back({Command::quit, 0}); }

void WindowPresentation::wait_for_message() {
  publish_state();
  if (queue_.empty()) Fl::wait(kIdleWaitSeconds);
}

std::unique_ptr<Presentation> make_window_presentation(std::string* why_not) {
  const char* name = std::getenv("DISPLAY");
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    if (why_not) *why_not = std::string("cannot open the X display \"") + (name ? name : "") + "\"";
    return nullptr;
  }
  fl_open_display(display);
  return std::make_unique<WindowPresentation>();
}

}  // namespace velmorant
