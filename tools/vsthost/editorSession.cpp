#include "editorSession.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <thread>

#if defined(KORVO_HAVE_X11)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#elif defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <mmsystem.h>

#include <vector>
#endif
#if defined(KORVO_HAVE_ALSA)
#include <alsa/asoundlib.h>
#endif

#include "hostCallback.h"

namespace korvo::host {

using namespace vst;

#if defined(KORVO_HAVE_X11) || defined(_WIN32)
namespace {

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

VstIntPtr call(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
               float opt = 0) {
  return e->dispatcher(e, opcode, index, value, ptr, opt);
}

// The editor's idle calls at the host's period, and the end of a session given a length.
class IdlePacer {
 public:
  explicit IdlePacer(const EditorSessionOptions& o)
      : start_(Clock::now()), next_(start_), period_(o.idleMs), seconds_(o.seconds) {}
  // Sends effEditIdle when it is due. True once the session has run its length.
  bool tick(AEffect* e) {
    const auto now = Clock::now();
    if (now >= next_) {
      call(e, effEditIdle);
      next_ = std::max(next_ + period_, now);
    }
    return seconds_ > 0 && now - start_ >= std::chrono::duration<double>(seconds_);
  }
  // How long the host may wait for events before the next idle is due, in milliseconds.
  long long waitMs() const {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next_ - Clock::now());
    return std::max<long long>(0, wait.count()) + 1;
  }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point start_, next_;
  std::chrono::milliseconds period_;
  double seconds_;
};

// The audio side: blocks rendered at the pace of the sound card, or of the clock without one.
class AudioThread {
 public:
  AudioThread(AEffect* e, const EditorSessionOptions& o, bool record) : e_(e), o_(o), record_(record) {
#if defined(KORVO_HAVE_ALSA)
    if (o.play && snd_pcm_open(&pcm_, "default", SND_PCM_STREAM_PLAYBACK, 0) == 0) {
      if (snd_pcm_set_params(pcm_, SND_PCM_FORMAT_FLOAT_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 2,
                             static_cast<unsigned>(o.rate), 1, 100000) != 0) {
        snd_pcm_close(pcm_);
        pcm_ = nullptr;
      }
    } else {
      pcm_ = nullptr;
    }
#elif defined(_WIN32)
    if (o.play) openWave();
#endif
    std::printf("audio.device=%s\n", device() ? "default" : "none");
    std::fflush(stdout);
    worker_ = std::thread([this] { run(); });
  }
  ~AudioThread() { stop(); }

  void stop() {
    quit_ = true;
    if (worker_.joinable()) worker_.join();
#if defined(KORVO_HAVE_ALSA)
    if (pcm_) {
      snd_pcm_drain(pcm_);
      snd_pcm_close(pcm_);
      pcm_ = nullptr;
    }
#elif defined(_WIN32)
    if (wave_) {
      waveOutReset(wave_);
      for (WAVEHDR& h : headers_) waveOutUnprepareHeader(wave_, &h, sizeof h);
      waveOutClose(wave_);
      wave_ = nullptr;
    }
    if (event_) CloseHandle(event_);
    event_ = nullptr;
#endif
  }
  long long frames() const { return frames_; }
  std::vector<float> left, right;

 private:
  bool device() const {
#if defined(KORVO_HAVE_ALSA)
    return pcm_ != nullptr;
#elif defined(_WIN32)
    return wave_ != nullptr;
#else
    return false;
#endif
  }

  void run() {
    const std::size_t n = static_cast<std::size_t>(o_.block);
    std::vector<float> l(n), r(n), interleaved(2 * n);
    float* outs[2] = {l.data(), r.data()};
    hostState().processLevel = 2;
    auto next = std::chrono::steady_clock::now();
    const auto period = std::chrono::duration<double>(static_cast<double>(o_.block) / o_.rate);
    while (!quit_) {
      e_->processReplacing(e_, nullptr, outs, o_.block);
      frames_ += o_.block;
      if (record_) {
        left.insert(left.end(), l.begin(), l.end());
        right.insert(right.end(), r.begin(), r.end());
      }
#if defined(KORVO_HAVE_ALSA)
      if (pcm_) {
        for (std::size_t i = 0; i < n; ++i) {
          interleaved[2 * i] = l[i];
          interleaved[2 * i + 1] = r[i];
        }
        snd_pcm_sframes_t w = snd_pcm_writei(pcm_, interleaved.data(), n);
        if (w < 0) snd_pcm_recover(pcm_, static_cast<int>(w), 1);
        continue;
      }
#elif defined(_WIN32)
      if (wave_) {
        writeWave(l, r);
        continue;
      }
#endif
      next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
      std::this_thread::sleep_until(next);
    }
  }

  AEffect* e_;
  EditorSessionOptions o_;
  bool record_;
  std::atomic<bool> quit_{false};
  long long frames_ = 0;
#if defined(KORVO_HAVE_ALSA)
  snd_pcm_t* pcm_ = nullptr;
#elif defined(_WIN32)
  // A few blocks queued on the wave mapper, each written again once the device is done with it.
  void openWave() {
    event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = static_cast<DWORD>(o_.rate);
    f.wBitsPerSample = 16;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = f.nSamplesPerSec * 4;
    if (!event_ || waveOutOpen(&wave_, WAVE_MAPPER, &f, reinterpret_cast<DWORD_PTR>(event_), 0, CALLBACK_EVENT) !=
                       MMSYSERR_NOERROR) {
      wave_ = nullptr;
      return;
    }
    for (std::size_t i = 0; i < headers_.size(); ++i) {
      buffers_[i].assign(2 * static_cast<std::size_t>(o_.block), 0);
      headers_[i] = WAVEHDR{};
      headers_[i].lpData = reinterpret_cast<LPSTR>(buffers_[i].data());
      headers_[i].dwBufferLength = static_cast<DWORD>(buffers_[i].size() * sizeof(short));
      waveOutPrepareHeader(wave_, &headers_[i], sizeof(WAVEHDR));
      headers_[i].dwFlags |= WHDR_DONE;  // free to fill
    }
  }
  void writeWave(const std::vector<float>& l, const std::vector<float>& r) {
    WAVEHDR& h = headers_[next_];
    while (!(h.dwFlags & WHDR_DONE) && !quit_) WaitForSingleObject(event_, 50);
    std::vector<short>& b = buffers_[next_];
    for (std::size_t i = 0; i < l.size(); ++i) {
      b[2 * i] = static_cast<short>(std::clamp(l[i], -1.0f, 1.0f) * 32767.0f);
      b[2 * i + 1] = static_cast<short>(std::clamp(r[i], -1.0f, 1.0f) * 32767.0f);
    }
    h.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
    waveOutWrite(wave_, &h, sizeof h);
    next_ = (next_ + 1) % headers_.size();
  }
  HWAVEOUT wave_ = nullptr;
  HANDLE event_ = nullptr;
  std::array<WAVEHDR, 4> headers_{};
  std::array<std::vector<short>, 4> buffers_;
  std::size_t next_ = 0;
#endif
  std::thread worker_;
};

#if defined(_WIN32)
std::atomic<bool> g_closed{false};

LRESULT CALLBACK topWindowProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_CLOSE) {
    g_closed = true;
    return 0;
  }
  return DefWindowProcW(h, msg, w, l);
}

const wchar_t* topWindowClass() {
  static const wchar_t* name = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = topWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = L"vsthost.editor";
    RegisterClassW(&wc);
    return L"vsthost.editor";
  }();
  return name;
}

// A top-level window whose client area is w x h.
HWND makeTopWindow(int w, int h, const std::wstring& title) {
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT r{0, 0, w, h};
  AdjustWindowRectEx(&r, style, FALSE, 0);
  return CreateWindowExW(0, topWindowClass(), title.c_str(), style, 0, 0, r.right - r.left, r.bottom - r.top, nullptr,
                         nullptr, GetModuleHandleW(nullptr), nullptr);
}

void pumpMessages() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

BOOL CALLBACK countWindow(HWND, LPARAM p) {
  ++*reinterpret_cast<int*>(p);
  return TRUE;
}

int childWindows(HWND w) {
  int n = 0;
  EnumChildWindows(w, countWindow, reinterpret_cast<LPARAM>(&n));
  return n;
}

// --editor-cycles: the editor opened and closed in `top` many times, then in parents the host
// destroys first (with an idle in between, and before any idle), then in a handle that is no
// window. Prints how many cycles ran and how many child windows were left behind.
// Whether the plug-in's editor window class is registered (the plug-in names it after the
// address its module is loaded at).
bool editorClassRegistered(AEffect* e) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(e->dispatcher)), &module))
    return false;
  wchar_t name[64];
  std::swprintf(name, 64, L"Korvo.%p.Editor", static_cast<void*>(module));
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  return GetClassInfoExW(module, name, &wc) != 0;
}

void openAndCloseMany(AEffect* e, HWND top, int cycles) {
  bool registeredWhileOpen = true;
  for (int i = 0; i < cycles; ++i) {
    call(e, effEditOpen, 0, 0, top);
    pumpMessages();
    call(e, effEditIdle);
    registeredWhileOpen = registeredWhileOpen && editorClassRegistered(e);
    call(e, effEditClose);
  }
  pumpMessages();
  const int left = childWindows(top);
  const bool registeredAfter = editorClassRegistered(e);
  for (int idleFirst = 1; idleFirst >= 0; --idleFirst) {
    HWND doomed = makeTopWindow(562, 346, L"doomed");
    ShowWindow(doomed, SW_SHOWNOACTIVATE);
    call(e, effEditOpen, 0, 0, doomed);
    if (idleFirst) call(e, effEditIdle);
    DestroyWindow(doomed);
    pumpMessages();
    if (idleFirst) call(e, effEditIdle);
    call(e, effEditClose);
  }
  const VstIntPtr bogus = call(e, effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x7ffe1234)));
  call(e, effEditIdle);
  call(e, effEditClose);
  std::printf("editor.cycles=%d\neditor.childrenLeft=%d\neditor.bogusParentOpen=%lld\n", cycles, left,
              static_cast<long long>(bogus));
  std::printf("editor.classWhileOpen=%d\neditor.classAfterClose=%d\n", registeredWhileOpen ? 1 : 0,
              registeredAfter ? 1 : 0);
  std::fflush(stdout);
}
#endif

}  // namespace
#endif

EditorSessionResult runEditorSession(AEffect* e, const EditorSessionOptions& o, bool record) {
  EditorSessionResult result;
#if defined(KORVO_HAVE_X11)
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fprintf(stderr, "vsthost: --editor needs an X display (DISPLAY is not set or not reachable)\n");
    result.exitCode = 5;
    return result;
  }
  ERect* rect = nullptr;
  int w = 562, h = 346;
  if (call(e, effEditGetRect, 0, 0, &rect) && rect && rect->right > rect->left && rect->bottom > rect->top) {
    w = rect->right - rect->left;
    h = rect->bottom - rect->top;
  }
  const int screen = DefaultScreen(dpy);
  Window top = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 0, 0, static_cast<unsigned>(w),
                                   static_cast<unsigned>(h), 0, BlackPixel(dpy, screen), BlackPixel(dpy, screen));
  char name[kVstMaxEffectNameLen + 1] = {};
  call(e, effGetEffectName, 0, 0, name);
  XStoreName(dpy, top, name[0] ? name : "vsthost");
  XSizeHints hints{};
  hints.flags = PMinSize | PMaxSize | PPosition;
  hints.min_width = hints.max_width = w;
  hints.min_height = hints.max_height = h;
  XSetWMNormalHints(dpy, top, &hints);
  Atom deleteWindow = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(dpy, top, &deleteWindow, 1);
  // Key presses that reach this window are the ones the editor left to the host.
  XSelectInput(dpy, top, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
  XFlush(dpy);

  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  AudioThread audio(e, o, record);
  const VstIntPtr opened = call(e, effEditOpen, 0, 0, reinterpret_cast<void*>(top));
  XMapWindow(dpy, top);
  XSync(dpy, False);
  std::printf("editor.open=%lld\neditor.window=%lu\n", static_cast<long long>(opened), static_cast<unsigned long>(top));
  std::fflush(stdout);

  long long hostKeys = 0;
  bool quit = false;
  IdlePacer pacer(o);
  while (!quit && !g_stop) {
    while (XPending(dpy)) {
      XEvent ev;
      XNextEvent(dpy, &ev);
      if (ev.type == KeyPress && ev.xkey.window == top) ++hostKeys;
      if (ev.type == ClientMessage && static_cast<Atom>(ev.xclient.data.l[0]) == deleteWindow) quit = true;
      if (ev.type == DestroyNotify && ev.xdestroywindow.window == top) quit = true;
    }
    if (pacer.tick(e)) quit = true;
    // The editor asked for another size (its scale changed): the window follows.
    HostState& hs = hostState();
    if (hs.requestedWidth > 0 && hs.requestedHeight > 0) {
      hints.min_width = hints.max_width = hs.requestedWidth;
      hints.min_height = hints.max_height = hs.requestedHeight;
      XSetWMNormalHints(dpy, top, &hints);
      XResizeWindow(dpy, top, static_cast<unsigned>(hs.requestedWidth), static_cast<unsigned>(hs.requestedHeight));
      std::printf("editor.size=%dx%d\n", hs.requestedWidth, hs.requestedHeight);
      std::fflush(stdout);
      hs.requestedWidth = hs.requestedHeight = 0;
    }
    pollfd fd{ConnectionNumber(dpy), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(pacer.waitMs()));
  }
  call(e, effEditClose);
  audio.stop();
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  XDestroyWindow(dpy, top);
  XCloseDisplay(dpy);
  std::printf("host.keys=%lld\nrender.frames=%lld\n", hostKeys, audio.frames());
  std::fflush(stdout);
  result.left = std::move(audio.left);
  result.right = std::move(audio.right);
#elif defined(_WIN32)
  ERect* rect = nullptr;
  int w = 562, h = 346;
  if (call(e, effEditGetRect, 0, 0, &rect) && rect && rect->right > rect->left && rect->bottom > rect->top) {
    w = rect->right - rect->left;
    h = rect->bottom - rect->top;
  }
  char name[kVstMaxEffectNameLen + 1] = {};
  call(e, effGetEffectName, 0, 0, name);
  std::wstring title;
  for (const char* c = name[0] ? name : "vsthost"; *c; ++c)
    title += static_cast<wchar_t>(static_cast<unsigned char>(*c));
  HWND top = makeTopWindow(w, h, title);
  if (!top) {
    std::fprintf(stderr, "vsthost: --editor could not make a window\n");
    result.exitCode = 5;
    return result;
  }
  if (o.cycles > 0) openAndCloseMany(e, top, o.cycles);
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  AudioThread audio(e, o, record);
  const VstIntPtr opened = call(e, effEditOpen, 0, 0, top);
  ShowWindow(top, SW_SHOWNORMAL);
  UpdateWindow(top);
  SetForegroundWindow(top);
  POINT origin{0, 0};
  ClientToScreen(top, &origin);
  std::printf("editor.open=%lld\neditor.window=%llu\neditor.screen=%ld,%ld\n", static_cast<long long>(opened),
              static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(top)), static_cast<long>(origin.x),
              static_cast<long>(origin.y));
  std::fflush(stdout);

  long long hostKeys = 0;
  bool quit = false;
  IdlePacer pacer(o);
  while (!quit && !g_stop && !g_closed) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      // What the editor's hook took arrives here as WM_NULL: keys counted here are the host's.
      if (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) {
        ++hostKeys;
        std::printf("host.keyDown=%u\n", static_cast<unsigned>(m.wParam));
        std::fflush(stdout);
      }
      if (m.message == WM_QUIT) quit = true;
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    if (pacer.tick(e)) quit = true;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(pacer.waitMs()), QS_ALLINPUT);
  }
  call(e, effEditClose);
  audio.stop();
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  DestroyWindow(top);
  std::printf("host.keys=%lld\nrender.frames=%lld\n", hostKeys, audio.frames());
  std::fflush(stdout);
  result.left = std::move(audio.left);
  result.right = std::move(audio.right);
#else
  (void)e;
  (void)o;
  (void)record;
  std::fprintf(stderr, "vsthost: --editor is not available in this build\n");
  result.exitCode = 5;
#endif
  return result;
}

}  // namespace korvo::host
