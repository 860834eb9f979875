// The generated artwork: sizes and frame counts the window relies on, determinism, and our
// decoder against giflib's on every generated file.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "AniGIF.h"
#include "GIFDec.h"
#include "artwork.h"
#include "artworkData.h"

namespace korvo {
namespace {

using Files = std::vector<std::pair<std::string, std::vector<std::uint8_t>>>;

// Frames as giflib decodes them (full-screen frames, no transparency: the raster is the picture).
std::vector<Image> giflibFrames(const std::vector<std::uint8_t>& file) {
  std::pair<const std::vector<std::uint8_t>*, std::size_t> src{&file, 0};
  auto reader = [](GifFileType* gif, GifByteType* buf, int n) {
    auto* s = static_cast<std::pair<const std::vector<std::uint8_t>*, std::size_t>*>(gif->UserData);
    const std::size_t k = std::min<std::size_t>(s->first->size() - s->second, static_cast<std::size_t>(n));
    std::memcpy(buf, s->first->data() + s->second, k);
    s->second += k;
    return static_cast<int>(k);
  };
  int err = 0;
  GifFileType* gif = DGifOpen(&src, reader, &err);
  std::vector<Image> out;
  if (!gif) return out;
  if (DGifSlurp(gif) == GIF_OK) {
    for (int i = 0; i < gif->ImageCount; ++i) {
      const SavedImage& si = gif->SavedImages[i];
      const ColorMapObject* map = si.ImageDesc.ColorMap ? si.ImageDesc.ColorMap : gif->SColorMap;
      Image img(gif->SWidth, gif->SHeight);
      for (int k = 0; k < gif->SWidth * gif->SHeight; ++k) {
        const GifColorType c = map->Colors[si.RasterBits[k]];
        img.pixels()[static_cast<std::size_t>(k)] = rgb(c.Red, c.Green, c.Blue);
      }
      out.push_back(std::move(img));
    }
  }
  DGifCloseFile(gif, &err);
  return out;
}

TEST(Artwork, SizesAndFrameCounts) {
  const auto pictures = artwork::drawAll();
  struct Want {
    int w, h, minFrames;
  };
  const std::map<std::string, Want> want = {
      {"knob2.gif", {40, 40, 32}},   {"browseButtons.gif", {28, 16, 3}}, {"butt.gif", {40, 21, 5}},
      {"logo.gif", {121, 33, 1}},    {"menuFile.gif", {33, 18, 1}},      {"menuOptions.gif", {60, 18, 1}},
      {"menuInfo.gif", {41, 18, 1}}, {"capWrite.gif", {48, 14, 1}},      {"capInit.gif", {48, 14, 1}},
      {"capSend.gif", {48, 14, 1}},  {"capRequest.gif", {48, 14, 1}},    {"capPanic.gif", {48, 14, 1}},
  };
  ASSERT_EQ(pictures.size(), want.size());
  for (const auto& p : pictures) {
    auto it = want.find(p.fileName);
    ASSERT_NE(it, want.end()) << p.fileName;
    EXPECT_GE(static_cast<int>(p.frames.size()), it->second.minFrames) << p.fileName;
    for (const Image& f : p.frames) {
      EXPECT_EQ(f.width(), it->second.w) << p.fileName;
      EXPECT_EQ(f.height(), it->second.h) << p.fileName;
    }
  }
}

TEST(Artwork, DeterministicAndReadByBothDecoders) {
  Files first, second;
  std::string err;
  ASSERT_TRUE(artwork::encodeAll(artwork::drawAll(), first, &err)) << err;
  ASSERT_TRUE(artwork::encodeAll(artwork::drawAll(), second, &err)) << err;
  ASSERT_EQ(first, second);
  for (const auto& [name, bytes] : first) {
    std::vector<Image> ours;
    ASSERT_TRUE(CGIFDecoder::DecodeAll(bytes.data(), bytes.size(), ours)) << name;
    const auto theirs = giflibFrames(bytes);
    ASSERT_EQ(ours.size(), theirs.size()) << name;
    for (std::size_t i = 0; i < ours.size(); ++i) EXPECT_EQ(ours[i], theirs[i]) << name << " frame " << i;
  }
}

TEST(Artwork, StripsStayCloseToTheDrawings) {
  // Palette reduction may move a colour a little, never far.
  const auto pictures = artwork::drawAll();
  Files files;
  ASSERT_TRUE(artwork::encodeAll(pictures, files, nullptr));
  for (std::size_t k = 0; k < pictures.size(); ++k) {
    std::vector<Image> decoded;
    ASSERT_TRUE(CGIFDecoder::DecodeAll(files[k].second.data(), files[k].second.size(), decoded));
    for (std::size_t i = 0; i < decoded.size(); ++i)
      for (std::size_t p = 0; p < decoded[i].pixels().size(); ++p) {
        const Pixel a = decoded[i].pixels()[p];
        const Pixel b = pictures[k].frames[i].pixels()[p];
        for (int s = 0; s <= 16; s += 8)
          ASSERT_LE(std::abs(static_cast<int>((a >> s) & 0xFF) - static_cast<int>((b >> s) & 0xFF)), 24)
              << pictures[k].fileName << " frame " << i;
      }
  }
}

TEST(Artwork, EmbeddedFilesLoadAsStrips) {
  const artwork::EmbeddedFile* knob = artwork::findArtwork("knob2.gif");
  ASSERT_NE(knob, nullptr);
  EXPECT_EQ(artwork::embeddedArtwork().size(), 12u);
  EXPECT_EQ(artwork::findArtwork("missing.gif"), nullptr);
  TAniGIF strip;
  strip.RessourceName = knob->name;
  strip.SetGIFBytes({knob->data, knob->data + knob->size});
  strip.Loaded();
  EXPECT_TRUE(strip.IsLoaded());
  EXPECT_EQ(strip.FrameCount(), artwork::kKnobFrames);
  EXPECT_EQ(strip.Width(), 40);
}

}  // namespace
}  // namespace korvo
