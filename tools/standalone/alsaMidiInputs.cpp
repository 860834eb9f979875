#if !defined(_WIN32)

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "midiInputs.h"
#include "synthProcess.h"

namespace korvo {

namespace {

struct Source {
  std::string name;
  int client = 0, port = 0;
};

// The ports others can read from (keyboards, sequencers), except the system's and our own.
std::vector<Source> readablePorts(snd_seq_t* seq) {
  std::vector<Source> list;
  const int self = snd_seq_client_id(seq);
  snd_seq_client_info_t* c = nullptr;
  snd_seq_port_info_t* p = nullptr;
  snd_seq_client_info_alloca(&c);
  snd_seq_port_info_alloca(&p);
  snd_seq_client_info_set_client(c, -1);
  const unsigned wanted = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
  while (snd_seq_query_next_client(seq, c) >= 0) {
    const int client = snd_seq_client_info_get_client(c);
    if (client == SND_SEQ_CLIENT_SYSTEM || client == self) continue;
    snd_seq_port_info_set_client(p, client);
    snd_seq_port_info_set_port(p, -1);
    while (snd_seq_query_next_port(seq, p) >= 0) {
      const unsigned caps = snd_seq_port_info_get_capability(p);
      if ((caps & wanted) != wanted || (caps & SND_SEQ_PORT_CAP_NO_EXPORT)) continue;
      list.push_back({std::string(snd_seq_client_info_get_name(c)) + ":" + snd_seq_port_info_get_name(p), client,
                      snd_seq_port_info_get_port(p)});
    }
  }
  return list;
}

// A sequencer event as the bytes of a short message; false for what the synthesizer takes not.
bool toShort(const snd_seq_event_t& ev, ShortMidi& m) {
  const std::uint8_t ch = ev.data.control.channel & 0x0F;
  const auto byte = [](int v) { return static_cast<std::uint8_t>(v & 0x7F); };
  switch (ev.type) {
    case SND_SEQ_EVENT_NOTEON:
      m = {static_cast<std::uint8_t>(0x90 | ch), byte(ev.data.note.note), byte(ev.data.note.velocity)};
      return true;
    case SND_SEQ_EVENT_NOTEOFF:
      m = {static_cast<std::uint8_t>(0x80 | ch), byte(ev.data.note.note), byte(ev.data.note.velocity)};
      return true;
    case SND_SEQ_EVENT_KEYPRESS:
      m = {static_cast<std::uint8_t>(0xA0 | ch), byte(ev.data.note.note), byte(ev.data.note.velocity)};
      return true;
    case SND_SEQ_EVENT_CONTROLLER:
      m = {static_cast<std::uint8_t>(0xB0 | ch), byte(static_cast<int>(ev.data.control.param)),
           byte(ev.data.control.value)};
      return true;
    case SND_SEQ_EVENT_PGMCHANGE:
      m = {static_cast<std::uint8_t>(0xC0 | ch), byte(ev.data.control.value), 0};
      return true;
    case SND_SEQ_EVENT_CHANPRESS:
      m = {static_cast<std::uint8_t>(0xD0 | ch), byte(ev.data.control.value), 0};
      return true;
    case SND_SEQ_EVENT_PITCHBEND: {
      const int v = std::clamp(ev.data.control.value + 8192, 0, 16383);
      m = {static_cast<std::uint8_t>(0xE0 | ch), byte(v), byte(v >> 7)};
      return true;
    }
    default: return false;
  }
}

class AlsaInputs : public MidiInputs {
 public:
  // The sequencer's port lives and goes with `seq`.
  AlsaInputs(snd_seq_t* seq, SynthProcess& synth, std::string description)
      : seq_(seq), synth_(synth), description_(std::move(description)) {
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    worker_ = std::thread([this] { run(); });
  }
  ~AlsaInputs() override {
    quit_ = true;
    const std::uint64_t one = 1;
    // Should the write fail, the thread sees the flag at its next look (it polls with a timeout).
    if (wake_ >= 0) {
      [[maybe_unused]] const ssize_t written = write(wake_, &one, sizeof one);
    }
    worker_.join();
    if (wake_ >= 0) close(wake_);
    snd_seq_close(seq_);
  }
  std::string description() const override { return description_; }

 private:
  void run() {
    const int n = snd_seq_poll_descriptors_count(seq_, POLLIN);
    std::vector<pollfd> fds(static_cast<std::size_t>(n) + 1);
    snd_seq_poll_descriptors(seq_, fds.data(), static_cast<unsigned>(n), POLLIN);
    fds.back() = pollfd{wake_, POLLIN, 0};
    while (!quit_) {
      // Without a working wake-up descriptor, look at the flag now and then.
      if (poll(fds.data(), fds.size(), wake_ < 0 ? 100 : 500) < 0 && errno != EINTR) break;
      snd_seq_event_t* ev = nullptr;
      while (!quit_ && snd_seq_event_input_pending(seq_, 1) > 0 && snd_seq_event_input(seq_, &ev) >= 0 && ev) {
        ShortMidi m;
        if (toShort(*ev, m)) synth_.queueMidi(m);
      }
    }
  }

  snd_seq_t* seq_;
  SynthProcess& synth_;
  std::string description_;
  int wake_ = -1;
  std::atomic<bool> quit_{false};
  std::thread worker_;
};

void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

std::unique_ptr<MidiInputs> openMidiInputs(const std::string& only, SynthProcess& synth, std::string& report) {
  snd_lib_error_set_handler(quietAlsa);
  snd_seq_t* seq = nullptr;
  const int err = snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
  snd_lib_error_set_handler(nullptr);
  if (err < 0) {
    report = std::string("no ALSA sequencer (") + snd_strerror(err) + ")";
    return nullptr;
  }
  snd_seq_set_client_name(seq, "Korvo");
  const int port = snd_seq_create_simple_port(seq, "midi_in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                              SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (port < 0) {
    report = std::string("no ALSA sequencer port (") + snd_strerror(port) + ")";
    snd_seq_close(seq);
    return nullptr;
  }
  int connected = 0, refused = 0;
  for (const Source& s : readablePorts(seq)) {
    if (!only.empty() && s.name.find(only) == std::string::npos) continue;
    (snd_seq_connect_from(seq, port, s.client, s.port) >= 0 ? connected : refused) += 1;
  }
  std::string text = "ALSA sequencer, " + std::to_string(connected) + (connected == 1 ? " input" : " inputs");
  if (refused) text += " (" + std::to_string(refused) + " refused)";
  if (!only.empty() && connected == 0) text += " (none named '" + only + "')";
  return std::make_unique<AlsaInputs>(seq, synth, text);
}

std::vector<std::string> midiInputNames() {
  std::vector<std::string> names;
  snd_lib_error_set_handler(quietAlsa);
  snd_seq_t* seq = nullptr;
  const int err = snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
  snd_lib_error_set_handler(nullptr);
  if (err < 0) return names;
  for (const Source& s : readablePorts(seq)) names.push_back(s.name);
  snd_seq_close(seq);
  return names;
}

}  // namespace korvo

#endif
