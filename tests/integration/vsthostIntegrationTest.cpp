// The built plug-in, loaded by the project's host exactly as a DAW loads it.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hostRunner.h"
#include "pitchEstimate.h"
#include "progRecord.h"
#include "soundMan.h"

namespace {

using korvo::estimatePitch;

std::string tempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("korvo-it-" + std::to_string(::getpid()) + "-" + name)).string();
}

struct Wav {
  int channels = 0;
  int rate = 0;
  std::vector<float> samples;
};

bool readWav(const std::string& path, Wav& wav) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return false;
  wav.channels = info.channels;
  wav.rate = info.samplerate;
  wav.samples.resize(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(f, wav.samples.data(), info.frames);
  sf_close(f);
  return true;
}

// A chunk file holding the INIT sound, so tests that measure pitch know what plays (the plug-in
// starts with program 0 of its backup, which may be any sound).
std::string initChunk() {
  static const std::string path = [] {
    const std::string p = tempPath("init-chunk.bin");
    const korvo::ProgramRecord init = korvo::makeInitRecord();
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(&init), sizeof init);
    return p;
  }();
  return path;
}

// One host run with --info and --probe serves the checks of the record and the bad calls.
class KorvoThroughHost : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { info_ = new HostRun(runHost({"--info", "--probe"})); }
  static void TearDownTestSuite() {
    delete info_;
    info_ = nullptr;
  }
  const HostRun& info() const { return *info_; }
  static HostRun* info_;
};
HostRun* KorvoThroughHost::info_ = nullptr;

TEST_F(KorvoThroughHost, LoadsAndFillsTheEffectRecord) {
  ASSERT_EQ(info().exitCode, 0) << info().err;
  EXPECT_EQ(info().value("host.bits"), testEnv("KORVO_TEST_BITS"));
  const std::pair<const char*, const char*> expected[] = {
      {"record.magic", "VstP"},      {"record.numPrograms", "0"},  {"record.numParams", "0"},
      {"record.numInputs", "0"},     {"record.numOutputs", "2"},   {"record.flags", "0x131"},
      {"record.resvd1", "0"},        {"record.resvd2", "0"},       {"record.initialDelay", "0"},
      {"record.realQualities", "0"}, {"record.offQualities", "0"}, {"record.ioRatioBits", "0x1"},
      {"record.objectSet", "1"},     {"record.user", "0"},         {"record.uniqueID", "Krvo"},
      {"record.version", "1"},       {"record.hasProcess", "1"},   {"record.hasProcessReplacing", "1"},
      {"record.futureZero", "1"}};
  for (const auto& [key, value] : expected) EXPECT_EQ(info().value(key), value) << key;
}

TEST_F(KorvoThroughHost, AnswersEveryIdentityQuestion) {
  const std::pair<const char*, const char*> expected[] = {{"effectName", "Korvo-P"},
                                                          {"vendor", ""},
                                                          {"product", ""},
                                                          {"vendorVersion", "0"},
                                                          {"vstVersion", "2300"},
                                                          {"category", "2"},
                                                          {"identify", "NvEf"},
                                                          {"keysRequired", "1"},
                                                          {"getVu", "0"},
                                                          {"numProgramCategories", "1"},
                                                          {"currentMidiProgram", "-1"},
                                                          {"host.wantMidiCalls", "1"}};
  for (const auto& [key, value] : expected) EXPECT_EQ(info().value(key), value) << key;
  int canDoAnswers = 0;
  for (const auto& [key, value] : info().values) {
    if (key.rfind("canDo.", 0) != 0) continue;
    ++canDoAnswers;
    EXPECT_EQ(value, key == "canDo.receiveVstMidiEvent" ? "1" : "-1") << key;
  }
  EXPECT_GT(canDoAnswers, 20);
}

TEST_F(KorvoThroughHost, DescribesTwoStereoOutputsAndNoInput) {
  EXPECT_EQ(info().value("output0.ok"), "1");
  EXPECT_EQ(info().value("output0.label"), "Korvo 0");
  EXPECT_EQ(info().value("output0.flags"), "3");
  EXPECT_EQ(info().value("output1.ok"), "1");
  EXPECT_EQ(info().value("output1.label"), "Korvo 1");
  EXPECT_EQ(info().value("output1.flags"), "3");
  EXPECT_EQ(info().value("output2.ok"), "0");
  EXPECT_EQ(info().value("input0.ok"), "0");
}

TEST_F(KorvoThroughHost, ReportsTheEditorRectangle) {
  EXPECT_EQ(info().value("editor.getRect"), "1");
  EXPECT_EQ(info().value("editor.rect"), "0,0,346,562");
}

TEST_F(KorvoThroughHost, ChunkIsOneSoundRecordForBankAndPreset) {
  EXPECT_EQ(info().value("chunk.bank"), "544");
  EXPECT_EQ(info().value("chunk.preset"), "544");
}

TEST_F(KorvoThroughHost, EditorOpensThroughItsFactoryAndClosesAreCounted) {
  // Both opens share the one window; an unmatched close is harmless.
  EXPECT_EQ(info().value("probe.editOpen1"), "1");
  EXPECT_EQ(info().value("probe.editOpen2"), "1");
  EXPECT_EQ(info().value("probe.editClose1"), "0");
  EXPECT_EQ(info().value("probe.editClose2"), "0");
  EXPECT_EQ(info().value("probe.editCloseUnmatched"), "0");
  EXPECT_EQ(info().value("probe.editGetRectNullPtr"), "1");
  EXPECT_EQ(info().value("probe.editKeyDown"), "-1");
  EXPECT_EQ(info().value("probe.setKnobMode"), "0");
}

TEST_F(KorvoThroughHost, BadCallsFailCleanly) {
  for (const char* op : {"77", "78", "128", "1000", "-1", "-1000"})
    EXPECT_EQ(info().value(std::string("probe.unknownOpcode.") + op), "0") << op;
  const std::pair<const char*, const char*> expected[] = {{"probe.programAfterSet5", "0"},
                                                          {"probe.processEventsNull", "1"},
                                                          {"probe.rightNullLeftUntouched", "1"},
                                                          {"probe.leftNullRightUntouched", "1"},
                                                          {"probe.zeroFramesSurvived", "1"},
                                                          {"probe.setChunk543", "0"},
                                                          {"probe.setChunk545", "0"},
                                                          {"probe.setChunkNull544", "0"},
                                                          {"probe.getChunkNullPtr", "0"},
                                                          {"probe.chunkUnchanged", "1"},
                                                          {"probe.close", "1"}};
  for (const auto& [key, value] : expected) EXPECT_EQ(info().value(key), value) << key;
  EXPECT_EQ(std::stod(info().value("probe.silencePeak")), 0.0);
}

std::vector<float> leftChannel(const Wav& wav) {
  std::vector<float> mono;
  for (std::size_t i = 0; i < wav.samples.size(); i += 2) mono.push_back(wav.samples[i]);
  return mono;
}

double peak(const std::vector<float>& v, std::size_t from, std::size_t to) {
  double p = 0;
  for (std::size_t i = from; i < to && i < v.size(); ++i) p = std::max(p, static_cast<double>(std::fabs(v[i])));
  return p;
}

TEST(KorvoRender, PlaysANoteAtItsPitchAndFallsSilentAfterTheRelease) {
  const std::string out = tempPath("a4.wav");
  HostRun run = runHost({"--chunk-in", initChunk(), "--note", "69:100:1", "--seconds", "3", "--rate", "48000",
                         "--block", "300", "--out", out});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  Wav wav;
  ASSERT_TRUE(readWav(out, wav));
  std::remove(out.c_str());
  ASSERT_EQ(wav.rate, 48000);
  ASSERT_EQ(wav.samples.size(), 2u * 144000u);
  const auto mono = leftChannel(wav);
  EXPECT_GT(peak(mono, 0, 48000), 0.01) << "the note sounds";
  EXPECT_LT(peak(mono, 0, 48000), 1.0);
  const double hz = estimatePitch(mono, 12000, 8192, 48000);
  EXPECT_NEAR(1200.0 * std::log2(hz / 440.0), 0.0, 5.0) << hz << " Hz";
  EXPECT_EQ(peak(mono, 120000, mono.size()), 0.0) << "silent well after the release";
}

TEST(KorvoRender, ProcessAndProcessReplacingGiveTheSameSound) {
  const std::string a = tempPath("replace.wav"), b = tempPath("accumulate.wav");
  ASSERT_EQ(runHost({"--note", "60:90:0.3", "--seconds", "0.6", "--out", a}).exitCode, 0);
  ASSERT_EQ(runHost({"--note", "60:90:0.3", "--seconds", "0.6", "--out", b, "--accumulate"}).exitCode, 0);
  Wav wa, wb;
  ASSERT_TRUE(readWav(a, wa));
  ASSERT_TRUE(readWav(b, wb));
  std::remove(a.c_str());
  std::remove(b.c_str());
  EXPECT_EQ(wa.samples, wb.samples);
}

TEST(KorvoRender, TheChunkCarriesTheSound) {
  const std::string chunk = tempPath("chunk.bin");
  HostRun save = runHost({"--chunk-in", initChunk(), "--chunk-out", chunk});
  ASSERT_EQ(save.exitCode, 0) << save.err;
  EXPECT_EQ(save.value("chunk.saved"), "544");
  std::vector<char> bytes;
  {
    std::ifstream in(chunk, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ASSERT_EQ(bytes.size(), 544u);
  // Transpose oscillator 1 (word 0, OCT) one octave up and silence oscillators 2 and 3 (ENABLE).
  auto setWord = [&](int index, int value) {
    bytes[static_cast<std::size_t>(2 * index)] = static_cast<char>(value & 0xFF);
    bytes[static_cast<std::size_t>(2 * index + 1)] = static_cast<char>((value >> 8) & 0xFF);
  };
  const int octave = static_cast<unsigned char>(bytes[0]) | (static_cast<signed char>(bytes[1]) << 8);
  setWord(0, octave + 1);
  setWord(33, 0);
  setWord(41, 0);
  std::ofstream(chunk, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

  const std::string plain = tempPath("plain.wav"), changed = tempPath("changed.wav");
  ASSERT_EQ(runHost({"--chunk-in", initChunk(), "--note", "57:100:1", "--seconds", "1", "--out", plain}).exitCode, 0);
  HostRun run = runHost({"--chunk-in", chunk, "--note", "57:100:1", "--seconds", "1", "--out", changed});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.value("chunk.setAnswer"), "0");
  Wav wp, wc;
  ASSERT_TRUE(readWav(plain, wp));
  ASSERT_TRUE(readWav(changed, wc));
  for (const auto& f : {chunk, plain, changed}) std::remove(f.c_str());
  EXPECT_NE(wp.samples, wc.samples);
  const double hz = estimatePitch(leftChannel(wc), 8000, 8192, 44100);
  EXPECT_NEAR(1200.0 * std::log2(hz / 440.0), 0.0, 5.0) << hz << " Hz: note 57 an octave up is A4";
}

std::vector<float> renderEvents(const std::string& name, const std::string& events, std::vector<std::string> extra) {
  const std::string list = tempPath(name + ".txt"), out = tempPath(name + ".wav");
  std::ofstream(list) << events;
  std::vector<std::string> args = {"--events", list, "--out", out};
  args.insert(args.end(), extra.begin(), extra.end());
  HostRun run = runHost(args);
  std::remove(list.c_str());
  Wav wav;
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(readWav(out, wav)) << name;
  std::remove(out.c_str());
  return wav.samples;
}

TEST(KorvoRender, EventsAreSampleAccurateAcrossBlockBoundaries) {
  const auto atZero = renderEvents("at0", "0 90 45 64\n3000 80 45 00\n", {"--seconds", "0.5", "--block", "64"});
  for (const char* block : {"64", "100", "512"}) {
    const auto at100 = renderEvents("at100", "100 90 45 64\n3100 80 45 00\n", {"--seconds", "0.5", "--block", block});
    ASSERT_EQ(at100.size(), atZero.size());
    for (std::size_t i = 0; i < 200; ++i) ASSERT_EQ(at100[i], 0.0f) << "block " << block << " sample " << i / 2;
    for (std::size_t i = 200; i < at100.size(); ++i)
      ASSERT_EQ(at100[i], atZero[i - 200]) << "block " << block << " sample " << i / 2;
  }
}

TEST(KorvoRender, AnyBlockSizeGivesTheSameAudio) {
  const std::string song =
      "0 90 3C 64\n0 90 40 50\n4410 E0 00 60\n5000 B0 01 7F\n8000 90 43 70\n"
      "12000 80 3C 00\n12000 80 40 00\n15000 80 43 00\n";
  const auto reference = renderEvents("big", song, {"--seconds", "0.6", "--block", "4096"});
  for (const char* block : {"1", "7", "64", "333", "1024"}) {
    const auto other = renderEvents(std::string("block") + block, song, {"--seconds", "0.6", "--block", block});
    EXPECT_EQ(other, reference) << "block size " << block;
  }
}

TEST(KorvoRender, AChunkMovedToANewInstanceRendersIdentically) {
  // Instance 1 gets a changed sound through its chunk and hands its chunk on; instance 2 gets that.
  const std::string first = tempPath("first.bin"), second = tempPath("second.bin");
  ASSERT_EQ(runHost({"--chunk-out", first}).exitCode, 0);
  std::vector<char> bytes;
  {
    std::ifstream in(first, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ASSERT_EQ(bytes.size(), 544u);
  bytes[2 * 33] = 0;  // oscillator 2 off
  bytes[2 * 33 + 1] = 0;
  std::ofstream(first, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  const std::string a = tempPath("inst1.wav"), b = tempPath("inst2.wav");
  HostRun one =
      runHost({"--chunk-in", first, "--chunk-out", second, "--note", "50:90:0.3", "--seconds", "0.5", "--out", a});
  ASSERT_EQ(one.exitCode, 0) << one.err;
  HostRun two = runHost({"--chunk-in", second, "--note", "50:90:0.3", "--seconds", "0.5", "--out", b});
  ASSERT_EQ(two.exitCode, 0) << two.err;
  Wav wa, wb;
  ASSERT_TRUE(readWav(a, wa));
  ASSERT_TRUE(readWav(b, wb));
  EXPECT_EQ(wa.samples, wb.samples);
  for (const auto& f : {first, second, a, b}) std::remove(f.c_str());
}

// A plug-in copied alone into a host's folder (no product folder beside it) plays the factory
// sounds from the first note, from the wave ROM and bank it carries. Under Wine the prefix holds a
// wave ROM at c:\ (the default data folder) but no backup, so there the bank alone comes built in.
TEST(KorvoAlone, PlaysTheFactorySoundsWithoutItsDataFolder) {
  namespace fs = std::filesystem;
  const fs::path folder = tempPath("alone");
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path source = testEnv("KORVO_TEST_PLUGIN");
  const fs::path plugin = folder / source.filename();
  fs::copy_file(source, plugin);
  const std::string out = (folder / "note.wav").string(), chunk = (folder / "chunk.bin").string();
  HostRun run =
      runHost({"--note", "60:100:0.5", "--seconds", "1", "--out", out, "--chunk-out", chunk}, plugin.string());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  Wav wav;
  ASSERT_TRUE(readWav(out, wav));
  EXPECT_GT(peak(leftChannel(wav), 0, wav.samples.size() / 2), 0.01) << "the note sounds";

  // The edit buffer is program 0 of the factory library.
  std::ifstream lib(testEnv("KORVO_TEST_FACTORY"), std::ios::binary);
  korvo::ProgramRecord first{};
  lib.seekg(korvo::kBankHeaderSize);
  ASSERT_TRUE(lib.read(reinterpret_cast<char*>(&first), sizeof first)) << testEnv("KORVO_TEST_FACTORY");
  korvo::ProgramRecord edit{};
  ASSERT_TRUE(std::ifstream(chunk, std::ios::binary).read(reinterpret_cast<char*>(&edit), sizeof edit));
  EXPECT_NE(korvo::recordName(first), "INIT");
  EXPECT_EQ(korvo::recordName(edit), korvo::recordName(first));
  EXPECT_EQ(std::memcmp(&edit, &first, sizeof edit), 0);
  fs::remove_all(folder);
}

TEST(VstHost, ReportsAMissingFile) {
  HostRun run = runHost({"--info"}, "no-such-plugin.so");
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_NE(run.err.find("does not exist"), std::string::npos) << run.err;
}

TEST(VstHost, ReportsAFileThatIsNoLibrary) {
  const std::string bogus = tempPath("bogus.so");
  std::ofstream(bogus) << "this is text, not a plug-in";
  HostRun run = runHost({"--info"}, bogus);
  std::remove(bogus.c_str());
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_NE(run.err.find("cannot load"), std::string::npos) << run.err;
}

TEST(VstHost, ReportsMissingEntryPointAndNullPlugin) {
  if (underWine()) GTEST_SKIP() << "the fixture libraries are Linux builds";
  HostRun none = runHost({"--info"}, testEnv("KORVO_TEST_NOENTRY"));
  EXPECT_EQ(none.exitCode, 3);
  EXPECT_NE(none.err.find("no VST 2 entry point"), std::string::npos) << none.err;
  HostRun null = runHost({"--info"}, testEnv("KORVO_TEST_NULLENTRY"));
  EXPECT_EQ(null.exitCode, 3);
  EXPECT_NE(null.err.find("returned no plug-in"), std::string::npos) << null.err;
}

TEST(VstHost, RejectsBadArguments) {
  EXPECT_EQ(runHost({"--rate", "nonsense"}).exitCode, 2);
  EXPECT_EQ(runHost({"--block", "0"}).exitCode, 2);
  EXPECT_EQ(runHost({"--bits", "24"}).exitCode, 2);
  EXPECT_EQ(runHost({"--note", "200"}).exitCode, 2);
  HostRun badEvents = runHost({"--events", "/nonexistent/events.txt"});
  EXPECT_EQ(badEvents.exitCode, 2);
  EXPECT_NE(badEvents.err.find("cannot read"), std::string::npos) << badEvents.err;
}

TEST(VstHost, PlaysAThirdPartySynth) {
  if (underWine()) GTEST_SKIP() << "the third-party plug-in is a Linux build";
  const std::string plugin = testEnv("KORVO_TEST_THIRDPARTY");
  ASSERT_TRUE(std::filesystem::exists(plugin)) << plugin << " is missing: run scripts/install-deps.sh";
  const std::string events = tempPath("events.txt");
  std::ofstream(events) << "# a short C major arpeggio\n0 90 3C 64\n0.25s 90 40 64\n0.5s 90 43 64\n"
                           "1s 80 3C 00\n1s 80 40 00\n1s 80 43 00\n";
  const std::string out = tempPath("thirdparty.wav");
  HostRun run = runHost({"--events", events, "--out", out, "--timing"}, plugin);
  std::remove(events.c_str());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_GT(std::stod(run.value("render.peak")), 0.01);
  EXPECT_GT(std::stod(run.value("timing.realtimeFactor")), 0.0);
  Wav wav;
  ASSERT_TRUE(readWav(out, wav));
  std::remove(out.c_str());
  EXPECT_EQ(wav.samples.size(), 2u * static_cast<size_t>(3 * 44100));
}

}  // namespace
