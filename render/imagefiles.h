// Readers and writers of the picture files the player handles itself: BMP, Truevision TGA,
// icons and cursors, plus PNG and JPEG through their libraries. Every reader is bounded: a
// length, count or offset that does not fit the data raises EReadError and leaves no
// half-read state behind the caller's surface.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "render/dibsfc.h"

namespace orba {

class TKvBigStream;

std::vector<uint8_t> ReadFileBytes(const std::string& fileName);
// Replaces the file whole through the one writer of whole files (WriteFileReplacing).
void WriteFileBytes(const std::string& fileName, const std::vector<uint8_t>& bytes);

// BMP at 1, 4, 8, 16 (5-5-5 or 5-6-5), 24 and 32 bits, bottom-up or top-down, uncompressed,
// run-length (8 and 4 bits) or with bit fields.
void LoadBmp(std::span<const uint8_t> data, TDIBSurface& surface);
// Writes the surface at its own depth (15 as plain 16-bit, 16 with its bit fields).
void SaveBmp(TKvBigStream& stream, const TDIBSurface& surface);

// Returns the transparent colour the file names, as a pixel value of the surface, or -1.
// An image type the reader does not handle leaves the surface empty and returns -1.
int64_t LoadTga(std::span<const uint8_t> data, TDIBSurface& surface, bool wantAlpha);
// transparent: a pixel value of the surface or -1; alpha: write the alpha plane into byte 3
// of 32-bit pixels (as 255 minus the plane).
void SaveTga(TKvBigStream& stream, const TDIBSurface& surface, int64_t transparent, bool rle, bool alpha);

struct TIconInfo {
  bool Cursor = false;
  TPoint HotSpot;
  int64_t Transparent = -1;  // pixel value given to masked pixels, or -1
};
// Loads image 0. transparentColour (0x00BBGGRR, or -1): the colour masked pixels should get.
TIconInfo LoadIcon(std::span<const uint8_t> data, TDIBSurface& surface, int64_t transparentColour = -1);
// Stores the image with an AND mask from the alpha plane (below 128 is masked), or else from
// the transparent pixel value.
void SaveIcon(TKvBigStream& stream, const TDIBSurface& surface, bool cursor, TPoint hotSpot = {},
              int64_t transparent = -1);

// PNG with its samples as stored (no gamma or colour profile applied, 16-bit samples rounded
// to 8 bits): palette pictures at 1, 4 or 8 bits with their indexes (2 bits widen to 8), with
// per-index alpha in the alpha plane when wantAlpha; others at 24 bits, or 32 bits with the
// alpha in byte 3 and, with wantAlpha, in the alpha plane. Returns the transparent pixel value
// the file names (a tRNS colour, or a palette index clear where all others are opaque), or -1.
int64_t LoadPng(std::span<const uint8_t> data, TDIBSurface& surface, bool wantAlpha);
// 24-bit colour, plus the alpha plane as the PNG's alpha channel when the surface has one.
void SavePng(TKvBigStream& stream, const TDIBSurface& surface);

// maxPixels: the most pixels the picture may claim (a layered picture's frame size), checked
// before the library allocates anything for the image.
void LoadJpeg(std::span<const uint8_t> data, TDIBSurface& surface, int64_t maxPixels = kMaxSurfacePixels);
void SaveJpeg(TKvBigStream& stream, const TDIBSurface& surface, int32_t quality = 90);

// Loads any supported picture, judged by extension and then by content.
int64_t LoadAnyImage(std::span<const uint8_t> data, const std::string& fileName, TDIBSurface& surface,
                     bool wantAlpha);

}  // namespace orba
