#include <gtest/gtest.h>

#include "canvas.h"
#include "font.h"

namespace korvo {
namespace {

TEST(Canvas, ColourConversionSwapsRedAndBlue) {
  EXPECT_EQ(fromTColor(0x0B1100u), 0x00110Bu);
  EXPECT_EQ(fromTColor(0xFF123456u), 0x563412u);
  EXPECT_EQ(toTColor(rgb(1, 2, 3)), 0x030201u);
}

TEST(Canvas, LinesLeaveOutTheEndPoint) {
  struct Case {
    int x0, y0, x1, y1;
    int expectedPixels;
  };
  const Case cases[] = {{0, 0, 5, 0, 5}, {0, 0, 0, 4, 4}, {0, 0, 3, 3, 3}, {5, 5, 5, 5, 0}, {4, 2, 0, 2, 4}};
  for (const Case& c : cases) {
    Image img(8, 8);
    Canvas canvas(img);
    canvas.line(c.x0, c.y0, c.x1, c.y1, 1);
    int n = 0;
    for (const Pixel p : img.pixels()) n += p == 1;
    EXPECT_EQ(n, c.expectedPixels) << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1;
    EXPECT_EQ(img.at(c.x1, c.y1), 0u);
  }
}

TEST(Canvas, PolylineSetsEveryCornerOnce) {
  Image img(6, 4);
  Canvas canvas(img);
  canvas.moveTo(0, 3);
  canvas.lineTo(5, 3, 1);
  canvas.lineTo(5, 0, 2);
  canvas.lineTo(0, 0, 3);
  canvas.lineTo(0, 3, 4);
  EXPECT_EQ(img.at(0, 3), 1u);
  EXPECT_EQ(img.at(5, 3), 2u);
  EXPECT_EQ(img.at(5, 0), 3u);
  EXPECT_EQ(img.at(0, 0), 4u);
}

TEST(Canvas, ChildCanvasTranslatesAndClips) {
  Image img(10, 10);
  Canvas canvas(img);
  Canvas sub = canvas.child(Rect::xywh(2, 3, 4, 4));
  sub.fillRect({-5, -5, 50, 50}, 7);
  int n = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool inside = x >= 2 && x < 6 && y >= 3 && y < 7;
      EXPECT_EQ(img.at(x, y), inside ? 7u : 0u);
      n += inside;
    }
  EXPECT_EQ(n, 16);
  sub.setPixel(0, 0, 9);
  EXPECT_EQ(img.at(2, 3), 9u);
  EXPECT_EQ(sub.pixel(0, 0), 9u);
  EXPECT_EQ(sub.pixel(-1, 0), 0u);  // outside the clip reads 0
}

TEST(Canvas, BlitClipsOnEverySide) {
  Image src(3, 3);
  for (int i = 0; i < 9; ++i) src.pixels()[static_cast<std::size_t>(i)] = static_cast<Pixel>(i + 1);
  Image dst(4, 4);
  Canvas canvas(dst);
  canvas.blit(-1, -1, src);
  EXPECT_EQ(dst.at(0, 0), 5u);  // src (1,1)
  EXPECT_EQ(dst.at(1, 1), 9u);
  EXPECT_EQ(dst.at(2, 2), 0u);
  canvas.blit(3, 3, src);
  EXPECT_EQ(dst.at(3, 3), 1u);
  canvas.blit(1, 0, src, {1, 0, 3, 1});  // part of a row
  EXPECT_EQ(dst.at(1, 0), 2u);
  EXPECT_EQ(dst.at(2, 0), 3u);
  EXPECT_EQ(dst.at(3, 0), 0u);
}

TEST(Canvas, EllipseIsSymmetricAndFilled) {
  Image img(11, 11);
  Canvas canvas(img);
  canvas.ellipse({0, 0, 11, 11}, 1, 2);
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 11; ++x) {
      EXPECT_EQ(img.at(x, y), img.at(10 - x, y));
      EXPECT_EQ(img.at(x, y), img.at(x, 10 - y));
    }
  EXPECT_EQ(img.at(5, 5), 2u);
  EXPECT_EQ(img.at(5, 0), 1u);
  EXPECT_EQ(img.at(0, 0), 0u);
}

TEST(Canvas, ScaledUnitsTileAndDevicePixelsMapBackToTheirUnit) {
  for (int s = 100; s <= 300; s += 25) {
    // Every device pixel belongs to the unit whose rectangle covers it (clicks at any scale).
    for (int u = -20; u < 600; ++u)
      for (int d = scaleCoord(u, s); d < scaleCoord(u + 1, s); ++d) ASSERT_EQ(unscaleCoord(d, s), u) << s << " " << d;
    // Neighbouring rectangles in a child canvas meet without a gap or an overlap, and a
    // one-unit frame is at least one device pixel on every side.
    Image img(scaleCoord(40, s), scaleCoord(20, s));
    img.setScale(s);
    Canvas c = Canvas(img).child({3, 1, 40, 20});
    c.fillRect({0, 0, 7, 9}, 1);
    c.fillRect({7, 0, 15, 9}, 2);
    c.frameRect({20, 2, 30, 12}, 3);
    const int y = scaleCoord(5, s);
    for (int x = scaleCoord(3, s); x < scaleCoord(18, s); ++x) ASSERT_NE(img.at(x, y), 0u) << s << " " << x;
    EXPECT_EQ(img.at(scaleCoord(18, s), y), 0u);
    EXPECT_EQ(img.at(scaleCoord(23, s), scaleCoord(8, s)), 3u);
    EXPECT_EQ(img.at(scaleCoord(24, s), scaleCoord(8, s)), 0u);
  }
}

TEST(Canvas, AtTwiceTheSizePicturesAreResampledSharpAndOutlinesAreTwoPixels) {
  Image small(3, 2);
  small.set(1, 0, 5);
  Image img(20, 20);
  img.setScale(200);
  Canvas c(img);
  c.blit(1, 1, small);  // a 100 % picture: each pixel becomes a 2 x 2 block, nothing in between
  EXPECT_EQ(img.at(4, 2), 5u);
  EXPECT_EQ(img.at(5, 3), 5u);
  EXPECT_EQ(img.at(3, 2), 0u);
  EXPECT_EQ(img.at(6, 2), 0u);
  EXPECT_EQ(img.at(4, 4), 0u);
  Image ring(40, 40);
  ring.setScale(200);
  Canvas(ring).ellipse({0, 0, 20, 20}, 7, 9);
  EXPECT_EQ(ring.at(20, 0), 7u);
  EXPECT_EQ(ring.at(20, 1), 7u);
  EXPECT_EQ(ring.at(20, 2), 9u);
  EXPECT_EQ(ring.at(0, 20), 7u);
  EXPECT_EQ(ring.at(1, 20), 7u);
  EXPECT_EQ(ring.at(2, 20), 9u);
}

TEST(Fonts, FacesResolveAndMeasure) {
  EXPECT_EQ(faceFamilyOf("Arial"), FaceFamily::Sans);
  EXPECT_EQ(faceFamilyOf("MS Sans Serif"), FaceFamily::Sans);
  EXPECT_EQ(faceFamilyOf("Terminal"), FaceFamily::Mono);
  const Font mono{"Terminal", -12};
  EXPECT_EQ(textWidth("iiii", mono), textWidth("WWWW", mono));
  const Font sans{"Arial", -11};
  EXPECT_LT(textWidth("iiii", sans), textWidth("WWWW", sans));
  EXPECT_EQ(textWidth("", sans), 0);
  // Em height 11 gives a cell a little taller than 11 pixels.
  EXPECT_GE(textHeight(sans), 12);
  EXPECT_LE(textHeight(sans), 14);
  EXPECT_EQ(Font::points("Terminal", 9).height, -12);
  EXPECT_GT(textWidth("AB", Font{"Arial", -11, true}), textWidth("AB", sans) - 1);
}

TEST(Fonts, TextDrawsInsideItsCell) {
  const Font f{"Arial", -16};
  Image img(100, 30, 0);
  Canvas canvas(img);
  canvas.text(5, 5, "Korvo", f, rgb(255, 255, 255));
  int lit = 0;
  int minX = 100, maxX = -1, minY = 100, maxY = -1;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 100; ++x)
      if (img.at(x, y)) {
        ++lit;
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
      }
  EXPECT_GT(lit, 40);
  EXPECT_GE(minX, 5);
  EXPECT_LE(maxX, 5 + textWidth("Korvo", f));
  EXPECT_GE(minY, 5);
  EXPECT_LT(maxY, 5 + textHeight(f));
}

TEST(Fonts, Utf8DecodingIsBoundsSafe) {
  const std::string s = "A\xC3\xA9\xE2\x82";  // 'A', U+00E9, truncated 3-byte sequence
  std::size_t pos = 0;
  EXPECT_EQ(nextCodePoint(s, pos), U'A');
  EXPECT_EQ(nextCodePoint(s, pos), U'\u00E9');
  EXPECT_EQ(nextCodePoint(s, pos), U'\uFFFD');
  EXPECT_EQ(pos, s.size());
}

}  // namespace
}  // namespace korvo
