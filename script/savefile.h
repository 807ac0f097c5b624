// The layout of "save.dat", the archive that keeps the player's persistent data: one entry
// "GAMESAVEDATA<slot>" per saved game, whose caption the project lists, and the entry
// "STATUSSAVEDATA" with what outlives a game (status variables, read marks, the dither
// flag, status data tables). Several subsystems own a part of the status entry; each
// registers how its part is read and written, so the entry grows with the player without
// this code knowing the parts' contents.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/stream.h"
#include "files/zstream.h"
#include "values/sysvars.h"

namespace orba {

class TVrFileCollection;
class TParamCollection;
class TOrbaReadList;
class TDBManager;
class TCallMan;

inline constexpr std::string_view kStatusEntryName = "STATUSSAVEDATA";
inline constexpr std::string_view kGameEntryPrefix = "GAMESAVEDATA";

// save.dat on disk. Nothing in it is ever lost: it is replaced whole through the one
// replace-file writer, the entries not being replaced are copied as their stored bytes
// (never inflated, compressed again or dropped), and a file that cannot be read as an
// archive is moved aside rather than overwritten.
class TSaveFile {
 public:
  explicit TSaveFile(std::string path) : path_(path), source_(std::move(path)) {}
  // Writes go to path; the entries kept come from source when path has no file yet (saved
  // games carried over from a folder the player cannot write to).
  TSaveFile(std::string path, std::string source) : path_(std::move(path)), source_(std::move(source)) {}
  const std::string& Path() const { return path_; }
  // The file read: path when it exists, else source.
  std::string ReadPath() const;

  struct TEntry {
    std::string Name;
    std::span<const uint8_t> Bytes;
  };
  // Replaces or adds the entries, keeping every other one. When the file exists but is no
  // readable archive it is renamed to "<name>.damaged-<UTC time>" first and a new file is
  // started; that name is returned ("" otherwise). Raises EOrbaError when the file cannot be
  // written; the old file is then as it was.
  std::string Write(std::span<const TEntry> entries);

  // The entry's bytes, inflated, into out; false when the file or the entry does not exist.
  // Raises EOrbaError when the file or the entry cannot be read.
  bool Read(std::string_view name, TKvMemoryStream& out, int64_t inflateLimit = kDefaultInflateLimit) const;

 private:
  std::string path_, source_;
};

// The name of the game entry of slot.
std::string GameEntryName(int32_t slot);

// The saved games of save.dat by caption, each with its slot number, in the order found or
// added.
class TSaveCaptions {
 public:
  // Replaces the list with the saved games of archive, in entry order. An entry name whose
  // rest after the prefix is not a decimal number, or is negative, names no saved game. An
  // entry that cannot be read up to its caption (damaged, truncated, inflating beyond
  // inflateLimit) is left out of the list: it could not be loaded either. Never raises for
  // bad data.
  void Read(TVrFileCollection& archive, int64_t inflateLimit = kDefaultInflateLimit);

  // The caption of the first entry of slot; empty when there is none.
  std::string CaptionOf(int32_t slot) const;
  // Replaces the caption of the first entry of slot, or appends an entry.
  void Set(int32_t slot, std::string_view caption);
  void Clear() { items_.clear(); }
  const std::vector<TSlotCaption>& Items() const { return items_; }

 private:
  std::vector<TSlotCaption> items_;
};

// A part of a saved game that another subsystem keeps: the component tree with its event
// queue, the message history. Each writes its part as the current version stores it and
// reads it as an entry of the given version stored it (raising on bad data).
class IGameEntryPart {
 public:
  virtual ~IGameEntryPart() = default;
  virtual void SaveGamePart(TKvBigStream& stream) const = 0;
  virtual void LoadGamePart(TKvBigStream& stream, int32_t version) = 0;
  // After every part of a loaded game was read (message windows show their pages again).
  virtual void AfterGameLoaded() {}
};

// One saved game: "GAMESAVEDATA<slot>". The head, then the component tree, the message
// history, the interpreter, the game variables and (from version 123) the game tables.
struct TGameEntry {
  static constexpr int32_t kWriteVersion = 134;
  static constexpr int32_t kOldestVersion = 107;
  static constexpr int32_t kFirstTablesVersion = 123;

  struct TParts {
    IGameEntryPart* Components = nullptr;
    IGameEntryPart* History = nullptr;
    TCallMan* Interpreter = nullptr;
    TParamCollection* Variables = nullptr;
    TDBManager* Tables = nullptr;
    bool Complete() const { return Components && History && Interpreter && Variables && Tables; }
  };

  int32_t Version = kWriteVersion;
  std::string Caption;
  std::string ResumePage;  // run first after loading, from ResumeIndex; empty for none
  int32_t ResumeIndex = 0;

  // Writes the entry; raises EOrbaError unless every part is there.
  void Save(TKvBigStream& stream, const TParts& parts) const;
  // Reads an entry into the parts and resumes the interpreter; raises EOrbaError for an
  // entry older than kOldestVersion or one that cannot be read (the parts read until then
  // have changed: the caller stops the player).
  static TGameEntry Load(TKvBigStream& stream, const TParts& parts);
};

// The parts of the status entry, in their stored order.
enum class TStatusPartKind : uint8_t { Variables, ReadList, DitherFlag, DataTables };
inline constexpr size_t kStatusPartCount = 4;

// How the subsystem owning one part of the status entry reads and writes it.
struct TStatusPart {
  // Reads the part, stored by an entry of version, at the stream's position and leaves the
  // stream after it. Returns what puts the part into effect; until that runs nothing may
  // change, so a damaged entry further on leaves the player as it was. Raises on bad data.
  std::function<std::function<void()>(TKvBigStream& stream, int32_t version)> Read;
  // Writes the part as the current version stores it.
  std::function<void(TKvBigStream& stream)> Write;
};

// The parts the status entry is made of, as their owners registered them.
class TStatusData {
 public:
  static constexpr int32_t kWriteVersion = 103;
  static constexpr size_t kHeaderSize = 9;

  // The oldest entry version that stores the part (older entries lack it).
  static int32_t FirstVersionOf(TStatusPartKind kind);

  // The owner of a part announces it (again: replaces) or withdraws it.
  void Register(TStatusPartKind kind, TStatusPart part);
  void Unregister(TStatusPartKind kind);
  bool IsRegistered(TStatusPartKind kind) const;
  // Every part has its owner, so a whole entry can be written.
  bool Complete() const;

  // Reads a whole entry from the stream's position: the header, then each part the entry's
  // version stores, in order. Reading ends at the first part nobody registered (where it
  // ends in the entry is unknown) and what was read is put into effect. All or nothing: a
  // part that fails to read raises and nothing changes.
  void Load(TKvBigStream& entry) const;
  // Writes the header and every part; raises EOrbaError unless Complete().
  void Save(TKvBigStream& entry) const;

  // The entry's version from its 9-byte header "Status" and three decimal digits (0 when
  // the digits are no number), leaving the stream after it. An entry without the header is
  // version 0 and is read from its first byte: the stream is put back.
  static int32_t ReadHeader(TKvBigStream& entry);

 private:
  std::array<TStatusPart, kStatusPartCount> parts_;
};

// The parts over the objects that keep them, which outlive the registration: the status
// variables, the read marks, the dither flag (through its getter and setter, as the
// picture cache keeps it), and the status tables.
TStatusPart StatusVariablesPart(TParamCollection& variables);
TStatusPart StatusReadListPart(TOrbaReadList& list);
TStatusPart StatusDitherPart(std::function<bool()> get, std::function<void(bool)> set);
TStatusPart StatusTablesPart(TDBManager& tables);

}  // namespace orba
