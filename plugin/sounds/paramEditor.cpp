#include "paramEditor.h"

#include <cstring>

#include "sharedWord.h"

namespace korvo {

namespace {
// The block is an array of 16-bit words (a sound record), so word `index` is an int16_t object.
std::int16_t& wordAt(std::uint8_t* record, int index) { return reinterpret_cast<std::int16_t*>(record)[index]; }
}  // namespace

int CparamEditorBase::GetParam(int index) const {
  if (record_ == nullptr || static_cast<unsigned>(index) >= static_cast<unsigned>(ParamCount())) return 0;
  return loadSharedWord(wordAt(record_, index));
}

// The render may be reading this word (it is the edit buffer): one atomic store, never a
// byte-wise copy.
void CparamEditorBase::SetParam(int index, int value) {
  if (record_ == nullptr || static_cast<unsigned>(index) >= static_cast<unsigned>(ParamCount())) return;
  std::int16_t& w = wordAt(record_, index);
  if (value != loadSharedWord(w)) SetModified();
  storeSharedWord(w, static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF)));
}

void CparamEditorBase::InitRecord(void* block) {
  if (block == nullptr) return;
  std::memset(block, 0, static_cast<std::size_t>(recordSize_));
  SetModified();
}

void CparamEditorBase::LoadFrom(const void* source) {
  if (record_ == nullptr) return;
  if (source != nullptr) {
    std::memcpy(record_, source, static_cast<std::size_t>(recordSize_));
    ClearModified();
  } else {
    InitCurrent();
  }
}

void CparamEditorBase::SaveTo(void* target) {
  if (record_ == nullptr || target == nullptr) return;
  std::memcpy(target, record_, static_cast<std::size_t>(recordSize_));
  ClearModified();
}

void CparamEditorBase::CopyInto(void* target, const void* source) const {
  if (target != nullptr && source != nullptr) std::memcpy(target, source, static_cast<std::size_t>(recordSize_));
}

void CparamEditorBase::CopyOut(const void* source, void* target) const {
  if (target != nullptr && source != nullptr) std::memcpy(target, source, static_cast<std::size_t>(recordSize_));
}

}  // namespace korvo
