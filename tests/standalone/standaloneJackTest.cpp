// The korvo program against a JACK server with its dummy driver: a client of the test plays a
// note into Korvo's MIDI port and records its outputs; SIGTERM ends the program with its files
// written; a device that cannot be opened leaves it running silent.
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "builtInData.h"
#include "pitchEstimate.h"
#include "plugInstance.h"
#include "settingsStore.h"
#include "standaloneProcess.h"
#include "xvfbDisplay.h"

namespace korvo {
namespace {

using namespace satest;
namespace fs = std::filesystem;

constexpr int kRate = 48000;
constexpr int kNote = 69;
constexpr std::size_t kNoteFrames = kRate;        // held for one second
constexpr std::size_t kRecordFrames = 4 * kRate;  // and recorded for four

// A JACK client that sends a note to Korvo's MIDI input at the start of its recording and
// records Korvo's two outputs.
class NoteRecorder {
 public:
  explicit NoteRecorder(const std::string& server) : client_(jackClient(server, "recorder")) {
    if (!client_) return;
    in_[0] = jack_port_register(client_, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    in_[1] = jack_port_register(client_, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    midi_ = jack_port_register(client_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    left.assign(kRecordFrames, 0.0f);
    right.assign(kRecordFrames, 0.0f);
    jack_set_process_callback(
        client_, [](jack_nframes_t n, void* self) { return static_cast<NoteRecorder*>(self)->process(n); }, this);
    jack_activate(client_);
  }
  ~NoteRecorder() {
    if (client_) jack_client_close(client_);
  }
  bool ok() const { return client_ && in_[0] && in_[1] && midi_; }
  bool connect() {
    const std::string me = jack_get_client_name(client_);
    return jack_connect(client_, (me + ":midi_out").c_str(), "Korvo:midi_in") == 0 &&
           jack_connect(client_, "Korvo:out_1", (me + ":in_1").c_str()) == 0 &&
           jack_connect(client_, "Korvo:out_2", (me + ":in_2").c_str()) == 0;
  }
  void start() { armed_ = true; }
  bool done() const { return done_; }
  int periodFrames() const { return static_cast<int>(jack_get_buffer_size(client_)); }

  std::vector<float> left, right;

 private:
  int process(jack_nframes_t n) {
    void* out = jack_port_get_buffer(midi_, n);
    jack_midi_clear_buffer(out);
    if (!armed_ || done_) return 0;
    const auto* l = static_cast<const float*>(jack_port_get_buffer(in_[0], n));
    const auto* r = static_cast<const float*>(jack_port_get_buffer(in_[1], n));
    if (recorded_ == 0) {
      const unsigned char on[3] = {0x90, kNote, 100};
      jack_midi_event_write(out, 0, on, 3);
    }
    if (recorded_ <= kNoteFrames && kNoteFrames < recorded_ + n) {
      const unsigned char off[3] = {0x80, kNote, 0};
      jack_midi_event_write(out, static_cast<jack_nframes_t>(kNoteFrames - recorded_), off, 3);
    }
    for (jack_nframes_t i = 0; i < n && recorded_ < kRecordFrames; ++i, ++recorded_) {
      left[recorded_] = l[i];
      right[recorded_] = r[i];
    }
    if (recorded_ == kRecordFrames) done_ = true;
    return 0;
  }

  jack_client_t* client_;
  jack_port_t* in_[2] = {nullptr, nullptr};
  jack_port_t* midi_ = nullptr;
  std::atomic<bool> armed_{false}, done_{false};
  std::size_t recorded_ = 0;
};

double peak(const std::vector<float>& v, std::size_t from, std::size_t to) {
  double p = 0;
  for (std::size_t i = from; i < std::min(to, v.size()); ++i) p = std::max(p, static_cast<double>(std::fabs(v[i])));
  return p;
}

std::size_t firstSound(const std::vector<float>& v) {
  for (std::size_t i = 0; i < v.size(); ++i)
    if (std::fabs(v[i]) > 1e-4f) return i;
  return v.size();
}

// The same note through an instance of this process, on the same data, for its pitch.
std::vector<float> referenceNote() {
  InstanceEnvironment env = withBuiltInData();
  env.saveOnDestroy = false;
  CplugInstance instance(kRate, env);
  std::vector<float> l(kRecordFrames), r(kRecordFrames);
  const std::size_t block = 250;  // the note-off falls on a block start
  for (std::size_t at = 0; at < kRecordFrames; at += block) {
    MidiEvent e;
    if (at == 0) e = MidiEvent{MidiEvent::Short, 0x90, kNote, 100};
    if (at == kNoteFrames) e = MidiEvent{MidiEvent::Short, 0x80, kNote, 0};
    instance.processEvents(std::span<const MidiEvent>(&e, e.status ? 1 : 0));
    instance.render(true, l.data() + at, static_cast<int>(block), r.data() + at);
  }
  return l;
}

TEST(Standalone, PlaysANoteFromItsJackMidiPortAtItsPitchAndEndsItAndWritesItsFilesOnSigterm) {
  DummyJack jack;
  if (!onPath("jackd")) GTEST_SKIP() << "jackd is not installed";
  ASSERT_TRUE(jack.ok()) << "the dummy JACK server did not come up";
  xtest::SettingsFolder folder("standalone-jack");
  const std::vector<float> expected = referenceNote();

  KorvoProcess korvo({"--no-gui"}, folder.dir / "korvo.err", jack.name());
  const std::string audio = korvo.line("Audio:");
  ASSERT_EQ(audio.rfind("Audio: JACK (Korvo) 48000 Hz", 0), 0u) << korvo.output();
  NoteRecorder recorder(jack.name());
  ASSERT_TRUE(recorder.ok());
  ASSERT_TRUE(recorder.connect()) << korvo.output();
  recorder.start();
  ASSERT_TRUE(waitFor([&] { return recorder.done(); }, 30s));

  const std::size_t onset = firstSound(recorder.left);
  ASSERT_LT(onset, kNoteFrames) << "the note does not sound";
  const std::size_t expectedOnset = firstSound(expected);
  // From the MIDI message to the first sound at Korvo's output, as the server's clock counts.
  const double latencyMs = 1000.0 * static_cast<double>(onset) / kRate;
  std::printf(
      "[ measure  ] note to sound: %zu frames = %.2f ms (period %d frames; the sound itself starts %zu "
      "frames after its note)\n",
      onset, latencyMs, recorder.periodFrames(), expectedOnset);
  RecordProperty("noteToSoundMs", std::to_string(latencyMs));
  EXPECT_LE(onset, expectedOnset + 2u * static_cast<std::size_t>(recorder.periodFrames()));

  const double hz = estimatePitch(recorder.left, onset + 12000, 8192, kRate);
  const double expectedHz = estimatePitch(expected, expectedOnset + 12000, 8192, kRate);
  EXPECT_NEAR(1200.0 * std::log2(hz / expectedHz), 0.0, 5.0) << hz << " Hz against " << expectedHz << " Hz";
  EXPECT_GT(peak(recorder.right, onset, onset + 12000), 0.01) << "the second output is silent";
  ASSERT_LT(peak(expected, kRecordFrames - kRate / 2, kRecordFrames), 1e-4) << "the reference note does not end";
  EXPECT_LT(peak(recorder.left, kRecordFrames - kRate / 2, kRecordFrames), 1e-4) << "the note does not end";

  const fs::path backup = folder.dir / "Korvo_backup.dat";
  EXPECT_FALSE(fs::exists(backup));
  EXPECT_EQ(korvo.end(SIGTERM), 0) << korvo.output();
  EXPECT_TRUE(fs::exists(backup)) << "no backup after SIGTERM";
  EXPECT_NE(korvo.output().find("korvo: closed"), std::string::npos);
}

TEST(Standalone, WithoutADeviceItSaysSoAndStillEndsCleanly) {
  xtest::SettingsFolder folder("standalone-none");
  KorvoProcess korvo({"--no-gui", "--device", "korvo-no-such-device"}, folder.dir / "korvo.err", "");
  const std::string audio = korvo.line("Audio:");
  EXPECT_EQ(audio.rfind("Audio: none (ALSA device 'korvo-no-such-device'", 0), 0u) << korvo.output();
  ASSERT_FALSE(korvo.line("playing").empty());
  EXPECT_EQ(korvo.end(SIGINT), 0) << korvo.output();
  EXPECT_TRUE(fs::exists(folder.dir / "Korvo_backup.dat"));
}

TEST(Standalone, RefusesABadCommandLineAndListsDevices) {
  xtest::SettingsFolder folder("standalone-args");
  KorvoProcess bad({"--rate", "5"}, folder.dir / "bad.err", "");
  EXPECT_EQ(bad.end(0), 2);
  EXPECT_NE(bad.output().find("--rate must be"), std::string::npos) << bad.output();
  KorvoProcess list({"--list-devices"}, folder.dir / "list.err", "");
  EXPECT_EQ(list.end(0), 0);
  EXPECT_NE(list.output().find("MIDI inputs:"), std::string::npos) << list.output();
}

}  // namespace
}  // namespace korvo
