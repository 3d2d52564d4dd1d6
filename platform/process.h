// Starting other programs: an argument vector, never a shell, so no text of
// an application is ever read as shell syntax.
#pragma once

#include <string>
#include <vector>

namespace tessaly::platform {

// argv in Windows-1252. A program named with a folder (it holds '\', '/' or
// a drive) is a runtime path and is found like a file; a bare name is looked
// for in PATH. The other arguments pass as they are, in UTF-8.
//
// Starts the program and returns at once: 0, or errno (ENOENT when the
// program cannot be found).
int StartProgram(const std::vector<std::string>& argv);
// Starts the program and waits for it; `exit_code` gets its exit code.
int RunProgram(const std::vector<std::string>& argv, int* exit_code);
int ProcessId();
// The Linux path of the running program; empty when it cannot be read.
std::string ExecutablePath();

}  // namespace tessaly::platform
