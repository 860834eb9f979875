#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/wait.h>

#include "patchIo.h"
#include "progBank.h"
#include "progPack.h"
#include "sysexFrame.h"

namespace korvo::patch {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class PatchTool : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("korvo-patch-" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  static void write(const std::string& p, const Bytes& b) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  }
  static Bytes read(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  // Converts IN to OUT the way the command does.
  static bool convert(const std::string& in, const std::string& out, Selection sel, std::string& error,
                      WriteResult* result = nullptr) {
    SoundFile file;
    std::vector<Sound> sounds;
    WriteResult r;
    if (!loadSoundFile(in, file, error) || !selectSounds(file, sel, sounds, error) ||
        !writeSoundFile(out, sounds, 0, r, error))
      return false;
    if (result) *result = r;
    return true;
  }
  fs::path dir_;
};

// A record with odd but hardware-carried contents: a name with control bytes, 0x7F and high
// bytes, values outside the pages' ranges.
ProgramRecord oddRecord(std::mt19937& rng, int i) {
  std::uniform_int_distribution<int> any(-64, 300);
  ProgramRecord r = makeInitRecord();
  for (int w = 0; w < 220; ++w) r.words[w] = static_cast<std::int16_t>(any(rng));
  const char name[6] = {static_cast<char>('A' + i % 26), '\x01', '\x7F', static_cast<char>(0x80 + i), ' ', '\0'};
  setRecordName(r, std::string_view(name, 6));
  return r;
}

Bytes bankDump(std::mt19937& rng, std::uint8_t channel) {
  Bytes m(kBankMessageSize);
  buildSysExHeader(m.data(), kCommandBank, channel);
  // Each program is packed, read back and packed again: a record can hold a filter amount above
  // 31, which packs as the clamped odd value 63 and reads back as 31; a dump as the instrument
  // writes it never holds that value.
  for (int i = 0; i < kBankPrograms; ++i) {
    std::uint8_t* body = m.data() + 5 + kPackedSize * i;
    packProgram(oddRecord(rng, i), body);
    ProgramRecord r = makeInitRecord();
    unpackProgramFields(r, body);
    packProgram(r, body);
  }
  m.back() = kSysExEnd;
  return m;
}

TEST_F(PatchTool, BankSurvivesLibraryAndText) {
  std::mt19937 rng(77);
  const Bytes bank = bankDump(rng, 0);
  write(path("bank.syx"), bank);
  std::string error;
  WriteResult res;
  ASSERT_TRUE(convert(path("bank.syx"), path("lib.kvl"), {}, error, &res)) << error;
  EXPECT_EQ(res.changed.size(), 40u);
  ASSERT_TRUE(convert(path("lib.kvl"), path("lib.txt"), {}, error)) << error;
  ASSERT_TRUE(convert(path("lib.txt"), path("lib2.kvl"), {}, error)) << error;
  EXPECT_EQ(read(path("lib.kvl")), read(path("lib2.kvl"))) << "text round-trips the library exactly";
  Selection first0;
  first0.first = 0;
  ASSERT_TRUE(convert(path("lib.txt"), path("back.syx"), first0, error)) << error;
  EXPECT_EQ(read(path("back.syx")), bank);
  // A single out of the library and back.
  Selection p7;
  p7.program = 7;
  ASSERT_TRUE(convert(path("lib.kvl"), path("one.syx"), p7, error)) << error;
  EXPECT_EQ(read(path("one.syx")).size(), 210u);
  Bytes expect(bank.begin() + 5 + 7 * kPackedSize, bank.begin() + 5 + 8 * kPackedSize);
  const Bytes one = read(path("one.syx"));
  EXPECT_EQ(Bytes(one.begin() + 5, one.end() - 1), expect);
}

TEST_F(PatchTool, MessyDumpFile) {
  std::mt19937 rng(5);
  Bytes file = {0xC0, 0x05};                                        // a program change before the dump
  const Bytes pre(std::begin(kPreMessage), std::end(kPreMessage));  // our own non-dump message
  file.insert(file.end(), pre.begin(), pre.end());
  const Bytes other = {0xF0, 0x43, 0x00, 0x01, 0xF7};
  file.insert(file.end(), other.begin(), other.end());
  const Bytes bank = bankDump(rng, 0x0B);
  file.insert(file.end(), bank.begin(), bank.end());
  Bytes single(kSingleMessageSize);
  buildSysExHeader(single.data(), kCommandSingle, 3);
  packProgram(oddRecord(rng, 1), single.data() + 5);
  single.pop_back();  // saved without its F7
  file.insert(file.end(), single.begin(), single.end());
  write(path("messy.syx"), file);

  SoundFile sf;
  std::string error;
  ASSERT_TRUE(loadSoundFile(path("messy.syx"), sf, error)) << error;
  EXPECT_EQ(sf.sounds.size(), 41u);
  ASSERT_EQ(sf.notes.size(), 4u);
  EXPECT_NE(sf.notes[0].find("command 0xE, not a dump"), std::string::npos) << sf.notes[0];
  EXPECT_NE(sf.notes[1].find("not a Pemmet/Halvet message"), std::string::npos) << sf.notes[1];
  EXPECT_NE(sf.notes[2].find("ends without F7"), std::string::npos) << sf.notes[2];
  EXPECT_NE(sf.notes[3].find("2 bytes outside"), std::string::npos) << sf.notes[3];
  std::vector<Sound> sel;
  EXPECT_TRUE(selectSounds(sf, {}, sel, error));
  EXPECT_EQ(sel.back().number, 40);
}

TEST_F(PatchTool, BadFilesExplainAndWriteNothing) {
  std::mt19937 rng(9);
  Bytes bank = bankDump(rng, 0);
  Bytes cut(bank.begin(), bank.begin() + 5000);
  Bytes badNybble = bank;
  badNybble[5 + 300] = 0x1F;
  Bytes bank2(kBankSize, 0);
  bank2[0] = 2;
  // One byte too many: a library still (its first 69652 bytes), but a backup the plug-in ignores.
  Bytes longBank(kBankSize + 1, 0);
  longBank[0] = 1;
  write(path("long.kvl"), longBank);
  SoundFile longLib;
  std::string longError;
  EXPECT_TRUE(loadSoundFile(path("long.kvl"), longLib, longError)) << longError;
  struct Case {
    const char* name;
    Bytes bytes;
    const char* error;
  };
  const Case cases[] = {
      {"cut.syx", cut, "bank dump is cut short: 5000 bytes, 8165 needed"},
      {"nyb.syx", badNybble, "data byte at offset 0x131 is 0x1F, above 15"},
      {"none.syx", Bytes{1, 2, 3}, "no SysEx message"},
      {"other.syx", Bytes{0xF0, 0x43, 0x01, 0xF7}, "no Pemmet/Halvet single or bank dump"},
      {"short.kvl", Bytes(1000, 1), "the file is shorter than a bank"},
      {"v2.kvl", bank2, "the bank's version word is not 1"},
      {"long.dat", longBank, "not exactly 69652 bytes long (it has 69653); the plug-in ignores"},
      {"short.dat", Bytes(kBankSize - 1, 1), "not exactly 69652 bytes long (it has 69651)"},
      {"bad.txt", Bytes{'S', 'O', 'U', 'N', 'D', '\n', 'X', '=', '1', '\n'}, "line 2: unknown parameter"},
      {"empty.syx", Bytes{}, "the file is empty"},
      {"what.bin", Bytes{0, 1, 2, 3}, "not a SysEx dump, a library or a sound text"},
  };
  for (const Case& c : cases) {
    write(path(c.name), c.bytes);
    std::string error;
    EXPECT_FALSE(convert(path(c.name), path("out.kvl"), {}, error)) << c.name;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
    EXPECT_FALSE(fs::exists(path("out.kvl"))) << c.name;
  }
  std::string error;
  EXPECT_FALSE(convert(path("missing.syx"), path("out.kvl"), {}, error));
  EXPECT_EQ(error, "cannot open the file");
}

TEST_F(PatchTool, LibraryMergeReportsChangedPrograms) {
  std::mt19937 rng(3);
  write(path("bank.syx"), bankDump(rng, 0));
  std::string error;
  WriteResult res;
  Selection at;
  at.first = 50;
  ASSERT_TRUE(convert(path("bank.syx"), path("lib.kvl"), at, error, &res)) << error;
  EXPECT_EQ(numberRanges(res.changed), "050..089");
  // Again at 60 into the same library: only 50..59 keep their sounds from the first import.
  at.first = 60;
  ASSERT_TRUE(convert(path("bank.syx"), path("lib.kvl"), at, error, &res)) << error;
  EXPECT_NE(res.summary.find("library updated"), std::string::npos);
  EXPECT_EQ(res.changed.front(), 60);
  EXPECT_LE(res.changed.back(), 99);
  // Past 127: refused before anything is written.
  const Bytes before = read(path("lib.kvl"));
  at.first = 100;
  EXPECT_FALSE(convert(path("bank.syx"), path("lib.kvl"), at, error));
  EXPECT_EQ(error, "40 sounds from program 100 run past program 127");
  EXPECT_EQ(read(path("lib.kvl")), before);
  // An existing file that is not a library is left alone.
  write(path("notlib.kvl"), Bytes{1, 2, 3});
  at.first = 0;
  EXPECT_FALSE(convert(path("bank.syx"), path("notlib.kvl"), at, error));
  EXPECT_EQ(read(path("notlib.kvl")), (Bytes{1, 2, 3}));
  // Nor is a backup file the plug-in would ignore, though it would pass as a library.
  Bytes longBackup(kBankSize + 4, 0);
  longBackup[0] = 1;
  write(path("old.dat"), longBackup);
  EXPECT_FALSE(convert(path("bank.syx"), path("old.dat"), at, error));
  EXPECT_NE(error.find("not a backup file"), std::string::npos) << error;
  EXPECT_EQ(read(path("old.dat")), longBackup);
  // Nor a library with bytes after its bank: written back, it would lose them.
  write(path("long.kvl"), longBackup);
  EXPECT_FALSE(convert(path("bank.syx"), path("long.kvl"), at, error));
  EXPECT_NE(error.find("not a library"), std::string::npos) << error;
  EXPECT_EQ(read(path("long.kvl")), longBackup);
}

// A dump carries what the hardware has room for; the rest is named, with the change.
TEST_F(PatchTool, FieldsADumpDoesNotCarry) {
  std::mt19937 rng(5);
  write(path("bank.syx"), bankDump(rng, 0));
  SoundFile file;
  std::string error;
  ASSERT_TRUE(loadSoundFile(path("bank.syx"), file, error)) << error;
  EXPECT_EQ(fieldsNotCarried(file.sounds), "") << "sounds read from a dump go back unchanged";
  std::vector<Sound> sounds(2, file.sounds[0]);
  sounds[0].record.words[kParamWordCount - 1] = 7;  // a reserved word: no room in the dump
  sounds[1].record.words[kParamWordCount - 1] = 9;
  const ProgramRecord init = makeInitRecord();
  EXPECT_EQ(fieldsNotCarried(sounds), "WORD." + std::to_string(kParamWordCount - 1) + " (2 sounds; 7 becomes " +
                                          std::to_string(init.words[kParamWordCount - 1]) + ")");
}

std::string runPatch(const std::string& args, int* code = nullptr) {
  std::string out;
  if (FILE* p = popen((std::string(KORVO_PATCH_EXE) + " " + args + " 2>&1").c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int status = pclose(p);
    if (code) *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  return out;
}

// check reads a file as list and convert do, and says which programs they would make of it.
TEST_F(PatchTool, CheckAgreesWithListAndConvert) {
  std::mt19937 rng(7);
  Bytes four;
  for (int i = 0; i < 4; ++i) {
    const Bytes b = bankDump(rng, 0);
    four.insert(four.end(), b.begin(), b.end());
  }
  write(path("multi.syx"), four);
  write(path("bank.syx"), bankDump(rng, 0));
  int code = -1;
  std::string out = runPatch("check " + path("multi.syx"), &code);
  EXPECT_EQ(code, 1) << out;
  EXPECT_NE(out.find("160 sounds from program 000 run past program 127"), std::string::npos) << out;
  out = runPatch("check " + path("bank.syx") + " --first 10", &code);
  EXPECT_EQ(code, 0) << out;
  EXPECT_NE(out.find("ok: SysEx dump with 40 sounds, read as programs 010..049"), std::string::npos) << out;
  // A library's sounds to a dump: the fields it drops are named once for the run.
  std::string error;
  ASSERT_TRUE(convert(path("bank.syx"), path("lib.kvl"), {}, error)) << error;
  out = runPatch("convert " + path("lib.kvl") + " " + path("out.syx") + " --first 40", &code);
  EXPECT_EQ(code, 0) << out;
  const std::size_t note = out.find("does not carry these fields");
  ASSERT_NE(note, std::string::npos) << out;
  EXPECT_EQ(out.find("does not carry", note + 1), std::string::npos) << out;
}

TEST_F(PatchTool, Selection) {
  const std::string text = "SOUND 005\nNAME = \"A\"\nEND\nSOUND\nNAME = \"B\"\nEND\nSOUND 005\nEND\n";
  write(path("dup.txt"), Bytes(text.begin(), text.end()));
  std::string error;
  EXPECT_FALSE(convert(path("dup.txt"), path("o.kvl"), {}, error));
  EXPECT_NE(error.find("two sounds for program 005"), std::string::npos) << error;
  const std::string two = "SOUND 005\nNAME = \"A\"\nEND\nSOUND\nNAME = \"B\"\nEND\n";
  write(path("two.txt"), Bytes(two.begin(), two.end()));
  WriteResult res;
  ASSERT_TRUE(convert(path("two.txt"), path("o.kvl"), {}, error, &res)) << error;
  EXPECT_EQ(numberRanges(res.changed), "005..006");
  EXPECT_FALSE(convert(path("two.txt"), path("o.syx"), {}, error));
  EXPECT_NE(error.find("exactly 40 sounds"), std::string::npos);
  Selection p6;
  p6.program = 6;
  ASSERT_TRUE(convert(path("two.txt"), path("o.syx"), p6, error)) << error;
  EXPECT_EQ(read(path("o.syx")).size(), 210u);
  Selection f89;
  f89.first = 89;
  EXPECT_FALSE(convert(path("o.kvl"), path("b.syx"), f89, error));
  EXPECT_NE(error.find("Not enough sounds (40 needed)"), std::string::npos);
  EXPECT_FALSE(convert(path("two.txt"), path("o.wav"), {}, error));
  EXPECT_NE(error.find("use .syx, .kvl or .txt"), std::string::npos);
  EXPECT_EQ(numberRanges({}), "none");
  EXPECT_EQ(numberRanges({1, 2, 3, 7, 9, 10}), "001..003, 007, 009..010");
}

}  // namespace
}  // namespace korvo::patch
