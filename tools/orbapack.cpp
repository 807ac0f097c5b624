// orbapack: lists, extracts and builds project archives with the same code the player reads
// them with.
//   orbapack ls ARCHIVE                 entries with their stored size, storage and checksum
//   orbapack cat ARCHIVE NAME           one entry's bytes to standard output
//   orbapack x ARCHIVE DIR              every entry into DIR
//   orbapack pack DIR -o OUT            an archive of every file under DIR
//   orbapack pack DIR --append-to EXE   the same, appended to EXE with its trailer
//   orbapack build SRC -o OUT           compiles the project source folder SRC into an archive
//                                       (pages to ".rsb", PNG pictures to layered ".trn")
//   orbapack build SRC -o DIR --folder  the same into a plain project folder
//   orbapack dump FILE                  a compiled page (or project file, "*.rpb") as source text
// Names inside archives are code page 932 with '\'; on the command line and on disk they are UTF-8.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "files/bigstream.h"
#include "files/diskpath.h"
#include "files/vrfiles.h"
#include "files/zstream.h"
#include "render/trn.h"
#include "authoring/source.h"

namespace {

namespace fs = std::filesystem;
using namespace orba;

int Usage() {
  std::fputs(
      "usage: orbapack ls ARCHIVE\n"
      "       orbapack cat ARCHIVE NAME\n"
      "       orbapack x ARCHIVE DIR\n"
      "       orbapack pack DIR (-o OUT | --append-to EXE)\n"
      "       orbapack build SRC -o OUT [--folder]\n"
      "       orbapack dump FILE\n",
      stderr);
  return 2;
}

std::string DiskName(const std::string& stored) {
  std::string utf8 = ToUtf8(stored);
  for (char& c : utf8)
    if (c == '\\') c = '/';
  return utf8;
}

int List(const std::string& path) {
  TVrFileCollection c;
  c.OpenArchiveFile(path);
  std::printf("version %d, %d entries\n", c.Version(), c.EntryCount());
  for (int32_t i = 0; i < c.EntryCount(); ++i) {
    const TVrFile* e = c.Entry(i);
    std::printf("%12lld %s %08x %s\n", static_cast<long long>(e->Size), e->Raw ? "stored " : "deflate",
                e->Checksum, ToUtf8(e->Name()).c_str());
  }
  return 0;
}

int Cat(const std::string& path, const std::string& name) {
  TVrFileCollection c;
  c.OpenArchiveFile(path);
  TKvMemoryStream out;
  c.ReadEntry(FromUtf8(name), out);
  std::fwrite(out.Bytes().data(), 1, out.Bytes().size(), stdout);
  return 0;
}

int Extract(const std::string& path, const std::string& dir) {
  TVrFileCollection c;
  c.OpenArchiveFile(path);
  for (int32_t i = 0; i < c.EntryCount(); ++i) {
    const TVrFile* e = c.Entry(i);
    std::string rel = DiskName(e->Name());
    fs::path target = fs::path(dir) / rel;
    if (rel.empty() || rel.find("..") != std::string::npos || rel[0] == '/') {
      std::fprintf(stderr, "orbapack: skipping unsafe name %s\n", rel.c_str());
      continue;
    }
    fs::create_directories(target.parent_path());
    TKvFileStream out(target.string(), fmCreate);
    c.ReadEntry(*e, out);
    out.Close();
  }
  return 0;
}

// Writes the archive of every file under dir to target (positions from the target's start).
bool PackTo(const std::string& dir, TKvBigStream& target) {
  TVrFileCollection c;
  c.OpenArchiveFile((fs::path(dir) / "").string(), true);
  std::vector<std::string> names;
  for (const auto& f : fs::recursive_directory_iterator(dir))
    if (f.is_regular_file()) names.push_back(StoredPathOf(fs::relative(f.path(), dir).generic_string()));
  std::sort(names.begin(), names.end());
  for (const auto& n : names) c.AddEntry(n);
  return c.WriteArchive(target);
}

// Makes the file out (over volumes when volumes is set) with write; when that fails, is
// cancelled (false) or the system refuses a byte (a full disk), nothing of out is left.
int WriteNewFile(const std::string& out, bool volumes, const std::function<bool(TKvBigStream&)>& write) {
  auto remove = [&] {
    std::error_code ec;
    fs::remove(out, ec);
    for (int i = 1; volumes && fs::remove(TKvBigFileStream::VolumeName(out, i), ec); ++i) {
    }
  };
  bool ok = false;
  try {
    std::unique_ptr<TKvBigFileStream> target;
    if (volumes) target = std::make_unique<TKvBigFileStream>(out, fmCreate);
    else target = std::make_unique<TKvFileStream>(out, fmCreate);
    ok = write(*target);
    target->Close();
  } catch (...) {
    remove();
    throw;
  }
  if (!ok) remove();
  return ok ? 0 : 1;
}

int Pack(const std::string& dir, const std::string& out, bool append) {
  if (!fs::is_directory(dir)) {
    std::fprintf(stderr, "orbapack: %s is not a folder\n", dir.c_str());
    return 1;
  }
  auto pack = [&](TKvBigStream& target) { return PackTo(dir, target); };
  if (!append) return WriteNewFile(out, true, pack);
  // An appended archive counts its offsets from its own start: build it apart, then append
  // it and the trailer (int32 start, "rz"). A failed append cuts the executable back.
  std::string temp = out + ".orbapack-tmp";
  if (WriteNewFile(temp, false, pack) != 0) return 1;
  const auto start = static_cast<int64_t>(fs::file_size(out));
  std::error_code ec;
  try {
    if (start > INT32_MAX) throw EOrbaError("the executable is too large for an appended archive");
    TKvFileStream exe(out, fmOpenReadWrite);
    TKvFileStream archive(temp, fmOpenRead);
    exe.SetPosition(start);
    CopyStream(archive, archive.GetSize(), exe);
    TBinaryWriter w(exe);
    w.I32(static_cast<int32_t>(start));
    w.Write("rz", 2);
    exe.Close();
  } catch (...) {
    fs::resize_file(out, static_cast<uintmax_t>(start), ec);
    fs::remove(temp, ec);
    throw;
  }
  fs::remove(temp, ec);
  return 0;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  TKvFileStream out(path.string(), fmCreate);
  out.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
  out.Close();
}

int Build(const std::string& src, const std::string& out, bool folder) {
  TCompiledProject project = CompileProjectFolder(src, {out});
  if (folder) {
    WriteFile(fs::path(out) / "orba.rpb", project.ProjectFile);
    for (const auto& [name, bytes] : project.Pages) WriteFile(fs::path(out) / DiskName(name), bytes);
    for (const auto& [name, bytes] : project.Pictures) WriteFile(fs::path(out) / DiskName(name), bytes);
    for (const auto& rel : project.OtherFiles) {
      fs::create_directories((fs::path(out) / rel).parent_path());
      fs::copy_file(fs::path(src) / rel, fs::path(out) / rel, fs::copy_options::overwrite_existing);
    }
    return 0;
  }
  TVrFileCollection c;
  c.OpenArchiveFile((fs::path(src) / "").string(), true);
  c.AddMemoryEntry("orba.rpb")->Content->Write(project.ProjectFile.data(), static_cast<int64_t>(project.ProjectFile.size()));
  for (const auto* compiled : {&project.Pages, &project.Pictures})
    for (const auto& [name, bytes] : *compiled)
      c.AddMemoryEntry(name)->Content->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
  for (const auto& rel : project.OtherFiles) c.AddEntry(StoredPathOf(rel));
  return WriteNewFile(out, true, [&](TKvBigStream& target) { return c.WriteArchive(target); });
}

int Dump(const std::string& path) {
  std::vector<uint8_t> bytes;
  {
    TKvFileStream in(path, fmOpenRead);
    bytes.resize(static_cast<size_t>(in.GetSize()));
    in.Read(bytes.data(), static_cast<int64_t>(bytes.size()));
  }
  std::string text;
  std::string name = fs::path(path).filename().string();
  if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".rpb") == 0) {
    TProjectFile project;
    project.LoadFromBytes(bytes);
    text = DecompileProject(project);
  } else {
    TPage page;
    page.Name = FromUtf8(name);
    page.LoadFromBytes(bytes);
    text = DecompilePage(page);
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> a(argv + 1, argv + argc);
  // Layered images stored raw are worth compressing in the archive.
  TVrFileCollection::LayeredImageIsRaw() = TTarnFrameList::IsRawStored;
  try {
    if (a.size() == 2 && a[0] == "ls") return List(a[1]);
    if (a.size() == 3 && a[0] == "cat") return Cat(a[1], a[2]);
    if (a.size() == 3 && a[0] == "x") return Extract(a[1], a[2]);
    if (a.size() == 4 && a[0] == "pack" && a[2] == "-o") return Pack(a[1], a[3], false);
    if (a.size() == 4 && a[0] == "pack" && a[2] == "--append-to") return Pack(a[1], a[3], true);
    if (a.size() == 4 && a[0] == "build" && a[2] == "-o") return Build(a[1], a[3], false);
    if (a.size() == 5 && a[0] == "build" && a[2] == "-o" && a[4] == "--folder") return Build(a[1], a[3], true);
    if (a.size() == 2 && a[0] == "dump") return Dump(a[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orbapack: %s\n", ToUtf8(e.what()).c_str());
    return 1;
  }
  return Usage();
}
