#include "shell/core_subsystems.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/cp932.h"
#include "base/error.h"
#include "base/process.h"
#include "components/history.h"
#include "components/mes.h"
#include "components/picturecache.h"
#include "components/sound.h"
#include "files/diskpath.h"
#include "files/vrmanager.h"
#include "render/imagefiles.h"
#include "render/trn.h"
#include "shell/entry.h"

namespace orba {

void TPlayerSystemSource::MoveMouse(int32_t x, int32_t y) {
  ISystemVariableSource::MoveMouse(x, y);
  if (MovePointer && *MovePointer) (*MovePointer)(x, y);
}

void TCoreSubsystems::CreateVariables() {
  systemSource_.AttachInput(&bases_, [this] { return CurrentBase(); }, &keys_);
  systemSource_.MovePointer = &MovePointer;
  variables_ = std::make_unique<TParamCollection>(&systemSource_);
  SetVariables(variables_.get());
}

void TCoreSubsystems::FreeVariables() {
  SetVariables(nullptr);
  variables_.reset();
}

void TCoreSubsystems::RegisterEmptyArchive() {
  TVrFileCollection::LayeredImageIsRaw() = TTarnFrameList::IsRawStored;
  TVrFileManager& files = VrFileManager();
  files.AddArchive("");
  PictureCache();  // reads through the file manager: made after it, freed before it
  TDiscPrompt& prompt = files.DiscPrompt();
  prompt.AskOkCancel = [this](const std::string& caption, const std::string& text) {
    return platform_ && platform_->dialogs && platform_->dialogs->MessageBox(ToUtf8(caption), ToUtf8(text), platform::DialogButtons::OkCancel,
                                            platform::DialogIcon::Information) == platform::DialogResult::Ok;
  };
  prompt.RequestClose = [this] {
    Process().Terminating = true;
    if (PostClose) PostClose();
  };
}

void TCoreSubsystems::OpenProjectData(const std::vector<std::string>& params, const std::string& exePath) {
  TVrFileManager& files = VrFileManager();
  hasParams_ = !params.empty();
  params_ = params;
  commandLineFolder_ = hasParams_ ? params[0] : std::string();
  exeFolder_ = std::filesystem::path(exePath).parent_path().string() + "/";
  if (platform_ && platform_->paths) files.SetDiscFolders(platform_->paths->DiscFolders());
  if (params.empty()) {
    // The project beside the player: an archive built into it, one appended to it, or the
    // files in its folder.
    files.SetBaseFolder(std::filesystem::path(exePath).parent_path().string());
    auto builtIn = FindResource("BINTYPE", "DUMMY");
    if (builtIn.size() >= 2 && builtIn[builtIn.size() - 2] == 'v' && builtIn.back() == 'f')
      files.AddResourceArchive("DUMMY", "BINTYPE");
    TVrFileCollection::ExecutablePath() = exePath;
    if (HasArchiveTrailer(exePath)) files.AddArchive(exePath);
    return;
  }
  // A project folder, and further folders whose "game.dat" joins it.
  files.SetBaseFolder(params[0]);
  for (const auto& folder : params) {
    std::string data = (std::filesystem::path(folder) / "game.dat").string();
    if (std::filesystem::is_regular_file(data)) files.AddArchive(data);
  }
}

void TCoreSubsystems::VirtualFileUpkeep(int32_t delta) { VrFileManager().Tick(delta); }

void TCoreSubsystems::FinalizeFiles() {
  FreePictureCache();
  FreeVrFileManager();
}

TCustomParam* TPlayerSystemSource::CallResult() {
  return Project && Project->CallMan() ? Project->CallMan()->CallResult() : nullptr;
}

std::vector<std::string> TPlayerSystemSource::CallArgs() {
  return Project && Project->CallMan() ? Project->CallMan()->Args.Items() : std::vector<std::string>();
}

std::string TPlayerSystemSource::Sender() {
  return Project && Project->CallMan() ? Project->CallMan()->SenderName() : std::string();
}

std::string TPlayerSystemSource::SaveCaption(int32_t slot) {
  return Project ? Project->CaptionOfSlot(slot) : std::string();
}

std::vector<TSlotCaption> TPlayerSystemSource::SaveCaptions() {
  return Project ? Project->SaveCaptions().Items() : std::vector<TSlotCaption>();
}

bool TPlayerSystemSource::FileAvailable(const std::string& name) {
  return Project ? Project->CheckFileAvailable(name) : ISystemVariableSource::FileAvailable(name);
}

void TCoreSubsystems::OrbaInitialize() {
  root_ = std::make_unique<TOrbaBaseList>(&bases_, &keys_);
  root_->CursorChanged = [this](const std::string& name) { ShowCursor(name); };
  SetComponentRoot(root_.get());
}

void TCoreSubsystems::ShowCursor(const std::string& name) {
  if (!platform_ || !platform_->window) return;
  std::string file = name.empty() && variables_ ? variables_->CursorName : name;
  if (file.empty()) return platform_->window->SetCursor(nullptr);
  // A cursor file that is missing or cannot be read leaves the arrow.
  platform::CursorImage image;
  try {
    TKvMemoryStream bytes;
    VrFileManager().LoadFile(bytes, file);
    TDIBSurface surface;
    constexpr int64_t kKey = 0xFF00FF;
    TIconInfo info = LoadIcon(bytes.Bytes(), surface, kKey);
    image.name = file;
    image.width = surface.Width();
    image.height = surface.Height();
    image.hotX = info.HotSpot.X;
    image.hotY = info.HotSpot.Y;
    image.pixels.reserve(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    for (int32_t y = 0; y < image.height; ++y)
      for (int32_t x = 0; x < image.width; ++x) {
        const uint32_t p = surface.GetPixel(x, y);
        const TRGB c = surface.PixelToRGB(p, true);
        const bool clear = info.Transparent >= 0 && p == static_cast<uint32_t>(info.Transparent);
        image.pixels.push_back(clear ? 0u : 0xFF000000u | uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue);
      }
  } catch (...) {
    return platform_->window->SetCursor(nullptr);
  }
  platform_->window->SetCursor(image.width > 0 ? &image : nullptr);
}

void TCoreSubsystems::OrbaFinalize() {
  SetComponentRoot(nullptr);
  root_.reset();
}

void TCoreSubsystems::CreateProject() {
  TProject::THost host;
  host.Message = [this](const std::string& caption, const std::string& text, bool okCancel, TProject::THost::TIcon icon) {
    if (!platform_ || !platform_->dialogs) return false;
    auto r = platform_->dialogs->MessageBox(ToUtf8(caption), ToUtf8(text),
                                           okCancel ? platform::DialogButtons::OkCancel : platform::DialogButtons::Ok,
                                           icon == TProject::THost::TIcon::Information ? platform::DialogIcon::Information
                                                                                       : platform::DialogIcon::Warning);
    return r == platform::DialogResult::Ok || r == platform::DialogResult::Yes;
  };
  host.PostClose = [this] {
    if (PostClose) PostClose();
  };
  host.KeepResponsive = [this] {
    if (KeepResponsive) KeepResponsive();
  };
  host.SetTitle = [this](const std::string& name) {
    if (platform_ && platform_->window) platform_->window->SetCaption(ToUtf8(name));
  };
  host.HasCommandLineFolder = hasParams_;
  host.CommandLineFolder = commandLineFolder_;
  host.ExeFolder = exeFolder_;
  // Saves that cannot go beside the project go to the user's data folder, in a folder named
  // by the key that also keeps a second player of this project from starting.
  if (platform_ && platform_->paths) {
    const std::string data = platform_->paths->UserDataFolder();
    if (!data.empty())
      host.UserSaveFolder = data + "orbaplayer/" + ToUtf8(InstanceKeyFor(params_, exeFolder_, *platform_->paths)) + "/";
  }
  host.ChosenSaveFolder = chosenSaveFolder_;
  project_ = std::make_unique<TProject>(std::move(host));
  project_->SetGameEntryParts(&componentsPart_, &historyPart_);
  systemSource_.Project = project_.get();
  project_->Create();
  const TProjectFile& f = project_->File;
  info_ = TProjectInfo{f.Name, f.ScreenWidth, f.ScreenHeight, f.FullScreenWidth, f.FullScreenHeight, f.Pacing != 0};
  startFailure_ = project_->StartFailure;
  startPage_ = f.StartPage;
}

std::string TCoreSubsystems::SaveFolder() {
  if (!project_) return {};
  const std::string folder = std::filesystem::path(project_->SaveFileName()).parent_path().string();
  return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

std::string TCoreSubsystems::StartFailure() {
  using F = TProject::TStartFailure;
  std::string folder = hasParams_ ? commandLineFolder_ : exeFolder_;
  std::error_code ec;
  switch (startFailure_) {
    case F::None:
    case F::UserQuit: return {};
    case F::NoGameData:
    case F::NoProjectFile:
      if (!std::filesystem::is_directory(folder, ec)) return folder + ": no such folder, so no game data to play";
      return folder + ": holds no game data (game.dat) or orba.rpb, so there is nothing to play";
    case F::EmptyProjectFile: return folder + ": its orba.rpb is empty, so there is nothing to play";
    case F::BadProjectFile: return folder + ": its orba.rpb cannot be read, so there is nothing to play";
    case F::NoStartPage: return folder + ": the start page " + ToUtf8(startPage_) + " cannot be run";
  }
  return {};
}

void TCoreSubsystems::RunInterpreter() {
  if (project_) project_->Step();
}

bool TCoreSubsystems::ProcessProjectRequests() { return project_ && project_->ProcessRequests(); }

void TCoreSubsystems::TComponentsPart::SaveGamePart(TKvBigStream& stream) const {
  if (!Owner.root_) RaiseInternalError();
  Owner.root_->SaveTree(stream);
}

void TCoreSubsystems::TComponentsPart::LoadGamePart(TKvBigStream& stream, int32_t version) {
  if (!Owner.root_) RaiseInternalError();
  Owner.root_->LoadTree(stream, version);
}

// Message windows show their pages again once the history, the interpreter and the
// variables they draw on have been read too.
void TCoreSubsystems::TComponentsPart::AfterGameLoaded() {
  if (Owner.root_) RestoreMessageWindows(*Owner.root_);
}

void TCoreSubsystems::THistoryPart::SaveGamePart(TKvBigStream& stream) const { MessageHistory().SaveToStream(stream); }

void TCoreSubsystems::THistoryPart::LoadGamePart(TKvBigStream& stream, int32_t version) {
  MessageHistory().LoadFromStream(stream, version);
}

void TCoreSubsystems::FreeProject() {
  if (!project_) return;
  project_->Free();
  systemSource_.Project = nullptr;
  project_.reset();
}

bool TPlayerSystemSource::SoundOn() {
  return MediaManagers() ? MediaManagers()->SoundOn() : ISystemVariableSource::SoundOn();
}

void TPlayerSystemSource::SetSoundOn(bool on) {
  ISystemVariableSource::SetSoundOn(on);
  if (MediaManagers()) MediaManagers()->SetSoundOn(on);
}

std::string TPlayerSystemSource::MidiPort() {
  if (!MediaManagers()) return ISystemVariableSource::MidiPort();
  TMidiManager& midi = MediaManagers()->Midi();
  return midi.Ports()[static_cast<size_t>(midi.SelectedPort())];
}

void TPlayerSystemSource::SetMidiPort(std::string_view name) {
  if (MediaManagers()) MediaManagers()->Midi().SelectPort(std::string(name));
}

std::vector<std::string> TPlayerSystemSource::MidiPorts() {
  return MediaManagers() ? MediaManagers()->Midi().Ports() : ISystemVariableSource::MidiPorts();
}

namespace {

// A media file by the name a script gives: a name beginning with '\' or with ':' second is a
// file on disk (on this system the drive letter is dropped and the rest taken from the root);
// any other name is a project file.
std::vector<uint8_t> LoadMediaFile(const std::string& name) {
  bool onDisk = (!name.empty() && name[0] == '\\') || (name.size() > 1 && name[1] == ':');
  if (!onDisk) {
    TKvMemoryStream bytes;
    VrFileManager().LoadFile(bytes, name);
    return bytes.TakeBytes();
  }
  std::string path = ToUtf8(name.size() > 1 && name[1] == ':' ? name.substr(2) : name);
  std::replace(path.begin(), path.end(), '\\', '/');
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EOrbaError(name);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

void TCoreSubsystems::MediaInit() {
  media_.orbaInit();
  media_.orbaOggmanSetUseThread(true);
  TMediaEnvironment env;
  if (platform_) {
    env.Audio = platform_->audio;
    env.Codecs = platform_->codecs;
    env.Clock = platform_->clock;
  }
  if (env.Clock) {
    env.DelayMs = Process().SoundDelay;
    env.Library = &media_;
    env.LoadFile = LoadMediaFile;
    env.CdTrackFolder = VrFileManager().BaseFolder() + "/cdaudio";
    managers_ = std::make_unique<TMediaManagers>(std::move(env));
    SetMediaManagers(managers_.get());
    SetSoundFileCheck([this](const std::string& name) { return systemSource_.FileAvailable(name); });
    managers_->SetSoundOn(systemSource_.ISystemVariableSource::SoundOn());
  }
  if (info_.ScreenWidth > 0 && info_.ScreenHeight > 0) {
    std::vector<platform::DisplayMode> modes;
    int bits = 24;
    if (platform_ && platform_->window) {
      modes = platform_->window->DisplayModes();
      bits = platform_->window->DesktopBits();
    }
    screen_ = std::make_unique<TScreenManager>(modes, bits, info_.ScreenWidth, info_.ScreenHeight,
                                               info_.FullScreenWidth, info_.FullScreenHeight);
  }
}

void TCoreSubsystems::SetRootSize(int32_t width, int32_t height) {
  if (!root_ || !screen_) return;
  // The page on screen paints straight into the back buffer that is presented.
  root_->SetSize(width, height, screen_->BackFormat());
  PictureCache().ScreenDepth = screen_->BackFormat();
  root_->SetScreenTarget(&screen_->BackBuffer());
}

void TCoreSubsystems::ComponentUpdate() {
  if (root_) root_->Tick();
}

void TCoreSubsystems::ComposeFrame() {
  if (root_) root_->Paint();
}

void TCoreSubsystems::InputUpdate() {
  if (root_) {
    root_->InputStep(Process().FrameDelta);
    return;
  }
  // Without components (before start-up made them) only the latching is left.
  TBaseInput& b = bases_[CurrentBase()];
  b.Latch();
  keys_.Latch();
  b.Moved = false;
}

void TCoreSubsystems::PresentFrame(platform::IPresenter& presenter, int panelLeft, int panelTop) {
  // While a transition runs, what its step drew is presented instead of the page's dirty parts.
  if (screen_ && root_)
    screen_->Present(presenter, panelLeft, panelTop, root_->Current().Dirty(), root_->Back().Dirty(),
                     root_->TakeTransitionRect());
}

bool TCoreSubsystems::SetScreenMode(bool fullScreen) {
  if (!screen_ || !screen_->SetMode(fullScreen ? screen_->BestMode() : -1)) return false;
  // The back buffer is made anew: the page on screen paints into the new one, all of it.
  if (root_) root_->SetScreenTarget(&screen_->BackBuffer());
  return true;
}

void TCoreSubsystems::OrbaInitColor() {
  if (screen_) screen_->OrbaInitColor();
}

void TCoreSubsystems::MediaFinal() {
  screen_.reset();
  SetSoundFileCheck(nullptr);
  SetMediaManagers(nullptr);
  managers_.reset();
  media_.orbaFinal();
}

void TCoreSubsystems::SuspendMedia() {
  if (managers_) managers_->SuspendAll();
}

void TCoreSubsystems::ResumeMedia() {
  if (managers_) managers_->ResumeAll();
}

int32_t TPlayerSystemSource::HistoryCount() { return MessageHistory().Total(); }
int32_t TPlayerSystemSource::HistoryMaxCount() { return MessageHistory().MaxCount; }
void TPlayerSystemSource::SetHistoryMaxCount(int32_t n) { MessageHistory().MaxCount = n; }

}  // namespace orba
