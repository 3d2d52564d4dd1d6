// File structures: the layout of every data file the runtime knows, and the
// record buffers through which fields are read and written.
//
// Owns:
// - the file table: at most 29 files, numbered from 1 in order of definition
//   (0 stands for the current file, the system variable `_CURFIL`); per file
//   its attribute number, name (a path without extension, lower-cased unless
//   `_AUXSTAT` bit 8), folder, fields, keys and relation list;
// - the global field and key tables. Global field index of field j of file f
//   is the sum of the field counts of files 1..f-1 plus j; keys likewise;
// - the structure marks (at most 7) that let run-time structures be undone;
// - the two record buffers of every defined file (see "Record buffers").
//
// Record layout. Fields lie one after the other in definition order; field 1
// starts at offset 0 and its first byte doubles as the deletion mark of the
// record (27 marks a deleted record in the data file engine):
//
//   offset: 0          w1         w1+w2                 L = sum of widths
//           +----------+----------+--- ... ---+---------+
//           | field 1  | field 2  |           | field n |
//           +----------+----------+--- ... ---+---------+
//
// A key is 1 to 5 segments, each a 0-based offset and a length in the record;
// its text is the segments' bytes concatenated. A file that gets no key of
// its own receives a default key: offset 0 up to the end of its N_LINE field
// when it has one, else up to the end of field 1.
//
// Record buffers. The structures hold, for every defined file, the current
// record (buffer 1) and the record as last read (buffer 2), both L bytes and
// blank when the file is defined; they grow with the file's fields, so that
// they always match the record length. The data file engine fills them on
// reads and writes them on saves through FileRecordBuffers(); FieldStore and
// FieldFetch work on buffer 1. Keeping the buffers here means a field can be
// stored or fetched on any defined file, open or not, and the engine never
// sees a buffer of the wrong size.
//
// The engine learns of structure changes through one handler (see
// SetStructureEventHandler): a file defined (its per-file control must be
// reset) and a file about to be removed (close it first).
//
// Encoded numeric fields. A numeric field (types 1-9 and N) whose stored text
// begins with 'D' holds its value in the runtime's compact form (written by
// EncodeNumberField for a value wider than the field in decimal digits):
//
//   byte:   0     1          2 ..................... w-1
//         +-----+----------+-------------------------+
//         | 'D' | '-' or   | base-36 digits 0-9 A-Z, |
//         |     | 1st digit| most significant first  |
//         +-----+----------+-------------------------+
//
// The digits give the magnitude of the value in units of the field's last
// decimal (type 2: hundredths; N: units); a '-' right after the 'D' makes it
// negative. Leading digits are '0'. FieldFetch returns the decoded value in
// the field's neutral stored form (right-aligned, '.' decimal point).
#pragma once

#include <cstdint>

#include "core/slice.h"
#include "core/status.h"

namespace tessaly {

inline constexpr int kMaxFiles = 29;
inline constexpr int kMaxKeySegments = 5;
inline constexpr int kMaxStructureMarks = 7;

// Whether a structure may hold a field of `type`: one of the field types
// (data/masks.h) or 'P', the password text.
bool IsFieldType(char type);

struct KeySegment {
  uint16_t offset = 0;  // 0-based in the record
  uint16_t length = 0;
};

// A key as used: each segment mapped to the field that holds its last byte.
struct KeyLayout {
  int count = 0;
  KeySegment segments[kMaxKeySegments];
  uint16_t fields[kMaxKeySegments] = {};  // 1-based field numbers
  uint16_t length = 0;                    // the key text's length
};

// What a field is. `name` points into the structures and stays valid until
// the structures change (a file defined or removed, a field added).
struct FieldDesc {
  int file = 0;    // owning file, 1-29
  int number = 0;  // 1-based within the file
  int global = 0;  // 1-based index in the global field table
  uint16_t offset = 0;
  uint16_t width = 0;
  char type = 'A';
  Slice name;
};

// ---- Defining -----------------------------------------------------------------

// Defines the next file; it becomes the last file. 161 when 29 files exist,
// 163 for an empty name. The name is lower-cased unless `_AUXSTAT` bit 8.
Status StructDefineFile(int attribute, Slice name, Slice folder);
// Adds a field to the last file. 161 when no file exists; 163 for an empty
// name, a width of 0 or an unknown type; 168 when the record would pass 65535
// bytes.
Status StructDefineField(Slice name, int width, char type);
// Adds a key to `file` from its segment text: '<' followed by groups of a
// 4-digit 1-based offset and a 3-digit length (at most 5 groups), the last
// character of the text closing the list. Files after the last keyed file
// and before this one that have no key yet first receive their default key.
// 151 for an undefined file, 163 for a malformed text.
Status StructDefineKey(int file, Slice segment_text);
Status StructDefineKeySegments(int file, const KeySegment* segments, int count);
// Parses a segment text as above into `segments`; returns the count (1-5) or
// -1 when the text is malformed.
int ParseKeySegments(Slice segment_text, KeySegment* segments);
// Gives every file after the last keyed file, up to `last_file`, that has no
// key yet its default key.
void StructDefaultKeys(int last_file);
// Appends ":" and the relation text to the relation list of `file`; 151 for
// an undefined file.
Status StructAddRelation(int file, Slice relation);

// Marks: a push records the counts of files, fields and keys and the current
// file; 168 when a mark is pushed on 7 marks. Pop discards the last mark
// (159 when there is none) and keeps the structures.
Status StructPushMark();
Status StructPopMark();
int StructMarkCount();
// Pops the last mark and removes, newest first, every file, field and key
// defined after it; the file that was current at the mark becomes current.
// With no mark every structure is removed.
void StructRestore();
// Removes every structure and mark (a new dictionary, tests).
void StructClearAll();

// A save point outside the mark stack, for loaders that must leave the
// structures as they found them when they fail.
struct StructSavePoint {
  int files = 0;
  int fields = 0;
  uint32_t key_sequence = 0;
  int current = 0;
  int last_keyed = 0;
};
StructSavePoint StructSave();
// Removes what was defined after `point` (the marks are left alone).
void StructRollback(const StructSavePoint& point);

// ---- Run-time structures (the procedure command FILESTRUCT) -------------------

// Pushes a mark, defines a file named `name` in the default folder (the first
// folder of environment slot 5), its fields from a comma list of
// NAME;WIDTH;TYPE items (the type is the first character of the third part)
// and its keys from a comma list of segment texts, and makes it the current
// file. On failure everything it defined is removed again and its mark
// popped.
Status FileStructDefine(Slice name, Slice fields, Slice keys);
// FILESTRUCT RESTORE: StructRestore().
void FileStructRestore();

// ---- Queries ------------------------------------------------------------------

int FileCount();
// The file number that `file` stands for: 0 is `_CURFIL`. 168 when it is
// not a defined file.
Status ResolveFile(int file, int* resolved);
// Per-file items; empty or 0 for an undefined file.
int FileAttribute(int file);
Slice FileName(int file);
Slice FileFolder(int file);
Slice FileRelations(int file);
uint16_t RecordLength(int file);
int FieldCount(int file);
int KeyCount(int file);
// The file whose name equals `name` (lower-cased first unless `_AUXSTAT`
// bit 8); 0 when none.
int FileByName(Slice name);
// Whether the file has a field named N_LINE (a document line file).
bool FileHasLineNumber(int file);

// 168 for an undefined file or field (the detail "(File:%s, Field:%s)").
Status FieldInfo(int file, int field, FieldDesc* out);
// The 1-based number of the first field named exactly `name`; -1 when none.
int FieldByName(int file, Slice name);
// Reads NAME{F}: NAME a field name or number, F a file number, a file name
// (first character above '@') or empty for the current file. Unknown names
// and malformed references give 163 with the detail "Field:" and the
// reference; a file number out of range 161; a field number out of range
// 168 with "(File:%s, Field:%s)".
Status FieldReference(Slice reference, FieldDesc* out);
// The same without setting the detail or recording an error: for asking
// whether a text names a field at all.
Status FieldReferenceQuiet(Slice reference, FieldDesc* out);

// The key as used, its segments mapped to fields; 168 for an undefined file
// or key, 141 when a segment lies beyond the last field.
Status KeySegments(int file, int key, KeyLayout* out);
// Relation (b, r) of file a: the item "bRrKk=expression" of a's relation
// list. Gives k and the expression (a view into the structures). 151 for an
// undefined file a; 163 when the relation is absent or has no expression.
Status RelationKey(int file_a, int file_b, int ordinal, int* key, Slice* expression);

// ---- Record buffers -----------------------------------------------------------

struct RecordBuffers {
  char* current = nullptr;  // buffer 1
  char* saved = nullptr;    // buffer 2
  uint16_t length = 0;
};
// The buffers of a defined file (null pointers otherwise). Valid until the
// file's structure changes.
RecordBuffers FileRecordBuffers(int file);
// Both buffers to blanks.
void ClearRecordBuffers(int file);

// The value converted for the field's type and width (StoreValue) and written
// into buffer 1. 151 for an undefined field; the conversion's status (168
// when a number does not fit) with the detail "(File:%s, Field:%s)".
Status FieldStore(int file, int field, Slice value);
// The field's text from buffer 1 (a copy on the string area), decoded when it
// is an encoded number or a six-digit compatibility date.
Slice FieldFetch(int file, int field);

// The encoded form of a decimal number text for a numeric field of `type`
// and `width` (see the header comment); 168 when even that does not fit.
Slice EncodeNumberField(char type, Slice number, uint16_t width);
// The neutral decimal text of an encoded field text, right-aligned in
// `width` when it fits; the text unchanged when it is not a valid encoding.
Slice DecodeNumberField(char type, Slice stored, uint16_t width);

// ---- Fields in expressions --------------------------------------------------------

// Installs the expression evaluator's access to record fields (NAME{F},
// expr/fields.h) over these structures: a numeric field (types N, L and
// 1-9) reads as a number, any other as its text; a write goes through
// FieldStore. Start-up calls it once.
void UseStructuresForExpressions();

// ---- Engine notification ------------------------------------------------------

enum class StructureEvent {
  kFileDefined,   // the file's per-file control must be reset
  kFileRemoving,  // the file is about to disappear: close it now
};
using StructureEventFn = void (*)(int file, StructureEvent event);
// Installs the handler (null removes it); returns the previous one.
StructureEventFn SetStructureEventHandler(StructureEventFn fn);

}  // namespace tessaly
