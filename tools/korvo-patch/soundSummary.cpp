#include "soundSummary.h"

#include <cstdio>

#include "progFormat.h"

namespace korvo::patch {

std::string soundSummary(const ProgramRecord& r) {
  std::string s;
  for (int o = 0; o < 3; ++o) {
    const int wave = r.words[word::kOsc[o] + word::kOscWave];
    std::string name(waveNameTrimmed(wave));
    if (name.empty()) name = "WAV" + std::to_string(wave);
    if (r.words[word::kDca[o] + word::kDcaEnable] <= 0) name = "(" + name + ")";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%-9s", name.c_str());
    s += buf;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, " filter %3d res %2d  %s", r.words[word::kFilter + word::kFiltFreq],
                r.words[word::kFilter + word::kFiltRes], r.words[word::kMode + word::kModeMono] > 0 ? "mono" : "poly");
  return s + buf;
}

}  // namespace korvo::patch
