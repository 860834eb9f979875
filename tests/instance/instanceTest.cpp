// The instance's host-facing parameters and its wave ROM reader.
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "instanceFixture.h"
#include "waveRomFile.h"

using namespace korvo;
using namespace korvo::test;

namespace {

TEST(ParamList, EveryWordThePagesEditOnceWithTheFieldsRangeAndName) {
  std::set<int> edited;
  for (const LcdPage& page : lcdPages())
    for (const LcdPageField& f : page.fields)
      if (f.word >= 0) edited.insert(f.word);
  const ParamList& list = paramList();
  std::set<int> ids;
  std::set<std::string> names;
  for (const ParamInfo& p : list.all()) {
    EXPECT_TRUE(ids.insert(p.id).second) << p.id;
    EXPECT_TRUE(names.insert(p.name).second) << p.name;
    EXPECT_LE(p.min, p.defaultValue) << p.name;
    EXPECT_GE(p.max, p.defaultValue) << p.name;
  }
  EXPECT_EQ(ids, edited);
  EXPECT_EQ(list.size(), edited.size());
  // A field on a page that owns it gives the name and range.
  for (const LcdPage& page : lcdPages()) {
    if (page.overview) continue;
    for (const LcdPageField& f : page.fields) {
      const ParamInfo* p = list.find(f.word);
      ASSERT_NE(p, nullptr) << f.name;
      EXPECT_EQ(p->name, page.label + " " + f.name);
      EXPECT_EQ(p->min, std::min(f.lo, f.hi)) << p->name;
      EXPECT_EQ(p->max, std::max(f.lo, f.hi)) << p->name;
    }
  }
  EXPECT_EQ(list.find(-1), nullptr);
  EXPECT_EQ(list.find(kParamWordCount), nullptr);
}

TEST(ParamList, EveryTextTheFormatterGivesReadsBackAsItsValue) {
  const ParamList& list = paramList();
  for (const ParamInfo& p : list.all()) {
    for (int v = p.min; v <= p.max; ++v) {
      const std::string text = list.toText(p.id, v);
      ASSERT_FALSE(text.empty()) << p.name << " " << v;
      EXPECT_EQ(list.fromText(p.id, text), v) << p.name << " '" << text << "'";
    }
    EXPECT_EQ(list.fromText(p.id, "no such value"), std::nullopt) << p.name;
    EXPECT_EQ(list.fromText(p.id, std::to_string(p.max + 1)), std::nullopt) << p.name;
    EXPECT_EQ(list.toText(p.id, p.max + 100), list.toText(p.id, p.max)) << "clamped";
  }
}

TEST(InstanceParams, HostValuesAreClampedAndOnlyChangesMadeInsideAreReported) {
  CplugInstance instance(44100, testEnvironment(freshFolder("params"), true));
  const ParamList& list = instance.params();
  const ParamInfo& p = list.all().front();
  auto drained = [&] {
    std::vector<std::pair<int, int>> got;
    instance.drainParamChanges([&](int id, int value) { got.emplace_back(id, value); });
    return got;
  };
  EXPECT_TRUE(drained().empty()) << "nothing changed since creation";

  EXPECT_TRUE(instance.setParamValue(p.id, p.max + 1000));
  EXPECT_EQ(instance.paramValue(p.id), p.max);
  EXPECT_EQ(instance.engine().soundMan().EditRecord()->words[p.id], p.max);
  EXPECT_TRUE(drained().empty()) << "the host's own value is not sent back";
  EXPECT_FALSE(instance.setParamValue(-1, 0));

  // An edit in the editor's path is reported once.
  const ParamInfo& q = list.all().back();
  const int next = instance.paramValue(q.id) == q.min ? q.max : q.min;
  instance.engine().soundMan().Editor().SetParam(q.id, next);
  EXPECT_EQ(drained(), (std::vector<std::pair<int, int>>{{q.id, next}}));
  EXPECT_TRUE(drained().empty());

  // A whole sound (another program, a state) reports the words that differ.
  std::vector<std::uint8_t> state = instance.state();
  instance.engine().soundMan().SelectProgram(5);
  const auto afterSelect = drained();
  EXPECT_FALSE(afterSelect.empty());
  for (const auto& [id, value] : afterSelect) EXPECT_NE(list.find(id), nullptr);
  EXPECT_TRUE(instance.setState(state.data(), state.size()));
  EXPECT_EQ(drained().size(), afterSelect.size()) << "back to the sound before";
  EXPECT_FALSE(instance.setState(state.data(), state.size() - 1));
}

TEST(InstanceMidiLearn, ALearnedControllerReachesTheHostAndTheBindingsOutliveTheInstance) {
  const auto dir = freshFolder("learn");
  const ParamInfo& cutoff = *CplugInstance::params().find(word::kFilter);
  {
    CplugInstance instance(44100, testEnvironment(dir, false, true));
    EXPECT_FALSE(instance.programChangeSelects()) << "the default a format gives";
    EXPECT_FALSE(instance.learnController(220)) << "a reserved word is no parameter";
    ASSERT_TRUE(instance.learnController(cutoff.id));
    EXPECT_EQ(instance.learningParam(), cutoff.id);
    const bool atMax = instance.paramValue(cutoff.id) == cutoff.max;
    MidiEvent cc{MidiEvent::Short, 0xB0, 74, static_cast<std::uint8_t>(atMax ? 0 : 127)};
    instance.processEvents({&cc, 1});
    std::vector<float> l(32), r(32);
    instance.render(true, l.data(), 32, r.data());
    EXPECT_EQ(instance.learningParam(), -1);
    EXPECT_EQ(instance.controllerOf(cutoff.id), 74);
    std::vector<std::pair<int, int>> got;
    instance.drainParamChanges([&](int id, int value) { got.emplace_back(id, value); });
    EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{cutoff.id, atMax ? cutoff.min : cutoff.max}}));
    instance.setProgramChangeSelects(true);
  }
  // A hand-edited entry that names no learnable controller or no parameter is dropped.
  FileSettingsStore store((dir / "settings.conf").string());
  ASSERT_TRUE(store.open());
  EXPECT_EQ(store.readString("midiControllers").value_or(""), "74=" + std::to_string(cutoff.id));
  store.writeString("midiControllers", "x=1 0=168 71=9999 74=" + std::to_string(cutoff.id) + " 7=24=1 1=24");
  store.commit();
  CplugInstance again(44100, testEnvironment(dir, false));
  EXPECT_EQ(again.controllerOf(cutoff.id), 74);
  EXPECT_EQ(again.controllerBindings().size(), 2u);
  EXPECT_EQ(again.controllerOf(24), 1);
  EXPECT_TRUE(again.programChangeSelects()) << "the user's choice outranks the format's default";
  CplugInstance otherFormat(44100, testEnvironment(freshFolder("learn2"), false).withProgramChange(true));
  EXPECT_TRUE(otherFormat.programChangeSelects());
}

TEST(WaveRomFile, ReadsAtMostFourBanksAndRefusesWhatIsNotThere) {
  const auto dir = freshFolder("rom-file");
  {
    std::ofstream(dir / "short.bin", std::ios::binary) << "\x05\x06\x07";
    std::vector<char> big(kWaveRomFileBytes + 10, 9);
    std::ofstream(dir / "long.bin", std::ios::binary).write(big.data(), static_cast<std::streamsize>(big.size()));
    std::ofstream(dir / "empty.bin", std::ios::binary);
  }
  std::vector<std::uint8_t> image{1};
  EXPECT_TRUE(readWaveRomFile((dir / "long.bin").string(), image));
  EXPECT_EQ(image.size(), kWaveRomFileBytes);
  EXPECT_EQ(image.back(), 9);
  // Less than one bank would silence every sound: refused like a file that is not there.
  for (const char* bad : {"short.bin", "missing.bin", "empty.bin", ""}) {
    EXPECT_FALSE(readWaveRomFile((dir / bad).string(), image)) << bad;
    EXPECT_EQ(image.size(), kWaveRomFileBytes) << bad << ": unchanged";
  }
}

}  // namespace
