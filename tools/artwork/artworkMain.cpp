// korvo-artwork OUTDIR [--png]: writes the editor window's GIF pictures into OUTDIR and a
// contact sheet of all of them (artwork.png) beside them for looking at; with --png also a
// PNG of every frame.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "VSTaux.h"
#include "artwork.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: korvo-artwork OUTDIR [--png]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const bool png = argc > 2 && std::strcmp(argv[2], "--png") == 0;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const auto pictures = korvo::artwork::drawAll();
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;
  std::string error;
  if (!korvo::artwork::encodeAll(pictures, files, &error)) {
    std::fprintf(stderr, "korvo-artwork: %s\n", error.c_str());
    return 1;
  }
  for (const auto& [name, bytes] : files) {
    if (korvo::writeWholeFile(korvo::joinPath(dir, name), bytes.data(), bytes.size()) != 0) {
      std::fprintf(stderr, "korvo-artwork: cannot write %s\n", name.c_str());
      return 1;
    }
  }
  // Contact sheet: one band per picture, frames left to right, 16 to a row.
  const int perRow = 16;
  int sheetW = 0;
  int sheetH = 4;
  for (const auto& p : pictures) {
    const int n = static_cast<int>(p.frames.size());
    const int cols = n < perRow ? n : perRow;
    const int rows = (n + perRow - 1) / perRow;
    sheetW = std::max(sheetW, 4 + cols * (p.frames[0].width() + 4));
    sheetH += rows * (p.frames[0].height() + 4) + 4;
  }
  korvo::Image sheet(sheetW, sheetH, korvo::rgb(255, 255, 255));
  korvo::Canvas canvas(sheet);
  int y = 4;
  for (const auto& p : pictures) {
    const int w = p.frames[0].width();
    const int h = p.frames[0].height();
    for (std::size_t i = 0; i < p.frames.size(); ++i) {
      const int col = static_cast<int>(i) % perRow;
      const int row = static_cast<int>(i) / perRow;
      canvas.blit(4 + col * (w + 4), y + row * (h + 4), p.frames[i]);
    }
    y += static_cast<int>((p.frames.size() + perRow - 1) / perRow) * (h + 4) + 4;
  }
  korvo::savePng(sheet, korvo::joinPath(dir, "artwork.png"));
  if (png)
    for (const auto& p : pictures)
      for (std::size_t i = 0; i < p.frames.size(); ++i)
        korvo::savePng(p.frames[i], korvo::joinPath(dir, p.fileName + "." + std::to_string(i) + ".png"));
  return 0;
}
