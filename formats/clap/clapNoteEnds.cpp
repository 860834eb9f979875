#include "clapNoteEnds.h"

namespace korvo {

using namespace clap;

void ClapNoteEnds::noteOn(int key, int channel, std::int32_t noteId) {
  if (key < 0 || key > 127) return;
  keys_[static_cast<std::size_t>(key)] = {static_cast<std::int16_t>(channel < 0 ? 0 : channel & 15), noteId};
}

void ClapNoteEnds::beforeRender(const CplugMaster& engine) {
  for (int v = 0; v < CplugMaster::kMaxVoices; ++v) before_[static_cast<std::size_t>(v)] = engine.voice(v);
}

void ClapNoteEnds::afterRender(const CplugMaster& engine, std::uint32_t frame) {
  for (int v = 0; v < CplugMaster::kMaxVoices; ++v) {
    const CplugMaster::VoiceView& was = before_[static_cast<std::size_t>(v)];
    if (!was.active || was.note < 0 || was.note > 127) continue;
    const CplugMaster::VoiceView now = engine.voice(v);
    // A voice's age counts down from its start, so a voice that started again is younger.
    const bool ended = !now.active || now.note != was.note || now.age > was.age;
    if (ended && count_ < ended_.size()) ended_[count_++] = {frame, static_cast<std::int16_t>(was.note)};
  }
}

void ClapNoteEnds::push(const clap_output_events* out) {
  if (out && out->try_push) {
    for (std::size_t i = 0; i < count_; ++i) {
      const Key& k = keys_[static_cast<std::size_t>(ended_[i].key)];
      clap_event_note e{};
      e.header = {sizeof e, ended_[i].frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_NOTE_END, 0};
      e.note_id = k.noteId;
      e.port_index = 0;
      e.channel = k.channel;
      e.key = ended_[i].key;
      out->try_push(out, &e.header);
    }
  }
  count_ = 0;
}

}  // namespace korvo
