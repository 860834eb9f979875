#include "goldenImage.h"
#include "segLCD2.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "goldenFiles.h"
#include "headlessHost.h"
#include "lcdFont.h"
#include "lcdSetup.h"

namespace korvo {
namespace {

// The editor window's display: 44 x 2 cells, its colours, filter and font.
void configureAsEditor(TsegLCD2& lcd) {
  ApplyEditorLcdLook(lcd);
  ASSERT_TRUE(ApplyEditorLcdLayout(lcd));
}

int glyphIndexOf(char c) {
  for (int i = 0; i < lcdCharCount; ++i)
    if (lcdCharTable[i * lcdCharWidth] == static_cast<unsigned char>(c)) return i;
  return -1;
}

TEST(SegLcd, EditorGeometry) {
  TsegLCD2 lcd;
  configureAsEditor(lcd);
  EXPECT_EQ(lcd.width(), 503);
  EXPECT_EQ(lcd.height(), 55);
  EXPECT_EQ(lcd.widthPix(), 483);
  EXPECT_EQ(lcd.heightPix(), 35);
  EXPECT_EQ(lcd.CharLeft(5), 65);
  EXPECT_EQ(lcd.CharTop(1), 30);
}

TEST(SegLcd, GeometryLimits) {
  TsegLCD2 lcd;
  EXPECT_EQ(lcd.width(), 8 * 8 + 8);  // 8 x 1 cells of 8 x 8 with frames of 4
  EXPECT_EQ(lcd.height(), 16);
  lcd.setWidthChar(0);
  EXPECT_EQ(lcd.widthChar(), 1);
  lcd.setHeightChar(-3);
  EXPECT_EQ(lcd.heightChar(), 1);
  lcd.setFrameWidth(-1);
  EXPECT_EQ(lcd.frameWidth(), 0);
  lcd.setWidthPix(45);  // div cell width 8
  EXPECT_EQ(lcd.widthChar(), 5);
  lcd.setWidthPix(-5);
  EXPECT_EQ(lcd.widthChar(), 1);
  lcd.setFilt(0, 0);
  EXPECT_EQ(lcd.filtScale(), 1);
}

TEST(SegLcd, PaletteOfTheEditorColours) {
  TsegLCD2 lcd;
  configureAsEditor(lcd);
  const auto& p = lcd.palette();
  // Worked by hand in 16.16 fixed point: back 0x0B1100 -> mid 0xA3FF00 over 0..180, then
  // toward hi 0xD4FF84, stopping one step short.
  EXPECT_EQ(p[0], rgb(0x00, 0x11, 0x0B));
  EXPECT_EQ(p[1], rgb(0, 18, 11));
  EXPECT_EQ(p[90], rgb(0, 135, 86));
  EXPECT_EQ(p[180], rgb(0x00, 0xFF, 0xA3));
  EXPECT_EQ(p[181], rgb(0x01, 0xFF, 0xA3));
  EXPECT_EQ(p[255], rgb(130, 255, 211));
}

TEST(SegLcd, PaletteSplitAtTheEnds) {
  TsegLCD2 lcd;
  lcd.setColour(0, 0x000000);
  lcd.setColour(1, 0x0000FF);  // red
  lcd.setColour(2, 0xFFFFFF);
  lcd.setColSplitIndex(255);
  for (int i = 0; i < 256; ++i) {
    EXPECT_LE((lcd.palette()[static_cast<std::size_t>(i)] >> 16) & 0xFF, 255u);
    EXPECT_EQ(lcd.palette()[static_cast<std::size_t>(i)] & 0xFFFF, 0u) << i;  // never past mid
  }
  EXPECT_EQ(lcd.palette()[255], rgb(254, 0, 0));
  lcd.setColSplitIndex(0);
  EXPECT_EQ(lcd.palette()[0], rgb(255, 0, 0));
  EXPECT_EQ(lcd.palette()[255], rgb(255, 254, 254));
}

TEST(SegLcd, GlyphImagePixels) {
  TsegLCD2 lcd;
  configureAsEditor(lcd);
  ASSERT_EQ(lcd.glyphCount(), 68);
  ASSERT_EQ(lcd.variantCount(), 4);
  const auto& pal = lcd.palette();
  struct Case {
    char ch;
    int variant;
    int x, y;
    int intensity;
  };
  // Intensities after the 5 x 5 blur (sum div 32) of lit (255) and unlit (13) segments.
  const Case cases[] = {
      {'A', 0, 5, 1, 202}, {'A', 0, 2, 3, 201}, {'A', 0, 0, 0, 0},   {'A', 0, 8, 11, 14},  {'A', 0, 4, 13, 10},
      {'A', 0, 5, 5, 174}, {'A', 0, 4, 7, 30},  {'A', 1, 8, 11, 22}, {'A', 1, 4, 13, 199}, {'A', 2, 8, 11, 128},
      {'A', 2, 4, 13, 10}, {' ', 0, 5, 1, 13},  {' ', 0, 2, 3, 12},  {' ', 0, 8, 11, 7},   {' ', 0, 5, 5, 15},
      {':', 0, 5, 1, 13},  {':', 0, 4, 7, 15},
  };
  for (const Case& c : cases) {
    const Image* img = lcd.glyphImage(glyphIndexOf(c.ch), c.variant);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->at(c.x, c.y), pal[static_cast<std::size_t>(c.intensity)])
        << c.ch << " v" << c.variant << " at " << c.x << "," << c.y;
  }
}

TEST(SegLcd, CharacterToGlyphMap) {
  TsegLCD2 lcd;
  EXPECT_EQ(lcd.charToGlyph('A'), -1);  // nothing installed yet
  configureAsEditor(lcd);
  EXPECT_EQ(lcd.charToGlyph('a'), glyphIndexOf('A'));
  EXPECT_EQ(lcd.charToGlyph('z'), glyphIndexOf('Z'));
  EXPECT_EQ(lcd.charToGlyph(':'), glyphIndexOf(':'));
  EXPECT_EQ(lcd.charToGlyph('!'), 0);
  EXPECT_EQ(lcd.charToGlyph(0), 0);
  EXPECT_EQ(lcd.charToGlyph(200), 0);
}

TEST(SegLcd, FontDataIsRejectedWhenBad) {
  TsegLCD2 lcd;
  configureAsEditor(lcd);
  EXPECT_FALSE(lcd.SetCharTable(lcdCharTable, lcdCharCount, 17));  // 17 < N + 1 = 18
  EXPECT_EQ(lcd.glyphCount(), 0);
  EXPECT_EQ(lcd.charToGlyph('A'), -1);
  EXPECT_FALSE(lcd.SetCharTable(nullptr, 68, 16));
  EXPECT_FALSE(lcd.SetCharTable(lcdCharTable, 0, 16));
  EXPECT_FALSE(lcd.SetSegmentMap(lcdSegmentMap, 0, 15, 15, 10));
  EXPECT_FALSE(lcd.SetSegmentMap(lcdSegmentMap, 17, 15, 0, 10));
  EXPECT_FALSE(lcd.SetSegmentMap(nullptr, 17, 15, 15, 10));
  // A first attribute segment out of range means no attribute segments: one variant each.
  TsegLCD2 plain;
  ASSERT_TRUE(plain.SetCharTable(lcdCharTable, lcdCharCount, lcdCharWidth));
  ASSERT_TRUE(plain.SetSegmentMap(lcdSegmentMap, 15, -1, 15, 10));
  EXPECT_EQ(plain.variantCount(), 1);
  // ... and F = N = 17 needs entries of at least 18 bytes: nothing is rendered.
  ASSERT_TRUE(plain.SetSegmentMap(lcdSegmentMap, 17, 17, 15, 10));
  EXPECT_EQ(plain.glyphCount(), 0);
  // Absurd attribute counts are bounded instead of asking for 2^A images.
  ASSERT_TRUE(plain.SetSegmentMap(lcdSegmentMap, 250, 0, 15, 10));
  EXPECT_EQ(plain.variantCount(), 16);
  EXPECT_FALSE(plain.SetCharTable(lcdCharTable, lcdCharCount, lcdCharWidth));  // E < 251
}

TEST(SegLcd, WriteClipsAtBothEnds) {
  TsegLCD2 lcd;
  configureAsEditor(lcd);
  lcd.RefreshIfChanged();
  lcd.WriteText(43, 0, 0, "AB");
  EXPECT_EQ(lcd.cell(43, 0).ch, 'A');
  EXPECT_EQ(lcd.cell(42, 0).changed, 0);
  lcd.WriteText(-1, 1, 0, "ABC");
  EXPECT_EQ(lcd.cell(0, 1).ch, 'B');
  EXPECT_EQ(lcd.cell(1, 1).ch, 'C');
  EXPECT_EQ(lcd.cell(2, 1).ch, 0);
  lcd.RefreshIfChanged();
  EXPECT_EQ(lcd.lastPaintedCells(), 3);
  // Ignored writes: bad row, column past the end, empty text.
  lcd.WriteText(0, 2, 0, "X");
  lcd.WriteText(0, -1, 0, "X");
  lcd.WriteText(44, 0, 0, "X");
  lcd.WriteText(0, 0, 0, "");
  EXPECT_FALSE(lcd.cellsChangedPending());
  lcd.WriteText(-50, 0, 0, "XY");  // entirely left of the row: nothing changes, flag set
  EXPECT_TRUE(lcd.cellsChangedPending());
  lcd.RefreshIfChanged();
  EXPECT_EQ(lcd.lastPaintedCells(), 0);
}

TEST(SegLcd, OnlyChangedCellsArePainted) {
  TsegLCD2 lcd;
  configureAsEditor(lcd);
  lcd.RefreshIfChanged();
  EXPECT_EQ(lcd.lastPaintedCells(), 88);  // first paint: everything
  lcd.WriteText(0, 0, 0, "LFO1 RATE");
  lcd.RefreshIfChanged();
  EXPECT_EQ(lcd.lastPaintedCells(), 9);
  lcd.WriteText(0, 0, 0, "LFO1 RATE");  // same text, same attribute: no cell marked
  for (int c = 0; c < 9; ++c) EXPECT_EQ(lcd.cell(c, 0).changed, 0);
  lcd.RefreshIfChanged();
  EXPECT_EQ(lcd.lastPaintedCells(), 0);
  lcd.WriteText(0, 0, 1, "LFO2");  // one new character, four new attributes
  lcd.RefreshIfChanged();
  EXPECT_EQ(lcd.lastPaintedCells(), 4);
  lcd.RefreshIfChanged();  // nothing pending: no work
  EXPECT_EQ(lcd.lastPaintedCells(), 0);
  lcd.ClearText();
  lcd.RefreshIfChanged();
  EXPECT_EQ(lcd.lastPaintedCells(), 88);
}

TEST(SegLcd, AttributesPickVariants) {
  TsegLCD2 lcd;
  configureAsEditor(lcd);
  const int g = glyphIndexOf('B');
  struct Case {
    int attr;
    int variant;
  };
  const Case cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 0}, {-1, 0}, {1000, 0}};
  for (const Case& c : cases) {
    lcd.WriteText(7, 1, c.attr, "B");
    lcd.RefreshIfChanged();
    Image cellPixels(lcdCellWidth, lcdCellHeight);
    Canvas(cellPixels).blit(-lcd.CharLeft(7), -lcd.CharTop(1), lcd.backBuffer());
    EXPECT_EQ(cellPixels, *lcd.glyphImage(g, c.variant)) << c.attr;
  }
}

TEST(SegLcd, PixelToCharTruncatesTowardZero) {
  TsegLCD2 lcd;
  configureAsEditor(lcd);
  struct Case {
    int x, y, col, row;
  };
  const Case cases[] = {
      {10, 10, 0, 0},   {9, 9, 0, 0},     {-1, 10, -1, 0},  {20, 10, 0, 0}, {21, 10, 1, 0},
      {-11, 10, -1, 0}, {-12, 10, -2, 0}, {502, 54, 44, 2}, {10, 30, 0, 1}, {10, 29, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lcd.PixelToChar(c.x, c.y), (Point{c.col, c.row})) << c.x << "," << c.y;
  }
}

TEST(SegLcd, MouseEventsInPixelsAndCells) {
  HeadlessHost host(600, 100);
  auto* lcd = host.root().add<TsegLCD2>();
  configureAsEditor(*lcd);
  lcd->setPosition(19, 20);
  std::vector<std::string> log;
  auto rec = [&](const std::string& s) { log.push_back(s); };
  lcd->onMouseDown = [&](Control&, const MouseEvent& e) { rec("down " + std::to_string(e.x)); };
  lcd->onMouseDownChar = [&](Control&, MouseButton, ShiftState, int x, int y) {
    rec("downChar " + std::to_string(x) + "," + std::to_string(y));
  };
  lcd->onMouseUpChar = [&](Control&, MouseButton, ShiftState, int x, int y) {
    rec("upChar " + std::to_string(x) + "," + std::to_string(y));
  };
  lcd->onMouseMoveChar = [&](Control&, ShiftState, int x, int y) {
    rec("moveChar " + std::to_string(x) + "," + std::to_string(y));
  };
  lcd->onDblClick = [&](Control&) { rec("dbl"); };
  lcd->onDblClickPix = [&](Control&, int x, int y) { rec("dblPix " + std::to_string(x) + "," + std::to_string(y)); };
  lcd->onDblClickChar = [&](Control&, int x, int y) { rec("dblChar " + std::to_string(x) + "," + std::to_string(y)); };
  host.move({19 + 65, 20 + 31});  // cell 5, row 1
  host.press({19 + 65, 20 + 31});
  EXPECT_EQ(host.focus(), lcd);
  host.release({19 + 65, 20 + 31});
  host.mouseDown(MouseButton::Left, 0, {19 + 75, 20 + 12});  // no move first: dbl uses the last move
  host.doubleClick(MouseButton::Left, 0, {19 + 75, 20 + 12});
  const std::vector<std::string> want{"moveChar 5,1", "down 65",      "downChar 5,1", "upChar 5,1",
                                      "down 75",      "downChar 5,0", "dbl",          "dblPix 65,31",
                                      "dblChar 5,1",  "down 75",      "downChar 5,0"};
  EXPECT_EQ(log, want);
  EXPECT_TRUE(lcd->wantsNavigationKeys());
}

TEST(SegLcd, GoldenDisplay) {
  HeadlessHost host(503, 55);
  auto* lcd = host.root().add<TsegLCD2>();
  configureAsEditor(*lcd);
  lcd->WriteText(0, 0, 0, "*C* LFO1  Rate  Delay Depth  Wave  Sync");
  lcd->WriteText(0, 1, 0, "     63     12    -27   Tri   Off");
  lcd->WriteText(4, 1, 1, " 63");
  lcd->WriteText(35, 1, 2, "ab:;!?");
  lcd->WriteText(41, 1, 3, "~{|");
  lcd->RefreshIfChanged();
  std::string why;
  EXPECT_TRUE(matchesGolden(host.frame(), test::goldenPath("segLCD2_editor"), &why)) << why;
  // The frame: outer top-left line in colBorderLo, bottom-right in colBorderHi, inner halves.
  const Image& f = host.frame();
  EXPECT_EQ(f.at(0, 0), fromTColor(4338997));
  EXPECT_EQ(f.at(502, 54), fromTColor(10059904));
  EXPECT_EQ(f.at(1, 1), fromTColor((4338997 >> 1) & 0x7F7F7F));
  EXPECT_EQ(f.at(501, 53), fromTColor((10059904 >> 1) & 0x7F7F7F));
  EXPECT_EQ(f.at(5, 5), fromTColor(725248));
}

}  // namespace
}  // namespace korvo
