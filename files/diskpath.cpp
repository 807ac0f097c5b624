#include "files/diskpath.h"

#include "base/cp932.h"

namespace orba {

namespace fs = std::filesystem;

namespace {

// Names on disk are UTF-8, whose multi-byte characters consist of bytes 0x80 and above
// only; folding ASCII letters byte by byte never touches them. (The code page 932 folding
// would take UTF-8 bytes for lead bytes and skip the letter after them.)
std::string FoldDiskName(std::string name) {
  for (char& c : name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return name;
}

}  // namespace

std::vector<std::string> TDiskNames::SplitStoredName(const std::string& storedName) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i < storedName.size(); i += CharLenAt(storedName, i)) {
    if (storedName[i] == '\\') {
      parts.push_back(storedName.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(storedName.substr(start));
  return parts;
}

const TDiskNames::Listing* TDiskNames::ListingOf(const std::string& dir) {
  std::error_code ec;
  auto stamp = fs::last_write_time(dir, ec);
  if (ec) {
    dirs_.erase(dir);
    return nullptr;
  }
  auto it = dirs_.find(dir);
  if (it != dirs_.end() && it->second.stamp == stamp) return &it->second;
  Listing listing;
  listing.stamp = stamp;
  for (fs::directory_iterator d(dir, ec), end; !ec && d != end; d.increment(ec)) {
    std::string name = d->path().filename().string();
    // Exact names win over names that differ only in case.
    std::string folded = FoldDiskName(name);
    auto [slot, inserted] = listing.byFoldedName.try_emplace(folded, name);
    if (!inserted && folded == name) slot->second = name;
  }
  return &(dirs_[dir] = std::move(listing));
}

std::optional<std::string> TDiskNames::Resolve(const std::string& folder, const std::string& storedName) {
  if (folder.empty() || storedName.empty()) return std::nullopt;
  std::string path = folder;
  if (path.back() != '/') path += '/';
  auto parts = SplitStoredName(storedName);
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    if (part.empty() || part == "." || part == ".." || part.find(':') != std::string::npos) return std::nullopt;
    std::string utf8 = ToUtf8(part);
    if (utf8.find('/') != std::string::npos) return std::nullopt;
    // The exact spelling costs one look; only a miss reads (or reuses) the listing.
    std::string next = path + utf8;
    std::error_code ec;
    if (!fs::exists(next, ec)) {
      const Listing* listing = ListingOf(path);
      if (!listing) return std::nullopt;
      auto it = listing->byFoldedName.find(FoldDiskName(utf8));
      if (it == listing->byFoldedName.end()) return std::nullopt;
      next = path + it->second;
    }
    if (i + 1 < parts.size()) {
      if (!fs::is_directory(next, ec)) return std::nullopt;
      path = next + "/";
    } else {
      if (!fs::is_regular_file(next, ec)) return std::nullopt;
      return next;
    }
  }
  return std::nullopt;
}

std::string StoredPathOf(std::string_view utf8Path) {
  std::string stored = FromUtf8(utf8Path);
  for (size_t i = 0; i < stored.size(); i += CharLenAt(stored, i))
    if (stored[i] == '/') stored[i] = '\\';
  return stored;
}

TDiskNames& DiskNames() {
  static TDiskNames names;
  return names;
}

}  // namespace orba
