// The scripts' data tables: named in-memory tables of typed fields and fixed-size records,
// one of them active, filled from tab-separated text, searched, sorted and copied by the
// table functions, and saved with the game (game tables) or with the status data (status
// tables). Records keep the stored layout, so the stream form is their bytes as they are.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/extended.h"
#include "base/stream.h"

namespace orba {

class TCustomParam;

enum TDBFieldType : uint8_t { kDBInt = 1, kDBFloat = 2, kDBFlag = 3, kDBString = 4 };

struct TDBField {
  int32_t Size = 0;  // bytes in every record: 4, 10, 1, or the declared length + 1
  std::string Name;
  uint8_t FieldType = 0;
};

// The longest declared length of a string field. Longer declarations (a hostile table file,
// a script's mistake) are refused instead of growing every record without bound.
inline constexpr int32_t kDBMaxStringLength = 1 << 20;
// The largest record; a field that would make it larger is refused.
inline constexpr int32_t kDBMaxRecordSize = 1 << 24;

class TDBTable;

class TDBFieldList {
 public:
  explicit TDBFieldList(TDBTable& table) : table_(table) {}

  int32_t Count() const { return static_cast<int32_t>(fields_.size()); }
  const TDBField& operator[](int32_t i) const { return fields_[static_cast<size_t>(i)]; }
  int32_t RecordSize() const { return recordSize_; }
  int32_t OffsetOf(int32_t i) const { return offsets_[static_cast<size_t>(i)]; }

  // Adds a field (the table's records grow by its size, zero-filled); -1 for an unknown type,
  // a string length outside 0..kDBMaxStringLength or a record beyond kDBMaxRecordSize.
  int32_t Add(std::string_view name, int32_t type, int32_t length);
  // The first field of that name (ASCII case-insensitive), or -1.
  int32_t IndexOf(std::string_view name) const;
  // Same count and, field by field, byte-identical names, same type and size.
  bool SameAs(const TDBFieldList& other) const;
  void Clear();

 private:
  friend class TDBTable;
  void Recompute();

  TDBTable& table_;
  std::vector<TDBField> fields_;
  std::vector<int32_t> offsets_;
  int32_t recordSize_ = 0;
};

class TDBTable {
 public:
  TDBTable(std::string name, uint8_t kind) : Name(std::move(name)), Kind(kind) {}
  TDBTable(const TDBTable&) = delete;
  TDBTable& operator=(const TDBTable&) = delete;

  std::string Name;
  uint8_t Kind = 0;  // 0 game table, 1 status table
  TDBFieldList Fields{*this};

  int32_t RecordCount() const { return static_cast<int32_t>(records_.size()); }
  int32_t RecNo() const { return recNo_; }
  const std::vector<uint8_t>* CurrentRecord() const { return recNo_ < 0 ? nullptr : &records_[static_cast<size_t>(recNo_)]; }
  const std::vector<uint8_t>& RecordAt(int32_t i) const { return records_[static_cast<size_t>(i)]; }

  void Append();                                  // a zeroed record at the end, made current
  void AppendCopy(const std::vector<uint8_t>& r);  // the same, holding r's bytes
  bool Delete();
  bool First();
  bool Last();
  bool Next();
  bool Prior();
  bool SetRecNo(int32_t i);

  bool GetInt(int32_t rec, int32_t field, int32_t& out) const;
  bool SetInt(int32_t rec, int32_t field, int32_t v);
  bool GetFloat(int32_t rec, int32_t field, TExtended& out) const;
  bool SetFloat(int32_t rec, int32_t field, TExtended x);
  bool GetBool(int32_t rec, int32_t field, bool& out) const;
  bool SetBool(int32_t rec, int32_t field, bool b);
  bool GetStr(int32_t rec, int32_t field, std::string& out) const;
  bool SetStr(int32_t rec, int32_t field, std::string_view s);

  // Appends to result the numbers of the records whose fields named by names equal values
  // (compared by the type of values); null names or values match every record.
  void Find(std::vector<int32_t>& result, const TCustomParam* names, const TCustomParam* values,
            bool ignoreCase, bool partial) const;
  // Reorders the records by the named fields (stable; the current position keeps its number).
  void Sort(const TCustomParam& names, const TCustomParam& descending);
  // Replaces fields and records from tab-separated lines, the first naming the fields; false
  // when there were no lines or a header cell has no name.
  bool LoadTsv(const std::vector<std::string>& lines);

  void ClearAll();
  void ClearRecords();

  void SaveToStream(TKvBigStream& stream) const;
  // Reads a table in the stream form; raises on bad data (this table is then unusable).
  void LoadFromStream(TKvBigStream& stream);

 private:
  friend class TDBFieldList;
  void FieldAdded(int32_t size);
  uint8_t* FieldBytes(int32_t rec, int32_t field, uint8_t type) const;
  bool InRange(int32_t rec, int32_t field) const;
  // The field's value as text, the way GetStr reads it; in range.
  std::string Text(int32_t rec, int32_t field) const;

  std::vector<std::vector<uint8_t>> records_;
  int32_t recNo_ = -1;
};

// Rounds to the nearest integer with halves to the even neighbour, keeping the low 32 bits
// (NaN and infinities give 0): how a float reaches an integer field.
int32_t RoundHalfEven(TExtended x);

class TDBManager {
 public:
  static constexpr int32_t kStreamVersion = 100;

  int32_t Count() const { return static_cast<int32_t>(tables_.size()); }
  TDBTable* Table(int32_t i) const { return tables_[static_cast<size_t>(i)].get(); }
  int32_t IndexOf(std::string_view name) const;
  TDBTable* Find(std::string_view name) const;
  TDBTable* Active() const { return active_; }

  // A new active table at the end; -1 when the name is empty or taken.
  int32_t CreateTable(std::string_view name, uint8_t kind);
  bool DeleteTable(std::string_view name);
  bool DeleteActive();
  bool SetActive(std::string_view name);

  // The table, first matching record and field index of a direct access; null when the
  // table, a match or the field is missing.
  struct TDirect {
    TDBTable* Table = nullptr;
    int32_t Record = -1, Field = -1;
  };
  TDirect DirectFind(std::string_view table, const TCustomParam& names, const TCustomParam& values,
                     bool ignoreCase, bool partial, std::string_view field) const;

  // The target (not the active table) becomes a copy of the active table's fields with the
  // listed records.
  bool CopyRecords(std::string_view target, const std::vector<int32_t>& list);
  // Appends the listed records of source (the active table itself allowed) to the active
  // table when their fields are the same.
  bool InsertRecords(std::string_view source, const std::vector<int32_t>& list);

  void ClearGameTables();
  void Clear();

  void SaveToStream(TKvBigStream& stream, uint8_t kind) const;
  // Tables of one kind read from a stream, not yet in the manager.
  struct TPending {
    uint8_t Kind = 0;
    std::vector<std::unique_ptr<TDBTable>> Tables;
    std::string ActiveName;
  };
  // Reads the tables of kind; raises on bad data, changing nothing.
  static TPending ReadFromStream(TKvBigStream& stream, uint8_t kind);
  // Replaces the tables of the pending kind by the ones read.
  void Apply(TPending pending);
  void LoadFromStream(TKvBigStream& stream, uint8_t kind) { Apply(ReadFromStream(stream, kind)); }

 private:
  std::vector<std::unique_ptr<TDBTable>> tables_;
  TDBTable* active_ = nullptr;
};

// The player's one table manager.
TDBManager& DBManager();

}  // namespace orba
