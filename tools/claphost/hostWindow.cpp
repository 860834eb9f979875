#include "hostWindow.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <X11/Xlib.h>
#endif

namespace korvo::claphost {

using namespace clap;

#if defined(_WIN32)

struct HostWindow::System {
  HWND window = nullptr;
};

HostWindow::HostWindow() : system_(std::make_unique<System>()) {}
HostWindow::~HostWindow() {
  if (system_->window) DestroyWindow(system_->window);
}

const char* HostWindow::api() { return CLAP_WINDOW_API_WIN32; }

bool HostWindow::open(std::string& error) {
  WNDCLASSA c{};
  c.lpfnWndProc = DefWindowProcA;
  c.hInstance = GetModuleHandleA(nullptr);
  c.lpszClassName = "claphostWindow";
  RegisterClassA(&c);
  system_->window = CreateWindowExA(0, c.lpszClassName, "claphost", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 1500,
                                    1000, nullptr, nullptr, c.hInstance, nullptr);
  if (!system_->window) {
    error = "no window (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  ShowWindow(system_->window, SW_SHOW);
  return true;
}

clap_window HostWindow::window() const {
  clap_window w{};
  w.api = api();
  w.win32 = system_->window;
  return w;
}

bool HostWindow::visibleChild(std::uint32_t width, std::uint32_t height, int& children) {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  children = 0;
  bool found = false;
  for (HWND c = GetWindow(system_->window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    ++children;
    RECT r{};
    GetClientRect(c, &r);
    found = found || (IsWindowVisible(c) && static_cast<std::uint32_t>(r.right - r.left) == width &&
                      static_cast<std::uint32_t>(r.bottom - r.top) == height);
  }
  return found;
}

#else

struct HostWindow::System {
  Display* display = nullptr;
  Window window = 0;
};

HostWindow::HostWindow() : system_(std::make_unique<System>()) {}
HostWindow::~HostWindow() {
  if (!system_->display) return;
  if (system_->window) XDestroyWindow(system_->display, system_->window);
  XCloseDisplay(system_->display);
}

const char* HostWindow::api() { return CLAP_WINDOW_API_X11; }

bool HostWindow::open(std::string& error) {
  system_->display = XOpenDisplay(nullptr);
  if (!system_->display) {
    error = "no X display (run under xvfb-run)";
    return false;
  }
  Display* d = system_->display;
  system_->window = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1500, 1000, 0, 0, 0);
  XMapWindow(d, system_->window);
  XSync(d, False);
  return true;
}

clap_window HostWindow::window() const {
  clap_window w{};
  w.api = api();
  w.x11 = system_->window;
  return w;
}

bool HostWindow::visibleChild(std::uint32_t width, std::uint32_t height, int& children) {
  Display* d = system_->display;
  XSync(d, False);
  Window root = 0, up = 0, *list = nullptr;
  unsigned count = 0;
  XQueryTree(d, system_->window, &root, &up, &list, &count);
  bool found = false;
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes a{};
    XGetWindowAttributes(d, list[i], &a);
    found = found || (static_cast<std::uint32_t>(a.width) == width && static_cast<std::uint32_t>(a.height) == height &&
                      a.map_state == IsViewable);
  }
  if (list) XFree(list);
  children = static_cast<int>(count);
  return found;
}

#endif

}  // namespace korvo::claphost
