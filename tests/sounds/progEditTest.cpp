#include <gtest/gtest.h>

#include <cstring>

#include "progEdit.h"
#include "progFormat.h"

namespace korvo {
namespace {

struct Edited {
  ProgramRecord rec = makeInitRecord();
  Ckv_progEdit ed;
  Edited() { ed.Attach(&rec); }
};

TEST(ProgEdit, GetSetBounds) {
  Edited e;
  EXPECT_EQ(e.ed.ParamCount(), 256);
  EXPECT_EQ(e.ed.GetParam(4), -1);  // sign-extended
  EXPECT_EQ(e.ed.GetParam(256), 0);
  EXPECT_EQ(e.ed.GetParam(-1), 0);
  e.ed.SetParam(256, 5);
  e.ed.SetParam(-1, 5);
  EXPECT_FALSE(e.ed.Modified());
  EXPECT_TRUE(recordsEqual(e.rec, makeInitRecord()));
  e.ed.SetParam(215, 4);  // same value
  EXPECT_FALSE(e.ed.Modified());
  e.ed.SetParam(215, 12);
  EXPECT_TRUE(e.ed.Modified());
  EXPECT_EQ(e.rec.words[215], 12);
  e.ed.SetParam(0, 0x12345);  // low 16 bits, no range check
  EXPECT_EQ(e.rec.words[0], 0x2345);
  e.ed.SetParam(0, -32768);
  EXPECT_EQ(e.ed.GetParam(0), -32768);
}

TEST(ProgEdit, NameAndFlags) {
  Edited e;
  e.ed.SetName("ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(e.ed.GetName(), "ABCDEFGHIJKLMNO");
  EXPECT_TRUE(e.ed.Modified());
  ProgramRecord out{};
  e.ed.SaveTo(&out);
  EXPECT_FALSE(e.ed.Modified()) << "SaveTo clears the flag though nothing changed";
  EXPECT_TRUE(recordsEqual(out, e.rec));
  e.ed.InitCurrent();
  EXPECT_TRUE(e.ed.Modified());
  EXPECT_TRUE(recordsEqual(e.rec, makeInitRecord()));
  e.ed.LoadFrom(&out);
  EXPECT_FALSE(e.ed.Modified());
  EXPECT_EQ(e.ed.GetName(), "ABCDEFGHIJKLMNO");
  e.ed.LoadFrom(nullptr);  // no source: initialise
  EXPECT_TRUE(e.ed.Modified());
  EXPECT_EQ(e.ed.GetName(), "INIT");
  EXPECT_EQ(e.ed.RecordSize(true), 544);
  EXPECT_EQ(e.ed.RecordSize(false), 0);
}

TEST(ProgEdit, HostileNameLength) {
  Edited e;
  e.rec.nameLength = 200;  // as a damaged file may hold it
  EXPECT_EQ(e.ed.GetName().size(), 15u);
  Ckv_progEdit detached;
  EXPECT_EQ(detached.GetName(), "");
  detached.SetName("X");
  EXPECT_FALSE(detached.Modified());
  EXPECT_EQ(detached.GetParam(3), 0);
}

TEST(ProgEdit, InitRecordOfAnotherBlockSetsFlag) {
  Edited e;
  ProgramRecord other{};
  std::memset(&other, 0x55, sizeof other);
  e.ed.InitRecord(&other);
  EXPECT_TRUE(e.ed.Modified());
  EXPECT_TRUE(recordsEqual(other, makeInitRecord()));
}

TEST(ProgEdit, UnpackReinitialises) {
  Edited e;
  e.rec.words[150] = 33;  // a matrix word the hardware does not carry
  std::uint8_t body[204];
  e.ed.PackProgram(&e.rec, body);
  e.ed.ClearModified();
  e.ed.UnpackProgram(&e.rec, body);
  EXPECT_TRUE(e.ed.Modified());
  EXPECT_EQ(e.rec.words[150], -1);
  EXPECT_EQ(Ckv_progEdit::PackedSize(), 204);
}

TEST(Formatters, Texts) {
  struct T {
    std::string (*fn)(int);
    int value;
    const char* text;
  };
  const T rows[] = {
      {FormatWaveName, 0, "   SAW"},     {FormatWaveName, 25, "SQR  2"},   {FormatWaveName, 32, "SAW  2"},
      {FormatWaveName, 74, "DRUMS5"},    {FormatWaveName, 75, "WAVXXX"},   {FormatWaveName, -1, "*OFF*"},
      {FormatModSource, -1, " *OFF*"},   {FormatModSource, 145, " *OFF*"}, {FormatModSource, -20, " *OFF*"},
      {FormatModSource, 0, "  LFO1"},    {FormatModSource, 144, "CHPRES"}, {FormatModSource, 17, " WHEEL"},
      {FormatLfoReset, 0, "OFF"},        {FormatLfoReset, 1, "00"},        {FormatLfoReset, 64, "63"},
      {FormatLfoReset, -3, "OFF"},       {FormatLfoWave, 0, "TRI"},        {FormatLfoWave, 3, "NSE"},
      {FormatLfoWave, 4, "?"},           {FormatLfoWave, -1, "?"},         {FormatVelocityLevel, 5, "05L"},
      {FormatVelocityLevel, 127, "63X"}, {FormatVelocityLevel, 64, "00X"}, {FormatVelocityLevel, -4, "00L"},
      {FormatVelocityLevel, 500, "63X"}, {FormatRelease, 64, "00R"},       {FormatRelease, 12, "12 "},
      {FormatRelease, 127, "63R"},       {FormatBendMode, 0, "ALL"},       {FormatBendMode, 6, "NEWH2"},
      {FormatBendMode, 7, "?"},          {FormatBendMode, -1, "?"},        {FormatSaturation, -1, "OFF"},
      {FormatSaturation, 0, "ORI"},      {FormatSaturation, 15, "+15"},    {FormatSaturation, 3, "+03"},
  };
  for (const T& t : rows) EXPECT_EQ(t.fn(t.value), t.text) << t.value;
  for (const std::string& n : waveNames()) EXPECT_EQ(n.size(), 6u);
  EXPECT_EQ(ProgramListLine(7, "BRASS"), "007   BRASS");
  EXPECT_EQ(ProgramListLine(127, std::string("IN\x01T\0\0", 6)), "127   IN?T");
  EXPECT_EQ(ProgramListLine(3, std::string("\0A\x7F\xC1", 4)), "003   ?A??");
}

}  // namespace
}  // namespace korvo
