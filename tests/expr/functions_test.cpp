#include "expr/functions.h"

#include <gtest/gtest.h>

#include <string>

#include "core/string_tables.h"
#include "tests/expr/expr_fixture.h"

namespace tessaly {
namespace {

using Functions = ExprTest;

int g_evaluated = 0;

// The choice of CHK#: the condition, then only the chosen argument.
Status Choose(FunctionCall& call) {
  AreaMark mark;
  if (call.argument_count() < 1) return Status::kSyntaxError;
  Status st = call.Evaluate(1);
  if (st != kNumberValue) return st.failed() ? st : Status(Status::kTypeMismatch);
  bool yes = NumberOf(Area().Top()) != 0;
  Status result = Status(kNumberValue);
  Slice value;
  for (int i = yes ? 2 : 3; i <= call.argument_count(); ++i) {
    ++g_evaluated;
    result = call.Evaluate(i);
    if (result.failed()) return result;
    value = Area().Top();
    if (yes) break;
  }
  if (value.size() == 0) return mark.KeepNumber(0).ok() ? Status(kNumberValue) : Status(145);
  (void)mark.Keep(value);
  return result == kNumberValue ? Status(kNumberValue) : Status(Status::kTypeWarning);
}

TEST_F(Functions, SlotEightHoldsTheBuiltInNames) {
  Slice list = FunctionList();
  EXPECT_EQ(list.view().substr(0, 10), std::string_view("_#\0FN#FLEN", 10));
  EXPECT_EQ(FunctionCode("CHK#"), 7);
  EXPECT_EQ(FunctionCode("fn$trim"), 19);  // looked up again upper-cased
  EXPECT_EQ(FunctionCode("SQLCHILD"), 33);
  EXPECT_EQ(FunctionCode("NOPE"), 0);
  EXPECT_EQ(FunctionName(28).str(), "_$");
  EXPECT_EQ(strtab::Get(strtab::kEnvironment, 8), list);
}

TEST_F(Functions, HandlersGetArgumentTextsAndEvaluateOnDemand) {
  ASSERT_EQ(SetFunctionHandler(7, &Choose).code(), 0);
  g_evaluated = 0;
  EXPECT_EQ(Eval("CHK#(1;2;X=9)"), "=2");
  EXPECT_EQ(Eval("X"), "=0");  // the third argument never ran
  EXPECT_EQ(Eval("CHK#(0;X=8;3)"), "=3");
  EXPECT_EQ(Eval("X"), "=0");
  EXPECT_EQ(Eval("CHK#(0;1)"), "=0");
  EXPECT_EQ(Eval("CHK#(1;'A')"), "#125");
  EXPECT_EQ(Eval("V=2;R#=CHK#(V==2;10/4;1)*2"), "=5");
  EXPECT_EQ(Eval("CHK#('a';1)"), "#128");
  EXPECT_NE(GetDetail().str().find("CHK#('a';1)"), std::string::npos);

  static std::string seen;
  ASSERT_EQ(SetFunctionHandler(20, [](FunctionCall& call) -> Status {
              seen = std::to_string(call.argument_count()) + ":" + call.argument(1).str() + "|" +
                     call.argument(2).str() + "|" + call.argument(3).str();
              return AreaMark().Keep(Slice("ok")).ok() ? Status(kTextValue) : Status(145);
            }).code(),
            0);
  EXPECT_EQ(Eval("ENVELOP$( a + 1 ;'x;y';)"), "ok");
  EXPECT_EQ(seen, "3:a+1|'x;y'|");
  EXPECT_EQ(Eval("ENVELOP$()"), "ok");
  EXPECT_EQ(seen, "0:||");
}

TEST_F(Functions, AssignmentToACallGoesToItsHandler) {
  static int64_t stored = 0;
  ASSERT_EQ(SetFunctionHandler(1, [](FunctionCall& call) -> Status {
              if (call.assigning()) {
                stored = NumberOf(call.assigned_value());
                return Status::kOk;
              }
              return AreaMark().KeepNumber(stored).ok() ? Status(kNumberValue) : Status(145);
            }).code(),
            0);
  EXPECT_EQ(Eval("_#(3)=12.5"), "=12.5");
  EXPECT_EQ(stored, 1250);
  EXPECT_EQ(Eval("_#(3)+1"), "=13.5");
}

TEST_F(Functions, ApplicationFunctionsTakeCodesFrom34UpTo16) {
  auto handler = [](FunctionCall& call) -> Status {
    return AreaMark().KeepNumber(call.code() * 100).ok() ? Status(kNumberValue) : Status(145);
  };
  // Before it is registered the name is no function: an undeclared array.
  EXPECT_EQ(Eval("VATv(1)"), "#149");
  int code = 0;
  ASSERT_EQ(RegisterFunction("VATv", handler, &code).code(), 0);
  EXPECT_EQ(code, 34);
  // The remembered text is scanned again now that VATv is a function.
  EXPECT_EQ(Eval("VATv(1)"), "=34");
  for (int i = 1; i < 16; ++i) {
    ASSERT_EQ(RegisterFunction(Slice::Of("F" + std::to_string(i)), handler, &code).code(), 0);
  }
  EXPECT_EQ(code, 49);
  EXPECT_EQ(RegisterFunction("ONEMORE", handler).code(), 168);
  EXPECT_EQ(RegisterFunction("CHK#", handler).code(), 157);
  EXPECT_EQ(Eval("F15(0)"), "=49");
  // Looked up as written, then upper-cased: a mixed-case name only as written.
  EXPECT_EQ(FunctionCode("VATv"), 34);
  EXPECT_EQ(FunctionCode("vatv"), 0);
}

TEST_F(Functions, SlotEightWrittenDirectlyIsFollowed) {
  EXPECT_EQ(Eval("MYF(1)"), "#149");
  std::string list = FunctionList().str();
  list += '\0';
  list += "MYF";
  ASSERT_EQ(strtab::Set(strtab::kEnvironment, 8, Slice::Of(list)).code(), 0);
  EXPECT_EQ(FunctionCode("MYF"), 34);
  EXPECT_EQ(Eval("MYF(1)"), "#147");  // a function now, with no handler
  // Emptied by someone else: filled again on the next use.
  ASSERT_EQ(strtab::Set(strtab::kEnvironment, 8, Slice()).code(), 0);
  EXPECT_EQ(FunctionCode("CHK#"), 7);
}

TEST_F(Functions, ADispatcherWrapsEveryCall) {
  static int dispatched = 0;
  SetFunctionDispatcher([](FunctionCall& call, FunctionHandler handler) -> Status {
    ++dispatched;
    if (handler == nullptr) return SetDetail(Status::kSyntaxError, call.name());
    return handler(call);
  });
  ASSERT_EQ(SetFunctionHandler(3, [](FunctionCall& call) -> Status {
              AreaMark mark;
              if (call.Evaluate(1) != kTextValue) return Status::kTypeMismatch;
              return mark.KeepNumber(Area().Top().size() * 100).ok() ? Status(kNumberValue) : Status(145);
            }).code(),
            0);
  dispatched = 0;
  EXPECT_EQ(Eval("FN#SLEN('abc')+FN#SLEN('')"), "=3");
  EXPECT_EQ(Eval("FN#FLEN('x')"), "#147");
  EXPECT_EQ(dispatched, 3);
  SetFunctionDispatcher(nullptr);
}

TEST_F(Functions, ACanceledCallStopsTheStatementList) {
  ASSERT_EQ(SetFunctionHandler(23, [](FunctionCall&) -> Status {
              return AreaMark().KeepNumber(0).ok() ? Status(Status::kUserCanceled) : Status(145);
            }).code(),
            0);
  EXPECT_EQ(Eval("A=1;EXEC$('x');B=2"), "#122");
  EXPECT_EQ(Eval("A"), "=1");
  EXPECT_EQ(Eval("B"), "=0");
  // A warning is no failure of 128: it is not recorded as the last error.
  EXPECT_EQ(GetLastError().code, 0);
}

TEST_F(Functions, CallsMadeOutsideAnExpressionEvaluateTheirTexts) {
  Slice args[] = {Slice("1+2"), Slice("'x'")};
  FunctionCall call(0, "T", args, 2);
  AreaMark mark;
  EXPECT_EQ(call.Evaluate(1).code(), kNumberValue);
  EXPECT_EQ(NumberOf(Area().Top()), 300);
  EXPECT_EQ(call.Evaluate(2).code(), kTextValue);
  EXPECT_EQ(call.Evaluate(3).code(), 123);
}

}  // namespace
}  // namespace tessaly
