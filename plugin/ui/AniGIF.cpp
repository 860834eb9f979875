#include "AniGIF.h"

#include "GIFDec.h"

namespace korvo {

bool TAniGIF::ReadGIFData(const std::uint8_t* stored, std::size_t size) {
  if (!stored || size < 4) return false;
  const std::uint32_t count = static_cast<std::uint32_t>(stored[0]) | (static_cast<std::uint32_t>(stored[1]) << 8) |
                              (static_cast<std::uint32_t>(stored[2]) << 16) |
                              (static_cast<std::uint32_t>(stored[3]) << 24);
  if (count > size - 4) return false;
  bytes_.assign(stored + 4, stored + 4 + count);
  return true;
}

std::vector<std::uint8_t> TAniGIF::WriteGIFData() const {
  const auto n = static_cast<std::uint32_t>(bytes_.size());
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                                static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
  out.insert(out.end(), bytes_.begin(), bytes_.end());
  return out;
}

void TAniGIF::Loaded() {
  frames_.clear();
  scaled_.clear();
  width_ = height_ = 0;
  loaded_ = false;
  CGIFDecoder dec(bytes_.data(), bytes_.size());
  std::vector<Image> frames(static_cast<std::size_t>(dec.frameCount()));
  bool ok = dec.usable();
  for (Image& f : frames) ok = ok && dec.RenderNextFrame(f);
  if (ok) {
    frames_ = std::move(frames);
    width_ = dec.width();
    height_ = dec.height();
    loaded_ = true;
  } else {
    bytes_.clear();
  }
  if (OnReady) OnReady(*this);
}

const Image* TAniGIF::Frame(int index) const {
  if (!loaded_ || index < 0 || index >= FrameCount()) return nullptr;
  return &frames_[static_cast<std::size_t>(index)];
}

}  // namespace korvo

namespace korvo {

const Image* TAniGIF::Frame(int index, int percent) const {
  const Image* plain = Frame(index);
  if (!plain || percent == 100 || !drawAtScale) return plain;
  if (scaledPercent_ != percent) {
    scaled_.assign(frames_.size(), Image{});
    scaledPercent_ = percent;
  }
  Image& img = scaled_[static_cast<std::size_t>(index)];
  if (img.empty()) {
    img = drawAtScale(index, percent);
    if (img.empty()) return plain;
    img.setScale(percent);
  }
  return &img;
}

}  // namespace korvo
