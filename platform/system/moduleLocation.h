// Where the binary holding this code lives (the plug-in library when called from it).
#pragma once

#include <string>

namespace korvo {

// Full path of the module (shared library or program) that contains this function; empty when
// the system cannot tell.
std::string thisModulePath();

// The folder part of a path ("" when there is none).
std::string folderOf(const std::string& path);

}  // namespace korvo
