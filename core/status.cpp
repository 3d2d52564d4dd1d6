#include "core/status.h"

#include <string>

#include "core/slice.h"
#include "core/string_tables.h"

namespace tessaly {
namespace {

// Names of the codes 122-185, in code order; empty entries read "Undefined".
constexpr const char* kStatusNames[] = {
    "User Canceled", "Null Expression", "Undef.Warning", "Type Warning", "Bad user data",
    "Out of Data", "Type Mismatch", "Loop Failure", "Disk I/O", "File I/O",
    "Procedure Execution", "PRCSTCKERROR", "TRANSUPERROR", "VARHANDLERROR", "DISKREADERROR",
    "DISKWRITERROR", "DISKOPENERROR", "NETACCESERROR", "BADEXPRESION", "INTERNALERROR",
    "FARHEAPINIERR", "Screen Environ", "INDEXCMDERROR", "OUTOFMEMORY", "STRINGTOOLONG",
    "SINTAXERROR", "FEATUREREMOVED", "DIMSTRUCERROR", "BADSTRINGTYPE", "BADFILENUMBER",
    "FORMATFAILURE", "STRCONCATERR", "MEMORYALLOCERR", "EXPCALCERROR", "LOADSTRERROR",
    "VARNAMEERROR", "BADCOMMANDLINE", "STROUTBOUND", "MEMTESTERROR", "FILEOUTBOUND",
    "SQLERROR", "BADINPUTDATA", "File Not Found", "File Exist", "File Opening",
    "CHILDEXECERROR", "DATAOUTBOUND", "FILENOTINIT", "COMMONCTLERROR", "DEVICETIMEOUT",
    "DEVICEIOERROR", "SYSTEMCMDERROR", "", "Permission Denied", "StructMemError",
    "ScreenStructErr", "Memory Leaks", "Windows Control Error", "Memory Overflow",
    "Variable ScreenField", "", "Data Already exist", "Only Local Access",
    "Graphic Support Low",
};
static_assert(sizeof kStatusNames / sizeof kStatusNames[0] == 185 - 122 + 1);

constexpr const char* kErrorAreaNames[] = {
    "STRINGINIT", "STRINGASSIGN", "STRCONCAT",   "VARNMASSIGN",    "SQLCONNECT",  "SQLEXEC",
    "EXEC_COMPILER", "Malloc-MemAcums", "ExecRunTime", "VarStruct", "ExpExec", "Sort",
    "BufferFld", "DynStrings", "StructFuncs", "FormatStrings", "Streams", "DataFile",
    "LocalLists", "Screens", "Devices", "HtmlScan",
};
static_assert(sizeof kErrorAreaNames / sizeof kErrorAreaNames[0] == kErrorAreaCount);

LastError g_last_error;

constexpr int kDetailSlot = 9;
constexpr size_t kDetailKeep = 1024;

}  // namespace

const char* StatusName(uint16_t code) {
  if (code < 122 || code > 185) return "Undefined";
  const char* name = kStatusNames[code - 122];
  return *name ? name : "Undefined";
}

const char* ErrorAreaName(uint16_t area) {
  if (area < 1 || area > kErrorAreaCount) return "";
  return kErrorAreaNames[area - 1];
}

Status RecordError(int level, ErrorArea area, uint16_t code, Status result) {
  if (level == 1) {
    if (g_last_error.code == 0 && code >= Status::kTypeMismatch) {
      g_last_error = {code, static_cast<uint16_t>(area)};
    }
  } else if (level >= 2) {
    g_last_error = {code, static_cast<uint16_t>(area)};
  }
  return result;
}

LastError GetLastError() { return g_last_error; }

void ForceLastError(uint16_t code, uint16_t area) { g_last_error = {code, area}; }

Slice ErrorSliceOr(int level, ErrorArea area, uint16_t code, Slice value) {
  (void)RecordError(level, area, code, Status(code));
  return level != 0 ? Slice::Error(code) : value;
}

Status SetDetail(Status code, Slice text, bool append) {
  if (!text.ok()) text = Slice(StatusName(text.status()));
  Slice old = strtab::Get(strtab::kLanguage, kDetailSlot);
  if (!append || old.empty()) {
    (void)strtab::Set(strtab::kLanguage, kDetailSlot, text);
    return code;
  }
  std::string kept = old.str();
  // Keep about 1024 bytes of the earlier text: the first lines, which name
  // what failed first.
  while (kept.size() > kDetailKeep) {
    size_t cr = kept.rfind('\r');
    if (cr == std::string::npos || cr == 0) {
      kept.erase(kDetailKeep);
      break;
    }
    kept.erase(cr);
  }
  kept += "\r\n";
  kept.append(text.data(), text.size());
  if (kept.size() > kMaxTextLength) kept.erase(0, kept.size() - kMaxTextLength);
  (void)strtab::Set(strtab::kLanguage, kDetailSlot, Slice::Of(kept));
  return code;
}

Status SetDetail(Status code, const char* text, bool append) {
  return SetDetail(code, Slice(text ? text : ""), append);
}

Slice GetDetail() { return strtab::Get(strtab::kLanguage, kDetailSlot); }

void ClearDetail() { (void)strtab::Set(strtab::kLanguage, kDetailSlot, Slice()); }

}  // namespace tessaly
