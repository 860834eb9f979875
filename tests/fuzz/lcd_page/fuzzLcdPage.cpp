// The page-description parser and the controller on any text: malformed text leaves the page as
// it was; a laid-out page keeps its slot map consistent, and drawing, hit-testing, knob turns,
// toggles and value menus stay inside their bounds.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "lcdControl.h"
#include "lcdSetup.h"
#include "progEdit.h"
#include "segLCD2.h"

using namespace korvo;

namespace {

TsegLCD2& display() {
  static TsegLCD2* lcd = [] {
    auto* l = new TsegLCD2;
    ApplyEditorLcdLayout(*l);
    return l;
  }();
  return *lcd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ProgramRecord record{};
  Ckv_progEdit editor;
  editor.Attach(&record);
  ClcdCtr ctr(&display());
  ctr.knobCount = 10;
  ctr.SetPageCount(1);
  ClcdCtr_page& page = *ctr.GetPage(0);
  if (!page.Parse("[OLD={1,OLD,3,0,9}]")) std::abort();
  page.baseId = 5;
  if (!page.Parse(text)) {
    if (page.FieldCount() != 1 || page.Field(0)->name != "OLD" || page.baseId != 5 || page.SlotCount() != 2)
      std::abort();
    return 0;
  }
  std::size_t brackets = 0;
  for (char c : text) brackets += c == '[';
  if (static_cast<std::size_t>(page.FieldCount()) != brackets || page.SlotCount() > kLcdMaxSlot + 1) std::abort();
  for (int s = 0; s < page.SlotCount(); ++s) {
    const ClcdCtr_param* f = page.FieldOfSlot(s);
    if (f != nullptr && f->FieldNumber() != s) std::abort();
  }
  for (int k = 0; k < page.FieldCount(); ++k) {
    const ClcdCtr_param& f = *page.Field(k);
    if (f.Ordinal() != k || f.column < 0 || f.column > kLcdMaxColumn || f.Width() < 0 || f.Width() > kLcdMaxWidth ||
        f.Min() > f.Max())
      std::abort();
    if (f.FieldNumber() >= 0 && f.FieldNumber() < page.SlotCount() && page.SlotOrdinal(f.FieldNumber()) != k)
      std::abort();
  }
  page.editor = &editor;
  page.baseId = 0;
  ctr.SelectPage(0);
  for (int k = 0; k < page.FieldCount(); ++k) {
    ClcdCtr_param& f = *page.Field(k);
    if (f.row < 0 || f.row > 1 || f.column >= 44) continue;
    ClcdCtr_param* hit = ctr.FieldAt(f.column, f.row);
    if (hit != nullptr && (hit->row != f.row || hit->column > f.column)) std::abort();
    ctr.DblClickChar(f.column, f.row);
    if (f.FieldNumber() >= 0 && page.FieldOfSlot(f.FieldNumber()) == &f) {
      ctr.KnobChanged(f.FieldNumber(), 2147483647);
      if (f.Value() != f.Max()) std::abort();
      ctr.KnobChanged(f.FieldNumber(), -2147483647 - 1);
      if (f.Value() != f.Min()) std::abort();
    }
    if (ctr.ValueMenu().size() > static_cast<std::size_t>(3 * kLcdMaxMenuValues + 2)) std::abort();
  }
  ctr.ShowMessage(-1, -1, text.substr(0, 60), text.substr(0, 3), 1);
  ctr.Tick();
  ctr.Tick();
  return 0;
}
