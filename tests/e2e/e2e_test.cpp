// The tessaly executable in batch mode, as a user runs it: real arguments,
// a copy of a fixture application folder, no display, and its exit code,
// standard output, standard error and files checked afterwards.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int exit_code = -1;  // -1: killed or not started
  std::string out;
  std::string err;
};

// Runs the executable with `args` in `cwd`, a small environment plus
// `extra`, and no display. A run that does not end within the limit is
// killed: a batch run must never wait for anyone.
Outcome RunTessaly(const std::vector<std::string>& args, const std::string& cwd,
            const std::map<std::string, std::string>& extra = {}) {
  std::map<std::string, std::string> env = {
      {"PATH", "/usr/bin:/bin"}, {"HOME", cwd}, {"TMPDIR", cwd}, {"LANG", "C.UTF-8"}};
  for (const auto& [k, v] : extra) env[k] = v;
  std::vector<std::string> env_text;
  for (const auto& [k, v] : env) env_text.push_back(k + "=" + v);
  std::vector<char*> envp, argv;
  for (std::string& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = TESSALY_EXECUTABLE;
  std::vector<std::string> arg_text = {program};
  arg_text.insert(arg_text.end(), args.begin(), args.end());
  for (std::string& a : arg_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out_pipe[2], err_pipe[2];
  Outcome outcome;
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return outcome;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, 0);
    close(out_pipe[0]);
    close(err_pipe[0]);
    if (chdir(cwd.c_str()) != 0) _exit(250);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(251);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&outcome.out, &outcome.err};
  int open_count = 2;
  bool killed = false;
  while (open_count > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    if (poll(fds, 2, static_cast<int>(left.count())) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buffer[4096];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  for (pollfd& f : fds) {
    if (f.fd >= 0) close(f.fd);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (!killed && WIFEXITED(status)) outcome.exit_code = WEXITSTATUS(status);
  return outcome;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A copy of a fixture application under a fresh folder that also serves as
// the current folder of the run.
class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tessaly-e2e-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    app_ = root_ / "tienda";
    fs::copy(fs::path(TESSALY_FIXTURES) / "apps/shop", app_, fs::copy_options::recursive);
    work_ = root_ / "work";
    fs::create_directories(work_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  Outcome Tessaly(std::vector<std::string> args,
                  const std::map<std::string, std::string>& env = {}) {
    return RunTessaly(args, work_.string(), env);
  }
  std::string Dpath() const { return "--DPATH=" + app_.string(); }

  fs::path root_, app_, work_;
};

TEST_F(E2eTest, PrintsUsageAndVersionWithoutStarting) {
  for (const char* option : {"--help", "/?", "-h"}) {
    Outcome o = Tessaly({option});
    EXPECT_EQ(o.exit_code, 0) << option;
    EXPECT_TRUE(Contains(o.out, "Usage: tessaly")) << option;
    EXPECT_TRUE(Contains(o.out, "DPATH=folder")) << option;
  }
  Outcome o = Tessaly({"--version"});
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(o.out.rfind("tessaly ", 0), 0u) << o.out;
  EXPECT_FALSE(fs::exists(app_ / "TYFSTAT.DAT"));
}

TEST_F(E2eTest, RunsARequestAndMarksTheSessionClean) {
  Outcome o = Tessaly({Dpath(), "RUN=ExpEval A=1"});
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(ReadFile(app_ / "TYFSTAT.DAT")[0], '0');
}

TEST_F(E2eTest, AcceptsEverySpellingOfAnOption) {
  const char* application_spellings[] = {"--APNAME=QQ", "/APNAME=QQ", "-APNAME=QQ", "apname=QQ",
                                         "APNAME:QQ"};
  for (const char* spelling : application_spellings) {
    Outcome o = Tessaly({Dpath(), spelling, "RUN=ExpEval 1"});
    EXPECT_EQ(o.exit_code, 164) << spelling;
    EXPECT_TRUE(Contains(o.err, "QQDICC.DAT")) << spelling << ": " << o.err;
  }
  const std::string folder_spellings[] = {"--DPATH=" + app_.string(), "DPATH:" + app_.string(),
                                          "dpath=" + app_.string(), "/DPATH=" + app_.string()};
  for (const std::string& spelling : folder_spellings) {
    Outcome o = Tessaly({spelling, "RUN=ExpEval 1"});
    EXPECT_EQ(o.exit_code, 0) << spelling << ": " << o.err;
  }
}

TEST_F(E2eTest, FindsTheApplicationBesideTheCurrentFolder) {
  // Without DPATH: "..\APPS" from the current folder.
  fs::create_directories(root_ / "APPS");
  for (const auto& entry : fs::directory_iterator(app_)) {
    fs::copy(entry.path(), root_ / "APPS" / entry.path().filename());
  }
  Outcome o = Tessaly({"RUN=ExpEval 1"});
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_TRUE(fs::exists(root_ / "APPS/TYFSTAT.DAT"));
}

TEST_F(E2eTest, ShowsTheLanguageAndTheEvaluatedParameters) {
  // ExpEval requests from an INPUT file named through %DATAPATH%: the
  // parameter file and the language variables set the decimals that the
  // About box then shows.
  WriteFile(app_ / "in.txt",
            "ExpEval _PRECIS=(GREETING$=='Hola')*3+(CANCEL$=='Cancel')\r\n"
            "\r\n"
            "Help about\r\n");
  Outcome o = Tessaly({Dpath(), "INPUT=%DATAPATH%\\in.txt", "RUN=ExpEval RATE#==21"});
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_TRUE(Contains(o.err, "[About Box]")) << o.err;
  EXPECT_TRUE(Contains(o.err, "Language: ES")) << o.err;
  EXPECT_TRUE(Contains(o.err, "Decimals: 4")) << o.err;
  EXPECT_TRUE(Contains(o.err, "Application folder: " + app_.string())) << o.err;
}

TEST_F(E2eTest, WritesTheResultsOfAnInputFile) {
  // Expressions over what the parameter files and the language variables
  // set, written with WRITE into the documents folder (the current one).
  WriteFile(work_ / "in.txt",
            "ExpEval A$=GREETING$+', '+CANCEL$\n"
            "ExpEval WRITE('%APPPATH_DOCS%\\result.txt';-1;A$+.lf$)\n"
            "ExpEval WRITE('%APPPATH_DOCS%\\result.txt';-1;ENVRON$('DPATH')+.lf$)\n"
            "ExpEval WRITE('%APPPATH_DOCS%\\result.txt';-1;FN$MASK('###.##';RATE#*2)+.lf$)\n");
  Outcome o = Tessaly({Dpath(), "INPUT=in.txt", "RUN=ExpEval 1"});
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(ReadFile(work_ / "result.txt"),
            "Hola, Cancel\r\n" + app_.string() + "\r\n 42.00\r\n");
}

TEST_F(E2eTest, BatchCapturesTakeTheirValuesFromTheInputFileAndWriteTheOutputFile) {
  // A capture described by a parameter set, whose hook runs its STEPS$, and
  // a procedure's ACCEPT: each reads the line after its request; a line
  // with fewer values leaves the default.
  WriteFile(app_ / "CAPT.PPN",
            "01 ACBOUND$=\"'Mes:':'N2':MES#,'Cliente:':'A10':CLI$:'nadie'\"\r\n"
            "01 WINNAME$=\"Periodo\":ACCEPT_PRC%=6:STEPS$=\"'ExpEval DOBLE#=MES#*2'\"\r\n");
  WriteFile(app_ / "PIDE.PRX",
            "ACCEPT \"'Importe:':'N6':IMP#,'Nota:':'A8':NOTA$:'sin nota'\",'Cobro'\r\n"
            "X=WRITE('%APPPATH_DOCS%\\res.txt';-1;CLI$+' '+FN$MASK('#';DOBLE#)+' '+FN$MASK('###';IMP#)+' '+NOTA$)\r\n");
  WriteFile(work_ / "in.txt",
            "AcceptRun CAPT,1\n"
            "4,Ana\n"
            "PrcExec PIDE\n"
            "125\n");
  Outcome o = Tessaly({Dpath(), "INPUT=in.txt", "OUTPUT=out.txt", "RUN=ExpEval 1"});
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(ReadFile(work_ / "out.txt"), "' 4','Ana'\r\n'   125','sin nota'\r\n");
  EXPECT_EQ(ReadFile(work_ / "res.txt"), "Ana 8 125 sin nota") << o.err;
}

TEST_F(E2eTest, AFailingInputLineEndsTheRunWithItsStatus) {
  WriteFile(app_ / "in.txt", "ExpEval 'A'+1\nHelp about\n");
  Outcome o = Tessaly({Dpath(), "INPUT=" + (app_ / "in.txt").string(), "RUN=ExpEval 1"});
  EXPECT_EQ(o.exit_code, 128) << o.err;
  EXPECT_TRUE(Contains(o.err, "Type Mismatch")) << o.err;
  EXPECT_FALSE(Contains(o.err, "About Box"));  // the later line never ran
}

TEST_F(E2eTest, LoadsTheLanguageFileOfTheApplication) {
  WriteFile(app_ / "KV_LANG_ES.MSJ",
            "0031 Proceso no definido\r\n0075 Acerca de\r\n0076 Tessaly %s %s\r\n");
  Outcome o = Tessaly({Dpath(), "RUN=Bogus"});
  EXPECT_EQ(o.exit_code, 163);
  EXPECT_TRUE(Contains(o.err, "Proceso no definido: Bogus")) << o.err;
  o = Tessaly({Dpath(), "RUN=Help about"});
  EXPECT_TRUE(Contains(o.err, "[Acerca de]\nTessaly 2017 Tessaly")) << o.err;
}

TEST_F(E2eTest, BadRequestsEndWithTheirStatus) {
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    const char* message;
  } cases[] = {
      {{"RUN=Bogus 1"}, 163, "Process not defined: Bogus"},
      {{}, 163, "no main menu file and no RUN option"},
      {{"RUN=FileTrans"}, 148, "FileTransWizzard"},
      {{"RUN=ExpEval 'A'-'B'"}, 147, "SINTAXERROR"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {Dpath()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Outcome o = Tessaly(args);
    EXPECT_EQ(o.exit_code, c.exit_code) << c.message << ": " << o.err;
    EXPECT_TRUE(Contains(o.err, c.message)) << o.err;
  }
}

TEST_F(E2eTest, WindowRequestsWithoutADisplayEndAtOnce) {
  // 148 while the window is not part of the build, 143 once it is: either
  // way the run names the request and never waits for a window.
  for (const char* request : {"MantAux CUSTOMERS", "MantMain CUSTOMERS", "LnManMain CUSTOMERS"}) {
    Outcome o = Tessaly({Dpath(), std::string("RUN=") + request});
    EXPECT_TRUE(o.exit_code == 148 || o.exit_code == 143) << request << ": " << o.exit_code;
    std::string name(request, std::string(request).find(' '));
    EXPECT_TRUE(Contains(o.err, name + " (")) << o.err;
  }
}

TEST_F(E2eTest, ARequiredParameterFileMustExist) {
  fs::remove(app_ / "TYCLCFIX.DAT");
  Outcome o = Tessaly({Dpath(), "RUN=ExpEval 1"});
  EXPECT_EQ(o.exit_code, 164);
  EXPECT_TRUE(Contains(o.err, "File Not Found")) << o.err;
  EXPECT_TRUE(Contains(o.err, "TYCLCFIX.DAT")) << o.err;
}

TEST_F(E2eTest, AMissingDictionaryEndsStartUp) {
  Outcome o = Tessaly({"--DPATH=" + (root_ / "nowhere").string(), "RUN=ExpEval 1"});
  EXPECT_EQ(o.exit_code, 164);
  EXPECT_TRUE(Contains(o.err, "TYDICC.DAT")) << o.err;
}

TEST_F(E2eTest, AnUncleanEndAsksForRecovery) {
  WriteFile(app_ / "TYFSTAT.DAT", "1");
  Outcome no = Tessaly({Dpath(), "RUN=ExpEval 1"}, {{"TESSALY_ANSWER", "N"}});
  EXPECT_EQ(no.exit_code, 122) << no.err;
  EXPECT_TRUE(Contains(no.err, "Last session uncorrectly closed. Recovering data"));
  EXPECT_EQ(ReadFile(app_ / "TYFSTAT.DAT"), "1");

  Outcome yes = Tessaly({Dpath(), "RUN=ExpEval 1"}, {{"TESSALY_ANSWER", "Y"}});
  EXPECT_EQ(yes.exit_code, 0) << yes.err;
  EXPECT_EQ(ReadFile(app_ / "TYFSTAT.DAT")[0], '0');
}

TEST_F(E2eTest, TraceLogsAndStopsSilently) {
  Outcome o = Tessaly({Dpath(), "TRACE=273", "RUN=ExpEval 1"});
  EXPECT_EQ(o.exit_code, 121);
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(ReadFile(work_ / "TYlog.txt"), "0,ES\r\n");
  o = Tessaly({Dpath(), "TRACE=256", "RUN=ExpEval 1"});
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_TRUE(Contains(o.err, "[About Box]")) << o.err;
}

TEST_F(E2eTest, SurvivesHostileCommandLines) {
  std::vector<std::vector<std::string>> lines = {
      {Dpath(), "RUN='ExpEval 1"},                          // unbalanced quote
      {Dpath(), "RUN=\"ExpEval 'x\""},
      {Dpath(), std::string(70000, 'x')},                   // beyond a text
      {Dpath(), "RUN=ExpEval 1", std::string(9000, '-')},  // beyond the limit
      {"--DPATH", "=", ":", "--", "-", "/", "RUN="},
  };
  for (const auto& args : lines) {
    Outcome o = Tessaly(args);
    EXPECT_GE(o.exit_code, 0) << "killed or crashed";
    if (o.exit_code != 0) {
      EXPECT_FALSE(o.err.empty()) << "a failure says why";
    }
  }
  Outcome o = Tessaly({Dpath(), "RUN=ExpEval 1", std::string(9000, 'y')});
  EXPECT_EQ(o.exit_code, 158);
  EXPECT_TRUE(Contains(o.err, "BADCOMMANDLINE")) << o.err;
}


// A customers file of the shop written the way the engine keeps it: the
// records side by side and an index of free slots and key order.
std::string Customer(const std::string& code) {
  std::string record = code + std::string(6 - code.size(), ' ') + "Name " + code;
  record.resize(46, ' ');
  return record;
}

std::string Index(const std::vector<int32_t>& free, const std::vector<int32_t>& order) {
  std::vector<int32_t> words = {static_cast<int32_t>(free.size()),
                                static_cast<int32_t>(order.size())};
  words.insert(words.end(), free.begin(), free.end());
  words.insert(words.end(), order.begin(), order.end());
  return std::string(reinterpret_cast<const char*>(words.data()), words.size() * 4);
}

TEST_F(E2eTest, BacksUpRestoresAndReorganisesFromTheInputFile) {
  const std::string deleted = "\x1b" + Customer("C2").substr(1);
  WriteFile(app_ / "customers.DIR", Customer("C1") + deleted + Customer("C3"));
  WriteFile(app_ / "customers.NDX", Index({1}, {0, 2}));
  const fs::path backups = root_ / "copias" / "lunes";  // not there yet
  const fs::path copy = fs::path(backups.string() + app_.string()) / "customers.DIR";

  // The folder a backup asks for is the line after its request.
  WriteFile(app_ / "in.txt", "Copy 0\n" + backups.string() + "\n");
  Outcome o = Tessaly({Dpath(), "INPUT=%DATAPATH%\\in.txt", "RUN=ExpEval 1"});
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_TRUE(Contains(o.err, "Process Completed Succesfully")) << o.err;
  EXPECT_EQ(ReadFile(copy), ReadFile(app_ / "customers.DIR"));
  EXPECT_EQ(ReadFile(copy.parent_path() / "customers.NDX"), Index({1}, {0, 2}));
  EXPECT_TRUE(fs::is_directory(work_ / "Backups"));

  // Reorganising drops the deleted record.
  WriteFile(app_ / "in.txt", "Reorg\nCUSTOMERS\n");
  o = Tessaly({Dpath(), "INPUT=%DATAPATH%\\in.txt", "RUN=ExpEval 1"});
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(ReadFile(app_ / "customers.DIR"), Customer("C1") + Customer("C3"));
  EXPECT_EQ(ReadFile(app_ / "customers.NDX"), Index({}, {0, 1}));

  // Restoring puts the backup back, deleted record and all.
  WriteFile(app_ / "in.txt", "Copy 1\n" + copy.string() + "\n");
  o = Tessaly({Dpath(), "INPUT=%DATAPATH%\\in.txt", "RUN=ExpEval 1"});
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(ReadFile(app_ / "customers.DIR"), Customer("C1") + deleted + Customer("C3"));
  EXPECT_EQ(ReadFile(app_ / "customers.NDX"), Index({1}, {0, 2}));

  // A restore file that is no data file of the application; no answer.
  WriteFile(app_ / "in.txt", "Copy 1\n" + (root_ / "other.DIR").string() + "\n");
  o = Tessaly({Dpath(), "INPUT=%DATAPATH%\\in.txt", "RUN=ExpEval 1"});
  EXPECT_EQ(o.exit_code, 163) << o.err;
  EXPECT_TRUE(Contains(o.err, "other.DIR")) << o.err;
  WriteFile(app_ / "in.txt", "Copy 0\n");
  o = Tessaly({Dpath(), "INPUT=%DATAPATH%\\in.txt", "RUN=ExpEval 1"});
  EXPECT_TRUE(Contains(o.err, "User Canceled")) << o.err;
  EXPECT_EQ(ReadFile(app_ / "customers.DIR"), Customer("C1") + deleted + Customer("C3"));
}

TEST_F(E2eTest, RunsAProcedureThatWritesFilesAndTracesItsLines) {
  // A procedure of the application folder, run by PrcExec in batch mode:
  // a run-time structure, records, an export into the current folder, a
  // CALL into a library, and the trace of TRACE=8 in PrcLog.txt.
  WriteFile(app_ / "NOTES.PRX",
            "; notes kept by a batch procedure\r\n"
            "FILESTRUCT 'notes','CODE;4;A,TEXT;20;A','<0001004>'\r\n"
            "CODE{notes}='N1'\r\n"
            "TEXT{notes}='first'\r\n"
            "RC_INSERT 'notes'\r\n"
            "CALL ADD,lib 'N2','second'\r\n"
            "EXPORT 'notes','notes.txt'\r\n");
  WriteFile(app_ / "LIB.PRX",
            "DEF_FN ADD\r\nLOCALVARS C$,T$\r\nCODE{notes}=C$\r\nTEXT{notes}=T$\r\n"
            "RC_INSERT 'notes'\r\n");
  Outcome o = Tessaly({Dpath(), "TRACE=8", "RUN=PrcExec notes"});
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(ReadFile(work_ / "notes.txt"), "CODE;TEXT\r\nN1;first\r\nN2;second\r\n");
  std::string trace = ReadFile(work_ / "PrcLog.txt");
  EXPECT_TRUE(Contains(trace, "5\tCALL ADD,lib 'N2','second'\r\n1\tLOCALVARS C$,T$\r\n")) << trace;
  EXPECT_TRUE(Contains(trace, "6\tEXPORT 'notes','notes.txt'\r\n")) << trace;
}

TEST_F(E2eTest, AProcedureThatCannotLoadNamesItsLine) {
  WriteFile(app_ / "BAD.PRX", "; remark\r\nA=1\r\nGOTO NOWHERE\r\n");
  Outcome o = Tessaly({Dpath(), "RUN=PrcExec bad.prx"});
  EXPECT_EQ(o.exit_code, 147);
  EXPECT_TRUE(Contains(o.err, "Label 'NOWHERE' in line 2 (+ remmarks) not found")) << o.err;
}

TEST_F(E2eTest, AnInterruptBreaksAnEndlessProcedure) {
  // The procedure starts a program that interrupts tessaly a moment later,
  // then loops for ever: the interrupt breaks the loop and the run ends
  // with "User Canceled" after its cleanup, long before the harness's limit.
  WriteFile(app_ / "LOOP.PRX",
            "FILESTRUCT 'spin','K;2;A'\r\n"
            "SHELL '/bin/sh','-c','sleep 0.3; kill -INT $PPID'\r\n"
            "DO\r\nN=N+1\r\nLOOP\r\n"
            "SYSTEM '/bin/sh','-c','echo reached > after.txt'\r\n");
  Outcome o = Tessaly({Dpath(), "RUN=PrcExec loop"});
  EXPECT_EQ(o.exit_code, 0) << "a cancelled run is no error: " << o.err;
  EXPECT_TRUE(Contains(o.err, "User Canceled")) << o.err;
  EXPECT_FALSE(fs::exists(work_ / "after.txt"));
}

}  // namespace
