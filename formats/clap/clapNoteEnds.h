// The CLAP note-end events: a host that tracks voices (polyphonic modulation, note expressions)
// learns when one of Korvo's voices has gone silent. The engine's voices are compared before and
// after each stretch of rendering; a voice that was playing and is free, plays another note, or
// started again has ended its note. A voice that starts and ends inside one stretch is not seen.
// Audio thread only; allocates nothing.
#pragma once

#include <array>
#include <cstdint>

#include "clapAbi.h"
#include "plugCore.h"

namespace korvo {

class ClapNoteEnds {
 public:
  // The note id and channel the host gave a key with its last note-on (-1 for MIDI notes).
  void noteOn(int key, int channel, std::int32_t noteId);
  void beforeRender(const CplugMaster& engine);
  // After the stretch that ends at `frame` (the block's frame of its last sample).
  void afterRender(const CplugMaster& engine, std::uint32_t frame);
  // Pushes what ended since the last call, in time order, and forgets it.
  void push(const clap::clap_output_events* out);

 private:
  struct Key {
    std::int16_t channel = 0;
    std::int32_t noteId = -1;
  };
  struct Ended {
    std::uint32_t frame;
    std::int16_t key;
  };
  std::array<Key, 128> keys_{};
  std::array<CplugMaster::VoiceView, CplugMaster::kMaxVoices> before_{};
  std::array<Ended, 64> ended_{};
  std::size_t count_ = 0;
};

}  // namespace korvo
