// The sound record: 256 signed 16-bit parameter words, a format word and a name, 544 bytes,
// stored verbatim in library and backup files and as the host's chunk.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvo {

static_assert(std::endian::native == std::endian::little,
              "records are stored in memory in their little-endian file form");

inline constexpr int kParamWordCount = 256;
inline constexpr int kNameCapacity = 15;
inline constexpr int kProgramRecordSize = 544;
inline constexpr std::int16_t kRecordFormat = 1;

struct ProgramRecord {
  std::int16_t words[kParamWordCount];  // bytes 0..511
  std::int16_t format;                  // bytes 512..513, 1 in every valid record
  std::uint8_t nameLength;              // byte 514; may hold anything in a file read from disk
  char name[kNameCapacity];             // bytes 515..529
  std::uint8_t reserved[14];            // bytes 530..543
};

static_assert(sizeof(ProgramRecord) == kProgramRecordSize);
static_assert(offsetof(ProgramRecord, words) == 0);
static_assert(offsetof(ProgramRecord, format) == 512);
static_assert(offsetof(ProgramRecord, nameLength) == 514);
static_assert(offsetof(ProgramRecord, name) == 515);
static_assert(offsetof(ProgramRecord, reserved) == 530);

// Word indices of the parameter blocks.
namespace word {
inline constexpr int kOsc[3] = {0, 8, 16};           // OCT SEMI FINE WAVE MOD1.SEL MOD1.AMT MOD2.SEL MOD2.AMT
inline constexpr int kDca[3] = {24, 32, 40};         // LEVEL ENABLE MOD1.SEL MOD1.AMT MOD2.SEL MOD2.AMT
inline constexpr int kEnv[4] = {48, 60, 72, 84};     // START L1 L2 L3 - LV T1V T1 T2 T3 T4 TK
inline constexpr int kLfo[4] = {96, 108, 120, 132};  // FREQ RESET HUMAN WAVE L1 DELAY L2 - SEL AMT
inline constexpr int kMat[3] = {144, 152, 160};      // MOD1..MOD4 SEL/AMT pairs
inline constexpr int kFilter = 168;                  // FREQ RES KEYBD - MOD1.SEL MOD1.AMT MOD2.SEL MOD2.AMT
inline constexpr int kFilter2 = 176;
inline constexpr int kDca4 = 192;  // ENV4.AMT PAN AMOD.SEL AMOD.AMT PMOD.SEL PMOD.AMT
inline constexpr int kMode = 200;  // SYNC AM MONO GLIDE REST.VC REST.ENV REST.OSC CYC
inline constexpr int kBrange = 215;
inline constexpr int kBmode = 216;
inline constexpr int kAmbug = 217;
inline constexpr int kSat = 219;
// Reserved words 220..242: the bits of an imported hardware program that no field holds (see
// progPack), kept so that the sound goes back to the instrument as it came. Zero in a record
// made here; nothing else reads them.
inline constexpr int kHardwareBits = 220;

// Offsets inside the blocks.
inline constexpr int kOscOct = 0, kOscSemi = 1, kOscFine = 2, kOscWave = 3, kOscMod1Sel = 4, kOscMod1Amt = 5,
                     kOscMod2Sel = 6, kOscMod2Amt = 7;
inline constexpr int kDcaLevel = 0, kDcaEnable = 1, kDcaMod1Sel = 2, kDcaMod1Amt = 3, kDcaMod2Sel = 4, kDcaMod2Amt = 5;
inline constexpr int kEnvStart = 0, kEnvL1 = 1, kEnvL2 = 2, kEnvL3 = 3, kEnvLv = 5, kEnvT1v = 6, kEnvT1 = 7, kEnvT2 = 8,
                     kEnvT3 = 9, kEnvT4 = 10, kEnvTk = 11;
inline constexpr int kLfoFreq = 0, kLfoReset = 1, kLfoHuman = 2, kLfoWave = 3, kLfoL1 = 4, kLfoDelay = 5, kLfoL2 = 6,
                     kLfoModSel = 8, kLfoModAmt = 9;
inline constexpr int kFiltFreq = 0, kFiltRes = 1, kFiltKeybd = 2, kFiltMod1Sel = 4, kFiltMod1Amt = 5, kFiltMod2Sel = 6,
                     kFiltMod2Amt = 7;
inline constexpr int kDca4Env4Amt = 0, kDca4Pan = 1, kDca4AmodSel = 2, kDca4AmodAmt = 3, kDca4PmodSel = 4,
                     kDca4PmodAmt = 5;
inline constexpr int kModeSync = 0, kModeAm = 1, kModeMono = 2, kModeGlide = 3, kModeRestVc = 4, kModeRestEnv = 5,
                     kModeRestOsc = 6, kModeCyc = 7;
}  // namespace word

// Fills every byte of `r` with the fresh "INIT" sound: zeroes, then the defaults of every word,
// format 1 and the name "INIT".
void setInitDefaults(ProgramRecord& r);
ProgramRecord makeInitRecord();

// The name's bytes; a length byte above the capacity (possible in a file from disk) reads as 15.
// The name is read and written a byte at a time with atomic accesses: the edit buffer's name may
// be rewritten by a program change on the audio thread while the editor shows it.
std::string recordName(const ProgramRecord& r);
// Stores at most 15 characters; the bytes past the new length keep what they held.
void setRecordName(ProgramRecord& r, std::string_view text);

// The name made safe for a terminal or the LCD: trailing zero bytes (the padding of a name from
// a hardware dump) are dropped and every other byte outside 0x20..0x7E becomes '?'.
// Copies a whole record where the other thread may read or write either side meanwhile (the edit
// buffer), each word and byte one atomic load and one atomic store.
void copySharedRecord(ProgramRecord& target, const ProgramRecord& source);

std::string displayName(std::string_view rawName);
inline std::string displayName(const ProgramRecord& r) { return displayName(recordName(r)); }

bool recordsEqual(const ProgramRecord& a, const ProgramRecord& b);

}  // namespace korvo
