// The hardware exchange through the editor's menu and buttons, against a simulated instrument on
// the loopback ports: the port dialogs, the remembered ports and the dump arriving on the port's
// thread and imported at the window's idle.
#include "editorMidi.h"
#include "editorRig.h"
#include "progRecord.h"
#include "simulatedInstrument.h"
#include "uMidiSelForm.h"

namespace korvo {
namespace {

struct MidiRig : test::EditorRig {
  std::shared_ptr<LoopbackMidi> loop = std::make_shared<LoopbackMidi>();
  test::SimulatedInstrument instrument{*loop, 1, 0};
  EditorMidi* midi = nullptr;
  MidiRig() {
    auto m = std::make_unique<EditorMidi>(form(), *instance, loop);
    m->exchange().pause = [](int) {};
    midi = m.get();
    form().SetMidiExchange(std::move(m));
  }
  // Answers the open port dialog with line `n`.
  void pickPort(int n) {
    auto* frame = dynamic_cast<DialogFrame*>(host().topModal());
    ASSERT_NE(frame, nullptr);
    auto* sel = dynamic_cast<TmidiSelForm*>(frame->client().children().front().get());
    ASSERT_NE(sel, nullptr);
    sel->DevList->setItemIndex(n);
    click(*sel->okButton);
  }
  std::string dialogTitle() {
    auto* frame = dynamic_cast<DialogFrame*>(host().topModal());
    return frame ? frame->title : "";
  }
};

TEST(EditorMidi, RequestChoosesBothPortsAndImportsTheAnswerAtIdle) {
  MidiRig r;
  r.host().menuChooser = HeadlessHost::choose("Request Pemmet/Halvet Single SysEx...");
  r.click(*r.form().menuFileImage);
  EXPECT_EQ(r.dialogTitle(), "Select MIDI in port...");
  EXPECT_TRUE(r.form().keyboardWanted());
  r.golden(r.host().frame(), "editor_portDialog");
  r.pickPort(0);
  EXPECT_EQ(r.dialogTitle(), "Select MIDI out port...");
  r.pickPort(1);
  EXPECT_FALSE(r.form().keyboardWanted());
  r.loop->flush();
  EXPECT_NE(displayName(*r.sounds().EditRecord()), "HWSND1");  // not before the window's idle
  r.window->idle();
  EXPECT_EQ(displayName(*r.sounds().EditRecord()), "HWSND1");
  EXPECT_EQ(r.form().progNameEdit->text(), "HWSND1");
  EXPECT_NE(r.lcdRow(0).find("** SysEx dump received **"), std::string::npos);
  EXPECT_EQ(r.instance->settings().midiInPort, "Loopback A");
  EXPECT_EQ(r.instance->settings().midiOutPort, "Loopback B");

  // The send button uses the remembered output port without asking.
  r.click(*r.form().sysExSendButton);
  EXPECT_EQ(r.host().modalCount(), 0u);
  r.loop->flush();
  const auto got = r.instrument.received();
  ASSERT_EQ(got.size(), 5u);  // pre-message, request, then pre-message, dump, post-send message
  EXPECT_EQ(got[3].size(), 210u);
  EXPECT_EQ(got[4], std::vector<std::uint8_t>(std::begin(CsysexExchange::kPostSendMessage),
                                              std::end(CsysexExchange::kPostSendMessage)));
}

// Without ports there is nothing to choose: the status line says so, and no empty list opens.
TEST(EditorMidi, NoPortsSaysSoOnTheStatusLine) {
  test::EditorRig r;
  r.form().SetMidiExchange(
      std::make_unique<EditorMidi>(r.form(), *r.instance, std::make_shared<LoopbackMidi>(std::vector<std::string>{})));
  r.click(*r.form().sysExSendButton);
  EXPECT_EQ(r.host().modalCount(), 0u);
  EXPECT_EQ(r.form().StatusLabel1->text.rfind("No MIDI output port found", 0), 0u) << r.form().StatusLabel1->text;
  r.click(*r.form().sysExReqButton);
  EXPECT_EQ(r.host().modalCount(), 0u);
  EXPECT_EQ(r.form().StatusLabel1->text.rfind("No MIDI input port found", 0), 0u) << r.form().StatusLabel1->text;
}

TEST(EditorMidi, CancelledPortChoiceAndTheOptions) {
  MidiRig r;
  const ProgramRecord before = *r.sounds().EditRecord();
  r.click(*r.form().sysExReqButton);  // no port remembered: asks
  EXPECT_EQ(r.dialogTitle(), "Select MIDI in port...");
  r.host().pressKey(keys::Escape);
  EXPECT_EQ(r.host().modalCount(), 0u);
  r.loop->flush();
  r.window->idle();
  EXPECT_TRUE(r.instrument.received().empty());
  EXPECT_EQ(std::memcmp(&before, r.sounds().EditRecord(), sizeof before), 0);

  r.host().menuChooser = HeadlessHost::choose("SysEx from the host");
  r.click(*r.form().menuOptImage);
  EXPECT_TRUE(r.instance->settings().sysexFromHost);
  EXPECT_TRUE(r.form().menuOptionsPopup.find("SysEx from the host")->checked);
  r.host().menuChooser = HeadlessHost::chooseTag(500);
  r.click(*r.form().menuOptImage);
  EXPECT_EQ(r.instance->settings().sysexPauseMs, 500);
  EXPECT_TRUE(r.form().menuOptionsPopup.findTag(500)->checked);
  EXPECT_FALSE(r.form().menuOptionsPopup.findTag(200)->checked);
}

}  // namespace
}  // namespace korvo
