// The install set and the folder-to-disc list: every version of "install.dat" the player
// meets, written here byte by byte; hostile files; the disc lookup by folder.
#include <gtest/gtest.h>

#include "support/fuzz_seeds.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "base/binio.h"
#include "files/header.h"

namespace orba {
namespace {

using testing_support::TempDir;

namespace fs = std::filesystem;

// A set with a distinct value in every field. Some array values have the top bit of the
// low half set, so a reader that sign-extends the 32-bit values of old files shows up.
TOrbaInstallSet Sample() {
  TOrbaInstallSet s;
  s.DiscIndex = 2;
  s.Title = "\x83\x5E\x83\x43\x83\x67\x83\x8B";  // double-byte text
  s.Text2 = "t2", s.Text3 = "t3", s.Text4 = "t4", s.Text5 = "t5";
  s.Text6 = "t6", s.Text7 = "t7", s.Text8 = "t8", s.Text9 = "t9";
  s.Flag1 = 0x11, s.Flag2 = 0x22, s.Flag3 = 0x33, s.Flag4 = 0x44;
  s.Flag5 = 0x55, s.Flag6 = 0x66, s.Flag7 = 0x77, s.Flag8 = 0x88;
  s.Number1 = -7;
  s.SetCount(2);
  s.Rows[0] = {0x100000001, 0x80000002, -3, 4};
  s.Rows[1] = {5, 0x7FFFFFFF00000006, 7, 0xFFFFFFFF};
  s.V = {0x900000009, 10, 0x8000000B, -12};
  s.CompleteInstall = 1;
  s.FileList = {"bg\\a.png", "\x95\x5C\\b.ogg"};
  s.List2 = {"x", "", "y"};
  return s;
}

// What a file of the given version holds of Sample(): fields it lacks keep their initial
// values, and up to version 99 only the low halves of the 64-bit values are stored.
TOrbaInstallSet ExpectedFor(int version) {
  TOrbaInstallSet s = Sample();
  if (version <= 99) {
    auto low = [](int64_t v) { return static_cast<int64_t>(static_cast<uint32_t>(v)); };
    for (auto& row : s.Rows) row = {low(row.A), low(row.B), low(row.C), low(row.D)};
    for (auto& v : s.V) v = low(v);
  }
  if (version <= 100) s.Flag6 = 0;
  if (version <= 101) s.FileList.clear();
  if (version <= 102) s.CompleteInstall = 0;
  if (version <= 103) s.Flag7 = 0;
  if (version <= 104) s.Flag8 = 0;
  if (version <= 105) s.List2.clear();
  if (version <= 106) s.Text9.clear();
  return s;
}

// Sample() as a file of the given version, field by field in the stored order. The file
// list carries an extra empty name, which readers skip. Version 0 has no tag.
std::vector<uint8_t> InstallFile(int version) {
  const TOrbaInstallSet s = Sample();
  TKvMemoryStream m;
  TBinaryWriter w(m);
  if (version > 0) {
    char tag[16];
    std::snprintf(tag, sizeof tag, "is%03d", version);
    w.Write(tag, 5);
  }
  auto wide = [&](int64_t v) { version <= 99 ? w.U32(static_cast<uint32_t>(v)) : w.I64(v); };
  w.I32(s.DiscIndex);
  w.String(s.Title);
  w.String(s.Text2);
  w.String(s.Text3);
  w.String(s.Text4);
  w.U8(s.Flag1);
  w.String(s.Text5);
  w.U8(s.Flag2);
  w.I32(s.Count());
  w.String(s.Text6);
  w.I32(s.Number1);
  w.U8(s.Flag3);
  w.U8(s.Flag4);
  w.String(s.Text7);
  w.String(s.Text8);
  for (const auto& row : s.Rows) wide(row.A), wide(row.B), wide(row.C), wide(row.D);
  for (int64_t v : s.V) wide(v);
  w.U8(s.Flag5);
  if (version > 100) w.U8(s.Flag6);
  if (version > 101) {
    w.I32(static_cast<int32_t>(s.FileList.size()) + 1);
    w.String(s.FileList[0]);
    w.String("");
    w.String(s.FileList[1]);
  }
  if (version > 102) w.U8(s.CompleteInstall);
  if (version > 103) w.U8(s.Flag7);
  if (version > 104) w.U8(s.Flag8);
  if (version > 105) {
    w.I32(static_cast<int32_t>(s.List2.size()));
    for (const auto& e : s.List2) w.String(e);
  }
  if (version > 106) w.String(s.Text9);
  return m.TakeBytes();
}

std::vector<uint8_t> Written(const TOrbaInstallSet& s) {
  TKvMemoryStream m;
  s.SaveToStream(m);
  return m.TakeBytes();
}

TOrbaInstallSet Read(std::vector<uint8_t> bytes) {
  TKvMemoryStream m(std::move(bytes));
  TOrbaInstallSet s;
  s.LoadFromStream(m);
  EXPECT_EQ(m.GetPosition(), m.GetSize()) << "the reader stopped before the end of the file";
  return s;
}

TEST(InstallSet, ReadsEveryVersionAndRewritesItAs107) {
  // One version on each side of every gate of the layout.
  for (int version : {0, 99, 100, 101, 102, 103, 104, 105, 106, 107}) {
    SCOPED_TRACE("version " + std::to_string(version));
    TOrbaInstallSet s = Read(InstallFile(version));
    EXPECT_TRUE(s == ExpectedFor(version));
    std::vector<uint8_t> rewritten = Written(s);
    ASSERT_GE(rewritten.size(), 5u);
    EXPECT_EQ(std::string(rewritten.begin(), rewritten.begin() + 5), "is107");
    EXPECT_TRUE(Read(rewritten) == s) << "a rewrite lost a field";
  }
  // The writer's bytes are exactly the layout, not just something its own reader accepts.
  // (The fixture's extra empty file name is the only difference.)
  TOrbaInstallSet withEmptyName = Sample();
  withEmptyName.FileList.insert(withEmptyName.FileList.begin() + 1, "");
  EXPECT_EQ(Written(withEmptyName), InstallFile(107));
}

// Little-endian int32 values, then padding zero bytes.
std::vector<uint8_t> Ints(const std::vector<int32_t>& ints, size_t padding = 0) {
  TKvMemoryStream m;
  TBinaryWriter w(m);
  for (int32_t v : ints) w.I32(v);
  auto out = m.TakeBytes();
  out.resize(out.size() + padding);
  return out;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A version-107 file of empty fields and no rows, with the given N and the given int32
// values in place of the file list and of the second list, then 64 spare zero bytes so
// that a negative value is refused for being negative, not for running out.
struct Spoiled {
  int32_t n = 0;
  std::vector<int32_t> fileList = {0};
  std::vector<int32_t> list2 = {0};

  std::vector<uint8_t> Bytes() const {
    using B = std::vector<uint8_t>;
    return ToBytes("is107") +
           Ints({0, 0, 0, 0, 0}) + B(1) +  // disc, title, texts 2-4, flag 1
           Ints({0}) + B(1) +              // text 5, flag 2
           Ints({n, 0, 0}) + B(2) +        // N, text 6, number 1, flags 3-4
           Ints({0, 0}) +                  // texts 7-8, then no rows
           B(32 + 2) +                     // V1-V4, flags 5-6
           Ints(fileList) + B(3) +         // CompleteInstall, flags 7-8
           Ints(list2) + Ints({0}, 64);    // text 9, spare bytes
  }
};

TEST(InstallSet, HostileFilesRaiseAndLeaveTheSetAsItWas) {
  {
    TKvMemoryStream m(Spoiled{}.Bytes());
    TOrbaInstallSet s;
    ASSERT_NO_THROW(s.LoadFromStream(m)) << "the unspoiled file must be valid for the cases to mean anything";
  }
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"empty file", {}},
      {"tag with a version that is not a number", ToBytes("is1x7") + Ints({}, 80)},
      {"negative title length", ToBytes("is107") + Ints({0, -1}, 64)},
      {"title longer than the file", ToBytes("is107") + Ints({0, 1000}, 64)},
      {"N of two billion", Spoiled{.n = 0x7FFFFFFF}.Bytes()},
      {"N larger than the bytes that follow", Spoiled{.n = 100}.Bytes()},
      {"negative N", Spoiled{.n = -1}.Bytes()},
      {"file count of a billion", Spoiled{.fileList = {0x40000000}}.Bytes()},
      {"negative file count", Spoiled{.fileList = {-1}}.Bytes()},
      {"negative file name length", Spoiled{.fileList = {1, -5}}.Bytes()},
      {"second list of two billion", Spoiled{.list2 = {0x7FFFFFFF}}.Bytes()},
      {"negative second-list count", Spoiled{.list2 = {-2}}.Bytes()},
  };
  for (auto& c : cases) {
    TOrbaInstallSet s = Sample();
    TKvMemoryStream m(c.bytes);
    EXPECT_THROW(s.LoadFromStream(m), EReadError) << c.name;
    EXPECT_TRUE(s == Sample()) << c.name << ": a failed load changed the set";
  }
  // Every proper prefix of a complete file is a truncated file.
  std::vector<uint8_t> whole = Written(Sample());
  for (size_t len = 0; len < whole.size(); ++len) {
    TKvMemoryStream m(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(len)));
    TOrbaInstallSet s;
    EXPECT_THROW(s.LoadFromStream(m), EReadError) << "prefix of " << len << " bytes";
  }
}

// The seeds of the install-set fuzz target are files of our own writer and of the old
// versions above. Run with ORBA_WRITE_FUZZ_SEEDS=1 to write them anew after a deliberate
// change of the layout; otherwise a difference means the stored form changed.
TEST(InstallSet, FuzzSeedsAreWhatTheWriterMakes) {
  struct Seed {
    const char* name;
    std::vector<uint8_t> bytes;
  } seeds[] = {
      {"v107", Written(Sample())},
      {"v107-empty", Written(TOrbaInstallSet{})},
      {"v105", InstallFile(105)},
      {"v099", InstallFile(99)},
      {"v000", InstallFile(0)},
  };
  for (const auto& seed : seeds) testing_support::ExpectFuzzSeed("install_set", seed.name, seed.bytes);
}

TEST(InstallSet, FileListIgnoresAsciiCaseOnly) {
  TOrbaInstallSet s;
  s.AddFile("BG\\Title.png");
  s.AddFile("bg\\TITLE.PNG");
  // 0x83 0x41 and 0x83 0x61 are two different katakana: their second bytes must not fold.
  s.AddFile("\x83\x41");
  s.AddFile("\x83\x61");
  EXPECT_EQ(s.FileList, (std::vector<std::string>{"BG\\Title.png", "\x83\x41", "\x83\x61"}));
  EXPECT_EQ(s.IndexOfFile("bg\\title.png"), 0);
  EXPECT_EQ(s.IndexOfFile("\x83\x61"), 2);
  EXPECT_EQ(s.IndexOfFile("bg\\title.pn"), -1);
}

TEST(InstallSet, SavesToFileThroughATemporaryRenamedIntoPlace) {
  TempDir dir;
  fs::path file = dir.path / "install.dat";
  std::ofstream(file, std::ios::binary) << "an older, longer file that the new one replaces entirely";
  TOrbaInstallSet s = Sample();
  s.SaveToFile(file);
  TOrbaInstallSet back;
  back.LoadFromFile(file);
  EXPECT_TRUE(back == s);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1) << "a temporary file was left";

  EXPECT_THROW(s.SaveToFile(dir.path / "missing" / "install.dat"), EOrbaError);
  EXPECT_THROW(back.LoadFromFile(dir.path / "missing.dat"), EOrbaError);
  EXPECT_TRUE(back == s);
}

TFolderDiskList SampleDisks() {
  TFolderDiskList list;
  list.Add("BGM", 2);
  list.Add("BG\\EVENT", 3);
  list.Add("bgm", 9);        // shadowed: the first listed folder decides
  list.Add("SE\\", 4);       // a stored trailing delimiter is not doubled
  list.Add("\x95\x5C", 5);   // a kanji whose second byte is 0x5C
  list.Add("\x83\x41", 6);
  return list;
}

TEST(FolderDiskList, DiscOfTriesTheNameThenEachParentFolder) {
  TFolderDiskList list = SampleDisks();
  struct Case {
    const char* name;
    int32_t disc;
  } cases[] = {
      {"bg\\event\\e01.png", 3},
      {"BGM\\title.ogg", 2},
      {"bg\\title.png", 0},
      {"bgm", 2},
      {"BGMX\\a.ogg", 0},
      {"bg\\event", 3},
      {"se\\a.wav", 4},
      {"\x95\x5C\\a.png", 5},
      {"\x95\x5C" "a.png", 0},         // 0x5C inside the kanji is no folder delimiter
      {"\x83\x41\\x\\y.png", 6},
      {"\x83\x61\\y.png", 0},          // second bytes do not fold
      {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(list.DiscOf(c.name), c.disc) << c.name;
}

TEST(FolderDiskList, RoundTripsInsideALargerRecordAndKeepsItsListWhenALoadFails) {
  TFolderDiskList list = SampleDisks();
  TKvMemoryStream m;
  TBinaryWriter w(m);
  list.SaveToStream(w);
  w.I32(0x12345678);  // the record goes on after the list
  m.SetPosition(0);
  TBinaryReader r(m);
  TFolderDiskList back;
  back.Add("old", 1);
  back.LoadFromStream(r);
  EXPECT_EQ(back.Items(), list.Items());
  EXPECT_EQ(r.I32(), 0x12345678) << "the list read too much or too little";

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"empty", {}},
      {"second folder longer than the data", Ints({2, 3}) + ToBytes("BGM") + Ints({2, 100}, 8)},
      {"disc number cut short", Ints({1, 3}) + ToBytes("BGM") + std::vector<uint8_t>{2}},
      {"negative count", Ints({-1}, 64)},
      {"count of two billion", Ints({0x7FFFFFFF}, 64)},
      {"negative folder length", Ints({1, -4}, 64)},
  };
  for (const auto& c : cases) {
    TFolderDiskList l = SampleDisks();
    TKvMemoryStream s(c.bytes);
    EXPECT_THROW(l.LoadFromStream(s), EReadError) << c.name;
    EXPECT_EQ(l.Items(), SampleDisks().Items()) << c.name << ": a failed load changed the list";
  }
}

}  // namespace
}  // namespace orba
