#include "files/header.h"

#include <fstream>
#include <limits>

#include "base/cp932.h"
#include "files/replacefile.h"

namespace orba {

namespace {

constexpr char kTag[2] = {'i', 's'};

[[noreturn]] void BadInstallFile() {
  // "The install information is not in a known form."
  throw EReadError(Sjis(u8"インストール情報の形式が正しくありません"));
}

[[noreturn]] void FileError(const char8_t* what, const std::filesystem::path& path) {
  throw EOrbaError(Sjis(what) + FromUtf8(path.string()));
}

// Reads "is" and three decimal digits at the stream's position and returns the version;
// without the tag the position is left alone and the file is version 0.
int ReadVersion(TKvBigStream& stream) {
  int64_t start = stream.GetPosition();
  char tag[5];
  if (stream.Read(tag, 5) == 5 && tag[0] == kTag[0] && tag[1] == kTag[1]) {
    int version = 0;
    for (int i = 2; i < 5; ++i) {
      if (tag[i] < '0' || tag[i] > '9') BadInstallFile();
      version = version * 10 + (tag[i] - '0');
    }
    return version;
  }
  stream.SetPosition(start);
  return 0;
}

// A string list preceded by its int32 count. Every string has at least its 4-byte length,
// so the count is checked against what remains before anything is allocated.
std::vector<std::string> ReadStrings(TBinaryReader& r, bool skipEmpty) {
  int32_t n = r.Count(4);
  std::vector<std::string> list;
  for (int32_t i = 0; i < n; ++i) {
    std::string s = r.String();
    if (!skipEmpty || !s.empty()) list.push_back(std::move(s));
  }
  return list;
}

void WriteStrings(TBinaryWriter& w, const std::vector<std::string>& list) {
  if (list.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) throw EOrbaError("list too long");
  w.I32(static_cast<int32_t>(list.size()));
  for (const auto& s : list) w.String(s);
}

// Files up to version 99 stored the arrays and V1..V4 as 32-bit values: the low half,
// zero-extended.
int64_t ReadWide(TBinaryReader& r, bool narrow) { return narrow ? static_cast<int64_t>(r.U32()) : r.I64(); }

// Read-only stream over a file on disk, so a large or hostile file is never read whole.
class TFileInStream : public TKvBigStream {
 public:
  explicit TFileInStream(const std::filesystem::path& path) : in_(path, std::ios::binary) {
    if (!in_) FileError(u8"ファイルを開けません: ", path);
    in_.seekg(0, std::ios::end);
    size_ = static_cast<int64_t>(in_.tellg());
    in_.seekg(0);
    if (!in_ || size_ < 0) FileError(u8"ファイルを読めません: ", path);
  }
  int64_t GetSize() override { return size_; }
  int64_t GetPosition() override { return position_; }
  void SetPosition(int64_t p) override {
    position_ = p < 0 ? 0 : (p > size_ ? size_ : p);
    in_.clear();
    in_.seekg(position_);
  }
  int64_t Read(void* buffer, int64_t count) override {
    if (count <= 0) return 0;
    in_.read(static_cast<char*>(buffer), count);
    int64_t n = in_.gcount();
    position_ += n;
    return n;
  }

 private:
  std::ifstream in_;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

}  // namespace

void TOrbaInstallSet::LoadFromStream(TKvBigStream& stream) {
  int version = ReadVersion(stream);
  TBinaryReader r(stream);
  bool narrow = version <= 99;
  TOrbaInstallSet s;

  s.DiscIndex = r.I32();
  s.Title = r.String();
  s.Text2 = r.String();
  s.Text3 = r.String();
  s.Text4 = r.String();
  s.Flag1 = r.U8();
  s.Text5 = r.String();
  s.Flag2 = r.U8();
  int32_t n = r.I32();  // checked below, once the bytes of the arrays are due
  if (n < 0) BadInstallFile();
  s.Text6 = r.String();
  s.Number1 = r.I32();
  s.Flag3 = r.U8();
  s.Flag4 = r.U8();
  s.Text7 = r.String();
  s.Text8 = r.String();
  r.Need(int64_t{n} * 4 * (narrow ? 4 : 8));
  s.Rows.resize(static_cast<size_t>(n));
  for (auto& row : s.Rows) {
    row.A = ReadWide(r, narrow);
    row.B = ReadWide(r, narrow);
    row.C = ReadWide(r, narrow);
    row.D = ReadWide(r, narrow);
  }
  for (auto& v : s.V) v = ReadWide(r, narrow);
  s.Flag5 = r.U8();
  if (version > 100) s.Flag6 = r.U8();
  if (version > 101) s.FileList = ReadStrings(r, true);
  if (version > 102) s.CompleteInstall = r.U8();
  if (version > 103) s.Flag7 = r.U8();
  if (version > 104) s.Flag8 = r.U8();
  if (version > 105) s.List2 = ReadStrings(r, false);
  if (version > 106) s.Text9 = r.String();

  *this = std::move(s);
}

void TOrbaInstallSet::SaveToStream(TKvBigStream& stream) const {
  if (Rows.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) throw EOrbaError("too many rows");
  TBinaryWriter w(stream);
  std::string tag = "is" + std::to_string(kVersion);
  w.Write(tag.data(), static_cast<int64_t>(tag.size()));
  w.I32(DiscIndex);
  w.String(Title);
  w.String(Text2);
  w.String(Text3);
  w.String(Text4);
  w.U8(Flag1);
  w.String(Text5);
  w.U8(Flag2);
  w.I32(Count());
  w.String(Text6);
  w.I32(Number1);
  w.U8(Flag3);
  w.U8(Flag4);
  w.String(Text7);
  w.String(Text8);
  for (const auto& row : Rows) {
    w.I64(row.A);
    w.I64(row.B);
    w.I64(row.C);
    w.I64(row.D);
  }
  for (int64_t v : V) w.I64(v);
  w.U8(Flag5);
  w.U8(Flag6);
  WriteStrings(w, FileList);
  w.U8(CompleteInstall);
  w.U8(Flag7);
  w.U8(Flag8);
  WriteStrings(w, List2);
  w.String(Text9);
}

void TOrbaInstallSet::LoadFromFile(const std::filesystem::path& path) {
  TFileInStream in(path);
  LoadFromStream(in);
}

void TOrbaInstallSet::SaveToFile(const std::filesystem::path& path) const {
  TKvMemoryStream data;
  SaveToStream(data);
  WriteFileReplacing(path, data.Bytes());
}

void TOrbaInstallSet::SetCount(int32_t n) { Rows.resize(n > 0 ? static_cast<size_t>(n) : 0); }

int TOrbaInstallSet::IndexOfFile(std::string_view name) const {
  for (size_t i = 0; i < FileList.size(); ++i)
    if (SameText(FileList[i], name)) return static_cast<int>(i);
  return -1;
}

void TOrbaInstallSet::AddFile(std::string_view name) {
  if (IndexOfFile(name) < 0) FileList.emplace_back(name);
}

void TFolderDiskList::LoadFromStream(TKvBigStream& stream) {
  TBinaryReader r(stream);
  LoadFromStream(r);
}

void TFolderDiskList::LoadFromStream(TBinaryReader& r) {
  int32_t n = r.Count(8);  // a folder's 4-byte length and its disc number
  std::vector<Entry> entries;
  for (int32_t i = 0; i < n; ++i) {
    Entry e;
    e.Folder = r.String();
    e.Disc = r.I32();
    entries.push_back(std::move(e));
  }
  entries_.swap(entries);
}

void TFolderDiskList::SaveToStream(TKvBigStream& stream) const {
  TBinaryWriter w(stream);
  SaveToStream(w);
}

void TFolderDiskList::SaveToStream(TBinaryWriter& w) const {
  if (entries_.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) throw EOrbaError("list too long");
  w.I32(static_cast<int32_t>(entries_.size()));
  for (const auto& e : entries_) {
    w.String(e.Folder);
    w.I32(e.Disc);
  }
}

namespace {

// Byte offset of the last folder delimiter of s, skipping a 0x5C that is the second byte
// of a double-byte character; npos when there is none.
size_t LastDelimiter(std::string_view s) {
  size_t last = std::string_view::npos;
  for (size_t i = 0; i < s.size(); i += CharLenAt(s, i))
    if (s[i] == '\\') last = i;
  return last;
}

std::string WithTrailingDelimiter(std::string_view s) {
  std::string out(s);
  if (s.empty() || LastDelimiter(s) != s.size() - 1) out += '\\';
  return out;
}

}  // namespace

int32_t TFolderDiskList::DiscOf(std::string_view name) const {
  // Folders compare with ASCII-only case folding, which equals upper-casing both sides.
  std::string_view s = name;
  while (!s.empty()) {
    std::string key = WithTrailingDelimiter(s);
    for (const auto& e : entries_)
      if (SameText(WithTrailingDelimiter(e.Folder), key)) return e.Disc;
    size_t cut = LastDelimiter(s);
    s = cut == std::string_view::npos ? std::string_view() : s.substr(0, cut);
  }
  return 0;
}

}  // namespace orba
