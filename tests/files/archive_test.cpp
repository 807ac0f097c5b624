#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "base/binio.h"
#include "base/cp932.h"
#include "files/bigstream.h"
#include "files/kvrandom.h"
#include "files/vrfiles.h"
#include "files/zstream.h"

namespace orba {
namespace {

using testing_support::TempDir;

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::vector<uint8_t> Incompressible(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(gen());
  return v;
}

std::string ReadAll(TVrFileCollection& c, const std::string& name) {
  TKvMemoryStream out;
  c.ReadEntry(name, out);
  return {out.Bytes().begin(), out.Bytes().end()};
}

// Builds an archive image by hand from the layout, for the versions our writer never writes.
// Entry data are stored as zlib streams (old versions know no raw flag).
std::vector<uint8_t> HandBuiltArchive(int version, const std::vector<std::pair<std::string, std::string>>& files,
                                      int64_t start = 0) {
  TKvMemoryStream s;
  TBinaryWriter w(s);
  if (version > 0) {
    w.Write("vf", 2);
    w.I32(version);
  }
  w.I32(static_cast<int32_t>(files.size()));
  TKvRandom names(TKvRandom::kArchiveSeed);
  for (const auto& [name, data] : files) {
    std::string stored = name;
    if (version >= 100)
      for (char& c : stored) c = static_cast<char>(names.ScrambleByte(static_cast<uint8_t>(c)));
    w.String(stored);
  }
  std::vector<std::vector<uint8_t>> blobs;
  for (const auto& f : files) blobs.push_back(Deflate(Bytes(f.second)));
  size_t n = files.size();
  int64_t tables = (n + 1) * (version >= 101 ? 8 : 4) + (version >= 101 ? n * 9 : 0) + (version >= 102 ? n : 0);
  int64_t offset = s.GetPosition() + tables;  // relative to the archive's start
  TKvRandom random(TKvRandom::kArchiveSeed);
  std::vector<int64_t> offsets;
  for (const auto& b : blobs) {
    offsets.push_back(offset);
    offset += static_cast<int64_t>(b.size());
  }
  offsets.push_back(offset);
  for (int64_t o : offsets) {
    if (version >= 101) w.I64(random.ScrambleOffset(o));
    else w.U32(static_cast<uint32_t>(version == 100 ? o ^ static_cast<uint32_t>(random.Next()) : o));
  }
  if (version >= 101) {
    for (size_t i = 0; i < n; ++i) w.U8(0);
    for (size_t i = 0; i < n; ++i) w.U32(0x12345678);
    for (size_t i = 0; i < n; ++i) w.U32(static_cast<uint32_t>(i));
    if (version >= 102)
      for (size_t i = 0; i < n; ++i) w.U8(1);
  }
  for (const auto& b : blobs) w.Write(b.data(), static_cast<int64_t>(b.size()));
  (void)start;
  return s.TakeBytes();
}

// The absolute entry offsets of an archive image, and the end of its data last.
std::vector<int64_t> EntryOffsets(const std::vector<uint8_t>& image) {
  TKvMemoryStream s(image);
  TVrFileCollection c;
  c.ReadDirectory(s);
  std::vector<int64_t> offsets;
  for (int32_t i = 0; i < c.Count(); ++i) offsets.push_back(c.Entry(i)->Offset);
  return offsets;
}

TEST(Archive, ReadsEveryDirectoryVersion) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"orba.rpb", "project"}, {"bg\\\x95\x5C.png", "kanji with a 0x5C second byte"}, {"empty.txt", ""}};
  for (int version : {0, 100, 101, 102}) {
    TempDir dir;
    WriteFile(dir / "game.dat", HandBuiltArchive(version, files));
    TVrFileCollection c;
    c.OpenArchiveFile(dir / "game.dat");
    EXPECT_EQ(c.Version(), version);
    ASSERT_EQ(c.EntryCount(), 3) << version;
    EXPECT_EQ(c.Entry(3)->Name(), "\\EOF\\");
    for (const auto& [name, data] : files) EXPECT_EQ(ReadAll(c, name), data) << version << " " << name;
    EXPECT_EQ(c.IndexOf("ORBA.RPB"), 0);
    EXPECT_EQ(c.Entry(0)->Raw, 0);
    EXPECT_EQ(c.Entry(1)->Checksum, version >= 101 ? 1u : 0u);
    EXPECT_EQ(c.Entry(0)->ChecksumMode, version >= 102 ? 1 : 0);
    EXPECT_EQ(c.BaseFolder(), dir.path.string() + "/");
  }
}

TEST(Archive, WriterRoundTripsThroughEveryContainer) {
  TVrFileCollection source;
  std::string text(20000, 'a');
  std::vector<uint8_t> noise = Incompressible(3000, 1);
  source.AddMemoryEntry("a.txt")->Content->Write(text.data(), static_cast<int64_t>(text.size()));
  source.AddMemoryEntry("noise.bin")->Content->Write(noise.data(), static_cast<int64_t>(noise.size()));
  source.AddMemoryEntry("Folder\\Empty");
  source.Entry(0)->ChecksumMode = 1;
  TKvMemoryStream image;
  ASSERT_TRUE(source.WriteArchive(image, TArchiveSources::MemoryAndArchive));
  std::vector<uint8_t> bytes = image.TakeBytes();

  auto check = [&](TVrFileCollection& c, const std::string& what) {
    ASSERT_EQ(c.EntryCount(), 3) << what;
    EXPECT_EQ(c.Version(), 102);
    EXPECT_EQ(ReadAll(c, "A.TXT"), text) << what;
    EXPECT_EQ(ReadAll(c, "noise.bin"), std::string(noise.begin(), noise.end())) << what;
    EXPECT_EQ(ReadAll(c, "folder\\empty"), "") << what;
    EXPECT_EQ(c.Entry(0)->Raw, 0);  // small in-memory entries are always compressed
    EXPECT_EQ(c.Entry(0)->Checksum, Crc32(Bytes(text)));  // mode 1: over the file's bytes
    EXPECT_EQ(c.Entry(0)->ChecksumMode, 1);
    auto range = c.OpenEntry("a.txt");
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(range->GetSize(), c.Entry(0)->Size);
    EXPECT_THROW(ReadAll(c, "missing"), EOrbaError);
  };

  TempDir dir;
  {  // a plain data file
    WriteFile(dir / "game.dat", bytes);
    TVrFileCollection c;
    c.OpenArchiveFile(dir / "game.dat");
    check(c, "plain");
  }
  {  // volumes of 1000 bytes
    TKvBigFileStream out(dir / "vol.dat", fmCreate, 1000);
    out.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
  }
  EXPECT_TRUE(fs::exists(dir / "vol.001"));
  {
    TVrFileCollection c;
    c.OpenArchiveFile(dir / "vol.dat", false, 1000);
    check(c, "volumes");
  }
  {  // appended to an executable: the trailer gives the archive's start. 'Player.001' beside
     // it is volume 1 of some 'Player.dat', no part of the executable.
    std::vector<uint8_t> exe = Incompressible(777, 2);
    exe.insert(exe.end(), bytes.begin(), bytes.end());
    for (uint32_t a = 777; auto k : {0, 8, 16, 24}) exe.push_back(static_cast<uint8_t>(a >> k));
    exe.push_back('r');
    exe.push_back('z');
    WriteFile(dir / "Player.EXE", exe);
    WriteFile(dir / "Player.001", Incompressible(100, 3));
    TVrFileCollection c;
    c.OpenArchiveFile(dir / "Player.EXE");
    check(c, "executable");
    EXPECT_GT(c.Entry(0)->Offset, 777);
  }
  // The directory in a ".ext" file beside a data file (split into volumes here) that holds the
  // entry bytes at the absolute offsets the directory gives. The ".ext" file is the directory
  // alone; the data file's first bytes, where the directory would stand, are not read.
  const auto directorySize = static_cast<size_t>(EntryOffsets(bytes).front());
  WriteFile(dir / "split.ext", {bytes.begin(), bytes.begin() + static_cast<long>(directorySize)});
  std::vector<uint8_t> data = bytes;
  std::fill(data.begin(), data.begin() + static_cast<long>(directorySize), 0xEE);
  {
    TKvBigFileStream out(dir / "split.dat", fmCreate, 1000);
    out.Write(data.data(), static_cast<int64_t>(data.size()));
  }
  {
    TVrFileCollection c;
    c.OpenArchiveFile(dir / "split.dat", false, 1000);
    check(c, "ext");
  }
  // A data file that ends before the end of the data the directory gives is refused.
  fs::resize_file(dir / "split.001", fs::file_size(dir / "split.001") - 1);
  TVrFileCollection cut;
  EXPECT_THROW(cut.OpenArchiveFile(dir / "split.dat", false, 1000), EOrbaError);
  EXPECT_EQ(cut.Count(), 0);
}

TEST(Archive, WriterChoosesStorageByKindAndSize) {
  TempDir dir;
  fs::create_directories(dir.path / "snd");
  WriteFile(dir / "snd/Voice.wav", std::vector<uint8_t>(1000, 7));  // sound: stored as is
  WriteFile(dir / "text.txt", std::vector<uint8_t>(1000, 'x'));     // compressible
  WriteFile(dir / "noise.bin", Incompressible(5000, 3));            // saves less than a tenth
  // Layered images: small ones are compressed like any file; large ones only when the hook
  // says their pixels are stored raw.
  WriteFile(dir / "small.trn", std::vector<uint8_t>(1000, 'p'));
  WriteFile(dir / "large.trn", std::vector<uint8_t>(0x500000, 'p'));
  WriteFile(dir / "raw.trn", std::vector<uint8_t>(0x500000, 'r'));
  const auto hook = TVrFileCollection::LayeredImageIsRaw();
  TVrFileCollection::LayeredImageIsRaw() = [](TKvBigStream& s) {
    char first = 0;
    s.Read(&first, 1);
    return first == 'r';
  };
  TVrFileCollection c;
  c.OpenArchiveFile(dir / "nothing-here.dat", true);
  const char* names[] = {"snd\\voice.wav", "text.txt", "noise.bin", "small.trn", "large.trn", "raw.trn"};
  for (const char* name : names) c.AddEntry(name);
  TKvMemoryStream out;
  ASSERT_TRUE(c.WriteArchive(out));
  TVrFileCollection::LayeredImageIsRaw() = hook;
  out.SetPosition(0);
  TVrFileCollection back;
  back.ReadDirectory(out);
  const int raw[] = {1, 0, 1, 0, 1, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(back.Entry(i)->Raw, raw[i]) << names[i];
  EXPECT_EQ(back.Entry(0)->Size, 1000);
  EXPECT_NE(back.Entry(0)->FileTime, 0u);

  // The save writer never takes a file from disk: an entry without content or archive data
  // is written empty.
  TKvMemoryStream saved;
  ASSERT_TRUE(c.WriteArchive(saved, TArchiveSources::MemoryAndArchive));
  saved.SetPosition(0);
  TVrFileCollection s;
  s.ReadDirectory(saved);
  EXPECT_EQ(ReadAll(s, "text.txt"), "");

  // Progress can cancel.
  int calls = 0;
  c.OnProgress = [&](const TVrFile&, int32_t count, int32_t index, int64_t) {
    EXPECT_EQ(count, 6);
    ++calls;
    return index < 1;
  };
  TKvMemoryStream cancelled;
  EXPECT_FALSE(c.WriteArchive(cancelled));
  EXPECT_EQ(calls, 3);  // before and after the first entry, before the second
}

TEST(Archive, HostileDirectoriesAreRejectedAndChangeNothing) {
  std::vector<uint8_t> good = HandBuiltArchive(102, {{"a", "aaaa"}, {"b", "bb"}});
  auto with = [&](size_t at, std::vector<uint8_t> patch) {
    auto v = good;
    std::copy(patch.begin(), patch.end(), v.begin() + static_cast<long>(at));
    return v;
  };
  // Layout: "vf" 102 | count @6 | len @10, 'a' @14 | len @15, 'b' @19 | offsets @20 ...
  TKvRandom random(TKvRandom::kArchiveSeed);
  uint64_t firstKey = static_cast<uint64_t>(static_cast<int64_t>(random.Next()));
  auto offset = [&](int64_t plain) {
    std::vector<uint8_t> b(8);
    uint64_t v = static_cast<uint64_t>(plain) ^ firstKey;
    for (int k = 0; k < 8; ++k) b[k] = static_cast<uint8_t>(v >> (8 * k));
    return b;
  };
  struct Case { const char* name; std::vector<uint8_t> bytes; } cases[] = {
      {"truncated directory", std::vector<uint8_t>(good.begin(), good.begin() + 30)},
      {"huge count", with(6, {0xFF, 0xFF, 0xFF, 0x7F})},
      {"negative count", with(6, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"negative name length", with(10, {0xFE, 0xFF, 0xFF, 0xFF})},
      {"name longer than the file", with(10, {0x00, 0x00, 0x01, 0x00})},
      {"offset past the end", with(20, offset(1 << 20))},
      {"offsets out of order", with(20, offset(good.size() - 1))},
      {"data shorter than the directory says", std::vector<uint8_t>(good.begin(), good.end() - 1)},
      {"no data at all", {}},
  };
  for (const auto& c : cases) {
    TKvMemoryStream s(c.bytes);
    TVrFileCollection archive;
    archive.AddEntry("kept");
    EXPECT_THROW(archive.ReadDirectory(s), EOrbaError) << c.name;
    EXPECT_EQ(archive.Count(), 1) << c.name;
  }
}

TEST(Archive, InflatingIsCapped) {
  // A few KB that inflate to 64 MB.
  std::vector<uint8_t> zeros(64 << 20, 0);
  std::vector<uint8_t> bomb = Deflate(zeros, 9);
  ASSERT_LT(bomb.size(), 100000u);
  TKvMemoryStream out;
  EXPECT_THROW(InflateTo(bomb, out, 1 << 20), EOrbaError);
  EXPECT_LE(out.GetSize(), (1 << 20) + (4 << 20));
  TKvMemoryStream fine;
  InflateTo(Deflate(Bytes("hello")), fine);
  EXPECT_EQ(fine.GetSize(), 5);
  std::vector<uint8_t> broken = Deflate(Bytes(std::string(1000, 'q')));
  broken.resize(broken.size() / 2);
  TKvMemoryStream cut;
  EXPECT_THROW(InflateTo(broken, cut), EOrbaError);
}

}  // namespace
}  // namespace orba
