// The running project: reads the status data of earlier runs and the captions of the saved
// games, finds the game data, reads "orba.rpb", creates the interpreter on the start page,
// runs it once per tick, carries out the save and load requests at the end of the tick,
// answers whether a file may be used, and at the end runs the exit page and writes the
// status data.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "script/callman.h"
#include "script/projectfile.h"
#include "script/savefile.h"

namespace orba {

class TProject : public IScriptHost {
 public:
  // How the project talks to the player around it.
  struct THost {
    enum class TIcon { Warning, Information };
    // Shows a message box (code page 932 texts) with a warning or an information icon;
    // answers true for OK or Yes.
    std::function<bool(const std::string& caption, const std::string& text, bool okCancel, TIcon icon)> Message;
    // Lets the player see its window's close button and exit question while a script runs
    // without waiting; may set the stop flag.
    std::function<void()> KeepResponsive;
    // Closes the main window (the stop flag is already set).
    std::function<void()> PostClose;
    // Sets the application title and window caption.
    std::function<void(const std::string& name)> SetTitle;
    bool HasCommandLineFolder = false;
    std::string CommandLineFolder;  // native; the project folder named on the command line
    std::string ExeFolder;  // native, with a trailing '/'
    // Where saves go when the project's own folder cannot be written (the user's data
    // folder for this project, native); empty: nowhere else.
    std::string UserSaveFolder;
    // A folder the user chose for saves (--save-dir, native): every save goes there, and a
    // save.dat beside the project is read until the first save there. Empty: none chosen.
    std::string ChosenSaveFolder;
    // Whether a file can be created in the folder; a probe file when unset.
    std::function<bool(const std::string& folder)> FolderWritable;
  };

  explicit TProject(THost host);
  ~TProject() override;

  // Why Create() left the stop flag set: the player says it on a terminal. UserQuit is the
  // player's own choice at the disc prompt.
  enum class TStartFailure { None, NoGameData, NoProjectFile, EmptyProjectFile, BadProjectFile, NoStartPage, UserQuit };

  // The whole load; leaves the stop flag set (and StartFailure) when the project cannot run.
  void Create();
  TStartFailure StartFailure = TStartFailure::None;
  // Runs the exit page once, writes the status data and lets go of the interpreter.
  void Free();
  // One interpreter run.
  void Step();
  // Carries out a pending game load and then a pending save; true when a game was loaded
  // (that tick draws nothing).
  bool ProcessRequests();

  // Writes the game entry of slot and, when saving is enabled, the status entry with it, in
  // one replacement of save.dat; an empty caption saves nothing. A save that cannot be made
  // or written is reported and leaves save.dat as it was; false then.
  bool SaveGameSlot(int32_t slot, const std::string& resumePage, const std::string& caption, int32_t resumeIndex);
  // Reads the game entry of slot into the running player: false when there is none. An
  // entry that cannot be read is reported and changes nothing; one that fails while its
  // parts are read stops the player with the message for unusable saves.
  bool LoadGameSlot(int32_t slot);
  // The keepers of the saved game's component tree and message history (null: none yet;
  // games cannot be saved or loaded without them).
  void SetGameEntryParts(IGameEntryPart* components, IGameEntryPart* history) {
    componentsPart_ = components;
    historyPart_ = history;
  }

  // The file of saved games and status data that saves are written to: save.dat in the
  // command-line project folder, else beside the executable, unless that folder cannot be
  // written; then in the user's save folder (native path).
  std::string SaveFileName() const;
  // The file saves are read from: the one written to when it exists, else the other place's.
  std::string SaveReadFileName() const { return SaveFile().ReadPath(); }
  TSaveFile SaveFile() const;
  // Fills the caption list from save.dat; a missing or damaged file leaves it empty.
  void ReadSaveCaptions();
  // The caption saved with slot, empty when none.
  std::string CaptionOfSlot(int32_t slot) const { return saveCaptions_.CaptionOf(slot); }
  // Replaces the caption of slot, or adds the slot to the list.
  void SetSaveCaption(int32_t slot, const std::string& caption) { saveCaptions_.Set(slot, caption); }
  const TSaveCaptions& SaveCaptions() const { return saveCaptions_; }

  // The keepers of the status data. The variables' part follows the variable collection on
  // its own; the other parts are registered here by their subsystems.
  TStatusData& StatusParts() { return statusParts_; }
  // Replaces the status entry of save.dat once every part of it has its keeper and the
  // project allows saving; a failed write leaves the old file and is reported.
  void SaveStatusData();

  // IScriptHost
  bool CheckFileAvailable(const std::string& name) override;
  void RequestSave(int32_t slot, const std::string& page, int32_t line, const std::string& caption) override;
  void RequestLoad(int32_t slot) override { LoadRequest = slot; }
  void Terminate() override;
  void ClearGameTables() override;
  void StopWithWarning(const std::string& text) override;
  void KeepResponsive() override {
    if (host_.KeepResponsive) host_.KeepResponsive();
  }

  TProjectFile File;  // name, sizes, pages, options as read
  std::string Name;
  int32_t LoadRequest = -1, SaveRequest = -1;
  std::string SaveRequestPage, SaveRequestCaption;
  int32_t SaveRequestLine = 0;
  TCallMan* CallMan() { return callMan_.get(); }

 private:
  // Finds the data of a player installed from a disc; false when the player must end.
  bool FindGameData();
  bool SearchDiscs(const std::string& title);
  // Reads the status entry of save.dat, if any, into the registered parts.
  void ReadStatusData();
  // Replaces or adds these entries of save.dat; says when the file had to be moved aside or
  // could not be written (then it is as it was, and false is returned).
  bool WriteSaveEntries(std::span<const TSaveFile::TEntry> entries);
  // Registers the parts of the status entry: the variables' and the dither flag's while the
  // variable collection exists, the read marks' and the status tables' unless a subsystem
  // registered its own.
  void AttachStatusParts();

  // save.dat beside the project; which folder saves go to is chosen once, at creation.
  std::string ProjectSaveFileName() const;
  void ChooseSaveFolder();

  TGameEntry::TParts GameParts();

  THost host_;
  std::string saveFileName_;
  IGameEntryPart* componentsPart_ = nullptr;
  IGameEntryPart* historyPart_ = nullptr;
  std::unique_ptr<TCallMan> callMan_;
  TSaveCaptions saveCaptions_;
  TStatusData statusParts_;
};

}  // namespace orba
