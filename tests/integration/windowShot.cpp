// korvo-window-shot OUT.png TITLE [SECONDS]: waits for a top-level X11 window named TITLE (a
// Windows program's window under Wine), saves what the screen shows of it as a PNG and prints
// its size and the colour at a few points as key=value lines.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "canvas.h"

namespace {

Window findByName(Display* d, Window w, const std::string& title) {
  char* name = nullptr;
  if (XFetchName(d, w, &name) && name) {
    const bool match = title == name;
    XFree(name);
    XWindowAttributes a;
    if (match && XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable) return w;
  }
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (XQueryTree(d, w, &root, &parent, &children, &n)) {
    for (unsigned i = 0; i < n && !found; ++i) found = findByName(d, children[i], title);
    if (children) XFree(children);
  }
  return found;
}

// What the screen shows of the window, from the root window so that whatever the program
// painted over its area (its frame) is included.
bool grab(Display* d, Window w, korvo::Image& image, XWindowAttributes& a) {
  if (!XGetWindowAttributes(d, w, &a)) return false;
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
  XImage* shot = XGetImage(d, DefaultRootWindow(d), x, y, static_cast<unsigned>(a.width),
                           static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
  if (!shot) return false;
  image.reset(a.width, a.height);
  for (int row = 0; row < a.height; ++row)
    for (int col = 0; col < a.width; ++col)
      image.row(row)[col] = static_cast<korvo::Pixel>(XGetPixel(shot, col, row) & 0xFFFFFF);
  XDestroyImage(shot);
  return true;
}

bool samePixels(const korvo::Image& a, const korvo::Image& b) {
  if (a.width() != b.width() || a.height() != b.height()) return false;
  for (int y = 0; y < a.height(); ++y)
    if (std::memcmp(a.row(y), b.row(y), sizeof(korvo::Pixel) * static_cast<std::size_t>(a.width())) != 0) return false;
  return true;
}

bool uniform(const korvo::Image& image) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.row(y)[x] != image.row(0)[0]) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: korvo-window-shot OUT.png TITLE [SECONDS]\n");
    return 2;
  }
  const double seconds = argc > 3 ? std::atof(argv[3]) : 30.0;
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    std::fprintf(stderr, "korvo-window-shot: no display\n");
    return 1;
  }
  Window w = 0;
  for (double waited = 0; !w && waited < seconds; waited += 0.2) {
    w = findByName(d, DefaultRootWindow(d), argv[2]);
    if (!w) usleep(200000);
  }
  if (!w) {
    std::fprintf(stderr, "korvo-window-shot: no window \"%s\"\n", argv[2]);
    return 1;
  }
  // The picture counts once the program has finished painting: two grabs half a second apart
  // that agree and show more than one colour.
  korvo::Image image, previous;
  XWindowAttributes a{};
  for (double waited = 0; waited < seconds; waited += 0.5) {
    if (!grab(d, w, image, a)) return 1;
    if (!previous.empty() && samePixels(image, previous) && !uniform(image)) break;
    previous = image;
    usleep(500000);
  }
  std::printf("window.width=%d\nwindow.height=%d\n", a.width, a.height);
  for (int i = 4; i + 1 < argc; i += 2) {
    const int px = std::atoi(argv[i]), py = std::atoi(argv[i + 1]);
    if (px >= 0 && py >= 0 && px < a.width && py < a.height)
      std::printf("pixel.%d.%d=%06X\n", px, py, image.row(py)[px]);
  }
  XCloseDisplay(d);
  return korvo::savePng(image, argv[1]) ? 0 : 1;
}
