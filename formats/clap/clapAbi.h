// The CLAP binary interface (version 1.x) as plug-in and host see it: the entry record, the
// factory, the plug-in and host records, processing, events and the extensions Korvo offers or
// uses. Written from the published interface; no header of its distribution is used. Every record
// has the C layout with natural alignment; the function pointers use the C calling convention.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvo::clap {

#if defined(_WIN32) && !defined(_WIN64)
#define KORVO_CLAPCALL __cdecl
#else
#define KORVO_CLAPCALL
#endif

extern "C" {

using clap_id = std::uint32_t;
constexpr clap_id CLAP_INVALID_ID = UINT32_MAX;
constexpr std::size_t CLAP_NAME_SIZE = 256;
constexpr std::size_t CLAP_PATH_SIZE = 1024;

struct clap_version_t {
  std::uint32_t major, minor, revision;
};
constexpr clap_version_t CLAP_VERSION{1, 2, 2};
// A host or plug-in of another major version speaks another interface.
constexpr bool clapVersionIsCompatible(clap_version_t v) { return v.major >= 1; }

// Entry and factory ------------------------------------------------------------------------------

struct clap_plugin_entry {
  clap_version_t clap_version;
  bool(KORVO_CLAPCALL* init)(const char* plugin_path);
  void(KORVO_CLAPCALL* deinit)();
  const void*(KORVO_CLAPCALL* get_factory)(const char* factory_id);
};
// The exported symbol every host looks for.
#define KORVO_CLAP_ENTRY_SYMBOL "clap_entry"

inline constexpr char CLAP_PLUGIN_FACTORY_ID[] = "clap.plugin-factory";

struct clap_host;
struct clap_plugin;

struct clap_plugin_descriptor {
  clap_version_t clap_version;
  const char* id;
  const char* name;
  const char* vendor;
  const char* url;
  const char* manual_url;
  const char* support_url;
  const char* version;
  const char* description;
  const char* const* features;  // null-terminated
};

struct clap_plugin_factory {
  std::uint32_t(KORVO_CLAPCALL* get_plugin_count)(const clap_plugin_factory* factory);
  const clap_plugin_descriptor*(KORVO_CLAPCALL* get_plugin_descriptor)(const clap_plugin_factory* factory,
                                                                       std::uint32_t index);
  const clap_plugin*(KORVO_CLAPCALL* create_plugin)(const clap_plugin_factory* factory, const clap_host* host,
                                                    const char* plugin_id);
};

// Events -----------------------------------------------------------------------------------------

struct clap_event_header {
  std::uint32_t size;  // of the whole event
  std::uint32_t time;  // frame within the block
  std::uint16_t space_id;
  std::uint16_t type;
  std::uint32_t flags;
};
constexpr std::uint16_t CLAP_CORE_EVENT_SPACE_ID = 0;
enum : std::uint32_t { CLAP_EVENT_IS_LIVE = 1u << 0, CLAP_EVENT_DONT_RECORD = 1u << 1 };

enum : std::uint16_t {
  CLAP_EVENT_NOTE_ON = 0,
  CLAP_EVENT_NOTE_OFF = 1,
  CLAP_EVENT_NOTE_CHOKE = 2,
  CLAP_EVENT_NOTE_END = 3,
  CLAP_EVENT_NOTE_EXPRESSION = 4,
  CLAP_EVENT_PARAM_VALUE = 5,
  CLAP_EVENT_PARAM_MOD = 6,
  CLAP_EVENT_PARAM_GESTURE_BEGIN = 7,
  CLAP_EVENT_PARAM_GESTURE_END = 8,
  CLAP_EVENT_TRANSPORT = 9,
  CLAP_EVENT_MIDI = 10,
  CLAP_EVENT_MIDI_SYSEX = 11,
  CLAP_EVENT_MIDI2 = 12,
};

// -1 in note_id, port_index, channel or key is a wildcard (not allowed in a note-on).
struct clap_event_note {
  clap_event_header header;
  std::int32_t note_id;
  std::int16_t port_index;
  std::int16_t channel;
  std::int16_t key;
  double velocity;  // 0..1
};

struct clap_event_param_value {
  clap_event_header header;
  clap_id param_id;
  void* cookie;
  std::int32_t note_id;
  std::int16_t port_index;
  std::int16_t channel;
  std::int16_t key;
  double value;
};

struct clap_event_midi {
  clap_event_header header;
  std::uint16_t port_index;
  std::uint8_t data[3];
};

struct clap_event_midi_sysex {
  clap_event_header header;
  std::uint16_t port_index;
  const std::uint8_t* buffer;  // valid for the process call only
  std::uint32_t size;
};

struct clap_input_events {
  void* ctx;
  std::uint32_t(KORVO_CLAPCALL* size)(const clap_input_events* list);
  const clap_event_header*(KORVO_CLAPCALL* get)(const clap_input_events* list, std::uint32_t index);
};

struct clap_output_events {
  void* ctx;
  bool(KORVO_CLAPCALL* try_push)(const clap_output_events* list, const clap_event_header* event);
};

// Processing -------------------------------------------------------------------------------------

struct clap_audio_buffer {
  float** data32;
  double** data64;
  std::uint32_t channel_count;
  std::uint32_t latency;
  std::uint64_t constant_mask;
};

enum : std::int32_t {
  CLAP_PROCESS_ERROR = 0,
  CLAP_PROCESS_CONTINUE = 1,
  CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2,
  CLAP_PROCESS_TAIL = 3,
  CLAP_PROCESS_SLEEP = 4,
};
using clap_process_status = std::int32_t;

struct clap_event_transport;

struct clap_process {
  std::int64_t steady_time;
  std::uint32_t frames_count;
  const clap_event_transport* transport;
  const clap_audio_buffer* audio_inputs;
  clap_audio_buffer* audio_outputs;
  std::uint32_t audio_inputs_count;
  std::uint32_t audio_outputs_count;
  const clap_input_events* in_events;
  const clap_output_events* out_events;
};

// Plug-in and host -------------------------------------------------------------------------------

struct clap_plugin {
  const clap_plugin_descriptor* desc;
  void* plugin_data;
  bool(KORVO_CLAPCALL* init)(const clap_plugin* plugin);
  void(KORVO_CLAPCALL* destroy)(const clap_plugin* plugin);
  bool(KORVO_CLAPCALL* activate)(const clap_plugin* plugin, double sample_rate, std::uint32_t min_frames,
                                 std::uint32_t max_frames);
  void(KORVO_CLAPCALL* deactivate)(const clap_plugin* plugin);
  bool(KORVO_CLAPCALL* start_processing)(const clap_plugin* plugin);
  void(KORVO_CLAPCALL* stop_processing)(const clap_plugin* plugin);
  void(KORVO_CLAPCALL* reset)(const clap_plugin* plugin);
  clap_process_status(KORVO_CLAPCALL* process)(const clap_plugin* plugin, const clap_process* process);
  const void*(KORVO_CLAPCALL* get_extension)(const clap_plugin* plugin, const char* id);
  void(KORVO_CLAPCALL* on_main_thread)(const clap_plugin* plugin);
};

struct clap_host {
  clap_version_t clap_version;
  void* host_data;
  const char* name;
  const char* vendor;
  const char* url;
  const char* version;
  const void*(KORVO_CLAPCALL* get_extension)(const clap_host* host, const char* extension_id);
  void(KORVO_CLAPCALL* request_restart)(const clap_host* host);
  void(KORVO_CLAPCALL* request_process)(const clap_host* host);
  void(KORVO_CLAPCALL* request_callback)(const clap_host* host);
};

// Extensions -------------------------------------------------------------------------------------

inline constexpr char CLAP_EXT_AUDIO_PORTS[] = "clap.audio-ports";
inline constexpr char CLAP_PORT_STEREO[] = "stereo";
enum : std::uint32_t { CLAP_AUDIO_PORT_IS_MAIN = 1u << 0 };
struct clap_audio_port_info {
  clap_id id;
  char name[CLAP_NAME_SIZE];
  std::uint32_t flags;
  std::uint32_t channel_count;
  const char* port_type;
  clap_id in_place_pair;
};
struct clap_plugin_audio_ports {
  std::uint32_t(KORVO_CLAPCALL* count)(const clap_plugin* plugin, bool is_input);
  bool(KORVO_CLAPCALL* get)(const clap_plugin* plugin, std::uint32_t index, bool is_input, clap_audio_port_info* info);
};

inline constexpr char CLAP_EXT_NOTE_PORTS[] = "clap.note-ports";
enum : std::uint32_t {
  CLAP_NOTE_DIALECT_CLAP = 1u << 0,
  CLAP_NOTE_DIALECT_MIDI = 1u << 1,
  CLAP_NOTE_DIALECT_MIDI_MPE = 1u << 2,
  CLAP_NOTE_DIALECT_MIDI2 = 1u << 3,
};
struct clap_note_port_info {
  clap_id id;
  std::uint32_t supported_dialects;
  std::uint32_t preferred_dialect;
  char name[CLAP_NAME_SIZE];
};
struct clap_plugin_note_ports {
  std::uint32_t(KORVO_CLAPCALL* count)(const clap_plugin* plugin, bool is_input);
  bool(KORVO_CLAPCALL* get)(const clap_plugin* plugin, std::uint32_t index, bool is_input, clap_note_port_info* info);
};

inline constexpr char CLAP_EXT_PARAMS[] = "clap.params";
enum : std::uint32_t {
  CLAP_PARAM_IS_STEPPED = 1u << 0,
  CLAP_PARAM_IS_PERIODIC = 1u << 1,
  CLAP_PARAM_IS_HIDDEN = 1u << 2,
  CLAP_PARAM_IS_READONLY = 1u << 3,
  CLAP_PARAM_IS_BYPASS = 1u << 4,
  CLAP_PARAM_IS_AUTOMATABLE = 1u << 5,
  CLAP_PARAM_IS_MODULATABLE = 1u << 10,
  CLAP_PARAM_REQUIRES_PROCESS = 1u << 15,
  CLAP_PARAM_IS_ENUM = 1u << 16,
};
struct clap_param_info {
  clap_id id;
  std::uint32_t flags;
  void* cookie;
  char name[CLAP_NAME_SIZE];
  char module[CLAP_PATH_SIZE];
  double min_value;
  double max_value;
  double default_value;
};
struct clap_plugin_params {
  std::uint32_t(KORVO_CLAPCALL* count)(const clap_plugin* plugin);
  bool(KORVO_CLAPCALL* get_info)(const clap_plugin* plugin, std::uint32_t param_index, clap_param_info* info);
  bool(KORVO_CLAPCALL* get_value)(const clap_plugin* plugin, clap_id param_id, double* value);
  bool(KORVO_CLAPCALL* value_to_text)(const clap_plugin* plugin, clap_id param_id, double value, char* display,
                                      std::uint32_t size);
  bool(KORVO_CLAPCALL* text_to_value)(const clap_plugin* plugin, clap_id param_id, const char* display, double* value);
  void(KORVO_CLAPCALL* flush)(const clap_plugin* plugin, const clap_input_events* in, const clap_output_events* out);
};
enum : std::uint32_t {
  CLAP_PARAM_RESCAN_VALUES = 1u << 0,
  CLAP_PARAM_RESCAN_TEXT = 1u << 1,
  CLAP_PARAM_RESCAN_INFO = 1u << 2,
  CLAP_PARAM_RESCAN_ALL = 1u << 3,
};
struct clap_host_params {
  void(KORVO_CLAPCALL* rescan)(const clap_host* host, std::uint32_t flags);  // main thread
  void(KORVO_CLAPCALL* clear)(const clap_host* host, clap_id param_id, std::uint32_t flags);
  void(KORVO_CLAPCALL* request_flush)(const clap_host* host);  // any thread but the audio thread
};

inline constexpr char CLAP_EXT_STATE[] = "clap.state";
// read: bytes read (maybe fewer than asked), 0 at the end, -1 on error. write: bytes written, -1 on error.
struct clap_istream {
  void* ctx;
  std::int64_t(KORVO_CLAPCALL* read)(const clap_istream* stream, void* buffer, std::uint64_t size);
};
struct clap_ostream {
  void* ctx;
  std::int64_t(KORVO_CLAPCALL* write)(const clap_ostream* stream, const void* buffer, std::uint64_t size);
};
struct clap_plugin_state {
  bool(KORVO_CLAPCALL* save)(const clap_plugin* plugin, const clap_ostream* stream);
  bool(KORVO_CLAPCALL* load)(const clap_plugin* plugin, const clap_istream* stream);
};
struct clap_host_state {
  void(KORVO_CLAPCALL* mark_dirty)(const clap_host* host);
};

inline constexpr char CLAP_EXT_LATENCY[] = "clap.latency";
struct clap_plugin_latency {
  std::uint32_t(KORVO_CLAPCALL* get)(const clap_plugin* plugin);
};

inline constexpr char CLAP_EXT_THREAD_CHECK[] = "clap.thread-check";
struct clap_host_thread_check {
  bool(KORVO_CLAPCALL* is_main_thread)(const clap_host* host);
  bool(KORVO_CLAPCALL* is_audio_thread)(const clap_host* host);
};

inline constexpr char CLAP_EXT_TIMER_SUPPORT[] = "clap.timer-support";
struct clap_plugin_timer_support {
  void(KORVO_CLAPCALL* on_timer)(const clap_plugin* plugin, clap_id timer_id);
};
struct clap_host_timer_support {
  bool(KORVO_CLAPCALL* register_timer)(const clap_host* host, std::uint32_t period_ms, clap_id* timer_id);
  bool(KORVO_CLAPCALL* unregister_timer)(const clap_host* host, clap_id timer_id);
};

inline constexpr char CLAP_EXT_GUI[] = "clap.gui";
inline constexpr char CLAP_WINDOW_API_WIN32[] = "win32";
inline constexpr char CLAP_WINDOW_API_X11[] = "x11";
// The host's window to embed into: an HWND on Windows, an X11 window id (XID) on X11.
struct clap_window {
  const char* api;
  union {
    void* cocoa;
    unsigned long x11;
    void* win32;
    void* ptr;
  };
};
struct clap_gui_resize_hints {
  bool can_resize_horizontally;
  bool can_resize_vertically;
  bool preserve_aspect_ratio;
  std::uint32_t aspect_ratio_width;
  std::uint32_t aspect_ratio_height;
};
// Sizes are in physical pixels on Windows and X11. Every call is on the main thread.
struct clap_plugin_gui {
  bool(KORVO_CLAPCALL* is_api_supported)(const clap_plugin* plugin, const char* api, bool is_floating);
  bool(KORVO_CLAPCALL* get_preferred_api)(const clap_plugin* plugin, const char** api, bool* is_floating);
  bool(KORVO_CLAPCALL* create)(const clap_plugin* plugin, const char* api, bool is_floating);
  void(KORVO_CLAPCALL* destroy)(const clap_plugin* plugin);
  bool(KORVO_CLAPCALL* set_scale)(const clap_plugin* plugin, double scale);
  bool(KORVO_CLAPCALL* get_size)(const clap_plugin* plugin, std::uint32_t* width, std::uint32_t* height);
  bool(KORVO_CLAPCALL* can_resize)(const clap_plugin* plugin);
  bool(KORVO_CLAPCALL* get_resize_hints)(const clap_plugin* plugin, clap_gui_resize_hints* hints);
  bool(KORVO_CLAPCALL* adjust_size)(const clap_plugin* plugin, std::uint32_t* width, std::uint32_t* height);
  bool(KORVO_CLAPCALL* set_size)(const clap_plugin* plugin, std::uint32_t width, std::uint32_t height);
  bool(KORVO_CLAPCALL* set_parent)(const clap_plugin* plugin, const clap_window* window);
  bool(KORVO_CLAPCALL* set_transient)(const clap_plugin* plugin, const clap_window* window);
  void(KORVO_CLAPCALL* suggest_title)(const clap_plugin* plugin, const char* title);
  bool(KORVO_CLAPCALL* show)(const clap_plugin* plugin);
  bool(KORVO_CLAPCALL* hide)(const clap_plugin* plugin);
};
struct clap_host_gui {
  void(KORVO_CLAPCALL* resize_hints_changed)(const clap_host* host);
  bool(KORVO_CLAPCALL* request_resize)(const clap_host* host, std::uint32_t width, std::uint32_t height);
  bool(KORVO_CLAPCALL* request_show)(const clap_host* host);
  bool(KORVO_CLAPCALL* request_hide)(const clap_host* host);
  void(KORVO_CLAPCALL* closed)(const clap_host* host, bool was_destroyed);
};

}  // extern "C"

// A host's extension record, null when the host has none.
template <class Ext>
const Ext* hostExtension(const clap_host* host, const char* id) {
  if (!host || !host->get_extension) return nullptr;
  return static_cast<const Ext*>(host->get_extension(host, id));
}

// Preset discovery and loading ------------------------------------------------------------------
// A host indexes the sounds through a provider of the preset-discovery factory (locations: the
// built-in factory bank, library files), then asks the plug-in to load one by location and key.

inline constexpr char CLAP_PRESET_DISCOVERY_FACTORY_ID[] = "clap.preset-discovery-factory/2";
inline constexpr char CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT[] = "clap.preset-discovery-factory/draft-2";

enum : std::uint32_t { CLAP_PRESET_DISCOVERY_LOCATION_FILE = 0, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN = 1 };
enum : std::uint32_t {
  CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT = 1u << 0,
  CLAP_PRESET_DISCOVERY_IS_USER_CONTENT = 1u << 1,
};

using clap_timestamp = std::uint64_t;  // seconds since 1970; 0 when unknown

struct clap_universal_plugin_id {
  const char* abi;  // "clap"
  const char* id;
};

struct clap_preset_discovery_metadata_receiver {
  void* receiver_data;
  void(KORVO_CLAPCALL* on_error)(const clap_preset_discovery_metadata_receiver* receiver, std::int32_t os_error,
                                 const char* error_message);
  // False: stop calling back for this file.
  bool(KORVO_CLAPCALL* begin_preset)(const clap_preset_discovery_metadata_receiver* receiver, const char* name,
                                     const char* load_key);
  void(KORVO_CLAPCALL* add_plugin_id)(const clap_preset_discovery_metadata_receiver* receiver,
                                      const clap_universal_plugin_id* plugin_id);
  void(KORVO_CLAPCALL* set_soundpack_id)(const clap_preset_discovery_metadata_receiver* receiver,
                                         const char* soundpack_id);
  void(KORVO_CLAPCALL* set_flags)(const clap_preset_discovery_metadata_receiver* receiver, std::uint32_t flags);
  void(KORVO_CLAPCALL* add_creator)(const clap_preset_discovery_metadata_receiver* receiver, const char* creator);
  void(KORVO_CLAPCALL* set_description)(const clap_preset_discovery_metadata_receiver* receiver,
                                        const char* description);
  void(KORVO_CLAPCALL* set_timestamps)(const clap_preset_discovery_metadata_receiver* receiver,
                                       clap_timestamp creation_time, clap_timestamp modification_time);
  void(KORVO_CLAPCALL* add_feature)(const clap_preset_discovery_metadata_receiver* receiver, const char* feature);
  void(KORVO_CLAPCALL* add_extra_info)(const clap_preset_discovery_metadata_receiver* receiver, const char* key,
                                       const char* value);
};

struct clap_preset_discovery_filetype {
  const char* name;
  const char* description;
  const char* file_extension;  // without the dot
};

struct clap_preset_discovery_location {
  std::uint32_t flags;
  const char* name;
  std::uint32_t kind;
  const char* location;  // a folder or a file; null for presets inside the plug-in
};

struct clap_preset_discovery_soundpack;

struct clap_preset_discovery_provider_descriptor {
  clap_version_t clap_version;
  const char* id;
  const char* name;
  const char* vendor;
};

struct clap_preset_discovery_provider {
  const clap_preset_discovery_provider_descriptor* desc;
  void* provider_data;
  bool(KORVO_CLAPCALL* init)(const clap_preset_discovery_provider* provider);
  void(KORVO_CLAPCALL* destroy)(const clap_preset_discovery_provider* provider);
  bool(KORVO_CLAPCALL* get_metadata)(const clap_preset_discovery_provider* provider, std::uint32_t location_kind,
                                     const char* location,
                                     const clap_preset_discovery_metadata_receiver* metadata_receiver);
  const void*(KORVO_CLAPCALL* get_extension)(const clap_preset_discovery_provider* provider, const char* extension_id);
};

struct clap_preset_discovery_indexer {
  clap_version_t clap_version;
  const char* name;
  const char* vendor;
  const char* url;
  const char* version;
  void* indexer_data;
  bool(KORVO_CLAPCALL* declare_filetype)(const clap_preset_discovery_indexer* indexer,
                                         const clap_preset_discovery_filetype* filetype);
  bool(KORVO_CLAPCALL* declare_location)(const clap_preset_discovery_indexer* indexer,
                                         const clap_preset_discovery_location* location);
  bool(KORVO_CLAPCALL* declare_soundpack)(const clap_preset_discovery_indexer* indexer,
                                          const clap_preset_discovery_soundpack* soundpack);
  const void*(KORVO_CLAPCALL* get_extension)(const clap_preset_discovery_indexer* indexer, const char* extension_id);
};

struct clap_preset_discovery_factory {
  std::uint32_t(KORVO_CLAPCALL* count)(const clap_preset_discovery_factory* factory);
  const clap_preset_discovery_provider_descriptor*(KORVO_CLAPCALL* get_descriptor)(
      const clap_preset_discovery_factory* factory, std::uint32_t index);
  const clap_preset_discovery_provider*(KORVO_CLAPCALL* create)(const clap_preset_discovery_factory* factory,
                                                                const clap_preset_discovery_indexer* indexer,
                                                                const char* provider_id);
};

inline constexpr char CLAP_EXT_PRESET_LOAD[] = "clap.preset-load/2";
inline constexpr char CLAP_EXT_PRESET_LOAD_COMPAT[] = "clap.preset-load.draft/2";
struct clap_plugin_preset_load {
  bool(KORVO_CLAPCALL* from_location)(const clap_plugin* plugin, std::uint32_t location_kind, const char* location,
                                      const char* load_key);  // main thread
};
struct clap_host_preset_load {
  void(KORVO_CLAPCALL* on_error)(const clap_host* host, std::uint32_t location_kind, const char* location,
                                 const char* load_key, std::int32_t os_error, const char* msg);
  void(KORVO_CLAPCALL* loaded)(const clap_host* host, std::uint32_t location_kind, const char* location,
                               const char* load_key);
};

}  // namespace korvo::clap
