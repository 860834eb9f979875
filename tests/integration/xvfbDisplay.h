// What the tests of the editor in a real window share: a virtual X server of their own, a
// minimal host callback, timers that never fire, and the headless reference driven the way a
// window system would drive it. Include it last: Xlib's macros must not meet other headers.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "DAEffectX.h"
#include "headlessHost.h"
#include "simpleTimer.h"

#include <X11/Xlib.h>

namespace korvo::xtest {

inline bool onPath(const char* program) {
  const std::string cmd = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// One Xvfb for the whole program, on a display number it picks itself; DISPLAY names it.
class Xvfb {
 public:
  static Xvfb& get() {
    static Xvfb x;
    return x;
  }
  bool ok() const { return !display_.empty(); }
  const std::string& display() const { return display_; }

 private:
  Xvfb() {
    if (!onPath("Xvfb")) return;
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", nullptr);
      _exit(127);
    }
    close(fds[1]);
    // The number arrives as a line once the server listens; read all of it.
    std::string number;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) return;
    const std::string name = ":" + std::to_string(std::atoi(number.c_str()));
    for (int i = 0; i < 100; ++i) {
      if (Display* d = XOpenDisplay(name.c_str())) {
        XCloseDisplay(d);
        display_ = name;
        setenv("DISPLAY", display_.c_str(), 1);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
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

}  // namespace korvo::xtest
