// The owner of every component: the two screen pages (bases), the items in creation order,
// the event queue, the scrap list of objects freed at the end of the tick, the focus, and
// the factory that makes a component of a type code. The player has one global list; it is
// the component root the interpreter talks to.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/cliplist.h"
#include "components/input_state.h"
#include "components/orbaobject.h"
#include "render/dibx.h"
#include "render/wipe.h"

namespace orba {

class TKvBigStream;

// One screen page: paints its dirty rectangles into its surface, its colour first.
class TOrbaBase : public TOrbaControl {
 public:
  TOrbaBase(TOrbaBaseList* owner, int index);
  bool HasAutoName() const override { return false; }
  TOrbaBase* GetBase() override { return this; }
  const int Index;

  TClipList& Dirty() { return dirty_; }
  // Marks rect (page coordinates, clipped to the page) for repainting.
  void InvalidateRect(TRect rect);
  void InvalidateAll() { InvalidateRect({0, 0, Width, Height}); }
  // The surface the page paints into: its own, or one lent by the screen (the back buffer).
  TCustomDIBX& Surface() { return target_ ? *target_ : own_; }
  void SetTarget(TCustomDIBX* target) { target_ = target; }
  void Resize(int32_t width, int32_t height, int32_t format);
  // Paints every dirty rectangle; with occlusion, components hidden under an opaque one
  // are not drawn.
  void PaintDirty(bool occlusion = true);
  TBaseInput& Input();
  // The page's pointer state kept between ticks (not saved): bits 1/2 a left/right release
  // is awaited, bits 4/8 the left/right button is captured by Hover; the control under the
  // mouse (or the capturing one); the cursor file last installed.
  uint8_t Capture = 0;
  TOrbaControl* Hover = nullptr;
  std::string CurrentCursor;

 private:
  TDIBX own_;
  TCustomDIBX* target_ = nullptr;
  TClipList dirty_;
};

// A row of the factory: one per component kind the player has.
struct TComponentKind {
  int32_t Code;
  std::unique_ptr<TOrbaObject> (*Create)(TOrbaBaseList* owner);
};

class TOrbaBaseList : public TOrbaComponent, public IComponentRoot {
 public:
  // inputs: the mouse state of the two pages kept by the window (the list keeps its own when
  // none is given).
  explicit TOrbaBaseList(std::array<TBaseInput, 2>* inputs = nullptr, TKeyboardState* keys = nullptr);
  ~TOrbaBaseList() override;
  bool HasAutoName() const override { return false; }

  // ---- IComponentRoot ----
  TTimerList& Events() override { return events_; }
  bool ComponentName(TComponentId id, std::string& name) override;
  TComponentId FindComponentId(const std::string& name) override;
  void Reset() override { Clear(); }
  TOrbaBaseList* List() override { return this; }

  // ---- pages ----
  TOrbaBase& Base(int index) { return *bases_[index & 1]; }
  int CurrentBase() const { return current_; }
  TOrbaBase& Current() { return Base(current_); }
  TOrbaBase& Back() { return Base(current_ ^ 1); }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // Resizes both pages (and their surfaces, in the pixel format given).
  void SetSize(int32_t width, int32_t height, int32_t format = 32);
  // The surface the page on screen paints into (the screen's back buffer); null: its own.
  void SetScreenTarget(TCustomDIBX* target);
  TBaseInput& Input(int index) { return (*inputs_)[static_cast<size_t>(index & 1)]; }

  // ---- items ----
  // Takes a new object: gives it an id and, when it wants one (and autoName is set), an
  // automatic name, and appends it to the items. Returns the object.
  TOrbaObject* Adopt(std::unique_ptr<TOrbaObject> object, bool autoName = true);
  // A new component of a type code (taken modulo 128), or null for a code no kind has.
  TOrbaObject* CreateByCode(int32_t code);
  static const TComponentKind* KindOf(int32_t code);
  // A kind for a type code the player has no row for yet, taken after the table's rows: a
  // stand-in for a kind still to come (the tests' fake video). Null removes it.
  static void SetStandInKind(const TComponentKind* kind);
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TOrbaObject& Item(int32_t i) { return *items_[static_cast<size_t>(i)]; }
  int32_t IndexOf(const TOrbaObject* object) const;
  int32_t IndexOfName(const std::string& name) const;
  bool Exists(const TOrbaObject* object) const { return object && (IsBase(object) || IndexOf(object) >= 0); }
  bool IsBase(const TOrbaObject* object) const { return object == bases_[0].get() || object == bases_[1].get(); }
  // "" or "\001BASE0": the current page; "\001" or "\001BASE1": the back page; else the
  // component of that exact name.
  TOrbaComponent* FindComponent(const std::string& name);
  // "": the current page, "\001": the back page, "\001BASE0" and "\001BASE1": those pages;
  // else the control of that exact name.
  TOrbaControl* FindControl(const std::string& name);
  // Appends the names of the items of that type code (0: any) whose parent is parent
  // (unless parent is null); returns how many.
  int32_t ListNames(std::vector<std::string>& names, int32_t code, const TOrbaControl* parent);

  // Frees the object at the end of the tick; its name is free at once.
  void Scrap(TOrbaObject* object);
  // Frees the object now, with its children and its waiting events.
  void Free(TOrbaObject* object);
  // Every item ticks (paused, scrapped and cabinet items do not), idle events are queued,
  // finished items are freed at once and scrapped ones at the end.
  bool Tick() override;
  // Paints the dirty rectangles of both pages; a running transition then draws its step
  // over the screen and keeps the rectangle it drew (TransitionRect).
  void Paint(bool occlusion = true);
  // Switches the page on screen. A kind given (0 or more) ends the running transition and
  // repaints both pages; a kind 1..38 starts an effect from the page now current to the
  // other one (the caller's unit of duration). The focus leaves a page no longer shown.
  void BeginTransition(int newBase, int32_t kind = -1);
  void BeginTransition(int newBase, const TWipeStart& start);
  bool TransitionActive = false;
  // The running transition (the screen change sets its Elapsed), or null.
  TCustomWipe* Transition() { return transition_.get(); }
  // What the last transition step drew, for the screen to present (then emptied).
  TRect TakeTransitionRect() { return std::exchange(transitionRect_, TRect{}); }
  // Where transitions draw: the screen's back buffer, or the list's own surface.
  TCustomDIBX& Composition() { return screenTarget_ ? *screenTarget_ : composition_; }

  // ---- focus ----
  TOrbaControl* Focus = nullptr;
  bool RefocusPending = false;
  TKeyboardState& Keys;

  // ---- input (components/input.cpp) ----
  // Once per tick before the script: the focus settles, the keys latch, the page on screen
  // runs its mouse step, the focus gets its key events and held keys count down to repeat.
  void InputStep(int32_t frameDelta);
  void MouseStep(TOrbaBase& base);
  // Moves the focus with its out and in events.
  void SetFocus(TOrbaControl* control);
  void ClearKeys() { Keys.Clear(); }
  // Map images and menus, asked in turn to take a right click.
  std::vector<TOrbaControl*> RightClickCancellers;
  // Shows the cursor file named (empty: the project's default cursor, or the arrow).
  std::function<void(const std::string&)> CursorChanged;

  // Every component freed, the queue emptied, two new pages of the same size.
  void Clear();

  // ---- saving ----
  void SaveTree(TKvBigStream& stream, int32_t version = kTreeVersion);
  // Checks the whole stream first (every type code known, every count and length inside the
  // stream) and raises without touching the tree when it is not a tree this player can load;
  // then clears and loads.
  void LoadTree(TKvBigStream& stream, int32_t version);

 private:
  friend class TOrbaObject;
  friend class TOrbaControl;
  friend class TTreeReader;
  void MakeBases();
  void Destroy(TOrbaObject* object);
  // A control being freed leaves the pointer state (hover, mouse step, right-click list).
  void ForgetPointer(TOrbaControl* control);
  std::array<std::unique_ptr<TOrbaBase>, 2> bases_;
  std::vector<std::unique_ptr<TOrbaObject>> items_;
  std::vector<TOrbaObject*> scrap_;
  TTimerList events_;
  std::array<TBaseInput, 2> ownInputs_;
  TKeyboardState ownKeys_;
  // What the mouse step is working on; cleared when it is freed under the step.
  TOrbaControl* stepTarget_ = nullptr;
  TOrbaControl* stepPrevious_ = nullptr;
  std::array<TBaseInput, 2>* inputs_;
  TCustomDIBX* screenTarget_ = nullptr;
  // While a transition runs, both pages paint into their own surfaces and the effect composes
  // them into the screen.
  std::unique_ptr<TCustomWipe> transition_;
  TRect transitionRect_;
  TDIBX composition_;
  int current_ = 0;
  int32_t width_ = 8, height_ = 8, format_ = 32;
  TComponentId nextId_ = 1;
};

// The global component list of the running player, or null (the root seam answers it).
inline TOrbaBaseList* ComponentList() { return ComponentRoot() ? ComponentRoot()->List() : nullptr; }

}  // namespace orba
