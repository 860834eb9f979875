#include "artwork.h"

#include "gifWrite.h"

namespace korvo::artwork {

bool encodeAll(const std::vector<Picture>& pictures,
               std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& files, std::string* error) {
  files.clear();
  for (const Picture& p : pictures) {
    std::vector<std::uint8_t> bytes;
    std::string why;
    if (!encodeStrip(p.frames, bytes, &why)) {
      if (error) *error = p.fileName + ": " + why;
      return false;
    }
    files.emplace_back(p.fileName, std::move(bytes));
  }
  return true;
}

}  // namespace korvo::artwork
