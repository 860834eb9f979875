#include "font.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb_truetype.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace korvo {

namespace embedded {
extern const unsigned char sansRegular[];
extern const unsigned char sansBold[];
extern const unsigned char sansItalic[];
extern const unsigned char sansBoldItalic[];
extern const unsigned char monoRegular[];
extern const unsigned char monoBold[];
}  // namespace embedded

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

struct Face {
  stbtt_fontinfo info{};
  int ascent = 0;
  int descent = 0;  // negative, font units
  int unitsPerEm = 0;
};

Face& faceFor(FaceFamily family, bool bold, bool italic) {
  // The mono family has no italic: slanted terminal text is not used by the editor.
  static std::unique_ptr<Face> faces[6];
  int index = 0;
  const unsigned char* data = nullptr;
  if (family == FaceFamily::Mono) {
    index = bold ? 5 : 4;
    data = bold ? embedded::monoBold : embedded::monoRegular;
  } else {
    index = (bold ? 1 : 0) + (italic ? 2 : 0);
    const unsigned char* table[4] = {embedded::sansRegular, embedded::sansBold, embedded::sansItalic,
                                     embedded::sansBoldItalic};
    data = table[index];
  }
  if (!faces[index]) {
    auto f = std::make_unique<Face>();
    stbtt_InitFont(&f->info, data, stbtt_GetFontOffsetForIndex(data, 0));
    int lineGap = 0;
    stbtt_GetFontVMetrics(&f->info, &f->ascent, &f->descent, &lineGap);
    f->unitsPerEm = static_cast<int>(std::lround(1.0 / stbtt_ScaleForMappingEmToPixels(&f->info, 1.0f)));
    faces[index] = std::move(f);
  }
  return *faces[index];
}

struct SizedFace {
  Face* face = nullptr;
  float scale = 0;
  FontMetrics metrics;
  std::map<char32_t, GlyphBitmap> glyphs;
  std::vector<std::unique_ptr<std::vector<std::uint8_t>>> storage;
};

SizedFace& sized(const Font& font) {
  using Key = std::tuple<int, bool, bool, int>;
  static std::map<Key, std::unique_ptr<SizedFace>> cache;
  const FaceFamily family = faceFamilyOf(font.name);
  const int h = font.height == 0 ? -11 : font.height;
  const Key key{static_cast<int>(family), font.bold, font.italic, h};
  auto it = cache.find(key);
  if (it != cache.end()) return *it->second;
  auto s = std::make_unique<SizedFace>();
  s->face = &faceFor(family, font.bold, font.italic);
  if (h < 0)
    s->scale = stbtt_ScaleForMappingEmToPixels(&s->face->info, static_cast<float>(-h));
  else
    s->scale = stbtt_ScaleForPixelHeight(&s->face->info, static_cast<float>(h));
  s->metrics.ascent = static_cast<int>(std::lround(s->face->ascent * s->scale));
  s->metrics.descent = static_cast<int>(std::lround(-s->face->descent * s->scale));
  return *cache.emplace(key, std::move(s)).first->second;
}

}  // namespace

Font Font::points(std::string name, int pt, bool bold, bool italic) {
  return Font{std::move(name), -static_cast<int>(std::lround(pt * 96.0 / 72.0)), bold, italic};
}

Font scaledFont(const Font& font, int percent) {
  if (percent == 100) return font;
  Font f = font;
  const int h = font.height == 0 ? -11 : font.height;
  const long long scaled = (static_cast<long long>(std::abs(h)) * percent + 50) / 100;
  const int magnitude = static_cast<int>(std::max<long long>(1, scaled));
  f.height = h < 0 ? -magnitude : magnitude;
  return f;
}

FaceFamily faceFamilyOf(std::string_view name) {
  const std::string n = lower(name);
  if (n == "terminal" || n == "courier new" || n == "courier" || n == "fixedsys" || n == "lucida console" ||
      n == "consolas" || n == "monospace")
    return FaceFamily::Mono;
  return FaceFamily::Sans;
}

FontMetrics fontMetrics(const Font& font) { return sized(font).metrics; }

int textHeight(const Font& font) { return fontMetrics(font).height(); }

const GlyphBitmap& glyphOf(const Font& font, char32_t codePoint) {
  SizedFace& s = sized(font);
  auto it = s.glyphs.find(codePoint);
  if (it != s.glyphs.end()) return it->second;
  GlyphBitmap g;
  const int index = stbtt_FindGlyphIndex(&s.face->info, static_cast<int>(codePoint));
  int advance = 0;
  int lsb = 0;
  stbtt_GetGlyphHMetrics(&s.face->info, index, &advance, &lsb);
  g.advance = static_cast<int>(std::lround(advance * s.scale));
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  stbtt_GetGlyphBitmapBox(&s.face->info, index, s.scale, s.scale, &x0, &y0, &x1, &y1);
  g.width = std::max(0, x1 - x0);
  g.height = std::max(0, y1 - y0);
  g.offsetX = x0;
  g.offsetY = y0;
  auto bits = std::make_unique<std::vector<std::uint8_t>>(
      static_cast<std::size_t>(g.width) * static_cast<std::size_t>(g.height) + 1);
  if (g.width > 0 && g.height > 0)
    stbtt_MakeGlyphBitmap(&s.face->info, bits->data(), g.width, g.height, g.width, s.scale, s.scale, index);
  // Coverage is linear; a mild gamma lifts thin stems at small sizes so text stays legible
  // on dark panels without the blur of a grey stroke.
  for (std::uint8_t& c : *bits) c = static_cast<std::uint8_t>(std::lround(255.0 * std::pow(c / 255.0, 0.8)));
  g.coverage = bits->data();
  s.storage.push_back(std::move(bits));
  return s.glyphs.emplace(codePoint, g).first->second;
}

int kerning(const Font& font, char32_t left, char32_t right) {
  SizedFace& s = sized(font);
  const int k = stbtt_GetCodepointKernAdvance(&s.face->info, static_cast<int>(left), static_cast<int>(right));
  return static_cast<int>(std::lround(k * s.scale));
}

int textWidth(std::string_view utf8, const Font& font) {
  int width = 0;
  char32_t prev = 0;
  for (std::size_t pos = 0; pos < utf8.size();) {
    const char32_t cp = nextCodePoint(utf8, pos);
    if (cp < 32) continue;
    if (prev) width += kerning(font, prev, cp);
    width += glyphOf(font, cp).advance;
    prev = cp;
  }
  return width;
}

char32_t nextCodePoint(std::string_view text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char b0 = byte(pos);
  int extra = 0;
  char32_t cp = 0;
  if (b0 < 0x80) {
    ++pos;
    return b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    extra = 1;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3;
    cp = b0 & 0x07;
  } else {
    ++pos;
    return 0xFFFD;
  }
  if (pos + static_cast<std::size_t>(extra) >= text.size()) {
    pos = text.size();
    return 0xFFFD;
  }
  for (int i = 1; i <= extra; ++i) {
    const unsigned char b = byte(pos + static_cast<std::size_t>(i));
    if ((b & 0xC0) != 0x80) {
      pos += static_cast<std::size_t>(i);
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  pos += static_cast<std::size_t>(extra) + 1;
  return cp;
}

}  // namespace korvo
