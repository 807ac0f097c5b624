#include "values/paramcollection.h"

#include <unordered_set>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "values/sysvars.h"

namespace orba {

namespace {

// The smallest stored variable record: type byte, empty name, a scalar's empty shape and
// element count, and the four trailing fields.
constexpr int64_t kMinRecordSize = 1 + 4 + 4 + 4 + 1 + 1 + 4 + 1;

[[noreturn]] void RaiseBadRecord() { throw EReadError(Sjis(u8"変数のデータが壊れています")); }

// The type code a value is stored under: references are 0 whatever they point at.
uint8_t StoredCode(const TCustomParam& p) { return dynamic_cast<const TParamVar*>(&p) ? PT_NONE : p.ValueType(); }

}  // namespace

TParamCollection* detail::g_variables = nullptr;

void SetVariables(TParamCollection* collection) { detail::g_variables = collection; }

bool IsValidVariableName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  // A space byte is never the second byte of a double-byte character.
  return name.find(' ') == std::string_view::npos;
}

void TParamCollectionItem::SetName(std::string_view name) {
  if (!IsValidVariableName(name))
    throw EOrbaError("\"" + std::string(name) + Sjis(u8"\"：変数名が不正です"));
  StoreName(name);
}

TParamCollection::TParamCollection(ISystemVariableSource* source) : source_(source) {
  if (!source_) {
    ownSource_ = std::make_unique<ISystemVariableSource>();
    source_ = ownSource_.get();
  }
  for (uint8_t n = 0; n < kSystemCount; ++n) {
    auto* item = static_cast<TParamCollectionItem*>(Append(NewItem(), SystemVariableName(n)));
    item->param_ = std::make_unique<TParamSystem>(n, *this);
    item->system_ = true;
  }
}

TParamCollection::~TParamCollection() { Clear(); }

int32_t TParamCollection::IndexOf(std::string_view name, uint64_t h) const {
  int32_t found = -1;
  for (const THashCollectionItem* p = ChainHead(h); p; p = p->NextInChain()) {
    if (!Matches(*p, h, name)) continue;
    auto* v = static_cast<const TParamCollectionItem*>(p);
    if (v->IsLocal) {
      if (v->Level == CurrentLevel) return v->Index();
      continue;
    }
    found = v->Index();  // chains run from the latest link: the last match is the earliest
  }
  return found;
}

TParamCollectionItem* TParamCollection::FindInScope(std::string_view name, bool local) const {
  const uint64_t h = HashOf(name);
  for (THashCollectionItem* p = ChainHead(h); p; p = p->NextInChain()) {
    if (!Matches(*p, h, name)) continue;
    auto* v = static_cast<TParamCollectionItem*>(p);
    if (local ? (v->IsLocal && v->Level == CurrentLevel) : !v->IsLocal) return v;
  }
  return nullptr;
}

TParamCollectionItem* TParamCollection::AddVariable(uint8_t code, std::string_view name) {
  // Both checks come before the item exists: a failed creation leaves no nameless variable.
  if (!IsValidVariableName(name))
    throw EOrbaError("\"" + std::string(name) + Sjis(u8"\"：変数名が不正です"));
  std::unique_ptr<TCustomParam> param = CreateParam(code, this);
  if (!param) RaiseInternalError();
  auto* item = static_cast<TParamCollectionItem*>(Append(NewItem(), name));
  item->param_ = std::move(param);
  return item;
}

void TParamCollection::SetScope(TParamCollectionItem& item, uint8_t scope) {
  item.Level = (scope == SC_AUTO || scope == SC_LOCAL) ? CurrentLevel : -1;
  item.IsLocal = scope == SC_LOCAL;
  item.IsStatus = scope == SC_STATUS;
  Touch();  // what a lookup of the name finds may have changed
}

void TParamCollection::FreeLevel(int32_t level) {
  DeleteWhere([level](const THashCollectionItem& i) {
    auto& v = static_cast<const TParamCollectionItem&>(i);
    return !v.system_ && v.Level == level;
  });
}

std::unique_ptr<TCustomParam> TParamCollection::CopyValue(std::string_view name) const {
  TParamCollectionItem* item = FindVariable(name);
  if (!item) return nullptr;
  const uint8_t type = item->Param() ? item->Param()->ValueType() : PT_NONE;
  if (type < PT_INT || type > PT_STR) throw EOrbaError(std::string(name) + Sjis(u8":不正な変数です"));
  std::unique_ptr<TCustomParam> copy = CreateParam(type);
  // A value held elsewhere (a system variable) is taken element by element.
  if (StoredCode(*item->Param()->Holder()) == type && !item->IsSystem())
    copy->AssignRaw(*item->Param());
  else
    copy->ConvertFrom(*item->Param());
  return copy;
}

// ---- save and load ------------------------------------------------------------------

void TParamCollection::SaveVariables(TKvBigStream& stream, bool status) const {
  TBinaryWriter w(stream);
  std::vector<TParamCollectionItem*> left;
  for (int32_t i = 0; i < Count(); ++i) {
    TParamCollectionItem* v = Variable(i);
    if (!v->system_ && v->IsStatus == status) left.push_back(v);
  }
  w.I32(static_cast<int32_t>(left.size()));
  // References wait until their target's name is written, so a load resolves them at
  // once. A reference whose target never comes (a status or system variable, or a loop of
  // references) would wait for ever: when a walk writes nothing, the rest go as they are.
  std::unordered_set<std::string> written;
  bool stalled = false;
  while (!left.empty()) {
    bool progress = false;
    for (size_t i = left.size(); i-- > 0;) {
      TParamCollectionItem* v = left[i];
      if (!stalled) {
        auto* ref = dynamic_cast<TParamVar*>(v->Param());
        if (ref && ref->Target() && !written.contains(LowerCase(ref->Target()->Name()))) continue;
      }
      w.U8(StoredCode(*v->Param()));
      w.String(v->Name());
      v->Param()->SaveToStream(w);
      w.Bool(v->IsStatus);
      w.U8(v->Reserved);
      w.I32(v->Level);
      w.Bool(v->IsLocal);
      written.insert(LowerCase(v->Name()));
      left.erase(left.begin() + static_cast<std::ptrdiff_t>(i));
      progress = true;
    }
    if (!progress) stalled = true;
  }
}

void TParamCollection::LoadVariables(TBinaryReader& r, std::vector<TLoaded>& out) {
  int32_t n = r.Count(kMinRecordSize);
  for (int32_t k = 0; k < n; ++k) {
    uint8_t code = r.U8();
    std::string name = r.String();
    // The value is read by an object of the record's own type, resolved later.
    std::unique_ptr<TCustomParam> param = CreateParam(code, nullptr);
    if (!param) RaiseBadRecord();
    param->LoadFromStream(r);
    bool isStatus = r.Bool();
    uint8_t reserved = r.U8();
    int32_t level = r.I32();
    bool isLocal = r.Bool();
    // A record without a usable name is read past and dropped.
    if (!IsValidVariableName(name)) continue;
    auto item = std::make_unique<TParamCollectionItem>(*this);
    item->param_ = std::move(param);
    item->IsStatus = isStatus;
    item->Reserved = reserved;
    item->Level = level;
    item->IsLocal = isLocal;
    out.push_back({std::move(name), std::move(item)});
  }
}

void TParamCollection::Commit(std::vector<TLoaded>& loaded) {
  std::vector<TParamVar*> refs;
  for (auto& [name, item] : loaded) {
    auto* v = static_cast<TParamCollectionItem*>(Append(std::move(item), name));
    if (auto* ref = dynamic_cast<TParamVar*>(v->Param())) {
      // Resolved as it arrives, so it finds what was loaded before it, as its save order
      // intends; what is still missing (a loop) is tried once everything is in.
      ref->SetCollection(this);
      ref->ResolvePending();
      refs.push_back(ref);
    }
  }
  for (TParamVar* ref : refs) ref->ResolvePending();
  loaded.clear();
}

void TParamCollection::SaveGame(TKvBigStream& stream) const {
  SaveVariables(stream, false);
  TBinaryWriter w(stream);
  w.I32(TextDelay);
  w.String(CursorName);
  w.String(SelStr);
  w.I32(SelIndex);
  for (int32_t v : HistoryInts) w.I32(v);
  w.String(TempVarName);
}

void TParamCollection::LoadGame(TKvBigStream& stream, int32_t version) {
  // Everything is read before anything changes, so a bad record leaves the game as it was.
  TBinaryReader r(stream);
  std::vector<TLoaded> loaded;
  LoadVariables(r, loaded);
  int32_t textDelay = r.I32();
  std::string cursor = r.String();
  std::string selStr = SelStr;
  int32_t selIndex = SelIndex;
  auto history = HistoryInts;
  std::string tempName = TempVarName;
  if (version > 102) {
    selStr = r.String();
    selIndex = r.I32();
  }
  if (version > 112)
    for (auto& v : history) v = r.I32();
  if (version > 120) tempName = r.String();

  DeleteWhere([](const THashCollectionItem& i) {
    auto& v = static_cast<const TParamCollectionItem&>(i);
    return !v.system_ && !v.IsStatus;
  });
  Commit(loaded);
  TextDelay = textDelay;
  CursorName = std::move(cursor);
  SelStr = std::move(selStr);
  SelIndex = selIndex;
  HistoryInts = history;
  TempVarName = std::move(tempName);
}

void TParamCollection::SaveStatus(TKvBigStream& stream) const { SaveVariables(stream, true); }

void TParamCollection::LoadStatus(TKvBigStream& stream, int32_t version) {
  TPendingStatus pending = ReadStatus(stream, version);
  AddStatus(pending);
}

TParamCollection::TPendingStatus TParamCollection::ReadStatus(TKvBigStream& stream, int32_t /*version*/) {
  TBinaryReader r(stream);
  TPendingStatus pending;
  LoadVariables(r, pending.loaded_);
  return pending;
}

void TParamCollection::AddStatus(TPendingStatus& pending) { Commit(pending.loaded_); }

void TParamCollection::ClearGame() {
  DeleteWhere([](const THashCollectionItem& i) {
    auto& v = static_cast<const TParamCollectionItem&>(i);
    return !v.system_ && !v.IsStatus;
  });
  TextDelay = 50;
  CursorName.clear();
  HistoryInts.fill(0);
}

}  // namespace orba
