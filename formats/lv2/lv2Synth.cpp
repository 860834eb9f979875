#include "lv2Synth.h"

#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "lv2Ports.h"

namespace korvo::lv2 {

std::unique_ptr<Lv2Synth> Lv2Synth::create(double sampleRate, const LV2_Feature* const* features,
                                           InstanceEnvironment environment) {
  const LV2_URID_Map* map = nullptr;
  for (auto f = features; f && *f; ++f)
    if (std::strcmp((*f)->URI, LV2_URID__map) == 0) map = static_cast<const LV2_URID_Map*>((*f)->data);
  if (!map || !map->map || !std::isfinite(sampleRate) || sampleRate < 1 || sampleRate > 1e6) return nullptr;
  try {
    return std::make_unique<Lv2Synth>(sampleRate, *map, std::move(environment));
  } catch (...) {
    return nullptr;
  }
}

Lv2Synth::Lv2Synth(double sampleRate, const LV2_URID_Map& map, InstanceEnvironment environment)
    // LV2 hosts send program change for the plug-in to use; the Options menu can turn it off.
    : instance_(static_cast<int>(std::lround(sampleRate)), std::move(environment).withProgramChange(true)),
      controls_(paramList().size(), nullptr),
      applied_(std::make_unique<std::atomic<int>[]>(paramList().size())),
      events_(CMidiParser::kCapacity) {
  atomSequence_ = map.map(map.handle, LV2_ATOM__Sequence);
  midiEvent_ = map.map(map.handle, LV2_MIDI__MidiEvent);
  stateKey_ = map.map(map.handle, kStateKey);
  stateType_ = map.map(map.handle, kStateType);
  appliedKey_ = map.map(map.handle, kAppliedKey);
  appliedType_ = map.map(map.handle, kAppliedType);
  restoredApplied_.reserve(paramList().size());
  // Before the host moves a control, its ports stand at the defaults the TTL gives.
  const auto& params = paramList().all();
  for (std::size_t i = 0; i < params.size(); ++i) applied_[i].store(params[i].defaultValue, std::memory_order_relaxed);
}

void Lv2Synth::connectPort(std::uint32_t port, void* data) {
  if (port == kMidiPort) {
    midiIn_ = data;
  } else if (port == kLeftPort) {
    left_ = static_cast<float*>(data);
  } else if (port == kRightPort) {
    right_ = static_cast<float*>(data);
  } else if (port >= kFirstControlPort && port - kFirstControlPort < controls_.size()) {
    controls_[port - kFirstControlPort] = static_cast<const float*>(data);
  }
}

void Lv2Synth::applyControls() {
  const bool rebaseline = rebaseline_.exchange(false, std::memory_order_acq_rel);
  const auto& params = paramList().all();
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    if (!controls_[i]) continue;
    const float raw = *controls_[i];
    if (!std::isfinite(raw)) continue;
    const ParamInfo& p = params[i];
    const int value =
        static_cast<int>(std::lround(std::clamp<float>(raw, static_cast<float>(p.min), static_cast<float>(p.max))));
    const bool moved = rebaseline ? !restoredApplied_.empty() && value != restoredApplied_[i]
                                  : value != applied_[i].load(std::memory_order_relaxed);
    applied_[i].store(value, std::memory_order_relaxed);
    if (moved) instance_.setParamValue(p.id, value);
  }
}

std::size_t Lv2Synth::readMidi(std::uint32_t frames) {
  const auto* sequence = static_cast<const LV2_Atom_Sequence*>(midiIn_);
  if (!sequence || sequence->atom.type != atomSequence_) return 0;
  std::size_t n = 0;
  LV2_ATOM_SEQUENCE_FOREACH(sequence, ev) {
    if (n == events_.size()) break;
    if (ev->body.type != midiEvent_ || ev->body.size == 0) continue;
    const auto* bytes = static_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(&ev->body));
    MidiEvent& m = events_[n];
    m = {};
    m.frame = static_cast<std::int32_t>(std::clamp<std::int64_t>(ev->time.frames, 0, frames ? frames - 1 : 0));
    if (bytes[0] == 0xF0) {
      m.kind = MidiEvent::SysEx;
      m.sysex = bytes;
      m.sysexSize = static_cast<std::int32_t>(ev->body.size);
    } else {
      m.status = bytes[0];
      m.data1 = ev->body.size > 1 ? bytes[1] : 0;
      m.data2 = ev->body.size > 2 ? bytes[2] : 0;
    }
    ++n;
  }
  return n;
}

void Lv2Synth::run(std::uint32_t frames) {
  applyControls();
  instance_.processEvents({events_.data(), readMidi(frames)});
  instance_.render(true, left_, static_cast<int>(frames), right_);
}

LV2_State_Status Lv2Synth::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
  if (!store) return LV2_STATE_ERR_UNKNOWN;
  const std::vector<std::uint8_t> record = instance_.state();
  if (record.empty()) return LV2_STATE_ERR_UNKNOWN;
  const LV2_State_Status status =
      store(handle, stateKey_, record.data(), record.size(), stateType_, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
  if (status != LV2_STATE_SUCCESS) return status;
  // Little-endian 16-bit values, one per control port in port order.
  std::vector<std::uint8_t> applied;
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    const auto v = static_cast<std::uint16_t>(applied_[i].load(std::memory_order_relaxed));
    applied.push_back(static_cast<std::uint8_t>(v & 0xFF));
    applied.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  return store(handle, appliedKey_, applied.data(), applied.size(), appliedType_,
               LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Lv2Synth::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
  if (!retrieve) return LV2_STATE_ERR_UNKNOWN;
  std::size_t size = 0;
  std::uint32_t type = 0;
  std::uint32_t flags = 0;
  const void* data = retrieve(handle, stateKey_, &size, &type, &flags);
  if (!data) return LV2_STATE_ERR_NO_PROPERTY;
  if (type != stateType_) return LV2_STATE_ERR_BAD_TYPE;
  if (!instance_.setState(data, size)) return LV2_STATE_ERR_UNKNOWN;
  // The control values that came with it, when they are whole; else none.
  restoredApplied_.clear();
  const auto* applied = static_cast<const std::uint8_t*>(retrieve(handle, appliedKey_, &size, &type, &flags));
  if (applied && type == appliedType_ && size == 2 * controls_.size()) {
    for (std::size_t i = 0; i < controls_.size(); ++i)
      restoredApplied_.push_back(static_cast<std::int16_t>(applied[2 * i] | (applied[2 * i + 1] << 8)));
  }
  rebaseline_.store(true, std::memory_order_release);
  restores_.fetch_add(1, std::memory_order_acq_rel);
  return LV2_STATE_SUCCESS;
}

}  // namespace korvo::lv2
