// Record fields as operands of expressions, as the record operations install
// them: the structures' access (data/structures.h) with one more check on
// assignments. A text that is no number assigned to a numeric field would
// otherwise be stored as a blank field, losing the value without a word; it
// is refused as a type mismatch instead.
#include "core/number.h"
#include "core/text.h"
#include "data/masks.h"
#include "data/record_ops_internal.h"
#include "data/structures.h"
#include "expr/fields.h"

namespace tessaly {
namespace {

class CheckedFieldOperands final : public RecordFieldAccess {
 public:
  void Wrap(RecordFieldAccess* inner) {
    if (inner != this) inner_ = inner;
  }
  char FieldType(Slice reference) override { return inner_->FieldType(reference); }
  Status Read(Slice reference) override { return inner_->Read(reference); }
  Status Write(Slice reference, Slice text) override {
    FieldDesc field;
    if (text.ok() && FieldReferenceQuiet(reference, &field).ok() && IsNumericType(field.type) &&
        !Trim(text).empty() && !IsNumberText(text)) {
      return SetDetail(Status::kTypeMismatch, reference);
    }
    Status s = inner_->Write(reference, text);
    return s == Status::kTypeWarning ? Status(Status::kTypeMismatch) : s;
  }

 private:
  RecordFieldAccess* inner_ = nullptr;
};

CheckedFieldOperands g_operands;

}  // namespace

void recops::InstallFieldOperands() {
  UseStructuresForExpressions();
  g_operands.Wrap(&RecordFields());
  SetRecordFieldAccess(&g_operands);
}

}  // namespace tessaly
