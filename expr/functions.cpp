#include "expr/functions.h"

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/string_tables.h"
#include "expr/evaluator.h"

namespace tessaly {
namespace {

// The built-in functions, numbered from 1 in this order.
constexpr std::string_view kBuiltinNames =
    "_#,FN#FLEN,FN#SLEN,FN#PARM,FN#VALN,FN#ACUM,CHK#,FILEFIND,FILEREL,FILELOCATE,FILESEL,FN$CHNG,"
    "FN$CHRS,FN$DATE,FN$FLDS,FN$MASK,FN$MIDS,FN$PARM,FN$TRIM,ENVELOP$,CHK$,SORT$,EXEC$,READ$,WRITE,"
    "MACRO$,ENVRON$,_$,KEY$,TIME$,IER,EXP$,SQLCHILD";
constexpr int CountNames(std::string_view list) {
  int n = 1;
  for (char c : list) n += c == ',';
  return n;
}
static_assert(CountNames(kBuiltinNames) == kBuiltinFunctionCount);

constexpr int kFunctionListSlot = 8;

struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

struct Registry {
  std::string list;  // slot 8 as last seen
  std::vector<std::string> names;
  std::unordered_map<std::string, int, NameHash, std::equal_to<>> codes;
  FunctionHandler handlers[kLastFunctionCode + 1] = {};
  FunctionDispatcher dispatcher = nullptr;
  uint32_t generation = 1;
  // The environment table's change counter when the list was last compared.
  uint32_t seen_version = 0;
  bool synced = false;
};

Registry& R() {
  static Registry registry;
  return registry;
}

void Rebuild(Slice current) {
  Registry& r = R();
  r.list.assign(current.data(), current.size());
  r.names.clear();
  r.codes.clear();
  size_t start = 0;
  while (start <= r.list.size()) {
    size_t end = r.list.find('\0', start);
    if (end == std::string::npos) end = r.list.size();
    r.names.push_back(r.list.substr(start, end - start));
    start = end + 1;
  }
  // The first occurrence of a name gives its code.
  for (size_t i = 0; i < r.names.size(); ++i) {
    if (!r.names[i].empty()) r.codes.emplace(r.names[i], static_cast<int>(i) + 1);
  }
  ++r.generation;
}

std::string BuiltinList() {
  std::string list(kBuiltinNames);
  for (char& c : list) {
    if (c == ',') c = '\0';
  }
  return list;
}

// Brings the registry in step with slot 8, filling the slot when empty.
void Sync() {
  Registry& r = R();
  if (r.synced && strtab::Version(strtab::kEnvironment) == r.seen_version) return;
  r.synced = true;
  r.seen_version = strtab::Version(strtab::kEnvironment);
  Slice current = strtab::Get(strtab::kEnvironment, kFunctionListSlot);
  if (current.empty()) {
    std::string list = r.list.empty() ? BuiltinList() : r.list;
    (void)strtab::Set(strtab::kEnvironment, kFunctionListSlot, Slice::Of(list));
    current = strtab::Get(strtab::kEnvironment, kFunctionListSlot);
    r.seen_version = strtab::Version(strtab::kEnvironment);
    if (current.empty()) {
      // The tables are full: go on with our own copy of the list.
      if (r.list.empty()) Rebuild(Slice::Of(list));
      return;
    }
  }
  if (current.size() != r.list.size() ||
      std::memcmp(current.data(), r.list.data(), current.size()) != 0) {
    Rebuild(current);
  }
}

int Find(std::string_view name) {
  const auto& codes = R().codes;
  auto it = codes.find(name);
  return it == codes.end() ? 0 : it->second;
}

}  // namespace

Status FunctionCall::Evaluate(int i) {
  if (i < 1 || i > count_) return Status::kNullExpression;
  if (evaluator_) return evaluator_(context_, i);
  return tessaly::Evaluate(arguments_[i - 1]);
}

Slice FunctionList() {
  Sync();
  return Slice::Of(R().list);
}

int FunctionCode(Slice name) {
  if (!name.ok() || name.empty()) return 0;
  Sync();
  int code = Find(name.view());
  if (code != 0) return code;
  std::string upper(name.view());
  bool changed = false;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
      changed = true;
    }
  }
  return changed ? Find(upper) : 0;
}

Slice FunctionName(int code) {
  Sync();
  const Registry& r = R();
  if (code < 1 || code > static_cast<int>(r.names.size())) return Slice();
  return Slice::Of(r.names[code - 1]);
}

Status SetFunctionHandler(int code, FunctionHandler handler) {
  if (code < 1 || code > kBuiltinFunctionCount) return Status::kSyntaxError;
  R().handlers[code] = handler;
  return Status::kOk;
}

Status RegisterFunction(Slice name, FunctionHandler handler, int* code) {
  if (!name.ok() || name.empty() || std::memchr(name.data(), 0, name.size()) != nullptr) {
    return Status::kVarNameError;
  }
  Sync();
  Registry& r = R();
  int existing = Find(name.view());
  if (existing > kBuiltinFunctionCount && existing <= kLastFunctionCode) {
    r.handlers[existing] = handler;
    if (code) *code = existing;
    return Status::kOk;
  }
  // A built-in name keeps its own code: its handler is set with
  // SetFunctionHandler.
  if (existing != 0) return Status::kVarNameError;
  int next = static_cast<int>(r.names.size()) + 1;
  if (next > kLastFunctionCode) return Status::kDataOutBound;
  std::string list = r.list;
  list += '\0';
  list.append(name.data(), name.size());
  if (list.size() > kMaxTextLength) return Status::kDataOutBound;
  Status st = strtab::Set(strtab::kEnvironment, kFunctionListSlot, Slice::Of(list));
  if (st != Status::kOk) return st;
  r.seen_version = strtab::Version(strtab::kEnvironment);
  Rebuild(Slice::Of(list));
  r.handlers[next] = handler;
  if (code) *code = next;
  return Status::kOk;
}

FunctionHandler GetFunctionHandler(int code) {
  return (code >= 1 && code <= kLastFunctionCode) ? R().handlers[code] : nullptr;
}

void SetFunctionDispatcher(FunctionDispatcher dispatcher) { R().dispatcher = dispatcher; }

Status CallFunction(FunctionCall& call) {
  FunctionHandler handler = GetFunctionHandler(call.code());
  if (R().dispatcher) return R().dispatcher(call, handler);
  if (handler) return handler(call);
  return SetDetail(Status::kSyntaxError, call.name());
}

uint32_t FunctionListGeneration() {
  Sync();
  return R().generation;
}

void ResetFunctions() {
  Registry& r = R();
  for (auto& h : r.handlers) h = nullptr;
  r.dispatcher = nullptr;
  (void)strtab::Set(strtab::kEnvironment, kFunctionListSlot, Slice());
  r.list.clear();
  r.synced = false;
  Sync();
}

}  // namespace tessaly
