#include "components/historydata.h"

#include "base/cp932.h"
#include "base/error.h"

namespace orba {

std::string TOrbaHistData::ResolvedPage(size_t k) const {
  for (size_t i = std::min(k + 1, Rows.size()); i-- > 0;)
    if (!Rows[i].Page.empty()) return Rows[i].Page;
  return {};
}

void TOrbaHistData::Add(const std::string& page, int32_t command, const std::string& frozen, int32_t height,
                        int32_t last, int32_t first) {
  const bool same = !Rows.empty() && SameText(ResolvedPage(Rows.size() - 1), page);
  Rows.push_back({same ? std::string() : page, command, first, last, height, frozen});
  Total += height;
}

void TOrbaHistData::Transfer(TTreeIO& io) {
  int32_t count = static_cast<int32_t>(Rows.size());
  io.I32(count);
  if (count < 0) throw EReadError("history rows");
  const bool reading = io.Mode != TTreeIO::TMode::Write;
  if (reading) Rows.clear();
  // Rows grow as they are read: a hostile count ends at the end of the stream, not in one
  // allocation.
  for (int32_t i = 0; i < count; ++i) {
    if (reading) Rows.emplace_back();
    THistRow& row = Rows[static_cast<size_t>(i)];
    io.Str(row.Page);
    io.I32(row.Command);
    io.I32(row.First);
    io.I32(row.Last);
    io.I32(row.Height);
    if (io.Version > 123) io.Str(row.Frozen);
  }
  io.I32(Total);
}

}  // namespace orba
