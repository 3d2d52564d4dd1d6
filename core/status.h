// Status codes: every operation of the runtime answers with one.
//
// A status is an unsigned 16-bit value:
//   0        success
//   1-120    outcomes that are not errors (a count, a key code passed back)
//   121      a silent stop; the error detail says what happened
//   122-127  named warnings
//   128-185  named errors
//   65535    an error slice of length 0, or "not found"
//
// This header also owns the last error record (code and error area) and the
// error detail text that, together with the status, make the message a user
// sees.
#pragma once

#include <cstdint>

namespace tessaly {

class Slice;

class [[nodiscard]] Status {
 public:
  enum Code : uint16_t {
    kOk = 0,
    kSilent = 121,
    kUserCanceled = 122,
    kNullExpression = 123,
    kUndefWarning = 124,
    kTypeWarning = 125,
    kBadUserData = 126,
    kOutOfData = 127,
    kTypeMismatch = 128,
    kLoopFailure = 129,
    kDiskIo = 130,
    kFileIo = 131,
    kProcedureExecution = 132,
    kProcStackError = 133,
    kTransUpError = 134,
    kVarHandleError = 135,
    kDiskReadError = 136,
    kDiskWriteError = 137,
    kDiskOpenError = 138,
    kNetAccessError = 139,
    kBadExpression = 140,
    kInternalError = 141,
    kFarHeapInitError = 142,
    kScreenEnviron = 143,
    kIndexCmdError = 144,
    kOutOfMemory = 145,
    kStringTooLong = 146,
    kSyntaxError = 147,
    kFeatureRemoved = 148,
    kDimStructError = 149,
    kBadStringType = 150,
    kBadFileNumber = 151,
    kFormatFailure = 152,
    kStrConcatError = 153,
    kMemoryAllocError = 154,
    kExpCalcError = 155,
    kLoadStrError = 156,
    kVarNameError = 157,
    kBadCommandLine = 158,
    kStrOutBound = 159,
    kMemTestError = 160,
    kFileOutBound = 161,
    kSqlError = 162,
    kBadInputData = 163,
    kFileNotFound = 164,
    kFileExist = 165,
    kFileOpening = 166,
    kChildExecError = 167,
    kDataOutBound = 168,
    kFileNotInit = 169,
    kCommonCtlError = 170,
    kDeviceTimeout = 171,
    kDeviceIoError = 172,
    kSystemCmdError = 173,
    kPermissionDenied = 175,
    kStructMemError = 176,
    kScreenStructError = 177,
    kMemoryLeaks = 178,
    kWindowsControlError = 179,
    kMemoryOverflow = 180,
    kVariableScreenField = 181,
    kDataAlreadyExist = 183,
    kOnlyLocalAccess = 184,
    kGraphicSupportLow = 185,
    kUndefined = 65535,
  };

  constexpr Status() : code_(kOk) {}
  constexpr Status(uint16_t code) : code_(code) {}  // NOLINT: statuses travel as plain codes

  constexpr uint16_t code() const { return code_; }
  constexpr operator uint16_t() const { return code_; }  // NOLINT
  constexpr bool ok() const { return code_ == kOk; }
  // 122 and above: a condition worth showing (121 is a silent stop).
  constexpr bool failed() const { return code_ >= kUserCanceled; }
  // 128 and above: an error rather than a warning.
  constexpr bool is_error() const { return code_ >= kTypeMismatch; }

 private:
  uint16_t code_;
};

// Error areas: the module in which an error arose, numbered from 1. Memory
// blocks carry the same numbers as their owner tags.
enum class ErrorArea : uint16_t {
  kNone = 0,
  kStringInit = 1,
  kStringAssign = 2,
  kStrConcat = 3,
  kVarNameAssign = 4,
  kSqlConnect = 5,
  kSqlExec = 6,
  kExecCompiler = 7,
  kMallocMemAcums = 8,
  kExecRunTime = 9,
  kVarStruct = 10,
  kExpExec = 11,
  kSort = 12,
  kBufferFld = 13,
  kDynStrings = 14,
  kStructFuncs = 15,
  kFormatStrings = 16,
  kStreams = 17,
  kDataFile = 18,
  kLocalLists = 19,
  kScreens = 20,
  kDevices = 21,
  kHtmlScan = 22,
};
inline constexpr int kErrorAreaCount = 22;

// The name of a status: "User Canceled" for 122; "Undefined" outside 122-185
// and for the unnamed codes.
const char* StatusName(uint16_t code);
// The name of an error area ("ExecRunTime" for 9); empty for 0 or unknown.
const char* ErrorAreaName(uint16_t area);

// The last error record.
struct LastError {
  uint16_t code = 0;
  uint16_t area = 0;
};

// Records (level, area, code) and returns `result`:
//   level 0: records nothing;
//   level 1: records only when no code is recorded yet and code >= 128;
//   level 2: always records.
Status RecordError(int level, ErrorArea area, uint16_t code, Status result);
inline Status RecordError(int level, ErrorArea area, Status code) {
  return RecordError(level, area, code.code(), code);
}
LastError GetLastError();
void ForceLastError(uint16_t code, uint16_t area);

// Records at `level`; when level is non-zero returns the error slice `code`,
// else `value` unchanged.
Slice ErrorSliceOr(int level, ErrorArea area, uint16_t code, Slice value);

// The error detail text: what failed (a file name, an expression, a process
// name). Replacing sets it; appending cuts the older text before its last CR
// while it is longer than 1024 bytes, then adds CR LF and the new text.
// Returns `code`, so that setting the detail and failing is one step.
Status SetDetail(Status code, Slice text, bool append = false);
Status SetDetail(Status code, const char* text, bool append = false);
// The detail text (empty when none). Valid until the detail changes.
Slice GetDetail();
void ClearDetail();

}  // namespace tessaly
