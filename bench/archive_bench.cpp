// Reading a project archive through the virtual file manager beside zlib's own uncompress of
// the same stored bytes (the floor), and opening a large directory.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <filesystem>
#include <random>

#include "files/vrmanager.h"

namespace {

using namespace orba;
namespace fs = std::filesystem;

constexpr int kEntries = 300;
constexpr size_t kEntrySize = 100 * 1024;  // 30 MB in all

// Text-like bytes that compress about as well as scripts and pictures with flat areas.
std::vector<uint8_t> EntryBytes(int seed) {
  std::mt19937 gen(static_cast<uint32_t>(seed));
  std::vector<uint8_t> v(kEntrySize);
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>("abcdefgh  \r\n0123"[gen() % 16]);
  return v;
}

struct Fixture {
  std::string path;
  std::vector<std::vector<uint8_t>> stored;  // the zlib streams, for the reference
  Fixture() {
    path = (fs::temp_directory_path() / "orba-bench-archive.dat").string();
    TVrFileCollection c;
    for (int i = 0; i < kEntries; ++i) {
      auto bytes = EntryBytes(i);
      char name[32];
      std::snprintf(name, sizeof name, "data\\file%04d.txt", i);
      c.AddMemoryEntry(name)->Content->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
      stored.push_back(Deflate(bytes));
    }
    TKvBigFileStream out(path, fmCreate);
    c.WriteArchive(out, TArchiveSources::MemoryAndArchive);
  }
  ~Fixture() { fs::remove(path); }
};

Fixture& SharedFixture() {
  static Fixture f;
  return f;
}

void BM_ManagerReadsEveryEntry(benchmark::State& state) {
  Fixture& f = SharedFixture();
  TVrFileManager m;
  m.AddArchive(f.path);
  TKvMemoryStream out;
  for (auto _ : state) {
    for (int i = 0; i < kEntries; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "data\\file%04d.txt", i);
      m.LoadFile(out, name);
      benchmark::DoNotOptimize(out.Bytes().data());
    }
  }
  state.SetBytesProcessed(state.iterations() * kEntries * static_cast<int64_t>(kEntrySize));
}
BENCHMARK(BM_ManagerReadsEveryEntry)->Unit(benchmark::kMillisecond);

void BM_ZlibUncompressReference(benchmark::State& state) {
  Fixture& f = SharedFixture();
  std::vector<uint8_t> out(kEntrySize);
  for (auto _ : state) {
    for (const auto& z : f.stored) {
      uLongf n = static_cast<uLongf>(out.size());
      uncompress(out.data(), &n, z.data(), static_cast<uLong>(z.size()));
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(state.iterations() * kEntries * static_cast<int64_t>(kEntrySize));
}
BENCHMARK(BM_ZlibUncompressReference)->Unit(benchmark::kMillisecond);

void BM_OpenDirectoryOf50000Entries(benchmark::State& state) {
  TVrFileCollection c;
  for (int i = 0; i < 50000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "bg\\bg%05d.trn", i);
    c.AddMemoryEntry(name);
  }
  TKvMemoryStream image;
  c.WriteArchive(image, TArchiveSources::MemoryAndArchive);
  std::vector<uint8_t> bytes = image.TakeBytes();
  for (auto _ : state) {
    TVrFileCollection archive;
    archive.OpenArchiveStream(std::make_unique<TKvViewStream>(bytes));
    benchmark::DoNotOptimize(archive.Count());
  }
}
BENCHMARK(BM_OpenDirectoryOf50000Entries)->Unit(benchmark::kMillisecond);

}  // namespace
