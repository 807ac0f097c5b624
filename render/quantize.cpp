// Median cut over a 5-bit-per-channel histogram: the box with the widest channel range is
// split at the median until the palette is full; each entry is the weighted mean of its box.
#include "render/quantize.h"

#include <algorithm>
#include <array>

namespace orba {

namespace {

struct Box {
  std::vector<uint16_t> cells;  // 15-bit histogram cells: r << 10 | g << 5 | b
  int64_t weight = 0;
};

int Channel(uint16_t cell, int c) { return (cell >> (10 - 5 * c)) & 31; }

// The channel with the widest range and that range.
std::pair<int, int> WidestChannel(const Box& box) {
  int best = 0, bestRange = -1;
  for (int c = 0; c < 3; ++c) {
    int lo = 31, hi = 0;
    for (uint16_t cell : box.cells) {
      lo = std::min(lo, Channel(cell, c));
      hi = std::max(hi, Channel(cell, c));
    }
    if (hi - lo > bestRange) { bestRange = hi - lo; best = c; }
  }
  return {best, bestRange};
}

struct ErrorRow {
  std::vector<int32_t> v;
  explicit ErrorRow(int32_t width) : v(static_cast<size_t>(width + 2) * 3, 0) {}
  int32_t& at(int32_t x, int c) { return v[static_cast<size_t>(x + 1) * 3 + c]; }
  void clear() { std::fill(v.begin(), v.end(), 0); }
};

// Walks the pixels in order, handing each (error-corrected) colour to choose, which returns
// the colour actually stored; the difference is spread Floyd-Steinberg style when dithering.
template <class Choose>
void Diffuse(const std::vector<TRGB>& pixels, int32_t width, int32_t height, bool dither, Choose choose) {
  ErrorRow current(width), next(width);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const TRGB& p = pixels[static_cast<size_t>(y) * width + x];
      int32_t want[3] = {p.Red, p.Green, p.Blue};
      if (dither)
        for (int c = 0; c < 3; ++c) want[c] = std::clamp(want[c] + current.at(x, c) / 16, 0, 255);
      TRGB got = choose(x, y, TRGB{static_cast<uint8_t>(want[0]), static_cast<uint8_t>(want[1]), static_cast<uint8_t>(want[2])});
      if (!dither) continue;
      int32_t have[3] = {got.Red, got.Green, got.Blue};
      for (int c = 0; c < 3; ++c) {
        int32_t e = want[c] - have[c];
        current.at(x + 1, c) += e * 7;
        next.at(x - 1, c) += e * 3;
        next.at(x, c) += e * 5;
        next.at(x + 1, c) += e;
      }
    }
    std::swap(current, next);
    next.clear();
  }
}

}  // namespace

std::vector<uint8_t> QuantizeToPalette(const std::vector<TRGB>& pixels, int32_t width, int32_t height,
                                       int32_t colourCount, bool dither, TPalette& palette) {
  std::vector<uint32_t> histogram(32768, 0);
  for (const TRGB& p : pixels) ++histogram[(p.Red >> 3) << 10 | (p.Green >> 3) << 5 | (p.Blue >> 3)];
  std::vector<Box> boxes(1);
  for (uint32_t i = 0; i < 32768; ++i)
    if (histogram[i]) {
      boxes[0].cells.push_back(static_cast<uint16_t>(i));
      boxes[0].weight += histogram[i];
    }
  while (static_cast<int32_t>(boxes.size()) < colourCount) {
    int best = -1, bestRange = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].cells.size() < 2) continue;
      int range = WidestChannel(boxes[i]).second;
      if (range > bestRange) { bestRange = range; best = static_cast<int>(i); }
    }
    if (best < 0) break;
    Box& box = boxes[best];
    int c = WidestChannel(box).first;
    std::sort(box.cells.begin(), box.cells.end(),
              [c](uint16_t a, uint16_t b) { return Channel(a, c) < Channel(b, c); });
    int64_t half = box.weight / 2, sum = 0;
    size_t cut = 1;
    for (; cut < box.cells.size() - 1; ++cut) {
      sum += histogram[box.cells[cut - 1]];
      if (sum >= half) break;
    }
    Box other;
    other.cells.assign(box.cells.begin() + static_cast<std::ptrdiff_t>(cut), box.cells.end());
    box.cells.resize(cut);
    box.weight = 0;
    for (uint16_t cell : box.cells) box.weight += histogram[cell];
    for (uint16_t cell : other.cells) other.weight += histogram[cell];
    boxes.push_back(std::move(other));
  }
  palette = TPalette{};
  int32_t used = 0;
  for (const Box& box : boxes) {
    if (box.cells.empty() || used >= colourCount) continue;
    int64_t sums[3] = {0, 0, 0};
    for (uint16_t cell : box.cells)
      for (int c = 0; c < 3; ++c) sums[c] += static_cast<int64_t>(histogram[cell]) * (Channel(cell, c) * 255 / 31);
    TPaletteEntry& e = palette[used++];
    int64_t w = std::max<int64_t>(box.weight, 1);
    e.Red = static_cast<uint8_t>((sums[0] + w / 2) / w);
    e.Green = static_cast<uint8_t>((sums[1] + w / 2) / w);
    e.Blue = static_cast<uint8_t>((sums[2] + w / 2) / w);
  }
  used = std::max(used, 1);
  // Nearest entry per 15-bit cell, computed on demand.
  std::vector<int16_t> nearest(32768, -1);
  auto lookup = [&](const TRGB& c) {
    uint32_t cell = (c.Red >> 3) << 10 | (c.Green >> 3) << 5 | (c.Blue >> 3);
    if (nearest[cell] < 0) {
      int32_t best = 0, bestDistance = INT32_MAX;
      for (int32_t i = 0; i < used; ++i) {
        int32_t dr = palette[i].Red - c.Red, dg = palette[i].Green - c.Green, db = palette[i].Blue - c.Blue;
        int32_t d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) { bestDistance = d; best = i; }
      }
      nearest[cell] = static_cast<int16_t>(best);
    }
    return static_cast<uint8_t>(nearest[cell]);
  };
  std::vector<uint8_t> out(pixels.size());
  Diffuse(pixels, width, height, dither, [&](int32_t x, int32_t y, const TRGB& c) {
    uint8_t index = lookup(c);
    out[static_cast<size_t>(y) * width + x] = index;
    return TRGB{palette[index].Red, palette[index].Green, palette[index].Blue};
  });
  return out;
}

std::vector<uint32_t> QuantizeToDirect(const std::vector<TRGB>& pixels, int32_t width, int32_t height,
                                       int32_t format, bool dither) {
  std::vector<uint32_t> out(pixels.size());
  Diffuse(pixels, width, height, dither && (format == 15 || format == 16), [&](int32_t x, int32_t y, const TRGB& c) {
    uint32_t v;
    TRGB got = c;
    if (format == 15) {
      v = (c.Red >> 3) << 10 | (c.Green >> 3) << 5 | (c.Blue >> 3);
      got = {static_cast<uint8_t>(c.Red & 0xF8), static_cast<uint8_t>(c.Green & 0xF8), static_cast<uint8_t>(c.Blue & 0xF8)};
    } else if (format == 16) {
      v = (c.Red >> 3) << 11 | (c.Green >> 2) << 5 | (c.Blue >> 3);
      got = {static_cast<uint8_t>(c.Red & 0xF8), static_cast<uint8_t>(c.Green & 0xFC), static_cast<uint8_t>(c.Blue & 0xF8)};
    } else {
      v = static_cast<uint32_t>(c.Red) << 16 | c.Green << 8 | c.Blue;
    }
    out[static_cast<size_t>(y) * width + x] = v;
    return got;
  });
  return out;
}

}  // namespace orba
