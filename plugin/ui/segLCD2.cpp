#include "segLCD2.h"

#include <algorithm>
#include <cmath>

namespace korvo {

namespace {
constexpr int kBlur[5][5] = {
    {0, 1, 2, 1, 0}, {1, 2, 3, 2, 1}, {2, 3, 15, 3, 2}, {1, 2, 3, 2, 1}, {0, 1, 2, 1, 0},
};

Pixel halfOf(TColor c) { return fromTColor((c >> 1) & 0x7F7F7Fu); }
}  // namespace

TsegLCD2::TsegLCD2() {
  charMap_.fill(-1);
  buildPalette();
  applyGeometry();
}

// Geometry ------------------------------------------------------------------------------------

void TsegLCD2::applyGeometry() {
  setSize(widthPix() + 2 * frameWidth_, heightPix() + 2 * frameHeight_);
  cells_.assign(static_cast<std::size_t>(heightChar_),
                TsegLCD_charBufLine(static_cast<std::size_t>(widthChar_), TsegLCD_charCell{0, 0, 0}));
  fullRepaint_ = true;
  ClearText();
}

void TsegLCD2::setWidthChar(int v) {
  widthChar_ = std::max(1, v);
  applyGeometry();
}

void TsegLCD2::setHeightChar(int v) {
  heightChar_ = std::max(1, v);
  applyGeometry();
}

void TsegLCD2::setWidthPix(int v) { setWidthChar(v <= 0 ? 0 : v / cellWidth_); }
void TsegLCD2::setHeightPix(int v) { setHeightChar(v <= 0 ? 0 : v / cellHeight_); }

void TsegLCD2::setCharGapX(int v) {
  charGapX_ = v;
  applyGeometry();
}

void TsegLCD2::setCharGapY(int v) {
  charGapY_ = v;
  applyGeometry();
}

void TsegLCD2::setFrameWidth(int v) {
  frameWidth_ = std::max(0, v);
  applyGeometry();
}

void TsegLCD2::setFrameHeight(int v) {
  frameHeight_ = std::max(0, v);
  applyGeometry();
}

// Colours and filter --------------------------------------------------------------------------

void TsegLCD2::setColour(int index, TColor c) {
  switch (index) {
    case 0: colBack_ = c; break;
    case 1: colMid_ = c; break;
    case 2: colHi_ = c; break;
    case 3: colBorderLo_ = c; break;
    case 5: colBorderHi_ = c; break;
    default: return;
  }
  // Glyph images keep the palette they were rendered with; they follow a colour change at the
  // next font or filter change.
  if (index <= 2) buildPalette();
  invalidate();
}

TColor TsegLCD2::getColour(int index) const {
  switch (index) {
    case 0: return colBack_;
    case 1: return colMid_;
    case 2: return colHi_;
    case 3: return colBorderLo_;
    case 5: return colBorderHi_;
    default: return 0;
  }
}

void TsegLCD2::setColSplitIndex(std::uint8_t v) {
  colSplitIndex_ = v;
  buildPalette();
  invalidate();
}

void TsegLCD2::setSegOffBrightness(std::uint8_t v) {
  segOffBrightness_ = v;
  renderGlyphs();
  invalidate();
}

void TsegLCD2::setFilt(int index, std::uint8_t v) {
  if (index == 0)
    filtScale_ = v == 0 ? 1 : v;
  else if (index == 1)
    filtAdd_ = v;
  else
    return;
  renderGlyphs();
  invalidate();
}

void TsegLCD2::buildPalette() {
  // Each channel separately in 16.16 fixed point: back -> mid over entries 0..s, mid -> hi
  // over s..255 (entry s is written twice and ends exactly at mid).
  const int s = colSplitIndex_;
  std::array<std::array<int, 3>, 256> ch{};
  for (int c = 0; c < 3; ++c) {
    const int back = static_cast<int>((colBack_ >> (8 * c)) & 0xFF);
    const int mid = static_cast<int>((colMid_ >> (8 * c)) & 0xFF);
    const int hi = static_cast<int>((colHi_ >> (8 * c)) & 0xFF);
    if (s > 0) {
      int run = back << 16;
      const int step = ((mid << 16) - run) / (s + 1);
      for (int i = 0; i <= s; ++i) {
        if (run < 0) run = 0;
        ch[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)] = run >> 16;
        run += step;
      }
    }
    if (s < 255) {
      int run = mid << 16;
      const int step = ((hi << 16) - run) / (256 - s);
      for (int i = s; i <= 255; ++i) {
        if (run < 0) run = 0;
        ch[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)] = run >> 16;
        run += step;
      }
    }
  }
  for (std::size_t i = 0; i < 256; ++i)
    palette_[i] =
        rgb(static_cast<unsigned>(ch[i][0]), static_cast<unsigned>(ch[i][1]), static_cast<unsigned>(ch[i][2]));
}

// Font data -----------------------------------------------------------------------------------

bool TsegLCD2::SetCharTable(const std::uint8_t* table, int entryCount, int entryWidth) {
  if (!table || entryCount < 1 || entryWidth < segCount_ + 1) {
    table_ = nullptr;
    glyphEntries_ = 0;
    entryWidth_ = 0;
    charMap_.fill(-1);
    renderGlyphs();
    invalidate();
    return false;
  }
  table_ = table;
  glyphEntries_ = entryCount;
  entryWidth_ = entryWidth;
  charMap_.fill(0);
  for (int i = 0; i < entryCount; ++i)
    charMap_[table[static_cast<std::size_t>(i) * static_cast<std::size_t>(entryWidth)]] = i;
  for (int k = 0; k < 26; ++k) {
    const int upper = 'A' + k;
    const int lower = 'a' + k;
    if (charMap_[static_cast<std::size_t>(lower)] == 0)
      charMap_[static_cast<std::size_t>(lower)] = charMap_[static_cast<std::size_t>(upper)];
    else if (charMap_[static_cast<std::size_t>(upper)] == 0)
      charMap_[static_cast<std::size_t>(upper)] = charMap_[static_cast<std::size_t>(lower)];
  }
  renderGlyphs();
  fullRepaint_ = true;
  applyGeometry();
  return true;
}

bool TsegLCD2::SetSegmentMap(const std::uint8_t* map, int segmentCount, int firstAttributeSegment, int cellHeight,
                             int cellWidth) {
  if (!map || segmentCount < 1 || cellHeight < 1 || cellWidth < 1) {
    segMap_ = nullptr;
    renderGlyphs();
    invalidate();
    return false;
  }
  segMap_ = map;
  segCount_ = segmentCount;
  firstAttr_ =
      (firstAttributeSegment < 0 || firstAttributeSegment >= segmentCount) ? segmentCount : firstAttributeSegment;
  attrCount_ = segCount_ - firstAttr_;
  cellHeight_ = cellHeight;
  cellWidth_ = cellWidth;
  renderGlyphs();
  applyGeometry();
  return true;
}

void TsegLCD2::renderGlyphs() {
  glyphs_.clear();
  glyphCount_ = 0;
  variants_ = 0;
  fullRepaint_ = true;
  if (!table_ || !segMap_ || entryWidth_ < firstAttr_ + 1) return;
  // Attribute variants: 2^A; the map's segment numbers are bytes, so A stays below 256, but a
  // map with many attribute segments would ask for an absurd number of images: such a map
  // gets its first 4 attribute segments as variants.
  const int a = std::min(attrCount_, 4);
  variants_ = 1 << a;
  glyphCount_ = glyphEntries_;
  glyphs_.assign(static_cast<std::size_t>(glyphEntries_) * static_cast<std::size_t>(variants_), Image{});
  if (scale_ == 100)
    for (int g = 0; g < glyphEntries_; ++g)
      for (int v = 0; v < variants_; ++v) glyphs_[static_cast<std::size_t>(g * variants_ + v)] = renderGlyph(g, v);
}

Image TsegLCD2::renderGlyph(int g, int v) const {
  // The lit segments of the cell at the device resolution (each map pixel covers its share of
  // device pixels), then the glow filter, its footprint scaled with the cell and its weights
  // normalised to the unscaled filter's, so flat areas keep their brightness.
  const int sc = scale_;
  const int a = std::min(attrCount_, 4);
  const int w = (cellWidth_ * sc + 99) / 100;
  const int h = (cellHeight_ * sc + 99) / 100;
  const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  std::vector<int> seg(n);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int mx = std::min(cellWidth_ - 1, x * 100 / sc);
      const int my = std::min(cellHeight_ - 1, y * 100 / sc);
      seg[static_cast<std::size_t>(y * w + x)] = segMap_[static_cast<std::size_t>(my * cellWidth_ + mx)];
    }
  const std::uint8_t* entry = table_ + static_cast<std::size_t>(g) * static_cast<std::size_t>(entryWidth_);
  std::vector<int> buf(n);
  for (std::size_t i = 0; i < n; ++i) buf[i] = (segOffBrightness_ > 0 && seg[i] != 0) ? segOffBrightness_ : 0;
  for (int k = 0; k < a; ++k)
    if (v & (1 << k))
      for (std::size_t i = 0; i < n; ++i)
        if (seg[i] == firstAttr_ + k) buf[i] = 255;
  for (int b = 1; b < entryWidth_ && entry[b] != 0; ++b)
    for (std::size_t i = 0; i < n; ++i)
      if (seg[i] == entry[b]) buf[i] = 255;
  const int radius = (2 * sc + 50) / 100;
  const int side = 2 * radius + 1;
  std::vector<int> kernel(static_cast<std::size_t>(side) * static_cast<std::size_t>(side));
  long long kernelSum = 0;
  for (int dy = -radius; dy <= radius; ++dy)
    for (int dx = -radius; dx <= radius; ++dx) {
      auto tap = [&](int d) { return std::clamp(static_cast<int>(std::lround(d * 100.0 / sc)), -2, 2) + 2; };
      const int k = kBlur[tap(dy)][tap(dx)];
      kernel[static_cast<std::size_t>((dy + radius) * side + dx + radius)] = k;
      kernelSum += k;
    }
  long long unitSum = 0;
  for (const auto& row : kBlur)
    for (const int k : row) unitSum += k;
  Image img(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      long long sum = 0;
      for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
          const int xx = x + dx;
          const int yy = y + dy;
          if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
          sum += static_cast<long long>(buf[static_cast<std::size_t>(yy * w + xx)]) *
                 kernel[static_cast<std::size_t>((dy + radius) * side + dx + radius)];
        }
      const long long r = sum * unitSum / (kernelSum * filtScale_) + filtAdd_;
      img.pixels()[static_cast<std::size_t>(y * w + x)] =
          palette_[static_cast<std::size_t>(std::min<long long>(r, 255))];
    }
  img.setScale(sc);
  return img;
}

const Image* TsegLCD2::glyphImage(int g, int v) const {
  if (g < 0 || g >= glyphCount_ || v < 0 || v >= variants_) return nullptr;
  Image& img = glyphs_[static_cast<std::size_t>(g * variants_ + v)];
  if (img.empty()) img = renderGlyph(g, v);
  return &img;
}

// Text ----------------------------------------------------------------------------------------

void TsegLCD2::WriteText(int column, int row, int attribute, std::string_view text) {
  if (text.empty() || row < 0 || row >= heightChar_ || column >= widthChar_) return;
  TsegLCD_charBufLine& line = cells_[static_cast<std::size_t>(row)];
  for (std::size_t i = 0; i < text.size(); ++i) {
    const long long col = static_cast<long long>(column) + static_cast<long long>(i);
    if (col < 0) continue;
    if (col >= widthChar_) break;
    TsegLCD_charCell& c = line[static_cast<std::size_t>(col)];
    const auto ch = static_cast<std::uint8_t>(text[i]);
    if (c.ch != ch || c.attr != attribute) {
      c.ch = ch;
      c.attr = attribute;
      c.changed = 1;
    }
  }
  cellsChanged_ = true;
}

void TsegLCD2::ClearText() {
  for (auto& line : cells_)
    for (auto& c : line) c = TsegLCD_charCell{1, 0, 0};
  cellsChanged_ = true;
}

void TsegLCD2::RefreshIfChanged() {
  lastPainted_ = 0;
  if (!fullRepaint_ && !cellsChanged_) return;
  updateBackBuffer();
  invalidate();
}

Point TsegLCD2::PixelToChar(int x, int y) const {
  const int dx = cellWidth_ + charGapX_;
  const int dy = cellHeight_ + charGapY_;
  return {dx > 0 ? (x - frameWidth_) / dx : 0, dy > 0 ? (y - frameHeight_) / dy : 0};
}

// Painting ------------------------------------------------------------------------------------

void TsegLCD2::updateBackBuffer() {
  lastPainted_ = 0;
  const int w = width();
  const int h = height();
  if (back_.width() != scaleCoord(w, scale_) || back_.height() != scaleCoord(h, scale_) || back_.scale() != scale_) {
    back_.reset(scaleCoord(w, scale_), scaleCoord(h, scale_), fromTColor(colBack_));
    back_.setScale(scale_);
    Canvas c(back_);
    const Pixel hi = fromTColor(colBorderHi_);
    const Pixel lo = fromTColor(colBorderLo_);
    c.moveTo(0, h - 1);
    c.lineTo(w - 1, h - 1, hi);
    c.lineTo(w - 1, 0, hi);
    c.lineTo(0, 0, lo);
    c.lineTo(0, h - 1, lo);
    c.moveTo(1, h - 2);
    c.lineTo(w - 2, h - 2, halfOf(colBorderHi_));
    c.lineTo(w - 2, 1, halfOf(colBorderHi_));
    c.lineTo(1, 1, halfOf(colBorderLo_));
    c.lineTo(1, h - 2, halfOf(colBorderLo_));
    fullRepaint_ = true;
  }
  if ((fullRepaint_ || cellsChanged_) && !cells_.empty() && glyphCount_ > 0) {
    Canvas c(back_);
    for (int row = 0; row < heightChar_; ++row)
      for (int col = 0; col < widthChar_; ++col) {
        TsegLCD_charCell& cell = cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
        if (!fullRepaint_ && !cell.changed) continue;
        cell.changed = 0;
        const int g = charMap_[cell.ch];
        if (g < 0 || g >= glyphCount_) continue;
        const int v = (cell.attr >= 0 && cell.attr < variants_) ? cell.attr : 0;
        c.blit(CharLeft(col), CharTop(row), *glyphImage(g, v));
        ++lastPainted_;
      }
  }
  fullRepaint_ = false;
  cellsChanged_ = false;
}

void TsegLCD2::paint(Canvas& canvas) {
  if (canvas.scale() != scale_) {
    scale_ = canvas.scale();
    renderGlyphs();
  }
  updateBackBuffer();
  canvas.blit(0, 0, back_);
}

// Mouse ---------------------------------------------------------------------------------------

void TsegLCD2::mouseDown(const MouseEvent& e) {
  Control::mouseDown(e);
  setFocus();
  if (onMouseDownChar) {
    const Point p = PixelToChar(e.x, e.y);
    onMouseDownChar(*this, e.button, e.shift, p.x, p.y);
  }
}

void TsegLCD2::mouseUp(const MouseEvent& e) {
  Control::mouseUp(e);
  if (onMouseUpChar) {
    const Point p = PixelToChar(e.x, e.y);
    onMouseUpChar(*this, e.button, e.shift, p.x, p.y);
  }
}

void TsegLCD2::mouseMove(const MouseEvent& e) {
  Control::mouseMove(e);
  lastMouse_ = {e.x, e.y};
  if (onMouseMoveChar) {
    const Point p = PixelToChar(e.x, e.y);
    onMouseMoveChar(*this, e.shift, p.x, p.y);
  }
}

void TsegLCD2::doubleClick(const MouseEvent& e) {
  Control::doubleClick(e);
  if (onDblClickPix) onDblClickPix(*this, lastMouse_.x, lastMouse_.y);
  if (onDblClickChar) {
    const Point p = PixelToChar(lastMouse_.x, lastMouse_.y);
    onDblClickChar(*this, p.x, p.y);
  }
}

}  // namespace korvo
