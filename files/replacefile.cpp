#include "files/replacefile.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <string>

#include "base/cp932.h"
#include "base/error.h"
#include "base/stream.h"

namespace orba {

namespace {

TFileSync g_sync = nullptr;
TFolderSync g_folderSync = nullptr;
std::atomic<int> g_writesInProgress{0};

constexpr char kTemporarySuffix[] = ".tmp";
constexpr size_t kTemporaryDigits = 8;

[[noreturn]] void FileError(const char8_t* what, const std::filesystem::path& path) {
  throw EOrbaError(Sjis(what) + FromUtf8(path.string()));
}

// The temporary file being written, seekable (an archive's directory is written last, over
// its placeholder). A failed write is remembered and fails the whole replacement.
class TTemporaryStream : public TKvBigStream {
 public:
  explicit TTemporaryStream(std::FILE* f) : f_(f) {}
  int64_t GetSize() override { return size_; }
  int64_t GetPosition() override { return position_; }
  void SetPosition(int64_t p) override {
    p = std::clamp<int64_t>(p, 0, size_);
    if (p == position_) return;
    if (fseeko(f_, static_cast<off_t>(p), SEEK_SET) != 0) failed_ = true;
    else position_ = p;
  }
  int64_t Write(const void* buffer, int64_t count) override {
    const auto put = static_cast<int64_t>(std::fwrite(buffer, 1, static_cast<size_t>(count), f_));
    if (put < count) failed_ = true;
    position_ += put;
    size_ = std::max(size_, position_);
    return put;
  }
  bool Failed() const { return failed_; }

 private:
  std::FILE* f_;
  int64_t position_ = 0, size_ = 0;
  bool failed_ = false;
};

struct TWriteInProgress {
  TWriteInProgress() { ++g_writesInProgress; }
  ~TWriteInProgress() { --g_writesInProgress; }
};

}  // namespace

void SetFileSync(TFileSync sync) { g_sync = sync; }
void SetFolderSync(TFolderSync sync) { g_folderSync = sync; }

void WriteFileReplacing(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  WriteFileReplacing(path, [bytes](TKvBigStream& out) { out.Write(bytes.data(), static_cast<int64_t>(bytes.size())); });
}

void WriteFileReplacing(const std::filesystem::path& path, const std::function<void(TKvBigStream&)>& write) {
  const TWriteInProgress inProgress;
  // Created exclusively under a random name, so a leftover or a concurrent writer is never
  // truncated; the rename then replaces the old file in one step.
  std::random_device random;
  std::filesystem::path tmp;
  std::FILE* f = nullptr;
  for (int attempt = 0; attempt < 8 && !f; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x%s", static_cast<unsigned>(random()), kTemporarySuffix);
    tmp = path;
    tmp += suffix;
    f = std::fopen(tmp.string().c_str(), "wbx");
  }
  if (!f) FileError(u8"ファイルを作成できません: ", path);
  std::error_code ec;
  bool ok = false;
  try {
    std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
    TTemporaryStream out(f);
    write(out);
    ok = !out.Failed();
  } catch (...) {
    std::fclose(f);
    std::filesystem::remove(tmp, ec);
    throw;
  }
  ok = std::fflush(f) == 0 && ok;
  if (ok && g_sync) ok = g_sync(f);
  ok = std::fclose(f) == 0 && ok;
  if (ok) std::filesystem::rename(tmp, path, ec);
  if (!ok || ec) {
    std::filesystem::remove(tmp, ec);
    FileError(u8"ファイルに書き込めません: ", path);
  }
  if (g_folderSync) g_folderSync(path.has_parent_path() ? path.parent_path() : std::filesystem::path("."));
}

int RemoveStaleTemporaries(const std::filesystem::path& path, std::filesystem::file_time_type::duration minStaleAge) {
  if (g_writesInProgress > 0) return 0;
  namespace fs = std::filesystem;
  const std::string prefix = path.filename().string() + ".";
  const size_t length = prefix.size() + kTemporaryDigits + sizeof kTemporarySuffix - 1;
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  const fs::file_time_type now = fs::file_time_type::clock::now();
  std::error_code ec;
  int removed = 0;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() != length || !name.starts_with(prefix) || !name.ends_with(kTemporarySuffix)) continue;
    const std::string_view digits = std::string_view(name).substr(prefix.size(), kTemporaryDigits);
    if (digits.find_first_not_of("0123456789abcdef") != std::string_view::npos) continue;
    std::error_code entryError;
    if (!it->is_regular_file(entryError) || it->is_symlink(entryError)) continue;
    const fs::file_time_type written = fs::last_write_time(it->path(), entryError);
    if (entryError || now - written < minStaleAge) continue;
    if (fs::remove(it->path(), entryError)) ++removed;
  }
  return removed;
}

}  // namespace orba
