// The functions on files: EXEC$, READ$ and WRITE.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/environment_table.h"
#include "core/flags.h"
#include "core/folders.h"
#include "core/hooks.h"
#include "core/number.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "data/builtins_data_internal.h"
#include "data/parameters.h"
#include "data/streams.h"
#include "expr/evaluator.h"
#include "expr/variables.h"

namespace tessaly::builtins {
namespace {

// WRITE offsets with a file name.
constexpr int64_t kMergeParameters = -2;
constexpr int64_t kReplaceFile = -3;
// The end of file for READ$ with a length of 0.
constexpr char kEndOfFile = 26;

int ClampCount(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, -1, INT32_MAX)); }

// The pieces of `text` separated by `sep` outside quotes and parentheses,
// each trimmed; empty pieces are left out.
std::vector<std::string_view> TopLevelItems(std::string_view text, char sep) {
  std::vector<std::string_view> items;
  int depth = 0;
  char quote = 0;
  size_t start = 0;
  auto add = [&](size_t end) {
    std::string_view item = text.substr(start, end - start);
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
    if (!item.empty()) items.push_back(item);
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (depth > 0) --depth;
    } else if (c == sep && depth == 0) {
      add(i);
      start = i + 1;
    }
  }
  add(text.size());
  return items;
}

std::string_view NameOf(std::string_view assignment) {
  size_t eq = assignment.find('=');
  std::string_view name = assignment.substr(0, eq);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return name;
}

// WRITE(file; -2; "NAME=expression,..."): the parameter file written again
// as one line of assignments: the given ones first, their right sides
// evaluated (a text quoted, so that reading the file back gives the same
// text), then those already in the file for names not given; each name
// once. The old file is replaced only once the new one is complete.
Status MergeParameters(Slice path, Slice assignments) {
  AreaMark mark;
  std::string old;
  if (FileExists(path) == Status::kOk) {
    Slice read = FileReadLines(path, ';');
    // Unreadable contents are not thrown away.
    if (!read.ok()) return mark.Release(read.status());
    old.assign(read.data(), read.size());
  }
  std::string line;
  std::vector<std::string> written;
  auto seen = [&](std::string_view name) {
    return std::find(written.begin(), written.end(), name) != written.end();
  };
  for (std::string_view item : TopLevelItems(assignments.view(), ',')) {
    size_t eq = item.find('=');
    std::string_view name = NameOf(item);
    if (eq == std::string_view::npos || name.empty()) {
      return mark.Release(SetDetail(Status::kSyntaxError, Slice::Of(item)));
    }
    if (seen(name)) continue;
    AreaMark value_mark;
    std::string_view expression = item.substr(eq + 1);
    Status st = Evaluate(Slice::Of(expression));
    if (st.failed()) return mark.Release(st);
    Slice value =
        st == kTextValue ? Quote(Area().Top(), '\'') : FormatNumber(Area().TopNumber(), Decimals());
    if (!value.ok()) return mark.Release(SetDetail(value.status(), Slice::Of(item)));
    if (!line.empty()) line += ';';
    line.append(name);
    line += '=';
    line.append(value.view());
    written.emplace_back(name);
  }
  for (std::string_view item : TopLevelItems(old, ';')) {
    std::string_view name = NameOf(item);
    if (name.empty() || seen(name)) continue;
    if (!line.empty()) line += ';';
    line.append(item);
    written.emplace_back(name);
  }
  line += "\r\n";
  if (line.size() > kMaxTextLength) return mark.Release(Status::kStringTooLong);
  return mark.Release(FileWrite(path, -2, Slice::Of(line)) < 0 ? Status(Status::kFileIo)
                                                               : Status(Status::kOk));
}

}  // namespace

// EXEC$(command; parameters): a name with an extension and no parameters is
// a parameter file, evaluated as assignments ("0"); anything else goes to
// the application's command hook, whose result is the top of table 30.
Status Execute(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 2));
  Slice command, parameters;
  RETURN_IF_FAILED(args.Text(1, Slice(), &command));
  RETURN_IF_FAILED(args.TextOrNumber(2, Slice(), &parameters));
  if (!args.given(2) && !PathPart(command, kPartExtension).empty()) {
    Slice name = ExpandNames(command);
    if (!name.ok()) return mark.Release(name.status());
    Slice found = FindFile(GetEnvironment(kEnvDefaultFolder), name);
    // A parameter file that is not there is skipped, as at start-up.
    if (found.empty()) return ReturnText(mark, "0");
    Slice text = FileReadLines(found, ';');
    if (!text.ok()) return mark.Release(SetDetail(text.status(), found));
    Status st = EvaluateForErrors(text);
    if (st.is_error()) return mark.Release(SetDetail(st, found, true));
    return ReturnText(mark, "0");
  }
  if (GetHook(kHookCommand) == nullptr) return SetDetail(Status::kFeatureRemoved, "EXEC$()");
  Slice answer = CallHook(kHookCommand, 0, command, &parameters);
  if (!answer.ok()) {
    if (answer.status() == Status::kFeatureRemoved) {
      return mark.Release(SetDetail(Status::kFeatureRemoved, "EXEC$()"));
    }
    return mark.Release(answer.status());
  }
  return ReturnText(mark, strtab::Top(strtab::kProcedureResults));
}

// READ$(file or handle; offset = 0; length = -1): part of a file (to its
// end), or from an open stream: a length of -1 reads one line, 0 answers
// the end-of-file character 26 at the end and nothing elsewhere. A stream
// read without an offset goes on from its position. Anything that cannot be
// read gives the empty text.
Status Read(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(1, 3));
  int64_t length = -1;
  RETURN_IF_FAILED(args.Integer(3, -1, &length));
  if (args.is_number(1)) {
    int64_t handle = IntegerOf(args.number(1));
    int64_t offset = -1;
    RETURN_IF_FAILED(args.Integer(2, -1, &offset));
    if (handle < 0 || handle >= kStreamSlots) return ReturnText(mark, Slice());
    int slot = static_cast<int>(handle);
    if (length == 0) {
      static constexpr char kEof[1] = {kEndOfFile};
      return ReturnText(mark, StreamAtEnd(slot) ? Slice(kEof, 1) : Slice());
    }
    Slice read = StreamReadNew(slot, std::max<int64_t>(offset, -1), ClampCount(length));
    return ReturnText(mark, read.ok() ? read : Slice());
  }
  Slice name;
  int64_t offset = 0;
  RETURN_IF_FAILED(args.Text(1, Slice(), &name));
  RETURN_IF_FAILED(args.Integer(2, 0, &offset));
  Slice path = ExpandNames(name);
  if (!path.ok() || path.empty() || FileExists(path) != Status::kOk) {
    return ReturnText(mark, Slice());
  }
  Slice read = FileRead(path, std::max<int64_t>(offset, 0), ClampCount(length));
  return ReturnText(mark, read.ok() ? read : Slice());
}

// WRITE(file or handle; offset; text): the status as a number (0, or 131
// when not everything was written). With a handle the text goes to the open
// stream at the offset (without one: at its end). With a file name: -2
// merges assignments into a parameter file, -3 replaces the file, -1
// appends, any other offset writes there.
Status Write(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  RETURN_IF_FAILED(args.CheckCount(3, 3));
  Slice text;
  RETURN_IF_FAILED(args.Text(3, Slice(), &text));
  if (args.is_number(1)) {
    int64_t handle = IntegerOf(args.number(1));
    int64_t offset = -1;
    RETURN_IF_FAILED(args.Integer(2, -1, &offset));
    if (handle < 0 || handle >= kStreamSlots) return ReturnInteger(mark, Status::kFileIo);
    int result = StreamWriteAll(static_cast<int>(handle), std::max<int64_t>(offset, -1), text);
    return ReturnInteger(mark, result == 0 ? 0 : Status::kFileIo);
  }
  Slice name;
  int64_t offset = 0;
  RETURN_IF_FAILED(args.Text(1, Slice(), &name));
  RETURN_IF_FAILED(args.Integer(2, 0, &offset));
  Slice path = ExpandNames(name);
  if (!path.ok()) return mark.Release(path.status());
  if (path.empty()) return SetDetail(Status::kBadInputData, name);
  Status st;
  if (offset == kMergeParameters) {
    st = MergeParameters(path, text);
    if (st.is_error() && st != Status::kFileIo) return mark.Release(st);
  } else {
    int64_t position = offset == kReplaceFile ? -2 : offset < -1 ? -1 : offset;
    st = FileWrite(path, position, text) < 0 ? Status(Status::kFileIo) : Status(Status::kOk);
  }
  return ReturnInteger(mark, st.code());
}

}  // namespace tessaly::builtins

namespace tessaly {

Status MergeParameterFile(Slice path, Slice assignments) {
  return builtins::MergeParameters(path, assignments);
}

}  // namespace tessaly
