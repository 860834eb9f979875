// korvo-font-compare OUT.png: renders the editor's texts at the window's sizes (11 to 16 px)
// with the toolkit's renderer (stb_truetype, unhinted, whole-pixel advances) beside FreeType's
// hinted renderer, light on the window's dark colour, so the two can be judged side by side.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <string>

#include "canvas.h"
#include "font.h"

namespace {

const korvo::Pixel kBack = korvo::fromTColor(3089186);
const korvo::Pixel kText = korvo::fromTColor(11969957);

struct FtFace {
  FT_Face face = nullptr;
};

// FreeType with its auto-hinter or the font's hints, grey antialiasing.
int drawFreeType(FT_Library lib, const char* file, int emPixels, korvo::Canvas& c, int x, int y,
                 const std::string& text) {
  FT_Face face = nullptr;
  if (FT_New_Face(lib, file, 0, &face)) return 0;
  FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(emPixels));
  const int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
  int pen = x;
  for (const char ch : text) {
    if (FT_Load_Char(face, static_cast<unsigned char>(ch), FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT)) continue;
    const FT_GlyphSlot g = face->glyph;
    for (unsigned r = 0; r < g->bitmap.rows; ++r)
      for (unsigned q = 0; q < g->bitmap.width; ++q)
        c.blendPixel(pen + g->bitmap_left + static_cast<int>(q), y + ascent - g->bitmap_top + static_cast<int>(r),
                     kText, g->bitmap.buffer[r * static_cast<unsigned>(g->bitmap.pitch) + q]);
    pen += static_cast<int>(g->advance.x >> 6);
  }
  FT_Done_Face(face);
  return pen - x;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string out = argc > 1 ? argv[1] : "fontComparison.png";
  FT_Library lib = nullptr;
  if (FT_Init_FreeType(&lib)) return 1;
  const char* sans = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
  const char* mono = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
  const std::string samples[] = {"Welcome to Korvo. 042 GLASS PAD", "Load next sound program 3/8"};
  korvo::Image img(760, 2 * 6 * 38 + 40, kBack);
  korvo::Canvas c(img);
  const korvo::Font label{"Arial", -11};
  c.text(10, 4, "stb_truetype (toolkit)", label, korvo::rgb(255, 255, 255));
  c.text(390, 4, "FreeType, hinted (light)", label, korvo::rgb(255, 255, 255));
  int y = 24;
  for (int family = 0; family < 2; ++family)
    for (int px = 11; px <= 16; ++px) {
      const std::string& s = samples[family];
      const korvo::Font f{family == 0 ? "Arial" : "Terminal", -px};
      c.text(10, y, s + "  " + std::to_string(px), f, kText);
      drawFreeType(lib, family == 0 ? sans : mono, px, c, 390, y, s + "  " + std::to_string(px));
      y += 36;
    }
  FT_Done_FreeType(lib);
  return korvo::savePng(img, out) ? 0 : 1;
}
