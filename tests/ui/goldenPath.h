// Where the golden pictures of the controls live (regenerate with KORVO_REGEN_GOLDEN=1).
#pragma once

#include <cstdlib>
#include <string>

namespace korvo::test {

inline std::string goldenPath(const std::string& name) {
  const char* src = std::getenv("KORVO_SOURCE_DIR");
  return std::string(src ? src : ".") + "/tests/ui/golden/" + name + ".png";
}

}  // namespace korvo::test
