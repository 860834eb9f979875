// korvo-lv2-ttl BUNDLE BINARY FACTORY.KVL: writes manifest.ttl, korvo.ttl and presets.ttl of the
// LV2 bundle from the parameter list and the factory library.
#include <cstdio>
#include <string>
#include <vector>

#include "VSTaux.h"
#include "lv2Ttl.h"
#include "progBank.h"

int main(int argc, char** argv) {
  using namespace korvo;
  if (argc != 4) {
    std::fprintf(stderr, "usage: korvo-lv2-ttl BUNDLE-FOLDER BINARY-NAME FACTORY.KVL\n");
    return 2;
  }
  const std::string bundle = argv[1];
  Ckv_soundMan sounds;
  if (const BankImageStatus status = loadLibraryFile(sounds, argv[3]); status != BankImageStatus::Ok) {
    std::fprintf(stderr, "korvo-lv2-ttl: %s: %s\n", argv[3], describe(status));
    return 1;
  }
  std::vector<ProgramRecord> programs(kProgramCount);
  for (int i = 0; i < kProgramCount; ++i) {
    sounds.SelectProgram(i);
    sounds.SaveEdit(&programs[static_cast<std::size_t>(i)]);
  }
  const std::pair<const char*, std::string> files[] = {
      {"manifest.ttl", lv2::manifestTtl(argv[2], programs)},
      {"korvo.ttl", lv2::pluginTtl()},
      {"presets.ttl", lv2::presetsTtl(programs)},
  };
  for (const auto& [name, text] : files) {
    const std::string path = bundle + "/" + name;
    if (writeWholeFile(path, text.data(), text.size()) != 0) {
      std::fprintf(stderr, "korvo-lv2-ttl: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
