#include "platformHost.h"

#if defined(KORVO_HAVE_X11)
#include "x11Host.h"
#elif defined(_WIN32)
#include "win32Host.h"
#endif
#if defined(_WIN32)
#include "win32Dpi.h"
#endif

namespace korvo {

std::unique_ptr<WindowHost> makePlatformWindowHost(void* parentWindow, int width, int height) {
  if (!parentWindow) return nullptr;
#if defined(KORVO_HAVE_X11)
  try {
    return std::make_unique<X11WindowHost>(reinterpret_cast<unsigned long>(parentWindow), width, height);
  } catch (const std::exception&) {
    return nullptr;
  }
#elif defined(_WIN32)
  try {
    return std::make_unique<Win32WindowHost>(parentWindow, width, height);
  } catch (const std::exception&) {
    return nullptr;
  }
#else
  (void)width;
  (void)height;
  return nullptr;
#endif
}

int platformSystemScale(void* parentWindow) {
#if defined(KORVO_HAVE_X11)
  (void)parentWindow;
  return x11SystemScale();
#elif defined(_WIN32)
  return (windowDpi(parentWindow) * 100 + 48) / 96;
#else
  (void)parentWindow;
  return 0;
#endif
}

}  // namespace korvo
