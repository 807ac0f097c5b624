// The POSIX side of the platform: the monotonic clock, the instance lock (an advisory file
// lock in the user's runtime folder), folders, and "[section] key=value" settings files.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/platform.h"

namespace orba::platform::posix {

class Clock : public IClock {
 public:
  uint32_t NowMs() override;
  void SleepMs(uint32_t ms) override;
};

// Locks a file named after the key in folder; the lock is held until the handle is destroyed
// (or the process ends, so a crashed player never blocks the next one).
class InstanceLock : public IInstanceLock {
 public:
  // folder: where the lock files live; RuntimeFolder() when empty.
  explicit InstanceLock(std::string folder = {});
  std::unique_ptr<Handle> TryAcquire(const std::string& key) override;
  // The file name that stands for a key: its UTF-8 form with '/' and '%' escaped, or a hash
  // when that would be too long for a file name.
  static std::string LockFileName(const std::string& key);
  // $XDG_RUNTIME_DIR, else a private folder under the temporary folder; empty when neither
  // can be had (the player then runs without the lock).
  static std::string RuntimeFolder();
  // path as a folder only this user can reach: created with mode 0700 when missing; an
  // existing one only when it is a folder itself (no symbolic link) owned by this user, its
  // mode narrowed to 0700. Empty when it is anything else (another user may have made it).
  static std::string PrivateFolder(const std::string& path);

 private:
  std::string folder_;
};

class Paths : public IPaths {
 public:
  std::string ExecutableFolder() override;
  std::string ExecutablePath() override;
  std::string AbsoluteFolder(const std::string& path) override;
  std::string TempFolder() override;
  // Mounted ISO 9660 and UDF file systems, from /proc/mounts.
  std::vector<std::string> DiscFolders() override;
  // $XDG_DATA_HOME, else ~/.local/share.
  std::string UserDataFolder() override;
  // $XDG_PICTURES_DIR, else the one named in the user's user-dirs.dirs, when it exists.
  std::string PicturesFolder() override;
  // The pictures folder a user-dirs.dirs text names ("$HOME/" expanded to home); empty: none.
  static std::string PicturesFolderIn(const std::string& userDirs, const std::string& home);
  // The same from the text of a mount table (one "device folder type options ..." a line).
  static std::vector<std::string> DiscFoldersIn(const std::string& mountTable);
};

// Section and key names compare case-insensitively; values are trimmed.
class IniSettings : public ISettings {
 public:
  std::optional<std::string> Read(const std::string& path, const std::string& section, const std::string& key) override;
  bool Write(const std::string& path, const std::string& section, const std::string& key,
             const std::string& value) override;
};

// fsync of a stdio file: the core's file sync hook, so that files replaced whole (saves,
// settings) are on the disk before they replace the old ones.
bool SyncFile(std::FILE* file);
// fsync of a folder, so that a file renamed into it keeps its new name after a power cut.
bool SyncFolder(const std::filesystem::path& folder);

}  // namespace orba::platform::posix
