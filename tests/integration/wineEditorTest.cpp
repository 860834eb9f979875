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
#include <vector>

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "builtInData.h"
#include "editorWindow.h"
#include "headlessHost.h"
#include "menu.h"
#include "hostRunner.h"
#include "plugCore.h"

// Last: Xlib's macros (None, Bool, Status) must not meet the C++ headers.
#include "xvfbDisplay.h"

#include <X11/Xutil.h>

namespace korvo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace xtest;

#define NEED_WINE_DISPLAY()                                  \
  do {                                                       \
    if (!underWine()) GTEST_SKIP() << "not a Windows build"; \
    NEED_DISPLAY();                                          \
  } while (0)

// Wine spells Unix file names in the locale's character set: the saved library's name has an
// "ä", which a bare CI shell's C locale cannot spell.
std::string wineEnvironment() {
  return "LC_ALL=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINEPREFIX='" +
         testEnv("KORVO_TEST_WINEPREFIX") + "' ";
}

// xdotool types a character the keyboard map lacks by remapping a spare key for a moment, and a busy
// Wine may read the map after the key came (the "ä" of a name went missing that way): such a
// character gets a key of its own before Wine starts.
void giveKeyTo(KeySym sym) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return;
  int lo = 0, hi = 0;
  XDisplayKeycodes(d, &lo, &hi);
  int perKey = 0;
  KeySym* map = XGetKeyboardMapping(d, static_cast<KeyCode>(lo), hi - lo + 1, &perKey);
  bool present = false;
  int spare = -1;
  for (int k = lo; map && k <= hi; ++k) {
    bool empty = true;
    for (int j = 0; j < perKey; ++j) {
      const KeySym s = map[(k - lo) * perKey + j];
      present = present || s == sym;
      empty = empty && s == NoSymbol;
    }
    if (empty && k > lo + 8) spare = k;
  }
  if (map) XFree(map);
  if (!present && spare >= 0) {
    KeySym both[2] = {sym, sym};
    XChangeKeyboardMapping(d, spare, 2, both, 1);
    XSync(d, False);
  }
  XCloseDisplay(d);
}

// A Wine server of the prefix left from a program started without this display would keep its
// desktop elsewhere: wait until it has ended.
void waitForWineServer() {
  const std::string cmd = wineEnvironment() + "wineserver -w >/dev/null 2>&1";
  [[maybe_unused]] const int rc = std::system(cmd.c_str());
}

// The settings and data the Windows plug-in finds in the prefix (drive C:, its default folder),
// read by this process's headless editor from a folder of its own.
struct Folder : SettingsFolder {
  Folder() : SettingsFolder("wine-editor") {
    const fs::path c = fs::path(testEnv("KORVO_TEST_WINEPREFIX")) / "drive_c";
    for (const char* name : {"wavrom.bin", "Korvo_backup.dat"}) {
      std::error_code ec;
      if (fs::exists(c / name)) fs::copy_file(c / name, dir / name, fs::copy_options::overwrite_existing, ec);
    }
  }
};

// What the screen shows in a rectangle.
Image grabScreen(Display* d, int x, int y, int w, int h) { return grabArea(d, DefaultRootWindow(d), x, y, w, h); }

void xdotool(const std::string& args) { ASSERT_EQ(runXdotool(args), 0) << "xdotool " << args; }

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
  // The screen point of the editor's top-left corner, once vsthost has shown it.
  bool editorOrigin(Point& at) const {
    for (int i = 0; i < 300; ++i) {
      const std::string screen = value("editor.screen");
      if (!screen.empty()) {
        at = {std::stoi(screen), std::stoi(screen.substr(screen.find(',') + 1))};
        return true;
      }
      std::this_thread::sleep_for(100ms);
    }
    return false;
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

// Waits until vsthost's editor shows `first`: its top-left corner on the screen, and a display
// connection of the test's own.
void waitForEditor(const WineEditor& vsthost, const Image& first, Point& at, Display*& d) {
  ASSERT_TRUE(vsthost.editorOrigin(at)) << "vsthost printed no window: " << vsthost.text();
  d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(differingPixels(waitForPicture(d, at, first, 15s), first), 0);
}

TEST(WineEditor, VsthostShowsTheHeadlessPictureAndTakesClicksAndTypedNames) {
  NEED_WINE_DISPLAY();
  Folder folder;
  // The reference: the same editor on the headless host, driven the same way.
  const ReferencePictures reference = referencePictures();
  ASSERT_EQ(reference.expected.size(), 3u);
  ASSERT_EQ(reference.typedName, "BASS");
  const std::vector<Image>& expected = reference.expected;
  const Point up = reference.up, name = reference.name;

  WineEditor vsthost(folder.dir / "vsthost.out", "--seconds 60");
  Point at{};
  ASSERT_TRUE(vsthost.editorOrigin(at)) << "vsthost printed no window: " << vsthost.text();
  EXPECT_EQ(vsthost.value("editor.open"), "1");
  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr);
  auto check = [&](const Image& want, const char* when) {
    const Image shot = waitForPicture(d, at, want, 15s);
    const int bad = differingPixels(shot, want);
    EXPECT_EQ(bad, 0) << when;
    if (bad != 0) {
      const std::string stem =
          (fs::temp_directory_path() / ("korvo-wine-" + testEnv("KORVO_TEST_BITS") + "-")).string();
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
    ReferenceEditor w;
    ASSERT_TRUE(w.ok());
    TplugEditForm& f = w.form();
    first = w.frame();
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
  giveKeyTo(XK_adiaeresis);
  WineEditor vsthost(folder.dir / "save.out", "--seconds 60");
  Point at{};
  Display* d = nullptr;
  ASSERT_NO_FATAL_FAILURE(waitForEditor(vsthost, first, at, d));
  xdotool("mousemove " + std::to_string(at.x + menuImage.x) + " " + std::to_string(at.y + menuImage.y) + " click 1");
  std::this_thread::sleep_for(500ms);
  // The menu is a window of its own over the editor: the screen there is no longer the editor's.
  const Image menu = grabScreen(d, at.x, at.y, first.width(), first.height());
  EXPECT_GT(differingPixels(menu, first), 500) << "no menu over the editor";
  xdotool("mousemove " + std::to_string(at.x + item.x) + " " + std::to_string(at.y + item.y) + " click 1");
  // A name outside ASCII: it must reach the file commands in a form they can open.
  const fs::path target = folder.dir / "s\u00e4ved.kvl";
  // Wine's own save dialog: the name typed into it, and Return.
  const int found = std::system(
      "timeout 20 xdotool search --sync --onlyvisible --name 'Save library' windowfocus --sync >/dev/null 2>&1");
  ASSERT_EQ(found, 0) << "no system save dialog appeared";
  std::string windowsPath = "Z:" + target.string();
  std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
  // On a loaded machine the dialog may take keys only some time after it shows: while it is still
  // there, its name field is cleared and the name typed again.
  for (int attempt = 0; attempt < 3 && !fs::exists(target); ++attempt) {
    if (attempt > 0 &&
        std::system("xdotool search --onlyvisible --name 'Save library' windowfocus --sync >/dev/null 2>&1") != 0)
      break;
    std::this_thread::sleep_for(500ms);
    if (attempt > 0) xdotool("key ctrl+a BackSpace");
    xdotool("type --delay 20 '" + windowsPath + "'");
    xdotool("key Return");
    for (int i = 0; i < 80 && !fs::exists(target); ++i) std::this_thread::sleep_for(100ms);
  }
  if (!fs::exists(target)) {
    std::string files;
    for (const auto& entry : fs::directory_iterator(folder.dir)) files += " '" + entry.path().filename().string() + "'";
    FAIL() << "the library was not saved; the folder holds" << files << "\n" << vsthost.text();
  }
  for (int i = 0; i < 20 && fs::file_size(target) < 69652; ++i) std::this_thread::sleep_for(100ms);
  EXPECT_EQ(fs::file_size(target), 69652u);
  EXPECT_EQ(vsthost.count("host.keyDown"), 0) << "keys of the dialog reached the host's window";
  XCloseDisplay(d);
}

// The Write button's program chooser is a top-level window of its own: it shows what the
// headless host draws, where the headless host places it, and Escape, which the host never
// sees, closes it: the editor then says that nothing was written, as the headless one does.
TEST(WineEditor, DialogsAreWindowsOfTheirOwnAndTakeTheKeys) {
  NEED_WINE_DISPLAY();
  Folder folder;
  Image first, dialog, aborted;
  Point write{}, dialogAt{};
  {
    ReferenceEditor w;
    ASSERT_TRUE(w.ok());
    TplugEditForm& f = w.form();
    HeadlessHost& h = w.host();
    first = w.frame();
    write = centre(*f.writeButton);
    h.move(write);
    h.click(write);
    ASSERT_EQ(h.modalCount(), 1u);
    dialog = h.lastModalImage;
    dialogAt = h.lastModalPoint;  // the headless window sits at 0, 0 of its screen
    h.pressKey(keys::Escape);
    ASSERT_EQ(h.modalCount(), 0u);
    f.DisplayTick();
    aborted = w.frame();
  }
  WineEditor vsthost(folder.dir / "dialog.out", "--seconds 60");
  Point at{};
  Display* d = nullptr;
  ASSERT_NO_FATAL_FAILURE(waitForEditor(vsthost, first, at, d));
  xdotool("mousemove " + std::to_string(at.x + write.x) + " " + std::to_string(at.y + write.y) + " click 1");
  const int found = std::system("timeout 20 xdotool search --sync --onlyvisible --name 'Overwrite...' >/dev/null 2>&1");
  ASSERT_EQ(found, 0) << "no dialog window appeared";
  const Point shown{at.x + dialogAt.x, at.y + dialogAt.y};
  const Image shot = waitForPicture(d, shown, dialog, 15s);
  EXPECT_EQ(differingPixels(shot, dialog), 0);
  if (differingPixels(shot, dialog) != 0) {
    const std::string stem =
        (fs::temp_directory_path() / ("korvo-wine-dialog-" + testEnv("KORVO_TEST_BITS") + "-")).string();
    savePng(shot, stem + "window.png");
    savePng(dialog, stem + "headless.png");
  }
  // Its caption drags it.
  const Point grip{shown.x + dialog.width() / 2, shown.y + 8}, by{150, 120};
  xdotool("mousemove " + std::to_string(grip.x) + " " + std::to_string(grip.y) + " mousedown 1 sleep 0.2 mousemove " +
          std::to_string(grip.x + by.x) + " " + std::to_string(grip.y + by.y) + " sleep 0.2 mouseup 1");
  const Point dragged{shown.x + by.x, shown.y + by.y};
  EXPECT_EQ(differingPixels(waitForPicture(d, dragged, dialog, 15s), dialog), 0) << "the caption did not drag it";
  xdotool("key Escape");
  EXPECT_EQ(differingPixels(waitForPicture(d, at, aborted, 15s), aborted), 0) << "the editor after the dialog";
  EXPECT_NE(std::system("xdotool search --onlyvisible --name 'Overwrite...' >/dev/null 2>&1"), 0) << "still open";
  EXPECT_EQ(vsthost.count("host.keyDown"), 0) << "the dialog's key reached the host's window";
  XCloseDisplay(d);
}

// A value in the plug-in's registry key of the prefix while it lives, written by the reg tool of
// the plug-in's own bitness (a 32-bit program's key is redirected).
struct RegistryValue {
  std::string name;
  RegistryValue(std::string n, int value) : name(std::move(n)) {
    run("add 'HKLM\\SOFTWARE\\Korvo' /v " + name + " /t REG_DWORD /d " + std::to_string(value) + " /f");
  }
  ~RegistryValue() { run("delete 'HKLM\\SOFTWARE\\Korvo' /v " + name + " /f"); }
  static void run(const std::string& args) {
    waitForWineServer();
    const std::string cmd =
        "env " + wineEnvironment() + "'" + testEnv("KORVO_TEST_RUNNER") + "' reg " + args + " >/dev/null 2>&1";
    [[maybe_unused]] const int rc = std::system(cmd.c_str());
  }
};

TEST(WineEditor, DrawsAtTheStoredScaleAndTakesClicksAtTheScale) {
  NEED_WINE_DISPLAY();
  Folder folder;
  std::vector<Image> expected;
  Point up{};
  {
    ReferenceEditor w(150);
    ASSERT_TRUE(w.ok());
    TplugEditForm& f = w.form();
    HeadlessHost& h = w.host();
    // The pointer rests on the next-program button (its hint on the status line), then clicks.
    h.move(centre(*f.upButton));
    f.DisplayTick();
    expected.push_back(h.frame());
    h.click(centre(*f.upButton));
    f.DisplayTick();
    expected.push_back(h.frame());
    up = h.toDevice(centre(*f.upButton));
  }
  ASSERT_EQ(expected[0].width(), 843);
  RegistryValue scale("editorScale", 150);
  WineEditor vsthost(folder.dir / "scale.out", "--seconds 60");
  Point at{};
  ASSERT_TRUE(vsthost.editorOrigin(at)) << "vsthost printed no window: " << vsthost.text();
  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr);
  xdotool("mousemove " + std::to_string(at.x + up.x) + " " + std::to_string(at.y + up.y));
  const Image shot = waitForPicture(d, at, expected[0], 15s);
  const int bad = differingPixels(shot, expected[0]);
  EXPECT_EQ(bad, 0) << "the window at 150 %, the pointer on the next-program button";
  if (bad != 0) {
    const std::string stem =
        (fs::temp_directory_path() / ("korvo-wine-scale-" + testEnv("KORVO_TEST_BITS") + "-")).string();
    savePng(shot, stem + "window.png");
    savePng(expected[0], stem + "headless.png");
  }
  xdotool("click 1");
  EXPECT_EQ(differingPixels(waitForPicture(d, at, expected[1], 15s), expected[1]), 0)
      << "a click at the device position of the next-program button";
  XCloseDisplay(d);
}

// The wheel turns the knob under the pointer; in the name box Ctrl+A and Ctrl+C are commands, not
// letters, and the copy reaches the display's CLIPBOARD; Ctrl+V pastes what another program
// offers there. Each step must show what the headless editor shows after the same input.
TEST(WineEditor, TheWheelTurnsAKnobAndTheNameBoxUsesTheClipboard) {
  NEED_WINE_DISPLAY();
  Folder folder;
  std::vector<Image> want;
  Point knob{}, name{}, status{};
  Rect nameBox{};
  std::string shownName;
  {
    ReferenceEditor w;
    ASSERT_TRUE(w.ok());
    TplugEditForm& f = w.form();
    HeadlessHost& h = w.host();
    want.push_back(h.frame());
    knob = centre(*f.knobs[0]);
    name = centre(*f.progNameEdit);
    const Point corner = f.progNameEdit->toWindow({0, 0});
    nameBox = Rect::xywh(corner.x, corner.y, f.progNameEdit->width(), f.progNameEdit->height());
    status = centre(*f.StatusLabel1);
    shownName = f.progNameEdit->text();
    h.move(knob);
    h.mouseWheel(120, 0, knob);
    f.DisplayTick();
    want.push_back(h.frame());
    h.move(name);
    h.click(name);
    h.pressKey(keys::Escape);
    f.DisplayTick();
    want.push_back(h.frame());  // the pointer on the name box, the name as it was
    h.click(name);
    h.pressKey(keys::End);
    for (char c : std::string("lead")) typeLetter(h, c);
    h.pressKey(keys::Return);
    f.DisplayTick();
    want.push_back(h.frame());
  }
  ASSERT_GT(differingPixels(want[1], want[0]), 0) << "the wheel changed nothing on the reference";

  WineEditor vsthost(folder.dir / "clipboard.out", "--seconds 90");
  Point at{};
  Display* d = nullptr;
  ASSERT_NO_FATAL_FAILURE(waitForEditor(vsthost, want[0], at, d));
  auto screen = [&](Point p) { return std::to_string(at.x + p.x) + " " + std::to_string(at.y + p.y); };
  xdotool("mousemove " + screen(knob) + " click 4");
  EXPECT_EQ(differingPixels(waitForPicture(d, at, want[1], 15s), want[1]), 0) << "after a wheel notch on the knob";

  // Copy: the name stays as it was and is on the CLIPBOARD for the next program.
  const Window peerWindow = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
  ClipboardPeer peer{d, peerWindow};
  // A click starts the editing; the keys are sent once the box shows it (its caret), since keys
  // sent before the editor has the focus go to the host.
  auto editName = [&](const Image& before) {
    Image boxBefore(nameBox.width(), nameBox.height());
    Canvas(boxBefore).blit(0, 0, before, nameBox);
    xdotool("mousemove " + screen(name) + " click 1");
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (differingPixels(grabScreen(d, at.x + nameBox.left, at.y + nameBox.top, nameBox.width(), nameBox.height()),
                           boxBefore) == 0 &&
           std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(20ms);
  };
  editName(want[1]);
  xdotool("key End ctrl+a ctrl+c Escape");
  const Image copiedShot = waitForPicture(d, at, want[2], 15s);
  EXPECT_EQ(differingPixels(copiedShot, want[2]), 0) << "Ctrl+A or Ctrl+C typed a letter";
  std::string copied;
  for (int i = 0; i < 100 && copied != shownName; ++i) {
    copied = peer.paste([] { std::this_thread::sleep_for(20ms); });
    if (copied != shownName) std::this_thread::sleep_for(100ms);
  }
  EXPECT_EQ(copied, shownName);

  // Paste: what the peer offers goes into the box.
  // Wine takes in a new CLIPBOARD owner's text at once (the forms it has, then the text): it is
  // answered before anything is pasted.
  peer.offer("lead");
  for (const auto end = std::chrono::steady_clock::now() + 15s;
       peer.served < 2 && std::chrono::steady_clock::now() < end;) {
    peer.serve();
    std::this_thread::sleep_for(20ms);
  }
  // A click elsewhere first, so that the next click on the box is not taken as the second half
  // of a double click (which opens the program list).
  xdotool("mousemove " + screen(status) + " click 1");
  editName(want[2]);
  xdotool("key End ctrl+v");
  EXPECT_GE(peer.served, 2) << "Wine did not take in the offered text";
  xdotool("key Return");
  Image pastedShot;
  for (const auto end = std::chrono::steady_clock::now() + 15s; std::chrono::steady_clock::now() < end;) {
    peer.serve();  // a second request (the forms, then the text) is answered too
    pastedShot = grabScreen(d, at.x, at.y, want[3].width(), want[3].height());
    if (differingPixels(pastedShot, want[3]) == 0) break;
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(differingPixels(pastedShot, want[3]), 0) << "after Ctrl+V and Return";
  if (HasFailure()) {
    std::fprintf(stderr, "vsthost said:\n%s\n", vsthost.text().c_str());
    const std::string stem =
        (fs::temp_directory_path() / ("korvo-wine-clipboard-" + testEnv("KORVO_TEST_BITS"))).string();
    savePng(copiedShot, stem + "-copied.png");
    savePng(want[2], stem + "-copied-want.png");
    savePng(pastedShot, stem + "-pasted.png");
    savePng(want[3], stem + "-pasted-want.png");
  }
  XDestroyWindow(d, peerWindow);
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
