// The picture components: a single picture (TOrbaImage), frame-animated pictures (TOrbaImages)
// and the four-state button built on them. They share one drawing rule (alpha convention,
// zoom, flips, rotation about the pivot, alpha plane or colour key) and one hit test that can
// look through the picture's mask.
#pragma once

#include <array>
#include <memory>

#include "components/motion.h"
#include "components/orbaobject.h"
#include "components/picturecache.h"

namespace orba {

// Draws src (with mask, else its colour key) into dst by the alpha convention: 1..254
// blended, 255 opaque, 256..511 added at (alpha - 256) / 256; other values draw nothing.
// Stretched when dstRect differs from the source's size.
void DrawByAlpha(TCustomDIBX& dst, const TRect& dstRect, TCustomDIBX& src, TCustomDIBX* mask, int32_t alpha,
                 bool flipH, bool flipV);

// One frame as one component uses it: a brightness other than 0 draws from an own copy.
class TOrbaImageData {
 public:
  explicit TOrbaImageData(TTarnItemFrame& frame) : Frame(&frame) {}
  TTarnItemFrame* Frame;
  void SetBrightness(int32_t value);
  TDIBX& DrawSurface() { return Adjusted ? *Adjusted : Frame->Surface; }
  TDIBX* Mask() { return Frame->AlphaPlane.get(); }
  int32_t Brightness() const { return brightness_; }
  // Drops the brightness copy; the next SetBrightness makes it again.
  void ReleaseSurfaces() {
    Adjusted.reset();
    brightness_ = 0;
  }

 private:
  int32_t brightness_ = 0;
  std::unique_ptr<TDIBX> Adjusted;
};

// The frames of one picture a component holds (the cache item stays acquired meanwhile).
class TOrbaImageList {
 public:
  explicit TOrbaImageList(const void* owner) : Owner(owner) {}
  ~TOrbaImageList() { Clear(); }
  TOrbaImageList(const TOrbaImageList&) = delete;
  TOrbaImageList& operator=(const TOrbaImageList&) = delete;
  const void* const Owner;
  TTarnItem* Item = nullptr;
  std::vector<std::unique_ptr<TOrbaImageData>> Frames;
  int32_t CurrentIndex = 0;
  int32_t Remaining = 0;

  void Load(const std::string& fileName, bool mask);
  void Clear();
  int32_t Count() const { return static_cast<int32_t>(Frames.size()); }
  TOrbaImageData* Frame(int32_t index) {
    return index >= 0 && index < Count() ? Frames[static_cast<size_t>(index)].get() : nullptr;
  }
  void SetIndex(int32_t index);
  bool Advance(int32_t delta);
  void ReleaseSurfaces() {
    for (auto& data : Frames) data->ReleaseSurfaces();
  }
};

class TOrbaCustomImage : public TOrbaControl {
 public:
  using TOrbaControl::TOrbaControl;

  TDIBX Surface;                       // an own picture (single pictures)
  bool OwnPicture = false;             // Surface holds one
  TDIBX* ShownSurface = nullptr;       // shown instead of Surface when set
  TDIBX* ShownMask = nullptr;          // wins over OwnMask when set
  std::unique_ptr<TDIBX> OwnMask;
  int32_t Alpha = 255;
  int32_t Angle = 0;
  bool FlipHorizontal = false, FlipVertical = false;
  bool CaptureMask = false;
  bool SizeDirty = false;

  uint32_t KindMask() const override { return TOrbaControl::KindMask() | kinds::kImage; }
  int32_t ZoomX() const override { return zoomX_; }
  int32_t ZoomY() const override { return zoomY_; }
  bool FlipH() const override { return FlipHorizontal; }
  bool FlipV() const override { return FlipVertical; }
  const TCustomDIBX* GetDrawSurface() const override { return Shown(); }

  int32_t GetInt(int32_t code) const override;
  void SetInt(int32_t code, int32_t v) override;
  bool GetBool(int32_t code) const override;
  void SetBool(int32_t code, bool v) override;

  // The point the picture turns about, in page coordinates, and in the picture's pixels.
  TPoint GetPivot() const;
  TPoint PivotInPicture() const;
  TRect GetClientRect() const override;
  // The topmost control at p (children first) whose IgnoreMouse mode the mask admits; a turned
  // picture is tested unturned, and with CaptureMask only its opaque pixels are hit.
  TOrbaControl* HitTest(TPoint p, uint32_t mask) override;
  void Paint(TPaintContext& ctx) override;
  void CollectOpaqueRegions(TClipData& data) override;
  bool Tick() override;
  void Transfer(TTreeIO& io) override;

  TDIBX* Shown() const { return ShownSurface ? ShownSurface : (OwnPicture ? const_cast<TDIBX*>(&Surface) : nullptr); }
  TDIBX* ShownMaskPlane() const { return ShownMask ? ShownMask : OwnMask.get(); }
  // Width and height from the picture and the zoom; a zoom of 0 (the script set the size)
  // keeps the size the script set.
  void UpdateSize();

 protected:
  // A tile's size is the area it covers, set by the script; the zoom only scales its cells.
  virtual bool SizeFromPicture() const { return true; }
  virtual bool HasPicture() const { return Shown() != nullptr; }
  int32_t zoomX_ = 256, zoomY_ = 256;
};

// A single picture: frame 0 of its source is copied, the cache item released at once.
class TOrbaImage : public TOrbaCustomImage {
 public:
  using TOrbaCustomImage::TOrbaCustomImage;
  std::string Source;
  int32_t Brightness = 255;

  int32_t GetInt(int32_t code) const override;
  void SetInt(int32_t code, int32_t v) override;
  std::string GetStr(int32_t code) const override;
  void SetStr(int32_t code, const std::string& v) override;
  void SetSource(const std::string& source);
  // A copy of a surface as the picture, without a source: the still screen a screen change
  // keeps in view while the pages change behind it.
  void TakePicture(TCustomDIBX& surface);
  void Transfer(TTreeIO& io) override;
  void Loaded() override;
  void ReleaseSurfaces() override;
  void RecreateSurfaces() override;

 private:
  void Reload();
  bool HasPicture() const override { return !Source.empty() || ShownSurface || OwnPicture; }
};

// Frame-animated pictures; a button holds four image lists, one per state.
class TOrbaImages : public TOrbaCustomImage {
 public:
  explicit TOrbaImages(TOrbaBaseList* owner, int lists = 1);
  int32_t GetCompoType() const override { return 8; }

  int32_t Remaining = 0;
  int32_t Index = -1;
  int32_t Brightness = 0;
  bool Paused = false;
  std::string LastFrameWait;  // an integer expression, in ms
  bool Repeat = false;
  bool AutoScrap = false;
  std::string Source, OnPlayEnd, OnIdle;

  int32_t GetInt(int32_t code) const override;
  void SetInt(int32_t code, int32_t v) override;
  bool GetBool(int32_t code) const override;
  void SetBool(int32_t code, bool v) override;
  std::string GetStr(int32_t code) const override;
  void SetStr(int32_t code, const std::string& v) override;

  void SetIndex(int32_t i);
  // The film's frames when a motion plays, else the pictures'.
  int32_t FrameCount() const;
  virtual bool RepeatNow() const { return Repeat; }
  bool Playing() const;
  // Loads a state's source into its list; the first state's source is Source.
  void SetStateSource(int state, const std::string& source);
  bool Tick() override;
  void Transfer(TTreeIO& io) override;
  void Loaded() override;
  void ReleaseSurfaces() override;
  void RecreateSurfaces() override;

 protected:
  // The animated part of the saved form (the tile has its own fields after it).
  void TransferFrames(TTreeIO& io);
  // The list of the state shown.
  virtual int CurrentList() const { return 0; }
  TOrbaImageList& List() const { return *lists_[static_cast<size_t>(CurrentList())]; }
  // Steps the frames by a tick; answers at the end of a play that does not repeat.
  enum class TStep { Running, Ended };
  TStep StepFrames();
  std::vector<std::unique_ptr<TOrbaImageList>> lists_;
  // The motions of the states whose motion is not playing (buttons); the playing one is the
  // control's Motion, that of motionState_.
  std::array<std::unique_ptr<TOrbaMotion>, 4> parked_;
  int32_t motionState_ = 0;
  bool HasPicture() const override { return Index >= 0 || ShownSurface; }
  int32_t LastWaitMs() const;
};

// A picture repeated over the tile's area, its cells DistanceX/Y apart, shifted by the scroll.
class TOrbaTile : public TOrbaImages {
 public:
  using TOrbaImages::TOrbaImages;
  int32_t GetCompoType() const override { return 20; }
  int32_t ScrollPosX = 0, ScrollPosY = 0;
  int32_t DistanceX = 0, DistanceY = 0;

  int32_t ScrollX() const override { return ScrollPosX; }
  int32_t ScrollY() const override { return ScrollPosY; }
  int32_t GetInt(int32_t code) const override;
  void SetInt(int32_t code, int32_t v) override;
  // The repeat of one cell along an axis: the distance when it is at least half the frame.
  static int32_t CellSize(int32_t distance, int32_t frame) {
    return distance >= 1 && distance >= frame / 2 ? distance : frame;
  }
  void Paint(TPaintContext& ctx) override;
  void CollectOpaqueRegions(TClipData& data) override;
  void Transfer(TTreeIO& io) override;

 protected:
  bool SizeFromPicture() const override { return false; }
};

class TOrbaButton : public TOrbaImages {
 public:
  explicit TOrbaButton(TOrbaBaseList* owner) : TOrbaImages(owner, 4) {}
  int32_t GetCompoType() const override { return 3; }

  std::string HoverSource, PressedSource, ClickedSource;
  int32_t State = 0;
  int32_t NextState = 0;
  int32_t Tracking = 0;
  int32_t GroupIndex = 0;
  bool Selected = false;
  bool AllowAllUp = false;
  std::string OnNotify;

  int32_t GetInt(int32_t code) const override;
  void SetInt(int32_t code, int32_t v) override;
  bool GetBool(int32_t code) const override;
  void SetBool(int32_t code, bool v) override;
  std::string GetStr(int32_t code) const override;
  void SetStr(int32_t code, const std::string& v) override;
  bool RepeatNow() const override { return State != 3; }

  void SetState(int32_t s);
  void Click();
  // Hover, press and release: a press captures the left button and shows the pressed
  // picture while the mouse stays on the button; a release on it clicks.
  void MouseMove() override;
  void MouseOut(TOrbaControl* next) override;
  void LButtonDown() override;
  void LButtonUp() override;
  // Enter or Space repeating on the focused button click it.
  void KeyRepeat() override;
  void SetSelected(bool v);
  // Selected without events or the group rule (the rule itself sets the members so).
  void SetDownSilently(bool v);
  void SetDown(bool v) { SetSelected(v); }
  void SetGroupIndex(int32_t v);
  void SetAllowAllUp(bool v);
  bool Tick() override;
  void Transfer(TTreeIO& io) override;
  void Loaded() override;

 protected:
  int CurrentList() const override { return State < 0 ? 0 : State; }

 private:
  void GroupRule();
  // The mouse is on the button as a left press would find it.
  bool PressedInside();
};

}  // namespace orba
