#include "files/hash.h"

#include <atomic>
#include <cstring>

#include "base/cp932.h"

namespace orba {

namespace {

constexpr size_t kInitialBuckets = 16;

inline uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDULL;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ULL;
  h ^= h >> 33;
  return h;
}

}  // namespace

// ---- item ---------------------------------------------------------------------------

THashCollectionItem::~THashCollectionItem() {
  if (life_) *life_ = nullptr;
}

std::shared_ptr<THashCollectionItem*> THashCollectionItem::LifeHandle() {
  if (!life_) life_ = std::make_shared<THashCollectionItem*>(this);
  return life_;
}

void THashCollectionItem::SetName(std::string_view name) { StoreName(name); }

void THashCollectionItem::StoreName(std::string_view name) {
  if (name == name_) return;
  name_.assign(name);
  // An item not yet appended (or already taken out) is linked by the collection later.
  const bool linked = linked_;
  if (linked) collection_->Unlink(*this);
  hash_ = THashCollection::HashOf(name_);
  if (linked) collection_->Link(*this);
}

// ---- collection -----------------------------------------------------------------------

THashCollection::THashCollection() : buckets_(kInitialBuckets, nullptr), mask_(kInitialBuckets - 1) { Touch(); }

void THashCollection::Touch() {
  static std::atomic<uint64_t> counter{0};
  generation_ = counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

THashCollection::~THashCollection() { Clear(); }

uint64_t THashCollection::HashOf(std::string_view name) {
  // Folded bytes are gathered eight at a time into one word, so a short name costs a few
  // multiplies rather than one per byte.
  uint64_t h = 0x9E3779B97F4A7C15ULL ^ name.size();
  uint64_t word = 0;
  int filled = 0;
  auto put = [&](uint8_t b) {
    word |= uint64_t{b} << (8 * filled);
    if (++filled == 8) {
      h = (h ^ word) * 0xD6E8FEB86659FD93ULL;
      word = 0;
      filled = 0;
    }
  };
  const size_t n = name.size();
  for (size_t i = 0; i < n; ++i) {
    auto b = static_cast<uint8_t>(name[i]);
    if (b >= 'A' && b <= 'Z') {
      put(static_cast<uint8_t>(b + 32));
    } else if (IsLeadByte(b) && i + 1 < n) {
      put(b);
      put(static_cast<uint8_t>(name[++i]));  // a second byte is never folded
    } else {
      put(b);
    }
  }
  if (filled) h = (h ^ word) * 0xD6E8FEB86659FD93ULL;
  return Mix(h);
}

bool THashCollection::Matches(const THashCollectionItem& item, uint64_t hash, std::string_view name) {
  return item.hash_ == hash && SameText(item.name_, name);
}

THashCollectionItem* THashCollection::Add() { return Append(NewItem(), {}); }

THashCollectionItem* THashCollection::Add(std::string_view name) { return Append(NewItem(), name); }

THashCollectionItem* THashCollection::Append(std::unique_ptr<THashCollectionItem> item, std::string_view name) {
  THashCollectionItem* p = item.get();
  p->index_ = Count();
  p->name_.assign(name);
  p->hash_ = HashOf(p->name_);
  items_.push_back(std::move(item));
  Link(*p);
  return p;
}

int32_t THashCollection::IndexOf(std::string_view name) const {
  uint64_t h = HashOf(name);
  for (const THashCollectionItem* p = ChainHead(h); p; p = p->next_)
    if (Matches(*p, h, name)) return p->index_;
  return -1;
}

void THashCollection::Link(THashCollectionItem& item) {
  if (static_cast<size_t>(Count()) > buckets_.size()) Grow();
  THashCollectionItem*& head = buckets_[item.hash_ & mask_];
  item.prev_ = nullptr;
  item.next_ = head;
  if (head) head->prev_ = &item;
  head = &item;
  item.linked_ = true;
  Touch();
}

void THashCollection::Unlink(THashCollectionItem& item) {
  if (!item.linked_) return;
  Touch();
  if (item.prev_) {
    item.prev_->next_ = item.next_;
  } else {
    buckets_[item.hash_ & mask_] = item.next_;
  }
  if (item.next_) item.next_->prev_ = item.prev_;
  item.prev_ = item.next_ = nullptr;
  item.linked_ = false;
}

void THashCollection::Grow() {
  std::vector<THashCollectionItem*> old(buckets_.size() * 2, nullptr);
  old.swap(buckets_);
  mask_ = buckets_.size() - 1;
  // Each old chain is moved from its tail to its head, each item going to the head of its
  // new chain: items of equal names share a chain before and after, so their order (the
  // most recently linked first) is kept.
  for (THashCollectionItem* head : old) {
    THashCollectionItem* p = head;
    while (p && p->next_) p = p->next_;
    while (p) {
      THashCollectionItem* before = p->prev_;
      THashCollectionItem*& to = buckets_[p->hash_ & mask_];
      p->prev_ = nullptr;
      p->next_ = to;
      if (to) to->prev_ = p;
      to = p;
      p = before;
    }
  }
}

void THashCollection::Delete(int32_t index) {
  if (index < 0 || index >= Count()) return;
  std::unique_ptr<THashCollectionItem> item = std::move(items_[static_cast<size_t>(index)]);
  items_.erase(items_.begin() + index);
  for (size_t i = static_cast<size_t>(index); i < items_.size(); ++i) items_[i]->index_ = static_cast<int32_t>(i);
  Unlink(*item);
  item.reset();
}

void THashCollection::DeleteWhere(const std::function<bool(const THashCollectionItem&)>& pick) {
  std::vector<std::unique_ptr<THashCollectionItem>> gone;
  size_t kept = 0;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (pick(*items_[i])) {
      Unlink(*items_[i]);
      gone.push_back(std::move(items_[i]));
    } else {
      items_[i]->index_ = static_cast<int32_t>(kept);
      items_[kept++] = std::move(items_[i]);
    }
  }
  items_.resize(kept);
  while (!gone.empty()) gone.pop_back();
}

void THashCollection::Clear() {
  while (!items_.empty()) Delete(Count() - 1);
}

}  // namespace orba
