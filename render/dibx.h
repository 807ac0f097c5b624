// The drawing surface every visible thing is drawn with: component images, text glyphs and the
// back buffer. TCustomDIBX defines pixel access, the clip-and-update rectangle and the raster
// operations; TDIBX keeps its pixels in a TDIBSurface; TDIBXWave draws into another surface
// with a horizontal offset per row (the wave effect). Pixels are 8, 15, 16, 24 or 32 bits.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "render/dibsfc.h"

namespace orba {

class TKvBigStream;

// The area a rotated and zoomed source rectangle covers when its centre (relative to the
// rectangle's top-left corner) is placed at (x, y). angle in 1/256 turn, zooms 8.8 fixed point.
TRect RotatedBounds(int32_t x, int32_t y, int32_t angle, int32_t centreX, int32_t centreY, const TRect& srcRect,
                    int32_t zoomX, int32_t zoomY);

// What a file or stream holds, judged by its first bytes.
enum TImageKind { IK_UNKNOWN, IK_BMP, IK_PNG, IK_LAYERED, IK_JPEG };
TImageKind SniffImageKind(const uint8_t* bytes, size_t size);

class TCustomDIBX {
 public:
  TCustomDIBX() = default;
  TCustomDIBX(const TCustomDIBX&) = delete;
  TCustomDIBX& operator=(const TCustomDIBX&) = delete;
  virtual ~TCustomDIBX() = default;

  // ---- the abstract pixel interface ----
  virtual bool IsEmpty() const { return Width() <= 0 || Height() <= 0; }
  virtual int32_t PixelFormat() const { return 0; }
  virtual void SetPixelFormat(int32_t /*format*/) {}
  virtual uint32_t RedMask() const { return 0; }
  virtual uint32_t GreenMask() const { return 0; }
  virtual uint32_t BlueMask() const { return 0; }
  virtual int32_t Pitch() const { return 0; }
  virtual uint32_t GetPixel(int32_t /*x*/, int32_t /*y*/) const { return 0; }
  virtual void SetPixel(int32_t /*x*/, int32_t /*y*/, uint32_t /*v*/) {}
  virtual int32_t BlueShift() const;
  virtual int32_t GreenShift() const;
  virtual int32_t RedShift() const;
  virtual int32_t Height() const { return height_; }
  virtual int32_t Width() const { return width_; }
  // The surface actually holding the pixels.
  virtual TCustomDIBX* Target() { return nullptr; }
  virtual int32_t BitCount() const { return 0; }
  virtual void SetSize(int32_t width, int32_t height, int32_t format);
  // Pointer to pixel (x, y) for direct access, or null; every non-null result is paired with
  // EndAccess.
  virtual uint8_t* BeginAccess(int32_t /*x*/, int32_t /*y*/) { return nullptr; }
  virtual void EndAccess() {}
  // No clip: the whole surface.
  virtual void ResetClip() { clip_.reset(); }
  // Unions the rectangle (clamped to the surface) into the clip-and-update rectangle.
  virtual void IncludeRect(const TRect& rect);
  // A colour 0x00BBGGRR to a pixel value; -1 stays -1.
  virtual int64_t ColorToPixel(int64_t rgb) const;
  virtual void Clear(uint32_t v);
  virtual void FillRect(TRect rect, uint32_t v);
  virtual void BlendRect(TRect rect, uint32_t v, int32_t alpha);
  virtual void AddRect(TRect rect, uint32_t v);
  virtual void SubtractRect(TRect rect, uint32_t v);
  virtual void FrameRect(const TRect& rect, int32_t width, uint32_t v);
  virtual void BlendFrameRect(const TRect& rect, int32_t width, int32_t alpha, uint32_t v);
  virtual void AddFrameRect(const TRect& rect, int32_t width, uint32_t v);
  virtual void CopyFrom(TCustomDIBX& src);
  virtual void Draw(int32_t x, int32_t y, bool flipV, bool flipH, bool keyed, TRect srcRect, TCustomDIBX& src);
  virtual void DrawMasked(int32_t x, int32_t y, TCustomDIBX& mask, bool flipV, bool flipH, TRect srcRect,
                          TCustomDIBX& src);
  virtual void DrawBlend(int32_t x, int32_t y, int32_t alpha, bool flipV, bool flipH, bool keyed, TRect srcRect,
                         TCustomDIBX& src);
  virtual void DrawBlendMasked(int32_t x, int32_t y, int32_t alpha, TCustomDIBX& mask, bool flipV, bool flipH,
                               TRect srcRect, TCustomDIBX& src);
  virtual void DrawAdd(int32_t x, int32_t y, int32_t amount, bool flipV, bool flipH, TRect srcRect, TCustomDIBX& src);
  virtual void DrawAddMasked(int32_t x, int32_t y, int32_t amount, TCustomDIBX& mask, bool flipV, bool flipH,
                             TRect srcRect, TCustomDIBX& src);
  virtual void DrawRotate(int32_t x, int32_t y, int32_t alpha, bool flipV, bool flipH, bool keyed, int32_t angle,
                          int32_t centreY, int32_t centreX, TRect srcRect, TCustomDIBX& src, int32_t zoomY,
                          int32_t zoomX);
  virtual void DrawRotateMasked(int32_t x, int32_t y, int32_t alpha, TCustomDIBX& mask, bool flipV, bool flipH,
                                int32_t angle, int32_t centreY, int32_t centreX, TRect srcRect, TCustomDIBX& src,
                                int32_t zoomY, int32_t zoomX);
  virtual void StretchDraw(TRect dstRect, TRect srcRect, int32_t alpha, bool flipV, bool flipH, bool keyed,
                           TCustomDIBX& src);
  virtual void StretchDrawMasked(TRect dstRect, TCustomDIBX& mask, int32_t alpha, bool flipV, bool flipH,
                                 TRect srcRect, TCustomDIBX& src);
  virtual void StretchDrawAdd(TRect dstRect, TRect srcRect, int32_t amount, bool flipV, bool flipH, TCustomDIBX& src);
  virtual void StretchDrawAddMasked(TRect dstRect, TCustomDIBX& mask, int32_t amount, bool flipV, bool flipH,
                                    TRect srcRect, TCustomDIBX& src);
  // src: a 1-bit bitmap oversampled by factor, a clear bit being ink; colour is a pixel value.
  virtual void DrawGlyph(int32_t x, int32_t y, int32_t factor, int32_t alpha, bool flipV, bool flipH, uint32_t colour,
                         TRect srcRect, const TDIBSurface& src);
  // The same from an 8-bit coverage bitmap: each byte is ink when it is 0 (one byte a sample).
  virtual void DrawGlyphBytes(int32_t x, int32_t y, int32_t factor, int32_t alpha, bool flipV, bool flipH,
                              uint32_t colour, TRect srcRect, TCustomDIBX& src);
  // Tiling: dstRect filled with copies of srcRect, the first cell starting (scrollX, scrollY)
  // into the source, cells gapX and gapY pixels apart.
  virtual void TileDraw(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t gapX, int32_t gapY,
                        bool keyed, TCustomDIBX& src);
  virtual void TileDrawBlend(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t gapX,
                             int32_t gapY, int32_t alpha, bool keyed, TCustomDIBX& src);
  virtual void TileDrawMasked(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t gapX,
                              int32_t gapY, TCustomDIBX& mask, TCustomDIBX& src);
  virtual void TileDrawAdd(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t gapX, int32_t gapY,
                           int32_t amount, TCustomDIBX& src);
  virtual void TileDrawBlendMasked(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t gapX,
                                   int32_t gapY, int32_t alpha, TCustomDIBX& mask, TCustomDIBX& src);
  virtual void TileDrawAddMasked(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t gapX,
                                 int32_t gapY, int32_t amount, TCustomDIBX& mask, TCustomDIBX& src);
  // Cells scaled by scaleX, scaleY (16.16 fixed point); cell positions are kept in 16.16 so
  // they do not drift.
  virtual void TileDrawScaled(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t scaleX,
                              int32_t scaleY, int32_t alpha, bool keyed, TCustomDIBX& src);
  virtual void TileDrawScaledAdd(TRect dstRect, TRect srcRect, int32_t scrollX, int32_t scrollY, int32_t scaleX,
                                 int32_t scaleY, int32_t amount, TCustomDIBX& src);
  virtual void FramePattern(const TRect& rect, int32_t width, int32_t offX, int32_t offY, TCustomDIBX& src);
  // Source pixel values index table (destination pixel values); indices not above the source's
  // TransparentColor are skipped.
  virtual void DrawMapped(int32_t x, int32_t y, const uint32_t* table, TRect srcRect, TCustomDIBX& src);
  virtual void DrawMappedAdd(int32_t x, int32_t y, const uint32_t* table, TRect srcRect, TCustomDIBX& src);
  virtual void StretchDrawMapped(TRect dstRect, const uint32_t* table, TRect srcRect, TCustomDIBX& src);
  virtual void FillPatternBlend(const TRect& rect, TCustomDIBX& src, int32_t alpha, bool flipH, bool flipV,
                                int32_t offX, int32_t offY);
  virtual void FillPatternAdd(const TRect& rect, TCustomDIBX& src, int32_t amount, bool flipH, bool flipV,
                              int32_t offX, int32_t offY);
  virtual void FillPattern(const TRect& rect, TCustomDIBX& src, bool flipH, bool flipV, int32_t offX, int32_t offY);
  virtual void LoadFromFile(const std::string& fileName);
  virtual void LoadFromStream(TKvBigStream& stream);
  virtual void SaveToFile(const std::string& fileName);
  virtual void Reset() { SetSize(0, 0, PixelFormat() ? PixelFormat() : 15); }
  virtual void GetPalette(TPalette& palette) const { GetPaletteRange(palette, 0, 256); }
  virtual void GetPaletteRange(TPalette& /*palette*/, int32_t /*first*/, int32_t /*count*/) const {}
  virtual void SetPalette(const TPalette& palette) { SetPaletteRange(palette, 0, 256); }
  virtual void SetPaletteRange(const TPalette& /*palette*/, int32_t /*first*/, int32_t /*count*/) {}
  // A solid colour (pixel value) through an 8-bit mask: anti-aliased glyphs.
  virtual void DrawColorMasked(int32_t x, int32_t y, int32_t alpha, uint32_t colour, bool flipV, bool flipH,
                               TRect srcRect, TCustomDIBX& mask);
  virtual void Release() {}

  // ---- clip state ----
  // Sets the clip, clamped to the surface; an empty clip draws nothing.
  void SetClipRect(const TRect& rect) { clip_ = rect.Intersect(SurfaceRect()); }
  bool HasClip() const { return clip_.has_value(); }
  const std::optional<TRect>& ClipState() const { return clip_; }
  void RestoreClip(const std::optional<TRect>& clip) { clip_ = clip; }
  // The rectangle drawing is limited to.
  TRect EffectiveClip() const { return clip_ ? *clip_ : SurfaceRect(); }
  // The area the surface covers in its own coordinates.
  virtual TRect SurfaceRect() const { return Bounds(0, 0, Width(), Height()); }

  int64_t TransparentColor = -1;

 protected:
  std::optional<TRect> clip_;
  int32_t height_ = 0, width_ = 0;
};

class TDIBX : public TCustomDIBX {
 public:
  TDIBX();
  // Borrows image (not freed) when borrowed is set, else takes a copy of nothing: an own
  // empty image of format 15.
  explicit TDIBX(TDIBSurface* image, bool borrowed = true);
  ~TDIBX() override;

  TDIBSurface& Image() { return *image_; }
  const TDIBSurface& Image() const { return *image_; }
  bool Borrowed() const { return borrowed_; }
  // Points at another image; an owned one is freed.
  void SetImage(TDIBSurface* image, bool borrowed);

  int32_t PixelFormat() const override { return image_->PixelFormat(); }
  void SetPixelFormat(int32_t format) override;
  uint32_t RedMask() const override { return image_->RedMask(); }
  uint32_t GreenMask() const override { return image_->GreenMask(); }
  uint32_t BlueMask() const override { return image_->BlueMask(); }
  int32_t Pitch() const override { return image_->Pitch(); }
  uint32_t GetPixel(int32_t x, int32_t y) const override { return image_->GetPixel(x, y); }
  void SetPixel(int32_t x, int32_t y, uint32_t v) override;
  int32_t Height() const override { return image_->Height(); }
  int32_t Width() const override { return image_->Width(); }
  TCustomDIBX* Target() override { return this; }
  int32_t BitCount() const override { return image_->BitCount(); }
  void SetSize(int32_t width, int32_t height, int32_t format) override;
  uint8_t* BeginAccess(int32_t x, int32_t y) override;
  int64_t ColorToPixel(int64_t rgb) const override;
  void Clear(uint32_t v) override;
  void CopyFrom(TCustomDIBX& src) override;
  void GetPaletteRange(TPalette& palette, int32_t first, int32_t count) const override;
  void SetPaletteRange(const TPalette& palette, int32_t first, int32_t count) override;
  void Release() override { SetSize(0, 0, PixelFormat()); }

 private:
  TDIBSurface* image_;
  bool borrowed_ = false;
};

// Draws into Target with every row y shifted right by Offsets[y - OriginY]. Its coordinates are
// the target's; it covers (OriginX, OriginY, OriginX + Width, OriginY + Height).
class TDIBXWave : public TCustomDIBX {
 public:
  explicit TDIBXWave(TCustomDIBX& target) : target_(&target) {}

  std::vector<int32_t> Offsets;
  int32_t OriginX = 0, OriginY = 0;

  int32_t PixelFormat() const override { return target_->PixelFormat(); }
  uint32_t RedMask() const override { return target_->RedMask(); }
  uint32_t GreenMask() const override { return target_->GreenMask(); }
  uint32_t BlueMask() const override { return target_->BlueMask(); }
  int32_t BitCount() const override { return target_->BitCount(); }
  TCustomDIBX* Target() override { return target_; }
  uint32_t GetPixel(int32_t x, int32_t y) const override;
  void SetPixel(int32_t x, int32_t y, uint32_t v) override;
  // The offsets array follows the height.
  void SetSize(int32_t width, int32_t height, int32_t format) override;
  void ResetClip() override;
  void IncludeRect(const TRect& rect) override;
  int64_t ColorToPixel(int64_t rgb) const override { return target_->ColorToPixel(rgb); }
  TRect SurfaceRect() const override { return Bounds(OriginX, OriginY, Width(), Height()); }

  void Clear(uint32_t v) override { FillRect(Bounds(OriginX, OriginY, Width(), Height()), v); }
  void FillRect(TRect rect, uint32_t v) override;
  void BlendRect(TRect rect, uint32_t v, int32_t alpha) override;
  void AddRect(TRect rect, uint32_t v) override;
  void SubtractRect(TRect rect, uint32_t v) override;
  void Draw(int32_t x, int32_t y, bool flipV, bool flipH, bool keyed, TRect srcRect, TCustomDIBX& src) override;
  void DrawMasked(int32_t x, int32_t y, TCustomDIBX& mask, bool flipV, bool flipH, TRect srcRect,
                  TCustomDIBX& src) override;
  void DrawBlend(int32_t x, int32_t y, int32_t alpha, bool flipV, bool flipH, bool keyed, TRect srcRect,
                 TCustomDIBX& src) override;
  void DrawBlendMasked(int32_t x, int32_t y, int32_t alpha, TCustomDIBX& mask, bool flipV, bool flipH,
                       TRect srcRect, TCustomDIBX& src) override;
  void DrawAdd(int32_t x, int32_t y, int32_t amount, bool flipV, bool flipH, TRect srcRect, TCustomDIBX& src) override;
  void DrawAddMasked(int32_t x, int32_t y, int32_t amount, TCustomDIBX& mask, bool flipV, bool flipH, TRect srcRect,
                     TCustomDIBX& src) override;
  void DrawRotate(int32_t x, int32_t y, int32_t alpha, bool flipV, bool flipH, bool keyed, int32_t angle,
                  int32_t centreY, int32_t centreX, TRect srcRect, TCustomDIBX& src, int32_t zoomY,
                  int32_t zoomX) override;
  void DrawRotateMasked(int32_t x, int32_t y, int32_t alpha, TCustomDIBX& mask, bool flipV, bool flipH, int32_t angle,
                        int32_t centreY, int32_t centreX, TRect srcRect, TCustomDIBX& src, int32_t zoomY,
                        int32_t zoomX) override;
  void StretchDraw(TRect dstRect, TRect srcRect, int32_t alpha, bool flipV, bool flipH, bool keyed,
                   TCustomDIBX& src) override;
  void StretchDrawMasked(TRect dstRect, TCustomDIBX& mask, int32_t alpha, bool flipV, bool flipH, TRect srcRect,
                         TCustomDIBX& src) override;
  void StretchDrawAdd(TRect dstRect, TRect srcRect, int32_t amount, bool flipV, bool flipH, TCustomDIBX& src) override;
  void StretchDrawAddMasked(TRect dstRect, TCustomDIBX& mask, int32_t amount, bool flipV, bool flipH, TRect srcRect,
                            TCustomDIBX& src) override;
  void DrawGlyph(int32_t x, int32_t y, int32_t factor, int32_t alpha, bool flipV, bool flipH, uint32_t colour,
                 TRect srcRect, const TDIBSurface& src) override;
  void DrawGlyphBytes(int32_t x, int32_t y, int32_t factor, int32_t alpha, bool flipV, bool flipH, uint32_t colour,
                      TRect srcRect, TCustomDIBX& src) override;
  void DrawMapped(int32_t x, int32_t y, const uint32_t* table, TRect srcRect, TCustomDIBX& src) override;
  void DrawMappedAdd(int32_t x, int32_t y, const uint32_t* table, TRect srcRect, TCustomDIBX& src) override;
  void StretchDrawMapped(TRect dstRect, const uint32_t* table, TRect srcRect, TCustomDIBX& src) override;
  void FillPatternBlend(const TRect& rect, TCustomDIBX& src, int32_t alpha, bool flipH, bool flipV, int32_t offX,
                        int32_t offY) override;
  void FillPatternAdd(const TRect& rect, TCustomDIBX& src, int32_t amount, bool flipH, bool flipV, int32_t offX,
                      int32_t offY) override;
  void FillPattern(const TRect& rect, TCustomDIBX& src, bool flipH, bool flipV, int32_t offX, int32_t offY) override;
  void DrawColorMasked(int32_t x, int32_t y, int32_t alpha, uint32_t colour, bool flipV, bool flipH, TRect srcRect,
                       TCustomDIBX& mask) override;

 private:
  // Calls draw(offset) once per band of rows [first, last) with equal offsets, the target's
  // clip set to the band (shifted by its offset) for the duration.
  template <class DrawBand>
  void ForBands(int64_t first, int64_t last, DrawBand draw);

  TCustomDIBX* target_;
};

}  // namespace orba
