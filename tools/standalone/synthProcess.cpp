#include "synthProcess.h"

#include "plugInstance.h"

namespace korvo {

void SynthProcess::process(float* left, float* right, int frames, std::span<const MidiEvent> portEvents) {
  std::size_t n = 0;
  ShortMidi m;
  while (n < kMaxEvents && queue_.pop(m)) {
    MidiEvent& e = events_[n++];
    e = MidiEvent{};
    e.status = m.status;
    e.data1 = m.data1;
    e.data2 = m.data2;
  }
  for (const MidiEvent& e : portEvents) {
    if (n == kMaxEvents) break;
    events_[n] = e;
    if (events_[n].frame < 0 || events_[n].frame >= frames) events_[n].frame = frames > 0 ? frames - 1 : 0;
    ++n;
  }
  instance_.processEvents(std::span<const MidiEvent>(events_.data(), n));
  instance_.render(true, left, frames, right);
  blocks_.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace korvo
