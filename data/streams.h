// Numbered stream files and the file-system operations of the runtime.
//
// All file input and output of the runtime goes through here: the data file
// engine keeps its record and index files open as streams, procedures and
// built-in functions read and write text files, logs append. Streams are
// small numbers so that the 4GL can keep them in variables.
//
// Stream table: 40 slots. Slot 0 is standard input, 1 standard output, 2
// standard error; 3-39 hold the files opened here (37 at a time). -1 means
// no stream. The path "CON" opens no file: it is slot 1 for flags exactly
// kStreamWrite, else slot 0.
//
// Paths are runtime paths (Windows-1252, '\' separators, drive letters, any
// letter case); platform/paths.h says how they reach Linux files. A path has
// 1 to 383 characters.
//
// All files are binary; the line reader below handles CR LF, CR and LF.
// Writes reach the operating system before a call returns (nothing is held
// back in a buffer of this process), so what a save wrote survives the
// process being killed right after it.
//
// Failures of 128 and above are recorded as the current error (area 17,
// "Streams") with the path as the error detail, unless the stream was opened
// silent (kStreamSilent). Questions are not failures: FileExists, FileList
// finding nothing, reading at the end of a file, and deleting a file that is
// not there record nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/slice.h"
#include "core/status.h"
#include "platform/env.h"

namespace tessaly {

inline constexpr int kStreamSlots = 40;
inline constexpr int kFirstFileSlot = 3;
inline constexpr int kNoStream = -1;
inline constexpr int kMaxPathLength = 383;
// Reads and writes move at most this many bytes per call to the file.
inline constexpr int kTransferUnit = 512;

enum StreamFlags : int {
  kStreamUpdate = 1,    // read and update (also what flags without 2 or 4 give)
  kStreamWrite = 2,     // create or truncate
  kStreamAppend = 4,    // every write goes to the end
  kStreamReadOnly = 8,  // no update, never create
  kStreamSilent = 0x80,  // failures are returned but not recorded
};

// The mode of the flags: "w" (kStreamWrite), "a" (kStreamAppend) or "r",
// then "b", then "+" unless kStreamReadOnly: "rb+", "wb", ...
const char* StreamMode(int flags);

// ---- Streams --------------------------------------------------------------

// Opens a file into the first free slot from 3 up and returns the slot, or
// -1 with `status` (when given) set to 163 (empty or over-long path), 168
// (no free slot) or 164 (the file cannot be opened). Opening for update
// (without kStreamReadOnly) creates a missing file. A failing open leaves
// the slot free.
int StreamOpen(Slice path, int flags, Status* status = nullptr);
// Closes and frees a slot; slots 0-2 and free slots are left alone.
void StreamClose(int slot);
// Closes every file slot (end of run, tests).
void StreamCloseAll();
bool StreamIsOpen(int slot);
// The path a slot was opened with; empty for a free slot.
Slice StreamName(int slot);
// The open file behind a slot (the standard streams included), for the
// data file engine's memory maps and locks; null for a free slot. Owned by
// the slot until StreamClose.
platform::File* StreamFile(int slot);

// The length in bytes, keeping the position; -1 for slots 0-2 and free slots.
int64_t StreamSize(int slot);
// Whether the position is at or past the length (a free slot is at its end;
// the standard streams never are).
bool StreamAtEnd(int slot);
// The current position; 0 for slot 0, -1 for a free slot.
int64_t StreamTell(int slot);
// 0, or 130 when the slot is free, a standard stream, or the position is
// negative.
Status StreamSeek(int slot, int64_t position);

// Reads from `position` (-1: the current position) into buffer[0..size).
// Nothing is read at or past the end. The standard streams ignore the
// position and are read one byte at a time.
//
// Block mode (count >= 0): up to min(count, size) bytes; the count read
// (less than asked at the end of the file), or -1 when nothing could be read.
//
// Line mode (count -1): one line. A CR LF pair ends a line; otherwise a lone
// CR or a lone LF does (so LF CR gives an empty line next). The last line
// needs no terminator; a Ctrl-Z (26) that ends the file is not data. Returns
// the line's length without its terminator and leaves the stream after the
// terminator; a NUL follows the line in the buffer when there is room. -1
// when no data is left, or when the line is longer than the buffer: then a
// file stream is left at the start of that line (nothing is lost; read it
// again with a larger buffer or StreamReadNew), while standard input, which
// cannot go back, has the rest of that line dropped.
//
// REQUIRES: buffer != nullptr or size == 0.
int StreamRead(int slot, int64_t position, int count, char* buffer, size_t size);
// The same into a new text on the string area. The error slice 130 when
// nothing could be read (the end, or a failing disk), 145 when the line or
// the count does not fit the string area.
Slice StreamReadNew(int slot, int64_t position, int count);
// Writes at `position` (-1: at the end) in pieces of at most 512 bytes: n,
// or -1 after any short write (the bytes before it are written).
int StreamWrite(int slot, int64_t position, const void* data, size_t n);
int StreamWrite(int slot, int64_t position, Slice bytes);
// 0 when the whole text was written, -1 otherwise.
int StreamWriteAll(int slot, int64_t position, Slice text);
// Forces what was written to the disk itself (power loss, not just a killed
// process): 0, or 130.
Status StreamSync(int slot);

// ---- Whole files ------------------------------------------------------------

// `count` bytes from `offset` (count -1: to the end) as a new text: 163 for a
// bad path, 164 when the file cannot be opened, 145 when the text would not
// fit the free string area (or a text's 65535 bytes), 130 when the read
// fails. An offset at or past the end gives an empty text.
Slice FileRead(Slice path, int64_t offset, int count = -1);
// The whole file with every CR LF, then every remaining LF, replaced by
// `separator`.
Slice FileReadLines(Slice path, char separator);
// Writes at `position`: -1 appends, -2 replaces the whole file, any other
// position writes there. The file is created when missing. Returns the bytes
// written, or -1. Replacing writes the new contents beside the file and
// puts them in its place only once complete, so a failed replace leaves the
// old contents whole.
int FileWrite(Slice path, int64_t position, Slice bytes);
// 0, or 131 when fewer bytes were written.
Status FileWriteChecked(Slice path, int64_t position, Slice bytes);
// The length in bytes, 0 when the file cannot be opened.
int64_t FileSize(Slice path);

// ---- File system -------------------------------------------------------------

// 0, or -1 (a missing file is not recorded as an error).
int FileDelete(Slice path);
// 0, or -1: the old file is missing (164), the new name is taken (165; a
// rename never overwrites a file), or the system refused (175, 131).
int FileRename(Slice old_path, Slice new_path);
// 0, or 164 when nothing matches the path or pattern ('*' and '?' in the
// last component, matched without regard to letter case).
Status FileExists(Slice path);
// The names of the entries matching a pattern, each followed by a NUL except
// the last, sorted without regard to letter case; the error slice 164 when
// none match, 163 for a bad pattern.
Slice FileList(Slice pattern);
// The size from the folder entry of a path or the first match of a pattern;
// -1 when there is none.
int64_t FileLength(Slice path);

enum FileTimeKind : int { kFileCreated = 0, kFileAccessed = 1, kFileWritten = 2 };
enum FileTimeForm : int { kFileTimeOfDay = 0, kFileDate = 1 };
// The local time of day in milliseconds (form 0) or the date number
// year * 10000 + month * 100 + day (form 1); -1 when there is no such file.
// Linux file systems without a birth time report the older of the change
// and modification times as the creation.
int64_t FileTime(Slice path, int kind, int form);

// Attribute bits of a folder entry, the Linux reading of the other
// platform's bits.
enum FileAttributeBits : int {
  kAttrReadOnly = 0x01,  // this process may not write it
  kAttrHidden = 0x02,    // the name begins with '.'
  kAttrSystem = 0x04,    // neither a file nor a folder: device, pipe, socket
  kAttrFolder = 0x10,
  kAttrArchive = 0x20,   // an ordinary file
};
// The bits, or -1 when there is no such file.
int FileAttributes(Slice path);

// 0, or 163 (bad path), 164 (no such folder), 175 (not allowed).
Status DirChange(Slice path);
// Creates a folder and its missing parents: 0 (also when it exists), or -1.
int DirMake(Slice path);
// The current folder in runtime form ("\home\ana\shop"); empty when it
// cannot be read or is longer than a path may be.
Slice DirCurrent();
// The value of an environment variable, with the other platform's names
// mapped (platform/environment.h); empty when unset.
Slice EnvValue(Slice name);
// A file name no other call or process is using, without folder: the
// generated part has no dots, then "." and the extension (nothing when the
// extension is empty). A file of that name in the current folder is deleted
// first.
Slice TempName(Slice extension);

// ---- Building paths -------------------------------------------------------------

// Both parts with '/' turned into '\'; a '\' is put between them when the
// directory is not empty and does not end in '\' and the name is not empty
// and does not begin with '\'.
Slice PathJoin(Slice directory, Slice name);
// name "." extension; the name alone when the extension is empty.
Slice NameWithExt(Slice name, Slice extension);

enum PathParts : int { kPartDrive = 1, kPartDirectory = 2, kPartName = 4, kPartExtension = 8 };
// The selected parts of a path: the drive is everything up to and including
// the first ':'; the directory lies between the drive and the last '\'; the
// name follows up to the last '.'; the extension follows that '.' only when
// it comes after the last '\'. When the name is selected with the drive or
// the directory, a '\' goes between them unless the text so far ends in
// ':', and always when the directory is selected and the path has a '\' (so
// the parts 1, 2 and 4 of "C:\FILE" stay rooted). Selecting the extension
// adds "." and the extension. '/' separates like '\'.
Slice PathPart(Slice path, int parts);

// File-kind extensions by number: 1 "FD", 2 "DIR", 3 "NDX", 4 "TMP", 5 "TXT";
// 0 and unknown numbers give no extension. Adding 0x80 gives it in lower
// case.
enum FileKind : int {
  kKindNone = 0,
  kKindStructure = 1,
  kKindRecords = 2,
  kKindIndex = 3,
  kKindTemporary = 4,
  kKindText = 5,
  kKindLowerCase = 0x80,
};
Slice KindExtension(int kind);

}  // namespace tessaly
