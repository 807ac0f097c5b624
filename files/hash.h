// The ordered collection of named items behind every by-name lookup of the player:
// variables, archive directories, read marks, layer lists. Items keep the positions they
// were added at (shifting down when an earlier item goes) and are found by name through a
// case-insensitive hash index. Names need not be unique; among equal names a lookup finds
// the item linked most recently, where an item is linked when it is added and again when it
// is renamed to different bytes (a change of letter case counts).
//
// Case folding is ASCII-only and leaves the second byte of a double-byte character alone,
// so two different kanji never compare equal. The index grows with the collection, so a
// lookup stays one hash and a short chain walk however many items there are.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orba {

class THashCollection;

class THashCollectionItem {
 public:
  explicit THashCollectionItem(THashCollection& collection) : collection_(&collection) {}
  virtual ~THashCollectionItem();
  THashCollectionItem(const THashCollectionItem&) = delete;
  THashCollectionItem& operator=(const THashCollectionItem&) = delete;

  THashCollection& Collection() const { return *collection_; }
  const std::string& Name() const { return name_; }
  // Position in the collection, kept current as earlier items go.
  int32_t Index() const { return index_; }

  // Stores the name and relinks the item when it differs from the current one byte for
  // byte; a name equal byte for byte changes nothing.
  virtual void SetName(std::string_view name);
  // Copies the name of another item through SetName.
  virtual void Assign(const THashCollectionItem& source) { SetName(source.Name()); }
  // The name, or the class's default display name when the name is empty.
  std::string DisplayName() const { return name_.empty() ? DefaultDisplayName() : name_; }

  // A handle that reads the item while it lives and null once it is freed, for holders
  // that must not outlive the item they point at (references between variables).
  std::shared_ptr<THashCollectionItem*> LifeHandle();

  // The next item of the same index chain; chains run from the most recently linked.
  THashCollectionItem* NextInChain() const { return next_; }
  uint64_t NameHash() const { return hash_; }

 protected:
  virtual std::string DefaultDisplayName() const { return "THashCollectionItem"; }
  // Stores the name and relinks without the checks a descendant adds to SetName.
  void StoreName(std::string_view name);

 private:
  friend class THashCollection;

  THashCollection* collection_;
  std::string name_;
  uint64_t hash_ = 0;  // hash of the folded name; chains are chosen by it
  int32_t index_ = 0;
  bool linked_ = false;
  THashCollectionItem* prev_ = nullptr;
  THashCollectionItem* next_ = nullptr;
  std::shared_ptr<THashCollectionItem*> life_;
};

class THashCollection {
 public:
  THashCollection();
  virtual ~THashCollection();
  THashCollection(const THashCollection&) = delete;
  THashCollection& operator=(const THashCollection&) = delete;

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  THashCollectionItem* Item(int32_t index) const { return items_[static_cast<size_t>(index)].get(); }

  // Appends a new item of the collection's item class, unnamed.
  THashCollectionItem* Add();
  // Appends a new item with a name.
  THashCollectionItem* Add(std::string_view name);

  // Position of the most recently linked item whose name equals name ignoring ASCII case,
  // or -1.
  virtual int32_t IndexOf(std::string_view name) const;
  THashCollectionItem* Find(std::string_view name) const {
    int32_t i = IndexOf(name);
    return i < 0 ? nullptr : Item(i);
  }

  // Frees one item; the items after it move up one position.
  void Delete(int32_t index);
  // Frees every item the predicate picks in one pass over the collection (from the last
  // to the first), keeping the order of the rest.
  void DeleteWhere(const std::function<bool(const THashCollectionItem&)>& pick);
  // Frees every item, from the last to the first.
  void Clear();

  // The hash of a name after case folding; equal for names that compare equal.
  static uint64_t HashOf(std::string_view name);
  // True when the item's name equals name (whose HashOf is hash) ignoring ASCII case.
  static bool Matches(const THashCollectionItem& item, uint64_t hash, std::string_view name);
  // The most recently linked item of the chain that holds names of this hash, or null.
  THashCollectionItem* ChainHead(uint64_t hash) const { return buckets_[hash & mask_]; }

  // Changes whenever a lookup by name could find something else: an item is linked or
  // unlinked (added, freed, renamed), or a descendant says its own rules changed. Values are
  // unique across every collection of the process, so a holder may cache a lookup under
  // the pair (collection, generation).
  uint64_t Generation() const { return generation_; }

 protected:
  // Makes an item of the collection's item class; the collection appends and links it.
  virtual std::unique_ptr<THashCollectionItem> NewItem() { return std::make_unique<THashCollectionItem>(*this); }
  // Appends an item made by the caller and links it under its name.
  THashCollectionItem* Append(std::unique_ptr<THashCollectionItem> item, std::string_view name);
  // Starts a new generation.
  void Touch();

 private:
  friend class THashCollectionItem;

  void Link(THashCollectionItem& item);
  void Unlink(THashCollectionItem& item);
  void Grow();

  std::vector<std::unique_ptr<THashCollectionItem>> items_;
  std::vector<THashCollectionItem*> buckets_;
  uint64_t mask_ = 0;
  uint64_t generation_ = 0;
};

}  // namespace orba
