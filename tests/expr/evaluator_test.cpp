#include "expr/evaluator.h"

#include <gtest/gtest.h>

#include <string>

#include "core/flags.h"
#include "core/string_tables.h"
#include "expr/scanner.h"
#include "tests/expr/expr_fixture.h"

namespace tessaly {
namespace {

// One evaluation: what is set before, the text, what it gives ("=" and the
// number, the text, or "#" and the status) and a condition that must hold
// afterwards.
struct Case {
  const char* before;
  const char* text;
  const char* result;
  const char* after;
};

const Case kCases[] = {
    // Numbers, with 2 decimals unless said otherwise.
    {"", "10/3", "=3.33", ""},
    {"", "2/3", "=0.67", ""},
    {"", "-2/3", "=-0.67", ""},
    {"", "1/0", "=0", ""},
    {"", "100%16", "=16", ""},
    {"", "100\xF7" "16", "=84", ""},
    {"_PRECIS=3", "2.345!2", "=2.35", ""},
    {"_PRECIS=3", "2.3456!5", "=234.6", ""},  // more decimals: the value times 10^(n-3)
    {"_PRECIS=3", "-2.345!2", "=-2.35", ""},
    {"", "1234.5!-2", "=1200", ""},
    {"", "1+2*3", "=7", ""},
    {"", "(1+2)*3", "=9", ""},
    {"", "8-3-2", "=3", ""},
    {"", "6|1*2", "=14", ""},  // '|' binds tighter: (6|1)*2
    {"", "5|1", "=0", ""},     // integer parts sharing a bit
    {"", "5@2", "=7", ""},
    {"", "3&5", "=1", ""},
    {"", "1@@1", "=0", ""},
    {"", "1@@0", "=1", ""},
    {"", "0@@0", "=0", ""},
    {"", "655.36&&1", "=0", ""},  // && looks at the low 16 bits of the scaled value
    {"", "655.37&&1", "=1", ""},
    {"", "0||0.01", "=1", ""},
    {"", "2>1", "=1", ""},
    {"", "2<=1", "=0", ""},
    {"", "1.5*1.5", "=2.25", ""},
    {"", "0.05*0.1", "=0.01", ""},    // 0.005 rounds away from zero
    {"", "-0.05*0.1", "=-0.01", ""},
    {"", "1/0.03", "=33.33", ""},
    {"", "2*-3", "=-6", ""},  // a sign after an operator binds to its operand
    {"", "2--3", "=5", ""},
    {"", "1.005+0", "=1.01", ""},  // literals round to _PRECIS
    {"", "1;;2", "=2", ""},
    {"", "1,2", "=2", ""},
    {"", "1+(2;3)", "=4", ""},  // a group is a statement list
    {"", "", "=", ""},
    {"", ";", "=", ""},
    {"", "()", "=", ""},
    // Environment names.
    {"", ".datem", "=100", ""},
    {"", ".iscgi", "=16384", ""},
    {"", ".5", "=0.5", ""},
    {"", ".xyz", "=0", ""},
    // Texts.
    {"", "'ABC'+'D'", "ABCD", ""},
    {"", "\"a b\"", "a b", ""},
    {"", "'it''s'", "it''s", ""},  // one pair of quotes removed
    {"", "'ABC'-'D'", "#147", ""},
    {"", "'A'+1", "#128", ""},
    {"", "1+'A'", "#128", ""},
    {"", "'AB'<'ABC'", "=1", ""},
    {"", "'b'>'abc'", "=1", ""},
    {"", "'a'=='a'", "=1", ""},
    {"", "'a'<>'b'", "=1", ""},
    {"NAME$='John'", "NAME$=='jo*'", "=1", ""},
    {"NAME$='John'", "NAME$=='*OH*'", "=1", ""},
    {"NAME$='John'", "NAME$=='*x'", "=0", ""},
    {"NAME$='John'", "NAME$<>'jo*'", "=1", ""},  // no patterns for <>
    {"NAME$='John';_AUXSTAT=128", "NAME$=='jo*'", "=0", ""},
    {"", ".tab$", "\t", ""},
    {"", ".lf$+.pchr$", "\r\n\\", ""},
    {"", ".null$", "", ""},
    // Variables and assignments.
    {"", "A=1;B$='X'", "X", "A==1&&B$=='X'"},
    {"", "A=B=1", "=1", "A==1&&B==1"},
    {"", "A = B + 1", "=1", "A==1"},
    {"", "A=3.7", "=3.7", "A==4"},
    {"", "A#=3.7", "=3.7", "A#==3.7"},
    {"", "A=-1.5", "=-1.5", "A==-2"},
    {"", "A=70000", "=70000", "A==4464"},  // integers are 16-bit words
    {"", "X$", "", ""},
    {"", "N", "=0", ""},
    {"", "N#", "=0", ""},
    {"", "_PRECIS", "=2", ""},
    {"", "_DEVWID+_LB", "=208", ""},
    {"", "Total=1;TOTAL=2;Total", "=1", ""},
    {"", "X=(Y=2)*3", "=6", "X==6&&Y==2"},
    {"", "A$=1", "#128", ""},
    {"", "A=''", "#128", ""},
    {"", ".tab$='x'", "#147", ""},
    {"", "1=2", "#147", ""},
    {"", "(A)=1", "#147", ""},
    {"", "A+B=1", "#147", ""},
    {"_PRECIS=0", "A#=7/2", "=4", "A#==4"},
    {"_PRECIS=4", "1/3", "=0.3333", ""},
    // Damaged texts.
    {"", "A B", "#147", ""},
    {"", "(1+2", "#129", ""},
    {"", "1+2)", "#129", ""},
    {"", ")(", "#129", ""},
    {"", "1+", "#147", ""},
    {"", "'A'+", "#147", ""},
    {"", "A=", "#147", ""},
    {"", "1:2", "#147", ""},
    {"", "1=>2", "#147", ""},
    {"", "A(1)B", "#147", ""},
    {"", "A(1)(2)", "#149", ""},  // the call is evaluated before the bad operator
    {"", "'abc", "'ABC", ""},  // a quote never closed runs to the end
    // Calls with nothing behind them.
    {"", "CHK#(1;2)", "#147", ""},
    {"", "ARR(1)", "#149", ""},
    {"", "_FN(1)", "#149", ""},
    {"", "NAME{1}", "#161", ""},
    {"", "X=NAME{1}", "#161", "X==0"},
};

class EvaluatorCases : public ExprTest, public ::testing::WithParamInterface<Case> {};

TEST_P(EvaluatorCases, GivesItsResult) {
  const Case& c = GetParam();
  if (*c.before) Run(c.before);
  EXPECT_EQ(Eval(c.text), c.result) << "text: " << c.text << "\ndetail: " << GetDetail().str();
  if (*c.after) {
    EXPECT_EQ(Eval(c.after), "=1") << "after " << c.text << ": " << c.after;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, EvaluatorCases, ::testing::ValuesIn(kCases));

using Evaluator = ExprTest;

TEST_F(Evaluator, ConditionReadsNumbersTextsAndStatuses) {
  struct {
    const char* text;
    int result;
  } cases[] = {
      {"", 1}, {"  ", 1}, {"0", 0}, {"'X'", 0}, {"2>1", 1}, {"0.01", 1}, {"1+", 147}, {"'A'+1", 128},
  };
  for (const auto& c : cases) {
    int depth = Area().Mark();
    EXPECT_EQ(Condition(Slice(c.text)).code(), c.result) << c.text;
    EXPECT_EQ(Area().Mark(), depth) << c.text;
  }
}

TEST_F(Evaluator, EvaluateToTextAndForErrors) {
  Run("A#=1.5");
  {
    AreaMark mark;
    EXPECT_EQ(EvaluateToText("A#*2").str(), "3");
    EXPECT_EQ(EvaluateToText("A#/4").str(), "0.38");
    EXPECT_EQ(EvaluateToText("'x'+'y'").str(), "xy");
    EXPECT_EQ(EvaluateToText("").str(), "");
    EXPECT_EQ(EvaluateToText("'A'+1").status().code(), 128);
  }
  int depth = Area().Mark();
  EXPECT_EQ(EvaluateForErrors("B=2;C$='z'").code(), 0);
  EXPECT_EQ(EvaluateForErrors("B=").code(), 147);
  EXPECT_EQ(Area().Mark(), depth);
  EXPECT_EQ(Eval("B"), "=2");
}

TEST_F(Evaluator, FailureRecordsAreaAndAppendsTheStatement) {
  Run("X#=1");
  ClearDetail();
  EXPECT_EQ(Eval("Y=1;Z$='A'+X#;W=3"), "#128");
  LastError last = GetLastError();
  EXPECT_EQ(last.code, 128);
  EXPECT_EQ(last.area, static_cast<uint16_t>(ErrorArea::kExpExec));
  // The failing statement runs to the end of the text; later ones did not run.
  EXPECT_NE(GetDetail().str().find("Z$='A'+X#;W=3"), std::string::npos) << GetDetail().str();
  EXPECT_EQ(Eval("Y"), "=1");
  EXPECT_EQ(Eval("W"), "=0");
}

TEST_F(Evaluator, SyntaxFailuresNameTheText) {
  EXPECT_EQ(Eval("(1+2"), "#129");
  EXPECT_EQ(GetDetail().str(), "(1+2");
  EXPECT_EQ(Eval("A  B+1"), "#147");
  EXPECT_EQ(GetDetail().str(), "  B+1");
  // Remembered texts give the same status and detail again.
  ClearDetail();
  EXPECT_EQ(Eval("(1+2"), "#129");
  EXPECT_EQ(GetDetail().str(), "(1+2");
}

TEST_F(Evaluator, AssignmentFailureRecordsVariableArea) {
  EXPECT_EQ(Eval("A$=1"), "#128");
  EXPECT_EQ(GetLastError().area, static_cast<uint16_t>(ErrorArea::kVarNameAssign));
}

TEST_F(Evaluator, PrecisionChangesAreSeenByRememberedLiterals) {
  EXPECT_EQ(Eval("X#=1.234"), "=1.23");
  Run("_PRECIS=3");
  EXPECT_EQ(Eval("X#=1.234"), "=1.234");
  EXPECT_EQ(Eval(".datem"), "=100");
}

TEST_F(Evaluator, RememberedTextsFollowVariablesCreatedLater) {
  EXPECT_EQ(Eval("LATER#+1"), "=1");
  Run("LATER#=5");
  EXPECT_EQ(Eval("LATER#+1"), "=6");
  ResetVariables();
  EXPECT_EQ(Eval("LATER#+1"), "=1");
  Run("OTHER=2;LATER#=7");
  EXPECT_EQ(Eval("LATER#+1"), "=8");
  EXPECT_GT(GetExpressionCacheStats().hits, 0u);
}

TEST_F(Evaluator, StatementValuesDoNotPileUpOnTheStringArea) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "S$='" + std::string(30, 'x') + "'+S$;S$='';";
  text += "1";
  int depth = Area().Mark();
  size_t used = Area().bytes_in_use();
  EXPECT_EQ(Eval(text), "=1");
  EXPECT_EQ(Area().Mark(), depth);
  EXPECT_EQ(Area().bytes_in_use(), used);
}

TEST_F(Evaluator, TooLongTextsFailWithAStatus) {
  Run("T$='" + std::string(40000, 'a') + "'");
  EXPECT_EQ(Eval("T$+T$"), "#146");
}

TEST_F(Evaluator, DeepOrLongTextsGiveAStatusNotAStackOverflow) {
  std::string deep(32000, '(');
  deep += "1";
  deep += std::string(32000, ')');
  EXPECT_EQ(Eval(deep), "#155");
  EXPECT_EQ(IsText(Slice::Of(deep)), 0);

  // More than a slice can hold is refused before scanning.
  std::string huge(100000, '(');
  huge += "1" + std::string(100000, ')');
  EXPECT_EQ(Evaluate(Slice::Of(huge)).code(), 146);

  const int bound = 5;
  ASSERT_EQ(DeclareArray("A", kIntegerVariable, 0, &bound, 1).code(), 0);
  std::string calls;
  for (int i = 0; i < 10000; ++i) calls += "A(";
  calls += "1" + std::string(10000, ')');
  EXPECT_EQ(Eval(calls), "#155");

  std::string assignments;
  for (int i = 0; i < 20000; ++i) assignments += "A=";
  assignments += "1";
  EXPECT_EQ(Eval(assignments), "#155");

  std::string signs = "2" + std::string(30000, '*') + "3";
  EXPECT_EQ(Eval(signs), "=0");

  std::string flat = "0";
  while (flat.size() < 64000) flat += "+1";
  EXPECT_EQ(Eval(flat), "=" + std::to_string((flat.size() - 1) / 2));
}

TEST_F(Evaluator, ScreenFieldHookAnswersUnderscoreNames) {
  static std::string stored;
  RegisterHook(kHookScreenField, [](int request, Slice name, void* object) -> Slice {
    if (name.view() != "_FLD$" && name.view() != "_QTY") return Slice::Error(Status::kBadInputData);
    if (request == kScreenFieldAssign) {
      auto* value = static_cast<VariableValue*>(object);
      stored = value->kind == kTextValue ? value->value.str()
                                         : FormatNumber(NumberOf(value->value), 2).str();
      return Slice("");
    }
    return name.view() == "_QTY" ? Slice("3.6") : Slice("screen");
  });
  EXPECT_EQ(Eval("_FLD$+'!'"), "screen!");
  EXPECT_EQ(Eval("_QTY*2"), "=8");  // an integer name reads the integer
  EXPECT_EQ(Eval("_FLD$='new'"), "new");
  EXPECT_EQ(stored, "new");
  EXPECT_EQ(Eval("_QTY=2.5"), "=2.5");
  EXPECT_EQ(stored, "2.5");
  // Other '_' names are ordinary variables.
  EXPECT_EQ(Eval("_OTHER=4;_OTHER"), "=4");
  EXPECT_EQ(Eval("_PRECIS"), "=2");
}

TEST_F(Evaluator, ApplicationFunctionHookTakesUnderscoreCalls) {
  RegisterHook(kHookFunction, [](int request, Slice text, void* object) -> Slice {
    auto* call = static_cast<FunctionCall*>(object);
    if (call->name().view() != "_TWICE") return Slice::Error(Status::kBadInputData);
    if (request == kScreenFieldAssign) return Slice("");
    if (call->Evaluate(1) != kNumberValue) return Slice::Error(Status::kTypeMismatch);
    int64_t n = NumberOf(Area().Top());
    (void)text;
    return FormatNumber(n * 2, 2);
  });
  EXPECT_EQ(Eval("_TWICE(1.25)+1"), "=4");  // integer name: 2.5 reads 3
  EXPECT_EQ(Eval("_TWICE('x')"), "#128");
  EXPECT_EQ(Eval("_NONE(1)"), "#149");
  EXPECT_EQ(Eval("_TWICE(1)=5"), "=5");
}

// A record field access that knows two fields of file 1.
class TwoFields final : public RecordFieldAccess {
 public:
  char FieldType(Slice reference) override {
    if (reference.view() == "NAME{1}") return 'A';
    if (reference.view() == "QTY{1}") return 'N';
    return 0;
  }
  Status Read(Slice reference) override {
    if (reference.view() == "NAME{1}") return Area().Push(Slice::Of(name)).ok() ? 1 : 145;
    if (reference.view() == "QTY{1}") return Area().Push(Slice::Of(qty)).ok() ? 1 : 145;
    return SetDetail(Status::kFileOutBound, reference);
  }
  Status Write(Slice reference, Slice text) override {
    if (reference.view() == "NAME{1}") name = text.str();
    else if (reference.view() == "QTY{1}") qty = text.str();
    else return Status::kFileOutBound;
    return Status::kOk;
  }
  std::string name = "Ana";
  std::string qty = "12.50";
};

TEST_F(Evaluator, RecordFieldsGoThroughTheInstalledAccess) {
  TwoFields fields;
  SetRecordFieldAccess(&fields);
  EXPECT_EQ(Eval("NAME{1}+'!'"), "Ana!");
  EXPECT_EQ(Eval("QTY{1}*2"), "=25");  // a numeric field given as text counts as a number
  EXPECT_EQ(Eval("QTY{1}=3.456"), "=3.46");
  EXPECT_EQ(fields.qty, "3.46");
  EXPECT_EQ(Eval("NAME{1}='Eva'"), "Eva");
  EXPECT_EQ(fields.name, "Eva");
  EXPECT_EQ(Eval("X{9}"), "#161");
  EXPECT_EQ(IsText("NAME{1}"), 1);
  EXPECT_EQ(IsText("QTY{1}"), 0);
  SetRecordFieldAccess(nullptr);
}

}  // namespace
}  // namespace tessaly
