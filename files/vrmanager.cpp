#include "files/vrmanager.h"

#include <algorithm>
#include <filesystem>
#include <random>

#include "base/cp932.h"
#include "base/error.h"
#include "files/diskpath.h"
#include "files/header.h"

namespace orba {

namespace fs = std::filesystem;

namespace {

std::string NotFound(const std::string& name) { return name + Sjis(u8":ファイルがありません"); }

std::vector<std::string>& DeleteQueue() {
  static std::vector<std::string> queue;
  return queue;
}

}  // namespace

TVrCache& TVrCacheList::Get(const std::string& name) {
  std::string key = UpperCase(name);
  auto it = std::find_if(items_.begin(), items_.end(), [&](const auto& c) { return c->Key == key; });
  if (it != items_.end()) {
    std::rotate(items_.begin(), it, it + 1);
    return *items_.front();
  }
  auto entry = std::make_unique<TVrCache>();
  entry->Key = key;
  items_.insert(items_.begin(), std::move(entry));
  while (items_.size() > 1 && TotalSize() > budget_) items_.pop_back();
  return *items_.front();
}

void TVrCacheList::RemoveByName(const std::string& name) {
  std::string key = UpperCase(name);
  std::erase_if(items_, [&](const auto& c) { return c->Key == key; });
}

int64_t TVrCacheList::TotalSize() const {
  int64_t total = 0;
  for (const auto& c : items_) total += c->Content->GetSize();
  return total;
}

TVrLockData& TVrLockList::NewLock(const std::string& name) {
  auto lock = std::make_unique<TVrLockData>();
  lock->Name = name;
  lock->Id = nextId_;
  auto used = [&](uint32_t id) {
    for (const auto* list : {&locks_, &release_})
      for (const auto& l : *list)
        if (l->Id == id) return true;
    return false;
  };
  do ++nextId_;
  while (used(nextId_) || nextId_ == lock->Id);
  locks_.push_back(std::move(lock));
  return *locks_.back();
}

TVrLockData* TVrLockList::FindByName(const std::string& name) {
  for (const auto& l : locks_)
    if (l->Name == name) return l.get();
  return nullptr;
}

void TVrLockList::Remove(const TVrLockData& lock) {
  QueueFileDeletion(WorkFileOf(lock));
  std::erase_if(locks_, [&](const auto& l) { return l.get() == &lock; });
}

void TVrLockList::Release(const std::string& name, int32_t countdownMs) {
  auto it = std::find_if(locks_.begin(), locks_.end(), [&](const auto& l) { return l->Name == name; });
  if (it == locks_.end()) return;
  (*it)->Countdown = countdownMs;
  release_.push_back(std::move(*it));
  locks_.erase(it);
}

void TVrLockList::Tick(int32_t elapsed) {
  for (auto it = release_.begin(); it != release_.end();) {
    (*it)->Countdown -= elapsed;
    if ((*it)->Countdown <= 0) {
      QueueFileDeletion(WorkFileOf(**it));
      it = release_.erase(it);
    } else {
      ++it;
    }
  }
}

std::string TVrLockList::WorkFileOf(const TVrLockData& lock) const {
  char id[16];
  std::snprintf(id, sizeof id, "%08X", lock.Id);
  return folder_ + "~rz" + id + fs::path(ToUtf8(lock.Name)).extension().string();
}

void TVrLockList::Clear() {
  for (const auto* list : {&locks_, &release_})
    for (const auto& l : *list) QueueFileDeletion(WorkFileOf(*l));
  locks_.clear();
  release_.clear();
}

void QueueFileDeletion(const std::string& path) { DeleteQueue().push_back(path); }

void RunFileDeletions() {
  std::error_code ec;
  for (const auto& path : DeleteQueue()) fs::remove(path, ec);
  DeleteQueue().clear();
}

TVrFileManager::TVrFileManager() = default;

TVrFileManager::~TVrFileManager() {
  locks_.Clear();
  RunFileDeletions();
  if (!workFolder_.empty()) {
    std::error_code ec;
    fs::remove_all(workFolder_, ec);
  }
}

const std::string& TVrFileManager::WorkFolder() {
  if (workFolder_.empty()) {
    // A folder of our own, created exclusively: two players never share work files.
    std::random_device rd;
    std::error_code ec;
    fs::path temp = fs::temp_directory_path(ec);
    for (int attempt = 0; attempt < 100 && workFolder_.empty(); ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, "orbaplayer-%08x", rd());
      fs::path dir = temp / name;
      if (fs::create_directory(dir, ec)) {
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
        workFolder_ = dir.string() + "/";
      }
    }
    if (workFolder_.empty()) throw EOrbaError(Sjis(u8"作業用ファイルが作れません"));
    locks_.SetFolder(workFolder_);
  }
  return workFolder_;
}

void TVrFileManager::SetBaseFolder(const std::string& path) {
  baseFolder_ = path;
  if (!baseFolder_.empty() && baseFolder_.back() != '/') baseFolder_ += '/';
}

int TVrFileManager::AddArchive(const std::string& path) {
  for (int i = 0; i < archives_.Count(); ++i) {
    const std::string& base = archives_[i]->BaseFolder();
    std::string bare = base.empty() ? base : base.substr(0, base.size() - 1);
    if (!path.empty() && (SameText(base, path) || SameText(bare, path))) return -1;
  }
  auto archive = std::make_unique<TVrFileCollection>();
  archive->OpenArchiveFile(path);
  archives_.Add(std::move(archive));
  return archives_.Count() - 1;
}

int TVrFileManager::AddResourceArchive(const std::string& resourceName, const std::string& resourceType) {
  auto archive = std::make_unique<TVrFileCollection>();
  archive->OpenArchiveResource(resourceName, resourceType);
  archives_.Add(std::move(archive));
  return archives_.Count() - 1;
}

void TVrFileManager::RemoveArchive(int index) {
  if (index >= 0 && index < archives_.Count()) archives_.Delete(index);
}

TVrFile* TVrFileManager::FindEntry(const std::string& name) const {
  for (int i = 0; i < archives_.Count(); ++i)
    if (TVrFile* e = archives_[i]->FindEntry(name); e && e->Name() != TVrFileCollection::kSentinel) return e;
  return nullptr;
}

bool TVrFileManager::HasFile(const std::string& name) {
  if (name.empty()) return false;
  if (FindEntry(name)) return true;
  if (DiskNames().Exists(baseFolder_, name)) return true;
  for (const auto& disc : discs_)
    if (DiskNames().Exists(disc, name)) return true;
  return false;
}

void TVrFileManager::LoadFile(TKvBigStream& target, const std::string& name) {
  if (auto* memory = dynamic_cast<TKvMemoryStream*>(&target)) memory->Clear();
  TVrCache& cache = cache_.Get(name);
  TKvMemoryStream& content = *cache.Content;
  if (content.GetSize() == 0) {
    try {
      if (!FillCache(content, target, name)) return;
    } catch (...) {
      // Bytes of a read that failed half-way would be served as the file next time: the
      // entry is left empty, which counts as not cached.
      content.Clear();
      throw;
    }
  }
  content.SetPosition(0);
  target.CopyFromBig(content, content.GetSize());
  target.SetPosition(0);
}

bool TVrFileManager::FillCache(TKvMemoryStream& content, TKvBigStream& target, const std::string& name) {
  auto fromDisk = [&](const std::string& folder) {
    auto path = DiskNames().Resolve(folder, name);
    if (!path) return false;
    TKvFileStream file(*path, fmOpenRead | fmShareDenyWrite);
    content.CopyFromBig(file, 0);
    return true;
  };
  if (fromDisk(baseFolder_)) return true;

  for (int i = 0; i < archives_.Count(); ++i) {
    TVrFileCollection& archive = *archives_[i];
    TVrFile* e = archive.FindEntry(name);
    if (!e || e->Name() == TVrFileCollection::kSentinel) continue;
    if (e->Content) {
      // Entries built in memory are never cached: they change while the player runs.
      cache_.RemoveByName(name);
      e->Content->SetPosition(0);
      target.CopyFromBig(*e->Content, e->Content->GetSize());
      target.SetPosition(0);
      return false;
    }
    if (!archive.Stream()) continue;
    archive.ReadEntry(*e, content, InflateLimit);
    return true;
  }
  for (const auto& disc : discs_)
    if (fromDisk(disc)) return true;
  throw EOrbaError(NotFound(name));
}

std::unique_ptr<TRangeStream> TVrFileManager::OpenRange(const std::string& name) {
  if (auto path = DiskNames().Resolve(baseFolder_, name)) return NewFileRangeStream(*path, TRangeStream::kWhole, 0);
  for (int i = 0; i < archives_.Count(); ++i)
    if (auto range = archives_[i]->OpenEntry(name)) return range;
  for (const auto& disc : discs_)
    if (auto path = DiskNames().Resolve(disc, name)) return NewFileRangeStream(*path, TRangeStream::kWhole, 0);
  throw EOrbaError(NotFound(name));
}

std::string TVrFileManager::GetFileName(const std::string& name) {
  if (auto path = DiskNames().Resolve(baseFolder_, name)) return *path;
  if (FindEntry(name)) {
    if (TVrLockData* lock = locks_.FindByName(name)) {
      ++lock->LockCount;
      return locks_.WorkFileOf(*lock);
    }
    return ExtractToTemp(name);
  }
  for (const auto& disc : discs_)
    if (auto path = DiskNames().Resolve(disc, name)) return *path;
  return name;
}

std::string TVrFileManager::ExtractToTemp(const std::string& name) {
  // The bytes first: a name that cannot be read leaves no lock behind, so a later request
  // never finds one pointing at a work file that was never written.
  TKvMemoryStream bytes;
  LoadFile(bytes, name);
  WorkFolder();
  TVrLockData& lock = locks_.NewLock(name);
  std::string path = locks_.WorkFileOf(lock);
  try {
    TKvFileStream out(path, fmCreate);
    out.Write(bytes.Bytes().data(), bytes.GetSize());
    out.Close();
  } catch (const EOrbaError&) {
    locks_.Remove(lock);
    throw EOrbaError(Sjis(u8"作業用ファイルが作れません"));
  }
  return path;
}

std::string TVrFileManager::FolderOf(const std::string& name) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < name.size(); i += CharLenAt(name, i))
    if (name[i] == '\\') last = i;
  return last == std::string::npos ? std::string() : name.substr(0, last + 1);
}

std::string TVrFileManager::FormatDiscPrompt(const std::string& prompt, int diskNumber) {
  std::string out;
  bool done = false;
  for (size_t i = 0; i < prompt.size(); i += CharLenAt(prompt, i)) {
    if (!done && prompt.compare(i, 2, "%d") == 0) {
      out += std::to_string(diskNumber);
      done = true;
      ++i;
    } else {
      out.append(prompt, i, CharLenAt(prompt, i));
    }
  }
  return out;
}

bool TVrFileManager::MountDisk(int diskIndex) {
  bool mounted = false;
  for (const auto& disc : discs_) {
    auto data = DiskNames().Resolve(disc, "game.dat");
    auto install = DiskNames().Resolve(disc, "install.dat");
    if (!data || !install) continue;
    TOrbaInstallSet set;
    try {
      set.LoadFromFile(*install);
    } catch (const EOrbaError&) {
      continue;  // a disc whose description cannot be read is not ours
    }
    if (set.Title != prompt_.ProjectName || set.DiscIndex != diskIndex) continue;
    try {
      if (AddArchive(*data) >= 0) mounted = true;
    } catch (const EOrbaError&) {
    }
  }
  return mounted;
}

bool TVrFileManager::RequestDisk(int diskNumber) {
  // Archives of the discs go first: the disc in the drive is about to change.
  for (int i = archives_.Count() - 1; i >= 0; --i)
    for (const auto& disc : discs_)
      if (archives_[i]->BaseFolder().size() >= disc.size() &&
          SameText(archives_[i]->BaseFolder().substr(0, disc.size()), disc)) {
        archives_.Delete(i);
        break;
      }
  if (!prompt_.AskOkCancel) return false;
  for (;;) {
    if (prompt_.AskOkCancel(prompt_.Title, FormatDiscPrompt(prompt_.Prompt, diskNumber))) {
      if (MountDisk(diskNumber - 1)) return true;
    } else if (prompt_.AskOkCancel(prompt_.Title, prompt_.ExitMessage)) {
      if (prompt_.RequestClose) prompt_.RequestClose();
      return false;
    }
  }
}

void TVrFileManager::Tick(int32_t elapsed) {
  locks_.Tick(elapsed);
  RunFileDeletions();
}

namespace {
std::unique_ptr<TVrFileManager>& ManagerSlot() {
  static std::unique_ptr<TVrFileManager> manager;
  return manager;
}
}  // namespace

TVrFileManager& VrFileManager() {
  auto& slot = ManagerSlot();
  if (!slot) slot = std::make_unique<TVrFileManager>();
  return *slot;
}

void FreeVrFileManager() { ManagerSlot().reset(); }

}  // namespace orba
