// Small projects written by our own writers for tests: a project file and pages built
// command by command, the page source standing in a comment beside each builder.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "base/stream.h"
#include "files/bigstream.h"
#include "script/page.h"
#include "script/projectfile.h"
#include "values/parser.h"

namespace orba::testing_support {

// A field value for Cmd: text for strings and expressions (an expression is compiled), a
// number for integers and bytes.
struct F {
  std::string text;
  int32_t number = 0;
  std::vector<std::string> list;
  F(const char* t) : text(t) {}
  F(std::string t) : text(std::move(t)) {}
  F(int32_t n) : number(n) {}
  F(std::initializer_list<const char*> l) : list(l.begin(), l.end()) {}
};

inline std::unique_ptr<TOrbaParser> Compile(const std::string& text) {
  auto parser = std::make_unique<TOrbaParser>();
  if (text.empty()) return parser;
  TBuildOrbaParser build;
  build.Parse(text);
  TKvMemoryStream s;
  build.WriteOps(s);
  s.SetPosition(0);
  parser->ReadOps(s);
  return parser;
}

// Appends a command of a kind at an indent, its fields in layout order.
inline TCommand& Cmd(TPage& page, uint8_t kind, int32_t indent, std::vector<F> fields = {}, bool runOn = true) {
  auto c = page.CreateCommand(kind);
  c->Indent = indent;
  c->RunOn = runOn;
  c->Line = static_cast<int32_t>(page.Commands.size()) + 1;
  const auto& layout = c->Layout();
  for (size_t i = 0; i < fields.size() && i < layout.Fields.size(); ++i) {
    TFieldValue& f = c->Fields[i];
    switch (layout.Fields[i].Kind) {
      case TFieldKind::Expr: f.Expr = Compile(fields[i].text); break;
      case TFieldKind::String:
      case TFieldKind::Block: f.Text = fields[i].text; break;
      case TFieldKind::Int32:
      case TFieldKind::Byte: f.Number = fields[i].number; break;
      case TFieldKind::ExprList:
        for (const auto& e : fields[i].list) f.List.push_back(Compile(e));
        break;
      case TFieldKind::Props: break;
    }
  }
  page.Commands.push_back(std::move(c));
  return *page.Commands.back();
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  TKvBigFileStream out(path.string(), fmCreate);
  out.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
}

inline void SavePage(const TPage& page, const std::filesystem::path& path) {
  TKvMemoryStream s;
  page.SaveToStream(s);
  WriteBytes(path, s.Bytes());
}

inline void SaveProject(const TProjectFile& project, const std::filesystem::path& path) {
  TKvMemoryStream s;
  project.SaveToStream(s);
  WriteBytes(path, s.Bytes());
}

// A project whose start page counts ticks in "ticks" and then waits for ever.
//   start.rsb:  varnew ticks int 0 global
//               while TRUE
//                 calc ticks = ticks + 1
//                 wait time=16
inline void WriteWaitProject(const std::filesystem::path& dir) {
  TProjectFile project;
  project.Name = "Wait";
  project.ScreenWidth = 320;
  project.ScreenHeight = 240;
  project.FullScreenWidth = 320;
  project.FullScreenHeight = 240;
  project.StartPage = "start.rsb";
  SaveProject(project, dir / "orba.rpb");
  TPage page;
  page.Version = 110;
  Cmd(page, cmd::kVarNew, 0, {"ticks", 1, "0", 1});
  Cmd(page, cmd::kWhile, 0, {"TRUE", 5});
  Cmd(page, cmd::kCalc, 1, {"ticks = ticks + 1"});
  Cmd(page, cmd::kWait, 1, {"", "16", "FALSE"}, false);
  Cmd(page, cmd::kWhileLoop, 0, {"", 1});
  SavePage(page, dir / "start.rsb");
}

}  // namespace orba::testing_support
