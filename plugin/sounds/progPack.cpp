#include "progPack.h"

#include <array>
#include <cstring>
#include <string>

#include "soundAux.h"

namespace korvo {

namespace {

constexpr ModSourceIndex kCodeToSource[16] = {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 17, 52, 18, 12, -1};

// Program byte helpers: fields are written with the masks of their width, flags ORed into bit 7
// (bit 3 of the high nybble) afterwards.
std::uint8_t field(int value, int width) {
  const NybblePair p = splitNybbles(value, width);
  return static_cast<std::uint8_t>(p.lo | (p.hi << 4));
}
std::uint8_t signedField(int value, int width) {
  const NybblePair p = splitNybblesSigned(value, width);
  return static_cast<std::uint8_t>(p.lo | (p.hi << 4));
}
// Twice a level or amount as a signed byte (low byte of value * 2).
std::uint8_t doubledByte(int value) { return field(value * 2, 8); }
std::uint8_t flag(int value) { return value > 0 ? 0x80 : 0x00; }

// Signed byte halved toward zero.
int halvedSigned(std::uint8_t b) { return static_cast<std::int8_t>(b) / 2; }
int signed7(std::uint8_t b) { return joinNybblesSigned(b & 15u, b >> 4, 7); }
int bit7(std::uint8_t b) { return b >> 7; }

constexpr int kEnvByte = 6, kLfoByte = 46, kOscByte = 58;  // first program byte of each block

// The bits of each program byte that no field of the record holds. The instrument may set them
// (it keeps settings of its own in bytes 96..99), so they travel in the record's reserved words
// from word::kHardwareBits on, two program bytes a word, in the order of the bytes that have
// such bits, and a dump sent back keeps them.
constexpr std::array<std::uint8_t, kPackedProgramBytes> unusedBitMasks() {
  std::array<std::uint8_t, kPackedProgramBytes> m{};
  for (std::size_t e = 0; e < 4; ++e) {
    const std::size_t b = kEnvByte + 10 * e;
    m[b + 3] = m[b + 4] = m[b + 5] = 0xC0;  // T1..T3: bits 5..0
    m[b + 6] = 0x40;                        // T4: bits 5..0, second release bit 7
    m[b + 7] = 0x03;                        // LV: bits 7..2
    m[b + 8] = m[b + 9] = 0xC0;             // T1V, TK: bits 5..0
  }
  for (std::size_t o = 0; o < 3; ++o) {
    const std::size_t b = kOscByte + 10 * o;
    m[b + 0] = 0x80;  // semitone number: bits 6..0
    m[b + 1] = 0x07;  // FINE: bits 7..3
    m[b + 6] = 0x01;  // DCA level: bits 6..1, enable bit 7
  }
  m[88] = 0x01;  // ENV4.AMT bits 6..1, AM bit 7
  m[90] = 0xE0;  // RES: bits 4..0
  m[94] = 0x01;  // KEYBD bits 6..1, REST.ENV bit 7
  m[95] = 0x40;  // GLIDE bits 5..0, REST.OSC bit 7
  for (std::size_t k = 96; k < 100; ++k) m[k] = 0xFF;
  return m;
}
constexpr auto kUnusedBits = unusedBitMasks();

// Calls visit(programByte, carriedIndex) for each byte with unused bits, carriedIndex counting
// them from 0.
template <typename Visit>
void forEachCarriedByte(Visit visit) {
  int n = 0;
  for (int k = 0; k < kPackedProgramBytes; ++k)
    if (kUnusedBits[static_cast<std::size_t>(k)] != 0) visit(k, n++);
}

std::uint8_t carriedByte(const std::int16_t* w, int n) {
  const auto bits = static_cast<std::uint16_t>(w[word::kHardwareBits + n / 2]);
  return static_cast<std::uint8_t>(n % 2 == 0 ? bits & 0xFFu : bits >> 8);
}

void setCarriedByte(std::int16_t* w, int n, std::uint8_t value) {
  auto bits = static_cast<std::uint16_t>(w[word::kHardwareBits + n / 2]);
  bits = n % 2 == 0 ? static_cast<std::uint16_t>((bits & 0xFF00u) | value)
                    : static_cast<std::uint16_t>((bits & 0x00FFu) | (static_cast<unsigned>(value) << 8));
  w[word::kHardwareBits + n / 2] = static_cast<std::int16_t>(bits);
}

}  // namespace

ModSourceIndex sourceFromCode(unsigned code) { return code <= 15 ? kCodeToSource[code] : -1; }

unsigned codeFromSource(ModSourceIndex index) {
  switch (index) {
    case 0:
    case 1:
    case 2: return static_cast<unsigned>(index);
    case 4:
    case 5:
    case 6:
    case 7: return static_cast<unsigned>(index - 1);
    case 8: return 7;
    case 9: return 8;
    case 10: return 9;
    case 11: return 10;
    case 17: return 11;
    case 52: return 12;
    case 18: return 13;
    case 12:
    case 144: return 14;
    default: return 15;
  }
}

void packProgram(const ProgramRecord& r, std::uint8_t* body) {
  std::uint8_t p[kPackedProgramBytes] = {};
  const std::int16_t* w = r.words;

  // Names are squeezed into six bytes by dropping blanks. A name of exactly six bytes (every name
  // read from a dump has that length) keeps its blanks, so a sound named "EL PNO" on the
  // instrument goes back to it under the same name.
  std::string name = recordName(r);
  if (name.size() == 6) {
    for (char& c : name)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  } else {
    name = upperNoBlanks(name, 6);
  }
  std::memcpy(p, name.data(), 6);

  for (int e = 0; e < 4; ++e) {
    const int b = word::kEnv[e];
    std::uint8_t* q = p + kEnvByte + 10 * e;
    q[0] = doubledByte(w[b + word::kEnvL1]);
    q[1] = doubledByte(w[b + word::kEnvL2]);
    q[2] = doubledByte(w[b + word::kEnvL3]);
    q[3] = field(w[b + word::kEnvT1], 6);
    q[4] = field(w[b + word::kEnvT2], 6);
    q[5] = field(w[b + word::kEnvT3], 6);
    q[6] = static_cast<std::uint8_t>(field(w[b + word::kEnvT4], 6) | (w[b + word::kEnvT4] >= 64 ? 0x80 : 0));
    q[7] = field(w[b + word::kEnvLv] * 4, 8);
    q[8] = field(w[b + word::kEnvT1v], 6);
    q[9] = field(w[b + word::kEnvTk], 6);
  }

  for (int l = 0; l < 3; ++l) {
    const int b = word::kLfo[l];
    std::uint8_t* q = p + kLfoByte + 4 * l;
    const unsigned code = codeFromSource(w[b + word::kLfoModSel]);
    q[0] = static_cast<std::uint8_t>(field(w[b + word::kLfoFreq], 6) | ((w[b + word::kLfoWave] & 3) << 6));
    q[1] = static_cast<std::uint8_t>(field(w[b + word::kLfoL1], 6) | (((code >> 2) & 3u) << 6));
    q[2] = static_cast<std::uint8_t>(field(w[b + word::kLfoL2], 6) | ((code & 3u) << 6));
    q[3] = static_cast<std::uint8_t>(field(w[b + word::kLfoDelay], 6) | (w[b + word::kLfoHuman] > 0 ? 0x40 : 0) |
                                     flag(w[b + word::kLfoReset]));
  }

  for (int o = 0; o < 3; ++o) {
    const int b = word::kOsc[o];
    const int d = word::kDca[o];
    std::uint8_t* q = p + kOscByte + 10 * o;
    int semis = (w[b + word::kOscOct] + 3) * 12 + w[b + word::kOscSemi];
    int fine = w[b + word::kOscFine];
    if (fine < 0) {
      semis -= 1;
      fine += 32;
    }
    if (semis < 0) semis = 0;
    q[0] = field(semis, 7);
    q[1] = field(fine << 3, 8);
    q[2] = static_cast<std::uint8_t>(codeFromSource(w[b + word::kOscMod1Sel]) |
                                     (codeFromSource(w[b + word::kOscMod2Sel]) << 4));
    q[3] = doubledByte(w[b + word::kOscMod1Amt]);
    q[4] = doubledByte(w[b + word::kOscMod2Amt]);
    q[5] = field(w[b + word::kOscWave], 8);
    q[6] = static_cast<std::uint8_t>(field(w[d + word::kDcaLevel] * 2, 7) | flag(w[d + word::kDcaEnable]));
    q[7] = static_cast<std::uint8_t>(codeFromSource(w[d + word::kDcaMod1Sel]) |
                                     (codeFromSource(w[d + word::kDcaMod2Sel]) << 4));
    q[8] = doubledByte(w[d + word::kDcaMod1Amt]);
    q[9] = doubledByte(w[d + word::kDcaMod2Amt]);
  }

  const int f = word::kFilter, m = word::kMode, a = word::kDca4;
  p[88] = static_cast<std::uint8_t>(field(w[a + word::kDca4Env4Amt] * 2, 7) | flag(w[m + word::kModeAm]));
  p[89] = static_cast<std::uint8_t>(field(w[f + word::kFiltFreq], 7) | flag(w[m + word::kModeSync]));
  p[90] = field(w[f + word::kFiltRes], 5);
  p[91] = static_cast<std::uint8_t>(codeFromSource(w[f + word::kFiltMod1Sel]) |
                                    (codeFromSource(w[f + word::kFiltMod2Sel]) << 4));
  p[92] = static_cast<std::uint8_t>(signedField(clampSigned63(w[f + word::kFiltMod1Amt] * 2), 7) |
                                    flag(w[m + word::kModeRestVc]));
  p[93] = static_cast<std::uint8_t>(signedField(clampSigned63(w[f + word::kFiltMod2Amt] * 2), 7) |
                                    flag(w[m + word::kModeMono]));
  p[94] = static_cast<std::uint8_t>(field(w[f + word::kFiltKeybd] * 2, 7) | flag(w[m + word::kModeRestEnv]));
  p[95] = static_cast<std::uint8_t>(field(w[m + word::kModeGlide], 6) | flag(w[m + word::kModeRestOsc]));
  // The pan nybble holds PAN / 8 (toward zero) biased by 8.
  p[100] = static_cast<std::uint8_t>(codeFromSource(w[a + word::kDca4PmodSel]) |
                                     (static_cast<unsigned>((w[a + word::kDca4Pan] / 8 + 8) & 15) << 4));
  p[101] = static_cast<std::uint8_t>(signedField(w[a + word::kDca4PmodAmt], 7) | flag(w[m + word::kModeCyc]));

  forEachCarriedByte([&](int k, int n) {
    const std::uint8_t mask = kUnusedBits[static_cast<std::size_t>(k)];
    p[k] = static_cast<std::uint8_t>((p[k] & ~mask) | (carriedByte(w, n) & mask));
  });

  for (int k = 0; k < kPackedProgramBytes; ++k) {
    body[2 * k] = p[k] & 15u;
    body[2 * k + 1] = p[k] >> 4;
  }
}

void unpackProgramFields(ProgramRecord& r, const std::uint8_t* body) {
  std::uint8_t p[kPackedProgramBytes];
  for (int k = 0; k < kPackedProgramBytes; ++k)
    p[k] = static_cast<std::uint8_t>(joinNybbles(body[2 * k], body[2 * k + 1], 8));
  std::int16_t* w = r.words;
  auto set = [w](int index, int value) { w[index] = static_cast<std::int16_t>(value); };

  // The hardware name is always six bytes, zero bytes included.
  std::memcpy(r.name, p, 6);
  r.nameLength = 6;

  for (int e = 0; e < 4; ++e) {
    const int b = word::kEnv[e];
    const std::uint8_t* q = p + kEnvByte + 10 * e;
    set(b + word::kEnvStart, 0);
    set(b + word::kEnvL1, halvedSigned(q[0]));
    set(b + word::kEnvL2, halvedSigned(q[1]));
    set(b + word::kEnvL3, halvedSigned(q[2]));
    set(b + word::kEnvT1, q[3] & 63);
    set(b + word::kEnvT2, q[4] & 63);
    set(b + word::kEnvT3, q[5] & 63);
    set(b + word::kEnvT4, (q[6] & 63) + (bit7(q[6]) ? 64 : 0));
    set(b + word::kEnvLv, q[7] >> 2);
    set(b + word::kEnvT1v, q[8] & 63);
    set(b + word::kEnvTk, q[9] & 63);
  }

  for (int l = 0; l < 3; ++l) {
    const int b = word::kLfo[l];
    const std::uint8_t* q = p + kLfoByte + 4 * l;
    set(b + word::kLfoFreq, q[0] & 63);
    set(b + word::kLfoWave, q[0] >> 6);
    set(b + word::kLfoL1, q[1] & 63);
    set(b + word::kLfoL2, q[2] & 63);
    set(b + word::kLfoModSel, sourceFromCode(static_cast<unsigned>(((q[1] >> 6) << 2) | (q[2] >> 6))));
    set(b + word::kLfoModAmt, 63);
    set(b + word::kLfoDelay, q[3] & 63);
    set(b + word::kLfoHuman, (q[3] >> 6) & 1);
    set(b + word::kLfoReset, bit7(q[3]));
  }

  for (int o = 0; o < 3; ++o) {
    const int b = word::kOsc[o];
    const int d = word::kDca[o];
    const std::uint8_t* q = p + kOscByte + 10 * o;
    const int semis = q[0] & 0x7F;
    set(b + word::kOscOct, semis / 12 - 3);
    set(b + word::kOscSemi, semis % 12);
    set(b + word::kOscFine, q[1] >> 3);
    set(b + word::kOscMod1Sel, sourceFromCode(q[2] & 15u));
    set(b + word::kOscMod2Sel, sourceFromCode(q[2] >> 4));
    set(b + word::kOscMod1Amt, halvedSigned(q[3]));
    set(b + word::kOscMod2Amt, halvedSigned(q[4]));
    set(b + word::kOscWave, q[5]);
    set(d + word::kDcaLevel, (q[6] >> 1) & 63);
    set(d + word::kDcaEnable, bit7(q[6]));
    set(d + word::kDcaMod1Sel, sourceFromCode(q[7] & 15u));
    set(d + word::kDcaMod2Sel, sourceFromCode(q[7] >> 4));
    set(d + word::kDcaMod1Amt, halvedSigned(q[8]));
    set(d + word::kDcaMod2Amt, halvedSigned(q[9]));
  }

  const int f = word::kFilter, m = word::kMode, a = word::kDca4;
  set(a + word::kDca4Env4Amt, (p[88] >> 1) & 63);
  set(m + word::kModeAm, bit7(p[88]));
  set(f + word::kFiltFreq, p[89] & 0x7F);
  set(m + word::kModeSync, bit7(p[89]));
  set(f + word::kFiltRes, p[90] & 31);
  set(f + word::kFiltMod1Sel, sourceFromCode(p[91] & 15u));
  set(f + word::kFiltMod2Sel, sourceFromCode(p[91] >> 4));
  set(f + word::kFiltMod1Amt, signed7(p[92]) / 2);
  set(m + word::kModeRestVc, bit7(p[92]));
  set(f + word::kFiltMod2Amt, signed7(p[93]) / 2);
  set(m + word::kModeMono, bit7(p[93]));
  set(f + word::kFiltKeybd, (p[94] >> 1) & 63);
  set(m + word::kModeRestEnv, bit7(p[94]));
  set(m + word::kModeGlide, p[95] & 63);
  set(m + word::kModeRestOsc, bit7(p[95]));
  set(a + word::kDca4PmodSel, sourceFromCode(p[100] & 15u));
  set(a + word::kDca4Pan, ((p[100] >> 4) - 8) * 8);
  set(a + word::kDca4PmodAmt, signed7(p[101]));
  set(m + word::kModeCyc, bit7(p[101]));

  forEachCarriedByte([&](int k, int n) {
    setCarriedByte(w, n, static_cast<std::uint8_t>(p[k] & kUnusedBits[static_cast<std::size_t>(k)]));
  });
}

bool bodyNybblesValid(const std::uint8_t* body, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i)
    if (body[i] > 15) return false;
  return true;
}

}  // namespace korvo
