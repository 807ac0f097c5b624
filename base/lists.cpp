#include "base/lists.h"

#include "base/binio.h"
#include "base/cp932.h"

namespace orba {

void TIntList::Set(int index, int32_t value) {
  if (index < 0) return;
  if (index >= Count()) items_.resize(static_cast<size_t>(index) + 1, 0);
  items_[index] = value;
}

void TIntList::Delete(int index) {
  if (index >= 0 && index < Count()) items_.erase(items_.begin() + index);
}

void TArrayString::WriteTo(TBinaryWriter& w) const {
  w.I32(Count());
  for (const auto& s : items_) w.String(s);
}

void TArrayString::ReadFrom(TBinaryReader& r) {
  int32_t n = r.Count(4);  // every string has at least its 4-byte length
  std::vector<std::string> items;
  items.reserve(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) items.push_back(r.String());
  items_ = std::move(items);
}

void TTabStrings::SetText(std::string_view text) {
  cells_.clear();
  size_t start = 0;
  for (size_t i = 0; i < text.size(); i += CharLenAt(text, i)) {
    if (text[i] == '\t') {
      cells_.emplace_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  if (start < text.size()) cells_.emplace_back(text.substr(start));
}

const std::string& TTabStrings::operator[](int i) const {
  static const std::string empty;
  return i >= 0 && i < Count() ? cells_[i] : empty;
}

}  // namespace orba
