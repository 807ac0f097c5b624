#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <tuple>
#include <string>
#include <vector>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "files/vrmanager.h"
#include "support/fuzz_seeds.h"
#include "support/temp_dir.h"
#include "values/dbtables.h"
#include "values/paramcollection.h"
#include "values/parser.h"

namespace orba {
namespace {

// Runs expressions against the one table manager, which each test starts empty. A call that
// moves the current record stands alone: the order in which one expression evaluates its
// operands is not what these tests are about.
class Tables : public ::testing::Test {
 protected:
  void SetUp() override {
    DBManager().Clear();
    for (const char* name : {"names", "values", "desc"}) vars.AddVariable(PT_STR, name)->Param()->SetString("");
  }
  void TearDown() override { DBManager().Clear(); }

  // The value of the expression as UTF-8 text, or "error: " and the message.
  std::string Value(const std::string& utf8) {
    TOrbaParser p;
    CompileExpression(Sjis(std::u8string(utf8.begin(), utf8.end())), p);
    p.Execute(vars);
    if (!p.LastError().empty()) return "error: " + ToUtf8(p.LastError());
    return p.Result() ? ToUtf8(p.Result()->AsString()) : "(none)";
  }
  // Each step's expression and the value it must give, in order.
  struct Step {
    const char* expr;
    const char* value;
  };
  void Run(std::initializer_list<Step> steps) {
    for (const Step& s : steps) EXPECT_EQ(Value(s.expr), s.value) << s.expr;
  }
  // A string variable holding these elements.
  void SetList(const char* name, std::vector<std::string> items) {
    TCustomParam& p = *vars.FindVariable(name)->Param();
    const int32_t dims[1] = {static_cast<int32_t>(items.size())};
    p.SetDims(dims);
    for (size_t i = 0; i < items.size(); ++i) p.SetItemString(static_cast<int32_t>(i), Sjis(std::u8string(items[i].begin(), items[i].end())));
  }

  TParamCollection vars;
};

TEST_F(Tables, FieldsRecordsAndTheCurrentRecord) {
  Run({
      {"DBGetActive()", ""},
      {"DBAddField(\"a\", 1)", "FALSE"},  // no active table
      {"DBCreateTable(\"Items\", FALSE)", "TRUE"},
      {"DBCreateTable(\"items\", TRUE)", "FALSE"},  // names are case-insensitive
      {"DBCreateTable(\"\", TRUE)", "FALSE"},
      {"DBCreateTable(\"Other\", TRUE)", "TRUE"},
      {"DBGetActive()", "Other"},
      {"DBSetActive(\"ITEMS\")", "TRUE"},
      {"DBGetActive()", "Items"},
      {"DBAddField(\"n\", 1)", "TRUE"},
      {"DBAddField(\"bad\", 5)", "FALSE"},
      {"DBGetRecNo()", "-1"},
      {"DBInsert(1)", "TRUE"},
      {"DBInsert(2, 99)", "TRUE"},  // the argument beyond the last field is ignored
      {"DBInsert(3)", "TRUE"},
      {"DBGetRecNo()", "2"},
      // A field added to a table with records reads empty in every record.
      {"DBAddField(\"s\", 4)", "TRUE"},
      {"DBAddField(\"x\", 2)", "TRUE"},
      {"DBAddField(\"b\", 3)", "TRUE"},
      {"DBGetStr(\"s\") ++ \"|\" ++ DBGetFloat(\"x\") ++ \"|\" ++ DBGetBool(\"b\") ++ \"|\" ++ DBGetInt(\"N\")", "|0|FALSE|3"},
      // Declared length 0: every text reads back empty.
      {"DBSetStr(\"s\", \"abc\")", "TRUE"},
      {"DBGetStr(\"s\")", ""},
      {"DBSetInt(\"nope\", 1)", "FALSE"},
      {"DBFindNext()", "FALSE"},
      {"DBGetRecNo()", "2"},
      {"DBFindPrior()", "TRUE"},
      {"DBGetInt(\"n\")", "2"},
      {"DBSetRecNo(-5)", "TRUE"},
      {"DBGetRecNo()", "-1"},
      {"DBGetInt(\"n\")", "0"},
      {"DBSetInt(\"n\", 5)", "FALSE"},  // no current record
      {"DBSetRecNo(3)", "FALSE"},
      {"DBGetRecNo()", "-1"},
      {"DBFindLast()", "TRUE"},
      {"DBDelete()", "TRUE"},  // the last of three: the new last is current
      {"DBGetRecNo() ++ \":\" ++ DBGetInt(\"n\")", "1:2"},
      {"DBFindFirst()", "TRUE"},
      {"DBDelete()", "TRUE"},  // the first: the next moves down into its place
      {"DBGetRecNo() ++ \":\" ++ DBGetInt(\"n\")", "0:2"},
      {"DBDelete()", "TRUE"},
      {"DBGetRecNo()", "-1"},
      {"DBDelete()", "FALSE"},
      {"DBRecordCount()", "0"},
      {"DBRecordCount(\"nope\")", "-1"},
      {"DBInsert(4)", "TRUE"},
      {"DBRecordCount(\"items\")", "1"},
      {"DBClearRecord(\"Items\")", "TRUE"},
      {"DBRecordCount() ++ \":\" ++ DBGetRecNo()", "0:-1"},
      {"DBClearRecord(\"nope\")", "FALSE"},
      {"DBDeleteTable(\"other\")", "TRUE"},  // not the active one: it stays active
      {"DBGetActive()", "Items"},
      {"DBDeleteTable()", "TRUE"},
      {"DBGetActive() ++ DBGetRecNo()", "-1"},
      {"DBDeleteTable()", "FALSE"},
  });
}

// The field type decides the conversion; floats reach integers rounded half to even and
// texts are cut to the declared length.
TEST_F(Tables, ConversionsRoundHalvesToEvenAndCutTexts) {
  Run({{"DBCreateTable(\"t\", FALSE)", "TRUE"},
       {"DBAddField(\"i\", 1)", "TRUE"},
       {"DBAddField(\"f\", 2)", "TRUE"},
       {"DBAddField(\"b\", 3)", "TRUE"},
       {"DBAddField(\"s3\", 4, 3)", "TRUE"},
       {"DBAddField(\"s\", 4, 20)", "TRUE"},
       {"DBInsert()", "TRUE"}});
  struct Case {
    const char* set;
    const char* get;
    const char* value;
  } cases[] = {
      {"DBSetFloat(\"f\", 2.5)", "DBGetInt(\"f\")", "2"},
      {"DBSetFloat(\"f\", 3.5)", "DBGetInt(\"f\")", "4"},
      {"DBSetFloat(\"f\", 0.0 - 2.5)", "DBGetInt(\"f\")", "-2"},
      {"DBSetFloat(\"f\", 0.0 - 3.5)", "DBGetInt(\"f\")", "-4"},
      {"DBSetFloat(\"f\", 2.6)", "DBGetInt(\"f\")", "3"},
      {"DBSetFloat(\"f\", 4294967298.0)", "DBGetInt(\"f\")", "2"},  // the low 32 bits
      {"DBSetFloat(\"i\", 0.5)", "DBGetInt(\"i\")", "0"},
      {"DBSetFloat(\"i\", 1.5)", "DBGetInt(\"i\")", "2"},
      {"DBSetStr(\"i\", \"x\")", "DBGetInt(\"i\")", "0"},
      {"DBSetStr(\"i\", \"$10\")", "DBGetInt(\"i\")", "16"},
      {"DBSetInt(\"f\", 7)", "DBGetStr(\"f\")", "7"},
      {"DBSetStr(\"f\", \"1.25\")", "DBGetFloat(\"f\")", "1.25"},
      {"DBSetInt(\"b\", 5)", "DBGetInt(\"b\")", "1"},
      {"DBSetStr(\"b\", \"true\")", "DBGetStr(\"b\")", "FALSE"},
      {"DBSetStr(\"b\", \"TRUE\")", "DBGetFloat(\"b\")", "1"},
      {"DBSetBool(\"s3\", TRUE)", "DBGetStr(\"s3\")", "TRU"},
      {"DBSetBool(\"s3\", FALSE)", "DBGetStr(\"s3\")", "FAL"},
      {"DBSetStr(\"s3\", \"ab\")", "DBGetStr(\"s3\")", "ab"},  // the shorter text ends at its zero
      {"DBSetInt(\"s3\", 123456)", "DBGetInt(\"s3\")", "123"},
      {"DBSetStr(\"s\", \"TRUE\")", "DBGetBool(\"s\")", "TRUE"},
      {"DBSetStr(\"s\", \"true\")", "DBGetBool(\"s\")", "FALSE"},
      {"DBSetFloat(\"s\", 0.5)", "DBGetStr(\"s\")", "0.5"},
      {"DBSetStr(\"s\", \"日本語\")", "DBGetStr(\"s\")", "日本語"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Value(c.set), "TRUE") << c.set;
    EXPECT_EQ(Value(c.get), c.value) << c.set << " then " << c.get;
  }
}

TEST_F(Tables, LocateComparesByTheValuesTypeAndPartialSearchesTheGivenText) {
  Run({{"DBCreateTable(\"fruit\", FALSE)", "TRUE"},
       {"DBAddField(\"Name\", 4, 30)", "TRUE"},
       {"DBAddField(\"n\", 1)", "TRUE"},
       {"DBInsert(\"red apple pie\", 1)", "TRUE"},
       {"DBInsert(\"\", 2)", "TRUE"},
       {"DBInsert(\"APPLE\", 3)", "TRUE"},
       {"DBInsert(\"red apple\", 4)", "TRUE"},
       {"DBInsert(\"Red Apple\", 5)", "TRUE"}});
  SetList("names", {"Name"});
  SetList("values", {"red apple"});
  struct Case {
    const char* expr;
    const char* found;  // the n of the record found, or "none"
  } cases[] = {
      {"DBLocate(names, values, TRUE, TRUE)", "3"},
      {"DBLocate(names, values, FALSE, TRUE)", "4"},
      {"DBLocate(names, values, TRUE)", "4"},
      {"DBLocate(names, values)", "4"},
  };
  for (const Case& c : cases) {
    Value("DBSetRecNo(-1)");
    const std::string ok = Value(c.expr);
    EXPECT_EQ(ok == "TRUE" ? Value("DBGetInt(\"n\")") : "none", c.found) << c.expr;
  }
  SetList("values", {"RED APPLE"});
  EXPECT_EQ(Value("DBLocate(names, values)"), "FALSE");
  EXPECT_EQ(Value("DBLocate(names, values, TRUE)"), "TRUE");
  EXPECT_EQ(Value("DBGetInt(\"n\")"), "4");
  // An integer value compares the field read as an integer.
  vars.AddVariable(PT_INT, "num")->Param()->SetInt(5);
  SetList("names", {"n"});
  EXPECT_EQ(Value("DBLocate(names, num)"), "TRUE");
  EXPECT_EQ(Value("DBGetStr(\"name\")"), "Red Apple");
  // An unknown key among the first k names matches nothing and leaves the current record.
  SetList("names", {"Name", "colour"});
  SetList("values", {"APPLE", "red"});
  EXPECT_EQ(Value("DBLocate(names, values)"), "FALSE");
  EXPECT_EQ(Value("DBGetInt(\"n\")"), "5");
  // Keys beyond the shorter list are not used.
  SetList("values", {"APPLE"});
  EXPECT_EQ(Value("DBLocate(names, values)"), "TRUE");
  EXPECT_EQ(Value("DBGetInt(\"n\")"), "3");
}

TEST_F(Tables, SortIsStableByTheKeysInOrderAndKeepsTheCurrentPosition) {
  Run({{"DBCreateTable(\"t\", FALSE)", "TRUE"},
       {"DBAddField(\"g\", 3)", "TRUE"},
       {"DBAddField(\"x\", 2)", "TRUE"},
       {"DBAddField(\"s\", 4, 8)", "TRUE"},
       {"DBAddField(\"id\", 1)", "TRUE"}});
  // id: the insertion order, to see stability and the order found.
  Run({{"DBInsert(TRUE, 1.5, \"b\", 0)", "TRUE"},
       {"DBInsert(FALSE, 2.5, \"a\", 1)", "TRUE"},
       {"DBInsert(TRUE, 1.5, \"a\", 2)", "TRUE"},
       {"DBInsert(FALSE, 0.5, \"ソ\", 3)", "TRUE"},
       {"DBInsert(TRUE, 1.5, \"b\", 4)", "TRUE"},
       {"DBInsert(FALSE, 2.5, \"B\", 5)", "TRUE"},
       {"DBSetRecNo(1)", "TRUE"}});
  auto order = [&] {
    const TDBTable& t = *DBManager().Active();
    std::string ids;
    for (int32_t r = 0; r < t.RecordCount(); ++r) {
      int32_t id = -1;
      t.GetInt(r, 3, id);
      ids += std::to_string(id);
    }
    return ids;
  };
  struct Case {
    std::vector<std::string> names, desc;
    const char* ids;
  } cases[] = {
      // flags false first; within equal keys the earlier record stays first
      {{"g"}, {"FALSE"}, "135024"},
      {{"g", "x"}, {"FALSE", "TRUE"}, "153024"},
      // bytes, case-sensitive: "B" (0x42) before "a" (0x61) before "b" before the kana (0x83)
      {{"s"}, {"FALSE"}, "512043"},
      {{"S", "id"}, {"TRUE", "TRUE"}, "340215"},
      // unknown names are skipped; no key leaves the order as it is
      {{"nope", "x"}, {"FALSE", "FALSE"}, "340215"},
      {{"nope"}, {"FALSE"}, "340215"},
      // the shorter list decides how many keys there are
      {{"x", "id"}, {"TRUE"}, "154023"},
  };
  for (const Case& c : cases) {
    SetList("names", c.names);
    SetList("desc", c.desc);
    Value("DBSetRecNo(1)");
    EXPECT_EQ(Value("DBSort(names, desc)"), "TRUE");
    EXPECT_EQ(Value("DBGetRecNo()"), "1");
    EXPECT_EQ(order(), c.ids) << c.names[0];
  }
}

TEST_F(Tables, CopyingAndInsertingRecords) {
  Run({{"DBCreateTable(\"dst\", FALSE)", "TRUE"},
       {"DBAddField(\"old\", 1)", "TRUE"},
       {"DBCreateTable(\"src\", FALSE)", "TRUE"},
       {"DBAddField(\"k\", 4, 4)", "TRUE"},
       {"DBAddField(\"v\", 1)", "TRUE"},
       {"DBInsert(\"a\", 1)", "TRUE"},
       {"DBInsert(\"b\", 2)", "TRUE"},
       {"DBInsert(\"a\", 3)", "TRUE"}});
  SetList("names", {"k"});
  SetList("values", {"a"});
  Run({
      {"DBCopyTable(\"src\")", "FALSE"},  // the target is the active table
      {"DBCopyTable(\"nope\")", "FALSE"},
      {"DBCopyTable(\"dst\", names, values)", "TRUE"},
      {"DBRecordCount(\"dst\")", "2"},
      {"DBInsertTable(\"src\", names, values)", "TRUE"},  // the source is the active table
      {"DBRecordCount() ++ \":\" ++ DBGetRecNo() ++ \":\" ++ DBGetInt(\"v\")", "5:4:3"},
      {"DBInsertTable(\"nope\")", "FALSE"},
      {"DBSetActive(\"dst\")", "TRUE"},
      // The target took the source's fields; its current record is the last copied.
      {"DBGetRecNo() ++ DBGetStr(\"k\") ++ DBGetInt(\"v\") ++ DBGetInt(\"old\")", "1a30"},
      {"DBFindFirst()", "TRUE"},
      {"DBGetInt(\"v\")", "1"},
      {"DBInsertTable(\"src\")", "TRUE"},  // same fields: every record appended
      {"DBRecordCount()", "7"},
      {"DBCopy(\"src\")", "TRUE"},  // the current record appended to src
      {"DBSetActive(\"src\")", "TRUE"},
      {"DBRecordCount() ++ \":\" ++ DBGetRecNo() ++ \":\" ++ DBGetInt(\"v\")", "6:5:3"},
      {"DBCreateTable(\"other\", FALSE)", "TRUE"},
      {"DBAddField(\"K\", 4, 4)", "TRUE"},
      {"DBAddField(\"v\", 1)", "TRUE"},
      {"DBSetActive(\"src\")", "TRUE"},
      {"DBCopy(\"other\")", "FALSE"},  // field names differ in case
      {"DBInsertTable(\"other\")", "FALSE"},
  });
}

TEST_F(Tables, DirectAccessFindsTheFirstMatchOrGivesTheDefault) {
  Run({{"DBCreateTable(\"t\", TRUE)", "TRUE"},
       {"DBAddField(\"k\", 4, 4)", "TRUE"},
       {"DBAddField(\"v\", 2)", "TRUE"},
       {"DBInsert(\"a\", 1.5)", "TRUE"},
       {"DBInsert(\"b\", 2.5)", "TRUE"},
       {"DBInsert(\"b\", 3.5)", "TRUE"},
       {"DBCreateTable(\"u\", FALSE)", "TRUE"}});  // another table active: direct access names its own
  SetList("names", {"k"});
  SetList("values", {"B"});
  Run({
      {"DBDirectGetInt(\"t\", names, values, TRUE, FALSE, \"v\", 9)", "2"},
      {"DBDirectGetFloat(\"t\", names, values, FALSE, FALSE, \"v\", 9)", "9"},
      {"DBDirectGetStr(\"t\", names, values, TRUE, FALSE, \"nope\", \"d\")", "d"},
      {"DBDirectGetBool(\"nope\", names, values, TRUE, FALSE, \"v\", TRUE)", "TRUE"},
      {"DBDirectSetStr(\"t\", names, values, TRUE, FALSE, \"v\", \"7\")", "TRUE"},
      {"DBDirectGetFloat(\"t\", names, values, TRUE, FALSE, \"v\", 0)", "7"},
      {"DBDirectSetInt(\"t\", names, values, FALSE, FALSE, \"v\", 1)", "FALSE"},
      {"DBGetActive()", "u"},
  });
}

// The header names the fields ("name type length"); data lines are unescaped and split at
// tabs, the second byte of a double-byte character never being a tab or a backslash.
TEST_F(Tables, TabSeparatedText) {
  struct Case {
    std::vector<std::string> lines;
    bool result;
    const char* fields;  // name:type:size, one per field
    std::vector<std::vector<std::string>> records;  // the texts read back
  } cases[] = {
      {{}, false, "", {}},
      {{"a int\tb float\tc  bool \td\te Int\tf str 3\tg string x\th  4"},
       true, "a:1:4 b:2:10 c:3:1 d:4:81 e:4:81 f:4:4 g:4:81 h:4:81", {}},
      {{"a\t\tb"}, false, "", {}},  // an empty cell has no name
      {{"a\tb\t", "1\t2\t3", "", "x"}, true, "a:4:81 b:4:81", {{"1", "2"}, {"x", ""}}},
      {{"a 4 9\tb", "\\\"q\\\"\t\\\\\\n", "x\\y\tq\\n z"}, true, "a:4:10 b:4:81", {{"\"q\"", "\\\r\n"}, {"x\\y", "q\r\n z"}}},
      {{" a"}, false, "", {}},  // the name is what stands before the first space
      // A kanji whose second byte is 0x5C, then one whose second byte is 0x09 would be a tab in
      // plain bytes; neither is taken apart.
      {{"a\tb", "\x83\x5C" "n\t\x81\x09x"}, true, "a:4:81 b:4:81", {{"\x83\x5C" "n", "\x81\x09x"}}},
      {{"n int", "12", "x", "3.7"}, true, "n:1:4", {{"12"}, {"0"}, {"0"}}},
  };
  for (const Case& c : cases) {
    DBManager().Clear();
    DBManager().CreateTable("t", 0);
    TDBTable& t = *DBManager().Active();
    t.Fields.Add("stale", 1, 0);
    t.Append();
    EXPECT_EQ(t.LoadTsv(c.lines), c.result) << (c.lines.empty() ? "" : c.lines[0]);
    std::string fields;
    for (int32_t i = 0; i < t.Fields.Count(); ++i)
      fields += (i ? " " : "") + t.Fields[i].Name + ":" + std::to_string(t.Fields[i].FieldType) + ":" + std::to_string(t.Fields[i].Size);
    EXPECT_EQ(fields, c.fields);
    ASSERT_EQ(t.RecordCount(), static_cast<int32_t>(c.records.size())) << fields;
    for (int32_t r = 0; r < t.RecordCount(); ++r)
      for (int32_t f = 0; f < t.Fields.Count(); ++f) {
        std::string s;
        t.GetStr(r, f, s);
        EXPECT_EQ(s, c.records[static_cast<size_t>(r)][static_cast<size_t>(f)]) << "record " << r << " field " << f;
      }
  }
}

TEST_F(Tables, LoadTsvFileReadsThroughTheVirtualFiles) {
  testing_support::TempDir dir;
  std::ofstream(dir.path / "t.tsv", std::ios::binary) << "a int\tb\r\n1\tx\r2\ty\n\n3\tz";
  std::ofstream(dir.path / "empty.tsv", std::ios::binary);
  VrFileManager().SetBaseFolder(dir.path.string());
  Run({{"DBLoadTsvFile(\"t.tsv\")", "FALSE"},  // no active table
       {"DBCreateTable(\"t\", FALSE)", "TRUE"},
       {"DBLoadTsvFile(\"nope.tsv\")", "FALSE"},
       {"DBLoadTsvFile(\"empty.tsv\")", "FALSE"},
       {"DBLoadTsvFile(\"t.tsv\")", "TRUE"},
       {"DBRecordCount() ++ DBGetStr(\"b\") ++ DBGetInt(\"a\")", "3z3"}});
  VrFileManager().SetBaseFolder("");
}

// The stored form, written out here byte by byte.
std::vector<uint8_t> GameTablesBytes() {
  TKvMemoryStream s;
  TBinaryWriter w(s);
  w.I32(100);
  w.I32(2);
  w.U8(0);
  w.String("Items");
  w.U8(0);
  w.I32(4);
  w.I32(4), w.String("n"), w.U8(1);
  w.I32(10), w.String("x"), w.U8(2);
  w.I32(1), w.String("b"), w.U8(3);
  w.I32(4), w.String("s"), w.U8(4);
  w.I32(2);
  const uint8_t twoAndAHalf[10] = {0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0x40};  // 1.01b x 2^1
  w.I32(-7), w.Write(twoAndAHalf, 10), w.U8(1), w.Write("abc", 4);
  w.I32(9), w.Write(twoAndAHalf, 10), w.U8(0), w.Write("z\0q", 4);
  w.I32(0);  // RecNo
  w.U8(0);
  w.String("Empty");
  w.U8(0);
  w.I32(0);
  w.I32(0);
  w.I32(-1);
  w.String("items");  // the active table
  return s.TakeBytes();
}

TEST_F(Tables, StreamFormReadsWhatTheLayoutSaysAndGameLoadsKeepStatusTables) {
  DBManager().CreateTable("status", 1);
  DBManager().CreateTable("Items", 0);  // replaced by the load
  DBManager().SetActive("status");
  const std::vector<uint8_t> bytes = GameTablesBytes();
  TKvMemoryStream in;
  in.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
  in.SetPosition(0);
  DBManager().LoadFromStream(in, 0);
  EXPECT_EQ(in.GetPosition(), in.GetSize());
  Run({{"DBGetActive() ++ DBGetRecNo() ++ DBRecordCount()", "Items02"},
       {"DBGetInt(\"n\") ++ DBGetFloat(\"x\") ++ DBGetInt(\"x\") ++ DBGetBool(\"b\") ++ DBGetStr(\"s\")", "-72.52TRUEabc"},
       {"DBFindNext()", "TRUE"},
       {"DBGetStr(\"s\")", "z"},
       {"DBRecordCount(\"status\") ++ DBRecordCount(\"empty\")", "00"}});
  EXPECT_EQ(DBManager().Count(), 3);
  // Written again it is the same bytes (the record bytes after a text's zero too), except
  // that the active name is written as the table's own.
  DBManager().Find("Items")->SetRecNo(0);
  TKvMemoryStream out;
  DBManager().SaveToStream(out, 0);
  std::vector<uint8_t> expected = bytes;
  expected[expected.size() - 5] = 'I';
  EXPECT_EQ(out.TakeBytes(), expected);
  // Status tables: no active name follows, the last one read becomes active.
  TKvMemoryStream status;
  DBManager().SaveToStream(status, 1);
  status.SetPosition(0);
  DBManager().SetActive("Items");
  DBManager().LoadFromStream(status, 1);
  EXPECT_EQ(Value("DBGetActive() ++ DBRecordCount(\"items\")"), "status2");
  DBManager().ClearGameTables();
  EXPECT_EQ(Value("DBGetActive() ++ DBRecordCount(\"items\") ++ DBRecordCount(\"status\")"), "-10");
}

TEST_F(Tables, DamagedStreamsRaiseAndChangeNothing) {
  DBManager().CreateTable("kept", 0);
  const std::vector<uint8_t> bytes = GameTablesBytes();
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    TKvMemoryStream in;
    in.Write(bytes.data(), static_cast<int64_t>(cut));
    in.SetPosition(0);
    EXPECT_THROW(DBManager().LoadFromStream(in, 0), EOrbaError) << cut;
  }
  // A field size that does not fit its type would let access leave the record.
  for (size_t at : {size_t{23}, size_t{33}}) {  // the sizes of the int and float fields
    std::vector<uint8_t> bad = bytes;
    bad[at] = 3;
    TKvMemoryStream in;
    in.Write(bad.data(), static_cast<int64_t>(bad.size()));
    in.SetPosition(0);
    EXPECT_THROW(DBManager().LoadFromStream(in, 0), EOrbaError) << at;
  }
  EXPECT_EQ(Value("DBGetActive() ++ DBRecordCount(\"items\")"), "kept-1");
}

// Found by the fuzz target: records of a table without fields take no bytes yet read back;
// a field size of INT32_MIN, an unknown table kind and a record beyond its limit are refused.
TEST(TablesStream, FieldlessRecordsAndImpossibleSizes) {
  TDBManager db;
  db.CreateTable("empty", 0);
  for (int i = 0; i < 3; ++i) db.Active()->Append();
  TKvMemoryStream out;
  db.SaveToStream(out, 0);
  out.SetPosition(0);
  TDBManager again;
  again.LoadFromStream(out, 0);
  ASSERT_NE(again.Find("empty"), nullptr);
  EXPECT_EQ(again.Find("empty")->RecordCount(), 3);

  auto table = [](uint8_t kind, int32_t size, uint8_t type) {
    TKvMemoryStream s;
    TBinaryWriter w(s);
    w.I32(100), w.I32(1), w.U8(0), w.String("t"), w.U8(kind), w.I32(1), w.I32(size), w.String("f"), w.U8(type);
    w.I32(0), w.I32(-1), w.String("");
    s.SetPosition(0);
    return s;
  };
  for (auto [kind, size, type] : {std::tuple<uint8_t, int32_t, uint8_t>{0, 4, 1}, {0x67, 4, 1}, {0, INT32_MIN, 4},
                                  {0, kDBMaxRecordSize + 1, 4}, {0, 0, 4}, {0, 10, 1}}) {
    TKvMemoryStream s = table(kind, size, type);
    TDBManager m;
    if (kind == 0 && size == 4) {
      EXPECT_NO_THROW(m.LoadFromStream(s, 0));
    } else {
      EXPECT_THROW(m.LoadFromStream(s, 0), EOrbaError) << int(kind) << " " << size << " " << int(type);
    }
  }
  // Sixteen of the longest string fields would pass the record's limit by 16 bytes.
  TDBTable t("t", 0);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(t.Fields.Add("s", 4, kDBMaxStringLength), i);
  EXPECT_EQ(t.Fields.Add("s", 4, kDBMaxStringLength), -1);
  EXPECT_EQ(t.Fields.Add("s", 4, kDBMaxStringLength + 1), -1);
  EXPECT_EQ(t.Fields.Add("b", 3, 0), 15);
}

TEST(TablesFuzz, SeedsAreWhatTheWriterMakes) {
  TDBManager db;
  db.CreateTable("g", 0);
  TDBTable& t = *db.Active();
  t.Fields.Add("n", 1, 0), t.Fields.Add("x", 2, 0), t.Fields.Add("b", 3, 0), t.Fields.Add("s", 4, 6);
  t.Append(), t.SetInt(0, 0, 3), t.SetFloat(0, 1, 0.25), t.SetBool(0, 2, true), t.SetStr(0, 3, "text");
  db.CreateTable("status", 1);
  TKvMemoryStream game, status;
  db.SaveToStream(game, 0);
  db.SaveToStream(status, 1);
  testing_support::ExpectFuzzSeed("data_tables", "game", game.TakeBytes());
  testing_support::ExpectFuzzSeed("data_tables", "status", status.TakeBytes());
}

}  // namespace
}  // namespace orba
