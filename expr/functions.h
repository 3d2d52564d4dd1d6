// Functions of the expression language: the name list by which the scanner
// recognises a call, the handler behind each function code, and the call
// object a handler receives.
//
// The function list lives in environment slot 8 (string table 0, item 8) as
// names separated by NUL; it is filled on first use with the 33 built-in
// names, and the application's functions are appended to it (codes 34-49).
// A name's code is its position in the list, from 1.
//
// How a call runs: the evaluator builds a FunctionCall (code, name, the
// argument texts and a way to evaluate each one) and passes it to
// CallFunction. CallFunction hands it to the installed dispatcher, or, when
// none is installed, runs the handler of the code directly; a code without a
// handler gives 147 with the call's name as error detail.
//
// What the built-in functions module adds, without changing this module:
//   - its handlers, one per code 1-33, with SetFunctionHandler;
//   - optionally a dispatcher (SetFunctionDispatcher) that wraps every call:
//     gathering the arguments by the function's mode onto string table 35,
//     the nesting level of SQLCHILD, returning table 35 to its size after the
//     call. The dispatcher runs the handler it is given.
// The application adds its functions with RegisterFunction in its start
// phase.
//
// A handler leaves its result on top of the string area (mark on entry, keep
// on exit) and returns kNumberValue (0) for a number, kTextValue (1) for a
// text, or a status of 122 and more. Any other return below 122 is taken as
// the kind its name says: text when the name holds '$', else a number.
//
// When the call is the left side of an assignment (`_#(3)=5`), assigning()
// is true and assigned_value() holds the value to store; the handler stores
// it and returns its status.
#pragma once

#include <cstdint>

#include "core/slice.h"

namespace tessaly {

inline constexpr int kBuiltinFunctionCount = 33;
inline constexpr int kApplicationFunctionLimit = 16;
inline constexpr int kLastFunctionCode = kBuiltinFunctionCount + kApplicationFunctionLimit;

class FunctionCall {
 public:
  // Evaluates argument i of the call whose context is `context`.
  using ArgumentEvaluator = Status (*)(void* context, int i);

  // A call with argument texts: Evaluate(i) evaluates the text of argument i
  // as an expression. `arguments` must outlive the call.
  FunctionCall(int code, Slice name, const Slice* arguments, int count)
      : code_(code), name_(name), arguments_(arguments), count_(count) {}

  int code() const { return code_; }
  Slice name() const { return name_; }
  int argument_count() const { return count_; }
  // The text of argument i (from 1) as written, blanks removed; empty when
  // there is no such argument.
  Slice argument(int i) const {
    return (i >= 1 && i <= count_) ? arguments_[i - 1] : Slice();
  }
  // Evaluates argument i now: kNumberValue or kTextValue with the value on
  // top of the string area, or a status (123 for an absent argument, with
  // nothing pushed). An argument may be evaluated any number of times.
  Status Evaluate(int i);

  bool assigning() const { return assigning_; }
  Slice assigned_value() const { return assigned_value_; }
  int assigned_kind() const { return assigned_kind_; }

  // For the evaluator: how arguments are evaluated, and the assignment.
  void SetEvaluator(ArgumentEvaluator evaluator, void* context) {
    evaluator_ = evaluator;
    context_ = context;
  }
  void SetAssignment(Slice value, int kind) {
    assigning_ = true;
    assigned_value_ = value;
    assigned_kind_ = kind;
  }

 private:
  int code_;
  Slice name_;
  const Slice* arguments_;
  int count_;
  ArgumentEvaluator evaluator_ = nullptr;
  void* context_ = nullptr;
  bool assigning_ = false;
  Slice assigned_value_;
  int assigned_kind_ = 0;
};

using FunctionHandler = Status (*)(FunctionCall& call);
// Wraps every call; `handler` is the code's handler, null when it has none.
using FunctionDispatcher = Status (*)(FunctionCall& call, FunctionHandler handler);

// The function list of environment slot 8 (names separated by NUL), filled
// with the built-in names when empty.
Slice FunctionList();
// The code (1-49) of `name`, looked up as written and then upper-cased; 0
// when it is not a function.
int FunctionCode(Slice name);
// The name of a code; empty when there is none.
Slice FunctionName(int code);

// Installs the handler of a built-in code (1-33); 147 for another code.
Status SetFunctionHandler(int code, FunctionHandler handler);
// Adds an application function: its name is appended to the list and its
// handler takes the next code from 34. A name already in the list keeps its
// code and gets the new handler. 168 when 16 application functions exist,
// 157 for an empty name, one holding a NUL, or a built-in name.
Status RegisterFunction(Slice name, FunctionHandler handler, int* code = nullptr);
FunctionHandler GetFunctionHandler(int code);
void SetFunctionDispatcher(FunctionDispatcher dispatcher);

// Runs a call: through the dispatcher, else the handler; 147 when the code
// has no handler.
Status CallFunction(FunctionCall& call);

// Changes whenever the function list changes (a registration, or slot 8
// written by other means), so that scanned expressions are scanned again.
uint32_t FunctionListGeneration();

// Forgets the application functions, the handlers and the dispatcher, and
// empties slot 8: a fresh start for tests.
void ResetFunctions();

}  // namespace tessaly
