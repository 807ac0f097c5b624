#include "values/params.h"

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "values/convert.h"
#include "values/paramcollection.h"

namespace orba {

// ---- errors -------------------------------------------------------------------------

void RaiseBadIndex() { throw EOrbaError(Sjis(u8"配列の添字が不正です")); }
void RaiseInternalError() { throw EOrbaError(Sjis(u8"内部エラー")); }

namespace {

[[noreturn]] void RaiseBadShape(std::span<const int32_t> sizes) {
  std::string list;
  for (size_t i = 0; i < sizes.size(); ++i) {
    if (i) list += ',';
    list += IntToText(sizes[i]);
  }
  throw EOrbaError(Sjis(u8"配列の要素数[") + list + Sjis(u8"]が不正です"));
}

[[noreturn]] void RaiseBadData() { throw EReadError(Sjis(u8"変数のデータが壊れています")); }

// Element count of a shape, multiplied in 64 bits and checked against the cap as it grows;
// -1 for a size below 1 or a count beyond the cap.
int64_t ShapeCount(std::span<const int32_t> sizes) {
  int64_t n = 1;
  for (int32_t s : sizes) {
    if (s < 1) return -1;
    n *= s;
    if (n > kMaxParamElements) return -1;
  }
  return n;
}

int32_t ElementCount(std::span<const int32_t> sizes) {
  int64_t n = ShapeCount(sizes);
  if (n < 0) RaiseBadShape(sizes);
  return static_cast<int32_t>(n);
}

// Conversions of one element type to and from the four value types.
template <typename T> struct Elem;

template <> struct Elem<int32_t> {
  static constexpr int64_t kStoredSize = 4;
  static int32_t FromInt(int32_t i) { return i; }
  static int32_t FromFloat(TExtended x) { return FloatToInt(x); }
  static int32_t FromFlag(bool b) { return b ? 1 : 0; }
  static int32_t FromText(std::string_view s) { return TextToInt(s); }
  static int32_t ToInt(int32_t v) { return v; }
  static TExtended ToFloat(int32_t v) { return v; }
  static bool ToFlag(int32_t v) { return v != 0; }
  static std::string ToText(int32_t v) { return IntToText(v); }
  static void Write(TBinaryWriter& w, int32_t v) { w.I32(v); }
  static int32_t Read(TBinaryReader& r) { return r.I32(); }
};

template <> struct Elem<TExtended> {
  static constexpr int64_t kStoredSize = 10;
  static TExtended FromInt(int32_t i) { return i; }
  static TExtended FromFloat(TExtended x) { return x; }
  static TExtended FromFlag(bool b) { return b ? 1.0 : 0.0; }
  static TExtended FromText(std::string_view s) { return TextToFloat(s); }
  static int32_t ToInt(TExtended v) { return FloatToInt(v); }
  static TExtended ToFloat(TExtended v) { return v; }
  static bool ToFlag(TExtended v) { return v != 0; }
  static std::string ToText(TExtended v) { return FloatToText(v); }
  static void Write(TBinaryWriter& w, TExtended v) { w.Extended(v); }
  static TExtended Read(TBinaryReader& r) { return r.Extended(); }
};

template <> struct Elem<uint8_t> {
  static constexpr int64_t kStoredSize = 1;
  static uint8_t FromInt(int32_t i) { return i != 0; }
  static uint8_t FromFloat(TExtended x) { return x != 0; }
  static uint8_t FromFlag(bool b) { return b; }
  static uint8_t FromText(std::string_view s) { return TextToFlag(s); }
  static int32_t ToInt(uint8_t v) { return v ? 1 : 0; }
  static TExtended ToFloat(uint8_t v) { return v ? 1.0 : 0.0; }
  static bool ToFlag(uint8_t v) { return v != 0; }
  static std::string ToText(uint8_t v) { return FlagToText(v != 0); }
  static void Write(TBinaryWriter& w, uint8_t v) { w.U8(v ? 1 : 0); }
  static uint8_t Read(TBinaryReader& r) { return r.U8() != 0; }
};

template <> struct Elem<std::string> {
  static constexpr int64_t kStoredSize = 4;
  static std::string FromInt(int32_t i) { return IntToText(i); }
  static std::string FromFloat(TExtended x) { return FloatToText(x); }
  static std::string FromFlag(bool b) { return FlagToText(b); }
  static std::string FromText(std::string_view s) { return std::string(s); }
  static int32_t ToInt(const std::string& v) { return TextToInt(v); }
  static TExtended ToFloat(const std::string& v) { return TextToFloat(v); }
  static bool ToFlag(const std::string& v) { return TextToFlag(v); }
  static std::string ToText(const std::string& v) { return v; }
  static void Write(TBinaryWriter& w, const std::string& v) { w.String(v); }
  static std::string Read(TBinaryReader& r) { return r.String(); }
};

void WriteDims(TBinaryWriter& w, const std::vector<int32_t>& dims) {
  w.I32(static_cast<int32_t>(dims.size()));
  for (int32_t d : dims) w.I32(d);
}

std::vector<int32_t> ReadDims(TBinaryReader& r) {
  int32_t n = r.Count(4);
  std::vector<int32_t> dims(static_cast<size_t>(n));
  for (auto& d : dims) d = r.I32();
  return dims;
}

// The first position of needle in hay that starts a character, or npos.
size_t FindAtCharStart(std::string_view hay, std::string_view needle) {
  for (size_t i = 0; i + needle.size() <= hay.size(); i += CharLenAt(hay, i)) {
    if (hay.compare(i, needle.size(), needle) == 0) return i;
  }
  return std::string_view::npos;
}

thread_local int g_forwardDepth = 0;
constexpr int kMaxForwardDepth = 64;

}  // namespace

TForwardGuard::TForwardGuard(std::string_view name) {
  if (g_forwardDepth >= kMaxForwardDepth) {
    // "The reference of variable "%s" loops."
    throw EOrbaError("\"" + std::string(name) + Sjis(u8"\" 変数の参照が循環しています"));
  }
  ++g_forwardDepth;
}

TForwardGuard::~TForwardGuard() { --g_forwardDepth; }

// ---- base -----------------------------------------------------------------------------

int32_t TCustomParam::IndexOfValue(std::string_view text, bool caseSensitive, bool partial) const {
  const int32_t n = Count();
  std::string folded = caseSensitive ? std::string() : LowerCase(text);
  for (int32_t k = 0; k < n; ++k) {
    std::string item = ItemString(k);
    if (partial) {
      if (caseSensitive ? FindAtCharStart(item, text) != std::string_view::npos
                        : FindAtCharStart(LowerCase(item), folded) != std::string_view::npos)
        return k;
    } else if (caseSensitive ? item == text : SameText(item, text)) {
      return k;
    }
  }
  return -1;
}

void TCustomParam::ConvertFrom(const TCustomParam& source) {
  const uint8_t type = ValueType();
  if (type < PT_INT || type > PT_STR) return;
  // Everything is read first: source may be this very object seen through a reference.
  const int32_t n = source.Count();
  if (n < 1) return;  // an unresolved reference has nothing to give
  if (n == 1 && source.Holder()->Dims().empty()) {
    // A scalar, the common case (every condition's result comes this way): no buffers.
    switch (type) {
      case PT_INT: { const int32_t v = source.ItemInt(0); MakeScalar(); SetItemInt(0, v); break; }
      case PT_FLOAT: { const TExtended v = source.ItemFloat(0); MakeScalar(); SetItemFloat(0, v); break; }
      case PT_BOOL: { const bool v = source.ItemFlag(0); MakeScalar(); SetItemFlag(0, v); break; }
      default: { const std::string v = source.ItemString(0); MakeScalar(); SetItemString(0, v); break; }
    }
    return;
  }
  std::vector<int32_t> dims;
  if (!(n == 1 && source.Holder()->Dims().empty())) {
    int64_t product = 1;
    for (int32_t d = 0; d < source.DimCount(); ++d) {
      dims.push_back(source.DimSize(d));
      product *= dims.back();
      if (product > n) break;
    }
    // A system array has elements but no stored shape: it converts to one dimension.
    if (product != n) dims.assign(1, n);
  }
  std::vector<std::string> texts;
  std::vector<TExtended> floats;
  std::vector<int32_t> ints;
  for (int32_t k = 0; k < n; ++k) {
    switch (type) {
      case PT_INT: ints.push_back(source.ItemInt(k)); break;
      case PT_FLOAT: floats.push_back(source.ItemFloat(k)); break;
      case PT_BOOL: ints.push_back(source.ItemFlag(k)); break;
      default: texts.push_back(source.ItemString(k)); break;
    }
  }
  // A scalar source makes this a scalar; MakeScalar rather than an empty shape, so a
  // system variable can take a value this way too.
  if (dims.empty())
    MakeScalar();
  else
    SetDims(dims);
  for (int32_t k = 0; k < n; ++k) {
    switch (type) {
      case PT_INT: SetItemInt(k, ints[k]); break;
      case PT_FLOAT: SetItemFloat(k, floats[k]); break;
      case PT_BOOL: SetItemFlag(k, ints[k] != 0); break;
      default: SetItemString(k, texts[k]); break;
    }
  }
}

std::unique_ptr<TCustomParam> CreateParam(uint8_t code, TParamCollection* collection) {
  switch (code & 0x7F) {
    case PT_NONE: return std::make_unique<TParamVar>(collection);
    case PT_INT: return std::make_unique<TParamInt>();
    case PT_FLOAT: return std::make_unique<TParamFloat>();
    case PT_BOOL: return std::make_unique<TParamFlag>();
    case PT_STR: return std::make_unique<TParamStr>();
    default: return nullptr;
  }
}

// ---- typed values ------------------------------------------------------------------------

template <typename T, uint8_t Code>
const T& TParamTyped<T, Code>::At(int32_t k) const {
  if (k < 0 || static_cast<size_t>(k) >= items_.size()) RaiseBadIndex();
  return items_[static_cast<size_t>(k)];
}

template <typename T, uint8_t Code>
T& TParamTyped<T, Code>::At(int32_t k) {
  if (k < 0 || static_cast<size_t>(k) >= items_.size()) RaiseBadIndex();
  return items_[static_cast<size_t>(k)];
}

template <typename T, uint8_t Code>
void TParamTyped<T, Code>::SetCount(int32_t n) {
  int32_t size[1] = {n};
  if (n < 1 || n > kMaxParamElements) RaiseBadShape(size);
  items_.resize(static_cast<size_t>(n));
}

template <typename T, uint8_t Code>
void TParamTyped<T, Code>::MakeScalar() {
  if (dims_.empty()) return;
  dims_.clear();
  items_.resize(1);
}

template <typename T, uint8_t Code>
void TParamTyped<T, Code>::SetFlag(bool b) { TParamTyped::MakeScalar(); items_[0] = Elem<T>::FromFlag(b); }
template <typename T, uint8_t Code>
void TParamTyped<T, Code>::SetFloat(TExtended x) { TParamTyped::MakeScalar(); items_[0] = Elem<T>::FromFloat(x); }
template <typename T, uint8_t Code>
void TParamTyped<T, Code>::SetInt(int32_t i) { TParamTyped::MakeScalar(); items_[0] = Elem<T>::FromInt(i); }
template <typename T, uint8_t Code>
void TParamTyped<T, Code>::SetString(std::string_view s) { TParamTyped::MakeScalar(); items_[0] = Elem<T>::FromText(s); }

template <typename T, uint8_t Code>
int32_t TParamTyped<T, Code>::ItemInt(int32_t k) const { return Elem<T>::ToInt(At(k)); }
template <typename T, uint8_t Code>
void TParamTyped<T, Code>::SetItemInt(int32_t k, int32_t i) { At(k) = Elem<T>::FromInt(i); }
template <typename T, uint8_t Code>
TExtended TParamTyped<T, Code>::ItemFloat(int32_t k) const { return Elem<T>::ToFloat(At(k)); }
template <typename T, uint8_t Code>
void TParamTyped<T, Code>::SetItemFloat(int32_t k, TExtended x) { At(k) = Elem<T>::FromFloat(x); }
template <typename T, uint8_t Code>
bool TParamTyped<T, Code>::ItemFlag(int32_t k) const { return Elem<T>::ToFlag(At(k)); }
template <typename T, uint8_t Code>
void TParamTyped<T, Code>::SetItemFlag(int32_t k, bool b) { At(k) = Elem<T>::FromFlag(b); }
template <typename T, uint8_t Code>
std::string TParamTyped<T, Code>::ItemString(int32_t k) const { return Elem<T>::ToText(At(k)); }
template <typename T, uint8_t Code>
void TParamTyped<T, Code>::SetItemString(int32_t k, std::string_view s) { At(k) = Elem<T>::FromText(s); }

template <typename T, uint8_t Code>
void TParamTyped<T, Code>::AssignRaw(const TCustomParam& other) {
  auto* same = dynamic_cast<const TParamTyped*>(other.Holder());
  if (!same || same == this) return;
  dims_ = same->dims_;
  items_ = same->items_;
}

template <typename T, uint8_t Code>
void TParamTyped<T, Code>::SetDims(std::span<const int32_t> sizes) {
  // Checked before anything changes, so a bad shape leaves the value as it was.
  int32_t n = ElementCount(sizes);
  std::vector<int32_t> dims(sizes.begin(), sizes.end());
  items_.resize(static_cast<size_t>(n));
  dims_ = std::move(dims);
}

template <typename T, uint8_t Code>
void TParamTyped<T, Code>::FillInt(int32_t i) { std::fill(items_.begin(), items_.end(), Elem<T>::FromInt(i)); }
template <typename T, uint8_t Code>
void TParamTyped<T, Code>::FillFloat(TExtended x) { std::fill(items_.begin(), items_.end(), Elem<T>::FromFloat(x)); }
template <typename T, uint8_t Code>
void TParamTyped<T, Code>::FillFlag(bool b) { std::fill(items_.begin(), items_.end(), Elem<T>::FromFlag(b)); }
template <typename T, uint8_t Code>
void TParamTyped<T, Code>::FillString(std::string_view s) { std::fill(items_.begin(), items_.end(), Elem<T>::FromText(s)); }

template <typename T, uint8_t Code>
void TParamTyped<T, Code>::CopyFrom(const TCustomParam& other) {
  if (!dynamic_cast<const TParamTyped*>(other.Holder())) throw EOrbaError(Sjis(u8"CopyMem:変数の型があいません"));
  AssignRaw(other);
}

template <typename T, uint8_t Code>
void TParamTyped<T, Code>::SaveToStream(TBinaryWriter& w) const {
  WriteDims(w, dims_);
  w.I32(Count());
  for (const T& v : items_) Elem<T>::Write(w, v);
}

template <typename T, uint8_t Code>
void TParamTyped<T, Code>::LoadFromStream(TBinaryReader& r) {
  std::vector<int32_t> dims = ReadDims(r);
  int32_t n = r.Count(Elem<T>::kStoredSize);
  // The element count must be what the shape says: a scalar has at least one element, an
  // array exactly the product of its sizes.
  if (dims.empty() ? (n < 1 || n > kMaxParamElements) : (n != ShapeCount(dims))) RaiseBadData();
  std::vector<T> items;
  items.reserve(static_cast<size_t>(n));
  for (int32_t k = 0; k < n; ++k) items.push_back(Elem<T>::Read(r));
  dims_ = std::move(dims);
  items_ = std::move(items);
}

template class TParamTyped<int32_t, PT_INT>;
template class TParamTyped<TExtended, PT_FLOAT>;
template class TParamTyped<uint8_t, PT_BOOL>;
template class TParamTyped<std::string, PT_STR>;

// ---- references ---------------------------------------------------------------------------

TParamCollectionItem* TParamVar::Target() const {
  return target_ ? static_cast<TParamCollectionItem*>(*target_) : nullptr;
}

TCustomParam* TParamVar::TargetParam() const {
  TParamCollectionItem* item = Target();
  return item ? item->Param() : nullptr;
}

void TParamVar::SetTarget(TParamCollectionItem* item, int32_t elementIndex) {
  target_ = item ? item->LifeHandle() : nullptr;
  if (item) targetName_ = item->Name();
  elementIndex_ = elementIndex;
  pendingName_.clear();
}

void TParamVar::Resolve() {
  TParamCollectionItem* item = collection_ ? collection_->FindVariable(targetName_) : nullptr;
  if (!item) throw EOrbaError("\"" + targetName_ + Sjis(u8"\" 変数がありません"));
  target_ = item->LifeHandle();
  if (auto* ref = dynamic_cast<TParamVar*>(item->Param())) elementIndex_ = ref->elementIndex_;
  pendingName_.clear();
}

void TParamVar::ResolvePending() {
  if (pendingName_.empty() || !collection_) return;
  if (TParamCollectionItem* item = collection_->FindVariable(pendingName_)) {
    target_ = item->LifeHandle();
    pendingName_.clear();
  }
}

void TParamVar::BindElement(TParamCollectionItem& v, std::span<const int32_t> indexes) {
  auto fail = [&](const char8_t* message) {
    std::string text = v.Name() + "[";
    for (size_t i = 0; i < indexes.size(); ++i) {
      if (i) text += ',';
      text += IntToText(indexes[i]);
    }
    throw EOrbaError(text + "]\r\n" + Sjis(message));
  };
  TCustomParam* p = v.Param();
  if (!p || static_cast<int32_t>(indexes.size()) != p->DimCount()) fail(u8"添え字が不正です");
  // Wide enough that no sum of index times weight overflows; only the flat index is checked.
  __int128 flat = 0, weight = 1;
  for (int32_t d = static_cast<int32_t>(indexes.size()) - 1; d >= 0; --d) {
    flat += weight * indexes[static_cast<size_t>(d)];
    weight *= p->DimSize(d);
  }
  if (flat >= p->Count()) fail(u8"要素数を超えています");
  // A negative flat index is kept negative, so the element access that follows raises.
  SetTarget(&v, flat < INT32_MIN ? -1 : static_cast<int32_t>(flat));
}

#define ORBA_FORWARD(expr, fallback)            \
  TCustomParam* t = TargetParam();              \
  if (!t) return fallback;                      \
  TForwardGuard guard(targetName_);             \
  return expr;

int32_t TParamVar::Count() const { ORBA_FORWARD(t->Count(), 0) }
void TParamVar::SetCount(int32_t n) { ORBA_FORWARD(t->SetCount(n), void()) }
uint8_t TParamVar::ValueType() const { ORBA_FORWARD(t->ValueType(), PT_NONE) }

bool TParamVar::AsFlag() const { ORBA_FORWARD(t->ItemFlag(elementIndex_), false) }
TExtended TParamVar::AsFloat() const { ORBA_FORWARD(t->ItemFloat(elementIndex_), 0.0) }
int32_t TParamVar::AsInt() const { ORBA_FORWARD(t->ItemInt(elementIndex_), 0) }
std::string TParamVar::AsString() const { ORBA_FORWARD(t->ItemString(elementIndex_), std::string()) }
void TParamVar::SetFlag(bool b) { ORBA_FORWARD(t->SetItemFlag(elementIndex_, b), void()) }
void TParamVar::SetFloat(TExtended x) { ORBA_FORWARD(t->SetItemFloat(elementIndex_, x), void()) }
void TParamVar::SetInt(int32_t i) { ORBA_FORWARD(t->SetItemInt(elementIndex_, i), void()) }
void TParamVar::SetString(std::string_view s) { ORBA_FORWARD(t->SetItemString(elementIndex_, s), void()) }

int32_t TParamVar::ItemInt(int32_t k) const { ORBA_FORWARD(t->ItemInt(k), 0) }
void TParamVar::SetItemInt(int32_t k, int32_t i) { ORBA_FORWARD(t->SetItemInt(k, i), void()) }
TExtended TParamVar::ItemFloat(int32_t k) const { ORBA_FORWARD(t->ItemFloat(k), 0.0) }
void TParamVar::SetItemFloat(int32_t k, TExtended x) { ORBA_FORWARD(t->SetItemFloat(k, x), void()) }
bool TParamVar::ItemFlag(int32_t k) const { ORBA_FORWARD(t->ItemFlag(k), false) }
void TParamVar::SetItemFlag(int32_t k, bool b) { ORBA_FORWARD(t->SetItemFlag(k, b), void()) }
std::string TParamVar::ItemString(int32_t k) const { ORBA_FORWARD(t->ItemString(k), std::string()) }
void TParamVar::SetItemString(int32_t k, std::string_view s) { ORBA_FORWARD(t->SetItemString(k, s), void()) }

int32_t TParamVar::DimCount() const { ORBA_FORWARD(t->DimCount(), 1) }
int32_t TParamVar::DimSize(int32_t d) const { ORBA_FORWARD(t->DimSize(d), 1) }
void TParamVar::AssignRaw(const TCustomParam& other) { ORBA_FORWARD(t->AssignRaw(other), void()) }
void TParamVar::SetDims(std::span<const int32_t> sizes) { ORBA_FORWARD(t->SetDims(sizes), void()) }
void TParamVar::FillInt(int32_t i) { ORBA_FORWARD(t->FillInt(i), void()) }
void TParamVar::FillFloat(TExtended x) { ORBA_FORWARD(t->FillFloat(x), void()) }
void TParamVar::FillFlag(bool b) { ORBA_FORWARD(t->FillFlag(b), void()) }
void TParamVar::FillString(std::string_view s) { ORBA_FORWARD(t->FillString(s), void()) }
void TParamVar::CopyFrom(const TCustomParam& other) { ORBA_FORWARD(t->CopyFrom(other), void()) }
void TParamVar::MakeScalar() { ORBA_FORWARD(t->MakeScalar(), void()) }
int32_t TParamVar::IndexOfValue(std::string_view text, bool caseSensitive, bool partial) const {
  ORBA_FORWARD(t->IndexOfValue(text, caseSensitive, partial), -1)
}
const TCustomParam* TParamVar::Holder() const { ORBA_FORWARD(t->Holder(), this) }

#undef ORBA_FORWARD

void TParamVar::SaveToStream(TBinaryWriter& w) const {
  WriteDims(w, dims_);
  w.String(targetName_);
  TParamCollectionItem* t = Target();
  w.String(t ? t->Name() : std::string());
  w.U8(reserved_);
  w.I32(elementIndex_);
}

void TParamVar::LoadFromStream(TBinaryReader& r) {
  std::vector<int32_t> dims = ReadDims(r);
  std::string name = r.String();
  std::string resolved = r.String();
  uint8_t reserved = r.U8();
  int32_t index = r.I32();
  dims_ = std::move(dims);
  targetName_ = std::move(name);
  reserved_ = reserved;
  elementIndex_ = index;
  target_.reset();
  // The target is looked up at once; one that is not there yet (a loop of references, or
  // a reference to itself read before its own name) is tried again at the end of the load.
  pendingName_ = std::move(resolved);
  ResolvePending();
}

}  // namespace orba
