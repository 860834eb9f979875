#include "progMan.h"

#include "sysexFrame.h"

namespace korvo {

Ckv_progMan::Ckv_progMan() {
  InitAllSlots();
  editor_.Attach(&slots_[0]);
}

ProgramRecord* Ckv_progMan::RecordAt(int slot) {
  if (slot < 0) return &slots_[0];
  if (slot < kSlotCount) return &slots_[static_cast<std::size_t>(slot)];
  return nullptr;
}

const ProgramRecord* Ckv_progMan::RecordAt(int slot) const { return const_cast<Ckv_progMan*>(this)->RecordAt(slot); }

void Ckv_progMan::InitSlot(int slot) {
  ProgramRecord* r = RecordAt(slot);
  if (r == nullptr) return;
  // InitRecord sets the editor's flag whatever record it initialises.
  editor_.InitRecord(r);
}

void Ckv_progMan::InitAllPrograms() {
  for (int n = 0; n < kProgramCount; ++n) InitSlot(SlotOf(n));
}

void Ckv_progMan::InitAllSlots() {
  for (int s = 0; s < kSlotCount; ++s) InitSlot(s);
}

void Ckv_progMan::CopySlot(int src, int dst) {
  const ProgramRecord* from = RecordAt(src);
  ProgramRecord* to = RecordAt(dst);
  if (from == nullptr || to == nullptr) return;
  if (from != to) *to = *from;
  if (to == EditRecord()) editor_.ClearModified();
}

void Ckv_progMan::StoreSlot(int slot, const ProgramRecord& record) {
  ProgramRecord* to = RecordAt(slot);
  if (to == nullptr) return;
  if (to != &record) *to = record;
  if (to == EditRecord()) editor_.ClearModified();
}

void Ckv_progMan::FetchSlot(int slot, ProgramRecord& out) {
  const ProgramRecord* from = RecordAt(slot);
  if (from == nullptr) return;
  // A host may save its state while a program change or a learned controller rewrites the edit
  // buffer on the audio thread: word by word, as atomic loads.
  if (from != &out) copySharedRecord(out, *from);
  if (from == EditRecord()) editor_.ClearModified();
}

bool Ckv_progMan::CheckSysExHeader(const std::uint8_t* message, std::size_t size, int& command) {
  return checkSysExHeader(message, size, command);
}

bool Ckv_progMan::BuildSysExHeader(std::uint8_t* buffer, int kind, std::uint8_t channel) {
  return buildSysExHeader(buffer, kind, channel);
}

bool Ckv_progMan::ImportSingle(int slot, const std::uint8_t* message, bool check, std::size_t size) {
  if (message == nullptr) return false;
  if (check) {
    int command = -1;
    if (!checkSysExHeader(message, size, command) || command != kCommandSingle) return false;
  }
  if (size < kSysExHeaderSize + kPackedSize) return false;
  if (check && !bodyNybblesValid(message + kSysExHeaderSize, kPackedSize)) return false;
  ProgramRecord* r = RecordAt(slot);
  if (r == nullptr) return false;
  editor_.UnpackProgram(r, message + kSysExHeaderSize);
  return true;
}

bool Ckv_progMan::BankMessageAcceptable(const std::uint8_t* message, bool check, std::size_t size) {
  if (message == nullptr) return false;
  constexpr std::size_t kBody = static_cast<std::size_t>(kBankPrograms) * kPackedSize;
  if (check) {
    int command = -1;
    if (!checkSysExHeader(message, size, command) || command != kCommandBank) return false;
  }
  if (size < kSysExHeaderSize + kBody) return false;
  return !check || bodyNybblesValid(message + kSysExHeaderSize, kBody);
}

bool Ckv_progMan::ImportBank(int first, const std::uint8_t* message, bool check, std::size_t size) {
  if (!BankMessageAcceptable(message, check, size)) return false;
  for (int i = 0; i < kBankPrograms; ++i) {
    const int slot = SlotOf(first + i);
    if (slot < 0) return false;
    editor_.UnpackProgram(RecordAt(slot), message + kSysExHeaderSize + static_cast<std::size_t>(kPackedSize * i));
  }
  return true;
}

bool Ckv_progMan::ExportSingle(int slot, std::vector<std::uint8_t>& out) const {
  out.clear();
  const ProgramRecord* r = RecordAt(slot);
  if (r == nullptr) return false;
  out.assign(kSingleMessageSize, 0);
  buildSysExHeader(out.data(), kCommandSingle, 0);
  editor_.PackProgram(r, out.data() + kSysExHeaderSize);
  out.back() = kSysExEnd;
  return true;
}

bool Ckv_progMan::ExportBank(int first, std::vector<std::uint8_t>& out) const {
  out.clear();
  if (SlotOf(first) < 0 || SlotOf(first + kBankPrograms - 1) < 0) return false;
  out.assign(kBankMessageSize, 0);
  buildSysExHeader(out.data(), kCommandBank, 0);
  for (int i = 0; i < kBankPrograms; ++i)
    editor_.PackProgram(RecordAt(SlotOf(first + i)),
                        out.data() + kSysExHeaderSize + static_cast<std::size_t>(kPackedSize * i));
  out.back() = kSysExEnd;
  return true;
}

}  // namespace korvo
