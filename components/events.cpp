#include "components/events.h"

#include <algorithm>

namespace orba {

TTimerData* TTimerList::FindWaiting() {
  for (auto& item : items_)
    if (item->RunningId == 0) return item.get();
  return nullptr;
}

void TTimerList::RemoveRunning(int32_t first, int32_t last) {
  std::erase_if(items_, [&](const auto& item) { return item->RunningId >= first && item->RunningId <= last; });
}

bool TTimerList::Has(TComponentId sender, int32_t code) const {
  for (const auto& item : items_)
    if (item->Sender == sender && item->Code == code) return true;
  return false;
}

void TTimerList::RemoveWaiting(TComponentId sender) {
  std::erase_if(items_, [&](const auto& item) { return item->Sender == sender && item->RunningId == 0; });
}

IComponentRoot* detail::g_root = nullptr;

void SetComponentRoot(IComponentRoot* root) { detail::g_root = root; }

}  // namespace orba
