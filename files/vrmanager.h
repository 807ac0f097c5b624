// The virtual file manager: every project file the player opens by name is looked up here,
// in a fixed order of sources (a base folder on disk, the mounted archives, the discs),
// read through a small cache of recent files, handed out as a window over its stored bytes,
// or extracted to a private work file when a consumer needs a real path.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/cp932.h"
#include "base/lists.h"
#include "files/vrfiles.h"

namespace orba {

// One cached file: its bytes and its upper-cased name.
struct TVrCache {
  std::unique_ptr<TKvMemoryStream> Content = std::make_unique<TKvMemoryStream>();
  std::string Key;
};

// Recently read files, most recent first, within a byte budget.
class TVrCacheList {
 public:
  static constexpr int64_t kBudget = 0x400000;

  explicit TVrCacheList(int64_t budget = kBudget) : budget_(budget) {}
  // The entry of name, moved to the front; a new empty one when there is none (older entries
  // are dropped while the list holds more than one and the total exceeds the budget).
  TVrCache& Get(const std::string& name);
  void RemoveByName(const std::string& name);
  void Clear() { items_.clear(); }
  int64_t TotalSize() const;
  int Count() const { return static_cast<int>(items_.size()); }
  const TVrCache& operator[](int i) const { return *items_[static_cast<size_t>(i)]; }

 private:
  int64_t budget_;
  std::vector<std::unique_ptr<TVrCache>> items_;
};

// A work file extracted for a name.
struct TVrLockData {
  std::string Name;
  uint32_t Id = 0;
  int32_t LockCount = 1;
  int32_t Countdown = 0;
};

class TVrLockList {
 public:
  TVrLockData& NewLock(const std::string& name);
  TVrLockData* FindByName(const std::string& name);
  // Drops a lock at once; its work file is queued for deletion.
  void Remove(const TVrLockData& lock);
  // Moves a lock to the release list; its work file goes countdownMs after.
  void Release(const std::string& name, int32_t countdownMs);
  // Ages the release list; expired locks queue their work files for deletion.
  void Tick(int32_t elapsed);
  // The work file of a lock: folder + "~rz" + 8 upper-case hex digits + the name's extension.
  std::string WorkFileOf(const TVrLockData& lock) const;
  void SetFolder(std::string folder) { folder_ = std::move(folder); }
  void Clear();
  ~TVrLockList() { Clear(); }

 private:
  std::vector<std::unique_ptr<TVrLockData>> locks_, release_;
  uint32_t nextId_ = 0;
  std::string folder_;
};

// Files waiting to be deleted; emptied once per tick and at exit.
void QueueFileDeletion(const std::string& path);
void RunFileDeletions();

// What the disc prompt needs from the rest of the player: the project's texts and a way to
// ask and to close. All texts are code page 932.
struct TDiscPrompt {
  std::string Prompt = Sjis(u8"ディスク%dを入れてから[OK]をクリックしてください");
  std::string ExitMessage = Sjis(u8"終了します");
  std::string Title;        // the application title: the caption of both boxes
  std::string ProjectName;  // matched byte for byte with the title of a disc's install set
  // Shows an OK/Cancel box; true for OK.
  std::function<bool(const std::string& caption, const std::string& text)> AskOkCancel;
  // Stops the player: sets the stop flag and closes the main window.
  std::function<void()> RequestClose;
};

class TVrFileManager {
 public:
  TVrFileManager();
  ~TVrFileManager();
  TVrFileManager(const TVrFileManager&) = delete;
  TVrFileManager& operator=(const TVrFileManager&) = delete;

  // Base folder (a native path); stored with a trailing '/', empty stays empty.
  void SetBaseFolder(const std::string& path);
  const std::string& BaseFolder() const { return baseFolder_; }
  // Roots of the discs that can hold project data.
  void SetDiscFolders(std::vector<std::string> folders) { discs_ = std::move(folders); }
  const std::vector<std::string>& DiscFolders() const { return discs_; }

  // Mounts an archive file; -1 when an archive of that base folder is mounted already. A
  // damaged archive raises and leaves the manager as it was.
  int AddArchive(const std::string& path);
  int AddResourceArchive(const std::string& resourceName, const std::string& resourceType);
  void RemoveArchive(int index);
  int ArchiveCount() const { return archives_.Count(); }
  TVrFileCollection* Archive(int index) const { return archives_[index]; }

  bool HasFile(const std::string& name);
  // Replaces target's contents (a memory stream) or appends to it with the file's bytes,
  // inflated, and sets it to position 0; raises "%s:ファイルがありません".
  void LoadFile(TKvBigStream& target, const std::string& name);
  // A read-only window over the stored bytes; raises when the name is found nowhere.
  std::unique_ptr<TRangeStream> OpenRange(const std::string& name);
  // A real path for the name (extracting an archived file to a work file), or the name itself.
  std::string GetFileName(const std::string& name);
  std::string ExtractToTemp(const std::string& name);
  TVrFile* FindEntry(const std::string& name) const;

  // Asks for disc diskNumber (from 1) until it is mounted (true) or the player gives up
  // (false, after asking the main window to close).
  bool RequestDisk(int diskNumber);
  // Mounts "game.dat" of every disc whose "install.dat" names this project and disc index.
  bool MountDisk(int diskIndex);
  TDiscPrompt& DiscPrompt() { return prompt_; }
  // The prompt text with the disc number in place of its "%d" (the text comes from the
  // project, so it is never used as a printf format).
  static std::string FormatDiscPrompt(const std::string& prompt, int diskNumber);

  // The folder part of a name, with its trailing '\'; "" when it has none.
  static std::string FolderOf(const std::string& name);

  TVrCacheList& Cache() { return cache_; }
  TVrLockList& Locks() { return locks_; }
  // Per-tick upkeep: locks age by elapsed ms and queued deletions run.
  void Tick(int32_t elapsed);
  // The private folder of this player's work files (made on first use).
  const std::string& WorkFolder();
  int64_t InflateLimit = kDefaultInflateLimit;

 private:
  TObjList<TVrFileCollection> archives_;
  std::vector<std::string> discs_;
  std::string baseFolder_;
  // Reads the file's bytes into an empty cache entry (true), or copies an entry built in
  // memory straight to target, leaving it uncached (false); raises when no source has it.
  bool FillCache(TKvMemoryStream& content, TKvBigStream& target, const std::string& name);

  TVrCacheList cache_;
  TVrLockList locks_;
  std::string workFolder_;
  TDiscPrompt prompt_;
};

// The player's manager, created on first use.
TVrFileManager& VrFileManager();
// Frees it (its work files go); the next use creates a fresh one.
void FreeVrFileManager();

}  // namespace orba
