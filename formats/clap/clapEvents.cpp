#include "clapEvents.h"

#include <algorithm>
#include <cmath>

namespace korvo {

using namespace clap;

namespace {

constexpr std::uint8_t kNoteOff = 0x80, kNoteOn = 0x90, kController = 0xB0;
constexpr std::uint8_t kAllNotesOff = 123;

MidiEvent shortEvent(std::int32_t frame, std::uint8_t status, int data1, int data2) {
  MidiEvent m;
  m.frame = frame;
  m.status = status;
  m.data1 = static_cast<std::uint8_t>(data1 & 0x7F);
  m.data2 = static_cast<std::uint8_t>(data2 & 0x7F);
  return m;
}

int midiVelocity(double velocity, int lowest) {
  if (!std::isfinite(velocity)) return lowest;
  return std::clamp(static_cast<int>(std::lround(velocity * 127.0)), lowest, 127);
}

// Note-offs for every key and channel the (maybe wildcard) address matches.
std::size_t noteOffs(const clap_event_note& n, std::int32_t frame, std::span<MidiEvent> out) {
  if (n.key > 127 || n.channel > 15) return 0;
  const int firstChannel = n.channel < 0 ? 0 : n.channel, lastChannel = n.channel < 0 ? 15 : n.channel;
  const int firstKey = n.key < 0 ? 0 : n.key, lastKey = n.key < 0 ? 127 : n.key;
  const int velocity = midiVelocity(n.velocity, 0);
  std::size_t count = 0;
  for (int c = firstChannel; c <= lastChannel; ++c)
    for (int k = firstKey; k <= lastKey && count < out.size(); ++k)
      out[count++] = shortEvent(frame, static_cast<std::uint8_t>(kNoteOff | c), k, velocity);
  return count;
}

}  // namespace

std::size_t fromClapEvent(const clap_event_header& e, std::int32_t frame, std::span<MidiEvent> out) {
  if (out.empty() || e.space_id != CLAP_CORE_EVENT_SPACE_ID) return 0;
  switch (e.type) {
    case CLAP_EVENT_NOTE_ON: {
      if (e.size < sizeof(clap_event_note)) return 0;
      const auto& n = reinterpret_cast<const clap_event_note&>(e);
      if (n.key < 0 || n.key > 127 || n.channel < 0 || n.channel > 15) return 0;
      out[0] = shortEvent(frame, static_cast<std::uint8_t>(kNoteOn | n.channel), n.key, midiVelocity(n.velocity, 1));
      return 1;
    }
    case CLAP_EVENT_NOTE_OFF:
      if (e.size < sizeof(clap_event_note)) return 0;
      return noteOffs(reinterpret_cast<const clap_event_note&>(e), frame, out);
    case CLAP_EVENT_NOTE_CHOKE: out[0] = shortEvent(frame, kController, kAllNotesOff, 0); return 1;
    case CLAP_EVENT_MIDI: {
      if (e.size < sizeof(clap_event_midi)) return 0;
      const auto& m = reinterpret_cast<const clap_event_midi&>(e);
      if (m.data[0] < 0x80 || m.data[0] >= 0xF0) return 0;  // a short channel message only
      out[0] = shortEvent(frame, m.data[0], m.data[1], m.data[2]);
      return 1;
    }
    case CLAP_EVENT_MIDI_SYSEX: {
      if (e.size < sizeof(clap_event_midi_sysex)) return 0;
      const auto& s = reinterpret_cast<const clap_event_midi_sysex&>(e);
      if (!s.buffer || s.size == 0 || s.size > INT32_MAX) return 0;
      MidiEvent m;
      m.kind = MidiEvent::SysEx;
      m.frame = frame;
      m.sysex = s.buffer;
      m.sysexSize = static_cast<std::int32_t>(s.size);
      out[0] = m;
      return 1;
    }
    default: return 0;
  }
}

std::optional<ClapParamChange> clapParamChange(const clap_event_header& e) {
  if (e.space_id != CLAP_CORE_EVENT_SPACE_ID || e.type != CLAP_EVENT_PARAM_VALUE ||
      e.size < sizeof(clap_event_param_value))
    return std::nullopt;
  const auto& p = reinterpret_cast<const clap_event_param_value&>(e);
  if (!std::isfinite(p.value) || p.param_id > static_cast<clap_id>(INT32_MAX)) return std::nullopt;
  const double v = std::clamp(std::trunc(p.value), -32768.0, 32767.0);
  return ClapParamChange{static_cast<int>(p.param_id), static_cast<int>(v)};
}

}  // namespace korvo
