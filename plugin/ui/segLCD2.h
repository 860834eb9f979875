// TsegLCD2: the two-line segment display. A grid of character cells (code + attribute), each
// painted with a pre-rendered glyph image. Glyph images come from a segment map (which pixel of
// a cell belongs to which segment), a glyph table (which segments a character lights), a 5 x 5
// blur and a three-colour palette, so the control looks like a lit segment display.
//
// Text writes never paint: they mark cells, and RefreshIfChanged() (called on each display
// tick) brings the back buffer up to date, copying only the cells that changed.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "control.h"

namespace korvo {

#pragma pack(push, 1)
struct TsegLCD_charCell {
  std::uint8_t changed;
  std::uint8_t ch;
  std::int32_t attr;
};
#pragma pack(pop)
using TsegLCD_charBufLine = std::vector<TsegLCD_charCell>;

// (Sender, X, Y) of a double click, in pixels or in cells.
using TsegLCD_onDblClick = std::function<void(Control& sender, int x, int y)>;
// (Sender, Button, Shift, column, row).
using TsegLCD_onMouseChar = std::function<void(Control& sender, MouseButton, ShiftState, int x, int y)>;
using TsegLCD_onMouseMoveChar = std::function<void(Control& sender, ShiftState, int x, int y)>;

class TsegLCD2 : public Control {
 public:
  TsegLCD2();

  // Geometry (each setter resizes the control and clears the text) -----------------------------
  int widthChar() const { return widthChar_; }
  void setWidthChar(int v);
  int heightChar() const { return heightChar_; }
  void setHeightChar(int v);
  int widthPix() const { return (cellWidth_ + charGapX_) * widthChar_ - charGapX_; }
  void setWidthPix(int v);
  int heightPix() const { return (cellHeight_ + charGapY_) * heightChar_ - charGapY_; }
  void setHeightPix(int v);
  int charGapX() const { return charGapX_; }
  void setCharGapX(int v);
  int charGapY() const { return charGapY_; }
  void setCharGapY(int v);
  int frameWidth() const { return frameWidth_; }
  void setFrameWidth(int v);
  int frameHeight() const { return frameHeight_; }
  void setFrameHeight(int v);
  int cellWidth() const { return cellWidth_; }
  int cellHeight() const { return cellHeight_; }

  // Colours: one setter keyed by index 0 colBack, 1 colMid, 2 colHi, 3 colBorderLo,
  // 5 colBorderHi (other indexes are ignored) --------------------------------------------------
  void setColour(int index, TColor c);
  TColor getColour(int index) const;
  TColor colBack() const { return colBack_; }
  TColor colMid() const { return colMid_; }
  TColor colHi() const { return colHi_; }
  TColor colBorderLo() const { return colBorderLo_; }
  TColor colBorderHi() const { return colBorderHi_; }
  std::uint8_t colSplitIndex() const { return colSplitIndex_; }
  void setColSplitIndex(std::uint8_t v);
  std::uint8_t segOffBrightness() const { return segOffBrightness_; }
  void setSegOffBrightness(std::uint8_t v);
  // Filter: index 0 filtScale (0 is stored as 1), 1 filtAdd.
  void setFilt(int index, std::uint8_t v);
  std::uint8_t filtScale() const { return filtScale_; }
  std::uint8_t filtAdd() const { return filtAdd_; }
  bool captureKeys = false;

  // Font data (borrowed, must outlive the control) -----------------------------------------------
  bool SetCharTable(const std::uint8_t* table, int entryCount, int entryWidth);
  bool SetSegmentMap(const std::uint8_t* map, int segmentCount, int firstAttributeSegment, int cellHeight,
                     int cellWidth);

  // Text ----------------------------------------------------------------------------------------
  void WriteText(int column, int row, int attribute, std::string_view text);
  void ClearText();
  void RefreshIfChanged();
  int CharLeft(int column) const { return frameWidth_ + column * (cellWidth_ + charGapX_); }
  int CharTop(int row) const { return frameHeight_ + row * (cellHeight_ + charGapY_); }
  Point PixelToChar(int x, int y) const;

  // Events (after the toolkit's standard ones) ----------------------------------------------------
  TsegLCD_onMouseChar onMouseDownChar;
  TsegLCD_onMouseChar onMouseUpChar;
  TsegLCD_onMouseMoveChar onMouseMoveChar;
  TsegLCD_onDblClick onDblClickPix;
  TsegLCD_onDblClick onDblClickChar;

  // Inspection (tests, screenshots) ----------------------------------------------------------------
  const TsegLCD_charCell& cell(int column, int row) const {
    return cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
  }
  const std::array<Pixel, 256>& palette() const { return palette_; }
  int glyphCount() const { return glyphCount_; }
  int variantCount() const { return variants_; }
  // Glyph image [g][v] at the scale the LCD was last painted at; null when not rendered.
  const Image* glyphImage(int g, int v) const;
  // The scale (percent) of the glyphs and the back buffer: the last painting canvas's.
  int scale() const { return scale_; }
  int charToGlyph(std::uint8_t code) const { return charMap_[code]; }
  bool fullRepaintPending() const { return fullRepaint_; }
  bool cellsChangedPending() const { return cellsChanged_; }
  const Image& backBuffer() const { return back_; }
  // Number of cells copied into the back buffer by the last update.
  int lastPaintedCells() const { return lastPainted_; }

  void paint(Canvas& canvas) override;
  void mouseDown(const MouseEvent& e) override;
  void mouseUp(const MouseEvent& e) override;
  void mouseMove(const MouseEvent& e) override;
  void doubleClick(const MouseEvent& e) override;
  bool wantsNavigationKeys() const override { return captureKeys; }

 private:
  void applyGeometry();
  void buildPalette();
  void renderGlyphs();
  Image renderGlyph(int g, int v) const;
  void updateBackBuffer();
  void changed();

  int widthChar_ = 8;
  int heightChar_ = 1;
  int charGapX_ = 0;
  int charGapY_ = 0;
  int frameWidth_ = 4;
  int frameHeight_ = 4;
  TColor colBack_ = 0;
  TColor colMid_ = 0xFF0000;
  TColor colHi_ = 0xFFFFFF;
  TColor colBorderLo_ = 0;
  TColor colBorderHi_ = 0;
  std::uint8_t colSplitIndex_ = 128;
  std::uint8_t segOffBrightness_ = 12;
  std::uint8_t filtScale_ = 30;
  std::uint8_t filtAdd_ = 0;

  std::vector<TsegLCD_charBufLine> cells_;
  const std::uint8_t* segMap_ = nullptr;
  int segCount_ = 0;   // N
  int firstAttr_ = 0;  // F
  int attrCount_ = 0;  // A = N - F
  int cellWidth_ = 8;
  int cellHeight_ = 8;
  const std::uint8_t* table_ = nullptr;
  int glyphEntries_ = 0;  // G of the installed table
  int entryWidth_ = 0;    // E
  std::array<int, 256> charMap_{};
  // G x V, [g * V + v]; at 100 % all made at once, at other scales each when first shown.
  mutable std::vector<Image> glyphs_;
  int scale_ = 100;
  int glyphCount_ = 0;
  int variants_ = 0;
  std::array<Pixel, 256> palette_{};
  Image back_;
  bool fullRepaint_ = true;
  bool cellsChanged_ = false;
  Point lastMouse_{};
  int lastPainted_ = 0;
};

}  // namespace korvo
