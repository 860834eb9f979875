#include "win32Dpi.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace korvo {

int windowDpi(void* hwnd) {
  HWND window = static_cast<HWND>(hwnd);
  if (window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    if (HMODULE user = GetModuleHandleW(L"user32.dll")) {
      // A function pointer from GetProcAddress is cast through the generic FARPROC type.
      const auto fn =
          reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")));
      if (fn) {
        const UINT dpi = fn(window);
        if (dpi > 0) return static_cast<int>(dpi);
      }
    }
  }
  // Per-monitor values are unknown here: the system DPI of the window's (or the screen's) DC.
  HDC dc = GetDC(window);
  if (!dc) return 96;
  const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
  ReleaseDC(window, dc);
  return dpi > 0 ? dpi : 96;
}

}  // namespace korvo
