// MIDI learn and program change as the audio thread carries them out.
#include <gtest/gtest.h>

#include <cstring>

#include "countingAllocator.h"
#include "engineFixture.h"

namespace korvo {
namespace {

using test::allocationCount;
using test::peakOf;
using test::testData;

MidiEvent message(int frame, int status, int data1, int data2) {
  MidiEvent e;
  e.status = static_cast<std::uint8_t>(status);
  e.data1 = static_cast<std::uint8_t>(data1);
  e.data2 = static_cast<std::uint8_t>(data2);
  e.frame = frame;
  return e;
}
MidiEvent cc(int frame, int controller, int value) { return message(frame, 0xB2, controller, value); }
MidiEvent programChange(int frame, int program) { return message(frame, 0xC0, program, 0); }
MidiEvent noteOn(int frame, int note) { return message(frame, 0x90, note, 100); }

std::vector<float> play(CplugMaster& e, std::vector<MidiEvent> events, int frames) {
  e.processEvents(events);
  return test::renderLeft(e, frames);
}

TEST(MidiLearnTable, ValuesSpreadOverTheWholeRangeAndOnlyTheNextLearnableControllerTakesTheArmedWord) {
  const ControllerBinding fourNames{200, 0, 3}, wide{168, -64, 63};
  EXPECT_EQ(fourNames.valueFor(0), 0);
  EXPECT_EQ(fourNames.valueFor(127), 3);
  EXPECT_EQ(fourNames.valueFor(42), 1);
  EXPECT_EQ(fourNames.valueFor(85), 2);
  EXPECT_EQ(wide.valueFor(0), -64);
  EXPECT_EQ(wide.valueFor(64), 0);
  EXPECT_EQ(wide.valueFor(127), 63);
  EXPECT_EQ(wide.valueFor(300), 63);

  MidiLearn learn;
  learn.arm(fourNames);
  EXPECT_FALSE(learn.onController(0)) << "bank select";
  EXPECT_FALSE(learn.onController(32));
  EXPECT_FALSE(learn.onController(121)) << "reset all controllers";
  ASSERT_TRUE(learn.onController(74));
  EXPECT_EQ(*learn.binding(74), fourNames);
  EXPECT_FALSE(learn.armed());
  EXPECT_FALSE(learn.onController(71)) << "the armed word went to the first controller";

  // A word keeps one controller: learning it again moves it.
  learn.arm(fourNames);
  learn.onController(71);
  EXPECT_FALSE(learn.binding(74));
  EXPECT_EQ(learn.controllerOf(200), 71);
  learn.forgetWord(200);
  EXPECT_EQ(learn.controllerOf(200), -1);
}

TEST(EngineMidiLearn, ALearnedControllerSetsItsWordAtItsSampleAndStillFeedsTheModulation) {
  constexpr int kCutoff = word::kFilter;  // read when a voice starts
  // A fresh engine with the cutoff at `value`, given one block.
  auto perform = [](int value, std::vector<MidiEvent> events) {
    CplugMaster e(44100, testData());
    e.midiLearn().bind(74, {kCutoff, 0, 127});
    e.soundMan().EditRecord()->words[kCutoff] = static_cast<std::int16_t>(value);
    return play(e, std::move(events), 2048);
  };
  const auto closedFrom50 = perform(0, {noteOn(50, 60)});
  const auto openFrom50 = perform(127, {noteOn(50, 60)});
  ASSERT_NE(closedFrom50, openFrom50) << "the cutoff must be heard";
  EXPECT_EQ(perform(0, {noteOn(50, 60), cc(100, 74, 127)}), closedFrom50) << "the note started before the controller";
  EXPECT_EQ(perform(0, {cc(40, 74, 127), noteOn(50, 60)}), openFrom50);

  CplugMaster e(44100, testData());
  e.midiLearn().bind(74, {kCutoff, 0, 127});
  e.soundMan().Editor().ClearModified();
  const auto changes = e.soundChanges();
  play(e, {cc(10, 74, 64)}, 64);
  EXPECT_EQ(e.soundMan().EditRecord()->words[kCutoff], 64);
  EXPECT_EQ(e.controllerValue(74), 64) << "the modulation source sees the controller too";
  EXPECT_NE(e.soundChanges(), changes);
  EXPECT_TRUE(e.soundMan().Modified());
}

TEST(EngineProgramChange, SelectsFromTheMemoryOnlyWhenOnAndNotRightAfterARestoredState) {
  CplugMaster e(44100, testData());
  ProgramRecord program5;
  std::memcpy(&program5, e.soundMan().ProgMan().RecordAt(Ckv_progMan::SlotOf(5)), sizeof program5);
  auto editIs5 = [&] { return std::memcmp(e.soundMan().EditRecord(), &program5, sizeof program5) == 0; };
  ASSERT_FALSE(editIs5());

  play(e, {programChange(3, 5)}, 64);
  EXPECT_FALSE(editIs5()) << "off by default";

  e.setProgramChangeSelects(true);
  const std::vector<std::uint8_t> saved = e.getChunk();
  ASSERT_TRUE(e.setChunk(saved.data(), saved.size()));
  play(e, {programChange(3, 5)}, 64);
  EXPECT_FALSE(editIs5()) << "the first block after a restored state";

  e.soundMan().Editor().SetModified();
  EXPECT_GT(peakOf(play(e, {noteOn(0, 60)}, 2048)), 0.01f);
  e.midiLearn().bind(74, {word::kFilter, 0, 127});
  const std::vector<MidiEvent> events{cc(0, 0, 1), cc(1, 32, 0), cc(2, 74, 20), programChange(3, 5)};
  std::vector<float> left(64), right(64);
  const std::size_t before = allocationCount();
  e.processEvents(events);
  e.render(true, left.data(), 64, right.data());
  EXPECT_EQ(allocationCount(), before);
  EXPECT_TRUE(editIs5());
  EXPECT_EQ(e.soundMan().CurrentProgram(), 5);
  EXPECT_FALSE(e.soundMan().Modified());
  EXPECT_EQ(e.activeVoiceCount(), 1) << "the sounding note goes on";
}

}  // namespace
}  // namespace korvo
