// Labels: one-style lines of text (buttons, menus, captions) drawn without the tag language.
// Each line is rendered once into its own colour and alpha bitmaps through the glyph cache,
// then copied to the target as often as the owner repaints.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/dibsfc.h"

namespace orba {

class TKvBigStream;

// One line of a label: its text, its bitmaps and the advance of each character.
struct TKvLabelDIB {
  std::string Text;  // code page 932
  TDIBSurface Colour{0, 0, 32};
  TDIBSurface AlphaSurface{0, 0, 8};
  std::vector<int32_t> Advances;
  bool Dirty = true;
};

// The font metrics a label stores with its settings: 212 bytes in the place of the system's
// outline metrics record. Our layout: int32 values, little-endian, in this order, then zeros
// up to 212 bytes: record size (212), cell height, ascent, descent, em size in 1/64 pixels,
// average width, underline position, underline thickness, strike-out position, strike-out
// thickness. A stored record is read past and never trusted: Render measures anew.
struct TLabelMetrics {
  static constexpr int kStoredSize = 212;
  int32_t CellHeight = 0, Ascent = 0, Descent = 0, EmSize = 0, AverageWidth = 0;
  int32_t UnderlinePosition = 0, UnderlineThickness = 0, StrikeOutPosition = 0, StrikeOutThickness = 0;
  std::array<uint8_t, kStoredSize> Stored() const;
};

class TKvLabelList {
 public:
  TKvLabelList();

  // Replaces the lines; every line is rendered again at the next Render.
  void SetLines(const std::vector<std::string>& lines);
  size_t Count() const { return lines_.size(); }
  const TKvLabelDIB& Line(size_t index) const { return *lines_[index]; }

  // Rebuilds the bitmaps of lines marked dirty (all of them after a setting changed).
  void Render();
  // Copies a rendered line to the target with its top-left at (x, y).
  void Draw(int32_t x, int32_t y, size_t line);
  // Marks every line for rendering again (after a setting changed).
  void Invalidate();

  // The settings record of the components that own labels; version gates the newer fields.
  // Loading is all or nothing: a short record raises and leaves the label as it was.
  void LoadSettings(TKvBigStream& stream, int version);
  void SaveSettings(TKvBigStream& stream) const;
  static constexpr int kSettingsVersion = 122;

  const TLabelMetrics& Metrics() const { return metrics_; }

  std::string FontName;  // code page 932, "ＭＳ Ｐゴシック" by default
  int32_t FontHeight = 12;
  int32_t Color = 0xFFFFFF;
  int32_t Quality = 3;
  int32_t Alpha = 255;
  int32_t BorderWidth = 0;
  int32_t BorderColor = 0;
  uint8_t Style = 0;
  int32_t Shadow = 0;
  int32_t ShadowColor = 0;
  TDIBSurface* Target = nullptr;

 private:
  void RenderLine(TKvLabelDIB& line);
  std::vector<std::unique_ptr<TKvLabelDIB>> lines_;
  TLabelMetrics metrics_;
};

}  // namespace orba
