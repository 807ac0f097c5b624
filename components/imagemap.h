// The clickable region map: a picture divided into named regions read from a region file; the
// hovered region shows the hover picture, a click selects it (@SelStr, @SelIndex) and can close
// the map, which then stays one more tick before it goes.
#pragma once

#include <span>

#include "components/image.h"

namespace orba {

// One region of a map file, relative to the map's origin.
struct TMapRegion {
  std::string Name;
  uint8_t Kind = 0;  // 0 rectangle, 1 ellipse, else polygon
  TRect Box;         // bounds, right and bottom exclusive
  std::vector<TPoint> Points;
  bool Contains(int32_t x, int32_t y) const;
};

// Reads a region file (little-endian: count, then per region a name, a kind byte and either
// four bounds or a point list); every count and length is checked against what remains, and a
// damaged file raises EOrbaError.
std::vector<TMapRegion> ReadRegionMap(std::span<const uint8_t> bytes);
// Our writer of the same form (tests, fuzz seeds, the demo's map).
std::vector<uint8_t> WriteRegionMap(const std::vector<TMapRegion>& regions);

class TOrbaMapImage : public TOrbaControl {
 public:
  // A map asks its list for the right clicks that cancel its choice (and leaves that list
  // when it is freed, as every control leaves the input step's pointers).
  explicit TOrbaMapImage(TOrbaBaseList* owner);
  int32_t GetCompoType() const override { return 18; }

  std::string Source, HoverSource, MapSource;
  int32_t Alpha = 255;
  int32_t Brightness = 0;
  std::string OnMapIn, OnMapOut, OnIdle, OnSelect;
  bool AutoScrap = false, RClickScrap = false, Paused = false;
  uint8_t CloseCountdown = 0;  // 0, or 100 then 101 while closing
  bool Closing = false;
  int32_t Hover = -1;
  std::vector<TMapRegion> Regions;

  int32_t GetInt(int32_t code) const override;
  void SetInt(int32_t code, int32_t v) override;
  bool GetBool(int32_t code) const override;
  void SetBool(int32_t code, bool v) override;
  std::string GetStr(int32_t code) const override;
  void SetStr(int32_t code, const std::string& v) override;
  bool IsClosing() const override { return Closing; }

  // The first region containing the page point, or -1.
  int32_t RegionAt(TPoint p) const;
  void SetHover(int32_t index);
  void Select();
  // The region under the mouse is hovered; a left press on a hovered region selects it.
  void MouseMove() override;
  void MouseOut(TOrbaControl* next) override;
  void LButtonDown() override;
  // The arrow keys move the hover from region to region, Enter or Space selects, Escape
  // cancels when a right click would.
  void KeyRepeat() override;
  // The right click that cancels the choice; true when the map took it.
  bool RightClickCancel() override;

  void Paint(TPaintContext& ctx) override;
  // A depth change: the brightness copies and the cut planes go; the next paint makes them
  // again from the pictures decoded anew.
  void ReleaseSurfaces() override;
  void RecreateSurfaces() override;
  bool Tick() override;
  void Transfer(TTreeIO& io) override;
  void Loaded() override;

 private:
  // Nothing chosen (@SelStr empty, @SelIndex -1), and the map closes.
  void Cancel();
  void LoadPicture(TOrbaImageList& list, const std::string& source);
  void LoadMap();
  TRect RegionBox(int32_t index) const;
  // The current frame's plane cut by the hovered region (kept, or inverted for the base).
  TDIBX* CutMask(TOrbaImageData& frame, bool keepInside, std::unique_ptr<TDIBX>& cut, int32_t& cutFor,
                 const TDIBX*& cutFrom);
  TOrbaImageList base_, hover_;
  std::unique_ptr<TDIBX> baseCut_, hoverCut_;
  int32_t baseCutFor_ = -2, hoverCutFor_ = -2;
  const TDIBX* baseCutFrom_ = nullptr;
  const TDIBX* hoverCutFrom_ = nullptr;
};

}  // namespace orba
