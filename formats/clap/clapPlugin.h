// The CLAP adapter: CclapSynth turns a CLAP host's calls into the instance's (plugInstance.h) and
// adds no behaviour of its own beyond what the CLAP interface asks for. Threads as CLAP names
// them: "main thread" is the host's user-interface thread, "audio thread" its processing thread.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <vector>

#include "clapAbi.h"
#include "clapEditor.h"
#include "clapNoteEnds.h"
#include "clapPresets.h"
#include "plugInstance.h"

namespace korvo {

class CclapSynth {
 public:
  // The descriptor every host sees: "org.korvo.synth", "Korvo", vendor "Korvo".
  static const clap::clap_plugin_descriptor& descriptor();

  // Any thread, as the factory is called. The host's callbacks are not used before init().
  // Without an editor factory the plug-in offers no gui.
  CclapSynth(const clap::clap_host* host, InstanceEnvironment environment, EditorWindowFactory editorFactory = {});
  ~CclapSynth();
  CclapSynth(const CclapSynth&) = delete;
  CclapSynth& operator=(const CclapSynth&) = delete;

  // The record handed to the host; its plugin_data points back here.
  const clap::clap_plugin* plugin() const { return &plugin_; }
  CplugInstance* instance() const { return instance_.get(); }
  CclapEditor* editor() const { return editor_.get(); }

  // A whole sound changed (state, program) at a drain when more words than this changed at once:
  // the host is told to read every value again instead of getting an event for each.
  static constexpr int kWholeSoundWords = 16;

 private:
  friend struct CclapSynthRecords;
  static CclapSynth& self(const clap::clap_plugin* plugin);

  bool init();
  bool activate(double sampleRate);
  void reset();
  clap::clap_process_status process(const clap::clap_process& process);
  const void* extension(const char* id) const;
  void onMainThread();

  // Input events [from, to) up to the first parameter change after `frame`: notes converted,
  // parameter changes at or before `frame` applied. Returns the index to go on from and sets
  // `until` to the frame of the change that stopped it (else unchanged).
  std::uint32_t takeEvents(const clap::clap_input_events& in, std::uint32_t from, std::uint32_t count,
                           std::uint32_t frame, std::uint32_t& until, std::size_t& notes);
  void applyParam(const clap::clap_event_header& event);
  void applyParams(const clap::clap_input_events* in);
  // The changes made inside Korvo since the last call, as output events (or one rescan).
  void reportChanges(const clap::clap_output_events* out);
  void rememberNoteOn(const clap::clap_event_header& e);

  // params
  bool paramInfo(std::uint32_t index, clap::clap_param_info& info) const;
  bool valueToText(clap::clap_id id, double value, char* display, std::uint32_t size) const;
  bool textToValue(clap::clap_id id, const char* display, double& value) const;
  // state
  bool save(const clap::clap_ostream& stream);
  bool load(const clap::clap_istream& stream);
  // preset-load: program n (the load key) of a location the preset provider named
  bool loadPreset(std::uint32_t kind, const char* location, const char* loadKey);
  bool loadRecord(const std::uint8_t* data, std::size_t size);

  // Whether the host says this is its main thread (true when it cannot tell).
  bool onMainThreadNow() const;
  // Main thread, after the editor's tick: edits made in it reach a host that is not processing
  // through a flush it is asked for.
  void requestFlushOnEdits();
  // Main thread: the sound changed inside Korvo, so the host's project has changed too.
  void markDirty();

  clap::clap_plugin plugin_{};
  const clap::clap_host* host_ = nullptr;
  const clap::clap_host_params* hostParams_ = nullptr;
  const clap::clap_host_state* hostState_ = nullptr;
  const clap::clap_host_thread_check* threadCheck_ = nullptr;
  const clap::clap_host_preset_load* hostPresetLoad_ = nullptr;
  InstanceEnvironment environment_;
  InstanceEnvironment environmentForPresets_;  // the built-in bank, once environment_ went to the instance
  std::unique_ptr<CplugInstance> instance_;
  EditorWindowFactory editorFactory_;
  std::unique_ptr<CclapEditor> editor_;                // freed before the instance it shows
  std::array<std::int16_t, kParamWordCount> shown_{};  // the words at the last editor tick
  // Sized once, at init: the realtime path never allocates.
  std::vector<MidiEvent> events_;
  ClapNoteEnds noteEnds_;
  std::array<std::int16_t, kParamWordCount> changedIds_{};
  std::array<std::int16_t, kParamWordCount> changedValues_{};
  // What the host was last told or last sent of each word (drain and process threads only): a
  // host value that did not move does not overwrite an edit made inside Korvo.
  std::array<std::int32_t, kParamWordCount> hostKnows_{};
  std::atomic<bool> resetPending_{false};
  std::atomic<bool> rescanPending_{false};
  std::atomic<bool> stateLoaded_{false};
};

// The factory's work: null for another id or an incompatible host. The plug-in's entry passes the
// built-in data (builtInData.h); tests pass their own settings store.
const clap::clap_plugin* createClapPlugin(const clap::clap_host* host, const char* pluginId,
                                          InstanceEnvironment environment = {}, EditorWindowFactory editorFactory = {});

}  // namespace korvo
