#include "data/viewer.h"

#include <string>
#include <vector>

#include "core/messages.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/choices.h"
#include "platform/encoding.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process.h"

namespace tessaly {

namespace {
constexpr int kChooseSelectionMessage = 49;
}  // namespace

Slice ViewerProgram(int viewer) {
  if (viewer < 1 || viewer > kViewerCount) return Slice();
  std::string name = std::string(kViewerVariable) + std::to_string(viewer);
  std::string program = platform::EnvironmentValue(name);
  // An override of blanks only would start nothing: the default stays.
  if (program.find_first_not_of(" \t") == std::string::npos) program = kDefaultViewer;
  return Area().Push(Slice::Of(program));
}

int ViewerStart(int viewer, Slice argument) {
  if (!argument.ok()) return -1;
  AreaMark mark;
  Slice program = ViewerProgram(viewer);
  if (program.empty()) {
    (void)SetDetail(Status::kChildExecError, Slice::Of("viewer " + std::to_string(viewer)));
    return -1;
  }
  std::vector<std::string> argv = {std::string(Trim(program).view())};
  // Applications quote file names for the other platform's command line.
  Slice value = Unquote(Trim(argument));
  if (!value.empty()) {
    std::string text = value.str();
    // The start converts every argument to UTF-8; a Linux path is one already.
    if (platform::FileExists(text)) text = platform::Utf8ToCp1252(platform::NativePath(text));
    argv.push_back(text);
  }
  if (platform::StartProgram(argv) != 0) {
    (void)SetDetail(Status::kChildExecError, Slice::Of(argv[0]));
    return -1;
  }
  return 0;
}

Slice FolderChoose(Slice start, Slice title) {
  AreaMark mark;
  Slice shown = title.ok() && !Trim(title).empty() ? title : Message(kChooseSelectionMessage);
  Slice chosen = CurrentChoices().ChooseFolder(start.ok() ? start : Slice(), shown);
  return mark.Keep(chosen.ok() ? chosen : Slice());
}

}  // namespace tessaly
