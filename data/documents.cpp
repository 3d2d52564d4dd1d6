// Documents of header and lines in the data files (see data/documents.h).
#include "data/documents.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/number.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/datafile.h"
#include "data/masks.h"
#include "data/parameters.h"
#include "data/record_ops.h"
#include "data/record_ops_internal.h"
#include "data/structures.h"
#include "expr/evaluator.h"

namespace tessaly {
namespace {

constexpr char kLineNumberField[] = "N_LINE";
// More header records than this for one document is a definition that never
// stops (WRITECABS$ item 2 always true).
constexpr int kMaxHeaders = 9999;

bool Given(Slice text) { return text.ok() && !Trim(text).empty(); }

// Where the document key ends within key 1 of `file`: the key text's length
// before the N_LINE field, or the whole key when the key does not hold it.
Status DocumentKeyLength(int file, uint16_t* length, FieldDesc* line_field) {
  KeyLayout key;
  Status s = KeySegments(file, 1, &key);
  if (!s.ok()) return s;
  *length = key.length;
  int nline = FieldByName(file, kLineNumberField);
  if (nline < 1) return Status::kOk;
  s = FieldInfo(file, nline, line_field);
  if (!s.ok()) return s;
  uint16_t at = 0;
  for (int i = 0; i < key.count; ++i) {
    const KeySegment& seg = key.segments[i];
    if (line_field->offset >= seg.offset && line_field->offset < seg.offset + seg.length) {
      *length = static_cast<uint16_t>(at + (line_field->offset - seg.offset));
      break;
    }
    at = static_cast<uint16_t>(at + seg.length);
  }
  return Status::kOk;
}

// Copies the document key into buffer 1 of `file` along the segments of key
// 1, up to the key's length.
void PutDocumentKey(int file, std::string_view key) {
  KeyLayout layout;
  recops::Buffers b = recops::BuffersOf(file);
  if (!b.ok() || KeySegments(file, 1, &layout) != Status::kOk) return;
  size_t at = 0;
  for (int i = 0; i < layout.count && at < key.size(); ++i) {
    const KeySegment& seg = layout.segments[i];
    size_t n = std::min<size_t>(seg.length, key.size() - at);
    if (seg.offset + n <= b.length) std::memcpy(b.current + seg.offset, key.data() + at, n);
    at += seg.length;
  }
}

// The document key fitted to the width documents have in `line_file`:
// padded with blanks; 163 when it is empty, blank or too long (a shorter key
// would reach the lines of other documents).
Status FitDocumentKey(int line_file, Slice key, std::string* out) {
  if (!key.ok()) return key.status();
  if (recops::IsBlank(key.view())) return SetDetail(Status::kBadInputData, "document key");
  uint16_t length = 0;
  FieldDesc nline;
  Status s = DocumentKeyLength(line_file, &length, &nline);
  if (!s.ok()) return s;
  *out = key.str();
  if (out->size() > length) {
    if (!recops::IsBlank(std::string_view(*out).substr(length))) {
      return SetDetail(Status::kBadInputData, key);
    }
    out->resize(length);
  }
  out->resize(length, ' ');
  return Status::kOk;
}

// The record numbers of `file` whose key 1 begins with `key`.
Status MatchingRecords(int f, std::string_view key, std::vector<int64_t>* records) {
  records->clear();
  Slice prefix = Slice::Of(key);
  Status s = DataFileFind(f, 1, prefix, 0);
  while (s == kResultFound) {
    s = DataFileRangeEnd(f, prefix, false);
    if (s != Status::kOk) break;
    records->push_back(DataFileLoadedRecord(f));
    s = DataFileMove(f, kMoveNext);
  }
  return s.failed() ? s : Status(Status::kOk);
}

bool RecordExists(int f, std::string_view key) {
  std::vector<int64_t> records;
  if (!DataFileSaveState(f).ok()) return false;
  Status s = MatchingRecords(f, key, &records);
  (void)DataFileRestoreState(f);
  return s.ok() && !records.empty();
}

}  // namespace

Slice DocumentLineKeyOf(int file, int line) {
  int f = 0;
  Status s = ResolveFile(file, &f);
  if (!s.ok()) return Slice::Error(s);
  AreaMark mark;
  uint16_t length = 0;
  FieldDesc nline;
  s = DocumentKeyLength(f, &length, &nline);
  if (!s.ok()) return mark.Keep(Slice::Error(s));
  if (FieldByName(f, kLineNumberField) < 1) {
    return mark.Keep(Slice::Error(SetDetail(Status::kBadInputData, FileName(f))));
  }
  Slice key = DataFileKeyText(f, 1, 1);
  if (!key.ok()) return mark.Keep(key);
  Slice prefix(key.data(), std::min(length, key.size()));
  if (line == -1) return mark.Keep(prefix);
  Slice number = line == 0 ? Repeat(" ", nline.width)
                           : StoreValue('N', Slice::Of(std::to_string(line)), nline.width);
  return mark.Keep(Concat(prefix, number));
}

Slice DocumentLineKey(int line) { return DocumentLineKeyOf(0, line); }

Slice DocumentKey(int file) {
  int f = 0;
  Status s = ResolveFile(file, &f);
  if (!s.ok()) return Slice::Error(s);
  if (FieldByName(f, kLineNumberField) > 0) return DocumentLineKeyOf(f, -1);
  return DataFileKeyText(f, 1, 1);
}

// ---- Deleting ----------------------------------------------------------------------------

Status DocumentLinesDelete(int file, Slice key, Slice selection) {
  int f = 0;
  Status s = DataFileResolve(file, &f);
  if (!s.ok()) return s;
  if (!key.ok()) return key.status();
  if (key.empty()) return SetDetail(Status::kBadInputData, "document key");
  std::string prefix = key.str();
  std::vector<int64_t> records;
  Status result = Status::kOk;
  // A second search finds what the relational updates of the first pass
  // may have written under the same key.
  for (int pass = 0; pass < 2 && result.ok(); ++pass) {
    result = MatchingRecords(f, prefix, &records);
    if (!result.ok() || records.empty()) break;
    for (int64_t record : records) {
      result = DataFileReadRecord(f, record);
      if (result.failed()) break;
      recops::SetLastResult(f, kResultFound);
      result = recops::Save(kOpDeleteRecord, f, selection, Slice());
      if (result.failed()) break;
      result = Status::kOk;
    }
  }
  return RecordCommit(f, result);
}

Status DocumentDelete(const DocumentSpec& doc, Slice key) {
  int header = 0, lines = 0;
  Status s = DataFileResolve(doc.header_file, &header);
  if (s.ok()) s = DataFileResolve(doc.line_file, &lines);
  if (!s.ok()) return s;
  std::string fitted;
  s = FitDocumentKey(lines, key, &fitted);
  if (!s.ok()) return s;
  // The lines first: a document whose header is left can be deleted again.
  if (lines != header) {
    s = DocumentLinesDelete(lines, Slice::Of(fitted), doc.selection);
    if (s.failed()) return s;
  }
  return DocumentLinesDelete(header, Slice::Of(fitted), doc.selection);
}

// ---- Writing -----------------------------------------------------------------------------

Status DocumentHeadersWrite(const DocumentSpec& doc) {
  int f = 0;
  Status s = DataFileResolve(doc.header_file, &f);
  if (!s.ok()) return s;
  AreaMark mark;
  Slice cab0 = ParameterValue(kKwWriteCab0);
  Slice cabs = ParameterValue(kKwWriteCabs);
  Slice numcab = ParameterValue(kKwNumCab);
  for (Slice p : {cab0, cabs, numcab}) {
    if (!p.ok()) return p.status();
  }
  Slice first = Given(cab0) ? cab0 : Item(cabs, ',', 1);
  Slice more = Item(cabs, ',', 2);
  Slice after = Item(cabs, ',', 3);
  Slice condition = Item(cabs, ',', 4);
  s = EvaluateForErrors(first);
  if (!s.ok()) return s;
  int nline = FieldByName(f, kLineNumberField);
  if (nline > 0) {
    FieldDesc field;
    recops::Buffers b = recops::BuffersOf(f);
    if (FieldInfo(f, nline, &field) == Status::kOk && b.ok()) {
      std::memset(b.current + field.offset, ' ', field.width);
    }
  }
  int count = Integer(Trim(numcab));
  if (count <= 0) count = 1;
  bool written = false;
  Status result = Status::kOk;
  for (int k = 1;; ++k) {
    AreaMark step;
    if (k > count) {
      if (!Given(more)) break;
      s = Condition(more);
      if (s.failed()) return s;
      if (s != 1) break;
    }
    if (k > kMaxHeaders) return SetDetail(Status::kLoopFailure, "WRITECABS$");
    SetWord(kHNum, static_cast<uint16_t>(k));
    Slice write = condition;
    if (!Given(write)) {
      write = ParameterValueByName(Slice::Of("WRITECAB" + std::to_string(k) + "$"));
      if (!write.ok()) return write.status();
    }
    if (!Given(write)) write = first;
    s = Condition(write);
    if (s.failed()) return s;
    if (s == 1 || (k == count && !written)) {
      s = recops::Save(kOpInsertRecord, f, doc.selection, doc.emptiness);
      if (s.failed()) return s;
      if (result == Status::kOk) result = s;
      written = true;
      if (Given(after)) {
        s = EvaluateForErrors(after);
        if (!s.ok()) return s;
      }
    }
  }
  return result;
}

Status DocumentLinesWrite(const DocumentSpec& doc, Slice key, int first, int last) {
  int f = 0;
  Status s = DataFileResolve(doc.line_file, &f);
  if (!s.ok()) return s;
  if (doc.lines == nullptr) return SetDetail(Status::kBadInputData, "document lines");
  int nline = FieldByName(f, kLineNumberField);
  if (nline < 1) return SetDetail(Status::kBadInputData, FileName(f));
  if (!key.ok()) return key.status();
  if (!key.empty()) PutDocumentKey(f, key.view());
  AreaMark mark;
  Slice writelins = ParameterValue(kKwWriteLins);
  if (!writelins.ok()) return writelins.status();
  const LineTable& table = *doc.lines;
  first = std::max(first, 1);
  last = std::min(last, table.row_capacity());
  Status result = Status::kOk;
  for (int n = first; n <= last; ++n) {
    AreaMark step;
    SetWord(kLNum, static_cast<uint16_t>(n));
    s = FieldStore(f, nline, Slice::Of(std::to_string(n)));
    if (s.is_error()) return s;
    for (int c = 1; c <= table.columns(); ++c) {
      int field = static_cast<size_t>(c) < doc.column_fields.size() ? doc.column_fields[c] : 0;
      if (field <= 0) continue;
      Slice cell = table.Cell(n, c);
      s = doc.store_cell ? doc.store_cell(c, cell) : FieldStore(f, field, cell);
      if (s.is_error()) return s;
    }
    s = EvaluateForErrors(writelins);
    if (s.is_error()) return s;
    s = recops::Save(kOpInsertRecord, f, doc.selection, Slice());
    if (s.failed()) return s;
    if (result == Status::kOk) result = s;
  }
  return result;
}

// ---- Reading -----------------------------------------------------------------------------

Status DocumentLinesRead(const DocumentSpec& doc, Slice key, Slice start, Slice end) {
  int f = 0;
  Status s = DataFileResolve(doc.line_file, &f);
  if (!s.ok()) return s;
  if (doc.lines == nullptr) return SetDetail(Status::kBadInputData, "document lines");
  for (Slice p : {key, start, end}) {
    if (!p.ok()) return p.status();
  }
  LineTable& table = *doc.lines;
  int room = table.row_capacity() - table.used_rows();
  if (room <= 0 || !table.has_data()) return Status::kOk;
  AreaMark mark;
  uint16_t length = 0;
  FieldDesc nline;
  s = DocumentKeyLength(f, &length, &nline);
  if (!s.ok()) return s;
  if (FieldByName(f, kLineNumberField) < 1) return SetDetail(Status::kBadInputData, FileName(f));
  std::string fitted;
  if (!key.empty()) {
    s = FitDocumentKey(f, key, &fitted);
    if (!s.ok()) return s;
  }
  Slice document = key.empty() ? DocumentLineKeyOf(f, -1) : Slice::Of(fitted);
  if (!document.ok()) return document.status();
  if (start.empty()) {
    start = Concat(document, StoreValue('N', "1", nline.width));
    if (!start.ok()) return start.status();
  }
  if (end.empty()) end = document;
  s = RecordListBuildRange(f, 1, start, end, room, Slice());
  if (s == kResultEnd) return Status::kOk;
  if (s.failed()) return s;
  Slice before = ParameterValue(kKwReadLins, 1);
  Slice after = ParameterValue(kKwReadLins, 2);
  Slice assign = ParameterValue(kKwLnAssign);
  Status result = Status::kOk;
  for (Slice p : {before, after, assign}) {
    if (!p.ok()) result = p.status();
  }
  int n = RecordListCount(f);
  for (int i = 0; i < n && result.ok(); ++i) {
    AreaMark step;
    result = RecordListGet(f, kListLoadBuffers, i);
    if (result.failed()) break;
    int row = table.AppendRow();
    if (row == 0) break;
    result = EvaluateForErrors(before);
    if (result.is_error()) break;
    for (int c = 1; c <= table.columns() && result.ok(); ++c) {
      AreaMark cell;
      int field = static_cast<size_t>(c) < doc.column_fields.size() ? doc.column_fields[c] : 0;
      Slice value;
      if (field > 0) {
        value = doc.fetch_cell ? doc.fetch_cell(c) : FieldFetch(f, field);
      } else {
        Slice expression = Item(assign, ',', c);
        value = Given(expression) ? EvaluateToText(expression) : Slice();
      }
      if (!value.ok()) {
        result = value.status();
        break;
      }
      result = table.SetCell(row, c, value);
    }
    if (!result.ok()) break;
    result = EvaluateForErrors(after);
  }
  (void)RecordListFree(f);
  table.SetCurrentRow(std::min(table.used_rows() + 1, table.row_capacity()));
  return result.is_error() ? result : Status(Status::kOk);
}

Status DocumentHeadersRead(int file, int key_number, Slice key) {
  int f = 0;
  Status s = DataFileResolve(file, &f);
  if (!s.ok()) return s;
  if (!key.ok()) return key.status();
  AreaMark mark;
  Slice each = ParameterValue(kKwReadCabs, 1);
  Slice after = ParameterValue(kKwReadCabs, 2);
  if (!each.ok()) return each.status();
  if (!after.ok()) return after.status();
  Slice end = key;
  int nline = FieldByName(f, kLineNumberField);
  if (nline > 0) {
    FieldDesc field;
    s = FieldInfo(f, nline, &field);
    if (!s.ok()) return s;
    end = Concat(key, Repeat(" ", field.width));
    if (!end.ok()) return end.status();
  }
  Status result;
  if (!Given(each)) {
    s = DataFileFind(f, key_number, key, 0);
    if (s.failed()) return s;
    result = s == kResultFound ? Status(kResultFound) : Status(kResultEnd);
  } else {
    s = RecordListBuildRange(f, key_number, key, end, -1, Slice());
    if (s.failed()) return s;
    result = s;
    if (s == kResultFound) {
      int n = RecordListCount(f);
      for (int i = 0; i < n; ++i) {
        s = RecordListGet(f, kListLoadBuffers, i);
        if (s.failed()) {
          result = s;
          break;
        }
        if (i == 0) continue;
        s = EvaluateForErrors(each);
        if (s.failed()) {
          result = s;
          break;
        }
      }
      (void)RecordListFree(f);
      recops::PutBuffer(f, 2, recops::CopyBuffer(f, 1));
    }
  }
  if (result <= kResultEnd) {
    s = EvaluateForErrors(after);
    if (s.is_error()) result = s;
  }
  return result;
}

// ---- Saving a document --------------------------------------------------------------------

Status DocumentSave(const DocumentSpec& doc, Slice key, bool replace) {
  int header = 0, lines = 0;
  Status s = DataFileResolve(doc.header_file, &header);
  if (s.ok()) s = DataFileResolve(doc.line_file, &lines);
  if (!s.ok()) return s;
  if (doc.lines == nullptr) return SetDetail(Status::kBadInputData, "document lines");
  std::string fitted;
  s = FitDocumentKey(lines, key, &fitted);
  if (!s.ok()) return s;
  Slice document = Slice::Of(fitted);

  if (replace) {
    // Deleting loads the stored records into the buffers that hold the
    // document being saved.
    std::string header_buffers[2] = {recops::CopyBuffer(header, 1), recops::CopyBuffer(header, 2)};
    std::string line_buffers[2] = {recops::CopyBuffer(lines, 1), recops::CopyBuffer(lines, 2)};
    s = DocumentDelete(doc, document);
    recops::PutBuffer(header, 1, header_buffers[0]);
    recops::PutBuffer(header, 2, header_buffers[1]);
    recops::PutBuffer(lines, 1, line_buffers[0]);
    recops::PutBuffer(lines, 2, line_buffers[1]);
    if (s.failed()) return s;
  } else if (RecordExists(lines, fitted) || (header != lines && RecordExists(header, fitted))) {
    // A new document under the key of a stored one would mix their lines.
    return SetDetail(Status(kResultKeyExists), document);
  }

  PutDocumentKey(header, fitted);
  s = DocumentHeadersWrite(doc);
  Status result = s;
  if (!s.failed() && doc.lines->used_rows() > 0) {
    s = DocumentLinesWrite(doc, document, 1, doc.lines->used_rows());
    if (s.failed() || result == Status::kOk) result = s;
  }
  result = RecordCommit(header, result);
  if (lines != header) result = RecordCommit(lines, result);
  if (result.failed()) return result;
  doc.lines->ClearChanged();
  AreaMark mark;
  Slice saved = ParameterValue(kKwSaved);
  s = saved.ok() ? EvaluateForErrors(saved) : saved.status();
  return s.is_error() ? s : result;
}

}  // namespace tessaly
