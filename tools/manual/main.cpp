// korvo-manual: writes what the manual takes from the program itself.
//   korvo-manual pages FILE.md                      the page reference, from the LCD page set
//   korvo-manual pictures DATA_FOLDER WORK OUT_DIR  the pictures, drawn by the headless editor
// Exit 0 on success; 1 with a message when something could not be written; 2 on wrong use.
#include <cstdio>
#include <filesystem>
#include <string>

#include "VSTaux.h"
#include "lcdPages.h"
#include "manualPages.h"
#include "manualPictures.h"

int main(int argc, char** argv) {
  using namespace korvo;
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "pages" && argc == 3) {
    const std::string md = pageReference(lcdPages());
    if (writeWholeFile(argv[2], md.data(), md.size()) != 0)
      return std::fprintf(stderr, "korvo-manual: cannot write %s\n", argv[2]), 1;
    return 0;
  }
  if (command == "pictures" && argc == 5) {
    std::error_code ec;
    std::filesystem::create_directories(argv[4], ec);
    const PictureRun run = makeManualPictures(argv[2], argv[3], argv[4]);
    if (!run.error.empty()) return std::fprintf(stderr, "korvo-manual: %s\n", run.error.c_str()), 1;
    std::printf("korvo-manual: %zu pictures in %s\n", run.written.size(), argv[4]);
    return 0;
  }
  std::fprintf(stderr,
               "usage: korvo-manual pages FILE.md\n"
               "       korvo-manual pictures DATA_FOLDER WORK_FOLDER OUT_DIR\n");
  return 2;
}
