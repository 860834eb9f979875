// The factory sounds as shipped: the texts build a complete, clean bank; the built files are that
// bank; every sound survives the text form and the hardware's SysEx banks; and every sound plays
// cleanly through the engine, loud enough to hear and never past full scale.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VSTaux.h"
#include "factoryBank.h"
#include "factoryRender.h"
#include "progBank.h"
#include "progMan.h"
#include "progPack.h"
#include "soundText.h"

using namespace korvo;
using namespace korvo::factory;

namespace {

// The test list is made during static initialisation, so the folders come from the build's
// definitions unless the environment names others.
std::string folder(const char* variable, const char* built) {
  const char* v = std::getenv(variable);
  return v && *v ? v : built;
}
std::string sourceDir() { return folder("KORVO_SOURCE_DIR", KORVO_TEST_SOURCE_DIR); }
std::string dataDir() { return folder("KORVO_BINARY_DIR", KORVO_TEST_BINARY_DIR) + "/data"; }

std::vector<std::string> sourcePaths() {
  std::vector<std::string> paths;
  for (const auto& e : std::filesystem::directory_iterator(sourceDir() + "/data/sounds"))
    if (e.path().extension() == ".txt") paths.push_back(e.path().string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

const std::vector<SourceText>& sources() {
  static const std::vector<SourceText> texts = [] {
    std::vector<SourceText> t;
    std::string error;
    EXPECT_TRUE(readSources(sourcePaths(), t, error)) << error;
    return t;
  }();
  return texts;
}

const FactoryBank& factoryBank() {
  static const FactoryBank bank = [] {
    FactoryBank b;
    std::vector<std::string> errors;
    EXPECT_TRUE(assembleFactory(sources(), b, errors)) << (errors.empty() ? "" : errors.front());
    return b;
  }();
  return bank;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

}  // namespace

TEST(FactorySources, BuildAComplete128SoundBank) {
  ASSERT_GE(sources().size(), 1u);
  FactoryBank bank;
  std::vector<std::string> errors;
  EXPECT_TRUE(assembleFactory(sources(), bank, errors)) << joined(errors);
  for (int n = 0; n < kProgramCount; ++n) {
    const ProgramRecord& r = bank.programs[static_cast<std::size_t>(n)];
    EXPECT_TRUE(bank.placed[static_cast<std::size_t>(n)]) << n;
    EXPECT_EQ(r.format, kRecordFormat) << n;
    EXPECT_NE(recordName(r), "INIT") << "program " << n << " is still the INIT sound";
  }
}

// The compiler refuses a bank with holes, doubles or values the editor could not produce, and
// says where.
TEST(FactorySources, ProblemsAreRefusedWithTheirPlace) {
  std::string full;
  for (int n = 0; n < kProgramCount; ++n)
    full += "SOUND " + std::to_string(n) + "\nNAME = \"S" + std::to_string(n) + "\"\nEND\n";
  struct Case {
    const char* what;
    std::string extra;
    std::string expected;
    bool dropLast;
  } cases[] = {
      {"complete", "", "", false},
      {"a hole", "", "program 127 has no sound", true},
      {"a double", "SOUND 5\nNAME = \"X5\"\nEND\n", "program 005 is already taken by t.txt:", false},
      {"no number", "SOUND\nNAME = \"X\"\nEND\n", "t.txt:385: SOUND has no program number", false},
      {"out of range", "", "FILT.RES = 40 is outside 0..31", true},
      {"same hardware name", "", "the hardware name S12 is already used by program 012", true},
      {"no name", "", "the sound has no name", true},
      {"bad text", "SOUND 1\nOSC1.WAVE = KAZOO\nEND\n", "t.txt: line 386", false},
  };
  for (const Case& c : cases) {
    std::string text = full;
    if (c.dropLast) text = text.substr(0, text.rfind("SOUND 127"));
    if (std::string(c.what) == "out of range") text += "SOUND 127\nNAME = \"R\"\nFILT.RES = 40\nEND\n";
    if (std::string(c.what) == "same hardware name") text += "SOUND 127\nNAME = \"S 1 2\"\nEND\n";
    if (std::string(c.what) == "no name") text += "SOUND 127\nNAME = \"  \"\nEND\n";
    text += c.extra;
    FactoryBank bank;
    std::vector<std::string> errors;
    const bool ok = assembleFactory({{"t.txt", text}}, bank, errors);
    EXPECT_EQ(ok, c.expected.empty()) << c.what;
    if (!c.expected.empty()) {
      EXPECT_NE(joined(errors).find(c.expected), std::string::npos) << c.what << ":\n" << joined(errors);
    }
  }
}

TEST(FactorySources, BuiltLibraryAndBackupAreTheBankOfTheSources) {
  const std::vector<std::uint8_t> image = bankImage(factoryBank());
  ASSERT_EQ(image.size(), static_cast<std::size_t>(kBankSize));
  for (const char* name : {"factory.kvl", "Korvo_backup.dat"}) {
    std::vector<std::uint8_t> file;
    ASSERT_EQ(readWholeFile(joinPath(dataDir(), name), file), image.size()) << name << " missing in " << dataDir();
    EXPECT_TRUE(file == image) << name << " is stale: rebuild korvo_factory_data";
    EXPECT_EQ(checkBackupImage(file.data(), file.size()), BankImageStatus::Ok) << name;
  }
  // The backup loads into the program memory as it would when the plug-in starts.
  Ckv_soundMan sounds;
  ASSERT_TRUE(sounds.LoadBank(image.data()));
  ASSERT_TRUE(sounds.SelectProgram(0));
  EXPECT_TRUE(recordsEqual(*sounds.EditRecord(), factoryBank().programs[0]));
}

TEST(FactorySources, EverySoundRoundTripsThroughTheTextFormExactly) {
  for (const SourceText& src : sources()) {
    std::vector<TextSound> sounds;
    std::string error;
    ASSERT_TRUE(parseSoundText(src.text, sounds, error)) << src.label << ": " << error;
    for (const TextSound& s : sounds) {
      const std::string text = soundToText(s.record, s.position);
      std::vector<TextSound> back;
      ASSERT_TRUE(parseSoundText(text, back, error)) << src.label << ":" << s.line << ": " << error;
      ASSERT_EQ(back.size(), 1u);
      EXPECT_EQ(back[0].position, s.position);
      EXPECT_TRUE(recordsEqual(back[0].record, s.record)) << src.label << ":" << s.line;
    }
  }
}

TEST(FactorySources, NoTwoSoundsAreAlike) {
  const FactoryBank& bank = factoryBank();
  for (int a = 0; a < kProgramCount; ++a)
    for (int b = a + 1; b < kProgramCount; ++b) {
      const auto& ra = bank.programs[static_cast<std::size_t>(a)];
      const auto& rb = bank.programs[static_cast<std::size_t>(b)];
      EXPECT_NE(std::memcmp(ra.words, rb.words, sizeof ra.words), 0)
          << "programs " << a << " and " << b << " play the same";
      EXPECT_NE(hardwareName(ra), hardwareName(rb)) << a << " " << b;
    }
}

// Exported as the hardware's 40-sound banks (from 000, 040, 080 and 088, which together cover all
// 128) and imported again, every sound comes back with the same hardware fields.
TEST(FactorySysEx, BanksReimportWithTheSameHardwareFields) {
  const FactoryBank& bank = factoryBank();
  Ckv_progMan original;
  for (int n = 0; n < kProgramCount; ++n)
    original.StoreSlot(Ckv_progMan::SlotOf(n), bank.programs[static_cast<std::size_t>(n)]);
  for (int first : {0, 40, 80, 88}) {
    std::vector<std::uint8_t> dump;
    ASSERT_TRUE(original.ExportBank(first, dump)) << first;
    ASSERT_EQ(dump.size(), 8166u);
    Ckv_progMan copy;
    ASSERT_TRUE(copy.ImportBank(first, dump.data(), true, dump.size())) << first;
    for (int n = first; n < first + 40; ++n) {
      std::uint8_t sent[kPackedSize], back[kPackedSize];
      packProgram(*original.RecordAt(Ckv_progMan::SlotOf(n)), sent);
      packProgram(*copy.RecordAt(Ckv_progMan::SlotOf(n)), back);
      EXPECT_EQ(std::memcmp(sent, back, kPackedSize), 0) << "program " << n;
      // The six-character name is the one the compiler checked to be unique.
      std::string name = recordName(*copy.RecordAt(Ckv_progMan::SlotOf(n)));
      name.erase(std::find(name.begin(), name.end(), '\0'), name.end());
      EXPECT_EQ(name, hardwareName(bank.programs[static_cast<std::size_t>(n)])) << n;
    }
  }
}

// Every sound through the engine: a held eight-note chord at velocity 127 (all eight voices) and
// a short note. One test per source file, so a failure names the group.
class FactoryRender : public ::testing::TestWithParam<std::string> {};

TEST_P(FactoryRender, EverySoundPlaysCleanlyAudiblyAndBelowFullScale) {
  const FactoryBank& bank = factoryBank();
  const std::vector<ProgramRecord> library(bank.programs.begin(), bank.programs.end());
  const int rate = 44100;
  int played = 0;
  for (int n = 0; n < kProgramCount; ++n) {
    const std::string& origin = bank.origin[static_cast<std::size_t>(n)];
    if (origin.rfind(GetParam() + ":", 0) != 0) continue;
    const ProgramRecord& r = bank.programs[static_cast<std::size_t>(n)];
    const std::string what = zeroPad(n, 3) + " " + displayName(r);
    // Held through the attacks of the four envelopes (where the loudest moment lies), kept short
    // so that the whole bank plays in well under a minute with the sanitizers; the listening
    // sheet plays every sound at length.
    const double hold = std::clamp(attackSeconds(r) + 0.1, 0.2, 1.0);
    const Performance chord{{48, 52, 55, 60, 64, 67, 72, 76}, {}, 127, static_cast<int>(hold * rate), rate / 20, {}};
    const Take full = playSound(r, chord, rate, dataDir());
    const Levels lc = measureLevels(full);
    EXPECT_TRUE(lc.finite) << what;
    EXPECT_LT(lc.peak, 1.0) << what << ": the chord reaches " << toDecibels(lc.peak) << " dBFS";
    EXPECT_GT(lc.peak, 0.03) << what << ": the chord peaks at only " << toDecibels(lc.peak) << " dBFS";
    // Another chord, from the phases that other sounds left behind, adds up differently: it must
    // not clip either (the sheet's worst-case column tries many more states).
    Performance later = chord;
    later.notes = worstCaseChords()[1];
    later.warmUp = seededWarmUp(2, rate, library);
    const Levels lw = measureLevels(playSound(r, later, rate, dataDir()));
    EXPECT_TRUE(lw.finite) << what;
    EXPECT_LT(lw.peak, 1.0) << what << ": after a warm-up the chord reaches " << toDecibels(lw.peak) << " dBFS";

    const Performance note{{60}, {}, 100, rate / 10, rate / 10, {}};
    const Take single = playSound(r, note, rate, dataDir());
    const Levels ln = measureLevels(single);
    EXPECT_TRUE(ln.finite) << what;
    EXPECT_LT(ln.peak, 1.0) << what;
    // A slow pad hardly speaks in a tenth of a second, but something must come out.
    EXPECT_GT(ln.peak, 1e-4) << what << ": a short note is silent (" << toDecibels(ln.peak) << " dBFS)";
    ++played;
  }
  EXPECT_GT(played, 0);
}

INSTANTIATE_TEST_SUITE_P(Groups, FactoryRender, ::testing::ValuesIn([] {
                           std::vector<std::string> labels;
                           for (const std::string& p : sourcePaths())
                             labels.push_back(std::filesystem::path(p).filename().string());
                           return labels;
                         }()),
                         [](const ::testing::TestParamInfo<std::string>& label) {
                           std::string s;
                           for (char c : label.param)
                             if (std::isalnum(static_cast<unsigned char>(c))) s += c;
                           return s;
                         });
