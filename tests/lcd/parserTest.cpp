// The page-description language: layout rules, validation, field setters and default formatters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lcdControl.h"

namespace korvo {
namespace {

struct Laid {
  std::string label;
  int column, row, width, fieldNumber, valueIndex;
  std::string name;
};

void expectLayout(const ClcdCtr_page& p, const std::vector<Laid>& want) {
  ASSERT_EQ(p.FieldCount(), static_cast<int>(want.size()));
  for (int k = 0; k < p.FieldCount(); ++k) {
    SCOPED_TRACE("field " + std::to_string(k));
    const ClcdCtr_param& f = *p.Field(k);
    const Laid& w = want[static_cast<std::size_t>(k)];
    EXPECT_EQ(f.Ordinal(), k);
    EXPECT_EQ(f.label, w.label);
    EXPECT_EQ(f.column, w.column);
    EXPECT_EQ(f.row, w.row);
    EXPECT_EQ(f.Width(), w.width);
    EXPECT_EQ(f.FieldNumber(), w.fieldNumber);
    EXPECT_EQ(f.ValueIndex(), w.valueIndex);
    EXPECT_EQ(f.name, w.name);
  }
}

const char* const kWavesPage =
    "[WAV ] [WAVE=] 1 [{1,WAVE1,6,0,74}] 1 [{2,WAVE2,6,0,74}] 1 [{3,WAVE3,6,0,74}] 1 [SYNC={4,SYNC,3,0,1}],5 "
    "[OCT=] 6 [{6,OCT1,2,-3,+5}] 5 [{7,OCT2,2,-3,+5}] 5 [{8,OCT3,2,-3,+5}] 3 [AM={9,AM,3,0,1}]";

TEST(LcdParser, FirstPageLaysOutAsDocumented) {
  ClcdCtr ctr(nullptr);
  ctr.SetPageCount(1);
  ClcdCtr_page& p = *ctr.GetPage(0);
  ASSERT_TRUE(p.Parse(kWavesPage));
  expectLayout(p, {{"WAV ", 0, 0, 0, -1, -1, ""},
                   {"WAVE=", 5, 0, 0, -1, -1, ""},
                   {"", 12, 0, 6, 1, 0, "WAVE1"},
                   {"", 20, 0, 6, 2, 1, "WAVE2"},
                   {"", 28, 0, 6, 3, 2, "WAVE3"},
                   {"SYNC=", 36, 0, 3, 4, 3, "SYNC"},
                   {"OCT=", 5, 1, 0, -1, -1, ""},
                   {"", 16, 1, 2, 6, 4, "OCT1"},
                   {"", 24, 1, 2, 7, 5, "OCT2"},
                   {"", 32, 1, 2, 8, 6, "OCT3"},
                   {"AM=", 38, 1, 3, 9, 7, "AM"}});
  // Both rows end exactly at column 43.
  EXPECT_EQ(p.Field(5)->column + p.Field(5)->Length() - 1, 43);
  EXPECT_EQ(p.Field(10)->column + p.Field(10)->Length() - 1, 43);
  ASSERT_EQ(p.SlotCount(), 10);
  const int slotOrdinal[10] = {-1, 2, 3, 4, 5, -1, 7, 8, 9, 10};
  for (int s = 0; s < 10; ++s) EXPECT_EQ(p.SlotOrdinal(s), slotOrdinal[s]) << "slot " << s;
  EXPECT_EQ(p.FieldOfSlot(0), nullptr);
  EXPECT_EQ(p.FieldOfSlot(10), nullptr);
  EXPECT_EQ(p.FieldOfSlot(-1), nullptr);
  EXPECT_EQ(p.Field(7)->Min(), -3);
  EXPECT_EQ(p.Field(7)->Max(), 5);  // "+5" reads
  EXPECT_EQ(p.FieldByName("OCT2"), p.Field(8));
  EXPECT_EQ(p.FieldByName("oct2"), nullptr);  // names match exactly
}

TEST(LcdParser, ColumnRules) {
  struct Case {
    const char* text;
    int secondColumn, secondRow;
  };
  const Case cases[] = {
      {"[A]12[B]", 14, 0},  // a run of digits is one number
      {"[A]1 2[B]", 5, 0},  // blanks split it
      {"[A] [B]", 2, 0},    // blanks are ignored; one cell separates fields
      {"[A],[B]", 0, 1},    // a comma ends the row
      {"[A],3[B]", 3, 1},
      {"[A]3,[B]", 0, 1},              // a number ended by the comma still counts, then the row resets
      {"[AB{1,X,4,0,9}][C]", 7, 0},    // label 2 + width 4 + 1
      {"[X={3,NAME,4}] [Y]", 3, 0},    // two commas: no width added
      {"[X={3,NAME,4,0}] [Y]", 3, 0},  // three commas: width set but not added
      {"[]5[B]", 6, 0},                // an empty field still takes one cell
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ClcdCtr ctr(nullptr);
    ctr.SetPageCount(1);
    ClcdCtr_page& p = *ctr.GetPage(0);
    ASSERT_TRUE(p.Parse(c.text));
    ASSERT_GE(p.FieldCount(), 2);
    EXPECT_EQ(p.Field(1)->column, c.secondColumn);
    EXPECT_EQ(p.Field(1)->row, c.secondRow);
  }
}

TEST(LcdParser, IncompleteSpecs) {
  ClcdCtr ctr(nullptr);
  ctr.SetPageCount(1);
  ClcdCtr_page& p = *ctr.GetPage(0);
  ASSERT_TRUE(p.Parse("[X={3,NAME,4}] [Y={5,W,2,0}] [Z={x,V,q,a,b}] [{,N,3,0,9}]"));
  const ClcdCtr_param& x = *p.Field(0);
  EXPECT_EQ(x.FieldNumber(), 3);
  EXPECT_EQ(x.name, "NAME");
  EXPECT_EQ(x.Width(), 0);
  EXPECT_EQ(x.ValueIndex(), -1);
  EXPECT_EQ(x.label, "X=");
  EXPECT_FALSE(x.HasFormatter());  // no range set, so no default formatter either
  const ClcdCtr_param& y = *p.Field(1);
  EXPECT_EQ(y.Width(), 2);
  EXPECT_EQ(y.ValueIndex(), -1);
  EXPECT_FALSE(y.HasFormatter());
  // Items that do not read as numbers become -1 (number) or 0 (width, min, max).
  const ClcdCtr_param& z = *p.Field(2);
  EXPECT_EQ(z.FieldNumber(), -1);
  EXPECT_EQ(z.Width(), 0);
  EXPECT_EQ(z.Min(), 0);
  EXPECT_EQ(z.Max(), 0);
  EXPECT_EQ(z.ValueIndex(), 0);
  EXPECT_TRUE(z.HasFormatter());
  const ClcdCtr_param& n = *p.Field(3);
  EXPECT_EQ(n.FieldNumber(), -1);
  EXPECT_EQ(n.ValueIndex(), 1);
  EXPECT_EQ(p.SlotCount(), 6);  // highest readable number 5
}

TEST(LcdParser, MalformedTextKeepsThePage) {
  const char* const bad[] = {
      "[A[B]]",       // nested brackets
      "{1,X,3,0,1}",  // spec outside brackets
      "[A] {1,X,3,0,1}",
      "no brackets at all 12,",
      "",
      "[A]]",  // close without open
      "]",
      "[A]}",              // closing brace outside brackets
      "[A{",               // brace as last character
      "[A{1,X,2,0,5]X}]",  // "]" inside the braces ends the field; the "}" is then outside
  };
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    ClcdCtr ctr(nullptr);
    ctr.SetPageCount(1);
    ClcdCtr_page& p = *ctr.GetPage(0);
    ASSERT_TRUE(p.Parse("[OLD={2,OLD,3,0,9}]"));
    p.name = "kept";
    p.baseId = 7;
    EXPECT_FALSE(p.Parse(text));
    EXPECT_EQ(p.FieldCount(), 1);
    EXPECT_EQ(p.Field(0)->name, "OLD");
    EXPECT_EQ(p.SlotCount(), 3);
    EXPECT_EQ(p.name, "kept");
    EXPECT_EQ(p.baseId, 7);
  }
}

TEST(LcdParser, ParsingClearsNameEditorAndBaseId) {
  ClcdCtr ctr(nullptr);
  ctr.SetPageCount(1);
  ClcdCtr_page& p = *ctr.GetPage(0);
  p.name = "old";
  p.baseId = 12;
  ASSERT_TRUE(p.Parse("[A] [B"));  // an unclosed bracket at the end does not fail
  EXPECT_EQ(p.name, "");
  EXPECT_EQ(p.baseId, -1);
  EXPECT_EQ(p.editor, nullptr);
  ASSERT_EQ(p.FieldCount(), 2);
  EXPECT_EQ(p.Field(1)->label, "");  // never filled
  EXPECT_EQ(p.SlotCount(), 0);
}

TEST(LcdParser, DuplicateNumberLosesItsSlot) {
  ClcdCtr ctr(nullptr);
  ctr.SetPageCount(1);
  ClcdCtr_page& p = *ctr.GetPage(0);
  ASSERT_TRUE(p.Parse("[A={3,A,2,0,9}] [B={3,B,2,0,9}]"));
  EXPECT_EQ(p.Field(0)->FieldNumber(), 3);
  EXPECT_EQ(p.Field(1)->FieldNumber(), -1);
  EXPECT_EQ(p.Field(1)->ValueIndex(), 1);
  EXPECT_EQ(p.FieldOfSlot(3), p.Field(0));
  // Moving a field's number frees its old slot; taking a number in use gives -1.
  p.Field(0)->SetFieldNumber(1);
  EXPECT_EQ(p.SlotOrdinal(3), -1);
  EXPECT_EQ(p.SlotOrdinal(1), 0);
  p.Field(1)->SetFieldNumber(1);
  EXPECT_EQ(p.Field(1)->FieldNumber(), -1);
  p.Field(1)->SetFieldNumber(3);
  EXPECT_EQ(p.SlotOrdinal(3), 1);
  p.Field(1)->SetFieldNumber(9);  // beyond the map: number kept, no slot
  EXPECT_EQ(p.Field(1)->FieldNumber(), 9);
  EXPECT_EQ(p.SlotOrdinal(3), -1);
  EXPECT_EQ(p.FieldOfSlot(9), nullptr);
}

TEST(LcdParser, HostileNumbersStayBounded) {
  ClcdCtr ctr(nullptr);
  ctr.SetPageCount(1);
  ClcdCtr_page& p = *ctr.GetPage(0);
  const std::string text =
      "99999999999999999999[{2000000000,X,2000000000,-2147483648,2147483647}]"
      "99999999999999999999 99999999999[{99999999999,Y,7,0,1}],,,,[{300,Z,3,0,1}]";
  ASSERT_TRUE(p.Parse(text));
  EXPECT_EQ(p.SlotCount(), 0);  // slot numbers above the cap do not size the map
  const ClcdCtr_param& x = *p.Field(0);
  EXPECT_EQ(x.column, kLcdMaxColumn);
  EXPECT_EQ(x.Width(), kLcdMaxWidth);
  EXPECT_EQ(x.Min(), -2147483647 - 1);
  EXPECT_EQ(x.Max(), 2147483647);
  EXPECT_EQ(x.Length(), kLcdMaxWidth);
  EXPECT_EQ(p.Field(1)->FieldNumber(), -1);  // does not read as an int
  EXPECT_EQ(p.Field(1)->column, kLcdMaxColumn);
  EXPECT_EQ(p.Field(2)->row, 4);
  EXPECT_EQ(p.Field(2)->FieldNumber(), 300);
}

TEST(LcdField, RangeAndWidthSetters) {
  ClcdCtr_param f(nullptr, 0);
  f.SetMin(5);
  EXPECT_EQ(f.Max(), 5);  // max follows a larger min
  f.SetMax(2);
  EXPECT_EQ(f.Min(), 2);  // min follows a smaller max
  EXPECT_EQ(f.Max(), 2);
  f.SetWidth(-4);
  EXPECT_EQ(f.Width(), 0);
  f.valueText = "ABCDEF";
  f.SetWidth(3);
  EXPECT_EQ(f.valueText, "ABC");
  f.SetWidth(10);
  EXPECT_EQ(f.valueText, "ABC");
  f.SetValue(7);
  EXPECT_EQ(f.valueText, "0000000007");
  EXPECT_EQ(f.ParamId(), -1);  // no page
  f.explicitId = 40;
  EXPECT_EQ(f.ParamId(), 40);
  EXPECT_EQ(f.Editor(), nullptr);
}

TEST(LcdField, ResetKeepsShowIndexInMenu) {
  ClcdCtr_param f(nullptr, 0);
  f.SetMin(-3);
  f.SetWidth(4);
  f.showIndexInMenu = false;
  f.menuRows = 25;
  f.explicitId = 9;
  f.highlighted = true;
  f.hint = "h";
  f.SetFormatter(lcdFormatter([](int) { return std::string("x"); }));
  f.Reset();
  EXPECT_FALSE(f.showIndexInMenu);
  EXPECT_EQ(f.menuRows, 0);
  EXPECT_EQ(f.explicitId, -1);
  EXPECT_FALSE(f.highlighted);
  EXPECT_FALSE(f.HasFormatter());
  EXPECT_FALSE(f.CustomFormatter());
  EXPECT_EQ(f.Min(), 0);
  EXPECT_EQ(f.Width(), 0);
  EXPECT_EQ(f.hint, "");
}

TEST(LcdField, DefaultFormatters) {
  struct Case {
    int min, max, width, value;
    const char* text;
  };
  const Case cases[] = {
      {-63, 63, 3, -5, "-05"}, {-63, 63, 3, 63, "+63"},    {-63, 63, 3, 0, "+00"}, {-3, 5, 2, -3, "-3"},
      {-3, 5, 2, 5, "+5"},     {-1, 144, 6, -1, "-00001"}, {-63, 63, 1, 7, "+7"},  {-63, 63, 3, -100, "-100"},
      {0, 127, 3, 7, "007"},   {0, 63, 2, 100, "100"},     {0, 63, 0, 5, "5"},     {0, 63, 2, -5, "-5"},
      {0, 1, 3, 0, "OFF"},     {0, 1, 3, 1, " ON"},        {0, 1, 3, 2, " ON"},    {0, 1, 3, -1, "OFF"},
      {0, 1, 5, 1, " ON"},     {-5, -1, 2, -2, "-2"},      {1, 1, 2, 1, "01"},     {0, 0, 2, 0, "00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.min) + ".." + std::to_string(c.max) + " w" + std::to_string(c.width) + " v" +
                 std::to_string(c.value));
    ClcdCtr_param f(nullptr, 0);
    f.SetWidth(c.width);
    f.SetMin(c.min);
    f.SetMax(c.max);
    f.SetValue(c.value);
    EXPECT_EQ(f.valueText, c.text);
    EXPECT_EQ(f.Value(), c.value);
  }
}

TEST(LcdField, CustomFormatterSurvivesRangeChanges) {
  ClcdCtr_param f(nullptr, 3);
  f.SetWidth(3);
  f.SetMin(0);
  f.SetMax(1);
  int seenOrdinal = -2, seenPage = -2;
  f.SetFormatter([&](int page, int ordinal, std::string& text, int v) {
    seenPage = page;
    seenOrdinal = ordinal;
    text = "V" + std::to_string(v);
  });
  EXPECT_TRUE(f.CustomFormatter());
  f.SetMax(5);
  f.SetValue(4);
  EXPECT_EQ(f.valueText, "V4");
  EXPECT_EQ(seenPage, -1);  // no page
  EXPECT_EQ(seenOrdinal, 3);
  f.SetFormatter(nullptr);  // back to the default, chosen from the current range
  EXPECT_FALSE(f.CustomFormatter());
  f.SetValue(4);
  EXPECT_EQ(f.valueText, "004");
}

}  // namespace
}  // namespace korvo
