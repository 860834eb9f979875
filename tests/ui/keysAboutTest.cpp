#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "goldenImage.h"
#include "MusicKeysSimple.h"
#include "goldenFiles.h"
#include "headlessHost.h"
#include "uAboutForm.h"

namespace korvo {
namespace {

// The editor window's keyboard: keys 36..108, key width 7.
struct Keyboard {
  HeadlessHost host{360, 80};
  TMusicKeysSimple* keys = nullptr;
  std::vector<std::string> log;
  Keyboard() {
    keys = host.root().add<TMusicKeysSimple>();
    keys->setPosition(0, 0);
    keys->setLowestKey(36);
    keys->setHighestKey(108);
    keys->setKeyWidth(7);
    keys->colWhiteKeys = 14406354;
    keys->colWhiteHeldKeys = 0xFFFF00;
    keys->colBlackHeldKeys = 0x808000;
    keys->colKeyLabel = 11969957;
    keys->colCaption = 0xFFFF00;
    keys->OnNoteOn = [this](Control&, int n) { log.push_back("on " + std::to_string(n)); };
    keys->OnNoteOff = [this](Control&, int n) { log.push_back("off " + std::to_string(n)); };
  }
  int top() const { return keys->keysTop(); }
};

TEST(MusicKeys, RangeMovesOffBlackKeys) {
  TMusicKeysSimple k;
  k.setLowestKey(37);
  EXPECT_EQ(k.lowestKey(), 36);
  k.setHighestKey(106);
  EXPECT_EQ(k.highestKey(), 107);
  k.setHighestKey(200);
  EXPECT_EQ(k.highestKey(), 127);
  k.setKeyWidth(2);
  EXPECT_EQ(k.keyWidth(), 4);
  k.setBlackKeyFacWidth(2.0);
  EXPECT_EQ(k.blackKeyFacWidth(), 0.95);
  k.setBlackKeyFacHeight(0.0);
  EXPECT_EQ(k.blackKeyFacHeight(), 0.05);
}

TEST(MusicKeys, EditorLayout) {
  Keyboard kb;
  const int t = kb.top();
  EXPECT_EQ(kb.keys->whiteHeight(), 42);
  const auto& cs = kb.keys->key(37);  // C#: 5 wide, 26 high, starting 4 left of C's right edge
  EXPECT_TRUE(cs.black);
  EXPECT_EQ(cs.upper, (Rect{3, t, 8, t + 26}));
  EXPECT_EQ(kb.keys->key(36).upper, (Rect{0, t, 3, t + 26}));
  EXPECT_EQ(kb.keys->key(36).lower, (Rect{0, t + 26, 7, t + 42}));
  EXPECT_EQ(kb.keys->key(38).upper, (Rect{10, t, 13, t + 26}));  // D: 2 in from each side
  EXPECT_EQ(kb.keys->key(40).upper, (Rect{20, t, 23, t + 26}));  // E: 4 in from the left
  EXPECT_EQ(kb.keys->key(41).lower.left, 24);
  // 43 white keys of 7 pixels with 1-pixel gaps; the top C's upper part ends 4 short.
  EXPECT_EQ(kb.keys->key(108).upper.right, 42 * 8 + 3);
  EXPECT_EQ(kb.keys->width(), 42 * 8 + 3);
  EXPECT_EQ(kb.keys->height(), t + 42);
}

TEST(MusicKeys, KeyAt) {
  Keyboard kb;
  const int t = kb.top();
  struct Case {
    int x, y, note;
  };
  const Case cases[] = {
      {-20, t + 30, 36},                      // left of everything: the lowest key
      {1000, t + 5, 108},                     // right of everything: the highest key
      {1, t + 5, 36},                         // C, upper part
      {5, t + 5, 37},                         // C#
      {9, t + 5, TMusicKeysSimple::kNoNote},  // between C# and D's upper part
      {9, t + 30, 38},                        // D, lower part
      {7, t + 30, 36},                        // right edge counts (left <= x <= right)
      {5, 0, 37},                             // y above the keys is brought to the top row
      {5, 500, 36},                           // ... and below to the bottom row: C's lower part
      {5, t + 25, 36},                        // the black key's last row is also C's first lower row
      {5, t - 1, 37},
  };
  for (const Case& c : cases) EXPECT_EQ(kb.keys->KeyAt(c.x, c.y), c.note) << c.x << "," << c.y;
}

TEST(MusicKeys, NotesSoundOnceAndReleaseOnce) {
  Keyboard kb;
  kb.keys->PlayNote(60);
  kb.keys->PlayNote(60);  // already sounding: no second note-on
  kb.keys->ReleaseNote(60);
  kb.keys->ReleaseNote(60);
  kb.keys->PlayNote(128);
  kb.keys->PlayNote(TMusicKeysSimple::kNoNote);
  kb.keys->ReleaseNote(-1);
  const std::vector<std::string> want{"on 60", "off 60"};
  EXPECT_EQ(kb.log, want);
}

TEST(MusicKeys, GlissandoAndPlainDrag) {
  const int c4x = 3, d4x = 11, e4x = 19;
  {
    Keyboard kb;
    const int y = kb.top() + 35;
    kb.host.press({c4x, y});
    kb.host.move({d4x, y});
    kb.host.move({e4x, y});
    kb.host.release({e4x, y});
    const std::vector<std::string> want{"on 36", "off 36", "on 38", "off 38", "on 40", "off 40"};
    EXPECT_EQ(kb.log, want);
  }
  {
    Keyboard kb;
    kb.keys->multiTrigger = false;
    const int y = kb.top() + 35;
    kb.host.press({c4x, y});
    kb.host.move({d4x, y});
    kb.host.move({e4x, y});
    kb.host.release({e4x, y});
    const std::vector<std::string> want{"on 36", "off 36"};
    EXPECT_EQ(kb.log, want);
  }
  {
    // Through the gap between C# and D in the upper part: released there, D starts after it.
    Keyboard kb;
    const int y = kb.top() + 5;
    kb.host.press({1, y});
    kb.host.move({9, y});
    kb.host.move({11, y});
    kb.host.release({11, y});
    const std::vector<std::string> want{"on 36", "off 36", "on 38", "off 38"};
    EXPECT_EQ(kb.log, want);
  }
}

TEST(MusicKeys, LabelShowsTheNoteUnderThePointer) {
  Keyboard kb;
  EXPECT_EQ(kb.keys->labelText(), "----");
  kb.host.move({5, kb.top() + 5});
  EXPECT_EQ(kb.keys->labelText(), "C#1 ");
  kb.host.move({9, kb.top() + 5});  // no key: the label keeps the last name
  EXPECT_EQ(kb.keys->labelText(), "C#1 ");
}

TEST(MusicKeys, ComputerKeyboard) {
  Keyboard kb;
  EXPECT_EQ(kb.keys->NoteOfKey('Y'), 48);
  EXPECT_EQ(kb.keys->NoteOfKey('.'), 62);
  EXPECT_EQ(kb.keys->NoteOfKey(keys::Comma), 60);
  EXPECT_EQ(kb.keys->NoteOfKey('Q'), 60);
  EXPECT_EQ(kb.keys->NoteOfKey('P'), 76);
  EXPECT_EQ(kb.keys->NoteOfKey('Z'), 69);
  EXPECT_EQ(kb.keys->NoteOfKey('A'), TMusicKeysSimple::kNoNote);
  EXPECT_EQ(kb.keys->NoteOfKey(200), TMusicKeysSimple::kNoNote);
  kb.keys->layoutVariant = true;
  EXPECT_EQ(kb.keys->NoteOfKey('Z'), 48);
  EXPECT_EQ(kb.keys->NoteOfKey('Y'), 69);
  kb.keys->layoutVariant = false;
  kb.keys->baseOctave = 9;  // 12 x 9 + 12 + 28 = 148: limited to 127
  EXPECT_EQ(kb.keys->NoteOfKey('P'), 127);
  kb.keys->baseOctave = 3;

  kb.keys->setFocus();
  kb.host.pressKey('Y');  // computer playing is off
  EXPECT_TRUE(kb.log.empty());
  kb.keys->SetComputerKeyPlay(true);
  kb.host.keyDown('Y', 0);
  kb.host.keyDown('Y', 0);            // auto-repeat
  kb.host.press({3, kb.top() + 35});  // mouse on C2 meanwhile
  kb.host.keyUp('Y', 0);
  kb.host.release({3, kb.top() + 35});
  const std::vector<std::string> want{"on 48", "on 36", "off 48", "off 36"};
  EXPECT_EQ(kb.log, want);
}

TEST(MusicKeys, PlayOnFocus) {
  Keyboard kb;
  kb.keys->keybPlayOnFocus = true;
  kb.keys->setFocus();
  EXPECT_TRUE(kb.keys->computerKeyPlay());
  kb.host.setFocus(nullptr);
  EXPECT_FALSE(kb.keys->computerKeyPlay());
}

TEST(MusicKeys, Golden) {
  Keyboard kb;
  kb.keys->caption = "Korvo";
  kb.keys->PlayNote(48);
  kb.keys->PlayNote(61);
  kb.keys->PlayNote(64);
  kb.host.move({5, kb.top() + 5});
  std::string why;
  EXPECT_TRUE(matchesGolden(kb.host.frame(), test::goldenPath("musicKeysSimple"), &why)) << why;
}

TEST(AboutBox, CentredOnTheEditorAndClosedByAClick) {
  HeadlessHost host(562, 350);
  host.setWindowOrigin({200, 100});
  Image logo(121, 33, rgb(200, 40, 40));
  int scripted = 0;
  host.modalScript = [&](HeadlessHost& h, Control& dialog) {
    ++scripted;
    auto& box = dynamic_cast<TAboutForm&>(dialog);
    EXPECT_EQ(box.LogoImage->width(), 121);
    EXPECT_EQ(box.LogoImage->left(), (287 - 121) / 2);
    EXPECT_EQ(box.Edit->top(), 8 + 33 + 10);
    EXPECT_EQ(box.Edit->top() + box.Edit->height(), 321 - 10);
    EXPECT_FALSE(h.modalClosed());
  };
  ShowAbout(host.root(), logo);
  EXPECT_EQ(scripted, 1);
  EXPECT_FALSE(host.modalClosed());
  host.click({281, 300});  // on the text
  EXPECT_TRUE(host.modalClosed());
  EXPECT_EQ(host.lastModalPoint, (Point{200 + 281 - 287 / 2, 100 + 173 - 321 / 2}));
  std::string why;
  EXPECT_TRUE(matchesGolden(host.lastModalImage, test::goldenPath("aboutForm"), &why)) << why;
  const auto lines = TAboutForm::aboutLines();
  EXPECT_EQ(lines[1], "Korvo VST");
  EXPECT_EQ(lines.size(), 15u);
}

}  // namespace
}  // namespace korvo
