#include "topWindow.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#elif defined(KORVO_HAVE_X11)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#endif

namespace korvo {

#if defined(_WIN32)

namespace {

// Set by the window procedure: the close button (or Alt+F4) was used. One top-level window per
// program, so a flag of the module will do.
bool g_closeAsked = false;

LRESULT CALLBACK topWindowProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_CLOSE) {
    g_closeAsked = true;
    return 0;
  }
  return DefWindowProcW(h, msg, w, l);
}

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

std::wstring widen(const std::string& s) {
  std::wstring w(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0)), L'\0');
  if (!w.empty()) MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, w.data(), static_cast<int>(w.size()));
  if (!w.empty()) w.pop_back();
  return w;
}

SIZE outerSize(int width, int height) {
  RECT r{0, 0, width, height};
  AdjustWindowRectEx(&r, kStyle, FALSE, 0);
  return {r.right - r.left, r.bottom - r.top};
}

class Win32TopWindow : public TopWindow {
 public:
  explicit Win32TopWindow(HWND w) : w_(w) {}
  ~Win32TopWindow() override { DestroyWindow(w_); }
  void* parentHandle() const override { return w_; }
  unsigned long long id() const override { return reinterpret_cast<std::uintptr_t>(w_); }
  void show() override {
    ShowWindow(w_, SW_SHOWNORMAL);
    UpdateWindow(w_);
    SetForegroundWindow(w_);
  }
  void resize(int width, int height) override {
    const SIZE s = outerSize(width, height);
    SetWindowPos(w_, nullptr, 0, 0, s.cx, s.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  bool pump(int waitMs) override {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(waitMs < 0 ? 0 : waitMs), QS_ALLINPUT);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) g_closeAsked = true;
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    return !g_closeAsked && IsWindow(w_);
  }

 private:
  HWND w_;
};

}  // namespace

std::unique_ptr<TopWindow> TopWindow::create(const std::string& title, int width, int height, std::string& error) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = topWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = L"Korvo.TopWindow";
  RegisterClassW(&wc);
  const SIZE s = outerSize(width, height);
  HWND w = CreateWindowExW(0, wc.lpszClassName, widen(title).c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT, s.cx, s.cy,
                           nullptr, nullptr, wc.hInstance, nullptr);
  if (!w) {
    error = "no window could be made (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  g_closeAsked = false;
  return std::make_unique<Win32TopWindow>(w);
}

#elif defined(KORVO_HAVE_X11)

namespace {

class X11TopWindow : public TopWindow {
 public:
  X11TopWindow(Display* d, const std::string& title, int width, int height) : d_(d) {
    const int screen = DefaultScreen(d);
    w_ = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, static_cast<unsigned>(width),
                             static_cast<unsigned>(height), 0, BlackPixel(d, screen), BlackPixel(d, screen));
    XStoreName(d, w_, title.c_str());
    XChangeProperty(d, w_, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
    XClassHint hint{};
    std::string name = "korvo", cls = "Korvo";
    hint.res_name = name.data();
    hint.res_class = cls.data();
    XSetClassHint(d, w_, &hint);
    deleteWindow_ = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, w_, &deleteWindow_, 1);
    XSelectInput(d, w_, StructureNotifyMask);
    fixSize(width, height);
  }
  ~X11TopWindow() override {
    if (!gone_) XDestroyWindow(d_, w_);
    XCloseDisplay(d_);
  }
  void* parentHandle() const override { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(w_)); }
  unsigned long long id() const override { return w_; }
  void show() override {
    XMapWindow(d_, w_);
    XSync(d_, False);
  }
  void resize(int width, int height) override {
    fixSize(width, height);
    XResizeWindow(d_, w_, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFlush(d_);
  }
  bool pump(int waitMs) override {
    if (!XPending(d_)) {
      pollfd fd{ConnectionNumber(d_), POLLIN, 0};
      poll(&fd, 1, waitMs);
    }
    while (XPending(d_)) {
      XEvent ev;
      XNextEvent(d_, &ev);
      if (ev.type == ClientMessage && static_cast<Atom>(ev.xclient.data.l[0]) == deleteWindow_) closeAsked_ = true;
      if (ev.type == DestroyNotify && ev.xdestroywindow.window == w_) gone_ = closeAsked_ = true;
    }
    return !closeAsked_;
  }

 private:
  void fixSize(int width, int height) {
    XSizeHints hints{};
    hints.flags = PMinSize | PMaxSize;
    hints.min_width = hints.max_width = width;
    hints.min_height = hints.max_height = height;
    XSetWMNormalHints(d_, w_, &hints);
  }
  Display* d_;
  Window w_ = 0;
  Atom deleteWindow_ = 0;
  bool closeAsked_ = false, gone_ = false;
};

}  // namespace

std::unique_ptr<TopWindow> TopWindow::create(const std::string& title, int width, int height, std::string& error) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    error = "no X display (DISPLAY is not set or not reachable)";
    return nullptr;
  }
  return std::make_unique<X11TopWindow>(d, title, width, height);
}

#else

std::unique_ptr<TopWindow> TopWindow::create(const std::string&, int, int, std::string& error) {
  error = "this build has no windows";
  return nullptr;
}

#endif

}  // namespace korvo
