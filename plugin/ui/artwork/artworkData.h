// The editor window's GIF pictures, embedded at build time (made by korvo-artwork).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace korvo::artwork {

struct EmbeddedFile {
  const char* name;  // "knob2.gif", "browseButtons.gif", "butt.gif", "logo.gif", ...
  const std::uint8_t* data;
  std::size_t size;
};

const std::vector<EmbeddedFile>& embeddedArtwork();
// The file of that name, or null.
const EmbeddedFile* findArtwork(std::string_view name);

}  // namespace korvo::artwork
