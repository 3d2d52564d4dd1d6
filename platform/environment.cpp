#include "platform/environment.h"

#include <optional>

#include "platform/encoding.h"
#include "platform/env.h"

namespace tessaly::platform {
namespace {

enum class Source { kTemp, kHome, kEmpty, kConfig, kSystemConfig, kUsr, kUser };

struct Mapping {
  const char* name;
  Source source;
};

// The other platform's variables and where their Linux counterparts come
// from.
constexpr Mapping kMappings[] = {
    {"TEMP", Source::kTemp},
    {"TMP", Source::kTemp},
    {"USERPROFILE", Source::kHome},
    {"HOMEPATH", Source::kHome},
    {"HOMEDRIVE", Source::kEmpty},
    {"SYSTEMDRIVE", Source::kEmpty},
    {"APPDATA", Source::kConfig},
    {"ALLUSERSPROFILE", Source::kSystemConfig},
    {"ProgramFiles", Source::kUsr},
    {"CommonProgramFiles", Source::kUsr},
    {"SystemRoot", Source::kUsr},
    {"USERNAME", Source::kUser},
};
static_assert(sizeof kMappings / sizeof kMappings[0] == 12);

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCp1252(static_cast<unsigned char>(a[i])) !=
        FoldCp1252(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string Variable(Env& env, const char* name) {
  std::optional<std::string> v = env.GetVariable(name);
  return v ? *v : std::string();
}

std::string Mapped(Env& env, Source source) {
  switch (source) {
    case Source::kTemp: {
      std::string dir = Variable(env, "TMPDIR");
      return dir.empty() ? "/tmp" : dir;
    }
    case Source::kHome:
      return Variable(env, "HOME");
    case Source::kEmpty:
      return "";
    case Source::kConfig: {
      std::string dir = Variable(env, "XDG_CONFIG_HOME");
      if (!dir.empty()) return dir;
      std::string home = Variable(env, "HOME");
      return home.empty() ? "" : home + "/.config";
    }
    case Source::kSystemConfig:
      return "/etc/xdg";
    case Source::kUsr:
      return "/usr";
    case Source::kUser: {
      std::string user = Variable(env, "USER");
      return user.empty() ? Variable(env, "LOGNAME") : user;
    }
  }
  return "";
}

}  // namespace

std::string EnvironmentValue(std::string_view name) {
  if (name.empty()) return "";
  Env& env = CurrentEnv();
  std::string utf8 = Cp1252ToUtf8(name);
  if (std::optional<std::string> v = env.GetVariable(utf8)) return Utf8ToCp1252(*v);
  std::string upper = utf8;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  if (upper != utf8) {
    if (std::optional<std::string> v = env.GetVariable(upper)) return Utf8ToCp1252(*v);
  }
  for (const Mapping& m : kMappings) {
    if (SameIgnoringCase(name, m.name)) return Utf8ToCp1252(Mapped(env, m.source));
  }
  return "";
}

}  // namespace tessaly::platform
