#include "panelArt.h"

#include <algorithm>
#include <cmath>

#include "font.h"

namespace korvo::artwork {

namespace {

// The window's colours (TColor values of the window description).
const Pixel kWindow = fromTColor(3089186);
const Pixel kPanel = fromTColor(5653829);
const Pixel kKnobFill = fromTColor(12668738);
const Pixel kIndicator = fromTColor(15585980);
const Pixel kFontColour = fromTColor(11969957);
const Pixel kRedBar = fromTColor(2359417);

constexpr int kSuper = 4;  // supersampling factor for smooth edges
constexpr double kPi = 3.14159265358979323846;

Pixel mix(Pixel a, Pixel b, double t) {
  auto ch = [&](int s) {
    const double v = ((a >> s) & 0xFF) * (1 - t) + ((b >> s) & 0xFF) * t;
    return static_cast<Pixel>(std::clamp(static_cast<int>(std::lround(v)), 0, 255)) << s;
  };
  return ch(16) | ch(8) | ch(0);
}

// Device pixels of a size in units at a scale, as the canvas maps a rectangle at the origin.
int px(int units, int percent) { return scaleCoord(units, percent); }

// Averages kSuper x kSuper blocks.
Image downsample(const Image& big) {
  Image out(big.width() / kSuper, big.height() / kSuper);
  for (int y = 0; y < out.height(); ++y)
    for (int x = 0; x < out.width(); ++x) {
      unsigned r = 0, g = 0, b = 0;
      for (int dy = 0; dy < kSuper; ++dy)
        for (int dx = 0; dx < kSuper; ++dx) {
          const Pixel p = big.at(x * kSuper + dx, y * kSuper + dy);
          r += (p >> 16) & 0xFF;
          g += (p >> 8) & 0xFF;
          b += p & 0xFF;
        }
      const unsigned n = kSuper * kSuper;
      out.set(x, y, rgb((r + n / 2) / n, (g + n / 2) / n, (b + n / 2) / n));
    }
  return out;
}

// The pixels of `img` whose centres may lie within the box, for the loops below.
struct Span {
  int x0, y0, x1, y1;
};
Span spanOf(const Image& img, double left, double top, double right, double bottom) {
  return {std::max(0, static_cast<int>(std::floor(left)) - 1), std::max(0, static_cast<int>(std::floor(top)) - 1),
          std::min(img.width(), static_cast<int>(std::ceil(right)) + 1),
          std::min(img.height(), static_cast<int>(std::ceil(bottom)) + 1)};
}

// Filled disc with a soft vertical shading, in supersampled pixels.
void disc(Image& img, double cx, double cy, double r, Pixel top, Pixel bottom) {
  const Span s = spanOf(img, cx - r, cy - r, cx + r, cy + r);
  for (int y = s.y0; y < s.y1; ++y)
    for (int x = s.x0; x < s.x1; ++x) {
      const double dx = x + 0.5 - cx;
      const double dy = y + 0.5 - cy;
      if (dx * dx + dy * dy <= r * r) img.set(x, y, mix(top, bottom, std::clamp((dy / r + 1) / 2, 0.0, 1.0)));
    }
}

// A thick line with round ends, in supersampled pixels.
void stroke(Image& img, double x0, double y0, double x1, double y1, double halfWidth, Pixel c) {
  const double lx = x1 - x0;
  const double ly = y1 - y0;
  const double len2 = lx * lx + ly * ly;
  const Span s = spanOf(img, std::min(x0, x1) - halfWidth, std::min(y0, y1) - halfWidth, std::max(x0, x1) + halfWidth,
                        std::max(y0, y1) + halfWidth);
  for (int y = s.y0; y < s.y1; ++y)
    for (int x = s.x0; x < s.x1; ++x) {
      const double px = x + 0.5 - x0;
      const double py = y + 0.5 - y0;
      const double t = len2 > 0 ? std::clamp((px * lx + py * ly) / len2, 0.0, 1.0) : 0.0;
      const double ex = px - t * lx;
      const double ey = py - t * ly;
      if (ex * ex + ey * ey <= halfWidth * halfWidth) img.set(x, y, c);
    }
}

// Drawing sizes are in units times `u` (supersampled device pixels per unit).
Image knobFrame(int frame, int percent) {
  const int s = px(kKnobSize, percent) * kSuper;
  const double u = kSuper * percent / 100.0;
  Image big(s, s, kPanel);
  const double c = s / 2.0;
  // Scale marks from -144 to +144 degrees.
  for (int m = 0; m <= 8; ++m) {
    const double a = (-144.0 + 36.0 * m) * kPi / 180.0;
    stroke(big, c + std::sin(a) * c * 0.86, c - std::cos(a) * c * 0.86, c + std::sin(a) * c * 0.97,
           c - std::cos(a) * c * 0.97, u * 0.6, kFontColour);
  }
  disc(big, c, c, c * 0.80, mix(kKnobFill, rgb(0, 0, 0), 0.55), mix(kKnobFill, rgb(0, 0, 0), 0.85));
  disc(big, c, c, c * 0.72, mix(kKnobFill, rgb(255, 255, 255), 0.15), mix(kKnobFill, rgb(0, 0, 0), 0.35));
  const double a = (-144.0 + 288.0 * frame / (kKnobFrames - 1)) * kPi / 180.0;
  stroke(big, c + std::sin(a) * c * 0.20, c - std::cos(a) * c * 0.20, c + std::sin(a) * c * 0.66,
         c - std::cos(a) * c * 0.66, u * 1.1, kIndicator);
  return downsample(big);
}

// A raised (or pressed) rounded button face.
Image buttonFace(int w, int h, Pixel face, bool pressed, Pixel background, int percent) {
  const int W = px(w, percent) * kSuper;
  const int H = px(h, percent) * kSuper;
  const double u = kSuper * percent / 100.0;
  Image big(W, H, background);
  const double r = 3.0 * u;
  const Pixel top = pressed ? mix(face, rgb(0, 0, 0), 0.35) : mix(face, rgb(255, 255, 255), 0.25);
  const Pixel bottom = pressed ? mix(face, rgb(255, 255, 255), 0.1) : mix(face, rgb(0, 0, 0), 0.35);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const double px = x + 0.5;
      const double py = y + 0.5;
      const double qx = std::max({r - px, 0.0, px - (W - r)});
      const double qy = std::max({r - py, 0.0, py - (H - r)});
      if (qx * qx + qy * qy > r * r) continue;
      const bool edge = qx * qx + qy * qy > (r - u) * (r - u) || px < u || py < u || px > W - u || py > H - u;
      big.set(x, y, edge ? mix(face, rgb(0, 0, 0), 0.6) : mix(top, bottom, py / H));
    }
  return downsample(big);
}

Image browseFrame(bool up, bool pressed, int percent) {
  Image img = buttonFace(28, 16, mix(kPanel, rgb(255, 255, 255), 0.2), pressed, kPanel, percent);
  // The arrow: a small triangle, drawn supersampled on top.
  const double u = kSuper * percent / 100.0;
  Image big(img.width() * kSuper, img.height() * kSuper, 0);
  const double cx = 14 * u + (pressed ? u : 0);
  const double cy = 8 * u + (pressed ? u : 0);
  const double hw = 5 * u;
  const double hh = 3.5 * u;
  for (int y = 0; y < big.height(); ++y)
    for (int x = 0; x < big.width(); ++x) {
      const double px = x + 0.5 - cx;
      double py = y + 0.5 - cy;
      if (!up) py = -py;
      // Up arrow: apex at (0, -hh), base at y = +hh.
      if (py < -hh || py > hh) continue;
      const double halfAt = hw * (py + hh) / (2 * hh);
      if (std::abs(px) <= halfAt) big.set(x, y, 1);
    }
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      int n = 0;
      for (int dy = 0; dy < kSuper; ++dy)
        for (int dx = 0; dx < kSuper; ++dx) n += big.at(x * kSuper + dx, y * kSuper + dy) != 0;
      if (n) img.set(x, y, mix(img.at(x, y), kIndicator, n / double(kSuper * kSuper)));
    }
  return img;
}

// A picture of `w` x `h` units for a canvas at the scale.
Image blank(int w, int h, Pixel back, int percent) {
  Image img(px(w, percent), px(h, percent), back);
  img.setScale(percent);
  return img;
}

Image textPicture(int w, int h, const std::string& text, const Font& font, Pixel colour, Pixel back, bool centre,
                  int percent) {
  Image img = blank(w, h, back, percent);
  Canvas c(img);
  const int tw = textWidth(text, font);
  const int x = centre ? (w - tw) / 2 : 2;
  c.text(x, (h - textHeight(font)) / 2, text, font, colour);
  return img;
}

Image logo(int percent) {
  const int w = 121;
  const int h = 33;
  Image img = blank(w, h, kWindow, percent);
  Canvas c(img);
  const Font big{"Arial", -26, true, true};
  const std::string name = "KORVO";
  const int tw = textWidth(name, big);
  const int x = (w - tw) / 2;
  c.text(x + 1, 1, name, big, rgb(0, 0, 0));
  c.text(x, 0, name, big, kFontColour);
  c.fillRect({4, h - 4, w - 4, h - 2}, kRedBar);
  return img;
}

Pixel buttonLook(int look) {
  const Pixel faces[3] = {mix(kPanel, rgb(120, 160, 255), 0.45), mix(kPanel, rgb(255, 255, 255), 0.35),
                          mix(kRedBar, rgb(255, 60, 40), 0.3)};
  return faces[look];
}

struct Caption {
  const char* file;
  const char* text;
};
constexpr Caption kCaptions[5] = {{"capWrite.gif", "WRITE"},
                                  {"capInit.gif", "INIT"},
                                  {"capSend.gif", "SEND"},
                                  {"capRequest.gif", "REQUEST"},
                                  {"capPanic.gif", "PANIC"}};
struct Menu {
  const char* file;
  const char* text;
  int width;
};
constexpr Menu kMenus[3] = {
    {"menuFile.gif", "File", 33}, {"menuOptions.gif", "Options", 60}, {"menuInfo.gif", "Info", 41}};
const Font kMenuFont{"Arial", -13, false, true};
const Font kCaptionFont{"Arial", -9, true, false};

}  // namespace

Image drawPicture(std::string_view name, int frame, int percent) {
  if (percent <= 0 || frame < 0) return {};
  Image img;
  if (name == "knob2.gif" && frame < kKnobFrames)
    img = knobFrame(frame, percent);
  else if (name == "browseButtons.gif" && frame < kBrowseFrames)
    img = browseFrame(frame < 2, frame % 2 == 1, percent);
  else if (name == "butt.gif" && frame < kButtonFrames)
    img = buttonFace(40, 21, buttonLook(frame / 2), frame % 2 == 1, kPanel, percent);
  else if (name == "logo.gif" && frame == 0)
    img = logo(percent);
  if (frame == 0)
    for (const Menu& m : kMenus)
      if (name == m.file) img = textPicture(m.width, 18, m.text, kMenuFont, kFontColour, kWindow, false, percent);
  if (frame == 0)
    for (const Caption& cap : kCaptions)
      if (name == cap.file) img = textPicture(48, 14, cap.text, kCaptionFont, kFontColour, kPanel, true, percent);
  if (!img.empty()) img.setScale(percent);
  return img;
}

std::vector<Picture> drawAll() {
  std::vector<Picture> out;
  auto add = [&](const char* name, int frames) {
    Picture p{name, {}};
    for (int i = 0; i < frames; ++i) p.frames.push_back(drawPicture(name, i, 100));
    out.push_back(std::move(p));
  };
  add("knob2.gif", kKnobFrames);
  add("browseButtons.gif", kBrowseFrames);
  add("butt.gif", kButtonFrames);
  add("logo.gif", 1);
  for (const Menu& m : kMenus) add(m.file, 1);
  for (const Caption& c : kCaptions) add(c.file, 1);
  return out;
}

}  // namespace korvo::artwork
