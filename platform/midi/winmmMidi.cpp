// The WinMM backend. An input keeps several prepared long-message buffers with the driver so
// that nothing is lost while one is being copied; the callback hands each filled buffer back
// unless the port is closing. An output sends from one prepared buffer and never refills it
// before the driver has marked the previous message done. Closing resets the port first, so
// every buffer has come back from the driver before it is unprepared and released.
#if defined(_WIN32)

// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <array>
#include <atomic>
#include <cstring>

#include "midiBackend.h"

namespace korvo {

namespace {

constexpr int kInputBuffers = 4;
constexpr std::size_t kInputBufferSize = 16384;
// How long a close or a send waits for the driver to return a buffer before giving up.
constexpr DWORD kDriverWaitMs = 5000;

bool waitDone(const MIDIHDR& h) {
  const DWORD start = GetTickCount();
  while (!(h.dwFlags & MHDR_DONE)) {
    if (GetTickCount() - start > kDriverWaitMs) return false;
    Sleep(1);
  }
  return true;
}

class WinInput : public MidiInputConnection {
 public:
  ~WinInput() override { close(); }

  int open(UINT device, SysExHandler handler) {
    handler_ = std::move(handler);
    for (auto& b : buffers_) b.assign(kInputBufferSize, 0);
    MMRESULT r = midiInOpen(&h_, device, reinterpret_cast<DWORD_PTR>(&WinInput::proc),
                            reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    if (r != MMSYSERR_NOERROR) {
      h_ = nullptr;
      return static_cast<int>(r);
    }
    for (int i = 0; i < kInputBuffers; ++i) {
      MIDIHDR& hd = headers_[static_cast<std::size_t>(i)];
      std::memset(&hd, 0, sizeof hd);
      hd.lpData = buffers_[static_cast<std::size_t>(i)].data();
      hd.dwBufferLength = static_cast<DWORD>(kInputBufferSize);
      r = midiInPrepareHeader(h_, &hd, sizeof hd);
      if (r != MMSYSERR_NOERROR) break;
      prepared_[static_cast<std::size_t>(i)] = true;
      r = midiInAddBuffer(h_, &hd, sizeof hd);
      if (r != MMSYSERR_NOERROR) break;
    }
    if (r == MMSYSERR_NOERROR) r = midiInStart(h_);
    if (r != MMSYSERR_NOERROR) {
      close();
      return static_cast<int>(r);
    }
    return 0;
  }

  int close() override {
    if (!h_) return 0;
    closing_.store(true);
    midiInStop(h_);
    // Reset returns every queued buffer; a callback that raced the closing flag may have
    // queued one again, so reset until every header can be unprepared.
    for (int attempt = 0; attempt < 100; ++attempt) {
      midiInReset(h_);
      bool all = true;
      for (int i = 0; i < kInputBuffers; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (!prepared_[k]) continue;
        if (midiInUnprepareHeader(h_, &headers_[k], sizeof(MIDIHDR)) == MMSYSERR_NOERROR)
          prepared_[k] = false;
        else
          all = false;
      }
      if (all) break;
      Sleep(1);
    }
    const MMRESULT r = midiInClose(h_);
    h_ = nullptr;
    while (inCallback_.load() > 0) Sleep(1);
    return static_cast<int>(r);
  }

 private:
  static void CALLBACK proc(HMIDIIN, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR) {
    auto* self = reinterpret_cast<WinInput*>(instance);
    if (self == nullptr || (msg != MIM_LONGDATA && msg != MIM_LONGERROR)) return;
    self->inCallback_.fetch_add(1);
    auto* hd = reinterpret_cast<MIDIHDR*>(p1);
    if (!self->closing_.load() && hd != nullptr) {
      if (msg == MIM_LONGERROR)  // the driver gave up on an incomplete message
        self->assembler_.reset();
      else if (hd->dwBytesRecorded > 0)
        self->assembler_.feed(reinterpret_cast<const std::uint8_t*>(hd->lpData), hd->dwBytesRecorded, self->handler_);
      hd->dwBytesRecorded = 0;
      // Every returned buffer goes back to the driver, or input would stop after four.
      if (!self->closing_.load()) midiInAddBuffer(self->h_, hd, sizeof(MIDIHDR));
    }
    self->inCallback_.fetch_sub(1);
  }

  HMIDIIN h_ = nullptr;
  std::array<MIDIHDR, kInputBuffers> headers_{};
  std::array<std::vector<char>, kInputBuffers> buffers_;
  std::array<bool, kInputBuffers> prepared_{};
  std::atomic<bool> closing_{false};
  std::atomic<int> inCallback_{0};
  SysExHandler handler_;
  SysExAssembler assembler_;
};

class WinOutput : public MidiOutputConnection {
 public:
  ~WinOutput() override { close(); }

  int open(UINT device) {
    const MMRESULT r = midiOutOpen(&h_, device, 0, 0, CALLBACK_NULL);
    if (r != MMSYSERR_NOERROR) {
      h_ = nullptr;
      return static_cast<int>(r);
    }
    buffer_.assign(kSysExBufferSize, 0);
    std::memset(&header_, 0, sizeof header_);
    return 0;
  }

  int sendSysEx(const std::uint8_t* data, std::size_t size) override {
    if (!h_) return midierr::kNotOpen;
    if (size > kMaxSysEx) return midierr::kTooLong;
    if (int e = release()) return e;
    std::memcpy(buffer_.data(), data, size);
    std::memset(&header_, 0, sizeof header_);
    header_.lpData = buffer_.data();
    header_.dwBufferLength = static_cast<DWORD>(size);
    header_.dwBytesRecorded = static_cast<DWORD>(size);
    MMRESULT r = midiOutPrepareHeader(h_, &header_, sizeof header_);
    if (r != MMSYSERR_NOERROR) return static_cast<int>(r);
    prepared_ = true;
    r = midiOutLongMsg(h_, &header_, sizeof header_);
    if (r != MMSYSERR_NOERROR) {
      midiOutUnprepareHeader(h_, &header_, sizeof header_);
      prepared_ = false;
    }
    return static_cast<int>(r);
  }

  int close() override {
    if (!h_) return 0;
    midiOutReset(h_);
    release();
    const MMRESULT r = midiOutClose(h_);
    h_ = nullptr;
    return static_cast<int>(r);
  }

 private:
  // Waits for the previous message to be done and unprepares its header.
  int release() {
    if (!prepared_) return 0;
    if (!waitDone(header_)) return midierr::kSendFailed;
    const MMRESULT r = midiOutUnprepareHeader(h_, &header_, sizeof header_);
    if (r != MMSYSERR_NOERROR) return static_cast<int>(r);
    prepared_ = false;
    return 0;
  }

  HMIDIOUT h_ = nullptr;
  MIDIHDR header_{};
  std::vector<char> buffer_;
  bool prepared_ = false;
};

class WinMidi : public MidiBackend {
 public:
  std::vector<std::string> inputNames() override {
    std::vector<std::string> names;
    const UINT n = midiInGetNumDevs();
    for (UINT i = 0; i < n; ++i) {
      MIDIINCAPSA caps{};
      names.push_back(midiInGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR ? nameOf(caps.szPname) : "");
    }
    return names;
  }
  std::vector<std::string> outputNames() override {
    std::vector<std::string> names;
    const UINT n = midiOutGetNumDevs();
    for (UINT i = 0; i < n; ++i) {
      MIDIOUTCAPSA caps{};
      names.push_back(midiOutGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR ? nameOf(caps.szPname) : "");
    }
    return names;
  }

  int openInput(int device, SysExHandler handler, std::unique_ptr<MidiInputConnection>& out) override {
    out.reset();
    if (device < 0 || static_cast<UINT>(device) >= midiInGetNumDevs()) return midierr::kBadDevice;
    auto in = std::make_unique<WinInput>();
    if (int e = in->open(static_cast<UINT>(device), std::move(handler))) return e;
    out = std::move(in);
    return 0;
  }

  int openOutput(int device, std::unique_ptr<MidiOutputConnection>& out) override {
    out.reset();
    if (device < 0 || static_cast<UINT>(device) >= midiOutGetNumDevs()) return midierr::kBadDevice;
    auto o = std::make_unique<WinOutput>();
    if (int e = o->open(static_cast<UINT>(device))) return e;
    out = std::move(o);
    return 0;
  }

  std::string errorText(int code) const override {
    if (code == midierr::kTooLong || code == midierr::kSendFailed || code == midierr::kAllocated)
      return MidiBackend::errorText(code);
    char text[MAXERRORLENGTH] = {};
    if (midiOutGetErrorTextA(static_cast<MMRESULT>(code), text, sizeof text) == MMSYSERR_NOERROR && text[0])
      return text;
    return MidiBackend::errorText(code);
  }

 private:
  static std::string nameOf(const char (&field)[MAXPNAMELEN]) {
    std::size_t n = 0;
    while (n < MAXPNAMELEN && field[n]) ++n;
    return std::string(field, n);
  }
};

}  // namespace

std::unique_ptr<MidiBackend> createSystemMidiBackend() { return std::make_unique<WinMidi>(); }

}  // namespace korvo

#endif
