// The GIF decoder on arbitrary bytes, both directly and through the stored "GIFData" form of
// an image strip: it must never read outside the bytes, and every frame it returns must have
// the screen's size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "AniGIF.h"
#include "GIFDec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size heap copy, so a read past the end is caught by the address sanitizer.
  std::vector<std::uint8_t> bytes(data, data + size);
  korvo::CGIFDecoder dec(bytes.data(), bytes.size());
  korvo::Image img;
  int n = 0;
  while (dec.RenderNextFrame(img)) {
    if (img.width() != dec.width() || img.height() != dec.height()) std::abort();
    ++n;
  }
  if (dec.usable() && n != dec.frameCount()) std::abort();

  korvo::TAniGIF strip;
  if (strip.ReadGIFData(bytes.data(), bytes.size())) {
    strip.Loaded();
    if (strip.IsLoaded() && strip.Frame(strip.FrameCount()) != nullptr) std::abort();
  }
  return 0;
}
