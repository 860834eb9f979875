// The tools' shared pieces: the command line every tool parses the same way, the event list a host
// hands to a plug-in, and WAV output read back with libsndfile.
#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "commandLine.h"
#include "vstEventBlock.h"
#include "wavFile.h"

using namespace korvo;
using namespace korvo::tools;

namespace {

struct Settings {
  bool quiet = false, sound = true;
  int block = 512;
  float rate = 44100.0f;
  std::string out, file;
};

bool parse(const std::vector<const char*>& words, Settings& s, std::string& error) {
  std::vector<const char*> argv = {"tool"};
  argv.insert(argv.end(), words.begin(), words.end());
  return CommandLine()
      .flag({"-q", "--quiet"}, s.quiet)
      .flag({"--no-sound"}, s.sound, false)
      .option({"--block"}, s.block)
      .option({"--rate"}, s.rate)
      .option({"-o", "--out"}, s.out)
      .help({"-h", "--help"})
      .operand(s.file, "more than one file given")
      .parse(static_cast<int>(argv.size()), argv.data(), error);
}

TEST(ToolCommandLine, OptionsFlagsAndTheOperandAreTakenInAnyOrder) {
  Settings s;
  std::string error;
  ASSERT_TRUE(parse({"song.mid", "-q", "--block", "64", "--no-sound", "-o", "x.wav", "--rate", "48000.5"}, s, error));
  EXPECT_TRUE(s.quiet);
  EXPECT_FALSE(s.sound);
  EXPECT_EQ(s.block, 64);
  EXPECT_EQ(s.rate, 48000.5f);
  EXPECT_EQ(s.out, "x.wav");
  EXPECT_EQ(s.file, "song.mid");
}

TEST(ToolCommandLine, EveryKindOfMistakeIsNamedAndHelpIsNoMistake) {
  const struct {
    std::vector<const char*> words;
    const char* error;
  } cases[] = {
      {{"--block"}, "--block needs a value"},
      {{"--block", "many"}, "bad value 'many' for --block"},
      {{"--rate", "1e99"}, "bad value '1e99' for --rate"},
      {{"-z"}, "unknown option -z"},
      {{"a.mid", "b.mid"}, "more than one file given"},
      {{"--help", "-z"}, ""},
  };
  for (const auto& c : cases) {
    Settings s;
    std::string error = "unset";
    EXPECT_FALSE(parse(c.words, s, error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

TEST(ToolCommandLine, ALenientLineTakesWhatItDoesNotKnowAsOperands) {
  std::vector<std::string> words;
  int program = -1;
  std::string error;
  const char* argv[] = {"tool", "--program", "7", "-x", "data", "--program"};
  ASSERT_TRUE(CommandLine().option({"--program"}, program).operands(words).lenient().parse(6, argv, error));
  EXPECT_EQ(program, 7);
  EXPECT_EQ(words, (std::vector<std::string>{"-x", "data", "--program"}));
}

// A host's list keeps the order and the frames it was given, short messages by value and SysEx
// dumps by reference, and starts again empty after clear.
TEST(ToolVstEventBlock, MessagesKeepTheirOrderFramesAndBytes) {
  const std::vector<std::uint8_t> note = {0x92, 60, 100}, dump = {0xF0, 0x7E, 0x00, 0xF7}, bend = {0xE0, 0x00};
  VstEventBlock block;
  block.add(note, 3);
  block.add(dump, 5);
  block.add(bend, 9);
  vst::VstEvents* list = block.events();
  ASSERT_EQ(list->numEvents, 3);
  ASSERT_EQ(list->events[0]->type, vst::kVstMidiType);
  const auto* m = reinterpret_cast<const vst::VstMidiEvent*>(list->events[0]);
  EXPECT_EQ(m->deltaFrames, 3);
  EXPECT_EQ(static_cast<std::uint8_t>(m->midiData[0]), 0x92);
  EXPECT_EQ(m->midiData[2], 100);
  ASSERT_EQ(list->events[1]->type, vst::kVstSysExType);
  const auto* s = reinterpret_cast<const vst::VstMidiSysexEvent*>(list->events[1]);
  EXPECT_EQ(s->deltaFrames, 5);
  EXPECT_EQ(s->dumpBytes, 4);
  EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(s->sysexDump), dump.data());
  const auto* b = reinterpret_cast<const vst::VstMidiEvent*>(list->events[2]);
  EXPECT_EQ(b->midiData[2], 0) << "a two-byte message leaves the third byte zero";
  block.clear();
  EXPECT_TRUE(block.empty());
  EXPECT_EQ(block.events()->numEvents, 0);
}

// 16-bit output clips at full scale after the gain, float keeps every value, and a file that
// cannot be written is reported and leaves nothing behind.
TEST(ToolWavFile, WrittenFilesReadBackAsGiven) {
  const auto dir = std::filesystem::temp_directory_path() / "korvo-wavfile-test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::vector<float> left = {0.0f, 0.25f, 0.75f, -0.9f}, right = {0.5f, -0.5f, 0.1f, 0.2f, 0.3f};
  std::string error;
  for (WavFormat format : {WavFormat::Pcm16, WavFormat::Pcm24, WavFormat::Float32}) {
    const std::string path = (dir / "out.wav").string();
    ASSERT_TRUE(writeStereoWav(path, left, right, 22050, format, error, 2.0f)) << error;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> frames(8);
    EXPECT_EQ(sf_readf_float(f, frames.data(), 4), 4);
    sf_close(f);
    EXPECT_EQ(info.samplerate, 22050);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.frames, 4) << "the shorter channel's length";
    const float tolerance = format == WavFormat::Float32 ? 0.0f : 1e-4f;
    EXPECT_NEAR(frames[2], 0.5f, tolerance);
    EXPECT_NEAR(frames[3], -1.0f, tolerance);
    if (format == WavFormat::Float32)
      EXPECT_EQ(frames[4], 1.5f);
    else
      EXPECT_NEAR(frames[4], 1.0f, 1e-4f) << "clipped";
  }
  const std::string blocked = (dir / "no-such-folder" / "out.wav").string();
  EXPECT_FALSE(writeStereoWav(blocked, left, right, 22050, WavFormat::Float32, error));
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "only out.wav";
  std::filesystem::remove_all(dir);
}

// Past 4 GiB of samples the header's 32-bit sizes would wrap: the file is RF64 and reads back
// whole. (About 4 GiB on disk for a few seconds.)
TEST(ToolWavFile, OutputPastFourGiBIsRF64) {
  const auto dir = std::filesystem::temp_directory_path() / "korvo-wavfile-rf64";
  std::error_code ec;
  if (std::filesystem::space(std::filesystem::temp_directory_path(), ec).available < (std::uintmax_t{6} << 30))
    GTEST_SKIP() << "less than 6 GiB free in the temporary folder for a file past 4 GiB";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "long.wav").string();
  const std::vector<float> block(1u << 20, 0.25f);
  const std::int64_t frames = (std::int64_t{1} << 29) + (1 << 20);  // 8 bytes a frame: just past 4 GiB
  std::string error;
  StereoWavWriter writer;
  ASSERT_TRUE(writer.open(path, 44100, WavFormat::Float32, error)) << error;
  for (std::int64_t done = 0; done < frames; done += static_cast<std::int64_t>(block.size()))
    ASSERT_TRUE(writer.write(block.data(), block.data(), block.size(), 1.0f, error)) << error;
  ASSERT_TRUE(writer.commit(error)) << error;
  char tag[4] = {};
  std::ifstream(path, std::ios::binary).read(tag, 4);
  EXPECT_EQ(std::string(tag, 4), "RF64");
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(info.frames, frames);
  float last[2] = {};
  sf_seek(f, -1, SEEK_END);
  EXPECT_EQ(sf_readf_float(f, last, 1), 1);
  EXPECT_EQ(last[1], 0.25f);
  sf_close(f);
  std::filesystem::remove_all(dir);
}

}  // namespace
