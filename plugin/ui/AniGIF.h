// TAniGIF: a non-visual holder of one GIF image strip. The window description stores the file
// ("GIFData": a 32-bit little-endian byte count, then the bytes); after the window is loaded
// every frame is decoded once and the controls pick frames by index (knob angle, button state).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "canvas.h"

namespace korvo {

class TAniGIF {
 public:
  // Name of the GIF the strip was made from; informational only.
  std::string RessourceName;
  // Raised after decoding at load time, also when decoding failed.
  std::function<void(TAniGIF&)> OnReady;

  // Reads the stored "GIFData" property. False (and nothing kept) when the count runs past
  // the stored bytes.
  bool ReadGIFData(const std::uint8_t* stored, std::size_t size);
  // The stored form of the current bytes (for writing a window description).
  std::vector<std::uint8_t> WriteGIFData() const;
  // Keeps a GIF file's bytes directly.
  void SetGIFBytes(std::vector<std::uint8_t> file) { bytes_ = std::move(file); }
  const std::vector<std::uint8_t>& GIFBytes() const { return bytes_; }

  // Called once the window is loaded: decodes all frames and raises OnReady. When decoding
  // fails the bytes are dropped and the strip has no frames.
  void Loaded();

  // Frame image, or null when not loaded, for a negative index or index >= FrameCount().
  const Image* Frame(int index) const;
  // The frame for a canvas at `percent`: at 100 % the decoded one; otherwise drawn anew by
  // drawAtScale (kept until the scale changes), or the decoded one when that is unset, which
  // the canvas then resamples.
  const Image* Frame(int index, int percent) const;
  // Draws frame `index` for a scale; set by whoever knows how the strip was made.
  std::function<Image(int index, int percent)> drawAtScale;
  int FrameCount() const { return static_cast<int>(frames_.size()); }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // True only when every frame decoded.
  bool IsLoaded() const { return loaded_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::vector<Image> frames_;
  mutable std::vector<Image> scaled_;
  mutable int scaledPercent_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool loaded_ = false;
};

}  // namespace korvo
