// The ALSA sequencer backend. Every open port gets its own sequencer client with one port of
// ours connected to the device's port, so that a port can be closed without disturbing the
// other; an input has its own thread that waits for events and reassembles SysEx messages from
// the pieces the sequencer delivers them in.
#if !defined(_WIN32)

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "midiBackend.h"

namespace korvo {

namespace {

// ALSA reports negative errno values; ours are positive and kept apart from the shared codes.
constexpr int kAlsaBase = 2000;
int alsaError(int err) { return kAlsaBase + (err < 0 ? -err : err); }

// A hardware port's driver takes a few kilobytes at once and drops what does not fit, so long
// messages go out in pieces no faster than the MIDI cable carries them (31,250 baud, 10 bits a
// byte).
constexpr std::size_t kPiece = 256;
constexpr int kCableBytesPerSecond = 3125;

struct Address {
  int client = 0;
  int port = 0;
};

struct SeqHandle {
  snd_seq_t* seq = nullptr;
  ~SeqHandle() {
    if (seq) snd_seq_close(seq);
  }
  int open() {
    const int err = snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, 0);
    if (err < 0) {
      seq = nullptr;
      return alsaError(err);
    }
    snd_seq_set_client_name(seq, "Korvo");
    return 0;
  }
};

// Walks the system's ports; `wanted` are the capability bits a port must have.
void listPorts(unsigned wanted, std::vector<std::string>& names, std::vector<Address>& addresses) {
  names.clear();
  addresses.clear();
  SeqHandle h;
  if (h.open() != 0) return;
  const int self = snd_seq_client_id(h.seq);
  snd_seq_client_info_t* cinfo = nullptr;
  snd_seq_port_info_t* pinfo = nullptr;
  if (snd_seq_client_info_malloc(&cinfo) < 0) return;
  if (snd_seq_port_info_malloc(&pinfo) < 0) {
    snd_seq_client_info_free(cinfo);
    return;
  }
  snd_seq_client_info_set_client(cinfo, -1);
  while (snd_seq_query_next_client(h.seq, cinfo) >= 0) {
    const int client = snd_seq_client_info_get_client(cinfo);
    if (client == SND_SEQ_CLIENT_SYSTEM || client == self) continue;
    snd_seq_port_info_set_client(pinfo, client);
    snd_seq_port_info_set_port(pinfo, -1);
    while (snd_seq_query_next_port(h.seq, pinfo) >= 0) {
      const unsigned caps = snd_seq_port_info_get_capability(pinfo);
      if ((caps & wanted) != wanted || (caps & SND_SEQ_PORT_CAP_NO_EXPORT)) continue;
      std::string name = snd_seq_client_info_get_name(cinfo);
      name += ":";
      name += snd_seq_port_info_get_name(pinfo);
      names.push_back(std::move(name));
      addresses.push_back({client, snd_seq_port_info_get_port(pinfo)});
    }
  }
  snd_seq_port_info_free(pinfo);
  snd_seq_client_info_free(cinfo);
}

class AlsaInput : public MidiInputConnection {
 public:
  ~AlsaInput() override { close(); }

  int open(const Address& from, SysExHandler handler) {
    handler_ = std::move(handler);
    if (int e = h_.open()) return e;
    const int port =
        snd_seq_create_simple_port(h_.seq, "Korvo in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                   SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0) return alsaError(port);
    // Room for a whole bank dump in the client's input buffer.
    snd_seq_set_input_buffer_size(h_.seq, kSysExBufferSize);
    if (int err = snd_seq_connect_from(h_.seq, port, from.client, from.port); err < 0) return alsaError(err);
    snd_seq_nonblock(h_.seq, 1);
    if (pipe(wake_) != 0) {
      wake_[0] = wake_[1] = -1;
      return alsaError(-errno);
    }
    thread_ = std::thread([this] { run(); });
    return 0;
  }

  int close() override {
    if (thread_.joinable()) {
      const char stop = 1;
      // The thread only waits in poll(), so a byte on the pipe always reaches it.
      while (write(wake_[1], &stop, 1) < 0 && errno == EINTR) {
      }
      thread_.join();
    }
    for (int& fd : wake_) {
      if (fd >= 0) ::close(fd);
      fd = -1;
    }
    if (h_.seq) {
      snd_seq_close(h_.seq);
      h_.seq = nullptr;
    }
    return 0;
  }

 private:
  void run() {
    const int n = snd_seq_poll_descriptors_count(h_.seq, POLLIN);
    std::vector<pollfd> fds(static_cast<std::size_t>(std::max(n, 0)) + 1);
    fds[0] = {wake_[0], POLLIN, 0};
    if (n > 0) snd_seq_poll_descriptors(h_.seq, fds.data() + 1, static_cast<unsigned>(n), POLLIN);
    for (;;) {
      for (pollfd& p : fds) p.revents = 0;
      if (poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[0].revents) return;
      snd_seq_event_t* ev = nullptr;
      for (;;) {
        const int r = snd_seq_event_input(h_.seq, &ev);
        if (r == -ENOSPC) {  // the input overran: whatever was being collected is incomplete
          assembler_.reset();
          continue;
        }
        if (r < 0 || ev == nullptr) break;
        if (ev->type == SND_SEQ_EVENT_SYSEX && ev->data.ext.ptr != nullptr)
          assembler_.feed(static_cast<const std::uint8_t*>(ev->data.ext.ptr), ev->data.ext.len, handler_);
      }
    }
  }

  SeqHandle h_;
  SysExHandler handler_;
  SysExAssembler assembler_;
  int wake_[2] = {-1, -1};
  std::thread thread_;
};

class AlsaOutput : public MidiOutputConnection {
 public:
  int open(const Address& to) {
    if (int e = h_.open()) return e;
    port_ = snd_seq_create_simple_port(h_.seq, "Korvo out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                       SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port_ < 0) return alsaError(port_);
    if (int err = snd_seq_connect_to(h_.seq, port_, to.client, to.port); err < 0) return alsaError(err);
    return 0;
  }

  int sendSysEx(const std::uint8_t* data, std::size_t size) override {
    if (!h_.seq) return midierr::kNotOpen;
    if (size > kMaxSysEx) return midierr::kTooLong;
    for (std::size_t done = 0; done < size;) {
      const std::size_t n = std::min(kPiece, size - done);
      snd_seq_event_t ev;
      snd_seq_ev_clear(&ev);
      snd_seq_ev_set_source(&ev, port_);
      snd_seq_ev_set_subs(&ev);
      snd_seq_ev_set_direct(&ev);
      // ALSA's macro masks the unsigned flags with a negative int constant.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-conversion"
      snd_seq_ev_set_sysex(&ev, static_cast<unsigned>(n), const_cast<std::uint8_t*>(data + done));
#pragma GCC diagnostic pop
      if (int err = snd_seq_event_output_direct(h_.seq, &ev); err < 0) return alsaError(err);
      done += n;
      if (done < size)
        std::this_thread::sleep_for(
            std::chrono::microseconds(static_cast<long long>(n) * 1000000 / kCableBytesPerSecond));
    }
    return 0;
  }

  int close() override {
    if (h_.seq) {
      snd_seq_drain_output(h_.seq);
      snd_seq_close(h_.seq);
      h_.seq = nullptr;
    }
    return 0;
  }

 private:
  SeqHandle h_;
  int port_ = -1;
};

class AlsaMidi : public MidiBackend {
 public:
  std::vector<std::string> inputNames() override {
    std::lock_guard g(m_);
    std::vector<std::string> names;
    listPorts(SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ, names, inputs_);
    return names;
  }
  std::vector<std::string> outputNames() override {
    std::lock_guard g(m_);
    std::vector<std::string> names;
    listPorts(SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE, names, outputs_);
    return names;
  }

  int openInput(int device, SysExHandler handler, std::unique_ptr<MidiInputConnection>& out) override {
    out.reset();
    Address a;
    if (!lookup(inputs_, device, a)) return midierr::kBadDevice;
    auto in = std::make_unique<AlsaInput>();
    if (int e = in->open(a, std::move(handler))) return e;
    out = std::move(in);
    return 0;
  }

  int openOutput(int device, std::unique_ptr<MidiOutputConnection>& out) override {
    out.reset();
    Address a;
    if (!lookup(outputs_, device, a)) return midierr::kBadDevice;
    auto o = std::make_unique<AlsaOutput>();
    if (int e = o->open(a)) return e;
    out = std::move(o);
    return 0;
  }

  std::string errorText(int code) const override {
    if (code > kAlsaBase) return snd_strerror(-(code - kAlsaBase));
    return MidiBackend::errorText(code);
  }

 private:
  bool lookup(const std::vector<Address>& list, int device, Address& a) {
    std::lock_guard g(m_);
    if (device < 0 || device >= static_cast<int>(list.size())) return false;
    a = list[static_cast<std::size_t>(device)];
    return true;
  }

  std::mutex m_;
  std::vector<Address> inputs_, outputs_;
};

}  // namespace

std::unique_ptr<MidiBackend> createSystemMidiBackend() { return std::make_unique<AlsaMidi>(); }

}  // namespace korvo

#endif
