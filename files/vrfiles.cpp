#include "files/vrfiles.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <vector>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "files/diskpath.h"
#include "files/kvrandom.h"

namespace orba {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Damaged(const std::string& what) {
  throw EOrbaError(Sjis(u8"アーカイブが壊れています") + " (" + what + ")");
}

std::string NotFound(std::string_view name) { return std::string(name) + Sjis(u8":ファイルがありません"); }

bool HasExtension(const std::string& path, std::initializer_list<const char*> exts) {
  std::string ext = UpperCase(fs::path(path).extension().string());
  for (const char* e : exts)
    if (ext == e) return true;
  return false;
}

}  // namespace

TVrFileCollection::TVrFileCollection() = default;
TVrFileCollection::~TVrFileCollection() { Clear(); }

std::string& TVrFileCollection::ExecutablePath() {
  static std::string path;
  return path;
}

bool HasArchiveTrailer(const std::string& path) {
  std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char mark[2] = {};
  bool ok = std::fseek(f, -2, SEEK_END) == 0 && std::fread(mark, 1, 2, f) == 2;
  std::fclose(f);
  return ok && mark[0] == 'r' && mark[1] == 'z';
}

std::function<bool(TKvBigStream&)>& TVrFileCollection::LayeredImageIsRaw() {
  static std::function<bool(TKvBigStream&)> hook = [](TKvBigStream&) { return false; };
  return hook;
}

int32_t TVrFileCollection::EntryCount() const {
  int32_t n = Count();
  return n > 0 && Entry(n - 1)->Name() == kSentinel ? n - 1 : n;
}

void TVrFileCollection::OpenArchiveFile(const std::string& fileName, bool asFolder, int64_t volumeSize) {
  Clear();
  stream_.reset();
  resourceName_.clear();
  resourceType_.clear();
  version_ = 0;
  volumeSize_ = 0;
  fileName_ = fileName;
  if (fileName.empty()) {
    baseFolder_.clear();
    return;
  }
  std::error_code ec;
  bool exists = fs::is_regular_file(fileName, ec);
  baseFolder_ = (exists || asFolder) ? fs::path(fileName).parent_path().string() : fileName;
  if (baseFolder_.empty()) baseFolder_ = ".";
  if (baseFolder_.back() != '/') baseFolder_ += '/';
  if (!exists) return;

  constexpr uint16_t mode = fmOpenRead | fmShareDenyWrite;
  bool executable = HasExtension(fileName, {".EXE", ".SCR"}) ||
                    (!ExecutablePath().empty() && fs::equivalent(fileName, ExecutablePath(), ec));
  std::unique_ptr<TKvBigStream> stream;
  if (executable) {
    // The executable ends with int32 A and "rz"; the archive starts at A.
    stream = std::make_unique<TKvFileStream>(fileName, mode);
    int64_t size = stream->GetSize();
    if (size < 6) Damaged("trailer");
    stream->SetPosition(size - 6);
    TBinaryReader r(*stream);
    int64_t start = r.U32();
    if (start > size - 6) Damaged("trailer");
    stream->SetPosition(start);
    ReadDirectory(*stream);
  } else {
    stream = std::make_unique<TKvBigFileStream>(fileName, mode, volumeSize);
    fs::path ext = fs::path(fileName).replace_extension(".ext");
    if (fs::is_regular_file(ext, ec)) {
      // The ".ext" file is the directory alone, read whole; the data file holds the bytes
      // at the absolute offsets it gives.
      TKvFileStream dir(ext.string(), mode);
      TKvMemoryStream memory;
      memory.CopyFromBig(dir, 0);
      memory.SetPosition(0);
      ReadDirectory(memory, stream->GetSize());
    } else {
      ReadDirectory(*stream);
    }
  }
  volumeSize_ = executable ? 0 : volumeSize;
  stream_ = std::move(stream);
}

void TVrFileCollection::OpenArchiveStream(std::unique_ptr<TKvBigStream> stream) {
  Clear();
  stream_.reset();
  fileName_.clear();
  baseFolder_.clear();
  resourceName_.clear();
  resourceType_.clear();
  version_ = 0;
  ReadDirectory(*stream);
  stream_ = std::move(stream);
}

void TVrFileCollection::OpenArchiveResource(const std::string& resourceName, const std::string& resourceType) {
  Clear();
  stream_.reset();
  fileName_.clear();
  baseFolder_.clear();
  version_ = 0;
  auto stream = std::make_unique<TKvBigResourceStream>(resourceName, resourceType);
  if (stream->GetSize() == 0) throw EOrbaError(Sjis(u8"リソースが見つかりません"));
  ReadDirectory(*stream);
  stream_ = std::move(stream);
  resourceName_ = resourceName;
  resourceType_ = resourceType;
}

void TVrFileCollection::ReadDirectory(TKvBigStream& stream, int64_t dataSize) {
  const int64_t start = stream.GetPosition();
  const int64_t end = dataSize >= 0 ? dataSize : stream.GetSize();
  int32_t version = 0;
  std::vector<std::string> names;
  try {
    TBinaryReader head(stream);
    if (head.Remaining() >= 2 && head.Bytes(2) == "vf") version = head.I32();
    else stream.SetPosition(start);
    // The names are many small reads: they go through the buffered reader, which puts the
    // stream back just after the last name byte when it goes.
    TKvBuffBigStream buffered(stream);
    TBinaryReader r(buffered);
    // Each name needs at least its 4-byte length, and each entry at least 4 offset bytes.
    int32_t n = r.Count(8);
    names.reserve(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) names.push_back(r.String());
  } catch (const EReadError&) {
    Damaged("names");
  }
  if (version < 0) Damaged("version");
  const auto n = static_cast<int64_t>(names.size());

  if (version >= 100) {
    TKvRandom random(TKvRandom::kArchiveSeed);
    for (auto& name : names)
      for (char& c : name) c = static_cast<char>(random.ScrambleByte(static_cast<uint8_t>(c)));
  }

  TBinaryReader r(stream);
  std::vector<int64_t> offsets(static_cast<size_t>(n + 1));
  std::vector<uint8_t> raw(static_cast<size_t>(n), 0), modes(static_cast<size_t>(n), 0);
  std::vector<uint32_t> times(static_cast<size_t>(n), 0), sums(static_cast<size_t>(n), 0);
  try {
    TKvRandom random(TKvRandom::kArchiveSeed);
    r.Need((n + 1) * (version >= 101 ? 8 : 4));
    for (auto& off : offsets) {
      if (version >= 101) off = random.ScrambleOffset(r.I64());
      else off = static_cast<int64_t>(version == 100 ? r.U32() ^ static_cast<uint32_t>(random.Next()) : r.U32());
    }
    if (version >= 101) {
      r.Need(n * (version >= 102 ? 10 : 9));
      for (auto& v : raw) v = r.U8();
      for (auto& v : times) v = r.U32();
      for (auto& v : sums) v = r.U32();
      if (version >= 102)
        for (auto& v : modes) v = r.U8();
    }
  } catch (const EReadError&) {
    Damaged("offsets");
  }
  // Offsets run in order inside the stream.
  for (int64_t i = 0; i < n; ++i)
    if (offsets[i] < 0 || offsets[i] > offsets[i + 1]) Damaged("offset");
  if (n >= 0 && (offsets[n] < 0 || offsets[n] > end - start)) Damaged("offset");

  Clear();
  version_ = version;
  for (int64_t i = 0; i < n; ++i) {
    TVrFile* e = AddEntry(names[i]);
    e->Offset = offsets[i] + start;
    e->Size = offsets[i + 1] - offsets[i];
    e->Raw = raw[i];
    e->FileTime = times[i];
    e->Checksum = sums[i];
    e->ChecksumMode = modes[i];
  }
  AddEntry(kSentinel)->Offset = offsets[n];
}

TVrFile* TVrFileCollection::AddMemoryEntry(std::string_view name) {
  TVrFile* e = AddEntry(name);
  e->Content = std::make_unique<TKvMemoryStream>();
  return e;
}

void TVrFileCollection::RemoveEntry(std::string_view name) {
  int32_t i = IndexOf(name);
  if (i >= 0) Delete(i);
}

std::unique_ptr<TRangeStream> TVrFileCollection::OpenEntry(std::string_view name) {
  TVrFile* e = FindEntry(name);
  if (!stream_ || !e || e->Name() == kSentinel) return nullptr;
  if (!resourceName_.empty()) return NewResourceRangeStream(resourceType_, e->Size, e->Offset, resourceName_);
  return NewFileRangeStream(fileName_, e->Size, e->Offset, volumeSize_);
}

void TVrFileCollection::ReadEntry(std::string_view name, TKvBigStream& target, int64_t inflateLimit) {
  TVrFile* e = FindEntry(name);
  if (!e || e->Name() == kSentinel) throw EOrbaError(NotFound(name));
  ReadEntry(*e, target, inflateLimit);
}

void TVrFileCollection::ReadEntry(const TVrFile& e, TKvBigStream& target, int64_t inflateLimit) {
  if (e.Content) {
    e.Content->SetPosition(0);
    target.CopyFromBig(*e.Content, e.Content->GetSize());
    return;
  }
  if (!stream_ || e.Size <= 0) return;
  if (e.Raw) {
    stream_->SetPosition(e.Offset);
    if (stream_->CopyToStream(target, e.Size) != e.Size) Damaged("data");
    return;
  }
  if (e.Size > inflateLimit) throw EOrbaError(Sjis(u8"展開後のデータが大きすぎます"));
  std::vector<uint8_t> stored(static_cast<size_t>(e.Size));
  stream_->SetPosition(e.Offset);
  if (stream_->Read(stored.data(), e.Size) != e.Size) Damaged("data");
  InflateTo(stored, target, inflateLimit);
}

uint32_t PackedFileTime(const std::string& path) {
  std::error_code ec;
  auto ft = fs::last_write_time(path, ec);
  if (ec) return 0;
  auto sys = std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::file_clock::to_sys(ft));
  std::time_t t = std::chrono::system_clock::to_time_t(sys);
  std::tm tm{};
  if (!localtime_r(&t, &tm) || tm.tm_year < 80) return 0;
  uint32_t date = static_cast<uint32_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  uint32_t time = static_cast<uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  return (date << 16) | time;
}

TVrFileCollection::TStored TVrFileCollection::StoreEntry(const TVrFile& e, TKvBigStream& target,
                                                         TArchiveSources sources) {
  // Entry data go through in pieces (a sound or a movie is never read whole); only the
  // compressed form of an entry is held in memory until it is known to be worth keeping.
  TStored stored{0, e.FileTime, 0};
  auto putRaw = [&](TKvBigStream& source, int64_t count) {
    stored.Raw = 1;
    stored.Checksum = CopyStream(source, count, target);
    return stored;
  };
  // Compressed; or, when testSaving and that saves less than a tenth, as it is. The
  // checksum covers the source's bytes when plainChecksum, else the bytes written.
  auto put = [&](TKvBigStream& source, int64_t count, bool testSaving, bool plainChecksum) {
    const int64_t start = source.GetPosition();
    TKvMemoryStream z;
    const uint32_t plainCrc = DeflateStream(source, count, z);
    if (testSaving && count * 9 / 10 < z.GetSize()) {
      source.SetPosition(start);
      return putRaw(source, count);
    }
    TBinaryWriter(target).Write(z.Bytes().data(), z.GetSize());
    stored.Raw = 0;
    stored.Checksum = plainChecksum ? plainCrc : Crc32(z.Bytes());
    return stored;
  };

  if (e.Content) {
    const int64_t size = e.Content->GetSize();
    e.Content->SetPosition(0);
    if (size > kLargeEntry) return putRaw(*e.Content, size);
    return put(*e.Content, size, false, e.ChecksumMode == 1);
  }
  if (sources == TArchiveSources::MemoryAndStored) {
    if (!stream_) throw EOrbaError(e.Name() + Sjis(u8":ファイルがありません"));
    stream_->SetPosition(e.Offset);
    CopyBytes(*stream_, e.Size, target);
    return {e.Raw, e.FileTime, e.Checksum};
  }
  std::optional<std::string> file;
  if (sources == TArchiveSources::FilesAndArchive) file = DiskNames().Resolve(baseFolder_, e.Name());
  if (file) {
    TKvFileStream in(*file, fmOpenRead | fmShareDenyWrite);
    const int64_t size = in.GetSize();
    // Small files of kinds not compressed already are worth compressing, and so are layered
    // images of any size whose pixels are stored raw.
    bool candidate = !HasExtension(*file, {".WAV", ".WMA", ".OGG", ".MPG", ".MPEG", ".M1V", ".WMV", ".ASF", ".DAT"}) &&
                     size < 0x500000;
    if (!candidate && HasExtension(*file, {".TRN"})) candidate = LayeredImageIsRaw()(in);
    stored.FileTime = PackedFileTime(*file);
    in.SetPosition(0);
    if (!candidate) return putRaw(in, size);
    return put(in, size, true, e.ChecksumMode == 1);
  }
  // The entry's bytes from this archive's own stream; the checksum covers the bytes
  // written, whatever the mode.
  TKvMemoryStream data;
  ReadEntry(e, data);
  data.SetPosition(0);
  if (data.GetSize() > kLargeEntry) return putRaw(data, data.GetSize());
  return put(data, data.GetSize(), false, false);
}

bool TVrFileCollection::WriteArchive(TKvBigStream& target, TArchiveSources sources) {
  std::vector<TVrFile*> entries;
  for (int32_t i = 0; i < Count(); ++i)
    if (Entry(i)->Name() != kSentinel) entries.push_back(Entry(i));
  const auto n = static_cast<int32_t>(entries.size());

  TBinaryWriter w(target);
  w.Write("vf", 2);
  w.I32(kWriteVersion);
  w.I32(n);
  TKvRandom names(TKvRandom::kArchiveSeed);
  for (TVrFile* e : entries) {
    std::string scrambled = e->Name();
    for (char& c : scrambled) c = static_cast<char>(names.ScrambleByte(static_cast<uint8_t>(c)));
    w.String(scrambled);
  }
  const int64_t tables = target.GetPosition();
  std::vector<uint8_t> placeholder(static_cast<size_t>((n + 1) * 8 + n * 10), 0);
  w.Write(placeholder.data(), static_cast<int64_t>(placeholder.size()));

  // The entries keep describing this archive's own stream (later entries may still be read
  // from it), so what this write stores is collected apart.
  std::vector<int64_t> offsets(static_cast<size_t>(n + 1));
  std::vector<TStored> stored(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    TVrFile& e = *entries[i];
    if (OnProgress && !OnProgress(e, n, i, 0)) return false;
    offsets[i] = target.GetPosition();
    stored[i] = StoreEntry(e, target, sources);
    if (OnProgress && !OnProgress(e, n, i, target.GetPosition() - offsets[i])) return false;
  }
  offsets[n] = target.GetPosition();

  target.SetPosition(tables);
  TKvRandom random(TKvRandom::kArchiveSeed);
  for (int64_t off : offsets) w.I64(random.ScrambleOffset(off));
  for (const auto& st : stored) w.U8(st.Raw);
  for (const auto& st : stored) w.U32(st.FileTime);
  for (const auto& st : stored) w.U32(st.Checksum);
  for (TVrFile* e : entries) w.U8(e->ChecksumMode);
  target.SetPosition(offsets[n]);
  return true;
}

}  // namespace orba
