// Windows: WinMM MIDI inputs. Every input reports to one thread of ours (CALLBACK_THREAD), so
// that the synthesizer's queue keeps its single producer however many inputs are open.
#if defined(_WIN32)

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <mmsystem.h>

#include <future>
#include <thread>
#include <vector>

#include "midiInputs.h"
#include "synthProcess.h"

namespace korvo {

namespace {

std::string inputName(UINT i) {
  MIDIINCAPSW caps{};
  if (midiInGetDevCapsW(i, &caps, sizeof caps) != MMSYSERR_NOERROR) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, caps.szPname, -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, caps.szPname, -1, s.data(), n, nullptr, nullptr);
  s.resize(s.size() - 1);
  return s;
}

class WinmmInputs : public MidiInputs {
 public:
  WinmmInputs(const std::string& only, SynthProcess& synth) : synth_(synth) {
    std::promise<DWORD> id;
    auto threadId = id.get_future();
    worker_ = std::thread([this, &id] {
      MSG m;
      PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here on
      id.set_value(GetCurrentThreadId());
      run();
    });
    thread_ = threadId.get();
    const UINT n = midiInGetNumDevs();
    int refused = 0;
    for (UINT i = 0; i < n; ++i) {
      const std::string name = inputName(i);
      if (!only.empty() && name.find(only) == std::string::npos) continue;
      HMIDIIN h = nullptr;
      if (midiInOpen(&h, i, thread_, 0, CALLBACK_THREAD) == MMSYSERR_NOERROR && midiInStart(h) == MMSYSERR_NOERROR) {
        open_.push_back(h);
      } else {
        if (h) midiInClose(h);
        ++refused;
      }
    }
    description_ = "WinMM, " + std::to_string(open_.size()) + (open_.size() == 1 ? " input" : " inputs");
    if (refused) description_ += " (" + std::to_string(refused) + " refused)";
    if (!only.empty() && open_.empty() && !refused) description_ += " (none named '" + only + "')";
  }
  ~WinmmInputs() override {
    for (HMIDIIN h : open_) {
      midiInStop(h);
      midiInReset(h);
      midiInClose(h);
    }
    PostThreadMessageW(thread_, WM_QUIT, 0, 0);
    worker_.join();
  }
  std::string description() const override { return description_; }

 private:
  void run() {
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
      if (m.message != MM_MIM_DATA) continue;
      const auto word = static_cast<DWORD>(m.lParam);
      const ShortMidi s{static_cast<std::uint8_t>(word & 0xFF), static_cast<std::uint8_t>((word >> 8) & 0x7F),
                        static_cast<std::uint8_t>((word >> 16) & 0x7F)};
      if (s.status >= 0x80 && s.status < 0xF0) synth_.queueMidi(s);
    }
  }

  SynthProcess& synth_;
  std::vector<HMIDIIN> open_;
  std::string description_;
  DWORD thread_ = 0;
  std::thread worker_;
};

}  // namespace

std::unique_ptr<MidiInputs> openMidiInputs(const std::string& only, SynthProcess& synth, std::string&) {
  return std::make_unique<WinmmInputs>(only, synth);
}

std::vector<std::string> midiInputNames() {
  std::vector<std::string> names;
  const UINT n = midiInGetNumDevs();
  for (UINT i = 0; i < n; ++i) names.push_back(inputName(i));
  return names;
}

}  // namespace korvo

#endif
