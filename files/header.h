// The two small structures that tie a project to its media. The install set ("install.dat",
// next to each "game.dat") says which project and which disc a medium holds, whether the
// whole data was installed to the hard disk, and which files the installation owns. The
// folder-to-disc list, stored in the project file, says on which disc each project folder
// lies, so the player can ask for the right disc when a file is missing.
//
// Most fields of the install set mean nothing to the player; they are kept only so that a
// rewrite (when a screenshot is registered with the installation) loses nothing.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/binio.h"
#include "base/stream.h"

namespace orba {

// One position of the four parallel 64-bit arrays A, B, C and D of the install set.
struct TInstallSetRow {
  int64_t A = 0;
  int64_t B = 0;
  int64_t C = 0;
  int64_t D = 0;
  friend bool operator==(const TInstallSetRow&, const TInstallSetRow&) = default;
};

class TOrbaInstallSet {
 public:
  // The version the writer always writes, with every field.
  static constexpr int kVersion = 107;

  int32_t DiscIndex = 0;  // 0-based number of the disc this medium is
  std::string Title;      // the project's identity, compared byte for byte with the project name
  uint8_t CompleteInstall = 0;  // non-zero: all data lies on the hard disk, no disc is needed
  std::vector<std::string> FileList;  // files the installation owns, in order

  // Preserved only. Row count is N of the file; the arrays stay parallel by construction.
  std::string Text2, Text3, Text4, Text5, Text6, Text7, Text8, Text9;
  uint8_t Flag1 = 0, Flag2 = 0, Flag3 = 0, Flag4 = 0, Flag5 = 0, Flag6 = 0, Flag7 = 0, Flag8 = 0;
  int32_t Number1 = 0;
  std::vector<TInstallSetRow> Rows;
  std::array<int64_t, 4> V{};  // V1 .. V4
  std::vector<std::string> List2;

  // Reads from the stream's current position. Fields an older version lacks keep their
  // initial values. Raises EReadError for a truncated or impossible file and then leaves
  // this set as it was.
  void LoadFromStream(TKvBigStream& stream);
  // Writes version 107 with all fields.
  void SaveToStream(TKvBigStream& stream) const;
  // Raises EOrbaError when the file cannot be opened, EReadError when it is malformed.
  void LoadFromFile(const std::filesystem::path& path);
  // Writes a temporary file in the same folder and renames it over path, so a failure
  // leaves the old file whole. Raises EOrbaError on failure.
  void SaveToFile(const std::filesystem::path& path) const;

  // N = n (a negative n counts as 0); rows beyond the old count are zero.
  void SetCount(int32_t n);
  int32_t Count() const { return static_cast<int32_t>(Rows.size()); }

  // Position in FileList of the first name equal to name ignoring ASCII case, or -1.
  int IndexOfFile(std::string_view name) const;
  // Appends name unless IndexOfFile finds it.
  void AddFile(std::string_view name);

  friend bool operator==(const TOrbaInstallSet&, const TOrbaInstallSet&) = default;
};

// Project folders and the discs they lie on. Stream form: int32 count, then for each entry
// its folder (saved string) and its disc number (int32).
class TFolderDiskList {
 public:
  struct Entry {
    std::string Folder;
    int32_t Disc = 0;
    friend bool operator==(const Entry&, const Entry&) = default;
  };

  void Add(std::string folder, int32_t disc) { entries_.push_back({std::move(folder), disc}); }
  void Clear() { entries_.clear(); }
  int Count() const { return static_cast<int>(entries_.size()); }
  const std::vector<Entry>& Items() const { return entries_; }

  // Replace the contents. A list that fails to read raises EReadError and leaves the
  // previous contents in place. The reader form is for a list embedded in a larger record.
  void LoadFromStream(TKvBigStream& stream);
  void LoadFromStream(TBinaryReader& reader);
  void SaveToStream(TKvBigStream& stream) const;
  void SaveToStream(TBinaryWriter& writer) const;

  // The disc of the first entry whose folder is name itself, else its folder, else each
  // parent folder in turn (folders compare ignoring ASCII case); 0 when none is listed.
  int32_t DiscOf(std::string_view name) const;

 private:
  std::vector<Entry> entries_;
};

}  // namespace orba
