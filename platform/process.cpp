#include "platform/process.h"

#include <unistd.h>

#include <cerrno>

#include "platform/encoding.h"
#include "platform/env.h"
#include "platform/files.h"

namespace tessaly::platform {
namespace {

std::vector<std::string> NativeArguments(const std::vector<std::string>& argv) {
  std::vector<std::string> out;
  out.reserve(argv.size());
  for (const std::string& a : argv) out.push_back(Cp1252ToUtf8(a));
  const std::string& program = argv[0];
  bool has_folder = program.find_first_of("\\/") != std::string::npos ||
                    (program.size() >= 2 && program[1] == ':');
  if (has_folder) out[0] = NativePath(program);
  return out;
}

}  // namespace

int StartProgram(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return EINVAL;
  return CurrentEnv().Spawn(NativeArguments(argv), /*wait=*/false, nullptr);
}

int RunProgram(const std::vector<std::string>& argv, int* exit_code) {
  if (argv.empty() || argv[0].empty()) return EINVAL;
  return CurrentEnv().Spawn(NativeArguments(argv), /*wait=*/true, exit_code);
}

int ProcessId() { return static_cast<int>(::getpid()); }

std::string ExecutablePath() {
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return std::string();
  return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace tessaly::platform
