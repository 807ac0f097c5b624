#include "values/dbtables.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "base/lists.h"
#include "text/tagparse.h"
#include "values/convert.h"
#include "values/params.h"

namespace orba {

int32_t RoundHalfEven(TExtended x) {
  // nearbyint rounds in the default mode, which is to nearest with ties to even; the
  // truncating conversion then only drops the bits above 32.
  return FloatToInt(std::nearbyint(x));
}

namespace {

// The most records a stored table without fields may claim (they cost memory, not bytes).
constexpr int32_t kMaxFieldlessRecords = 1 << 20;

int32_t FieldSizeOf(int32_t type, int32_t length) {
  switch (type) {
    case kDBInt: return 4;
    case kDBFloat: return kExtendedSize;
    case kDBFlag: return 1;
    case kDBString: return length >= 0 && length <= kDBMaxStringLength ? length + 1 : -1;
    default: return -1;
  }
}

std::string Trimmed(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<uint8_t>(s[b]) <= 32) ++b;
  while (e > b && static_cast<uint8_t>(s[e - 1]) <= 32) --e;
  return std::string(s.substr(b, e - b));
}

// Splits s at its first space: the part before and the rest after it (empty without one).
std::pair<std::string_view, std::string_view> CutAtSpace(std::string_view s) {
  const size_t at = s.find(' ');
  if (at == std::string_view::npos) return {s, {}};
  return {s.substr(0, at), s.substr(at + 1)};
}

}  // namespace

// ---- fields ----------------------------------------------------------------------------

int32_t TDBFieldList::Add(std::string_view name, int32_t type, int32_t length) {
  const int32_t size = FieldSizeOf(type, length);
  if (size < 0 || recordSize_ > kDBMaxRecordSize - size) return -1;
  table_.FieldAdded(size);
  fields_.push_back({size, std::string(name), static_cast<uint8_t>(type)});
  Recompute();
  return Count() - 1;
}

int32_t TDBFieldList::IndexOf(std::string_view name) const {
  for (int32_t i = 0; i < Count(); ++i)
    if (SameText(fields_[static_cast<size_t>(i)].Name, name)) return i;
  return -1;
}

bool TDBFieldList::SameAs(const TDBFieldList& other) const {
  if (Count() != other.Count()) return false;
  for (int32_t i = 0; i < Count(); ++i) {
    const TDBField &a = (*this)[i], &b = other[i];
    if (a.Name != b.Name || a.FieldType != b.FieldType || a.Size != b.Size) return false;
  }
  return true;
}

void TDBFieldList::Clear() {
  fields_.clear();
  Recompute();
}

void TDBFieldList::Recompute() {
  offsets_.clear();
  recordSize_ = 0;
  for (const TDBField& f : fields_) {
    offsets_.push_back(recordSize_);
    recordSize_ += f.Size;
  }
}

// ---- records ---------------------------------------------------------------------------

void TDBTable::FieldAdded(int32_t size) {
  for (auto& r : records_) r.resize(r.size() + static_cast<size_t>(size), 0);
}

void TDBTable::Append() {
  records_.emplace_back(static_cast<size_t>(Fields.RecordSize()), 0);
  recNo_ = RecordCount() - 1;
}

void TDBTable::AppendCopy(const std::vector<uint8_t>& r) {
  records_.push_back(r);
  records_.back().resize(static_cast<size_t>(Fields.RecordSize()), 0);
  recNo_ = RecordCount() - 1;
}

bool TDBTable::Delete() {
  if (recNo_ < 0) return false;
  records_.erase(records_.begin() + recNo_);
  if (recNo_ >= RecordCount()) SetRecNo(RecordCount() - 1);
  return true;
}

bool TDBTable::First() { return RecordCount() > 0 && SetRecNo(0); }
bool TDBTable::Last() { return RecordCount() > 0 && SetRecNo(RecordCount() - 1); }

bool TDBTable::Next() {
  if (recNo_ < 0 || recNo_ >= RecordCount() - 1) return false;
  ++recNo_;
  return true;
}

bool TDBTable::Prior() {
  if (recNo_ <= 0) return false;
  --recNo_;
  return true;
}

bool TDBTable::SetRecNo(int32_t i) {
  if (i >= RecordCount()) return false;
  recNo_ = i < 0 ? -1 : i;
  return true;
}

void TDBTable::ClearAll() {
  records_.clear();
  recNo_ = -1;
  Fields.Clear();
}

void TDBTable::ClearRecords() {
  records_.clear();
  recNo_ = -1;
}

// ---- field access ----------------------------------------------------------------------

bool TDBTable::InRange(int32_t rec, int32_t field) const {
  return rec >= 0 && rec < RecordCount() && field >= 0 && field < Fields.Count();
}

uint8_t* TDBTable::FieldBytes(int32_t rec, int32_t field, uint8_t type) const {
  if (Fields[field].FieldType != type) return nullptr;
  auto& r = const_cast<std::vector<uint8_t>&>(records_[static_cast<size_t>(rec)]);
  return r.data() + Fields.OffsetOf(field);
}

std::string TDBTable::Text(int32_t rec, int32_t field) const {
  const TDBField& f = Fields[field];
  const uint8_t* p = FieldBytes(rec, field, f.FieldType);
  switch (f.FieldType) {
    case kDBInt: { int32_t v; std::memcpy(&v, p, 4); return IntToText(v); }
    case kDBFloat: return FloatToText(FromExtendedBytes(p));
    case kDBFlag: return FlagToText(*p != 0);
    default: {
      const char* c = reinterpret_cast<const char*>(p);
      return std::string(c, strnlen(c, static_cast<size_t>(f.Size)));
    }
  }
}

bool TDBTable::GetInt(int32_t rec, int32_t field, int32_t& out) const {
  if (!InRange(rec, field)) return false;
  const uint8_t* p = FieldBytes(rec, field, Fields[field].FieldType);
  switch (Fields[field].FieldType) {
    case kDBInt: std::memcpy(&out, p, 4); break;
    case kDBFloat: out = RoundHalfEven(FromExtendedBytes(p)); break;
    case kDBFlag: out = *p != 0; break;
    default: out = TextToInt(Text(rec, field)); break;
  }
  return true;
}

bool TDBTable::GetFloat(int32_t rec, int32_t field, TExtended& out) const {
  if (!InRange(rec, field)) return false;
  const uint8_t* p = FieldBytes(rec, field, Fields[field].FieldType);
  switch (Fields[field].FieldType) {
    case kDBInt: { int32_t v; std::memcpy(&v, p, 4); out = v; break; }
    case kDBFloat: out = FromExtendedBytes(p); break;
    case kDBFlag: out = *p != 0 ? 1.0 : 0.0; break;
    default: out = TextToFloat(Text(rec, field)); break;
  }
  return true;
}

bool TDBTable::GetBool(int32_t rec, int32_t field, bool& out) const {
  if (!InRange(rec, field)) return false;
  const uint8_t* p = FieldBytes(rec, field, Fields[field].FieldType);
  switch (Fields[field].FieldType) {
    case kDBInt: { int32_t v; std::memcpy(&v, p, 4); out = v != 0; break; }
    case kDBFloat: out = FromExtendedBytes(p) != 0; break;
    case kDBFlag: out = *p != 0; break;
    default: out = TextToFlag(Text(rec, field)); break;
  }
  return true;
}

bool TDBTable::GetStr(int32_t rec, int32_t field, std::string& out) const {
  if (!InRange(rec, field)) return false;
  out = Text(rec, field);
  return true;
}

bool TDBTable::SetInt(int32_t rec, int32_t field, int32_t v) {
  if (!InRange(rec, field)) return false;
  uint8_t* p = FieldBytes(rec, field, Fields[field].FieldType);
  switch (Fields[field].FieldType) {
    case kDBInt: std::memcpy(p, &v, 4); return true;
    case kDBFloat: ToExtendedBytes(v, p); return true;
    case kDBFlag: *p = v != 0; return true;
    default: return SetStr(rec, field, IntToText(v));
  }
}

bool TDBTable::SetFloat(int32_t rec, int32_t field, TExtended x) {
  if (!InRange(rec, field)) return false;
  uint8_t* p = FieldBytes(rec, field, Fields[field].FieldType);
  switch (Fields[field].FieldType) {
    case kDBInt: { const int32_t v = RoundHalfEven(x); std::memcpy(p, &v, 4); return true; }
    case kDBFloat: ToExtendedBytes(x, p); return true;
    case kDBFlag: *p = x != 0; return true;
    default: return SetStr(rec, field, FloatToText(x));
  }
}

bool TDBTable::SetBool(int32_t rec, int32_t field, bool b) {
  if (!InRange(rec, field)) return false;
  uint8_t* p = FieldBytes(rec, field, Fields[field].FieldType);
  switch (Fields[field].FieldType) {
    case kDBInt: { const int32_t v = b; std::memcpy(p, &v, 4); return true; }
    case kDBFloat: ToExtendedBytes(b ? 1.0 : 0.0, p); return true;
    case kDBFlag: *p = b; return true;
    default: return SetStr(rec, field, FlagToText(b));
  }
}

bool TDBTable::SetStr(int32_t rec, int32_t field, std::string_view s) {
  if (!InRange(rec, field)) return false;
  const TDBField& f = Fields[field];
  uint8_t* p = FieldBytes(rec, field, f.FieldType);
  switch (f.FieldType) {
    case kDBInt: { const int32_t v = TextToInt(s); std::memcpy(p, &v, 4); return true; }
    case kDBFloat: ToExtendedBytes(TextToFloat(s), p); return true;
    case kDBFlag: *p = TextToFlag(s); return true;
    default: {
      // The text is cut to the declared length; the bytes after the zero mean nothing but
      // are cleared, so equal records are equal bytes.
      const size_t n = std::min(s.size(), static_cast<size_t>(f.Size - 1));
      std::memcpy(p, s.data(), n);
      std::memset(p + n, 0, static_cast<size_t>(f.Size) - n);
      return true;
    }
  }
}

// ---- searching, sorting, loading -------------------------------------------------------

void TDBTable::Find(std::vector<int32_t>& result, const TCustomParam* names, const TCustomParam* values,
                    bool ignoreCase, bool partial) const {
  if (!names || !values) {
    for (int32_t r = 0; r < RecordCount(); ++r) result.push_back(r);
    return;
  }
  const int32_t k = std::min(names->Count(), values->Count());
  std::vector<int32_t> fields;
  for (int32_t i = 0; i < k; ++i) {
    const int32_t f = Fields.IndexOf(names->ItemString(i));
    if (f < 0) return;  // an unknown key matches nothing
    fields.push_back(f);
  }
  const uint8_t type = values->ValueType();
  std::vector<std::string> keys;  // the values' texts, upper-cased when compared so
  if (type != PT_INT && type != PT_FLOAT && type != PT_BOOL)
    for (int32_t i = 0; i < k; ++i)
      keys.push_back(partial && ignoreCase ? UpperCase(values->ItemString(i)) : values->ItemString(i));
  for (int32_t r = 0; r < RecordCount(); ++r) {
    bool match = true;
    for (int32_t i = 0; i < k && match; ++i) {
      const int32_t f = fields[static_cast<size_t>(i)];
      switch (type) {
        case PT_INT: { int32_t v = 0; GetInt(r, f, v); match = v == values->ItemInt(i); break; }
        case PT_FLOAT: { TExtended v = 0; GetFloat(r, f, v); match = v == values->ItemFloat(i); break; }
        case PT_BOOL: { bool v = false; GetBool(r, f, v); match = v == values->ItemFlag(i); break; }
        default: {
          const std::string t = Text(r, f);
          const std::string& v = keys[static_cast<size_t>(i)];
          if (partial) match = !t.empty() && v.find(ignoreCase ? UpperCase(t) : t) != std::string::npos;
          else match = ignoreCase ? SameText(t, v) : t == v;
        }
      }
    }
    if (match) result.push_back(r);
  }
}

void TDBTable::Sort(const TCustomParam& names, const TCustomParam& descending) {
  struct TKey {
    int32_t Field;
    uint8_t Type;
    bool Descending;
  };
  std::vector<TKey> keys;
  const int32_t k = std::min(names.Count(), descending.Count());
  for (int32_t i = 0; i < k; ++i) {
    const int32_t f = Fields.IndexOf(names.ItemString(i));
    if (f >= 0) keys.push_back({f, Fields[f].FieldType, descending.ItemFlag(i)});
  }
  if (keys.empty()) return;
  auto compare = [&](int32_t a, int32_t b) {  // <0, 0, >0 over the keys in order
    for (const TKey& key : keys) {
      int c = 0;
      switch (key.Type) {
        case kDBInt: case kDBFlag: {
          int32_t x = 0, y = 0;
          GetInt(a, key.Field, x);
          GetInt(b, key.Field, y);
          c = (x > y) - (x < y);
          break;
        }
        case kDBFloat: {
          TExtended x = 0, y = 0;
          GetFloat(a, key.Field, x);
          GetFloat(b, key.Field, y);
          c = (x > y) - (x < y);
          break;
        }
        default: {
          const int r = Text(a, key.Field).compare(Text(b, key.Field));
          c = (r > 0) - (r < 0);
        }
      }
      if (c != 0) return key.Descending ? -c : c;
    }
    return 0;
  };
  std::vector<int32_t> order(records_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int32_t>(i);
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) { return compare(a, b) < 0; });
  std::vector<std::vector<uint8_t>> sorted;
  sorted.reserve(records_.size());
  for (int32_t i : order) sorted.push_back(std::move(records_[static_cast<size_t>(i)]));
  records_ = std::move(sorted);
}

bool TDBTable::LoadTsv(const std::vector<std::string>& lines) {
  ClearAll();
  if (lines.empty()) return false;
  const TTabStrings header(lines[0]);
  for (const std::string& cell : header.Cells()) {
    auto [namePart, rest] = CutAtSpace(cell);
    const std::string name = Trimmed(namePart);
    if (name.empty()) {
      Fields.Clear();
      return false;
    }
    const std::string afterName = Trimmed(rest);
    auto [typePart, lengthPart] = CutAtSpace(afterName);
    const std::string typeWord = Trimmed(typePart);
    const int32_t type = typeWord == "int" ? kDBInt : typeWord == "float" ? kDBFloat : typeWord == "bool" ? kDBFlag : kDBString;
    int32_t length = 80;
    if (!TryTextToInt(Trimmed(lengthPart), length)) length = 80;
    Fields.Add(name, type, length);
  }
  for (size_t l = 1; l < lines.size(); ++l) {
    if (lines[l].empty()) continue;
    // A data line has the escapes of tag values: \" and \\ give the second character, \n
    // gives CR LF, any other backslash stays.
    const TTabStrings cells(UnescapeTagValue(lines[l]));
    Append();
    const int32_t n = std::min(cells.Count(), Fields.Count());
    for (int32_t j = 0; j < n; ++j) SetStr(recNo_, j, cells[j]);
  }
  return true;
}

// ---- stream form -----------------------------------------------------------------------

void TDBTable::SaveToStream(TKvBigStream& stream) const {
  TBinaryWriter w(stream);
  w.String(Name);
  w.U8(Kind);
  w.I32(Fields.Count());
  for (int32_t i = 0; i < Fields.Count(); ++i) {
    w.I32(Fields[i].Size);
    w.String(Fields[i].Name);
    w.U8(Fields[i].FieldType);
  }
  w.I32(RecordCount());
  for (const auto& r : records_) w.Write(r.data(), static_cast<int64_t>(r.size()));
  w.I32(recNo_);
}

void TDBTable::LoadFromStream(TKvBigStream& stream) {
  TBinaryReader r(stream);
  Name = r.String();
  Kind = r.U8();
  if (Kind > 1) throw EReadError("data table: unknown kind");
  ClearAll();
  const int32_t fieldCount = r.Count(4 + 4 + 1);
  for (int32_t i = 0; i < fieldCount; ++i) {
    const int32_t size = r.I32();
    std::string name = r.String();
    const uint8_t type = r.U8();
    // The size must be the type's own, so every field access stays inside the record.
    if (type < kDBInt || type > kDBString || size < 1 || FieldSizeOf(type, size - 1) != size ||
        Fields.Add(name, type, size - 1) < 0)
      throw EReadError("data table: field size does not fit its type or the record");
  }
  // Records of a table without fields take no bytes: their count is bounded on its own.
  const int32_t count = Fields.RecordSize() > 0 ? r.Count(Fields.RecordSize()) : r.I32();
  if (count < 0 || (Fields.RecordSize() == 0 && count > kMaxFieldlessRecords))
    throw EReadError("data table: record count out of range");
  records_.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    std::vector<uint8_t> record(static_cast<size_t>(Fields.RecordSize()));
    r.Read(record.data(), static_cast<int64_t>(record.size()));
    records_.push_back(std::move(record));
  }
  const int32_t recNo = r.I32();
  recNo_ = recNo >= 0 && recNo < count ? recNo : -1;
}

// ---- the manager -----------------------------------------------------------------------

int32_t TDBManager::IndexOf(std::string_view name) const {
  for (int32_t i = 0; i < Count(); ++i)
    if (SameText(Table(i)->Name, name)) return i;
  return -1;
}

TDBTable* TDBManager::Find(std::string_view name) const {
  const int32_t i = IndexOf(name);
  return i < 0 ? nullptr : Table(i);
}

int32_t TDBManager::CreateTable(std::string_view name, uint8_t kind) {
  if (name.empty() || IndexOf(name) >= 0) return -1;
  tables_.push_back(std::make_unique<TDBTable>(std::string(name), kind));
  active_ = tables_.back().get();
  return Count() - 1;
}

bool TDBManager::DeleteTable(std::string_view name) {
  const int32_t i = IndexOf(name);
  if (i < 0) return false;
  if (active_ == Table(i)) active_ = nullptr;
  tables_.erase(tables_.begin() + i);
  return true;
}

bool TDBManager::DeleteActive() { return active_ && DeleteTable(active_->Name); }

bool TDBManager::SetActive(std::string_view name) {
  TDBTable* t = Find(name);
  if (t) active_ = t;
  return t != nullptr;
}

TDBManager::TDirect TDBManager::DirectFind(std::string_view table, const TCustomParam& names, const TCustomParam& values,
                                           bool ignoreCase, bool partial, std::string_view field) const {
  TDirect d;
  TDBTable* t = Find(table);
  if (!t) return d;
  std::vector<int32_t> matches;
  t->Find(matches, &names, &values, ignoreCase, partial);
  const int32_t f = t->Fields.IndexOf(field);
  if (matches.empty() || f < 0) return d;
  return {t, matches[0], f};
}

bool TDBManager::CopyRecords(std::string_view target, const std::vector<int32_t>& list) {
  TDBTable* t = Find(target);
  if (!active_ || !t || t == active_) return false;
  t->ClearAll();
  for (int32_t i = 0; i < active_->Fields.Count(); ++i) {
    const TDBField& f = active_->Fields[i];
    t->Fields.Add(f.Name, f.FieldType, f.FieldType == kDBString ? f.Size - 1 : 0);
  }
  for (int32_t r : list) t->AppendCopy(active_->RecordAt(r));
  return true;
}

bool TDBManager::InsertRecords(std::string_view source, const std::vector<int32_t>& list) {
  TDBTable* s = Find(source);
  if (!active_ || !s || !s->Fields.SameAs(active_->Fields)) return false;
  for (int32_t r : list) {
    // A copy first: appending to the source itself may move its records.
    const std::vector<uint8_t> bytes = s->RecordAt(r);
    active_->AppendCopy(bytes);
  }
  return true;
}

void TDBManager::ClearGameTables() {
  std::erase_if(tables_, [](const auto& t) { return t->Kind == 0; });
  active_ = nullptr;
}

void TDBManager::Clear() {
  tables_.clear();
  active_ = nullptr;
}

void TDBManager::SaveToStream(TKvBigStream& stream, uint8_t kind) const {
  TBinaryWriter w(stream);
  w.I32(kStreamVersion);
  w.I32(static_cast<int32_t>(std::count_if(tables_.begin(), tables_.end(), [kind](const auto& t) { return t->Kind == kind; })));
  for (const auto& t : tables_) {
    if (t->Kind != kind) continue;
    w.U8(0);  // the table class: there is one
    t->SaveToStream(stream);
  }
  if (kind == 0) w.String(active_ ? active_->Name : std::string());
}

TDBManager::TPending TDBManager::ReadFromStream(TKvBigStream& stream, uint8_t kind) {
  TPending p;
  p.Kind = kind;
  TBinaryReader r(stream);
  r.I32();  // the format version: one form so far
  const int32_t count = r.Count(1 + 4 + 1 + 4 + 4 + 4);
  for (int32_t i = 0; i < count; ++i) {
    r.U8();
    auto table = std::make_unique<TDBTable>(std::string(), kind);
    table->LoadFromStream(stream);
    r.Resync();
    p.Tables.push_back(std::move(table));
  }
  if (kind == 0) p.ActiveName = r.String();
  return p;
}

void TDBManager::Apply(TPending pending) {
  std::erase_if(tables_, [&](const auto& t) { return t->Kind == pending.Kind; });
  active_ = nullptr;
  for (auto& t : pending.Tables) tables_.push_back(std::move(t));
  // Game tables name their active table; after status tables the last one read is active.
  if (pending.Kind == 0) {
    if (!pending.ActiveName.empty()) SetActive(pending.ActiveName);
  } else if (!pending.Tables.empty()) {
    active_ = tables_.back().get();
  }
}

TDBManager& DBManager() {
  static TDBManager manager;
  return manager;
}

}  // namespace orba
