#include "data/structures.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/flags.h"
#include "core/number.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "data/masks.h"

namespace tessaly {
namespace {

// `_AUXSTAT` bit 8: file names keep their letter case.
constexpr uint16_t kAuxStatKeepCase = 8;
// `_COMPAT` bit 4: six-digit `F` fields hold YYMMDD with the century coded.
constexpr uint16_t kCompatSixDigitDates = 4;
constexpr int kEnvironmentFolders = 5;
constexpr uint16_t kMaxRecordLength = 65535;

struct FieldRec {
  std::string name;
  uint16_t offset;
  uint16_t width;
  char type;
};

struct KeyRec {
  int count;
  KeySegment segments[kMaxKeySegments];
  uint32_t sequence;  // definition order over all files, for marks
};

struct FileRec {
  int attribute = 0;
  std::string name;
  std::string folder;
  std::string relations;
  std::vector<FieldRec> fields;
  std::vector<KeyRec> keys;
  uint16_t record_length = 0;
  // Buffer 1 then buffer 2, record_length bytes each.
  std::string buffers;
};

using Mark = StructSavePoint;

struct Structures {
  // Room for every file from the start: defining a file never moves another
  // file's names or record buffers.
  Structures() { files.reserve(kMaxFiles); }
  std::vector<FileRec> files;
  std::vector<Mark> marks;
  int last_keyed = 0;
  uint32_t key_sequence = 0;
  StructureEventFn handler = nullptr;
};

Structures& S() {
  static Structures s;
  return s;
}

Slice SliceOf(const std::string& s) {
  return Slice(s.data(), static_cast<uint16_t>(std::min<size_t>(s.size(), kMaxTextLength)));
}

bool Defined(int file) { return file >= 1 && file <= static_cast<int>(S().files.size()); }
FileRec& File(int file) { return S().files[file - 1]; }

void Notify(int file, StructureEvent event) {
  if (S().handler) S().handler(file, event);
}

std::string LowerAscii(std::string_view v) {
  std::string s(v);
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string_view TrimView(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  return v;
}

// Digits only, at most 9 of them; -1 otherwise.
int DigitsValue(std::string_view v) {
  if (v.empty() || v.size() > 9) return -1;
  int n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

Status Fail(Status code, const std::string& detail) {
  (void)SetDetail(code, Slice::Of(detail));
  return RecordError(1, ErrorArea::kStructFuncs, code);
}

std::string FieldDetail(int file, int field) {
  char text[48];
  std::snprintf(text, sizeof text, "(File:%d, Field:%d)", file, field);
  return text;
}

// Sets both buffers of a file to the record length, blanks in new bytes.
void ResizeBuffers(FileRec& f, uint16_t old_length) {
  std::string current = f.buffers.substr(0, old_length);
  std::string saved = f.buffers.substr(std::min<size_t>(old_length, f.buffers.size()));
  current.resize(f.record_length, ' ');
  saved.resize(f.record_length, ' ');
  f.buffers = current + saved;
}

// The default key of a file: offset 0 up to the end of N_LINE, else of
// field 1. A file without fields gets none.
void GiveDefaultKey(int file) {
  FileRec& f = File(file);
  if (f.fields.empty() || !f.keys.empty()) return;
  const FieldRec* end = &f.fields.front();
  for (const FieldRec& field : f.fields) {
    if (field.name == "N_LINE") {
      end = &field;
      break;
    }
  }
  KeyRec key{};
  key.count = 1;
  key.segments[0] = {0, static_cast<uint16_t>(end->offset + end->width)};
  key.sequence = S().key_sequence++;
  f.keys.push_back(key);
}

void RemoveLastFile() {
  Structures& s = S();
  int file = static_cast<int>(s.files.size());
  Notify(file, StructureEvent::kFileRemoving);
  s.files.pop_back();
}

// Removes what was defined after the counts of `m`, newest first.
void TruncateTo(const Mark& m) {
  Structures& s = S();
  while (static_cast<int>(s.files.size()) > m.files) RemoveLastFile();
  // Fields are only ever added to the last file, so the surplus ones are the
  // last fields of the last files.
  int total = 0;
  for (const FileRec& f : s.files) total += static_cast<int>(f.fields.size());
  for (int i = static_cast<int>(s.files.size()); i >= 1 && total > m.fields; --i) {
    FileRec& f = File(i);
    uint16_t old_length = f.record_length;
    while (!f.fields.empty() && total > m.fields) {
      f.record_length = static_cast<uint16_t>(f.record_length - f.fields.back().width);
      f.fields.pop_back();
      --total;
    }
    if (f.record_length != old_length) ResizeBuffers(f, old_length);
  }
  for (FileRec& f : s.files) {
    std::erase_if(f.keys, [&](const KeyRec& k) { return k.sequence >= m.key_sequence; });
  }
  s.key_sequence = m.key_sequence;
  s.last_keyed = std::min(m.last_keyed, static_cast<int>(s.files.size()));
  int current = m.current <= static_cast<int>(s.files.size()) ? m.current : 0;
  SetWord(kCurFil, static_cast<uint16_t>(current));
}

Mark CurrentCounts() {
  Structures& s = S();
  int fields = 0;
  for (const FileRec& f : s.files) fields += static_cast<int>(f.fields.size());
  return Mark{static_cast<int>(s.files.size()), fields, s.key_sequence, SignedWord(kCurFil),
              s.last_keyed};
}

int FieldDecimals(char type) { return TypeDecimals(type); }

constexpr char kBase36[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// The neutral decimal text of a value scaled by 10^decimals.
std::string DecimalText(int64_t value, int decimals) {
  bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  if (decimals > 0) {
    if (static_cast<int>(digits.size()) <= decimals) {
      digits.insert(0, static_cast<size_t>(decimals + 1) - digits.size(), '0');
    }
    digits.insert(digits.size() - static_cast<size_t>(decimals), 1, '.');
  }
  return negative ? "-" + digits : digits;
}

// Six-digit compatibility date as stored: the century coded into the first
// digit (20xx raised by 17 to a letter), '0' in the month's and day's first
// position blanked. `stored` is YYMMDD; `century` 19 or 20.
void EncodeSixDigitDate(std::string& stored, int century) {
  if (stored.size() != 6 || stored[0] < '0' || stored[0] > '9') return;
  if (century == 20) stored[0] = static_cast<char>(stored[0] + 17);
  if (stored[2] == '0') stored[2] = ' ';
  if (stored[4] == '0') stored[4] = ' ';
}

std::string DecodeSixDigitDate(std::string_view v) {
  if (v.empty() || static_cast<unsigned char>(v[0]) <= ' ') return "  " + std::string(v);
  std::string out;
  if (v[0] >= '0' && v[0] <= '9') {
    out = "19" + std::string(v);
  } else if (v[0] >= 'A' && v[0] <= 'J') {
    out = "20" + std::string(v);
    out[2] = static_cast<char>(out[2] - 17);
  } else {
    return std::string(v);
  }
  std::replace(out.begin(), out.end(), ' ', '0');
  return out;
}

// The century of a value meant for a six-digit date field: that of an
// eight-digit date, else that of its two-digit year through the year window.
int CenturyOf(std::string_view value) {
  value = TrimView(value);
  if (value.size() == 8 && DigitsValue(value) >= 0) return DigitsValue(value.substr(0, 2));
  int yy = value.size() == 6 ? DigitsValue(value.substr(0, 2)) : -1;
  // Before the system variables exist both words read 0: use their defaults.
  int base = Word(kBYear) != 0 ? Word(kBYear) : 2000;
  int window = Word(kBYear) != 0 ? Word(kBkYear) : 80;
  if (yy < 0) return base / 100;
  return (yy < window ? base + yy : base + yy - 100) / 100;
}

}  // namespace

bool IsFieldType(char type) {
  return type == 'P' || (type != '\0' && std::strchr(kFieldTypes, type) != nullptr);
}

// ---- Defining -------------------------------------------------------------------

Status StructDefineFile(int attribute, Slice name, Slice folder) {
  Structures& s = S();
  if (!name.ok()) return name.status();
  if (!folder.ok()) return folder.status();
  if (static_cast<int>(s.files.size()) >= kMaxFiles) {
    return Fail(Status::kFileOutBound, "File:" + name.str());
  }
  std::string_view n = TrimView(name.view());
  if (n.empty()) return Fail(Status::kBadInputData, "File:");
  FileRec f;
  f.attribute = attribute;
  f.name = TestBits(kAuxStat, kAuxStatKeepCase) ? std::string(n) : LowerAscii(n);
  f.folder = std::string(TrimView(folder.view()));
  s.files.push_back(std::move(f));
  Notify(static_cast<int>(s.files.size()), StructureEvent::kFileDefined);
  return Status::kOk;
}

Status StructDefineField(Slice name, int width, char type) {
  Structures& s = S();
  if (!name.ok()) return name.status();
  if (s.files.empty()) return Fail(Status::kFileOutBound, "Field:" + name.str());
  std::string_view n = TrimView(name.view());
  if (n.empty() || width <= 0 || !IsFieldType(type)) {
    return Fail(Status::kBadInputData, "Field:" + std::string(n));
  }
  FileRec& f = s.files.back();
  if (static_cast<long>(f.record_length) + width > kMaxRecordLength) {
    return Fail(Status::kDataOutBound, "Field:" + std::string(n));
  }
  uint16_t old_length = f.record_length;
  f.fields.push_back(FieldRec{std::string(n), f.record_length, static_cast<uint16_t>(width), type});
  f.record_length = static_cast<uint16_t>(f.record_length + width);
  ResizeBuffers(f, old_length);
  return Status::kOk;
}

int ParseKeySegments(Slice segment_text, KeySegment* segments) {
  if (!segment_text.ok()) return -1;
  std::string_view v = segment_text.view();
  size_t open = v.find('<');
  if (open == std::string_view::npos || v.size() < open + 2) return -1;
  // The last character closes the list, whatever it is.
  std::string_view groups = v.substr(open + 1, v.size() - open - 2);
  if (groups.empty() || groups.size() % 7 != 0 || groups.size() / 7 > kMaxKeySegments) return -1;
  int count = static_cast<int>(groups.size() / 7);
  for (int i = 0; i < count; ++i) {
    int offset = DigitsValue(groups.substr(i * 7, 4));
    int length = DigitsValue(groups.substr(i * 7 + 4, 3));
    if (offset < 1 || length < 1) return -1;
    segments[i] = {static_cast<uint16_t>(offset - 1), static_cast<uint16_t>(length)};
  }
  return count;
}

void StructDefaultKeys(int last_file) {
  Structures& s = S();
  last_file = std::min(last_file, static_cast<int>(s.files.size()));
  for (int f = s.last_keyed + 1; f <= last_file; ++f) GiveDefaultKey(f);
}

Status StructDefineKeySegments(int file, const KeySegment* segments, int count) {
  Structures& s = S();
  if (!Defined(file)) {
    char text[32];
    std::snprintf(text, sizeof text, "(File:%d)", file);
    return Fail(Status::kBadFileNumber, text);
  }
  if (count < 1 || count > kMaxKeySegments) return Fail(Status::kBadInputData, "Key");
  StructDefaultKeys(file - 1);
  KeyRec key{};
  key.count = count;
  std::copy(segments, segments + count, key.segments);
  key.sequence = s.key_sequence++;
  File(file).keys.push_back(key);
  s.last_keyed = file;
  return Status::kOk;
}

Status StructDefineKey(int file, Slice segment_text) {
  if (!segment_text.ok()) return segment_text.status();
  KeySegment segments[kMaxKeySegments];
  int count = ParseKeySegments(segment_text, segments);
  if (count < 0) return Fail(Status::kBadInputData, "Key:" + segment_text.str());
  return StructDefineKeySegments(file, segments, count);
}

Status StructAddRelation(int file, Slice relation) {
  if (!relation.ok()) return relation.status();
  if (!Defined(file)) {
    char text[32];
    std::snprintf(text, sizeof text, "(File:%d)", file);
    return Fail(Status::kBadFileNumber, text);
  }
  std::string& list = File(file).relations;
  if (list.size() + 1 + relation.size() > kMaxTextLength) {
    return Fail(Status::kStringTooLong, "Relation:" + relation.str());
  }
  list += ':';
  list.append(relation.data(), relation.size());
  return Status::kOk;
}

Status StructPushMark() {
  Structures& s = S();
  if (static_cast<int>(s.marks.size()) >= kMaxStructureMarks) {
    return RecordError(1, ErrorArea::kStructFuncs, Status::kDataOutBound);
  }
  s.marks.push_back(CurrentCounts());
  return Status::kOk;
}

Status StructPopMark() {
  Structures& s = S();
  if (s.marks.empty()) return Status::kStrOutBound;
  s.marks.pop_back();
  return Status::kOk;
}

int StructMarkCount() { return static_cast<int>(S().marks.size()); }

void StructRestore() {
  Structures& s = S();
  Mark m{0, 0, 0, 0, 0};
  if (!s.marks.empty()) {
    m = s.marks.back();
    s.marks.pop_back();
  }
  TruncateTo(m);
}

StructSavePoint StructSave() { return CurrentCounts(); }

void StructRollback(const StructSavePoint& point) { TruncateTo(point); }

void StructClearAll() {
  Structures& s = S();
  s.marks.clear();
  TruncateTo(Mark{0, 0, 0, 0, 0});
}

// ---- Run-time structures -----------------------------------------------------------

Status FileStructDefine(Slice name, Slice fields, Slice keys) {
  if (!name.ok()) return name.status();
  if (!fields.ok()) return fields.status();
  if (!keys.ok()) return keys.status();
  AreaMark area;
  Status st = StructPushMark();
  if (!st.ok()) return st;
  Mark before = S().marks.back();
  auto undo = [&](Status failure) {
    S().marks.pop_back();
    TruncateTo(before);
    return failure;
  };

  // A name with a drive or a rooted path says where it lives by itself.
  std::string_view n = TrimView(name.view());
  Slice folder = Item(strtab::Get(strtab::kEnvironment, kEnvironmentFolders), ',', 1);
  if (n.find(':') != std::string_view::npos || (!n.empty() && (n[0] == '\\' || n[0] == '/'))) {
    folder = Slice();
  }
  st = StructDefineFile(0, Slice::Of(n), Trim(folder));
  if (!st.ok()) return undo(st);
  int file = FileCount();

  for (Slice item : Split(fields, ',')) {
    std::string_view field_name = TrimView(Item(item, ';', 1).view());
    int width = DigitsValue(TrimView(Item(item, ';', 2).view()));
    std::string_view type = TrimView(Item(item, ';', 3).view());
    if (field_name.empty() && width < 0 && type.empty()) continue;  // an empty item
    if (width < 1 || type.empty()) {
      return undo(Fail(Status::kBadInputData, "Field:" + item.str()));
    }
    st = StructDefineField(Slice::Of(field_name), width, type[0]);
    if (!st.ok()) return undo(st);
  }
  if (FieldCount(file) == 0) return undo(Fail(Status::kBadInputData, "File:" + std::string(n)));

  for (Slice item : Split(keys, ',')) {
    Slice text = Trim(item);
    if (text.empty()) continue;
    st = StructDefineKey(file, text);
    if (!st.ok()) return undo(st);
    KeyLayout layout;
    st = KeySegments(file, KeyCount(file), &layout);
    if (!st.ok()) return undo(st);
  }
  GiveDefaultKey(file);
  SetWord(kCurFil, static_cast<uint16_t>(file));
  return Status::kOk;
}

void FileStructRestore() { StructRestore(); }

// ---- Queries ------------------------------------------------------------------

int FileCount() { return static_cast<int>(S().files.size()); }

Status ResolveFile(int file, int* resolved) {
  if (file == 0) file = SignedWord(kCurFil);
  if (!Defined(file)) return Status::kDataOutBound;
  *resolved = file;
  return Status::kOk;
}

int FileAttribute(int file) { return Defined(file) ? File(file).attribute : 0; }
Slice FileName(int file) { return Defined(file) ? SliceOf(File(file).name) : Slice(); }
Slice FileFolder(int file) { return Defined(file) ? SliceOf(File(file).folder) : Slice(); }
Slice FileRelations(int file) { return Defined(file) ? SliceOf(File(file).relations) : Slice(); }
uint16_t RecordLength(int file) { return Defined(file) ? File(file).record_length : 0; }
int FieldCount(int file) { return Defined(file) ? static_cast<int>(File(file).fields.size()) : 0; }
int KeyCount(int file) { return Defined(file) ? static_cast<int>(File(file).keys.size()) : 0; }

int FileByName(Slice name) {
  if (!name.ok()) return 0;
  std::string wanted = TestBits(kAuxStat, kAuxStatKeepCase) ? name.str() : LowerAscii(name.view());
  const auto& files = S().files;
  for (size_t i = 0; i < files.size(); ++i) {
    if (files[i].name == wanted) return static_cast<int>(i) + 1;
  }
  return 0;
}

bool FileHasLineNumber(int file) { return FieldByName(file, "N_LINE") > 0; }

Status FieldInfo(int file, int field, FieldDesc* out) {
  int f = 0;
  if (!ResolveFile(file, &f).ok() || field < 1 || field > FieldCount(f)) {
    return Fail(Status::kDataOutBound, FieldDetail(file, field));
  }
  const FieldRec& rec = File(f).fields[field - 1];
  int global = field;
  for (int i = 1; i < f; ++i) global += FieldCount(i);
  *out = FieldDesc{f, field, global, rec.offset, rec.width, rec.type, SliceOf(rec.name)};
  return Status::kOk;
}

int FieldByName(int file, Slice name) {
  int f = 0;
  if (!name.ok() || !ResolveFile(file, &f).ok()) return -1;
  const auto& fields = File(f).fields;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name == name.view()) return static_cast<int>(i) + 1;
  }
  return -1;
}

namespace {

// Reads NAME{F}; a failure gives its status and, unless quiet, sets the
// detail and records the error.
Status ParseReference(Slice reference, FieldDesc* out, bool quiet) {
  if (!reference.ok()) return reference.status();
  std::string_view ref = TrimView(reference.view());
  auto bad = [&](Status code) { return quiet ? code : Fail(code, "Field:" + std::string(ref)); };
  size_t open = ref.find('{');
  if (open == std::string_view::npos || ref.back() != '}' || ref.size() < open + 2) {
    return bad(Status::kBadInputData);
  }
  std::string_view name = TrimView(ref.substr(0, open));
  std::string_view file_part = TrimView(ref.substr(open + 1, ref.size() - open - 2));
  if (name.empty() || file_part.find_first_of("{}") != std::string_view::npos) {
    return bad(Status::kBadInputData);
  }

  int file = 0;
  if (file_part.empty()) {
    file = SignedWord(kCurFil);
    if (!Defined(file)) return bad(Status::kFileOutBound);
  } else if (static_cast<unsigned char>(file_part[0]) > '@') {
    file = FileByName(Slice(file_part.data(), static_cast<uint16_t>(file_part.size())));
    if (file == 0) return bad(Status::kBadInputData);
  } else {
    file = DigitsValue(file_part);
    if (file < 0) return bad(Status::kBadInputData);
    if (!Defined(file)) return bad(Status::kFileOutBound);
  }

  int field = DigitsValue(name);
  if (field < 0) {
    field = FieldByName(file, Slice(name.data(), static_cast<uint16_t>(name.size())));
    if (field < 0) return bad(Status::kBadInputData);
  }
  if (quiet && (field < 1 || field > FieldCount(file))) return Status::kDataOutBound;
  return FieldInfo(file, field, out);
}

}  // namespace

Status FieldReference(Slice reference, FieldDesc* out) {
  return ParseReference(reference, out, false);
}

Status FieldReferenceQuiet(Slice reference, FieldDesc* out) {
  return ParseReference(reference, out, true);
}

Status KeySegments(int file, int key, KeyLayout* out) {
  int f = 0;
  if (!ResolveFile(file, &f).ok() || key < 1 || key > KeyCount(f)) {
    char text[40];
    std::snprintf(text, sizeof text, "(File:%d, Key:%d)", file, key);
    return Fail(Status::kDataOutBound, text);
  }
  const FileRec& rec = File(f);
  const KeyRec& k = rec.keys[key - 1];
  KeyLayout layout;
  layout.count = k.count;
  for (int i = 0; i < k.count; ++i) {
    const KeySegment& seg = k.segments[i];
    uint32_t last = static_cast<uint32_t>(seg.offset) + seg.length - 1;
    auto it = std::find_if(rec.fields.begin(), rec.fields.end(), [&](const FieldRec& fr) {
      return last >= fr.offset && last < static_cast<uint32_t>(fr.offset) + fr.width;
    });
    if (seg.length == 0 || it == rec.fields.end()) {
      char text[64];
      std::snprintf(text, sizeof text, "(File:%d, Key:%d, Segment:%d)", f, key, i + 1);
      return Fail(Status::kInternalError, text);
    }
    layout.segments[i] = seg;
    layout.fields[i] = static_cast<uint16_t>(it - rec.fields.begin() + 1);
    layout.length = static_cast<uint16_t>(layout.length + seg.length);
  }
  *out = layout;
  return Status::kOk;
}

Status RelationKey(int file_a, int file_b, int ordinal, int* key, Slice* expression) {
  int a = 0;
  if (!ResolveFile(file_a, &a).ok()) {
    char text[32];
    std::snprintf(text, sizeof text, "(File:%d)", file_a);
    return Fail(Status::kBadFileNumber, text);
  }
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "%dR%dK", file_b, ordinal);
  std::string_view p(prefix);
  // Items are matched from their start, so that file 12's relations never
  // answer for file 2.
  for (Slice item : Split(SliceOf(File(a).relations), ':')) {
    std::string_view v = TrimView(item.view());
    if (v.substr(0, p.size()) != p) continue;
    size_t eq = v.find('=', p.size());
    if (eq == std::string_view::npos) continue;
    int k = DigitsValue(v.substr(p.size(), eq - p.size()));
    if (k < 0) continue;
    std::string_view expr = TrimView(v.substr(eq + 1));
    if (expr.empty()) break;
    *key = k;
    *expression = Slice(expr.data(), static_cast<uint16_t>(expr.size()));
    return Status::kOk;
  }
  char text[96];
  std::snprintf(text, sizeof text, "(File:%d, Relation:%s)", a, prefix);
  return Fail(Status::kBadInputData, text);
}

// ---- Record buffers -------------------------------------------------------------

RecordBuffers FileRecordBuffers(int file) {
  if (!Defined(file)) return {};
  FileRec& f = File(file);
  return {f.buffers.data(), f.buffers.data() + f.record_length, f.record_length};
}

void ClearRecordBuffers(int file) {
  if (!Defined(file)) return;
  FileRec& f = File(file);
  std::fill(f.buffers.begin(), f.buffers.end(), ' ');
}

Status FieldStore(int file, int field, Slice value) {
  if (!value.ok()) return value.status();
  int f = 0;
  if (!ResolveFile(file, &f).ok() || field < 1 || field > FieldCount(f)) {
    return Fail(Status::kBadFileNumber, FieldDetail(file, field));
  }
  AreaMark area;
  FileRec& rec = File(f);
  const FieldRec& fr = rec.fields[field - 1];
  Slice stored = StoreValue(fr.type, value, fr.width);
  if (!stored.ok()) return Fail(stored.status(), FieldDetail(f, field));
  std::string bytes = stored.str();
  if (fr.type == 'F' && fr.width == 6 && TestBits(kCompat, kCompatSixDigitDates)) {
    int century = CenturyOf(value.view());
    if (century != 19 && century != 20 && !TrimView(bytes).empty()) {
      return Fail(Status::kDataOutBound, FieldDetail(f, field));
    }
    EncodeSixDigitDate(bytes, century);
  }
  bytes.resize(fr.width, ' ');
  std::memcpy(rec.buffers.data() + fr.offset, bytes.data(), fr.width);
  return Status::kOk;
}

Slice FieldFetch(int file, int field) {
  int f = 0;
  if (!ResolveFile(file, &f).ok() || field < 1 || field > FieldCount(f)) {
    return Slice::Error(Fail(Status::kDataOutBound, FieldDetail(file, field)));
  }
  const FileRec& rec = File(f);
  const FieldRec& fr = rec.fields[field - 1];
  Slice bytes(rec.buffers.data() + fr.offset, fr.width);
  if (IsNumericType(fr.type) && fr.width > 0 && bytes[0] == 'D') {
    return DecodeNumberField(fr.type, bytes, fr.width);
  }
  if (fr.type == 'F' && fr.width == 6 && TestBits(kCompat, kCompatSixDigitDates)) {
    return Area().Push(Slice::Of(DecodeSixDigitDate(bytes.view())));
  }
  return Area().Push(bytes);
}

Slice EncodeNumberField(char type, Slice number, uint16_t width) {
  if (!number.ok()) return number;
  int64_t value = ParseNumber(number, FieldDecimals(type));
  bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits;
  do {
    digits.insert(digits.begin(), kBase36[magnitude % 36]);
    magnitude /= 36;
  } while (magnitude != 0);
  size_t room = width > (negative ? 2 : 1) ? width - (negative ? 2 : 1) : 0;
  if (digits.size() > room) {
    return Slice::Error(RecordError(1, ErrorArea::kStructFuncs, Status::kDataOutBound));
  }
  digits.insert(0, room - digits.size(), '0');
  return Area().Push(Slice::Of((negative ? "D-" : "D") + digits));
}

Slice DecodeNumberField(char type, Slice stored, uint16_t width) {
  if (!stored.ok()) return stored;
  std::string_view v = stored.view();
  if (v.empty() || v[0] != 'D') return Area().Push(stored);
  std::string_view digits = v.substr(1);
  bool negative = !digits.empty() && digits[0] == '-';
  if (negative) digits.remove_prefix(1);
  if (digits.empty()) return Area().Push(stored);
  uint64_t magnitude = 0;
  for (char c : digits) {
    const char* p = c != '\0' ? std::strchr(kBase36, c) : nullptr;
    if (p == nullptr) return Area().Push(stored);
    uint64_t digit = static_cast<uint64_t>(p - kBase36);
    if (magnitude > (static_cast<uint64_t>(INT64_MAX) - digit) / 36) return Area().Push(stored);
    magnitude = magnitude * 36 + digit;
  }
  int64_t value = static_cast<int64_t>(magnitude);
  std::string text = DecimalText(negative ? -value : value, FieldDecimals(type));
  if (text.size() < width) text.insert(0, width - text.size(), ' ');
  return Area().Push(Slice::Of(text));
}

StructureEventFn SetStructureEventHandler(StructureEventFn fn) {
  StructureEventFn previous = S().handler;
  S().handler = fn;
  return previous;
}

}  // namespace tessaly
