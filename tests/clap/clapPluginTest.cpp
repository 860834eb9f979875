// The CLAP adapter in-process: the event conversion, and what only the inside of Korvo can cause
// (edits and program selections reaching the host, a host value that did not move). What a host
// sees from outside is checked through the built Korvo.clap by claphost (tests/integration).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "clapEvents.h"
#include "clapPlugin.h"
#include "instanceFixture.h"

namespace korvo {
namespace {

using namespace clap;

clap_event_note note(std::uint16_t type, int channel, int key, double velocity) {
  clap_event_note e{};
  e.header = {sizeof e, 0, CLAP_CORE_EVENT_SPACE_ID, type, 0};
  e.note_id = -1;
  e.channel = static_cast<std::int16_t>(channel);
  e.key = static_cast<std::int16_t>(key);
  e.velocity = velocity;
  return e;
}

TEST(ClapEvents, NotesBecomeTheEnginesMessages) {
  std::vector<MidiEvent> out(4096);
  auto on = note(CLAP_EVENT_NOTE_ON, 2, 60, 0.0);
  ASSERT_EQ(fromClapEvent(on.header, 17, out), 1u);
  EXPECT_EQ(out[0].status, 0x92);
  EXPECT_EQ(out[0].data1, 60);
  EXPECT_EQ(out[0].data2, 1) << "a CLAP note-on of velocity 0 is still a note";
  EXPECT_EQ(out[0].frame, 17);
  on.velocity = 1.0;
  fromClapEvent(on.header, 0, out);
  EXPECT_EQ(out[0].data2, 127);

  auto wild = note(CLAP_EVENT_NOTE_ON, 0, -1, 0.5);
  EXPECT_EQ(fromClapEvent(wild.header, 0, out), 0u) << "a note-on needs a key";
  wild.header.space_id = 7;
  wild.key = 60;
  EXPECT_EQ(fromClapEvent(wild.header, 0, out), 0u) << "another event space";

  auto off = note(CLAP_EVENT_NOTE_OFF, 3, -1, 0.5);
  ASSERT_EQ(fromClapEvent(off.header, 5, out), 128u) << "a wildcard key releases every key of the channel";
  EXPECT_EQ(out[127].status, 0x83);
  EXPECT_EQ(out[127].data1, 127);
  off.channel = -1;
  EXPECT_EQ(fromClapEvent(off.header, 5, out), 16u * 128u);
  EXPECT_EQ(fromClapEvent(off.header, 5, std::span(out).first(10)), 10u) << "never past the room given";

  const auto choke = note(CLAP_EVENT_NOTE_CHOKE, -1, -1, 0);
  ASSERT_EQ(fromClapEvent(choke.header, 0, out), 1u);
  EXPECT_EQ(out[0].status, 0xB0);
  EXPECT_EQ(out[0].data1, 123);

  clap_event_midi midi{};
  midi.header = {sizeof midi, 9, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
  midi.data[0] = 0x91, midi.data[1] = 64, midi.data[2] = 0;
  ASSERT_EQ(fromClapEvent(midi.header, 9, out), 1u);
  EXPECT_EQ(out[0].status, 0x91);
  EXPECT_EQ(out[0].data2, 0) << "velocity 0 stays a note-off in the MIDI dialect";
  midi.data[0] = 0xF8;
  EXPECT_EQ(fromClapEvent(midi.header, 9, out), 0u);
}

TEST(ClapEvents, ParameterValuesAreTruncatedAndCheckedForSize) {
  clap_event_param_value p{};
  p.header = {sizeof p, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
  p.param_id = 12;
  p.value = 5.9;
  auto change = clapParamChange(p.header);
  ASSERT_TRUE(change);
  EXPECT_EQ(change->id, 12);
  EXPECT_EQ(change->value, 5);
  p.value = std::numeric_limits<double>::infinity();
  EXPECT_FALSE(clapParamChange(p.header));
  p.value = 1;
  p.header.size = sizeof(clap_event_header);
  EXPECT_FALSE(clapParamChange(p.header)) << "an event shorter than its type";
}

// A host that records what the plug-in asks of it, and one plug-in over a test instance.
struct Recorder {
  int rescans = 0;
  std::uint32_t flags = 0;
  int callbacks = 0;
  std::vector<std::pair<clap_id, double>> outputs;
};

class ClapPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.clap_version = CLAP_VERSION;
    host_.host_data = &seen_;
    host_.name = host_.vendor = host_.url = host_.version = "test";
    host_.get_extension = [](const clap_host*, const char* id) -> const void* {
      return std::strcmp(id, CLAP_EXT_PARAMS) == 0 ? &kParams : nullptr;
    };
    host_.request_restart = host_.request_process = [](const clap_host*) {};
    host_.request_callback = [](const clap_host* h) { ++static_cast<Recorder*>(h->host_data)->callbacks; };
    plugin_ = createClapPlugin(&host_, "org.korvo.synth", test::testEnvironment(test::freshFolder("clap")));
    ASSERT_NE(plugin_, nullptr);
    ASSERT_TRUE(plugin_->init(plugin_));
    ASSERT_TRUE(plugin_->activate(plugin_, 44100, 1, 4096));
    instance_ = static_cast<CclapSynth*>(plugin_->plugin_data)->instance();
  }
  void TearDown() override {
    if (plugin_) plugin_->destroy(plugin_);
  }

  // One block of 64 frames with these events; what it pushed goes to seen_.outputs.
  float process(std::vector<clap_event_param_value> params = {}, std::vector<clap_event_note> notes = {}) {
    struct In {
      std::vector<const clap_event_header*> events;
    } in;
    for (auto& p : params) in.events.push_back(&p.header);
    for (auto& n : notes) in.events.push_back(&n.header);
    clap_input_events list{
        &in,
        [](const clap_input_events* l) { return static_cast<std::uint32_t>(static_cast<In*>(l->ctx)->events.size()); },
        [](const clap_input_events* l, std::uint32_t i) { return static_cast<In*>(l->ctx)->events[i]; }};
    clap_output_events out{&seen_, [](const clap_output_events* l, const clap_event_header* e) {
                             const auto* p = reinterpret_cast<const clap_event_param_value*>(e);
                             static_cast<Recorder*>(l->ctx)->outputs.emplace_back(p->param_id, p->value);
                             return true;
                           }};
    std::vector<float> left(64), right(64);
    float* channels[2] = {left.data(), right.data()};
    clap_audio_buffer buffer{channels, nullptr, 2, 0, 0};
    const clap_process p{0, 64, nullptr, nullptr, &buffer, 0, 1, &list, &out};
    EXPECT_EQ(plugin_->process(plugin_, &p), CLAP_PROCESS_CONTINUE);
    float peak = 0;
    for (std::size_t i = 0; i < 64; ++i) peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    return peak;
  }
  static clap_event_param_value param(clap_id id, double value) {
    clap_event_param_value e{};
    e.header = {sizeof e, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    e.param_id = id;
    e.value = value;
    return e;
  }

  static constexpr clap_host_params kParams{[](const clap_host* h, std::uint32_t flags) {
                                              auto* r = static_cast<Recorder*>(h->host_data);
                                              ++r->rescans;
                                              r->flags |= flags;
                                            },
                                            [](const clap_host*, clap_id, std::uint32_t) {}, [](const clap_host*) {}};

  Recorder seen_;
  clap_host host_{};
  const clap_plugin* plugin_ = nullptr;
  CplugInstance* instance_ = nullptr;
};

TEST_F(ClapPlugin, AnEditInsideReachesTheHostAndAProgramSelectionAsARescan) {
  const ParamInfo& q = CplugInstance::params().all().back();
  const int next = instance_->paramValue(q.id) == q.min ? q.max : q.min;
  instance_->engine().soundMan().Editor().SetParam(q.id, next);
  process();
  EXPECT_EQ(seen_.outputs, (std::vector<std::pair<clap_id, double>>{{q.id, next}}));
  EXPECT_EQ(seen_.callbacks, 0);

  seen_.outputs.clear();
  instance_->engine().soundMan().SelectProgram(5);
  process();
  EXPECT_TRUE(seen_.outputs.empty()) << "a whole sound is no stream of automation";
  EXPECT_EQ(seen_.callbacks, 1);
  EXPECT_EQ(seen_.rescans, 0) << "never from the audio thread";
  plugin_->on_main_thread(plugin_);
  EXPECT_EQ(seen_.rescans, 1);
  EXPECT_EQ(seen_.flags, CLAP_PARAM_RESCAN_VALUES);
}

TEST_F(ClapPlugin, AHostValueThatDidNotMoveKeepsAnEditMadeInside) {
  const ParamInfo& q = CplugInstance::params().all().front();
  ASSERT_LT(q.min + 1, q.max);
  process({param(static_cast<clap_id>(q.id), q.min)});
  EXPECT_EQ(instance_->paramValue(q.id), q.min);
  instance_->engine().soundMan().Editor().SetParam(q.id, q.min + 1);
  process({param(static_cast<clap_id>(q.id), q.min)});  // the host sends what it had again
  EXPECT_EQ(instance_->paramValue(q.id), q.min + 1);
  EXPECT_EQ(seen_.outputs, (std::vector<std::pair<clap_id, double>>{{q.id, q.min + 1}}));
  process({param(static_cast<clap_id>(q.id), q.min)});  // now it moved, from what it was told
  EXPECT_EQ(instance_->paramValue(q.id), q.min);
}

TEST_F(ClapPlugin, ResetEndsEveryVoice) {
  float peak = 0;
  for (int i = 0; i < 40; ++i)
    peak = std::max(
        peak, process({}, i == 0 ? std::vector{note(CLAP_EVENT_NOTE_ON, 0, 60, 1.0)} : std::vector<clap_event_note>{}));
  ASSERT_GT(peak, 1e-3f);
  plugin_->reset(plugin_);
  process();
  EXPECT_LT(process(), 1e-5f);
}

}  // namespace
}  // namespace korvo
