// Stored names ('folder\file.png', code page 932) mapped to files on disk (UTF-8, '/'),
// matching each part case-insensitively as the projects expect. Directory listings are
// cached and read again only when the directory changes.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orba {

class TDiskNames {
 public:
  // The path of the existing regular file that storedName names under folder (a native
  // path), or nothing. Names that climb out of the folder ("..", absolute names) resolve to
  // nothing.
  std::optional<std::string> Resolve(const std::string& folder, const std::string& storedName);
  bool Exists(const std::string& folder, const std::string& storedName) { return Resolve(folder, storedName).has_value(); }
  // Forgets every cached listing.
  void Clear() { dirs_.clear(); }

  // The parts of a stored name split at '\' (a second byte 0x5C is no delimiter).
  static std::vector<std::string> SplitStoredName(const std::string& storedName);

 private:
  struct Listing {
    std::filesystem::file_time_type stamp;
    std::map<std::string, std::string> byFoldedName;  // folded UTF-8 name -> name on disk
  };
  const Listing* ListingOf(const std::string& dir);

  std::map<std::string, Listing> dirs_;
};

// The stored form (code page 932, '\' between parts) of a native UTF-8 path.
std::string StoredPathOf(std::string_view utf8Path);

// One instance for the player.
TDiskNames& DiskNames();

}  // namespace orba
