#include "soundMan.h"

#include <cstring>

namespace korvo {

bool Ckv_soundMan::SelectProgram(int n) {
  if (Ckv_progMan::SlotOf(n) < 0) return false;
  progMan_.CopySlot(Ckv_progMan::SlotOf(n), Ckv_progMan::EditSlot());
  currentProgram_ = n;
  return true;
}

bool Ckv_soundMan::SelectProgramRealtime(int n) {
  const ProgramRecord* source = progMan_.RecordAt(Ckv_progMan::SlotOf(n));
  if (Ckv_progMan::SlotOf(n) < 0 || source == nullptr) return false;
  copySharedRecord(*progMan_.EditRecord(), *source);
  progMan_.Editor().ClearModified();
  currentProgram_.store(n, std::memory_order_relaxed);
  return true;
}

bool Ckv_soundMan::WriteProgram(int n) {
  if (Ckv_progMan::SlotOf(n) < 0) return false;
  progMan_.CopySlot(Ckv_progMan::EditSlot(), Ckv_progMan::SlotOf(n));
  progMan_.Editor().ClearModified();
  currentProgram_ = n;
  return true;
}

bool Ckv_soundMan::LoadEdit(const void* record) {
  if (record == nullptr) return false;
  ProgramRecord r;
  std::memcpy(&r, record, sizeof r);
  if (r.format != kRecordFormat) return false;
  progMan_.StoreSlot(Ckv_progMan::EditSlot(), r);
  return true;
}

void Ckv_soundMan::SaveEdit(void* buffer) {
  if (buffer == nullptr) return;
  ProgramRecord r;
  progMan_.FetchSlot(Ckv_progMan::EditSlot(), r);
  std::memcpy(buffer, &r, sizeof r);
}

bool Ckv_soundMan::LoadBank(const void* buffer) {
  if (buffer == nullptr) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  std::int32_t version;
  std::memcpy(&version, bytes, sizeof version);
  if (version != kBankVersion) return false;
  for (int n = 0; n < kProgramCount; ++n)
    std::memcpy(progMan_.RecordAt(Ckv_progMan::SlotOf(n)), bytes + kBankHeaderSize + kProgramRecordSize * n,
                kProgramRecordSize);
  progMan_.Editor().SetModified();
  return true;
}

void Ckv_soundMan::SaveBank(void* buffer) const {
  if (buffer == nullptr) return;
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  std::memset(bytes, 0, kBankHeaderSize);
  const std::int32_t version = kBankVersion;
  std::memcpy(bytes, &version, sizeof version);
  for (int n = 0; n < kProgramCount; ++n)
    std::memcpy(bytes + kBankHeaderSize + kProgramRecordSize * n, progMan_.RecordAt(Ckv_progMan::SlotOf(n)),
                kProgramRecordSize);
}

void Ckv_soundMan::PlayNote(int /*channel*/, int note, int velocity) {
  if (!onNote_.Assigned()) return;
  static constexpr NoteParams params = kDefaultNoteParams;
  onNote_.code(onNote_.object, note + params.transpose, velocity, &params, Ckv_progMan::EditSlot(),
               progMan_.EditRecord());
}

}  // namespace korvo
