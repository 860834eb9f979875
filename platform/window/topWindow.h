// A top-level window of a program's own for the editor to live in (the standalone): titled, of a
// fixed client size that follows the editor's scale, and closed by the window manager's close
// button. An X11 window on Linux, a Win32 window on Windows; everything runs on one thread.
#pragma once

#include <memory>
#include <string>

namespace korvo {

class TopWindow {
 public:
  // Null (and why in `error`) when no window can be made: no X display, no window station.
  static std::unique_ptr<TopWindow> create(const std::string& title, int width, int height, std::string& error);
  virtual ~TopWindow() = default;

  // What a window host takes as its parent: an X11 Window id, or an HWND.
  virtual void* parentHandle() const = 0;
  // The window's id as a number (the tests find it by it).
  virtual unsigned long long id() const = 0;
  virtual void show() = 0;
  // A new client size, which the user cannot change by dragging.
  virtual void resize(int width, int height) = 0;
  // Handles the window's pending events, waiting at most `waitMs` for the first one. False once
  // the window was asked to close (or went away).
  virtual bool pump(int waitMs) = 0;
};

}  // namespace korvo
