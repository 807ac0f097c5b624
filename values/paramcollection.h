// The one collection of script variables: the 49 system variables first, then the user
// variables in the order they were made. Scopes decide which of equal names a lookup sees:
// a local of the current call depth hides everything else, locals of other depths are
// invisible, and among the rest the one linked earliest wins. Game and status variables are
// saved and loaded here in records that keep references after their targets.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/stream.h"
#include "files/hash.h"
#include "values/params.h"

namespace orba {

class ISystemVariableSource;

// Scope codes of the variable creation command.
constexpr uint8_t SC_GLOBAL = 0, SC_AUTO = 1, SC_LOCAL = 2, SC_STATUS = 3;

class TParamCollectionItem : public THashCollectionItem {
 public:
  explicit TParamCollectionItem(THashCollection& collection) : THashCollectionItem(collection) {}

  // Checks the name first: empty, holding a space or starting with a digit raises
  // "\"%s\"：変数名が不正です" and leaves the name as it was.
  void SetName(std::string_view name) override;

  TCustomParam* Param() const { return param_.get(); }
  void SetParam(std::unique_ptr<TCustomParam> param) { param_ = std::move(param); }
  bool IsSystem() const { return system_; }

  int32_t AsInt() const { return param_ ? param_->AsInt() : 0; }
  void SetInt(int32_t i) { if (param_) param_->SetInt(i); }
  std::string AsString() const { return param_ ? param_->AsString() : std::string(); }
  void SetString(std::string_view s) { if (param_) param_->SetString(s); }

  uint8_t Reserved = 0;  // stored and restored with the variable, no other meaning
  bool IsStatus = false;
  // Level and IsLocal of a variable in the collection change only through SetScope, which
  // tells lookups cached under the collection's generation that they may be stale.
  int32_t Level = -1;    // the call depth that owns the variable, or -1
  bool IsLocal = false;

 private:
  friend class TParamCollection;
  std::unique_ptr<TCustomParam> param_;
  bool system_ = false;
};

// True when the name can name a variable: not empty, no space, not starting with a digit.
bool IsValidVariableName(std::string_view name);

class TParamCollection : public THashCollection {
 public:
  static constexpr int32_t kSystemCount = 49;
  static constexpr int32_t kHistoryInts = 6;

  // source answers the system variables; null answers their defaults and what the
  // process state already knows. The source must outlive the collection.
  explicit TParamCollection(ISystemVariableSource* source = nullptr);
  ~TParamCollection() override;

  TParamCollectionItem* Variable(int32_t index) const { return static_cast<TParamCollectionItem*>(Item(index)); }
  ISystemVariableSource& Source() const { return *source_; }

  int32_t IndexOf(std::string_view name) const override { return IndexOf(name, HashOf(name)); }
  // The same lookup with the name's HashOf computed beforehand (stored operation lists
  // keep the hashes of the names they use).
  int32_t IndexOf(std::string_view name, uint64_t hash) const;
  TParamCollectionItem* FindVariable(std::string_view name) const {
    int32_t i = IndexOf(name);
    return i < 0 ? nullptr : Variable(i);
  }
  TParamCollectionItem* FindVariable(std::string_view name, uint64_t hash) const {
    int32_t i = IndexOf(name, hash);
    return i < 0 ? nullptr : Variable(i);
  }
  // The variable of this name in the asked scope: a local of the current depth, or (local
  // false) one that is not local.
  TParamCollectionItem* FindInScope(std::string_view name, bool local) const;

  // Appends a variable of the type code and name. The name is checked before anything is
  // added ("\"%s\"：変数名が不正です"); a code above 4 raises "内部エラー".
  TParamCollectionItem* AddVariable(uint8_t code, std::string_view name);
  // Sets Level, IsLocal and IsStatus as the scope code requires.
  void SetScope(TParamCollectionItem& item, uint8_t scope);
  // Frees every user variable whose Level equals level.
  void FreeLevel(int32_t level);
  // A standalone copy of the variable's value; null when no variable has the name.
  std::unique_ptr<TCustomParam> CopyValue(std::string_view name) const;

  void SaveGame(TKvBigStream& stream) const;
  // version: the save file's format number; later fields are read only above their gates.
  // On a read error the variables are left as they were.
  void LoadGame(TKvBigStream& stream, int32_t version);
  void SaveStatus(TKvBigStream& stream) const;
  // Adds the status variables of a stored list (it frees nothing). On a read error nothing
  // is added.
  void LoadStatus(TKvBigStream& stream, int32_t version);

  // Stored status variables read and checked but not yet in the collection, so that a
  // caller reading more than the variables can add them only once all of its data proved
  // readable. LoadStatus is ReadStatus followed by AddStatus.
  class TPendingStatus;
  TPendingStatus ReadStatus(TKvBigStream& stream, int32_t version);
  void AddStatus(TPendingStatus& pending);
  void ClearGame();

  int32_t CurrentLevel = 0;
  std::string SelStr;
  int32_t SelIndex = 0;
  int32_t TextDelay = 50;
  std::string CursorName;
  std::array<int32_t, kHistoryInts> HistoryInts{};
  std::string TempVarName;

 protected:
  std::unique_ptr<THashCollectionItem> NewItem() override { return std::make_unique<TParamCollectionItem>(*this); }

 private:
  void SaveVariables(TKvBigStream& stream, bool status) const;
  // A variable read from a record, not yet in the collection.
  struct TLoaded {
    std::string name;
    std::unique_ptr<TParamCollectionItem> item;
  };
  void LoadVariables(TBinaryReader& r, std::vector<TLoaded>& out);
  void Commit(std::vector<TLoaded>& loaded);

  std::unique_ptr<ISystemVariableSource> ownSource_;
  ISystemVariableSource* source_;
};

class TParamCollection::TPendingStatus {
 public:
  // Records read, not counting those dropped for an unusable name.
  int32_t Count() const { return static_cast<int32_t>(loaded_.size()); }

 private:
  friend class TParamCollection;
  std::vector<TLoaded> loaded_;
};

// The player's one variable collection, set by the shell between creating and freeing the
// variables at start-up and shutdown; null outside that span.
// Read on every evaluation, so inline.
namespace detail { extern TParamCollection* g_variables; }
inline TParamCollection* Variables() { return detail::g_variables; }
void SetVariables(TParamCollection* collection);

}  // namespace orba
