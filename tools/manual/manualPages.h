// The manual's page reference, written from the LCD page set: one section per page with its
// picture and a row per field (knob, range, what the values look like, the help text the status
// line shows, the name the sound's text form uses), then the wave and modulation source tables.
// Everything comes from lcdPages() and the formatters, so the manual says what the editor does.
#pragma once

#include <string>
#include <vector>

#include "lcdPages.h"

namespace korvo {

// The picture of page `index` (0-based) as the manual names it: "pictures/page-01.png".
std::string pagePicturePath(int index);

// The Markdown of the reference for `pages` (the whole page set in the manual).
std::string pageReference(const std::vector<LcdPage>& pages);

}  // namespace korvo
