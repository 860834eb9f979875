// The manual's pictures, drawn by the shipped editor on the headless window host: the first
// show (at 100 % and 200 %), every page with its first field underlined and its help text in the
// status line, the program list, the menus, the value menu and every dialog a command opens.
#pragma once

#include <string>
#include <vector>

namespace korvo {

struct PictureRun {
  std::vector<std::string> written;  // file names inside the output folder, in order
  std::string error;                 // what failed; empty when all were written
};

// Draws every picture into `outDir` (which must exist). `dataFolder` holds the wave ROM and the
// factory backup the editor shows; `workFolder` takes the settings and the files the commands
// open (it is emptied first).
PictureRun makeManualPictures(const std::string& dataFolder, const std::string& workFolder, const std::string& outDir);

}  // namespace korvo
