// A run of history rows: each row names a compiled text (page name and command index), the
// stored glyphs of it to show and the variable values shown at the time. A message window
// holds one run for what it shows; the history groups its rows into runs of a screen each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "components/orbaobject.h"

namespace orba {

struct THistRow {
  std::string Page;  // empty: the same as the nearest earlier row's name
  int32_t Command = 0;
  int32_t First = 0;
  int32_t Last = -1;  // -1: to the end of the text
  int32_t Height = 0;
  std::string Frozen;  // name=value lines of the variables shown
};

struct TOrbaHistData {
  std::vector<THistRow> Rows;
  int32_t Total = 0;

  bool Empty() const { return Rows.empty(); }
  void Clear() {
    Rows.clear();
    Total = 0;
  }
  // Appends a row; its name is stored only when it differs (case-insensitively) from the
  // name the last row resolves to.
  void Add(const std::string& page, int32_t command, const std::string& frozen, int32_t height, int32_t last,
           int32_t first);
  // The nearest non-empty name at row k or before it.
  std::string ResolvedPage(size_t k) const;
  // The stored form: rows then the total; frozen values exist from version 124 on.
  void Transfer(TTreeIO& io);
};

}  // namespace orba
