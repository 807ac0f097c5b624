// The component tree: every thing a project shows or plays is an object of this tree, owned by
// one base list (components/baselist.h). Objects are read and written by scripts through the
// numbered properties; controls have a place on a screen page, children in z-order, a clip
// window, and paint themselves into the dirty rectangles of their page.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/extended.h"
#include "base/geometry.h"
#include "components/events.h"
#include "components/properties.h"

namespace orba {

class TOrbaBaseList;
class TOrbaControl;
class TOrbaBase;
class TCustomDIBX;
class TOrbaMotion;

// The version of the component trees this player writes (the game save's version).
constexpr int32_t kTreeVersion = 134;

// Internal objects carry names that begin with this byte; they are never saved and sort first.
constexpr char kInternalMark = '\x01';
// The full-screen snapshot that screen changes put on a page; it always sorts on top.
inline constexpr std::string_view kSnapshotName{"\x01\x01", 2};
inline bool IsInternalName(std::string_view name) { return !name.empty() && name[0] == kInternalMark; }

// The painted and the fully opaque parts of a component, in page coordinates: what hides the
// components below it.
struct TClipData {
  std::vector<TRect> Painted;
  std::vector<TRect> Opaque;
  void Clear() {
    Painted.clear();
    Opaque.clear();
  }
};

// Reading, writing and checking a saved tree walk one description per kind: Transfer names
// the fields in their stored order with their version gates, and the stream decides what
// happens to them.
class TTreeIO {
 public:
  enum class TMode : uint8_t { Write, Read, Check };
  TTreeIO(TMode mode, int32_t version) : Mode(mode), Version(version) {}
  virtual ~TTreeIO() = default;
  const TMode Mode;
  const int32_t Version;
  virtual void I32(int32_t& v) = 0;
  virtual void Byte(uint8_t& v) = 0;
  virtual void Str(std::string& v) = 0;
  virtual void Ext(TExtended& v) = 0;  // 10 bytes
  void Flag(bool& v) {
    uint8_t b = v ? 1 : 0;
    Byte(b);
    v = b != 0;
  }
  // Children: written by the control part, read into the list or only checked.
  virtual void Children(TOrbaControl& control) = 0;
};

// What a painting pass carries: the surface, and the counter of the occlusion pre-pass.
struct TPaintContext {
  TCustomDIBX& Surface;
  int32_t Counter = 0;   // controls met so far in paint order
  int32_t DrawFrom = 0;  // the controls met before this one are hidden by an opaque one above
  bool Hidden = false;   // the control being painted is hidden: it only paints its children
};

class TOrbaObject {
 public:
  explicit TOrbaObject(TOrbaBaseList* owner) : Owner(owner) {}
  virtual ~TOrbaObject() = default;
  TOrbaObject(const TOrbaObject&) = delete;
  TOrbaObject& operator=(const TOrbaObject&) = delete;

  TOrbaBaseList* const Owner;
  TComponentId Id = 0;  // given by the owner; never reused
  std::string Tag;
  int32_t Priority = 0;
  int32_t SubPriority = 0;

  const std::string& Name() const { return name_; }
  // A name taken by another object of the owner: the other object is scrapped (controls
  // rename it instead).
  virtual void SetName(const std::string& name);
  virtual void SetPriority(int32_t priority);
  // The second z-order term (animation tracks); sorts the siblings like the priority.
  void SetSubPriority(int32_t sub);

  // ---- properties, by code: one virtual call per value kind. Only codes whose row names
  // this kind reach these (components/propaccess.h); unknown codes read 0 and ignore writes.
  virtual int32_t GetInt(int32_t code) const;
  virtual void SetInt(int32_t code, int32_t v);
  virtual double GetFloat(int32_t /*code*/) const { return 0; }
  virtual void SetFloat(int32_t /*code*/, double /*v*/) {}
  virtual bool GetBool(int32_t /*code*/) const { return false; }
  virtual void SetBool(int32_t /*code*/, bool /*v*/) {}
  virtual std::string GetStr(int32_t code) const;
  virtual void SetStr(int32_t code, const std::string& v);
  // The indexed accessors several codes share: the 3 x 3 border pictures (cells 0..8,
  // row-major), their alignments, the three particle parameters and the caret position.
  virtual std::string GetBorderSource(int32_t /*cell*/) const { return {}; }
  virtual void SetBorderSource(int32_t /*cell*/, const std::string& /*v*/) {}
  virtual int32_t GetBorderAlign(int32_t /*cell*/) const { return 0; }
  virtual void SetBorderAlign(int32_t /*cell*/, int32_t /*v*/) {}
  virtual double GetParam(int32_t /*index*/) const { return 0; }
  virtual void SetParam(int32_t /*index*/, double /*v*/) {}
  virtual TPoint GetCaretPos() const { return {}; }

  // The type code (the tag in saved trees); 0 for the abstract classes and the bases.
  virtual int32_t GetCompoType() const { return 0; }
  // The kind bits the property table's rows name.
  virtual uint32_t KindMask() const { return kinds::kAll | kinds::Bit(GetCompoType()); }
  virtual TOrbaControl* AsControl() { return nullptr; }
  const TOrbaControl* AsControl() const { return const_cast<TOrbaObject*>(this)->AsControl(); }
  // A new object with an owner takes the first free "object%d" name.
  virtual bool HasAutoName() const { return true; }
  // Advances one tick; true means finished: the list frees the object.
  virtual bool Tick() { return false; }
  // Paused objects are not ticked (PR_PAUSED).
  bool IsPaused() const { return PropertyInfo(PR_PAUSED).Readers & KindMask() ? GetBool(PR_PAUSED) : false; }
  virtual bool IsInCabinet() const { return false; }
  // A choice component that was decided raises no further events.
  virtual bool IsClosing() const { return false; }
  virtual void Invalidate() {}
  bool IsScrapped() const { return scrapped_; }

  // Queues the event of a handler property (its text non-empty, the object not closing);
  // with notWaiting, not when an event of this object and code still waits.
  void QueueEvent(int32_t code, TArrayString params = {}, bool notWaiting = false);

  // The saved form of the object part; kinds extend it (base part first).
  virtual void Transfer(TTreeIO& io);
  // After a load: what a kind does once its fields are back (reload pictures...).
  virtual void Loaded() {}

 private:
  friend class TOrbaBaseList;
  friend class TOrbaControl;
  std::string name_;
  bool scrapped_ = false;
};

// A component can receive queued events; the invisible kinds derive from it directly.
class TOrbaComponent : public TOrbaObject {
 public:
  using TOrbaObject::TOrbaObject;
};

// The IgnoreMouse modes a hit test accepts, as bits by mode: a left press passes through
// IM_CLICK, IM_LCLICK and IM_ALL (IM_NONE, IM_RCLICK take it), a right press through IM_CLICK,
// IM_RCLICK and IM_ALL, hovering only through IM_ALL.
inline constexpr uint32_t kLeftPressMask = 17, kRightPressMask = 9, kHoverMask = 29;

// The handler properties of a control, in their stored order.
enum class THandler : uint8_t {
  MouseMove, MouseIn, MouseOut, LBtnDown, LBtnUp, RBtnDown, RBtnUp, WheelDown, WheelUp,
  KeyDown, KeyUp, KeyRepeat, FocusIn, FocusOut, Count
};

class TOrbaControl : public TOrbaComponent {
 public:
  explicit TOrbaControl(TOrbaBaseList* owner);
  ~TOrbaControl() override;

  // ---- the saved fields, in their stored order (write them through the setters) ----
  int32_t Left = 0, Top = 0, Width = 1, Height = 1, OffsetX = 0, OffsetY = 0;
  bool PosZoomed = false;
  int32_t MotionX = 0, MotionY = 0, PlusX = 0, PlusY = 0;
  int32_t ClipLeft = 0, ClipTop = 0, ClipWidth = 0, ClipHeight = 0;
  bool AniPaused = false;
  bool Visible = true;
  int32_t Color = 0;
  TRect DesignRect{0, 0, 1, 1};
  uint8_t IgnoreMouse = IM_NONE;
  std::string Cursor;
  std::array<std::string, static_cast<size_t>(THandler::Count)> Handlers;
  bool HandleKey = false;
  // Not saved: set by the authoring tool only.
  bool Highlighted = false;

  TOrbaControl* AsControl() override { return this; }
  uint32_t KindMask() const override { return TOrbaObject::KindMask() | kinds::kControls; }
  void SetName(const std::string& name) override;
  void SetPriority(int32_t priority) override;

  int32_t GetInt(int32_t code) const override;
  void SetInt(int32_t code, int32_t v) override;
  bool GetBool(int32_t code) const override;
  void SetBool(int32_t code, bool v) override;
  std::string GetStr(int32_t code) const override;
  void SetStr(int32_t code, const std::string& v) override;

  // ---- tree ----
  TOrbaControl* Parent() const { return parent_; }
  const std::vector<TOrbaControl*>& Children() const { return children_; }
  // Moves the control under another (null: none); nothing when it is the parent already or
  // lies inside this control.
  void SetParent(TOrbaControl* parent);
  bool Contains(const TOrbaControl* other) const;
  void SortChildren();
  // The page the control lies on: the parent's answer; a page answers itself.
  virtual TOrbaBase* GetBase();
  bool IsInCabinet() const override;
  virtual bool IsVisible() const { return Visible; }
  void SetVisible(bool visible);
  // Visible, on the page shown, and every ancestor visible.
  bool IsShowing();
  virtual void EnteredCabinet() {}
  virtual void LeftCabinet() {}

  // ---- geometry ----
  // The zoom (256 = 100 %), flips and scroll position of the kinds that have them.
  virtual int32_t ZoomX() const { return 256; }
  virtual int32_t ZoomY() const { return 256; }
  virtual bool FlipH() const { return false; }
  virtual bool FlipV() const { return false; }
  virtual int32_t ScrollX() const { return 0; }
  virtual int32_t ScrollY() const { return 0; }
  // The surface a kind renders itself into before it is drawn scaled (its size decides where
  // children with zoomed positions go), or null.
  virtual const TCustomDIBX* GetDrawSurface() const { return nullptr; }
  // A motion drives the position (components/motion.h).
  virtual bool HasMotion() const { return Motion != nullptr; }
  std::unique_ptr<TOrbaMotion> Motion;
  // Attaches a motion made from a film file, in place of any other (none without a film
  // factory).
  void LoadMotion(const std::string& file);
  void RestartMotion();
  // Detaches the motion; the position and sub-priority it wrote go back to 0.
  void FreeMotion();
  int32_t AbsoluteLeft() const;
  int32_t AbsoluteTop() const;
  int32_t LeftInParent() const;
  int32_t TopInParent() const;
  TRect AbsoluteRect() const { return Bounds(AbsoluteLeft(), AbsoluteTop(), Width, Height); }
  // Empty when the control has no clip window.
  TRect AbsoluteClipWindow() const;
  virtual TRect GetClientRect() const { return AbsoluteRect(); }
  // What the control draws can reach no further than this.
  virtual TRect PaintBounds() const { return GetClientRect(); }
  // rect := rect ∩ client rect; true when something is left.
  bool IntersectsClient(TRect& rect) const { return !(rect = rect.Intersect(GetClientRect())).IsEmpty(); }
  TPoint ToBase(TPoint p) const { return {p.X + AbsoluteLeft(), p.Y + AbsoluteTop()}; }
  TPoint ToClient(TPoint p) const { return {p.X - AbsoluteLeft(), p.Y - AbsoluteTop()}; }

  // Setters that repaint what they change. The place and the origin tell the children even
  // when unchanged; Left and Top end what a motion wrote.
  void SetLeft(int32_t v) { Place(Left, v, &MotionX); }
  void SetTop(int32_t v) { Place(Top, v, &MotionY); }
  void SetOffsetX(int32_t v) { Place(OffsetX, v, nullptr); }
  void SetOffsetY(int32_t v) { Place(OffsetY, v, nullptr); }
  void SetWidth(int32_t v) { Change(Width, v); }
  void SetHeight(int32_t v) { Change(Height, v); }
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
  void SetPlusX(int32_t v) { Change(PlusX, v); }
  void SetPlusY(int32_t v) { Change(PlusY, v); }
  void SetMotionX(int32_t v) { Change(MotionX, v); }
  void SetMotionY(int32_t v) { Change(MotionY, v); }
  void SetColor(int32_t v) { Change(Color, v); }
  void SetPosZoomed(bool v);
  void SetClip(int32_t& field, int32_t v);
  virtual void PositionChanged();
  virtual void ClipChanged();

  // ---- painting ----
  void Invalidate() override;
  virtual void NotifyInvalidate(const TRect& rect) {
    if (parent_) parent_->NotifyInvalidate(rect);
  }
  // Draws the control into the surface's clip (unless ctx.Hidden), then its children; the
  // default draws only the children.
  virtual void Paint(TPaintContext& ctx) { PaintChildren(ctx); }
  // The parts the control paints and covers fully (page coordinates).
  virtual void CollectOpaqueRegions(TClipData& /*data*/) {}
  // A change of the display mode or depth: pixel buffers made from pictures or text are
  // dropped, then made again at the page's new format. The defaults walk the children.
  virtual void ReleaseSurfaces();
  virtual void RecreateSurfaces();
  // Advances the motion; true when it ended and PR_AUTOSCRAP asks to free the control (else
  // PR_ONPLAYEND is queued).
  bool Tick() override;

  std::string& Handler(THandler h) { return Handlers[static_cast<size_t>(h)]; }

  // ---- mouse and keyboard (components/input.cpp) ----
  // The topmost control under p (page coordinates) whose IgnoreMouse mode has its bit in
  // mask; a control that is not hit itself still lets its children be hit. Invisible
  // subtrees are skipped, and the search stops at the first hit.
  virtual TOrbaControl* HitTest(TPoint p, uint32_t mask);
  // The control's IgnoreMouse mode has its bit in modes (modes above 7 never do).
  bool Admits(uint32_t modes) const { return IgnoreMouse <= 7 && (modes >> IgnoreMouse & 1); }
  virtual void LButtonDown();
  virtual void LButtonUp();
  virtual void RButtonDown();
  virtual void RButtonUp();
  virtual void MouseMove();
  virtual void MouseOut(TOrbaControl* next);
  virtual void MouseIn(TOrbaControl* previous);
  // Every tick while a button is captured by the control.
  virtual void MouseHold() {}
  // Map images and menus take a right click for themselves.
  virtual bool RightClickCancel() { return false; }
  virtual std::string GetHoverCursor() const { return Cursor; }
  // The control that takes the keyboard focus in this subtree, topmost first, or null.
  virtual TOrbaControl* FindFocusable();
  virtual void KeyDown();
  virtual void KeyUp();
  virtual void KeyRepeat();
  virtual void FocusGained() {}
  // The mouse position relative to the control: the x, y parameters of its mouse events.
  TArrayString MouseParams();
  // The mouse position on the control's page (page coordinates); (0, 0) off every page.
  TPoint MouseInPage();
  // A press the control takes captures its button until the release and is seen by nothing
  // else; a paused control takes the press silently.
  void Press(bool left);

  void Transfer(TTreeIO& io) override;

 protected:
  // The children into the current clip, each clipped to this control's client rectangle
  // and its own clip window; children that are hidden or clipped away are never called.
  void PaintChildren(TPaintContext& ctx);
  void Place(int32_t& field, int32_t v, int32_t* motion);
  // Whether this control is placed by the scale of a parent that renders through its own
  // scaled surface, and then its edges in page units relative to that parent.
  bool ScaledByParent(bool horizontal) const;
  std::pair<int64_t, int64_t> ScaledSpan(bool horizontal) const;
  void Change(int32_t& field, int32_t v) {
    if (field == v) return;
    Invalidate();
    field = v;
    Invalidate();
  }

 private:
  friend class TOrbaBaseList;
  friend class TOrbaBase;
  friend class TTreeReader;
  int32_t Absolute(bool horizontal) const;
  int32_t InParent(bool horizontal) const;
  void AddChild(TOrbaControl* child);
  void RemoveChild(TOrbaControl* child);
  // Finds, in paint order, the last control whose opaque part covers the whole of rect.
  void FindCover(const TRect& clip, const TRect& rect, int32_t& counter, int32_t& found);
  TOrbaControl* parent_ = nullptr;
  std::vector<TOrbaControl*> children_;
};

// An invisible container: its children are never shown, ticked or asked for idle events,
// and keep their state until they are moved out again.
class TOrbaCabinet : public TOrbaControl {
 public:
  using TOrbaControl::TOrbaControl;
  int32_t GetCompoType() const override { return 27; }
  bool IsVisible() const override { return false; }
};

}  // namespace orba
