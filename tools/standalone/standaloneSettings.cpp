#include "standaloneSettings.h"

#include "settingsStore.h"

namespace korvo {

namespace {
constexpr const char* kDevice = "standalone_audio_device";
constexpr const char* kRate = "standalone_sample_rate";
constexpr const char* kBlock = "standalone_block_size";
constexpr const char* kMidiIn = "standalone_midi_in";
}  // namespace

bool validSampleRate(long long hz) { return hz >= 8000 && hz <= 384000; }
bool validBlockSize(long long frames) { return frames >= 16 && frames <= 8192; }

StandaloneSettings readStandaloneSettings(SettingsStore& store) {
  StandaloneSettings s;
  if (!store.open()) return s;
  if (auto v = store.readString(kDevice)) s.audio.device = *v;
  if (auto v = store.readString(kMidiIn)) s.midiIn = *v;
  if (auto v = store.readInteger(kRate); v && validSampleRate(*v)) s.audio.rate = static_cast<int>(*v);
  if (auto v = store.readInteger(kBlock); v && validBlockSize(*v)) s.audio.block = static_cast<int>(*v);
  return s;
}

bool writeStandaloneSettings(SettingsStore& store, const StandaloneSettings& s) {
  if (!store.open()) return false;
  bool ok = store.writeString(kDevice, s.audio.device);
  ok = store.writeInteger(kRate, static_cast<std::uint32_t>(s.audio.rate > 0 ? s.audio.rate : 0)) && ok;
  ok = store.writeInteger(kBlock, static_cast<std::uint32_t>(s.audio.block > 0 ? s.audio.block : 0)) && ok;
  ok = store.writeString(kMidiIn, s.midiIn) && ok;
  return store.commit() && ok;
}

}  // namespace korvo
