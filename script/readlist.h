// The read marks: for each script page, which (command, page index) pairs a message window
// has shown to the end. They outlive a game (kept in the status data), so a script can tell
// text the player has read before. A window marks the page it shows as pending and commits
// the mark once the page has been shown whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/stream.h"

namespace orba {

class TOrbaReadList {
 public:
  bool IsRead(std::string_view page, int32_t command, int32_t pageIndex) const;
  void SetPendingMark(std::string_view window, std::string_view page, int32_t pageIndex, int32_t command);
  // Marks the pending pair read when window is the one that set it.
  void CommitMark(std::string_view window);
  void Clear();

  // What a stored list holds, read but not yet in effect.
  struct TPending;
  void SaveToStream(TKvBigStream& stream) const;
  // Raises on bad data. An entry older than version 100 stores nothing: reading it clears.
  static TPending ReadFromStream(TKvBigStream& stream, int32_t version);
  void Apply(TPending pending);

  struct TPage {
    std::string Name;
    std::vector<std::pair<int32_t, int32_t>> Pairs;  // (command, page index)
  };
  const std::vector<TPage>& Pages() const { return pages_; }
  const std::string& PendingPage() const { return pendingPage_; }

 private:
  TPage* Find(std::string_view page);
  const TPage* Find(std::string_view page) const;

  std::vector<TPage> pages_;
  std::string pendingPage_, pendingWindow_;
  int32_t pendingCommand_ = 0, pendingPageIndex_ = 0;
};

struct TOrbaReadList::TPending {
  std::vector<TPage> Pages;
  std::string PendingPage, PendingWindow;
  int32_t PendingCommand = 0, PendingPageIndex = 0;
};

// The player's one read list.
TOrbaReadList& ReadList();

}  // namespace orba
