#include "expr/builtins.h"

#include <cstdint>
#include <iterator>
#include <string_view>
#include <vector>

#include "core/flags.h"
#include "core/number.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "expr/builtins_internal.h"
#include "expr/variables.h"

namespace tessaly {
namespace {

struct BuiltinEntry {
  std::string_view name;
  GatherMode mode;
};

using enum GatherMode;

// The function list in code order, with the way each gathers its arguments.
constexpr BuiltinEntry kBuiltins[] = {
    {"_#", kEvaluated},         {"FN#FLEN", kEvaluated},   {"FN#SLEN", kEvaluated},
    {"FN#PARM", kEvaluated},    {"FN#VALN", kEvaluated},   {"FN#ACUM", kRaw},
    {"CHK#", kFirstEvaluated},  {"FILEFIND", kEvaluated},  {"FILEREL", kFileRelation},
    {"FILELOCATE", kEvaluated}, {"FILESEL", kEvaluated},   {"FN$CHNG", kEvaluated},
    {"FN$CHRS", kEvaluated},    {"FN$DATE", kEvaluated},   {"FN$FLDS", kRaw},
    {"FN$MASK", kEvaluated},    {"FN$MIDS", kEvaluated},   {"FN$PARM", kEvaluated},
    {"FN$TRIM", kEvaluated},    {"ENVELOP$", kEvaluated},  {"CHK$", kFirstEvaluated},
    {"SORT$", kEvaluated},      {"EXEC$", kEvaluated},     {"READ$", kEvaluated},
    {"WRITE", kEvaluated},      {"MACRO$", kEvaluated},    {"ENVRON$", kEvaluated},
    {"_$", kEvaluated},         {"KEY$", kEvaluated},      {"TIME$", kEvaluated},
    {"IER", kEvaluated},        {"EXP$", kFirstEvaluated}, {"SQLCHILD", kEvaluated},
};
static_assert(std::size(kBuiltins) == kBuiltinFunctionCount);

// One gathered argument. Texts point into the string area (below the
// handler's mark) or into the expression being evaluated.
struct Arg {
  Slice text;
  Slice written;
  int64_t number = 0;
  ArgumentKind kind = kArgEmpty;
};

struct Frame {
  const FunctionCall* call;
  int first;  // index of its first argument in Stack::args
  int count;
  int gathered;     // arguments gathered so far
  int shown;        // of those, the ones pushed on table 35
  int table_count;  // items of table 35 when the call began
};

// The argument vectors of the calls in progress, innermost last. Their
// storage is kept from call to call.
//
// Table 35 shows them lazily: the frames below `shown_frames` are on the
// table (every argument gathered so far, in call order), the others are
// not yet. Before code that can look at the table runs (an application
// function, a hook, EXEC$, _$), every frame up to its own is pushed, so
// what it finds is exactly what pushing every argument at once would have
// left there; the calls nobody looks into (CHK# in a field expression)
// never touch the table.
struct Stack {
  std::vector<Arg> args;
  std::vector<Frame> frames;
  int shown_frames = 0;
  Stack() {
    args.reserve(256);
    frames.reserve(64);
  }
};

Stack& S() {
  static Stack stack;
  return stack;
}

bool LeftEmpty(Slice written) {
  return written.empty() || (written.size() == 1 && written[0] == kEmptyArgument);
}

// The text of an argument on table 35: a number as its 8-byte value, a raw
// argument as written, an empty one as ESC.
Slice Shown(const Arg& a) {
  static constexpr char kEsc[1] = {kEmptyArgument};
  switch (a.kind) {
    case kArgNumber:
      return Slice(reinterpret_cast<const char*>(&a.number), sizeof a.number);
    case kArgEmpty:
      return Slice(kEsc, 1);
    default:
      return a.text;
  }
}

Status PushOnTable(Slice value) {
  if (strtab::Push(strtab::kFunctionArgs, value) == Status::kOk) return Status::kOk;
  // A text too large for the shared store still reaches the handler; the
  // table shows it as empty so that the items keep their places.
  if (strtab::Push(strtab::kFunctionArgs, Slice()) == Status::kOk) return Status::kOk;
  return Status::kStrOutBound;
}

// Pushes what frame k has gathered and not shown yet.
Status ShowFrame(int k) {
  Stack& s = S();
  Frame& f = s.frames[k];
  for (; f.shown < f.gathered; ++f.shown) {
    Status st = PushOnTable(Shown(s.args[f.first + f.shown]));
    if (st != Status::kOk) return st;
  }
  return Status::kOk;
}

// Shows every frame up to and including `frame`.
Status ShowFramesThrough(int frame) {
  Stack& s = S();
  for (; s.shown_frames <= frame; ++s.shown_frames) {
    Status st = ShowFrame(s.shown_frames);
    if (st != Status::kOk) return st;
  }
  return Status::kOk;
}

// The functions whose handler may look at table 35, or run code that may:
// the application's, and those that call hooks or procedures.
bool LooksAtTable(int code) {
  return code > kBuiltinFunctionCount || code == kFnExecute || code == kFnStringTable ||
         code == kFnIndirect || code == kFnFileRelation;
}

Status Gather(FunctionCall& call, GatherMode mode, int frame) {
  const int first = S().frames[frame].first;
  const int n = call.argument_count();
  for (int i = 1; i <= n; ++i) {
    Arg a;
    a.written = call.argument(i);
    bool evaluate =
        mode == kEvaluated || mode == kFileRelation || (mode == kFirstEvaluated && i == 1);
    if (LeftEmpty(a.written)) {
      // Reads as the argument's default.
    } else if (!evaluate) {
      a.kind = kArgRaw;
      a.text = a.written;
    } else {
      Status st = call.Evaluate(i);
      if (st.failed() && st != Status::kNullExpression) return st;
      Slice top = Area().Top();
      if (st == kTextValue) {
        a.kind = kArgText;
        a.text = top;
      } else if (st == kNumberValue && top.size() == 8) {
        a.kind = kArgNumber;
        a.number = NumberOf(top);
      }
      if (mode == kFileRelation && a.kind == kArgText) {
        a.kind = kArgNumber;
        a.number = ParseNumber(a.text);
      }
    }
    Stack& s = S();
    s.args[first + i - 1] = a;
    s.frames[frame].gathered = i;
    // A frame already on the table shows each argument as it comes.
    if (frame < s.shown_frames) {
      Status st = ShowFrame(frame);
      if (st != Status::kOk) return st;
    }
  }
  return Status::kOk;
}

// Hands a gathered value to a handler that asks its call to evaluate an
// argument (the application's functions do).
Status Gathered(void* context, int i) {
  int frame = static_cast<int>(reinterpret_cast<intptr_t>(context));
  const Stack& s = S();
  if (frame < 0 || frame >= static_cast<int>(s.frames.size())) return Status::kInternalError;
  const Frame& f = s.frames[frame];
  if (i < 1 || i > f.count) return Status::kNullExpression;
  const Arg& a = s.args[f.first + i - 1];
  switch (a.kind) {
    case kArgNumber: {
      Slice pushed = Area().PushNumber(a.number);
      return pushed.ok() ? Status(kNumberValue) : pushed.status();
    }
    case kArgText: {
      Slice pushed = Area().Push(a.text);
      return pushed.ok() ? Status(kTextValue) : pushed.status();
    }
    default:
      return Status::kNullExpression;
  }
}

}  // namespace

GatherMode GatherModeOf(int code) {
  return code >= 1 && code <= kBuiltinFunctionCount ? kBuiltins[code - 1].mode : kEvaluated;
}

Slice BuiltinName(int code) {
  if (code < 1 || code > kBuiltinFunctionCount) return Slice();
  return Slice::Of(kBuiltins[code - 1].name);
}

int BuiltinCallDepth() { return static_cast<int>(S().frames.size()); }

Status BuiltinDispatch(FunctionCall& call, FunctionHandler handler) {
  Stack& s = S();
  const int code = call.code();
  const GatherMode mode = GatherModeOf(code);
  const int depth = Area().Mark();

  const bool nested = code == kFnNested;
  uint16_t saved_level = 0, saved_row = 0, saved_ier = 0;
  if (nested) {
    saved_level = Word(kSqlStk);
    int level = SignedWord(kSqlStk) + 1;
    if (level > kMaxNestedLevel) return Status::kStrOutBound;
    saved_row = Word(kCurRow);
    saved_ier = Word(kIer);
    SetWord(kCurRow, 0);
    SetWord(kSqlStk, static_cast<uint16_t>(level));
  }

  const int first = static_cast<int>(s.args.size());
  const int count = call.argument_count();
  s.args.resize(first + count);
  const int frame = static_cast<int>(s.frames.size());
  s.frames.push_back({&call, first, count, 0, 0, strtab::Count(strtab::kFunctionArgs)});

  Status st = Gather(call, mode, frame);
  const int values_top = Area().Mark();
  if (st == Status::kOk && LooksAtTable(code)) st = ShowFramesThrough(frame);
  if (st == Status::kOk) {
    if (mode == kEvaluated || mode == kFileRelation) {
      call.SetEvaluator(&Gathered, reinterpret_cast<void*>(static_cast<intptr_t>(frame)));
    }
    st = handler ? handler(call) : SetDetail(Status::kSyntaxError, call.name());
  }

  // Table 35 goes back to its size before the call, whatever was pushed on
  // it since (items popped meanwhile stay popped).
  const int table_count = s.frames[frame].table_count;
  while (strtab::Count(strtab::kFunctionArgs) > table_count) {
    (void)strtab::Pop(strtab::kFunctionArgs);
  }
  if (s.shown_frames > frame) s.shown_frames = frame;
  s.frames.pop_back();
  s.args.resize(first);
  if (nested) {
    SetWord(kSqlStk, saved_level);
    SetWord(kCurRow, saved_row);
    SetWord(kIer, saved_ier);
  }

  if (st.is_error()) {
    Area().Release(depth);
    return st;
  }
  if (Area().Mark() > values_top) {
    Slice kept = Area().Keep(depth, Area().Top());
    if (!kept.ok()) return kept.status();
  } else {
    Area().Release(depth);
  }
  return st;
}

// ---- The argument vector -------------------------------------------------------------

FunctionArguments::FunctionArguments(const FunctionCall& call) {
  const Stack& s = S();
  for (int k = static_cast<int>(s.frames.size()) - 1; k >= 0; --k) {
    if (s.frames[k].call == &call) {
      frame_ = k;
      first_ = s.frames[k].first;
      count_ = s.frames[k].count;
      return;
    }
  }
}

Status FunctionArguments::CheckCount(int min, int max) const {
  return count_ < min || count_ > max ? Status(Status::kSyntaxError) : Status(Status::kOk);
}

ArgumentKind FunctionArguments::kind(int i) const {
  if (i < 1 || i > count_) return kArgEmpty;
  return S().args[first_ + i - 1].kind;
}

int64_t FunctionArguments::number(int i) const {
  return kind(i) == kArgNumber ? S().args[first_ + i - 1].number : 0;
}

Slice FunctionArguments::text(int i) const {
  ArgumentKind k = kind(i);
  return k == kArgText || k == kArgRaw ? S().args[first_ + i - 1].text : Slice();
}

Slice FunctionArguments::written(int i) const {
  if (i < 1 || i > count_) return Slice();
  return S().args[first_ + i - 1].written;
}

Status FunctionArguments::Number(int i, int64_t fallback, int64_t* out) const {
  switch (kind(i)) {
    case kArgNumber:
      *out = number(i);
      return Status::kOk;
    case kArgEmpty:
      *out = fallback;
      return Status::kOk;
    default:
      return Status::kTypeMismatch;
  }
}

Status FunctionArguments::Integer(int i, int64_t fallback, int64_t* out) const {
  Status s = Number(i, fallback, out);
  // The fallback is already a whole number as the caller wrote it.
  if (s.ok() && kind(i) == kArgNumber) *out = IntegerOf(*out);
  return s;
}

Status FunctionArguments::Text(int i, Slice fallback, Slice* out) const {
  switch (kind(i)) {
    case kArgText:
    case kArgRaw:
      *out = text(i);
      return Status::kOk;
    case kArgEmpty:
      *out = fallback;
      return Status::kOk;
    default:
      return Status::kTypeMismatch;
  }
}

Status FunctionArguments::TextOrNumber(int i, Slice fallback, Slice* out) const {
  if (kind(i) != kArgNumber) return Text(i, fallback, out);
  *out = FormatNumber(number(i), Decimals());
  return out->ok() ? Status(Status::kOk) : out->status();
}

// ---- Results -------------------------------------------------------------------------

Status ReturnNumber(AreaMark& mark, int64_t scaled) {
  Slice kept = mark.KeepNumber(scaled);
  return kept.ok() ? Status(kNumberValue) : kept.status();
}

Status ReturnInteger(AreaMark& mark, int64_t whole) { return ReturnNumber(mark, Scale(whole)); }

Status ReturnText(AreaMark& mark, Slice text) {
  if (!text.ok()) return mark.Release(text.status());
  Slice kept = mark.Keep(text);
  return kept.ok() ? Status(kTextValue) : kept.status();
}

// ---- Installation -----------------------------------------------------------------------

namespace builtins {

int64_t WholeNumberOf(Slice text) { return IntegerOf(ParseNumber(text)); }

}  // namespace builtins

void InstallBuiltinFunctions() {
  struct Installed {
    int code;
    FunctionHandler handler;
  };
  static constexpr Installed kHandlers[] = {
      {kFnArray, &builtins::NumericArray},
      {kFnTextLength, &builtins::TextLength},
      {kFnListNumber, &builtins::ListNumber},
      {kFnAccumulate, &builtins::Accumulate},
      {kFnChooseNumber, &builtins::ChooseNumber},
      {kFnChange, &builtins::Change},
      {kFnCharacters, &builtins::Characters},
      {kFnIndirect, &builtins::Indirect},
      {kFnMiddle, &builtins::Middle},
      {kFnListItem, &builtins::ListItem},
      {kFnTrim, &builtins::TrimValue},
      {kFnEnvelope, &builtins::Envelope},
      {kFnChooseText, &builtins::ChooseText},
      {kFnSort, &builtins::Sort},
      {kFnEnvironment, &builtins::Environment},
      {kFnStringTable, &builtins::StringTable},
      {kFnTemplate, &builtins::Template},
      {kFnNested, &builtins::Nested},
  };
  for (const Installed& h : kHandlers) (void)SetFunctionHandler(h.code, h.handler);
  SetFunctionDispatcher(&BuiltinDispatch);
}

}  // namespace tessaly
