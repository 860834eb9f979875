#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "progPack.h"
#include "soundMan.h"
#include "sysexFrame.h"

namespace korvo {
namespace {

ProgramRecord named(const char* name, int wave) {
  ProgramRecord r = makeInitRecord();
  setRecordName(r, name);
  r.words[3] = static_cast<std::int16_t>(wave);
  return r;
}

TEST(ProgMan, Slots) {
  Ckv_progMan pm;
  EXPECT_EQ(Ckv_progMan::SlotOf(0), 1);
  EXPECT_EQ(Ckv_progMan::SlotOf(127), 128);
  EXPECT_EQ(Ckv_progMan::SlotOf(128), -1);
  EXPECT_EQ(Ckv_progMan::SlotOf(-1), -1);
  EXPECT_EQ(pm.RecordAt(-1), pm.EditRecord());
  EXPECT_EQ(pm.RecordAt(0), pm.EditRecord());
  EXPECT_NE(pm.RecordAt(128), nullptr);
  EXPECT_EQ(pm.RecordAt(129), nullptr);
  for (int s = 0; s < kSlotCount; ++s) EXPECT_TRUE(recordsEqual(*pm.RecordAt(s), makeInitRecord())) << s;
  EXPECT_EQ(pm.Editor().Record(), pm.EditRecord());
  pm.CopySlot(129, 0);  // nothing happens with no source
  pm.CopySlot(1, 200);
}

TEST(ProgMan, ModifiedFlagRules) {
  Ckv_progMan pm;
  const ProgramRecord a = named("A", 5);
  pm.Editor().ClearModified();
  pm.StoreSlot(3, a);
  EXPECT_FALSE(pm.Editor().Modified());
  pm.Editor().SetModified();
  pm.StoreSlot(0, a);
  EXPECT_FALSE(pm.Editor().Modified()) << "storing into the edit buffer clears the flag";
  pm.InitSlot(5);
  EXPECT_TRUE(pm.Editor().Modified()) << "any InitRecord sets the flag";
  pm.CopySlot(3, 0);
  EXPECT_FALSE(pm.Editor().Modified());
  EXPECT_EQ(recordName(*pm.EditRecord()), "A");
  pm.Editor().SetModified();
  ProgramRecord out{};
  pm.FetchSlot(0, out);
  EXPECT_FALSE(pm.Editor().Modified());
  EXPECT_TRUE(recordsEqual(out, a));
  pm.Editor().SetModified();
  pm.CopySlot(0, 7);
  EXPECT_TRUE(pm.Editor().Modified()) << "copying out of the edit buffer leaves the flag";
  pm.InitAllPrograms();
  EXPECT_EQ(recordName(*pm.EditRecord()), "A") << "Init Library leaves the edit buffer";
  EXPECT_TRUE(recordsEqual(*pm.RecordAt(4), makeInitRecord()));
}

TEST(SoundMan, SelectWriteAndEdit) {
  Ckv_soundMan sm;
  EXPECT_EQ(sm.CurrentProgram(), 0);
  sm.ProgMan().StoreSlot(Ckv_progMan::SlotOf(5), named("FIVE", 7));
  sm.SelectProgram(5);
  EXPECT_FALSE(sm.Modified());
  sm.Editor().SetParam(3, 9);
  EXPECT_TRUE(sm.Modified());
  sm.WriteProgram(9);
  EXPECT_FALSE(sm.Modified());
  EXPECT_EQ(sm.CurrentProgram(), 9);
  EXPECT_EQ(sm.ProgMan().RecordAt(10)->words[3], 9);
  EXPECT_EQ(sm.ProgMan().RecordAt(6)->words[3], 7) << "program 5 keeps its own copy";
  sm.SelectProgram(5);
  sm.WriteProgram(9);
  EXPECT_TRUE(recordsEqual(*sm.ProgMan().RecordAt(6), *sm.ProgMan().RecordAt(10)));
  sm.InitEdit();
  EXPECT_TRUE(sm.Modified());
  EXPECT_EQ(recordName(*sm.EditRecord()), "INIT");
  // Numbers outside 0..127 change nothing, and unsaved edits stay marked.
  for (int n : {-1, 128, 1000}) {
    EXPECT_FALSE(sm.WriteProgram(n));
    EXPECT_FALSE(sm.SelectProgram(n));
    EXPECT_TRUE(sm.Modified());
    EXPECT_EQ(sm.CurrentProgram(), 9);
  }
}

TEST(SoundMan, LoadSaveEdit) {
  Ckv_soundMan sm;
  ProgramRecord r = named("CHUNK", 12);
  std::uint8_t buf[544];
  std::memcpy(buf, &r, sizeof buf);
  buf[512] = 0;  // format word 0
  sm.Editor().SetModified();
  EXPECT_FALSE(sm.LoadEdit(buf));
  EXPECT_FALSE(sm.LoadEdit(nullptr));
  EXPECT_EQ(recordName(*sm.EditRecord()), "INIT");
  EXPECT_TRUE(sm.Modified());
  buf[512] = 1;
  EXPECT_TRUE(sm.LoadEdit(buf));
  EXPECT_FALSE(sm.Modified());
  EXPECT_EQ(sm.EditRecord()->words[3], 12);
  sm.Editor().SetModified();
  std::uint8_t out[544] = {};
  sm.SaveEdit(out);
  EXPECT_FALSE(sm.Modified());
  EXPECT_EQ(std::memcmp(out, buf, 544), 0);
  EXPECT_EQ(Ckv_soundMan::EditRecordSize(), 544);
}

TEST(SoundMan, BankImage) {
  Ckv_soundMan sm;
  for (int n = 0; n < 128; ++n) sm.ProgMan().StoreSlot(Ckv_progMan::SlotOf(n), named("P", n % 75));
  std::vector<std::uint8_t> image(Ckv_soundMan::BankSize(), 0xAA);
  sm.SaveBank(image.data());
  EXPECT_EQ(image.size(), 69652u);
  const std::uint8_t header[20] = {1};
  EXPECT_EQ(std::memcmp(image.data(), header, 20), 0);
  EXPECT_EQ(std::memcmp(image.data() + 20 + 544 * 127, sm.ProgMan().RecordAt(128), 544), 0);

  Ckv_soundMan other;
  other.ProgMan().StoreSlot(0, named("EDIT", 3));
  image[0] = 2;
  EXPECT_FALSE(other.LoadBank(image.data()));
  EXPECT_FALSE(other.LoadBank(nullptr));
  EXPECT_FALSE(other.Modified());
  EXPECT_TRUE(recordsEqual(*other.ProgMan().RecordAt(1), makeInitRecord()));
  image[0] = 1;
  EXPECT_TRUE(other.LoadBank(image.data()));
  EXPECT_TRUE(other.Modified());
  EXPECT_EQ(recordName(*other.EditRecord()), "EDIT") << "the edit buffer keeps its contents";
  for (int s = 1; s <= 128; ++s) EXPECT_TRUE(recordsEqual(*other.ProgMan().RecordAt(s), *sm.ProgMan().RecordAt(s)));
}

struct NoteSink {
  int calls = 0, note = -1, velocity = -1, program = -1;
  const ProgramRecord* sound = nullptr;
  NoteParams params{};
  void OnNote(int n, int v, const NoteParams* p, int prog, const ProgramRecord* s) {
    ++calls;
    note = n;
    velocity = v;
    params = *p;
    program = prog;
    sound = s;
  }
};

TEST(SoundMan, PlayNote) {
  NoteSink sink;
  Ckv_soundMan sm(NoteCallback::Bind<NoteSink, &NoteSink::OnNote>(&sink));
  sm.PlayNote(9, 60, 100);
  EXPECT_EQ(sink.calls, 1);
  EXPECT_EQ(sink.note, 60);
  EXPECT_EQ(sink.velocity, 100);
  EXPECT_EQ(sink.program, 0);
  EXPECT_EQ(sink.sound, sm.EditRecord());
  const NoteParams& got = sink.params;
  const std::int16_t words[7] = {got.transpose, got.fineTune, got.volume,    got.panOffset,
                                 got.tag,       got.lfoPhase, got.startDelay};
  const std::int16_t expect[7] = {0, 0, 63, 0, -1, 0, 0};
  EXPECT_EQ(std::memcmp(words, expect, sizeof expect), 0);
  sm.PlayNote(0, 60, 0);
  EXPECT_EQ(sink.velocity, 0);
  Ckv_soundMan silent;
  silent.PlayNote(0, 60, 100);  // unassigned: nothing happens
}

// Dumps -------------------------------------------------------------------------------------

std::vector<std::uint8_t> singleDump(const ProgramRecord& r, std::uint8_t channel = 0) {
  std::vector<std::uint8_t> m(kSingleMessageSize);
  buildSysExHeader(m.data(), 1, channel);
  packProgram(r, m.data() + 5);
  m.back() = 0xF7;
  return m;
}

TEST(SysEx, HeaderFunctions) {
  std::uint8_t h[5] = {};
  EXPECT_FALSE(Ckv_progMan::BuildSysExHeader(h, 3, 0));
  EXPECT_FALSE(Ckv_progMan::BuildSysExHeader(h, 0, 0));
  EXPECT_TRUE(Ckv_progMan::BuildSysExHeader(h, 2, 5));
  const std::uint8_t expect[5] = {0xF0, 0x0F, 0x02, 0x05, 0x02};
  EXPECT_EQ(std::memcmp(h, expect, 5), 0);
  int command = 0;
  EXPECT_TRUE(Ckv_progMan::CheckSysExHeader(h, 5, command));
  EXPECT_EQ(command, 2);
  h[3] = 0x7F;  // any channel
  EXPECT_TRUE(Ckv_progMan::CheckSysExHeader(h, 5, command));
  h[2] = 0x03;
  EXPECT_FALSE(Ckv_progMan::CheckSysExHeader(h, 5, command));
  EXPECT_FALSE(Ckv_progMan::CheckSysExHeader(h, 2, command));
}

TEST(SysEx, ImportSingleRules) {
  const ProgramRecord src = named("BASS", 8);
  struct Case {
    const char* what;
    int size;
    bool check;
    int mutateAt;
    std::uint8_t value;
    bool ok;
  };
  const Case cases[] = {
      {"channel byte ignored", 210, true, 3, 0x05, true},
      {"no F7 at 209 bytes", 209, true, -1, 0, true},
      {"208 bytes", 208, true, -1, 0, false},
      {"208 bytes unchecked", 208, false, -1, 0, false},
      {"bank command", 210, true, 4, 0x02, false},
      {"bank command unchecked", 210, false, 4, 0x02, true},
      {"wrong maker", 210, true, 1, 0x41, false},
      {"wrong maker unchecked", 210, false, 1, 0x41, true},
      {"nybble above 15", 210, true, 40, 0x10, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> m = singleDump(src);
    if (c.mutateAt >= 0) m[static_cast<std::size_t>(c.mutateAt)] = c.value;
    Ckv_progMan pm;
    pm.Editor().ClearModified();
    EXPECT_EQ(pm.ImportSingle(0, m.data(), c.check, static_cast<std::size_t>(c.size)), c.ok);
    if (c.ok) {
      EXPECT_EQ(std::string(pm.EditRecord()->name, 4), "BASS");
      EXPECT_EQ(pm.EditRecord()->words[3], 8);
      EXPECT_TRUE(pm.Editor().Modified());
    } else {
      EXPECT_TRUE(recordsEqual(*pm.EditRecord(), makeInitRecord())) << "a failed import changes nothing";
      EXPECT_FALSE(pm.Editor().Modified());
    }
  }
  Ckv_progMan pm;
  const auto m = singleDump(src);
  EXPECT_FALSE(pm.ImportSingle(129, m.data(), true, m.size()));
  EXPECT_TRUE(pm.ImportSingle(128, m.data(), true, m.size()));
  EXPECT_FALSE(pm.ImportSingle(0, nullptr, false, 210));
}

std::vector<std::uint8_t> bankDump(int tag) {
  std::vector<std::uint8_t> m(kBankMessageSize);
  buildSysExHeader(m.data(), 2, 0);
  for (int i = 0; i < 40; ++i) packProgram(named("B", (tag + i) % 75), m.data() + 5 + 204 * i);
  m.back() = 0xF7;
  return m;
}

TEST(SysEx, ImportBank) {
  const auto m = bankDump(0);
  Ckv_progMan pm;
  EXPECT_TRUE(pm.ImportBank(88, m.data(), true, m.size()));
  for (int i = 0; i < 40; ++i) EXPECT_EQ(pm.RecordAt(Ckv_progMan::SlotOf(88 + i))->words[3], i % 75);
  EXPECT_TRUE(recordsEqual(*pm.RecordAt(Ckv_progMan::SlotOf(87)), makeInitRecord()));

  // At 100 the entries 0..27 land in 100..127, then the import fails; what was written stays.
  Ckv_progMan late;
  EXPECT_FALSE(late.ImportBank(100, m.data(), true, m.size()));
  EXPECT_EQ(late.RecordAt(Ckv_progMan::SlotOf(127))->words[3], 27);
  EXPECT_EQ(late.RecordAt(Ckv_progMan::SlotOf(100))->words[3], 0);
  EXPECT_TRUE(recordsEqual(*late.EditRecord(), makeInitRecord()));

  Ckv_progMan shortOne;
  EXPECT_FALSE(shortOne.ImportBank(0, m.data(), true, 8164));
  EXPECT_TRUE(shortOne.ImportBank(0, m.data(), true, 8165)) << "the F7 is not needed";
  auto single = singleDump(named("S", 1));
  Ckv_progMan wrongKind;
  EXPECT_FALSE(wrongKind.ImportBank(0, single.data(), true, single.size()));
  EXPECT_TRUE(recordsEqual(*wrongKind.RecordAt(1), makeInitRecord()));
  // A bank read as a single with the check off takes the first program.
  Ckv_progMan asSingle;
  EXPECT_FALSE(asSingle.ImportSingle(0, m.data(), true, m.size()));
  EXPECT_TRUE(asSingle.ImportSingle(0, m.data(), false, m.size()));
  EXPECT_EQ(asSingle.EditRecord()->words[3], 0);
}

TEST(SysEx, Export) {
  Ckv_progMan pm;
  pm.StoreSlot(0, named("LEAD", 16));
  std::vector<std::uint8_t> out{1, 2, 3};
  EXPECT_FALSE(pm.ExportSingle(129, out));
  EXPECT_TRUE(out.empty());
  ASSERT_TRUE(pm.ExportSingle(0, out));
  ASSERT_EQ(out.size(), 210u);
  EXPECT_EQ(out, singleDump(named("LEAD", 16)));

  for (int n = 0; n < 128; ++n) pm.StoreSlot(Ckv_progMan::SlotOf(n), named("X", n % 75));
  EXPECT_FALSE(pm.ExportBank(89, out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(pm.ExportBank(-1, out));
  ASSERT_TRUE(pm.ExportBank(88, out));
  ASSERT_EQ(out.size(), 8166u);
  const std::uint8_t head[5] = {0xF0, 0x0F, 0x02, 0x00, 0x02};
  EXPECT_EQ(std::memcmp(out.data(), head, 5), 0);
  EXPECT_EQ(out.back(), 0xF7);
  std::uint8_t body[204];
  packProgram(*pm.RecordAt(Ckv_progMan::SlotOf(127)), body);
  EXPECT_EQ(std::memcmp(out.data() + 5 + 204 * 39, body, 204), 0);
  // Export then import reproduces every program's hardware fields.
  Ckv_progMan back;
  ASSERT_TRUE(back.ImportBank(0, out.data(), true, out.size()));
  for (int i = 0; i < 40; ++i) EXPECT_EQ(back.RecordAt(1 + i)->words[3], (88 + i) % 75);
}

TEST(SysEx, ScanMessyFile) {
  std::vector<std::uint8_t> file = {0xB0, 0x07, 0x64};  // a controller message before the dump
  const std::uint8_t other[] = {0xF0, 0x41, 0x10, 0x42, 0xF7};
  file.insert(file.end(), other, other + sizeof other);
  const auto a = singleDump(named("ONE", 1), 0x0A);
  const auto b = bankDump(3);
  file.insert(file.end(), a.begin(), a.end());
  file.insert(file.end(), b.begin(), b.end());
  file.push_back(0x00);  // a trailing byte
  auto cut = singleDump(named("CUT", 2));
  cut.pop_back();  // the last message lost its F7
  file.insert(file.end(), cut.begin(), cut.end());

  const auto spans = scanSysEx(file.data(), file.size());
  ASSERT_EQ(spans.size(), 4u);
  EXPECT_FALSE(spans[0].ours);
  EXPECT_TRUE(spans[1].ours);
  EXPECT_EQ(spans[1].command, 1);
  EXPECT_EQ(spans[1].size, 210u);
  EXPECT_EQ(spans[2].command, 2);
  EXPECT_EQ(spans[2].size, 8166u);
  EXPECT_FALSE(spans[3].complete);
  EXPECT_EQ(spans[3].size, 209u);
  const DumpInfo info = classifyDump(file.data() + spans[3].offset, spans[3].size);
  EXPECT_EQ(info.kind, DumpKind::Single);
  EXPECT_TRUE(info.bodyComplete);
  EXPECT_TRUE(info.nybblesValid);
  EXPECT_EQ(classifyDump(other, sizeof other).kind, DumpKind::None);
  EXPECT_EQ(findDump(file.data(), file.size(), DumpKind::Single), static_cast<long>(spans[1].offset));
  EXPECT_EQ(findDump(file.data(), file.size(), DumpKind::Bank), static_cast<long>(spans[2].offset));
  EXPECT_EQ(findDump(other, sizeof other, DumpKind::Single), -1);
  // The editor's import then reads the dump where it starts.
  Ckv_progMan pm;
  const long at = findDump(file.data(), file.size(), DumpKind::Single);
  EXPECT_TRUE(pm.ImportSingle(0, file.data() + at, true, file.size() - static_cast<std::size_t>(at)));
  EXPECT_EQ(std::string(pm.EditRecord()->name, 3), "ONE");
}

}  // namespace
}  // namespace korvo
