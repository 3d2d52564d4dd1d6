// tessaly-dump: prints a data file's records in key order, one a line.
//
//   tessaly-dump [--key K] [--numbers] --dictionary CODE [--folders LIST] FILE
//   tessaly-dump [--key K] [--numbers] --record-length L --keys KEYS PATH
//
// The file is opened read-only and shared; deleted records are not shown.
// Exit code 0, or 2 when the file cannot be opened or read.
#include <cstdio>
#include <cstring>
#include <string>

#include "data/datafile.h"
#include "tools/datafile_tool.h"

using namespace tessaly;  // NOLINT: a command's main

int main(int argc, char** argv) {
  tools::DataFileArgs args;
  if (!tools::SetUpDataFile(argc, argv, &args)) {
    std::fprintf(stderr, "tessaly-dump: %s\n", args.error.c_str());
    return 2;
  }
  Status s = DataFileOpen(args.file, kDataReadOnly);
  if (s.failed()) {
    std::fprintf(stderr, "tessaly-dump: %s\n", tools::Describe(s).c_str());
    return 2;
  }
  s = DataFileSetKey(args.file, args.key);
  if (s != Status::kOk) {
    std::fprintf(stderr, "tessaly-dump: the file has no key %d\n", args.key);
    return 2;
  }
  DataRecordBuffers b = CurrentDataFileCatalog().Buffers(args.file);
  long count = 0;
  for (s = DataFileMove(args.file, kMoveFirst); s == kResultFound;
       s = DataFileMove(args.file, kMoveNext)) {
    std::string line;
    if (args.numbers) line = std::to_string(DataFileLoadedRecord(args.file)) + ": ";
    line.append(b.current, b.length);
    line += '\n';
    tools::PrintText(line);
    ++count;
  }
  if (s.failed()) {
    std::fprintf(stderr, "tessaly-dump: %s\n", tools::Describe(s).c_str());
    return 2;
  }
  (void)DataFileClose(args.file);
  std::fprintf(stderr, "%ld records\n", count);
  return 0;
}
