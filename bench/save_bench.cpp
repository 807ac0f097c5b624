// Saving one slot of save.dat beside two floors: writing the file's bytes flat, and copying
// the old file into the new one (a save copies the other slots' stored bytes, so only the
// file's size grows with the slot count), with and without syncing to the disk; and loading
// one slot.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>

#include "files/bigstream.h"
#include "files/replacefile.h"
#include "files/vrfiles.h"
#include "files/zstream.h"
#include "script/savefile.h"

namespace {

using namespace orba;
namespace fs = std::filesystem;

constexpr size_t kSlotSize = 200 * 1024;

// A saved game's bytes: variables and texts compress some, pictures of the tree hardly.
std::vector<uint8_t> SlotBytes(uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> v(kSlotSize);
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(i % 4 == 0 ? gen() : "ab  \r\n01"[gen() % 8]);
  return v;
}

// save.dat with the given number of slots, in a folder of its own.
std::string MakeSaveFile(int slots) {
  const fs::path dir = fs::temp_directory_path() / ("orba-bench-save-" + std::to_string(slots));
  fs::create_directories(dir);
  const std::string path = (dir / "save.dat").string();
  fs::remove(path);
  TVrFileCollection c;
  for (int i = 0; i < slots; ++i) {
    const auto bytes = SlotBytes(static_cast<uint32_t>(i));
    c.AddMemoryEntry(GameEntryName(i))->Content->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
  }
  TKvMemoryStream out;
  c.WriteArchive(out, TArchiveSources::MemoryAndArchive);
  WriteFileReplacing(path, out.Bytes());
  return path;
}

double g_syncSeconds = 0;
bool TimedSync(std::FILE* f) {
  const auto t0 = std::chrono::steady_clock::now();
  const bool ok = fsync(fileno(f)) == 0;
  g_syncSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return ok;
}
bool TimedFolderSync(const fs::path& folder) {
  const auto t0 = std::chrono::steady_clock::now();
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  const bool ok = fd >= 0 && fsync(fd) == 0;
  if (fd >= 0) close(fd);
  g_syncSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return ok;
}

// Saves slot 0 anew among range(0) slots; range(1) = 1 syncs to the disk, its time reported
// apart as sync_ms.
void BM_SaveOneSlot(benchmark::State& state) {
  const std::string path = MakeSaveFile(static_cast<int>(state.range(0)));
  const bool sync = state.range(1) != 0;
  SetFileSync(sync ? TimedSync : nullptr);
  SetFolderSync(sync ? TimedFolderSync : nullptr);
  g_syncSeconds = 0;
  const auto bytes = SlotBytes(1000);
  const TSaveFile::TEntry entries[] = {{GameEntryName(0), bytes}};
  TSaveFile file(path);
  for (auto _ : state) file.Write(entries);
  state.counters["file_MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
  state.counters["sync_ms"] = benchmark::Counter(g_syncSeconds * 1e3, benchmark::Counter::kAvgIterations);
  SetFileSync(nullptr);
  SetFolderSync(nullptr);
}
BENCHMARK(BM_SaveOneSlot)->ArgsProduct({{1, 10, 25, 50}, {0, 1}})->Unit(benchmark::kMillisecond);

// The floor: the same number of bytes written through the same writer, unsynced.
void BM_SaveFloorWriteFileFlat(benchmark::State& state) {
  const std::string path = MakeSaveFile(static_cast<int>(state.range(0)));
  std::vector<uint8_t> bytes(static_cast<size_t>(fs::file_size(path)));
  for (auto _ : state) WriteFileReplacing(path, bytes);
  state.counters["file_MB"] = static_cast<double>(bytes.size()) / 1e6;
}
BENCHMARK(BM_SaveFloorWriteFileFlat)->Arg(1)->Arg(10)->Arg(25)->Arg(50)->Unit(benchmark::kMillisecond);

// The floor of a save that replaces the file whole: the old file's bytes read and written
// into the temporary file piece by piece, as a save copies the slots it keeps, unsynced.
void BM_SaveFloorCopyFile(benchmark::State& state) {
  const std::string path = MakeSaveFile(static_cast<int>(state.range(0)));
  const auto size = static_cast<int64_t>(fs::file_size(path));
  for (auto _ : state) {
    WriteFileReplacing(path, [&](TKvBigStream& out) {
      TKvFileStream in(path, fmOpenRead | fmShareDenyWrite);
      CopyBytes(in, size, out);
    });
  }
  state.counters["file_MB"] = static_cast<double>(size) / 1e6;
}
BENCHMARK(BM_SaveFloorCopyFile)->Arg(1)->Arg(10)->Arg(25)->Arg(50)->Unit(benchmark::kMillisecond);

// Reading one slot's bytes among 50: the directory, then the entry inflated.
void BM_LoadOneSlot(benchmark::State& state) {
  const std::string path = MakeSaveFile(50);
  TSaveFile file(path);
  for (auto _ : state) {
    TKvMemoryStream out;
    file.Read(GameEntryName(25), out);
    benchmark::DoNotOptimize(out.Bytes().data());
  }
}
BENCHMARK(BM_LoadOneSlot)->Unit(benchmark::kMillisecond);

}  // namespace
