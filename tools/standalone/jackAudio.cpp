#include "jackAudio.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <array>
#include <atomic>

#include "midiParser.h"
#include "synthProcess.h"

namespace korvo {

namespace {

class JackOutput : public AudioOutput {
 public:
  explicit JackOutput(jack_client_t* client) : client_(client) {
    left_ = jack_port_register(client, "out_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput | JackPortIsTerminal, 0);
    right_ = jack_port_register(client, "out_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput | JackPortIsTerminal, 0);
    midi_ = jack_port_register(client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput | JackPortIsTerminal, 0);
    jack_set_process_callback(client, &JackOutput::processThunk, this);
    jack_on_shutdown(client, &JackOutput::shutdownThunk, this);
  }
  ~JackOutput() override {
    stop();
    jack_client_close(client_);
  }
  bool portsMade() const { return left_ && right_ && midi_; }

  int sampleRate() const override { return static_cast<int>(jack_get_sample_rate(client_)); }
  int blockSize() const override { return static_cast<int>(jack_get_buffer_size(client_)); }
  std::string description() const override {
    return std::string("JACK (") + jack_get_client_name(client_) + ") " + std::to_string(sampleRate()) + " Hz, " +
           std::to_string(blockSize()) + " frames";
  }

  bool start(SynthProcess& synth) override {
    synth_.store(&synth);
    if (jack_activate(client_) != 0) {
      synth_.store(nullptr);
      return false;
    }
    active_ = true;
    connectToPlayback();
    return true;
  }
  void stop() override {
    if (active_) jack_deactivate(client_);
    active_ = false;
    synth_.store(nullptr);
  }

 private:
  // Output 1 to the first physical playback port, output 2 to the second (or the first again).
  void connectToPlayback() {
    const char** ports =
        jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
    if (!ports) return;
    if (ports[0]) {
      jack_connect(client_, jack_port_name(left_), ports[0]);
      jack_connect(client_, jack_port_name(right_), ports[1] ? ports[1] : ports[0]);
    }
    jack_free(ports);
  }

  static int processThunk(jack_nframes_t frames, void* self) {
    static_cast<JackOutput*>(self)->process(frames);
    return 0;
  }
  static void shutdownThunk(void* self) { static_cast<JackOutput*>(self)->synth_.store(nullptr); }

  void process(jack_nframes_t frames) {
    auto* l = static_cast<float*>(jack_port_get_buffer(left_, frames));
    auto* r = static_cast<float*>(jack_port_get_buffer(right_, frames));
    SynthProcess* synth = synth_.load();
    if (!synth) {
      for (jack_nframes_t i = 0; i < frames; ++i) l[i] = r[i] = 0.0f;
      return;
    }
    void* in = jack_port_get_buffer(midi_, frames);
    const jack_nframes_t count = jack_midi_get_event_count(in);
    std::size_t n = 0;
    for (jack_nframes_t i = 0; i < count && n < events_.size(); ++i) {
      jack_midi_event_t je;
      if (jack_midi_event_get(&je, in, i) != 0 || je.size == 0) continue;
      MidiEvent& e = events_[n];
      e = MidiEvent{};
      e.frame = static_cast<std::int32_t>(je.time);
      if (je.buffer[0] == 0xF0) {
        e.kind = MidiEvent::SysEx;
        e.sysex = je.buffer;
        e.sysexSize = static_cast<std::int32_t>(je.size);
      } else if (je.buffer[0] >= 0x80 && je.size <= 3) {
        e.status = je.buffer[0];
        e.data1 = je.size > 1 ? je.buffer[1] : 0;
        e.data2 = je.size > 2 ? je.buffer[2] : 0;
      } else {
        continue;
      }
      ++n;
    }
    synth->process(l, r, static_cast<int>(frames), std::span<const MidiEvent>(events_.data(), n));
  }

  jack_client_t* client_;
  jack_port_t* left_ = nullptr;
  jack_port_t* right_ = nullptr;
  jack_port_t* midi_ = nullptr;
  std::atomic<SynthProcess*> synth_{nullptr};
  bool active_ = false;
  std::array<MidiEvent, SynthProcess::kMaxEvents> events_{};
};

// libjack prints its attempts to reach a server on standard error; a missing server is an
// ordinary case here, which the status line reports in a sentence of its own.
void quietJack(const char*) {}

}  // namespace

std::unique_ptr<AudioOutput> openJackOutput(std::string& why) {
  jack_set_error_function(quietJack);
  jack_set_info_function(quietJack);
  jack_status_t status{};
  jack_client_t* client = jack_client_open("Korvo", JackNoStartServer, &status);
  if (!client) {
    why = (status & JackServerFailed) ? "no JACK server is running" : "the JACK server refused the client";
    return nullptr;
  }
  auto out = std::make_unique<JackOutput>(client);
  if (!out->portsMade()) {
    why = "JACK did not make Korvo's ports";
    return nullptr;
  }
  return out;
}

}  // namespace korvo
