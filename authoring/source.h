// The project source: the readable text form of pages and of the project file that the
// people who write games edit, and the compiler and decompiler between it and the compiled
// files. Source text is UTF-8; everything compiled is code page 932. A page source holds one
// command per line with its nesting shown by indentation; a project folder holds the project
// description "orba.rps", page sources "*.rss" (compiled to "*.rsb") and any other files the
// game reads. Dumping a compiled file and compiling the dump gives the same bytes. The build
// also refuses what compiles but cannot be meant (a stray else, a jump to a page the project
// lacks). This is authoring code: orbapack and the tests use it, the player never links it.
// docs/source-language.md describes the language.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "components/properties.h"
#include "script/page.h"
#include "script/projectfile.h"

namespace orba {

// A mistake in a source file; the message (code page 932) starts with "file:line: ".
class ESourceError : public EOrbaError {
 public:
  ESourceError(const std::string& file, int line, const std::string& message);
  std::string File;
  int Line;
};

// A mistake the compiled format could still hold (a stray else, a second label of one name,
// a scope of 9...): pages made by other tools may carry such things, so a source that says
// "#unchecked" keeps them, and the printer says so for the pages that need it.
class ESourceCheck : public ESourceError {
 public:
  using ESourceError::ESourceError;
};

// What the compiler of one page knows of a page of the project: its labels with their command
// indexes, in command order, its number of commands, and the variables its varnew commands
// create.
struct TPageOutline {
  std::vector<std::pair<std::string, int32_t>> Labels;
  int32_t CommandCount = 0;
  std::vector<std::string> Variables;
};

// What the compiler of one page knows of the whole project (names in code page 932).
struct TProjectOutline {
  std::map<std::string, TPageOutline> Pages;  // by lower-case compiled name ("sub\\next.rsb")
  std::set<std::string> Variables;            // lower case: the project file's and every varnew's
  // The page of a compiled name (as a command or a handler names it, any case), or null.
  const TPageOutline* FindPage(const std::string& name) const;
  void AddPage(const std::string& name, TPageOutline outline);
};

// Compiles a page source into page (cleared first). page.Name, when set, is the page's own
// name, so commands naming it find its labels directly. With the project, every page a
// command or an event handler names must be one of its pages, with the label named, and a
// component named by a lone variable must name a variable the project creates; without, only
// this page's own labels are checked. file names the source in messages.
void CompilePage(std::string_view source, const std::string& file, TPage& page, const TProjectOutline* project = nullptr);
// The page as source text; compiling it gives the page's bytes again.
std::string DecompilePage(const TPage& page);

// The outline of a page source (for checking jumps between pages before they are compiled)
// and of a compiled page.
TPageOutline PageSourceOutline(std::string_view source, const std::string& file);
TPageOutline PageOutline(const TPage& page);

// Compiles "orba.rps"; with the project's pages, the start and exit pages must be among them.
void CompileProjectDescription(std::string_view source, const std::string& file, TProjectFile& project,
                               const TProjectOutline* pages = nullptr);
std::string DecompileProject(const TProjectFile& project);

// One compiled project folder: the project file's bytes, the pages and the pictures by stored
// name, and the folder's other files (relative UTF-8 paths) to ship beside them.
struct TCompiledProject {
  std::vector<uint8_t> ProjectFile;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> Pages;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> Pictures;
  std::vector<std::string> OtherFiles;
};

constexpr const char* kProjectSourceName = "orba.rps";
constexpr const char* kPageSourceExt = ".rss";
constexpr const char* kPictureSourceExt = ".png";

// Compiles the project folder dir: "orba.rps", every "*.rss" page below it, and every "*.png"
// picture into a layered image (".trn") stored with the project's image seed. The paths in
// skip (a build's output file or folder, when it lies inside dir), the folders below dir that
// hold a compiled project file "orba.rpb" (earlier builds) and everything under them are no
// part of the project.
TCompiledProject CompileProjectFolder(const std::filesystem::path& dir, const std::vector<std::filesystem::path>& skip = {});

// The compiled name of a page source: its last three characters replaced by "rsb".
std::string CompiledPageName(std::string_view sourceName);
// The compiled name of a picture: its last three characters replaced by "trn".
std::string CompiledPictureName(std::string_view sourceName);

}  // namespace orba
