#include <cstdio>
#include <string>
#include <string_view>

#include "data/definition_file_internal.h"
#include "data/streams.h"

namespace tessaly {
namespace internal {

DefinitionFile::~DefinitionFile() {
  if (slot_ >= kFirstFileSlot) StreamClose(slot_);
}

bool DefinitionFile::Open(Slice path) {
  if (slot_ >= kFirstFileSlot) StreamClose(slot_);
  slot_ = -1;
  line_number_ = 0;
  done_ = false;
  if (!path.ok() || path.empty()) return false;
  int slot = StreamOpen(path, kStreamReadOnly | kStreamSilent);
  if (slot < kFirstFileSlot) {
    // "CON" names a standard stream: never a definition file.
    return false;
  }
  slot_ = slot;
  path_ = path.str();
  return true;
}

DefinitionFile::Result DefinitionFile::Next(Slice* line) {
  if (done_ || slot_ < kFirstFileSlot) return kEnd;
  int n = StreamRead(slot_, -1, -1, buffer_, kDefinitionLineLimit);
  if (n >= 0) {
    ++line_number_;
    *line = Slice(buffer_, static_cast<uint16_t>(n));
    return kLine;
  }
  done_ = true;
  if (StreamAtEnd(slot_)) return kEnd;
  // A Ctrl-Z that ends the file is not data; anything else left is a line
  // too long for the reader.
  int64_t position = StreamTell(slot_);
  char last = 0;
  if (position >= 0 && position + 1 == StreamSize(slot_) &&
      StreamRead(slot_, position, 1, &last, 1) == 1 && last == 26) {
    return kEnd;
  }
  ++line_number_;
  return kTooLong;
}

Status LineError(Status code, const std::string& path, int line_number, Slice line) {
  char number[24];
  std::snprintf(number, sizeof number, " line %d", line_number);
  std::string detail = path + number;
  if (!line.empty()) {
    std::string_view v = line.view().substr(0, 80);
    detail += ": ";
    for (char c : v) detail += (static_cast<unsigned char>(c) < ' ') ? '?' : c;
  }
  (void)SetDetail(code, Slice::Of(detail));
  return RecordError(1, ErrorArea::kStructFuncs, code);
}

}  // namespace internal

}  // namespace tessaly
