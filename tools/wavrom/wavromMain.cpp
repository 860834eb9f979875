// Writes the open wave ROM image to the path given on the command line.
#include <cstdio>

#include "VSTaux.h"
#include "wavromDesign.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output wavrom.bin>\n", argv[0]);
    return 2;
  }
  const auto rom = korvo::wavrom::buildWaveRom();
  if (korvo::writeWholeFile(argv[1], rom.data(), rom.size()) != 0) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
