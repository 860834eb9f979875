#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "renderSession.h"

using namespace korvo;
using namespace korvo::render;

namespace {

std::filesystem::path folder(const std::string& name) {
  auto dir = std::filesystem::temp_directory_path() / ("korvo-render-" + name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

std::string dataFolder() { return std::string(std::getenv("KORVO_BINARY_DIR")) + "/data"; }

struct Shell {
  int code = -1;
  std::string out;
};

// Runs a command, standard error folded into the output.
Shell shell(const std::string& command) {
  Shell r;
  if (FILE* p = popen((command + " 2>&1").c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  return r;
}

TimedMessage msg(std::int64_t frame, int a, int b, int c) {
  TimedMessage m;
  m.frame = frame;
  m.bytes = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(c)};
  if ((a & 0xF0) == 0xC0) m.bytes.pop_back();
  return m;
}

float peak(const std::vector<float>& v, std::size_t from, std::size_t to) {
  float p = 0;
  for (std::size_t i = from; i < to && i < v.size(); ++i) p = std::max(p, std::fabs(v[i]));
  return p;
}

TEST(RenderSession, EachChannelPlaysItsOwnProgramAndFollowsProgramChanges) {
  SoundPlan plan;
  plan.bank.assign(128, makeInitRecord());
  // Program 1: oscillator 1 an octave up, the others off.
  ProgramRecord& up = plan.bank[1];
  up.words[word::kOsc[0] + word::kOscOct] = static_cast<std::int16_t>(up.words[word::kOsc[0] + word::kOscOct] + 1);
  up.words[word::kDca[1] + word::kDcaEnable] = 0;
  up.words[word::kDca[2] + word::kDcaEnable] = 0;

  RenderOptions options;
  options.dataFolder = dataFolder();
  options.tailSeconds = 0.5;
  // The same note on channels 1 and 2, then channel 2 changes to program 1 and plays it again.
  std::vector<TimedMessage> song = {msg(0, 0x90, 60, 100),   msg(0, 0x91, 60, 100),  msg(22050, 0x80, 60, 0),
                                    msg(22050, 0x81, 60, 0), msg(44100, 0xC1, 1, 0), msg(44100, 0x91, 60, 100),
                                    msg(66150, 0x81, 60, 0)};
  RenderResult both = renderPerformance(song, plan, options);
  EXPECT_TRUE(both.waveRomLoaded);
  EXPECT_EQ(both.channelsUsed, 2);
  ASSERT_EQ(both.left.size(), static_cast<std::size_t>(66150 + 22050));
  EXPECT_GT(peak(both.left, 0, 22050), 0.01f);

  // Channel 2 alone before and after its program change must differ.
  std::vector<TimedMessage> before = {msg(0, 0x91, 60, 100), msg(22050, 0x81, 60, 0)};
  std::vector<TimedMessage> after = {msg(0, 0xC1, 1, 0), msg(0, 0x91, 60, 100), msg(22050, 0x81, 60, 0)};
  RenderResult a = renderPerformance(before, plan, options);
  RenderResult b = renderPerformance(after, plan, options);
  ASSERT_EQ(a.left.size(), b.left.size());
  EXPECT_NE(a.left, b.left);
  EXPECT_GT(peak(b.left, 0, 22050), 0.01f);
}

TEST(RenderSession, AFixedSoundIgnoresProgramChangesAndMissingRomIsReported) {
  SoundPlan plan;
  plan.fixed = makeInitRecord();
  RenderOptions options;
  options.dataFolder = folder("no-rom").string();
  options.tailSeconds = 0.1;
  RenderResult r =
      renderPerformance({msg(0, 0xC0, 5, 0), msg(0, 0x90, 60, 100), msg(4410, 0x80, 60, 0)}, plan, options);
  EXPECT_FALSE(r.waveRomLoaded);
  EXPECT_EQ(r.peak, 0.0f) << "silent oscillators without a wave ROM";
}

TEST(KorvoRenderTool, RendersASongFromItsScoreWithATextSound) {
  auto dir = folder("tool");
  std::ofstream(dir / "song.txt") << "tempo 120\npattern p\n  0 1 A3 100\nend\nplay p 1 0\n";
  ASSERT_EQ(
      shell(std::string(KORVO_DEMO_SONG_EXE) + " " + (dir / "song.txt").string() + " " + (dir / "song.mid").string())
          .code,
      0);
  // Oscillator 1 alone, an octave up: the note A3 sounds as A4.
  std::ofstream(dir / "sound.txt") << "SOUND 0\nNAME = \"TEST\"\nDCA2.ENABLE = 0\nDCA3.ENABLE = 0\nEND\n";
  Shell r =
      shell(std::string(KORVO_RENDER_EXE) + " -q --tail 1 --format float --rate 22050 --text " +
            (dir / "sound.txt").string() + " -o " + (dir / "song.wav").string() + " " + (dir / "song.mid").string());
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("wrote"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1 MIDI channel"), std::string::npos) << r.out;
  // One beat at 120 BPM plus a second of tail, 32-bit float stereo.
  SF_INFO info{};
  SNDFILE* f = sf_open((dir / "song.wav").string().c_str(), SFM_READ, &info);
  ASSERT_NE(f, nullptr);
  std::vector<float> frames(static_cast<std::size_t>(info.frames * info.channels));
  sf_readf_float(f, frames.data(), info.frames);
  sf_close(f);
  EXPECT_EQ(info.samplerate, 22050);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.frames, 22050 / 2 + 22050);
  EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
  EXPECT_GT(peak(frames, 0, frames.size()), 0.01f);
  Shell bad = shell(std::string(KORVO_RENDER_EXE) + " -q --text " + (dir / "song.txt").string() + " -o " +
                    (dir / "other.wav").string() + " " + (dir / "song.mid").string());
  EXPECT_EQ(bad.code, 1) << bad.out;
  EXPECT_FALSE(std::filesystem::exists(dir / "other.wav"));
}

TEST(KorvoRenderTool, BadInputGivesAClearMessageAndNoFile) {
  auto dir = folder("bad");
  const std::string exe = KORVO_RENDER_EXE;
  Shell missing = shell(exe + " -q -o " + (dir / "x.wav").string() + " " + (dir / "none.mid").string());
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.out.find("does not exist"), std::string::npos) << missing.out;
  std::ofstream(dir / "text.mid") << "not a midi file at all";
  Shell notMidi = shell(exe + " -q -o " + (dir / "x.wav").string() + " " + (dir / "text.mid").string());
  EXPECT_EQ(notMidi.code, 1);
  EXPECT_NE(notMidi.out.find("not a readable standard MIDI file"), std::string::npos) << notMidi.out;
  EXPECT_EQ(shell(exe + " --format 20").code, 2);
  EXPECT_EQ(shell(exe + " --program 128").code, 2);
  EXPECT_EQ(shell(exe + " --syx a.syx --text b.txt").code, 2);
  EXPECT_FALSE(std::filesystem::exists(dir / "x.wav"));

  // Sound files are named in what is wrong with them; the output and data folders are checked
  // before anything is rendered.
  std::ofstream(dir / "song.txt") << "tempo 120\npattern p\n  0 1 A3 100\nend\nplay p 1 0\n";
  ASSERT_EQ(
      shell(std::string(KORVO_DEMO_SONG_EXE) + " " + (dir / "song.txt").string() + " " + (dir / "song.mid").string())
          .code,
      0);
  std::ofstream(dir / "empty.syx").close();
  const std::string song = " " + (dir / "song.mid").string();
  const std::string out = " -q -o " + (dir / "x.wav").string();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {out + " --library " + (dir / "text.mid").string() + song, "text.mid' is not a library"},
      {out + " --syx " + (dir / "empty.syx").string() + song, "empty.syx': the file is empty"},
      {out + " --syx " + (dir / "gone.syx").string() + song, "gone.syx': cannot open the file"},
      {" -q -o " + dir.string() + "/" + song, "is a folder"},
      {out + " --data " + (dir / "nowhere").string() + song, "nowhere' does not exist"},
      {out + " --data " + dir.string() + song, "holds no wavrom.bin"},
  };
  for (const auto& [args, said] : cases) {
    Shell r = shell(exe + args);
    EXPECT_EQ(r.code, 1) << args;
    EXPECT_NE(r.out.find(said), std::string::npos) << args << "\n" << r.out;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "x.wav"));
}

}  // namespace
