// Feeds arbitrary bytes to the dictionary loader and the tagged-line readers
// as files in a private temporary folder. The first byte chooses the layout
// and the wanted number of the tagged-line read; the rest is the file.
//
// Whatever the bytes, a reader must answer with a count or a status, leave
// the structures whole (a failed load takes back what it defined) and leave
// nothing behind on the line queue or the parameter set stack.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/string_area.h"
#include "core/string_tables.h"
#include "data/definitions.h"
#include "data/dictionary.h"
#include "data/parameters.h"
#include "data/streams.h"
#include "data/structures.h"
#include "expr/variables.h"

namespace {

using namespace tessaly;

const std::string& Folder() {
  static const std::string folder = [] {
    char tmpl[] = "/tmp/tessaly_dictfuzz_XXXXXX";
    const char* made = mkdtemp(tmpl);
    if (made == nullptr) abort();
    InitVariables();
    return std::string(made);
  }();
  return folder;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) abort();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Walks what a load defined the way the engine and the evaluator would.
void Exercise() {
  for (int f = 1; f <= FileCount(); ++f) {
    for (int k = 1; k <= KeyCount(f); ++k) {
      KeyLayout layout;
      (void)KeySegments(f, k, &layout);
    }
    for (int j = 1; j <= FieldCount(f); ++j) {
      FieldDesc d;
      if (!FieldInfo(f, j, &d).ok()) abort();
      if (d.offset + d.width > RecordLength(f)) abort();
      (void)FieldStore(f, j, "12");
      (void)FieldFetch(f, j);
    }
    int key = 0;
    Slice expression;
    (void)RelationKey(f, 1, 1, &key, &expression);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string& dir = Folder();
  int depth = Area().Mark();
  int queued = strtab::Count(strtab::kLineQueue);
  uint8_t control = data[0];
  std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);

  WriteFile(dir + "/FZDICC.DAT", body);
  WriteFile(dir + "/FZREL.DAT", body.substr(body.size() / 2));
  Status st = DictionaryLoad("FZ", "", Slice::Of(dir));
  if (!st.ok() && FileCount() != 0) abort();
  if (Area().Mark() != depth) abort();
  Exercise();
  FieldDesc d;
  (void)FieldReference(Slice::Of(body.substr(0, 64)), &d);
  StructClearAll();

  std::string path = dir + "/FZ.PPN";
  WriteFile(path, body);
  int layout = control % 7;
  int number = control / 7;
  int count = DefinitionLines(Slice::Of(path), layout, number);
  for (int i = 0; i < count; ++i) (void)strtab::Pop(strtab::kLineQueue);
  if (ParameterSetLoad(Slice::Of(path), layout, number).ok()) {
    (void)ParameterValue(kKwTitle);
    (void)ParameterValue(kKwFd, 2);
    (void)ParameterPresent(Slice::Of(body.substr(0, 16)));
    (void)ParameterSetPop();
  }

  if (strtab::Count(strtab::kLineQueue) != queued) abort();
  if (ParameterSetDepth() != 0) abort();
  Area().Release(depth);
  StreamCloseAll();
  return 0;
}
