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
  int rescans = 0, dirty = 0;
  std::uint32_t flags = 0;
  int callbacks = 0;
  std::vector<std::pair<clap_id, double>> outputs;
  std::vector<clap_event_note> noteEnds;
};

class ClapPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.clap_version = CLAP_VERSION;
    host_.host_data = &seen_;
    host_.name = host_.vendor = host_.url = host_.version = "test";
    host_.get_extension = [](const clap_host*, const char* id) -> const void* {
      if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kState;
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
  float process(std::vector<clap_event_param_value> params = {}, std::vector<clap_event_note> notes = {},
                std::vector<clap_event_midi> midi = {}) {
    struct In {
      std::vector<const clap_event_header*> events;
    } in;
    for (auto& p : params) in.events.push_back(&p.header);
    for (auto& n : notes) in.events.push_back(&n.header);
    for (auto& m : midi) in.events.push_back(&m.header);
    clap_input_events list{
        &in,
        [](const clap_input_events* l) { return static_cast<std::uint32_t>(static_cast<In*>(l->ctx)->events.size()); },
        [](const clap_input_events* l, std::uint32_t i) { return static_cast<In*>(l->ctx)->events[i]; }};
    clap_output_events out{&seen_, [](const clap_output_events* l, const clap_event_header* e) {
                             auto* r = static_cast<Recorder*>(l->ctx);
                             if (e->type == CLAP_EVENT_NOTE_END) {
                               r->noteEnds.push_back(*reinterpret_cast<const clap_event_note*>(e));
                               return true;
                             }
                             const auto* p = reinterpret_cast<const clap_event_param_value*>(e);
                             r->outputs.emplace_back(p->param_id, p->value);
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

  static constexpr clap_host_state kState{[](const clap_host* h) { ++static_cast<Recorder*>(h->host_data)->dirty; }};

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
  EXPECT_EQ(seen_.dirty, 1) << "another sound changes the host's project";
}

TEST_F(ClapPlugin, ProgramChangeSelectsByDefaultAndALearnedControllerIsAutomation) {
  auto midi = [](std::uint8_t status, std::uint8_t d1, std::uint8_t d2) {
    clap_event_midi e{};
    e.header = {sizeof e, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
    e.data[0] = status, e.data[1] = d1, e.data[2] = d2;
    return e;
  };
  process({}, {}, {midi(0xC0, 9, 0)});
  EXPECT_EQ(instance_->engine().soundMan().CurrentProgram(), 9);
  EXPECT_EQ(seen_.callbacks, 1) << "a whole sound: a rescan on the main thread";

  const ParamInfo& cutoff = *CplugInstance::params().find(word::kFilter);
  ASSERT_TRUE(instance_->learnController(cutoff.id));
  const int cc = instance_->paramValue(cutoff.id) == cutoff.max ? 0 : 127;
  seen_.outputs.clear();
  process({}, {}, {midi(0xB0, 74, static_cast<std::uint8_t>(cc))});
  EXPECT_EQ(seen_.outputs, (std::vector<std::pair<clap_id, double>>{{cutoff.id, cc == 0 ? cutoff.min : cutoff.max}}));
}

TEST_F(ClapPlugin, AVoiceThatFallsSilentEndsItsNoteWithTheHostsIdentity) {
  auto on = note(CLAP_EVENT_NOTE_ON, 3, 64, 1.0);
  on.note_id = 77;
  process({}, {on});
  EXPECT_TRUE(seen_.noteEnds.empty());
  process({}, {note(CLAP_EVENT_NOTE_OFF, 3, 64, 0.0)});
  for (int block = 0; block < 20000 && seen_.noteEnds.empty(); ++block) process();
  ASSERT_EQ(seen_.noteEnds.size(), 1u) << "the release never ended";
  const clap_event_note& end = seen_.noteEnds[0];
  EXPECT_EQ(end.note_id, 77);
  EXPECT_EQ(end.channel, 3);
  EXPECT_EQ(end.key, 64);
  EXPECT_LT(end.header.time, 64u);
  EXPECT_EQ(instance_->engine().activeVoiceCount(), 0);
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

// The gui extension over a recording window and a host with a timer.
struct FakeWindow : IEditorWindow {
  int shown = 0, idles = 0, percent = 100;
  void* parent = nullptr;
  bool* alive = nullptr;
  ~FakeWindow() override { *alive = false; }
  void show() override { ++shown; }
  void idle() override { ++idles; }
  int scale() const override { return percent; }
  void setScale(int p) override { percent = p; }
};

struct GuiHost {
  int timers = 0, unregistered = 0, flushes = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> resizes;
  bool withTimer = true;
};

TEST(ClapGui, TheEditorIsEmbeddedDrivenByTheHostsTimerAndSizedInPhysicalPixels) {
  static constexpr clap_host_timer_support kTimer{
      [](const clap_host* h, std::uint32_t period, clap_id* id) {
        ++static_cast<GuiHost*>(h->host_data)->timers;
        *id = 7;
        return period > 0;
      },
      [](const clap_host* h, clap_id id) { return id == 7 && ++static_cast<GuiHost*>(h->host_data)->unregistered; }};
  static constexpr clap_host_gui kGui{[](const clap_host*) {},
                                      [](const clap_host* h, std::uint32_t w, std::uint32_t height) {
                                        static_cast<GuiHost*>(h->host_data)->resizes.emplace_back(w, height);
                                        return true;
                                      },
                                      [](const clap_host*) { return false; }, [](const clap_host*) { return false; },
                                      [](const clap_host*, bool) {}};
  static constexpr clap_host_params kFlush{[](const clap_host*, std::uint32_t) {},
                                           [](const clap_host*, clap_id, std::uint32_t) {},
                                           [](const clap_host* h) { ++static_cast<GuiHost*>(h->host_data)->flushes; }};
  GuiHost seen;
  clap_host host{};
  host.clap_version = CLAP_VERSION;
  host.host_data = &seen;
  host.name = host.vendor = host.url = host.version = "test";
  host.get_extension = [](const clap_host* h, const char* id) -> const void* {
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0)
      return static_cast<GuiHost*>(h->host_data)->withTimer ? &kTimer : nullptr;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &kGui;
    return std::strcmp(id, CLAP_EXT_PARAMS) == 0 ? &kFlush : nullptr;
  };
  host.request_restart = host.request_process = host.request_callback = [](const clap_host*) {};

  FakeWindow* window = nullptr;
  bool alive = false;
  EditorWindowFactory factory = [&](void* parent, CplugInstance&) -> std::unique_ptr<IEditorWindow> {
    auto w = std::make_unique<FakeWindow>();
    w->parent = parent;
    w->alive = &alive;
    alive = true;
    window = w.get();
    return w;
  };
  const clap_plugin* p =
      createClapPlugin(&host, "org.korvo.synth", test::testEnvironment(test::freshFolder("clap-gui")), factory);
  ASSERT_TRUE(p && p->init(p));
  const auto* gui = static_cast<const clap_plugin_gui*>(p->get_extension(p, CLAP_EXT_GUI));
  ASSERT_NE(gui, nullptr);
  ASSERT_NE(p->get_extension(p, CLAP_EXT_TIMER_SUPPORT), nullptr);
  const auto* timer = static_cast<const clap_plugin_timer_support*>(p->get_extension(p, CLAP_EXT_TIMER_SUPPORT));
  const char* api = CclapEditor::api();
  EXPECT_TRUE(gui->is_api_supported(p, api, false));
  EXPECT_FALSE(gui->is_api_supported(p, api, true)) << "embedded only";
  EXPECT_FALSE(gui->is_api_supported(p, "cocoa", false));

  ASSERT_TRUE(gui->create(p, api, false));
  EXPECT_EQ(seen.timers, 1);
  EXPECT_TRUE(gui->set_scale(p, 2.0));
  std::uint32_t w = 0, h = 0;
  ASSERT_TRUE(gui->get_size(p, &w, &h));
  EXPECT_EQ(w, 2u * TplugEditForm::kWidth);
  EXPECT_EQ(h, 2u * TplugEditForm::kHeight);
  EXPECT_TRUE(gui->set_size(p, w, h));
  EXPECT_FALSE(gui->set_size(p, w + 1, h)) << "one size per scale";

  clap_window parent{};
  parent.api = api;
  parent.ptr = reinterpret_cast<void*>(std::uintptr_t{0x1234});
  ASSERT_TRUE(gui->set_parent(p, &parent));
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->parent, reinterpret_cast<void*>(std::uintptr_t{0x1234}));
  EXPECT_EQ(window->percent, 200) << "the host's scale, as nobody chose one";
  EXPECT_TRUE(gui->show(p));
  EXPECT_EQ(window->shown, 1);

  timer->on_timer(p, 7);
  EXPECT_EQ(window->idles, 1);
  EXPECT_EQ(seen.flushes, 0) << "nothing was edited";
  CplugInstance& instance = *static_cast<CclapSynth*>(p->plugin_data)->instance();
  const ParamInfo& q = CplugInstance::params().all().front();
  instance.engine().soundMan().Editor().SetParam(q.id, instance.paramValue(q.id) == q.min ? q.max : q.min);
  timer->on_timer(p, 7);
  timer->on_timer(p, 7);
  EXPECT_EQ(seen.flushes, 1) << "an edit in the editor asks a host that may not process for one flush";
  timer->on_timer(p, 8);
  EXPECT_EQ(window->idles, 3) << "another timer is not ours";

  window->setScale(150);
  window->onScaleChosen(150);
  ASSERT_EQ(seen.resizes.size(), 1u);
  EXPECT_EQ(seen.resizes[0], std::make_pair(static_cast<std::uint32_t>(scaleCoord(TplugEditForm::kWidth, 150)),
                                            static_cast<std::uint32_t>(scaleCoord(TplugEditForm::kHeight, 150))));

  gui->destroy(p);
  EXPECT_FALSE(alive);
  EXPECT_EQ(seen.unregistered, 1);
#if !defined(_WIN32)
  seen.withTimer = false;
  p->destroy(p);
  p = createClapPlugin(&host, "org.korvo.synth", test::testEnvironment(test::freshFolder("clap-gui")), factory);
  ASSERT_TRUE(p && p->init(p));
  gui = static_cast<const clap_plugin_gui*>(p->get_extension(p, CLAP_EXT_GUI));
  EXPECT_FALSE(gui->create(p, api, false)) << "on X11 nothing would pump the window's events";
#endif
  p->destroy(p);
}

}  // namespace
}  // namespace korvo
