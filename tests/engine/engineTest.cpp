#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "VSTaux.h"
#include "countingAllocator.h"
#include "engineFixture.h"

using namespace korvo;
using namespace korvo::test;

namespace {

class Engine : public ::testing::Test {
 protected:
  void SetUp() override { engine_ = std::make_unique<CplugMaster>(44100, testData()); }
  ProgramRecord& edit() { return *engine_->soundMan().EditRecord(); }
  void setWord(int index, int value) { edit().words[index] = static_cast<std::int16_t>(value); }
  void note(int n, int velocity = 100) { engine_->keyboardNote(0, n, velocity); }
  void run(int frames) { renderLeft(*engine_, frames); }
  int voiceOf(int n) {
    for (int v = 0; v < 8; ++v)
      if (engine_->voice(v).active && engine_->voice(v).note == n) return v;
    return -1;
  }
  std::unique_ptr<CplugMaster> engine_;
};

TEST_F(Engine, ControlRateAndOutputScale) {
  EXPECT_EQ(engine_->tickPeriod(), 539536);  // round(44100 / 83.54 * 1024) - 1024
  EXPECT_FLOAT_EQ(engine_->outputScale(), 1.0f / std::sqrt(8.0f));
  engine_->setVoiceCount(1);
  EXPECT_FLOAT_EQ(engine_->outputScale(), 1.0f);
  engine_->setVoiceCount(12);
  EXPECT_EQ(engine_->voiceCount(), 8);
  engine_->setSampleRate(48000);
  EXPECT_EQ(engine_->tickPeriod(), static_cast<std::int32_t>(std::lrint(48000.0 / 83.54f * 1024)) - 1024);
}

TEST_F(Engine, NotesSoundAndDieAwayAfterRelease) {
  EXPECT_EQ(peakOf(renderLeft(*engine_, 512)), 0.0f);
  note(60);
  EXPECT_GT(peakOf(renderLeft(*engine_, 8192)), 0.01f);
  EXPECT_EQ(engine_->activeVoiceCount(), 1);
  note(60, 0);
  run(44100 * 3);
  EXPECT_EQ(engine_->activeVoiceCount(), 0);
  EXPECT_EQ(peakOf(renderLeft(*engine_, 512)), 0.0f);
}

TEST_F(Engine, ANinthNoteStealsTheOldestHeldVoiceAfterItsFade) {
  for (int n = 60; n < 68; ++n) {
    note(n);
    run(64);
  }
  EXPECT_EQ(engine_->activeVoiceCount(), 8);
  const int oldest = voiceOf(60);
  ASSERT_GE(oldest, 0);
  note(72);
  EXPECT_EQ(engine_->voice(oldest).note, 60) << "the stolen voice fades first";
  EXPECT_EQ(engine_->voice(oldest).waitingNote, 72);
  run(4410);
  EXPECT_EQ(engine_->voice(oldest).note, 72) << "then the waiting note starts on it";
  EXPECT_EQ(engine_->voice(oldest).waitingNote, -1);
  EXPECT_EQ(engine_->activeVoiceCount(), 8);
}

TEST_F(Engine, MonoPlaysLegatoAndReturnsToTheHeldNote) {
  setWord(word::kMode + word::kModeMono, 1);
  note(60);
  run(2000);
  const int v = voiceOf(60);
  ASSERT_GE(v, 0);
  note(64);
  run(2000);
  EXPECT_EQ(engine_->activeVoiceCount(), 1);
  EXPECT_EQ(engine_->voice(v).note, 64) << "legato on the same voice";
  EXPECT_FALSE(engine_->voice(v).released);
  note(64, 0);
  run(100);
  EXPECT_EQ(engine_->voice(v).note, 60) << "back to the note still held";
  EXPECT_FALSE(engine_->voice(v).released);
  note(60, 0);
  run(100);
  EXPECT_TRUE(engine_->voice(v).released);
}

TEST_F(Engine, MonoLegatoReturnGlidesWhenGlideIsSet) {
  setWord(word::kMode + word::kModeMono, 1);
  setWord(word::kMode + word::kModeGlide, 30);
  note(60);
  run(1000);
  note(67);
  run(1000);
  const int v = voiceOf(67);
  ASSERT_GE(v, 0);
  EXPECT_TRUE(engine_->voice(v).gliding);
  note(67, 0);
  run(100);
  EXPECT_EQ(engine_->voice(v).note, 60);
  EXPECT_TRUE(engine_->voice(v).gliding);
}

TEST_F(Engine, RestartVoiceReusesTheVoiceOfARepeatedNote) {
  note(60);
  run(1000);
  const int first = voiceOf(60);
  note(60);
  // REST.VC off: the old voice is released and a new one plays.
  EXPECT_EQ(engine_->activeVoiceCount(), 2);
  EXPECT_TRUE(engine_->voice(first).released);
  EXPECT_NE(voiceOf(60), -1);

  engine_->reset();
  setWord(word::kMode + word::kModeRestVc, 1);
  note(60);
  run(1000);
  const int v = voiceOf(60);
  note(60);
  EXPECT_EQ(engine_->voice(v).waitingNote, 60) << "queued on the same voice behind a fade";
  run(4410);
  EXPECT_EQ(engine_->activeVoiceCount(), 1);
  EXPECT_EQ(engine_->voice(v).waitingNote, -1);
}

// Two notes: 60 held throughout, 64 played later (so the most recent) and released; the wheel
// moves at every step. The bend each voice applies (its oscillators' pitch modulation, with no
// other pitch source) tells which voices followed the wheel and which bend the others kept.
TEST_F(Engine, BendModesDecideWhoFollowsTheWheel) {
  struct Case {
    const char* name;
    int held, released;  // applied bend of 60 and of 64 at the end, in 1/256 semitone
  } cases[] = {{"ALL", -512, -512},  {"HELD", -512, 64},  {"NEW", 192, -512}, {"NEWH", 192, 64},
               {"HELD2", -512, 192}, {"NEW2", 256, -512}, {"NEWH2", 256, 192}};
  for (int mode = 0; mode < 7; ++mode) {
    const Case& c = cases[mode];
    engine_->reset();
    setWord(word::kBrange, 2);  // a full wheel of 8192 is 2 semitones: b = wheel * 2 / 32
    setWord(word::kBmode, mode);
    for (int i = 0; i < 3; ++i) {
      setWord(word::kOsc[i] + word::kOscMod1Amt, 0);
      setWord(word::kOsc[i] + word::kOscMod2Amt, 0);
    }
    auto wheel = [&](int value) {
      engine_->controller(0, 129, value);
      run(1200);  // two control ticks and more
    };
    engine_->controller(0, 129, 4096);
    note(60);  // starts with 256
    run(1200);
    wheel(3072);  // 192
    note(64);     // starts with 192, and is now the most recent note
    run(1200);
    wheel(1024);  // 64
    note(64, 0);
    wheel(-8192);  // -512
    const int held = voiceOf(60), released = voiceOf(64);
    ASSERT_GE(held, 0) << c.name;
    ASSERT_GE(released, 0) << c.name;
    EXPECT_EQ(engine_->chip().oscillator(held, 0).pitchModulation, c.held) << c.name << ": note 60, held";
    EXPECT_EQ(engine_->chip().oscillator(released, 0).pitchModulation, c.released) << c.name << ": note 64, released";
  }
}

TEST_F(Engine, AllNotesOffSilencesAtOnce) {
  note(60);
  note(64);
  run(4000);
  engine_->controller(0, 123, 0);
  EXPECT_EQ(engine_->activeVoiceCount(), 0);
  EXPECT_EQ(peakOf(renderLeft(*engine_, 256)), 0.0f);
}

TEST_F(Engine, ControllersAreStoredAndBadChannelsIgnored) {
  engine_->controller(0, 1, 99);
  engine_->controller(0, 128, 77);
  engine_->controller(0, 129, -8192);
  engine_->controller(16, 2, 55);
  engine_->controller(0, -3, 55);
  engine_->controller(0, 130, 55);
  EXPECT_EQ(engine_->controllerValue(1), 99);
  EXPECT_EQ(engine_->controllerValue(128), 77);
  EXPECT_EQ(engine_->controllerValue(129), -8192);
  EXPECT_EQ(engine_->controllerValue(2), 0);
  EXPECT_EQ(engine_->controllerValue(-1), 0);
  engine_->reset();
  EXPECT_EQ(engine_->controllerValue(1), 0);
  EXPECT_EQ(engine_->controllerValue(129), 0);
}

TEST_F(Engine, AccumulateModeAddsAndNullBuffersAreRefused) {
  note(69);
  std::vector<float> l(256, 1.0f), r(256, 1.0f);
  engine_->render(false, l.data(), 256, r.data());
  float moved = 0;
  for (float s : l) moved = std::max(moved, std::fabs(s - 1.0f));
  EXPECT_GT(moved, 0.0f);
  // A null buffer or no frames: nothing written, and the voices do not move on.
  const int v = voiceOf(69);
  ASSERT_GE(v, 0);
  const std::uint32_t age = engine_->voice(v).age;
  std::fill(l.begin(), l.end(), 7.0f);
  std::fill(r.begin(), r.end(), 7.0f);
  engine_->render(true, nullptr, 256, r.data());
  engine_->render(true, l.data(), 256, nullptr);
  engine_->render(true, l.data(), 0, r.data());
  engine_->render(true, l.data(), -5, r.data());
  EXPECT_EQ(std::count(l.begin(), l.end(), 7.0f), 256);
  EXPECT_EQ(std::count(r.begin(), r.end(), 7.0f), 256);
  EXPECT_EQ(engine_->voice(v).age, age);
  engine_->render(true, l.data(), 256, r.data());
  EXPECT_EQ(engine_->voice(v).age, age - 256) << "a real block does move on";
}

TEST_F(Engine, WhileBusyTheRenderIsSilentAndTouchesNothing) {
  note(60);
  run(2000);
  const auto before = engine_->voice(voiceOf(60));
  std::vector<float> l(256, 0.5f), r(256, 0.5f);
  {
    CplugMaster::BusyScope busy(*engine_);
    EXPECT_TRUE(engine_->busy());
    engine_->render(false, l.data(), 256, r.data());
    for (float s : l) ASSERT_EQ(s, 0.5f) << "accumulate mode leaves the buffers";
    engine_->render(true, l.data(), 256, r.data());
    for (float s : l) ASSERT_EQ(s, 0.0f) << "replace mode writes zeros";
  }
  EXPECT_FALSE(engine_->busy());
  EXPECT_EQ(engine_->voice(voiceOf(60)).age, before.age) << "no voice ran while busy";
  EXPECT_GT(peakOf(renderLeft(*engine_, 512)), 0.0f);
}

TEST_F(Engine, HostEventsOfASilencedBlockArePlayedInTheNextOne) {
  note(60);
  run(2000);
  MidiEvent off;
  off.frame = 100;
  off.status = 0x80;
  off.data1 = 60;
  const std::span<const MidiEvent> list(&off, 1), none;
  {
    CplugMaster::BusyScope busy(*engine_);
    engine_->processEvents(list);
    run(256);
    EXPECT_TRUE(engine_->queueKeyboardNote(0, 64, 100));
    run(256);
  }
  engine_->processEvents(none);  // the host's next block has no events
  EXPECT_FALSE(engine_->voice(voiceOf(60)).released);
  run(1);
  EXPECT_TRUE(engine_->voice(voiceOf(60)).released) << "the note-off reached the voice at the first frame";
  EXPECT_GE(voiceOf(64), 0) << "the editor's note waited for a block that plays";

  // A block of no frames does not drop its events either.
  off.data1 = 64;
  engine_->processEvents(list);
  engine_->render(true, nullptr, 0, nullptr);
  engine_->processEvents(none);
  run(1);
  EXPECT_TRUE(engine_->voice(voiceOf(64)).released);
}

TEST_F(Engine, AFullEditorQueueStillTakesReleasesAndPanicsAndEmptiesInOneBlock) {
  std::size_t ons = 0;
  while (engine_->queueKeyboardNote(0, 60, 100)) ++ons;
  EXPECT_EQ(ons, CplugMaster::kEditorQueueSize - CplugMaster::kEditorReserve);
  for (std::size_t i = 1; i < CplugMaster::kEditorReserve; ++i) EXPECT_TRUE(engine_->queueKeyboardNote(0, 60, 0));
  EXPECT_TRUE(engine_->queuePanic());
  EXPECT_FALSE(engine_->queueKeyboardNote(0, 60, 0)) << "full";
  run(1);
  EXPECT_EQ(engine_->activeVoiceCount(), 0) << "the panic came last";
  EXPECT_TRUE(engine_->queueKeyboardNote(0, 60, 100));
}

TEST_F(Engine, RenderLeavesTheCallersFloatingPointStateAlone) {
  const FpControl before = readFpControl();
  note(60);
  run(1024);
  EXPECT_EQ(readFpControl().mxcsr & ~0x3Fu, before.mxcsr & ~0x3Fu);
}

TEST_F(Engine, RenderAndEventsAllocateNothing) {
  // Every voice busy, stolen, gliding and bent, with events arriving through the parser.
  setWord(word::kMode + word::kModeGlide, 20);
  std::vector<float> l(512), r(512);
  std::vector<MidiEvent> list(20);
  for (std::size_t i = 0; i < list.size(); ++i) {
    list[i].frame = static_cast<std::int32_t>(i * 20);
    list[i].status = i % 5 == 4 ? 0xE0 : 0x90;
    list[i].data1 = static_cast<std::uint8_t>(48 + i);
    list[i].data2 = 100;
  }
  const std::size_t before = allocationCount();
  for (int block = 0; block < 40; ++block) {
    engine_->processEvents(list);
    engine_->render(true, l.data(), 512, r.data());
  }
  EXPECT_EQ(allocationCount(), before);
  EXPECT_EQ(engine_->activeVoiceCount(), 8);
}

TEST(EngineRate, ARateChangeBetweenBlocksGivesTheSameAudioWhateverTheBlockSizes) {
  // The same performance, once in small blocks and once in one block per stretch.
  auto perform = [&](int block) {
    CplugMaster e(44100, testData());
    std::vector<float> out;
    auto play = [&](int frames) {
      for (int done = 0; done < frames; done += block) {
        const auto part = renderLeft(e, std::min(block, frames - done));
        out.insert(out.end(), part.begin(), part.end());
      }
    };
    e.keyboardNote(0, 64, 100);
    play(3000);
    e.setSampleRate(96000);  // a full reset: the sounding note is gone
    EXPECT_EQ(e.activeVoiceCount(), 0);
    e.keyboardNote(0, 57, 90);
    play(9600);
    return out;
  };
  const auto small = perform(64);
  const auto large = perform(100000);
  EXPECT_EQ(small, large);
  EXPECT_GT(peakOf(std::vector<float>(small.begin() + 3000, small.end())), 0.01f);
}

TEST(EngineWithTruncatedRom, UsesWhatIsThereAndStaysFinite) {
  std::vector<std::uint8_t> rom;
  ASSERT_GT(readWholeFile(generatedDataFolder() + "/wavrom.bin", rom), 0u);
  rom.resize(70000);  // the first bank and a bit
  CplugMaster engine(44100, EngineData{rom, {}});
  for (int wave = 0; wave < 75; wave += 7) {
    engine.soundMan().EditRecord()->words[word::kOsc[0] + word::kOscWave] = static_cast<std::int16_t>(wave);
    engine.keyboardNote(0, 40 + wave % 40, 100);
    for (float s : renderLeft(engine, 2048)) ASSERT_TRUE(std::isfinite(s));
  }
}

TEST(EngineWithoutRom, PlaysSilence) {
  CplugMaster engine(44100, testData(false));
  engine.keyboardNote(0, 60, 100);
  EXPECT_EQ(peakOf(renderLeft(engine, 4096)), 0.0f);
  EXPECT_EQ(engine.activeVoiceCount(), 1);
}

}  // namespace
