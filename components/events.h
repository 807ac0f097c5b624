// The event queue between the components and the script: a component that sees a click (or
// any event with a handler) appends an item; the interpreter takes waiting items and runs
// their handler pages. Senders are held by id, so a freed component never leaves a dangling
// pointer behind, and an id is never reused.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/lists.h"

namespace orba {

using TComponentId = int64_t;  // 0: none

struct TTimerData {
  std::string Handler;  // "page file:label", code page 932
  TComponentId Sender = 0;
  int32_t Code = 0;       // the event's property code
  int32_t RunningId = 0;  // 0 while waiting; the event level of the call that runs it
  TArrayString Params;
};

class TTimerList {
 public:
  TTimerData& Add(TTimerData item) { return *items_.emplace_back(std::make_unique<TTimerData>(std::move(item))); }
  int Count() const { return static_cast<int>(items_.size()); }
  TTimerData& operator[](int i) { return *items_[static_cast<size_t>(i)]; }
  // The first item not yet running, or null. Asked before every command: an empty queue
  // answers without a call.
  TTimerData* FirstWaiting() { return items_.empty() ? nullptr : FindWaiting(); }
  // Removes the items running at the given event levels (first..last).
  void RemoveRunning(int32_t first, int32_t last);
  void Clear() { items_.clear(); }
  // An item of this sender and code is in the queue.
  bool Has(TComponentId sender, int32_t code) const;
  // Removes the items of a sender that are still waiting.
  void RemoveWaiting(TComponentId sender);

 private:
  TTimerData* FindWaiting();
  std::vector<std::unique_ptr<TTimerData>> items_;
};

class TOrbaBaseList;

// What the interpreter asks of the component root: the event queue and the names of
// components by id. The component list answers these; tests of the interpreter use a plain
// queue with no components.
class IComponentRoot {
 public:
  virtual ~IComponentRoot() = default;
  virtual TTimerList& Events() = 0;
  // The name of a living component, or nothing when it is gone (or never was).
  virtual bool ComponentName(TComponentId id, std::string& name) = 0;
  // The id of the living component of that name, or 0.
  virtual TComponentId FindComponentId(const std::string& name) = 0;
  // Back to the state of a new game: every component freed, the two base layers made anew,
  // the event queue empty.
  virtual void Reset() { Events().Clear(); }
  // The component list behind the root, or null when there are no components.
  virtual TOrbaBaseList* List() { return nullptr; }
};

class TEventQueueOnly : public IComponentRoot {
 public:
  TTimerList& Events() override { return events_; }
  bool ComponentName(TComponentId, std::string&) override { return false; }
  TComponentId FindComponentId(const std::string&) override { return 0; }

 private:
  TTimerList events_;
};

// The player's component root; null before start-up made it.
// Asked before every command the interpreter runs, so inline.
namespace detail { extern IComponentRoot* g_root; }
inline IComponentRoot* ComponentRoot() { return detail::g_root; }
void SetComponentRoot(IComponentRoot* root);

}  // namespace orba
