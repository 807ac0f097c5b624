// Project archives: a directory of named entries followed by their data, each stored as is
// or as a zlib stream, found in a data file (possibly split into volumes, possibly with its
// directory in a ".ext" file beside it), at the tail of an executable, or in a built-in
// resource. The same format packages save data, built in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/stream.h"
#include "files/bigstream.h"
#include "files/hash.h"
#include "files/zstream.h"

namespace orba {

class TVrFile : public THashCollectionItem {
 public:
  using THashCollectionItem::THashCollectionItem;

  int64_t Offset = 0;  // absolute position of the first stored byte (after loading)
  std::unique_ptr<TKvMemoryStream> Content;  // entries built in memory for writing
  int64_t Size = 0;        // stored bytes
  uint8_t Raw = 0;         // 1: stored bytes are the file; 0: a zlib stream of it
  uint32_t FileTime = 0;   // packed date and time of the source file
  uint32_t Checksum = 0;   // CRC-32
  uint8_t ChecksumMode = 0;  // 1: over the uncompressed bytes; 0: over the stored bytes

 protected:
  std::string DefaultDisplayName() const override { return "TVrFile"; }
};

// Where the writer may take an entry's bytes from.
enum class TArchiveSources {
  FilesAndArchive,  // the entry's content, else a file under the base folder, else this archive
  MemoryAndArchive, // never a file on disk (save data: a stray file must not slip in)
  MemoryAndStored,  // the same, and entries of this archive copied as their stored bytes with
                    // their flags and checksums, neither inflated nor compressed again
};

class TVrFileCollection : public THashCollection {
 public:
  static constexpr const char* kSentinel = "\\EOF\\";
  static constexpr int32_t kWriteVersion = 102;
  static constexpr int64_t kLargeEntry = 0x4FFFFF;  // larger entries are stored as they are

  TVrFileCollection();
  ~TVrFileCollection() override;

  // Clears the collection and opens fileName (a native path) as an archive; a file that does
  // not exist leaves an empty collection whose base folder is fileName itself. A damaged or
  // hostile directory raises EOrbaError and leaves the collection empty.
  void OpenArchiveFile(const std::string& fileName, bool asFolder = false,
                       int64_t volumeSize = TKvBigFileStream::kVolumeSize);
  // The same over a built-in resource; an empty resource raises "リソースが見つかりません".
  void OpenArchiveResource(const std::string& resourceName, const std::string& resourceType);
  // Clears the collection and reads an archive from an owned stream at its position (save
  // data read into memory, fuzz inputs).
  void OpenArchiveStream(std::unique_ptr<TKvBigStream> stream);
  // Reads a directory at the stream's position, which is the archive's start; every count,
  // length and offset is checked against the stream, the end of the data against dataSize
  // when the data lie in another stream (a ".ext" directory). On error nothing changes.
  void ReadDirectory(TKvBigStream& stream, int64_t dataSize = -1);

  TVrFile* Entry(int32_t index) const { return static_cast<TVrFile*>(Item(index)); }
  TVrFile* FindEntry(std::string_view name) const { return static_cast<TVrFile*>(Find(name)); }
  // Entries, not counting the end sentinel of a loaded directory.
  int32_t EntryCount() const;
  TVrFile* AddEntry(std::string_view name) { return static_cast<TVrFile*>(Add(name)); }
  // An entry with an empty owned memory stream as content, for the caller to fill.
  TVrFile* AddMemoryEntry(std::string_view name);
  void RemoveEntry(std::string_view name);

  // A read-only window over the entry's stored bytes (not inflated); null when the archive
  // has no stream or no such entry.
  std::unique_ptr<TRangeStream> OpenEntry(std::string_view name);
  // Appends the entry's bytes, inflated, to target; raises "%s:ファイルがありません".
  void ReadEntry(std::string_view name, TKvBigStream& target, int64_t inflateLimit = kDefaultInflateLimit);
  void ReadEntry(const TVrFile& entry, TKvBigStream& target, int64_t inflateLimit = kDefaultInflateLimit);

  // Called before (bytes 0) and after each entry is stored; returning false cancels.
  std::function<bool(const TVrFile& entry, int32_t count, int32_t index, int64_t bytes)> OnProgress;
  // Writes the whole archive (version 102) to target; false when cancelled.
  bool WriteArchive(TKvBigStream& target, TArchiveSources sources = TArchiveSources::FilesAndArchive);

  const std::string& BaseFolder() const { return baseFolder_; }  // native, trailing '/'
  const std::string& FileName() const { return fileName_; }
  TKvBigStream* Stream() const { return stream_.get(); }
  int32_t Version() const { return version_; }

  // The running player's own file: like a ".exe", it carries its archive at its tail.
  static std::string& ExecutablePath();

  // Asks whether a layered image's pixel data are stored uncompressed (then the writer
  // compresses it); set by the layered-image reader, false until then.
  static std::function<bool(TKvBigStream&)>& LayeredImageIsRaw();

 protected:
  std::unique_ptr<THashCollectionItem> NewItem() override { return std::make_unique<TVrFile>(*this); }

 private:
  struct TStored {
    uint8_t Raw;
    uint32_t FileTime;
    uint32_t Checksum;
  };
  TStored StoreEntry(const TVrFile& entry, TKvBigStream& target, TArchiveSources sources);

  std::string baseFolder_;
  std::unique_ptr<TKvBigStream> stream_;
  std::string fileName_;
  int64_t volumeSize_ = 0;  // of a data file read over volumes; 0 for one plain file
  std::string resourceName_, resourceType_;
  int32_t version_ = 0;
};

// The file ends with the 2-byte mark "rz" of an appended archive.
bool HasArchiveTrailer(const std::string& path);

// The packed date and time of a file's last change (local time: year-1980, month, day,
// hours, minutes, seconds/2 in the high and low 16 bits); 0 when it cannot be read.
uint32_t PackedFileTime(const std::string& path);

}  // namespace orba
