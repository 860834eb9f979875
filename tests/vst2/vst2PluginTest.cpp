#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "countingAllocator.h"
#include "settingsStore.h"
#include "uPlug.h"

using namespace korvo;
using namespace korvo::vst;

namespace {

VstIntPtr g_versionAnswer = 2400;

// An engine that keeps its settings in a temporary folder and writes nothing on destruction.
InstanceEnvironment quietEngine() {
  InstanceEnvironment env;
  const auto dir = std::filesystem::temp_directory_path() / "korvo-plug-test";
  env.settingsStore = std::make_shared<FileSettingsStore>((dir / "settings.conf").string());
  env.useSystemDefaults = false;
  env.defaults = {dir.string(), dir.string(), dir.string()};
  env.saveOnDestroy = false;
  return env;
}
CSynth* synthOf(AEffect* e) { return static_cast<CSynth*>(static_cast<AudioEffect*>(e->object)); }

std::vector<VstInt32> g_opcodes;

VstIntPtr KORVO_VSTCALL host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  g_opcodes.push_back(opcode);
  return opcode == audioMasterVersion ? g_versionAnswer : 0;
}

// Counts windows made and destroyed by the editor bridge.
struct WindowLog {
  int created = 0, shown = 0, destroyed = 0;
  void* lastParent = nullptr;
  CplugInstance* instance = nullptr;
};

class FakeWindow : public IEditorWindow {
 public:
  explicit FakeWindow(WindowLog& log) : log_(log) { ++log_.created; }
  ~FakeWindow() override { ++log_.destroyed; }
  void show() override { ++log_.shown; }

 private:
  WindowLog& log_;
};

EditorWindowFactory factoryFor(WindowLog& log) {
  return [&log](void* parent, CplugInstance& instance) {
    log.lastParent = parent;
    log.instance = &instance;
    return std::make_unique<FakeWindow>(log);
  };
}

VstIntPtr dispatch(CSynth& s, VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr) {
  return s.getAeffect()->dispatcher(s.getAeffect(), op, index, value, ptr, 0.0f);
}

class Plug : public ::testing::Test {
 protected:
  void SetUp() override {
    g_versionAnswer = 2400;
    g_opcodes.clear();
  }
};

TEST_F(Plug, EntryPointRefusesHostsThatDoNotAnswerTheVersionQuery) {
  g_versionAnswer = 0;
  EXPECT_EQ(createEffect(host), nullptr);
  EXPECT_EQ(createEffect(nullptr), nullptr);
}

TEST_F(Plug, EntryPointCreatesThePluginAndEffCloseFreesIt) {
  AEffect* e = createEffect(host, quietEngine());
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(g_opcodes.front(), audioMasterVersion);
  EXPECT_EQ(g_opcodes.size(), 1u) << "only the version query before creation";
  EXPECT_EQ(synthOf(e)->getAeffect(), e);
  EXPECT_EQ(e->flags, 0x131);
  EXPECT_EQ(e->uniqueID, fourCC("Krvo"));
  EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0), 1);
}

// The entry point's plug-in keeps its settings in the system store; under test that is a
// temporary folder, and the file of the user who runs the tests is neither made nor changed.
TEST_F(Plug, TheUsersSettingsFileIsUntouched) {
  namespace fs = std::filesystem;
  const char* user = std::getenv("KORVO_USER_CONFIG_HOME");
  ASSERT_NE(user, nullptr);
  const fs::path userFile = fs::path(user) / "Korvo" / "settings.conf";
  const bool existed = fs::exists(userFile);
  fs::file_time_type before{};
  if (existed) before = fs::last_write_time(userFile);
  ASSERT_NE(systemSettingsFilePath(), userFile.string());

  fs::remove(systemSettingsFilePath());
  AEffect* e = createEffect(host);
  ASSERT_NE(e, nullptr);
  ASSERT_NE(synthOf(e)->engine(), nullptr);
  synthOf(e)->instance()->settings().restMouseKnob = false;  // something to write at close
  e->dispatcher(e, effClose, 0, 0, nullptr, 0);

  EXPECT_TRUE(fs::exists(systemSettingsFilePath())) << "the settings went to the temporary store";
  EXPECT_EQ(fs::exists(userFile), existed);
  if (existed) {
    EXPECT_EQ(fs::last_write_time(userFile), before);
  }
}

TEST_F(Plug, WithoutCallbackOnlyTheEditorFlagIsSet) {
  CSynth s(nullptr, {}, quietEngine());
  EXPECT_EQ(s.getAeffect()->flags, effFlagsHasEditor);
  EXPECT_EQ(s.getAeffect()->numInputs, 1);
  EXPECT_EQ(s.getAeffect()->uniqueID, fourCC("NoEf"));
}

TEST_F(Plug, ResumeAsksForMidiAndSuspendAsksNothing) {
  CSynth s(host, {}, quietEngine());
  g_opcodes.clear();
  dispatch(s, effMainsChanged, 0, 0);
  EXPECT_TRUE(g_opcodes.empty());
  dispatch(s, effMainsChanged, 0, 1);
  EXPECT_EQ(g_opcodes, std::vector<VstInt32>{audioMasterWantMidi});
}

TEST_F(Plug, CanDoAndOutputProperties) {
  CSynth s(host, {}, quietEngine());
  for (const char* other : {"sendVstEvents", "receiveVstEvents", "receiveVstTimeInfo", "offline", "bypass", ""}) {
    std::string text = other;
    EXPECT_EQ(dispatch(s, effCanDo, 0, 0, text.data()), -1) << other;
  }
  char yes[] = "receiveVstMidiEvent";
  EXPECT_EQ(dispatch(s, effCanDo, 0, 0, yes), 1);
  EXPECT_EQ(dispatch(s, effCanDo, 0, 0, nullptr), -1);

  VstPinProperties pin{};
  EXPECT_EQ(dispatch(s, effGetOutputProperties, 1, 0, &pin), 1);
  EXPECT_STREQ(pin.label, "Korvo 1");
  EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
  EXPECT_EQ(dispatch(s, effGetOutputProperties, 2, 0, &pin), 0);
  EXPECT_EQ(dispatch(s, effGetOutputProperties, -1, 0, &pin), 0);
  EXPECT_EQ(dispatch(s, effGetOutputProperties, 0, 0, nullptr), 0);

  char name[kVstMaxEffectNameLen] = {};
  EXPECT_EQ(dispatch(s, effGetEffectName, 0, 0, name), 1);
  EXPECT_STREQ(name, "Korvo-P");
}

TEST_F(Plug, RenderingWritesSilenceWithoutNotesAndRespectsNullBuffers) {
  CSynth s(host, {}, quietEngine());
  AEffect* e = s.getAeffect();
  std::vector<float> left(64, 0.5f), right(64, 0.5f);
  float* outs[2] = {left.data(), right.data()};
  e->process(e, nullptr, outs, 64);  // accumulating: silence adds nothing
  for (float v : left) ASSERT_EQ(v, 0.5f);
  e->processReplacing(e, nullptr, outs, 64);
  for (float v : left) ASSERT_EQ(v, 0.0f);
  for (float v : right) ASSERT_EQ(v, 0.0f);

  std::fill(left.begin(), left.end(), 0.5f);
  float* rightMissing[2] = {left.data(), nullptr};
  e->processReplacing(e, nullptr, rightMissing, 64);
  for (float v : left) ASSERT_EQ(v, 0.5f) << "a missing right buffer means nothing is written";
  e->processReplacing(e, nullptr, nullptr, 64);
  e->processReplacing(e, nullptr, outs, -5);
  for (float v : left) ASSERT_EQ(v, 0.5f);
}

TEST_F(Plug, ChunkIsTheEditBufferAndOnlyAValidRecordReplacesIt) {
  CSynth s(host, {}, quietEngine());
  void* data = nullptr;
  ASSERT_EQ(dispatch(s, effGetChunk, 0, 0, &data), 544);
  ASSERT_NE(data, nullptr);
  std::vector<std::uint8_t> image(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + 544);
  void* preset = nullptr;
  ASSERT_EQ(dispatch(s, effGetChunk, 1, 0, &preset), 544);
  EXPECT_EQ(std::memcmp(preset, image.data(), 544), 0) << "bank and preset requests get the same image";

  // A changed but valid record is taken.
  std::vector<std::uint8_t> changed = image;
  changed[0] = static_cast<std::uint8_t>(changed[0] ^ 1);
  EXPECT_FALSE(s.getEditor()->isUpdatePending());
  EXPECT_EQ(dispatch(s, effSetChunk, 0, 544, changed.data()), 0);
  EXPECT_TRUE(s.getEditor()->isUpdatePending());
  ASSERT_EQ(dispatch(s, effGetChunk, 0, 0, &data), 544);
  EXPECT_EQ(std::memcmp(data, changed.data(), 544), 0);

  // Wrong sizes, a bad format word and a null pointer change nothing.
  std::vector<std::uint8_t> bad = image;
  bad[512] = 2;
  EXPECT_EQ(dispatch(s, effSetChunk, 0, 543, image.data()), 0);
  EXPECT_EQ(dispatch(s, effSetChunk, 0, 545, image.data()), 0);
  EXPECT_EQ(dispatch(s, effSetChunk, 0, 544, bad.data()), 0);
  EXPECT_EQ(dispatch(s, effSetChunk, 0, 544, nullptr), 0);
  ASSERT_EQ(dispatch(s, effGetChunk, 0, 0, &data), 544);
  EXPECT_EQ(std::memcmp(data, changed.data(), 544), 0);
}

TEST_F(Plug, AbsurdHostInputNeverCrashes) {
  CSynth s(host, {}, quietEngine());
  AEffect* e = s.getAeffect();
  std::vector<float> left(128), right(128);
  float* outs[2] = {left.data(), right.data()};
  char noteOn[] = {static_cast<char>(0x90), 60, 100};
  for (float rate : {0.0f, -44100.0f, 1.0e9f, std::nanf(""), INFINITY, 8000.0f, 192000.0f, 44100.0f}) {
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, rate);
    ASSERT_NE(s.engine(), nullptr);
    EXPECT_GE(s.engine()->sampleRate(), 1) << rate;
    EXPECT_LE(s.engine()->sampleRate(), 1000000) << rate;
    s.engine()->keyboardNote(0, noteOn[1], noteOn[2]);
    e->processReplacing(e, nullptr, outs, 128);
    for (float v : left) ASSERT_TRUE(std::isfinite(v)) << rate;
  }
  // Chunks of every odd size are refused without reading past what was given.
  const std::vector<std::uint8_t> before = [&] {
    void* data = nullptr;
    VstIntPtr n = dispatch(s, effGetChunk, 0, 0, &data);
    return std::vector<std::uint8_t>(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + n);
  }();
  for (VstIntPtr size : {VstIntPtr{0}, VstIntPtr{1}, VstIntPtr{-544}, VstIntPtr{100000}}) {
    std::vector<std::uint8_t> junk(static_cast<std::size_t>(size > 0 ? size : 1), 0xEE);
    EXPECT_EQ(dispatch(s, effSetChunk, 0, size, junk.data()), 0);
  }
  void* data = nullptr;
  ASSERT_EQ(dispatch(s, effGetChunk, 0, 0, &data), 544);
  EXPECT_EQ(std::memcmp(data, before.data(), 544), 0);
}

TEST_F(Plug, EditorReportsItsRectangle) {
  CSynth s(host, {}, quietEngine());
  ERect* rect = nullptr;
  EXPECT_EQ(dispatch(s, effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 346);
  EXPECT_EQ(rect->right, 562);
}

TEST_F(Plug, SeveralOpensShareOneWindowAndTheLastCloseDestroysIt) {
  WindowLog log;
  CSynth s(host, factoryFor(log), quietEngine());
  auto* editor = static_cast<CSynthEditor*>(s.getEditor());
  int parent = 0;
  EXPECT_EQ(dispatch(s, effEditOpen, 0, 0, &parent), 1);
  EXPECT_EQ(dispatch(s, effEditOpen, 0, 0, &parent), 1);
  EXPECT_EQ(log.created, 1);
  EXPECT_EQ(log.shown, 2);
  EXPECT_EQ(log.lastParent, &parent);
  EXPECT_EQ(log.instance, s.instance());
  dispatch(s, effEditClose);
  EXPECT_EQ(log.destroyed, 0);
  EXPECT_TRUE(editor->hasWindow());
  dispatch(s, effEditClose);
  EXPECT_EQ(log.destroyed, 1);
  EXPECT_FALSE(editor->hasWindow());
  EXPECT_EQ(editor->openCount(), 0);

  // An unmatched close leaves the count at zero, so the next open makes a window again.
  dispatch(s, effEditClose);
  EXPECT_EQ(editor->openCount(), 0);
  EXPECT_EQ(dispatch(s, effEditOpen, 0, 0, &parent), 1);
  EXPECT_EQ(log.created, 2);
}

TEST_F(Plug, DestroyingThePluginClosesAnOpenWindowExactlyOnce) {
  WindowLog log;
  {
    auto* s = new CSynth(host, factoryFor(log), quietEngine());
    dispatch(*s, effEditOpen);
    dispatch(*s, effEditOpen);
    dispatch(*s, effEditOpen);
    s->getAeffect()->dispatcher(s->getAeffect(), effClose, 0, 0, nullptr, 0);
  }
  EXPECT_EQ(log.created, 1);
  EXPECT_EQ(log.destroyed, 1);
}

TEST_F(Plug, AWindowClosedByThePluginsDestructionStillFindsTheEngine) {
  // A window that saves its state through the engine when it goes away.
  struct EngineWindow : IEditorWindow {
    CSynth& plugin;
    CplugMaster* engine;
    bool& sawEngine;
    EngineWindow(CSynth& p, bool& saw) : plugin(p), engine(p.engine()), sawEngine(saw) {}
    ~EngineWindow() override { sawEngine = plugin.engine() == engine && engine->getChunk().size() == 544; }
    void show() override {}
  };
  bool sawEngine = false;
  CSynth* s = nullptr;
  s = new CSynth(
      host, [&](void*, CplugInstance&) { return std::make_unique<EngineWindow>(*s, sawEngine); }, quietEngine());
  ASSERT_EQ(dispatch(*s, effEditOpen), 1);
  dispatch(*s, effClose);
  EXPECT_TRUE(sawEngine);
}

TEST_F(Plug, WithoutAWindowOpenAnswersZeroButStillCounts) {
  CSynth s(host, {}, quietEngine());
  auto* editor = static_cast<CSynthEditor*>(s.getEditor());
  EXPECT_EQ(dispatch(s, effEditOpen), 0);
  EXPECT_EQ(dispatch(s, effEditOpen), 0);
  EXPECT_EQ(editor->openCount(), 2);
  dispatch(s, effEditClose);
  EXPECT_EQ(editor->openCount(), 1);
}

// The host's list in the engine's form: MIDI and SysEx events in their order, nothing else, and
// never more than there is room for.
TEST(HostEvents, MidiAndSysExAreConvertedInOrderAndTheRestIsSkipped) {
  VstMidiEvent note{};
  note.type = kVstMidiType;
  note.deltaFrames = 17;
  note.midiData[0] = static_cast<char>(0x92);
  note.midiData[1] = 60;
  note.midiData[2] = static_cast<char>(0xE4);  // a top bit the parser masks later, kept as sent
  note.noteOffVelocity = 33;
  std::vector<std::uint8_t> dump{0xF0, 0x0F, 0x02, 0x00, 0x01, 0xF7};
  VstMidiSysexEvent sysex{};
  sysex.type = kVstSysExType;
  sysex.deltaFrames = 40;
  sysex.dumpBytes = static_cast<VstInt32>(dump.size());
  sysex.sysexDump = reinterpret_cast<char*>(dump.data());
  VstMidiSysexEvent emptySysex = sysex;
  emptySysex.sysexDump = nullptr;
  VstEvent other{};
  other.type = 3;
  std::vector<unsigned char> bytes(sizeof(VstEvents) + 5 * sizeof(VstEvent*));
  auto* list = reinterpret_cast<VstEvents*>(bytes.data());
  list->numEvents = 5;
  list->events[0] = reinterpret_cast<VstEvent*>(&note);
  list->events[1] = nullptr;
  list->events[2] = &other;
  list->events[3] = reinterpret_cast<VstEvent*>(&sysex);
  list->events[4] = reinterpret_cast<VstEvent*>(&emptySysex);

  std::vector<MidiEvent> out(8);
  ASSERT_EQ(fromHostEvents(list, out), 3u);
  EXPECT_EQ(out[0].kind, MidiEvent::Short);
  EXPECT_EQ(out[0].frame, 17);
  EXPECT_EQ(out[0].status, 0x92);
  EXPECT_EQ(out[0].data1, 60);
  EXPECT_EQ(out[0].data2, 0xE4);
  EXPECT_EQ(out[0].noteOffVelocity, 33);
  EXPECT_EQ(out[1].kind, MidiEvent::SysEx);
  EXPECT_EQ(out[1].frame, 40);
  EXPECT_EQ(out[1].sysex, dump.data());
  EXPECT_EQ(out[1].sysexSize, 6);
  EXPECT_EQ(out[2].kind, MidiEvent::SysEx);
  EXPECT_EQ(out[2].sysexSize, 0) << "no bytes behind a null dump";

  EXPECT_EQ(fromHostEvents(list, std::span<MidiEvent>(out.data(), 2)), 2u) << "bounded by the room given";
  EXPECT_EQ(fromHostEvents(nullptr, out), 0u);
  list->numEvents = -1;
  EXPECT_EQ(fromHostEvents(list, out), 0u);
}

}  // namespace

namespace {

// The host's whole audio path, from the first block on: its event list (notes, bends and a
// SysEx dump the editor takes) through processEvents, then processReplacing, allocates nothing.
TEST(Vst2AudioPath, ProcessEventsAndProcessReplacingAllocateNothing) {
  CSynth synth(host, {}, quietEngine());
  ASSERT_NE(synth.engine(), nullptr);
  synth.engine()->parser().setSysExTaken(true);
  AEffect* e = synth.getAeffect();
  std::vector<VstMidiEvent> notes(24);
  for (std::size_t i = 0; i < notes.size(); ++i) {
    notes[i].type = kVstMidiType;
    notes[i].deltaFrames = static_cast<VstInt32>(i * 20);
    notes[i].midiData[0] = static_cast<char>(i % 6 == 5 ? 0xE0 : (i % 2 ? 0x80 : 0x90));
    notes[i].midiData[1] = static_cast<char>(40 + i);
    notes[i].midiData[2] = 100;
  }
  std::vector<std::uint8_t> dump(210, 0x01);  // a single-sound dump's frame around any body
  dump[0] = 0xF0, dump[1] = 0x0F, dump[2] = 0x02, dump[3] = 0x00, dump[4] = 0x01;
  dump.back() = 0xF7;
  VstMidiSysexEvent sysex{};
  sysex.type = kVstSysExType;
  sysex.deltaFrames = 300;
  sysex.dumpBytes = static_cast<VstInt32>(dump.size());
  sysex.sysexDump = reinterpret_cast<char*>(dump.data());
  std::vector<unsigned char> bytes(sizeof(VstEvents) + (notes.size() + 1) * sizeof(VstEvent*));
  auto* list = reinterpret_cast<VstEvents*>(bytes.data());
  list->numEvents = static_cast<VstInt32>(notes.size() + 1);
  for (std::size_t i = 0; i < notes.size(); ++i) list->events[i] = reinterpret_cast<VstEvent*>(&notes[i]);
  list->events[notes.size()] = reinterpret_cast<VstEvent*>(&sysex);
  std::vector<float> left(512), right(512);
  float* outputs[] = {left.data(), right.data()};

  const std::size_t before = test::allocationCount();
  for (int block = 0; block < 20; ++block) {
    e->dispatcher(e, effProcessEvents, 0, 0, list, 0.0f);
    e->processReplacing(e, nullptr, outputs, 512);
  }
  EXPECT_EQ(test::allocationCount(), before);
  EXPECT_GT(synth.engine()->voicesInUse(), 0);
  std::size_t handed = 0;
  EXPECT_TRUE(synth.engine()->parser().hostSysEx().Take([&](const std::uint8_t*, std::size_t size) { handed = size; }));
  EXPECT_EQ(handed, dump.size()) << "the dump reached the editor's hand-off";
}

TEST(Vst2AudioPath, ProgramChangeIsDroppedUntilTheUserTurnsItOn) {
  CSynth synth(host, {}, quietEngine());
  AEffect* e = synth.getAeffect();
  VstMidiEvent change{};
  change.type = kVstMidiType;
  change.midiData[0] = static_cast<char>(0xC0);
  change.midiData[1] = 7;
  VstEvents list{};
  list.numEvents = 1;
  list.events[0] = reinterpret_cast<VstEvent*>(&change);
  std::vector<float> left(64), right(64);
  float* outputs[] = {left.data(), right.data()};
  auto play = [&] {
    e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
    e->processReplacing(e, nullptr, outputs, 64);
    return synth.engine()->soundMan().CurrentProgram();
  };
  EXPECT_EQ(play(), 0);
  EXPECT_EQ(e->numPrograms, 0);
  synth.instance()->setProgramChangeSelects(true);
  EXPECT_EQ(play(), 7);
}

}  // namespace
