// What the tests of the editor in a real window share: a virtual X server of their own, a
// minimal host callback, timers that never fire, and the headless reference driven the way a
// window system would drive it. Include it last: Xlib's macros must not meet other headers.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DAEffectX.h"
#include "builtInData.h"
#include "editorWindow.h"
#include "headlessHost.h"
#include "simpleTimer.h"
#include "uPlug.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace korvo::xtest {

inline bool onPath(const char* program) {
  const std::string cmd = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// xdotool types text outside ASCII only under a UTF-8 locale, which a bare CI shell may not set.
inline int runXdotool(const std::string& args) { return std::system(("LC_ALL=C.UTF-8 xdotool " + args).c_str()); }

// One Xvfb for the whole program, on a display number of its own. Not -displayfd: a server
// started so takes no lock file, and two starting at once (tests run in parallel) may end up
// on one display, which the first to finish then takes away. Xvfb :N takes /tmp/.XN-lock
// atomically and writes its pid there; the display is ours once that pid is our child's.
class Xvfb {
 public:
  static Xvfb& get() {
    static Xvfb x;
    return x;
  }
  bool ok() const { return !display_.empty(); }
  const std::string& display() const { return display_; }

 private:
  static long lockOwner(int n) {
    std::ifstream lock("/tmp/.X" + std::to_string(n) + "-lock");
    long pid = 0;
    return lock >> pid ? pid : 0;
  }
  Xvfb() {
    if (!onPath("Xvfb")) return;
    for (int n = 100 + getpid() % 400, tries = 0; tries < 40; ++tries, ++n) {
      const std::string name = ":" + std::to_string(n);
      const pid_t pid = fork();
      if (pid == 0) {
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        dup2(quiet, 2);
        execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", nullptr);
        _exit(127);
      }
      bool ended = false;
      for (int i = 0; i < 100 && !ended; ++i) {
        ended = waitpid(pid, nullptr, WNOHANG) == pid;  // the number is taken
        if (ended) break;
        if (lockOwner(n) == pid)
          if (Display* d = XOpenDisplay(name.c_str())) {
            XCloseDisplay(d);
            pid_ = pid;
            display_ = name;
            setenv("DISPLAY", display_.c_str(), 1);
            return;
          }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      if (!ended) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
      }
    }
  }
  ~Xvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_t pid_ = -1;
  std::string display_;
};

inline vst::VstIntPtr KORVO_VSTCALL testHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32, vst::VstIntPtr, void*,
                                             float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

class NoTimers : public TimerEventService {
 public:
  unsigned setEvent(unsigned, unsigned, std::function<void(unsigned)>) override { return ++id_; }
  void killEvent(unsigned) override {}

 private:
  unsigned id_ = 0;
};

// The editor on the headless host, made as the entry point makes it (the same settings and
// built-in data), shown and ticked once: the picture a real window must match.
class ReferenceEditor {
 public:
  explicit ReferenceEditor(int scale = 100) {
    if (vst::AEffect* effect = createEffect(testHost, withBuiltInData()))
      synth_.reset(static_cast<CSynth*>(effect->object));
    if (!synth_) return;
    window_ = std::make_unique<EditorWindow>(nullptr, *synth_->instance(), WindowHostFactory{}, &timers_);
    window_->setScale(scale);
    window_->show();
    form().DisplayTick();
  }
  bool ok() const { return window_ != nullptr; }
  TplugEditForm& form() { return window_->form(); }
  HeadlessHost& host() { return static_cast<HeadlessHost&>(window_->host()); }
  const Image& frame() { return host().frame(); }

 private:
  std::unique_ptr<CSynth> synth_;
  NoTimers timers_;
  std::unique_ptr<EditorWindow> window_;  // goes before the plug-in it shows
};

// Settings and data in a folder of their own (XDG_CONFIG_HOME while it lives), read alike by
// this process and by a plug-in it starts; removed with it.
struct SettingsFolder {
  std::filesystem::path dir;
  explicit SettingsFolder(const std::string& name) {
    dir = std::filesystem::temp_directory_path() / ("korvo-" + name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "Korvo");
    std::ofstream(dir / "Korvo" / "settings.conf")
        << "path_data=" << dir.string() << "\npath_user=" << dir.string() << "\npath_dll=" << dir.string() << "\n";
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  }
  ~SettingsFolder() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  SettingsFolder(const SettingsFolder&) = delete;
  SettingsFolder& operator=(const SettingsFolder&) = delete;
};

// The pixels of an area of a window (or of the screen, for the root window) as the server has
// them; empty when it cannot be read.
inline Image grabArea(Display* d, Drawable from, int x, int y, int w, int h) {
  Image image;
  XImage* shot = XGetImage(d, from, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (!shot) return image;
  image.reset(w, h);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) image.row(r)[c] = static_cast<Pixel>(XGetPixel(shot, c, r) & 0xFFFFFF);
  XDestroyImage(shot);
  return image;
}

// In a test: skips it when the virtual display or xdotool is missing.
#define NEED_DISPLAY()                                                  \
  do {                                                                  \
    if (!Xvfb::get().ok()) GTEST_SKIP() << "Xvfb is not installed";     \
    if (!onPath("xdotool")) GTEST_SKIP() << "xdotool is not installed"; \
  } while (0)

inline int differingPixels(const Image& a, const Image& b) {
  if (a.width() != b.width() || a.height() != b.height()) return -1;
  int n = 0;
  for (std::size_t i = 0; i < a.pixels().size(); ++i) n += a.pixels()[i] != b.pixels()[i];
  return n;
}

inline Point centre(const Control& c) { return c.toWindow({c.width() / 2, c.height() / 2}); }

// What a window host sends for a typed lower-case letter.
inline void typeLetter(HeadlessHost& h, char c) {
  const int vk = c - 'a' + 'A';
  h.keyDown(vk, 0);
  h.keyChar(static_cast<char32_t>(c));
  h.keyUp(vk, 0);
  h.collectClosed();
}

// Another program on the display that owns or asks for the CLIPBOARD, through window `w`.
struct ClipboardPeer {
  ClipboardPeer(Display* display, Window window) : d(display), w(window) {}
  Display* d;
  Window w;
  Atom clipboard = XInternAtom(d, "CLIPBOARD", False), utf8 = XInternAtom(d, "UTF8_STRING", False);
  std::string offered;
  int served = 0;  // requests answered
  void offer(const std::string& text) {
    offered = text;
    XSetSelectionOwner(d, clipboard, w, CurrentTime);
    XSync(d, False);
  }
  // Answers the editor's requests for what is offered (call it while waiting for a paste).
  void serve() {
    XEvent ev;
    while (XCheckTypedWindowEvent(d, w, SelectionRequest, &ev)) {
      const XSelectionRequestEvent& r = ev.xselectionrequest;
      XSelectionEvent reply{};
      reply.type = SelectionNotify;
      reply.requestor = r.requestor;
      reply.selection = r.selection;
      reply.target = r.target;
      reply.time = r.time;
      reply.property = r.property;
      const Atom targets = XInternAtom(d, "TARGETS", False), text = XInternAtom(d, "STRING", False);
      if (r.target == targets) {  // which forms there are, as a program asks first
        Atom forms[] = {targets, utf8, text};
        XChangeProperty(d, r.requestor, r.property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(forms), 3);
      } else if (r.target == utf8 || r.target == text) {
        XChangeProperty(d, r.requestor, r.property, r.target, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(offered.data()), static_cast<int>(offered.size()));
      } else {
        reply.property = None;
      }
      XSendEvent(d, r.requestor, False, 0, reinterpret_cast<XEvent*>(&reply));
      XFlush(d);
      ++served;
    }
  }
  // What the CLIPBOARD's owner gives as UTF-8 text; `idle` runs while the answer is awaited.
  std::string paste(const std::function<void()>& idle) {
    const Atom property = XInternAtom(d, "KORVO_TEST_PASTE", False);
    XConvertSelection(d, clipboard, utf8, property, w, CurrentTime);
    XFlush(d);
    for (int i = 0; i < 300; ++i) {
      idle();
      XEvent ev;
      if (!XCheckTypedWindowEvent(d, w, SelectionNotify, &ev)) continue;
      if (ev.xselection.property == None) return "(no text)";
      Atom type = 0;
      int format = 0;
      unsigned long items = 0, after = 0;
      unsigned char* data = nullptr;
      std::string text;
      if (XGetWindowProperty(d, w, property, 0, 1 << 16, True, AnyPropertyType, &type, &format, &items, &after,
                             &data) == Success &&
          data) {
        text.assign(reinterpret_cast<const char*>(data), items);
        XFree(data);
      }
      return text;
    }
    return "(no answer)";
  }
};

// What a real window must show, made on the reference editor: at first, after a click on the
// next-program button, and after a click into the name box, "bass" typed and Return.
struct ReferencePictures {
  std::vector<Image> expected;  // those three pictures; empty without an editor
  Point up{}, name{};           // the button's and the name box's centres, in window coordinates
  std::string typedName;        // what the name box holds at the end
};

inline ReferencePictures referencePictures() {
  ReferencePictures r;
  ReferenceEditor w;  // with the settings this process reads
  if (!w.ok()) return r;
  TplugEditForm& f = w.form();
  HeadlessHost& h = w.host();
  r.expected.push_back(h.frame());
  r.up = centre(*f.upButton);
  r.name = centre(*f.progNameEdit);
  h.move(r.up);
  h.click(r.up);
  f.DisplayTick();
  r.expected.push_back(h.frame());
  h.move(r.name);
  h.click(r.name);
  for (char c : std::string("bass")) typeLetter(h, c);
  h.pressKey(keys::Return);
  f.DisplayTick();
  r.expected.push_back(h.frame());
  r.typedName = f.progNameEdit->text();
  return r;
}

// A host's top-level window (562 x 346) on a connection of the test's own.
struct HostWindow {
  Display* d = XOpenDisplay(nullptr);
  Window w = 0;
  HostWindow() {
    if (!d) return;
    w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 562, 346, 0, 0, 0);
    XMapWindow(d, w);
    XSync(d, False);
  }
  ~HostWindow() {
    if (!d) return;
    if (w) XDestroyWindow(d, w);
    XCloseDisplay(d);
  }
};

}  // namespace korvo::xtest
