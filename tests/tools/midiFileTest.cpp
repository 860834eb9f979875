// The tools' MIDI file reader on hand-made files: what a song needs is read, SysEx is left out
// without confusing the parser behind it (or kept for a host that asks for it), and malformed or
// absurd files give an error.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "midiFile.h"

using namespace korvo::tools;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes smf(std::uint16_t format, std::uint16_t division, const std::vector<Bytes>& tracks) {
  Bytes f = {'M',
             'T',
             'h',
             'd',
             0,
             0,
             0,
             6,
             0,
             static_cast<std::uint8_t>(format),
             0,
             static_cast<std::uint8_t>(tracks.size()),
             static_cast<std::uint8_t>(division >> 8),
             static_cast<std::uint8_t>(division)};
  for (const Bytes& t : tracks) {
    const std::size_t n = t.size();
    f.insert(f.end(), {'M', 'T', 'r', 'k', static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
                       static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
    f.insert(f.end(), t.begin(), t.end());
  }
  return f;
}

const Bytes kTempo = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};  // 500000 us a beat
const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};

Bytes track(Bytes events) {
  Bytes t = kTempo;
  t.insert(t.end(), events.begin(), events.end());
  t.insert(t.end(), kEnd.begin(), kEnd.end());
  return t;
}

bool read(const Bytes& file, std::vector<TimedMessage>& out, std::string& error) {
  return readMidiBytes(file.data(), file.size(), 44100, "test.mid", out, error);
}

TEST(MidiFile, ReadsChannelMessagesAtTheirTimeAndLeavesSysExOut) {
  // 96 pulses a beat: a note at beat 0, its running-status release at beat 1; a SysEx and a SysEx
  // continuation (F7) between them, each half a beat long.
  const Bytes file = smf(0, 96, {track({0x00, 0x90, 0x3C, 0x64,              //
                                        0x30, 0xF0, 0x03, 0x7E, 0x00, 0xF7,  //
                                        0x30, 0xF7, 0x02, 0x01, 0xF7,        //
                                        0x00, 0x90, 0x3C, 0x00,              //
                                        0x00, 0x3E, 0x50})});                // running status after a channel message
  std::vector<TimedMessage> out;
  std::string error;
  ASSERT_TRUE(read(file, out, error)) << error;
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].frame, 0);
  EXPECT_EQ(out[1].frame, 22050) << "the SysEx events' time is kept";
  EXPECT_EQ(out[1].bytes[0], 0x90);
  EXPECT_EQ(out[2].bytes[1], 0x3E);
  EXPECT_EQ(out[2].frame, 22050);
}

TEST(MidiFile, MalformedAndAbsurdFilesGiveAnErrorAndNothing) {
  const struct {
    const char* name;
    Bytes file;
    const char* message;
  } cases[] = {
      {"header only", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0}, "header"},
      {"no end", smf(0, 96, {Bytes{0x00, 0x90, 0x3C, 0x64}}), "without its end"},
      {"data after a meta event", smf(0, 96, {track({0x00, 0x3C, 0x64})}), "data byte"},
      {"cut channel message", smf(0, 96, {Bytes{0x00, 0x90, 0x3C}}), "cut short"},
      {"wrong tempo length", smf(0, 96, {Bytes{0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1, 0x00, 0xFF, 0x2F, 0x00}}), "length"},
      {"SMPTE", smf(0, 0xE728, {track({0x00, 0x90, 0x3C, 0x64})}), "SMPTE"},
      {"years long",
       smf(1, 1,
           {track({0x00, 0x90, 0x3C, 0x64}), Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00}}),
       "runs longer than 2 hours"},
      {"no notes", smf(0, 96, {track({})}), "no MIDI notes"},
  };
  for (const auto& c : cases) {
    std::vector<TimedMessage> out;
    std::string error;
    EXPECT_FALSE(read(c.file, out, error)) << c.name;
    EXPECT_TRUE(out.empty()) << c.name;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
  }
}

// Type 1: the tracks play together (at one time, the lower track first), and a tempo change in the
// first track holds for all of them from its pulse on.
TEST(MidiFile, TracksMergeByTimeAndShareTheTempoMap) {
  const Bytes file = smf(1, 96,
                         {track({0x60, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90}),  // 250000 us a beat from beat 1
                          track({0x60, 0x91, 0x40, 0x64, 0x60, 0x81, 0x40, 0x00}), track({0x60, 0x92, 0x43, 0x64})});
  std::vector<TimedMessage> out;
  std::string error;
  ASSERT_TRUE(read(file, out, error)) << error;
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].bytes[0], 0x91);
  EXPECT_EQ(out[1].bytes[0], 0x92) << "same pulse: the lower track first";
  EXPECT_EQ(out[0].frame, 22050) << "beat 1 at the old tempo";
  EXPECT_EQ(out[2].frame, 22050 + 11025) << "beat 2 a quarter second later";
}

// A long file loads in time that grows with its size alone.
TEST(MidiFile, AMillionEventsLoadInLinearTime) {
  auto fileOf = [](std::size_t notes) {
    Bytes events;
    events.reserve(notes * 4);
    for (std::size_t i = 0; i < notes; ++i)
      events.insert(events.end(), {0x01, 0x90, 0x3C, static_cast<std::uint8_t>(i & 1 ? 0 : 0x64)});
    return smf(1, 960, {track({}), track(events)});
  };
  auto seconds = [](const Bytes& file, std::size_t& count) {
    std::vector<TimedMessage> out;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(read(file, out, error)) << error;
    count = out.size();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  std::size_t count = 0;
  const double million = seconds(fileOf(1000000), count);
  EXPECT_EQ(count, 1000000u);
  // Under the sanitizers too; a reader that removes events one by one needs minutes here.
  EXPECT_LT(million, 20.0);
}

// What vsthost asks for: a file's SysEx dumps go to the plug-in whole (a dump whose end comes in a
// continuation is closed), continuations stay out, and a file with nothing to play is no error.
TEST(MidiFile, AHostGetsTheSysExDumpsAndMayReadAnEmptyFile) {
  MidiFileOptions host;
  host.sysEx = true;
  host.needMessages = false;
  const Bytes file = smf(0, 96,
                         {track({0x00, 0xF0, 0x03, 0x7E, 0x00, 0xF7,  //
                                 0x30, 0xF0, 0x02, 0x43, 0x10,        //
                                 0x00, 0xF7, 0x01, 0xF7,              //
                                 0x30, 0x90, 0x3C, 0x64})});
  std::vector<TimedMessage> out;
  std::string error;
  ASSERT_TRUE(readMidiBytes(file.data(), file.size(), 44100, "dumps.mid", out, error, host)) << error;
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].bytes, (Bytes{0xF0, 0x7E, 0x00, 0xF7}));
  EXPECT_EQ(out[1].bytes, (Bytes{0xF0, 0x43, 0x10, 0xF7}));
  EXPECT_EQ(out[1].frame, 11025);
  EXPECT_EQ(out[2].bytes, (Bytes{0x90, 0x3C, 0x64}));
  EXPECT_EQ(out[2].frame, 22050);

  const Bytes empty = smf(0, 96, {track({})});
  EXPECT_TRUE(readMidiBytes(empty.data(), empty.size(), 44100, "empty.mid", out, error, host)) << error;
  EXPECT_EQ(out.size(), 3u) << "nothing added";
}

}  // namespace
