// Backup, restore and reorganisation of data files, and the copying of
// single files (processes "Copy" and "Reorg").
//
// Backup (BackupRun 0). The user chooses a folder, starting at the backup
// folder (folder 7: the current folder, "Backups", then the database host
// and name), which is created with its parents first. Every data file's
// record file and then its index file are copied to the chosen folder
// joined with the file's own path, so
//     /srv/shop/data/customers.DIR  ->  <chosen>/srv/shop/data/customers.DIR
// An open file is committed first, so its index on the disk follows its
// records.
//
// Restore (BackupRun 1). The user chooses a record file of a backup; its
// name without folder and extension must be a data file of the application
// (163 otherwise), and its length a whole number of that file's records.
// That record file and the index file beside it replace the file's own; a
// file this process holds open is closed for it and opened again after.
// Without an index beside it the index is rebuilt from the restored records.
//
// Copy rule (`_AUXSTAT` bit 512: copy only what changed). Before a backup
// copies a record file it compares it with the copy already in the backup
// folder by the date and the two-minute slot (120000 ms) of their last write
// and by their sizes:
//     same date, same slot, same size  not copied, 124; `_COUNT` + 1
//     the source older than the copy   not copied, 127; `_HCOUNT` + 1
//     otherwise, or no copy yet        copied
// A record file that is not copied keeps its index file from being copied
// too; one that is copied takes its index file with it whatever that
// compares like. Copies keep their source's time of last write, so a second
// backup right after the first copies nothing. A restore always copies: it
// exists to put an older state back.
//
// Copies never leave a damaged target: the copy is written beside the target
// under a temporary name, forced to the disk and renamed over the target
// only once complete.
#pragma once

#include <cstdint>
#include <functional>

#include "core/slice.h"

namespace tessaly {

enum BackupMode : int { kBackupCopy = 0, kBackupRestore = 1, kBackupRemoved = 2 };

inline constexpr int64_t kCopyUnit = 0x3000;  // bytes per read and write
inline constexpr int kCopySlotMs = 120000;    // time slot of the copy rule
inline constexpr uint16_t kAuxStatCopyChanged = 0x200;

// Called after each unit with the bytes the copy moves in all and the size
// of the unit just written; a non-zero answer stops the copy (122).
using FileCopyProgress = std::function<int(int64_t total, int64_t unit)>;

// Backup (0), restore (1); 2 is no longer available: 148. 122 when
// the user chooses no folder or file. Reports completion (message 0005)
// when every file was copied or left alone by the copy rule; stops at the
// first failure of 128 and more and answers it.
Status BackupRun(int mode);

// Offers the data files in the selection of message 0085 "Table Selection"
// and reorganises the chosen one (122 when none is chosen).
Status ReorganizeChosen();
// Reorganises `file` under a progress display; a file this process holds
// open is opened again afterwards with the same flags. Reports completion.
Status ReorganizeFile(int file);

// The copy rule for `source` against an existing `target`: 0 (copy), 124
// or 127, counting in `_COUNT` or `_HCOUNT`.
Status CopyRuleCheck(Slice source, Slice target);

// Copies `source` over `target` (see the header comment), applying the copy
// rule when `_AUXSTAT` bit 512 is set. The target's folder is created with
// its parents. With `progress` the copy goes in units of 12288 bytes.
// 163 when a name is missing, 164 for a missing source, 175 when access is
// denied, 131 when a read or write falls short, 122 when the progress
// action stopped it, 65535 for any other failure; the detail names the file.
Status FileCopy(Slice source, Slice target, const FileCopyProgress& progress = {});

// Copies `count` bytes (-1: to the end of the source) from `source_offset`
// of `source` into `target` at `target_offset`, in units of 12288 bytes,
// calling `progress` after each. The target is created when missing and
// written in place: this is a part of a copy, not a whole one. Failures as
// FileCopy.
Status FileCopyRange(Slice source, int64_t source_offset, Slice target, int64_t target_offset,
                     int64_t count, const FileCopyProgress& progress = {});

// Backs up one data file into `folder` (as BackupRun does for each file):
// 0, 124 or 127 (the copy rule left it), or a failure.
Status BackupDataFile(int file, Slice folder);
// Restores one data file from the record file `records` (and the index
// file beside it).
Status RestoreDataFile(int file, Slice records);

// Registers the processes "Copy" (parameters: the mode, 0 when empty) and
// "Reorg" (parameters: a data file's name or number, else the selection)
// with the process dispatcher.
void InstallBackupProcesses();

}  // namespace tessaly
