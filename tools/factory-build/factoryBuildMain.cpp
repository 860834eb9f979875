// korvo-factory-build: compiles the factory sound texts into the factory library and the first
// backup file (the same 128 programs in both).
//
//   korvo-factory-build LIBRARY.kvl BACKUP.dat SOURCE.txt...
#include <cstdio>
#include <string>
#include <vector>

#include "VSTaux.h"
#include "factoryBank.h"

using namespace korvo;
using namespace korvo::factory;

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: korvo-factory-build LIBRARY.kvl BACKUP.dat SOURCE.txt...\n", stderr);
    return 2;
  }
  const std::vector<std::string> paths(argv + 3, argv + argc);
  std::vector<SourceText> sources;
  std::string error;
  if (!readSources(paths, sources, error)) {
    std::fprintf(stderr, "korvo-factory-build: %s\n", error.c_str());
    return 1;
  }
  FactoryBank bank;
  std::vector<std::string> errors;
  if (!assembleFactory(sources, bank, errors)) {
    for (const std::string& e : errors) std::fprintf(stderr, "korvo-factory-build: %s\n", e.c_str());
    std::fprintf(stderr, "korvo-factory-build: %zu problem%s; nothing written\n", errors.size(),
                 errors.size() == 1 ? "" : "s");
    return 1;
  }
  const std::vector<std::uint8_t> image = bankImage(bank);
  for (int i = 1; i <= 2; ++i) {
    if (const int rc = writeWholeFile(argv[i], image.data(), image.size()); rc != 0) {
      std::fprintf(stderr, "korvo-factory-build: %s: write failed (error %d)\n", argv[i], rc);
      return 1;
    }
  }
  std::printf("korvo-factory-build: 128 sounds from %zu files into %s and %s\n", paths.size(), argv[1], argv[2]);
  return 0;
}
