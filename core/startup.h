// Start-up and shutdown: the entry point's sequence, the application
// callback, the font table and default screen size, the parameter files,
// the TRACE diagnostics, the session status file and the main menu run.
//
// The sequence (RunEntryPoint):
//    1. string area of 512 slots; the application's process dispatcher;
//       default screen size 80 x 24; font entry 1 "Lucida Console" 24/12/400.
//    2. Start(): the instance handle has no counterpart on Linux.
//    3. environment: string tables, runtime arrays and system variables
//       created afresh; hook 0; slot 0 the locale texts; slot 1 the
//       normalised command line (158 when it is longer than
//       kCommandLineLimit).
//    4. application callback, phase 1 (initialise); slot 4 "ES" when still
//       empty.
//    5. `_TRACE` = option TRACE | 1; slot 2 the APNAME option or the
//       application identifier (keeping the second ':'-item of the previous
//       slot 2); slot 3 the title; folders resolved in mode 1.
//    6. with start flag 0x02 (or 0x08 and another application): the
//       dictionary of the application code (156 for a code shorter than 2
//       characters), tried again after folder resolution mode 2; with flag
//       0x04 a missing one (156, 164) is no error; then the file variables.
//       The locale texts of slot 0 are stored again in the language now
//       settled.
//    7. status 0: the window font from "KVFONT.PPN".
//    8. the TRACE diagnostics (121 ends start-up silently).
//    9. status 0 or 156: application callback, phase 2 (start); its status
//       replaces the current one.
//   10. status 0: error detail and last error record cleared.
//   11. a status above 121 is shown; a non-zero status ends the run with it
//       as the exit code.
//   12. the main menu name: the entry point's, else the APSTART option,
//       else "\\MENU" filled with the application code; without extension
//       it is looked for as ".PMT", then ".PPN", in folder 2.
//   13. the main menu run: the INPUT file, then the main menu window, or the
//       RUN request instead (batch mode: no window is opened).
//   14. the session status file marked clean.
//   15. shutdown: application callback phase 3; data files closed;
//       variables, runtime arrays released; memory blocks still in use
//       reported (178). The exit code is the final status when it is 128 or
//       more, else 0; when the run ended with 0, the status of phase 3, or
//       failing that the release status, is the final status.
//
// Messages go through the installed message box (core/message_box.h): in
// a run without windows the headless box writes them to standard error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/process.h"
#include "core/slice.h"

namespace tessaly {

// ---- The application --------------------------------------------------------

// Called with start flags x 16 + phase; answers with a status.
using ApplicationCallback = Status (*)(int32_t argument);
enum ApplicationPhase : int { kPhaseInitialise = 1, kPhaseStart = 2, kPhaseEnd = 3 };
enum StartFlags : uint8_t {
  kStartLoadDictionary = 0x02,
  kStartDictionaryOptional = 0x04,
  kStartDictionaryIfOther = 0x08,
};

inline constexpr char kApplicationIdentifier[] = "TYRBNQD1:VizuzIzeri";
inline constexpr char kApplicationTitle[] = "Tessaly";
inline constexpr char kMainMenuName[] = "P1MENU";
inline constexpr int kRuntimeStringSlots = 512;

struct StartupParameters {
  // The whole command line, program first (see JoinArguments).
  std::string command_line;
  std::string application_id = kApplicationIdentifier;
  std::string title = kApplicationTitle;
  uint8_t flags = kStartLoadDictionary;
  ApplicationCallback callback = nullptr;  // null: an application that does nothing
  ProcessDispatcher dispatcher = nullptr;  // null: the runtime's own
  std::string main_menu = kMainMenuName;
};

// ---- Font table and screen size -------------------------------------------------

struct FontEntry {
  int height = 0;
  int width = 0;
  int weight = 0;  // 400 normal, 700 bold; 0 when `bold` says it
  bool bold = false;
  std::string face;  // Windows-1252
};
inline constexpr int kFontLimit = 6;
inline constexpr char kFontFileName[] = "KVFONT.PPN";
// Registers the next entry: its number (1-6), or 0 when six exist (the
// entry is ignored).
int RegisterFont(const FontEntry& font);
// Entry n (1-6); null when absent.
const FontEntry* GetFont(int n);
int FontCount();
void ClearFonts();
// The entry of the window font read from "KVFONT.PPN"; 0 when none.
int WindowFontEntry();
// Reads "KVFONT.PPN" through the folders of slot 5 and registers its first
// item (height;width;BOLD;face) as the window font. A missing file, or a
// first item without a height and a face, leaves the fonts as they are.
Status LoadWindowFont();
// The ':'-items of "KVFONT.PPN" (its non-blank lines); `path` gets the file
// found. 164 with the file name when there is none.
Status ReadFontItems(std::vector<std::string>* items, std::string* path);
// Registers (or replaces) the window font from one item.
void SetWindowFont(Slice item);

struct ScreenSize {
  int columns = 80;
  int lines = 24;
  int offsets[4] = {0, 0, 0, 0};
};
// 80 x 24 with the offsets cleared.
void SetDefaultScreenSize();
const ScreenSize& DefaultScreenSize();

// ---- Start-up steps ----------------------------------------------------------------

// Step 3: core tables, system variables, hook 0, locale texts and the
// normalised command line in slot 1.
Status InitialiseEnvironment(Slice command_line);
// Slot 0: message 0019, NUL, message 0117, NUL, blank, in the current
// language.
Status StoreLocaleTexts();

// The parameter files the embedded application reads in its start phase.
inline constexpr char kApplicationParameterFiles[] =
    "%APPPATH_DATA%\\%APNAME%CLCUSR.%DATABASE_HOST%.%DATABASE_DBNAME%.DAT,%APNAME%CLCUSR.DAT,"
    "%APPPATH_DATA%\\%APNAME%PARINI.DAT,%APNAME%CLCFIX.DAT;1,KVCLCUSR.DAT,"
    "%APPPATH_DATA%\\KVCLCUSR.DAT";
inline constexpr char kLanguageVariablesMask[] = "\\\\LANGVARS.DAT";
// Loads the comma-separated parameter files, in order, while the status is
// 0: each name is expanded (%NAME%), found through the folders of slot 5,
// read with its lines joined by ';' and evaluated; only statuses of 128 and
// more fail (the file name is appended to the detail). A missing file is
// skipped unless marked ";1" (then 164 with its name). Then the language
// variables.
Status LoadParameterFiles(Slice list);
// "<code>LANGVARS.DAT" found through slot 5: every line NAME=NNNN assigns
// the text of message NNNN to the text variable NAME.
Status LoadLanguageVariables();

// Step 8: with `_TRACE` bit 0x100: the About box when bit 0x10 is clear;
// with bits 0x10 and 0x01 the line "0,<language>" in the log and 121.
Status TraceDiagnostics();

// ---- Session status file ----------------------------------------------------------

// "%APNAME%FSTAT.DAT": its first character is '1' while a session runs and
// '0' after a clean end. The rest of the file names the session that wrote
// it, so that a rewrite by another process is seen even within the
// second the file system's time stamp resolves.
enum SessionPhase : int { kSessionEnd = 0, kSessionStart = 1, kSessionCheck = 2 };
inline constexpr char kSessionStatusName[] = "%APNAME%FSTAT.DAT";
// start: '1' found asks message 0115; yes rebuilds every data file's index
//        and goes on, no is 122; then '1' is written and remembered.
// check: 139 (with the file as detail) when the file is not the one this
//        process wrote last; 0 when no session was started here.
// end:   '0' written, unless another process has taken the session over.
Status SessionStatus(int phase);
// The file: the expanded name found in the folders of slot 5, else in the
// first of them.
Slice SessionStatusFile();
// Forgets the remembered session (tests).
void ForgetSession();

// The start phase the runtime offers an application: the help folder
// "Help" under folder 2, the parameter files, then the session status
// start.
Status StandardStartPhase(Slice parameter_files);

// ---- The run ------------------------------------------------------------------------

// Steps 2-11. Shows a status above 121 before returning it.
Status Start(const StartupParameters& parameters);
// Step 12: the main menu file for `name` (see above); empty when none.
Slice MainMenuFile(Slice name);
// Step 13: the INPUT file, then the main menu window or the RUN request. A
// non-zero status is shown; 163 with neither a menu nor RUN.
Status MainMenuRun(Slice menu_file);
// Whether this run is a batch run (the RUN option is given).
bool IsBatchRun();
// Step 15 from the application's phase 3 on: returns the final status.
Status Shutdown(const StartupParameters& parameters, Status run_status);
// The exit code of a final status: itself when 128 or more, else 0.
int ExitCodeOf(Status final_status);

// The whole program: steps 1-15, or the usage or version text for --help
// and --version. Returns the process exit code.
int RunEntryPoint(const StartupParameters& parameters);

// Appends `line` and CR LF to the file named by the OUTPUT option; 0 when
// the option is absent, 131 with the file as detail when the write fails.
Status AppendOutputLine(Slice line);

// The version printed by --version.
void SetProgramVersion(const char* version);
const char* ProgramVersion();

}  // namespace tessaly
