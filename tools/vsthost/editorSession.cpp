#include "editorSession.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

#if defined(KORVO_HAVE_X11)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#endif
#if defined(KORVO_HAVE_ALSA)
#include <alsa/asoundlib.h>
#endif

#include "hostCallback.h"

namespace korvo::host {

using namespace vst;

#if defined(KORVO_HAVE_X11)
namespace {

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

VstIntPtr call(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
  return e->dispatcher(e, opcode, index, value, ptr, opt);
}

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
#endif
  }
  long long frames() const { return frames_; }
  std::vector<float> left, right;

 private:
  bool device() const {
#if defined(KORVO_HAVE_ALSA)
    return pcm_ != nullptr;
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
#endif
  std::thread worker_;
};

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
  const auto start = std::chrono::steady_clock::now();
  const auto period = std::chrono::milliseconds(o.idleMs);
  auto nextIdle = start;
  while (!quit && !g_stop) {
    while (XPending(dpy)) {
      XEvent ev;
      XNextEvent(dpy, &ev);
      if (ev.type == KeyPress && ev.xkey.window == top) ++hostKeys;
      if (ev.type == ClientMessage && static_cast<Atom>(ev.xclient.data.l[0]) == deleteWindow) quit = true;
      if (ev.type == DestroyNotify && ev.xdestroywindow.window == top) quit = true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= nextIdle) {
      call(e, effEditIdle);
      nextIdle = std::max(nextIdle + period, now);
    }
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
    if (o.seconds > 0 && now - start >= std::chrono::duration<double>(o.seconds)) quit = true;
    pollfd fd{ConnectionNumber(dpy), POLLIN, 0};
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextIdle - std::chrono::steady_clock::now());
    poll(&fd, 1, static_cast<int>(std::max<long long>(0, wait.count())) + 1);
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
