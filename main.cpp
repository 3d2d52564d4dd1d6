// The tessaly executable: the one place that wires every layer together.
//
// It installs what the layers above the core provide to start-up (variables
// and expressions, the dictionary and data files, stream files, the line
// reader of the language files), builds the command line from the program's
// arguments, and runs the start-up sequence with the embedded application's
// callback and process dispatcher (app/tessaly_app.h).

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/tessaly_app.h"
#include "core/command_line.h"
#include "core/messages.h"
#include "core/process.h"
#include "core/startup.h"
#include "core/startup_services.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/backup.h"
#include "data/builtins_data.h"
#include "data/datafile.h"
#include "data/definitions.h"
#include "data/dictionary.h"
#include "data/log.h"
#include "data/record_ops.h"
#include "data/relup.h"
#include "data/streams.h"
#include "data/structures.h"
#include "expr/evaluator.h"
#include "expr/variables.h"
#include "menus/menu.h"
#include "platform/encoding.h"
#include "platform/process.h"
#include "ui/accept.h"
#include "ui/choose.h"
#include "ui/qt/qt_windows.h"
#include "proc/procedures.h"
#include "ui/screen.h"

#ifndef TESSALY_VERSION
#define TESSALY_VERSION "0"
#endif

namespace tessaly {
namespace {

// ---- Services of the expression and data layers ----------------------------------

void CreateVariables() { ResetVariables(); }

Status DefineEveryFileVariable() {
  for (int file = 1; file <= FileCount(); ++file) {
    AreaMark mark;
    Slice name = FileName(file);
    // The variable is named after the file itself, without its folder.
    uint16_t cut = FindLast(name, "\\/", FindKind::kAnyOf);
    if (cut != kNotFound) name = Substring(name, cut + 1);
    Status status = DefineFileVariables(file, Lower(name));
    if (!status.ok()) return mark.Release(status);
  }
  return Status::kOk;
}

Status ReindexFiles() { return DataFileReorganizeAll(); }

int OpenInput(Slice path, Status* status) {
  return StreamOpen(path, kStreamReadOnly, status);
}

Slice ReadInputLine(int stream) { return StreamReadNew(stream, -1, -1); }

// The language files are read as whole lines queued on string table 37.
int ReadLanguageLines(Slice file_name) { return DefinitionLines(file_name, 0, 0); }

void InstallLayers() {
  SetLineFileReader(&ReadLanguageLines);
  UseStructuresForExpressions();
  InstallRecordOperations();
  UseStructuresForDataFiles();
  InstallRelationalUpdates();
  InstallBackupProcesses();
  InstallDataBuiltinFunctions();
  InstallProcedures();
  InstallCaptureWindows();

  StartupServices services;
  services.create_variables = &CreateVariables;
  services.release_variables = &ResetVariables;
  services.evaluate_for_errors = &EvaluateForErrors;
  services.evaluate_to_text = &EvaluateToText;
  services.assign_text = &AssignText;
  services.load_dictionary = &DictionaryLoad;
  services.define_file_variables = &DefineEveryFileVariable;
  services.reindex_files = &ReindexFiles;
  services.close_data_files = &DataFileCloseAll;
  services.open_input = &OpenInput;
  services.read_input_line = &ReadInputLine;
  services.close_input = &StreamClose;
  services.log_line = &LogLine;
  services.screen_field_hook = &ScreenFieldHook;
  services.run_main_menu = &RunMainMenuWindow;
  services.choose_item = &ChooseItem;
  services.choose_items = &ChooseItems;
  InstallStartupServices(services);
}

bool HasDisplay() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace
}  // namespace tessaly

// An interrupt (Ctrl-C, or SIGINT sent to a batch run) breaks the running
// procedure at its next line, which ends its run with 122 after its
// cleanup. One while no procedure runs, or a second one before the first
// was taken, ends the program as usual.
extern "C" void OnInterrupt(int signal) {
  if (tessaly::ProcedureRunDepth() > 0 && !tessaly::ProcedureBreakPending()) {
    tessaly::RequestProcedureBreak();
    return;
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

int main(int argc, char** argv) {
  using namespace tessaly;
  SetProgramVersion(TESSALY_VERSION);
  InstallLayers();
  std::signal(SIGINT, &OnInterrupt);

  std::string program = platform::ExecutablePath();
  if (program.empty()) program = argc > 0 ? argv[0] : "tessaly";
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);

  StartupParameters parameters =
      TessalyStartupParameters(JoinArguments(platform::Utf8ToCp1252(program), arguments));
  // Windows only where a display exists and the run is not a batch run (RUN
  // given), so that batch runs never need one.
  bool batch = false;
  {
    AreaMark mark;
    batch = !CommandLineValue(Slice::Of(parameters.command_line), Slice("RUN")).empty() ||
            AsksForUsage(Slice::Of(parameters.command_line));
  }
  if (!batch && HasDisplay()) InstallQtWindows(&argc, argv);
  int exit_code = RunEntryPoint(parameters);
  RemoveQtWindows();
  StreamCloseAll();
  return exit_code;
}
