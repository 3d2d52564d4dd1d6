#include "expr/variables.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/flags.h"
#include "core/hooks.h"
#include "core/memory_blocks.h"
#include "core/number.h"
#include "core/runtime_arrays.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "expr/variables_internal.h"

namespace tessaly {
namespace {

using vars::Value;

// The system variables, in creation order: their positions are the word
// indexes of core/flags.h.
constexpr std::string_view kSystemIntegers =
    "_AUXSTAT,_RELRES,_CURFIL,_CUREDFLD,_DEVHIG=24,_DEVWID=80,_DEVLIN,_DEVPOS,_DEVPAG,_CURROW,"
    "_STAT,_LASTKEY=4,_SGN,_UPSTAT=1,_IER,_SYSCOMPAT,_SQLSTK,_COUNT,_HCOUNT,_ADMSTAT,_COMPAT,"
    "_SCRSTAT,_LMAX,_LNUM,_LLST,_HNUM,_SAFE,_LB=128,_AUX,_KEYMAP,_SERIAL,_TRACE=1,_PRECIS=2,"
    "_BYEAR=2000,_BKYEAR=80,_DX,_INHND,_OUTHND,_DATE,_DOCST,_WMAXROW,_USER01,_USER02,_USER03";
constexpr std::string_view kSystemTexts = "_ACUM$,_ACUMX$,_LTEXT$";

// Item n (from 0) of a comma list, without its "=default".
constexpr std::string_view SystemName(std::string_view list, int n) {
  size_t start = 0;
  for (; n > 0; --n) start = list.find(',', start) + 1;
  size_t end = list.find(',', start);
  std::string_view item = list.substr(start, end == std::string_view::npos ? list.npos : end - start);
  return item.substr(0, item.find('='));
}
constexpr int CountItems(std::string_view list) {
  int n = 1;
  for (char c : list) n += c == ',';
  return n;
}
static_assert(CountItems(kSystemIntegers) == kSysWordCount);
static_assert(SystemName(kSystemIntegers, kAuxStat) == "_AUXSTAT");
static_assert(SystemName(kSystemIntegers, kLastKey) == "_LASTKEY");
static_assert(SystemName(kSystemIntegers, kUpStat) == "_UPSTAT");
static_assert(SystemName(kSystemIntegers, kScrStat) == "_SCRSTAT");
static_assert(SystemName(kSystemIntegers, kLb) == "_LB");
static_assert(SystemName(kSystemIntegers, kTrace) == "_TRACE");
static_assert(SystemName(kSystemIntegers, kPrecis) == "_PRECIS");
static_assert(SystemName(kSystemIntegers, kBYear) == "_BYEAR");
static_assert(SystemName(kSystemIntegers, kWMaxRow) == "_WMAXROW");
static_assert(SystemName(kSystemIntegers, kUser03) == "_USER03");

// The special text names (after their dot) and what they read.
constexpr const char* kSpecialNames[] = {"lf$", "tab$", "pchr$", "null$"};
constexpr const char* kSpecialValues[] = {"\r\n", "\t", "\\", ""};
static_assert(std::size(kSpecialNames) == std::size(kSpecialValues));

struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// One kind's names: the authority for lookups, mirrored into table 12.
struct NameList {
  std::vector<std::string> names;
  std::unordered_map<std::string, int, NameHash, std::equal_to<>> index;
  std::string joined;
};

constexpr int kListCount = 4;

struct Store {
  NameList lists[kListCount];
  bool initialised = false;
  FileVariablesHandler file_variables = nullptr;
};

Store& S() {
  static Store store;
  return store;
}

// An array's descriptor, kept in runtime array 6 at the array's index.
struct ArrayDescriptor {
  void* storage;
  uint32_t count;
  uint32_t sizes[kMaxArrayDimensions];
  uint16_t element_size;
  uint8_t element_kind;
  uint8_t dimensions;
};

// The most one array may take: a declaration beyond it is refused rather
// than exhausting the memory.
constexpr size_t kMaxArrayBytes = size_t{64} << 20;

int64_t ScaleOne() { return PowerOfTen(Decimals()); }

// The integer part of a scaled number, rounded half away from zero.
int64_t RoundedInteger(int64_t scaled) { return DivideRounded(scaled, ScaleOne()); }

// An array name as listed: the name before its parenthesised part.
Slice ArrayBaseName(Slice name) {
  for (uint16_t i = 0; i < name.size(); ++i) {
    if (name[i] == '(') return Slice(name.data(), i);
  }
  return name;
}

bool ValidNewName(Slice name) {
  if (!name.ok() || name.empty()) return false;
  for (uint16_t i = 0; i < name.size(); ++i) {
    if (name[i] == ',' || name[i] == 0) return false;
  }
  return true;
}

// Adds `name` to the list of `kind`: its index, or -status.
int AddName(int kind, Slice name) {
  int slot = vars::ListSlot(kind);
  if (slot < 0) return -Status::kSyntaxError;
  if (!ValidNewName(name)) return -Status::kVarNameError;
  NameList& list = S().lists[slot];
  std::string joined = list.joined;
  if (!joined.empty()) joined += ',';
  joined.append(name.data(), name.size());
  if (joined.size() > kMaxTextLength ||
      strtab::Set(strtab::kVariableNames, slot, Slice::Of(joined)) != Status::kOk) {
    return -Status::kVarNameError;
  }
  int index = static_cast<int>(list.names.size());
  list.joined = std::move(joined);
  list.names.emplace_back(name.data(), name.size());
  list.index.emplace(list.names.back(), index);
  ++vars::g_creations;
  return index;
}

// Hook 0 answers 163 for a name that is not a field of the current screen;
// 148 asks for the runtime's own default: both mean "not answered".
Status NotAnswered(Status st) { return st == Status::kFeatureRemoved ? Status::kBadInputData : st; }

Status PushValue(const Value& v) {
  Slice s = v.kind == kTextValue ? Area().Push(v.slice()) : Area().PushNumber(v.number);
  return s.ok() ? Status(v.kind) : s.status();
}

Value ValueOfSlice(Slice value, int kind) {
  return kind == kTextValue ? Value::Text(value) : Value::Number(NumberOf(value));
}

ArrayDescriptor* Descriptor(int array) {
  return static_cast<ArrayDescriptor*>(rtarray::Get(rtarray::kArrayVariables, array));
}

// The element's storage; null with *status set when outside the array.
unsigned char* ElementAt(int array, const int64_t* indexes, int count, ArrayDescriptor** desc,
                         Status* status) {
  ArrayDescriptor* d = Descriptor(array);
  if (d == nullptr || d->storage == nullptr) {
    *status = Status::kDimStructError;
    return nullptr;
  }
  if (count > d->dimensions) {
    *status = Status::kDataOutBound;
    return nullptr;
  }
  // Row-major: each index times the product of the sizes after it. Only the
  // total is bounded, so a flat walk through a matrix keeps working. The
  // partial offset only grows, so it is checked at every step and never
  // overflows.
  uint64_t offset = 0;
  for (int i = 0; i < d->dimensions; ++i) {
    int64_t index = i < count ? indexes[i] : 0;
    if (index < 0 || index >= static_cast<int64_t>(d->count)) {
      *status = Status::kDataOutBound;
      return nullptr;
    }
    offset = offset * d->sizes[i] + static_cast<uint64_t>(index);
    if (offset >= d->count) {
      *status = Status::kDataOutBound;
      return nullptr;
    }
  }
  *desc = d;
  *status = Status::kOk;
  return static_cast<unsigned char*>(d->storage) + static_cast<size_t>(offset) * d->element_size;
}

void FreeArrays() {
  int n = rtarray::Count(rtarray::kArrayVariables);
  for (int i = 0; i < n; ++i) {
    ArrayDescriptor* d = Descriptor(i);
    if (d && d->storage) (void)BlockFree(ErrorArea::kVarStruct, d->storage);
  }
  rtarray::Free(rtarray::kArrayVariables);
}

void CreateSystemVariables() {
  Store& s = S();
  int n = 0;
  size_t start = 0;
  while (start <= kSystemIntegers.size()) {
    size_t end = kSystemIntegers.find(',', start);
    if (end == std::string_view::npos) end = kSystemIntegers.size();
    std::string_view item = kSystemIntegers.substr(start, end - start);
    size_t eq = item.find('=');
    std::string_view name = item.substr(0, eq);
    int value = 0;
    if (eq != std::string_view::npos) {
      for (char c : item.substr(eq + 1)) value = value * 10 + (c - '0');
    }
    int index = AddName(kIntegerVariable, Slice::Of(name));
    assert(index == n);
    SetWord(index, static_cast<uint16_t>(value));
    ++n;
    start = end + 1;
  }
  start = 0;
  while (start <= kSystemTexts.size()) {
    size_t end = kSystemTexts.find(',', start);
    if (end == std::string_view::npos) end = kSystemTexts.size();
    int index = AddName(kTextVariable, Slice::Of(kSystemTexts.substr(start, end - start)));
    (void)strtab::Set(strtab::kTextVariables, index, Slice());
    start = end + 1;
  }
  s.initialised = true;
}

}  // namespace

// ---- Internal operations ------------------------------------------------------

namespace vars {

int ListSlot(int kind) {
  switch (kind) {
    case kIntegerVariable:
      return 0;
    case kNumberVariable:
      return 1;
    case kTextVariable:
      return 2;
    case kArrayVariable:
      return 3;
    default:
      return -1;
  }
}

int Lookup(int kind, Slice name) {
  int slot = ListSlot(kind);
  if (slot < 0 || !name.ok()) return -1;
  const auto& index = S().lists[slot].index;
  auto it = index.find(name.view());
  return it == index.end() ? -1 : it->second;
}

int LookupOrCreate(int kind, Slice name) {
  int index = Lookup(kind, name);
  return index >= 0 ? index : AddName(kind, name);
}


Status ReadAt(int kind, int index, Value* out) {
  switch (kind) {
    case kIntegerVariable:
      *out = Value::Number(index < 0 ? 0 : SignedWord(index) * ScaleOne());
      return kNumberValue;
    case kNumberVariable: {
      const void* p = index < 0 ? nullptr : rtarray::Get(rtarray::kNumberVariables, index);
      int64_t n = 0;
      if (p) std::memcpy(&n, p, sizeof n);
      *out = Value::Number(n);
      return kNumberValue;
    }
    case kTextVariable: {
      if (index < 0) {
        *out = Value::Text(Slice());
        return kTextValue;
      }
      Slice copy = Area().Push(strtab::Get(strtab::kTextVariables, index));
      if (!copy.ok()) return copy.status();
      *out = Value::Text(copy);
      return kTextValue;
    }
    default:
      return Status::kSyntaxError;
  }
}

Status StoreAt(int kind, int index, const Value& value) {
  switch (kind) {
    case kIntegerVariable:
      if (value.kind != kNumberValue) return Status::kTypeMismatch;
      SetWord(index, static_cast<uint16_t>(RoundedInteger(value.number)));
      return Status::kOk;
    case kNumberVariable:
      if (value.kind != kNumberValue) return Status::kTypeMismatch;
      return rtarray::Store(rtarray::kNumberVariables, index, &value.number, sizeof value.number);
    case kTextVariable:
      if (value.kind != kTextValue) return Status::kTypeMismatch;
      return strtab::Set(strtab::kTextVariables, index, value.slice());
    default:
      return Status::kSyntaxError;
  }
}

Status OfferRead(int kind, Slice name, Value* out) {
  if (GetHook(kHookScreenField) == nullptr) return Status::kBadInputData;
  Slice answer = CallHook(kHookScreenField, kScreenFieldRead, name);
  if (!answer.ok()) return NotAnswered(answer.status());
  switch (kind) {
    case kTextVariable: {
      // A copy: the screen buffer may change while the expression runs.
      Slice copy = Area().Push(answer);
      if (!copy.ok()) return copy.status();
      *out = Value::Text(copy);
      return kTextValue;
    }
    case kIntegerVariable: {
      int64_t n = ParseNumber(answer);
      *out = Value::Number(RoundedInteger(n) * ScaleOne());
      return kNumberValue;
    }
    case kNumberVariable:
      *out = Value::Number(ParseNumber(answer));
      return kNumberValue;
    default:
      return Status::kBadInputData;
  }
}

Status OfferAssign(Slice name, const Value& value) {
  if (GetHook(kHookScreenField) == nullptr) return Status::kBadInputData;
  AreaMark mark;
  Slice top = value.kind == kTextValue ? Area().Push(value.slice()) : Area().PushNumber(value.number);
  if (!top.ok()) return top.status();
  VariableValue object{top, value.kind};
  Slice answer = CallHook(kHookScreenField, kScreenFieldAssign, name, &object);
  return mark.Release(NotAnswered(answer.status()));
}

Status ElementRead(int array, const int64_t* indexes, int count, Value* out) {
  ArrayDescriptor* d = nullptr;
  Status status;
  unsigned char* p = ElementAt(array, indexes, count, &d, &status);
  if (p == nullptr) return status;
  switch (d->element_kind) {
    case kIntegerVariable: {
      int16_t w;
      std::memcpy(&w, p, sizeof w);
      *out = Value::Number(w * ScaleOne());
      return kNumberValue;
    }
    case kNumberVariable: {
      int64_t n;
      std::memcpy(&n, p, sizeof n);
      *out = Value::Number(n);
      return kNumberValue;
    }
    default: {
      // A text element is padded with NULs: the text ends at the first one.
      uint16_t n = 0;
      while (n < d->element_size && p[n] != 0) ++n;
      Slice copy = Area().Push(Slice(reinterpret_cast<const char*>(p), n));
      if (!copy.ok()) return copy.status();
      *out = Value::Text(copy);
      return kTextValue;
    }
  }
}

Status ElementStore(int array, const int64_t* indexes, int count, const Value& value) {
  ArrayDescriptor* d = nullptr;
  Status status;
  unsigned char* p = ElementAt(array, indexes, count, &d, &status);
  if (p == nullptr) return status;
  bool text = d->element_kind == kTextVariable;
  if (text != (value.kind == kTextValue)) return Status::kTypeMismatch;
  switch (d->element_kind) {
    case kIntegerVariable: {
      int16_t w = static_cast<int16_t>(value.number / ScaleOne());
      std::memcpy(p, &w, sizeof w);
      return Status::kOk;
    }
    case kNumberVariable:
      std::memcpy(p, &value.number, sizeof value.number);
      return Status::kOk;
    default: {
      size_t n = value.length < d->element_size ? value.length : d->element_size;
      if (n) std::memmove(p, value.text, n);
      std::memset(p + n, 0, d->element_size - n);
      return Status::kOk;
    }
  }
}

Status AssignFailure(Status status) {
  return RecordError(1, ErrorArea::kVarNameAssign, status);
}

}  // namespace vars

// ---- Public operations ------------------------------------------------------------

int VariableKindOf(Slice name) {
  if (!name.ok()) return kNotVariable;
  bool dollar = false, hash = false, paren = false;
  for (uint16_t i = 0; i < name.size(); ++i) {
    switch (name[i]) {
      case '@':
        return kNotVariable;
      case '(':
        paren = true;
        break;
      case '$':
        dollar = true;
        break;
      case '#':
        hash = true;
        break;
      default:
        break;
    }
  }
  if (paren) return kArrayVariable;
  if (dollar) return kTextVariable;
  if (hash) return kNumberVariable;
  return kIntegerVariable;
}

VariableRef FindVariable(Slice name) {
  VariableRef ref;
  ref.kind = VariableKindOf(name);
  Slice key = ref.kind == kArrayVariable ? ArrayBaseName(name) : name;
  int index = vars::Lookup(ref.kind, key);
  if (index >= 0) ref.index = static_cast<uint16_t>(index);
  return ref;
}

Status CreateVariable(Slice name, uint16_t* index) {
  int kind = VariableKindOf(name);
  if (kind == kNotVariable) return Status::kSyntaxError;
  Slice key = kind == kArrayVariable ? ArrayBaseName(name) : name;
  int i = vars::LookupOrCreate(kind, key);
  if (i < 0) return Status(static_cast<uint16_t>(-i));
  if (index) *index = static_cast<uint16_t>(i);
  return Status::kOk;
}

bool SpecialTextName(Slice name, Slice* value) {
  if (name.size() < 2 || name[0] != '.') return false;
  std::string_view rest = name.view().substr(1);
  for (size_t i = 0; i < std::size(kSpecialNames); ++i) {
    if (rest == kSpecialNames[i]) {
      *value = Slice(kSpecialValues[i]);
      return true;
    }
  }
  return false;
}

Status ReadVariable(Slice name) {
  if (!name.ok()) return name.status();
  int kind = VariableKindOf(name);
  Value v;
  AreaMark mark;
  if (name.size() > 0 && name[0] == '_') {
    Status st = vars::OfferRead(kind, name, &v);
    if (st != Status::kBadInputData) {
      if (st.failed()) return mark.Release(st);
      Slice kept = v.kind == kTextValue ? mark.Keep(v.slice()) : mark.KeepNumber(v.number);
      return kept.ok() ? Status(v.kind) : kept.status();
    }
  }
  if (kind != kIntegerVariable && kind != kNumberVariable && kind != kTextVariable) {
    return Status::kSyntaxError;
  }
  Slice special;
  if (kind == kTextVariable && SpecialTextName(name, &special)) {
    Slice kept = mark.Keep(special);
    return kept.ok() ? Status(kTextValue) : kept.status();
  }
  Status st = vars::ReadAt(kind, vars::Lookup(kind, name), &v);
  if (st.failed()) return mark.Release(st);
  Slice kept = v.kind == kTextValue ? mark.Keep(v.slice()) : mark.KeepNumber(v.number);
  return kept.ok() ? Status(v.kind) : kept.status();
}

Status AssignVariable(Slice name, Slice value, int value_kind) {
  if (!name.ok()) return vars::AssignFailure(name.status());
  if (!value.ok()) return vars::AssignFailure(value.status());
  Value v = ValueOfSlice(value, value_kind);
  if (name.size() > 0 && name[0] == '_') {
    Status st = vars::OfferAssign(name, v);
    if (st != Status::kBadInputData) {
      if (st.failed()) return vars::AssignFailure(st);
      return PushValue(v);
    }
  }
  int kind = VariableKindOf(name);
  Slice special;
  if (kind != kIntegerVariable && kind != kNumberVariable && kind != kTextVariable) {
    return vars::AssignFailure(Status::kSyntaxError);
  }
  if (kind == kTextVariable && SpecialTextName(name, &special)) {
    return vars::AssignFailure(Status::kSyntaxError);
  }
  if ((kind == kTextVariable) != (value_kind == kTextValue)) {
    return vars::AssignFailure(Status::kTypeMismatch);
  }
  int index = vars::LookupOrCreate(kind, name);
  if (index < 0) return vars::AssignFailure(Status(static_cast<uint16_t>(-index)));
  Status st = vars::StoreAt(kind, index, v);
  if (st != Status::kOk) return vars::AssignFailure(st);
  return PushValue(v);
}

Status AssignNumber(Slice name, int64_t scaled) {
  AreaMark mark;
  Slice n = Area().PushNumber(scaled);
  Status st = AssignVariable(name, n, kNumberValue);
  if (st.failed()) return mark.Release(st);
  (void)mark.KeepNumber(scaled);
  return st;
}

Status AssignText(Slice name, Slice text) { return AssignVariable(name, text, kTextValue); }

// ---- Arrays ----------------------------------------------------------------------

Status DeclareArray(Slice name, int element_kind, int width, const int* bounds, int count) {
  if (!name.ok()) return name.status();
  if (count > kMaxArrayDimensions || count < 0) return Status::kDimStructError;
  size_t element_size = element_kind == kIntegerVariable  ? 2
                        : element_kind == kNumberVariable ? 8
                        : element_kind == kTextVariable   ? static_cast<size_t>(width < 0 ? 0 : width)
                                                          : 0;
  if (element_size == 0 || element_size > kMaxTextLength) return Status::kSyntaxError;
  ArrayDescriptor d{};
  d.element_kind = static_cast<uint8_t>(element_kind);
  d.element_size = static_cast<uint16_t>(element_size);
  d.dimensions = static_cast<uint8_t>(count);
  uint64_t elements = 1;
  for (int i = 0; i < count; ++i) {
    if (bounds[i] < 0) return Status::kDimStructError;
    d.sizes[i] = static_cast<uint32_t>(bounds[i]) + 1;
    elements *= d.sizes[i];
    if (elements * element_size > kMaxArrayBytes) return Status::kMemoryAllocError;
  }
  if (elements == 1) return Status::kSyntaxError;
  d.count = static_cast<uint32_t>(elements);
  Slice base = ArrayBaseName(name);
  int index = vars::LookupOrCreate(kArrayVariable, base);
  if (index < 0) return Status(static_cast<uint16_t>(-index));
  d.storage = BlockAllocate(ErrorArea::kVarStruct, elements * element_size, 0);
  if (d.storage == nullptr) return Status::kMemoryAllocError;
  ArrayDescriptor* old = Descriptor(index);
  if (old && old->storage) (void)BlockFree(ErrorArea::kVarStruct, old->storage);
  return rtarray::Store(rtarray::kArrayVariables, index, &d, sizeof d);
}

Slice ArrayElement(Slice name, const int* indexes, int count) {
  if (!name.ok()) return name;
  int array = vars::Lookup(kArrayVariable, ArrayBaseName(name));
  if (array < 0) return Slice::Error(Status::kDimStructError);
  int64_t wide[kMaxArrayDimensions + 1];
  if (count > kMaxArrayDimensions) return Slice::Error(Status::kDataOutBound);
  for (int i = 0; i < count; ++i) wide[i] = indexes[i];
  ArrayDescriptor* d = nullptr;
  Status status;
  unsigned char* p = ElementAt(array, wide, count, &d, &status);
  if (p == nullptr) return Slice::Error(status);
  return Slice(reinterpret_cast<const char*>(p), d->element_size);
}

Status ReadElement(Slice name, const int* indexes, int count) {
  if (!name.ok()) return name.status();
  int array = vars::Lookup(kArrayVariable, ArrayBaseName(name));
  if (array < 0) return Status::kDimStructError;
  if (count > kMaxArrayDimensions) return Status::kDataOutBound;
  int64_t wide[kMaxArrayDimensions];
  for (int i = 0; i < count; ++i) wide[i] = indexes[i];
  AreaMark mark;
  Value v;
  Status st = vars::ElementRead(array, wide, count, &v);
  if (st.failed()) return mark.Release(st);
  Slice kept = v.kind == kTextValue ? mark.Keep(v.slice()) : mark.KeepNumber(v.number);
  return kept.ok() ? Status(v.kind) : kept.status();
}

Status AssignElement(Slice name, const int* indexes, int count, Slice value, int value_kind) {
  if (!name.ok()) return vars::AssignFailure(name.status());
  if (!value.ok()) return vars::AssignFailure(value.status());
  int array = vars::Lookup(kArrayVariable, ArrayBaseName(name));
  if (array < 0) return vars::AssignFailure(Status::kDimStructError);
  if (count > kMaxArrayDimensions) return vars::AssignFailure(Status::kDataOutBound);
  int64_t wide[kMaxArrayDimensions];
  for (int i = 0; i < count; ++i) wide[i] = indexes[i];
  Status st = vars::ElementStore(array, wide, count, ValueOfSlice(value, value_kind));
  return st == Status::kOk ? st : vars::AssignFailure(st);
}

// ---- Screen-field variables and file variables ----------------------------------------

Status ReadPair(int n, char* letter, int* number) {
  char name[24];
  int len = std::snprintf(name, sizeof name, "_V%d$", n);
  int index = vars::Lookup(kTextVariable, Slice(name, static_cast<uint16_t>(len)));
  if (index < 0) return Status::kVariableScreenField;
  Slice text = strtab::Get(strtab::kTextVariables, index);
  *letter = text.empty() ? '\0' : static_cast<char>(text[0]);
  int value = 0;
  bool negative = false;
  uint16_t i = 1;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value < 100000000) value = value * 10 + (text[i] - '0');
  }
  *number = negative ? -value : value;
  return Status::kOk;
}

void SetFileVariablesHandler(FileVariablesHandler handler) { S().file_variables = handler; }

Status DefineFileVariables(int file_number, Slice name) {
  if (file_number < 1 || file_number > 29) return Status::kBadFileNumber;
  if (VariableKindOf(name) != kIntegerVariable) return vars::AssignFailure(Status::kVarNameError);
  AreaMark mark;
  Status st = AssignNumber(name, static_cast<int64_t>(file_number) * ScaleOne());
  if (st.failed()) return mark.Release(st);
  if (S().file_variables) st = S().file_variables(file_number, name);
  return mark.Release(st.failed() ? st : Status::kOk);
}

// ---- Life cycle -----------------------------------------------------------------------

void InitVariables() {
  if (!S().initialised) CreateSystemVariables();
}

void ReleaseVariables() {
  FreeArrays();
  S().lists[vars::ListSlot(kArrayVariable)] = NameList();
  (void)strtab::Set(strtab::kVariableNames, vars::ListSlot(kArrayVariable), Slice());
  ++vars::g_epoch;
  ++vars::g_creations;
}

VariableMark MarkVariables() {
  VariableMark mark;
  for (int slot = 0; slot < kListCount; ++slot) {
    mark.counts[slot] = static_cast<uint16_t>(S().lists[slot].names.size());
  }
  return mark;
}

void ReleaseVariablesSince(const VariableMark& mark) {
  Store& s = S();
  bool released = false;
  for (int slot = 0; slot < kListCount; ++slot) {
    NameList& list = s.lists[slot];
    size_t keep = mark.counts[slot];
    if (list.names.size() <= keep) continue;
    released = true;
    // Storage first, newest first, so that no element moves down.
    for (size_t i = list.names.size(); i-- > keep;) {
      int index = static_cast<int>(i);
      if (slot == vars::ListSlot(kIntegerVariable) || slot == vars::ListSlot(kNumberVariable)) {
        int array = slot == vars::ListSlot(kIntegerVariable) ? rtarray::kIntegerVariables
                                                               : rtarray::kNumberVariables;
        if (index < rtarray::Count(array)) (void)rtarray::Delete(array, index);
      } else if (slot == vars::ListSlot(kTextVariable)) {
        if (index < strtab::Count(strtab::kTextVariables)) {
          (void)strtab::Delete(strtab::kTextVariables, index);
        }
      } else if (index < rtarray::Count(rtarray::kArrayVariables)) {
        ArrayDescriptor* d = Descriptor(index);
        if (d && d->storage) (void)BlockFree(ErrorArea::kVarStruct, d->storage);
        (void)rtarray::Delete(rtarray::kArrayVariables, index);
      }
      list.index.erase(list.names[i]);
    }
    list.names.resize(keep);
    list.joined.clear();
    for (const std::string& name : list.names) {
      if (!list.joined.empty()) list.joined += ',';
      list.joined += name;
    }
    (void)strtab::Set(strtab::kVariableNames, slot, Slice::Of(list.joined));
  }
  if (released) {
    ++vars::g_epoch;
    ++vars::g_creations;
  }
}

void ResetVariables() {
  Store& s = S();
  FreeArrays();
  for (NameList& list : s.lists) list = NameList();
  strtab::Clear(strtab::kVariableNames);
  strtab::Clear(strtab::kTextVariables);
  rtarray::Free(rtarray::kIntegerVariables);
  rtarray::Free(rtarray::kNumberVariables);
  ++vars::g_epoch;
  ++vars::g_creations;
  s.initialised = false;
  CreateSystemVariables();
}

}  // namespace tessaly
