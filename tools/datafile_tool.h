// What the data file commands share: reading the command line that names a
// data file, and defining that file for the engine.
//
// A file is named in one of two ways:
//
//   --dictionary CODE [--folders LIST] FILE
//       the application's dictionary (CODE + "DICC.DAT", found as it is or in
//       the comma-separated folders) defines the files; FILE is a file
//       number or a file name of the dictionary.
//   --record-length L --keys "1:10;11:20,31:5" PATH
//       the layout given by hand: keys separated by ';', segments of a key
//       by ',', each a 1-based offset and a length; PATH is the data file
//       without extension (or with ".DIR").
#pragma once

#include <string>
#include <vector>

namespace tessaly::tools {

struct DataFileArgs {
  int file = 0;          // the engine's file number, once set up
  int key = 1;           // --key K: the key order to use
  bool numbers = false;  // --numbers: print record numbers
  std::string error;     // why the command line or the set-up failed
};

// Reads the command line (argv[1..]) and defines the file for the engine.
// False with args->error set when that fails.
bool SetUpDataFile(int argc, char** argv, DataFileArgs* args);
// "164 File Not Found: <detail>" for a status.
std::string Describe(unsigned code);
// Writes a runtime (Windows-1252) text to standard output as UTF-8.
void PrintText(const std::string& text);

}  // namespace tessaly::tools
