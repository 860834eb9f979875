// The korvo program's window on a virtual X server: titled "Korvo", the editor in it as the
// headless editor draws it, little CPU while it stands open, and a clean end when the window
// manager closes it.
#include <gtest/gtest.h>

#include "standaloneProcess.h"
#include "xvfbDisplay.h"

namespace korvo {
namespace {

using namespace satest;
using namespace xtest;
namespace fs = std::filesystem;

Window firstChild(Display* d, Window w) {
  Window root = 0, parent = 0, *kids = nullptr, found = 0;
  unsigned n = 0;
  if (XQueryTree(d, w, &root, &parent, &kids, &n) && n > 0) found = kids[0];
  if (kids) XFree(kids);
  return found;
}

std::string windowName(Display* d, Window w) {
  char* name = nullptr;
  std::string text;
  if (XFetchName(d, w, &name) && name) text = name;
  if (name) XFree(name);
  return text;
}

// What a window manager sends when the user closes a window.
void askToClose(Display* d, Window w) {
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = w;
  ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  ev.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &ev);
  XFlush(d);
}

TEST(StandaloneWindow, ShowsTheHeadlessPictureTitledKorvoIdlesQuietlyAndEndsWhenClosed) {
  if (!Xvfb::get().ok()) GTEST_SKIP() << "Xvfb is not installed";
  DummyJack jack;  // sound as a user has it; without jackd the window is tested silent
  SettingsFolder folder("standalone-window");
  KorvoProcess korvo({}, folder.dir / "korvo.err", jack.ok() ? jack.name() : "");
  const std::string id = korvo.line("window ");
  ASSERT_FALSE(id.empty()) << korvo.output();
  const Window top = std::stoul(id.substr(7));
  const std::string status = korvo.line("Audio:") + "; " + korvo.line("MIDI:");
  if (jack.ok()) {
    EXPECT_EQ(status.rfind("Audio: JACK", 0), 0u) << status;
  }

  // The reference: the editor on the headless host, with the program's status line.
  ReferenceEditor reference;
  ASSERT_TRUE(reference.ok());
  reference.form().SetStatusText(status);
  reference.form().DisplayTick();
  const Image expected = reference.frame();

  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(windowName(d, top), "Korvo");
  Window editor = 0;
  Image shot;
  const bool same = waitFor([&] {
    editor = firstChild(d, top);
    if (!editor) return false;
    XWindowAttributes a{};
    if (!XGetWindowAttributes(d, editor, &a) || a.map_state != IsViewable) return false;
    shot = grabArea(d, editor, 0, 0, a.width, a.height);
    return differingPixels(shot, expected) == 0;
  });
  EXPECT_TRUE(same) << differingPixels(shot, expected) << " pixels differ";
  if (!same) {
    savePng(shot, (fs::temp_directory_path() / "korvo-standalone-window.png").string());
    savePng(expected, (fs::temp_directory_path() / "korvo-standalone-headless.png").string());
  }

  // The CPU the program takes while its window stands open and nothing is played.
  const long long before = korvo.cpuTicks();
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(3s);  // the span measured, not a wait for an event
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double percent =
      100.0 * static_cast<double>(korvo.cpuTicks() - before) / static_cast<double>(sysconf(_SC_CLK_TCK)) / seconds;
  std::printf("[ measure  ] idle CPU with the window open: %.1f %% of one core (%s)\n", percent,
              jack.ok() ? "rendering to the dummy JACK server" : "no sound");
  RecordProperty("idleCpuPercent", std::to_string(percent));
  EXPECT_LT(percent, 25.0);

  const fs::path backup = folder.dir / "Korvo_backup.dat";
  askToClose(d, top);
  EXPECT_EQ(korvo.end(0), 0) << korvo.output();
  EXPECT_TRUE(fs::exists(backup));
  XCloseDisplay(d);
}

}  // namespace
}  // namespace korvo
