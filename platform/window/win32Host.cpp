#include "win32Host.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <windowsx.h>
#include <commdlg.h>
#include <objbase.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "menu.h"
#include "popupHost.h"
#include "topLevels.h"
#include "win32Dpi.h"

namespace korvo {

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr UINT_PTR kSettleTimerId = 2;
// The display clock is looked at this often between the host's idle calls.
constexpr UINT kTimerMs = 35;
// Runs a chosen menu item from a fresh message, after the menu windows are gone.
constexpr UINT kMsgRunMenuItem = WM_APP + 0x41;
// WM_DPICHANGED_AFTERPARENT, which mingw's headers may not name.
constexpr UINT kDpiChangedAfterParent = 0x02E3;

// Texts are UTF-8. Paths are in the code page the C library's fopen and std::filesystem read
// narrow names in on Windows (the file commands open them that way).
std::wstring widen(const std::string& s, UINT codePage = CP_UTF8) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(std::max(n, 0)), L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

// False when the code page has no exact form of the text.
bool narrow(const wchar_t* w, UINT codePage, std::string& out) {
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(codePage, codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS, w, -1, nullptr, 0,
                                    nullptr, codePage == CP_UTF8 ? nullptr : &lossy);
  if (n <= 0) return false;
  out.assign(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS, w, -1, out.data(), n, nullptr,
                      codePage == CP_UTF8 ? nullptr : &lossy);
  out.resize(static_cast<std::size_t>(n - 1));
  return !lossy;
}

// A chosen path as the file commands can open it: in the code page, or else through the short
// (8.3) names of the file or of its folder, which the code page always has.
std::string pathForFiles(const wchar_t* path) {
  std::string out;
  if (narrow(path, CP_ACP, out)) return out;
  std::wstring full(path), shortName(MAX_PATH * 2, L'\0');
  DWORD n = GetShortPathNameW(full.c_str(), shortName.data(), static_cast<DWORD>(shortName.size()));
  if (n > 0 && n < shortName.size() && narrow(shortName.c_str(), CP_ACP, out)) return out;
  const std::size_t cut = full.find_last_of(L"\\/");
  if (cut != std::wstring::npos) {
    n = GetShortPathNameW(full.substr(0, cut).c_str(), shortName.data(), static_cast<DWORD>(shortName.size()));
    std::string folder, name;
    if (n > 0 && n < shortName.size() && narrow(shortName.c_str(), CP_ACP, folder) &&
        narrow(full.c_str() + cut + 1, CP_ACP, name))
      return folder + "\\" + name;
  }
  narrow(path, CP_ACP, out);  // the command then reports that it cannot open it
  return out;
}

HINSTANCE thisModule() {
  HMODULE m = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&thisModule), &m);
  return m;
}

LRESULT CALLBACK editorProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK popupProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK dialogProc(HWND, UINT, WPARAM, LPARAM);

// The window classes of this module. Hosts load several plug-ins (and sometimes two builds
// of one) into a process: the names carry this module's base address, so no other module's
// class can be taken for ours, and they are registered with this module's instance.
class WindowClasses {
 public:
  bool acquire() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (users_ > 0) {
      ++users_;
      return true;
    }
    module_ = thisModule();
    if (!module_) return false;
    wchar_t base[64];
    std::swprintf(base, 64, L"Korvo.%p", static_cast<void*>(module_));
    editor_ = std::wstring(base) + L".Editor";
    popup_ = std::wstring(base) + L".Menu";
    dialog_ = std::wstring(base) + L".Dialog";
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = editorProc;
    wc.hInstance = module_;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = editor_.c_str();
    if (!RegisterClassExW(&wc)) return false;
    wc.style = CS_SAVEBITS | CS_DROPSHADOW;
    wc.lpfnWndProc = popupProc;
    wc.lpszClassName = popup_.c_str();
    if (!RegisterClassExW(&wc)) {
      UnregisterClassW(editor_.c_str(), module_);
      return false;
    }
    wc.style = CS_DBLCLKS | CS_DROPSHADOW;
    wc.lpfnWndProc = dialogProc;
    wc.lpszClassName = dialog_.c_str();
    if (!RegisterClassExW(&wc)) {
      UnregisterClassW(popup_.c_str(), module_);
      UnregisterClassW(editor_.c_str(), module_);
      return false;
    }
    users_ = 1;
    return true;
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (users_ <= 0 || --users_ > 0) return;
    unregister();
  }
  // At unload: whatever a host left open, the classes do not outlive the code of their window
  // procedures.
  ~WindowClasses() {
    if (users_ > 0) unregister();
  }
  int users() const { return users_; }
  HINSTANCE module() const { return module_; }
  const wchar_t* editor() const { return editor_.c_str(); }
  const wchar_t* popup() const { return popup_.c_str(); }
  const wchar_t* dialog() const { return dialog_.c_str(); }

 private:
  void unregister() {
    UnregisterClassW(dialog_.c_str(), module_);
    UnregisterClassW(popup_.c_str(), module_);
    UnregisterClassW(editor_.c_str(), module_);
    users_ = 0;
  }
  std::mutex mutex_;
  int users_ = 0;
  HINSTANCE module_ = nullptr;
  std::wstring editor_, popup_, dialog_;
};

WindowClasses g_classes;

ShiftState keyShift() {
  ShiftState s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= kShift;
  if (GetKeyState(VK_CONTROL) < 0) s |= kCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= kAlt;
  return s;
}

ShiftState mouseShift(WPARAM w) {
  ShiftState s = 0;
  if (w & MK_SHIFT) s |= kShift;
  if (w & MK_CONTROL) s |= kCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= kAlt;
  return s;
}

LPCWSTR cursorId(Cursor c) {
  switch (c) {
    case Cursor::HandPoint: return reinterpret_cast<LPCWSTR>(IDC_HAND);
    case Cursor::IBeam: return reinterpret_cast<LPCWSTR>(IDC_IBEAM);
    case Cursor::Cross: return reinterpret_cast<LPCWSTR>(IDC_CROSS);
    case Cursor::SizeNS: return reinterpret_cast<LPCWSTR>(IDC_SIZENS);
    default: return reinterpret_cast<LPCWSTR>(IDC_ARROW);
  }
}

// Copies an area of the frame 1:1. The DIB handed over is just the rows of the area, top-down,
// so source and destination rows cannot be confused.
void blit(HDC dc, const Image& image, RECT r) {
  r.left = std::max<LONG>(r.left, 0);
  r.top = std::max<LONG>(r.top, 0);
  r.right = std::min<LONG>(r.right, image.width());
  r.bottom = std::min<LONG>(r.bottom, image.height());
  if (r.right <= r.left || r.bottom <= r.top) return;
  const int rows = r.bottom - r.top;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = image.width();
  bi.bmiHeader.biHeight = -rows;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, r.left, r.top, static_cast<DWORD>(r.right - r.left), static_cast<DWORD>(rows), r.left, 0, 0,
                    static_cast<UINT>(rows), image.row(r.top), &bi, DIB_RGB_COLORS);
}

RECT toRect(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// WM_PAINT of any of our windows: `update` brings its picture up to date and answers it (null when
// there is none); the part the system asks for is copied.
template <class Update>
void paintWindow(HWND w, Update update) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(w, &ps);
  if (const Image* image = update()) blit(dc, *image, ps.rcPaint);
  EndPaint(w, &ps);
}

// The button of a press or release message: 0 left, 1 right, 2 middle.
unsigned buttonIndex(UINT msg) {
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP: return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_RBUTTONUP: return 1;
    default: return 2;
  }
}

using GetWindowDpiContextFn = void*(WINAPI*)(HWND);
using SetThreadDpiContextFn = void*(WINAPI*)(void*);

template <class Fn>
Fn user32Function(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  FARPROC p = user32 ? GetProcAddress(user32, name) : nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(p));
}

}  // namespace

namespace {
// The message hooks of the GUI threads, one per thread however many editors it shows.
struct ThreadHook {
  DWORD thread = 0;
  HHOOK hook = nullptr;
  std::vector<Win32WindowHost::Impl*> hosts;
};
std::mutex g_hookMutex;
std::vector<ThreadHook> g_hooks;
LRESULT CALLBACK getMessageHook(int code, WPARAM wParam, LPARAM lParam);
}  // namespace

struct Win32WindowHost::Impl final : TopLevels<HWND>::Backend {
  Win32WindowHost& self;
  HWND parent = nullptr;
  HWND hwnd = nullptr;
  bool gone = false;
  bool destroying = false;
  int nativeDialogs = 0;  // the system's file dialog runs its own loop: its keys are its own
  Image frame;
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);

  // Menu levels and dialogs in windows of their own over the editor.
  TopLevels<HWND> tops;
  using Popup = TopLevels<HWND>::Popup;
  using DialogWindow = TopLevels<HWND>::Dialog;
  std::vector<Popup>& popups = tops.popups;
  std::vector<DialogWindow>& dialogs = tops.dialogs;
  MenuRequests& menus = tops.menus;
  bool closingPopups = false;
  MenuItem* toRun = nullptr;

  explicit Impl(Win32WindowHost& s) : self(s), tops(s, *this) {}

  // Keys ----------------------------------------------------------------------------------------
  // What a hooked keyboard message does while the window wants keys: the focused control (or
  // the open menu) gets key-down or key-up, and a key-down its characters too, unless it is an
  // extended key (arrows, Insert, Delete, ...), which types nothing.
  void hookedKey(const MSG& m) {
    const bool down = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
    const bool up = m.message == WM_KEYUP || m.message == WM_SYSKEYUP;
    if (!down && !up) return;  // characters are made here from the key-down, never twice
    const int vk = static_cast<int>(m.wParam);
    WindowHost& target = popups.empty() ? static_cast<WindowHost&>(self) : *popups.back().host;
    if (!self.keyEcho.accept(KeyEchoFilter::Route::System, down, vk)) return;
    const ShiftState s = keyShift();
    if (up) {
      target.keyUp(vk, s);
      return;
    }
    target.keyDown(vk, s);
    if (!popups.empty() || (m.lParam & (1 << 24)) || m.message == WM_SYSKEYDOWN) return;
    BYTE state[256];
    wchar_t text[8];
    if (!GetKeyboardState(state)) return;
    const int n = ToUnicode(static_cast<UINT>(vk), static_cast<UINT>((m.lParam >> 16) & 0xFF), state, text, 8, 0);
    typeUtf16(text, n);
  }

  void typeUtf16(const wchar_t* text, int n) {
    for (int i = 0; i < n; ++i) {
      char32_t c = static_cast<char16_t>(text[i]);
      if (c >= 0xD800 && c < 0xDC00 && i + 1 < n) {
        const char32_t low = static_cast<char16_t>(text[i + 1]);
        if (low >= 0xDC00 && low < 0xE000) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
      self.keyChar(c);
    }
  }

  bool ours(HWND w) const {
    if (!w) return false;
    if (w == hwnd || IsChild(hwnd, w)) return true;
    for (const Popup& p : popups)
      if (p.w == w) return true;
    for (const DialogWindow& d : dialogs)
      if (d.w == w) return true;
    return false;
  }

  // The thread's messages before the host's loop sees them. True: the message is taken (the
  // host then gets a WM_NULL in its place).
  bool filter(const MSG& m) {
    if (gone || destroying || nativeDialogs > 0) return false;
    switch (m.message) {
      case WM_KEYDOWN:
      case WM_KEYUP:
      case WM_SYSKEYDOWN:
      case WM_SYSKEYUP:
      case WM_CHAR:
      case WM_SYSCHAR:
      case WM_DEADCHAR:
      case WM_SYSDEADCHAR:
        if (popups.empty() && !self.wantsKeyboard()) return false;
        // A dialog has keys only while its window is the active one; the host's other windows
        // keep theirs.
        if (popups.empty() && !dialogs.empty() && !ours(m.hwnd)) return false;
        hookedKey(m);
        afterInput();
        return true;
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDBLCLK:
      case WM_NCLBUTTONDOWN:
      case WM_NCRBUTTONDOWN:
      case WM_NCMBUTTONDOWN:
        if (ours(m.hwnd)) return false;
        if (!popups.empty()) {  // a click beside the menu closes it and goes no further
          menus.cancel();
          settle();
          return true;
        }
        // A click into the host: the name box lets go of the keys, as when it loses the focus.
        if (self.modalCount() == 0 && self.focus() && self.wantsKeyboard()) {
          self.setFocus(nullptr);
          afterInput();
        }
        return false;
      case WM_MOUSEWHEEL: {
        // The wheel goes to the focused window; over the editor it is the editor's.
        if (m.hwnd == hwnd) return false;
        POINT pt{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
        if (WindowFromPoint(pt) != hwnd) return false;
        ScreenToClient(hwnd, &pt);
        self.mouseWheel(GET_WHEEL_DELTA_WPARAM(m.wParam), mouseShift(GET_KEYSTATE_WPARAM(m.wParam)),
                        self.toUnits({pt.x, pt.y}));
        afterInput();
        return true;
      }
      default: return false;
    }
  }

  void installHook() {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    const DWORD thread = GetCurrentThreadId();
    for (ThreadHook& h : g_hooks)
      if (h.thread == thread) {
        h.hosts.push_back(this);
        return;
      }
    // A hook of this thread only: the procedure is in this process, so no module is named.
    HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, getMessageHook, nullptr, thread);
    if (!hook) return;
    g_hooks.push_back({thread, hook, {this}});
  }

  void removeHook() {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    for (auto h = g_hooks.begin(); h != g_hooks.end(); ++h) {
      auto it = std::find(h->hosts.begin(), h->hosts.end(), this);
      if (it == h->hosts.end()) continue;
      h->hosts.erase(it);
      if (h->hosts.empty()) {
        UnhookWindowsHookEx(h->hook);
        g_hooks.erase(h);
      }
      return;
    }
  }

  // Input of the editor window ------------------------------------------------------------------
  LRESULT editorMessage(UINT msg, WPARAM w, LPARAM l) {
    switch (msg) {
      case WM_ERASEBKGND: return 1;
      case WM_PAINT: paintEditor(); return 0;
      case WM_TIMER:
        if (w == kSettleTimerId) {
          KillTimer(hwnd, kSettleTimerId);
          afterInput();
          return 0;
        }
        if (w == kTimerId) {
          std::weak_ptr<bool> still = alive;
          if (self.onTimer) self.onTimer();
          if (still.expired()) return 0;
        }
        return 0;
      case WM_GETDLGCODE: return DLGC_WANTALLKEYS | DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_WANTTAB;
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDBLCLK:
      case WM_MBUTTONDBLCLK:
        if (pressTaken(true, msg)) return 0;  // the editor waits for its dialog
        tops.pressWentOn(buttonIndex(msg));
        break;
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
      case WM_MBUTTONUP:
        if (tops.releaseHeld(buttonIndex(msg))) return 0;
        break;
      case WM_MOUSEMOVE:
        if (!popups.empty() || !dialogs.empty()) return 0;
        break;
      case WM_SETCURSOR:
        if (showCursor(l)) return TRUE;
        break;
      // Keys that reach the window while it has the focus and wants none: the on-screen keyboard
      // plays them; a held key's repeats (bit 30: it was down before) do not strike again.
      case WM_KEYDOWN:
        if (l & (1 << 30)) return 0;
        break;
      case kDpiChangedAfterParent:  // the host's window went to a screen of another scale
        if (self.onSystemScaleChanged) self.onSystemScaleChanged();
        return 0;
      case kMsgRunMenuItem: {
        MenuItem* item = toRun;
        toRun = nullptr;
        if (!item || !item->onClick) return 0;
        std::weak_ptr<bool> still = alive;
        item->onClick(*item);  // may open the system's file dialog, and the host may close us meanwhile
        if (!still.expired()) afterInput();
        return 0;
      }
      case WM_NCDESTROY:
        // With the parent, or by us: nothing is drawn into it, nor destroyed, again.
        gone = true;
        hwnd = nullptr;
        return 0;
      default: break;
    }
    if (input(hwnd, msg, w, l, {})) return 0;
    return DefWindowProcW(hwnd, msg, w, l);
  }

  // Pointer and key messages of the editor's window, or of the topmost dialog's at `offset`
  // (the dialog's position), handed to the host in window units. False for any other message.
  bool input(HWND w, UINT msg, WPARAM wp, LPARAM lp, Point offset) {
    auto units = [&](int x, int y) {
      const Point u = self.toUnits({x, y});
      return Point{u.x + offset.x, u.y + offset.y};
    };
    const unsigned button = buttonIndex(msg);
    const MouseButton b = button == 0 ? MouseButton::Left : button == 1 ? MouseButton::Right : MouseButton::Middle;
    std::weak_ptr<bool> still = alive;  // a click may close a dialog, or the host the editor
    switch (msg) {
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDBLCLK:
      case WM_MBUTTONDBLCLK: {
        // Drags go on outside the window until the last button is let go.
        if (GetCapture() != w) SetCapture(w);
        const Point p = units(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        if (msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDBLCLK || msg == WM_MBUTTONDBLCLK)
          self.doubleClick(b, mouseShift(wp), p);
        else
          self.mouseDown(b, mouseShift(wp), p);
        break;
      }
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
      case WM_MBUTTONUP:
        self.mouseUp(b, mouseShift(wp), units(GET_X_LPARAM(lp), GET_Y_LPARAM(lp)));
        if (!(wp & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) && GetCapture() == w) ReleaseCapture();
        break;
      case WM_MOUSEMOVE: self.mouseMove(mouseShift(wp), units(GET_X_LPARAM(lp), GET_Y_LPARAM(lp))); break;
      case WM_MOUSEWHEEL: {
        POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ScreenToClient(w, &pt);
        self.mouseWheel(GET_WHEEL_DELTA_WPARAM(wp), mouseShift(GET_KEYSTATE_WPARAM(wp)), units(pt.x, pt.y));
        break;
      }
      case WM_KEYDOWN:
      case WM_KEYUP:
        if (self.keyEcho.accept(KeyEchoFilter::Route::System, msg == WM_KEYDOWN, static_cast<int>(wp))) {
          if (msg == WM_KEYDOWN)
            self.keyDown(static_cast<int>(wp), keyShift());
          else
            self.keyUp(static_cast<int>(wp), keyShift());
        }
        break;
      case WM_CHAR: {
        const wchar_t c = static_cast<wchar_t>(wp);
        typeUtf16(&c, 1);
        break;
      }
      default: return false;
    }
    if (!still.expired()) afterInput();
    return true;
  }

  // Over the client area, the pointer takes the shape the control under it asks for.
  bool showCursor(LPARAM l) {
    if (LOWORD(l) != HTCLIENT) return false;
    SetCursor(LoadCursorW(nullptr, cursorId(self.cursor())));
    return true;
  }

  // A press that goes no further: one beside an open menu closes it; one in a window that
  // waits for a dialog (the editor, a dialog below) brings the topmost dialog to the front, and
  // its release is not handed on either.
  bool pressTaken(bool waits, UINT msg) {
    if (!popups.empty()) {
      menus.cancel();
      settle();
      return true;
    }
    return waits && tops.holdPress(buttonIndex(msg));
  }

  // After each input: dialogs closed by it are freed, and what it changed is painted when the
  // queue is empty.
  void afterInput() {
    settle();
    if (gone) return;
    if (self.needsPaint()) {
      const RECT r = toRect(self.toDevice(self.dirty()));
      InvalidateRect(hwnd, &r, FALSE);
    }
    for (Popup& p : popups)
      if (p.host->needsPaint()) {
        const RECT r = toRect(p.host->toDevice(p.host->dirty()));
        InvalidateRect(p.w, &r, FALSE);
      }
    refreshDialogs();
  }

  // Dialogs -------------------------------------------------------------------------------------
  // Paints what changed in the dialogs into their pictures and has the system show it.
  void refreshDialogs() {
    for (DialogWindow& d : dialogs) {
      if (!d.w) continue;
      const Size before{d.frame.width(), d.frame.height()};
      const Rect area = self.renderModal(*d.dialog, d.frame);
      if (before.width != d.frame.width() || before.height != d.frame.height()) {  // resized or rescaled
        SetWindowPos(d.w, nullptr, 0, 0, d.frame.width(), d.frame.height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(d.w, nullptr, FALSE);
      } else if (!area.empty()) {
        const RECT r = toRect(area);
        InvalidateRect(d.w, &r, FALSE);
      }
    }
  }

  // TopLevels' backend -------------------------------------------------------------------------
  HWND createDialogWindow(Control& d, Point at, Size size) override {
    if (gone || !hwnd) return nullptr;
    // Owned by the host's top-level window, so it stays above it and goes with it; made in the
    // awareness of the editor's thread context, as the editor was.
    static const auto getContext = user32Function<GetWindowDpiContextFn>("GetWindowDpiAwarenessContext");
    static const auto setContext = user32Function<SetThreadDpiContextFn>("SetThreadDpiAwarenessContext");
    void* previous = getContext && setContext ? setContext(getContext(hwnd)) : nullptr;
    HWND owner = GetAncestor(hwnd, GA_ROOT);
    HWND dw = CreateWindowExW(0, g_classes.dialog(), widen(dialogTitle(d)).c_str(), WS_POPUP, at.x, at.y, size.width,
                              size.height, owner, nullptr, g_classes.module(), nullptr);
    if (previous) setContext(previous);
    if (dw) SetWindowLongPtrW(dw, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return dw;
  }

  HWND createMenuWindow(Point at, Size size) override {
    // Owned by the host's top-level window, so it stays above it and goes with it.
    HWND owner = GetAncestor(hwnd, GA_ROOT);
    HWND w = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, g_classes.popup(), L"", WS_POPUP,
                             at.x, at.y, size.width, size.height, owner, nullptr, g_classes.module(), nullptr);
    if (w) SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return w;
  }

  void showWindow(HWND w, bool dialog) override {
    if (!dialog) {
      ShowWindow(w, SW_SHOWNOACTIVATE);
      return;
    }
    if (DialogWindow* d = tops.dialogOf(w)) self.renderModal(*d->dialog, d->frame);
    ShowWindow(w, SW_SHOW);
  }

  void destroyWindow(HWND w) override { DestroyWindow(w); }

  void raiseDialog(HWND w) override {
    SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetActiveWindow(w);
  }

  // Kept on the monitor the point is on.
  Rect menuArea(Point where) override {
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    if (!GetMonitorInfoW(MonitorFromPoint(POINT{where.x, where.y}, MONITOR_DEFAULTTONEAREST), &mi))
      return Rect{INT_MIN / 2, INT_MIN / 2, INT_MAX / 2, INT_MAX / 2};
    return Rect{mi.rcWork.left, mi.rcWork.top, mi.rcWork.right, mi.rcWork.bottom};
  }

  void grabForMenu(HWND first) override {
    closingPopups = false;
    SetCapture(first);
  }

  // Destroying the levels moves the capture: that is no reason to close the menu again.
  void releaseMenuGrab(HWND first) override {
    closingPopups = true;
    if (GetCapture() == first) ReleaseCapture();
  }

  LRESULT dialogMessage(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    DialogWindow* d = tops.dialogOf(w);
    if (!d) return DefWindowProcW(w, msg, wp, lp);
    const bool top = d == &dialogs.back();
    switch (msg) {
      case WM_ERASEBKGND: return 1;
      case WM_PAINT:
        paintWindow(w, [&] {
          if (d->frame.empty()) self.renderModal(*d->dialog, d->frame);
          return &d->frame;
        });
        return 0;
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDBLCLK:
      case WM_MBUTTONDBLCLK: {
        if (pressTaken(!top, msg)) return 0;
        const Point at = self.toUnits({GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        if ((msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) &&
            onDragArea(*d->dialog, {at.x + d->dialog->left(), at.y + d->dialog->top()})) {
          POINT c{};
          RECT r{};
          GetCursorPos(&c);
          GetWindowRect(w, &r);
          d->drag.start({c.x, c.y}, {r.left, r.top});
          SetCapture(w);
          return 0;
        }
        break;
      }
      case WM_MOUSEMOVE:
        if (d->drag.active) {
          POINT c{};
          GetCursorPos(&c);
          const Point to = d->drag.windowAt({c.x, c.y});
          SetWindowPos(w, nullptr, to.x, to.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
          return 0;
        }
        [[fallthrough]];
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
      case WM_MBUTTONUP:
        if (msg != WM_MOUSEMOVE && tops.releaseHeld(buttonIndex(msg))) {
          if (GetCapture() == w && !(wp & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) ReleaseCapture();
          return 0;
        }
        if (d->drag.active && msg == WM_LBUTTONUP) {
          d->drag.active = false;
          if (GetCapture() == w) ReleaseCapture();
          return 0;
        }
        if (!top || (!popups.empty() && !self.capture())) {
          if (GetCapture() == w && !(wp & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) ReleaseCapture();
          return 0;
        }
        break;
      case WM_SETCURSOR:
        if (showCursor(lp)) return TRUE;
        break;
      case WM_CLOSE:  // Alt+F4 or the task list: what Escape does in the dialog
        if (top) {
          self.keyDown(keys::Escape, 0);
          afterInput();
        }
        return 0;
      case WM_CAPTURECHANGED: d->drag.active = false; break;
      case WM_NCDESTROY: d->w = nullptr; return 0;
      default: break;
    }
    // Keys reach the window itself only where the thread's hook could not be set.
    if (top && input(w, msg, wp, lp, {d->dialog->left(), d->dialog->top()})) return 0;
    return DefWindowProcW(w, msg, wp, lp);
  }

  void paintEditor() {
    paintWindow(hwnd, [this] {
      const Size size = self.deviceSize();
      if (frame.width() != size.width || frame.height() != size.height || frame.scale() != self.scale())
        self.render(frame);
      else
        self.renderDirty(frame);
      return &frame;
    });
  }

  // Menus ---------------------------------------------------------------------------------------
  Popup* popupOf(HWND w) {
    for (Popup& p : popups)
      if (p.w == w) return &p;
    return nullptr;
  }

  LRESULT popupMessage(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_ERASEBKGND: return 1;
      case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
      case WM_PAINT:
        paintWindow(w, [&]() -> const Image* {
          Popup* p = popupOf(w);
          if (!p) return nullptr;
          if (p->frame.empty())
            p->host->render(p->frame);
          else
            p->host->renderDirty(p->frame);
          return &p->frame;
        });
        return 0;
      case WM_MOUSEMOVE:
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
      case WM_MBUTTONUP: {
        // The first level holds the capture: events anywhere come here in its coordinates.
        POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ClientToScreen(w, &pt);
        popupMouse(msg, mouseShift(wp), {pt.x, pt.y});
        afterInput();
        return 0;
      }
      case WM_CAPTURECHANGED:
        // Someone else took the mouse (another window, the system): the menu closes.
        if (!closingPopups && !popupOf(reinterpret_cast<HWND>(lp))) {
          menus.cancel();
          settleLater();
        }
        return 0;
      case WM_NCDESTROY:
        for (Popup& p : popups)
          if (p.w == w) p.w = nullptr;
        return 0;
      default: break;
    }
    return DefWindowProcW(w, msg, wp, lp);
  }

  // A capture change arrives inside someone else's call: the menu is closed from a timer tick
  // of our own instead of from within it.
  void settleLater() {
    if (hwnd) SetTimer(hwnd, kSettleTimerId, 0, nullptr);
  }

  void popupMouse(UINT msg, ShiftState s, Point screen) {
    const bool press = msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN;
    const bool release = msg == WM_LBUTTONUP || msg == WM_RBUTTONUP || msg == WM_MBUTTONUP;
    const MouseButton b = msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP   ? MouseButton::Left
                          : msg == WM_RBUTTONDOWN || msg == WM_RBUTTONUP ? MouseButton::Right
                                                                         : MouseButton::Middle;
    if (release && self.capture()) {
      // The press that opened the menu is let go (beside the window, or dragged into the menu).
      const Point e = self.windowOrigin();
      self.mouseUp(b, s, self.toUnits({screen.x - e.x, screen.y - e.y}));
    }
    Popup* under = tops.levelAt(screen);
    if (!under) {
      if (press) menus.cancel();
      return;
    }
    const Point o = under->host->windowOrigin();
    const Point p = under->host->toUnits({screen.x - o.x, screen.y - o.y});
    if (press)
      under->host->mouseDown(b, s, p);
    else if (release)
      under->host->mouseUp(b, s, p);
    else
      under->host->mouseMove(s, p);
  }

  // After each event: deferred menu work.
  void settle() {
    // A chosen command runs from a message of its own, so that nothing of this event is still
    // on the stack when it opens a file dialog.
    menus.settle(tops, [this](MenuItem& item) {
      toRun = &item;
      if (hwnd) PostMessageW(hwnd, kMsgRunMenuItem, 0, 0);
    });
    self.collectClosed();
    for (Popup& p : popups) p.host->collectClosed();
  }
};

namespace {

LRESULT CALLBACK editorProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(l);
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    if (auto* m = static_cast<Win32WindowHost::Impl*>(cs->lpCreateParams)) m->hwnd = h;
  }
  auto* m = reinterpret_cast<Win32WindowHost::Impl*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (!m || m->hwnd != h) return DefWindowProcW(h, msg, w, l);
  if (msg == WM_NCDESTROY) SetWindowLongPtrW(h, GWLP_USERDATA, 0);
  if (m->destroying && msg != WM_NCDESTROY) return DefWindowProcW(h, msg, w, l);
  return m->editorMessage(msg, w, l);
}

LRESULT CALLBACK popupProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  auto* m = reinterpret_cast<Win32WindowHost::Impl*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (!m) return DefWindowProcW(h, msg, w, l);
  if (msg == WM_NCDESTROY) SetWindowLongPtrW(h, GWLP_USERDATA, 0);
  return m->popupMessage(h, msg, w, l);
}

LRESULT CALLBACK dialogProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  auto* m = reinterpret_cast<Win32WindowHost::Impl*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (!m) return DefWindowProcW(h, msg, w, l);
  if (msg == WM_NCDESTROY) SetWindowLongPtrW(h, GWLP_USERDATA, 0);
  return m->dialogMessage(h, msg, w, l);
}

LRESULT CALLBACK getMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == PM_REMOVE) {
    MSG* m = reinterpret_cast<MSG*>(lParam);
    const bool interesting = (m->message >= WM_KEYFIRST && m->message <= WM_KEYLAST) || m->message == WM_LBUTTONDOWN ||
                             m->message == WM_RBUTTONDOWN || m->message == WM_MBUTTONDOWN ||
                             m->message == WM_LBUTTONDBLCLK || m->message == WM_RBUTTONDBLCLK ||
                             m->message == WM_NCLBUTTONDOWN || m->message == WM_NCRBUTTONDOWN ||
                             m->message == WM_NCMBUTTONDOWN || m->message == WM_MOUSEWHEEL;
    if (interesting) {
      std::vector<Win32WindowHost::Impl*> hosts;
      {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        for (const ThreadHook& h : g_hooks)
          if (h.thread == GetCurrentThreadId()) hosts = h.hosts;
      }
      for (Win32WindowHost::Impl* h : hosts)
        if (h->filter(*m)) {
          m->message = WM_NULL;
          m->wParam = 0;
          m->lParam = 0;
          break;
        }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

Win32WindowHost::Win32WindowHost(void* parent, int width, int height)
    : WindowHost(width, height), impl_(std::make_unique<Impl>(*this)) {
  showModalsApart();
  Impl& m = *impl_;
  m.parent = static_cast<HWND>(parent);
  if (!m.parent || !IsWindow(m.parent)) throw std::runtime_error("the parent is not a window");
  if (!g_classes.acquire()) throw std::runtime_error("the window class cannot be registered");
  // The child takes the parent's DPI awareness for its thread while it is made (a child of
  // another awareness is refused or placed wrongly); the process's own is never changed.
  static const auto getContext = user32Function<GetWindowDpiContextFn>("GetWindowDpiAwarenessContext");
  static const auto setContext = user32Function<SetThreadDpiContextFn>("SetThreadDpiAwarenessContext");
  void* previous = getContext && setContext ? setContext(getContext(m.parent)) : nullptr;
  CreateWindowExW(0, g_classes.editor(), L"Korvo", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                  width, height, m.parent, nullptr, g_classes.module(), &m);
  if (previous) setContext(previous);
  if (!m.hwnd) {
    g_classes.release();
    throw std::runtime_error("no window in the parent");
  }
  SetTimer(m.hwnd, kTimerId, kTimerMs, nullptr);
  m.installHook();
}

Win32WindowHost::~Win32WindowHost() {
  Impl& m = *impl_;
  m.removeHook();
  m.tops.closePopups();
  for (const Impl::DialogWindow& d : m.dialogs)
    if (d.w) {
      SetWindowLongPtrW(d.w, GWLP_USERDATA, 0);
      DestroyWindow(d.w);
    }
  m.dialogs.clear();
  m.destroying = true;
  // A window that went with its parent is not destroyed a second time.
  if (m.hwnd && !m.gone) {
    KillTimer(m.hwnd, kTimerId);
    if (GetCapture() == m.hwnd) ReleaseCapture();
    DestroyWindow(m.hwnd);
  }
  m.hwnd = nullptr;
  g_classes.release();
}

void Win32WindowHost::present() {
  Impl& m = *impl_;
  if (m.gone || !m.hwnd) return;
  const Size size = deviceSize();
  const bool first = m.frame.width() != size.width || m.frame.height() != size.height || m.frame.scale() != scale();
  if (first || needsPaint()) {
    const RECT r = toRect(first ? Rect{0, 0, size.width, size.height} : toDevice(dirty()));
    InvalidateRect(m.hwnd, &r, FALSE);
  }
  UpdateWindow(m.hwnd);
  for (Impl::Popup& p : m.popups) {
    if (!p.w) continue;
    if (p.host->needsPaint()) {
      const RECT r = toRect(p.host->toDevice(p.host->dirty()));
      InvalidateRect(p.w, &r, FALSE);
    }
    UpdateWindow(p.w);
  }
  m.refreshDialogs();
  for (const Impl::DialogWindow& d : m.dialogs)
    if (d.w) UpdateWindow(d.w);
}

void Win32WindowHost::setClipboardText(const std::string& text) {
  WindowHost::setClipboardText(text);
  const std::wstring w = widen(text);
  if (w.empty() || !OpenClipboard(static_cast<HWND>(window()))) return;
  EmptyClipboard();
  if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (w.size() + 1) * sizeof(wchar_t))) {
    if (void* p = GlobalLock(mem)) {
      std::copy(w.c_str(), w.c_str() + w.size() + 1, static_cast<wchar_t*>(p));
      GlobalUnlock(mem);
      if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);  // owned by the system once set
    } else {
      GlobalFree(mem);
    }
  }
  CloseClipboard();
}

void Win32WindowHost::fetchClipboardText() {
  std::string text;
  if (IsClipboardFormatAvailable(CF_UNICODETEXT) && OpenClipboard(static_cast<HWND>(window()))) {
    if (HANDLE mem = GetClipboardData(CF_UNICODETEXT)) {
      if (const auto* w = static_cast<const wchar_t*>(GlobalLock(mem))) {
        narrow(w, CP_UTF8, text);
        GlobalUnlock(mem);
      }
    }
    CloseClipboard();
  }
  deliverClipboardText(text);
}

void Win32WindowHost::modalOpened(Control& dialog) { impl_->tops.openDialog(dialog); }
void Win32WindowHost::modalClosing(Control& dialog) { impl_->tops.closeDialog(dialog); }

Point Win32WindowHost::windowOrigin() const {
  const Impl& m = *impl_;
  POINT p{0, 0};
  if (m.hwnd) ClientToScreen(m.hwnd, &p);
  return {p.x, p.y};
}

Point Win32WindowHost::pointerPosition() const {
  POINT p{0, 0};
  GetCursorPos(&p);
  return {p.x, p.y};
}

void Win32WindowHost::setPointerPosition(Point screen) { SetCursorPos(screen.x, screen.y); }

void Win32WindowHost::setScale(int percent) {
  WindowHost::setScale(percent);
  Impl& m = *impl_;
  if (m.gone || !m.hwnd) return;
  const Size size = deviceSize();
  SetWindowPos(m.hwnd, nullptr, 0, 0, size.width, size.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(m.hwnd, nullptr, FALSE);
}

int Win32WindowHost::systemScale() const {
  const Impl& m = *impl_;
  return (windowDpi(m.hwnd ? m.hwnd : m.parent) * 100 + 48) / 96;
}

MenuItem* Win32WindowHost::popupMenu(PopupMenu& menu, Point screen) {
  Impl& m = *impl_;
  if (m.gone || !m.hwnd) return nullptr;
  m.tops.closePopups();
  m.tops.openLevel(menu, screen);
  return nullptr;
}

void Win32WindowHost::fileDialog(const FileDialogRequest& request, std::function<void(const std::string&)> done) {
  Impl& m = *impl_;
  if (m.gone || !m.hwnd) {
    WindowHost::fileDialog(request, std::move(done));
    return;
  }
  // "Description (*.EXT)|*.EXT" becomes the system's pairs of texts ended by an empty one.
  std::wstring filter = widen(request.filter);
  if (!filter.empty() && filter.find(L'|') == std::wstring::npos) filter += L"|" + filter;
  std::replace(filter.begin(), filter.end(), L'|', L'\0');
  filter.append(2, L'\0');
  std::wstring folder = widen(request.folder, CP_ACP);
  std::replace(folder.begin(), folder.end(), L'/', L'\\');
  const std::wstring title = widen(request.title);
  std::wstring ext = widen(request.defaultExtension);
  if (!ext.empty() && ext.front() == L'.') ext.erase(0, 1);
  std::vector<wchar_t> file(32768, L'\0');
  const std::wstring proposed = widen(request.fileName, CP_ACP);
  std::copy_n(proposed.begin(), std::min(proposed.size(), file.size() - 1), file.begin());

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = m.hwnd;
  ofn.lpstrFilter = filter.size() > 2 ? filter.c_str() : nullptr;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
              (request.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  // The explorer-style dialog wants COM on this thread; a host that set it up differently keeps it.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  std::weak_ptr<bool> still = m.alive;
  ++m.nativeDialogs;
  const BOOL ok = request.save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  const DWORD error = ok ? 0 : CommDlgExtendedError();
  if (SUCCEEDED(com)) CoUninitialize();
  if (still.expired()) return;  // the host closed the editor while its dialog was open
  --m.nativeDialogs;
  if (ok)
    done(pathForFiles(file.data()));
  else if (error == 0)
    done(std::string());  // cancelled
  else
    WindowHost::fileDialog(request, std::move(done));
}

void* Win32WindowHost::window() const { return impl_->hwnd; }
bool Win32WindowHost::windowGone() const { return impl_->gone; }
std::size_t Win32WindowHost::openPopups() const { return impl_->popups.size(); }
void* Win32WindowHost::dialogWindow(std::size_t i) const {
  return i < impl_->dialogs.size() ? impl_->dialogs[i].w : nullptr;
}
int Win32WindowHost::classUsers() { return g_classes.users(); }

}  // namespace korvo
