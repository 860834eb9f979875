// The program memory: the edit buffer and programs 0..127 as 129 records, the editor bound to
// the edit buffer, and the dump operations that move programs in and out of SysEx messages.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "progEdit.h"
#include "progRecord.h"

namespace korvo {

inline constexpr int kProgramCount = 128;
inline constexpr int kSlotCount = kProgramCount + 1;

class Ckv_progMan {
 public:
  // Every slot becomes a fresh "INIT" record and the editor is attached to the edit buffer.
  Ckv_progMan();
  Ckv_progMan(const Ckv_progMan&) = delete;
  Ckv_progMan& operator=(const Ckv_progMan&) = delete;

  static constexpr int SlotOf(int program) { return program >= 0 && program < kProgramCount ? program + 1 : -1; }
  static constexpr int EditSlot() { return 0; }
  ProgramRecord* EditRecord() { return &slots_[0]; }
  const ProgramRecord* EditRecord() const { return &slots_[0]; }
  // slot < 0 is the edit buffer; 0..128 that slot; above 128 none (null).
  ProgramRecord* RecordAt(int slot);
  const ProgramRecord* RecordAt(int slot) const;

  void InitSlot(int slot);
  void InitAllPrograms();
  void InitAllSlots();
  void CopySlot(int src, int dst);
  void StoreSlot(int slot, const ProgramRecord& record);
  void FetchSlot(int slot, ProgramRecord& out);

  // Dump frame ------------------------------------------------------------------------------
  static bool CheckSysExHeader(const std::uint8_t* message, std::size_t size, int& command);
  static bool BuildSysExHeader(std::uint8_t* buffer, int kind, std::uint8_t channel);

  // With `check`, the header must be ours with command 1 and the program body must be nybbles;
  // size must reach 209 bytes in any case. Unpacks the body at offset 5 into the slot.
  bool ImportSingle(int slot, const std::uint8_t* message, bool check, std::size_t size);
  // With `check`, the header must be ours with command 2 and the body nybbles; size must reach
  // 8165. Entry i goes to program first + i; the loop stops with false at the first position
  // outside 0..127, leaving the programs already written as they are.
  bool ImportBank(int first, const std::uint8_t* message, bool check, std::size_t size);
  // Whether ImportBank takes the message (before it looks at the target positions).
  static bool BankMessageAcceptable(const std::uint8_t* message, bool check, std::size_t size);
  // A 210-byte single dump of the slot (channel 00); false and an empty buffer for no slot.
  bool ExportSingle(int slot, std::vector<std::uint8_t>& out) const;
  // An 8166-byte bank dump of programs first..first+39; false and empty when it passes 127.
  bool ExportBank(int first, std::vector<std::uint8_t>& out) const;

  Ckv_progEdit& Editor() { return editor_; }
  const Ckv_progEdit& Editor() const { return editor_; }

 private:
  std::array<ProgramRecord, kSlotCount> slots_{};
  Ckv_progEdit editor_;
};

}  // namespace korvo
