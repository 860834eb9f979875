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

Canvas::Canvas(Image& target) : image_(&target), clip_{0, 0, target.width(), target.height()} {}

Canvas Canvas::child(const Rect& area) const {
  Canvas c(*this);
  c.origin_ = {origin_.x + area.left, origin_.y + area.top};
  c.clip_ = clip_.intersect(area.offset(origin_.x, origin_.y));
  c.pen_ = {};
  return c;
}

Canvas Canvas::clipped(const Rect& area) const {
  Canvas c(*this);
  c.clip_ = clip_.intersect(area.offset(origin_.x, origin_.y));
  return c;
}

void Canvas::setPixel(int x, int y, Pixel p) {
  const Point q{x + origin_.x, y + origin_.y};
  if (clip_.contains(q)) image_->row(q.y)[q.x] = p;
}

Pixel Canvas::pixel(int x, int y) const {
  const Point q{x + origin_.x, y + origin_.y};
  return clip_.contains(q) ? image_->row(q.y)[q.x] : 0;
}

void Canvas::fillRect(const Rect& r, Pixel p) {
  const Rect a = r.offset(origin_.x, origin_.y).intersect(clip_);
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

void Canvas::line(int x0, int y0, int x1, int y1, Pixel p) {
  // Bresenham; stops before (x1, y1) like GDI's LineTo.
  const int dx = std::abs(x1 - x0);
  const int dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1;
  const int sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  int x = x0;
  int y = y0;
  while (x != x1 || y != y1) {
    setPixel(x, y, p);
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

void Canvas::lineTo(int x, int y, Pixel p) {
  line(pen_.x, pen_.y, x, y, p);
  pen_ = {x, y};
}

void Canvas::ellipse(const Rect& r, Pixel outline, Pixel fill, bool filled) {
  if (r.empty()) return;
  // Pixel centres inside the ellipse through the box's outer edge; a pixel inside whose
  // 4-neighbour is outside belongs to the outline.
  const double cx = (r.left + r.right) / 2.0;
  const double cy = (r.top + r.bottom) / 2.0;
  const double rx = r.width() / 2.0;
  const double ry = r.height() / 2.0;
  auto inside = [&](int x, int y) {
    if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) return false;
    const double nx = (x + 0.5 - cx) / rx;
    const double ny = (y + 0.5 - cy) / ry;
    return nx * nx + ny * ny <= 1.0 + 1e-9;
  };
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      if (!inside(x, y)) continue;
      const bool edge = !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
      if (edge)
        setPixel(x, y, outline);
      else if (filled)
        setPixel(x, y, fill);
    }
  }
}

void Canvas::blit(int x, int y, const Image& src) { blit(x, y, src, {0, 0, src.width(), src.height()}); }

void Canvas::blit(int x, int y, const Image& src, const Rect& srcArea) {
  const Rect s = srcArea.intersect({0, 0, src.width(), src.height()});
  if (s.empty()) return;
  // Destination of the whole source area in image coordinates, then clipped.
  const int dx0 = x + origin_.x + (s.left - srcArea.left);
  const int dy0 = y + origin_.y + (s.top - srcArea.top);
  const Rect d = Rect::xywh(dx0, dy0, s.width(), s.height()).intersect(clip_);
  for (int yy = d.top; yy < d.bottom; ++yy) {
    const Pixel* from = src.row(s.top + (yy - dy0)) + s.left + (d.left - dx0);
    std::copy(from, from + d.width(), image_->row(yy) + d.left);
  }
}

void Canvas::blendPixel(int x, int y, Pixel colour, unsigned coverage) {
  const Point q{x + origin_.x, y + origin_.y};
  if (coverage == 0 || !clip_.contains(q)) return;
  Pixel& dst = image_->row(q.y)[q.x];
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
  const int baseline = y + fontMetrics(font).ascent;
  int pen = x;
  char32_t prev = 0;
  for (std::size_t pos = 0; pos < utf8.size();) {
    const char32_t cp = nextCodePoint(utf8, pos);
    if (cp < 32) continue;
    if (prev) pen += kerning(font, prev, cp);
    const GlyphBitmap& g = glyphOf(font, cp);
    for (int gy = 0; gy < g.height; ++gy)
      for (int gx = 0; gx < g.width; ++gx)
        blendPixel(pen + g.offsetX + gx, baseline + g.offsetY + gy, colour, g.coverage[gy * g.width + gx]);
    pen += g.advance;
    prev = cp;
  }
}

void Canvas::textOpaque(int x, int y, std::string_view utf8, const Font& font, Pixel colour, Pixel back) {
  fillRect(Rect::xywh(x, y, textWidth(utf8, font), textHeight(font)), back);
  text(x, y, utf8, font, colour);
}

}  // namespace korvo
