// The editor window's pictures, drawn by program: the knob strip, the browse-button and button
// strips, the logo, the three menu images and the five button captions, in the window's
// colours. Deterministic: the same build always yields the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "canvas.h"

namespace korvo::artwork {

struct Picture {
  std::string fileName;       // "knob2.gif", ...
  std::vector<Image> frames;  // one for a still picture
};

// Every picture the window uses, with its frames.
std::vector<Picture> drawAll();

// Frame counts and sizes the window relies on.
inline constexpr int kKnobFrames = 64;
inline constexpr int kKnobSize = 40;
inline constexpr int kBrowseFrames = 4;  // up, up pressed, down, down pressed (indexes 0 and 2 used)
inline constexpr int kButtonFrames = 6;  // three looks, each with a pressed frame (indexes 0, 2, 4)

// Encodes every picture as a GIF; fails with a reason when one cannot be encoded.
bool encodeAll(const std::vector<Picture>& pictures, std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& files,
               std::string* error);

}  // namespace korvo::artwork
