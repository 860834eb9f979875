// The parameter editor of a sound record: 256 words, the name, the fresh-record defaults and the
// conversion to and from the hardware form.
#pragma once

#include <cstdint>

#include "paramEditor.h"
#include "progRecord.h"

namespace korvo {

class Ckv_progEdit : public CparamEditorBase {
 public:
  Ckv_progEdit() : CparamEditorBase(nullptr, kProgramRecordSize) {}

  int ParamCount() const override { return kParamWordCount; }
  // At most 15 characters become the current record's name; sets the modified flag.
  void SetName(std::string_view text) override;
  std::string GetName() const override;
  // Zero-fill (base) then the defaults of a fresh "INIT" sound.
  void InitRecord(void* block) override;

  // Binds the editor to a record; it becomes both the edited and the current (named) record.
  void Attach(ProgramRecord* record);
  ProgramRecord* Current() const { return current_; }

  static constexpr int PackedSize() { return 204; }
  // The 204 nybble bytes into `record`: it is first made a fresh record through InitRecord (so the
  // modified flag is set), then every hardware field is converted.
  void UnpackProgram(ProgramRecord* record, const std::uint8_t* body);
  void PackProgram(const ProgramRecord* record, std::uint8_t* body) const;

 private:
  ProgramRecord* current_ = nullptr;
};

}  // namespace korvo
