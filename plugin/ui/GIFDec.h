// CGIFDecoder: reads a GIF (87a or 89a) held in memory and renders its frames, in file order,
// as pictures of the whole logical screen. The editor's knob, button and browse-button strips
// are such files: frame n is picture n of the strip, so delays and looping are not read.
//
// The bytes are hostile input: every read is bounds-checked, a block, colour table or image
// data that runs past the end makes the file unusable, and the screen size is limited so a
// small file cannot ask for gigabytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "canvas.h"

namespace korvo {

class CGIFDecoder {
 public:
  // Largest logical screen side, and the most pixels all frames of one file may hold.
  static constexpr int kMaxSide = 4096;
  static constexpr std::size_t kMaxTotalPixels = 32u * 1024u * 1024u;
  // A single LZW code may expand to at most this many pixels.
  static constexpr int kMaxCodeLength = 1024;

  // Parses the whole file at once; the bytes are copied.
  CGIFDecoder(const std::uint8_t* data, std::size_t size);

  bool usable() const { return usable_; }
  int width() const { return width_; }
  int height() const { return height_; }
  int frameCount() const { return static_cast<int>(frames_.size()); }
  int backgroundIndex() const { return background_; }

  // Renders the next frame (0, 1, ...) into `out` (resized to the screen). False when the
  // file is not usable or every frame has been rendered.
  bool RenderNextFrame(Image& out);

  // Decodes every frame; false (and `frames` untouched) when the file is not usable.
  static bool DecodeAll(const std::uint8_t* data, std::size_t size, std::vector<Image>& frames);

 private:
  struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    bool hasLocalTable = false;
    std::vector<Pixel> localTable;
    int transparent = 0;
    int disposal = 0;
    int minCodeSize = 0;
    std::vector<std::uint8_t> data;
  };
  bool parse(const std::uint8_t* data, std::size_t size);
  void decodeInto(const Frame& f);

  bool usable_ = false;
  int width_ = 0;
  int height_ = 0;
  int background_ = 0;
  std::vector<Pixel> globalTable_;
  std::vector<Frame> frames_;
  std::vector<std::uint8_t> current_;
  std::vector<std::uint8_t> previous_;
  std::size_t next_ = 0;
};

}  // namespace korvo
