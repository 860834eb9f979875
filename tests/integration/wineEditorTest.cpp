// The Windows editor in a real Win32 window: the built DLL opened by the Windows vsthost's
// --editor under Wine on an Xvfb display, its picture compared with the headless rendering of
// the same editor made in this process, driven with xdotool; and opened and closed many times,
// also in parents that were destroyed first. Skipped when Xvfb, xdotool or Wine is missing.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "builtInData.h"
#include "editorWindow.h"
#include "headlessHost.h"
#include "menu.h"
#include "hostRunner.h"
#include "plugCore.h"

// Last: Xlib's macros (None, Bool, Status) must not meet the C++ headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace korvo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool onPath(const char* program) {
  const std::string cmd = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// One Xvfb for the whole program, on a display number it picks itself.
class Xvfb {
 public:
  static Xvfb& get() {
    static Xvfb x;
    return x;
  }
  bool ok() const { return !display_.empty(); }

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
      std::this_thread::sleep_for(50ms);
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

#define NEED_WINE_DISPLAY()                                                   \
  do {                                                                        \
    if (!underWine()) GTEST_SKIP() << "not a Windows build";                  \
    if (!Xvfb::get().ok()) GTEST_SKIP() << "Xvfb is not installed";           \
    if (!onPath("xdotool")) GTEST_SKIP() << "xdotool is not installed";       \
  } while (0)

std::string wineEnvironment() {
  return "WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINEPREFIX='" + testEnv("KORVO_TEST_WINEPREFIX") + "' ";
}

// A Wine server of the prefix left from a program started without this display would keep its
// desktop elsewhere: wait until it has ended.
void waitForWineServer() {
  const std::string cmd = wineEnvironment() + "wineserver -w >/dev/null 2>&1";
  [[maybe_unused]] const int rc = std::system(cmd.c_str());
}

vst::VstIntPtr KORVO_VSTCALL testHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32, vst::VstIntPtr, void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// The settings and data the Windows plug-in finds in the prefix (drive C:, its default folder),
// read by this process's headless editor from a folder of its own.
struct Folder {
  fs::path dir;
  Folder() {
    dir = fs::temp_directory_path() / ("korvo-wine-editor-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "Korvo");
    const fs::path c = fs::path(testEnv("KORVO_TEST_WINEPREFIX")) / "drive_c";
    for (const char* name : {"wavrom.bin", "Korvo_backup.dat"}) {
      std::error_code ec;
      if (fs::exists(c / name)) fs::copy_file(c / name, dir / name, fs::copy_options::overwrite_existing, ec);
    }
    std::ofstream(dir / "Korvo" / "settings.conf") << "path_data=" << dir.string() << "\npath_user=" << dir.string()
                                                   << "\npath_dll=" << dir.string() << "\n";
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

class NoTimers : public TimerEventService {
 public:
  unsigned setEvent(unsigned, unsigned, std::function<void(unsigned)>) override { return ++id_; }
  void killEvent(unsigned) override {}

 private:
  unsigned id_ = 0;
};

// What the screen shows in a rectangle.
Image grabScreen(Display* d, int x, int y, int w, int h) {
  Image image;
  XImage* shot = XGetImage(d, DefaultRootWindow(d), x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (!shot) return image;
  image.reset(w, h);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) image.row(r)[c] = static_cast<Pixel>(XGetPixel(shot, c, r) & 0xFFFFFF);
  XDestroyImage(shot);
  return image;
}

int differingPixels(const Image& a, const Image& b) {
  if (a.width() != b.width() || a.height() != b.height()) return -1;
  int n = 0;
  for (std::size_t i = 0; i < a.pixels().size(); ++i) n += a.pixels()[i] != b.pixels()[i];
  return n;
}

void xdotool(const std::string& args) {
  const std::string cmd = "xdotool " + args;
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// The Windows vsthost --editor under Wine, its output in a file.
class WineEditor {
 public:
  explicit WineEditor(const fs::path& outFile, const std::string& extra = "") : out_(outFile) {
    waitForWineServer();
    const std::string cmd = "exec env " + wineEnvironment() + "'" + testEnv("KORVO_TEST_RUNNER") + "' '" +
                            testEnv("KORVO_TEST_VSTHOST") + "' --editor --no-sound --idle-ms 40 " + extra + " '" +
                            testEnv("KORVO_TEST_PLUGIN") + "' >'" + outFile.string() + "' 2>/dev/null";
    pid_ = fork();
    if (pid_ == 0) {
      execl("/bin/sh", "sh", "-c", cmd.c_str(), nullptr);
      _exit(127);
    }
  }
  ~WineEditor() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    const std::string cmd = wineEnvironment() + "wineserver -k >/dev/null 2>&1";
    [[maybe_unused]] const int rc = std::system(cmd.c_str());
  }
  std::string text() const {
    std::ifstream in(out_);
    std::stringstream s;
    s << in.rdbuf();
    std::string t = s.str();
    std::erase(t, '\r');  // a Windows program's text output
    return t;
  }
  std::string value(const std::string& key) const {
    std::istringstream in(text());
    std::string line;
    while (std::getline(in, line))
      if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return {};
  }
  int count(const std::string& key) const {
    std::istringstream in(text());
    std::string line;
    int n = 0;
    while (std::getline(in, line)) n += line.rfind(key + "=", 0) == 0;
    return n;
  }
  // Waits for the process to end by itself; its exit code.
  int wait(std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int st = 0;
    while (std::chrono::steady_clock::now() < end) {
      if (waitpid(pid_, &st, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
      }
      std::this_thread::sleep_for(100ms);
    }
    return -2;
  }

 private:
  fs::path out_;
  pid_t pid_ = -1;
};

Point centre(const Control& c) { return c.toWindow({c.width() / 2, c.height() / 2}); }

void typeLetter(HeadlessHost& h, char c) {
  const int vk = c - 'a' + 'A';
  h.keyDown(vk, 0);
  h.keyChar(static_cast<char32_t>(c));
  h.keyUp(vk, 0);
  h.collectClosed();
}

// Polls the screen until the rectangle shows `expected` (or the time is up); the last picture.
Image waitForPicture(Display* d, Point at, const Image& expected, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  Image shot;
  do {
    shot = grabScreen(d, at.x, at.y, expected.width(), expected.height());
    if (differingPixels(shot, expected) == 0) break;
    std::this_thread::sleep_for(100ms);
  } while (std::chrono::steady_clock::now() < end);
  return shot;
}

TEST(WineEditor, VsthostShowsTheHeadlessPictureAndTakesClicksAndTypedNames) {
  NEED_WINE_DISPLAY();
  Folder folder;
  // The reference: the same editor on the headless host, driven the same way.
  std::vector<Image> expected;
  Point up{}, name{};
  {
    vst::AEffect* effect = createEffect(testHost, withBuiltInData());
    ASSERT_NE(effect, nullptr);
    std::unique_ptr<CSynth> owner(static_cast<CSynth*>(effect->object));
    NoTimers timers;
    EditorWindow w(nullptr, *owner, WindowHostFactory{}, &timers);
    w.show();
    TplugEditForm& f = w.form();
    f.DisplayTick();
    auto& h = static_cast<HeadlessHost&>(w.host());
    expected.push_back(h.frame());
    up = centre(*f.upButton);
    name = centre(*f.progNameEdit);
    h.move(up);
    h.click(up);
    f.DisplayTick();
    expected.push_back(h.frame());
    h.move(name);
    h.click(name);
    for (char c : std::string("bass")) typeLetter(h, c);
    h.pressKey(keys::Return);
    f.DisplayTick();
    expected.push_back(h.frame());
    ASSERT_EQ(f.progNameEdit->text(), "BASS");
  }

  WineEditor vsthost(folder.dir / "vsthost.out", "--seconds 60");
  std::string screen;
  for (int i = 0; i < 300 && screen.empty(); ++i) {
    std::this_thread::sleep_for(100ms);
    screen = vsthost.value("editor.screen");
  }
  ASSERT_FALSE(screen.empty()) << "vsthost printed no window: " << vsthost.text();
  EXPECT_EQ(vsthost.value("editor.open"), "1");
  const Point at{std::stoi(screen), std::stoi(screen.substr(screen.find(',') + 1))};
  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr);
  auto check = [&](const Image& want, const char* when) {
    const Image shot = waitForPicture(d, at, want, 15s);
    const int bad = differingPixels(shot, want);
    EXPECT_EQ(bad, 0) << when;
    if (bad != 0) {
      const std::string stem = (fs::temp_directory_path() / ("korvo-wine-" + testEnv("KORVO_TEST_BITS") + "-")).string();
      savePng(shot, stem + "window.png");
      savePng(want, stem + "headless.png");
    }
  };
  check(expected[0], "first show");
  auto click = [&](Point p) {
    xdotool("mousemove " + std::to_string(at.x + p.x) + " " + std::to_string(at.y + p.y) + " click 1");
  };
  click(up);
  check(expected[1], "after the next-program button");
  EXPECT_GT(differingPixels(expected[1], expected[0]), 0);

  click(name);
  std::this_thread::sleep_for(300ms);
  xdotool("type --delay 40 bass");
  xdotool("key Return");
  check(expected[2], "after typing a name");
  EXPECT_EQ(vsthost.count("host.keyDown"), 0) << "the host got keys typed into the name box";
  // Once the name is entered the keys belong to the host again.
  std::this_thread::sleep_for(300ms);
  xdotool("key x");
  for (int i = 0; i < 50 && vsthost.count("host.keyDown") == 0; ++i) std::this_thread::sleep_for(100ms);
  EXPECT_EQ(vsthost.count("host.keyDown"), 1) << vsthost.text();
  XCloseDisplay(d);
}

TEST(WineEditor, TheFileMenuOpensOverTheEditorAndSavesALibraryThroughTheSystemDialog) {
  NEED_WINE_DISPLAY();
  Folder folder;
  Image first;
  Point menuImage{}, item{};
  {
    vst::AEffect* effect = createEffect(testHost, withBuiltInData());
    ASSERT_NE(effect, nullptr);
    std::unique_ptr<CSynth> owner(static_cast<CSynth*>(effect->object));
    NoTimers timers;
    EditorWindow w(nullptr, *owner, WindowHostFactory{}, &timers);
    w.show();
    TplugEditForm& f = w.form();
    f.DisplayTick();
    first = static_cast<HeadlessHost&>(w.host()).frame();
    menuImage = centre(*f.menuFileImage);
    // Where the menu shows its item: below the image, as the window places it.
    MenuView view(f.menuFilePopup);
    view.layout();
    std::size_t index = 0;
    while (index < f.menuFilePopup.size() && f.menuFilePopup.item(index).caption != "Save Library...") ++index;
    ASSERT_LT(index, f.menuFilePopup.size());
    const Rect r = view.itemRect(index);
    const Point below = f.menuFileImage->toWindow({0, f.menuFileImage->height() + 1});
    item = {below.x + (r.left + r.right) / 2, below.y + (r.top + r.bottom) / 2};
  }
  WineEditor vsthost(folder.dir / "save.out", "--seconds 60");
  std::string screen;
  for (int i = 0; i < 300 && screen.empty(); ++i) {
    std::this_thread::sleep_for(100ms);
    screen = vsthost.value("editor.screen");
  }
  ASSERT_FALSE(screen.empty()) << vsthost.text();
  const Point at{std::stoi(screen), std::stoi(screen.substr(screen.find(',') + 1))};
  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(differingPixels(waitForPicture(d, at, first, 15s), first), 0);
  xdotool("mousemove " + std::to_string(at.x + menuImage.x) + " " + std::to_string(at.y + menuImage.y) + " click 1");
  std::this_thread::sleep_for(500ms);
  // The menu is a window of its own over the editor: the screen there is no longer the editor's.
  const Image menu = grabScreen(d, at.x, at.y, first.width(), first.height());
  EXPECT_GT(differingPixels(menu, first), 500) << "no menu over the editor";
  xdotool("mousemove " + std::to_string(at.x + item.x) + " " + std::to_string(at.y + item.y) + " click 1");
  const fs::path target = folder.dir / "saved.kvl";
  // Wine's own save dialog: the name typed into it, and Return.
  const int found = std::system("timeout 20 xdotool search --sync --onlyvisible --name 'Save As' windowfocus --sync >/dev/null 2>&1");
  ASSERT_EQ(found, 0) << "no system save dialog appeared";
  std::this_thread::sleep_for(500ms);
  std::string windowsPath = "Z:" + target.string();
  std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
  xdotool("type --delay 20 '" + windowsPath + "'");
  xdotool("key Return");
  for (int i = 0; i < 100 && !fs::exists(target); ++i) std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(fs::exists(target)) << "the library was not saved";
  for (int i = 0; i < 20 && fs::file_size(target) < 69652; ++i) std::this_thread::sleep_for(100ms);
  EXPECT_EQ(fs::file_size(target), 69652u);
  EXPECT_EQ(vsthost.count("host.keyDown"), 0) << "keys of the dialog reached the host's window";
  XCloseDisplay(d);
}

TEST(WineEditor, OpensAndClosesManyTimesAlsoAfterTheParentWent) {
  NEED_WINE_DISPLAY();
  Folder folder;
  WineEditor vsthost(folder.dir / "cycles.out", "--editor-cycles 500 --seconds 0.5");
  ASSERT_EQ(vsthost.wait(240s), 0) << vsthost.text();
  EXPECT_EQ(vsthost.value("editor.cycles"), "500");
  EXPECT_EQ(vsthost.value("editor.childrenLeft"), "0") << "an editor window stayed in the host's";
  EXPECT_EQ(vsthost.value("editor.classWhileOpen"), "1");
  EXPECT_EQ(vsthost.value("editor.classAfterClose"), "0") << "the window class outlived the last editor";
  EXPECT_EQ(vsthost.value("editor.bogusParentOpen"), "1") << "no headless editor without a usable parent";
  EXPECT_EQ(vsthost.value("editor.open"), "1");
}

}  // namespace
}  // namespace korvo
