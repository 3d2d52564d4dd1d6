// The command line: how it is built from the program's arguments, normalised,
// kept in environment slot 1, and read option by option.
//
// Building. The program path comes first (quoted), then every argument
// joined with single blanks, converted from UTF-8 to Windows-1252; a final
// character whose code is 13 or less is dropped. An argument NAME=value (or
// NAME:value) whose value holds '/', ':' or a blank and is not quoted
// already gets its value enclosed in double quotes first: option values end
// at those characters outside quotes, which would cut every Linux path
// ("--DPATH=/home/ana/tienda" becomes --DPATH="/home/ana/tienda").
//
// Normalising. Trim blanks and tabs at both ends, reduce every run of blanks
// to one blank, then read every " --" and every " -" as " /", so that
// --APNAME=X, -APNAME=X and /APNAME=X are one option. Quoted parts are never
// changed.
//
// Option value search. In the normalised line the name followed by ':' is
// looked for first, then the name followed by '=' (case-sensitive, outside
// quotes), counting a match only at the start or after one of ": &/". The
// value runs to the next ':', blank, '&' or '/' outside quotes, or the end;
// it is trimmed and loses one pair of enclosing quotes (a name holding '%'
// keeps them). When nothing is found the name is tried again lower-cased
// (when its first character is an upper-case letter or below 'a') or
// upper-cased (otherwise): TRACE=257, trace:257 and /TRACE=257 all answer
// TRACE.
#pragma once

#include <string>
#include <vector>

#include "core/slice.h"

namespace tessaly {

// The options, numbered from 1 as in kOptionNames.
enum CommandOption : int {
  kOptHelp = 1,
  kOptApName,
  kOptApStart,
  kOptDPath,
  kOptScrWid,
  kOptScrHig,
  kOptInput,
  kOptOutput,
  kOptFile,
  kOptIndex,
  kOptDevice,
  kOptRun,
  kOptMode,
  kOptTrace,
  kOptConfig,
  kOptHost,
  kOptDatabase,
  kOptUser,
  kOptPassw,
};
inline constexpr int kOptionCount = 19;
inline constexpr char kOptionNames[] =
    "?;HELP,APNAME,APSTART,DPATH,SCRWID,SCRHIG,INPUT,OUTPUT,FILE,INDEX,DEVICE,RUN,MODE,TRACE,"
    "CONFIG,HOST,DATABASE,USER,PASSW";

// Command lines longer than this are refused with 158 (BADCOMMANDLINE): the
// environment table shares one 64 KiB store with every other string table.
inline constexpr size_t kCommandLineLimit = 8191;

// The name of option n (1-19); empty outside.
Slice OptionName(int n);

// The command line of a program started with `args`: `program` (the
// executable's path, runtime form) quoted, then the arguments as described
// above, in Windows-1252. Not normalised.
std::string JoinArguments(const std::string& program, const std::vector<std::string>& args);
// One argument with its NAME=value value quoted when needed (see above).
std::string QuoteOptionValue(const std::string& argument);

// The normalised form of a command line, on the string area.
Slice NormaliseCommandLine(Slice text);

// The value of option `name` in `command_line` by the option value search;
// empty when absent.
Slice CommandLineValue(Slice command_line, Slice name);
// The same in the stored command line (environment slot 1).
Slice CommandLineValue(Slice name);
// The value of option n (1-19) from slot 1; empty when absent.
Slice Option(int n);
// The 1-based position of option n's value in the comma-separated list; 0
// when the option is absent or its value is not in the list.
int OptionInList(int n, Slice list);
// An option value read as a number: 1 for a yes-word, else its decimal
// value (0 when absent).
int OptionNumber(int n);

// The first blank-separated word of the command line (the program),
// trimmed and unquoted.
Slice CommandLineProgram(Slice command_line);

// Whether a word of the command line after the program asks for the usage
// text ("/?", "/HELP", "/H" in any case, however many dashes) or for the
// version ("/VERSION", "/V").
bool AsksForUsage(Slice command_line);
bool AsksForVersion(Slice command_line);
// The usage text printed by `tessaly --help` (UTF-8, ends with a newline).
const char* UsageText();

}  // namespace tessaly
