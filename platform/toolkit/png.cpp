// PNG files through stb_image_write and stb_image (Debian libstb-dev).
#include <cstdio>
#include <string>
#include <vector>

#include "canvas.h"

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include "VSTaux.h"

namespace korvo {

namespace {
void appendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<unsigned char>*>(context);
  const auto* bytes = static_cast<const unsigned char*>(data);
  out->insert(out->end(), bytes, bytes + size);
}
}  // namespace

bool savePng(const Image& image, const std::string& fileName) {
  if (image.empty()) return false;
  std::vector<unsigned char> rgbBytes;
  rgbBytes.reserve(static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height()) * 3);
  for (const Pixel p : image.pixels()) {
    rgbBytes.push_back(static_cast<unsigned char>(p >> 16));
    rgbBytes.push_back(static_cast<unsigned char>(p >> 8));
    rgbBytes.push_back(static_cast<unsigned char>(p));
  }
  std::vector<unsigned char> file;
  if (!stbi_write_png_to_func(appendBytes, &file, image.width(), image.height(), 3, rgbBytes.data(), image.width() * 3))
    return false;
  return writeWholeFile(fileName, file.data(), file.size()) == 0;
}

bool loadPng(const std::string& fileName, Image& out) {
  std::vector<std::uint8_t> file;
  if (readWholeFile(fileName, file) == 0) return false;
  int w = 0;
  int h = 0;
  int channels = 0;
  unsigned char* data = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &channels, 3);
  if (!data) return false;
  Image img(w, h);
  for (int i = 0; i < w * h; ++i)
    img.pixels()[static_cast<std::size_t>(i)] = rgb(data[i * 3], data[i * 3 + 1], data[i * 3 + 2]);
  stbi_image_free(data);
  out = std::move(img);
  return true;
}

}  // namespace korvo
