// Small image strips for the control tests, made with the GIF writer and read back through
// TAniGIF as the window does.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AniGIF.h"
#include "gifWrite.h"

namespace korvo::test {

// `count` frames of w x h; frame i is filled with a colour that encodes i and has a dark
// border, so tests can tell frames apart by a pixel.
inline Pixel stripColour(int i) {
  return rgb(static_cast<unsigned>(40 + 20 * i), 200, static_cast<unsigned>(255 - 10 * i));
}

inline void makeStrip(TAniGIF& strip, int count, int w, int h) {
  std::vector<Image> frames;
  for (int i = 0; i < count; ++i) {
    Image img(w, h, rgb(10, 10, 10));
    Canvas c(img);
    c.fillRect({1, 1, w - 1, h - 1}, stripColour(i));
    frames.push_back(std::move(img));
  }
  std::vector<std::uint8_t> bytes;
  std::string err;
  ASSERT_TRUE(artwork::encodeStrip(frames, bytes, &err)) << err;
  strip.SetGIFBytes(bytes);
  strip.Loaded();
  ASSERT_TRUE(strip.IsLoaded());
}

}  // namespace korvo::test
