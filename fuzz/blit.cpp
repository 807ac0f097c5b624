// Drives the drawing surface's operations with arbitrary rectangles, offsets, flips, zooms
// and clips over small surfaces: no operation may touch memory outside its surfaces.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>

#include "render/dibx.h"

namespace {

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int32_t I32() {
    int32_t v = 0;
    size_t n = pos_ + 4 <= size_ ? 4 : size_ - pos_;
    std::memcpy(&v, data_ + pos_, n);
    pos_ += n;
    // Mostly small values, sometimes extreme ones.
    return (v & 0x40000000) ? v : v % 64;
  }
  uint8_t U8() { return pos_ < size_ ? data_[pos_++] : 0; }
  bool More() const { return pos_ < size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

orba::TRect Rect(Bytes& b) { return {b.I32(), b.I32(), b.I32(), b.I32()}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes b(data, size);
  const int32_t formats[] = {8, 15, 16, 24, 32};
  int32_t format = formats[b.U8() % 5];
  orba::TDIBX dst, src, mask;
  dst.SetSize(1 + b.U8() % 40, 1 + b.U8() % 40, format);
  src.SetSize(1 + b.U8() % 40, 1 + b.U8() % 40, format);
  mask.SetSize(1 + b.U8() % 40, 1 + b.U8() % 40, 8);
  src.TransparentColor = b.U8();
  orba::TDIBXWave wave(dst);
  wave.OriginX = b.I32() % 8;
  wave.OriginY = b.I32() % 8;
  wave.SetSize(1 + b.U8() % 40, 1 + b.U8() % 40, format);
  for (int32_t& o : wave.Offsets) o = b.I32() % 16;
  uint32_t table[256] = {};
  while (b.More()) {
    uint8_t op = b.U8();
    orba::TCustomDIBX& d = (op & 0x80) ? static_cast<orba::TCustomDIBX&>(wave) : dst;
    bool fv = op & 0x40, fh = op & 0x20;
    if (b.U8() & 1) d.SetClipRect(Rect(b));
    else d.ResetClip();
    if (op & 0x10) dst.Image().SetClipRect(Rect(b));
    else dst.Image().ResetClip();
    int32_t x = b.I32(), y = b.I32(), a = b.I32() & 511;
    orba::TRect r = Rect(b);
    switch (op % 21) {
      case 0: d.Draw(x, y, fv, fh, true, r, src); break;
      case 1: d.DrawMasked(x, y, mask, fv, fh, r, src); break;
      case 2: d.DrawBlend(x, y, a, fv, fh, false, r, src); break;
      case 3: d.DrawBlendMasked(x, y, a, mask, fv, fh, r, src); break;
      case 4: d.DrawAdd(x, y, a, fv, fh, r, src); break;
      case 5: d.DrawAddMasked(x, y, a, mask, fv, fh, r, src); break;
      case 6: d.DrawRotate(x, y, a, fv, fh, true, b.I32(), b.I32(), b.I32(), r, src, b.I32(), b.I32()); break;
      case 7: d.StretchDraw(Rect(b), r, a, fv, fh, true, src); break;
      case 8: d.StretchDrawAddMasked(Rect(b), mask, a, fv, fh, r, src); break;
      case 9: d.TileDraw(Rect(b), r, x, y, b.I32() % 8, b.I32() % 8, false, src); break;
      case 10: d.TileDrawScaled(Rect(b), r, x, y, b.I32(), b.I32(), a, false, src); break;
      case 11: d.FillPattern(r, src, fh, fv, x, y); break;
      case 12: d.BlendFrameRect(r, b.I32(), a, 0x123456); break;
      case 13: d.DrawColorMasked(x, y, a, 0x654321, fv, fh, r, mask); break;
      case 14: d.DrawMapped(x, y, table, r, mask); break;
      case 15: d.DrawGlyphBytes(x, y, 1 + b.U8() % 5, a, fv, fh, 0xABCDEF, r, mask); break;
      // The DIB surface's own routines, with its own clip.
      case 16: dst.Image().DrawKeyed(x, y, b.I32(), r, src.Image()); break;
      case 17: dst.Image().DrawBlend(x, y, a - 100, b.I32(), r, src.Image()); break;
      case 18:
        if (fv) src.Image().CreateAlpha();
        dst.Image().DrawAlpha(x, y, a, r, src.Image());
        break;
      case 19: dst.Image().DrawConverted(x, y, b.I32(), mask.Image()); break;
      default: {
        orba::TDIBSurface copy;
        try {
          copy.CopyFrom(src.Image(), r, true);
        } catch (const std::exception&) {
        }
        break;
      }
    }
  }
  return 0;
}
