#include "midiParser.h"

#include <algorithm>

namespace korvo {

CMidiParser::CMidiParser() : items_(kCapacity) {}

void CMidiParser::setHandlers(NoteHandler note, NoteHandler noteOff, ControllerHandler controller,
                              SystemHandler system) {
  note_ = std::move(note);
  noteOff_ = std::move(noteOff);
  controller_ = std::move(controller);
  system_ = std::move(system);
}

void CMidiParser::takeSysEx(const std::uint8_t* d, std::int32_t size) {
  if (d == nullptr || size < 5) return;
  // Only a single-sound dump is wanted (maker 0F, model 02, command 01); the rest stays skipped.
  if (d[0] != 0xF0 || d[1] != 0x0F || d[2] != 0x02 || d[4] != 0x01) return;
  hostSysEx_.Publish(d, static_cast<std::size_t>(size));
}

void CMidiParser::fill(std::span<const MidiEvent> events) {
  count_ = carried_;  // kept until a block plays them, however many fills come first
  dispatched_ = 0;
  framesLeft_ = -1;
  std::int32_t previousTime = 0;
  for (std::size_t i = 0; i < events.size() && count_ < kCapacity; ++i) {
    const MidiEvent& e = events[i];
    if (e.kind == MidiEvent::SysEx) {
      if (takeSysEx_.load(std::memory_order_relaxed)) takeSysEx(e.sysex, e.sysexSize);
      continue;
    }
    const int status = e.status;
    // Data bytes are 7-bit; a sender that leaves the top bit set must not turn a velocity negative.
    const int d1 = e.data1 & 0x7F;
    const int d2 = e.data2 & 0x7F;
    MidiItem item;
    item.channel = static_cast<std::uint8_t>(status & 0x0F);
    switch (status & 0xF0) {
      case 0x80:
        item.type = MidiItem::NoteOff;
        item.data = static_cast<std::uint8_t>(d1);
        item.value = static_cast<std::int16_t>(d2);
        break;
      case 0x90:
        item.data = static_cast<std::uint8_t>(d1);
        if (d2 > 0) {
          item.type = MidiItem::NoteOn;
          item.value = static_cast<std::int16_t>(d2);
        } else {
          item.type = MidiItem::NoteOff;
          item.value = static_cast<std::int16_t>(e.noteOffVelocity & 0x7F);
        }
        break;
      case 0xB0:
        item.type = MidiItem::Controller;
        item.data = static_cast<std::uint8_t>(d1);
        item.controllerIndex = static_cast<std::uint8_t>(d1);
        item.value = static_cast<std::int16_t>(d2);
        break;
      case 0xC0:
        item.type = MidiItem::Program;
        item.data = static_cast<std::uint8_t>(d1);
        break;
      case 0xD0:
        item.type = MidiItem::Controller;
        item.controllerIndex = kPressureIndex;
        item.value = static_cast<std::int16_t>(d1);
        break;
      case 0xE0:
        item.type = MidiItem::Controller;
        item.controllerIndex = kPitchBendIndex;
        item.value = static_cast<std::int16_t>(d1 + 128 * d2 - 8192);
        break;
      case 0xF0:
        item.channel = 0;
        item.type = (status == 0xFC || status == 0xFF) ? MidiItem::System : MidiItem::Other;
        break;
      default:  // polyphonic pressure and stray data bytes are not queued
        continue;
    }
    // A host should send events in time order. One that is earlier than the event before it is
    // played together with that event rather than being left undispatched with everything after it.
    item.time = std::max(std::max<std::int32_t>(e.frame, 0), previousTime);
    item.delta = item.time - previousTime;
    previousTime = item.time;
    items_[count_++] = item;
  }
}

void CMidiParser::skipBlock() {
  for (std::size_t i = dispatched_; i < count_; ++i) {
    MidiItem& it = items_[i - dispatched_];
    it = items_[i];
    it.time = 0;
    it.delta = 0;
  }
  count_ -= dispatched_;
  carried_ = count_;
  dispatched_ = 0;
  framesLeft_ = -1;
}

void CMidiParser::clear() {
  count_ = 0;
  carried_ = 0;
  dispatched_ = 0;
  framesLeft_ = -1;
}

void CMidiParser::beginBlock() {
  dispatched_ = 0;
  framesLeft_ = count_ > 0 ? items_[0].delta : -1;
}

void CMidiParser::dispatchNext() {
  const MidiItem& it = items_[dispatched_];
  switch (it.type) {
    case MidiItem::NoteOn:
      if (note_) note_(it.channel, it.data, it.value);
      break;
    case MidiItem::NoteOff:
      if (noteOff_)
        noteOff_(it.channel, it.data, 0);
      else if (note_)
        note_(it.channel, it.data, 0);
      break;
    case MidiItem::Controller:
      if (controller_) controller_(it.channel, it.controllerIndex, it.value);
      break;
    case MidiItem::Program:
      if (program_) program_(it.channel, it.data);
      break;
    case MidiItem::System:
      if (system_) system_(it.value);
      break;
    default: break;
  }
  ++dispatched_;
  framesLeft_ = dispatched_ < count_ ? items_[dispatched_].delta : -1;
}

void CMidiParser::endBlock() {
  // Items the host placed at or beyond the block's end would otherwise be lost, and a lost
  // note-off leaves a note hanging: play them now, after the block's last sample.
  while (dispatched_ < count_) dispatchNext();
  clear();
}

}  // namespace korvo
