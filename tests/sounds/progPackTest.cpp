#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "progMan.h"
#include "progPack.h"
#include "progRecord.h"

namespace korvo {
namespace {

using Bytes = std::array<std::uint8_t, kPackedProgramBytes>;

// Program bytes -> message body the way the instrument sends them: low nybble first.
std::vector<std::uint8_t> toBody(const Bytes& p) {
  std::vector<std::uint8_t> body(kPackedSize);
  for (std::size_t k = 0; k < kPackedProgramBytes; ++k) {
    body[2 * k] = p[k] & 15;
    body[2 * k + 1] = p[k] >> 4;
  }
  return body;
}

Bytes packed(const ProgramRecord& r) {
  std::vector<std::uint8_t> body(kPackedSize, 0xEE);
  packProgram(r, body.data());
  Bytes p{};
  for (std::size_t k = 0; k < kPackedProgramBytes; ++k) {
    EXPECT_LE(body[2 * k], 15);
    EXPECT_LE(body[2 * k + 1], 15);
    p[k] = static_cast<std::uint8_t>(body[2 * k] | (body[2 * k + 1] << 4));
  }
  return p;
}

ProgramRecord unpacked(const Bytes& p) {
  ProgramRecord r = makeInitRecord();
  unpackProgramFields(r, toBody(p).data());
  return r;
}

// The packed form of a fresh record, written out by hand.
Bytes initBytes() {
  Bytes p{};
  const std::uint8_t name[6] = {'I', 'N', 'I', 'T', 0, 0};
  std::memcpy(p.data(), name, 6);
  for (std::size_t e = 0; e < 4; ++e) p[6 + 10 * e] = p[7 + 10 * e] = p[8 + 10 * e] = 0x7E;  // 63 * 2
  for (std::size_t l = 0; l < 3; ++l) {
    p[46 + 4 * l] = 0x18;  // FREQ 24, WAVE 0
    p[47 + 4 * l] = 0xC0;  // L1 0, source code 15 bits 3..2
    p[48 + 4 * l] = 0xFF;  // L2 63, source code bits 1..0
    p[49 + 4 * l] = 0xBF;  // DELAY 63, RESET 1
  }
  for (int o = 0; o < 3; ++o) {
    std::uint8_t* q = p.data() + 58 + 10 * o;
    q[0] = 36;                    // (0 + 3) * 12 + 0
    q[2] = 0xFF;                  // both pitch sources off
    q[6] = o == 0 ? 0xE4 : 0x64;  // LEVEL 50 * 2, ENABLE only on oscillator 1
    q[7] = 0xFF;
  }
  p[88] = 0x7E;  // ENV4.AMT 63 * 2
  p[89] = 0x7F;  // filter FREQ 127
  p[91] = 0xFF;
  p[100] = 0x8F;  // PMOD off, PAN 0 -> nybble 8
  return p;
}

TEST(ProgramRecord, InitDefaults) {
  const ProgramRecord r = makeInitRecord();
  EXPECT_EQ(r.format, 1);
  EXPECT_EQ(recordName(r), "INIT");
  struct W {
    int index;
    int value;
  };
  // Every word that is not zero in a fresh record.
  std::vector<W> nonZero = {{214, 60}, {215, 4}, {217, 1}, {168, 127}, {176, 127},
                            {192, 63}, {25, 1},  {24, 50}, {32, 50},   {40, 50}};
  for (int b : {0, 8, 16}) nonZero.insert(nonZero.end(), {{b + 4, -1}, {b + 6, -1}});
  for (int b : {24, 32, 40}) nonZero.insert(nonZero.end(), {{b + 2, -1}, {b + 4, -1}});
  for (int b : {48, 60, 72, 84}) nonZero.insert(nonZero.end(), {{b + 1, 63}, {b + 2, 63}, {b + 3, 63}});
  for (int b : {96, 108, 120, 132})
    nonZero.insert(nonZero.end(),
                   {{b, 24}, {b + 1, 1}, {b + 5, 63}, {b + 6, 63}, {b + 7, -1}, {b + 8, -1}, {b + 10, -1}});
  for (int b : {144, 152, 160}) nonZero.insert(nonZero.end(), {{b, -1}, {b + 2, -1}, {b + 4, -1}, {b + 6, -1}});
  for (int b : {168, 176}) nonZero.insert(nonZero.end(), {{b + 4, -1}, {b + 6, -1}});
  nonZero.insert(nonZero.end(), {{194, -1}, {196, -1}});
  std::array<int, 256> expect{};
  for (const W& w : nonZero) expect[static_cast<std::size_t>(w.index)] = w.value;
  for (int i = 0; i < 256; ++i) EXPECT_EQ(r.words[i], expect[static_cast<std::size_t>(i)]) << "word " << i;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&r);
  EXPECT_EQ(bytes[512], 1);
  EXPECT_EQ(bytes[513], 0);
  EXPECT_EQ(bytes[514], 4);
  EXPECT_EQ(std::memcmp(bytes + 515, "INIT", 4), 0);
  for (int i = 519; i < 544; ++i) EXPECT_EQ(bytes[i], 0) << i;
  // Little-endian words.
  EXPECT_EQ(bytes[2 * 176], 127);
  EXPECT_EQ(bytes[2 * 176 + 1], 0);
  EXPECT_EQ(bytes[2 * 4], 0xFF);
  EXPECT_EQ(bytes[2 * 4 + 1], 0xFF);
}

TEST(PackProgram, InitRecordBytes) {
  const ProgramRecord r = makeInitRecord();
  std::vector<std::uint8_t> body(kPackedSize);
  packProgram(r, body.data());
  EXPECT_EQ(body, toBody(initBytes()));
  EXPECT_EQ(body[0], 0x9);  // 'I' = 0x49, low nybble first
  EXPECT_EQ(body[1], 0x4);
}

TEST(PackProgram, InitRoundTrip) {
  const ProgramRecord init = makeInitRecord();
  ProgramRecord back = unpacked(packed(init));
  EXPECT_EQ(back.nameLength, 6);
  EXPECT_EQ(std::memcmp(back.name, "INIT\0\0", 6), 0);
  for (int l = 0; l < 3; ++l) EXPECT_EQ(back.words[96 + 12 * l + 9], 63) << "LFO MOD.AMT comes back full";
  // Apart from the name and LFO1..3 MOD.AMT, every word is back as it was.
  ProgramRecord expect = init;
  for (int l = 0; l < 3; ++l) expect.words[96 + 12 * l + 9] = 63;
  setRecordName(expect, std::string_view("INIT\0\0", 6));
  EXPECT_TRUE(recordsEqual(back, expect));
}

// A record with a distinct value in every hardware field, and its bytes worked out by hand.
struct Fixture {
  ProgramRecord rec = makeInitRecord();
  Bytes bytes = initBytes();
  Fixture() {
    std::int16_t* w = rec.words;
    setRecordName(rec, "ab cdefgh");
    std::memcpy(bytes.data(), "ABCDEF", 6);
    // ENV1
    w[49] = -5;
    w[50] = 31;
    w[51] = -63;
    w[55] = 1;
    w[56] = 2;
    w[57] = 63;
    w[58] = 70;
    w[53] = 70;
    w[54] = 5;
    w[59] = 62;
    const std::uint8_t env1[10] = {0xF6, 0x3E, 0x82, 1, 2, 0x3F, 0x86, 0x18, 5, 0x3E};
    std::memcpy(bytes.data() + 6, env1, 10);
    // LFO1: FREQ 63, RESET 5, HUMAN 1, WAVE 2, L1 10, DELAY 7, L2 20, source channel pressure
    w[96] = 63;
    w[97] = 5;
    w[98] = 1;
    w[99] = 2;
    w[100] = 10;
    w[101] = 7;
    w[102] = 20;
    w[104] = 144;
    w[105] = -9;
    const std::uint8_t lfo1[4] = {0xBF, 0xCA, 0x94, 0xC7};
    std::memcpy(bytes.data() + 46, lfo1, 4);
    // OSC2 / DCA2
    w[8] = 0;
    w[9] = 0;
    w[10] = -1;
    w[11] = 74;
    w[12] = 4;
    w[13] = -63;
    w[14] = 52;
    w[15] = 40;
    w[32] = 63;
    w[33] = 1;
    w[34] = 17;
    w[35] = 1;
    w[36] = 3;
    w[37] = -1;
    const std::uint8_t osc2[10] = {35, 0xF8, 0xC3, 0x82, 0x50, 74, 0xFE, 0xFB, 0x02, 0xFE};
    std::memcpy(bytes.data() + 68, osc2, 10);
    // OSC3: floor of the semitone number
    w[16] = -3;
    w[17] = 0;
    w[18] = -5;
    bytes[78] = 0;
    bytes[79] = 0xD8;
    // Filter, modes, DCA4
    w[168] = 100;
    w[169] = 31;
    w[170] = -1;
    w[172] = 8;
    w[173] = 40;
    w[174] = 9;
    w[175] = -40;
    w[200] = 1;
    w[201] = 1;
    w[202] = 0;
    w[203] = 33;
    w[204] = 1;
    w[205] = 1;
    w[206] = 0;
    w[207] = 1;
    w[192] = 20;
    w[193] = 63;
    w[196] = 10;
    w[197] = -20;
    const std::uint8_t tail[14] = {0xA8, 0xE4, 0x1F, 0x87, 0xBF, 0x41, 0xFE, 0x21, 0, 0, 0, 0, 0xF9, 0xEC};
    std::memcpy(bytes.data() + 88, tail, 14);
  }
};

TEST(PackProgram, EveryFieldBytes) {
  Fixture f;
  const Bytes got = packed(f.rec);
  for (std::size_t k = 0; k < kPackedProgramBytes; ++k) EXPECT_EQ(got[k], f.bytes[k]) << "program byte " << k;
}

TEST(UnpackProgram, EveryFieldWords) {
  Fixture f;
  const ProgramRecord r = unpacked(f.bytes);
  EXPECT_EQ(recordName(r), "ABCDEF");
  struct W {
    int index;
    int value;
    const char* what;
  };
  const W rows[] = {
      {49, -5, "ENV1 L1"},
      {50, 31, "ENV1 L2"},
      {51, -63, "ENV1 L3"},
      {55, 1, "T1"},
      {56, 2, "T2"},
      {57, 63, "T3"},
      {58, 70, "T4 with second release"},
      {53, 6, "LV loses bit 6"},
      {54, 5, "T1V"},
      {59, 62, "TK"},
      {48, 0, "start"},
      {96, 63, "LFO FREQ"},
      {97, 1, "RESET is a flag"},
      {98, 1, "HUMAN"},
      {99, 2, "WAVE"},
      {100, 10, "L1"},
      {101, 7, "DELAY"},
      {102, 20, "L2"},
      {104, 12, "pressure comes back as PRESS"},
      {105, 63, "MOD.AMT full"},
      {8, -1, "OSC2 OCT"},
      {9, 11, "SEMI"},
      {10, 31, "FINE"},
      {11, 74, "WAVE"},
      {12, 4, "MOD1.SEL"},
      {13, -63, "MOD1.AMT"},
      {14, 52, "MOD2.SEL"},
      {15, 40, "MOD2.AMT"},
      {32, 63, "LEVEL"},
      {33, 1, "ENABLE"},
      {34, 17, "DCA MOD1.SEL"},
      {35, 1, "DCA MOD1.AMT"},
      {36, -1, "LFO4 is off in hardware"},
      {37, -1, "DCA MOD2.AMT"},
      {16, -3, "OSC3 OCT"},
      {17, 0, "SEMI"},
      {18, 27, "FINE"},
      {168, 100, "FREQ"},
      {169, 31, "RES"},
      {170, 63, "KEYBD -1 keeps low bits"},
      {172, 8, "FILT MOD1.SEL"},
      {173, 31, "clamped amount"},
      {174, 9, "FILT MOD2.SEL"},
      {175, -31, "clamped amount"},
      {200, 1, "SYNC"},
      {201, 1, "AM"},
      {202, 0, "MONO"},
      {203, 33, "GLIDE"},
      {204, 1, "REST.VC"},
      {205, 1, "REST.ENV"},
      {206, 0, "REST.OSC"},
      {207, 1, "CYC"},
      {192, 20, "ENV4.AMT"},
      {193, 56, "PAN +63 -> +56"},
      {196, 10, "PMOD.SEL"},
      {197, -20, "PMOD.AMT"},
      {132, 24, "LFO4 untouched"},
      {144, -1, "matrix untouched"},
      {215, 4, "BRANGE untouched"},
  };
  for (const W& row : rows) EXPECT_EQ(r.words[row.index], row.value) << row.what << " (word " << row.index << ")";
}

TEST(PackProgram, EdgeCases) {
  struct Case {
    const char* what;
    int index;
    int value;
    std::size_t byte;
    std::uint8_t expect;
    int back;
  };
  const Case cases[] = {
      {"PAN +63 -> nybble 15", 193, 63, 100, 0xFF, 56},
      {"PAN -63 -> nybble 1", 193, -63, 100, 0x1F, -56},
      {"PAN -8 -> nybble 7", 193, -8, 100, 0x7F, -8},
      {"filter amount +40 clamps", 173, 40, 92, 0x3F, 31},
      {"filter amount -1", 173, -1, 92, 0x7E, -1},
      {"LV 70 loses bit 6", 53, 70, 13, 0x18, 6},
      {"T4 70 keeps its second release", 58, 70, 12, 0x86, 70},
      {"T4 63", 58, 63, 12, 0x3F, 63},
      {"pitch source LFO4 -> off", 4, 3, 60, 0xFF, -1},
      {"pitch source MAT1 -> off", 4, 13, 60, 0xFF, -1},
      {"pitch source wheel", 4, 17, 60, 0xFB, 17},
      {"channel pressure -> PRESS", 4, 144, 60, 0xFE, 12},
      {"KEYBD 63", 170, 63, 94, 0x7E, 63},
      {"LFO RESET 0 free running", 97, 0, 49, 0x3F, 0},
      {"pitch amount +63", 5, 63, 61, 0x7E, 63},
      {"pitch amount -63", 5, -63, 61, 0x82, -63},
      {"DCA level 0 enabled", 24, 0, 64, 0x80, 0},
      {"PMOD.AMT +63 not doubled", 197, 63, 101, 0x3F, 63},
      {"PMOD.AMT -64", 197, -64, 101, 0x40, -64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProgramRecord r = makeInitRecord();
    r.words[c.index] = static_cast<std::int16_t>(c.value);
    const Bytes p = packed(r);
    EXPECT_EQ(p[c.byte], c.expect);
    EXPECT_EQ(unpacked(p).words[c.index], c.back);
  }
}

TEST(PackProgram, FineBelowZeroBorrowsASemitone) {
  ProgramRecord r = makeInitRecord();
  r.words[2] = -1;  // OCT 0, SEMI 0
  Bytes p = packed(r);
  EXPECT_EQ(p[58], 35);
  EXPECT_EQ(p[59], 31 << 3);
  const ProgramRecord back = unpacked(p);
  EXPECT_EQ(back.words[0], -1);
  EXPECT_EQ(back.words[1], 11);
  EXPECT_EQ(back.words[2], 31);
  // A 7-bit semitone number reaches OCT +7.
  p[58] = 127;
  EXPECT_EQ(unpacked(p).words[0], 7);
  EXPECT_EQ(unpacked(p).words[1], 7);
}

TEST(PackProgram, NameEdgeCases) {
  struct N {
    std::string in;
    std::string out;
  };
  const N rows[] = {
      {" ab cde", std::string("ABCDE\0", 6)},
      {"", std::string(6, '\0')},
      {"Strings 2", "STRING"},
      {"el pno", "EL PNO"},  // a six-byte name, as every dump name is, keeps its blank
      {std::string("A B\0\0\0", 6), std::string("A B\0\0\0", 6)},
      {"A B", std::string("AB\0\0\0\0", 6)},
      {std::string("X\x01\x7F\x80", 4), std::string("X\x01\x7F\x80\0\0", 6)},  // odd bytes pass unchanged
  };
  for (const N& n : rows) {
    ProgramRecord r = makeInitRecord();
    setRecordName(r, n.in);
    const Bytes p = packed(r);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.data()), 6), n.out) << n.in;
    const ProgramRecord back = unpacked(p);
    EXPECT_EQ(recordName(back), n.out);
  }
}

TEST(SourceCodes, BothDirections) {
  const int codeToIndex[16] = {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 17, 52, 18, 12, -1};
  for (unsigned c = 0; c < 16; ++c) EXPECT_EQ(sourceFromCode(c), codeToIndex[c]) << c;
  EXPECT_EQ(sourceFromCode(16), -1);
  for (int i = -1; i <= 144; ++i) {
    unsigned expect = 15;
    for (unsigned c = 0; c < 15; ++c)
      if (codeToIndex[c] == i) expect = c;
    if (i == 144) expect = 14;
    EXPECT_EQ(codeFromSource(i), expect) << i;
  }
}

TEST(UnpackProgram, OutOfRangeNybblesStayDefined) {
  std::vector<std::uint8_t> body(kPackedSize, 0xFF);
  ProgramRecord r = makeInitRecord();
  unpackProgramFields(r, body.data());
  EXPECT_EQ(r.words[0], 127 / 12 - 3);
  EXPECT_EQ(r.words[193], 56);
  EXPECT_FALSE(bodyNybblesValid(body.data()));
  EXPECT_TRUE(bodyNybblesValid(toBody(initBytes()).data()));
}

// A dump made on the instrument goes back as it came, also with every bit that no field of the
// record holds set (the layout table's unlisted bits and bytes 96..99), and keeps those bits when
// one value is edited.
TEST(PackProgram, BitsWithoutAFieldTravelWithTheSound) {
  Bytes unused{};
  for (int e = 0; e < 4; ++e) {
    const std::size_t b = 6 + 10 * static_cast<std::size_t>(e);
    for (std::size_t i : {3u, 4u, 5u, 8u, 9u}) unused[b + i] = 0xC0;
    unused[b + 6] = 0x40;
    unused[b + 7] = 0x03;
  }
  for (std::size_t b : {58u, 68u, 78u}) {
    unused[b] = 0x80;
    unused[b + 1] = 0x07;
    unused[b + 6] = 0x01;
  }
  unused[88] = unused[94] = 0x01;
  unused[90] = 0xE0;
  unused[95] = 0x40;
  for (std::size_t k = 96; k < 100; ++k) unused[k] = 0xFF;

  const Bytes fields = packed(unpacked(packed(Fixture().rec)));  // values the instrument can hold
  Bytes dump = fields;
  for (std::size_t k = 0; k < kPackedProgramBytes; ++k) dump[k] |= unused[k];
  ProgramRecord sound = unpacked(dump);
  EXPECT_EQ(packed(sound), dump);
  ProgramRecord fresh = unpacked(fields);
  for (int i = word::kHardwareBits; i < kParamWordCount; ++i) EXPECT_EQ(fresh.words[i], 0) << "word " << i;
  EXPECT_EQ(packed(fresh), fields) << "nothing added where the dump had no such bits";

  sound.words[word::kEnv[0] + word::kEnvT1] = 9;
  Bytes edited = dump;
  edited[9] = static_cast<std::uint8_t>(0xC0 | 9);
  EXPECT_EQ(packed(sound), edited);

  // Through the dump message: byte for byte but for the channel byte.
  std::vector<std::uint8_t> message = {0xF0, 0x0F, 0x02, 0x05, 0x01};
  const auto body = toBody(dump);
  message.insert(message.end(), body.begin(), body.end());
  message.push_back(0xF7);
  Ckv_progMan programs;
  ASSERT_TRUE(programs.ImportSingle(Ckv_progMan::EditSlot(), message.data(), true, message.size()));
  std::vector<std::uint8_t> back;
  ASSERT_TRUE(programs.ExportSingle(Ckv_progMan::EditSlot(), back));
  message[3] = 0x00;
  EXPECT_EQ(back, message);
}

// Pack and unpack agree for every value of every hardware field's range.
TEST(PackProgram, HardwareRangesRoundTrip) {
  struct F {
    int index;
    int lo;
    int hi;
    int step;
  };
  const F fields[] = {{49, -63, 63, 1},  {55, 0, 63, 1},    {58, 0, 127, 1},   {53, 0, 63, 1},  {96, 0, 63, 1},
                      {99, 0, 3, 1},     {11, 0, 255, 1},   {13, -63, 63, 1},  {24, 0, 63, 1},  {168, 0, 127, 1},
                      {169, 0, 31, 1},   {170, 0, 63, 1},   {173, -31, 31, 1}, {192, 0, 63, 1}, {203, 0, 63, 1},
                      {193, -64, 56, 8}, {197, -64, 63, 1}, {1, 0, 11, 1},     {2, 0, 31, 1},   {0, -3, 7, 1}};
  for (const F& f : fields) {
    for (int v = f.lo; v <= f.hi; v += f.step) {
      ProgramRecord r = makeInitRecord();
      r.words[f.index] = static_cast<std::int16_t>(v);
      ASSERT_EQ(unpacked(packed(r)).words[f.index], v) << "word " << f.index;
    }
  }
}

}  // namespace
}  // namespace korvo
