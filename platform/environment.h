// Environment variables as the applications name them.
//
// Applications read %NAME% variables of the other platform. A variable set
// under that name (or its upper-case spelling) wins; otherwise the names
// below have their Linux counterpart:
//
//   TEMP, TMP                        $TMPDIR, else /tmp
//   USERPROFILE, HOMEPATH            $HOME
//   HOMEDRIVE, SYSTEMDRIVE           empty (paths carry no drive on Linux)
//   APPDATA                          $XDG_CONFIG_HOME, else $HOME/.config
//   ALLUSERSPROFILE                  /etc/xdg
//   ProgramFiles, CommonProgramFiles, SystemRoot   /usr
//   USERNAME                         $USER, else $LOGNAME
//
// The table names are matched without regard to letter case.
#pragma once

#include <string>
#include <string_view>

namespace tessaly::platform {

// The value in Windows-1252; empty when the variable is neither set nor
// mapped.
std::string EnvironmentValue(std::string_view name);

}  // namespace tessaly::platform
