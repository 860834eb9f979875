// The artwork generator's side of the editor's pictures: drawing lives with the editor
// (panelArt.h); this encodes them as the GIF files the build embeds.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "panelArt.h"

namespace korvo::artwork {

// Encodes every picture as a GIF; fails with a reason when one cannot be encoded.
bool encodeAll(const std::vector<Picture>& pictures,
               std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& files, std::string* error);

}  // namespace korvo::artwork
