// A top-level window of the host's for a plug-in's editor to embed into: an X11 window on Linux,
// a Win32 window on Windows. Kept apart so that no window-system header meets the checks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "clapAbi.h"

namespace korvo::claphost {

class HostWindow {
 public:
  HostWindow();
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  // False (and why in `error`) when no window can be made (no X display).
  bool open(std::string& error);
  // "x11" or "win32", and the window as the gui extension takes it.
  static const char* api();
  clap::clap_window window() const;
  // Handles the window system's pending events; then how many child windows ours has and whether
  // one of them is visible at width x height.
  bool visibleChild(std::uint32_t width, std::uint32_t height, int& children);

 private:
  struct System;
  std::unique_ptr<System> system_;
};

}  // namespace korvo::claphost
