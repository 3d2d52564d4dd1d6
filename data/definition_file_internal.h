// A definition file read line by line through the stream line reader, shared
// by the dictionary loader and the tagged-line readers.
#pragma once

#include <string>

#include "core/slice.h"
#include "data/definitions.h"

namespace tessaly::internal {

class DefinitionFile {
 public:
  enum Result { kLine, kEnd, kTooLong };

  DefinitionFile() = default;
  ~DefinitionFile();
  DefinitionFile(const DefinitionFile&) = delete;
  DefinitionFile& operator=(const DefinitionFile&) = delete;

  // Opens `path` read-only and silently: no error is recorded.
  bool Open(Slice path);
  // The next line without its terminator, valid until the next call. kEnd at
  // the end of the file; kTooLong for a line longer than the limit, after
  // which the file is not read further.
  Result Next(Slice* line);
  // The 1-based number of the line last returned.
  int line_number() const { return line_number_; }
  const std::string& path() const { return path_; }

 private:
  int slot_ = -1;
  int line_number_ = 0;
  bool done_ = false;
  std::string path_;
  char buffer_[kDefinitionLineLimit + 1];
};

// "<path> line <n>: <line>" (the line cut to 80 characters) as the detail of
// `code`, recorded for the structure functions.
Status LineError(Status code, const std::string& path, int line_number, Slice line);

}  // namespace tessaly::internal
