#include "lcdSetup.h"

#include "graphKnobB.h"
#include "lcdFont.h"
#include "segLCD2.h"
#include "soundMan.h"

namespace korvo {

namespace {

void bindPage(ClcdCtr_page& page, const LcdPage& desc, Ckv_progEdit* editor) {
  page.name = desc.name;
  page.editor = editor;
  page.baseId = desc.baseId;
  for (const LcdPageField& d : desc.fields) {
    ClcdCtr_param* f = page.FieldByName(d.name);
    if (f == nullptr) continue;
    if (d.explicitWord) f->explicitId = d.word;
    f->hint = d.hint;
    if (d.format != nullptr) f->SetFormatter(lcdFormatter(d.format));
    if (d.menuRows > 0) f->menuRows = d.menuRows;
    f->showIndexInMenu = d.numbered;
  }
}

}  // namespace

void PlaceLcdKnobs(const TsegLCD2& lcd, TGraphKnobB* const* knobs) {
  if (knobs == nullptr) return;
  const int spacing = (lcd.width() - 5 * lcd.cellWidth()) / 5;
  for (int j = 0; j < 5; ++j)
    for (int k : {j, j + 5}) {
      TGraphKnobB* knob = knobs[k];
      if (knob == nullptr) continue;
      knob->setPosition(lcd.left() + lcd.CharLeft(5) + j * spacing + knob->width() / 2, knob->top());
    }
}

void ApplyEditorLcdLook(TsegLCD2& lcd) {
  lcd.setFrameWidth(10);
  lcd.setFrameHeight(10);
  lcd.setColour(0, 725248);
  lcd.setColour(1, 10747648);
  lcd.setColour(2, 13959044);
  lcd.setColour(3, 4338997);
  lcd.setColour(5, 10059904);
  lcd.setColSplitIndex(180);
  lcd.setSegOffBrightness(13);
  lcd.setFilt(0, 32);
  lcd.setFilt(1, 0);
  lcd.captureKeys = true;
}

bool ApplyEditorLcdLayout(TsegLCD2& lcd) {
  lcd.setWidthChar(44);
  lcd.setHeightChar(2);
  lcd.setCharGapX(1);
  lcd.setCharGapY(5);
  const bool table = lcd.SetCharTable(lcdCharTable, lcdCharCount, lcdCharWidth);
  return lcd.SetSegmentMap(lcdSegmentMap, lcdSegmentCount, lcdFirstAttrSegment, lcdCellHeight, lcdCellWidth) && table;
}

std::unique_ptr<ClcdCtr> SetupLcdPages(TsegLCD2& lcd, Ckv_soundMan* soundMan, TGraphKnobB* const* knobs) {
  if (soundMan == nullptr) return nullptr;
  Ckv_progEdit* editor = &soundMan->Editor();

  ApplyEditorLcdLayout(lcd);

  auto ctr = std::make_unique<ClcdCtr>(&lcd);
  ctr->knobCount = kLcdKnobCount;
  ctr->SetPageCount(kLcdPageCount);
  ctr->ConnectLcdEvents();

  for (int i = 0; i < kLcdPageCount; ++i) {
    const LcdPage& desc = lcdPages()[static_cast<std::size_t>(i)];
    ClcdCtr_page* page = ctr->GetPage(i);
    page->Parse(desc.text);
    bindPage(*page, desc, editor);
  }
  PlaceLcdKnobs(lcd, knobs);
  return ctr;
}

}  // namespace korvo
