// Small containers shared by every subsystem: integer lists, string arrays with their
// stream form (event parameters, call arguments), tab-split cells and owning lists.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orba {

class TBinaryReader;
class TBinaryWriter;

// Ordered 32-bit integers; writing beyond the end first appends zeros up to the index.
class TIntList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  int32_t Get(int index) const { return index >= 0 && index < Count() ? items_[index] : 0; }
  void Set(int index, int32_t value);
  void Add(int32_t value) { items_.push_back(value); }
  void Delete(int index);
  void Clear() { items_.clear(); }
  const std::vector<int32_t>& Items() const { return items_; }

 private:
  std::vector<int32_t> items_;
};

// Growable integer array: append, count, get.
class TIntArray {
 public:
  void Add(int32_t value) { items_.push_back(value); }
  int Count() const { return static_cast<int>(items_.size()); }
  int32_t Get(int index) const { return items_.at(index); }
  void Clear() { items_.clear(); }

 private:
  std::vector<int32_t> items_;
};

// Growable string array. Stream form: int32 count, then each string in the saved-string form.
class TArrayString {
 public:
  void Add(std::string s) { items_.push_back(std::move(s)); }
  void Assign(const TArrayString& other) { items_ = other.items_; }
  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& operator[](int i) const { return items_[i]; }
  std::string& operator[](int i) { return items_[i]; }
  const std::vector<std::string>& Items() const { return items_; }

  void WriteTo(TBinaryWriter& w) const;
  void ReadFrom(TBinaryReader& r);  // replaces the contents
  friend bool operator==(const TArrayString&, const TArrayString&) = default;

 private:
  std::vector<std::string> items_;
};

// One text split at tab characters: each tab ends a cell, a tab at the very end adds no
// cell, and the second byte of a double-byte character is never taken for a tab. A cell
// beyond the end reads as the empty text.
class TTabStrings {
 public:
  TTabStrings() = default;
  explicit TTabStrings(std::string_view text) { SetText(text); }
  void SetText(std::string_view text);
  int Count() const { return static_cast<int>(cells_.size()); }
  const std::string& operator[](int i) const;
  const std::vector<std::string>& Cells() const { return cells_; }

 private:
  std::vector<std::string> cells_;
};

// An ordered list of owned objects; deleting an entry or clearing frees the objects.
template <typename T>
class TObjList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  T* operator[](int i) const { return items_[i].get(); }
  T* Add(std::unique_ptr<T> item) { items_.push_back(std::move(item)); return items_.back().get(); }
  void Insert(int index, std::unique_ptr<T> item) { items_.insert(items_.begin() + index, std::move(item)); }
  void Delete(int index) { items_.erase(items_.begin() + index); }
  std::unique_ptr<T> Extract(int index) {
    auto p = std::move(items_[index]);
    items_.erase(items_.begin() + index);
    return p;
  }
  void Clear() { items_.clear(); }
  T* Last() const { return items_.empty() ? nullptr : items_.back().get(); }

 private:
  std::vector<std::unique_ptr<T>> items_;
};

}  // namespace orba
