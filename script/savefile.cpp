#include "script/savefile.h"

#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "files/replacefile.h"
#include "files/vrfiles.h"
#include "script/callman.h"
#include "components/history.h"
#include "values/dbtables.h"
#include "values/paramcollection.h"

namespace orba {

// ---- the file --------------------------------------------------------------------------

namespace {

// "<path>.damaged-YYYYMMDD-HHMMSS", with "-2", "-3"… when that name is taken.
std::filesystem::path DamagedName(const std::filesystem::path& path) {
  const std::time_t now = std::time(nullptr);
  char stamp[32] = "unknown-time";
  if (const std::tm* utc = std::gmtime(&now)) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", utc);
  std::filesystem::path base = path;
  base += std::string(".damaged-") + stamp;
  std::filesystem::path name = base;
  std::error_code ec;
  for (int n = 2; std::filesystem::exists(name, ec); ++n) {
    name = base;
    name += "-" + std::to_string(n);
  }
  return name;
}

}  // namespace

std::string GameEntryName(int32_t slot) { return std::string(kGameEntryPrefix) + std::to_string(slot); }

std::string TSaveFile::ReadPath() const {
  std::error_code ec;
  return std::filesystem::exists(path_, ec) ? path_ : source_;
}

std::string TSaveFile::Write(std::span<const TEntry> entries) {
  std::error_code ec;
  // This process writes nothing else into the folder now: the temporaries of earlier saves
  // that were killed before their rename are dropped.
  RemoveStaleTemporaries(path_);
  bool damaged = false;
  const std::string from = ReadPath();
  TVrFileCollection archive;
  if (std::filesystem::exists(from, ec)) {
    try {
      archive.OpenArchiveFile(from);
    } catch (const EOrbaError&) {
      // Its entries cannot be told apart: the file is kept aside whole (a file elsewhere
      // stays where it is).
      damaged = from == path_;
      archive.OpenArchiveFile("");
    }
  }
  for (const TEntry& e : entries) {
    archive.RemoveEntry(e.Name);
    archive.AddMemoryEntry(e.Name)->Content->Write(e.Bytes.data(), static_cast<int64_t>(e.Bytes.size()));
  }
  std::string movedTo;
  if (damaged) {
    const std::filesystem::path aside = DamagedName(path_);
    std::filesystem::rename(path_, aside, ec);
    if (ec) throw EOrbaError(Sjis(u8"ファイルに書き込めません: ") + FromUtf8(path_));
    movedTo = aside.string();
  }
  const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  // The archive goes straight into the temporary file, the kept entries copied from the old
  // file piece by piece: nothing of the size of the file is held in memory.
  WriteFileReplacing(path_, [&archive](TKvBigStream& out) { archive.WriteArchive(out, TArchiveSources::MemoryAndStored); });
  return movedTo;
}

bool TSaveFile::Read(std::string_view name, TKvMemoryStream& out, int64_t inflateLimit) const {
  std::error_code ec;
  const std::string from = ReadPath();
  if (!std::filesystem::exists(from, ec)) return false;
  TVrFileCollection archive;
  archive.OpenArchiveFile(from);
  const TVrFile* entry = archive.FindEntry(name);
  if (!entry) return false;
  archive.ReadEntry(*entry, out, inflateLimit);
  out.SetPosition(0);
  return true;
}

// ---- a saved game ----------------------------------------------------------------------

void TGameEntry::Save(TKvBigStream& stream, const TParts& parts) const {
  if (!parts.Complete()) throw EOrbaError(Sjis(u8"保存に必要なデータがそろっていません"));
  TBinaryWriter w(stream);
  w.I32(kWriteVersion);
  w.String(Caption);
  w.String(ResumePage);
  w.I32(ResumeIndex);
  parts.Components->SaveGamePart(stream);
  parts.History->SaveGamePart(stream);
  parts.Interpreter->SaveToStream(stream);
  parts.Variables->SaveGame(stream);
  parts.Tables->SaveToStream(stream, 0);
}

TGameEntry TGameEntry::Load(TKvBigStream& stream, const TParts& parts) {
  if (!parts.Complete()) throw EOrbaError(Sjis(u8"読み込みに必要なデータがそろっていません"));
  TGameEntry e;
  {
    TBinaryReader r(stream);
    e.Version = r.I32();
    if (e.Version < kOldestVersion) throw EReadError("saved game: version " + std::to_string(e.Version) + " is too old");
    e.Caption = r.String();
    e.ResumePage = r.String();
    e.ResumeIndex = r.I32();
  }
  parts.Components->LoadGamePart(stream, e.Version);
  parts.History->LoadGamePart(stream, e.Version);
  parts.Interpreter->LoadFromStream(stream, e.Version);
  // The resume page runs first and returns to the saved position. The page load keeps the
  // counter, so the resume index is set here.
  if (!e.ResumePage.empty()) parts.Interpreter->ResumeWith(e.ResumePage, e.ResumeIndex);
  parts.Variables->LoadGame(stream, e.Version);
  if (e.Version >= kFirstTablesVersion) parts.Tables->LoadFromStream(stream, 0);
  return e;
}

// ---- captions of the saved games ------------------------------------------------------

namespace {

// The slot a game entry's name stands for (the prefix and a decimal number, as the writer
// names them), or -1 when the name is no game entry.
int32_t GameEntrySlot(std::string_view entryName) {
  if (!entryName.starts_with(kGameEntryPrefix)) return -1;
  std::string_view digits = entryName.substr(kGameEntryPrefix.size());
  int32_t slot = -1;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), slot);
  if (ec != std::errc() || end != digits.data() + digits.size() || slot < 0) return -1;
  return slot;
}

}  // namespace

void TSaveCaptions::Read(TVrFileCollection& archive, int64_t inflateLimit) {
  items_.clear();
  for (int32_t i = 0; i < archive.EntryCount(); ++i) {
    const TVrFile& entry = *archive.Entry(i);
    const int32_t slot = GameEntrySlot(entry.Name());
    if (slot < 0) continue;
    try {
      TKvMemoryStream bytes;
      archive.ReadEntry(entry, bytes, inflateLimit);
      bytes.SetPosition(0);
      TBinaryReader r(bytes);
      r.I32();  // the entry's version: any version has its caption here
      items_.push_back({r.String(), slot});
    } catch (const std::exception&) {
      // A saved game whose caption cannot be read would not load either: not listed.
    }
  }
}

std::string TSaveCaptions::CaptionOf(int32_t slot) const {
  for (const auto& item : items_)
    if (item.Slot == slot) return item.Caption;
  return {};
}

void TSaveCaptions::Set(int32_t slot, std::string_view caption) {
  for (auto& item : items_) {
    if (item.Slot == slot) {
      item.Caption = caption;
      return;
    }
  }
  items_.push_back({std::string(caption), slot});
}

// ---- the status entry ------------------------------------------------------------------

int32_t TStatusData::FirstVersionOf(TStatusPartKind kind) {
  switch (kind) {
    case TStatusPartKind::DitherFlag: return 101;
    case TStatusPartKind::DataTables: return 103;
    default: return 0;
  }
}

void TStatusData::Register(TStatusPartKind kind, TStatusPart part) {
  parts_[static_cast<size_t>(kind)] = std::move(part);
}

void TStatusData::Unregister(TStatusPartKind kind) { parts_[static_cast<size_t>(kind)] = {}; }

bool TStatusData::IsRegistered(TStatusPartKind kind) const {
  const TStatusPart& p = parts_[static_cast<size_t>(kind)];
  return p.Read && p.Write;
}

bool TStatusData::Complete() const {
  for (size_t k = 0; k < kStatusPartCount; ++k)
    if (!IsRegistered(static_cast<TStatusPartKind>(k))) return false;
  return true;
}

int32_t TStatusData::ReadHeader(TKvBigStream& entry) { return ReadVersionTag(entry, "Status"); }

void TStatusData::Load(TKvBigStream& entry) const {
  const int32_t version = ReadHeader(entry);
  std::vector<std::function<void()>> apply;
  for (size_t k = 0; k < kStatusPartCount; ++k) {
    const auto kind = static_cast<TStatusPartKind>(k);
    if (version < FirstVersionOf(kind)) continue;
    if (!IsRegistered(kind)) break;
    apply.push_back(parts_[k].Read(entry, version));
  }
  for (auto& a : apply)
    if (a) a();
}

void TStatusData::Save(TKvBigStream& entry) const {
  if (!Complete()) RaiseInternalError();
  char header[kHeaderSize + 1];
  std::snprintf(header, sizeof header, "Status%.3d", static_cast<int>(kWriteVersion));
  TBinaryWriter(entry).Write(header, kHeaderSize);
  for (const TStatusPart& part : parts_) part.Write(entry);
}

TStatusPart StatusReadListPart(TOrbaReadList& list) {
  TStatusPart part;
  part.Read = [&list](TKvBigStream& stream, int32_t version) -> std::function<void()> {
    // Read into a scratch list first, so a damaged part raises before the live marks change;
    // the part's bytes are kept and read again into the live list when the entry is applied.
    const int64_t start = stream.GetPosition();
    TOrbaReadList().LoadFromStream(stream, version);
    auto bytes = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(stream.GetPosition() - start));
    stream.SetPosition(start);
    TBinaryReader(stream).Read(bytes->data(), static_cast<int64_t>(bytes->size()));
    return [&list, bytes, version] {
      TKvMemoryStream again(std::move(*bytes));
      list.LoadFromStream(again, version);
    };
  };
  part.Write = [&list](TKvBigStream& stream) { list.SaveToStream(stream); };
  return part;
}

TStatusPart StatusDitherPart(std::function<bool()> get, std::function<void(bool)> set) {
  TStatusPart part;
  part.Read = [set](TKvBigStream& stream, int32_t) -> std::function<void()> {
    const bool on = TBinaryReader(stream).U8() != 0;
    return [set, on] { set(on); };
  };
  part.Write = [get](TKvBigStream& stream) { TBinaryWriter(stream).Bool(get()); };
  return part;
}

TStatusPart StatusTablesPart(TDBManager& tables) {
  TStatusPart part;
  part.Read = [&tables](TKvBigStream& stream, int32_t) -> std::function<void()> {
    auto pending = std::make_shared<TDBManager::TPending>(TDBManager::ReadFromStream(stream, 1));
    return [&tables, pending] { tables.Apply(std::move(*pending)); };
  };
  part.Write = [&tables](TKvBigStream& stream) { tables.SaveToStream(stream, 1); };
  return part;
}

TStatusPart StatusVariablesPart(TParamCollection& variables) {
  TStatusPart part;
  part.Read = [&variables](TKvBigStream& stream, int32_t version) -> std::function<void()> {
    auto pending = std::make_shared<TParamCollection::TPendingStatus>(variables.ReadStatus(stream, version));
    return [&variables, pending] { variables.AddStatus(*pending); };
  };
  part.Write = [&variables](TKvBigStream& stream) { variables.SaveStatus(stream); };
  return part;
}

}  // namespace orba
