#include "script/readlist.h"

#include <algorithm>

#include "base/binio.h"
#include "base/cp932.h"

namespace orba {

// Page names are found as the hash collections find names: case-insensitively.
TOrbaReadList::TPage* TOrbaReadList::Find(std::string_view page) {
  for (TPage& p : pages_)
    if (SameText(p.Name, page)) return &p;
  return nullptr;
}

const TOrbaReadList::TPage* TOrbaReadList::Find(std::string_view page) const {
  return const_cast<TOrbaReadList*>(this)->Find(page);
}

bool TOrbaReadList::IsRead(std::string_view page, int32_t command, int32_t pageIndex) const {
  const TPage* p = Find(page);
  return p && std::find(p->Pairs.begin(), p->Pairs.end(), std::make_pair(command, pageIndex)) != p->Pairs.end();
}

void TOrbaReadList::SetPendingMark(std::string_view window, std::string_view page, int32_t pageIndex, int32_t command) {
  pendingWindow_ = window;
  pendingPage_ = page;
  pendingPageIndex_ = pageIndex;
  pendingCommand_ = command;
}

void TOrbaReadList::CommitMark(std::string_view window) {
  if (pendingPage_.empty() || pendingWindow_ != window) return;
  TPage* p = Find(pendingPage_);
  if (!p) p = &pages_.emplace_back(TPage{pendingPage_, {}});
  const auto pair = std::make_pair(pendingCommand_, pendingPageIndex_);
  if (std::find(p->Pairs.begin(), p->Pairs.end(), pair) != p->Pairs.end()) return;
  p->Pairs.push_back(pair);
  pendingPage_.clear();
}

void TOrbaReadList::Clear() {
  pages_.clear();
  pendingPage_.clear();
}

void TOrbaReadList::SaveToStream(TKvBigStream& stream) const {
  TBinaryWriter w(stream);
  w.I32(static_cast<int32_t>(pages_.size()));
  for (const TPage& p : pages_) {
    w.String(p.Name);
    w.I32(static_cast<int32_t>(p.Pairs.size()));
    for (const auto& pair : p.Pairs) w.I32(pair.first);
    for (const auto& pair : p.Pairs) w.I32(pair.second);
  }
  w.String(pendingPage_);
  w.I32(pendingCommand_);
  w.I32(pendingPageIndex_);
  w.String(pendingWindow_);
}

TOrbaReadList::TPending TOrbaReadList::ReadFromStream(TKvBigStream& stream, int32_t version) {
  TPending p;
  if (version < 100) return p;
  TBinaryReader r(stream);
  const int32_t count = r.Count(4 + 4);
  for (int32_t i = 0; i < count; ++i) {
    TPage page{r.String(), {}};
    const int32_t k = r.Count(8);
    page.Pairs.resize(static_cast<size_t>(k));
    for (auto& pair : page.Pairs) pair.first = r.I32();
    for (auto& pair : page.Pairs) pair.second = r.I32();
    p.Pages.push_back(std::move(page));
  }
  p.PendingPage = r.String();
  p.PendingCommand = r.I32();
  p.PendingPageIndex = r.I32();
  p.PendingWindow = r.String();
  return p;
}

void TOrbaReadList::Apply(TPending p) {
  pages_ = std::move(p.Pages);
  pendingPage_ = std::move(p.PendingPage);
  pendingWindow_ = std::move(p.PendingWindow);
  pendingCommand_ = p.PendingCommand;
  pendingPageIndex_ = p.PendingPageIndex;
}

TOrbaReadList& ReadList() {
  static TOrbaReadList list;
  return list;
}

}  // namespace orba
