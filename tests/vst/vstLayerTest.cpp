#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "DAudioEffectX.h"

using namespace korvo::vst;

namespace {

// Everything the plug-in sent to its host.
struct HostCall {
  VstInt32 opcode, index;
  VstIntPtr value;
  void* ptr;
  float opt;
};
std::vector<HostCall> g_calls;
VstIntPtr g_answer = 0;

VstIntPtr KORVO_VSTCALL recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                      float opt) {
  g_calls.push_back({opcode, index, value, ptr, opt});
  return g_answer;
}

int g_destroyed = 0;

class TestEffect : public AudioEffectX {
 public:
  using AudioEffectX::AudioEffectX;
  ~TestEffect() override { ++g_destroyed; }
  void process(float**, float**, VstInt32) override {}
  using AudioEffect::hasFlag;
};

class TestEditor : public AEffEditor {
 public:
  using AEffEditor::AEffEditor;
  void update() override { ++updates; }
  int updates = 0;
  VstKeyCode lastKey{};
  VstInt32 onKeyDown(VstKeyCode& key) override {
    lastKey = key;
    return 1;
  }
};

class Layer : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_answer = 0;
    g_destroyed = 0;
  }
  VstIntPtr dispatch(TestEffect& fx, VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) {
    return fx.getAeffect()->dispatcher(fx.getAeffect(), op, index, value, ptr, opt);
  }
};

TEST_F(Layer, ConstructionFillsTheRecordDefaults) {
  TestEffect fx(recordingHost, 3, 7);
  AEffect* e = fx.getAeffect();
  EXPECT_EQ(e->magic, 0x56737450);
  EXPECT_EQ(e->numPrograms, 3);
  EXPECT_EQ(e->numParams, 7);
  EXPECT_EQ(e->numInputs, 1);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->flags, 0);
  EXPECT_EQ(e->uniqueID, fourCC("NoEf"));
  EXPECT_EQ(e->version, 1);
  std::int32_t ioBits;
  std::memcpy(&ioBits, &e->ioRatio, 4);
  EXPECT_EQ(ioBits, 1);
  EXPECT_EQ(e->object, &fx);
  EXPECT_EQ(AudioEffect::fromEffect(e), &fx);
  EXPECT_EQ(fx.getSampleRate(), 44100.0f);
  EXPECT_EQ(fx.getBlockSize(), 1024);
  EXPECT_TRUE(g_calls.empty()) << "construction calls nothing on the host";
}

TEST_F(Layer, EffCloseDestroysTheObjectAndAnswersOne) {
  auto* fx = new TestEffect(recordingHost, 0, 0);
  EXPECT_EQ(dispatch(*fx, effOpen), 0);
  EXPECT_EQ(g_destroyed, 0);
  EXPECT_EQ(fx->getAeffect()->dispatcher(fx->getAeffect(), effClose, 0, 0, nullptr, 0), 1);
  EXPECT_EQ(g_destroyed, 1);
}

TEST_F(Layer, FixedAnswersOfTheDispatcher) {
  TestEffect fx(recordingHost, 2, 0);
  EXPECT_EQ(dispatch(fx, effGetVu), 0);
  EXPECT_EQ(dispatch(fx, effIdentify), fourCC("NvEf"));
  EXPECT_EQ(dispatch(fx, effGetVstVersion), 2300);
  EXPECT_EQ(dispatch(fx, effKeysRequired), 1);
  EXPECT_EQ(dispatch(fx, effCanBeAutomated, 0), 1);
  EXPECT_EQ(dispatch(fx, effGetNumProgramCategories), 1);
  EXPECT_EQ(dispatch(fx, effGetCurrentMidiProgram), -1);
  EXPECT_EQ(dispatch(fx, effConnectInput, 0, 1), 1);
  EXPECT_EQ(dispatch(fx, effConnectOutput, 0, 0), 1);
  EXPECT_EQ(dispatch(fx, effSetTotalSampleToProcess, 0, 4321), 4321);
  EXPECT_EQ(dispatch(fx, effGetPlugCategory), kPlugCategUnknown);
  fx.isSynth(true);
  EXPECT_EQ(dispatch(fx, effGetPlugCategory), kPlugCategSynth);
  EXPECT_EQ(dispatch(fx, effSetBlockSizeAndSampleRate, 0, 256, nullptr, 96000.0f), 1);
  EXPECT_EQ(fx.getBlockSize(), 256);
  EXPECT_EQ(fx.getSampleRate(), 96000.0f);
  for (VstInt32 op : {16, 17, 18, 20, 21, 77, 500, -3}) EXPECT_EQ(dispatch(fx, op, 1, 1), 0) << op;
  EXPECT_TRUE(g_calls.empty()) << "none of these reaches the host";
}

TEST_F(Layer, SetProgramIgnoresNumbersBeyondTheProgramCount) {
  TestEffect fx(recordingHost, 2, 0);
  dispatch(fx, effSetProgram, 0, 1);
  EXPECT_EQ(dispatch(fx, effGetProgram), 1);
  dispatch(fx, effSetProgram, 0, 2);
  EXPECT_EQ(dispatch(fx, effGetProgram), 1);
}

TEST_F(Layer, EditorOpcodesWithoutEditorAnswerZero) {
  TestEffect fx(recordingHost, 0, 0);
  ERect* rect = reinterpret_cast<ERect*>(0x1);
  EXPECT_EQ(dispatch(fx, effEditGetRect, 0, 0, &rect), 0);
  EXPECT_EQ(rect, reinterpret_cast<ERect*>(0x1)) << "no editor, nothing stored";
  EXPECT_EQ(dispatch(fx, effEditOpen), 0);
  EXPECT_EQ(dispatch(fx, effEditClose), 0);
  EXPECT_EQ(dispatch(fx, effEditKeyDown, 'a', 65, nullptr, 0), 0);
  EXPECT_EQ(dispatch(fx, effEditKeyUp, 'a', 65, nullptr, 0), 0);
  EXPECT_EQ(dispatch(fx, effSetEditKnobMode, 0, 1), 0);
}

TEST_F(Layer, AttachingAnEditorSetsTheFlagAndRoutesItsOpcodes) {
  TestEffect fx(recordingHost, 0, 0);
  auto* editor = new TestEditor(&fx);
  fx.setEditor(editor);
  EXPECT_TRUE(fx.hasFlag(effFlagsHasEditor));
  ERect* rect = reinterpret_cast<ERect*>(0x1);
  EXPECT_EQ(dispatch(fx, effEditGetRect, 0, 0, &rect), 0);
  EXPECT_EQ(rect, nullptr) << "the base getRect stores null";
  EXPECT_EQ(dispatch(fx, effEditKeyDown, 'q', 9, nullptr, 2.6f), 1);
  EXPECT_EQ(editor->lastKey.character, 'q');
  EXPECT_EQ(editor->lastKey.virt, 9);
  EXPECT_EQ(editor->lastKey.modifier, 3);
  EXPECT_EQ(dispatch(fx, effEditKeyUp, 'q', 9), -1);
  // idle runs update only after postUpdate, once.
  dispatch(fx, effEditIdle);
  EXPECT_EQ(editor->updates, 0);
  editor->postUpdate();
  dispatch(fx, effEditIdle);
  dispatch(fx, effEditIdle);
  EXPECT_EQ(editor->updates, 1);
  fx.setEditor(nullptr);
  EXPECT_FALSE(fx.hasFlag(effFlagsHasEditor));
  delete editor;
}

TEST_F(Layer, FlagOperationsSetAndClearTheirBits) {
  TestEffect fx(recordingHost, 0, 0);
  struct Case {
    void (TestEffect::*op)(bool);
    VstInt32 flag;
  } cases[] = {{&TestEffect::hasVu, effFlagsHasVu},
               {&TestEffect::hasClip, effFlagsHasClip},
               {&TestEffect::canMono, effFlagsCanMono},
               {&TestEffect::canProcessReplacing, effFlagsCanReplacing},
               {&TestEffect::programsAreChunks, effFlagsProgramChunks},
               {&TestEffect::isSynth, effFlagsIsSynth},
               {&TestEffect::noTail, effFlagsNoSoundInStop},
               {&TestEffect::wantAsyncOperation, effFlagsExtIsAsync},
               {&TestEffect::hasExternalBuffer, effFlagsExtHasBuffer}};
  for (const auto& c : cases) {
    (fx.*c.op)(true);
    EXPECT_EQ(fx.getAeffect()->flags, c.flag);
    (fx.*c.op)(false);
    EXPECT_EQ(fx.getAeffect()->flags, 0);
  }
}

TEST_F(Layer, HostCallsCarryTheirOpcodesAndArguments) {
  TestEffect fx(recordingHost, 0, 0);
  fx.setParameterAutomated(4, 0.25f);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].opcode, audioMasterAutomate);
  EXPECT_EQ(g_calls[0].index, 4);
  EXPECT_EQ(g_calls[0].opt, 0.25f);

  g_calls.clear();
  EXPECT_TRUE(fx.isInputConnected(3));
  EXPECT_TRUE(fx.isOutputConnected(1));
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[0].opcode, audioMasterPinConnected);
  EXPECT_EQ(g_calls[0].index, 3);
  EXPECT_EQ(g_calls[0].value, 1);
  EXPECT_EQ(g_calls[1].value, 0);
  g_answer = 1;
  EXPECT_FALSE(fx.isInputConnected(0)) << "the host answers 0 for connected";

  g_calls.clear();
  fx.wantEvents(1);
  fx.sizeWindow(562, 346);
  char text[8] = "x";
  fx.canHostDo(text);
  EXPECT_FALSE(fx.openFileSelector(nullptr));
  ASSERT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(g_calls[0].opcode, audioMasterWantMidi);
  EXPECT_EQ(g_calls[0].value, 1);
  EXPECT_EQ(g_calls[1].opcode, audioMasterSizeWindow);
  EXPECT_EQ(g_calls[1].index, 562);
  EXPECT_EQ(g_calls[1].value, 346);
  EXPECT_EQ(g_calls[2].opcode, audioMasterCanDo);
  EXPECT_EQ(g_calls[2].ptr, text);
}

TEST_F(Layer, MasterVersionFallsBackToOne) {
  TestEffect noHost(nullptr, 0, 0);
  EXPECT_EQ(noHost.getMasterVersion(), 1);
  EXPECT_TRUE(noHost.isInputConnected(0));
  EXPECT_EQ(noHost.getCurrentUniqueId(), 0);
  TestEffect fx(recordingHost, 0, 0);
  g_answer = 0;
  EXPECT_EQ(fx.getMasterVersion(), 1);
  g_answer = 2400;
  EXPECT_EQ(fx.getMasterVersion(), 2400);
}

TEST_F(Layer, UpdateSampleRateAndBlockSizeTakeOnlyPositiveAnswers) {
  TestEffect fx(recordingHost, 0, 0);
  g_answer = 0;
  EXPECT_EQ(fx.updateSampleRate(), 44100.0);
  EXPECT_EQ(fx.updateBlockSize(), 1024);
  g_answer = 48000;
  EXPECT_EQ(fx.updateSampleRate(), 48000.0);
  g_answer = 64;
  EXPECT_EQ(fx.updateBlockSize(), 64);
  EXPECT_EQ(g_calls.back().opcode, audioMasterGetBlockSize);
}

TEST_F(Layer, SpeakerArrangementsAreAllocatedMatchedAndReportedEmpty) {
  TestEffect fx(recordingHost, 0, 0);
  VstSpeakerArrangement* source = nullptr;
  ASSERT_TRUE(fx.allocateArrangement(&source, 3));
  EXPECT_EQ(source->numChannels, 3);
  source->type = 7;
  auto* speakers = reinterpret_cast<VstSpeakerProperties*>(reinterpret_cast<char*>(source) + 8);
  for (int i = 0; i < 3; ++i) {
    speakers[i].azimuth = static_cast<float>(i);
    std::snprintf(speakers[i].name, sizeof speakers[i].name, "spk%d", i);
  }
  VstSpeakerArrangement* target = nullptr;
  ASSERT_TRUE(fx.allocateArrangement(&target, 1));
  EXPECT_FALSE(fx.matchArrangement(&target, source));  // answers 0 by convention
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(target->numChannels, 3);
  EXPECT_EQ(target->type, 7);
  auto* copied = reinterpret_cast<VstSpeakerProperties*>(reinterpret_cast<char*>(target) + 8);
  EXPECT_STREQ(copied[2].name, "spk2");
  EXPECT_EQ(copied[2].azimuth, 2.0f);
  EXPECT_FALSE(fx.allocateArrangement(&target, -1));
  fx.deallocateArrangement(&source);
  fx.deallocateArrangement(&target);
  EXPECT_EQ(source, nullptr);

  // effGetSpeakerArrangement answers through local copies: the host's pointers stay untouched.
  VstSpeakerArrangement dummy{};
  VstSpeakerArrangement* hostIn = &dummy;
  EXPECT_EQ(dispatch(fx, effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&hostIn), &hostIn), 0);
  EXPECT_EQ(hostIn, &dummy);
}

TEST_F(Layer, ExceptionsNeverReachTheHost) {
  class Throwing : public TestEffect {
   public:
    using TestEffect::TestEffect;
    void open() override { throw std::runtime_error("boom"); }
    void processReplacing(float**, float**, VstInt32) override { throw std::runtime_error("boom"); }
    float getParameter(VstInt32) override { throw std::runtime_error("boom"); }
  };
  Throwing fx(recordingHost, 0, 0);
  AEffect* e = fx.getAeffect();
  EXPECT_EQ(e->dispatcher(e, effOpen, 0, 0, nullptr, 0), 0);
  EXPECT_NO_THROW(e->processReplacing(e, nullptr, nullptr, 16));
  EXPECT_EQ(e->getParameter(e, 0), 0.0f);
}

}  // namespace
