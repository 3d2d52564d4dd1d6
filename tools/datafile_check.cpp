// tessaly-check: checks a data file's index against its record file and
// reports every inconsistency, one a line.
//
//   tessaly-check --dictionary CODE [--folders LIST] FILE
//   tessaly-check --record-length L --keys KEYS PATH
//
// Exit code 0 when the index and the records agree, 1 when they do not
// (reorganising the file rebuilds the index from the records), 2 when the
// file cannot be checked.
#include <cstdio>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "tools/datafile_tool.h"

using namespace tessaly;  // NOLINT: a command's main

int main(int argc, char** argv) {
  tools::DataFileArgs args;
  if (!tools::SetUpDataFile(argc, argv, &args)) {
    std::fprintf(stderr, "tessaly-check: %s\n", args.error.c_str());
    return 2;
  }
  std::vector<std::string> problems;
  Status s = DataFileCheck(args.file, &problems);
  std::string records =
      platform::Utf8ToCp1252(platform::NativePath(DataFilePath(args.file, DataFilePart::kRecords)));
  for (const std::string& p : problems) tools::PrintText(records + ": " + p + "\n");
  if (s == Status::kOk) {
    tools::PrintText(records + ": the index agrees with the records\n");
    return 0;
  }
  if (!problems.empty()) return 1;
  std::fprintf(stderr, "tessaly-check: %s\n", tools::Describe(s).c_str());
  return 2;
}
