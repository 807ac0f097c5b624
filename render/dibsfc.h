// The player's in-memory image: a device-independent bitmap of 1, 4, 8, 15, 16, 24 or 32 bits
// per pixel with an optional 8-bit alpha plane and a destination clip rectangle, plus the
// pixel-exact keyed, blended and alpha drawing routines every loaded picture goes through.
// Rows are stored top row first, each padded to a multiple of 4 bytes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/geometry.h"

namespace orba {

class TKvBigStream;

struct TPaletteEntry {
  uint8_t Blue = 0, Green = 0, Red = 0, Reserved = 0;
  friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};
using TPalette = std::array<TPaletteEntry, 256>;

struct TRGB {
  uint8_t Red = 0, Green = 0, Blue = 0;
  friend bool operator==(const TRGB&, const TRGB&) = default;
};

// Clips a blit of srcRect of a source with bounds srcBounds to (x, y) in a destination
// clipped to clip. Cuts on the source's own edges move the destination point with them, so
// a source rectangle partly outside its surface never reads outside it. Returns false when
// nothing is left.
bool ClipBlit(const TRect& clip, const TRect& srcBounds, int32_t& x, int32_t& y, TRect& srcRect);

// The largest picture a surface holds (64 M pixels, 16384 x 4096); bigger sizes raise.
inline constexpr int64_t kMaxSurfacePixels = int64_t{1} << 26;

class TDIBSurface {
 public:
  TDIBSurface() = default;
  TDIBSurface(int32_t width, int32_t height, int32_t format) { SetSize(width, height, format); }
  TDIBSurface(const TDIBSurface&) = delete;
  TDIBSurface& operator=(const TDIBSurface&) = delete;
  TDIBSurface(TDIBSurface&&) = default;
  TDIBSurface& operator=(TDIBSurface&&) = default;
  ~TDIBSurface() = default;

  // ---- the bitmap itself ----
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int32_t BitCount() const { return bitCount_; }
  int32_t Pitch() const { return pitch_; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }
  // BitCount, except 15 for a 16-bit surface with the 5-5-5 masks.
  int32_t PixelFormat() const;
  uint32_t RedMask() const { return redMask_; }
  uint32_t GreenMask() const { return greenMask_; }
  uint32_t BlueMask() const { return blueMask_; }
  TRect BoundsRect() const { return {0, 0, width_, height_}; }

  // format: 1, 4, 8, 15, 16, 24 or 32; the content is undefined afterwards (zeroed when
  // the size or depth changes). An alpha plane follows the new size.
  void SetSize(int32_t width, int32_t height, int32_t format);
  // Size 0; frees the alpha plane.
  void Clear();

  uint8_t* ScanLine(int32_t y) { return bits_.data() + static_cast<size_t>(y) * pitch_; }
  const uint8_t* ScanLine(int32_t y) const { return bits_.data() + static_cast<size_t>(y) * pitch_; }
  uint8_t* Bits() { return bits_.data(); }
  const uint8_t* Bits() const { return bits_.data(); }
  // 0 and no effect outside the bitmap.
  uint32_t GetPixel(int32_t x, int32_t y) const;
  void SetPixel(int32_t x, int32_t y, uint32_t value);

  TPalette& Palette() { return palette_; }
  const TPalette& Palette() const { return palette_; }
  int32_t PaletteSize() const { return bitCount_ <= 8 ? (1 << bitCount_) : 0; }

  // ---- clip rectangle ----
  // The clip is clamped to the surface; an empty clip draws nothing.
  void SetClipRect(const TRect& rect);
  // No clip: the whole surface.
  void ResetClip() { clip_.reset(); }
  bool HasClip() const { return clip_.has_value(); }
  // The rectangle drawing is limited to.
  TRect EffectiveClip() const { return clip_ ? *clip_ : BoundsRect(); }

  // ---- colour conversions ----
  TRGB PixelToRGB(uint32_t pixel, bool expand) const;
  uint32_t RGBToPixel(uint8_t red, uint8_t green, uint8_t blue) const;
  // Components already in the format's widths (5/5/5, 5/6/5 or 8/8/8).
  uint32_t PackComponents(uint32_t r, uint32_t g, uint32_t b) const;
  // Nearest entry among the first count entries of the palette.
  int32_t NearestPaletteIndex(uint8_t red, uint8_t green, uint8_t blue) const;

  // ---- drawing (clipped to the clip rectangle and to the source) ----
  void DrawKeyed(int32_t x, int32_t y, int64_t key, TRect srcRect, const TDIBSurface& src);
  void DrawBlend(int32_t x, int32_t y, int32_t opacity, int64_t key, TRect srcRect, const TDIBSurface& src);
  void DrawAlpha(int32_t x, int32_t y, int32_t opacity, TRect srcRect, const TDIBSurface& src);
  void Draw(int32_t x, int32_t y, const TDIBSurface& src) { DrawRect(x, y, src.BoundsRect(), src); }
  void DrawRect(int32_t x, int32_t y, TRect srcRect, const TDIBSurface& src);
  // Copy between different depths or palettes.
  void DrawConverted(int32_t x, int32_t y, int64_t key, const TDIBSurface& src);
  // Clamped to the surface, not to the clip.
  void FillRect(TRect rect, uint32_t value);

  // ---- whole-image operations ----
  void CopyFrom(const TDIBSurface& src, TRect rect, bool withAlpha);
  void Crop(const TRect& rect);
  void Assign(const TDIBSurface& src);
  void AssignImage(const TDIBSurface& src);
  void MirrorHorizontal();
  void FlipVertical();
  void Resize(int32_t width, int32_t height, int64_t key, bool smooth);
  // Reduces to format 1, 4, 8 (with a generated palette), 15 or 16. quality is unused by the
  // median-cut quantiser but kept for callers.
  void ReduceColors(int32_t format, int32_t quality, bool dither);
  TRect KeyBounds(int64_t key) const;
  void AutoCrop(int64_t key);
  int32_t FindUnusedIndex() const;
  // Converts the surface in place to another format (palette formats go through the
  // quantiser).
  void ConvertTo(int32_t format);

  // ---- alpha plane ----
  TDIBSurface* Alpha() { return alpha_.get(); }
  const TDIBSurface* Alpha() const { return alpha_.get(); }
  void CreateAlpha();
  void FreeAlpha() { alpha_.reset(); }
  void SetAlpha(const TDIBSurface& src);
  void SetAlphaRect(const TDIBSurface& src, const TRect& rect);
  void ResetAlpha();

  // ---- files (see render/imagefiles.h for the readers and writers) ----
  // Loads by extension (case-insensitive): .tga, .ico/.cur, .png, .jpg/.jpeg, else BMP.
  // Returns the transparent colour the file names as a pixel value, or -1.
  int64_t LoadImage(const std::string& fileName, bool wantAlpha);
  void LoadFromFile(const std::string& fileName) { LoadImage(fileName, false); }
  void SaveToFile(const std::string& fileName) const;
  // The picture as a JPEG file (24-bit colour; the alpha plane is not kept).
  void SaveToJpeg(TKvBigStream& stream, int32_t quality = 90) const;

 private:

  int32_t width_ = 0, height_ = 0, bitCount_ = 0, pitch_ = 0;
  uint32_t redMask_ = 0, greenMask_ = 0, blueMask_ = 0;
  std::vector<uint8_t> bits_;
  TPalette palette_{};
  uint8_t reserved_ = 0;
  std::optional<TRect> clip_;
  std::unique_ptr<TDIBSurface> alpha_;
};

// ---- pixel cursors over a byte buffer ----
class TPickPx {
 public:
  explicit TPickPx(const uint8_t* start) : start_(start), current_(start) {}
  virtual ~TPickPx() = default;
  void Rewind() { current_ = start_; }
  virtual uint32_t Next() { return *current_++; }
  virtual void Skip(int32_t n) { current_ += n; }
  const uint8_t* Current() const { return current_; }

 protected:
  const uint8_t* start_;
  const uint8_t* current_;
};

class TPickPx16 : public TPickPx {
 public:
  using TPickPx::TPickPx;
  uint32_t Next() override {
    uint32_t v = current_[0] | current_[1] << 8;
    current_ += 2;
    return v;
  }
  void Skip(int32_t n) override { current_ += 2 * n; }
};

class TPickPx24 : public TPickPx {
 public:
  using TPickPx::TPickPx;
  uint32_t Next() override {
    uint32_t v = current_[0] | current_[1] << 8 | current_[2] << 16;
    current_ += 3;
    return v;
  }
  void Skip(int32_t n) override { current_ += 3 * n; }
};

class TPickPx32 : public TPickPx {
 public:
  using TPickPx::TPickPx;
  uint32_t Next() override {
    uint32_t v = current_[0] | current_[1] << 8 | current_[2] << 16 | static_cast<uint32_t>(current_[3]) << 24;
    current_ += 4;
    return v;
  }
  void Skip(int32_t n) override { current_ += 4 * n; }
};

// A cursor of the right width for a bit count (8 and below read bytes).
std::unique_ptr<TPickPx> MakePickPx(int32_t bitCount, const uint8_t* start);

// The run list of the TGA writer: runs of equal pixel values of at most 128.
class TPxList {
 public:
  void Add(uint32_t value);
  int32_t Count() const { return static_cast<int32_t>(runs_.size()); }
  uint8_t RunLength(int32_t i) const { return runs_[i]; }
  uint32_t RunValue(int32_t i) const { return values_[i]; }

 private:
  std::vector<uint8_t> runs_;
  std::vector<uint32_t> values_;
  bool lastFull_ = false;
};

}  // namespace orba
