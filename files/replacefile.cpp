#include "files/replacefile.h"

#include <cstdio>
#include <random>

#include "base/cp932.h"
#include "base/error.h"

namespace orba {

namespace {

TFileSync g_sync = nullptr;
TFolderSync g_folderSync = nullptr;

[[noreturn]] void FileError(const char8_t* what, const std::filesystem::path& path) {
  throw EOrbaError(Sjis(what) + FromUtf8(path.string()));
}

}  // namespace

void SetFileSync(TFileSync sync) { g_sync = sync; }
void SetFolderSync(TFolderSync sync) { g_folderSync = sync; }

void WriteFileReplacing(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  // Created exclusively under a random name, so a leftover or a concurrent writer is never
  // truncated; the rename then replaces the old file in one step.
  std::random_device random;
  std::filesystem::path tmp;
  std::FILE* f = nullptr;
  for (int attempt = 0; attempt < 8 && !f; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
    tmp = path;
    tmp += suffix;
    f = std::fopen(tmp.string().c_str(), "wbx");
  }
  if (!f) FileError(u8"ファイルを作成できません: ", path);
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fflush(f) == 0 && ok;
  if (ok && g_sync) ok = g_sync(f);
  ok = std::fclose(f) == 0 && ok;
  std::error_code ec;
  if (ok) std::filesystem::rename(tmp, path, ec);
  if (!ok || ec) {
    std::filesystem::remove(tmp, ec);
    FileError(u8"ファイルに書き込めません: ", path);
  }
  if (g_folderSync) g_folderSync(path.has_parent_path() ? path.parent_path() : std::filesystem::path("."));
}

}  // namespace orba
