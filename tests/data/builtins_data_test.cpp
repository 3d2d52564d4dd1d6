#include "data/builtins_data.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/environment_table.h"
#include "core/flags.h"
#include "core/hooks.h"
#include "core/number.h"
#include "core/runtime_arrays.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "data/datafile.h"
#include "data/dates.h"
#include "data/dictionary.h"
#include "data/record_ops.h"
#include "data/streams.h"
#include "data/structures.h"
#include "expr/builtins.h"
#include "expr/evaluator.h"
#include "expr/functions.h"
#include "expr/variables.h"

namespace tessaly {
namespace {

// The application of tests/fixtures/builtins, loaded from the dictionary "BI"
// into a fresh folder:
//   1 items  CODE 4 A | NAME 12 A | PRICE 8 2 | DAY 8 D   key 1 CODE, key 2 NAME
//   2 stock  ITEM 4 A | QTY 6 N                           key 1 ITEM; 1R1K1=ITEM{2}
// with the items A01 Apple 1.20, B02 Pear 3.50 and C03 Fig 7.00, the stock
// A01 5 and B02 0, items the current file, and P$ naming a text file of the
// two lines "l1" and "l2".
class BuiltinsData : public ::testing::Test {
 protected:
  void SetUp() override {
    rtarray::FreeAll();
    strtab::ClearAll();
    ResetVariables();
    ClearExpressionCache();
    StructClearAll();
    ClearRecordLists();
    ClearOpenSets();
    ClearHooks();
    ClearDetail();
    ForceLastError(0, 0);
    UseStructuresForDataFiles();
    InstallRecordOperations();
    ResetFunctions();
    InstallDataBuiltinFunctions();
    depth_ = Area().Mark();
    char tmpl[] = "/tmp/tessaly_builtins_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    const std::string fixtures = std::string(TESSALY_FIXTURES) + "/builtins";
    ASSERT_EQ(SetEnvironment(kEnvDefaultFolder, Slice::Of(fixtures)), Status::kOk);
    ASSERT_EQ(DictionaryLoad("BI", Slice::Of(dir_), Slice::Of(fixtures)), Status::kOk);
    ASSERT_EQ(FileCount(), 2);
    ASSERT_FALSE(DataFileOpen(2, 0).failed());
    ASSERT_FALSE(DataFileOpen(1, kDataMakeCurrent).failed());
    AddItem("A01", "Apple", "1.20", "20170305");
    AddItem("B02", "Pear", "3.5", "20170310");
    AddItem("C03", "Fig", "7", "20170401");
    AddStock("A01", "5");
    AddStock("B02", "0");
    WriteFile("notes.txt", "l1\r\nl2\r\n");
    Assign("P$", Path("notes.txt"));
  }
  void TearDown() override {
    (void)DataFileCloseAll();
    StreamCloseAll();
    ClearRecordLists();
    ClearOpenSets();
    ClearHooks();
    StructClearAll();
    ResetFunctions();
    Area().Release(depth_);
    std::filesystem::remove_all(dir_);
  }

  static void Store(int file, const char* field, const std::string& value) {
    ASSERT_EQ(FieldStore(file, FieldByName(file, field), Slice::Of(value)), Status::kOk) << field;
  }
  static void AddItem(const char* code, const char* name, const char* price, const char* day) {
    ASSERT_EQ(DataFileMove(1, kMoveClear), kResultCleared);
    Store(1, "CODE", code);
    Store(1, "NAME", name);
    Store(1, "PRICE", price);
    Store(1, "DAY", day);
    ASSERT_EQ(RecordSave(RecordOpFlags(kOpIns), 1, Slice(), Slice()), Status::kOk) << code;
  }
  static void AddStock(const char* item, const char* qty) {
    ASSERT_EQ(DataFileMove(2, kMoveClear), kResultCleared);
    Store(2, "ITEM", item);
    Store(2, "QTY", qty);
    ASSERT_EQ(RecordSave(RecordOpFlags(kOpIns), 2, Slice(), Slice()), Status::kOk) << item;
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void WriteFile(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  std::string ReadFile(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void Assign(const char* name, const std::string& text) {
    AreaMark mark;
    ASSERT_EQ(AssignText(name, Slice::Of(text)), kTextValue);
  }

  // The result as text ("=" before a number), or "#" and the status.
  static std::string Eval(const std::string& text) {
    AreaMark mark;
    Status st = Evaluate(Slice::Of(text));
    if (st.failed()) return "#" + std::to_string(st.code());
    Slice top = Area().Top();
    if (st == kTextValue) return top.str();
    return "=" + FormatNumber(NumberOf(top), Decimals()).str();
  }
  static void Run(const std::string& text) {
    AreaMark mark;
    Status st = Evaluate(Slice::Of(text));
    ASSERT_FALSE(st.failed()) << text << " gave " << st.code() << " " << GetDetail().str();
  }

  int depth_ = 0;
  std::string dir_;
};

struct Case {
  const char* expression;
  const char* expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.expression; }

class DataCalls : public BuiltinsData, public ::testing::WithParamInterface<Case> {};

TEST_P(DataCalls, GiveTheirResult) {
  const int table = strtab::Count(strtab::kFunctionArgs);
  EXPECT_EQ(Eval(GetParam().expression), GetParam().expected) << GetDetail().str();
  EXPECT_EQ(strtab::Count(strtab::kFunctionArgs), table);
}

const Case kDataCalls[] = {
    // FN#FLEN: records of an open data file, else bytes of a file
    {"FN#FLEN('items')", "=3"},
    {"FN#FLEN('ITEMS')", "=3"},
    {"FN#FLEN(P$)", "=8"},
    {"FN#FLEN('nosuch.txt')", "=0"},
    {"FN#FLEN(1)", "#128"},
    // FILEFIND: by key, by another index, scanning with a condition, creating
    {"FILEFIND('B02')", "=0"},
    {"FILEFIND('B')", "=0"},
    {"FILEFIND('B5')", "=1"},
    {"FILEFIND('Z')", "=2"},
    {"FILEFIND('B02');FN$TRIM(NAME{1};'BOTHTRIM')", "Pear"},
    {"FILEFIND('Pear';1;2);FN$TRIM(CODE{1};'BOTHTRIM')", "B02"},
    {"FILEFIND('PRICE{1}>3';1;0;8);FN$TRIM(CODE{1};'BOTHTRIM')", "B02"},
    {"FILEFIND('PRICE{1}>30';1;0;8)", "=2"},
    {"FILEFIND('Z9';1;1;4);FN#FLEN('items')", "=4"},
    {"FILEFIND('Z9';1;1;4);FILEFIND('Z9')", "=0"},
    {"FILEFIND('Z9';1;0;4);FN#FLEN('items')", "=3"},
    {"FILEFIND('A01';9)", "#168"},
    {"FILEFIND(5)", "#128"},
    {"FILEFIND()", "#147"},
    // FILELOCATE
    {"FILELOCATE('TOP');FN$TRIM(CODE{};'BOTHTRIM')", "A01"},
    {"FILELOCATE('BOTTOM');FN$TRIM(CODE{};'BOTHTRIM')", "C03"},
    {"FILELOCATE('BOT');FILELOCATE(;1)", "=2"},
    {"FILELOCATE()", "#147"},
    {"FILELOCATE('TOP');FILELOCATE('NXT';1);FN$TRIM(CODE{1};'BOTHTRIM')", "B02"},
    {"FILELOCATE('XYZ')", "#147"},
    {"FILELOCATE('TOP';1;2)", "#147"},
    // FN#ACUM over the records, as reports total
    {"FILELOCATE('TOP');PRICE{1}+FN#ACUM(PRICE{1};FILELOCATE('NXT';1)==0)", "=11.7"},
    // IER
    {"FILEFIND('Z');IER()", "=2"},
    {"FILEFIND('A01');IER(1)", "=0"},
    {"IER(9)", "#168"},
    // KEY$: current or saved buffer, any index, cut
    {"FILEFIND('B02');KEY$()", "B02 "},
    {"FILEFIND('B02');KEY$(1;2)", "Pear        "},
    {"FILEFIND('B02');KEY$(1;1;1;2)", "B0"},
    {"FILEFIND('B02');CODE{1}='X';KEY$(1;1;1)+KEY$(1;1;2)", "X   B02 "},
    {"KEY$(1;1;3)", "#147"},
    {"_CURFIL=0;KEY$()", ""},
    // FILEREL: the runtime's relation lookup; arguments read as numbers
    {"FILEFIND('B02';2);FILEREL(2;1;1);FN$TRIM(NAME{1};'BOTHTRIM')", "Pear"},
    {"FILEFIND('A01';2);FILEREL(2;'1';1)", "=0"},
    {"FILEREL(2;1)", "#147"},
    // FN$FLDS with a field
    {"FILEFIND('B02');FN$FLDS('NAME{1}')", "Pear        "},
    {"FILEFIND('B02');FN$FLDS('PRICE{1}')", "3.5"},
    // FN#VALN: typed numbers, date parts, shifts and distances
    {"FN#VALN(' 12.5')", "=12.5"},
    {"FN#VALN('-3')", "=-3"},
    {"FN#VALN('abc')", "=0"},
    {"FN#VALN('20170305';'D')", "=5"},
    {"FN#VALN('20170305';'M')", "=3"},
    {"FN#VALN('20170305';'Y')", "=2017"},
    {"FN#VALN('20170305';'V')", "=20170305"},
    {"FN#VALN('20170131';'M';1)", "=20170228"},
    {"FN#VALN('20170305';'D';-5)", "=20170228"},
    {"FN#VALN('20170301';'D';'20170131')", "=29"},
    {"FN#VALN('20170101';'D';20160101)", "=365"},
    {"FN#VALN('20170301';'M';20160101)", "=14"},
    {"FILEFIND('C03');FN#VALN(DAY{1};'M')", "=4"},
    {"FN#VALN('x';'Q')", "#147"},
    {"FN#VALN(5)", "#128"},
    // FN$DATE
    {"FN$DATE('20170305';4)", "March 05,2017"},
    {"FN$DATE('20170305';3)", "Mar 2017"},
    {"FN$DATE('20170305';1)", "03-05-17"},
    {"FN$DATE(20170305;2)", "03-05-2017"},
    {"FN$DATE('5/3/17')", "20170503"},
    {"FN$DATE('20170230';2)", "          "},
    {"FN$DATE('31/31/17')", "#163"},
    // FN$MASK
    {"FN$MASK('###,###.##';123.4)", "    123.40"},
    {"FN$MASK('##.##';'.5')", " 0.50"},
    {"FN$MASK('\\-\\';'ab')", "a-b"},
    {"FN$MASK('N5';12)", "   12"},
    {"FN$MASK('#,##0,.2';1234.5)", "1,234.50"},
    {"FN$MASK('##';1234)", "#168"},
    {"FN$MASK('##')", "#147"},
    // TIME$
    {"TIME$('1230';1)", "12:30"},
    {"TIME$('10:30')", "1030"},
    {"TIME$('10:30';3)", "10:30:00"},
    {"TIME$('103015';3)", "10:30:15"},
    {"TIME$('10:30:15.5';7)", "10:30:15.500"},
    {"TIME$(5)", "#128"},
    {"TIME$('25:00')", "#163"},
    {"TIME$('12345')", "#163"},
    // MACRO$
    {"MACRO$('a[$]b';4;'X')", "aXb"},
    {"MACRO$('v[1+2]')", "v3"},
    {"MACRO$('[1+2]*2';8)", "6"},
    {"MACRO$('[X$]')", "0"},
    {"MACRO$('[X$]';16)", ""},
    // READ$ and WRITE with names
    {"READ$(P$)", "l1\r\nl2\r\n"},
    {"READ$(P$;4;2)", "l2"},
    {"READ$(P$;100)", ""},
    {"READ$('nosuch.txt')", ""},
    {"WRITE(P$;0)", "#147"},
    {"WRITE(99;0;'x')", "=131"},
    // EXEC$ without a command hook
    {"EXEC$('cmd';'p')", "#148"},
    {"EXEC$('NOSUCH.DAT')", "0"},
};

INSTANTIATE_TEST_SUITE_P(Table, DataCalls, ::testing::ValuesIn(kDataCalls));

TEST_F(BuiltinsData, EveryCodeHasAHandler) {
  for (int code = 1; code <= kBuiltinFunctionCount; ++code) {
    EXPECT_NE(GetFunctionHandler(code), nullptr) << BuiltinName(code).str();
  }
}

TEST_F(BuiltinsData, StreamsReadLineByLineAndWrite) {
  Run("H=FILESEL(P$;8)");
  EXPECT_EQ(Eval("H>=3"), "=1");
  EXPECT_EQ(Eval("READ$(H)"), "l1");
  EXPECT_EQ(Eval("READ$(H;;0)"), "");
  EXPECT_EQ(Eval("READ$(H)"), "l2");
  EXPECT_EQ(Eval("READ$(H;;0)"), "\x1a");
  EXPECT_EQ(Eval("READ$(H)"), "");
  EXPECT_EQ(Eval("READ$(H;0)"), "l1");  // an explicit offset
  EXPECT_EQ(Eval("FILESEL(H)"), "=0");
  EXPECT_EQ(Eval("READ$(H)"), "");

  Assign("R$", Path("out.txt"));
  Run("H=FILESEL(R$;2)");
  EXPECT_EQ(Eval("WRITE(H;;'one')"), "=0");
  EXPECT_EQ(Eval("WRITE(H;;'two')"), "=0");
  EXPECT_EQ(Eval("WRITE(H;0;'O')"), "=0");
  Run("FILESEL(H)");
  EXPECT_EQ(ReadFile("out.txt"), "Onetwo");
  EXPECT_EQ(Eval("WRITE(H;;'x')"), "=131");  // closed
  EXPECT_EQ(Eval("FILESEL(R$+'/x/y';8)"), "#164");
}

TEST_F(BuiltinsData, WritesAppendReplaceAndOverwrite) {
  Assign("Q$", Path("w.txt"));
  EXPECT_EQ(Eval("WRITE(Q$;-1;'ab')"), "=0");
  EXPECT_EQ(Eval("WRITE(Q$;-1;'cd')"), "=0");
  EXPECT_EQ(Eval("READ$(Q$)"), "abcd");
  EXPECT_EQ(Eval("WRITE(Q$;1;'X')"), "=0");
  EXPECT_EQ(Eval("READ$(Q$)"), "aXcd");
  EXPECT_EQ(Eval("WRITE(Q$;-3;'new')"), "=0");
  EXPECT_EQ(ReadFile("w.txt"), "new");
  EXPECT_EQ(Eval("READ$(Q$;1;1)"), "e");
}

TEST_F(BuiltinsData, ParameterFilesMergeAndExecute) {
  WriteFile("parms.dat", "B$='old';C=3\r\nD#=1.5;A=7\r\n");
  Assign("M$", Path("parms.dat"));
  Assign("L$", "A=1+1,B$='x'+'y',E$=\"it's\",A=9");
  EXPECT_EQ(Eval("WRITE(M$;-2;L$)"), "=0");
  // Given assignments first, evaluated, each name once; then the old ones
  // not given; a text stays a text when the file is read back.
  EXPECT_EQ(ReadFile("parms.dat"), "A=2;B$='xy';E$=\"it's\";C=3;D#=1.5\r\n");
  Run("A=0;B$='';C=0;D#=0;E$=''");
  EXPECT_EQ(Eval("EXEC$(M$)"), "0");
  EXPECT_EQ(Eval("A*100+C*10+D#"), "=231.5");
  EXPECT_EQ(Eval("B$+E$"), "xyit's");
  // A new file is made; a malformed list writes nothing.
  Assign("N$", Path("new.dat"));
  EXPECT_EQ(Eval("WRITE(N$;-2;'K=1')"), "=0");
  EXPECT_EQ(ReadFile("new.dat"), "K=1\r\n");
  EXPECT_EQ(Eval("WRITE(N$;-2;'NOEQUALS')"), "#147");
  EXPECT_EQ(ReadFile("new.dat"), "K=1\r\n");
  // A failing expression leaves the file as it was.
  EXPECT_EQ(Eval("WRITE(N$;-2;\"K='a'+1\")"), "#128");
  EXPECT_EQ(ReadFile("new.dat"), "K=1\r\n");
}

TEST_F(BuiltinsData, ExecuteRunsParameterFilesOfTheFolderList) {
  EXPECT_EQ(Eval("EXEC$('BIPARM.DAT')"), "0");
  EXPECT_EQ(Eval("PRICE#*COUNT"), "=7.5");
  EXPECT_EQ(Eval("LABEL$"), "Tea");
  WriteFile("bad.dat", "X=1+'a'\r\n");
  Assign("E$", Path("bad.dat"));
  EXPECT_EQ(Eval("EXEC$(E$)"), "#128");
}

TEST_F(BuiltinsData, ExecuteHandsOtherCommandsToTheCommandHook) {
  EXPECT_EQ(Eval("EXEC$('cmd';'p')"), "#148");
  EXPECT_NE(GetDetail().str().find("EXEC$()"), std::string::npos);
  RegisterHook(kHookCommand, [](int, Slice command, void* object) -> Slice {
    Slice parameters = *static_cast<Slice*>(object);
    if (command == Slice("no")) return Slice::Error(Status::kFeatureRemoved);
    if (command == Slice("bad")) return Slice::Error(Status::kBadExpression);
    (void)strtab::Push(strtab::kProcedureResults,
                       Slice::Of("ran:" + command.str() + ":" + parameters.str()));
    return Slice();
  });
  EXPECT_EQ(Eval("EXEC$('cmd';'p')"), "ran:cmd:p");
  EXPECT_EQ(Eval("EXEC$('cmd')"), "ran:cmd:");
  EXPECT_EQ(Eval("EXEC$('no';'p')"), "#148");
  EXPECT_EQ(Eval("EXEC$('bad';'p')"), "#140");
}

TEST_F(BuiltinsData, RelationsGoToTheHookOnlyWhenAsked) {
  static int calls = 0;
  calls = 0;
  RegisterHook(kHookRelation, [](int, Slice argument, void*) -> Slice {
    ++calls;
    if (argument == Slice("2,1,1,4")) return Slice("7");
    return Slice::Error(Status::kFeatureRemoved);
  });
  Run("FILEFIND('B02';2)");
  EXPECT_EQ(Eval("FILEREL(2;1;1;4)"), "=0");  // `_UPSTAT` bit 4 clear
  EXPECT_EQ(calls, 0);
  SetWord(kUpStat, Word(kUpStat) | 4);
  EXPECT_EQ(Eval("FILEREL(2;1;1;4)"), "=7");
  EXPECT_EQ(Eval("FILEREL(2;1;1;6)"), "=0");  // 148: the runtime's own lookup
  EXPECT_EQ(calls, 2);
}

TEST_F(BuiltinsData, SelectMakesADataFileCurrent) {
  EXPECT_EQ(Eval("FILESEL('stock')"), "=0");
  EXPECT_EQ(Word(kCurFil), 2);
  EXPECT_EQ(Eval("FILEFIND('A01');FN$TRIM(QTY{};'BOTHTRIM')"), "5");
  ASSERT_EQ(DataFileClose(1), Status::kOk);
  EXPECT_EQ(Eval("FILESEL('items')"), "=0");  // opened again
  EXPECT_TRUE(DataFileIsOpen(1));
  EXPECT_EQ(Word(kCurFil), 1);
  EXPECT_EQ(Eval("FILESEL('nosuch')"), "#166");
}

TEST_F(BuiltinsData, DatesAndTimesOfTodayAndOfFiles) {
  std::string today;
  {
    AreaMark mark;
    today = DateFromNumber(TodayDate()).str();
  }
  EXPECT_EQ(Eval("FN$DATE()"), today);
  EXPECT_EQ(Eval("FN$DATE(P$;128)"), today);
  EXPECT_EQ(Eval("FN$DATE('nosuch.txt';128)"), "");
  EXPECT_EQ(Eval("FN#SLEN(TIME$())"), "=4");
  EXPECT_EQ(Eval("FN#SLEN(TIME$(P$;129))"), "=5");
  EXPECT_EQ(Eval("TIME$('nosuch.txt';129)"), "");
}

}  // namespace
}  // namespace tessaly
