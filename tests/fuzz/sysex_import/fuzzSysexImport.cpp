// SysEx dump import: the program manager's single and bank import (checked and unchecked) and the
// librarian's reader of files with many messages. A checked import that fails must leave the
// target untouched.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "patchIo.h"
#include "progMan.h"
#include "soundText.h"

using namespace korvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Ckv_progMan pm;
  const ProgramRecord before = *pm.EditRecord();
  if (!pm.ImportSingle(0, data, true, size) && !recordsEqual(before, *pm.EditRecord())) std::abort();
  pm.ImportSingle(0, data, false, size);
  (void)displayName(*pm.EditRecord());
  const int first = size > 5 ? data[size - 1] % 130 - 1 : 0;
  pm.ImportBank(first, data, true, size);
  pm.ImportBank(first, data, false, size);

  patch::SoundFile file;
  std::string error;
  if (patch::readSysEx(data, size, file, error)) {
    if (file.sounds.empty()) std::abort();
    for (const patch::Sound& s : file.sounds) (void)soundToText(s.record, -1);
  } else if (error.empty()) {
    std::abort();
  }
  return 0;
}
