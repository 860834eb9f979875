#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "countingAllocator.h"
#include "midiParser.h"

using namespace korvo;

namespace {

// A block's events in the order given.
class HostList {
 public:
  HostList& midi(int frame, int status, int d1, int d2, int noteOffVelocity = 0) {
    MidiEvent e;
    e.frame = frame;
    e.status = static_cast<std::uint8_t>(status);
    e.data1 = static_cast<std::uint8_t>(d1);
    e.data2 = static_cast<std::uint8_t>(d2);
    e.noteOffVelocity = static_cast<std::uint8_t>(noteOffVelocity);
    events_.push_back(e);
    return *this;
  }
  HostList& sysex(int frame, std::vector<std::uint8_t>* dump = nullptr) {
    MidiEvent e;
    e.kind = MidiEvent::SysEx;
    e.frame = frame;
    if (dump) {
      e.sysex = dump->data();
      e.sysexSize = static_cast<std::int32_t>(dump->size());
    }
    events_.push_back(e);
    return *this;
  }
  std::span<const MidiEvent> events() const { return events_; }

 private:
  std::vector<MidiEvent> events_;
};

// Records every handler call with the sample it happened before.
struct Recorder {
  std::vector<std::string> log;
  int sample = 0;
  void attach(CMidiParser& p, bool withNoteOff = false) {
    p.setHandlers([this](int ch, int note, int vel) { add("note", ch, note, vel); },
                  withNoteOff
                      ? CMidiParser::NoteHandler([this](int ch, int note, int vel) { add("off", ch, note, vel); })
                      : CMidiParser::NoteHandler(),
                  [this](int ch, int index, int value) { add("ctl", ch, index, value); },
                  [this](int value) { add("sys", 0, 0, value); });
  }
  void add(const char* what, int a, int b, int c) {
    log.push_back("@" + std::to_string(sample) + " " + what + " " + std::to_string(a) + " " + std::to_string(b) + " " +
                  std::to_string(c));
  }
  void play(CMidiParser& p, int frames) {
    p.beginBlock();
    for (sample = 0; sample < frames; ++sample) p.sample();
    sample = frames;
    p.endBlock();
  }
};

TEST(MidiParser, TranslatesEveryStatusAsTheTableSays) {
  HostList list;
  list.midi(0, 0x91, 60, 100)
      .midi(0, 0x92, 61, 0, 45)  // note on with velocity 0: a note off with the release velocity
      .midi(0, 0x83, 62, 70)
      .midi(0, 0xB4, 7, 99)
      .midi(0, 0xD5, 33, 0)
      .midi(0, 0xE6, 0, 64)
      .midi(0, 0xE6, 127, 127)
      .midi(0, 0xE6, 0, 0)
      .midi(0, 0xFC, 0, 0)
      .midi(0, 0xFF, 0, 0)
      .midi(0, 0xF8, 0, 0);
  CMidiParser p;
  p.fill(list.events());
  ASSERT_EQ(p.size(), 11u);
  struct Expect {
    int type, channel, data, index, value;
  } expected[] = {{1, 1, 60, 0, 100}, {2, 2, 61, 0, 45}, {2, 3, 62, 0, 70},    {4, 4, 7, 7, 99},
                  {4, 5, 0, 128, 33}, {4, 6, 0, 129, 0}, {4, 6, 0, 129, 8191}, {4, 6, 0, 129, -8192},
                  {32, 0, 0, 0, 0},   {32, 0, 0, 0, 0},  {0, 0, 0, 0, 0}};
  for (std::size_t i = 0; i < p.size(); ++i) {
    const MidiItem& it = p.item(i);
    EXPECT_EQ(it.type, expected[i].type) << i;
    EXPECT_EQ(it.channel, expected[i].channel) << i;
    EXPECT_EQ(it.data, expected[i].data) << i;
    EXPECT_EQ(it.controllerIndex, expected[i].index) << i;
    EXPECT_EQ(it.value, expected[i].value) << i;
  }
}

TEST(MidiParser, DispatchesEachItemJustBeforeItsSample) {
  HostList list;
  list.midi(0, 0x90, 60, 100).midi(5, 0x90, 64, 90).midi(5, 0xB0, 1, 10).midi(9, 0x80, 60, 0);
  CMidiParser p;
  Recorder r;
  r.attach(p);
  p.fill(list.events());
  r.play(p, 16);
  EXPECT_EQ(r.log,
            (std::vector<std::string>{"@0 note 0 60 100", "@5 note 0 64 90", "@5 ctl 0 1 10", "@9 note 0 60 0"}));
}

TEST(MidiParser, NoteOffsGoToTheirOwnHandlerWithoutReleaseVelocity) {
  HostList list;
  list.midi(2, 0x80, 60, 99).midi(3, 0x90, 61, 0, 77);
  CMidiParser p;
  Recorder r;
  r.attach(p, true);
  p.fill(list.events());
  r.play(p, 8);
  EXPECT_EQ(r.log, (std::vector<std::string>{"@2 off 0 60 0", "@3 off 0 61 0"}));
}

TEST(MidiParser, DroppedMessagesDoNotShiftTheTiming) {
  HostList list;
  list.midi(1, 0xC3, 5, 0).midi(2, 0xA0, 60, 10).sysex(3).midi(4, 0x90, 60, 100);
  CMidiParser p;
  Recorder r;
  r.attach(p);
  p.fill(list.events());
  r.play(p, 8);
  EXPECT_EQ(r.log, (std::vector<std::string>{"@4 note 0 60 100"}));  // no program handler: dropped
  p.setProgramHandler([&r](int ch, int program) { r.add("prog", ch, program, 0); });
  p.fill(list.events());
  r.log.clear();
  r.play(p, 8);
  EXPECT_EQ(r.log, (std::vector<std::string>{"@1 prog 3 5 0", "@4 note 0 60 100"}));
}

TEST(MidiParser, AnEventOutOfOrderIsPlayedWithItsPredecessorAndNothingIsLost) {
  HostList list;
  list.midi(6, 0x90, 60, 100).midi(3, 0x90, 62, 100).midi(7, 0x80, 60, 0).midi(-4, 0x80, 62, 0);
  CMidiParser p;
  Recorder r;
  r.attach(p);
  p.fill(list.events());
  r.play(p, 10);
  EXPECT_EQ(r.log,
            (std::vector<std::string>{"@6 note 0 60 100", "@6 note 0 62 100", "@7 note 0 60 0", "@7 note 0 62 0"}));
}

TEST(MidiParser, EventsBeyondTheBlockArePlayedAtItsEndNotLost) {
  HostList list;
  list.midi(2, 0x90, 60, 100).midi(64, 0x80, 60, 0);
  CMidiParser p;
  Recorder r;
  r.attach(p);
  p.fill(list.events());
  r.play(p, 32);
  EXPECT_EQ(r.log, (std::vector<std::string>{"@2 note 0 60 100", "@32 note 0 60 0"}));
  EXPECT_EQ(p.size(), 0u);
}

TEST(MidiParser, FillReplacesAnUnplayedListAndToleratesEmptyOnes) {
  CMidiParser p;
  Recorder r;
  r.attach(p);
  HostList first, second;
  first.midi(0, 0x90, 50, 1);
  second.midi(1, 0x90, 51, 2);
  p.fill(first.events());
  p.fill(second.events());
  r.play(p, 4);
  EXPECT_EQ(r.log, (std::vector<std::string>{"@1 note 0 51 2"}));
  p.fill({});
  HostList none;
  p.fill(none.events());
  r.log.clear();
  r.play(p, 4);
  EXPECT_TRUE(r.log.empty());
}

TEST(MidiParser, ItemsOfSkippedBlocksArePlayedFirstAtFrameZeroInOrder) {
  CMidiParser p;
  Recorder r;
  r.attach(p);
  HostList first, second, third;
  first.midi(5, 0x90, 50, 1).midi(9, 0x80, 50, 0);
  second.midi(3, 0x90, 51, 2);
  third.midi(2, 0x80, 51, 0);
  p.fill(first.events());
  p.skipBlock();  // two silent blocks in a row
  p.fill(second.events());
  p.skipBlock();
  p.fill(third.events());
  p.fill(third.events());  // a second fill before any block keeps what was carried
  r.play(p, 4);
  EXPECT_EQ(r.log, (std::vector<std::string>{"@0 note 0 50 1", "@0 note 0 50 0", "@0 note 0 51 2", "@2 note 0 51 0"}));
  // Played items are not carried again.
  r.log.clear();
  p.fill({});
  r.play(p, 4);
  EXPECT_TRUE(r.log.empty());
}

TEST(MidiParser, DataBytesWithTheTopBitSetAreMaskedAndCapacityIsBounded) {
  HostList list;
  list.midi(0, 0x90, 0xBC, 0xE4);  // a careless host: both data bytes carry bit 7
  for (std::size_t i = 0; i < CMidiParser::kCapacity + 10; ++i) list.midi(1, 0xB0, 1, 1);
  CMidiParser p;
  p.fill(list.events());
  EXPECT_EQ(p.size(), CMidiParser::kCapacity);
  EXPECT_EQ(p.item(0).data, 0x3C);
  EXPECT_EQ(p.item(0).value, 0x64);
}

}  // namespace

TEST(MidiParser, SingleDumpsFromTheHostAreHandedOnWithoutAllocating) {
  std::vector<std::uint8_t> single(210, 0x01), bank(8166, 0x01), other = {0xF0, 0x43, 0x10, 0x4C, 0x01, 0xF7};
  for (auto* d : {&single, &bank}) (*d)[0] = 0xF0, (*d)[1] = 0x0F, (*d)[2] = 0x02, (*d)[3] = 0x00, d->back() = 0xF7;
  single[4] = 0x01;
  bank[4] = 0x02;
  HostList list;
  list.sysex(0, &other).sysex(1, &bank).sysex(1).sysex(2, &single).midi(3, 0x90, 60, 100);
  CMidiParser p;
  Recorder r;
  r.attach(p);
  p.fill(list.events());
  EXPECT_FALSE(p.hostSysEx().Pending());  // switched off: skipped as before
  p.setSysExTaken(true);
  const std::size_t before = test::allocationCount();
  p.fill(list.events());
  p.fill(list.events());  // the slot is still full: the second copy is dropped
  EXPECT_EQ(test::allocationCount(), before);
  EXPECT_EQ(p.size(), 1u);
  std::vector<std::uint8_t> got;
  EXPECT_TRUE(p.hostSysEx().Take([&](const std::uint8_t* d, std::size_t n) { got.assign(d, d + n); }));
  EXPECT_EQ(got, single);
  EXPECT_EQ(p.hostSysEx().Dropped(), 1u);
  r.play(p, 4);
  EXPECT_EQ(r.log, (std::vector<std::string>{"@3 note 0 60 100"}));
}
