// The two records a message window keeps for the reader about inserted text (the only text
// with a stable identity, page name and command index): the history of the pages left behind,
// replayed on request into any window, and the read marks, which persist from one game to the
// next with the status data.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "components/historydata.h"
#include "components/mes.h"
#include "files/hash.h"
#include "text/kvword.h"

namespace orba {

class TKvBigStream;

// The six values the history-settings command copies from a component. Zero font height
// keeps the history in its old form.
struct THistorySettings {
  int32_t FontHeight = 0, FontBorder = 0, FontShadow = 0, Width = 0, Height = 0, LineSpace = 0;
  bool operator==(const THistorySettings&) const = default;
};

class TOrbaNewHistory {
 public:
  TOrbaNewHistory();
  TKvWord Word;  // lays out history text
  std::vector<TOrbaHistData> Screens;
  std::vector<TOldEntry> OldEntries;
  std::string PendingPage;  // empty: nothing pending
  int32_t PendingCommand = 0;
  int32_t PendingPageIndex = 0;
  int32_t PendingWidth = 0, PendingHeight = 0;
  std::string PendingWindow;
  int32_t PendingFirst = 0, PendingLast = 0;
  std::string PendingFrozen;
  int32_t MaxCount = 0;  // 0: no limit

  // The settings live with the game variables (their six history integers), so they are
  // saved and loaded with a game and cleared by a game reset; without a variable collection
  // the history keeps them itself.
  THistorySettings Settings() const;
  void SetSettings(const THistorySettings& settings);

  // The new form (pixels, screens of rows) once the layout word has a page width.
  bool NewForm() const { return Word.PageWidth != 0; }
  void SetPending(const TOrbaMes& window, const std::string& page, const std::string& frozen, int32_t pageIndex,
                  int32_t last, int32_t first, int32_t command);
  void Commit(const std::string& windowName);
  void Clear();
  int32_t Count() const;
  int32_t Total() const;
  void Show(int32_t start, int32_t count, TOrbaMes& window);
  // The rows covering the pixel range [a, a + h) of the screens laid end to end; offset takes
  // the first row's top relative to a (zero or negative).
  void SelectRows(int32_t a, int32_t h, TOrbaHistData& into, int32_t& offset) const;

  void SaveToStream(TKvBigStream& stream) const;
  void LoadFromStream(TKvBigStream& stream, int32_t version);

 private:
  // The (page, command) whose glyphs Word holds; reloaded only for another command.
  std::string loadedPage_;
  int32_t loadedCommand_ = -1;
  mutable std::array<int32_t, 6> ownSettings_{};
  std::array<int32_t, 6>& SettingsStore() const;
  void Trim();
};

class TOrbaRead : public THashCollectionItem {
 public:
  using THashCollectionItem::THashCollectionItem;
  std::vector<int32_t> ReadCommand, ReadPageIndex;
  bool Holds(int32_t command, int32_t pageIndex) const;
};

class TOrbaReadList : public THashCollection {
 public:
  std::string PendingPage;  // empty: no pending mark
  int32_t PendingCommand = 0, PendingPageIndex = 0;
  std::string PendingWindow;

  bool IsRead(const std::string& page, int32_t command, int32_t pageIndex) const;
  void SetPendingMark(const std::string& window, const std::string& page, int32_t pageIndex, int32_t command);
  void CommitMark(const std::string& windowName);
  void ClearMarks() {
    Clear();
    PendingPage.clear();
  }
  // The read list's part of the status data; version is the status entry's.
  void SaveToStream(TKvBigStream& stream) const;
  void LoadFromStream(TKvBigStream& stream, int32_t version);

 protected:
  std::unique_ptr<THashCollectionItem> NewItem() override { return std::make_unique<TOrbaRead>(*this); }
};

// The player's history and read marks (one each, living as long as the components).
TOrbaNewHistory& MessageHistory();
TOrbaReadList& MessageReadList();

}  // namespace orba
