// Writing GIF files with giflib: the artwork generator's output format, also used by the tests
// to make valid GIFs for the decoder. Host tool code: links Debian's giflib.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "canvas.h"

namespace korvo::artwork {

struct GifFrameSpec {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool interlaced = false;
  std::vector<Pixel> localPalette;  // empty: the global one; else 2, 4, ... 256 entries
  bool graphicControl = false;      // write a graphic control extension before the frame
  int transparent = -1;             // -1: no transparency flag
  int disposal = 0;
  int delayCentiseconds = 0;
  std::vector<std::uint8_t> indices;  // width x height, rows top to bottom
};

struct GifSpec {
  int width = 0;
  int height = 0;
  int background = 0;
  std::vector<Pixel> globalPalette;  // empty or 2, 4, ... 256 entries
  bool loop = false;                 // NETSCAPE looping extension (skipped by readers that ignore it)
  std::vector<GifFrameSpec> frames;
};

// Encodes the file; false with a reason in `error` when giflib refuses.
bool encodeGif(const GifSpec& spec, std::vector<std::uint8_t>& out, std::string* error = nullptr);

// Strip helpers: indexes pictures into one shared palette (their colours when at most 255,
// else the 255 most frequent with the rest mapped to the nearest; padded to a power of two
// with an unused background entry) and writes each
// picture as a full-screen frame.
bool encodeStrip(const std::vector<Image>& frames, std::vector<std::uint8_t>& out, std::string* error = nullptr);

}  // namespace korvo::artwork
