#include <gtest/gtest.h>

#include "goldenImage.h"
#include "goldenFiles.h"
#include "headlessHost.h"
#include "midiio2.h"
#include "uMidiSelForm.h"

namespace korvo {
namespace {

// The dialog as the editor presents it: the only control of a modal window.
struct Dialog {
  std::shared_ptr<LoopbackMidi> loop;
  CmidiIO io;
  HeadlessHost host{194, 314};
  TmidiSelForm* form = nullptr;
  std::vector<int> results;
  explicit Dialog(std::vector<std::string> names) : loop(std::make_shared<LoopbackMidi>(std::move(names))), io(loop) {
    form = host.root().add<TmidiSelForm>(io);
    form->onClose = [this](int r) { results.push_back(r); };
  }
  Point centreOf(const Control& c) const {
    const Point p = c.toWindow({0, 0});
    return {p.x + c.width() / 2, p.y + c.height() / 2};
  }
};

TEST(MidiSelForm, ListsThePortsOfOneDirectionFreshlyEnumerated) {
  Dialog d({"Loopback A", "Loopback B"});
  EXPECT_EQ(TmidiSelForm::LineFor("USB MIDI", 7), "USB MIDI   007");
  d.loop->setNames({"Synth In", "Port 2", "Port 3"});  // plugged in after the list was made
  d.form->Prepare("Select MIDI out port...", TmidiSelForm::kDirectionOut, 99);
  EXPECT_EQ(d.form->caption, "Select MIDI out port...");
  EXPECT_EQ(d.form->DevList->items, (std::vector<std::string>{"Synth In   000", "Port 2   001", "Port 3   002"}));
  EXPECT_EQ(d.form->DevList->itemIndex(), 2);  // a previous index past the list: the last port
  d.form->Prepare("Select MIDI in port...", TmidiSelForm::kDirectionIn, -1);
  EXPECT_EQ(d.form->DevList->itemIndex(), 0);
  d.form->Prepare("Select MIDI in port...", TmidiSelForm::kDirectionIn, 0, "Port 2");  // the name wins
  EXPECT_EQ(d.form->DevList->itemIndex(), 1);
  EXPECT_EQ(d.form->width(), 194);
  EXPECT_EQ(d.form->height(), 314);
  EXPECT_EQ(d.form->DevList->bounds(), Rect::xywh(8, 8, 179, 265));
  EXPECT_EQ(d.form->okButton->bounds(), Rect::xywh(8, 280, 82, 25));
  EXPECT_EQ(d.form->cancelButton->bounds(), Rect::xywh(104, 280, 82, 25));
}

TEST(MidiSelForm, ResultsOfButtonsKeysAndDoubleClick) {
  Dialog d({"A", "B", "C"});
  d.form->Prepare("Select MIDI in port...", TmidiSelForm::kDirectionIn, 1);
  d.host.click(d.centreOf(*d.form->okButton));
  ASSERT_EQ(d.results, (std::vector<int>{10}));
  EXPECT_EQ(TmidiSelForm::PortFromResult(10), 1);
  d.form->Prepare("Select MIDI in port...", TmidiSelForm::kDirectionIn, 1);
  d.host.click(d.centreOf(*d.form->cancelButton));
  EXPECT_EQ(d.results.back(), TmidiSelForm::kCancelResult);
  EXPECT_EQ(TmidiSelForm::PortFromResult(2), -1);
  // Keys while the list has the focus: Down moves, Enter takes.
  d.form->Prepare("", TmidiSelForm::kDirectionIn, 0);
  d.host.pressKey(keys::Down);
  d.host.pressKey(keys::Return);
  EXPECT_EQ(d.results.back(), 10);
  d.form->Prepare("", TmidiSelForm::kDirectionIn, 0);
  d.host.pressKey(keys::Escape);
  EXPECT_EQ(d.results.back(), 2);
  // A double click on the third line.
  d.form->Prepare("", TmidiSelForm::kDirectionIn, 0);
  const ListBox& list = *d.form->DevList;
  d.host.doubleClickAt(list.toWindow({20, list.itemHeight() * 2 + 3}));
  EXPECT_EQ(d.results.back(), 11);
  EXPECT_EQ(d.results.size(), 5u);  // one result per showing
  // No ports at all: Ok gives 8, which is no port.
  Dialog empty({});
  empty.form->Prepare("Select MIDI out port...", TmidiSelForm::kDirectionOut, 0);
  EXPECT_TRUE(empty.form->DevList->items.empty());
  empty.host.click(empty.centreOf(*empty.form->okButton));
  EXPECT_EQ(empty.results, (std::vector<int>{8}));
  EXPECT_EQ(TmidiSelForm::PortFromResult(8), -1);
}

TEST(MidiSelForm, Golden) {
  Dialog d({"Loopback A", "USB MIDI Interface", "Virtual Raw MIDI 1-0"});
  d.form->TakeColours(fromTColor(3089186), fromTColor(11969957), Font{"Arial", -11, false, true});
  d.form->Prepare("Select MIDI out port...", TmidiSelForm::kDirectionOut, 1);
  std::string why;
  EXPECT_TRUE(matchesGolden(d.host.frame(), test::goldenPath("midiSelForm"), &why)) << why;
}

}  // namespace
}  // namespace korvo
