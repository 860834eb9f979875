#include "lv2NoteWindow.h"

#include <X11/Xlib.h>

#include <cstring>

namespace korvo::lv2 {

namespace {
constexpr const char* kLines[] = {
    "Korvo's editor needs the host's instance-access feature, which this host does not offer.",
    "The plug-in plays; its parameters are in the host's own controls.",
};
}  // namespace

struct NoteWindow::X11 {
  Display* display = nullptr;
  Window window = 0;
};

NoteWindow::NoteWindow(unsigned long parent) : x_(std::make_unique<X11>()) {
  x_->display = XOpenDisplay(nullptr);
  if (!x_->display) return;
  Display* d = x_->display;
  x_->window = XCreateSimpleWindow(d, parent, 0, 0, kWidth, kHeight, 0, BlackPixel(d, DefaultScreen(d)),
                                   WhitePixel(d, DefaultScreen(d)));
  XSelectInput(d, x_->window, ExposureMask);
  XMapWindow(d, x_->window);
  XFlush(d);
}

NoteWindow::~NoteWindow() {
  if (!x_->display) return;
  XDestroyWindow(x_->display, x_->window);
  XCloseDisplay(x_->display);
}

unsigned long NoteWindow::window() const { return x_->window; }

void NoteWindow::idle() {
  Display* d = x_->display;
  if (!d) return;
  while (XPending(d) > 0) {
    XEvent event;
    XNextEvent(d, &event);
    if (event.type != Expose || event.xexpose.count != 0) continue;
    int y = 36;
    for (const char* line : kLines) {
      XDrawString(d, x_->window, DefaultGC(d, DefaultScreen(d)), 16, y, line, static_cast<int>(std::strlen(line)));
      y += 22;
    }
  }
  XFlush(d);
}

}  // namespace korvo::lv2
