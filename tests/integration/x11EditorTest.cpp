// The editor in a real X11 window under Xvfb: the built plug-in opened by `vsthost --editor`,
// compared pixel for pixel with the headless rendering of the same editor, driven with xdotool;
// and the X11 host opened and closed in-process many times, also after its parent went; and the
// file dialog program (a stand-in script first on PATH) that the editor's file commands run.
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

#include "VSTaux.h"
#include "builtInData.h"
#include "childFileDialog.h"
#include "editorWindow.h"
#include "lcdControl.h"
#include "uSelSingleForm.h"
#include "fileDialog.h"
#include "headlessHost.h"
#include "menu.h"
#include "messageBox.h"
#include "plugCore.h"
#include "popupHost.h"
#include "progRecord.h"
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

// Settings and data of a test, read alike by this process and the plug-in vsthost loads.
struct Folder : SettingsFolder {
  explicit Folder(const std::string& name) : SettingsFolder("x11-" + name) {}
};

// The pixels of a window as the server has them.
Image grab(Display* d, Window w) {
  XWindowAttributes a{};
  return XGetWindowAttributes(d, w, &a) ? grabArea(d, w, 0, 0, a.width, a.height) : Image{};
}

Window firstChild(Display* d, Window w) {
  Window root = 0, parent = 0, *kids = nullptr, found = 0;
  unsigned n = 0;
  if (XQueryTree(d, w, &root, &parent, &kids, &n) && n > 0) found = kids[0];
  if (kids) XFree(kids);
  return found;
}

void xdotool(const std::string& args) {
  ASSERT_EQ(runXdotool(args), 0) << "xdotool " << args;
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
  const ReferencePictures reference = referencePictures();
  ASSERT_EQ(reference.expected.size(), 3u);
  EXPECT_EQ(reference.typedName, "BASS");
  const std::vector<Image>& expected = reference.expected;
  const Point up = reference.up, name = reference.name;

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

// The shipped editor opened in a host's window of the test's own, at 0, 0 of the screen; closed
// at the end unless the test closed it.
struct OpenEditor {
  CSynth synth{testHost, editorWindowFactory(platformWindowHosts())};
  vst::AEffect* e = synth.getAeffect();
  HostWindow top;
  EditorWindow* window = nullptr;
  X11WindowHost* x11 = nullptr;
  OpenEditor() {
    if (!top.d || e->dispatcher(e, vst::effEditOpen, 0, 0, reinterpret_cast<void*>(top.w), 0) != 1) return;
    window = dynamic_cast<EditorWindow*>(static_cast<CSynthEditor*>(synth.getEditor())->window());
    if (window) x11 = dynamic_cast<X11WindowHost*>(&window->host());
  }
  ~OpenEditor() {
    if (static_cast<CSynthEditor*>(synth.getEditor())->hasWindow())
      e->dispatcher(e, vst::effEditClose, 0, 0, nullptr, 0);
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

// Dialogs are top-level windows of their own over the editor: the editor's picture stays as it
// was, the dialog's window shows what the headless host draws, and a click or a key in it
// answers it; the keys go back where they were once it is gone.
TEST(X11Editor, DialogsAreTopLevelWindowsThatTakeClicksAndKeys) {
  NEED_DISPLAY();
  HostWindow top;
  ASSERT_NE(top.d, nullptr);
  XSetInputFocus(top.d, top.w, RevertToParent, CurrentTime);
  X11WindowHost x11(top.w, 562, 346);
  HeadlessHost reference(562, 346);
  std::vector<MessageResult> answers;
  auto ask = [&](WindowHost& h) {
    h.messageBox("Warning", "mine.KVL already exists.\nDo you want to replace it?", MessageButtons::YesNo,
                 [&](MessageResult r) { answers.push_back(r); });
  };
  auto pumpFor = [&](std::chrono::milliseconds t, const std::function<bool()>& until) {
    for (auto end = std::chrono::steady_clock::now() + t; std::chrono::steady_clock::now() < end && !until();) {
      x11.pumpEvents();
      x11.present();
      XSync(top.d, False);
      std::this_thread::sleep_for(10ms);
    }
  };
  auto focusIs = [&](Window w) {
    Window f = 0;
    int revert = 0;
    XGetInputFocus(top.d, &f, &revert);
    return f == w;
  };
  pumpFor(300ms, [] { return false; });
  const Image before = grab(top.d, x11.window());

  ask(x11);
  ask(reference);
  pumpFor(2s, [&] { return x11.dialogWindow(0) != 0 && focusIs(x11.dialogWindow(0)); });
  const Window dialog = x11.dialogWindow(0);
  ASSERT_NE(dialog, 0u);
  EXPECT_TRUE(focusIs(dialog)) << "the dialog did not take the keys";
  Window root = 0, parent = 0, *kids = nullptr;
  unsigned n = 0;
  ASSERT_TRUE(XQueryTree(top.d, dialog, &root, &parent, &kids, &n));
  if (kids) XFree(kids);
  EXPECT_EQ(parent, root) << "not a top-level window";
  EXPECT_EQ(differingPixels(grab(top.d, dialog), reference.lastModalImage), 0);
  // Dragged by its caption off the editor, the dialog leaves the editor's picture whole.
  auto* box = dynamic_cast<MessageBoxView*>(x11.topModal());
  ASSERT_NE(box, nullptr);
  const Point placed = box->toScreen({0, 0});
  const Point moved{600, 420};
  const Point grip{placed.x + box->width() / 2, placed.y + 6};
  xdotool("mousemove " + std::to_string(grip.x) + " " + std::to_string(grip.y) + " mousedown 1 mousemove " +
          std::to_string(grip.x + moved.x - placed.x) + " " + std::to_string(grip.y + moved.y - placed.y) +
          " mouseup 1");
  auto dialogAt = [&] {
    int x = 0, y = 0;
    Window unused = 0;
    XTranslateCoordinates(top.d, dialog, DefaultRootWindow(top.d), 0, 0, &x, &y, &unused);
    return Point{x, y};
  };
  pumpFor(2s, [&] { return dialogAt() == moved; });
  EXPECT_EQ(dialogAt(), moved) << "the caption did not drag the dialog";
  EXPECT_TRUE(answers.empty()) << "the press on the caption reached the dialog";
  pumpFor(2s, [&] { return differingPixels(grab(top.d, x11.window()), before) == 0; });  // the uncovered part
  EXPECT_EQ(differingPixels(grab(top.d, x11.window()), before), 0) << "the dialog was drawn into the editor";

  const PushButton& no = *box->buttonControls()[1];
  Point at = no.toScreen({no.width() / 2, no.height() / 2});
  at = {at.x - placed.x + moved.x, at.y - placed.y + moved.y};
  xdotool("mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) + " click 1");
  pumpFor(2s, [&] { return !answers.empty(); });
  ASSERT_EQ(answers, std::vector<MessageResult>{MessageResult::No});
  EXPECT_EQ(x11.dialogWindow(0), 0u);

  // Enter answers with the first button; the keys then return to the host's window.
  ask(x11);
  pumpFor(2s, [&] { return x11.dialogWindow(0) != 0 && focusIs(x11.dialogWindow(0)); });
  xdotool("key Return");
  pumpFor(2s, [&] { return answers.size() == 2; });
  EXPECT_EQ(answers.back(), MessageResult::Yes);
  EXPECT_TRUE(focusIs(top.w)) << "the keys did not return to the host";
  EXPECT_FALSE(x11.holdsFocus());

  // An editor closed with its dialog open takes the dialog's window with it, unanswered.
  auto topLevels = [&] {
    Window r = 0, p = 0, *k = nullptr;
    unsigned count = 0;
    XQueryTree(top.d, DefaultRootWindow(top.d), &r, &p, &k, &count);
    if (k) XFree(k);
    return count;
  };
  const unsigned windows = topLevels();
  {
    X11WindowHost closing(top.w, 562, 346);
    ask(closing);
    closing.pumpEvents();
    XSync(top.d, False);
    EXPECT_EQ(topLevels(), windows + 1);
  }
  XSync(top.d, False);
  EXPECT_EQ(topLevels(), windows);
  EXPECT_EQ(answers.size(), 2u);
}

// Xft.dpi in the server's resource string (what xrdb would load), for the connections opened
// while it is set.
struct ServerDpi {
  Display* d = XOpenDisplay(nullptr);
  explicit ServerDpi(const std::string& dpi) { set(dpi); }
  void set(const std::string& dpi) {
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
vst::VstIntPtr KORVO_VSTCALL sizingHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value,
                                        void*, float) {
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
    ReferenceEditor w(150);
    ASSERT_TRUE(w.ok());
    expected = w.frame();
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

  // Another Xft.dpi while the editor is open (xrdb run again, another screen): it follows.
  dpi.set("192");
  idle();
  EXPECT_EQ(w->host().scale(), 200);
  EXPECT_EQ(g_sizeRequests, (std::vector<std::pair<int, int>>{{1124, 692}}));
  g_sizeRequests.clear();

  // The host's hint takes it to 300 %: the host is asked for the size and the window follows.
  e->dispatcher(e, vst::effVendorSpecific, static_cast<vst::VstInt32>(vst::fourCC("PreS")), vst::fourCC("AeCs"),
                nullptr, 3.0f);
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

// A stand-in for zenity or kdialog, first on PATH while it lives. What it does is read from
// files in its folder at each run: it records its arguments, waits `delay` seconds, with `hang`
// becomes a sleep that never answers, with `noattach` fails on --attach as zenity 4 does,
// without `answer` cancels (exit 1), else prints it and exits with `status` (0).
struct FakeDialog {
  fs::path dir;
  std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  explicit FakeDialog(const std::string& program) {
    dir = fs::temp_directory_path() / ("korvo-dialog-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path script = dir / program;
    std::ofstream(script) << "#!/bin/sh\nd='" << dir.string() << "'\n"
                          << "printf '%s\\n' \"$@\" > \"$d/args\"\n"
                          << "[ -f \"$d/hang\" ] && exec sleep 60\n"
                          << "[ -f \"$d/noattach\" ] && case \"$*\" in *--attach*) exit 255;; esac\n"
                          << "sleep \"$(cat \"$d/delay\" 2>/dev/null || echo 0)\"\n"
                          << "[ -f \"$d/answer\" ] || exit 1\ncat \"$d/answer\"\n"
                          << "exit \"$(cat \"$d/status\" 2>/dev/null || echo 0)\"\n";
    fs::permissions(script, fs::perms::owner_all);
    setenv("PATH", (dir.string() + ":" + oldPath).c_str(), 1);
  }
  ~FakeDialog() {
    setenv("PATH", oldPath.c_str(), 1);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  void set(const char* name, const std::string& value) { std::ofstream(dir / name) << value << "\n"; }
  void clear(const char* name) { fs::remove(dir / name); }
  std::vector<std::string> args() const {
    std::vector<std::string> lines;
    std::ifstream in(dir / "args");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

bool reaped(long pid) { return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

// The Options menu in windows of its own: a click opens it below its picture, a click on
// "Window size" opens that submenu beside the item, and a click on "150 %" closes both and
// makes the editor's window that large.
TEST(X11Editor, MenusOpenSubmenusAndChooseWithClicks) {
  NEED_DISPLAY();
  Folder folder("menu");
  OpenEditor editor;
  X11WindowHost* x11 = editor.x11;
  ASSERT_NE(x11, nullptr);
  vst::AEffect* e = editor.e;
  ASSERT_EQ(x11->scale(), 100);
  TplugEditForm& f = editor.window->form();
  auto idle = [&](int times) {
    for (int i = 0; i < times; ++i) {
      e->dispatcher(e, vst::effEditIdle, 0, 0, nullptr, 0);
      std::this_thread::sleep_for(10ms);
    }
  };
  auto clickAt = [&](Point p) {
    xdotool("mousemove " + std::to_string(p.x) + " " + std::to_string(p.y) + " click 1");
    idle(10);
  };
  // Where an item of a menu level opened at `origin` (screen) is.
  auto itemOf = [](PopupMenu& menu, const std::string& caption, Point origin, Rect* onScreen = nullptr) {
    MenuView view(menu);
    view.layout();
    std::size_t i = 0;
    while (i < menu.size() && menu.item(i).caption != caption) ++i;
    const Rect r = view.itemRect(i).offset(origin.x, origin.y);
    if (onScreen) *onScreen = r;
    return Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  };
  idle(5);
  const Point picture = f.menuOptImage->toScreen({f.menuOptImage->width() / 2, f.menuOptImage->height() / 2});
  clickAt(picture);
  EXPECT_EQ(x11->openPopups(), 1u);
  Rect sizeItem{};
  const Point size =
      itemOf(f.menuOptionsPopup, "Window size", f.menuOptImage->toScreen({0, f.menuOptImage->height() + 1}), &sizeItem);
  // Resting on the item opens its submenu; the click on it keeps it open.
  xdotool("mousemove " + std::to_string(size.x) + " " + std::to_string(size.y));
  idle(10);
  EXPECT_EQ(x11->openPopups(), 2u) << "the submenu did not open under the pointer";
  clickAt(size);
  ASSERT_EQ(x11->openPopups(), 2u) << "the submenu did not open";
  MenuItem* sizes = f.menuOptionsPopup.find("Window size");
  ASSERT_NE(sizes, nullptr);
  clickAt(itemOf(*sizes->submenu, "150 %", {sizeItem.right, sizeItem.top}));
  EXPECT_EQ(x11->openPopups(), 0u);
  EXPECT_EQ(x11->scale(), 150);
  EXPECT_EQ(windowSize(editor.top.d, x11->window()).width, 843);
  // A click beside an open menu closes it and chooses nothing.
  clickAt(picture);
  EXPECT_EQ(x11->openPopups(), 1u);
  clickAt({1000, 700});
  EXPECT_EQ(x11->openPopups(), 0u);
  EXPECT_EQ(x11->scale(), 150);
}

// What the editor test below does not reach: the choice of program (KORVO_FILE_DIALOG=drawn
// forces the drawn dialog), kdialog's arguments, and an answer that is no path.
TEST(ChildFileDialog, ChoosesTheProgramAndTakesOnlyAbsolutePaths) {
  const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  setenv("DISPLAY", ":99", 1);
  {
    FakeDialog fake("kdialog");
    setenv("KORVO_FILE_DIALOG", "kdialog", 1);  // zenity may be installed here too
    const auto p = findDialogProgram();
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->path, (fake.dir / "kdialog").string());
    setenv("KORVO_FILE_DIALOG", "drawn", 1);
    EXPECT_FALSE(findDialogProgram().has_value());
    unsetenv("KORVO_FILE_DIALOG");
    setenv("DISPLAY", "", 1);
    EXPECT_FALSE(findDialogProgram().has_value()) << "no display";

    FileDialogRequest open;
    open.folder = "/home/u/sounds";
    open.filter = "Pemmet/Halvet SysEx (*.SYX)|*.SYX";
    EXPECT_EQ(dialogArguments(*p, open, 0),
              (std::vector<std::string>{"--title", "Open", "--getopenfilename", "/home/u/sounds",
                                        "*.SYX *.syx|Pemmet/Halvet SysEx (*.SYX)"}));
    fake.set("answer", "bank.kvl");
    auto d = ChildFileDialog::start(p->path, {});
    for (int i = 0; i < 500 && d->poll() == ChildFileDialog::State::Running; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(d->poll(), ChildFileDialog::State::Answered);
    EXPECT_EQ(d->answer(), "") << "a relative path is no choice";
  }
  setenv("DISPLAY", display.c_str(), 1);
}

std::vector<std::uint8_t> bankOf(CSynth& synth) {
  std::vector<std::uint8_t> image(static_cast<std::size_t>(Ckv_soundMan::BankSize()));
  synth.engine()->soundMan().SaveBank(image.data());
  return image;
}

TEST(X11Editor, FileCommandsRunTheDialogProgramWithoutBlockingTheIdle) {
  NEED_DISPLAY();
  Folder folder("dialog");
  FakeDialog fake("zenity");
  unsetenv("KORVO_FILE_DIALOG");
  OpenEditor editor;
  X11WindowHost* x11 = editor.x11;
  ASSERT_NE(x11, nullptr);
  CSynth& synth = editor.synth;
  vst::AEffect* e = editor.e;
  HostWindow& top = editor.top;
  EditorWindow* w = editor.window;
  TplugEditForm& f = w->form();
  // Idles as a host sends them until the program has answered; the slowest one is returned.
  auto idleUntilAnswered = [&] {
    auto worst = 0ns;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (x11->fileDialogProcess() != 0 && std::chrono::steady_clock::now() < deadline) {
      const auto t0 = std::chrono::steady_clock::now();
      e->dispatcher(e, vst::effEditIdle, 0, 0, nullptr, 0);
      worst = std::max(worst, std::chrono::steady_clock::now() - t0);
      std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(x11->fileDialogProcess(), 0) << "the program never answered";
    return worst;
  };

  // Save: a name typed without its extension, given after the program took 2 s.
  Ckv_progMan& programs = synth.engine()->soundMan().ProgMan();
  for (int n = 0; n < 128; n += 17)
    setRecordName(*programs.RecordAt(Ckv_progMan::SlotOf(n)), "SOUND " + std::to_string(n));
  const auto saved = bankOf(synth);
  fake.set("answer", (folder.dir / "mine").string());
  fake.set("delay", "2");
  const auto t0 = std::chrono::steady_clock::now();
  f.SaveLibrary();
  const auto started = std::chrono::steady_clock::now() - t0;
  ASSERT_NE(x11->fileDialogProcess(), 0) << "the drawn dialog was used";
  const auto worst = idleUntilAnswered();
  EXPECT_GE(std::chrono::steady_clock::now() - t0, 1900ms);
  // The program answers after 2 s: an idle that waited for it would take most of that; a busy
  // machine may stretch an idle that did not wait, but not that far.
  EXPECT_LT(worst, 1500ms) << "an idle waited for the dialog";
  std::printf("dialog program started in %.2f ms; slowest idle while it ran %.2f ms\n",
              std::chrono::duration<double, std::milli>(started).count(),
              std::chrono::duration<double, std::milli>(worst).count());
  std::vector<std::uint8_t> onDisk;
  EXPECT_EQ(readWholeFile((folder.dir / "mine.kvl").string(), onDisk), saved.size());
  EXPECT_EQ(onDisk, saved);
  const std::vector<std::string> args = fake.args();
  EXPECT_NE(std::find(args.begin(), args.end(), "--attach=" + std::to_string(top.w)), args.end());
  fake.set("delay", "0");

  // Load: the memory changed meanwhile comes back from the file; a cancelled load changes nothing.
  programs.InitAllPrograms();
  const auto initialised = bankOf(synth);
  ASSERT_NE(initialised, saved);
  fake.clear("answer");
  f.LoadLibrary();
  idleUntilAnswered();
  EXPECT_EQ(bankOf(synth), initialised) << "cancel";
  EXPECT_EQ(w->host().modalCount(), 0u) << "a cancel opened the drawn dialog";
  fake.set("answer", (folder.dir / "mine.kvl").string());
  f.LoadLibrary();
  idleUntilAnswered();
  EXPECT_EQ(bankOf(synth), saved);
  // A zenity that does not know --attach is asked once more without it.
  programs.InitAllPrograms();
  fake.set("noattach", "1");
  f.LoadLibrary();
  idleUntilAnswered();
  EXPECT_EQ(bankOf(synth), saved);
  EXPECT_EQ(fake.args().back(), "--file-filter=Library (*.KVL) | *.KVL *.kvl");
  fake.clear("noattach");

  // A cancelled save writes nothing. An existing file of the name with the extension added is
  // asked about first; "No" keeps it.
  auto files = [&] { return std::distance(fs::directory_iterator(folder.dir), fs::directory_iterator{}); };
  const auto before = files();
  fake.clear("answer");
  f.SaveLibrary();
  idleUntilAnswered();
  EXPECT_EQ(files(), before);
  programs.InitAllPrograms();
  fake.set("answer", (folder.dir / "mine").string());
  f.SaveLibrary();
  idleUntilAnswered();
  ASSERT_EQ(w->host().modalCount(), 1u) << "no question before replacing mine.kvl";
  w->host().closeModal(*w->host().topModal());  // closed without Yes
  e->dispatcher(e, vst::effEditIdle, 0, 0, nullptr, 0);
  ASSERT_EQ(readWholeFile((folder.dir / "mine.kvl").string(), onDisk), saved.size());
  EXPECT_EQ(onDisk, saved);

  // A program that fails gives way to the drawn dialog.
  fake.set("status", "255");
  f.LoadLibrary();
  idleUntilAnswered();
  EXPECT_EQ(w->host().modalCount(), 1u);
  w->host().closeModal(*w->host().topModal());
  e->dispatcher(e, vst::effEditIdle, 0, 0, nullptr, 0);
  fake.clear("status");

  // Closed while the dialog is open: the program is killed and reaped, nothing is called back.
  fake.set("hang", "1");
  const auto beforeClose = bankOf(synth);
  f.LoadLibrary();
  e->dispatcher(e, vst::effEditIdle, 0, 0, nullptr, 0);
  const long pid = x11->fileDialogProcess();
  ASSERT_NE(pid, 0);
  EXPECT_FALSE(reaped(pid));
  // Meanwhile the editor takes no clicks, as under a modal dialog.
  const int program = synth.engine()->soundMan().CurrentProgram();
  const Point up = centre(*f.upButton);  // the host's window is at 0, 0 of the screen
  xdotool("mousemove " + std::to_string(up.x) + " " + std::to_string(up.y) + " click 1");
  e->dispatcher(e, vst::effEditIdle, 0, 0, nullptr, 0);
  EXPECT_EQ(synth.engine()->soundMan().CurrentProgram(), program);
  e->dispatcher(e, vst::effEditClose, 0, 0, nullptr, 0);
  EXPECT_TRUE(reaped(pid));
  EXPECT_EQ(bankOf(synth), beforeClose);
}

// Another program's side of the CLIPBOARD, on the test's own connection: it reads what the
// editor copied, and it offers text of its own that the editor pastes. Both wait for the
// answer while the editor idles.
// Ctrl+A and Ctrl+C in the name box select and copy (the name stays as it was), another program
// reads the copy and offers text of its own that Ctrl+V pastes, Escape brings the name back and a
// click beside the box ends the editing.
TEST(X11Editor, TheNameBoxTakesCtrlKeysAsCommandsAndUsesTheClipboard) {
  NEED_DISPLAY();
  Folder folder("namebox");
  OpenEditor editor;
  ASSERT_NE(editor.x11, nullptr);
  vst::AEffect* e = editor.e;
  TplugEditForm& f = editor.window->form();
  ClipboardPeer other{editor.top.d, editor.top.w};
  auto idle = [&] {
    e->dispatcher(e, vst::effEditIdle, 0, 0, nullptr, 0);
    other.serve();
    std::this_thread::sleep_for(10ms);
  };
  // Idles until `done` holds (or 15 s have passed, on a very busy machine).
  auto idleUntil = [&](const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + 15s;
    while (!done() && std::chrono::steady_clock::now() < end) idle();
  };
  auto clickAt = [&](Point p) { xdotool("mousemove " + std::to_string(p.x) + " " + std::to_string(p.y) + " click 1"); };
  for (int i = 0; i < 5; ++i) idle();
  const std::string name = f.progNameEdit->text();
  ASSERT_FALSE(name.empty());
  clickAt(centre(*f.progNameEdit));
  idleUntil([&] { return f.keyboardWanted(); });
  ASSERT_TRUE(f.keyboardWanted());
  xdotool("key End ctrl+a ctrl+c");
  idleUntil([&] { return XGetSelectionOwner(other.d, other.clipboard) != None; });
  EXPECT_EQ(other.paste(idle), name) << "the copy never reached the clipboard";
  EXPECT_EQ(f.progNameEdit->text(), name) << "a letter held with Ctrl was typed";
  xdotool("type --delay 30 bass");
  idleUntil([&] { return f.progNameEdit->text() == "BASS"; });
  EXPECT_EQ(f.progNameEdit->text(), "BASS");
  xdotool("key Escape");
  idleUntil([&] { return !f.keyboardWanted(); });
  EXPECT_EQ(f.progNameEdit->text(), name);
  EXPECT_FALSE(f.keyboardWanted());

  other.offer("lead 2");
  clickAt(centre(*f.progNameEdit));
  idleUntil([&] { return f.keyboardWanted(); });
  xdotool("key End ctrl+v");
  idleUntil([&] { return f.progNameEdit->text() != name; });
  EXPECT_EQ(f.progNameEdit->text(), (name + "LEAD 2").substr(0, 15));
  clickAt(centre(*f.lcd));
  idleUntil([&] { return !f.keyboardWanted(); });
  EXPECT_FALSE(f.keyboardWanted());
  EXPECT_EQ(f.progNameEdit->text(), (name + "LEAD 2").substr(0, 15));
}

bool viewable(Display* d, unsigned long w) {
  XWindowAttributes a{};
  return w != 0 && XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

std::string windowName(Display* d, unsigned long w) {
  char* text = nullptr;
  std::string name;
  if (XFetchName(d, w, &text) && text) {
    name = text;
    XFree(text);
  }
  return name;
}

// The drawn file dialog: a save starts with the keys in the name box, Return saves with the
// extension in lower case, and the window's title says what is saved. A file chosen by double
// click leaves nothing of its press behind: the next clicks answer the questions that follow.
TEST(X11Editor, TheDrawnFileDialogTakesATypedNameAndADoubleClickLeavesNoClickBehind) {
  NEED_DISPLAY();
  Folder folder("drawn");
  setenv("KORVO_FILE_DIALOG", "drawn", 1);
  OpenEditor editor;
  X11WindowHost* x11 = editor.x11;
  ASSERT_NE(x11, nullptr);
  vst::AEffect* e = editor.e;
  TplugEditForm& f = editor.window->form();
  Display* d = editor.top.d;
  auto idleUntil = [&](const std::function<bool()>& done) {
    for (int i = 0; i < 300 && !done(); ++i) {
      e->dispatcher(e, vst::effEditIdle, 0, 0, nullptr, 0);
      std::this_thread::sleep_for(10ms);
    }
    return done();
  };
  // Shown, and holding the keys.
  auto dialogShown = [&] {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    return viewable(d, x11->dialogWindow(0)) && focus == x11->dialogWindow(0);
  };
  auto clickOn = [&](const Control& c) {
    const Point p = c.toScreen({c.width() / 2, c.height() / 2});
    xdotool("mousemove " + std::to_string(p.x) + " " + std::to_string(p.y) + " click 1");
  };

  f.SaveLibrary();
  ASSERT_TRUE(idleUntil(dialogShown));
  EXPECT_EQ(windowName(d, x11->dialogWindow(0)), "Save library");
  auto* save = dynamic_cast<FileDialogView*>(x11->topModal());
  ASSERT_NE(save, nullptr);
  const fs::path where = save->folder();
  xdotool("type --delay 30 mine");
  xdotool("key Return");
  EXPECT_TRUE(idleUntil([&] { return x11->modalCount() == 0; }));
  EXPECT_TRUE(fs::exists(where / "mine.kvl"));
  EXPECT_FALSE(fs::exists(where / "mine.KVL"));

  // A bank of named sounds to import at program 0.
  CSynth source(testHost, editorWindowFactory(platformWindowHosts()));
  Ckv_progMan& programs = source.engine()->soundMan().ProgMan();
  for (int n = 0; n < 40; ++n) setRecordName(*programs.RecordAt(Ckv_progMan::SlotOf(n)), "BANK" + std::to_string(n));
  std::vector<std::uint8_t> bank;
  ASSERT_TRUE(programs.ExportBank(0, bank));
  ASSERT_EQ(writeWholeFile((where / "bank.syx").string(), bank.data(), bank.size()), 0);

  f.ImportBank();
  ASSERT_TRUE(idleUntil(dialogShown));
  auto* open = dynamic_cast<FileDialogView*>(x11->topModal());
  ASSERT_NE(open, nullptr);
  const auto& entries = open->entries();
  const auto row = std::find(entries.begin(), entries.end(), "bank.syx") - entries.begin();
  ASSERT_LT(static_cast<std::size_t>(row), entries.size());
  ListBox& list = open->list();
  const int h = list.itemHeight();
  const Point item = list.toScreen({30, 1 + static_cast<int>(row) * h + h / 2});
  xdotool("mousemove " + std::to_string(item.x) + " " + std::to_string(item.y) + " click --repeat 2 --delay 80 1");
  ASSERT_TRUE(idleUntil([&] { return dynamic_cast<TSelSingleForm*>(x11->topModal()) && dialogShown(); }))
      << "the double click did not choose the file";
  clickOn(*dynamic_cast<TSelSingleForm*>(x11->topModal())->okButton);
  ASSERT_TRUE(idleUntil([&] { return dynamic_cast<MessageBoxView*>(x11->topModal()) && dialogShown(); }))
      << "the click on OK after the double click was lost";
  auto* question = dynamic_cast<MessageBoxView*>(x11->topModal());
  EXPECT_EQ(question->text(), "Overwrite sounds 000...039?");
  clickOn(*question->buttonControls()[0]);
  EXPECT_TRUE(idleUntil([&] { return x11->modalCount() == 0; })) << dialogTitle(*x11->topModal());
  EXPECT_EQ(displayName(*editor.synth.engine()->soundMan().ProgMan().RecordAt(Ckv_progMan::SlotOf(39))), "BANK39");
  unsetenv("KORVO_FILE_DIALOG");
}

// A wheel notch over a knob turns it one step.
TEST(X11Editor, TheWheelTurnsAKnob) {
  NEED_DISPLAY();
  Folder folder("wheel");
  OpenEditor editor;
  ASSERT_NE(editor.x11, nullptr);
  vst::AEffect* e = editor.e;
  TplugEditForm& f = editor.window->form();
  auto idle = [&](int times) {
    for (int i = 0; i < times; ++i) {
      e->dispatcher(e, vst::effEditIdle, 0, 0, nullptr, 0);
      std::this_thread::sleep_for(10ms);
    }
  };
  idle(5);
  f.Controller()->SelectPage(2);  // OSC1 Pitch
  ClcdCtr_param& field = *f.Controller()->Page()->FieldOfSlot(0);
  Ckv_soundMan& sounds = editor.synth.engine()->soundMan();
  const int before = sounds.Editor().GetParam(field.ParamId());
  const Point knob = centre(*f.knobs[0]);
  xdotool("mousemove " + std::to_string(knob.x) + " " + std::to_string(knob.y) + " click 4");
  const auto end = std::chrono::steady_clock::now() + 15s;
  while (sounds.Editor().GetParam(field.ParamId()) == before && std::chrono::steady_clock::now() < end) idle(1);
  EXPECT_EQ(sounds.Editor().GetParam(field.ParamId()), field.Clamp(before + 1));
}

}  // namespace
}  // namespace korvo
