#include "GIFDec.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace korvo {

namespace {

// Bounds-checked reader over the file bytes.
class Reader {
 public:
  Reader(const std::uint8_t* d, std::size_t n) : d_(d), n_(n) {}
  bool has(std::size_t k) const { return n_ - pos_ >= k; }
  bool atEnd() const { return pos_ >= n_; }
  std::uint8_t byte() { return d_[pos_++]; }
  int word() {
    const int v = d_[pos_] | (d_[pos_ + 1] << 8);
    pos_ += 2;
    return v;
  }
  const std::uint8_t* here() const { return d_ + pos_; }
  void skip(std::size_t k) { pos_ += k; }

 private:
  const std::uint8_t* d_;
  std::size_t n_;
  std::size_t pos_ = 0;
};

bool readTable(Reader& r, int sizeBits, std::vector<Pixel>& table) {
  const std::size_t entries = std::size_t{1} << (sizeBits + 1);
  if (!r.has(entries * 3)) return false;
  table.resize(entries);
  for (std::size_t i = 0; i < entries; ++i) {
    const unsigned red = r.byte();
    const unsigned green = r.byte();
    const unsigned blue = r.byte();
    table[i] = rgb(red, green, blue);
  }
  return true;
}

// Sub-blocks up to and including the zero terminator; appended to `out` when given.
bool readSubBlocks(Reader& r, std::vector<std::uint8_t>* out) {
  for (;;) {
    if (!r.has(1)) return false;
    const std::size_t n = r.byte();
    if (n == 0) return true;
    if (!r.has(n)) return false;
    if (out) out->insert(out->end(), r.here(), r.here() + n);
    r.skip(n);
  }
}

}  // namespace

CGIFDecoder::CGIFDecoder(const std::uint8_t* data, std::size_t size) {
  usable_ = data && parse(data, size);
  if (!usable_) {
    frames_.clear();
    width_ = height_ = 0;
    return;
  }
  const std::size_t n = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  current_.assign(n, static_cast<std::uint8_t>(background_));
  previous_ = current_;
}

bool CGIFDecoder::parse(const std::uint8_t* data, std::size_t size) {
  Reader r(data, size);
  if (!r.has(13)) return false;
  if (std::memcmp(data, "GIF87a", 6) != 0 && std::memcmp(data, "GIF89a", 6) != 0) return false;
  r.skip(6);
  width_ = r.word();
  height_ = r.word();
  const std::uint8_t flags = r.byte();
  background_ = r.byte();
  r.skip(1);  // aspect ratio
  if (width_ > kMaxSide || height_ > kMaxSide) return false;
  if ((flags & 0x80) && !readTable(r, flags & 7, globalTable_)) return false;

  const std::size_t screen = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  int pendingTransparent = -1;
  int pendingDisposal = 0;
  while (!r.atEnd()) {
    const std::uint8_t introducer = r.byte();
    if (introducer == 0x3B) break;  // trailer
    if (introducer == 0x21) {
      if (!r.has(1)) return false;
      const std::uint8_t label = r.byte();
      if (label == 0xF9) {
        std::vector<std::uint8_t> body;
        if (!readSubBlocks(r, &body)) return false;
        if (body.size() >= 4) {
          if (body[0] & 1) pendingTransparent = body[3];
          pendingDisposal = (body[0] >> 2) & 7;
        }
      } else if (!readSubBlocks(r, nullptr)) {
        return false;
      }
      continue;
    }
    if (introducer != 0x2C) break;  // not a GIF block: what follows is not ours to read
    if (!r.has(9)) return false;
    Frame f;
    f.left = r.word();
    f.top = r.word();
    f.width = r.word();
    f.height = r.word();
    const std::uint8_t imageFlags = r.byte();
    f.interlaced = (imageFlags & 0x40) != 0;
    f.hasLocalTable = (imageFlags & 0x80) != 0;
    if (f.hasLocalTable && !readTable(r, imageFlags & 7, f.localTable)) return false;
    if (!r.has(1)) return false;
    f.minCodeSize = r.byte();
    if (!readSubBlocks(r, &f.data)) return false;
    f.transparent = pendingTransparent >= 0 ? pendingTransparent : background_;
    f.disposal = pendingDisposal;
    pendingTransparent = -1;
    pendingDisposal = 0;
    if (screen * (frames_.size() + 1) > kMaxTotalPixels) return false;
    frames_.push_back(std::move(f));
  }
  return true;
}

void CGIFDecoder::decodeInto(const Frame& f) {
  // LZW as GIF prescribes: variable code width from minCodeSize + 1 up to 12 bits, LSB first.
  // Stops (keeping what was written) at the end code, at the end of the data, when the table
  // is full, when one code would expand to more than kMaxCodeLength pixels, at a code that
  // cannot be valid, and when the pixels leave the frame or the screen.
  if (f.minCodeSize < 1 || f.minCodeSize > 11 || f.width <= 0 || f.height <= 0) return;
  const int clearCode = 1 << f.minCodeSize;
  const int endCode = clearCode + 1;
  std::array<std::uint16_t, 4096> prefix{};
  std::array<std::uint8_t, 4096> suffix{};
  std::array<std::uint16_t, 4096> length{};
  for (int i = 0; i < clearCode; ++i) {
    suffix[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    length[static_cast<std::size_t>(i)] = 1;
  }
  std::array<std::uint8_t, kMaxCodeLength> stack{};

  // Frame rows in file order map to frame rows on screen through the interlace passes.
  std::vector<int> rowOrder(static_cast<std::size_t>(f.height));
  if (f.interlaced) {
    std::size_t k = 0;
    const int starts[4] = {0, 4, 2, 1};
    const int steps[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = starts[pass]; y < f.height; y += steps[pass]) rowOrder[k++] = y;
  } else {
    for (int y = 0; y < f.height; ++y) rowOrder[static_cast<std::size_t>(y)] = y;
  }

  const std::size_t framePixels = static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height);
  std::size_t written = 0;
  // Returns false when the pixel lies beyond the frame or below the screen.
  auto put = [&](std::uint8_t index) {
    if (written >= framePixels) return false;
    const int fx = static_cast<int>(written % static_cast<std::size_t>(f.width));
    const int fy = rowOrder[written / static_cast<std::size_t>(f.width)];
    ++written;
    const int x = f.left + fx;
    const int y = f.top + fy;
    if (y >= height_) return f.interlaced;  // interlaced rows may come back onto the screen
    if (x >= width_) return true;           // clipped at the right edge
    if (index != f.transparent)
      current_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)] = index;
    return true;
  };

  int codeSize = f.minCodeSize + 1;
  int nextCode = endCode + 1;
  int prev = -1;
  std::uint32_t bits = 0;
  int bitCount = 0;
  std::size_t pos = 0;
  for (;;) {
    while (bitCount < codeSize) {
      if (pos >= f.data.size()) return;
      bits |= static_cast<std::uint32_t>(f.data[pos++]) << bitCount;
      bitCount += 8;
    }
    const int code = static_cast<int>(bits & ((1u << codeSize) - 1));
    bits >>= codeSize;
    bitCount -= codeSize;

    if (code == clearCode) {
      codeSize = f.minCodeSize + 1;
      nextCode = endCode + 1;
      prev = -1;
      continue;
    }
    if (code == endCode) return;
    if (prev < 0) {
      if (code >= clearCode) return;  // the first code after a clear must be a literal
      if (!put(static_cast<std::uint8_t>(code))) return;
      prev = code;
      continue;
    }
    if (nextCode >= 4096) return;  // table full at 12-bit codes
    if (code > nextCode) return;
    // The string of `code` (for code == nextCode: prev's string + its own first pixel).
    const int known = code < nextCode ? code : prev;
    const int len = length[static_cast<std::size_t>(known)] + (code == nextCode ? 1 : 0);
    if (len > kMaxCodeLength) return;
    int c = known;
    for (int i = length[static_cast<std::size_t>(known)] - 1; i >= 0; --i) {
      stack[static_cast<std::size_t>(i)] = suffix[static_cast<std::size_t>(c)];
      c = prefix[static_cast<std::size_t>(c)];
    }
    const std::uint8_t first = stack[0];
    if (code == nextCode) stack[static_cast<std::size_t>(len - 1)] = first;
    // New entry: prev's string + the first pixel of this one.
    if (length[static_cast<std::size_t>(prev)] + 1 > kMaxCodeLength) return;
    prefix[static_cast<std::size_t>(nextCode)] = static_cast<std::uint16_t>(prev);
    suffix[static_cast<std::size_t>(nextCode)] = first;
    length[static_cast<std::size_t>(nextCode)] = static_cast<std::uint16_t>(length[static_cast<std::size_t>(prev)] + 1);
    ++nextCode;
    if (nextCode == (1 << codeSize) && codeSize < 12) ++codeSize;
    for (int i = 0; i < len; ++i)
      if (!put(stack[static_cast<std::size_t>(i)])) return;
    prev = code;
  }
}

bool CGIFDecoder::RenderNextFrame(Image& out) {
  if (!usable_ || next_ >= frames_.size()) return false;
  const Frame& f = frames_[next_];
  const int previousDisposal = next_ == 0 ? 0 : frames_[next_ - 1].disposal;
  if (previousDisposal == 2) {
    previous_ = current_;
    std::fill(current_.begin(), current_.end(),
              static_cast<std::uint8_t>(f.hasLocalTable ? f.transparent : background_));
  } else if (previousDisposal == 3) {
    std::swap(current_, previous_);
  } else {
    previous_ = current_;
  }
  decodeInto(f);
  const std::vector<Pixel>& table = f.hasLocalTable ? f.localTable : globalTable_;
  out.reset(width_, height_);
  for (std::size_t i = 0; i < current_.size(); ++i) {
    const std::size_t index = current_[i];
    out.pixels()[i] = index < table.size() ? table[index] : 0;
  }
  ++next_;
  return true;
}

bool CGIFDecoder::DecodeAll(const std::uint8_t* data, std::size_t size, std::vector<Image>& frames) {
  CGIFDecoder dec(data, size);
  if (!dec.usable()) return false;
  std::vector<Image> out(static_cast<std::size_t>(dec.frameCount()));
  for (Image& img : out)
    if (!dec.RenderNextFrame(img)) return false;
  frames = std::move(out);
  return true;
}

}  // namespace korvo
