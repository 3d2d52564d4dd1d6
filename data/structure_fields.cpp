// The evaluator's view of record fields: NAME{F} operands read and written
// through the file structures and buffer 1.
#include "core/number.h"
#include "core/string_area.h"
#include "data/masks.h"
#include "data/structures.h"
#include "expr/fields.h"
#include "expr/variables.h"

namespace tessaly {
namespace {

bool ReadsAsNumber(char type) { return type == 'L' || IsNumericType(type); }

class StructureFields final : public RecordFieldAccess {
 public:
  char FieldType(Slice reference) override {
    // The scanner asks about every operand with a brace: answer quietly, the
    // error belongs to the read or write that follows.
    FieldDesc d;
    return FieldReferenceQuiet(reference, &d).ok() ? d.type : 0;
  }

  Status Read(Slice reference) override {
    FieldDesc d;
    Status st = FieldReference(reference, &d);
    if (!st.ok()) return st;
    AreaMark area;
    Slice text = FieldFetch(d.file, d.number);
    if (!text.ok()) return text.status();
    if (ReadsAsNumber(d.type)) {
      Slice n = area.KeepNumber(ParseNumber(text));
      return n.ok() ? Status(kNumberValue) : n.status();
    }
    Slice kept = area.Keep(text);
    return kept.ok() ? Status(kTextValue) : kept.status();
  }

  Status Write(Slice reference, Slice text) override {
    FieldDesc d;
    Status st = FieldReference(reference, &d);
    if (!st.ok()) return st;
    return FieldStore(d.file, d.number, text);
  }
};

StructureFields g_fields;

}  // namespace

void UseStructuresForExpressions() { SetRecordFieldAccess(&g_fields); }

}  // namespace tessaly
