// orbaicon: draws the player's icon (a page of text lines with a play mark on an evening-blue
// square) and writes it as a PNG with our own writer. The build runs it for the installed
// icon:
//   orbaicon OUT.png [SIZE]      (SIZE: 16 to 1024 pixels, default 256)
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "base/stream.h"
#include "files/replacefile.h"
#include "render/dibsfc.h"
#include "render/imagefiles.h"

namespace {

using namespace orba;

// The colour of a point of the icon, in the unit square (0..1 across and down).
uint32_t IconColor(double x, double y) {
  auto rgb = [](double r, double g, double b) {
    auto c = [](double v) { return static_cast<uint32_t>(std::clamp(v, 0.0, 255.0) + 0.5); };
    return c(r) << 16 | c(g) << 8 | c(b);
  };
  // The page: a pale sheet with three lines of "text", the last one shorter.
  const bool onPage = x >= 0.16 && x < 0.84 && y >= 0.12 && y < 0.70;
  if (onPage) {
    for (int line = 0; line < 3; ++line) {
      const double top = 0.22 + line * 0.14, right = line == 2 ? 0.58 : 0.74;
      if (y >= top && y < top + 0.06 && x >= 0.26 && x < right) return rgb(70, 80, 120);
    }
    return rgb(250, 246, 232);
  }
  // The play mark below the page: a triangle pointing right.
  const double cx = 0.5, cy = 0.83, h = 0.11;
  if (x >= cx - h * 0.8 && y >= cy - h && y < cy + h && (x - (cx - h * 0.8)) * 0.6 < h - std::abs(y - cy))
    return rgb(255, 200, 90);
  // The ground: evening blue to violet, top to bottom.
  return rgb(30 + 60 * y, 50 + 10 * y, 110 + 40 * y);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: orbaicon OUT.png [SIZE]\n");
    return 2;
  }
  int size = 256;
  if (argc == 3) {
    const std::string text = argv[2];
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (ec != std::errc() || end != text.data() + text.size() || size < 16 || size > 1024) {
      std::fprintf(stderr, "orbaicon: bad size %s\n", argv[2]);
      return 2;
    }
  }
  TDIBSurface icon(size, size, 32);
  // Four samples a pixel smooth the edges.
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      uint32_t r = 0, g = 0, b = 0;
      for (int s = 0; s < 4; ++s) {
        const uint32_t c = IconColor((x + 0.25 + 0.5 * (s & 1)) / size, (y + 0.25 + 0.5 * (s >> 1)) / size);
        r += c >> 16 & 0xFF, g += c >> 8 & 0xFF, b += c & 0xFF;
      }
      icon.SetPixel(x, y, icon.RGBToPixel(static_cast<uint8_t>(r / 4), static_cast<uint8_t>(g / 4), static_cast<uint8_t>(b / 4)));
    }
  try {
    TKvMemoryStream png;
    SavePng(png, icon);
    WriteFileReplacing(argv[1], png.Bytes());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orbaicon: %s\n", e.what());
    return 1;
  }
  return 0;
}
