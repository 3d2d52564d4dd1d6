// A clean expression environment per test: fresh variables and functions,
// no hooks, no record field access, an empty cache and error record.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/flags.h"
#include "core/hooks.h"
#include "core/number.h"
#include "core/status.h"
#include "core/string_area.h"
#include "expr/evaluator.h"
#include "expr/fields.h"
#include "expr/functions.h"
#include "expr/variables.h"

namespace tessaly {

class ExprTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearHooks();
    SetRecordFieldAccess(nullptr);
    ResetFunctions();
    ResetVariables();
    ClearExpressionCache();
    ClearDetail();
    ForceLastError(0, 0);
    depth_ = Area().Mark();
  }
  void TearDown() override {
    // Every operation leaves the string area as it found it, apart from
    // what the test itself kept.
    Area().Release(depth_);
    // Array storage lives in memory blocks until released; each test runs
    // in a process of its own, which must end without leaks.
    ReleaseVariables();
  }

  // Evaluates and returns the result as text ("=" prefix for numbers so
  // that 1 and '1' differ), or "#" and the status.
  static std::string Eval(const std::string& text) {
    AreaMark mark;
    Status st = Evaluate(Slice::Of(text));
    return Shown(st);
  }
  static std::string Shown(Status st) {
    if (st.failed()) return "#" + std::to_string(st.code());
    Slice top = Area().Top();
    if (st == kTextValue) return top.str();
    if (top.empty()) return "=";
    return "=" + FormatNumber(NumberOf(top), Decimals()).str();
  }
  // Runs a statement list that must succeed.
  static void Run(const std::string& text) {
    AreaMark mark;
    Status st = Evaluate(Slice::Of(text));
    ASSERT_FALSE(st.failed()) << text << " gave " << st.code() << " " << GetDetail().str();
  }

  int depth_ = 0;
};

}  // namespace tessaly
