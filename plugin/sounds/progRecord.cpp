#include "progRecord.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace korvo {

void setInitDefaults(ProgramRecord& r) {
  std::memset(&r, 0, sizeof r);
  std::int16_t* w = r.words;
  for (int b : word::kOsc) {
    w[b + word::kOscMod1Sel] = -1;
    w[b + word::kOscMod2Sel] = -1;
  }
  for (int i = 0; i < 3; ++i) {
    const int b = word::kDca[i];
    w[b + word::kDcaLevel] = 50;
    w[b + word::kDcaEnable] = i == 0 ? 1 : 0;
    w[b + word::kDcaMod1Sel] = -1;
    w[b + word::kDcaMod2Sel] = -1;
  }
  for (int b : word::kEnv) {
    w[b + word::kEnvL1] = 63;
    w[b + word::kEnvL2] = 63;
    w[b + word::kEnvL3] = 63;
  }
  for (int b : word::kLfo) {
    w[b + word::kLfoFreq] = 24;
    w[b + word::kLfoReset] = 1;
    w[b + word::kLfoDelay] = 63;
    w[b + word::kLfoL2] = 63;
    w[b + 7] = -1;
    w[b + word::kLfoModSel] = -1;
    w[b + 10] = -1;
  }
  for (int b : word::kMat)
    for (int k = 0; k < 4; ++k) w[b + 2 * k] = -1;
  for (int b : {word::kFilter, word::kFilter2}) {
    w[b + word::kFiltFreq] = 127;
    w[b + word::kFiltMod1Sel] = -1;
    w[b + word::kFiltMod2Sel] = -1;
  }
  w[word::kDca4 + word::kDca4Env4Amt] = 63;
  w[word::kDca4 + word::kDca4AmodSel] = -1;
  w[word::kDca4 + word::kDca4PmodSel] = -1;
  w[214] = 60;
  w[word::kBrange] = 4;
  w[word::kAmbug] = 1;
  r.format = kRecordFormat;
  setRecordName(r, "INIT");
}

ProgramRecord makeInitRecord() {
  ProgramRecord r;
  setInitDefaults(r);
  return r;
}

namespace {

template <class T>
T loadShared(const T& value) {
  return std::atomic_ref<T>(const_cast<T&>(value)).load(std::memory_order_relaxed);
}
template <class T>
void storeShared(T& target, T value) {
  std::atomic_ref<T>(target).store(value, std::memory_order_relaxed);
}

}  // namespace

std::string recordName(const ProgramRecord& r) {
  const std::size_t n = std::min<std::size_t>(loadShared(r.nameLength), kNameCapacity);
  std::string name(n, '\0');
  for (std::size_t i = 0; i < n; ++i) name[i] = loadShared(r.name[i]);
  return name;
}

void setRecordName(ProgramRecord& r, std::string_view text) {
  const std::size_t n = std::min<std::size_t>(text.size(), kNameCapacity);
  for (std::size_t i = 0; i < n; ++i) storeShared(r.name[i], text[i]);
  storeShared(r.nameLength, static_cast<std::uint8_t>(n));
}

void copySharedRecord(ProgramRecord& target, const ProgramRecord& source) {
  auto copy = [](auto& to, const auto& from) { storeShared(to, loadShared(from)); };
  for (int i = 0; i < kParamWordCount; ++i) copy(target.words[i], source.words[i]);
  copy(target.format, source.format);
  copy(target.nameLength, source.nameLength);
  for (int i = 0; i < kNameCapacity; ++i) copy(target.name[i], source.name[i]);
  for (std::size_t i = 0; i < sizeof target.reserved; ++i) copy(target.reserved[i], source.reserved[i]);
}

std::string displayName(std::string_view raw) {
  while (!raw.empty() && raw.back() == '\0') raw.remove_suffix(1);
  std::string out(raw);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E) c = '?';
  }
  return out;
}

bool recordsEqual(const ProgramRecord& a, const ProgramRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace korvo
