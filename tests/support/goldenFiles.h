// Where the tests' golden files live in the source tree. KORVO_REGEN_GOLDEN=1 writes them anew
// instead of comparing (pictures through matchesGolden, text files through regeneratingGolden).
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

namespace korvo::test {

// tests/<suite>/golden/ in the source tree, with the closing separator.
inline std::string goldenDir(const std::string& suite) {
  const char* src = std::getenv("KORVO_SOURCE_DIR");
  return std::string(src ? src : ".") + "/tests/" + suite + "/golden/";
}

// The golden picture of a control, a dialog or the editor window (tests/ui/golden/NAME.png).
inline std::string goldenPath(const std::string& name) { return goldenDir("ui") + name + ".png"; }

inline bool regeneratingGolden() {
  const char* v = std::getenv("KORVO_REGEN_GOLDEN");
  return v != nullptr && std::strcmp(v, "1") == 0;
}

}  // namespace korvo::test
