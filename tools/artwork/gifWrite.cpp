#include "gifWrite.h"

#include <gif_lib.h>

#include <algorithm>
#include <map>
#include <memory>

namespace korvo::artwork {

namespace {

int appendBytes(GifFileType* gif, const GifByteType* bytes, int n) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  out->insert(out->end(), bytes, bytes + n);
  return n;
}

struct MapDeleter {
  void operator()(ColorMapObject* m) const { GifFreeMapObject(m); }
};
using MapPtr = std::unique_ptr<ColorMapObject, MapDeleter>;

MapPtr makeMap(const std::vector<Pixel>& palette) {
  if (palette.empty()) return nullptr;
  std::vector<GifColorType> colours(palette.size());
  for (std::size_t i = 0; i < palette.size(); ++i) {
    colours[i].Red = static_cast<GifByteType>(palette[i] >> 16);
    colours[i].Green = static_cast<GifByteType>(palette[i] >> 8);
    colours[i].Blue = static_cast<GifByteType>(palette[i]);
  }
  return MapPtr(GifMakeMapObject(static_cast<int>(palette.size()), colours.data()));
}

bool fail(std::string* error, const std::string& what, int code) {
  if (error) *error = what + ": " + (GifErrorString(code) ? GifErrorString(code) : "unknown");
  return false;
}

}  // namespace

bool encodeGif(const GifSpec& spec, std::vector<std::uint8_t>& out, std::string* error) {
  std::vector<std::uint8_t> bytes;
  int err = 0;
  GifFileType* gif = EGifOpen(&bytes, appendBytes, &err);
  if (!gif) return fail(error, "EGifOpen", err);
  auto closeWith = [&](bool ok, const std::string& what) {
    const int code = gif->Error;
    int closeErr = 0;
    EGifCloseFile(gif, &closeErr);
    if (!ok) return fail(error, what, code);
    if (closeErr != 0) return fail(error, "EGifCloseFile", closeErr);
    out = std::move(bytes);
    return true;
  };
  EGifSetGifVersion(gif, true);
  MapPtr global = makeMap(spec.globalPalette);
  const int depth = global ? global->BitsPerPixel : 8;
  if (EGifPutScreenDesc(gif, spec.width, spec.height, depth, spec.background, global.get()) == GIF_ERROR)
    return closeWith(false, "EGifPutScreenDesc");
  if (spec.loop) {
    const GifByteType app[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    const GifByteType sub[] = {1, 0, 0};
    if (EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(gif, sizeof app, app) == GIF_ERROR ||
        EGifPutExtensionBlock(gif, sizeof sub, sub) == GIF_ERROR || EGifPutExtensionTrailer(gif) == GIF_ERROR)
      return closeWith(false, "loop extension");
  }
  for (const GifFrameSpec& f : spec.frames) {
    if (f.indices.size() != static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height))
      return closeWith(false, "frame size");
    if (f.graphicControl) {
      GraphicsControlBlock gcb{};
      gcb.DisposalMode = f.disposal;
      gcb.UserInputFlag = false;
      gcb.DelayTime = f.delayCentiseconds;
      gcb.TransparentColor = f.transparent >= 0 ? f.transparent : NO_TRANSPARENT_COLOR;
      GifByteType ext[4];
      const size_t n = EGifGCBToExtension(&gcb, ext);
      if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext) == GIF_ERROR)
        return closeWith(false, "graphic control");
    }
    MapPtr local = makeMap(f.localPalette);
    // giflib forgets the previous frame's local table when the next frame has none.
    if (!local && gif->Image.ColorMap) {
      GifFreeMapObject(gif->Image.ColorMap);
      gif->Image.ColorMap = nullptr;
    }
    if (EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, local.get()) == GIF_ERROR)
      return closeWith(false, "EGifPutImageDesc");
    std::vector<int> rows;
    if (f.interlaced) {
      const int starts[4] = {0, 4, 2, 1};
      const int steps[4] = {8, 8, 4, 2};
      for (int p = 0; p < 4; ++p)
        for (int y = starts[p]; y < f.height; y += steps[p]) rows.push_back(y);
    } else {
      for (int y = 0; y < f.height; ++y) rows.push_back(y);
    }
    std::vector<GifPixelType> line(static_cast<std::size_t>(std::max(1, f.width)));
    for (const int y : rows) {
      std::copy_n(f.indices.begin() + static_cast<std::ptrdiff_t>(y) * f.width, f.width, line.begin());
      if (EGifPutLine(gif, line.data(), f.width) == GIF_ERROR) return closeWith(false, "EGifPutLine");
    }
  }
  return closeWith(true, "");
}

bool encodeStrip(const std::vector<Image>& frames, std::vector<std::uint8_t>& out, std::string* error) {
  if (frames.empty()) {
    if (error) *error = "no frames";
    return false;
  }
  // Palette: every colour when there are at most 255; else the 255 most frequent ones (ties
  // by colour value, so the result is deterministic) with the rest mapped to the nearest.
  std::map<Pixel, std::size_t> counts;
  for (const Image& img : frames)
    for (const Pixel p : img.pixels()) ++counts[p & 0xFFFFFFu];
  std::vector<std::pair<std::size_t, Pixel>> byCount;
  for (const auto& [colour, n] : counts) byCount.emplace_back(n, colour);
  std::stable_sort(byCount.begin(), byCount.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  if (byCount.size() > 255) byCount.resize(255);
  std::vector<Pixel> palette;
  for (const auto& e : byCount) palette.push_back(e.second);
  std::map<Pixel, std::uint8_t> index;
  for (const auto& [colour, n] : counts) {
    (void)n;
    std::size_t best = 0;
    long bestDist = -1;
    for (std::size_t i = 0; i < palette.size(); ++i) {
      long d = 0;
      for (int s = 0; s <= 16; s += 8) {
        const long c = static_cast<long>((colour >> s) & 0xFF) - static_cast<long>((palette[i] >> s) & 0xFF);
        d += c * c;
      }
      if (bestDist < 0 || d < bestDist) {
        bestDist = d;
        best = i;
      }
      if (d == 0) break;
    }
    index[colour] = static_cast<std::uint8_t>(best);
  }
  // Readers of these strips treat the background index as transparent in frames without a
  // transparency flag, so the background gets an entry that no pixel uses.
  const std::size_t background = palette.size();
  std::size_t size = 2;
  while (size < palette.size() + 1) size *= 2;
  palette.resize(size, 0);
  GifSpec spec;
  spec.width = frames[0].width();
  spec.height = frames[0].height();
  spec.globalPalette = palette;
  spec.background = static_cast<int>(background);
  for (const Image& img : frames) {
    if (img.width() != spec.width || img.height() != spec.height) {
      if (error) *error = "frames differ in size";
      return false;
    }
    GifFrameSpec f;
    f.width = spec.width;
    f.height = spec.height;
    // Every frame is a whole picture: no transparency.
    f.graphicControl = true;
    f.transparent = -1;
    f.disposal = 1;
    f.delayCentiseconds = 4;
    for (const Pixel p : img.pixels()) f.indices.push_back(index[p & 0xFFFFFFu]);
    spec.frames.push_back(std::move(f));
  }
  return encodeGif(spec, out, error);
}

}  // namespace korvo::artwork
