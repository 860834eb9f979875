// claphost: loads a CLAP plug-in as a host does and runs the checks a plug-in validator runs
// (activation at many rates, odd block sizes, notes in both dialects, state, parameters and their
// texts, parameters fuzzed while processing, the threads of the host's callbacks). Exit status 0 only when every check
// passed.
//
//   claphost [--check NAME]... [--seed N] [--id ID] PLUGIN.clap
//   checks: descriptor activate blocks notes state params fuzz presets (default: all); gui (not in "all":
//   it needs a display)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "clapHost.h"

#include <chrono>
#include <thread>

#include "hostWindow.h"

namespace korvo::claphost {
namespace {

using namespace clap;

std::mt19937 rng;
const char* pluginId = "org.korvo.synth";

bool fail(const std::string& what) {
  std::fprintf(stderr, "  FAIL: %s\n", what.c_str());
  return false;
}

// Blocks rendered on the audio thread: each block's output starts as NaN, so a sample the
// plug-in did not write shows; every sample must end finite.
struct Rendered {
  bool ok = true;
  std::string error;
  std::vector<float> peaks;  // per block
  std::vector<OutputEvents::Param> outputs;
  std::vector<OutputEvents::NoteEnd> noteEnds;
};

using EventsFor = std::function<void(std::size_t block, std::uint32_t frames, InputEvents& events)>;

Rendered render(ClapHost& host, const std::vector<std::uint32_t>& sizes, const EventsFor& eventsFor) {
  Rendered r;
  const std::uint32_t most = sizes.empty() ? 1 : *std::max_element(sizes.begin(), sizes.end());
  std::vector<float> left(most), right(most);
  float* channels[2] = {left.data(), right.data()};
  InputEvents in;
  in.clear();
  host.runOnAudioThread([&] {
    const clap_plugin* p = host.plugin();
    if (!p->start_processing(p)) {
      r.ok = false, r.error = "start_processing refused";
      return;
    }
    std::int64_t steady = 0;
    for (std::size_t b = 0; b < sizes.size() && r.ok; ++b) {
      const std::uint32_t n = sizes[b];
      std::fill(left.begin(), left.end(), std::numeric_limits<float>::quiet_NaN());
      std::fill(right.begin(), right.end(), std::numeric_limits<float>::quiet_NaN());
      in.clear();
      if (eventsFor) eventsFor(b, n, in);
      OutputEvents out;
      clap_audio_buffer output{channels, nullptr, 2, 0, 0};
      const clap_process process{steady, n, nullptr, nullptr, &output, 0, 1, in.list(), out.list()};
      if (p->process(p, &process) == CLAP_PROCESS_ERROR) {
        r.ok = false, r.error = "process returned an error in block " + std::to_string(b);
        break;
      }
      steady += n;
      float peak = 0;
      for (std::uint32_t i = 0; i < n; ++i) {
        if (!std::isfinite(left[i]) || !std::isfinite(right[i])) {
          r.ok = false;
          r.error = "block " + std::to_string(b) + " (" + std::to_string(n) + " frames): sample " + std::to_string(i) +
                    " not written or not finite";
          break;
        }
        peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
      }
      r.peaks.push_back(peak);
      if (out.unsorted) r.ok = false, r.error = "output events out of time order";
      r.outputs.insert(r.outputs.end(), out.params.begin(), out.params.end());
      r.noteEnds.insert(r.noteEnds.end(), out.noteEnds.begin(), out.noteEnds.end());
    }
    p->stop_processing(p);
  });
  return r;
}

bool activate(ClapHost& host, double rate) {
  return host.plugin()->activate(host.plugin(), rate, 1, 16384) || fail("activate at " + std::to_string(rate));
}
void deactivate(ClapHost& host) { host.plugin()->deactivate(host.plugin()); }

std::vector<std::uint32_t> blocks(std::size_t count, std::uint32_t size) { return std::vector(count, size); }

// descriptor -------------------------------------------------------------------------------------

bool checkDescriptor(ClapHost& host) {
  bool ok = true;
  const clap_plugin_factory* f = host.factory();
  if (f->get_plugin_count(f) != 1) ok = fail("the factory should offer one plug-in");
  const clap_plugin_descriptor* d = f->get_plugin_descriptor(f, 0);
  if (!d) return fail("no descriptor");
  if (std::string(d->id) != "org.korvo.synth" || std::string(d->name) != "Korvo" || std::string(d->vendor) != "Korvo")
    ok = fail("descriptor id, name or vendor");
  std::set<std::string> features;
  for (const char* const* x = d->features; x && *x; ++x) features.insert(*x);
  for (const char* want : {"instrument", "synthesizer", "stereo"})
    if (!features.count(want)) ok = fail(std::string("feature missing: ") + want);
  if (f->get_plugin_descriptor(f, 1)) ok = fail("a descriptor past the count");
  if (f->create_plugin(f, host.host(), "org.example.other")) ok = fail("created a plug-in for another id");

  const auto* audio = host.extension<clap_plugin_audio_ports>(CLAP_EXT_AUDIO_PORTS);
  const auto* notes = host.extension<clap_plugin_note_ports>(CLAP_EXT_NOTE_PORTS);
  const auto* latency = host.extension<clap_plugin_latency>(CLAP_EXT_LATENCY);
  if (!audio || !notes || !latency || !host.extension<clap_plugin_params>(CLAP_EXT_PARAMS) ||
      !host.extension<clap_plugin_state>(CLAP_EXT_STATE))
    return fail("an extension is missing (audio-ports, note-ports, latency, params, state)");
  const clap_plugin* p = host.plugin();
  clap_audio_port_info a{};
  if (audio->count(p, true) != 0 || audio->count(p, false) != 1 || !audio->get(p, 0, false, &a) ||
      a.channel_count != 2 || !(a.flags & CLAP_AUDIO_PORT_IS_MAIN) || !a.port_type ||
      std::string(a.port_type) != CLAP_PORT_STEREO || audio->get(p, 1, false, &a))
    ok = fail("audio ports: one stereo main output expected");
  clap_note_port_info n{};
  if (notes->count(p, true) != 1 || notes->count(p, false) != 0 || !notes->get(p, 0, true, &n) ||
      n.supported_dialects != (CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI) ||
      n.preferred_dialect != CLAP_NOTE_DIALECT_CLAP)
    ok = fail("note ports: one input, CLAP and MIDI, CLAP preferred");
  if (latency->get(p) != 0) ok = fail("latency should be 0");
  return ok;
}

// activate ---------------------------------------------------------------------------------------

bool checkActivate(ClapHost& host) {
  bool ok = true;
  for (double rate : {22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0}) {
    for (int cycle = 0; cycle < 2; ++cycle) {
      if (!activate(host, rate)) return false;
      const Rendered r = render(host, blocks(8, 512), [](std::size_t b, std::uint32_t, InputEvents& e) {
        if (b == 0) e.noteOn(0, 60, 0.8);
        if (b == 5) e.noteOff(10, 60);
      });
      deactivate(host);
      if (!r.ok) ok = fail("at " + std::to_string(rate) + " Hz: " + r.error);
      if (*std::max_element(r.peaks.begin(), r.peaks.end()) <= 0)
        ok = fail("silent after a note at " + std::to_string(rate) + " Hz");
    }
  }
  return ok;
}

// blocks -----------------------------------------------------------------------------------------

bool checkBlocks(ClapHost& host) {
  std::vector<std::uint32_t> sizes;
  std::uniform_int_distribution<std::uint32_t> size(1, 16384);
  for (int i = 0; i < 40; ++i) sizes.push_back(size(rng));
  for (std::uint32_t tiny : {1u, 2u, 3u, 1u, 5u, 1u, 7u, 16384u, 1u}) sizes.push_back(tiny);
  if (!activate(host, 44100)) return false;
  std::uniform_int_distribution<int> key(36, 96);
  const Rendered r = render(host, sizes, [&](std::size_t, std::uint32_t n, InputEvents& e) {
    std::uniform_int_distribution<std::uint32_t> at(0, n - 1);
    std::uint32_t t1 = at(rng), t2 = at(rng);
    if (t2 < t1) std::swap(t1, t2);
    e.noteOn(t1, key(rng), 0.7);
    e.noteOff(t2, key(rng));
  });
  deactivate(host);
  return r.ok || fail(r.error);
}

// notes ------------------------------------------------------------------------------------------

// Renders blocks of 1024 frames until one is silent (true), at most `seconds`.
bool fallsSilent(ClapHost& host, double seconds) {
  const auto count = static_cast<std::size_t>(seconds * 44100 / 1024);
  const Rendered r = render(host, blocks(count, 1024), {});
  return r.ok && std::any_of(r.peaks.begin(), r.peaks.end(), [](float p) { return p < 1e-5f; });
}

float loudest(const Rendered& r) { return r.peaks.empty() ? 0 : *std::max_element(r.peaks.begin(), r.peaks.end()); }

bool checkNotes(ClapHost& host) {
  bool ok = true;
  if (!activate(host, 44100)) return false;
  if (!fallsSilent(host, 1)) ok = fail("not silent before any note");
  // A note-on without a key is invalid and ignored.
  Rendered r = render(host, blocks(8, 1024), [](std::size_t b, std::uint32_t, InputEvents& e) {
    if (b == 0) e.noteOn(0, -1, 0.8);
  });
  if (!r.ok || loudest(r) > 1e-5f) ok = fail("a note-on with a wildcard key sounded");
  // CLAP dialect, no note ids; released by a wildcard note-off.
  r = render(host, blocks(16, 1024), [](std::size_t b, std::uint32_t, InputEvents& e) {
    if (b == 0) e.noteOn(100, 64, 0.9, 0, -1);
  });
  if (!r.ok || loudest(r) <= 1e-3f) ok = fail("a CLAP note-on did not sound");
  r = render(host, blocks(1, 64), [](std::size_t, std::uint32_t, InputEvents& e) { e.noteOff(0, -1, -1, -1); });
  if (!r.ok || !fallsSilent(host, 30)) ok = fail("a wildcard note-off did not end the note");
  // MIDI dialect: a note-on of velocity 0 ends the note.
  r = render(host, blocks(16, 1024), [](std::size_t b, std::uint32_t, InputEvents& e) {
    if (b == 0) e.midi(0, 0x90, 62, 100);
  });
  if (!r.ok || loudest(r) <= 1e-3f) ok = fail("a MIDI note-on did not sound");
  r = render(host, blocks(1, 64), [](std::size_t, std::uint32_t, InputEvents& e) { e.midi(0, 0x90, 62, 0); });
  if (!r.ok || !fallsSilent(host, 30)) ok = fail("a MIDI note-on of velocity 0 did not end the note");
  // A CLAP note-on of velocity 0 is still a note.
  r = render(host, blocks(8, 1024), [](std::size_t b, std::uint32_t, InputEvents& e) {
    if (b == 0) e.noteOn(0, 67, 0.0, 0, 7);
    if (b == 7) e.noteOff(0, 67, 0, 7);
  });
  if (!r.ok || loudest(r) <= 0) ok = fail("a CLAP note-on of velocity 0 did not sound");
  // The voice that falls silent tells the host which note ended (a host tracking voices needs it).
  bool ended = false;
  for (int tries = 0; tries < 30 && !ended && r.ok; ++tries) {
    for (const auto& e : r.noteEnds) ended = ended || (e.key == 67 && e.noteId == 7 && e.channel == 0);
    if (!ended) r = render(host, blocks(44, 1024), {});
  }
  if (!ended) ok = fail("no note-end event for a released note");
  deactivate(host);
  return ok;
}

// state ------------------------------------------------------------------------------------------

// Streams that move at most `step` bytes a call, as some hosts do.
struct Reader {
  const std::vector<std::uint8_t>& data;
  std::size_t step, at = 0;
  bool error = false;
  clap_istream stream{this, [](const clap_istream* s, void* buffer, std::uint64_t size) -> std::int64_t {
                        auto* self = static_cast<Reader*>(s->ctx);
                        if (self->error) return -1;
                        const std::size_t n = std::min<std::size_t>(
                            {self->step, static_cast<std::size_t>(size), self->data.size() - self->at});
                        if (n > 0) std::memcpy(buffer, self->data.data() + self->at, n);
                        self->at += n;
                        return static_cast<std::int64_t>(n);
                      }};
};
struct Writer {
  std::vector<std::uint8_t> data;
  std::size_t step;
  clap_ostream stream{this, [](const clap_ostream* s, const void* buffer, std::uint64_t size) -> std::int64_t {
                        auto* self = static_cast<Writer*>(s->ctx);
                        const std::size_t n = std::min<std::size_t>(self->step, static_cast<std::size_t>(size));
                        const auto* b = static_cast<const std::uint8_t*>(buffer);
                        self->data.insert(self->data.end(), b, b + n);
                        return static_cast<std::int64_t>(n);
                      }};
};

std::vector<std::uint8_t> saveState(ClapHost& host, std::size_t step) {
  const auto* state = host.extension<clap_plugin_state>(CLAP_EXT_STATE);
  Writer w{{}, step};
  if (!state->save(host.plugin(), &w.stream)) return {};
  return w.data;
}

bool loadState(ClapHost& host, const std::vector<std::uint8_t>& data, std::size_t step, bool error = false) {
  const auto* state = host.extension<clap_plugin_state>(CLAP_EXT_STATE);
  Reader r{data, step};
  r.error = error;
  return state->load(host.plugin(), &r.stream);
}

bool checkState(ClapHost& host) {
  bool ok = true;
  const std::vector<std::uint8_t> saved = saveState(host, 1);
  if (saved.empty()) return fail("state not saved through 1-byte writes");
  if (saveState(host, 1 << 20) != saved) ok = fail("the state differs between write sizes");
  if (!loadState(host, saved, 1)) ok = fail("the saved state not loaded through 1-byte reads");
  if (saveState(host, 7) != saved) ok = fail("the state changed by loading itself");
  const auto unchanged = [&](const char* what) {
    if (saveState(host, 1 << 20) != saved) ok = fail(std::string("the state changed by ") + what);
  };
  if (loadState(host, {}, 1)) ok = fail("an empty state was taken");
  unchanged("an empty state");
  std::uniform_int_distribution<int> byte(0, 255);
  for (std::size_t size : {std::size_t{1}, saved.size() - 1, saved.size(), saved.size() + 1, std::size_t{70000}}) {
    std::vector<std::uint8_t> junk(size);
    for (auto& b : junk) b = static_cast<std::uint8_t>(byte(rng));
    if (loadState(host, junk, 3)) ok = fail("random bytes taken as a state (" + std::to_string(size) + " bytes)");
    unchanged("random bytes");
  }
  if (loadState(host, saved, 16, true)) ok = fail("a state taken from a stream that failed");
  unchanged("a failing stream");
  // The saved state restores the sound after an edit, and tells the host to read the values again.
  const auto* params = host.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
  clap_param_info info{};
  for (std::uint32_t i = 0; params->get_info(host.plugin(), i, &info); ++i)
    if (info.max_value > info.min_value) break;
  double before = 0, after = 0;
  params->get_value(host.plugin(), info.id, &before);
  InputEvents in;
  in.param(0, info.id, before == info.max_value ? info.min_value : info.max_value);
  OutputEvents out;
  params->flush(host.plugin(), in.list(), out.list());
  const int rescans = host.rescans;
  if (!loadState(host, saved, 5)) ok = fail("the saved state not loaded after an edit");
  params->get_value(host.plugin(), info.id, &after);
  if (after != before) ok = fail("loading the state did not restore " + std::string(info.name));
  if (host.rescans == rescans || !(host.rescanFlags & CLAP_PARAM_RESCAN_VALUES))
    ok = fail("loading a state did not ask the host to rescan the values");
  return ok;
}

// params -----------------------------------------------------------------------------------------

bool checkParams(ClapHost& host) {
  bool ok = true;
  const auto* params = host.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
  const clap_plugin* p = host.plugin();
  const std::uint32_t count = params->count(p);
  if (count == 0) return fail("no parameters");
  std::set<clap_id> ids;
  int texts = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    clap_param_info info{};
    if (!params->get_info(p, i, &info)) {
      ok = fail("no info for parameter " + std::to_string(i));
      continue;
    }
    const std::string name(info.name, strnlen(info.name, sizeof info.name));
    if (!ids.insert(info.id).second) ok = fail("id used twice: " + std::to_string(info.id));
    if (name.empty() || !(info.flags & CLAP_PARAM_IS_STEPPED) || !(info.flags & CLAP_PARAM_IS_AUTOMATABLE))
      ok = fail("parameter " + std::to_string(info.id) + " unnamed, not stepped or not automatable");
    if (!(info.min_value <= info.default_value && info.default_value <= info.max_value))
      ok = fail(name + ": default outside the range");
    double value = 0;
    if (!params->get_value(p, info.id, &value) || value < info.min_value || value > info.max_value ||
        value != std::trunc(value))
      ok = fail(name + ": value missing, outside the range or not whole");
    // Every value to text and back.
    for (double v = info.min_value; v <= info.max_value; v += 1) {
      char text[CLAP_NAME_SIZE];
      double back = std::numeric_limits<double>::quiet_NaN();
      ++texts;
      if (!params->value_to_text(p, info.id, v, text, sizeof text) || !text[0] ||
          !params->text_to_value(p, info.id, text, &back) || back != v) {
        ok = fail(name + ": " + std::to_string(v) + " -> '" + text + "' -> " + std::to_string(back));
        break;
      }
    }
    char tiny[1];
    if (params->value_to_text(p, info.id, info.min_value, tiny, 1) && tiny[0] != '\0')
      ok = fail(name + ": text written past a buffer of one byte");
  }
  const clap_id unknown = 1000000;
  double value = 0;
  char text[32];
  if (ids.count(unknown) == 0 &&
      (params->get_value(p, unknown, &value) || params->value_to_text(p, unknown, 0, text, sizeof text) ||
       params->text_to_value(p, unknown, "0", &value)))
    ok = fail("an unknown id answered");
  std::fprintf(stderr, "  %u parameters, %d texts round-tripped\n", count, texts);
  return ok;
}

// fuzz -------------------------------------------------------------------------------------------

bool checkFuzz(ClapHost& host) {
  bool ok = true;
  const auto* params = host.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
  const clap_plugin* p = host.plugin();
  std::vector<clap_param_info> infos(params->count(p));
  for (std::uint32_t i = 0; i < infos.size(); ++i) params->get_info(p, i, &infos[i]);
  std::vector<double> last(infos.size(), std::numeric_limits<double>::quiet_NaN());
  std::uniform_int_distribution<std::size_t> which(0, infos.size() - 1);
  std::uniform_int_distribution<int> howMany(0, 12), key(30, 100);
  std::uniform_real_distribution<double> unit(-0.1, 1.1);
  if (!activate(host, 48000)) return false;
  const Rendered r = render(host, blocks(300, 256), [&](std::size_t b, std::uint32_t n, InputEvents& e) {
    std::vector<std::uint32_t> times(static_cast<std::size_t>(howMany(rng)));
    std::uniform_int_distribution<std::uint32_t> at(0, n - 1);
    for (auto& t : times) t = at(rng);
    std::sort(times.begin(), times.end());
    if (b % 16 == 0) e.noteOn(0, key(rng), 0.8);
    for (std::uint32_t t : times) {
      const std::size_t i = which(rng);
      const double v = infos[i].min_value + unit(rng) * (infos[i].max_value - infos[i].min_value);
      e.param(t, infos[i].id, v);
      last[i] = std::clamp(std::trunc(v), infos[i].min_value, infos[i].max_value);
    }
    if (b % 16 == 8) e.noteOff(n - 1, -1, -1);
  });
  if (!r.ok) ok = fail(r.error);
  // No change was made inside Korvo: nothing goes back to the host.
  if (!r.outputs.empty()) ok = fail(std::to_string(r.outputs.size()) + " host changes reported back as output");
  for (std::size_t i = 0; i < infos.size(); ++i) {
    double v = 0;
    if (!std::isnan(last[i]) && (!params->get_value(p, infos[i].id, &v) || v != last[i]))
      ok = fail(std::string(infos[i].name) + ": " + std::to_string(v) + " after the host set " +
                std::to_string(last[i]));
  }
  deactivate(host);
  // Inactive: changes through flush on the main thread.
  InputEvents in;
  const clap_param_info& target = infos[which(rng)];
  in.param(0, target.id, target.max_value);
  OutputEvents out;
  params->flush(p, in.list(), out.list());
  double v = 0;
  if (!params->get_value(p, target.id, &v) || v != target.max_value) ok = fail("flush did not apply a change");
  return ok;
}

// gui --------------------------------------------------------------------------------------------

// The editor embedded in a window of ours, driven only by the host's timer: a child of our window
// of the size the plug-in gives, following the host's scale, gone after destroy.
bool checkGui(ClapHost& host) {
  const auto* gui = host.extension<clap_plugin_gui>(CLAP_EXT_GUI);
  const auto* timer = host.extension<clap_plugin_timer_support>(CLAP_EXT_TIMER_SUPPORT);
  if (!gui || !timer) return fail("no gui or timer-support extension");
  HostWindow ours;
  std::string error;
  if (!ours.open(error)) return fail(error);
  const clap_plugin* p = host.plugin();
  const std::string api = HostWindow::api();
  bool ok = true;
  const char* preferred = nullptr;
  bool floating = true;
  if (!gui->get_preferred_api(p, &preferred, &floating) || api != preferred || floating ||
      !gui->is_api_supported(p, api.c_str(), false) || gui->is_api_supported(p, api.c_str(), true))
    ok = fail(api + ", embedded, should be the preferred api and the only one");
  if (!gui->create(p, api.c_str(), false) || host.timersRegistered != 1)
    return fail("create failed or registered no timer");
  // Ticks the timer as the host would until our window has a visible child of this size (or,
  // for 0 x 0, none at all).
  const auto child = [&](std::uint32_t w, std::uint32_t h) {
    for (int tick = 0; tick < 500; ++tick) {
      timer->on_timer(p, host.timerId);
      int children = 0;
      if (w == 0 ? (ours.visibleChild(w, h, children), children == 0) : ours.visibleChild(w, h, children)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(host.timerPeriod));
    }
    return false;
  };
  std::uint32_t w = 0, h = 0;
  const clap_window window = ours.window();
  if (!gui->set_scale(p, 1.0) || !gui->get_size(p, &w, &h) || !gui->set_parent(p, &window) || !gui->show(p))
    ok = fail("set_scale, get_size, set_parent or show failed");
  else if (!child(w, h))
    ok = fail("no child window of " + std::to_string(w) + "x" + std::to_string(h) + " in the host's window");
  std::uint32_t w2 = 0, h2 = 0;
  if (ok && (!gui->set_scale(p, 2.0) || !gui->get_size(p, &w2, &h2) || w2 != 2 * w || h2 != 2 * h))
    ok = fail("the size does not follow the host's scale: " + std::to_string(w2) + "x" + std::to_string(h2));
  else if (ok && !child(w2, h2))
    ok = fail("the window was not drawn at the host's scale");
  gui->destroy(p);
  if (!child(0, 0)) ok = fail("the window stayed after destroy");
  if (host.timersUnregistered != 1) ok = fail("the timer was not unregistered");
  return ok;
}

// presets -----------------------------------------------------------------------------------------

// What an indexer is told: the provider's declarations, then each preset of a file.
struct Index {
  std::vector<std::string> extensions;
  std::vector<clap_preset_discovery_location> locations;
  std::vector<std::string> locationPaths;
  struct Preset {
    std::string name, key, pluginId;
  };
  std::vector<Preset> presets;
  std::vector<std::string> errors;

  clap_preset_discovery_indexer indexer{
      CLAP_VERSION,
      "claphost",
      "Korvo",
      "",
      "",
      this,
      [](const clap_preset_discovery_indexer* i, const clap_preset_discovery_filetype* t) {
        static_cast<Index*>(i->indexer_data)->extensions.push_back(t && t->file_extension ? t->file_extension : "");
        return true;
      },
      [](const clap_preset_discovery_indexer* i, const clap_preset_discovery_location* l) {
        auto* self = static_cast<Index*>(i->indexer_data);
        self->locations.push_back(*l);
        self->locationPaths.push_back(l->location ? l->location : "");
        return true;
      },
      [](const clap_preset_discovery_indexer*, const clap_preset_discovery_soundpack*) { return true; },
      [](const clap_preset_discovery_indexer*, const char*) -> const void* { return nullptr; }};

  clap_preset_discovery_metadata_receiver receiver{
      this,
      [](const clap_preset_discovery_metadata_receiver* r, std::int32_t, const char* message) {
        static_cast<Index*>(r->receiver_data)->errors.push_back(message ? message : "");
      },
      [](const clap_preset_discovery_metadata_receiver* r, const char* name, const char* key) {
        static_cast<Index*>(r->receiver_data)->presets.push_back({name ? name : "", key ? key : "", ""});
        return true;
      },
      [](const clap_preset_discovery_metadata_receiver* r, const clap_universal_plugin_id* id) {
        auto* self = static_cast<Index*>(r->receiver_data);
        if (!self->presets.empty() && id && id->abi && id->id)
          self->presets.back().pluginId = std::string(id->abi) + ":" + id->id;
      },
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      [](const clap_preset_discovery_metadata_receiver*, const char*) {},
      nullptr};
};

std::string editName(ClapHost& host) {
  const std::vector<std::uint8_t> state = saveState(host, 544);
  if (state.size() != 544) return {};
  return std::string(reinterpret_cast<const char*>(&state[515]), std::min<std::size_t>(state[514], 15));
}

bool checkPresets(ClapHost& host) {
  const auto* factory =
      static_cast<const clap_preset_discovery_factory*>(host.entry()->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
  if (!factory || factory->count(factory) != 1) return fail("no preset-discovery factory with one provider");
  const auto* descriptor = factory->get_descriptor(factory, 0);
  if (!descriptor || !descriptor->id) return fail("no provider descriptor");
  Index index;
  const clap_preset_discovery_provider* provider = factory->create(factory, &index.indexer, descriptor->id);
  if (!provider) return fail("the provider was not created");
  bool ok = true;
  if (!provider->init(provider)) ok = fail("the provider's init failed");
  if (std::find(index.extensions.begin(), index.extensions.end(), "kvl") == index.extensions.end())
    ok = fail("no .kvl file type declared");
  const bool factoryDeclared = std::any_of(index.locations.begin(), index.locations.end(), [](const auto& l) {
    return l.kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN && l.location == nullptr &&
           (l.flags & CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);
  });
  if (!factoryDeclared) ok = fail("the factory sounds inside the plug-in are no location");
  if (!provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, &index.receiver) ||
      index.presets.size() != 128)
    ok = fail("the factory location did not list 128 presets");
  for (std::size_t n = 0; n < index.presets.size(); ++n)
    if (index.presets[n].key != std::to_string(n) || index.presets[n].name.empty() ||
        index.presets[n].pluginId != std::string("clap:") + pluginId) {
      ok = fail("preset " + std::to_string(n) + " has no name, key or plug-in id");
      break;
    }
  const std::size_t errorsBefore = index.errors.size();
  if (provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/nonexistent/none.kvl", &index.receiver) ||
      index.errors.size() != errorsBefore + 1)
    ok = fail("a missing file was not reported as an error");
  provider->destroy(provider);

  // The plug-in loads what the provider listed.
  const auto* load = host.extension<clap_plugin_preset_load>(CLAP_EXT_PRESET_LOAD);
  if (!load) return fail("no preset-load extension");
  const clap_plugin* p = host.plugin();
  if (index.presets.size() == 128) {
    for (const int n : {5, 127}) {
      if (!load->from_location(p, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, std::to_string(n).c_str()))
        ok = fail("preset " + std::to_string(n) + " did not load");
      else if (editName(host) != index.presets[static_cast<std::size_t>(n)].name)
        ok = fail("preset " + std::to_string(n) + " loaded as '" + editName(host) + "'");
    }
  }
  if (host.presetsLoaded != std::vector<std::string>{"5", "127"}) ok = fail("the host was not told what loaded");
  const std::string before = editName(host);
  if (load->from_location(p, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "128") ||
      load->from_location(p, CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/nonexistent/none.kvl", "0") ||
      host.presetErrors.size() != 2 || editName(host) != before)
    ok = fail("a load key or file that is not there changed the sound or went unreported");
  return ok;
}

struct Check {
  const char* name;
  bool (*run)(ClapHost&);
};
const Check kChecks[] = {
    {"descriptor", checkDescriptor},
    {"activate", checkActivate},
    {"blocks", checkBlocks},
    {"notes", checkNotes},
    {"state", checkState},
    {"params", checkParams},
    {"fuzz", checkFuzz},
    {"presets", checkPresets},
    {"gui", checkGui},
};

int usage() {
  std::fprintf(
      stderr,
      "usage: claphost [--check NAME]... [--seed N] [--id ID] PLUGIN.clap\n"
      "checks: descriptor activate blocks notes state params fuzz presets (default: all); gui (needs a display)\n");
  return 2;
}

int run(int argc, char** argv) {
  std::vector<std::string> wanted;
  std::string path;
  unsigned seed = 26;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--check" && i + 1 < argc) {
      wanted.push_back(argv[++i]);
    } else if (a == "--seed" && i + 1 < argc) {
      seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (a == "--id" && i + 1 < argc) {
      pluginId = argv[++i];
    } else if (a == "--help" || a == "-h") {
      usage();
      return 0;
    } else if (path.empty() && a[0] != '-') {
      path = a;
    } else {
      return usage();
    }
  }
  if (path.empty()) return usage();
  for (const auto& w : wanted)
    if (w != "all" && std::none_of(std::begin(kChecks), std::end(kChecks), [&](const Check& c) { return w == c.name; }))
      return usage();
  ClapHost host;
  std::string error;
  if (!host.load(path, error)) {
    std::fprintf(stderr, "claphost: %s\n", error.c_str());
    return 1;
  }
  int failed = 0;
  for (const Check& c : kChecks) {
    const bool named = std::find(wanted.begin(), wanted.end(), c.name) != wanted.end();
    const bool all = wanted.empty() || std::find(wanted.begin(), wanted.end(), "all") != wanted.end();
    if (!named && !(all && std::string(c.name) != "gui")) continue;
    rng.seed(seed);
    std::fprintf(stderr, "%s\n", c.name);
    bool ok = host.create(pluginId, error);
    if (!ok) fail(error);
    if (ok) ok = c.run(host);
    host.serviceCallbacks();
    host.destroy();
    for (const auto& v : host.violations()) ok = fail("thread: " + v);
    std::fprintf(stderr, "%s: %s\n", c.name, ok ? "ok" : "FAILED");
    if (!ok) ++failed;
  }
  return failed == 0 ? 0 : 1;
}

}  // namespace
}  // namespace korvo::claphost

int main(int argc, char** argv) { return korvo::claphost::run(argc, argv); }
