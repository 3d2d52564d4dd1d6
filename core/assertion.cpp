#include "core/assertion.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "core/message_box.h"
#include "platform/env.h"
#include "platform/files.h"

namespace tessaly {
namespace {

void AppendToLogFile(Slice line) {
  std::unique_ptr<platform::File> file;
  int flags = platform::kOpenWrite | platform::kOpenCreate | platform::kOpenAppend;
  if (platform::OpenFile(kAssertionLogName, flags, &file) != 0 || !file) return;
  // One write, so that the line is never split by another process's line.
  std::string record(line.view());
  record += "\r\n";
  (void)file->WriteAt(0, record.data(), record.size());
}

AssertionLogWriter g_writer = AppendToLogFile;

}  // namespace

void SetAssertionLogWriter(AssertionLogWriter writer) {
  g_writer = writer ? writer : AppendToLogFile;
}

void Check(bool condition, Slice text) {
  if (!condition) AssertionFailed(text);
}

void AssertionFailed(Slice text) {
  if (!text.ok()) text = Slice(StatusName(text.status()));
  (void)ShowMessageBox(text, Slice(kAssertionCaption), BoxKind::kStop);
  g_writer(text);
  std::_Exit(kAssertionExitCode);
}

}  // namespace tessaly
