#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulatedInstrument.h"
#include "soundMan.h"
#include "sysexExchange.h"

namespace korvo {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Korvo's editor side: the sound memory, the exchange on a loopback whose device 0 leads to the
// simulated instrument, and what the window would have shown.
struct Bench {
  std::shared_ptr<LoopbackMidi> loop = std::make_shared<LoopbackMidi>();
  Ckv_soundMan sounds;
  CsysexExchange ex{sounds, loop};
  test::SimulatedInstrument hw{*loop, 0, 0};
  std::vector<std::string> lcd, status;
  std::vector<int> pauses;
  int refreshes = 0, editChanges = 0;

  Bench() {
    ex.onStatusMessage = [this](const std::string& t) { lcd.push_back(t); };
    ex.onStatusText = [this](const std::string& t) { status.push_back(t); };
    ex.onRefresh = [this] { ++refreshes; };
    ex.runEditChange = [this](const std::function<void()>& f) {
      ++editChanges;
      f();
    };
    ex.pause = [this](int ms) { pauses.push_back(ms); };
  }
  Bytes edit() {
    Bytes b;
    sounds.ProgMan().ExportSingle(Ckv_progMan::EditSlot(), b);
    return b;
  }
  // Lets the loopback deliver, then runs the window's tick.
  bool tick() {
    loop->flush();
    return ex.Poll();
  }
};

Bytes message(std::initializer_list<std::uint8_t> b) { return Bytes(b); }

TEST(SysexExchange, SendGoesOutWithItsFramingMessagesAndPauses) {
  Bench b;
  setRecordName(*b.sounds.EditRecord(), "MINE");
  const Bytes dump = b.edit();
  b.ex.SetPauseMs(350);
  ASSERT_TRUE(b.ex.Send(0));
  b.loop->flush();
  const auto got = b.hw.received();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], message({0xF0, 0x0F, 0x02, 0x00, 0x0E, 0x26, 0xF7}));
  EXPECT_EQ(got[1], dump);
  EXPECT_EQ(got[1].size(), 210u);
  EXPECT_EQ(got[2], message({0xF0, 0x0F, 0x02, 0x00, 0x0E, 0x2F, 0x62, 0xF7}));
  EXPECT_EQ(b.pauses, (std::vector<int>{350, 350}));
  EXPECT_EQ(b.lcd, (std::vector<std::string>{"** SysEx dump sent **"}));
  EXPECT_TRUE(b.status.empty());
  b.ex.SetPauseMs(-5);
  EXPECT_EQ(b.ex.PauseMs(), 0);
}

TEST(SysexExchange, RequestBringsTheInstrumentsSoundIntoTheEditBuffer) {
  Bench b;
  b.sounds.SelectProgram(0);
  ASSERT_FALSE(b.sounds.Modified());
  ASSERT_TRUE(b.ex.Request(0, 0));
  EXPECT_EQ(b.lcd, (std::vector<std::string>{"** Waiting for SysEx dump **"}));
  ASSERT_TRUE(b.tick());
  const auto got = b.hw.received();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1], message({0xF0, 0x0F, 0x02, 0x00, 0x09, 0xF7}));
  EXPECT_EQ(b.pauses, (std::vector<int>{200}));
  EXPECT_EQ(b.edit(), b.hw.sound());
  EXPECT_EQ(recordName(*b.sounds.EditRecord()).substr(0, 6), "HWSND1");
  EXPECT_TRUE(b.sounds.Modified());  // the editor shows its "*C*" marker
  EXPECT_EQ(b.lcd.back(), "** SysEx dump received **");
  EXPECT_EQ(b.refreshes, 1);
  EXPECT_EQ(b.editChanges, 1);
  EXPECT_FALSE(b.ex.Waiting());
  EXPECT_FALSE(b.ex.Poll());  // taken once
}

TEST(SysexExchange, ReceiveTakesOnlyTheFirstMessageAfterArming) {
  Bench b;
  const Bytes before = b.edit();
  // Not waiting: ignored, nothing reported.
  b.hw.reply(b.hw.sound());
  EXPECT_FALSE(b.tick());
  ASSERT_TRUE(b.ex.Receive(0));
  EXPECT_FALSE(b.tick());  // armed, nothing arrived yet
  EXPECT_TRUE(b.ex.Waiting());
  // A flood: the first message wins, the rest are ignored while the window is busy elsewhere.
  Bytes first = b.hw.sound();
  for (int i = 0; i < 500; ++i) b.loop->inject(0, i == 0 ? first : before);
  ASSERT_TRUE(b.tick());
  EXPECT_EQ(b.edit(), first);
  EXPECT_EQ(b.ex.IgnoredMessages(), 499u);
  // The port stays open after the dump, but no longer waits.
  b.hw.reply(b.hw.sound());
  EXPECT_FALSE(b.tick());
  EXPECT_EQ(b.ex.IgnoredMessages(), 500u);
  EXPECT_EQ(b.lcd, (std::vector<std::string>{"** Waiting for SysEx dump **", "** SysEx dump received **"}));
}

TEST(SysexExchange, BadMessagesLeaveTheEditBufferAlone) {
  Bytes bank(8166, 0);
  bank[0] = 0xF0, bank[1] = 0x0F, bank[2] = 0x02, bank[4] = 0x02, bank.back() = 0xF7;
  Bytes wrongMaker;
  Bytes truncated;
  {
    Bench b;
    wrongMaker = b.hw.sound();
    wrongMaker[1] = 0x41;
    truncated.assign(b.hw.sound().begin(), b.hw.sound().begin() + 150);
    truncated.push_back(0xF7);
  }
  for (const Bytes& bad : {bank, wrongMaker, truncated, message({0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7})}) {
    Bench b;
    b.sounds.SelectProgram(0);  // clears the modified flag
    const Bytes before = b.edit();
    ASSERT_TRUE(b.ex.Receive(0));
    b.hw.reply(bad);
    ASSERT_TRUE(b.tick());
    EXPECT_EQ(b.edit(), before);
    EXPECT_FALSE(b.sounds.Modified());
    EXPECT_FALSE(b.ex.Waiting());
    EXPECT_EQ(b.lcd.back(), "** SysEx dump received **");
    ASSERT_EQ(b.status.size(), 1u);
    EXPECT_NE(b.status[0].find("not a Pemmet/Halvet single sound"), std::string::npos);
  }
  // A message longer than the input buffer never arrives and keeps the port armed; a dump that
  // loses its end to a status byte is no message at all.
  Bench b;
  ASSERT_TRUE(b.ex.Receive(0));
  Bytes huge(70000, 0x01);
  huge.front() = 0xF0, huge.back() = 0xF7;
  b.loop->inject(0, huge);
  Bytes cut(b.hw.sound().begin(), b.hw.sound().begin() + 209);
  cut.push_back(0x90);
  b.loop->inject(0, cut);
  EXPECT_FALSE(b.tick());
  EXPECT_TRUE(b.ex.Waiting());
  b.hw.reply(b.hw.sound());
  ASSERT_TRUE(b.tick());
  EXPECT_EQ(b.edit(), b.hw.sound());
}

TEST(SysexExchange, PortTroubleIsSaidOnTheStatusLineOnly) {
  {
    Bench b;
    b.loop->setHeldElsewhere(0, true);
    EXPECT_FALSE(b.ex.Receive(0));
    EXPECT_FALSE(b.ex.Waiting());
    EXPECT_FALSE(b.ex.Send(0));
    EXPECT_TRUE(b.lcd.empty());
    ASSERT_EQ(b.status.size(), 2u);
    EXPECT_EQ(b.status[0],
              "The MIDI input port \"Loopback A\" could not be opened: the port is in use by another program.");
    EXPECT_NE(b.status[1].find("output port \"Loopback A\" could not be opened"), std::string::npos);
  }
  {
    // The output fails after the input was armed: the input stays armed.
    Bench b;
    b.loop->setHeldElsewhere(1, true);
    EXPECT_FALSE(b.ex.Request(1, 0));
    EXPECT_TRUE(b.ex.Waiting());
    EXPECT_EQ(b.lcd, (std::vector<std::string>{"** Waiting for SysEx dump **"}));
    b.loop->setSendFails(true);
    EXPECT_FALSE(b.ex.Send(0));
    EXPECT_EQ(b.lcd.size(), 1u);
    EXPECT_NE(b.status.back().find("Sending to the MIDI output port \"Loopback A\" failed"), std::string::npos);
  }
  {
    Bench b;
    b.loop->setNames({});
    b.ex.Ports().Enumerate();
    EXPECT_FALSE(b.ex.Send(0));
    EXPECT_FALSE(b.ex.Request(0, 0));
    EXPECT_EQ(b.status, (std::vector<std::string>{"No MIDI output port found.", "No MIDI input port found."}));
  }
}

TEST(SysexExchange, ChosenPortsFollowTheirNames) {
  Bench b;
  EXPECT_EQ(b.ex.InputChoice(), -1);
  b.ex.SetInputChoice(1);
  b.ex.SetOutputChoice(0);
  EXPECT_EQ(b.ex.InputChoiceName(), "Loopback B");
  b.loop->setNames({"New device", "Loopback B", "Loopback A"});
  b.ex.Ports().Enumerate();
  EXPECT_EQ(b.ex.InputChoice(), 1);
  EXPECT_EQ(b.ex.OutputChoice(), 2);
  b.ex.RestoreChoices("Loopback A", "Gone");
  EXPECT_EQ(b.ex.InputChoice(), 2);
  EXPECT_EQ(b.ex.OutputChoice(), -1);
  b.ex.SetOutputChoice(7);
  EXPECT_EQ(b.ex.OutputChoiceName(), "");
}

TEST(SysexExchange, HostDumpsAreTakenOnlyWhenTheOptionIsOn) {
  Bench b;
  CsysexHandOff host;
  b.ex.SetHostSource(&host, false);
  const Bytes before = b.edit();
  ASSERT_TRUE(host.Publish(b.hw.sound().data(), b.hw.sound().size()));
  EXPECT_FALSE(b.ex.Poll());
  EXPECT_FALSE(host.Pending());  // dropped while the option is off
  EXPECT_EQ(b.edit(), before);
  b.ex.SetHostSource(&host, true);
  const Bytes other = message({0xF0, 0x43, 0x10, 0xF7});
  ASSERT_TRUE(host.Publish(other.data(), other.size()));
  EXPECT_FALSE(b.ex.Poll());
  ASSERT_TRUE(host.Publish(b.hw.sound().data(), b.hw.sound().size()));
  EXPECT_FALSE(host.Publish(other.data(), other.size()));  // slot still full
  EXPECT_TRUE(b.ex.Poll());
  EXPECT_EQ(b.edit(), b.hw.sound());
  EXPECT_EQ(b.lcd.back(), "** SysEx dump received **");
}

}  // namespace
}  // namespace korvo
