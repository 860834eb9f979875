// Pictures of all 23 pages, with the fresh INIT sound and with a finished sound: the display as
// PNG (compared with a small tolerance) and its text rows (compared exactly). Regenerate both
// with KORVO_REGEN_GOLDEN=1.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "goldenImage.h"
#include "VSTaux.h"
#include "goldenFiles.h"
#include "lcdRig.h"

namespace korvo {
namespace {

std::string goldenDir() { return test::goldenDir("lcd"); }

// Shows every page of the set with `sound` in the edit buffer: each page's picture against its
// golden PNG, all pages' rows against one text file.
void checkAllPages(const ProgramRecord& sound, const std::string& tag) {
  test::PageSetRig r;
  ASSERT_NE(r.ctr, nullptr);
  *r.soundMan.EditRecord() = sound;
  r.ctr->refreshEnabled = 1;
  std::string text;
  for (int i = 0; i < kLcdPageCount; ++i) {
    r.ctr->SelectPage(i);
    r.ctr->Tick();  // the display tick paints what changed
    const Image shot = HeadlessHost::renderControl(*r.lcd);
    char name[64];
    std::snprintf(name, sizeof name, "%s_page%02d.png", tag.c_str(), i);
    std::string why;
    EXPECT_TRUE(matchesGolden(shot, goldenDir() + name, &why, 8, 0)) << name << ": " << why;
    text += "# " + std::to_string(i) + " " + r.page(i).name + "\n";
    text += "|" + test::lcdRow(*r.lcd, 0) + "|\n|" + test::lcdRow(*r.lcd, 1) + "|\n";
  }
  const std::string file = goldenDir() + tag + "_pages.txt";
  if (test::regeneratingGolden()) {
    ASSERT_EQ(writeWholeFile(file, text.data(), text.size()), 0) << file;
    return;
  }
  std::vector<std::uint8_t> want;
  ASSERT_TRUE(readWholeFile(file, want, 1 << 20)) << file;
  EXPECT_EQ(text, std::string(want.begin(), want.end()));
}

TEST(LcdScreens, AllPagesWithInitSound) { checkAllPages(makeInitRecord(), "init"); }

TEST(LcdScreens, AllPagesWithRealSound) { checkAllPages(test::realSound(), "brass"); }

// The window's highlight and the message overlay, once each, as pictures.
TEST(LcdScreens, HighlightAndMessage) {
  test::PageSetRig r;
  r.ctr->refreshEnabled = 1;
  r.ctr->SelectPage(14);
  ClcdCtr_param& lv = r.field(14, "LV");
  lv.highlighted = true;
  r.ctr->DrawField(lv);
  r.ctr->Tick();
  EXPECT_EQ(r.lcd->cell(lv.column, 0).attr, 1);
  std::string why;
  EXPECT_TRUE(matchesGolden(HeadlessHost::renderControl(*r.lcd), goldenDir() + "highlight.png", &why)) << why;
  r.ctr->ShowMessage(-1, -1, "** Program initialized **", "", 22);
  EXPECT_TRUE(matchesGolden(HeadlessHost::renderControl(*r.lcd), goldenDir() + "message.png", &why)) << why;
}

}  // namespace
}  // namespace korvo
