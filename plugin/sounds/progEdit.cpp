#include "progEdit.h"

#include "progPack.h"

namespace korvo {

void Ckv_progEdit::SetName(std::string_view text) {
  if (current_ == nullptr) return;
  setRecordName(*current_, text);
  SetModified();
}

std::string Ckv_progEdit::GetName() const { return current_ != nullptr ? recordName(*current_) : std::string(); }

void Ckv_progEdit::InitRecord(void* block) {
  if (block == nullptr) return;
  CparamEditorBase::InitRecord(block);
  setInitDefaults(*static_cast<ProgramRecord*>(block));
}

void Ckv_progEdit::Attach(ProgramRecord* record) {
  record_ = reinterpret_cast<std::uint8_t*>(record);
  current_ = record;
}

void Ckv_progEdit::UnpackProgram(ProgramRecord* record, const std::uint8_t* body) {
  if (record == nullptr || body == nullptr) return;
  InitRecord(record);
  unpackProgramFields(*record, body);
}

void Ckv_progEdit::PackProgram(const ProgramRecord* record, std::uint8_t* body) const {
  if (record == nullptr || body == nullptr) return;
  packProgram(*record, body);
}

}  // namespace korvo
