#include "components/events.h"

#include <algorithm>

namespace orba {

TTimerData* TTimerList::FirstWaiting() {
  for (auto& item : items_)
    if (item->RunningId == 0) return item.get();
  return nullptr;
}

void TTimerList::RemoveRunning(int32_t first, int32_t last) {
  std::erase_if(items_, [&](const auto& item) { return item->RunningId >= first && item->RunningId <= last; });
}

namespace {
IComponentRoot* g_root = nullptr;
}

IComponentRoot* ComponentRoot() { return g_root; }
void SetComponentRoot(IComponentRoot* root) { g_root = root; }

}  // namespace orba
