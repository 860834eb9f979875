// The editor window's pictures, drawn by program: the knob strip, the browse-button and button
// strips, the logo, the three menu images and the five button captions, in the window's
// colours. Deterministic: the same build always yields the same bytes.
//
// At 100 % the build stores them as GIF files in the plug-in (tools/artwork); for a larger
// window the editor draws each one again at the device resolution, so knobs, buttons and
// captions stay sharp instead of being stretched.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "canvas.h"

namespace korvo::artwork {

struct Picture {
  std::string fileName;       // "knob2.gif", ...
  std::vector<Image> frames;  // one for a still picture
};

// Every picture the window uses, with its frames, at 100 %.
std::vector<Picture> drawAll();

// Frame `frame` of the picture stored as `fileName`, drawn for a scale in percent (its size is
// the picture's size scaled like the canvas maps it, and its Image scale is set). Empty for an
// unknown name or frame.
Image drawPicture(std::string_view fileName, int frame, int percent);

// Frame counts and sizes the window relies on.
inline constexpr int kKnobFrames = 64;
inline constexpr int kKnobSize = 40;
inline constexpr int kBrowseFrames = 4;  // up, up pressed, down, down pressed (indexes 0 and 2 used)
inline constexpr int kButtonFrames = 6;  // three looks, each with a pressed frame (indexes 0, 2, 4)

}  // namespace korvo::artwork
