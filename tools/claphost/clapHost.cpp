#include "clapHost.h"

#include <cstring>

namespace korvo::claphost {

using namespace clap;

namespace {

ClapHost& self(const clap_host* host) { return *static_cast<ClapHost*>(host->host_data); }

void KORVO_CLAPCALL rescan(const clap_host* h, std::uint32_t flags) {
  ClapHost& host = self(h);
  if (!host.onMainThread()) host.violation("params.rescan off the main thread");
  host.rescanFlags.fetch_or(flags);
  ++host.rescans;
}
void KORVO_CLAPCALL clearParam(const clap_host* h, clap_id, std::uint32_t) {
  if (!self(h).onMainThread()) self(h).violation("params.clear off the main thread");
}
void KORVO_CLAPCALL requestFlush(const clap_host* h) {
  if (self(h).onAudioThread()) self(h).violation("params.request_flush on the audio thread");
  ++self(h).flushRequests;
}
const clap_host_params kParams{rescan, clearParam, requestFlush};

void KORVO_CLAPCALL markDirty(const clap_host* h) {
  if (!self(h).onMainThread()) self(h).violation("state.mark_dirty off the main thread");
}
const clap_host_state kState{markDirty};

bool KORVO_CLAPCALL registerTimer(const clap_host* h, std::uint32_t period, clap_id* id) {
  ClapHost& host = self(h);
  if (!host.onMainThread()) host.violation("timer-support.register_timer off the main thread");
  if (!id || period == 0 || host.timerId != CLAP_INVALID_ID) return false;
  host.timerId = 1;
  host.timerPeriod = period;
  *id = host.timerId;
  ++host.timersRegistered;
  return true;
}
bool KORVO_CLAPCALL unregisterTimer(const clap_host* h, clap_id id) {
  ClapHost& host = self(h);
  if (!host.onMainThread()) host.violation("timer-support.unregister_timer off the main thread");
  if (id != host.timerId || id == CLAP_INVALID_ID) return false;
  host.timerId = CLAP_INVALID_ID;
  ++host.timersUnregistered;
  return true;
}
const clap_host_timer_support kTimer{registerTimer, unregisterTimer};

bool KORVO_CLAPCALL requestResize(const clap_host* h, std::uint32_t width, std::uint32_t height) {
  if (!self(h).onMainThread()) self(h).violation("gui.request_resize off the main thread");
  self(h).resizeRequests.emplace_back(width, height);
  return true;
}
const clap_host_gui kGui{[](const clap_host*) {}, requestResize, [](const clap_host*) { return false; },
                         [](const clap_host*) { return false; }, [](const clap_host*, bool) {}};

const clap_host_preset_load kPresetLoad{
    [](const clap_host* h, std::uint32_t, const char*, const char* key, std::int32_t, const char* msg) {
      if (!self(h).onMainThread()) self(h).violation("preset-load.on_error off the main thread");
      self(h).presetErrors.push_back(std::string(key ? key : "") + ": " + (msg ? msg : ""));
    },
    [](const clap_host* h, std::uint32_t, const char*, const char* key) {
      if (!self(h).onMainThread()) self(h).violation("preset-load.loaded off the main thread");
      self(h).presetsLoaded.push_back(key ? key : "");
    }};

bool KORVO_CLAPCALL isMainThread(const clap_host* h) { return self(h).onMainThread(); }
bool KORVO_CLAPCALL isAudioThread(const clap_host* h) { return self(h).onAudioThread(); }
const clap_host_thread_check kThreadCheck{isMainThread, isAudioThread};

}  // namespace

// Events -----------------------------------------------------------------------------------------

InputEvents::InputEvents() {
  list_.ctx = this;
  list_.size = [](const clap_input_events* l) {
    return static_cast<std::uint32_t>(static_cast<const InputEvents*>(l->ctx)->offsets_.size());
  };
  list_.get = [](const clap_input_events* l, std::uint32_t i) -> const clap_event_header* {
    const auto* self = static_cast<const InputEvents*>(l->ctx);
    if (i >= self->offsets_.size()) return nullptr;
    return reinterpret_cast<const clap_event_header*>(self->storage_.data() + self->offsets_[i]);
  };
}

void InputEvents::add(const clap_event_header& event) {
  offsets_.push_back(storage_.size());
  const std::size_t words = (event.size + 7) / 8;
  storage_.resize(storage_.size() + words);
  std::memcpy(storage_.data() + offsets_.back(), &event, event.size);
}

void InputEvents::noteOn(std::uint32_t time, int key, double velocity, int channel, int noteId) {
  clap_event_note e{};
  e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_NOTE_ON, 0};
  e.note_id = noteId;
  e.port_index = 0;
  e.channel = static_cast<std::int16_t>(channel);
  e.key = static_cast<std::int16_t>(key);
  e.velocity = velocity;
  add(e.header);
}

void InputEvents::noteOff(std::uint32_t time, int key, int channel, int noteId) {
  clap_event_note e{};
  e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_NOTE_OFF, 0};
  e.note_id = noteId;
  e.port_index = 0;
  e.channel = static_cast<std::int16_t>(channel);
  e.key = static_cast<std::int16_t>(key);
  add(e.header);
}

void InputEvents::midi(std::uint32_t time, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
  clap_event_midi e{};
  e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
  e.port_index = 0;
  e.data[0] = status, e.data[1] = data1, e.data[2] = data2;
  add(e.header);
}

void InputEvents::param(std::uint32_t time, clap_id id, double value) {
  clap_event_param_value e{};
  e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
  e.param_id = id;
  e.note_id = -1;
  e.port_index = e.channel = e.key = -1;
  e.value = value;
  add(e.header);
}

OutputEvents::OutputEvents() {
  list_.ctx = this;
  list_.try_push = [](const clap_output_events* l, const clap_event_header* e) {
    auto* self = static_cast<OutputEvents*>(l->ctx);
    if (!e) return false;
    if (e->time < self->lastTime) self->unsorted = true;
    self->lastTime = e->time;
    if (e->space_id == CLAP_CORE_EVENT_SPACE_ID && e->type == CLAP_EVENT_PARAM_VALUE &&
        e->size >= sizeof(clap_event_param_value)) {
      const auto* p = reinterpret_cast<const clap_event_param_value*>(e);
      self->params.push_back({p->param_id, p->value});
    }
    if (e->space_id == CLAP_CORE_EVENT_SPACE_ID && e->type == CLAP_EVENT_NOTE_END &&
        e->size >= sizeof(clap_event_note)) {
      const auto* n = reinterpret_cast<const clap_event_note*>(e);
      self->noteEnds.push_back({n->note_id, n->channel, n->key});
    }
    return true;
  };
}

// Host -------------------------------------------------------------------------------------------

ClapHost::ClapHost() : mainThread_(std::this_thread::get_id()) {
  host_.clap_version = CLAP_VERSION;
  host_.host_data = this;
  host_.name = "claphost";
  host_.vendor = "Korvo";
  host_.url = "";
  host_.version = "1.0";
  host_.get_extension = [](const clap_host*, const char* id) -> const void* {
    if (!id) return nullptr;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParams;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kState;
    if (std::strcmp(id, CLAP_EXT_THREAD_CHECK) == 0) return &kThreadCheck;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &kTimer;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &kGui;
    if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0) return &kPresetLoad;
    return nullptr;
  };
  host_.request_restart = [](const clap_host*) {};
  host_.request_process = [](const clap_host*) {};
  host_.request_callback = [](const clap_host* h) {
    ++self(h).callbackRequests;
    self(h).callbackPending_.store(true);
  };
}

ClapHost::~ClapHost() {
  destroy();
  if (entry_) entry_->deinit();
}

bool ClapHost::load(const std::string& path, std::string& error) {
  if (!library_.open(path, error)) return false;
  entry_ = static_cast<const clap_plugin_entry*>(library_.symbol(KORVO_CLAP_ENTRY_SYMBOL));
  if (!entry_) {
    error = "'" + path + "' exports no clap_entry";
    return false;
  }
  if (!clapVersionIsCompatible(entry_->clap_version) || !entry_->init || !entry_->deinit || !entry_->get_factory) {
    error = "'" + path + "' has an entry of an incompatible version";
    entry_ = nullptr;
    return false;
  }
  if (!entry_->init(path.c_str())) {
    error = "the entry's init failed";
    entry_ = nullptr;
    return false;
  }
  factory_ = static_cast<const clap_plugin_factory*>(entry_->get_factory(CLAP_PLUGIN_FACTORY_ID));
  if (!factory_) error = "no plug-in factory";
  return factory_ != nullptr;
}

bool ClapHost::create(const char* id, std::string& error) {
  destroy();
  plugin_ = factory_->create_plugin(factory_, &host_, id);
  if (!plugin_) {
    error = std::string("the factory made no plug-in for ") + id;
    return false;
  }
  if (!plugin_->init(plugin_)) {
    plugin_->destroy(plugin_);
    plugin_ = nullptr;
    error = "the plug-in's init failed";
    return false;
  }
  return true;
}

void ClapHost::destroy() {
  if (plugin_) plugin_->destroy(plugin_);
  plugin_ = nullptr;
}

void ClapHost::runOnAudioThread(const std::function<void()>& work) {
  std::thread audio([&] {
    audioThread_.store(std::this_thread::get_id());
    work();
    audioThread_.store({});
  });
  audio.join();
}

void ClapHost::serviceCallbacks() {
  if (plugin_ && callbackPending_.exchange(false)) plugin_->on_main_thread(plugin_);
}

void ClapHost::violation(const std::string& what) {
  std::lock_guard lock(mutex_);
  violations_.push_back(what);
}

std::vector<std::string> ClapHost::violations() const {
  std::lock_guard lock(mutex_);
  return violations_;
}

}  // namespace korvo::claphost
