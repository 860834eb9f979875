#include "artworkData.h"

#include "artworkTable.h"

namespace korvo::artwork {

const std::vector<EmbeddedFile>& embeddedArtwork() {
  using namespace korvo::embedded;
  static const std::vector<EmbeddedFile> files = [] {
    struct Raw {
      const char* name;
      const unsigned char* data;
      std::size_t size;
    };
    const Raw raw[] = {KORVO_ARTWORK_TABLE};
    std::vector<EmbeddedFile> out;
    for (const Raw& r : raw)
      if (r.name) out.push_back({r.name, r.data, r.size});
    return out;
  }();
  return files;
}

const EmbeddedFile* findArtwork(std::string_view name) {
  for (const EmbeddedFile& f : embeddedArtwork())
    if (name == f.name) return &f;
  return nullptr;
}

}  // namespace korvo::artwork
