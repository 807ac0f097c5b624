// Layered images (".trn"): every picture of a project. A file holds frames of an animation,
// each made of layers that are flattened into one surface (with an optional alpha plane) as
// the file is read; pixel rows and tile tables may be stored in an order drawn from the
// project's seed. A single PNG or bitmap also reads as one frame.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "base/stream.h"
#include "render/dibsfc.h"

namespace orba {

// The seed the project's pictures are stored with (its project file's image seed).
int32_t& ProjectImageSeed();

class TTarnFrame {
 public:
  std::string Name;
  TDIBSurface Surface;
  int32_t TransparentValue = -1;  // stored pixel value, -1 for none
  int32_t TransparentColor = -1;  // colour 0x00BBGGRR, -1 for none
  int32_t Delay = 100;            // ms
  std::vector<TRect> Rects1, Rects2;

  // An alpha plane from the transparent value: 0 where the pixel is transparent, else 255.
  // Nothing when the frame has an alpha plane already.
  void MakeMask();
  // Crops the frame to what is not transparent and returns the area kept (the whole frame
  // when nothing or everything is transparent); the rectangle lists follow.
  TRect Trim();
  // The picture of a PNG file; a transparent colour it names becomes the transparent value
  // (a pixel value above 8 bits, a palette index at 8 bits and below) and colour.
  void LoadPngPicture(std::span<const uint8_t> png);
  // The alpha plane into an 8-bit bitmap of the frame's size (nothing without one).
  void CopyAlphaToBitmap(TDIBSurface& target) const;
};

class TTarnFrameList {
 public:
  static constexpr int32_t kWriteVersion = 106;
  // Bounds on what a file may claim, far above any real picture.
  static constexpr int32_t kMaxSide = 16384;
  static constexpr int32_t kMaxLayers = 4096;
  static constexpr int32_t kMaxFrames = 100000;

  explicit TTarnFrameList(int32_t seed = 0) : Seed(seed) {}

  int32_t Version = 0;
  int32_t Background = 0;   // colour 0x00BBGGRR
  int32_t ReduceFormat = 0; // bits per pixel to reduce to when converting (0 keeps)
  int32_t Seed = 0;         // row and tile order; 0 keeps the stored order
  uint8_t FirstOpaque = 0;

  int Count() const { return static_cast<int>(frames_.size()); }
  TTarnFrame& operator[](int i) { return *frames_[static_cast<size_t>(i)]; }
  const TTarnFrame& operator[](int i) const { return *frames_[static_cast<size_t>(i)]; }
  TTarnFrame& AddFrame();
  // A new frame from a PNG picture, as a picture is stored in a project: an opaque one at 24
  // bits without an alpha plane, one with see-through pixels at 32 bits with its alpha plane.
  TTarnFrame& AddPngFrame(std::span<const uint8_t> png);
  void Clear() { frames_.clear(); }

  // Clears the list and reads a layered image. A damaged file raises EOrbaError; the frames
  // read before the damage stay in the list.
  void LoadFromStream(TKvBigStream& stream, bool firstOnly = false, bool convert = false);
  // By extension: ".trn", ".png", ".bmp"/".dib"; anything else reads nothing.
  void LoadFromBytes(std::span<const uint8_t> bytes, const std::string& name, bool firstOnly = false,
                     bool convert = false);
  void LoadFromFile(const std::string& fileName, bool firstOnly = false, bool convert = false);
  // Writes version 106. mode: 0 zlib, 1 raw, 2 JPEG main image (quality 1..100).
  void SaveToStream(TKvBigStream& stream, int32_t mode = 0, int32_t quality = 70) const;
  void SaveToFile(const std::string& fileName) const;
  void MakeMasks();

  // True for a layered image of version 103 or later whose pixel data are stored raw.
  static bool IsRawStored(TKvBigStream& stream);

 private:
  std::vector<std::unique_ptr<TTarnFrame>> frames_;
};

}  // namespace orba
