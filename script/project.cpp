#include "script/project.h"

#include <filesystem>

#include "base/cp932.h"
#include "base/error.h"
#include "base/process.h"
#include "files/header.h"
#include "files/vrfiles.h"
#include "files/vrmanager.h"
#include "render/trn.h"
#include "render/wipedefaults.h"
#include "components/history.h"
#include "values/dbtables.h"
#include "values/paramcollection.h"
#include "values/sysvars.h"

namespace orba {

TProject::TProject(THost host) : host_(std::move(host)) {}
TProject::~TProject() = default;

void TProject::Create() {
  auto& proc = Process();
  proc.Terminating = true;
  LoadRequest = SaveRequest = -1;
  ChooseSaveFolder();
  ReadSaveCaptions();
  // Before the project file: its status variables must not overwrite restored ones.
  ReadStatusData();
  Name = Sjis(u8"情報");
  TVrFileManager& files = VrFileManager();
  if (!host_.HasCommandLineFolder && !FindGameData()) {
    if (StartFailure == TStartFailure::None) StartFailure = TStartFailure::NoGameData;
    return;
  }

  TKvMemoryStream bytes;
  try {
    files.LoadFile(bytes, "orba.rpb");
  } catch (const std::exception&) {
    StartFailure = TStartFailure::NoProjectFile;
    return;  // no project here: the player ends silently
  }
  if (bytes.GetSize() == 0) {
    StartFailure = TStartFailure::EmptyProjectFile;
    if (host_.Message) host_.Message(Sjis(u8"警告"), Sjis(u8"プロジェクトがありません"), false, THost::TIcon::Warning);
    return;
  }
  try {
    File.LoadFromStream(bytes);
  } catch (const std::exception&) {
    StartFailure = TStartFailure::BadProjectFile;
    return;  // unreadable or newer than we know: silently
  }
  Name = File.Name;
  ProjectImageSeed() = File.ImageSeed;
  if (host_.SetTitle) host_.SetTitle(Name);
  SetScreenCentredWipe(File.ScreenWidth, File.ScreenHeight);
  // The project's texts replace the built-in ones, empty or not.
  auto& prompt = files.DiscPrompt();
  prompt.Prompt = File.DiskPrompt;
  prompt.ExitMessage = File.ExitMessage;
  prompt.Title = prompt.ProjectName = Name;

  // Variables that exist already (restored status data) keep their values.
  if (TParamCollection* vars = Variables()) {
    for (const auto& v : File.Variables) {
      if (v.Type < 1 || v.Type > 4 || vars->FindVariable(v.Name)) continue;
      try {
        TParamCollectionItem* item = vars->AddVariable(v.Type, v.Name);
        item->IsStatus = true;
        TCustomParam* p = item->Param();
        switch (v.Type) {
          case 1: p->SetInt(v.Int); break;
          case 2: p->SetFloat(v.Float); break;
          case 3: p->SetFlag(v.Flag); break;
          case 4: p->SetString(v.Text); break;
        }
      } catch (const EOrbaError&) {
        // an invalid name in the file: that variable is left out
      }
    }
  }
  proc.Terminating = false;

  // A project installed from discs may carry the disc table of its original edition.
  if (files.HasFile("/original_orba.rpb")) {
    File.DiskList.Clear();  // a damaged table leaves none
    try {
      TKvMemoryStream original;
      files.LoadFile(original, "/original_orba.rpb");
      TProjectFile table;
      table.LoadFromStream(original);
      File.DiskList = table.DiskList;
    } catch (const std::exception&) {
    }
  }

  callMan_ = std::make_unique<TCallMan>(this);
  try {
    if (!files.HasFile(File.StartPage)) throw EOrbaError(Sjis(u8"スタートページがありません"));
    callMan_->StartPage(File.StartPage);
  } catch (const EOrbaError& e) {
    StartFailure = TStartFailure::NoStartPage;
    if (host_.Message) host_.Message(Sjis(u8"警告"), e.Message(), false, THost::TIcon::Warning);
    proc.Terminating = true;
  }
}

bool TProject::SearchDiscs(const std::string& title) {
  TVrFileManager& files = VrFileManager();
  for (const auto& disc : files.DiscFolders()) {
    std::error_code ec;
    std::filesystem::path data = std::filesystem::path(disc) / "game.dat";
    std::filesystem::path install = std::filesystem::path(disc) / "install.dat";
    if (!std::filesystem::is_regular_file(data, ec) || !std::filesystem::is_regular_file(install, ec)) continue;
    try {
      TOrbaInstallSet set;
      set.LoadFromFile(install);
      if (set.Title != title) continue;
      files.AddArchive(data.string());
      return true;
    } catch (const std::exception&) {
    }
  }
  return false;
}

bool TProject::FindGameData() {
  TVrFileManager& files = VrFileManager();
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::is_regular_file(host_.ExeFolder + "install.dat", ec) && files.BaseFolder().empty())
    files.SetBaseFolder(host_.ExeFolder);
  if (!files.HasFile("install.dat")) {
    if (host_.Message) host_.Message(Sjis(u8"情報"), Sjis(u8"インストールし直してください"), false, THost::TIcon::Information);
    return false;
  }
  TOrbaInstallSet set;
  try {
    TKvMemoryStream bytes;
    files.LoadFile(bytes, "install.dat");
    set.LoadFromStream(bytes);
  } catch (const std::exception&) {
    if (host_.Message) host_.Message(Sjis(u8"情報"), Sjis(u8"インストールし直してください"), false, THost::TIcon::Information);
    return false;
  }
  if (fs::is_regular_file(host_.ExeFolder + "game.dat", ec)) {
    files.AddArchive(host_.ExeFolder + "game.dat");
    if (set.CompleteInstall) return true;
  } else if (set.CompleteInstall && files.ArchiveCount() > 1) {
    return true;  // beyond the empty archive every player has
  }
  for (;;) {
    if (SearchDiscs(set.Title)) return true;
    if (!host_.Message) return false;
    if (host_.Message(Sjis(u8"情報"), Sjis(u8"ディスクを入れてください"), true, THost::TIcon::Information)) continue;
    if (host_.Message(Name, files.DiscPrompt().ExitMessage, true, THost::TIcon::Information)) {
      StartFailure = TStartFailure::UserQuit;
      return false;
    }
  }
}

void TProject::Free() {
  auto& proc = Process();
  if (callMan_ && !File.ExitPage.empty()) {
    try {
      callMan_->StartPage(File.ExitPage);
      proc.Terminating = false;
      callMan_->Run();
    } catch (...) {
    }
    proc.Terminating = true;
  }
  SaveStatusData();
  callMan_.reset();
}

namespace {

bool CanCreateFileIn(const std::string& folder) {
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) return false;
  const std::filesystem::path probe = std::filesystem::path(folder) / ".orbaplayer-write-test";
  std::FILE* f = std::fopen(probe.string().c_str(), "wb");
  if (!f) return false;
  std::fclose(f);
  std::filesystem::remove(probe, ec);
  return true;
}

}  // namespace

std::string TProject::ProjectSaveFileName() const {
  const std::string& folder = host_.HasCommandLineFolder ? host_.CommandLineFolder : host_.ExeFolder;
  return (std::filesystem::path(folder) / "save.dat").string();
}

void TProject::ChooseSaveFolder() {
  const std::string beside = ProjectSaveFileName();
  if (!host_.ChosenSaveFolder.empty()) {
    saveFileName_ = (std::filesystem::path(host_.ChosenSaveFolder) / "save.dat").string();
    return;
  }
  const std::string folder = std::filesystem::path(beside).parent_path().string();
  const bool writable = host_.FolderWritable ? host_.FolderWritable(folder) : CanCreateFileIn(folder);
  saveFileName_ = writable || host_.UserSaveFolder.empty() ? beside : (std::filesystem::path(host_.UserSaveFolder) / "save.dat").string();
}

std::string TProject::SaveFileName() const { return saveFileName_.empty() ? ProjectSaveFileName() : saveFileName_; }

TSaveFile TProject::SaveFile() const {
  const std::string target = SaveFileName(), beside = ProjectSaveFileName();
  if (target != beside) return TSaveFile(target, beside);
  return TSaveFile(target, host_.UserSaveFolder.empty() ? target : (std::filesystem::path(host_.UserSaveFolder) / "save.dat").string());
}

void TProject::ReadSaveCaptions() {
  saveCaptions_.Clear();
  try {
    TVrFileCollection archive;
    archive.OpenArchiveFile(SaveReadFileName());
    saveCaptions_.Read(archive);
  } catch (const std::exception&) {
    // an unreadable save.dat holds no saved games we could load
  }
}

void TProject::AttachStatusParts() {
  TParamCollection* vars = Variables();
  if (!vars) {
    statusParts_.Unregister(TStatusPartKind::Variables);
    statusParts_.Unregister(TStatusPartKind::DitherFlag);
    return;
  }
  statusParts_.Register(TStatusPartKind::Variables, StatusVariablesPart(*vars));
  // The dither flag is the one "@CGDither" reads and writes, wherever the player keeps it.
  ISystemVariableSource* source = &vars->Source();
  statusParts_.Register(TStatusPartKind::DitherFlag,
                        StatusDitherPart([source] { return source->CGDither(); }, [source](bool on) { source->SetCGDither(on); }));
  if (!statusParts_.IsRegistered(TStatusPartKind::ReadList))
    statusParts_.Register(TStatusPartKind::ReadList, StatusReadListPart(MessageReadList()));
  if (!statusParts_.IsRegistered(TStatusPartKind::DataTables))
    statusParts_.Register(TStatusPartKind::DataTables, StatusTablesPart(DBManager()));
}

void TProject::ReadStatusData() {
  AttachStatusParts();
  try {
    TVrFileCollection archive;
    archive.OpenArchiveFile(SaveReadFileName());
    if (!archive.FindEntry(kStatusEntryName)) return;
    TKvMemoryStream entry;
    archive.ReadEntry(kStatusEntryName, entry);
    entry.SetPosition(0);
    statusParts_.Load(entry);
  } catch (const std::exception&) {
    // A damaged status entry is ignored as a whole: the run starts as a first run would,
    // and the next status write replaces the entry.
  }
}

void TProject::SaveStatusData() {
  AttachStatusParts();
  // Without the variables (a project freed after them) an entry would lack a part: nothing
  // is written rather than a status that forgets it.
  if (!statusParts_.Complete() || !File.SaveEnabled) return;
  // A project folder that is gone has nothing to keep status for.
  std::error_code ec;
  if (!std::filesystem::is_directory(std::filesystem::path(ProjectSaveFileName()).parent_path(), ec)) return;
  TKvMemoryStream entry;
  statusParts_.Save(entry);
  const TSaveFile::TEntry entries[] = {{std::string(kStatusEntryName), entry.Bytes()}};
  WriteSaveEntries(entries);
}

bool TProject::WriteSaveEntries(std::span<const TSaveFile::TEntry> entries) {
  try {
    const std::string aside = SaveFile().Write(entries);
    if (!aside.empty() && host_.Message)
      host_.Message(Sjis(u8"警告"),
                    Sjis(u8"セーブファイルが読めなかったため、次の名前で残して新しく作りました\r\n") + FromUtf8(aside),
                    false, THost::TIcon::Warning);
    return true;
  } catch (const std::exception&) {
    // save.dat is as it was before; the player goes on and says so.
    if (host_.Message)
      host_.Message(Sjis(u8"警告"), Sjis(u8"保存できませんでした\r\n") + FromUtf8(CurrentErrorText()), false,
                    THost::TIcon::Warning);
    return false;
  }
}

void TProject::Step() {
  if (callMan_) callMan_->Run();
}

bool TProject::ProcessRequests() {
  bool loaded = false;
  if (LoadRequest >= 0) {
    const int32_t slot = LoadRequest;
    LoadRequest = -1;
    loaded = LoadGameSlot(slot);
  }
  if (SaveRequest >= 0) {
    const int32_t slot = SaveRequest;
    SaveRequest = -1;
    SaveGameSlot(slot, SaveRequestPage, SaveRequestCaption, SaveRequestLine);
  }
  return loaded;
}

TGameEntry::TParts TProject::GameParts() {
  return {componentsPart_, historyPart_, callMan_.get(), Variables(), &DBManager()};
}

bool TProject::SaveGameSlot(int32_t slot, const std::string& resumePage, const std::string& caption, int32_t resumeIndex) {
  if (caption.empty()) return false;
  TKvMemoryStream game, status;
  try {
    TGameEntry entry;
    entry.Caption = caption;
    entry.ResumePage = resumePage;
    entry.ResumeIndex = resumeIndex;
    entry.Save(game, GameParts());
  } catch (const std::exception&) {
    if (host_.Message)
      host_.Message(Sjis(u8"警告"), Sjis(u8"保存できませんでした\r\n") + FromUtf8(CurrentErrorText()), false, THost::TIcon::Warning);
    return false;
  }
  // The status goes with the game in the same replacement of the file; with saving
  // disabled the file keeps the status entry it had.
  AttachStatusParts();
  const bool withStatus = statusParts_.Complete() && File.SaveEnabled;
  if (withStatus) statusParts_.Save(status);
  const std::string name = GameEntryName(slot);
  const TSaveFile::TEntry entries[] = {{name, game.Bytes()}, {std::string(kStatusEntryName), status.Bytes()}};
  if (!WriteSaveEntries(std::span(entries, withStatus ? 2 : 1))) return false;
  SetSaveCaption(slot, caption);
  return true;
}

bool TProject::LoadGameSlot(int32_t slot) {
  TKvMemoryStream entry;
  try {
    if (!SaveFile().Read(GameEntryName(slot), entry)) return false;
  } catch (const std::exception&) {
    // Nothing has changed yet: the game goes on.
    if (host_.Message)
      host_.Message(Sjis(u8"警告"), Sjis(u8"このセーブデータは読み込めません\r\n") + FromUtf8(CurrentErrorText()), false,
                    THost::TIcon::Warning);
    return false;
  }
  try {
    const TGameEntry::TParts parts = GameParts();
    TGameEntry::Load(entry, parts);
    parts.Components->AfterGameLoaded();
  } catch (const std::exception&) {
    StopWithWarning(Sjis(u8"このセーブデータは使用できません\r\n終了してください"));
  }
  return true;
}

void TProject::ClearGameTables() { DBManager().ClearGameTables(); }

bool TProject::CheckFileAvailable(const std::string& name) {
  if (name.empty()) return false;
  TVrFileManager& files = VrFileManager();
  if (files.HasFile(name)) return true;
  int32_t disc = File.DiskList.DiscOf(name);
  if (disc == 0) return false;
  const std::string ext = LowerCase(StoredExtension(name));
  if ((LowerCase(File.OptionalMediaExts) + ".").find(ext + ".") != std::string::npos) return false;
  return files.RequestDisk(disc);
}

void TProject::RequestSave(int32_t slot, const std::string& page, int32_t line, const std::string& caption) {
  SaveRequest = slot;
  SaveRequestPage = page;
  SaveRequestLine = line;
  SaveRequestCaption = caption;
}

void TProject::StopWithWarning(const std::string& text) {
  Process().Terminating = true;
  if (host_.Message) host_.Message(Sjis(u8"警告"), text, false, THost::TIcon::Warning);
  if (host_.PostClose) host_.PostClose();
}

void TProject::Terminate() {
  Process().Terminating = true;
  if (host_.PostClose) host_.PostClose();
}

}  // namespace orba
