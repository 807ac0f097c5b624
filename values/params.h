// The value objects of script variables: integer, float, flag and string values, each a
// scalar or an array of any number of dimensions stored flat in row-major order; references
// to another variable or to one element of an array variable. Every getter and setter
// converts between the stored type and the asked one by the rules of values/convert.h.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/extended.h"

namespace orba {

class TBinaryReader;
class TBinaryWriter;
class THashCollectionItem;
class TParamCollection;
class TParamCollectionItem;

// Value type codes, one byte wherever they are stored.
constexpr uint8_t PT_NONE = 0, PT_INT = 1, PT_FLOAT = 2, PT_BOOL = 3, PT_STR = 4;

// Largest element count of an array: shapes multiply in 64 bits and are checked against it
// before anything is allocated.
constexpr int64_t kMaxParamElements = int64_t{1} << 24;

class TCustomParam {
 public:
  virtual ~TCustomParam() = default;

  virtual int32_t Count() const { return 1; }
  // Resizes the element store keeping existing elements; new ones get the default.
  virtual void SetCount(int32_t) {}
  virtual uint8_t ValueType() const { return PT_NONE; }

  virtual bool AsFlag() const { return false; }
  virtual TExtended AsFloat() const { return 0.0; }
  virtual int32_t AsInt() const { return 0; }
  virtual std::string AsString() const { return {}; }
  // Scalar setters make the value scalar first.
  virtual void SetFlag(bool) {}
  virtual void SetFloat(TExtended) {}
  virtual void SetInt(int32_t) {}
  virtual void SetString(std::string_view) {}

  // Element k, 0 <= k < Count(); otherwise "配列の添字が不正です".
  virtual int32_t ItemInt(int32_t) const { return 0; }
  virtual void SetItemInt(int32_t, int32_t) {}
  virtual TExtended ItemFloat(int32_t) const { return 0.0; }
  virtual void SetItemFloat(int32_t, TExtended) {}
  virtual bool ItemFlag(int32_t) const { return false; }
  virtual void SetItemFlag(int32_t, bool) {}
  virtual std::string ItemString(int32_t) const { return {}; }
  virtual void SetItemString(int32_t, std::string_view) {}

  // Number of dimensions, 1 for a scalar; size of dimension d, 1 outside the shape.
  virtual int32_t DimCount() const { return dims_.empty() ? 1 : static_cast<int32_t>(dims_.size()); }
  virtual int32_t DimSize(int32_t d) const {
    return d >= 0 && d < static_cast<int32_t>(dims_.size()) ? dims_[static_cast<size_t>(d)] : 1;
  }
  // Copies shape and elements of an object of the same class, without checking the class.
  virtual void AssignRaw(const TCustomParam&) {}
  // Sets the shape; a size below 1 raises "配列の要素数[%s]が不正です". Elements keep their
  // flat positions.
  virtual void SetDims(std::span<const int32_t>) {}
  virtual void FillInt(int32_t) {}
  virtual void FillFloat(TExtended) {}
  virtual void FillFlag(bool) {}
  virtual void FillString(std::string_view) {}
  // Copies shape and elements of an object of the same class; another class raises
  // "CopyMem:変数の型があいません".
  virtual void CopyFrom(const TCustomParam&) {}
  virtual void SaveToStream(TBinaryWriter&) const {}
  // Replaces the value with the stored one; on a read error the value is left as it was.
  virtual void LoadFromStream(TBinaryReader&) {}
  virtual void MakeScalar() {}
  // Index of the first element whose text matches, or -1. partial: text occurs inside the
  // element (at a character boundary); otherwise the whole element equals text. Case is
  // ignored for ASCII letters unless caseSensitive.
  virtual int32_t IndexOfValue(std::string_view text, bool caseSensitive, bool partial) const;

  // The object that holds the elements: this one, or the target of a reference.
  virtual const TCustomParam* Holder() const { return this; }

  // Takes the shape of source and every element converted to this object's type; source
  // may be of any type.
  void ConvertFrom(const TCustomParam& source);

  const std::vector<int32_t>& Dims() const { return dims_; }

  // The type code of a plain integer, float, flag or string value, whose element 0 the
  // typed classes reach without a virtual call; 0 for references and system variables.
  uint8_t PlainType() const { return plainType_; }

 protected:
  std::vector<int32_t> dims_;
  uint8_t plainType_ = PT_NONE;
};

// Makes the value object of a type code (only the low 7 bits count); null above 4. A
// reference made here resolves its names in collection.
std::unique_ptr<TCustomParam> CreateParam(uint8_t code, TParamCollection* collection = nullptr);

// Integer, float, flag and string values share one implementation over their element type.
template <typename T, uint8_t Code>
class TParamTyped : public TCustomParam {
 public:
  TParamTyped() { plainType_ = Code; }

  // Element 0 as stored (there is always one), and the scalar store of a value already of
  // the element type: the same as the scalar getter and setter, without dispatch.
  const T& First() const { return items_[0]; }
  void SetFirst(const T& v) {
    if (!dims_.empty()) TParamTyped::MakeScalar();
    items_[0] = v;
  }

  int32_t Count() const override { return static_cast<int32_t>(items_.size()); }
  void SetCount(int32_t n) override;
  uint8_t ValueType() const override { return Code; }

  // The scalar accessors read element 0 without a second dispatch: expressions call them
  // for every operand.
  bool AsFlag() const override { return TParamTyped::ItemFlag(0); }
  TExtended AsFloat() const override { return TParamTyped::ItemFloat(0); }
  int32_t AsInt() const override { return TParamTyped::ItemInt(0); }
  std::string AsString() const override { return TParamTyped::ItemString(0); }
  void SetFlag(bool b) override;
  void SetFloat(TExtended x) override;
  void SetInt(int32_t i) override;
  void SetString(std::string_view s) override;

  int32_t ItemInt(int32_t k) const override;
  void SetItemInt(int32_t k, int32_t i) override;
  TExtended ItemFloat(int32_t k) const override;
  void SetItemFloat(int32_t k, TExtended x) override;
  bool ItemFlag(int32_t k) const override;
  void SetItemFlag(int32_t k, bool b) override;
  std::string ItemString(int32_t k) const override;
  void SetItemString(int32_t k, std::string_view s) override;

  void AssignRaw(const TCustomParam& other) override;
  void SetDims(std::span<const int32_t> sizes) override;
  void FillInt(int32_t i) override;
  void FillFloat(TExtended x) override;
  void FillFlag(bool b) override;
  void FillString(std::string_view s) override;
  void CopyFrom(const TCustomParam& other) override;
  void SaveToStream(TBinaryWriter& w) const override;
  void LoadFromStream(TBinaryReader& r) override;
  void MakeScalar() override;

  const std::vector<T>& Items() const { return items_; }

 protected:
  const T& At(int32_t k) const;
  T& At(int32_t k);
  std::vector<T> items_ = std::vector<T>(1);
};

extern template class TParamTyped<int32_t, PT_INT>;
extern template class TParamTyped<TExtended, PT_FLOAT>;
extern template class TParamTyped<uint8_t, PT_BOOL>;
extern template class TParamTyped<std::string, PT_STR>;

class TParamInt final : public TParamTyped<int32_t, PT_INT> {};
class TParamFloat final : public TParamTyped<TExtended, PT_FLOAT> {};
class TParamFlag final : public TParamTyped<uint8_t, PT_BOOL> {};
class TParamStr final : public TParamTyped<std::string, PT_STR> {};

// A reference to a variable, or to one element of it. Scalar operations act on the
// referenced element; element, shape, fill, copy and search operations act on the target
// as a whole. An unresolved reference reads as 0 and empty, has no elements and ignores
// writes. A target that is freed leaves the reference unresolved rather than dangling.
class TParamVar final : public TCustomParam {
 public:
  explicit TParamVar(TParamCollection* collection = nullptr) : collection_(collection) {}

  // Looks the target name up; a missing name raises "\"%s\" 変数がありません". A target
  // that is itself a reference lends its element index.
  void Resolve();
  void SetTargetName(std::string_view name) { targetName_.assign(name); }
  // The collection names are resolved in.
  void SetCollection(TParamCollection* collection) { collection_ = collection; }
  // Binds to element (i1, ..., in) of the array variable v: the count of indexes must be
  // v's number of dimensions and the flat index below its element count; otherwise the
  // error names the variable and the indexes ("map[1,5]", CR LF, the message).
  void BindElement(TParamCollectionItem& v, std::span<const int32_t> indexes);
  void SetTarget(TParamCollectionItem* item, int32_t elementIndex);

  const std::string& TargetName() const { return targetName_; }
  TParamCollectionItem* Target() const;
  int32_t ElementIndex() const { return elementIndex_; }
  uint8_t Reserved() const { return reserved_; }
  // The target name stored in a loaded record that could not be found yet (its target is
  // loaded later, as in a loop of references); empty once resolved.
  const std::string& PendingName() const { return pendingName_; }
  // Resolves a pending name if a variable of that name exists now.
  void ResolvePending();

  int32_t Count() const override;
  void SetCount(int32_t n) override;
  uint8_t ValueType() const override;

  bool AsFlag() const override;
  TExtended AsFloat() const override;
  int32_t AsInt() const override;
  std::string AsString() const override;
  void SetFlag(bool b) override;
  void SetFloat(TExtended x) override;
  void SetInt(int32_t i) override;
  void SetString(std::string_view s) override;

  int32_t ItemInt(int32_t k) const override;
  void SetItemInt(int32_t k, int32_t i) override;
  TExtended ItemFloat(int32_t k) const override;
  void SetItemFloat(int32_t k, TExtended x) override;
  bool ItemFlag(int32_t k) const override;
  void SetItemFlag(int32_t k, bool b) override;
  std::string ItemString(int32_t k) const override;
  void SetItemString(int32_t k, std::string_view s) override;

  int32_t DimCount() const override;
  int32_t DimSize(int32_t d) const override;
  void AssignRaw(const TCustomParam& other) override;
  void SetDims(std::span<const int32_t> sizes) override;
  void FillInt(int32_t i) override;
  void FillFloat(TExtended x) override;
  void FillFlag(bool b) override;
  void FillString(std::string_view s) override;
  void CopyFrom(const TCustomParam& other) override;
  void SaveToStream(TBinaryWriter& w) const override;
  void LoadFromStream(TBinaryReader& r) override;
  void MakeScalar() override;
  int32_t IndexOfValue(std::string_view text, bool caseSensitive, bool partial) const override;
  const TCustomParam* Holder() const override;

 private:
  TCustomParam* TargetParam() const;

  TParamCollection* collection_;
  std::string targetName_;
  std::shared_ptr<THashCollectionItem*> target_;
  uint8_t reserved_ = 0;
  int32_t elementIndex_ = 0;
  std::string pendingName_;
};

// Guards operations that follow references from one variable to the next: a loop of
// references (a reference to itself, or @Temp naming a reference to @Temp) raises an error
// instead of recursing without end.
class TForwardGuard {
 public:
  explicit TForwardGuard(std::string_view name);
  ~TForwardGuard();
  TForwardGuard(const TForwardGuard&) = delete;
  TForwardGuard& operator=(const TForwardGuard&) = delete;
};

// Raises "配列の添字が不正です".
[[noreturn]] void RaiseBadIndex();
// Raises "内部エラー".
[[noreturn]] void RaiseInternalError();

}  // namespace orba
