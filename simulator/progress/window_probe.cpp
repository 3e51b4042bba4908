// Test helper for the progress window under X: prints the published control states, or closes the window as a window manager would.
//
//   velmorant_window_probe WINDOW-ID state   prints the "_VELMORANT_DIALOG" property
//   velmorant_window_probe WINDOW-ID close   sends WM_DELETE_WINDOW
// SPDX-License-Identifier: BSD-3-Clause
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[2], "state") != 0 && std::strcmp(argv[2], "close") != 0)) {
    std::fprintf(stderr, "usage: velmorant_window_probe WINDOW-ID state|close\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "velmorant_window_probe: cannot open the X display\n");
    return 2;
  }
  Window window = std::strtoul(argv[1], nullptr, 0);
  int status = 0;
  if (std::strcmp(argv[2], "state") == 0) {
    Atom name = XInternAtom(display, "_VELMORANT_DIALOG", True);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (name == None ||
        XGetWindowProperty(display, window, name, 0, 4096, False, XA_STRING, &type, &format, &count,
                           &after, &data) != Success ||
        type != XA_STRING || !data) {
      std::fprintf(stderr, "velmorant_window_probe: window %s has no dialog state\n", argv[1]);
      status = 1;
    } else {
      std::fwrite(data, 1, count, stdout);
    }
    if (data) XFree(data);
  } else {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
  }
  XCloseDisplay(display);
  return status;
}
