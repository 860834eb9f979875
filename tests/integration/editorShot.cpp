// korvo-editor-shot OUT_DIR TITLE SECONDS: the editor as a host shows it, compared pixel for
// pixel with the headless rendering of the same editor. Waits for a viewable window whose title
// contains TITLE (a DAW's plug-in window), finds the editor's own window inside it (the child of
// the editor's size), and grabs it until it equals the headless picture or SECONDS have passed.
// Then it clicks the next-program button there (xdotool) and compares again with the headless
// editor after the same click: the host's window passes the editor its mouse; then it clicks
// into the name box, types a name and Return, and compares once more: the keys reach the
// editor through the host. Prints editor.window=ID, editor.differing=N and
// editor.differing.after-click=N and .after-typing=N, saves the pictures in OUT_DIR; exit 0
// when all are equal, 1 when not, 2 when no such window appeared. The headless editor is made
// the way the plug-in's entry point makes it, with the settings this process reads too
// (XDG_CONFIG_HOME), so the host's copy must be started with the same.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "builtInData.h"
#include "editorWindow.h"
#include "headlessHost.h"
#include "plugCore.h"
#include "xvfbDisplay.h"

// Last: Xlib's macros must not meet the toolkit's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using namespace korvo;
using namespace korvo::xtest;

bool titleContains(Display* d, Window w, const std::string& part) {
  char* name = nullptr;
  if (!XFetchName(d, w, &name) || !name) return false;
  const bool match = std::string(name).find(part) != std::string::npos;
  XFree(name);
  return match;
}

bool viewable(Display* d, Window w, XWindowAttributes& a) {
  return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

// Depth first: the first viewable window below `w` (or `w` itself) that passes `test`.
template <class Test>
Window find(Display* d, Window w, const Test& test) {
  XWindowAttributes a{};
  if (viewable(d, w, a) && test(w, a)) return w;
  Window root = 0, parent = 0, *kids = nullptr, found = 0;
  unsigned n = 0;
  if (XQueryTree(d, w, &root, &parent, &kids, &n)) {
    for (unsigned i = 0; i < n && !found; ++i) found = find(d, kids[i], test);
    if (kids) XFree(kids);
  }
  return found;
}

// While the host starts, its windows come and go: one may be gone between listing it and asking
// about it (BadWindow, which would end this process). Such a request just fails; any other error
// goes to Xlib's own handler.
XErrorHandler xlibHandler = nullptr;
int ignoreVanishedWindows(Display* d, XErrorEvent* e) { return e->error_code == BadWindow ? 0 : xlibHandler(d, e); }

// What the screen shows of the window, read from the root.
Image grab(Display* d, Window w) {
  XWindowAttributes a{};
  if (!XGetWindowAttributes(d, w, &a)) return {};
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
  return grabArea(d, DefaultRootWindow(d), x, y, a.width, a.height);
}

}  // namespace

int main(int argc, char** argv) {
  Display* d = argc == 4 ? XOpenDisplay(nullptr) : nullptr;
  if (!d) return std::fprintf(stderr, "usage (with a display): korvo-editor-shot OUT_DIR TITLE SECONDS\n"), 2;
  xlibHandler = XSetErrorHandler(ignoreVanishedWindows);
  const std::string dir = argv[1], title = argv[2];
  const auto until =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long>(std::atof(argv[3]) * 1000));
  const ReferencePictures headless = referencePictures();
  if (headless.expected.size() != 3) return std::fprintf(stderr, "korvo-editor-shot: no headless editor\n"), 2;
  const Image& expected = headless.expected[0];
  savePng(expected, dir + "/editor-headless.png");

  const Window root = DefaultRootWindow(d);
  Window editor = 0;
  while (!editor && std::chrono::steady_clock::now() < until) {
    const Window top = find(d, root, [&](Window w, const XWindowAttributes&) { return titleContains(d, w, title); });
    if (top)
      editor = find(d, top, [&](Window, const XWindowAttributes& a) {
        return a.width == expected.width() && a.height == expected.height();
      });
    if (!editor) usleep(200000);
  }
  if (!editor) {
    XCloseDisplay(d);
    return std::fprintf(stderr, "korvo-editor-shot: no editor window in a window titled \"%s\"\n", title.c_str()), 2;
  }
  std::printf("editor.window=%lu\n", editor);
  // The host idles the editor when it likes; the picture is taken once it has settled.
  auto settled = [&](const Image& want, const std::string& file) {
    Image shot = grab(d, editor);
    long n = differingPixels(shot, want);
    while (n != 0 && std::chrono::steady_clock::now() < until) {
      usleep(200000);
      shot = grab(d, editor);
      n = differingPixels(shot, want);
    }
    savePng(shot, dir + file);
    return n;
  };
  const long first = settled(expected, "/editor-host.png");
  std::printf("editor.differing=%ld\n", first);
  // Clicks (and types) into the editor through the host's window, then compares.
  auto through = [&](Point at, const std::string& then, const Image& want, const std::string& name) {
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(d, editor, root, at.x, at.y, &x, &y, &child);
    const std::string cmd = "xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1" + then;
    const long n = std::system(cmd.c_str()) == 0 ? settled(want, "/editor-host-" + name + ".png") : -1;
    savePng(want, dir + "/editor-headless-" + name + ".png");
    std::printf("editor.differing.%s=%ld\n", name.c_str(), n);
    return n;
  };
  long after = -1, typed = -1;
  if (first == 0) after = through(headless.up, "", headless.expected[1], "after-click");
  // The name box takes the keys from the host while it edits.
  if (after == 0)
    typed = through(headless.name, " sleep 0.3 type --delay 40 bass && xdotool key Return", headless.expected[2],
                    "after-typing");
  XCloseDisplay(d);
  return typed == 0 ? 0 : 1;
}
