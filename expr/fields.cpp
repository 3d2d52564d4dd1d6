#include "expr/fields.h"

#include <string>

namespace tessaly {
namespace {

// Before the data layer installs its access no file is defined, so every
// file number is out of range.
class NoFiles final : public RecordFieldAccess {
 public:
  char FieldType(Slice) override { return 0; }
  Status Read(Slice reference) override { return Fail(reference); }
  Status Write(Slice reference, Slice) override { return Fail(reference); }

 private:
  static Status Fail(Slice reference) {
    std::string detail = "Field:";
    detail.append(reference.view());
    return SetDetail(Status::kFileOutBound, Slice::Of(detail));
  }
};

NoFiles g_no_files;
RecordFieldAccess* g_access = nullptr;

}  // namespace

void SetRecordFieldAccess(RecordFieldAccess* access) { g_access = access; }

RecordFieldAccess& RecordFields() { return g_access ? *g_access : g_no_files; }

}  // namespace tessaly
