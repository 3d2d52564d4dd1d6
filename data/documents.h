// Documents of header and lines: how a document is kept in the data files
// and moved between them and the line table of the window that edits it.
//
// A document is one header record (or several, NUMCAB$) in a header file and
// any number of line records in a line file. The line file has a field named
// "N_LINE" holding the line number (1, 2, ...) right-aligned; its key 1 is the
// header's key followed by N_LINE, so the lines of a document are the records
// whose key 1 begins with the document key:
//
//   line key:  | document key (header key 1) | N_LINE |
//              |<------------- key 1 of the line file ----------->|
//
// Header and lines may share one file: the header records then carry a blank
// N_LINE and sort before the lines of their document.
//
// The storage is driven by the keywords of the document's parameter set in
// use (data/parameters.h): NUMCAB$, WRITECAB0$ (and WRITECAB1$ ...),
// WRITECABS$ ("first,more,after,condition"), WRITELINS$, READCABS$
// ("each,after"), READLINS$ ("before,after"), LNASSIGN$ and SAVED$.
//
// `_LNUM` holds the number of the line being written or read, `_HNUM` the
// number of the header being written.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/line_table.h"
#include "core/slice.h"
#include "core/status.h"

namespace tessaly {

// What the storage needs to know of an open document.
struct DocumentSpec {
  int header_file = 0;  // the window's main file
  int line_file = 0;    // may be the header file
  int header_key = 1;   // key through which headers are read
  LineTable* lines = nullptr;
  // Per column of the line table (from 1; index 0 unused), the field of the
  // line file it holds; 0 for a column the line record has no field for
  // (read from the matching item of LNASSIGN$, never written).
  std::vector<int> column_fields;
  // Moves a cell into the line record and back, when the owner keeps cells
  // in another form than the stored one (null: the field's stored form).
  std::function<Status(int column, Slice cell)> store_cell;
  std::function<Slice(int column)> fetch_cell;
  Slice selection;  // relational update selection of header and lines
  Slice emptiness;  // emptiness expression of the header
};

// The key of line `line` of the current document in `file` (0: the current
// file): key 1 of buffer 1 up to its N_LINE field, followed by the line
// number as an N field of the N_LINE width stores it; line 0 gives a blank
// number, -1 the document key alone. 163 for a file without N_LINE. On the
// string area.
Slice DocumentLineKey(int line);
Slice DocumentLineKeyOf(int file, int line);

// The document key of the record in buffer 1 of `file`: its key 1 up to an
// N_LINE field, or the whole key 1. On the string area.
Slice DocumentKey(int file);

// Deletes every record of `file` whose key 1 begins with `key`, each with its
// relational updates reverted (flag word 0x600, `selection`), then commits.
// 0, or a status; deleting nothing is 0.
Status DocumentLinesDelete(int file, Slice key, Slice selection);

// Writes the header records from buffer 1 of the header file as NUMCAB$,
// WRITECAB0$/WRITECABk$ and WRITECABS$ say. 0, 6, or a status.
Status DocumentHeadersWrite(const DocumentSpec& doc);

// Writes lines `first` to `last` of the line table as line records of the
// document `key` (the line record's key fields before N_LINE): N_LINE, the
// cells, WRITELINS$, insert. A status of 128 and more stops.
Status DocumentLinesWrite(const DocumentSpec& doc, Slice key, int first, int last);

// Appends to the line table the line records from `start` (empty: the key of
// line 1 of `key`) within `end` (empty: `key`), as many as it has room for:
// READLINS$ item 1, the cells, READLINS$ item 2, per line. The current row is
// then the first free line. 0 (also when there are no lines) or a status.
Status DocumentLinesRead(const DocumentSpec& doc, Slice key, Slice start = Slice(),
                         Slice end = Slice());

// Reads the header of document `key` through `key_number` of `file`, with
// READCABS$: 0 found, 2 no such document, or a status. The header read
// counts as unchanged.
Status DocumentHeadersRead(int file, int key_number, Slice key);

// Saves the whole document `key`: with `replace` the stored document is
// deleted first (headers and lines, relational updates reverted); then the
// headers and lines 1 to the used rows are written and both files committed.
// On success the line table's change bits are cleared and SAVED$ runs.
Status DocumentSave(const DocumentSpec& doc, Slice key, bool replace);

// Deletes the document `key`: its header records and its lines.
Status DocumentDelete(const DocumentSpec& doc, Slice key);

}  // namespace tessaly
