// save.dat files for tests, made by our own archive writer: game entries that carry only
// their version and caption, and status entries with or without their header.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "base/binio.h"
#include "files/vrfiles.h"
#include "values/paramcollection.h"
#include "values/sysvars.h"

namespace orba {

// Failure messages show a caption list as its entries.
inline void PrintTo(const TSlotCaption& c, std::ostream* os) { *os << "{\"" << c.Caption << "\", " << c.Slot << "}"; }

}  // namespace orba

namespace orba::testing_support {

// The start of a game entry: version and caption, then a few bytes standing for the rest.
inline std::vector<uint8_t> GameEntry(int32_t version, const std::string& caption) {
  TKvMemoryStream s;
  TBinaryWriter w(s);
  w.I32(version);
  w.String(caption);
  w.String("");  // resume page
  w.I32(0);      // resume index
  return s.TakeBytes();
}

// The stored status (or game) variables of a collection.
inline std::vector<uint8_t> VariablesOf(const TParamCollection& vars, bool status) {
  TKvMemoryStream s;
  if (status) vars.SaveStatus(s);
  else vars.SaveGame(s);
  return s.TakeBytes();
}

// A status entry: the header as given (empty for none), then the bytes of its parts.
inline std::vector<uint8_t> StatusEntry(const std::string& header, const std::vector<uint8_t>& parts) {
  std::vector<uint8_t> bytes(header.begin(), header.end());
  bytes.insert(bytes.end(), parts.begin(), parts.end());
  return bytes;
}

// An archive of the named entries in this order.
inline std::vector<uint8_t> SaveArchive(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries) {
  TVrFileCollection archive;
  for (const auto& [name, bytes] : entries)
    archive.AddMemoryEntry(name)->Content->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
  TKvMemoryStream out;
  archive.WriteArchive(out, TArchiveSources::MemoryAndArchive);
  return out.TakeBytes();
}

}  // namespace orba::testing_support
