// The factory compiler over any texts: it either builds a complete bank (and then every program
// is placed, and its image is a library image) or refuses with at least one message.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "factoryBank.h"
#include "progBank.h"

using namespace korvo;
using namespace korvo::factory;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Two files: the input split at its first form feed, so doubles across files are reached too.
  const std::string all(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = all.find('\f');
  std::vector<SourceText> sources = {{"a.txt", all.substr(0, cut)}};
  if (cut != std::string::npos) sources.push_back({"b.txt", all.substr(cut + 1)});
  FactoryBank bank;
  std::vector<std::string> errors;
  if (!assembleFactory(sources, bank, errors)) {
    if (errors.empty()) std::abort();
    return 0;
  }
  for (bool placed : bank.placed)
    if (!placed) std::abort();
  const std::vector<std::uint8_t> image = bankImage(bank);
  if (checkLibraryImage(image.data(), image.size()) != BankImageStatus::Ok) std::abort();
  return 0;
}
