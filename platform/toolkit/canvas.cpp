#include "canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "font.h"

namespace korvo {

Rect Rect::intersect(const Rect& o) const {
  Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
  if (r.empty()) return {};
  return r;
}

Rect Rect::unite(const Rect& o) const {
  if (empty()) return o;
  if (o.empty()) return *this;
  return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right), std::max(bottom, o.bottom)};
}

Image::Image(int width, int height, Pixel fill) { reset(width, height, fill); }

void Image::reset(int width, int height, Pixel fill) {
  width_ = std::max(0, width);
  height_ = std::max(0, height);
  pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), fill);
}

void Image::fill(Pixel p) { std::fill(pixels_.begin(), pixels_.end(), p); }

Pixel Image::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return row(y)[x];
}

void Image::set(int x, int y, Pixel p) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  row(y)[x] = p;
}

Canvas::Canvas(Image& target) : image_(&target), scale_(target.scale()) {
  // The units that reach into the image, the last one possibly in part.
  auto units = [&](int pixels) {
    return static_cast<int>((static_cast<long long>(pixels) * 100 + scale_ - 1) / scale_);
  };
  clip_ = {0, 0, units(target.width()), units(target.height())};
  updateDeviceClip();
}

void Canvas::updateDeviceClip() {
  dclip_ = scaleRect(clip_, scale_).intersect({0, 0, image_->width(), image_->height()});
}

Rect Canvas::devRect(const Rect& r) const {
  const Rect u = r.offset(origin_.x, origin_.y);
  return scale_ == 100 ? u : scaleRect(u, scale_);
}

Canvas Canvas::child(const Rect& area) const {
  Canvas c(*this);
  c.origin_ = {origin_.x + area.left, origin_.y + area.top};
  c.clip_ = clip_.intersect(area.offset(origin_.x, origin_.y));
  c.pen_ = {};
  c.updateDeviceClip();
  return c;
}

Canvas Canvas::clipped(const Rect& area) const {
  Canvas c(*this);
  c.clip_ = clip_.intersect(area.offset(origin_.x, origin_.y));
  c.updateDeviceClip();
  return c;
}

void Canvas::setPixel(int x, int y, Pixel p) {
  if (scale_ != 100) {
    fillRect({x, y, x + 1, y + 1}, p);
    return;
  }
  const Point q{x + origin_.x, y + origin_.y};
  if (clip_.contains(q)) image_->row(q.y)[q.x] = p;
}

Pixel Canvas::pixel(int x, int y) const {
  const Point q{dev(x + origin_.x), dev(y + origin_.y)};
  return dclip_.contains(q) ? image_->row(q.y)[q.x] : 0;
}

void Canvas::fillRect(const Rect& r, Pixel p) {
  const Rect a = devRect(r).intersect(dclip_);
  for (int y = a.top; y < a.bottom; ++y) std::fill(image_->row(y) + a.left, image_->row(y) + a.right, p);
}

void Canvas::frameRect(const Rect& r, Pixel p) {
  if (r.empty()) return;
  fillRect({r.left, r.top, r.right, r.top + 1}, p);
  fillRect({r.left, r.bottom - 1, r.right, r.bottom}, p);
  fillRect({r.left, r.top, r.left + 1, r.bottom}, p);
  fillRect({r.right - 1, r.top, r.right, r.bottom}, p);
}

void Canvas::rectangle(const Rect& r, Pixel pen, Pixel brush, bool filled) {
  if (filled) fillRect(r, brush);
  frameRect(r, pen);
}

namespace {
// Bresenham from (x0, y0) towards (x1, y1), stopping before the end point like GDI's LineTo.
template <class Plot>
void walkLine(int x0, int y0, int x1, int y1, Plot plot) {
  const int dx = std::abs(x1 - x0);
  const int dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1;
  const int sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  int x = x0;
  int y = y0;
  while (x != x1 || y != y1) {
    plot(x, y);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}
}  // namespace

void Canvas::line(int x0, int y0, int x1, int y1, Pixel p) {
  if (scale_ != 100) {
    scaledLine(x0, y0, x1, y1, p);
    return;
  }
  walkLine(x0, y0, x1, y1, [&](int x, int y) { setPixel(x, y, p); });
}

void Canvas::scaledLine(int x0, int y0, int x1, int y1, Pixel p) {
  // Straight lines are the unit pixels they cover, so they meet rectangles and each other
  // exactly; slanted ones are walked at the device resolution with a square pen.
  if (y0 == y1) {
    if (x0 != x1) fillRect(x0 < x1 ? Rect{x0, y0, x1, y0 + 1} : Rect{x1 + 1, y0, x0 + 1, y0 + 1}, p);
    return;
  }
  if (x0 == x1) {
    fillRect(y0 < y1 ? Rect{x0, y0, x0 + 1, y1} : Rect{x0, y1 + 1, x0 + 1, y0 + 1}, p);
    return;
  }
  const int w = penWidthAt(scale_);
  // The centre of a unit pixel in device pixels, less half the pen.
  auto centre = [&](int v, int o) { return (dev(v + o) + dev(v + o + 1) - w) / 2; };
  walkLine(centre(x0, origin_.x), centre(y0, origin_.y), centre(x1, origin_.x), centre(y1, origin_.y),
           [&](int x, int y) {
             for (int j = 0; j < w; ++j)
               for (int i = 0; i < w; ++i) setDevice(x + i, y + j, p);
           });
}

void Canvas::lineTo(int x, int y, Pixel p) {
  line(pen_.x, pen_.y, x, y, p);
  pen_ = {x, y};
}

void Canvas::ellipse(const Rect& r, Pixel outline, Pixel fill, bool filled) {
  if (r.empty()) return;
  // In device pixels: pixel centres inside the ellipse through the box's outer edge; a pixel
  // inside with a pixel outside within the pen's width to its left, right, top or bottom
  // belongs to the outline (at 100 % the pen is one pixel: the 4-neighbours).
  const Rect d = devRect(r);
  const int pen = scale_ == 100 ? 1 : penWidthAt(scale_);
  const double cx = (d.left + d.right) / 2.0;
  const double cy = (d.top + d.bottom) / 2.0;
  const double rx = d.width() / 2.0;
  const double ry = d.height() / 2.0;
  auto inside = [&](int x, int y) {
    if (x < d.left || x >= d.right || y < d.top || y >= d.bottom) return false;
    const double nx = (x + 0.5 - cx) / rx;
    const double ny = (y + 0.5 - cy) / ry;
    return nx * nx + ny * ny <= 1.0 + 1e-9;
  };
  const Rect area = d.intersect(dclip_);
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      if (!inside(x, y)) continue;
      bool edge = false;
      for (int k = 1; k <= pen && !edge; ++k)
        edge = !inside(x - k, y) || !inside(x + k, y) || !inside(x, y - k) || !inside(x, y + k);
      if (edge)
        setDevice(x, y, outline);
      else if (filled)
        setDevice(x, y, fill);
    }
  }
}

void Canvas::blit(int x, int y, const Image& src) { blit(x, y, src, {0, 0, src.logicalWidth(), src.logicalHeight()}); }

void Canvas::blit(int x, int y, const Image& src, const Rect& srcArea) {
  // The source area in the source's pixels.
  const Rect sp = src.scale() == 100 ? srcArea : scaleRect(srcArea, src.scale());
  const Rect s = sp.intersect({0, 0, src.width(), src.height()});
  if (s.empty()) return;
  if (src.scale() != scale_) {
    const int sx = x + (unscaleCoord(s.left, src.scale()) - srcArea.left);
    const int sy = y + (unscaleCoord(s.top, src.scale()) - srcArea.top);
    blitStretched(
        devRect(Rect::xywh(sx, sy, unscaleCoord(s.width(), src.scale()), unscaleCoord(s.height(), src.scale()))), src,
        s);
    return;
  }
  // Destination of the whole source area in device pixels, then clipped.
  const int dx0 = dev(x + origin_.x) + (s.left - sp.left);
  const int dy0 = dev(y + origin_.y) + (s.top - sp.top);
  const Rect d = Rect::xywh(dx0, dy0, s.width(), s.height()).intersect(dclip_);
  for (int yy = d.top; yy < d.bottom; ++yy) {
    const Pixel* from = src.row(s.top + (yy - dy0)) + s.left + (d.left - dx0);
    std::copy(from, from + d.width(), image_->row(yy) + d.left);
  }
}

void Canvas::blitStretched(const Rect& dest, const Image& src, const Rect& s) {
  if (dest.empty()) return;
  const Rect d = dest.intersect(dclip_);
  for (int yy = d.top; yy < d.bottom; ++yy) {
    const int sy = s.top + static_cast<int>(static_cast<long long>(yy - dest.top) * s.height() / dest.height());
    const Pixel* from = src.row(sy);
    Pixel* to = image_->row(yy);
    for (int xx = d.left; xx < d.right; ++xx)
      to[xx] = from[s.left + static_cast<int>(static_cast<long long>(xx - dest.left) * s.width() / dest.width())];
  }
}

void Canvas::blendPixel(int x, int y, Pixel colour, unsigned coverage) {
  if (coverage == 0) return;
  const Rect d = devRect({x, y, x + 1, y + 1}).intersect(dclip_);
  for (int yy = d.top; yy < d.bottom; ++yy)
    for (int xx = d.left; xx < d.right; ++xx) blendDevice(xx, yy, colour, coverage);
}

void Canvas::blendDevice(int x, int y, Pixel colour, unsigned coverage) {
  if (coverage == 0 || !dclip_.contains({x, y})) return;
  Pixel& dst = image_->row(y)[x];
  if (coverage >= 255) {
    dst = colour & 0xFFFFFFu;
    return;
  }
  Pixel out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const unsigned a = (dst >> shift) & 0xFFu;
    const unsigned b = (colour >> shift) & 0xFFu;
    const unsigned v = (a * (255 - coverage) + b * coverage + 127) / 255;
    out |= v << shift;
  }
  dst = out;
}

void Canvas::text(int x, int y, std::string_view utf8, const Font& font, Pixel colour) {
  // Rasterised at the device size: the glyphs of a font of the scaled height, placed from the
  // device position of the cell.
  const Font f = scaledFont(font, scale_);
  const int baseline = dev(y + origin_.y) + fontMetrics(f).ascent;
  int pen = dev(x + origin_.x);
  char32_t prev = 0;
  for (std::size_t pos = 0; pos < utf8.size();) {
    const char32_t cp = nextCodePoint(utf8, pos);
    if (cp < 32) continue;
    if (prev) pen += kerning(f, prev, cp);
    const GlyphBitmap& g = glyphOf(f, cp);
    for (int gy = 0; gy < g.height; ++gy)
      for (int gx = 0; gx < g.width; ++gx)
        blendDevice(pen + g.offsetX + gx, baseline + g.offsetY + gy, colour, g.coverage[gy * g.width + gx]);
    pen += g.advance;
    prev = cp;
  }
}

void Canvas::textOpaque(int x, int y, std::string_view utf8, const Font& font, Pixel colour, Pixel back) {
  fillRect(Rect::xywh(x, y, textWidth(utf8, font), textHeight(font)), back);
  text(x, y, utf8, font, colour);
}

}  // namespace korvo
