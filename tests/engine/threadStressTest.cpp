// The engine driven as a host and an open editor drive it: one thread renders and sends MIDI
// (with program changes and a learned controller that rewrite the edit buffer), the other turns
// knobs, plays the on-screen keys, panics, selects programs, loads banks, sets and saves chunks,
// shows the name and learns controllers. Built with the tsan preset this is the race detector's workload; in every
// build it checks that no note-off gets lost on the way.
#include <array>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engineFixture.h"
#include "hostBlock.h"
#include "soundText.h"

using namespace korvo;
using namespace korvo::test;

namespace {

TEST(EngineThreads, EditorAndHostAtOnceRaceNothingAndLoseNoNoteOff) {
  CplugMaster e(44100, testData());
  // Mono play releases only the voice it follows, so switching MONO while notes sound may leave a
  // note held by design; every sound here is polyphonic and the knobs leave MONO alone.
  const int monoWord = word::kMode + word::kModeMono;
  for (int n = -1; n < kProgramCount; ++n) e.soundMan().ProgMan().RecordAt(n + 1)->words[monoWord] = 0;
  std::vector<std::uint8_t> bank(static_cast<std::size_t>(Ckv_soundMan::BankSize()));
  e.soundMan().SaveBank(bank.data());
  const std::vector<std::uint8_t> chunk = e.getChunk();
  std::vector<SoundParam> knobs;
  for (const SoundParam& p : soundParams())
    if (p.word != monoWord) knobs.push_back(p);

  constexpr int kCutoff = word::kFilter;
  e.setProgramChangeSelects(true);
  e.midiLearn().bind(74, {kCutoff, 0, 127});
  std::atomic<bool> editorDone{false};
  std::atomic<long> blocks{0};
  std::thread audio([&] {
    std::minstd_rand rng(7);
    std::array<bool, 128> down{};
    std::vector<float> l(512), r(512);
    HostBlock b;
    const auto start = std::chrono::steady_clock::now();
    long long played = 0;
    auto renderBlock = [&](int frames) {
      e.processEvents(b.list());
      e.render(true, l.data(), frames, r.data());
      b.clear();
      blocks.fetch_add(1, std::memory_order_relaxed);
    };
    while (!editorDone.load(std::memory_order_acquire)) {
      const int frames = 32 + static_cast<int>(rng() % 481);
      for (int i = static_cast<int>(rng() % 5); i > 0; --i) {
        const int note = 36 + static_cast<int>(rng() % 48);
        const auto k = static_cast<std::size_t>(note);
        // Some events lie beyond the block's end, as careless hosts send them.
        b.add(static_cast<int>(rng() % 600), down[k] ? 0x80 : 0x90, note, 100);
        down[k] = !down[k];
      }
      if (rng() % 4 == 0) b.add(static_cast<int>(rng() % 512), 0xB0, 74, static_cast<int>(rng() % 128));
      if (rng() % 16 == 0) b.add(static_cast<int>(rng() % 512), 0xC0, static_cast<int>(rng() % 128), 0);
      renderBlock(frames);
      // At most eight times faster than real time, as a host paces its blocks, so that the
      // events carried over silenced blocks stay far below the parser's capacity.
      played += frames;
      std::this_thread::sleep_until(start + std::chrono::microseconds(played * 1000000 / 44100 / 8));
    }
    for (int note = 0; note < 128; ++note) {
      if (!down[static_cast<std::size_t>(note)]) continue;
      if (b.size() == 8) renderBlock(64);
      b.add(0, 0x80, note, 0);
    }
    for (int i = 0; i < 24; ++i) renderBlock(512);  // the editor's last note-offs and a tail
  });

  std::minstd_rand rng(11);
  std::vector<int> held;
  auto push = [&](int note, int velocity) {
    while (!e.queueKeyboardNote(0, note, velocity)) std::this_thread::yield();
  };
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
  long actions = 0;
  while (std::chrono::steady_clock::now() < end) {
    const unsigned what = rng() % 100;
    if (rng() % 8 == 0) {  // the display and a host saving its project while the audio thread writes
      EXPECT_LE(recordName(*e.soundMan().EditRecord()).size(), 15u);
      EXPECT_EQ(e.getChunk().size(), chunk.size());
      if (rng() % 4 == 0) e.midiLearn().arm({kCutoff, 0, 127});
    }
    if (what < 60) {
      const SoundParam& p = knobs[rng() % knobs.size()];
      e.soundMan().Editor().SetParam(p.word, p.lo + static_cast<int>(rng() % static_cast<unsigned>(p.hi - p.lo + 1)));
    } else if (what < 85) {
      if (!held.empty() && rng() % 2) {
        push(held.back(), 0);
        held.pop_back();
      } else {
        held.push_back(40 + static_cast<int>(rng() % 40));
        push(held.back(), 90);
      }
    } else if (what < 87) {
      while (!e.queuePanic()) std::this_thread::yield();
    } else if (what < 92) {
      CplugMaster::BusyScope busy(e);
      e.soundMan().SelectProgram(static_cast<int>(rng() % 128));
    } else if (what < 95) {
      CplugMaster::BusyScope busy(e);
      e.soundMan().LoadBank(bank.data());
    } else if (what < 98) {
      EXPECT_TRUE(e.setChunk(chunk.data(), chunk.size()));
    } else {
      CplugMaster::BusyScope busy(e);
      e.soundMan().InitEdit();
    }
    ++actions;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  for (int note : held) push(note, 0);
  editorDone.store(true, std::memory_order_release);
  audio.join();

  RecordProperty("blocks", static_cast<int>(blocks.load()));
  RecordProperty("actions", static_cast<int>(actions));
  EXPECT_GT(blocks.load(), 100) << "the two threads overlapped";
  EXPECT_GT(actions, 200);
  for (int n = 0; n < CplugMaster::kMaxVoices; ++n) {
    const auto v = e.voice(n);
    EXPECT_FALSE(v.active && !v.released) << "voice " << n << " still holds note " << v.note;
  }
  for (std::int16_t note : e.heldNotes()) EXPECT_EQ(note, -1);
}

}  // namespace
