// The GIF decoder: crafted files for each rule and limit, and differential checks against
// giflib's decoder on random valid files.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "AniGIF.h"
#include "GIFDec.h"
#include "gifWrite.h"

namespace korvo {
namespace {

using artwork::GifFrameSpec;
using artwork::GifSpec;
using Bytes = std::vector<std::uint8_t>;

Bytes encode(const GifSpec& spec) {
  Bytes out;
  std::string err;
  EXPECT_TRUE(artwork::encodeGif(spec, out, &err)) << err;
  return out;
}

std::vector<Pixel> greyPalette(int n) {
  std::vector<Pixel> p;
  for (int i = 0; i < n; ++i)
    p.push_back(rgb(static_cast<unsigned>(i * 255 / (n - 1)), 0, static_cast<unsigned>(255 - i * 255 / (n - 1))));
  return p;
}

GifFrameSpec fullFrame(int w, int h, std::vector<std::uint8_t> idx) {
  GifFrameSpec f;
  f.width = w;
  f.height = h;
  f.indices = std::move(idx);
  return f;
}

// Hand-made LZW data with a fixed code width: a clear code before every literal keeps the
// decoder at minCodeSize + 1 bits, so tests can write any code sequence.
class CodeWriter {
 public:
  explicit CodeWriter(int width) : width_(width) {}
  void put(int code) {
    acc_ |= static_cast<std::uint32_t>(code) << n_;
    n_ += width_;
    while (n_ >= 8) {
      bytes_.push_back(static_cast<std::uint8_t>(acc_));
      acc_ >>= 8;
      n_ -= 8;
    }
  }
  void setWidth(int w) { width_ = w; }
  Bytes finish() {
    if (n_ > 0) bytes_.push_back(static_cast<std::uint8_t>(acc_));
    return bytes_;
  }

 private:
  int width_;
  std::uint32_t acc_ = 0;
  int n_ = 0;
  Bytes bytes_;
};

// A GIF with a 4-colour global table and one image of the given LZW data (min code size 2).
Bytes craftedGif(int w, int h, int bg, const Bytes& lzw, int left = 0, int top = 0, int fw = -1, int fh = -1) {
  Bytes g = {'G', 'I', 'F', '8', '9', 'a'};
  auto word = [&](int v) {
    g.push_back(static_cast<std::uint8_t>(v));
    g.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  word(w);
  word(h);
  g.push_back(0x81);  // global table of 4 entries
  g.push_back(static_cast<std::uint8_t>(bg));
  g.push_back(0);
  const std::uint8_t table[] = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  g.insert(g.end(), table, table + 12);
  g.push_back(0x2C);
  word(left);
  word(top);
  word(fw < 0 ? w : fw);
  word(fh < 0 ? h : fh);
  g.push_back(0);
  g.push_back(2);
  for (std::size_t i = 0; i < lzw.size(); i += 255) {
    const std::size_t n = std::min<std::size_t>(255, lzw.size() - i);
    g.push_back(static_cast<std::uint8_t>(n));
    g.insert(g.end(), lzw.begin() + static_cast<std::ptrdiff_t>(i), lzw.begin() + static_cast<std::ptrdiff_t>(i + n));
  }
  g.push_back(0);
  g.push_back(0x3B);
  return g;
}

std::vector<Image> decodeAll(const Bytes& b) {
  std::vector<Image> frames;
  CGIFDecoder::DecodeAll(b.data(), b.size(), frames);
  return frames;
}

constexpr Pixel kRed = 0xFF0000;
constexpr Pixel kGreen = 0x00FF00;
constexpr Pixel kBlue = 0x0000FF;

TEST(GifDecoder, SignatureAndHeader) {
  const Bytes good = encode({2, 1, 0, greyPalette(2), false, {fullFrame(2, 1, {0, 1})}});
  EXPECT_TRUE(CGIFDecoder(good.data(), good.size()).usable());
  for (const char* sig : {"GIF88a", "GIF87b", "gif89a", "PNG89a"}) {
    Bytes bad = good;
    std::memcpy(bad.data(), sig, 6);
    EXPECT_FALSE(CGIFDecoder(bad.data(), bad.size()).usable()) << sig;
  }
  Bytes old = good;
  std::memcpy(old.data(), "GIF87a", 6);
  EXPECT_TRUE(CGIFDecoder(old.data(), old.size()).usable());
  EXPECT_FALSE(CGIFDecoder(nullptr, 0).usable());
  EXPECT_FALSE(CGIFDecoder(good.data(), 12).usable());  // screen descriptor cut short
}

TEST(GifDecoder, EveryTruncationFailsCleanlyOrKeepsWhatIsWhole) {
  GifSpec spec{6, 5, 0, greyPalette(8), true, {}};
  GifFrameSpec f = fullFrame(6, 5, std::vector<std::uint8_t>(30, 3));
  f.localPalette = greyPalette(4);
  f.graphicControl = true;
  f.transparent = 1;
  spec.frames = {f, f};
  const Bytes whole = encode(spec);
  ASSERT_EQ(decodeAll(whole).size(), 2u);
  for (std::size_t n = 0; n < whole.size(); ++n) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    CGIFDecoder dec(cut.data(), cut.size());
    // A cut inside a block fails the file; a cut between blocks (no trailer) keeps the frames
    // read so far.
    if (dec.usable()) {
      Image img;
      while (dec.RenderNextFrame(img)) EXPECT_EQ(img.width(), 6);
      EXPECT_LE(dec.frameCount(), 2);
    }
  }
}

TEST(GifDecoder, ScreenSizeIsLimited) {
  Bytes g = craftedGif(2, 2, 0, {});
  g[6] = 0xFF;
  g[7] = 0xFF;  // width 65535
  EXPECT_FALSE(CGIFDecoder(g.data(), g.size()).usable());
}

TEST(GifDecoder, TotalFramePixelsAreLimited) {
  // A 4096 x 4096 screen with empty frames: two fit in the limit, a third does not.
  auto file = [](int frames) {
    Bytes g = craftedGif(4096, 4096, 0, {});
    g.pop_back();                                // trailer
    const Bytes frame(g.begin() + 25, g.end());  // descriptor, code size, empty data
    for (int i = 1; i < frames; ++i) g.insert(g.end(), frame.begin(), frame.end());
    g.push_back(0x3B);
    return g;
  };
  const Bytes two = file(2);
  const Bytes three = file(3);
  EXPECT_EQ(CGIFDecoder(two.data(), two.size()).frameCount(), 2);
  EXPECT_FALSE(CGIFDecoder(three.data(), three.size()).usable());
}

TEST(GifDecoder, BackgroundIndexIsTransparentWithoutControlExtension) {
  // Frame 1 paints everything; frame 2 (no extension) uses index 0 = background where it
  // should leave frame 1's pixels.
  GifSpec spec{2, 2, 0, {0, kRed, kGreen, kBlue}, false, {}};
  spec.frames.push_back(fullFrame(2, 2, {1, 1, 2, 2}));
  spec.frames.push_back(fullFrame(2, 2, {0, 3, 0, 3}));
  const auto frames = decodeAll(encode(spec));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].pixels(), (std::vector<Pixel>{kRed, kBlue, kGreen, kBlue}));
}

TEST(GifDecoder, ControlExtensionSetsTransparencyForTheNextImageOnly) {
  GifSpec spec{2, 1, 3, {0, kRed, kGreen, kBlue}, false, {}};
  spec.frames.push_back(fullFrame(2, 1, {1, 1}));
  GifFrameSpec second = fullFrame(2, 1, {2, 3});
  second.graphicControl = true;
  second.transparent = 2;  // index 2 shows through; index 3 (the background) is now written
  spec.frames.push_back(second);
  spec.frames.push_back(fullFrame(2, 1, {2, 3}));  // no extension: background 3 transparent
  const auto frames = decodeAll(encode(spec));
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[1].pixels(), (std::vector<Pixel>{kRed, kBlue}));
  EXPECT_EQ(frames[2].pixels(), (std::vector<Pixel>{kGreen, kBlue}));
}

TEST(GifDecoder, DisposalToBackgroundUsesTheNextFramesTransparentIndex) {
  GifSpec spec{2, 1, 0, {0, kRed, kGreen, kBlue}, false, {}};
  GifFrameSpec first = fullFrame(2, 1, {1, 1});
  first.graphicControl = true;
  first.disposal = 2;
  spec.frames.push_back(first);
  GifFrameSpec second = fullFrame(1, 1, {1});
  second.left = 1;
  second.graphicControl = true;
  second.transparent = 2;
  second.localPalette = {0, kGreen, kBlue, kRed};  // has a local table
  spec.frames.push_back(second);
  const auto frames = decodeAll(encode(spec));
  ASSERT_EQ(frames.size(), 2u);
  // Canvas after disposal: all index 2 (the second frame's transparent index) -> local blue;
  // the frame writes index 1 at x = 1 -> local green.
  EXPECT_EQ(frames[1].pixels(), (std::vector<Pixel>{kBlue, kGreen}));
}

TEST(GifDecoder, DisposalToPreviousSwapsCanvases) {
  GifSpec spec{1, 1, 0, {0, kRed, kGreen, kBlue}, false, {}};
  spec.frames.push_back(fullFrame(1, 1, {1}));
  GifFrameSpec second = fullFrame(1, 1, {2});
  second.graphicControl = true;
  second.disposal = 3;
  spec.frames.push_back(second);
  GifFrameSpec third = fullFrame(1, 1, {0});  // background: transparent, so the canvas shows
  spec.frames.push_back(third);
  const auto frames = decodeAll(encode(spec));
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[1].at(0, 0), kGreen);
  EXPECT_EQ(frames[2].at(0, 0), kRed);  // back to the canvas before frame 2
}

TEST(GifDecoder, IndexBeyondTheTableIsBlackAndNoTableAtAll) {
  // One 2-entry global table; LZW with code size 2 can still write indexes 2 and 3.
  CodeWriter w(3);
  for (const int code : {4, 1, 4, 3, 4, 2, 5}) w.put(code);
  Bytes g = craftedGif(3, 1, 0, w.finish());
  g[10] = 0x80;  // global table of 2 entries (black, red): drop the last 6 table bytes
  g.erase(g.begin() + 13 + 6, g.begin() + 13 + 12);
  const auto frames = decodeAll(g);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].pixels(), (std::vector<Pixel>{kRed, 0, 0}));
}

TEST(GifDecoder, LzwStopsAtTheLimitsAndKeepsWhatWasDecoded) {
  struct Case {
    const char* name;
    // 3-bit codes; clear = 4, end = 5. The third added entry would widen the codes to 4
    // bits, so no more than two codes follow a clear.
    std::vector<int> codes;
    std::vector<Pixel> want;  // 4 x 1 screen, background 0 (black, never written)
  };
  const std::vector<Case> cases = {
      {"plain literals", {4, 1, 2, 4, 3, 1, 5}, {kRed, kGreen, kBlue, kRed}},
      {"end code stops", {4, 1, 5, 2, 2}, {kRed, 0, 0, 0}},
      {"first code not a literal", {4, 6, 1}, {0, 0, 0, 0}},
      {"code beyond the next free one", {4, 1, 7, 2}, {kRed, 0, 0, 0}},
      {"KwKwK", {4, 1, 6, 5}, {kRed, kRed, kRed, 0}},
      {"data runs out without end code", {4, 2}, {kGreen, 0, 0, 0}},
      {"pixels past the screen are dropped", {4, 3, 3, 4, 3, 3, 4, 3, 3, 5}, {kBlue, kBlue, kBlue, kBlue}},
  };
  for (const Case& c : cases) {
    CodeWriter w(3);
    for (const int code : c.codes) w.put(code);
    const auto frames = decodeAll(craftedGif(4, 1, 0, w.finish()));
    ASSERT_EQ(frames.size(), 1u) << c.name;
    EXPECT_EQ(frames[0].pixels(), c.want) << c.name;
  }
}

TEST(GifDecoder, LongCodesAreRefused) {
  // A run of one colour: each code is one pixel longer than the previous. Once the string of a
  // code would pass 1024 pixels, decoding stops.
  const int w = 1100;
  CodeWriter cw(3);
  cw.put(4);
  cw.put(1);
  int next = 6;
  int width = 3;
  // Emit codes 6, 7, 8, ... (each = previous string + 'red'); lengths 2, 3, 4, ...
  for (int len = 2; len <= 1100; ++len) {
    cw.put(next);
    ++next;
    if (next == (1 << width) && width < 12) cw.setWidth(++width);
  }
  const auto frames = decodeAll(craftedGif(w, 600, 0, cw.finish()));
  ASSERT_EQ(frames.size(), 1u);
  // 1 + 2 + ... + 1024 pixels were written before the code of length 1025.
  const int written = 1024 * 1025 / 2;
  const auto& px = frames[0].pixels();
  EXPECT_EQ(px[static_cast<std::size_t>(written - 1)], kRed);
  EXPECT_EQ(px[static_cast<std::size_t>(written)], 0u);
}

TEST(GifDecoder, FullTableStopsTheFrame) {
  // 2-bit literals only: every code adds a table entry; after 4096 - 6 additions the table is
  // full and the next code stops decoding.
  const int pixels = 5000;
  CodeWriter cw(3);
  cw.put(4);
  int width = 3;
  int next = 6;
  cw.put(1);
  for (int i = 1; i < pixels; ++i) {
    cw.put(i % 2 ? 2 : 1);
    if (next < 4096) ++next;
    if (next == (1 << width) && width < 12) cw.setWidth(++width);
  }
  const auto frames = decodeAll(craftedGif(100, 50, 0, cw.finish()));
  ASSERT_EQ(frames.size(), 1u);
  const int decoded = 1 + (4096 - 6);  // first literal + one pixel per added entry
  const auto& px = frames[0].pixels();
  EXPECT_NE(px[static_cast<std::size_t>(decoded - 1)], 0u);
  EXPECT_EQ(px[static_cast<std::size_t>(decoded)], 0u);
}

TEST(GifDecoder, FramesAtAnOffsetAreClippedToTheScreen) {
  GifSpec spec{3, 3, 0, {0, kRed, kGreen, kBlue}, false, {}};
  GifFrameSpec f = fullFrame(2, 2, {1, 2, 3, 1});
  f.left = 2;
  f.top = 2;
  spec.frames.push_back(f);
  const auto frames = decodeAll(encode(spec));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].at(2, 2), kRed);
  EXPECT_EQ(frames[0].at(0, 0), 0u);
  int lit = 0;
  for (const Pixel p : frames[0].pixels()) lit += p != 0;
  EXPECT_EQ(lit, 1);
}

TEST(AniGif, StoredDataFramesAndFailure) {
  GifSpec spec{2, 2, 0, greyPalette(4), false, {}};
  spec.frames = {fullFrame(2, 2, {1, 2, 3, 1}), fullFrame(2, 2, {3, 3, 3, 3})};
  const Bytes file = encode(spec);
  TAniGIF strip;
  strip.SetGIFBytes(file);
  const Bytes stored = strip.WriteGIFData();
  TAniGIF loaded;
  ASSERT_TRUE(loaded.ReadGIFData(stored.data(), stored.size()));
  int ready = 0;
  loaded.OnReady = [&](TAniGIF&) { ++ready; };
  loaded.Loaded();
  EXPECT_EQ(ready, 1);
  EXPECT_TRUE(loaded.IsLoaded());
  EXPECT_EQ(loaded.FrameCount(), 2);
  EXPECT_EQ(loaded.Width(), 2);
  EXPECT_NE(loaded.Frame(1), nullptr);
  EXPECT_EQ(loaded.Frame(2), nullptr);
  EXPECT_EQ(loaded.Frame(-1), nullptr);

  Bytes shortCount = stored;
  shortCount[0] = static_cast<std::uint8_t>(shortCount[0] + 1);  // one byte more than stored
  TAniGIF bad;
  EXPECT_FALSE(bad.ReadGIFData(shortCount.data(), shortCount.size()));

  Bytes broken = file;
  broken[0] = 'X';
  TAniGIF failed;
  failed.SetGIFBytes(broken);
  failed.OnReady = [&](TAniGIF&) { ++ready; };
  failed.Loaded();
  EXPECT_EQ(ready, 2);  // raised on failure too
  EXPECT_FALSE(failed.IsLoaded());
  EXPECT_EQ(failed.FrameCount(), 0);
  EXPECT_TRUE(failed.GIFBytes().empty());
  EXPECT_EQ(failed.Frame(0), nullptr);
}

// giflib as the reference -----------------------------------------------------------------

int readFromVector(GifFileType* gif, GifByteType* buf, int n) {
  auto* src = static_cast<std::pair<const Bytes*, std::size_t>*>(gif->UserData);
  const std::size_t left = src->first->size() - src->second;
  const std::size_t k = std::min<std::size_t>(left, static_cast<std::size_t>(n));
  std::memcpy(buf, src->first->data() + src->second, k);
  src->second += k;
  return static_cast<int>(k);
}

// Frames composed from giflib's rasters with the same composition rules (transparent index =
// background unless the control block says otherwise; disposal 2 and 3).
std::vector<Image> referenceFrames(const Bytes& file) {
  std::pair<const Bytes*, std::size_t> src{&file, 0};
  int err = 0;
  GifFileType* gif = DGifOpen(&src, readFromVector, &err);
  EXPECT_NE(gif, nullptr);
  if (!gif) return {};
  EXPECT_EQ(DGifSlurp(gif), GIF_OK);
  const int w = gif->SWidth;
  const int h = gif->SHeight;
  std::vector<std::uint8_t> cur(static_cast<std::size_t>(w * h), static_cast<std::uint8_t>(gif->SBackGroundColor));
  std::vector<std::uint8_t> prev = cur;
  std::vector<Image> out;
  int lastDisposal = 0;
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& si = gif->SavedImages[i];
    GraphicsControlBlock gcb{};
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    DGifSavedExtensionToGCB(gif, i, &gcb);
    const int transparent = gcb.TransparentColor != NO_TRANSPARENT_COLOR ? gcb.TransparentColor : gif->SBackGroundColor;
    const ColorMapObject* map = si.ImageDesc.ColorMap ? si.ImageDesc.ColorMap : gif->SColorMap;
    if (lastDisposal == 2) {
      prev = cur;
      std::fill(cur.begin(), cur.end(),
                static_cast<std::uint8_t>(si.ImageDesc.ColorMap ? transparent : gif->SBackGroundColor));
    } else if (lastDisposal == 3) {
      std::swap(cur, prev);
    } else {
      prev = cur;
    }
    for (int y = 0; y < si.ImageDesc.Height; ++y)
      for (int x = 0; x < si.ImageDesc.Width; ++x) {
        const int v = si.RasterBits[y * si.ImageDesc.Width + x];
        const int sx = si.ImageDesc.Left + x;
        const int sy = si.ImageDesc.Top + y;
        if (sx < w && sy < h && v != transparent)
          cur[static_cast<std::size_t>(sy * w + sx)] = static_cast<std::uint8_t>(v);
      }
    Image img(w, h);
    for (std::size_t k = 0; k < cur.size(); ++k) {
      const int v = cur[k];
      img.pixels()[k] =
          map && v < map->ColorCount ? rgb(map->Colors[v].Red, map->Colors[v].Green, map->Colors[v].Blue) : 0;
    }
    out.push_back(std::move(img));
    lastDisposal = gcb.DisposalMode;
  }
  DGifCloseFile(gif, &err);
  return out;
}

TEST(GifDecoder, MatchesGiflibOnRandomValidFiles) {
  std::mt19937 rng(20261208);
  for (int round = 0; round < 60; ++round) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    GifSpec spec;
    spec.width = pick(1, 120);
    spec.height = pick(1, 90);
    const int bits = pick(1, 8);
    spec.globalPalette.resize(static_cast<std::size_t>(1 << bits));
    for (Pixel& p : spec.globalPalette) p = static_cast<Pixel>(rng()) & 0xFFFFFF;
    spec.background = pick(0, (1 << bits) - 1);
    const int frames = pick(1, 4);
    for (int k = 0; k < frames; ++k) {
      GifFrameSpec f;
      f.width = pick(1, spec.width);
      f.height = pick(1, spec.height);
      f.left = pick(0, spec.width - f.width);
      f.top = pick(0, spec.height - f.height);
      f.interlaced = pick(0, 3) == 0;
      int colours = 1 << bits;
      if (pick(0, 2) == 0) {
        const int lb = pick(1, 8);
        colours = 1 << lb;
        f.localPalette.resize(static_cast<std::size_t>(colours));
        for (Pixel& p : f.localPalette) p = static_cast<Pixel>(rng()) & 0xFFFFFF;
      }
      if (pick(0, 1)) {
        f.graphicControl = true;
        f.disposal = pick(0, 3);
        f.transparent = pick(0, 1) ? pick(0, colours - 1) : -1;
      }
      // Runs of repeated indexes as well as noise, so long codes occur.
      const int runs = pick(0, 1);
      f.indices.resize(static_cast<std::size_t>(f.width * f.height));
      std::uint8_t v = 0;
      for (auto& idx : f.indices) {
        if (!runs || pick(0, 20) == 0) v = static_cast<std::uint8_t>(pick(0, colours - 1));
        idx = v;
      }
      spec.frames.push_back(std::move(f));
    }
    const Bytes file = encode(spec);
    const auto ours = decodeAll(file);
    const auto ref = referenceFrames(file);
    ASSERT_EQ(ours.size(), ref.size()) << "round " << round;
    for (std::size_t i = 0; i < ours.size(); ++i) ASSERT_EQ(ours[i], ref[i]) << "round " << round << " frame " << i;
  }
}

}  // namespace
}  // namespace korvo
