// CplugInstance: one instrument as every plug-in format and the standalone program see it. It
// owns the engine and everything the engine must not do itself: it reads the settings and the
// data folder (wave ROM, backup of the 128 programs), hands the engine both as data, and at
// teardown writes the backup and then the settings. A format adapter (formats/) converts its
// host's records at the edge and calls only what is here.
//
// Each entry point says which thread may call it:
//   realtime     the host's audio thread; never allocates, locks or touches a file
//   main thread  the host's user-interface thread (creation, state, editor, teardown)
//   any thread   lock-free; safe from either of them and from MIDI or timer callbacks
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "paramList.h"
#include "plugCore.h"
#include "plugSettings.h"
#include "progBank.h"
#include "waveRomFile.h"

namespace korvo {

class SettingsStore;

// What an instance needs from its surroundings; tests and tools give their own.
struct InstanceEnvironment {
  // Where settings are read from and written to; null uses the system store.
  std::shared_ptr<SettingsStore> settingsStore;
  // Folder defaults for missing settings; unset uses the system defaults.
  bool useSystemDefaults = true;
  SettingsDefaults defaults;
  // When set, replaces path_data from the settings (a renderer pointing at its own data).
  std::string dataFolderOverride;
  // Whether teardown writes the backup file and the settings (a renderer leaves them alone).
  bool saveOnDestroy = true;
  // Used when the data folder has no readable wavrom.bin, or no backup that can be taken (the
  // plug-in carries both inside itself, builtInData.h); empty: zero wave memory, INIT programs.
  std::span<const std::uint8_t> builtInWaveRom;
  std::span<const std::uint8_t> builtInBank;
  // Whether a MIDI program change selects a program until the user chooses in the Options menu
  // (off in VST 2, whose hosts expect it dropped; on in the other formats and the standalone).
  bool programChangeDefault = false;

  InstanceEnvironment withProgramChange(bool on) && {
    programChangeDefault = on;
    return std::move(*this);
  }
};

class CplugInstance {
 public:
  static constexpr const char* kWaveRomName = "wavrom.bin";

  // main thread. Reads the settings, the wave ROM and the backup, then creates the engine with
  // program 0 in the edit buffer. Throws only what allocation throws.
  explicit CplugInstance(int sampleRate, InstanceEnvironment environment = {});
  // main thread. The backup (when the memory changed, or there was none; merged with what another
  // instance wrote meanwhile, memoryMerge.h), then the settings.
  ~CplugInstance();
  CplugInstance(const CplugInstance&) = delete;
  CplugInstance& operator=(const CplugInstance&) = delete;

  // realtime. The events of the next block, in the engine's own type; then the block itself,
  // replacing or adding to the buffers. Null buffers write nothing.
  void processEvents(std::span<const MidiEvent> events) { engine_->processEvents(events); }
  void render(bool replace, float* left, int frames, float* right) { engine_->render(replace, left, frames, right); }

  // main thread. The settings an instance made with this environment would read (for a preset
  // indexer, which makes no instance).
  static TplugSettings settingsFor(const InstanceEnvironment& environment);

  // main thread. Voices are reset; rates outside 1 Hz .. 1 MHz are ignored.
  void setSampleRate(double rate);

  // main thread. The sound state: the 544-byte record of the edit buffer. setState takes only a
  // whole, valid record and otherwise changes nothing (false).
  std::vector<std::uint8_t> state() { return engine_->getChunk(); }
  bool setState(const void* data, std::size_t size);

  // The host-facing parameters: one per sound word the LCD pages edit (paramList.h).
  static const ParamList& params() { return paramList(); }
  // any thread. The word's current value (0 for an id that is not a parameter).
  int paramValue(int id) const;
  // any thread. Clamped to the parameter's range and stored as one atomic word write; the
  // engine reads it at its next control tick or note. False for an id that is not a parameter.
  bool setParamValue(int id, int value);
  // The words changed inside Korvo (editor, program selection, state, SysEx import, ...) since the
  // last call, each once, in id order; a value set through setParamValue is not reported back.
  // One draining thread per instance (the format's choice: main thread or realtime); allocates
  // nothing, so a format may drain from its process call.
  template <class Fn>
  void drainParamChanges(Fn&& changed) {
    for (int word = 0; word < kParamWordCount; ++word) {
      const int now = paramValue(word);
      auto& seen = reported_[static_cast<std::size_t>(word)];
      if (seen.load(std::memory_order_relaxed) == now) continue;
      seen.store(static_cast<std::int16_t>(now), std::memory_order_relaxed);
      if (params().find(word)) changed(word, now);
    }
  }

  // MIDI learn (main thread). learnController: the next learnable controller moved binds this
  // parameter over its whole range (false for an id that is not a parameter); the binding is
  // made on the audio thread at that controller's sample. Bindings are read from the settings at
  // creation and written back at teardown.
  bool learnController(int id);
  void cancelLearn() { engine_->midiLearn().disarm(); }
  int learningParam() const;  // -1 when no parameter waits for a controller
  int controllerOf(int id) const { return engine_->midiLearn().controllerOf(id); }
  void forgetController(int controller) { engine_->midiLearn().forget(controller); }
  void forgetAllControllers() { engine_->midiLearn().forgetAll(); }
  struct ControllerParam {
    int controller, id;
  };
  std::vector<ControllerParam> controllerBindings() const;

  // Program change (main thread): the user's choice, kept in the settings; until one is made the
  // environment's programChangeDefault holds.
  bool programChangeSelects() const { return engine_->programChangeSelects(); }
  void setProgramChangeSelects(bool on);

  // main thread. The engine, for the editor and the tests; its own comments say what may be
  // called from where.
  CplugMaster& engine() { return *engine_; }
  const CplugMaster& engine() const { return *engine_; }
  // main thread. The settings (folders, editor options, MIDI ports), written back at teardown.
  TplugSettings& settings() { return settings_; }

  // main thread. Where the data came from, for the editor's status line and the tests.
  enum class WaveRomSource { DataFolder, BuiltIn, None };
  WaveRomSource waveRomSource() const { return waveRomSource_; }
  const std::string& waveRomPath() const { return waveRomPath_; }
  // Whether the ROM that plays is whole: false for none, or a data-folder image that lacks banks.
  bool waveRomComplete() const {
    return waveRomSource_ == WaveRomSource::BuiltIn ||
           (waveRomSource_ == WaveRomSource::DataFolder && waveRomCheck_.missing == 0);
  }
  // One line for the editor's status line, e.g. "Wave ROM: built-in (no wavrom.bin in /x/data)".
  std::string waveRomDescription() const;
  std::string dataFolder() const;
  std::string backupPath() const;
  // What the data folder's backup file held at creation (Missing, Ok or why it was refused).
  BankImageStatus backupStatus() const { return backupStatus_; }
  bool backupLoaded() const { return backupStatus_ == BankImageStatus::Ok; }
  // Whether the programs came from the built-in factory bank (no backup could be taken).
  bool builtInBankLoaded() const { return builtInBankLoaded_; }
  // Whether the program memory differs from what was loaded (or set up) at creation; only then
  // does teardown write the backup, so of two instances in one project the one closed last does
  // not overwrite what the other saved.
  bool programMemoryChanged() const;

 private:
  // The engine's data from the data folder, else the built-in copies.
  std::vector<std::uint8_t> loadWaveRom();
  std::vector<std::uint8_t> loadBackup();

  InstanceEnvironment env_;
  std::shared_ptr<SettingsStore> store_;
  SettingsDefaults defaults_;
  TplugSettings settings_;
  std::string waveRomPath_;
  WaveRomImageCheck waveRomCheck_;
  WaveRomSource waveRomSource_ = WaveRomSource::None;
  BankImageStatus backupStatus_ = BankImageStatus::Missing;
  bool builtInBankLoaded_ = false;
  std::unique_ptr<CplugMaster> engine_;
  std::vector<std::uint8_t> memoryAtLoad_;  // the bank image right after creation
  // What drainParamChanges last reported of each word (or what a host set).
  std::array<std::atomic<std::int16_t>, kParamWordCount> reported_{};
};

}  // namespace korvo
