#include "script/savefile.h"

#include <charconv>
#include <cstdio>
#include <memory>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "files/vrfiles.h"
#include "values/paramcollection.h"

namespace orba {

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
