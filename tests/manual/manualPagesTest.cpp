// The page reference says what the page set says: every page, field, knob, range and help text,
// and a field added to the page set appears in it without anyone writing it down.
#include <gtest/gtest.h>

#include "lcdPages.h"
#include "manualPages.h"

namespace korvo {
namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ManualPages, EveryPageAndFieldOfThePageSet) {
  const std::vector<LcdPage>& pages = lcdPages();
  const std::string md = pageReference(pages);
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const LcdPage& p = pages[i];
    EXPECT_TRUE(has(md, "### " + std::to_string(i + 1) + ". " + p.name + " {#")) << p.name;
    EXPECT_TRUE(has(md, "(" + pagePicturePath(static_cast<int>(i)) + ")")) << p.name;
    for (const LcdPageField& f : p.fields) EXPECT_TRUE(has(md, "`" + f.name + "` |")) << p.name << " " << f.name;
  }
  // Rows as the page set binds them: knob from the field's number, range ends as the display
  // shows them, the help text, the text form's name.
  EXPECT_TRUE(has(md, "| upper 1 | `FREQ` | `0` to `127` | Filter cutoff frequency | `FILT.FREQ` |"));
  EXPECT_TRUE(has(md, "| lower 2 | `MOD1.SEL` | a source by name, or OFF"));
  EXPECT_TRUE(has(md, "| upper 5 | `WAVE` | `TRI`, `SAW`, `SQR`, `NSE` | LFO waveform | `LFO1.WAVE` |"));
  EXPECT_TRUE(has(md, "| upper 3 | `MONO` | OFF, ON | Monophonic playback | `MODE.MONO` |"));
  EXPECT_TRUE(has(md, "| lower 3 | `SAT` | `OFF`, `ORI`, `+01` to `+15` | Saturation amount | `EMU.SAT` |"));
  EXPECT_TRUE(has(md, "| upper 4 | `LV` | `00L` to `63L`, `00X` to `63X` |"));  // a formatter marking parts of a range
}

TEST(ManualPages, AFieldOrPageAddedToThePageSetAppearsByItself) {
  std::vector<LcdPage> pages = lcdPages();
  LcdPageField added;
  added.name = "DRIVE";
  added.slot = 7;
  added.lo = -5;
  added.hi = 5;
  added.hint = "Drive of the new stage";
  pages[8].fields.push_back(added);
  LcdPage page;
  page.name = "Extra Page";
  pages.push_back(page);
  const std::string md = pageReference(pages);
  EXPECT_TRUE(has(md, "| lower 3 | `DRIVE` | `-5` to `+5` | Drive of the new stage |  |"));
  EXPECT_TRUE(has(md, "### 24. Extra Page {#page-extra-page}"));
  EXPECT_TRUE(has(md, "(pictures/page-24.png)"));
  EXPECT_TRUE(has(md, "The display has 24 pages."));
}

}  // namespace
}  // namespace korvo
