// Lookups and updates through the relations between files (see
// data/record_ops.h): relation (b, r) of file a is the item "bRrKk=expr" of
// a's relation list; the expression, evaluated over a's current record,
// gives the text to search on key k of file b.
#include <string>

#include "core/flags.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/datafile.h"
#include "data/record_ops.h"
#include "data/record_ops_internal.h"
#include "data/structures.h"
#include "expr/evaluator.h"

namespace tessaly {
namespace {

// The key number and value of relation (b, r) of file a: 163 when the
// relation has no expression or its value is empty.
Status RelationTarget(int a, int b, int r, int* key, std::string* value) {
  Slice expression;
  Status s = RelationKey(a, b, r, key, &expression);
  if (!s.ok()) return s;
  if (Trim(expression).empty()) {
    return SetDetail(Status::kBadInputData, Slice::Of(std::to_string(b) + "R" + std::to_string(r)));
  }
  AreaMark mark;
  Slice v = recops::EvaluateOver(a, expression);
  if (!v.ok()) return v.status();
  if (v.empty()) return SetDetail(Status::kBadInputData, expression);
  value->assign(v.view());
  return Status::kOk;
}

bool Given(Slice text) { return text.ok() && !Trim(text).empty(); }

}  // namespace

Slice RelationValue(int b, int r) {
  int a = 0;
  Status s = ResolveFile(0, &a);
  if (!s.ok()) return Slice::Error(s);
  int key = 0;
  std::string value;
  s = RelationTarget(a, b, r, &key, &value);
  if (!s.ok()) return Slice::Error(s);
  return Area().Push(Slice::Of(value));
}

Status RelationFind(int a, int b, int r, int flags, Slice update) {
  SetWord(kRelRes, kRelResNone);
  int fa = 0, fb = 0;
  Status s = DataFileResolve(a, &fa);
  if (!s.ok()) return s;
  s = DataFileResolve(b, &fb);
  if (!s.ok()) return s;
  int key = 0;
  std::string value;
  s = RelationTarget(fa, fb, r, &key, &value);
  if (!s.ok()) return RecordError(1, ErrorArea::kDataFile, s);
  Slice v = Slice::Of(value);
  bool deleting = (flags & kRelDelete) == kRelDelete;

  // Updates of relational definitions written for the SQL layer reach every
  // record of the range.
  if (TestBits(kUpStat, recops::kUpStatSqlRun) && !deleting) {
    DataFileRecordAction action;
    if (Given(update)) action = [update](int) { return EvaluateForErrors(update); };
    return DataFileUpdateRange(fb, key, v, (flags & kRelCreate) ? kRangeCreate : 0, action);
  }

  bool nearest = (flags & kRelNearest) &&
                 (!recops::IsBlank(value) || TestBits(kScrStat, recops::kScrStatPaging));
  Status found = DataFileFind(fb, key, v, nearest ? kFindNearest : 0);
  if (found.failed()) return found;

  if (found == kResultFound && deleting) {
    s = DataFileDelete(fb, 0);
    if (s.failed()) return s;
    SetWord(kRelRes, kRelResDeleted);
    return found;
  }
  if (!(flags & kRelNoUpdate)) {
    if (found == kResultFound && Given(update)) {
      s = EvaluateForErrors(update);
      if (!s.ok()) return s;
      s = DataFileUpdate(fb);
      if (s.failed()) return s;
    } else if (found != kResultFound && (flags & kRelCreate)) {
      s = DataFileFind(fb, key, v, kFindPrepare);
      if (s.failed()) return s;
      if (Given(update)) {
        s = EvaluateForErrors(update);
        if (!s.ok()) return s;
      }
      s = DataFileInsert(fb);
      if (s.failed()) return s;
      SetWord(kRelRes, kRelResCreated);
    }
  }

  // Paging on a related field moves the related file on.
  if ((flags & kRelNearest) && found <= kResultEnd && TestBits(kScrStat, recops::kScrStatPaging)) {
    int move = Word(kLastKey) == recops::kLastKeyPrevious ? kMovePrevious : kMoveNext;
    Status moved;
    do {
      moved = DataFileMove(fb, move);
      if (moved.failed()) return moved;
    } while (moved == kResultFound && (flags & kRelNoUpdate) && Given(update) &&
             EvaluateForErrors(update) == Status::kOk);
    SetWord(kRelRes, kRelResMoved);
    ClearBits(kScrStat, recops::kScrStatPaging);
    return moved;
  }
  return found;
}

}  // namespace tessaly
