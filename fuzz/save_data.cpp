// Arbitrary bytes as the player's save.dat, as it reads one at start: the captions of its
// saved games and its status entry. The same bytes are also read as a status entry on
// their own, header and parts, the way the entry's contents reach the reader. What the
// status entry gave must save and load again.
#include <cstddef>
#include <cstdint>

#include "base/error.h"
#include "files/vrfiles.h"
#include "components/history.h"
#include "script/savefile.h"
#include "values/dbtables.h"
#include "values/paramcollection.h"

namespace {

void LoadStatus(orba::TKvBigStream& entry) {
  using namespace orba;
  TParamCollection vars;
  TOrbaReadList list;
  bool dither = false;
  TDBManager tables;
  TStatusData status;
  status.Register(TStatusPartKind::Variables, StatusVariablesPart(vars));
  status.Register(TStatusPartKind::ReadList, StatusReadListPart(list));
  status.Register(TStatusPartKind::DitherFlag, StatusDitherPart([&] { return dither; }, [&](bool on) { dither = on; }));
  status.Register(TStatusPartKind::DataTables, StatusTablesPart(tables));
  try {
    status.Load(entry);
  } catch (const EOrbaError&) {
    return;
  }
  TKvMemoryStream out;
  status.Save(out);
  out.SetPosition(0);
  status.Load(out);  // what we wrote must load
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orba;
  constexpr int64_t kInflateLimit = 1 << 20;
  {
    TKvViewStream entry(std::span<const uint8_t>(data, size));
    LoadStatus(entry);
  }
  TVrFileCollection archive;
  try {
    archive.OpenArchiveStream(std::make_unique<TKvMemoryStream>(std::vector<uint8_t>(data, data + size)));
  } catch (const EOrbaError&) {
    return 0;
  }
  TSaveCaptions captions;
  captions.Read(archive, kInflateLimit);
  if (archive.FindEntry(kStatusEntryName)) {
    TKvMemoryStream entry;
    try {
      archive.ReadEntry(kStatusEntryName, entry, kInflateLimit);
    } catch (const EOrbaError&) {
      return 0;
    }
    entry.SetPosition(0);
    LoadStatus(entry);
  }
  return 0;
}
