#include "lcdControl.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>

#include "VSTaux.h"
#include "host.h"
#include "paramEditor.h"
#include "segLCD2.h"

namespace korvo {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal integer: leading blanks, an optional sign, at least one digit and nothing after.
bool readInt(std::string_view s, int& v) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty() || !isDigit(s.front())) return false;
  long long x = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), x);
  if (ec != std::errc() || ptr != s.data() + s.size()) return false;
  if (negative) x = -x;
  if (x < INT32_MIN || x > INT32_MAX) return false;
  v = static_cast<int>(x);
  return true;
}

int readIntOr(std::string_view s, int fallback) {
  int v = 0;
  return readInt(s, v) ? v : fallback;
}

// Column arithmetic of the layout, held inside 0..kLcdMaxColumn.
int advance(int column, long long by) {
  const long long c = static_cast<long long>(column) + by;
  return static_cast<int>(std::clamp<long long>(c, 0, kLcdMaxColumn));
}

// The decimal digits of |v|, zero-padded on the left to `digits`.
std::string paddedMagnitude(int v, int digits) {
  const long long magnitude = v < 0 ? -static_cast<long long>(v) : v;
  std::string s = std::to_string(magnitude);
  if (static_cast<int>(s.size()) < digits) s.insert(0, static_cast<std::size_t>(digits) - s.size(), '0');
  return s;
}

// Unsigned default: v zero-padded to `digits` (a negative value read from the editor keeps its
// minus sign in front of the padded magnitude).
std::string paddedValue(int v, int digits) {
  return v < 0 ? "-" + paddedMagnitude(v, digits - 1) : paddedMagnitude(v, digits);
}

}  // namespace

LcdFormatter lcdFormatter(std::string (*format)(int value)) {
  if (format == nullptr) return {};
  return [format](int, int, std::string& text, int value) { text = format(value); };
}

// ClcdCtr_param ---------------------------------------------------------------------------------

ClcdCtr_param::ClcdCtr_param(ClcdCtr_page* page, int ordinal) : page_(page), ordinal_(ordinal) {}

void ClcdCtr_param::Reset() {
  fieldNumber_ = -1;
  valueIndex_ = -1;
  name.clear();
  hint.clear();
  label.clear();
  valueText.clear();
  width_ = 0;
  column = 0;
  row = 0;
  min_ = 0;
  max_ = 0;
  value_ = 0;
  formatter_ = nullptr;
  customFormatter_ = false;
  menuRows = 0;
  editor = nullptr;
  explicitId = -1;
  highlighted = false;
}

void ClcdCtr_param::SetFieldNumber(int n) {
  if (n == fieldNumber_) return;
  bool taken = false;
  if (page_ != nullptr)
    for (const auto& f : page_->fields_)
      if (f.get() != this && f->fieldNumber_ == n) taken = true;
  fieldNumber_ = taken ? -1 : n;
  if (page_ == nullptr) return;
  for (int& s : page_->slots_)
    if (s == ordinal_) s = -1;
  if (fieldNumber_ >= 0 && fieldNumber_ < page_->SlotCount() && ordinal_ >= 0 && ordinal_ < page_->FieldCount())
    page_->slots_[static_cast<std::size_t>(fieldNumber_)] = ordinal_;
}

void ClcdCtr_param::SetWidth(int w) {
  width_ = std::clamp(w, 0, kLcdMaxWidth);
  if (static_cast<int>(valueText.size()) > width_) valueText.resize(static_cast<std::size_t>(width_));
}

void ClcdCtr_param::SetMin(int v) {
  min_ = v;
  if (max_ < min_) max_ = min_;
  if (!customFormatter_) chooseDefaultFormatter();
}

void ClcdCtr_param::SetMax(int v) {
  max_ = v;
  if (min_ > max_) min_ = max_;
  if (!customFormatter_) chooseDefaultFormatter();
}

void ClcdCtr_param::chooseDefaultFormatter() {
  // The kind is fixed by the range at the time it is set; the width is read when formatting,
  // so a field whose width changes later still pads to its cells.
  if (min_ == 0 && max_ == 1) {
    formatter_ = [](int, int, std::string& text, int value) { text = value > 0 ? " ON" : "OFF"; };
  } else if (min_ < 0 || max_ < 0) {
    formatter_ = [this](int, int, std::string& text, int value) {
      text = (value >= 0 ? "+" : "-") + paddedMagnitude(value, width_ - 1);
    };
  } else {
    formatter_ = [this](int, int, std::string& text, int value) { text = paddedValue(value, width_); };
  }
}

void ClcdCtr_param::SetValue(int v) {
  if (formatter_) valueText = Format(v);
  value_ = v;
}

void ClcdCtr_param::SetFormatter(LcdFormatter formatter) {
  if (!formatter) {
    customFormatter_ = false;
    chooseDefaultFormatter();
    return;
  }
  formatter_ = std::move(formatter);
  customFormatter_ = true;
}

std::string ClcdCtr_param::Format(int v) const {
  std::string text;
  if (formatter_) formatter_(page_ != nullptr ? page_->Index() : -1, ordinal_, text, v);
  return text;
}

int ClcdCtr_param::ParamId() const {
  if (explicitId >= 0) return explicitId;
  if (valueIndex_ >= 0 && page_ != nullptr) return page_->baseId + valueIndex_;
  return -1;
}

CparamEditorBase* ClcdCtr_param::Editor() const {
  if (editor != nullptr) return editor;
  return page_ != nullptr ? page_->editor : nullptr;
}

// ClcdCtr_page ----------------------------------------------------------------------------------

ClcdCtr_page::ClcdCtr_page(ClcdCtr* controller, int index) : controller_(controller), index_(index) {}

TsegLCD2* ClcdCtr_page::Lcd() const { return controller_ != nullptr ? controller_->Lcd() : nullptr; }

ClcdCtr_param* ClcdCtr_page::Field(int ordinal) const {
  if (ordinal < 0 || ordinal >= FieldCount()) return nullptr;
  return fields_[static_cast<std::size_t>(ordinal)].get();
}

int ClcdCtr_page::SlotOrdinal(int slot) const {
  if (slot < 0 || slot >= SlotCount()) return -1;
  return slots_[static_cast<std::size_t>(slot)];
}

ClcdCtr_param* ClcdCtr_page::FieldOfSlot(int slot) const { return Field(SlotOrdinal(slot)); }

ClcdCtr_param* ClcdCtr_page::FieldByName(std::string_view fieldName) const {
  for (const auto& f : fields_)
    if (f->name == fieldName) return f.get();
  return nullptr;
}

bool ClcdCtr_page::Parse(std::string_view text) {
  // Pass 1: brackets must not nest or close unopened, braces only inside brackets; count the
  // fields and find the highest slot number.
  int depth = 0;
  int fieldCount = 0;
  int highest = -1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    switch (text[i]) {
      case '[':
        if (depth > 0) return false;
        ++depth;
        ++fieldCount;
        break;
      case ']':
        if (depth < 1) return false;
        --depth;
        break;
      case '{': {
        if (depth < 1 || i + 1 == text.size()) return false;
        const std::size_t comma = text.find(',', i + 1);
        int n = 0;
        if (comma != std::string_view::npos && readInt(text.substr(i + 1, comma - i - 1), n) && n > highest &&
            n <= kLcdMaxSlot)
          highest = n;
        break;
      }
      case '}':
        if (depth < 1) return false;
        break;
      default: break;
    }
  }
  if (fieldCount == 0) return false;

  fields_.clear();
  name.clear();
  editor = nullptr;
  baseId = -1;
  for (int k = 0; k < fieldCount; ++k) fields_.push_back(std::make_unique<ClcdCtr_param>(this, k));
  slots_.assign(static_cast<std::size_t>(highest + 1), -1);

  // Pass 2: layout.
  int column = 0;
  int row = 0;
  depth = 0;
  int ordinal = 0;
  int valueCounter = 0;
  std::size_t numberStart = std::string_view::npos;
  std::size_t contentStart = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (numberStart != std::string_view::npos && !isDigit(c)) {
      long long n = 0;
      for (std::size_t k = numberStart; k < i && n <= kLcdMaxColumn; ++k) n = n * 10 + (text[k] - '0');
      column = advance(column, n);
      numberStart = std::string_view::npos;
    }
    if (c == ',' && depth <= 0) {
      column = 0;
      row = std::min(row + 1, kLcdMaxColumn);
    } else if (isDigit(c) && depth <= 0) {
      if (numberStart == std::string_view::npos) numberStart = i;
    } else if (c == '[') {
      ++depth;
      contentStart = i + 1;
    } else if (c == ']') {
      --depth;
      ClcdCtr_param* f = Field(ordinal);
      if (f == nullptr) break;
      fill(*f, text.substr(contentStart, i - contentStart), column, row, valueCounter);
      ++ordinal;
    }
  }
  return true;
}

void ClcdCtr_page::fill(ClcdCtr_param& f, std::string_view content, int& column, int row, int& valueCounter) {
  f.Reset();
  f.column = column;
  f.row = row;
  std::size_t labelLength = content.size();
  std::size_t specStart = std::string_view::npos;
  std::string_view spec;
  bool haveSpec = false;
  for (std::size_t i = 0; i < content.size(); ++i) {
    if (content[i] == '{') {
      labelLength = i;
      specStart = i + 1;
    } else if (content[i] == '}' && specStart != std::string_view::npos) {
      // A closing brace with no opening one before it is ordinary label text.
      spec = content.substr(specStart, i - specStart);
      haveSpec = true;
      break;
    }
  }
  column = advance(column, static_cast<long long>(labelLength) + 1);
  f.label = std::string(content.substr(0, labelLength));
  if (!haveSpec) return;

  // Items end at a comma; an item whose comma is missing is not taken.
  std::size_t pos = 0;
  auto nextItem = [&](std::string_view& item) {
    const std::size_t comma = spec.find(',', pos);
    if (comma == std::string_view::npos) return false;
    item = spec.substr(pos, comma - pos);
    pos = comma + 1;
    return true;
  };
  std::string_view item;
  if (!nextItem(item)) return;
  f.SetFieldNumber(readIntOr(item, -1));
  if (!nextItem(item)) return;
  f.name = std::string(item);
  if (!nextItem(item)) return;
  f.SetWidth(readIntOr(item, 0));
  if (!nextItem(item)) return;
  f.SetMin(readIntOr(item, 0));
  f.SetMax(readIntOr(spec.substr(pos), 0));
  column = advance(column, f.Width());
  f.valueIndex_ = valueCounter++;
}

// ClcdCtr ---------------------------------------------------------------------------------------

ClcdCtr::ClcdCtr(TsegLCD2* lcd) : lcd_(lcd) { valueMenu_.autoPopup = false; }

ClcdCtr::~ClcdCtr() {
  // The LCD outlives the controller; its handlers must not call into a freed object.
  if (lcdConnected_ && lcd_ != nullptr) {
    lcd_->onMouseDownChar = nullptr;
    lcd_->onMouseUpChar = nullptr;
    lcd_->onMouseMoveChar = nullptr;
    lcd_->onDblClickChar = nullptr;
    lcd_->onMouseWheel = nullptr;
  }
}

void ClcdCtr::SetPageCount(int n) {
  n = std::max(0, n);
  if (page_ != nullptr && page_->Index() >= n) {
    page_ = nullptr;
    pageIndex_ = -1;
  }
  while (PageCount() > n) pages_.pop_back();
  while (PageCount() < n) pages_.push_back(std::make_unique<ClcdCtr_page>(this, PageCount()));
}

ClcdCtr_page* ClcdCtr::GetPage(int i) const {
  if (i < 0 || i >= PageCount()) return nullptr;
  return pages_[static_cast<std::size_t>(i)].get();
}

void ClcdCtr::SelectPage(int i) {
  ClcdCtr_page* p = GetPage(i);
  if (p == nullptr) return;
  page_ = p;
  pageIndex_ = i;
  if (messageLock_ <= 0 && lcd_ != nullptr) lcd_->ClearText();
  SetKnobRanges();
  ReadValues(false);
  DrawPage();
}

void ClcdCtr::SetKnobRanges() {
  if (page_ == nullptr) return;
  const int slots = page_->SlotCount();
  for (int s = 0; s < slots; ++s) {
    const ClcdCtr_param* f = page_->FieldOfSlot(s);
    if (onKnobRange) onKnobRange(*this, s, f ? f->Min() : 0, f ? f->Max() : 0);
  }
  for (int s = slots; s < knobCount; ++s)
    if (onKnobRange) onKnobRange(*this, s, 0, 0);
}

void ClcdCtr::readField(ClcdCtr_param& f, bool draw) {
  CparamEditorBase* ed = f.Editor();
  f.SetValue(ed != nullptr ? ed->GetParam(f.ParamId()) : 0);
  if (draw) DrawField(f);
}

void ClcdCtr::ReadValues(bool draw) {
  if (page_ == nullptr) return;
  for (int s = 0; s < page_->SlotCount(); ++s) {
    ClcdCtr_param* f = page_->FieldOfSlot(s);
    if (f == nullptr) continue;
    readField(*f, draw);
    if (onKnobValue) onKnobValue(*this, s, f->Value());
  }
  // A value field that lost its slot to an earlier field with the same number follows no knob
  // but still shows its parameter.
  for (int k = 0; k < page_->FieldCount(); ++k) {
    ClcdCtr_param* f = page_->Field(k);
    if (page_->SlotOrdinal(f->FieldNumber()) != k && f->ParamId() >= 0) readField(*f, draw);
  }
}

void ClcdCtr::DrawPage() {
  if (messageLock_ > 0 || page_ == nullptr || lcd_ == nullptr) return;
  lcd_->ClearText();
  for (int k = 0; k < page_->FieldCount(); ++k) {
    const ClcdCtr_param* f = page_->Field(k);
    lcd_->WriteText(f->column, f->row, f->highlighted ? 1 : 0, f->label + f->valueText);
  }
  if (onAfterDraw) onAfterDraw(*this);
}

void ClcdCtr::DrawField(ClcdCtr_param& field) {
  if (messageLock_ > 0 || lcd_ == nullptr) return;
  std::string text = field.label + field.valueText;
  if (static_cast<int>(field.valueText.size()) < field.Width())
    text.append(static_cast<std::size_t>(field.Width()) - field.valueText.size(), ' ');
  lcd_->WriteText(field.column, field.row, field.highlighted ? 1 : 0, text);
  if (onAfterDraw) onAfterDraw(*this);
}

ClcdCtr_param* ClcdCtr::FieldAt(int column, int row) const {
  if (page_ == nullptr) return nullptr;
  for (int k = 0; k < page_->FieldCount(); ++k) {
    ClcdCtr_param* f = page_->Field(k);
    if (f->row == row && f->column <= column && column < f->column + f->Length()) return f;
  }
  return nullptr;
}

int ClcdCtr::GetFieldValue(int ordinal) const {
  const ClcdCtr_param* f = page_ != nullptr ? page_->Field(ordinal) : nullptr;
  if (f == nullptr) return 0;
  const CparamEditorBase* ed = f->Editor();
  return ed != nullptr ? ed->GetParam(f->ParamId()) : 0;
}

void ClcdCtr::SetFieldValue(int ordinal, int v) {
  ClcdCtr_param* f = page_ != nullptr ? page_->Field(ordinal) : nullptr;
  if (f == nullptr) return;
  v = f->Clamp(v);
  if (CparamEditorBase* ed = f->Editor()) ed->SetParam(f->ParamId(), v);
  f->SetValue(v);
  DrawField(*f);
}

void ClcdCtr::KnobChanged(int slot, int v) {
  EndMessage();
  ClcdCtr_param* f = page_ != nullptr ? page_->FieldOfSlot(slot) : nullptr;
  if (f == nullptr) return;
  v = f->Clamp(v);
  if (CparamEditorBase* ed = f->Editor()) ed->SetParam(f->ParamId(), v);
  f->SetValue(v);
  DrawField(*f);
}

// Messages --------------------------------------------------------------------------------------

void ClcdCtr::ShowMessage(int column0, int column1, std::string_view line0, std::string_view line1, int ticks) {
  if (messageLock_ <= 0) ++messageLock_;
  if (lcd_ != nullptr) {
    lcd_->ClearText();
    const int half = lcd_->widthChar() / 2;
    if (column0 < 0) column0 = half - static_cast<int>(std::min<std::size_t>(line0.size(), kLcdMaxColumn)) / 2;
    if (column1 < 0) column1 = half - static_cast<int>(std::min<std::size_t>(line1.size(), kLcdMaxColumn)) / 2;
    lcd_->WriteText(column0, 0, 0, line0);
    lcd_->WriteText(column1, 1, 0, line1);
    lcd_->RefreshIfChanged();
  }
  if (ticks > 0) {
    messageTicks_ = ticks;
    messageActive_ = 1;
  }
}

void ClcdCtr::EndMessage() {
  messageActive_ = 0;
  if (messageLock_ > 0) --messageLock_;
  DrawPage();
}

void ClcdCtr::Tick() {
  if (refreshEnabled > 0 && lcd_ != nullptr) lcd_->RefreshIfChanged();
  if (messageActive_ > 0) {
    if (messageTicks_ <= 0)
      EndMessage();
    else
      --messageTicks_;
  }
}

// Mouse -----------------------------------------------------------------------------------------

void ClcdCtr::ConnectLcdEvents() {
  if (lcd_ == nullptr) return;
  lcd_->onMouseDownChar = [this](Control&, MouseButton b, ShiftState s, int x, int y) { MouseDownChar(b, s, x, y); };
  lcd_->onMouseUpChar = [this](Control&, MouseButton b, ShiftState s, int x, int y) { MouseUpChar(b, s, x, y); };
  lcd_->onMouseMoveChar = [this](Control&, ShiftState s, int x, int y) { MouseMoveChar(s, x, y); };
  lcd_->onDblClickChar = [this](Control&, int x, int y) { DblClickChar(x, y); };
  lcd_->onMouseWheel = [this](Control&, int delta, ShiftState shift, Point p) {
    const Point cell = lcd_->PixelToChar(p.x, p.y);
    return WheelChar(delta, shift, cell.x, cell.y);
  };
  lcdConnected_ = true;
}

void ClcdCtr::MouseDownChar(MouseButton button, ShiftState, int column, int row) {
  if (messageActive_ > 0) EndMessage();
  mouseDown_ = true;
  mouseColumn_ = column;
  mouseRow_ = row;
  if (ClcdCtr_param* f = FieldAt(column, row)) {
    mouseOrdinal_ = f->Ordinal();
    if (onFieldMouseDown) onFieldMouseDown(*this, button, f->Ordinal());
  }
}

void ClcdCtr::MouseUpChar(MouseButton, ShiftState, int, int) {
  mouseOrdinal_ = -1;
  mouseDown_ = false;
}

void ClcdCtr::MouseMoveChar(ShiftState, int column, int row) {
  if (!onFieldMouseMove) return;
  if (const ClcdCtr_param* f = FieldAt(column, row)) onFieldMouseMove(*this, f->Ordinal());
}

bool ClcdCtr::WheelChar(int delta, ShiftState shift, int column, int row) {
  ClcdCtr_param* f = FieldAt(column, row);
  if (f == nullptr || f->FieldNumber() == -1) return false;
  EndMessage();
  const int steps = (shift & kShift) ? 10 : 1;
  const int v = f->Clamp(GetFieldValue(f->Ordinal()) + delta * steps);
  SetFieldValue(f->Ordinal(), v);
  if (onKnobValue) onKnobValue(*this, f->FieldNumber(), v);
  return true;
}

ClcdCtr_param* ClcdCtr::MouseField() const { return page_ != nullptr ? page_->Field(mouseOrdinal_) : nullptr; }

void ClcdCtr::DblClickChar(int column, int row) {
  ClcdCtr_param* f = FieldAt(column, row);
  if (f == nullptr || f->FieldNumber() == -1) return;
  if (f->Min() == 0 && f->Max() == 1) {
    const int v = (GetFieldValue(f->Ordinal()) + 1) & 1;
    SetFieldValue(f->Ordinal(), v);
    if (onKnobValue) onKnobValue(*this, f->FieldNumber(), v);
    return;
  }
  OpenValueMenu(*f, column);
}

// Value menu ------------------------------------------------------------------------------------

void ClcdCtr::OpenValueMenu(ClcdCtr_param& f, int column) {
  if (!f.HasFormatter() || lcd_ == nullptr) return;
  valueMenuPage_ = f.Page() != nullptr ? f.Page()->Index() : -1;
  valueMenuOrdinal_ = f.Ordinal();
  valueMenu_.clear();
  valueMenuNames_.clear();
  const int lo = std::min(f.Min(), f.Max());
  const int hi = std::max(f.Min(), f.Max());
  const int def = lo == -1 ? -1 : 0;
  const int first = lo == -1 ? 0 : lo;
  const bool withDefault = def != first;
  auto choose = [this](MenuItem& item) { ValueMenuChoose(item.tag); };
  if (withDefault) {
    valueMenu_.addItem(f.Format(def), def, choose);
    valueMenuNames_.push_back("ItemDef");
    valueMenu_.addSeparator();
    valueMenuNames_.emplace_back();
  }
  const int rows = f.menuRows > 0 ? f.menuRows : 16;
  const long long span = static_cast<long long>(hi) - first + 1;
  const int digits = span > 0 ? digitCount(static_cast<std::uint32_t>(span)) : 1;
  const bool numbered = f.CustomFormatter() && f.showIndexInMenu;
  int inColumn = 0;
  int n = 0;
  for (long long v = first; v <= hi && n < kLcdMaxMenuValues; ++v, ++n) {
    const int value = static_cast<int>(v);
    std::string caption = f.Format(value);
    if (numbered) caption = paddedValue(value, digits) + "   " + caption;
    bool breakHere = false;
    if (inColumn >= rows) {
      inColumn = 0;
      if (withDefault) {
        MenuItem& blank = valueMenu_.addItem("", 0);
        blank.enabled = false;
        blank.breakColumn = true;
        valueMenuNames_.push_back("Empty" + std::to_string(n));
        valueMenu_.addSeparator();
        valueMenuNames_.emplace_back();
      } else {
        breakHere = true;
      }
    }
    MenuItem& item = valueMenu_.addItem(std::move(caption), value, choose);
    item.breakColumn = breakHere;
    valueMenuNames_.push_back("Item" + std::to_string(n));
    ++inColumn;
  }
  WindowHost* host = lcd_->host();
  if (host == nullptr) return;
  savedCursor_ = host->pointerPosition();
  const Point at = lcd_->toScreen({lcd_->CharLeft(column), lcd_->CharTop(f.row) + lcd_->cellHeight()});
  host->popupMenu(valueMenu_, at);
}

ClcdCtr_param* ClcdCtr::ValueMenuField() const {
  const ClcdCtr_page* p = GetPage(valueMenuPage_);
  return p != nullptr ? p->Field(valueMenuOrdinal_) : nullptr;
}

void ClcdCtr::ValueMenuChoose(int tag) {
  ClcdCtr_param* f = ValueMenuField();
  if (f == nullptr || f->Page() != page_) return;
  SetFieldValue(f->Ordinal(), tag);
  // The knob gets the value the field took: a default entry outside the range is clamped.
  if (onKnobValue) onKnobValue(*this, f->FieldNumber(), f->Value());
  if (restoreCursor && lcd_ != nullptr)
    if (WindowHost* host = lcd_->host()) host->setPointerPosition(savedCursor_);
}

}  // namespace korvo
