// Golden pictures: compares `actual` with the PNG at `goldenFile`. With the environment variable
// KORVO_REGEN_GOLDEN set to 1 the golden file is (re)written instead and the check passes. Two
// pictures match when their sizes agree and no channel of any pixel differs by more than
// `tolerance`, for at most `maxBadPixels` pixels. `why` receives a short reason.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "canvas.h"
#include "goldenFiles.h"

namespace korvo {

inline bool matchesGolden(const Image& actual, const std::string& goldenFile, std::string* why = nullptr,
                          int tolerance = 8, int maxBadPixels = 0) {
  if (test::regeneratingGolden()) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(goldenFile).parent_path(), ec);
    const bool ok = savePng(actual, goldenFile);
    if (why) *why = ok ? "regenerated" : "cannot write " + goldenFile;
    return ok;
  }
  Image golden;
  if (!loadPng(goldenFile, golden)) {
    if (why) *why = "missing golden " + goldenFile + " (run with KORVO_REGEN_GOLDEN=1)";
    return false;
  }
  if (golden.width() != actual.width() || golden.height() != actual.height()) {
    if (why)
      *why = "size " + std::to_string(actual.width()) + "x" + std::to_string(actual.height()) + " vs golden " +
             std::to_string(golden.width()) + "x" + std::to_string(golden.height());
    return false;
  }
  int bad = 0;
  for (std::size_t i = 0; i < golden.pixels().size(); ++i) {
    const Pixel a = actual.pixels()[i];
    const Pixel g = golden.pixels()[i];
    for (int s = 0; s <= 16; s += 8) {
      const int d = static_cast<int>((a >> s) & 0xFF) - static_cast<int>((g >> s) & 0xFF);
      if (std::abs(d) > tolerance) {
        ++bad;
        break;
      }
    }
  }
  if (why) *why = std::to_string(bad) + " pixels differ beyond tolerance";
  return bad <= maxBadPixels;
}

}  // namespace korvo
