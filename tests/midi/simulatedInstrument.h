// A hardware instrument on the far end of the loopback: it records every message Korvo sends to
// its output device and answers the dump request with a single dump of its own sound, sent into
// Korvo's input device in pieces as a cable delivers it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "midiBackend.h"
#include "progMan.h"
#include "progRecord.h"

namespace korvo::test {

class SimulatedInstrument {
 public:
  SimulatedInstrument(LoopbackMidi& loop, int listenDevice, int replyDevice, const std::string& soundName = "HWSND1")
      : loop_(loop), replyDevice_(replyDevice) {
    Ckv_progMan memory;
    ProgramRecord* r = memory.EditRecord();
    setRecordName(*r, soundName);
    r->words[word::kFilter + word::kFiltFreq] = 37;  // something that is not the INIT sound
    memory.ExportSingle(Ckv_progMan::EditSlot(), sound_);
    loop.setFarEndListener([this, listenDevice](int device, const std::vector<std::uint8_t>& m) {
      if (device != listenDevice) return;
      {
        std::lock_guard g(m_);
        received_.push_back(m);
      }
      static const std::vector<std::uint8_t> request = {0xF0, 0x0F, 0x02, 0x00, 0x09, 0xF7};
      if (m == request && answers) reply(sound_);
    });
  }
  ~SimulatedInstrument() { loop_.setFarEndListener(nullptr); }

  // Sends bytes into Korvo's input in three pieces with a clock byte inside.
  void reply(const std::vector<std::uint8_t>& bytes) {
    const std::size_t third = bytes.size() / 3;
    loop_.inject(replyDevice_, {bytes.begin(), bytes.begin() + static_cast<long>(third)});
    loop_.inject(replyDevice_, {0xF8});
    loop_.inject(replyDevice_, {bytes.begin() + static_cast<long>(third), bytes.end()});
  }

  std::vector<std::vector<std::uint8_t>> received() {
    std::lock_guard g(m_);
    return received_;
  }
  const std::vector<std::uint8_t>& sound() const { return sound_; }
  std::atomic<bool> answers{true};

 private:
  LoopbackMidi& loop_;
  int replyDevice_;
  std::vector<std::uint8_t> sound_;
  std::mutex m_;
  std::vector<std::vector<std::uint8_t>> received_;
};

}  // namespace korvo::test
