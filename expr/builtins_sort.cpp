// SORT$: sort lists, fixed-length entries kept in key order and walked with
// the record operation codes, named by a 24-byte handle.
//
// The handle is printable text, so that it can travel through variables,
// files and messages unchanged:
//
//   offset  size  content
//   0       2     "SL"
//   2       2     slot number, two decimal digits (00-31)
//   4       8     generation of the slot, 8 hex digits: a killed list's
//                 handle never names the list made in its slot later
//   12      4     check value, 4 hex digits, over marker, slot and
//                 generation with a key chosen at start: a handle made up
//                 by hand is refused
//   16      4     entry count when the handle was returned, 4 hex digits
//   20      4     current position when the handle was returned, 4 hex digits
//
// Only the first 16 bytes name the list; the last 8 are what the handle
// reported when it was given out (ADD and MOVE return it updated). The
// list itself keeps the entries and the position. A handle of another
// length is 147; one that names no live list is 163.
//
// Options (argument 4 of NEW): bit 1 refuses an entry whose key equals one
// already listed (status 5 in `_IER`), bit 2 keeps the entries descending.
//
// Any other first argument is a text to sort at once: the items of a comma
// list, or of a list with the one-character separator of argument 2, or,
// when argument 2 is a number n, records of n bytes. The result is the
// sorted text (stable, ascending by unsigned bytes).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/flags.h"
#include "core/number.h"
#include "core/string_area.h"
#include "core/text.h"
#include "expr/builtins_internal.h"

namespace tessaly {
namespace {

#define RETURN_IF_FAILED(expr)         \
  do {                                 \
    Status status_ = (expr);           \
    if (!status_.ok()) return status_; \
  } while (0)

constexpr int kHandleLength = 24;
constexpr int kNameLength = 16;
constexpr int kSortListSlots = 32;
constexpr int kInitialEntries = 256;
constexpr uint32_t kMaxEntries = 0xFFFF;
constexpr size_t kMaxListBytes = size_t{16} << 20;

enum SortOptions : int { kUniqueKeys = 1, kDescending = 2 };
// The record layer's "key exists": an entry refused by kUniqueKeys.
constexpr uint16_t kKeyExists = 5;

struct SortList {
  bool live = false;
  uint32_t generation = 0;
  uint16_t entry_length = 0;
  uint16_t key_length = 0;
  int options = 0;
  uint32_t count = 0;
  uint32_t position = 0;
  std::vector<char> entries;  // count x entry_length bytes, in key order

  const char* Entry(uint32_t i) const { return entries.data() + size_t{i} * entry_length; }
};

struct SortLists {
  SortList slots[kSortListSlots];
  uint32_t key;
  SortLists() {
    // Any value that differs from run to run; it only makes forged handles
    // unlikely to pass, it guards no secret.
    uint64_t t = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    key = static_cast<uint32_t>(t ^ (t >> 32) ^ reinterpret_cast<uintptr_t>(this));
  }
};

SortLists& L() {
  static SortLists lists;
  return lists;
}

uint16_t CheckValue(int slot, uint32_t generation) {
  uint32_t h = L().key ^ 0x534C0000u ^ static_cast<uint32_t>(slot);
  h = (h ^ generation) * 0x9E3779B1u;
  h ^= h >> 15;
  h *= 0x85EBCA77u;
  h ^= h >> 13;
  return static_cast<uint16_t>(h ^ (h >> 16));
}

Slice MakeHandle(int slot) {
  const SortList& list = L().slots[slot];
  char text[kHandleLength + 1];
  std::snprintf(text, sizeof text, "SL%02d%08X%04X%04X%04X", slot, list.generation,
                CheckValue(slot, list.generation), list.count & 0xFFFF,
                std::min<uint32_t>(list.position, 0xFFFF));
  return Area().Push(Slice(text, kHandleLength));
}

int HexValue(Slice text, int from, int n, uint32_t* out) {
  uint32_t v = 0;
  for (int i = from; i < from + n; ++i) {
    unsigned char c = text[i];
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return -1;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  *out = v;
  return 0;
}

// The list a handle names: 147 for a text that is not 24 bytes, 163 for one
// that names no live list.
Status Resolve(Slice handle, SortList** out) {
  if (handle.size() != kHandleLength) return Status::kSyntaxError;
  if (handle[0] != 'S' || handle[1] != 'L') return Status::kBadInputData;
  if (handle[2] < '0' || handle[2] > '9' || handle[3] < '0' || handle[3] > '9') {
    return Status::kBadInputData;
  }
  int slot = (handle[2] - '0') * 10 + (handle[3] - '0');
  uint32_t generation = 0, check = 0;
  if (slot >= kSortListSlots || HexValue(handle, 4, 8, &generation) != 0 ||
      HexValue(handle, 12, 4, &check) != 0) {
    return Status::kBadInputData;
  }
  SortList& list = L().slots[slot];
  if (!list.live || list.generation != generation || CheckValue(slot, generation) != check) {
    return Status::kBadInputData;
  }
  *out = &list;
  return Status::kOk;
}

int CompareKeys(const SortList& list, const char* a, const char* b) {
  return std::memcmp(a, b, list.key_length);
}

// Where an entry with key `key` goes: after every entry that sorts before
// it or equal to it, so that equal keys keep the order they came in.
uint32_t InsertionPoint(const SortList& list, const char* key, bool* equal_found) {
  uint32_t lo = 0, hi = list.count;
  const bool descending = (list.options & kDescending) != 0;
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo) / 2;
    int c = CompareKeys(list, list.Entry(mid), key);
    bool before = descending ? c >= 0 : c <= 0;
    if (before) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  *equal_found = lo > 0 && CompareKeys(list, list.Entry(lo - 1), key) == 0;
  return lo;
}

Status New(const FunctionArguments& args, AreaMark& mark) {
  RETURN_IF_FAILED(args.CheckCount(2, 4));
  int64_t entry = 0, key = 0, options = 0;
  RETURN_IF_FAILED(args.Integer(2, 0, &entry));
  RETURN_IF_FAILED(args.Integer(3, entry, &key));
  RETURN_IF_FAILED(args.Integer(4, 0, &options));
  if (entry < 1 || entry > kMaxTextLength || key < 1 || key > entry) return Status::kSyntaxError;
  SortLists& lists = L();
  int slot = 0;
  while (slot < kSortListSlots && lists.slots[slot].live) ++slot;
  if (slot == kSortListSlots) return Status::kDataOutBound;
  SortList& list = lists.slots[slot];
  list.live = true;
  ++list.generation;
  list.entry_length = static_cast<uint16_t>(entry);
  list.key_length = static_cast<uint16_t>(key);
  list.options = static_cast<int>(options);
  list.count = 0;
  list.position = 0;
  list.entries.clear();
  list.entries.reserve(std::min(kMaxListBytes, size_t{kInitialEntries} * list.entry_length));
  return ReturnText(mark, MakeHandle(slot));
}

Status Add(SortList& list, int slot, Slice text, AreaMark& mark) {
  if (text.size() > list.entry_length) return Status::kBadInputData;
  if (list.count >= kMaxEntries || size_t{list.count + 1} * list.entry_length > kMaxListBytes) {
    return Status::kDataOutBound;
  }
  // The text fitted to the entry length, built where the entry will lie.
  Slice fitted = Area().Reserve(list.entry_length, ' ');
  if (!fitted.ok()) return fitted.status();
  std::memcpy(Area().MutableTop(), text.data(), text.size());
  bool equal = false;
  uint32_t at = InsertionPoint(list, fitted.data(), &equal);
  if (equal && (list.options & kUniqueKeys) != 0) {
    SetWord(kIer, kKeyExists);
    return ReturnText(mark, MakeHandle(slot));
  }
  list.entries.insert(list.entries.begin() + static_cast<ptrdiff_t>(size_t{at} * list.entry_length),
                      fitted.data(), fitted.data() + list.entry_length);
  ++list.count;
  if (at <= list.position && list.position < list.count - 1) ++list.position;
  SetWord(kIer, 0);
  return ReturnText(mark, MakeHandle(slot));
}

// The record operation codes that move in a list, as the record layer names
// them (with its synonyms).
int MoveCode(Slice operation) {
  AreaMark mark;
  Slice code = Upper(Trim(operation));
  if (code == Slice("NEXT")) code = "NXT";
  if (code == Slice("PREVIOUS")) code = "PRV";
  if (code == Slice("BOTTOM")) code = "BOT";
  return ItemPosition("TOP,PRV,RLD,NXT,BOT", code, ',');
}

Status Move(SortList& list, int slot, Slice operation, AreaMark& mark) {
  enum { kTop = 1, kPrevious, kReload, kNext, kBottom };
  int code = MoveCode(operation);
  if (code == 0) return SetDetail(Status::kSyntaxError, operation);
  uint16_t result = 0;
  const uint32_t n = list.count;
  switch (code) {
    case kTop:
      list.position = 0;
      result = n == 0 ? 2 : 0;
      break;
    case kBottom:
      list.position = n == 0 ? 0 : n - 1;
      result = n == 0 ? 2 : 0;
      break;
    case kNext:
      if (list.position + 1 < n) {
        ++list.position;
      } else {
        list.position = n;
        result = 2;
      }
      break;
    case kPrevious:
      if (n == 0) {
        list.position = 0;
        result = 2;
      } else if (list.position == 0) {
        result = 1;  // stays on the first entry
      } else {
        list.position = std::min(list.position, n) - 1;
      }
      break;
    case kReload:
      result = list.position < n ? 0 : 2;
      break;
  }
  SetWord(kIer, result);
  return ReturnText(mark, MakeHandle(slot));
}

// A text sorted at once: items of a list, or records of a fixed size.
Status SortText(const FunctionArguments& args, AreaMark& mark) {
  RETURN_IF_FAILED(args.CheckCount(1, 2));
  Slice text = args.text(1);
  if (args.is_number(2)) {
    int64_t size = IntegerOf(args.number(2));
    if (size < 1 || size > kMaxTextLength || text.size() % size != 0) return Status::kSyntaxError;
    return ReturnText(
        mark, SortRecords(text, static_cast<int>(size), static_cast<int>(text.size() / size)));
  }
  Slice separator;
  RETURN_IF_FAILED(args.Text(2, ",", &separator));
  if (separator.size() != 1) return Status::kSyntaxError;
  if (text.empty()) return ReturnText(mark, Slice());
  const char sep = static_cast<char>(separator[0]);
  std::vector<Slice> items = Split(text, sep);
  std::stable_sort(items.begin(), items.end(),
                   [](Slice a, Slice b) { return Compare(a, b) == kNotFound; });
  Slice out = Area().Reserve(text.size());
  if (!out.ok()) return out.status();
  char* w = Area().MutableTop();
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) *w++ = sep;
    if (!items[i].empty()) std::memcpy(w, items[i].data(), items[i].size());
    w += items[i].size();
  }
  return ReturnText(mark, Area().Top());
}

}  // namespace

namespace builtins {

// SORT$(operation; handle; ...).
Status Sort(FunctionCall& call) {
  FunctionArguments args(call);
  AreaMark mark;
  if (args.count() < 1) return Status::kSyntaxError;
  Slice operation;
  RETURN_IF_FAILED(args.Text(1, Slice(), &operation));
  enum { kNew = 1, kAdd, kMove, kGet, kKill };
  int op = ItemPosition("NEW,ADD,MOVE,GET,KILL", operation, ',');
  if (op == 0) return SortText(args, mark);
  if (op == kNew) return New(args, mark);
  RETURN_IF_FAILED(args.CheckCount(2, op == kAdd || op == kMove ? 3 : 2));
  if (op != kGet && op != kKill && args.count() != 3) return Status::kSyntaxError;
  Slice handle;
  RETURN_IF_FAILED(args.Text(2, Slice(), &handle));
  SortList* list = nullptr;
  RETURN_IF_FAILED(Resolve(handle, &list));
  int slot = static_cast<int>(list - L().slots);
  switch (op) {
    case kAdd: {
      Slice text;
      RETURN_IF_FAILED(args.TextOrNumber(3, Slice(), &text));
      return Add(*list, slot, text, mark);
    }
    case kMove: {
      Slice code;
      RETURN_IF_FAILED(args.Text(3, Slice(), &code));
      return Move(*list, slot, code, mark);
    }
    case kGet:
      if (list->position >= list->count) return ReturnText(mark, Slice());
      return ReturnText(mark, Slice(list->Entry(list->position), list->entry_length));
    default:
      list->live = false;
      list->count = 0;
      list->position = 0;
      std::vector<char>().swap(list->entries);
      return ReturnText(mark, "0");
  }
}

}  // namespace builtins

int SortListsInUse() {
  int n = 0;
  for (const SortList& list : L().slots) n += list.live ? 1 : 0;
  return n;
}

void ClearSortLists() {
  for (SortList& list : L().slots) {
    list.live = false;
    list.count = 0;
    list.position = 0;
    std::vector<char>().swap(list.entries);
  }
}

}  // namespace tessaly
