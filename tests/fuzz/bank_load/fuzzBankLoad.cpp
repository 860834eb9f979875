// Library and backup images: the size and version checks, loading into the sound manager and
// everything that then reads the records (names with any length byte, the text form).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "patchIo.h"
#include "progBank.h"
#include "soundText.h"

using namespace korvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Short inputs are padded out to a whole image behind a valid header, so the fuzzer reaches the
  // record contents without having to grow 69652 bytes itself.
  std::vector<uint8_t> image(data, data + size);
  if (size > 0 && size < static_cast<size_t>(kBankSize) && data[0] == 'P') {
    image.assign(kBankSize, 0);
    image[0] = 1;
    for (size_t i = 1; i < size; ++i) image[20 + (i * 131) % (kBankSize - 20)] = data[i];
  }
  const BankImageStatus lib = checkLibraryImage(image.data(), image.size());
  const BankImageStatus backup = checkBackupImage(image.data(), image.size());
  if (backup == BankImageStatus::Ok && lib != BankImageStatus::Ok) std::abort();

  Ckv_soundMan sm;
  sm.SelectProgram(0);
  if (lib == BankImageStatus::Ok) {
    if (!sm.LoadBank(image.data())) std::abort();
    for (int n = 0; n < kProgramCount; ++n) {
      const ProgramRecord& r = *sm.ProgMan().RecordAt(Ckv_progMan::SlotOf(n));
      sm.SelectProgram(n);
      if (sm.Editor().GetName().size() > 15) std::abort();
      if (n % 32 != 0 && n != 127) continue;  // the text round trip is slow; a few programs suffice
      std::vector<TextSound> back;
      std::string error;
      if (!parseSoundText(soundToText(r, n), back, error) || back.size() != 1 || !recordsEqual(back[0].record, r))
        std::abort();
    }
  } else if (sm.Modified()) {
    std::abort();
  }
  patch::SoundFile file;
  std::string error;
  if (patch::readBank(image.data(), image.size(), file, error) != (lib == BankImageStatus::Ok)) std::abort();
  return 0;
}
