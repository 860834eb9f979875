// The built bundle as an LV2 host sees it, through lilv: discovery, a note that sounds, a control
// port moved from its minimum to its maximum, the state saved and restored (also through text, as
// a session file holds it), a malformed state refused, and the factory presets.
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/presets/presets.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lv2TestHost.h"

namespace {

constexpr double kRate = 48000;
constexpr std::uint32_t kBlock = 256;
using namespace korvo::lv2test;

// One instance with its ports connected, and the MIDI buffer the tests fill.
class Host {
 public:
  Host() {
    features_ = {&mapFeature_, &unmapFeature_, nullptr};
    instance_ = lilv_plugin_instantiate(world().plugin, kRate, features_.data());
    if (!instance_) return;
    const LilvPlugin* p = world().plugin;
    controls_.resize(lilv_plugin_get_num_ports(p));
    std::vector<float> defaults(controls_.size());
    lilv_plugin_get_port_ranges_float(p, nullptr, nullptr, defaults.data());
    for (std::uint32_t i = 3; i < controls_.size(); ++i) {
      controls_[i] = defaults[i];
      lilv_instance_connect_port(instance_, i, &controls_[i]);
    }
    lilv_instance_connect_port(instance_, 0, midi_.data());
    lilv_instance_connect_port(instance_, 1, left_.data());
    lilv_instance_connect_port(instance_, 2, right_.data());
    lilv_instance_activate(instance_);
  }
  ~Host() {
    if (!instance_) return;
    lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
  }
  LilvInstance* instance() { return instance_; }
  UridMap& urids() { return urids_; }
  const LV2_Feature* const* features() const { return features_.data(); }

  float& control(const char* symbol) {
    LilvNode* s = lilv_new_string(world().world, symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(world().plugin, s);
    lilv_node_free(s);
    EXPECT_NE(port, nullptr) << symbol;
    return controls_.at(port ? lilv_port_get_index(world().plugin, port) : 0);
  }

  // lilv's callbacks for the port values of a state.
  static const void* portValue(const char* symbol, void* data, uint32_t* size, uint32_t* type) {
    auto* host = static_cast<Host*>(data);
    *size = sizeof(float);
    *type = host->urids().map(LV2_ATOM__Float);
    return &host->control(symbol);
  }
  static void setPortValue(const char* symbol, void* data, const void* value, uint32_t size, uint32_t type) {
    auto* host = static_cast<Host*>(data);
    if (size == sizeof(float) && type == host->urids().map(LV2_ATOM__Float))
      host->control(symbol) = *static_cast<const float*>(value);
  }

  // Plays one note (on at the first frame, off after half a second) and returns the left channel
  // of a second of output.
  std::vector<float> renderNote(int note = 60) {
    std::vector<float> out;
    const auto blocks = static_cast<std::uint32_t>(kRate) / kBlock;
    for (std::uint32_t b = 0; b < blocks; ++b) {
      std::vector<std::pair<std::uint32_t, std::uint8_t>> events;
      if (b == 0) events.push_back({0x90, 100});
      if (b == blocks / 2) events.push_back({0x80, 0});
      fillMidi(events, note);
      lilv_instance_run(instance_, kBlock);
      out.insert(out.end(), left_.begin(), left_.end());
    }
    return out;
  }
  // A block with one short message (a program change: status 0xC0, data = the program).
  void runMessage(std::uint8_t status, int data) {
    fillMidi({{status, 0}}, data);
    lilv_instance_run(instance_, kBlock);
  }
  // A block with no events.
  void runEmpty() {
    fillMidi({}, 0);
    lilv_instance_run(instance_, kBlock);
  }

 private:
  void fillMidi(const std::vector<std::pair<std::uint32_t, std::uint8_t>>& events, int note) {
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(midi_.data());
    seq->atom.type = urids_.map(LV2_ATOM__Sequence);
    seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
    seq->body.unit = 0;
    seq->body.pad = 0;
    for (const auto& [status, velocity] : events) {
      auto* ev = reinterpret_cast<LV2_Atom_Event*>(reinterpret_cast<std::uint8_t*>(&seq->body) + seq->atom.size);
      ev->time.frames = 0;
      ev->body.type = urids_.map(LV2_MIDI__MidiEvent);
      ev->body.size = 3;
      auto* bytes = reinterpret_cast<std::uint8_t*>(ev + 1);
      bytes[0] = static_cast<std::uint8_t>(status);
      bytes[1] = static_cast<std::uint8_t>(note);
      bytes[2] = velocity;
      seq->atom.size += static_cast<std::uint32_t>(lv2_atom_pad_size(sizeof(LV2_Atom_Event) + 3));
    }
  }

  // One map for every instance, as a host keeps it: states pass between them.
  static inline UridMap urids_;
  LV2_Feature mapFeature_{LV2_URID__map, &urids_.mapFeatureData};
  LV2_Feature unmapFeature_{LV2_URID__unmap, &urids_.unmapFeatureData};
  std::vector<const LV2_Feature*> features_;
  LilvInstance* instance_ = nullptr;
  std::vector<float> controls_;
  alignas(8) std::array<std::uint64_t, 512> midi_{};
  std::array<float, kBlock> left_{};
  std::array<float, kBlock> right_{};
};

double rms(const std::vector<float>& samples) {
  double sum = 0;
  for (const float s : samples) sum += double(s) * s;
  return samples.empty() ? 0 : std::sqrt(sum / double(samples.size()));
}

double difference(const std::vector<float>& a, const std::vector<float>& b) {
  std::vector<float> d(a.size());
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) d[i] = a[i] - b[i];
  return rms(d);
}

// The plug-in's state interface with a store as a host keeps one: `key`, `type` and `value` are
// the edit buffer record, `others` what else the plug-in saved (the controls it last applied).
struct Property {
  std::uint32_t key = 0, type = 0;
  std::vector<std::uint8_t> value;
  std::map<std::uint32_t, std::pair<std::uint32_t, std::vector<std::uint8_t>>> others;
};

const LV2_State_Interface* stateInterface(Host& host) {
  return static_cast<const LV2_State_Interface*>(
      lilv_instance_get_extension_data(host.instance(), LV2_STATE__interface));
}

Property save(Host& host) {
  Property saved;
  saved.key = host.urids().map("urn:korvo:synth#editBuffer");
  const LV2_State_Store_Function store = [](LV2_State_Handle h, std::uint32_t key, const void* value, std::size_t size,
                                            std::uint32_t type, std::uint32_t) {
    auto* p = static_cast<Property*>(h);
    std::vector<std::uint8_t> bytes(static_cast<const std::uint8_t*>(value),
                                    static_cast<const std::uint8_t*>(value) + size);
    if (key == p->key) {
      p->type = type;
      p->value = std::move(bytes);
    } else {
      p->others[key] = {type, std::move(bytes)};
    }
    return LV2_STATE_SUCCESS;
  };
  EXPECT_EQ(stateInterface(host)->save(lilv_instance_get_handle(host.instance()), store, &saved, 0, nullptr),
            LV2_STATE_SUCCESS);
  return saved;
}

LV2_State_Status restore(Host& host, const Property& p) {
  const LV2_State_Retrieve_Function retrieve = [](LV2_State_Handle h, std::uint32_t key, std::size_t* size,
                                                  std::uint32_t* type, std::uint32_t* flags) -> const void* {
    auto* q = static_cast<const Property*>(h);
    *flags = LV2_STATE_IS_POD;
    if (key == q->key) {
      *size = q->value.size();
      *type = q->type;
      return q->value.data();
    }
    const auto other = q->others.find(key);
    if (other == q->others.end()) return nullptr;
    *size = other->second.second.size();
    *type = other->second.first;
    return other->second.second.data();
  };
  return stateInterface(host)->restore(lilv_instance_get_handle(host.instance()), retrieve, const_cast<Property*>(&p),
                                       0, nullptr);
}

// The sound's name inside the edit buffer record (length byte 514, name from byte 515).
std::string recordName(const Property& p) {
  if (p.value.size() != 544) return {};
  return std::string(reinterpret_cast<const char*>(&p.value[515]), std::min<std::size_t>(p.value[514], 15));
}

}  // namespace

TEST(Lv2Host, FindsThePluginWithItsPortsAndPlaysANote) {
  ASSERT_NE(world().plugin, nullptr) << "no " << kUri << " in " << bundlePath();
  LilvNode* name = lilv_plugin_get_name(world().plugin);
  EXPECT_STREQ(lilv_node_as_string(name), "Korvo");
  lilv_node_free(name);
  EXPECT_GT(lilv_plugin_get_num_ports(world().plugin), 100u);

  Host host;
  ASSERT_NE(host.instance(), nullptr);
  const auto out = host.renderNote();
  // The first blocks of a note already sound; the output is finite throughout.
  EXPECT_GT(rms({out.begin(), out.begin() + 4800}), 1e-3);
  for (const float s : out) ASSERT_TRUE(std::isfinite(s));
}

TEST(Lv2Host, TheFilterPortAtItsMinimumAndMaximumSoundsDifferent) {
  Host low, high;
  ASSERT_NE(low.instance(), nullptr);
  ASSERT_NE(high.instance(), nullptr);
  low.control("filt_freq") = 0;
  // The maximum is the port's default: it is applied once it has moved there.
  high.control("filt_freq") = 126;
  high.runEmpty();
  high.control("filt_freq") = 127;
  high.runEmpty();
  const auto a = low.renderNote(), b = high.renderNote();
  EXPECT_EQ(save(low).value[168 * 2], 0);
  EXPECT_EQ(save(high).value[168 * 2], 127);
  EXPECT_GT(rms(b), 1e-3);
  EXPECT_GT(difference(a, b), 0.2 * rms(b)) << "the filter port made no difference";
}

TEST(Lv2Host, APortThatStoodStillNeverOverwritesTheSoundAndOneThatMovedIs) {
  // A program selection changes the sound inside Korvo; the host's filter port stays at 127.
  Host a;
  ASSERT_NE(a.instance(), nullptr);
  a.runEmpty();
  Property program = save(a);
  program.value[168 * 2] = 40;  // the filter's frequency word, low byte
  program.value[168 * 2 + 1] = 0;
  ASSERT_EQ(restore(a, program), LV2_STATE_SUCCESS);
  a.runEmpty();
  EXPECT_EQ(save(a).value, program.value) << "the standing port overwrote the new sound";

  // The session is saved and opened again: the host gives the ports their saved values, then the state.
  const Property session = save(a);
  Host b;
  ASSERT_NE(b.instance(), nullptr);
  ASSERT_EQ(restore(b, session), LV2_STATE_SUCCESS);
  b.runEmpty();
  EXPECT_EQ(save(b).value, program.value);
  // Moving the port applies it.
  b.control("filt_freq") = 126;
  b.runEmpty();
  EXPECT_EQ(save(b).value[168 * 2], 126);

  // A port the host moved but the plug-in never saw run before the session was saved.
  a.control("filt_freq") = 5;
  const Property unseen = save(a);
  Host c;
  ASSERT_NE(c.instance(), nullptr);
  c.control("filt_freq") = 5;
  ASSERT_EQ(restore(c, unseen), LV2_STATE_SUCCESS);
  c.runEmpty();
  EXPECT_EQ(save(c).value[168 * 2], 5);
}

TEST(Lv2Host, ProgramChangeSelectsAProgramButNotRightAfterAStateWasRestored) {
  Host a;
  ASSERT_NE(a.instance(), nullptr);
  a.runEmpty();
  const Property first = save(a);
  a.runMessage(0xC0, 12);
  const Property twelfth = save(a);
  EXPECT_NE(recordName(twelfth), recordName(first)) << "on by default in LV2";
  ASSERT_EQ(restore(a, first), LV2_STATE_SUCCESS);
  a.runMessage(0xC0, 12);  // hosts send the project's program change after restoring it
  EXPECT_EQ(save(a).value, first.value);
  a.runMessage(0xC0, 12);
  EXPECT_EQ(save(a).value, twelfth.value);
}

TEST(Lv2Host, StateRestoresTheSameSoundAndRefusesAMalformedOne) {
  Host a, b;
  ASSERT_NE(a.instance(), nullptr);
  ASSERT_NE(b.instance(), nullptr);
  a.control("filt_freq") = 20;
  a.control("osc1_oct") = 2;
  a.runEmpty();
  Property saved = save(a);
  ASSERT_EQ(saved.value.size(), 544u);
  // The host gives the ports their saved values with the state.
  b.control("filt_freq") = 20;
  b.control("osc1_oct") = 2;
  ASSERT_EQ(restore(b, saved), LV2_STATE_SUCCESS);
  EXPECT_EQ(save(b).value, saved.value);
  EXPECT_EQ(difference(a.renderNote(), b.renderNote()), 0.0);

  const Property before = save(b);
  Property shortRecord = saved;
  shortRecord.value.resize(543);
  EXPECT_NE(restore(b, shortRecord), LV2_STATE_SUCCESS);
  Property wrongType = saved;
  wrongType.type = b.urids().map(LV2_ATOM__Chunk);
  EXPECT_NE(restore(b, wrongType), LV2_STATE_SUCCESS);
  Property badFormat = saved;
  badFormat.value[512] = 7;  // the format word of every valid record is 1
  EXPECT_NE(restore(b, badFormat), LV2_STATE_SUCCESS);
  Property otherKey = saved;
  otherKey.key = b.urids().map("urn:example:other");
  EXPECT_NE(restore(b, otherKey), LV2_STATE_SUCCESS);
  EXPECT_EQ(save(b).value, before.value);
}

TEST(Lv2Host, StateSurvivesTheTextASessionKeeps) {
  Host a, b;
  ASSERT_NE(a.instance(), nullptr);
  ASSERT_NE(b.instance(), nullptr);
  a.control("filt_res") = 30;
  a.runEmpty();
  // With the port values, as a host saves them.
  LilvState* state = lilv_state_new_from_instance(world().plugin, a.instance(), &a.urids().mapFeatureData, nullptr,
                                                  nullptr, nullptr, nullptr, Host::portValue, &a, 0, nullptr);
  ASSERT_NE(state, nullptr);
  char* text = lilv_state_to_string(world().world, &a.urids().mapFeatureData, &a.urids().unmapFeatureData, state,
                                    "urn:korvo:test:state", nullptr);
  ASSERT_NE(text, nullptr);
  LilvState* loaded = lilv_state_new_from_string(world().world, &b.urids().mapFeatureData, text);
  ASSERT_NE(loaded, nullptr) << text;
  lilv_state_restore(loaded, b.instance(), Host::setPortValue, &b, 0, b.features());
  b.runEmpty();
  EXPECT_EQ(save(b).value, save(a).value);
  lilv_state_free(loaded);
  lilv_free(text);
  lilv_state_free(state);
}

TEST(Lv2Host, TheFactorySoundsArePresetsThatLoad) {
  LilvNode* presetClass = lilv_new_uri(world().world, LV2_PRESETS__Preset);
  LilvNodes* presets = lilv_plugin_get_related(world().plugin, presetClass);
  EXPECT_EQ(lilv_nodes_size(presets), 128u);
  Host host;
  ASSERT_NE(host.instance(), nullptr);
  LilvNode* label = lilv_new_uri(world().world, LILV_NS_RDFS "label");
  int loaded = 0;
  LILV_FOREACH(nodes, i, presets) {
    const LilvNode* preset = lilv_nodes_get(presets, i);
    if (loaded++ % 16 != 5) continue;  // every sixteenth, from the sixth
    lilv_world_load_resource(world().world, preset);
    LilvNode* name = lilv_world_get(world().world, preset, label, nullptr);
    LilvState* state = lilv_state_new_from_world(world().world, &host.urids().mapFeatureData, preset);
    ASSERT_NE(state, nullptr) << lilv_node_as_uri(preset);
    lilv_state_restore(state, host.instance(), nullptr, nullptr, 0, host.features());
    // The record that arrived is the preset's sound (displayed names lose their trailing blanks).
    std::string inside = recordName(save(host));
    inside.erase(inside.find_last_not_of(' ') + 1);
    EXPECT_EQ(inside, lilv_node_as_string(name));
    EXPECT_GT(rms(host.renderNote()), 1e-4) << lilv_node_as_string(name);
    lilv_node_free(name);
    lilv_state_free(state);
  }
  lilv_node_free(label);
  lilv_nodes_free(presets);
  lilv_node_free(presetClass);
}
