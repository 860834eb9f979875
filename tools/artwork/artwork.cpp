#include "artwork.h"

#include <algorithm>
#include <cmath>

#include "font.h"
#include "gifWrite.h"

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

// Filled disc with a soft vertical shading, in supersampled pixels.
void disc(Image& img, double cx, double cy, double r, Pixel top, Pixel bottom) {
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
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
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const double px = x + 0.5 - x0;
      const double py = y + 0.5 - y0;
      const double t = len2 > 0 ? std::clamp((px * lx + py * ly) / len2, 0.0, 1.0) : 0.0;
      const double ex = px - t * lx;
      const double ey = py - t * ly;
      if (ex * ex + ey * ey <= halfWidth * halfWidth) img.set(x, y, c);
    }
}

Image knobFrame(int frame) {
  const int s = kKnobSize * kSuper;
  Image big(s, s, kPanel);
  const double c = s / 2.0;
  // Scale marks from -144 to +144 degrees.
  for (int m = 0; m <= 8; ++m) {
    const double a = (-144.0 + 36.0 * m) * kPi / 180.0;
    stroke(big, c + std::sin(a) * c * 0.86, c - std::cos(a) * c * 0.86, c + std::sin(a) * c * 0.97,
           c - std::cos(a) * c * 0.97, kSuper * 0.6, kFontColour);
  }
  disc(big, c, c, c * 0.80, mix(kKnobFill, rgb(0, 0, 0), 0.55), mix(kKnobFill, rgb(0, 0, 0), 0.85));
  disc(big, c, c, c * 0.72, mix(kKnobFill, rgb(255, 255, 255), 0.15), mix(kKnobFill, rgb(0, 0, 0), 0.35));
  const double a = (-144.0 + 288.0 * frame / (kKnobFrames - 1)) * kPi / 180.0;
  stroke(big, c + std::sin(a) * c * 0.20, c - std::cos(a) * c * 0.20, c + std::sin(a) * c * 0.66,
         c - std::cos(a) * c * 0.66, kSuper * 1.1, kIndicator);
  return downsample(big);
}

// A raised (or pressed) rounded button face.
Image buttonFace(int w, int h, Pixel face, bool pressed, Pixel background) {
  const int W = w * kSuper;
  const int H = h * kSuper;
  Image big(W, H, background);
  const double r = 3.0 * kSuper;
  const Pixel top = pressed ? mix(face, rgb(0, 0, 0), 0.35) : mix(face, rgb(255, 255, 255), 0.25);
  const Pixel bottom = pressed ? mix(face, rgb(255, 255, 255), 0.1) : mix(face, rgb(0, 0, 0), 0.35);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const double px = x + 0.5;
      const double py = y + 0.5;
      const double qx = std::max({r - px, 0.0, px - (W - r)});
      const double qy = std::max({r - py, 0.0, py - (H - r)});
      if (qx * qx + qy * qy > r * r) continue;
      const bool edge = qx * qx + qy * qy > (r - kSuper) * (r - kSuper) || px < kSuper || py < kSuper ||
                        px > W - kSuper || py > H - kSuper;
      big.set(x, y, edge ? mix(face, rgb(0, 0, 0), 0.6) : mix(top, bottom, py / H));
    }
  return downsample(big);
}

Image browseFrame(bool up, bool pressed) {
  Image img = buttonFace(28, 16, mix(kPanel, rgb(255, 255, 255), 0.2), pressed, kPanel);
  // The arrow: a small triangle, drawn supersampled on top.
  Image big(28 * kSuper, 16 * kSuper, 0);
  const double cx = 14 * kSuper + (pressed ? kSuper : 0);
  const double cy = 8 * kSuper + (pressed ? kSuper : 0);
  const double hw = 5 * kSuper;
  const double hh = 3.5 * kSuper;
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

Image textPicture(int w, int h, const std::string& text, const Font& font, Pixel colour, Pixel back, bool centre) {
  Image img(w, h, back);
  Canvas c(img);
  const int tw = textWidth(text, font);
  const int x = centre ? (w - tw) / 2 : 2;
  c.text(x, (h - textHeight(font)) / 2, text, font, colour);
  return img;
}

Image logo() {
  const int w = 121;
  const int h = 33;
  Image img(w, h, kWindow);
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

}  // namespace

std::vector<Picture> drawAll() {
  std::vector<Picture> out;
  Picture knob{"knob2.gif", {}};
  for (int i = 0; i < kKnobFrames; ++i) knob.frames.push_back(knobFrame(i));
  out.push_back(std::move(knob));

  out.push_back({"browseButtons.gif",
                 {browseFrame(true, false), browseFrame(true, true), browseFrame(false, false), browseFrame(false, true)}});

  const Pixel faces[3] = {mix(kPanel, rgb(120, 160, 255), 0.45), mix(kPanel, rgb(255, 255, 255), 0.35),
                          mix(kRedBar, rgb(255, 60, 40), 0.3)};
  Picture butt{"butt.gif", {}};
  for (const Pixel face : faces) {
    butt.frames.push_back(buttonFace(40, 21, face, false, kPanel));
    butt.frames.push_back(buttonFace(40, 21, face, true, kPanel));
  }
  out.push_back(std::move(butt));

  out.push_back({"logo.gif", {logo()}});
  const Font menuFont{"Arial", -13, false, true};
  out.push_back({"menuFile.gif", {textPicture(33, 18, "File", menuFont, kFontColour, kWindow, false)}});
  out.push_back({"menuOptions.gif", {textPicture(60, 18, "Options", menuFont, kFontColour, kWindow, false)}});
  out.push_back({"menuInfo.gif", {textPicture(41, 18, "Info", menuFont, kFontColour, kWindow, false)}});
  const Font capFont{"Arial", -9, true, false};
  const char* captions[5][2] = {{"capWrite.gif", "WRITE"},
                                {"capInit.gif", "INIT"},
                                {"capSend.gif", "SEND"},
                                {"capRequest.gif", "REQUEST"},
                                {"capPanic.gif", "PANIC"}};
  for (const auto& cap : captions)
    out.push_back({cap[0], {textPicture(48, 14, cap[1], capFont, kFontColour, kPanel, true)}});
  return out;
}

bool encodeAll(const std::vector<Picture>& pictures,
               std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& files, std::string* error) {
  files.clear();
  for (const Picture& p : pictures) {
    std::vector<std::uint8_t> bytes;
    std::string why;
    if (!encodeStrip(p.frames, bytes, &why)) {
      if (error) *error = p.fileName + ": " + why;
      return false;
    }
    files.emplace_back(p.fileName, std::move(bytes));
  }
  return true;
}

}  // namespace korvo::artwork
