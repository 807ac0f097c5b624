#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

using namespace std::string_literals;

#include "base/error.h"
#include "files/bigstream.h"
#include "files/diskpath.h"
#include "files/header.h"
#include "files/vrmanager.h"

namespace orba {
namespace {

using testing_support::TempDir;

namespace fs = std::filesystem;

void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Load(TVrFileManager& m, const std::string& name) {
  TKvMemoryStream out;
  m.LoadFile(out, name);
  EXPECT_EQ(out.GetPosition(), 0);
  return {out.Bytes().begin(), out.Bytes().end()};
}

// Writes game.dat in dir with the given entries.
void WriteArchive(const std::string& path, const std::vector<std::pair<std::string, std::string>>& files) {
  TVrFileCollection c;
  for (const auto& [name, data] : files) c.AddMemoryEntry(name)->Content->Write(data.data(), static_cast<int64_t>(data.size()));
  TKvBigFileStream out(path, fmCreate);
  ASSERT_TRUE(c.WriteArchive(out, TArchiveSources::MemoryAndArchive));
}

TEST(DiskNames, MapStoredNamesCaseInsensitively) {
  TempDir dir;
  WriteFile(dir / "BG/Event/E01.png", "e");
  WriteFile(dir / "\xE8\xA1\xA8/a.txt", "k");  // 表: second byte 0x5C in code page 932
  WriteFile(dir / "top.txt", "t");
  WriteFile(dir / "\xE3\x81\x82" "A.txt", "a");
  TDiskNames names;
  std::string base = dir.path.string() + "/";
  struct Case { std::string stored; std::string found; } cases[] = {
      {"bg\\event\\e01.PNG", "BG/Event/E01.png"},
      {"BG\\Event\\E01.png", "BG/Event/E01.png"},
      {"\x95\x5C\\A.TXT", "\xE8\xA1\xA8/a.txt"},
      {"TOP.txt", "top.txt"},
      {"\x82\xA0" "a.txt", "\xE3\x81\x82" "A.txt"},  // あa.txt: the letter after a UTF-8 kana folds too
      {"bg\\event", ""},          // a folder is no file
      {"..\\x", ""},
      {"bg\\..\\top.txt", ""},
      {"c:\\top.txt", ""},
      {"missing.txt", ""},
  };
  for (const auto& c : cases) {
    auto got = names.Resolve(base, c.stored);
    EXPECT_EQ(got.value_or(""), c.found.empty() ? "" : base + c.found) << c.stored;
  }
  // A file added later is found: the listing is read again when its folder changes.
  WriteFile(dir / "Later.TXT", "l");
  EXPECT_TRUE(names.Exists(base, "later.txt"));
}

TEST(VirtualFiles, SearchOrderAndNames) {
  TempDir dir;
  WriteFile(dir / "both.txt", "from disk");
  WriteArchive(dir / "game.dat", {{"both.txt", "from archive"}, {"Only\\Archived.txt", "archived"}, {"empty", ""}});
  TVrFileManager m;
  m.SetBaseFolder(dir.path.string());
  ASSERT_EQ(m.AddArchive(dir / "game.dat"), 0);
  EXPECT_EQ(m.AddArchive(dir.path.string()), -1);  // that folder's archive is mounted already

  EXPECT_EQ(Load(m, "both.txt"), "from disk");
  EXPECT_EQ(Load(m, "only\\ARCHIVED.TXT"), "archived");
  EXPECT_EQ(Load(m, "empty"), "");
  EXPECT_TRUE(m.HasFile("BOTH.TXT"));
  EXPECT_TRUE(m.HasFile("only\\archived.txt"));
  EXPECT_FALSE(m.HasFile(""));
  EXPECT_FALSE(m.HasFile("nope"));
  EXPECT_THROW(Load(m, "nope"), EOrbaError);
  EXPECT_EQ(m.GetFileName("both.txt"), dir / "both.txt");
  auto range = m.OpenRange("both.txt");
  EXPECT_EQ(range->GetSize(), 9);
  EXPECT_THROW(m.OpenRange("nope"), EOrbaError);
}

TEST(VirtualFiles, WorkFilesAreReusedAndRemoved) {
  TempDir dir;
  WriteArchive(dir / "game.dat", {{"movie.mpg", "frames"}});
  std::string work;
  {
    TVrFileManager m;
    m.AddArchive(dir / "game.dat");
    work = m.GetFileName("movie.mpg");
    EXPECT_NE(m.GetFileName("MOVIE.MPG"), work);  // locks match names byte for byte
    EXPECT_EQ(m.GetFileName("movie.mpg"), work);
    EXPECT_EQ(fs::path(work).extension(), ".mpg");
    EXPECT_EQ(fs::path(work).filename().string().substr(0, 3), "~rz");
    std::ifstream in(work);
    std::string text;
    in >> text;
    EXPECT_EQ(text, "frames");
    EXPECT_EQ(m.Locks().FindByName("movie.mpg")->LockCount, 2);
    // Released, the work file goes on the tick its countdown reaches 0, not before.
    m.Locks().Release("movie.mpg", 100);
    m.Tick(60);
    EXPECT_TRUE(fs::exists(work));
    m.Tick(40);
    EXPECT_FALSE(fs::exists(work));
  }
  EXPECT_FALSE(fs::exists(work));
  EXPECT_FALSE(fs::exists(fs::path(work).parent_path()));
}

// An archive 'game.dat' in dir, written from files on disk (so a ".wav" is stored as is)
// and from memory; returns the entries' absolute offsets and the end of the data.
std::vector<int64_t> WriteMixedArchive(const TempDir& dir, const std::vector<std::pair<std::string, std::string>>& files) {
  TVrFileCollection c;
  c.OpenArchiveFile(dir / "src/", true);
  for (const auto& [name, data] : files) {
    if (name.ends_with(".wav")) {
      WriteFile(dir / ("src/" + name), data);
      c.AddEntry(name);
    } else {
      c.AddMemoryEntry(name)->Content->Write(data.data(), static_cast<int64_t>(data.size()));
    }
  }
  {
    TKvBigFileStream out(dir / "game.dat", fmCreate);
    EXPECT_TRUE(c.WriteArchive(out));
  }
  TVrFileCollection back;
  back.OpenArchiveFile(dir / "game.dat");
  std::vector<int64_t> offsets;
  for (int32_t i = 0; i < back.EntryCount(); ++i) offsets.push_back(back.Entry(i)->Offset);
  offsets.push_back(back.Entry(back.EntryCount())->Offset);
  return offsets;
}

// Text that compresses, but not to nothing: words drawn at random.
std::string Words(size_t size) {
  static const char* words[] = {"alpha ", "beta ", "gamma ", "delta ", "epsilon ", "zeta "};
  std::mt19937 gen(7);
  std::string text;
  while (text.size() < size) text += words[gen() % 6];
  text.resize(size);
  return text;
}

TEST(VirtualFiles, AReadThatFailedIsNeverServedFromTheCache) {
  const std::string big = Words(2 << 20);
  const std::string voice(5000, 'v');
  struct Case {
    const char* what;
    std::function<void(const TempDir&, const std::vector<int64_t>&)> damage;
    std::string name;
  } cases[] = {
      {"second half of a compressed entry damaged",
       [](const TempDir& dir, const std::vector<int64_t>& at) {
         std::fstream f(dir / "game.dat", std::ios::in | std::ios::out | std::ios::binary);
         int64_t middle = (at[0] + at[1]) / 2;
         f.seekp(middle);
         std::string junk(64, '\x5A');
         f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
       },
       "big.txt"},
      {"raw entry cut short after mounting",
       [](const TempDir& dir, const std::vector<int64_t>& at) { fs::resize_file(dir / "game.dat", at[1] + 100); },
       "voice.wav"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    auto offsets = WriteMixedArchive(dir, {{"big.txt", big}, {"voice.wav", voice}});
    TVrFileManager m;
    m.AddArchive(dir / "game.dat");
    c.damage(dir, offsets);
    for (int attempt = 1; attempt <= 2; ++attempt) {
      TKvMemoryStream out;
      EXPECT_THROW(m.LoadFile(out, c.name), EOrbaError) << c.what << ", read " << attempt;
    }
    EXPECT_EQ(m.Cache().TotalSize(), 0) << c.what;
  }
}

TEST(VirtualFiles, WorkFilesExistForEveryPathHandedOut) {
  TempDir dir;
  std::string text = Words(20000);
  auto offsets = WriteMixedArchive(dir, {{"bad.mpg", text}, {"empty.mpg", ""}});
  {
    std::fstream f(dir / "game.dat", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp((offsets[0] + offsets[1]) / 2);
    f.write("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8);
  }
  TVrFileManager m;
  m.AddArchive(dir / "game.dat");
  std::string empty = m.GetFileName("empty.mpg");
  EXPECT_TRUE(fs::is_regular_file(empty)) << empty;
  EXPECT_EQ(fs::file_size(empty), 0u);
  for (int attempt = 1; attempt <= 2; ++attempt)
    EXPECT_THROW(m.GetFileName("bad.mpg"), EOrbaError) << "request " << attempt;
  EXPECT_EQ(m.Locks().FindByName("bad.mpg"), nullptr);

  // Work files that cannot be made (a plain file where their folder was): the error says
  // so, and no lock is left to hand out a path later.
  WriteArchive(dir / "other.dat", {{"movie.mpg", "frames"}});
  m.AddArchive(dir / "other.dat");
  const std::string folder = fs::path(m.WorkFolder()).parent_path().string();
  fs::remove_all(folder);
  WriteFile(folder, "in the way");
  for (int attempt = 1; attempt <= 2; ++attempt) {
    try {
      m.GetFileName("movie.mpg");
      ADD_FAILURE() << "a path was handed out, request " << attempt;
    } catch (const EOrbaError& e) {
      EXPECT_EQ(e.Message(), Sjis(u8"作業用ファイルが作れません"));
    }
  }
  fs::remove(folder);
  EXPECT_EQ(m.Locks().FindByName("movie.mpg"), nullptr);
}

TEST(VirtualFiles, CacheKeepsRecentFilesWithinItsBudget) {
  TempDir dir;
  std::string big(3 << 20, 'b');
  WriteFile(dir / "a.txt", "first");
  WriteFile(dir / "big1", big);
  WriteFile(dir / "big2", big);
  WriteFile(dir / "big3", big);
  TVrFileManager m;
  m.SetBaseFolder(dir.path.string());
  EXPECT_EQ(Load(m, "a.txt"), "first");
  WriteFile(dir / "a.txt", "changed");
  EXPECT_EQ(Load(m, "A.TXT"), "first");  // served from the cache, one entry for both spellings
  EXPECT_EQ(m.Cache().Count(), 1);
  Load(m, "big1");
  Load(m, "big2");  // the budget is checked when an entry is added, before it is filled
  EXPECT_EQ(m.Cache().Count(), 3);
  Load(m, "big3");  // now over budget: the oldest go (a.txt, then big1) until it fits
  EXPECT_EQ(m.Cache().Count(), 2);
  EXPECT_EQ(Load(m, "a.txt"), "changed");
}

TEST(VirtualFiles, ReadingAgainMakesAFileTheMostRecent) {
  TVrCacheList cache(10);
  auto fill = [&](const char* name) { cache.Get(name).Content->Write("123456", 6); };
  fill("a");
  fill("b");
  EXPECT_EQ(cache.Get("A").Content->GetSize(), 6);  // a read again: now the most recent
  fill("c");  // over the budget: the least recent goes, which is b
  ASSERT_EQ(cache.Count(), 2);
  EXPECT_EQ(cache[0].Key, "C");
  EXPECT_EQ(cache[1].Key, "A");
}

TEST(VirtualFiles, DamagedArchiveLeavesTheManagerAsItWas) {
  TempDir dir;
  WriteFile(dir / "bad.dat", "vf\x66\0\0\0\xFF\xFF\xFF\x7F"s);
  TVrFileManager m;
  EXPECT_THROW(m.AddArchive(dir / "bad.dat"), EOrbaError);
  EXPECT_EQ(m.ArchiveCount(), 0);
  EXPECT_EQ(m.AddArchive(dir / "missing.dat"), 0);  // a missing file mounts an empty archive
}

TEST(VirtualFiles, FolderOf) {
  struct Case { std::string name, folder; } cases[] = {
      {"image\\bg\\a.png", "image\\bg\\"}, {"a.png", ""}, {"C:\\x\\a.png", "C:\\x\\"},
      {"\\\\server\\share\\a", "\\\\server\\share\\"}, {"\x95\x5C.png", ""}, {"d\\\x95\x5C", "d\\"}};
  for (const auto& c : cases) EXPECT_EQ(TVrFileManager::FolderOf(c.name), c.folder) << c.name;
}

TEST(BigStreams, VolumesSplitAtTheirSize) {
  TempDir dir;
  WriteFile(dir / "a.001", "stale");
  WriteFile(dir / "a.002", "stale");
  WriteFile(dir / "a.004", "kept: not in sequence");
  {
    TKvBigFileStream s(dir / "a.dat", fmCreate, 100);
    EXPECT_FALSE(fs::exists(dir / "a.001"));
    EXPECT_FALSE(fs::exists(dir / "a.002"));
    EXPECT_TRUE(fs::exists(dir / "a.004"));
    std::string data(110, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i);
    EXPECT_EQ(s.Write(data.data(), 110), 110);
  }
  EXPECT_EQ(fs::file_size(dir / "a.dat"), 100u);
  EXPECT_EQ(fs::file_size(dir / "a.001"), 10u);
  TKvBigFileStream r(dir / "a.dat", fmOpenRead, 100);
  EXPECT_EQ(r.GetSize(), 110);
  r.SetPosition(90);
  char buf[20];
  EXPECT_EQ(r.Read(buf, 20), 20);
  EXPECT_EQ(buf[0], 90);
  EXPECT_EQ(buf[19], 109);
  r.SetPosition(500);
  EXPECT_EQ(r.GetPosition(), 110);
}

TEST(BigStreams, RangesAndTheBufferedReader) {
  std::vector<uint8_t> bytes(300);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  TRangeStream range(std::make_unique<TKvMemoryStream>(bytes), 100, 50);
  EXPECT_EQ(range.Seek(-10, TRangeStream::soBeginning), 0);
  EXPECT_EQ(range.Seek(0, TRangeStream::soEnd), 50);
  range.Seek(40, TRangeStream::soBeginning);
  uint8_t buf[80];
  EXPECT_EQ(range.Read(buf, 80), 10);
  EXPECT_EQ(buf[0], 140);
  TRangeStream whole(std::make_unique<TKvMemoryStream>(bytes), 100, TRangeStream::kWhole);
  EXPECT_EQ(whole.GetSize(), 200);
  TRangeStream none(std::make_unique<TKvMemoryStream>(bytes), 100, 0);
  EXPECT_EQ(none.Read(buf, 80), 0);

  TKvMemoryStream source(std::vector<uint8_t>(250000, 1));
  {
    TKvBuffBigStream buffered(source);
    EXPECT_EQ(buffered.Read(buf, 10), 10);
    EXPECT_EQ(buffered.GetPosition(), 10);
  }
  EXPECT_EQ(source.GetPosition(), 10);  // the unread rest of the buffer was put back
}

}  // namespace
}  // namespace orba

namespace orba {
namespace {

TEST(VirtualFiles, DiscPromptMountsTheRightDisc) {
  TempDir dir;
  // Two discs in two drives: disc 2 of this project, and disc 2 of another project.
  for (auto [folder, title] : {std::pair{"drive1", "Story"}, std::pair{"drive2", "Other"}}) {
    std::string root = dir / folder;
    fs::create_directories(root);
    WriteArchive(root + "/game.dat", {{std::string("on-") + folder, "x"}});
    TOrbaInstallSet set;
    set.Title = title;
    set.DiscIndex = 1;
    set.SaveToFile(root + "/install.dat");
  }
  TVrFileManager m;
  m.SetDiscFolders({dir / "drive1/", dir / "drive2/"});
  int asked = 0;
  bool closed = false;
  auto& p = m.DiscPrompt();
  p.ProjectName = "Story";
  p.Title = "Story";
  p.Prompt = "Disc %d please (100%% sure) %d";
  p.AskOkCancel = [&](const std::string&, const std::string& text) {
    // OK to the prompt the first times only: a disc that never mounts ends the test with a
    // failure instead of asking for ever.
    ++asked;
    if (text == p.ExitMessage) return true;
    EXPECT_EQ(text, "Disc 2 please (100%% sure) %d");
    return asked <= 3;
  };
  p.RequestClose = [&] { closed = true; };
  EXPECT_TRUE(m.RequestDisk(2));
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(m.HasFile("on-drive1"));
  EXPECT_FALSE(m.HasFile("on-drive2"));

  // Asking again unmounts the disc's archive first; refusing and confirming the exit closes.
  int answers = 0;
  p.AskOkCancel = [&](const std::string&, const std::string& text) {
    ++answers;
    return text == p.ExitMessage;  // Cancel the prompt, OK the exit question
  };
  EXPECT_FALSE(m.RequestDisk(3));
  EXPECT_EQ(answers, 2);
  EXPECT_TRUE(closed);
  EXPECT_FALSE(m.HasFile("on-drive1"));
}

}  // namespace
}  // namespace orba
