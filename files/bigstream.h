// Streams with 64-bit sizes for project archives: a file stream spread over numbered volume
// files, a buffered reader for the many small reads of an archive directory, read-only
// windows over one stored entry, and streams over resources built into the executable.
#pragma once

#include <climits>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/stream.h"

namespace orba {

// Open modes: the low 4 bits are the access (read, write, read-write; any other value
// creates), bits 4..7 the sharing the file allows others.
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmCreate = 0xFFFF;

// One logical stream over volume files of a fixed size: volume 0 is the file itself, volume
// i >= 1 the file name without its extension plus ".%.3d" ('game.dat', 'game.001', ...).
// Only data archives are split so; a file that stands alone (an executable with its archive,
// a ".ext" directory, a work file, a file read from a folder) is a TKvFileStream, which never
// looks at numbered names: 'game.001' is volume 1 of 'game.dat' and must not also become a
// part of 'game.exe'.
class TKvBigFileStream : public TKvBigStream {
 public:
  static constexpr int64_t kVolumeSize = int64_t{1} << 30;

  // Read or read-write: opens the existing volumes in order, creating none; a missing
  // volume 0 raises EOrbaError. Any other access deletes volume 0 and every numbered volume
  // up to the first missing number; volumes are then created as writes reach them.
  TKvBigFileStream(std::string fileName, uint16_t mode, int64_t volumeSize = kVolumeSize);
  // Closes without raising; a writer that must know its bytes reached the disk calls Close.
  ~TKvBigFileStream() override;
  TKvBigFileStream(const TKvBigFileStream&) = delete;
  TKvBigFileStream& operator=(const TKvBigFileStream&) = delete;

  int64_t GetSize() override;
  int64_t GetPosition() override { return position_; }
  void SetPosition(int64_t p) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Read(void* buffer, int64_t count) override;

  // Flushes and closes every volume; raises "ファイルに書き込めません: " and the file name when
  // the system refused any written byte (a full disk shows here, at the latest).
  void Close();

  // Name of volume i of a stream named fileName.
  static std::string VolumeName(const std::string& fileName, int index);
  const std::string& FileName() const { return fileName_; }

 protected:
  // The volume size of a stream that is one plain file.
  static constexpr int64_t kNoVolumes = INT64_MAX;

 private:
  std::FILE* Volume(int index, bool create);

  std::string fileName_;
  uint16_t mode_;
  int64_t volumeSize_;
  int64_t position_ = 0;
  std::vector<std::FILE*> volumes_;
  std::vector<int64_t> sizes_;
  bool failed_ = false;  // a write came up short: Close reports it
};

// One plain file as a big stream: read, read-write, or created (emptied) at once, so that a
// file of no bytes exists too.
class TKvFileStream : public TKvBigFileStream {
 public:
  TKvFileStream(std::string fileName, uint16_t mode) : TKvBigFileStream(std::move(fileName), mode, kNoVolumes) {}
};

// Hands out a source's bytes in order from a buffer refilled 100 KiB at a time, so the many
// small reads of an archive directory cost one large read each. Reads only: seeking does
// nothing. When it is destroyed, the source is put back to just after the last byte handed out.
class TKvBuffBigStream : public TKvBigStream {
 public:
  static constexpr int64_t kChunkSize = 102400;

  explicit TKvBuffBigStream(TKvBigStream& source) : source_(source) {}
  ~TKvBuffBigStream() override;
  TKvBuffBigStream(const TKvBuffBigStream&) = delete;
  TKvBuffBigStream& operator=(const TKvBuffBigStream&) = delete;

  int64_t GetSize() override { return source_.GetSize(); }
  // The source position less the bytes buffered but not yet handed out.
  int64_t GetPosition() override { return source_.GetPosition() - static_cast<int64_t>(buffer_.size() - used_); }
  // Number of bytes handed out: short only at the end of the source.
  int64_t Read(void* buffer, int64_t count) override;

 private:
  TKvBigStream& source_;
  std::vector<uint8_t> buffer_;
  size_t used_ = 0;
};

// A read-only window start .. start+length-1 of an owned stream; positions are relative to
// start. Writes write nothing.
class TRangeStream : public TKvBigStream {
 public:
  // The length that means "up to the end of the underlying stream"; a length of 0 is empty.
  static constexpr int64_t kWhole = -1;

  TRangeStream(std::unique_ptr<TKvBigStream> stream, int64_t start, int64_t length);

  int64_t GetSize() override { return length_; }
  int64_t GetPosition() override { return stream_->GetPosition() - start_; }
  void SetPosition(int64_t p) override;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void*, int64_t) override { return 0; }

  enum Origin { soBeginning, soCurrent, soEnd };
  // Moves within the window (clamped to it) and returns the new relative position.
  int64_t Seek(int64_t offset, Origin origin);

 private:
  std::unique_ptr<TKvBigStream> stream_;
  int64_t start_;
  int64_t length_;
};

// A window over a file (read, deny write); over its volumes of volumeSize bytes when that is
// not 0.
std::unique_ptr<TRangeStream> NewFileRangeStream(const std::string& fileName, int64_t length, int64_t start,
                                                 int64_t volumeSize = 0);

// Resources built into the player (the made-with logo, an embedded project): named byte
// blocks of a type, registered at start-up and never freed.
void RegisterResource(const std::string& type, const std::string& name, std::span<const uint8_t> bytes);
// The bytes of a resource; empty when there is none.
std::span<const uint8_t> FindResource(const std::string& type, const std::string& name);

// A read-only stream over a registered resource.
class TKvBigResourceStream : public TKvViewStream {
 public:
  TKvBigResourceStream(std::string resourceName, std::string resourceType)
      : TKvViewStream(FindResource(resourceType, resourceName)),
        name_(std::move(resourceName)),
        type_(std::move(resourceType)) {}
  const std::string& ResourceName() const { return name_; }
  const std::string& ResourceType() const { return type_; }

 private:
  std::string name_, type_;
};

std::unique_ptr<TRangeStream> NewResourceRangeStream(const std::string& resourceType, int64_t length, int64_t start,
                                                     const std::string& resourceName);

}  // namespace orba
