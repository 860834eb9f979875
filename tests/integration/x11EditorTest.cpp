// The editor in a real X11 window under Xvfb: the built plug-in opened by `vsthost --editor`,
// compared pixel for pixel with the headless rendering of the same editor, driven with xdotool;
// and the X11 host opened and closed in-process many times, also after its parent went.
// Skipped when Xvfb or xdotool is missing.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "builtInData.h"
#include "editorWindow.h"
#include "headlessHost.h"
#include "plugCore.h"
#include "soundMan.h"
#include "x11Host.h"

// Last: Xlib's macros (None, Bool, Status) must not meet the C++ headers.
#include "xvfbDisplay.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace korvo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace xtest;

#define NEED_DISPLAY()                                                   \
  do {                                                                   \
    if (!Xvfb::get().ok()) GTEST_SKIP() << "Xvfb is not installed";      \
    if (!onPath("xdotool")) GTEST_SKIP() << "xdotool is not installed"; \
  } while (0)

// Settings and data in a folder of their own, read alike by this process and by the plug-in
// that vsthost loads (XDG_CONFIG_HOME).
struct Folder {
  fs::path dir;
  explicit Folder(const std::string& name) {
    dir = fs::temp_directory_path() / ("korvo-x11-" + name + "-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "Korvo");
    std::ofstream(dir / "Korvo" / "settings.conf") << "path_data=" << dir.string() << "\npath_user=" << dir.string()
                                                   << "\npath_dll=" << dir.string() << "\n";
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

// The pixels of a window as the server has them.
Image grab(Display* d, Window w) {
  XWindowAttributes a{};
  Image image;
  if (!XGetWindowAttributes(d, w, &a)) return image;
  XImage* shot = XGetImage(d, w, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
  if (!shot) return image;
  image.reset(a.width, a.height);
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) image.row(y)[x] = static_cast<Pixel>(XGetPixel(shot, x, y) & 0xFFFFFF);
  XDestroyImage(shot);
  return image;
}

Window firstChild(Display* d, Window w) {
  Window root = 0, parent = 0, *kids = nullptr, found = 0;
  unsigned n = 0;
  if (XQueryTree(d, w, &root, &parent, &kids, &n) && n > 0) found = kids[0];
  if (kids) XFree(kids);
  return found;
}

void xdotool(const std::string& args) {
  const std::string cmd = "xdotool " + args;
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  std::this_thread::sleep_for(300ms);  // a few idle periods of the host
}

// vsthost --editor with the built plug-in, its output in a file.
class EditorProcess {
 public:
  explicit EditorProcess(const fs::path& outFile) : out_(outFile) {
    pid_ = fork();
    if (pid_ == 0) {
      const int fd = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, 1);
      const int err = open((outFile.string() + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(err, 2);
      execl(KORVO_TEST_VSTHOST, KORVO_TEST_VSTHOST, "--editor", "--no-sound", "--idle-ms", "20", "--seconds", "60",
            KORVO_TEST_PLUGIN, nullptr);
      _exit(127);
    }
  }
  ~EditorProcess() { stop(); }
  // The top-level window id, once vsthost has printed it.
  unsigned long window() {
    for (int i = 0; i < 200; ++i) {
      const std::string v = value("editor.window");
      if (!v.empty()) return std::stoul(v);
      std::this_thread::sleep_for(50ms);
    }
    return 0;
  }
  std::string value(const std::string& key) const {
    std::ifstream in(out_);
    std::string line;
    while (std::getline(in, line))
      if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return {};
  }
  int stop() {
    if (pid_ <= 0) return status_;
    kill(pid_, SIGTERM);
    int st = 0;
    waitpid(pid_, &st, 0);
    pid_ = -1;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return status_;
  }

 private:
  fs::path out_;
  pid_t pid_ = -1;
  int status_ = -1;
};

TEST(X11Editor, VsthostShowsTheHeadlessPictureAndTakesClicksAndTypedNames) {
  NEED_DISPLAY();
  Folder folder("vsthost");
  // The reference: the same editor on the headless host, driven the same way.
  std::vector<Image> expected;
  Point up{}, name{};
  {
    // Made as the entry point makes it, with the same settings (the folder's) and built-in data.
    vst::AEffect* effect = createEffect(testHost, withBuiltInData());
    ASSERT_NE(effect, nullptr);
    std::unique_ptr<CSynth> owner(static_cast<CSynth*>(effect->object));
    CSynth& synth = *owner;
    NoTimers timers;
    EditorWindow w(nullptr, synth, WindowHostFactory{}, &timers);
    w.show();
    TplugEditForm& f = w.form();
    f.DisplayTick();
    auto& h = static_cast<HeadlessHost&>(w.host());
    expected.push_back(h.frame());
    up = centre(*f.upButton);
    name = centre(*f.progNameEdit);
    h.move(centre(*f.upButton));
    h.click(centre(*f.upButton));
    f.DisplayTick();
    expected.push_back(h.frame());
    h.move(centre(*f.progNameEdit));
    h.click(centre(*f.progNameEdit));
    for (char c : std::string("bass")) typeLetter(h, c);
    h.pressKey(keys::Return);
    f.DisplayTick();
    expected.push_back(h.frame());
    EXPECT_EQ(f.progNameEdit->text(), "BASS");
  }

  EditorProcess vsthost(folder.dir / "vsthost.out");
  const Window top = vsthost.window();
  if (top == 0) {
    std::ifstream err(folder.dir / "vsthost.out.err");
    std::stringstream text;
    text << err.rdbuf();
    FAIL() << "vsthost printed no window; its errors: " << text.str();
  }
  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr);
  std::this_thread::sleep_for(500ms);
  const Window editor = firstChild(d, top);
  ASSERT_NE(editor, 0u) << "no editor window inside vsthost's";

  Image shot = grab(d, editor);
  EXPECT_EQ(differingPixels(shot, expected[0]), 0) << "first show";
  if (differingPixels(shot, expected[0]) != 0) {  // both pictures for whoever looks into it
    savePng(shot, (fs::temp_directory_path() / "korvo-x11-firstShow-window.png").string());
    savePng(expected[0], (fs::temp_directory_path() / "korvo-x11-firstShow-headless.png").string());
  }
  // Window coordinates are screen coordinates: vsthost's window sits at 0, 0 (no window manager).
  xdotool("mousemove " + std::to_string(up.x) + " " + std::to_string(up.y) + " click 1");
  shot = grab(d, editor);
  EXPECT_EQ(differingPixels(shot, expected[1]), 0) << "after the next-program button";
  EXPECT_GT(differingPixels(expected[1], expected[0]), 0);

  xdotool("mousemove " + std::to_string(name.x) + " " + std::to_string(name.y) + " click 1");
  xdotool("type --delay 30 bass");
  xdotool("key Return");
  shot = grab(d, editor);
  EXPECT_EQ(differingPixels(shot, expected[2]), 0) << "after typing a name";
  // Once the name is entered the keys belong to the host again.
  xdotool("key x");
  XCloseDisplay(d);
  EXPECT_EQ(vsthost.stop(), 0);
  EXPECT_EQ(vsthost.value("host.keys"), "1") << "the host got keys typed into the name box, or not the one after";
}

// A host's top-level window on a connection of the test's own.
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

TEST(X11Editor, OpenAndCloseAThousandTimesAndCloseAfterTheParentWent) {
  NEED_DISPLAY();
  Folder folder("cycle");
  CSynth synth(testHost, editorWindowFactory(platformWindowHosts()));
  vst::AEffect* e = synth.getAeffect();
  HostWindow host;
  ASSERT_NE(host.d, nullptr);
  auto* bridge = static_cast<CSynthEditor*>(synth.getEditor());
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(e->dispatcher(e, vst::effEditOpen, 0, 0, reinterpret_cast<void*>(host.w), 0), 1);
    if (i == 0) {
      auto* w = dynamic_cast<EditorWindow*>(bridge->window());
      ASSERT_NE(w, nullptr);
      ASSERT_NE(dynamic_cast<X11WindowHost*>(&w->host()), nullptr) << "the platform host was not used";
    }
    e->dispatcher(e, vst::effEditIdle, 0, 0, nullptr, 0);
    e->dispatcher(e, vst::effEditClose, 0, 0, nullptr, 0);
  }
  // No child is left behind in the host's window.
  EXPECT_EQ(firstChild(host.d, host.w), 0u);

  // The host destroys its window first (as Bitwig may), then idles and closes.
  Window doomed = XCreateSimpleWindow(host.d, DefaultRootWindow(host.d), 0, 0, 562, 346, 0, 0, 0);
  XMapWindow(host.d, doomed);
  XSync(host.d, False);
  ASSERT_EQ(e->dispatcher(e, vst::effEditOpen, 0, 0, reinterpret_cast<void*>(doomed), 0), 1);
  e->dispatcher(e, vst::effEditIdle, 0, 0, nullptr, 0);
  XDestroyWindow(host.d, doomed);
  XSync(host.d, False);
  e->dispatcher(e, vst::effEditIdle, 0, 0, nullptr, 0);
  auto* w = dynamic_cast<EditorWindow*>(bridge->window());
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(static_cast<X11WindowHost&>(w->host()).windowGone());
  e->dispatcher(e, vst::effEditClose, 0, 0, nullptr, 0);
  // And a close with the parent gone before any idle saw it.
  doomed = XCreateSimpleWindow(host.d, DefaultRootWindow(host.d), 0, 0, 562, 346, 0, 0, 0);
  XSync(host.d, False);
  ASSERT_EQ(e->dispatcher(e, vst::effEditOpen, 0, 0, reinterpret_cast<void*>(doomed), 0), 1);
  XDestroyWindow(host.d, doomed);
  XSync(host.d, False);
  e->dispatcher(e, vst::effEditClose, 0, 0, nullptr, 0);
  // A parent that is no window at all: the editor opens on the headless host instead.
  ASSERT_EQ(e->dispatcher(e, vst::effEditOpen, 0, 0, reinterpret_cast<void*>(doomed), 0), 1);
  EXPECT_NE(dynamic_cast<HeadlessHost*>(&static_cast<EditorWindow*>(bridge->window())->host()), nullptr);
  e->dispatcher(e, vst::effEditClose, 0, 0, nullptr, 0);
}

// Xft.dpi in the server's resource string (what xrdb would load), for the connections opened
// while it is set.
struct ServerDpi {
  Display* d = XOpenDisplay(nullptr);
  explicit ServerDpi(const std::string& dpi) {
    const std::string text = "Xft.antialias:\t1\nXft.dpi:\t" + dpi + "\n";
    XChangeProperty(d, DefaultRootWindow(d), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    XSync(d, False);
  }
  ~ServerDpi() {
    XDeleteProperty(d, DefaultRootWindow(d), XA_RESOURCE_MANAGER);
    XCloseDisplay(d);
  }
};

std::vector<std::pair<int, int>> g_sizeRequests;
vst::VstIntPtr KORVO_VSTCALL sizingHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value, void*,
                                        float) {
  if (opcode == vst::audioMasterSizeWindow) g_sizeRequests.emplace_back(index, static_cast<int>(value));
  return opcode == vst::audioMasterVersion ? 2400 : opcode == vst::audioMasterSizeWindow ? 1 : 0;
}

Size windowSize(Display* d, Window w) {
  XWindowAttributes a{};
  if (!XGetWindowAttributes(d, w, &a)) return {};
  return {a.width, a.height};
}

TEST(X11Editor, FollowsXftDpiDrawsTheScaledPictureAndTakesClicksAtTheScale) {
  NEED_DISPLAY();
  Folder folder("scale");
  ServerDpi dpi("144");  // 150 %
  // The reference: the headless editor at 150 %.
  Image expected;
  {
    vst::AEffect* effect = createEffect(testHost, withBuiltInData());
    ASSERT_NE(effect, nullptr);
    std::unique_ptr<CSynth> owner(static_cast<CSynth*>(effect->object));
    NoTimers timers;
    EditorWindow w(nullptr, *owner, WindowHostFactory{}, &timers);
    w.setScale(150);
    w.show();
    w.form().DisplayTick();
    expected = static_cast<HeadlessHost&>(w.host()).frame();
  }
  vst::AEffect* e = createEffect(sizingHost, withBuiltInData());
  ASSERT_NE(e, nullptr);
  std::unique_ptr<CSynth> synth(static_cast<CSynth*>(e->object));
  g_sizeRequests.clear();
  auto rect = [&] {
    vst::ERect* r = nullptr;
    e->dispatcher(e, vst::effEditGetRect, 0, 0, &r, 0);
    return r ? Size{r->right - r->left, r->bottom - r->top} : Size{};
  };
  EXPECT_EQ(rect(), (Size{843, 519})) << "before the open";
  HostWindow host;
  ASSERT_NE(host.d, nullptr);
  XResizeWindow(host.d, host.w, 843, 519);  // as the host does with what it was told
  XSync(host.d, False);
  ASSERT_EQ(e->dispatcher(e, vst::effEditOpen, 0, 0, reinterpret_cast<void*>(host.w), 0), 1);
  auto* bridge = static_cast<CSynthEditor*>(synth->getEditor());
  auto* w = dynamic_cast<EditorWindow*>(bridge->window());
  ASSERT_NE(w, nullptr);
  ASSERT_NE(dynamic_cast<X11WindowHost*>(&w->host()), nullptr);
  EXPECT_EQ(w->host().scale(), 150);
  EXPECT_EQ(rect(), (Size{843, 519})) << "after the open";
  EXPECT_TRUE(g_sizeRequests.empty());
  const Window child = firstChild(host.d, host.w);
  ASSERT_NE(child, 0u);
  EXPECT_EQ(windowSize(host.d, child), (Size{843, 519}));
  auto idle = [&] {
    for (int i = 0; i < 8; ++i) {
      e->dispatcher(e, vst::effEditIdle, 0, 0, nullptr, 0);
      std::this_thread::sleep_for(20ms);
    }
  };
  idle();
  EXPECT_EQ(differingPixels(grab(host.d, child), expected), 0) << "the window at 150 %";

  // A click at the device position of the next-program button reaches it.
  TplugEditForm& f = w->form();
  auto clickAt = [&](const Control& c) {
    const Point p = w->host().toDevice(centre(c));
    xdotool("mousemove " + std::to_string(p.x) + " " + std::to_string(p.y) + " click 1");
    idle();
  };
  clickAt(*f.upButton);
  EXPECT_EQ(synth->engine()->soundMan().CurrentProgram(), 1);

  // The host's hint takes it to 300 %: the host is asked for the size and the window follows.
  e->dispatcher(e, vst::effVendorSpecific, static_cast<vst::VstInt32>(vst::fourCC("PreS")), vst::fourCC("AeCs"), nullptr, 3.0f);
  EXPECT_EQ(g_sizeRequests, (std::vector<std::pair<int, int>>{{1686, 1038}}));
  EXPECT_EQ(rect(), (Size{1686, 1038}));
  XResizeWindow(host.d, host.w, 1686, 1038);
  idle();
  XSync(host.d, False);
  EXPECT_EQ(windowSize(host.d, child), (Size{1686, 1038}));
  clickAt(*f.downButton);
  EXPECT_EQ(synth->engine()->soundMan().CurrentProgram(), 0);
  clickAt(*f.upButton);
  EXPECT_EQ(synth->engine()->soundMan().CurrentProgram(), 1);
  e->dispatcher(e, vst::effEditClose, 0, 0, nullptr, 0);
}

}  // namespace
}  // namespace korvo
