#include "platform/posix/posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "base/cp932.h"
#include "files/replacefile.h"

namespace orba::platform::posix {

namespace fs = std::filesystem;

uint32_t Clock::NowMs() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void Clock::SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

namespace {

class FileLockHandle : public IInstanceLock::Handle {
 public:
  explicit FileLockHandle(int fd) : fd_(fd) {}
  ~FileLockHandle() override {
    flock(fd_, LOCK_UN);
    close(fd_);
  }

 private:
  int fd_;
};

}  // namespace

InstanceLock::InstanceLock(std::string folder) : folder_(folder.empty() ? RuntimeFolder() : std::move(folder)) {}

std::string InstanceLock::RuntimeFolder() {
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg && fs::is_directory(xdg)) return xdg;
  std::error_code ec;
  fs::path temp = fs::temp_directory_path(ec);
  if (ec) return {};
  return PrivateFolder((temp / ("orbaplayer-" + std::to_string(getuid()))).string());
}

std::string InstanceLock::PrivateFolder(const std::string& path) {
  // The temporary folder is shared: whoever made the folder first owns it, so one made by
  // someone else (or a link planted in its place) is never used.
  mkdir(path.c_str(), 0700);
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return {};
  if ((st.st_mode & 0777) != 0700 && chmod(path.c_str(), 0700) != 0) return {};
  return path;
}

std::string InstanceLock::LockFileName(const std::string& key) {
  std::string utf8 = ToUtf8(key), name = "orbaplayer-";
  for (char c : utf8) {
    if (c == '/') name += "%2F";
    else if (c == '%') name += "%25";
    else name += c;
  }
  if (name.size() > 200) {
    char hash[32];
    std::snprintf(hash, sizeof hash, "%016zx", std::hash<std::string>{}(key));
    name = "orbaplayer-" + name.substr(name.size() - 150) + "-" + hash;
  }
  return name + ".lock";
}

std::unique_ptr<IInstanceLock::Handle> InstanceLock::TryAcquire(const std::string& key) {
  if (folder_.empty()) return std::make_unique<Handle>();
  std::string path = folder_ + "/" + LockFileName(key);
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  // A lock folder we cannot write must not keep the player from running.
  if (fd < 0) return std::make_unique<Handle>();
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<FileLockHandle>(fd);
}

std::string Paths::ExecutablePath() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

std::string Paths::ExecutableFolder() {
  std::string exe = ExecutablePath();
  return exe.empty() ? "./" : fs::path(exe).parent_path().string() + "/";
}

std::string Paths::AbsoluteFolder(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::absolute(path), ec);
  std::string s = (ec ? fs::absolute(path) : p).string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::string Paths::UserDataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string folder;
  if (data && *data == '/') {
    folder = data;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    folder = std::string(home) + "/.local/share";
  } else {
    return {};
  }
  return folder.back() == '/' ? folder : folder + "/";
}

std::string Paths::PicturesFolderIn(const std::string& userDirs, const std::string& home) {
  std::istringstream lines(userDirs);
  std::string line;
  const std::string key = "XDG_PICTURES_DIR=\"";
  while (std::getline(lines, line)) {
    if (line.compare(0, key.size(), key) != 0) continue;
    const size_t end = line.find('"', key.size());
    if (end == std::string::npos) return {};
    std::string folder = line.substr(key.size(), end - key.size());
    if (folder.compare(0, 6, "$HOME/") == 0) folder = home + folder.substr(5);
    return folder.empty() || folder[0] != '/' ? std::string() : folder;
  }
  return {};
}

std::string Paths::PicturesFolder() {
  std::string folder;
  const char* home = std::getenv("HOME");
  if (const char* env = std::getenv("XDG_PICTURES_DIR"); env && *env == '/') {
    folder = env;
  } else if (home && *home) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string file = (config && *config == '/' ? std::string(config) : std::string(home) + "/.config") + "/user-dirs.dirs";
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    folder = PicturesFolderIn(text.str(), home);
  }
  std::error_code ec;
  if (folder.empty() || !std::filesystem::is_directory(folder, ec)) return {};
  return folder.back() == '/' ? folder : folder + "/";
}

std::string Paths::TempFolder() {
  std::string t = fs::temp_directory_path().string();
  return t.back() == '/' ? t : t + "/";
}

std::vector<std::string> Paths::DiscFoldersIn(const std::string& mountTable) {
  std::vector<std::string> folders;
  std::istringstream lines(mountTable);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string device, folder, type;
    if (!(words >> device >> folder >> type) || (type != "iso9660" && type != "udf")) continue;
    // The mount table writes a space as \040 (and tab, newline, backslash likewise).
    std::string plain;
    for (size_t i = 0; i < folder.size(); ++i) {
      auto octal = [&](size_t k) { return k < folder.size() && folder[k] >= '0' && folder[k] <= '7'; };
      if (folder[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
        plain += static_cast<char>((folder[i + 1] - '0') * 64 + (folder[i + 2] - '0') * 8 + (folder[i + 3] - '0'));
        i += 3;
      } else {
        plain += folder[i];
      }
    }
    folders.push_back(plain.back() == '/' ? plain : plain + "/");
  }
  return folders;
}

std::vector<std::string> Paths::DiscFolders() {
  std::ifstream in("/proc/mounts");
  std::stringstream text;
  text << in.rdbuf();
  return DiscFoldersIn(text.str());
}

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// "[name]" gives name; anything else gives nothing.
std::optional<std::string> SectionOf(const std::string& line) {
  std::string t = Trim(line);
  if (t.size() >= 2 && t.front() == '[' && t.back() == ']') return Trim(t.substr(1, t.size() - 2));
  return std::nullopt;
}

}  // namespace

std::optional<std::string> IniSettings::Read(const std::string& path, const std::string& section,
                                             const std::string& key) {
  bool inSection = false;
  for (const auto& line : ReadLines(path)) {
    if (auto s = SectionOf(line)) {
      inSection = SameText(*s, section);
      continue;
    }
    size_t eq = line.find('=');
    if (inSection && eq != std::string::npos && SameText(Trim(line.substr(0, eq)), key))
      return Trim(line.substr(eq + 1));
  }
  return std::nullopt;
}

bool IniSettings::Write(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
  std::vector<std::string> lines = ReadLines(path);
  bool inSection = false, done = false;
  int sectionEnd = -1;
  for (size_t i = 0; i < lines.size() && !done; ++i) {
    if (auto s = SectionOf(lines[i])) {
      inSection = SameText(*s, section);
      if (inSection) sectionEnd = static_cast<int>(i) + 1;
      continue;
    }
    if (!inSection) continue;
    size_t eq = lines[i].find('=');
    if (eq != std::string::npos && SameText(Trim(lines[i].substr(0, eq)), key)) {
      lines[i] = key + "=" + value;
      done = true;
    } else if (!Trim(lines[i]).empty()) {
      sectionEnd = static_cast<int>(i) + 1;
    }
  }
  if (!done) {
    if (sectionEnd < 0) {
      lines.push_back("[" + section + "]");
      sectionEnd = static_cast<int>(lines.size());
    }
    lines.insert(lines.begin() + sectionEnd, key + "=" + value);
  }
  std::string text;
  for (const auto& l : lines) text += l + "\n";
  try {
    WriteFileReplacing(path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool SyncFile(std::FILE* file) { return fsync(fileno(file)) == 0; }

bool SyncFolder(const std::filesystem::path& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}


}  // namespace orba::platform::posix
