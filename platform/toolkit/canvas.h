// 32-bit images and the canvas that draws into them.
//
// Pixels are 32-bit words 0x00RRGGBB, so in memory (little endian) the bytes read blue, green,
// red, 0: the layout of a Windows DIB and of an X11 ZPixmap on a 24/32-bit visual, so a window
// host hands an Image to the screen in one copy. Controls that follow the Windows colour
// convention (TColor = 0x00BBGGRR) convert with fromTColor().
//
// Geometry follows GDI: rectangles are half-open (right and bottom exclusive) and lines leave
// out their end point, so a polyline drawn point to point sets each corner pixel once.
//
// Scaling: controls always draw in the window description's units (96 dpi). An Image has a
// scale in percent (device pixels per 100 units); a Canvas on it maps every coordinate to
// floor(v * scale / 100), so neighbouring rectangles still tile, and draws lines, outlines and
// text at the device resolution instead of stretching a small picture. At 100 % every
// primitive is exactly the unscaled one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

using Pixel = std::uint32_t;
// A colour in the Windows convention 0x00BBGGRR, as the window descriptions store them.
using TColor = std::uint32_t;

// TColor (0x00BBGGRR) -> Pixel (0x00RRGGBB); the top byte is dropped.
constexpr Pixel fromTColor(std::uint32_t tcolor) {
  return ((tcolor & 0xFFu) << 16) | (tcolor & 0xFF00u) | ((tcolor >> 16) & 0xFFu);
}
constexpr std::uint32_t toTColor(Pixel p) { return fromTColor(p); }
constexpr Pixel rgb(unsigned r, unsigned g, unsigned b) {
  return ((r & 0xFFu) << 16) | ((g & 0xFFu) << 8) | (b & 0xFFu);
}

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// Half-open rectangle: contains (x, y) when left <= x < right and top <= y < bottom.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  static constexpr Rect xywh(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }
  constexpr int width() const { return right - left; }
  constexpr int height() const { return bottom - top; }
  constexpr bool empty() const { return right <= left || bottom <= top; }
  constexpr bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  constexpr Rect offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  Rect intersect(const Rect& o) const;
  Rect unite(const Rect& o) const;  // bounding box; an empty side is ignored
  friend bool operator==(const Rect&, const Rect&) = default;
};

// An owned block of pixels, row by row without padding.
class Image {
 public:
  Image() = default;
  Image(int width, int height, Pixel fill = 0);

  // Device pixels.
  int width() const { return width_; }
  int height() const { return height_; }
  // Device pixels per 100 units (100 for a picture at its natural size), and the size in units.
  int scale() const { return scale_; }
  void setScale(int percent) { scale_ = percent > 0 ? percent : 100; }
  int logicalWidth() const { return static_cast<int>((static_cast<long long>(width_) * 100 + scale_ / 2) / scale_); }
  int logicalHeight() const { return static_cast<int>((static_cast<long long>(height_) * 100 + scale_ / 2) / scale_); }
  bool empty() const { return width_ <= 0 || height_ <= 0; }
  // Resizes; the contents become `fill` everywhere.
  void reset(int width, int height, Pixel fill = 0);
  void fill(Pixel p);

  Pixel* row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_); }
  const Pixel* row(int y) const {
    return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
  }
  // Bounds-checked access: outside reads 0, outside writes are dropped.
  Pixel at(int x, int y) const;
  void set(int x, int y, Pixel p);
  const std::vector<Pixel>& pixels() const { return pixels_; }
  std::vector<Pixel>& pixels() { return pixels_; }

  friend bool operator==(const Image&, const Image&) = default;

 private:
  int width_ = 0;
  int height_ = 0;
  int scale_ = 100;
  std::vector<Pixel> pixels_;
};

// floor(v * percent / 100): where a unit coordinate lands in device pixels.
constexpr int scaleCoord(int v, int percent) {
  const long long p = static_cast<long long>(v) * percent;
  return static_cast<int>(p >= 0 ? p / 100 : -((-p + 99) / 100));
}
// The unit whose device pixels [scaleCoord(u), scaleCoord(u + 1)) hold this device pixel: the
// largest u with floor(u * percent / 100) <= device.
constexpr int unscaleCoord(int device, int percent) {
  const long long p = (static_cast<long long>(device) + 1) * 100 - 1;
  return static_cast<int>(p >= 0 ? p / percent : -((-p + percent - 1) / percent));
}
constexpr Rect scaleRect(const Rect& r, int percent) {
  return {scaleCoord(r.left, percent), scaleCoord(r.top, percent), scaleCoord(r.right, percent),
          scaleCoord(r.bottom, percent)};
}
// The width of a one-unit line drawn with a pen at this scale: whole device pixels, at least 1.
constexpr int penWidthAt(int percent) { return percent < 150 ? 1 : (percent + 50) / 100; }

struct Font;

// Draws into an Image through an origin and a clip rectangle (both in units), so a control
// paints in its own coordinates and never outside its visible area. The canvas draws at its
// image's scale.
class Canvas {
 public:
  explicit Canvas(Image& target);
  // Device pixels per 100 units.
  int scale() const { return scale_; }

  // A canvas for a child area: coordinates relative to `area`'s top-left, clipped to `area`
  // and to this canvas's clip. `area` is in this canvas's coordinates.
  Canvas child(const Rect& area) const;
  // The same coordinates with the clip narrowed to `area` (this canvas's coordinates).
  Canvas clipped(const Rect& area) const;

  Image& target() { return *image_; }
  Point origin() const { return origin_; }
  // The clip in this canvas's coordinates.
  Rect clipRect() const { return clip_.offset(-origin_.x, -origin_.y); }

  void setPixel(int x, int y, Pixel p);
  Pixel pixel(int x, int y) const;  // 0 outside the clip

  void fillRect(const Rect& r, Pixel p);
  // One-pixel outline just inside r.
  void frameRect(const Rect& r, Pixel p);
  // GDI Rectangle: outline inside r in `pen`, interior filled with `brush` when `filled`.
  void rectangle(const Rect& r, Pixel pen, Pixel brush, bool filled = true);
  // Line from (x0, y0) towards (x1, y1); the end point is not drawn.
  void line(int x0, int y0, int x1, int y1, Pixel p);
  // Pen-position drawing as in GDI: lineTo draws from the pen to (x, y), end excluded, and moves.
  void moveTo(int x, int y) { pen_ = {x, y}; }
  void lineTo(int x, int y, Pixel p);
  // GDI Ellipse: the ellipse inscribed in r, a one-pixel outline, the interior filled when asked.
  void ellipse(const Rect& r, Pixel outline, Pixel fill, bool filled = true);

  // Copies src (or its part srcArea, in src's units) with its top-left at (x, y); clipped on
  // every side. A picture made for this canvas's scale is copied pixel for pixel; one of another
  // scale is resampled to the nearest pixel (sharp, never blurred).
  void blit(int x, int y, const Image& src);
  void blit(int x, int y, const Image& src, const Rect& srcArea);

  // Text with its cell's top-left at (x, y) (top of the ascent), antialiased over what lies
  // below. Single line: control characters are skipped.
  void text(int x, int y, std::string_view utf8, const Font& font, Pixel colour);
  // Text with the cell background filled first (opaque text).
  void textOpaque(int x, int y, std::string_view utf8, const Font& font, Pixel colour, Pixel back);

  // Alpha blend of `colour` at coverage 0..255 onto one pixel (one unit: all its device pixels).
  void blendPixel(int x, int y, Pixel colour, unsigned coverage);

 private:
  int dev(int v) const { return scale_ == 100 ? v : scaleCoord(v, scale_); }
  Rect devRect(const Rect& r) const;  // r in this canvas's coordinates -> device pixels
  void updateDeviceClip();
  void setDevice(int x, int y, Pixel p) {
    if (dclip_.contains({x, y})) image_->row(y)[x] = p;
  }
  void blendDevice(int x, int y, Pixel colour, unsigned coverage);
  void scaledLine(int x0, int y0, int x1, int y1, Pixel p);
  void blitStretched(const Rect& dest, const Image& src, const Rect& srcPixels);

  Image* image_;
  int scale_ = 100;
  Point origin_{};
  Rect clip_{};   // in units of the image
  Rect dclip_{};  // the clip in device pixels
  Point pen_{};
};

// Writes a PNG (8-bit RGB) of the image. Returns true on success. The file is written to a
// temporary name first and renamed, so a reader never sees half a picture.
bool savePng(const Image& image, const std::string& fileName);
// Reads a PNG written by savePng (or any 8-bit PNG); false and `out` untouched on failure.
bool loadPng(const std::string& fileName, Image& out);

}  // namespace korvo
