// The controls together on a front panel laid out like the editor window, with the generated
// artwork: a picture to look at (golden) and a check that every strip the window uses loads.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "goldenImage.h"
#include "AniGIF.h"
#include "GraphButton.h"
#include "MusicKeysSimple.h"
#include "artworkData.h"
#include "controls.h"
#include "goldenFiles.h"
#include "graphKnobB.h"
#include "headlessHost.h"
#include "lcdSetup.h"
#include "segLCD2.h"

namespace korvo {
namespace {

std::unique_ptr<TAniGIF> strip(const char* name) {
  auto s = std::make_unique<TAniGIF>();
  const artwork::EmbeddedFile* f = artwork::findArtwork(name);
  EXPECT_NE(f, nullptr) << name;
  if (!f) return s;
  s->RessourceName = name;
  s->SetGIFBytes({f->data, f->data + f->size});
  s->Loaded();
  EXPECT_TRUE(s->IsLoaded()) << name;
  return s;
}

ImageBox* picture(Control& parent, const char* name, int x, int y) {
  auto s = strip(name);
  auto* box = parent.add<ImageBox>();
  box->autoSize = true;
  box->setPosition(x, y);
  if (s->Frame(0)) box->setPicture(*s->Frame(0));
  return box;
}

TEST(PanelPreview, ControlsWithTheGeneratedArtwork) {
  HeadlessHost host(562, 350);
  Control& root = host.root();
  root.colour = fromTColor(3089186);
  auto knobGif = strip("knob2.gif");
  auto upDownGif = strip("browseButtons.gif");
  auto buttGif = strip("butt.gif");

  picture(root, "menuFile.gif", 8, 2);
  picture(root, "menuOptions.gif", 48, 2);
  picture(root, "menuInfo.gif", 112, 2);

  auto* prog = root.add<Panel>();
  prog->setBounds(8, 22, 543, 50);
  prog->colour = fromTColor(5653829);
  auto* number = prog->add<Label>();
  number->setBounds(11, 15, 34, 20);
  number->font = Font{"Arial", -16, true};
  number->fontColour = fromTColor(11969957);
  number->text = "042";
  auto* name = prog->add<TextBox>();
  name->setBounds(47, 14, 161, 22);
  name->upperCase = true;
  name->maxLength = 15;
  name->colour = fromTColor(3089186);
  name->fontColour = fromTColor(11969957);
  name->font = Font{"Arial", -11, false, true};
  name->border = false;
  name->setText("Glass Pad");
  const struct {
    int x, y, idx;
    const TAniGIF* s;
  } buttons[] = {{215, 7, 0, upDownGif.get()}, {215, 26, 2, upDownGif.get()}, {264, 20, 2, buttGif.get()},
                 {312, 20, 2, buttGif.get()},  {376, 20, 0, buttGif.get()},   {424, 20, 0, buttGif.get()},
                 {488, 20, 4, buttGif.get()}};
  for (const auto& b : buttons) {
    auto* g = prog->add<TGraphButton>();
    g->setAniGIF(b.s);
    g->setAniIdx(b.idx);
    g->setHasTwoFrames(true);
    g->setPosition(b.x, b.y);
  }
  const char* captions[] = {"capWrite.gif", "capInit.gif", "capSend.gif", "capRequest.gif", "capPanic.gif"};
  const int captionX[] = {260, 310, 371, 420, 484};
  for (int i = 0; i < 5; ++i) picture(*prog, captions[i], captionX[i], 4);

  auto* display = root.add<Panel>();
  display->setBounds(8, 78, 543, 185);
  display->colour = fromTColor(5653829);
  auto bar = [&](int x, int y, int w, int h, TColor c) {
    auto* s = display->add<Shape>();
    s->setBounds(x, y, w, h);
    s->brush = s->pen = fromTColor(c);
  };
  bar(0, 0, 540, 10, 2359417);
  bar(0, 172, 540, 10, 11969957);
  bar(0, 9, 8, 164, 11969957);
  bar(532, 9, 8, 164, 11969957);
  auto* lcd = display->add<TsegLCD2>();
  lcd->setPosition(19, 64);
  ApplyEditorLcdLook(*lcd);
  ASSERT_TRUE(ApplyEditorLcdLayout(*lcd));
  lcd->WriteText(0, 0, 0, "     OSC1  Wave   Semi   Fine  Level  Mod");
  lcd->WriteText(0, 1, 0, "          Pad2     +0      0     63  LFO1");
  lcd->WriteText(10, 1, 1, "Pad2");
  lcd->RefreshIfChanged();
  // Knob lefts from the LCD's cell positions, as the window places them.
  const int spacing = (lcd->width() - 5 * lcd->cellWidth()) / 5;
  const float values[10] = {-100, -40, 0, 40, 127, 12, -127, 64, 90, -5};
  for (int j = 0; j < 10; ++j) {
    auto* k = display->add<TGraphKnobB>();
    k->setShowCaption(false);
    k->setShowValue(false);
    k->setAniGIF(knobGif.get());
    k->setRadius(20);
    k->setMinValue(-127);
    k->setMaxValue(127);
    const int left = 19 + lcd->CharLeft(5) + (j % 5) * spacing + k->width() / 2;
    k->setPosition(left, j < 5 ? 16 : 128);
    k->setValue(values[j]);
  }
  EXPECT_EQ(spacing, 90);
  picture(root, "logo.gif", 430, 286);
  auto* keys = root.add<TMusicKeysSimple>();
  keys->setPosition(8, 270);
  keys->setLowestKey(36);
  keys->setHighestKey(108);
  keys->setKeyWidth(7);
  keys->colWhiteKeys = 14406354;
  keys->colKeyLabel = 11969957;
  keys->PlayNote(60);
  auto* status = root.add<Label>();
  status->setBounds(10, 332, 330, 14);
  status->font = Font{"Arial", -11, false, true};
  status->fontColour = fromTColor(11969957);
  status->text = "Welcome to Korvo.";
  std::string why;
  EXPECT_TRUE(matchesGolden(host.frame(), test::goldenPath("panelPreview"), &why, 8, 0)) << why;
}

}  // namespace
}  // namespace korvo
