// The runtime log: the application code + "log.txt" in the current folder,
// or the file named by LogSetName (string table 9, slot 10).
//
// Two kinds of writing:
//   LogLine   one line, kept only when its level bits meet `_TRACE`;
//   LogEntry  a framed entry, always written:
//
//     *****************************\r\n
//      Date:MM-DD-YYYY - Time:HH:MM - User:0\r\n
//     <text>\r\n
//     **********************\r\n
//     \r\n
//
// Every write opens the file for appending and hands it one write, so
// entries of two processes never interleave within a line and what was
// logged survives the process being killed right after.
#pragma once

#include "core/slice.h"

namespace tessaly {

inline constexpr char kLogNameFormat[] = "%slog.txt";
inline constexpr int kLogNameSlot = 10;  // of string table 9
inline constexpr char kLogBanner[] =
    "*****************************\r\n Date:%s - Time:%s - User:%s\r\n";
inline constexpr char kLogTrailer[] = "\r\n**********************\r\n\r\n";

// The log file in use: the name set by LogSetName, else the application
// code + "log.txt" (in the current folder). On the string area.
Slice LogFileName();

// Makes `name` the log file and deletes any file of that name, so that the
// log starts empty each time a name is set. An empty name goes back to the
// application's log (nothing is deleted then). 159 when the string table
// is full.
Status LogSetName(Slice name);

// Appends `text` and CR LF to the log when `level` and `_TRACE` have a bit
// in common. An error slice is written as "Error #" and its status number.
// A log that cannot be written is passed over: logging never stops the
// work it reports on.
void LogLine(Slice text, int level);

// Appends a framed entry (banner with today's date in date form 2, the time
// of day as HH:MM and the user "0"; the text; the closing line) to `file`,
// or to the log file when `file` is empty. 164 with the file name when it
// cannot be opened, 131 when the write falls short.
Status LogEntry(Slice text, Slice file);

}  // namespace tessaly
