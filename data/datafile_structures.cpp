// The engine's catalog over the file structures: layouts, buffers and key
// stores come from data/structures.h, and structure changes close and reset
// the files they touch.
#include <algorithm>
#include <cstring>

#include "data/datafile.h"
#include "data/structures.h"

namespace tessaly {

namespace {

class StructureCatalog final : public DataFileCatalog {
 public:
  int FileCount() override { return tessaly::FileCount(); }

  Status Layout(int file, DataFileLayout* layout) override {
    if (file < 1 || file > tessaly::FileCount()) return Status::kDataOutBound;
    layout->name = FileName(file).str();
    layout->folder = FileFolder(file).str();
    layout->record_length = RecordLength(file);
    layout->has_line_number = FileHasLineNumber(file);
    layout->keys.clear();
    int keys = KeyCount(file);
    for (int k = 1; k <= keys; ++k) {
      KeyLayout key;
      Status s = KeySegments(file, k, &key);
      if (s != Status::kOk) return s;
      DataKeyDef def;
      for (int i = 0; i < key.count; ++i) {
        def.segments.push_back(DataKeySegment{key.segments[i].offset, key.segments[i].length});
      }
      layout->keys.push_back(std::move(def));
    }
    return Status::kOk;
  }

  DataRecordBuffers Buffers(int file) override {
    RecordBuffers b = FileRecordBuffers(file);
    return DataRecordBuffers{b.current, b.saved, b.length};
  }

  // A part that is exactly one field goes through that field's store, so a
  // numeric key part lands right-aligned as the field keeps it. A segment
  // over several fields, or part of one, takes its bytes as they are.
  Status StoreKeyParts(int file, int key, Slice text) override {
    KeyLayout layout;
    Status s = KeySegments(file, key, &layout);
    if (s != Status::kOk) return s;
    RecordBuffers b = FileRecordBuffers(file);
    if (b.current == nullptr) return Status::kFileNotInit;
    size_t at = 0;
    for (int i = 0; i < layout.count; ++i) {
      const KeySegment& seg = layout.segments[i];
      Slice part =
          at < text.size()
              ? Slice(text.data() + at,
                      static_cast<uint16_t>(std::min<size_t>(seg.length, text.size() - at)))
              : Slice();
      at += seg.length;
      FieldDesc field;
      if (FieldInfo(file, layout.fields[i], &field) == Status::kOk && field.offset == seg.offset &&
          field.width == seg.length) {
        s = FieldStore(file, layout.fields[i], part);
        if (s.is_error()) return s;
        continue;
      }
      if (seg.offset + seg.length > b.length) return Status::kInternalError;
      std::memset(b.current + seg.offset, ' ', seg.length);
      std::memcpy(b.current + seg.offset, part.data(), part.size());
    }
    return Status::kOk;
  }
};

void OnStructureEvent(int file, StructureEvent event) {
  switch (event) {
    case StructureEvent::kFileDefined:
    case StructureEvent::kFileRemoving:
      DataFileReset(file);
      break;
  }
}

}  // namespace

void UseStructuresForDataFiles() {
  static StructureCatalog catalog;
  (void)SetDataFileCatalog(&catalog);
  (void)SetStructureEventHandler(&OnStructureEvent);
}

}  // namespace tessaly
