// The host side of a CLAP plug-in, as a DAW has it: the library loaded by path, its entry record
// and factory, one plug-in created through them, and the host record with the extensions a
// plug-in may ask for (params, state, thread-check). The thread that loads is the main thread;
// runOnAudioThread runs processing on a thread of its own, as hosts do. Calls a plug-in makes on
// the wrong thread are counted as violations.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "clapAbi.h"
#include "sharedLibrary.h"

namespace korvo::claphost {

// Events for one process call, kept in one block as hosts keep them (sorted by time by the caller).
class InputEvents {
 public:
  InputEvents();
  void clear() { offsets_.clear(), storage_.clear(); }
  void add(const clap::clap_event_header& event);
  void noteOn(std::uint32_t time, int key, double velocity, int channel = 0, int noteId = -1);
  void noteOff(std::uint32_t time, int key, int channel = 0, int noteId = -1);
  void midi(std::uint32_t time, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
  void param(std::uint32_t time, clap::clap_id id, double value);
  const clap::clap_input_events* list() const { return &list_; }
  std::size_t size() const { return offsets_.size(); }

 private:
  clap::clap_input_events list_{};
  std::vector<std::size_t> offsets_;
  std::vector<std::uint64_t> storage_;  // 8-byte aligned
};

// What a plug-in pushed during one call: its parameter values.
class OutputEvents {
 public:
  OutputEvents();
  struct Param {
    clap::clap_id id;
    double value;
  };
  std::vector<Param> params;
  struct NoteEnd {
    std::int32_t noteId;
    std::int16_t channel, key;
  };
  std::vector<NoteEnd> noteEnds;
  std::uint32_t lastTime = 0;
  bool unsorted = false;
  const clap::clap_output_events* list() const { return &list_; }

 private:
  clap::clap_output_events list_{};
};

class ClapHost {
 public:
  ClapHost();
  ~ClapHost();
  ClapHost(const ClapHost&) = delete;
  ClapHost& operator=(const ClapHost&) = delete;

  // Loads the library, checks and initialises its entry, finds the plug-in factory.
  bool load(const std::string& path, std::string& error);
  const clap::clap_plugin_factory* factory() const { return factory_; }
  const clap::clap_plugin_entry* entry() const { return entry_; }
  // Creates and initialises the plug-in with this id; destroy() frees it.
  bool create(const char* id, std::string& error);
  void destroy();
  const clap::clap_plugin* plugin() const { return plugin_; }
  const clap::clap_host* host() const { return &host_; }

  template <class Ext>
  const Ext* extension(const char* id) const {
    return plugin_ ? static_cast<const Ext*>(plugin_->get_extension(plugin_, id)) : nullptr;
  }

  // Runs `work` on a thread that the host's thread-check calls the audio thread, and waits.
  void runOnAudioThread(const std::function<void()>& work);
  // Main thread: calls on_main_thread when the plug-in asked for it.
  void serviceCallbacks();

  // What the plug-in asked of the host.
  std::atomic<int> rescans{0};
  std::atomic<std::uint32_t> rescanFlags{0};
  std::atomic<int> flushRequests{0};
  std::atomic<int> callbackRequests{0};
  // timer-support (main thread): the one timer a plug-in may hold, and gui's resize requests.
  int timersRegistered = 0, timersUnregistered = 0;
  clap::clap_id timerId = clap::CLAP_INVALID_ID;
  std::uint32_t timerPeriod = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> resizeRequests;
  // preset-load: the load keys the plug-in reported loaded, and the errors it reported.
  std::vector<std::string> presetsLoaded, presetErrors;
  // Calls made on a thread where the interface forbids them.
  std::vector<std::string> violations() const;
  void violation(const std::string& what);

  bool onMainThread() const { return std::this_thread::get_id() == mainThread_; }
  bool onAudioThread() const { return std::this_thread::get_id() == audioThread_.load(); }

 private:
  clap::clap_host host_{};
  std::thread::id mainThread_;
  std::atomic<std::thread::id> audioThread_{};
  std::atomic<bool> callbackPending_{false};
  tools::SharedLibrary library_;
  const clap::clap_plugin_entry* entry_ = nullptr;
  const clap::clap_plugin_factory* factory_ = nullptr;
  const clap::clap_plugin* plugin_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<std::string> violations_;
};

}  // namespace korvo::claphost
