#include "clapPlugin.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "clapEvents.h"

namespace korvo {

using namespace clap;

namespace {

constexpr int kDefaultRate = 44100;
// A state longer than this is no state of ours; reading stops there.
constexpr std::size_t kMaxStateBytes = 1 << 16;
constexpr std::int32_t kUnknown = INT32_MIN;

const char* const kFeatures[] = {"instrument", "synthesizer", "stereo", nullptr};

const clap_plugin_descriptor kDescriptor{CLAP_VERSION,  "org.korvo.synth",       "Korvo",  "Korvo", "", "", "",
                                         KORVO_VERSION, "Wavetable synthesizer", kFeatures};

void copyText(char* destination, std::size_t capacity, const std::string& text) {
  if (capacity == 0) return;
  const std::size_t n = std::min(capacity - 1, text.size());
  std::memcpy(destination, text.data(), n);
  destination[n] = '\0';
}

// The extension records: plain functions forwarding to the instance behind plugin_data.
std::uint32_t KORVO_CLAPCALL audioPortCount(const clap_plugin*, bool isInput) { return isInput ? 0 : 1; }
bool KORVO_CLAPCALL audioPortGet(const clap_plugin*, std::uint32_t index, bool isInput, clap_audio_port_info* info) {
  if (isInput || index != 0 || !info) return false;
  *info = {};
  info->id = 0;
  copyText(info->name, sizeof info->name, "Korvo");
  info->flags = CLAP_AUDIO_PORT_IS_MAIN;
  info->channel_count = 2;
  info->port_type = CLAP_PORT_STEREO;
  info->in_place_pair = CLAP_INVALID_ID;
  return true;
}
const clap_plugin_audio_ports kAudioPorts{audioPortCount, audioPortGet};

std::uint32_t KORVO_CLAPCALL notePortCount(const clap_plugin*, bool isInput) { return isInput ? 1 : 0; }
bool KORVO_CLAPCALL notePortGet(const clap_plugin*, std::uint32_t index, bool isInput, clap_note_port_info* info) {
  if (!isInput || index != 0 || !info) return false;
  *info = {};
  info->id = 0;
  info->supported_dialects = CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI;
  info->preferred_dialect = CLAP_NOTE_DIALECT_CLAP;
  copyText(info->name, sizeof info->name, "Notes");
  return true;
}
const clap_plugin_note_ports kNotePorts{notePortCount, notePortGet};

std::uint32_t KORVO_CLAPCALL latencyGet(const clap_plugin*) { return 0; }
const clap_plugin_latency kLatency{latencyGet};

}  // namespace

const clap_plugin_descriptor& CclapSynth::descriptor() { return kDescriptor; }

CclapSynth& CclapSynth::self(const clap_plugin* plugin) { return *static_cast<CclapSynth*>(plugin->plugin_data); }

// The parameter and state records need the instance: declared here, as friends would be.
struct CclapSynthRecords {
  static std::uint32_t KORVO_CLAPCALL count(const clap_plugin*) {
    return static_cast<std::uint32_t>(CplugInstance::params().size());
  }
  static bool KORVO_CLAPCALL info(const clap_plugin* p, std::uint32_t index, clap_param_info* info) {
    return info && CclapSynth::self(p).paramInfo(index, *info);
  }
  static bool KORVO_CLAPCALL value(const clap_plugin* p, clap_id id, double* value) {
    CplugInstance* instance = CclapSynth::self(p).instance();
    if (!value || !instance || id > INT32_MAX || !CplugInstance::params().find(static_cast<int>(id))) return false;
    *value = instance->paramValue(static_cast<int>(id));
    return true;
  }
  static bool KORVO_CLAPCALL toText(const clap_plugin* p, clap_id id, double value, char* display, std::uint32_t size) {
    return display && CclapSynth::self(p).valueToText(id, value, display, size);
  }
  static bool KORVO_CLAPCALL fromText(const clap_plugin* p, clap_id id, const char* display, double* value) {
    return display && value && CclapSynth::self(p).textToValue(id, display, *value);
  }
  static void KORVO_CLAPCALL flush(const clap_plugin* p, const clap_input_events* in, const clap_output_events* out) {
    CclapSynth& synth = CclapSynth::self(p);
    synth.applyParams(in);
    synth.reportChanges(out);
  }
  static bool KORVO_CLAPCALL save(const clap_plugin* p, const clap_ostream* stream) {
    return stream && CclapSynth::self(p).save(*stream);
  }
  static bool KORVO_CLAPCALL load(const clap_plugin* p, const clap_istream* stream) {
    return stream && CclapSynth::self(p).load(*stream);
  }
  static bool KORVO_CLAPCALL fromLocation(const clap_plugin* p, std::uint32_t kind, const char* location,
                                          const char* loadKey) {
    return CclapSynth::self(p).loadPreset(kind, location, loadKey);
  }

  static CclapEditor* editor(const clap_plugin* p) {
    CclapSynth& synth = CclapSynth::self(p);
    return synth.onMainThreadNow() ? synth.editor() : nullptr;
  }
  static bool KORVO_CLAPCALL guiApiSupported(const clap_plugin* p, const char* api, bool floating) {
    CclapEditor* e = editor(p);
    return e && e->isApiSupported(api, floating);
  }
  static bool KORVO_CLAPCALL guiPreferredApi(const clap_plugin* p, const char** api, bool* floating) {
    if (!editor(p) || !api || !floating) return false;
    *api = CclapEditor::api();
    *floating = false;
    return true;
  }
  static bool KORVO_CLAPCALL guiCreate(const clap_plugin* p, const char* api, bool floating) {
    CclapEditor* e = editor(p);
    return e && e->create(api, floating);
  }
  static void KORVO_CLAPCALL guiDestroy(const clap_plugin* p) {
    if (CclapEditor* e = editor(p)) e->destroy();
  }
  static bool KORVO_CLAPCALL guiSetScale(const clap_plugin* p, double factor) {
    CclapEditor* e = editor(p);
    return e && e->setScale(factor);
  }
  static bool KORVO_CLAPCALL guiGetSize(const clap_plugin* p, std::uint32_t* width, std::uint32_t* height) {
    CclapEditor* e = editor(p);
    if (!e || !width || !height) return false;
    e->size(*width, *height);
    return true;
  }
  static bool KORVO_CLAPCALL guiCanResize(const clap_plugin*) { return false; }
  static bool KORVO_CLAPCALL guiResizeHints(const clap_plugin*, clap_gui_resize_hints*) { return false; }
  static bool KORVO_CLAPCALL guiAdjustSize(const clap_plugin*, std::uint32_t*, std::uint32_t*) { return false; }
  static bool KORVO_CLAPCALL guiSetSize(const clap_plugin* p, std::uint32_t width, std::uint32_t height) {
    CclapEditor* e = editor(p);
    return e && e->setSize(width, height);
  }
  static bool KORVO_CLAPCALL guiSetParent(const clap_plugin* p, const clap_window* window) {
    CclapEditor* e = editor(p);
    return e && window && e->setParent(*window);
  }
  static bool KORVO_CLAPCALL guiSetTransient(const clap_plugin*, const clap_window*) { return false; }
  static void KORVO_CLAPCALL guiSuggestTitle(const clap_plugin*, const char*) {}
  static bool KORVO_CLAPCALL guiShow(const clap_plugin* p) {
    CclapEditor* e = editor(p);
    return e && e->show();
  }
  // The host hides its own window around ours.
  static bool KORVO_CLAPCALL guiHide(const clap_plugin* p) { return editor(p) && editor(p)->window(); }
  static void KORVO_CLAPCALL onTimer(const clap_plugin* p, clap_id timer) {
    if (CclapEditor* e = editor(p)) e->onTimer(timer);
  }
};

namespace {
const clap_plugin_params kParams{CclapSynthRecords::count,  CclapSynthRecords::info,     CclapSynthRecords::value,
                                 CclapSynthRecords::toText, CclapSynthRecords::fromText, CclapSynthRecords::flush};
const clap_plugin_state kState{CclapSynthRecords::save, CclapSynthRecords::load};
const clap_plugin_preset_load kPresetLoad{CclapSynthRecords::fromLocation};
const clap_plugin_gui kGui{
    CclapSynthRecords::guiApiSupported, CclapSynthRecords::guiPreferredApi, CclapSynthRecords::guiCreate,
    CclapSynthRecords::guiDestroy,      CclapSynthRecords::guiSetScale,     CclapSynthRecords::guiGetSize,
    CclapSynthRecords::guiCanResize,    CclapSynthRecords::guiResizeHints,  CclapSynthRecords::guiAdjustSize,
    CclapSynthRecords::guiSetSize,      CclapSynthRecords::guiSetParent,    CclapSynthRecords::guiSetTransient,
    CclapSynthRecords::guiSuggestTitle, CclapSynthRecords::guiShow,         CclapSynthRecords::guiHide};
const clap_plugin_timer_support kTimer{CclapSynthRecords::onTimer};
}  // namespace

CclapSynth::CclapSynth(const clap_host* host, InstanceEnvironment environment, EditorWindowFactory editorFactory)
    : host_(host), environment_(std::move(environment)), editorFactory_(std::move(editorFactory)) {
  hostKnows_.fill(kUnknown);
  // CLAP hosts send program change for the plug-in to use; the Options menu can turn it off.
  environment_.programChangeDefault = true;
  plugin_.desc = &kDescriptor;
  plugin_.plugin_data = this;
  plugin_.init = [](const clap_plugin* p) { return self(p).init(); };
  plugin_.destroy = [](const clap_plugin* p) { delete &self(p); };
  plugin_.activate = [](const clap_plugin* p, double rate, std::uint32_t, std::uint32_t) {
    return self(p).activate(rate);
  };
  plugin_.deactivate = [](const clap_plugin*) {};
  plugin_.start_processing = [](const clap_plugin*) { return true; };
  plugin_.stop_processing = [](const clap_plugin*) {};
  plugin_.reset = [](const clap_plugin* p) { self(p).reset(); };
  plugin_.process = [](const clap_plugin* p, const clap_process* process) {
    return process ? self(p).process(*process) : CLAP_PROCESS_ERROR;
  };
  plugin_.get_extension = [](const clap_plugin* p, const char* id) { return id ? self(p).extension(id) : nullptr; };
  plugin_.on_main_thread = [](const clap_plugin* p) { self(p).onMainThread(); };
}

// The instance writes the backup and the settings as it goes.
CclapSynth::~CclapSynth() = default;

bool CclapSynth::init() {
  hostParams_ = hostExtension<clap_host_params>(host_, CLAP_EXT_PARAMS);
  hostState_ = hostExtension<clap_host_state>(host_, CLAP_EXT_STATE);
  threadCheck_ = hostExtension<clap_host_thread_check>(host_, CLAP_EXT_THREAD_CHECK);
  hostPresetLoad_ = hostExtension<clap_host_preset_load>(host_, CLAP_EXT_PRESET_LOAD);
  if (!hostPresetLoad_) hostPresetLoad_ = hostExtension<clap_host_preset_load>(host_, CLAP_EXT_PRESET_LOAD_COMPAT);
  if (instance_ || !onMainThreadNow()) return false;
  environmentForPresets_ = environment_;
  try {
    instance_ = std::make_unique<CplugInstance>(kDefaultRate, std::move(environment_));
    events_.resize(CMidiParser::kCapacity);
    if (editorFactory_) {
      editor_ = std::make_unique<CclapEditor>(host_, *instance_, editorFactory_);
      editor_->afterIdle = [this] { requestFlushOnEdits(); };
      for (int id = 0; id < kParamWordCount; ++id)
        shown_[static_cast<std::size_t>(id)] = static_cast<std::int16_t>(instance_->paramValue(id));
    }
  } catch (...) {
    instance_.reset();
    return false;
  }
  return true;
}

bool CclapSynth::onMainThreadNow() const {
  return !threadCheck_ || !threadCheck_->is_main_thread || threadCheck_->is_main_thread(host_);
}

bool CclapSynth::activate(double sampleRate) {
  if (!instance_ || !onMainThreadNow() || !std::isfinite(sampleRate) || sampleRate < 1.0 || sampleRate > 1.0e6)
    return false;
  instance_->setSampleRate(sampleRate);
  return true;
}

void CclapSynth::reset() { resetPending_.store(true, std::memory_order_relaxed); }

const void* CclapSynth::extension(const char* id) const {
  const std::string_view name(id);
  if (name == CLAP_EXT_AUDIO_PORTS) return &kAudioPorts;
  if (name == CLAP_EXT_NOTE_PORTS) return &kNotePorts;
  if (name == CLAP_EXT_PARAMS) return &kParams;
  if (name == CLAP_EXT_STATE) return &kState;
  if (name == CLAP_EXT_LATENCY) return &kLatency;
  if (name == CLAP_EXT_PRESET_LOAD || name == CLAP_EXT_PRESET_LOAD_COMPAT) return &kPresetLoad;
  if (editor_ && name == CLAP_EXT_GUI) return &kGui;
  if (editor_ && name == CLAP_EXT_TIMER_SUPPORT) return &kTimer;
  return nullptr;
}

void CclapSynth::onMainThread() {
  if (!rescanPending_.exchange(false)) return;
  if (hostParams_ && hostParams_->rescan) hostParams_->rescan(host_, CLAP_PARAM_RESCAN_VALUES);
  markDirty();
}

void CclapSynth::markDirty() {
  if (hostState_ && hostState_->mark_dirty) hostState_->mark_dirty(host_);
}

void CclapSynth::requestFlushOnEdits() {
  bool changed = false;
  for (int id = 0; id < kParamWordCount; ++id) {
    const auto now = static_cast<std::int16_t>(instance_->paramValue(id));
    auto& shown = shown_[static_cast<std::size_t>(id)];
    changed = changed || now != shown;
    shown = now;
  }
  if (!changed) return;
  if (hostParams_ && hostParams_->request_flush) hostParams_->request_flush(host_);
  markDirty();
}

// Processing -------------------------------------------------------------------------------------

void CclapSynth::applyParam(const clap_event_header& event) {
  const auto change = clapParamChange(event);
  if (!change || !CplugInstance::params().find(change->id)) return;
  auto& known = hostKnows_[static_cast<std::size_t>(change->id)];
  if (known == change->value) return;  // not moved: an edit made inside stays
  known = change->value;
  instance_->setParamValue(change->id, change->value);
}

void CclapSynth::applyParams(const clap_input_events* in) {
  if (!instance_ || !in || !in->size || !in->get) return;
  const std::uint32_t n = in->size(in);
  for (std::uint32_t i = 0; i < n; ++i)
    if (const clap_event_header* e = in->get(in, i)) applyParam(*e);
}

std::uint32_t CclapSynth::takeEvents(const clap_input_events& in, std::uint32_t i, std::uint32_t count,
                                     std::uint32_t frame, std::uint32_t& until, std::size_t& notes) {
  for (; i < count; ++i) {
    const clap_event_header* e = in.get(&in, i);
    if (!e) continue;
    const std::uint32_t time = std::min(e->time, until > 0 ? until - 1 : 0);
    if (e->space_id == CLAP_CORE_EVENT_SPACE_ID && e->type == CLAP_EVENT_PARAM_VALUE) {
      if (time > frame) {
        until = time;
        return i;
      }
      applyParam(*e);
      continue;
    }
    const auto at = static_cast<std::int32_t>(time - std::min(time, frame));
    notes += fromClapEvent(*e, at, std::span(events_).subspan(notes));
    rememberNoteOn(*e);
  }
  return i;
}

void CclapSynth::rememberNoteOn(const clap_event_header& e) {
  if (e.space_id != CLAP_CORE_EVENT_SPACE_ID) return;
  if (e.type == CLAP_EVENT_NOTE_ON && e.size >= sizeof(clap_event_note)) {
    const auto& n = reinterpret_cast<const clap_event_note&>(e);
    noteEnds_.noteOn(n.key, n.channel, n.note_id);
  } else if (e.type == CLAP_EVENT_MIDI && e.size >= sizeof(clap_event_midi)) {
    const auto& m = reinterpret_cast<const clap_event_midi&>(e);
    if ((m.data[0] & 0xF0) == 0x90 && m.data[2] > 0) noteEnds_.noteOn(m.data[1] & 0x7F, m.data[0] & 0x0F, -1);
  }
}

clap_process_status CclapSynth::process(const clap_process& p) {
  if (!instance_) return CLAP_PROCESS_ERROR;
  float* left = nullptr;
  float* right = nullptr;
  if (p.audio_outputs_count > 0 && p.audio_outputs && p.audio_outputs[0].data32 &&
      p.audio_outputs[0].channel_count >= 2) {
    left = p.audio_outputs[0].data32[0];
    right = p.audio_outputs[0].data32[1];
    p.audio_outputs[0].constant_mask = 0;
  }
  const std::uint32_t frames = left && right ? p.frames_count : 0;
  const clap_input_events* in = p.in_events && p.in_events->size && p.in_events->get ? p.in_events : nullptr;
  const std::uint32_t count = in ? in->size(in) : 0;

  std::uint32_t next = 0, done = 0;
  do {
    std::size_t notes = 0;
    if (resetPending_.exchange(false, std::memory_order_relaxed)) {
      events_[0] = {};
      events_[0].status = 0xB0;
      events_[0].data1 = 123;  // all notes off: a reset ends every voice
      notes = 1;
    }
    std::uint32_t until = frames;
    if (in) next = takeEvents(*in, next, count, done, until, notes);
    if (until <= done && frames > 0) until = frames;  // no later change: the rest of the block
    instance_->processEvents({events_.data(), notes});
    noteEnds_.beforeRender(instance_->engine());
    if (until > done) instance_->render(true, left + done, static_cast<int>(until - done), right + done);
    noteEnds_.afterRender(instance_->engine(), until > 0 ? until - 1 : 0);
    done = until;
  } while (done < frames);
  reportChanges(p.out_events);
  noteEnds_.push(p.out_events);
  return CLAP_PROCESS_CONTINUE;
}

void CclapSynth::reportChanges(const clap_output_events* out) {
  if (!instance_) return;
  const bool stateLoaded = stateLoaded_.exchange(false);
  int n = 0;
  instance_->drainParamChanges([&](int id, int value) {
    changedIds_[static_cast<std::size_t>(n)] = static_cast<std::int16_t>(id);
    changedValues_[static_cast<std::size_t>(n)] = static_cast<std::int16_t>(value);
    ++n;
  });
  if (n == 0) return;
  for (int i = 0; i < n; ++i)
    hostKnows_[static_cast<std::size_t>(changedIds_[static_cast<std::size_t>(i)])] =
        changedValues_[static_cast<std::size_t>(i)];
  if (stateLoaded) return;  // the load told the host already
  if (n > kWholeSoundWords) {
    rescanPending_.store(true);
    if (host_ && host_->request_callback) host_->request_callback(host_);
    return;
  }
  if (!out || !out->try_push) return;
  for (int i = 0; i < n; ++i) {
    clap_event_param_value e{};
    e.header = {sizeof e, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    e.param_id = static_cast<clap_id>(changedIds_[static_cast<std::size_t>(i)]);
    e.note_id = -1;
    e.port_index = e.channel = e.key = -1;
    e.value = changedValues_[static_cast<std::size_t>(i)];
    out->try_push(out, &e.header);
  }
}

// Parameters -------------------------------------------------------------------------------------

bool CclapSynth::paramInfo(std::uint32_t index, clap_param_info& info) const {
  const auto& all = CplugInstance::params().all();
  if (index >= all.size()) return false;
  const ParamInfo& p = all[index];
  info = {};
  info.id = static_cast<clap_id>(p.id);
  info.flags = CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_AUTOMATABLE | (p.named() ? CLAP_PARAM_IS_ENUM : 0u);
  copyText(info.name, sizeof info.name, p.name);
  info.min_value = p.min;
  info.max_value = p.max;
  info.default_value = p.defaultValue;
  return true;
}

bool CclapSynth::valueToText(clap_id id, double value, char* display, std::uint32_t size) const {
  if (size == 0 || id > INT32_MAX || !std::isfinite(value)) return false;
  const ParamInfo* p = CplugInstance::params().find(static_cast<int>(id));
  if (!p) return false;
  const double v = std::clamp(std::trunc(value), static_cast<double>(p->min), static_cast<double>(p->max));
  copyText(display, size, CplugInstance::params().toText(p->id, static_cast<int>(v)));
  return true;
}

bool CclapSynth::textToValue(clap_id id, const char* display, double& value) const {
  if (id > INT32_MAX) return false;
  const auto v = CplugInstance::params().fromText(static_cast<int>(id), display);
  if (!v) return false;
  value = *v;
  return true;
}

// State ------------------------------------------------------------------------------------------

bool CclapSynth::save(const clap_ostream& stream) {
  if (!instance_ || !stream.write || !onMainThreadNow()) return false;
  const std::vector<std::uint8_t> state = instance_->state();
  std::size_t done = 0;
  while (done < state.size()) {
    const std::int64_t n = stream.write(&stream, state.data() + done, state.size() - done);
    if (n <= 0 || static_cast<std::uint64_t>(n) > state.size() - done) return false;
    done += static_cast<std::size_t>(n);
  }
  return !state.empty();
}

bool CclapSynth::loadPreset(std::uint32_t kind, const char* location, const char* loadKey) {
  if (!instance_ || !onMainThreadNow()) return false;
  const std::optional<int> n = presetNumber(loadKey);
  PresetBank bank;
  if (n) bank = readPresetBank(kind, location, environmentForPresets_);
  const std::string error = !n ? std::string("no program number: ") + (loadKey ? loadKey : "(none)") : bank.error;
  if (error.empty()) {
    const std::vector<std::uint8_t> record = presetRecord(bank, *n);
    if (loadRecord(record.data(), record.size())) {
      if (hostPresetLoad_ && hostPresetLoad_->loaded) hostPresetLoad_->loaded(host_, kind, location, loadKey);
      return true;
    }
  }
  if (hostPresetLoad_ && hostPresetLoad_->on_error)
    hostPresetLoad_->on_error(host_, kind, location, loadKey, 0, error.empty() ? "not a sound record" : error.c_str());
  return false;
}

bool CclapSynth::loadRecord(const std::uint8_t* data, std::size_t size) {
  if (!instance_->setState(data, size)) return false;
  stateLoaded_.store(true);
  if (editor_ && editor_->window()) editor_->window()->refresh();
  if (hostParams_ && hostParams_->rescan) hostParams_->rescan(host_, CLAP_PARAM_RESCAN_VALUES);
  return true;
}

bool CclapSynth::load(const clap_istream& stream) {
  if (!instance_ || !stream.read || !onMainThreadNow()) return false;
  std::vector<std::uint8_t> data(kMaxStateBytes + 1);
  std::size_t size = 0;
  while (size < data.size()) {
    const std::int64_t n = stream.read(&stream, data.data() + size, data.size() - size);
    if (n < 0 || static_cast<std::uint64_t>(n) > data.size() - size) return false;
    if (n == 0) break;
    size += static_cast<std::size_t>(n);
  }
  return size <= kMaxStateBytes && loadRecord(data.data(), size);
}

// Factory ----------------------------------------------------------------------------------------

const clap_plugin* createClapPlugin(const clap_host* host, const char* pluginId, InstanceEnvironment environment,
                                    EditorWindowFactory editorFactory) {
  if (!host || !pluginId || !clapVersionIsCompatible(host->clap_version) ||
      std::string_view(pluginId) != kDescriptor.id)
    return nullptr;
  try {
    return (new CclapSynth(host, std::move(environment), std::move(editorFactory)))->plugin();
  } catch (...) {
    return nullptr;
  }
}

}  // namespace korvo
