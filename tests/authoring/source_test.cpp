#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include "authoring/source.h"
#include "base/binio.h"
#include "base/cp932.h"
#include "render/imagefiles.h"
#include "render/trn.h"
#include "tests/support/temp_dir.h"

namespace orba {
namespace {

std::vector<uint8_t> Bytes(const TPage& page) {
  TKvMemoryStream s;
  page.SaveToStream(s);
  return s.TakeBytes();
}

std::vector<uint8_t> Compile(const std::string& source, const std::string& name = "start.rsb") {
  TPage page;
  page.Name = name;
  CompilePage(source, "start.rss", page);
  return Bytes(page);
}

// Reads compiled bytes back, prints them as source and compiles that: the bytes must not change.
void ExpectRoundTrip(const std::vector<uint8_t>& bytes, const std::string& name = "start.rsb") {
  TPage page;
  page.Name = name;
  page.LoadFromBytes(bytes);
  const std::string text = DecompilePage(page);
  std::vector<uint8_t> again;
  ASSERT_NO_THROW(again = Compile(text, name)) << text;
  EXPECT_EQ(again, bytes) << "source printed from the page:\n" << text;
}

// Every command kind, as the reference shows them.
const char* kEveryKind = R"(// every command kind
label start
if a > 1 & b <> "x"
  calc a = a - 1
elseif a == 0
  jump battle.rsb; target: 3; condition: Random(10) < 5
else
  call start.rsb; target: start; result: answer; condition: TRUE; arguments: 1, "two", a * 2
exit a == 99
wait time: 500; blockevents: TRUE
boxnew name: "box"; left: 10; top: 20; width: 100; height: 50; color: 255; onlbtndown: "click.rsb"
imgnew name: "bg"; source: "bg.png"; alpha: 128; zoomx: 512
mesnew name: "mes"; fontheight: 24; fontname: "Gothic"
timer name: "tick"; delay: 1000; onnotify: "tick.rsb"
movie name: "op"; source: "op.mpg"; volume: 800
flip kind: 1; time: 300; reverse: FALSE; selection: 0; names: "bg", "mes"; clearold: TRUE; param1: 0; param2: 0; mask: "mask.png"; blockevents: TRUE
calc total = (a + b) * c
varnew score; type: int; value: 10; scope: 1
vardel score
getprop "box"; property: 3; variable: x
setprop "box"; property: 3; value: x + 10
objdel "box"
textins "Hello, world"; window: "mes"; markread: TRUE; waitend: TRUE; blockevents: FALSE
moviestop "op"; fade: 500; waitend: TRUE; blockevents: TRUE
clrhist
cinema name: "cine"; source: "anim.cin"; repeat: TRUE
caption text: "A caption"; left: 4
menu name: "menu"; text: "Yes" ++ "No"; onselect: "choose.rsb"
menuclose "menu"
comment a note for the authors; nothing runs here
textclr "mes"
callhist "mes"; first: 0; count: 10; flag: TRUE
btnnew name: "ok"; source: "ok.png"; hoversource: "ok2.png"; groupindex: 1
whileinit i = 0
while i < 10
  break i == 5
  continue i == 3
  calc arr[i] = i * 2
whileloop i = i + 1
particlenew name: "snow"; source: "flake.png"; appearx: 320; appeary: 0; param1: 0.5
firenew name: "fire"; power: 3
gamesave 1; page: start.rsb; index: start; caption: "Chapter 1"
gameload 1
pcreset start.rsb; target: start; wholestack: 1
reset start.rsb; target: 0
sound name: "bgm"; source: "bgm.ogg"; repeat: TRUE; volume: 600
editnew name: "edit"; text: "type here"; readonly: FALSE
memonew name: "memo"; text: "lines"
terminate
doevent
clrread
mapimgnew name: "map"; source: "map.png"; mapsource: "mapmask.png"; onmapin: "in.rsb"
wavenew name: "wave"; amp: 4; wavelen: 80
tilenew name: "tile"; source: "tile.png"; scrollx: 1; distancex: 2
slidernew name: "slider"; min: 0; max: 100; value: 50; thumbsource: "thumb.png"
scrollbarnew name: "bar"; largechange: 10
gaugenew name: "gauge"; value: 30; barsize: 200; reverse: TRUE
cgcaption name: "digits"; maptext: "0123456789"; glyphwidth: 16; glyphheight: 24
mediaplay "op"
prevmenunew name: "prev"; source: "thumbs.png"
propmotion "move"; component: "box"; property: 3; end: 400; time: 1000; curve: 2; paused: FALSE
entryhist "mes"
cabinetsave name: "cab"; selection: 0; names: "a", "b"
cabinetload name: "cab"; selection: 1; names: "a"
)";

TEST(Source, EveryKindCompilesAndPrintsBackToTheSameBytes) {
  std::vector<uint8_t> bytes = Compile(kEveryKind);
  TPage page;
  page.LoadFromBytes(bytes);
  std::set<int> kinds;
  for (const auto& c : page.Commands) kinds.insert(c->Kind());
  EXPECT_EQ(kinds.size(), static_cast<size_t>(kCommandKinds));
  ExpectRoundTrip(bytes);

  // The printed source reads like what was written: no expression fell back to raw operations,
  // and nothing needed the checks turned off.
  const std::string text = DecompilePage(page);
  EXPECT_EQ(text.find("@ops:"), std::string::npos) << text;
  EXPECT_EQ(text.find("#unchecked"), std::string::npos) << text;

  // Older pages lack the gated fields: a source that does not use them compiles at 103 too.
  std::string old = std::string("#version 103\n") + kEveryKind;
  for (const char* gated : {"; blockevents: TRUE", "; blockevents: FALSE", "; mask: \"mask.png\"", "; paused: FALSE",
                              "; index: start"})
    for (size_t at; (at = old.find(gated)) != std::string::npos;) old.erase(at, std::string(gated).size());
  ExpectRoundTrip(Compile(old));
}

TEST(Source, PropertiesByNameAndTheKindsSet) {
  TPage page;
  CompilePage("#props imgnew paused 165\nimgnew left: 1\nimgnew top: 2; onlbtndown: \"a.rsb\"\n", "p.rss", page);
  const TPropertySet& set = page.PropertySets[9];
  for (int code : {3, 4, 27, 36, 165}) EXPECT_TRUE(HasProperty(set, code)) << code;
  EXPECT_FALSE(HasProperty(set, 0));
  ASSERT_EQ(page.Commands.size(), 2u);
  ASSERT_TRUE(page.Commands[0]->Props[3]);
  EXPECT_EQ(page.Commands[0]->Props[3]->Ops().size(), 1u);
  ASSERT_TRUE(page.Commands[0]->Props[4]);  // in the set: carried, empty
  EXPECT_TRUE(page.Commands[0]->Props[4]->Ops().empty());
  ExpectRoundTrip(Bytes(page), "p.rsb");

  EXPECT_EQ(PropertyCode("name"), 0);
  EXPECT_EQ(PropertyCode("onlbtndown"), 36);
  EXPECT_EQ(PropertyCode("caretheight"), 161);
  for (int code = 0; code < kPropertyCount; ++code) EXPECT_EQ(PropertyCode(PropertyName(code)), code);
}

TEST(Source, IndentationLabelsAndLoopIndexes) {
  const char* source =
      "label top\n"                  // 0
      "whileinit i = 0\n"            // 1
      "while i < 3\n"                // 2
      "  whileinit j = 0\n"          // 3
      "  while j < 3\n"              // 4
      "    if j == 1\n"              // 5
      "      continue\n"             // 6
      "    break j == 2\n"           // 7
      "  whileloop j = j + 1\n"      // 8
      "  break i == 2\n"             // 9
      "whileloop i = i + 1\n"        // 10
      "while FALSE\n"                // 11: no closing whileloop
      "  continue\n"                 // 12
      "break\n"                      // 13: outside any loop
      "jump target: top\n"           // 14
      "jump other.rsb; target: far\n"  // 15
      "label far\n";                 // 16
  TProjectOutline project;
  project.AddPage("other.rsb", {{{"near", 41}, {"far", 42}}, 50, {}});
  project.AddPage("start.rsb", {});
  TPage page;
  page.Name = "start.rsb";
  CompilePage(source, "start.rss", page, &project);
  ASSERT_EQ(page.Commands.size(), 17u);
  auto field = [&](int i, int f) { return page.Commands[i]->Fields[f].Number; };
  std::vector<int32_t> indents;
  for (const auto& c : page.Commands) indents.push_back(c->Indent);
  EXPECT_EQ(indents, (std::vector<int32_t>{0, 0, 0, 1, 1, 2, 3, 2, 1, 1, 0, 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(page.Commands[5]->Line, 6);
  EXPECT_EQ(field(2, 1), 11);   // outer while ends after its whileloop
  EXPECT_EQ(field(4, 1), 9);    // inner while
  EXPECT_EQ(field(8, 1), 4);    // whileloop goes back to its while
  EXPECT_EQ(field(10, 1), 2);
  EXPECT_EQ(field(6, 1), 8);    // continue: the loop's whileloop
  EXPECT_EQ(field(7, 1), 9);    // break: after the loop
  EXPECT_EQ(field(9, 1), 11);
  EXPECT_EQ(field(11, 1), 13);  // a while without whileloop ends after its body
  EXPECT_EQ(field(12, 1), 11);  // ... and continue goes to the while itself
  EXPECT_EQ(field(13, 1), -1);  // break outside a loop leaves the page
  EXPECT_EQ(field(14, 1), 0);
  EXPECT_EQ(field(15, 1), 42);
  ExpectRoundTrip(Bytes(page));

  // Indexes written out win over the structure, and survive printing.
  std::vector<uint8_t> custom = Compile("while TRUE; end: 7\n  break; target: 5\nwhileloop; start: 3\n");
  TPage back;
  back.LoadFromBytes(custom);
  ASSERT_EQ(back.Commands.size(), 3u);
  EXPECT_EQ(back.Commands[0]->Fields[1].Number, 7);
  EXPECT_EQ(back.Commands[1]->Fields[1].Number, 5);
  EXPECT_EQ(back.Commands[2]->Fields[1].Number, 3);
  ExpectRoundTrip(custom);
}

TEST(Source, ExpressionsPrintAsTextThatCompilesToTheSameOperations) {
  struct Case {
    const char* Text;
    bool Readable;  // printed as text; otherwise as the raw operations
  } cases[] = {
      {"a", true},
      {"a + b * c", true},
      {"(a + b) * c", true},
      {"a - (b - c)", true},
      {"-a * b", true},
      {"a * -b", true},
      {"a = -5", true},
      {"x[i, j + 1] = Copy(s, 1, n) ++ \"end\"", true},
      {"\"with \\\"quotes\\\" and \\\\ and\\nlines\"", true},
      {"1.5 + 2.0 + 0.000001 * 123456789012.5", true},
      {"(a)", true},
      {"Not(flag) | a & b ^ c << 2", true},
      {"IntToStr(a + 1, 3) == \"x;y, z\"", true},
      {"n = GetArraySize(arr)", true},
      {"((a + b))", false},  // parentheses the text needs not: the temporaries differ
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = Compile(std::string("calc ") + c.Text + "\n");
    ExpectRoundTrip(bytes);
    TPage page;
    page.LoadFromBytes(bytes);
    EXPECT_EQ(DecompilePage(page).find("@ops:") == std::string::npos, c.Readable) << c.Text << "\n" << DecompilePage(page);
  }
  // Lists hold any expression, and an empty item.
  ExpectRoundTrip(Compile("call p.rsb; target: 1; arguments: a, , Copy(s, 1, 2)\n"));
}

TEST(Source, PagesNoSourceCouldHaveWrittenStillPrintBack) {
  // Flags and lines, odd indents, a lone empty list item, bytes that are no text, and an
  // expression the compiler never makes: the printed source keeps them all.
  TPage page;
  page.Name = "odd.rsb";
  page.Version = 106;
  page.ResultType = 4;
  auto add = [&](uint8_t kind) -> TCommand& { return *page.Commands.emplace_back(page.CreateCommand(kind)); };
  TCommand& label = add(3);
  label.Fields[0].Text = "12";  // a label named like a number
  label.Line = 900;
  label.Indent = -3;
  TCommand& jump = add(4);
  jump.Fields[1].Number = 0;
  jump.Disabled = true;
  jump.Indent = 5;
  TCommand& call = add(5);
  call.Fields[4].List.push_back(std::make_unique<TOrbaParser>());
  TCommand& text = add(20);
  text.Fields[0].Text = std::string("\x00\x01\xFF\x81", 4);
  TCommand& comment = add(27);
  comment.Fields[0].Text = "\"quoted\" text\r\nover two lines";
  TCommand& calc = add(14);
  {
    // ____arg = ____7: a temporary nothing assigned
    TKvMemoryStream s;
    TBinaryWriter w(s);
    w.I32(1);
    w.U8(1);
    w.String("____arg");
    w.I32(1);
    w.U8(0);
    w.String("____7");
    s.SetPosition(0);
    calc.Fields[0].Expr->ReadOps(s);
  }
  TCommand& varnew = add(15);
  varnew.Fields[0].Text = Sjis(u8"名前 with space");
  varnew.Fields[1].Number = 9;
  add(2);                                 // an else after no if
  add(3).Fields[0].Text = "12";           // the label's name again
  add(33).Fields[1].Number = -1;          // a whileloop closing no while
  add(15).Fields[3].Number = 9;           // scope 9
  for (auto& c : page.Commands) c->RunOn = c->Kind() % 2 == 0;
  AddProperty(page.PropertySets[0], 7);
  ExpectRoundTrip(Bytes(page), "odd.rsb");
  // Such a page prints with the directive that keeps what the checks refuse.
  EXPECT_EQ(DecompilePage(page).rfind("#unchecked\n", 0), 0u) << DecompilePage(page);
}

TEST(Source, MistakesNameTheirLine) {
  struct Case {
    const char* Source;
    int Line;
    const char* Message;
  } cases[] = {
      {"calc a = 1\nfrobnicate\n", 2, "unknown command frobnicate"},
      {"if a\n   calc b\n", 2, "multiple of two"},
      {"\n\ncalc a +\n", 3, "expression: syntax error in a +"},
      {"boxnew name: \"b\"; lefty: 3\n", 1, "no field or property lefty"},
      {"calc a; b\n", 1, "too many values"},
      {"jump target: nowhere\n", 1, "unknown label nowhere"},
      {"jump other.rsb; target: far\n", 1, "in page other.rsb"},
      {"wait time: 1; 5\n", 1, "without a name"},
      {"calc a\n#version 104\n", 2, "after the first command"},
      {"#version 104\nwait blockevents: TRUE\n", 2, "needs a page version above 106"},
      {"#version 99\n", 1, "103 to 110"},
      {"varnew x; type: 300\n", 1, "0 to 255"},
      {"calc Nothing(1)\n", 1, "no function is called Nothing"},
      {"calc Copy(s)\n", 1, "wrong number of arguments for Copy"},
      {"calc x[] = 1\n", 1, "an array element needs its index"},
      {"calc @ops:01000000\n", 1, "the operations end early"},
      // Quotes left open, in an expression and in a name.
      {"calc a = \"abc\n", 1, "expression: a quoted string must end with its quote"},
      {"textins \"Hi\"; window: \"mes; waitend: TRUE\n", 1, "window: a quoted string must end with its quote"},
      // Blocks that open nothing.
      {"whileloop i = i + 1\n", 1, "whileloop without a while"},
      {"while a\n  calc b\n  whileloop\n", 3, "whileloop without a while"},
      {"else\n", 1, "else without an if"},
      {"calc a\nelseif b\n", 2, "elseif without an if"},
      {"if a\nelse\nelse\n", 3, "else without an if"},
      {"if a\n  calc b\n    calc c\nelse\nelseif c\n", 5, "elseif without an if"},
      {"label a\ncalc x\nlabel a\n", 3, "label a is already on line 1"},
      // Values out of their range.
      {"varnew x; type: int; scope: 9\n", 1, "scope takes a number from 0 to 3"},
      {"varnew x\n", 1, "type takes int, float, flag or string"},
      {"varnew x; type: 5\n", 1, "type takes int, float, flag or string"},
      {"varnew x; type: 0\n", 1, "type takes int, float, flag or string"},
      {"pcreset start.rsb; target: 0; wholestack: 2\n", 1, "wholestack takes a number from 0 to 1"},
      {"getprop \"b\"; property: 162; variable: x\n", 1, "162 is no property code"},
      {"label a\njump target: 2\n", 2, "command index 2 is outside the page"},
      {"gamesave 1; index: -1\n", 1, "command index -1 is outside the page"},
      {"calc a; line: x\n", 1, "line takes a number"},
      {"textins @hex:12G4\n", 1, "bad hex"},
      {"calc @ops:0100\n", 1, "expression"},
      {"label \"open\n", 1, "must end with its quote"},
      {"vardel \"bad \\x4\"\n", 1, "must end with its quote"},
  };
  for (const Case& c : cases) {
    try {
      Compile(c.Source);
      ADD_FAILURE() << "no error for: " << c.Source;
    } catch (const ESourceError& e) {
      EXPECT_EQ(e.Line, c.Line) << c.Source;
      std::string message = ToUtf8(e.what());
      EXPECT_NE(message.find("start.rss:" + std::to_string(c.Line) + ": "), std::string::npos) << message;
      EXPECT_NE(message.find(c.Message), std::string::npos) << c.Source << " gave: " << message;
      // The build speaks English, whatever the player says at run time.
      EXPECT_TRUE(std::all_of(message.begin(), message.end(), [](char ch) { return ch >= 0x20 && ch < 0x7F; }))
          << message;
    }
  }
  // The same sources marked "#unchecked" compile: the format holds what the checks refuse.
  for (const char* source : {"else\n", "label a\nlabel a\n", "varnew x; type: 9\n", "whileloop\n"})
    EXPECT_NO_THROW(Compile(std::string("#unchecked\n") + source)) << source;
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

TEST(Source, ProjectFolderCompiles) {
  testing_support::TempDir dir;
  WriteFile(dir.path / "orba.rps",
            "// a small game\n"
            "name \"ゲーム\"   // trailing comments are allowed\n"
            "screen 800 600// even without a blank before them\n"
            "fullscreen 1024 768\n"
            "start start.rsb\n"
            "exit bye.rsb\n"
            "save 0\n"
            "var int score = 5\n"
            "var float speed = 1.25\n"
            "var flag seen = TRUE\n"
            "var string hero = \"太郎 // not a comment\" // a comment\n"
            "var 7 other\n"
            "disc movies 2\n");
  WriteFile(dir.path / "start.rss", "jump sub\\next.rsb; target: there\n");
  WriteFile(dir.path / "sub" / "next.rss", "comment next page\nlabel there\n");
  WriteFile(dir.path / "bye.rss", "terminate\n");
  WriteFile(dir.path / "bgm.ogg", "not really a sound");

  TCompiledProject built = CompileProjectFolder(dir.path);
  TProjectFile project;
  project.LoadFromBytes(built.ProjectFile);
  EXPECT_EQ(ToUtf8(project.Name), "ゲーム");
  EXPECT_EQ(project.ScreenWidth, 800);
  EXPECT_EQ(project.FullScreenHeight, 768);
  EXPECT_EQ(project.StartPage, "start.rsb");
  EXPECT_EQ(project.ExitPage, "bye.rsb");
  EXPECT_EQ(project.SaveEnabled, 0);
  ASSERT_EQ(project.Variables.size(), 5u);
  EXPECT_EQ(project.Variables[0].Int, 5);
  EXPECT_EQ(project.Variables[1].Float, 1.25);
  EXPECT_TRUE(project.Variables[2].Flag);
  EXPECT_EQ(ToUtf8(project.Variables[3].Text), "太郎 // not a comment");
  EXPECT_EQ(project.Variables[4].Type, 7);
  EXPECT_EQ(project.DiskList.DiscOf("movies\\a.mpg"), 2);

  ASSERT_EQ(built.Pages.size(), 3u);
  EXPECT_EQ(built.Pages[0].first, "bye.rsb");
  EXPECT_EQ(built.Pages[1].first, "start.rsb");
  EXPECT_EQ(built.Pages[2].first, "sub\\next.rsb");
  TPage start;
  start.LoadFromBytes(built.Pages[1].second);
  ASSERT_EQ(start.Commands.size(), 1u);
  EXPECT_EQ(start.Commands[0]->Fields[1].Number, 1);  // the label of the other page
  EXPECT_EQ(built.OtherFiles, std::vector<std::string>{"bgm.ogg"});

  // The description prints back to the same file.
  TProjectFile again;
  CompileProjectDescription(DecompileProject(project), "orba.rps", again);
  TKvMemoryStream s;
  again.SaveToStream(s);
  EXPECT_EQ(s.Bytes(), built.ProjectFile) << DecompileProject(project);

  WriteFile(dir.path / "orba.rps", "name \"x\"\nscreen 640\n");
  try {
    CompileProjectFolder(dir.path);
    ADD_FAILURE() << "a wrong setting compiled";
  } catch (const ESourceError& e) {
    EXPECT_EQ(e.Line, 2);
  }
}

// Commands and handlers that name pages or labels the project lacks stop the build at their
// line; the same names that exist compile.
TEST(Source, NamesOfPagesAndLabelsAreCheckedAcrossTheProject) {
  testing_support::TempDir dir;
  const std::map<std::string, std::string> good = {
      {"orba.rps", "start start.rsb\nexit other.rsb\nvar string mes = \"window\"\n"},
      {"start.rss",
       "jump other.rsb; target: there\n"
       "call sub\\more.rsb; target: in\n"
       "jump OTHER.RSB; target: 1\n"
       "btnnew name: \"b\"; onlbtndown: \"other.rss:there\"; onrbtndown: \"sub\\more.rss\"; onmousein: \"\"\n"
       "gamesave 1; page: other.rsb; index: there; caption: \"x\"\n"
       // Variables that hold names: the project file's, and those a varnew of any page creates.
       "textins \"Hello\"; window: Mes\n"
       "objdel \"box\" ++ which\n"
       "flip 1; names: \"bg\", chara\n"},
  };
  for (const auto& [file, text] : good) WriteFile(dir.path / file, text);
  WriteFile(dir.path / "other.rss", "calc a = 1\nlabel there\n");
  WriteFile(dir.path / "sub" / "more.rss", "label in\nvarnew chara; type: string\n");
  ASSERT_NO_THROW(CompileProjectFolder(dir.path));

  struct Case {
    const char* File;
    const char* Text;
    const char* Message;  // how the message starts
  } cases[] = {
      {"start.rss", "calc a\njump nowhere.rsb\n", "start.rss:2: the project has no page nowhere.rsb"},
      {"start.rss", "call other.rsb; target: missing\n", "start.rss:1: unknown label missing in page other.rsb"},
      {"start.rss", "jump other.rsb; target: 2\n", "start.rss:1: command index 2 is outside the page in page other.rsb"},
      {"start.rss", "pcreset gone.rsb; target: 0\n", "start.rss:1: the project has no page gone.rsb"},
      {"start.rss", "gamesave 1; page: gone.rsb; caption: \"x\"\n", "start.rss:1: the project has no page gone.rsb"},
      {"start.rss", "boxnew name: \"b\"\nbtnnew name: \"b\"; onlbtndown: \"gone.rss\"\n",
       "start.rss:2: the project has no page gone.rsb"},
      {"start.rss", "btnnew name: \"b\"; onlbtnup: \"other.rss:nolabel\"\n",
       "start.rss:1: onlbtnup: unknown label nolabel in page other.rsb"},
      {"start.rss", "timer name: \"t\"; onnotify: \"sub\\more.rss:out\"\n",
       "start.rss:1: onnotify: unknown label out in page sub\\more.rsb"},
      {"orba.rps", "name x\nstart gone.rsb\n", "orba.rps:2: the project has no page gone.rsb"},
      // A component's name is text; a bare word is a variable, which the project must have.
      {"start.rss", "textins \"Hello\"; window: msg\n",
       "start.rss:1: window: msg is no variable of the project; a component's name is text, in quotes: \"msg\""},
      {"start.rss", "flip 1; names: \"bg\", face\n", "start.rss:1: names: face is no variable"},
      {"start.rss", "imgnew name: \"a\"; parent: base\n", "start.rss:1: parent: base is no variable"},
      {"start.rss", "objdel box\n", "start.rss:1: component: box is no variable"},
      {"orba.rps", "exit gone.rsb\n", "orba.rps:1: the project has no page gone.rsb"},
  };
  for (const Case& c : cases) {
    WriteFile(dir.path / c.File, c.Text);
    try {
      CompileProjectFolder(dir.path);
      ADD_FAILURE() << "no error for: " << c.Text;
    } catch (const ESourceError& e) {
      EXPECT_EQ(ToUtf8(e.what()).substr(0, std::strlen(c.Message)), c.Message) << c.Text;
    }
    WriteFile(dir.path / c.File, good.at(c.File));
  }
}

// A build whose output lies in its source folder leaves that output, and earlier builds into
// folders there, out of the project.
TEST(Source, TheOutputOfABuildIsNoPartOfTheNextOne) {
  testing_support::TempDir dir;
  WriteFile(dir.path / "orba.rps", "name x\n");
  WriteFile(dir.path / "bgm.ogg", "sound");
  WriteFile(dir.path / "game.dat", "the last build");
  WriteFile(dir.path / "out" / "pictures" / "a.trn", "a folder the build writes into");
  WriteFile(dir.path / "out" / "start.rss", "calc not a page of this project\n");
  WriteFile(dir.path / "old" / "orba.rpb", "an earlier build into a folder");
  WriteFile(dir.path / "old" / "sub" / "start.rss", "calc not a page of this project\n");
  TCompiledProject built = CompileProjectFolder(dir.path, {dir.path / "game.dat", dir.path / "sub" / ".." / "out"});
  EXPECT_EQ(built.OtherFiles, std::vector<std::string>{"bgm.ogg"});
  EXPECT_TRUE(built.Pages.empty());
}

void WritePng(const std::filesystem::path& path, const TDIBSurface& image) {
  TKvMemoryStream png;
  SavePng(png, image);
  WriteFile(path, std::string(png.Bytes().begin(), png.Bytes().end()));
}

// PNG pictures of a project source become layered images whose rows are stored in the order
// the project's image seed draws: the player reads them back with that seed only.
TEST(Source, PicturesBecomeLayeredImagesStoredWithTheImageSeed) {
  testing_support::TempDir dir;
  WriteFile(dir.path / "orba.rps", "name \"x\"\nimageseed 1234\n");
  TDIBSurface opaque(5, 6, 24);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 5; ++x) opaque.SetPixel(x, y, opaque.RGBToPixel(uint8_t(40 * y), uint8_t(50 * x), 7));
  WritePng(dir.path / "pics" / "a.png", opaque);
  TDIBSurface seeThrough(2, 2, 24);
  seeThrough.CreateAlpha();
  seeThrough.Alpha()->ScanLine(1)[1] = 255;
  WritePng(dir.path / "b.png", seeThrough);

  TCompiledProject built = CompileProjectFolder(dir.path);
  EXPECT_TRUE(built.OtherFiles.empty());
  ASSERT_EQ(built.Pictures.size(), 2u);
  EXPECT_EQ(built.Pictures[0].first, "b.trn");
  EXPECT_EQ(built.Pictures[1].first, "pics\\a.trn");

  auto read = [&](int index, int32_t seed) -> std::optional<TDIBSurface> {
    TTarnFrameList list(seed);
    list.LoadFromBytes(built.Pictures[static_cast<size_t>(index)].second, built.Pictures[static_cast<size_t>(index)].first);
    if (list.Count() != 1) return std::nullopt;
    return std::move(list[0].Surface);
  };
  std::optional<TDIBSurface> readA = read(1, 1234), readUnseeded = read(1, 0), readB = read(0, 1234);
  ASSERT_TRUE(readA && readUnseeded && readB) << "a picture without its one frame";
  TDIBSurface& a = *readA;
  EXPECT_EQ(a.BitCount(), 24);
  EXPECT_EQ(a.Alpha(), nullptr);  // opaque: no alpha plane
  bool same = true, sameUnseeded = true;
  TDIBSurface& unseeded = *readUnseeded;
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 5; ++x) {
      same &= a.GetPixel(x, y) == opaque.GetPixel(x, y);
      sameUnseeded &= unseeded.GetPixel(x, y) == opaque.GetPixel(x, y);
    }
  EXPECT_TRUE(same);
  EXPECT_FALSE(sameUnseeded);  // the rows are stored out of order
  TDIBSurface& b = *readB;
  ASSERT_NE(b.Alpha(), nullptr);
  EXPECT_EQ(b.Alpha()->ScanLine(0)[0], 0);
  EXPECT_EQ(b.Alpha()->ScanLine(1)[1], 255);

  // A broken picture names its file; a file beside it may not take a compiled picture's name.
  struct Case { const char* file; const char* content; const char* message; } cases[] = {
      {"bad.png", "not a picture", "bad.png"},
      {"pics/a.trn", "a layered picture", "pics/a.trn would be overwritten"},
  };
  for (const auto& c : cases) {
    WriteFile(dir.path / c.file, c.content);
    try {
      CompileProjectFolder(dir.path);
      ADD_FAILURE() << c.file << " compiled";
    } catch (const EOrbaError& e) {
      EXPECT_NE(ToUtf8(e.what()).find(c.message), std::string::npos) << e.what();
    }
    std::filesystem::remove(dir.path / c.file);
  }
}

TEST(Source, TheDemoProjectCompilesAndEveryPagePrintsBack) {
  const auto demo = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "examples" / "demo";
  TCompiledProject built = CompileProjectFolder(demo);
  TProjectFile project;
  project.LoadFromBytes(built.ProjectFile);
  EXPECT_EQ(project.StartPage, "start.rsb");
  bool hasStart = false;
  for (const auto& [name, bytes] : built.Pages) {
    hasStart |= name == project.StartPage;
    ExpectRoundTrip(bytes, name);
  }
  EXPECT_TRUE(hasStart);
  // ".keep" is no part of the game; the sprite and the region map are stored as they are.
  EXPECT_EQ(std::set<std::string>(built.OtherFiles.begin(), built.OtherFiles.end()),
            (std::set<std::string>{"pictures/map.dat", "pictures/sprite.trn"}));
  std::set<std::string> pictures;
  for (const auto& [name, bytes] : built.Pictures) pictures.insert(name);
  EXPECT_EQ(pictures, (std::set<std::string>{"pictures\\button.trn", "pictures\\fire.trn", "pictures\\title.trn",
                                             "pictures\\button-hover.trn", "pictures\\button-pressed.trn",
                                             "pictures\\button-clicked.trn", "pictures\\map-base.trn",
                                             "pictures\\map-hover.trn", "pictures\\night.trn"}));
}

}  // namespace
}  // namespace orba
