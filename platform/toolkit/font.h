// Fonts: faces embedded at build time, rasterised with stb_truetype, the same on every system.
//
// Face names are the ones the window descriptions use: "Arial" and "MS Sans Serif" (and any
// unknown name) map to Liberation Sans, "Terminal" and "Courier New" to DejaVu Sans Mono.
// Heights follow the Windows convention: a negative height is the character (em) height in
// pixels, a positive one the cell height (ascent + descent). Font::points() converts a point
// size at 96 dpi the way Windows does (-round(pt * 96 / 72)).
//
// Glyphs are placed on whole pixels and advances are rounded to whole pixels, which keeps
// stems on pixel boundaries at the small sizes of the editor (11 to 16 pixels) and makes text
// width an integer that layouts can rely on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvo {

struct Font {
  std::string name = "MS Sans Serif";
  int height = -11;
  bool bold = false;
  bool italic = false;

  static Font points(std::string name, int pt, bool bold = false, bool italic = false);
  friend bool operator==(const Font&, const Font&) = default;
};

// The same font at a scale in percent: the height (em or cell) scaled and rounded, so text is
// rasterised for the device instead of stretched. At 100 % the font itself.
Font scaledFont(const Font& font, int percent);

struct FontMetrics {
  int ascent = 0;   // pixels above the baseline
  int descent = 0;  // pixels below the baseline
  int height() const { return ascent + descent; }
};

// Which embedded face a font name resolves to.
enum class FaceFamily { Sans, Mono };
FaceFamily faceFamilyOf(std::string_view name);

FontMetrics fontMetrics(const Font& font);
// Width of the text in pixels (sum of rounded advances plus kerning), and the cell height.
int textWidth(std::string_view utf8, const Font& font);
int textHeight(const Font& font);

// One rasterised glyph: an 8-bit coverage bitmap and where it sits relative to the pen
// position on the baseline. Owned by the font cache; valid for the program's life.
struct GlyphBitmap {
  int width = 0;
  int height = 0;
  int offsetX = 0;  // from the pen x to the bitmap's left column
  int offsetY = 0;  // from the baseline to the bitmap's top row (negative above)
  int advance = 0;  // whole pixels
  const std::uint8_t* coverage = nullptr;
};

// Glyph of a code point (a missing glyph gives the face's .notdef box). Not thread-safe: the
// cache belongs to the user-interface thread.
const GlyphBitmap& glyphOf(const Font& font, char32_t codePoint);
// Kerning in whole pixels between two code points.
int kerning(const Font& font, char32_t left, char32_t right);

// Decodes one UTF-8 code point at `pos` and advances it; invalid bytes decode as U+FFFD.
char32_t nextCodePoint(std::string_view text, std::size_t& pos);

}  // namespace korvo
