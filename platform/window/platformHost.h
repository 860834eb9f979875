// The window host of the system the plug-in runs on: an X11 child window on Linux, a Win32 child
// window on Windows. What a VST host hands to effEditOpen is the parent (a Window id or an
// HWND); everything runs on the thread that calls effEditOpen, effEditIdle and effEditClose.
#pragma once

#include <memory>

#include "host.h"

namespace korvo {

// Null when there is no parent, no display, or the parent is not a window: the editor then runs
// on the headless host and simply shows nothing.
std::unique_ptr<WindowHost> makePlatformWindowHost(void* parentWindow, int width, int height);

// The system's scale in percent (dots per inch against 96): X11's Xft.dpi of the default
// display, the DPI of the parent window (null: of the screen) on Windows. 0 when unknown.
int platformSystemScale(void* parentWindow = nullptr);

}  // namespace korvo
