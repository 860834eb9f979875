// korvo-window-shot OUT.png TITLE SECONDS [X Y]...: waits for a viewable X11 window named TITLE
// (a Windows program's window under Wine), saves it as a PNG once it has finished painting and
// prints its size and the colour at the given points as key=value lines.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "canvas.h"

namespace {

Window findByName(Display* d, Window w, const std::string& title) {
  char* name = nullptr;
  XWindowAttributes a;
  if (XFetchName(d, w, &name) && name) {
    const bool match = title == name;
    XFree(name);
    if (match && XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable) return w;
  }
  Window root, parent, *children = nullptr, found = 0;
  unsigned n = 0;
  if (XQueryTree(d, w, &root, &parent, &children, &n)) {
    for (unsigned i = 0; i < n && !found; ++i) found = findByName(d, children[i], title);
    if (children) XFree(children);
  }
  return found;
}

// What the screen shows of the window (read from the root, so its painted frame is included).
korvo::Image grab(Display* d, Window w) {
  XWindowAttributes a{};
  int x = 0, y = 0;
  Window child;
  XGetWindowAttributes(d, w, &a);
  XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
  korvo::Image image;
  XImage* shot = XGetImage(d, DefaultRootWindow(d), x, y, static_cast<unsigned>(a.width),
                           static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
  if (!shot) return image;
  image.reset(a.width, a.height);
  for (int r = 0; r < a.height; ++r)
    for (int c = 0; c < a.width; ++c) image.row(r)[c] = static_cast<korvo::Pixel>(XGetPixel(shot, c, r) & 0xFFFFFF);
  XDestroyImage(shot);
  return image;
}

bool samePixels(const korvo::Image& a, const korvo::Image& b) {
  if (a.width() != b.width() || a.height() != b.height()) return false;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.row(y)[x] != b.row(y)[x]) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Display* d = argc >= 4 ? XOpenDisplay(nullptr) : nullptr;
  if (!d) return std::fprintf(stderr, "usage (with a display): korvo-window-shot OUT.png TITLE SECONDS [X Y]...\n"), 2;
  const int tries = static_cast<int>(std::atof(argv[3]) * 2);
  Window w = 0;
  for (int i = 0; i < tries && !(w = findByName(d, DefaultRootWindow(d), argv[2])); ++i) usleep(500000);
  if (!w) return std::fprintf(stderr, "korvo-window-shot: no window \"%s\"\n", argv[2]), 1;
  // Painted means: two grabs half a second apart agree, and the picture is not one plain colour.
  korvo::Image image = grab(d, w), previous, plain(image.width(), image.height(), image.empty() ? 0 : image.row(0)[0]);
  for (int i = 0; i < tries && (!samePixels(image, previous) || samePixels(image, plain)); ++i) {
    previous = image;
    usleep(500000);
    image = grab(d, w);
    plain.reset(image.width(), image.height(), image.empty() ? 0 : image.row(0)[0]);
  }
  XCloseDisplay(d);
  std::printf("window.width=%d\nwindow.height=%d\n", image.width(), image.height());
  for (int i = 4; i + 1 < argc; i += 2) {
    const int x = std::atoi(argv[i]), y = std::atoi(argv[i + 1]);
    if (x >= 0 && y >= 0 && x < image.width() && y < image.height())
      std::printf("pixel.%d.%d=%06X\n", x, y, image.row(y)[x]);
  }
  return !image.empty() && korvo::savePng(image, argv[1]) ? 0 : 1;
}
