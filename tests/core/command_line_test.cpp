#include "core/command_line.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/core/startup_fixture.h"

namespace tessaly::testing {
namespace {

struct NormaliseCase {
  const char* in;
  const char* out;
};

TEST(CommandLine, Normalises) {
  const NormaliseCase cases[] = {
      {"  p   a  \t b  ", "p a b"},
      {"p --APNAME=X", "p /APNAME=X"},
      {"p -APNAME=X", "p /APNAME=X"},
      {"p /APNAME=X", "p /APNAME=X"},
      {"p ---X", "p /-X"},
      // Quoted parts are never changed.
      {"p RUN='ExpEval  -1 --2'", "p RUN='ExpEval  -1 --2'"},
      {"\"/a b/p\" x", "\"/a b/p\" x"},
      // An unbalanced quote ends the changes, never the program.
      {"p 'a  -b", "p 'a  -b"},
      {"", ""},
  };
  for (const NormaliseCase& c : cases) {
    AreaMark mark;
    EXPECT_EQ(NormaliseCommandLine(c.in).str(), c.out) << c.in;
  }
}

struct OptionCase {
  const char* line;  // already normalised
  const char* name;
  const char* value;
};

TEST(CommandLine, FindsOptionValues) {
  const OptionCase cases[] = {
      {"p /APNAME=X", "APNAME", "X"},
      {"p APNAME=X /RUN=Y", "RUN", "Y"},
      {"p apname=x", "APNAME", "x"},  // the lower-case spelling of the name
      {"p Apname=x", "APNAME", ""},   // only the whole name lower-cased
      {"p dpath=x", "dpath", "x"},
      {"p DPATH=x", "dpath", "x"},  // a lower-case name tries upper case
      {"p DPATH:C", "DPATH", "C"},
      {"p DPATH=C:\\x", "DPATH", "C"},  // a ':' outside quotes ends the value
      {"p DPATH=\"C:\\x y\"", "DPATH", "C:\\x y"},
      {"p DPATH='/home/ana'", "DPATH", "/home/ana"},
      {"p DPATH=/home/ana", "DPATH", ""},  // '/' ends the value: quote paths
      {"p RUN=a&b", "RUN", "a"},
      {"p XAPNAME=Y", "APNAME", ""},  // inside another word
      {"p a&APNAME=Y", "APNAME", "Y"},
      {"p APNAME:A APNAME=B", "APNAME", "A"},  // ':' is looked for first
      {"p %X%='q'", "%X%", "'q'"},             // a name with '%' keeps the quotes
      {"p RUN='x APNAME=Q'", "APNAME", ""},
      {"p TRACE=257", "TRACE", "257"},
      {"p trace:257", "TRACE", "257"},
      {"p", "APNAME", ""},
  };
  for (const OptionCase& c : cases) {
    AreaMark mark;
    EXPECT_EQ(CommandLineValue(Slice(c.line), Slice(c.name)).str(), c.value)
        << c.line << " / " << c.name;
  }
}

struct QuoteCase {
  const char* argument;
  const char* quoted;
};

TEST(CommandLine, QuotesLinuxPathsInOptionValues) {
  const QuoteCase cases[] = {
      {"--DPATH=/home/ana/tienda", "--DPATH=\"/home/ana/tienda\""},
      {"DPATH:/srv/x", "DPATH:\"/srv/x\""},
      {"/INPUT=in.txt", "/INPUT=in.txt"},
      {"RUN=ExpEval A=1", "RUN=\"ExpEval A=1\""},
      {"RUN=ExpEval A$=\"x\"", "RUN='ExpEval A$=\"x\"'"},
      {"RUN=it's \"x\" /y", "RUN=it's \"x\" /y"},  // both quotes: as written
      {"DPATH=\"/already\"", "DPATH=\"/already\""},
      {"/home/ana", "/home/ana"},
      {"=/x", "=/x"},
      {"-x", "-x"},
      {"DPATH=", "DPATH="},
  };
  for (const QuoteCase& c : cases) EXPECT_EQ(QuoteOptionValue(c.argument), c.quoted) << c.argument;
}

TEST(CommandLine, JoinsArgumentsAfterTheQuotedProgram) {
  std::string line =
      JoinArguments("/usr/bin/tessaly", {"--DPATH=/home/ana/tienda", "RUN=Help x", "a\xC3\xB1o\r"});
  EXPECT_EQ(line, "\"/usr/bin/tessaly\" --DPATH=\"/home/ana/tienda\" RUN=\"Help x\" a\xF1o");
  AreaMark mark;
  Slice normal = NormaliseCommandLine(Slice::Of(line));
  EXPECT_EQ(CommandLineValue(normal, "DPATH").str(), "/home/ana/tienda");
  EXPECT_EQ(CommandLineValue(normal, "RUN").str(), "Help x");
  EXPECT_EQ(CommandLineProgram(normal).str(), "/usr/bin/tessaly");
}

TEST(CommandLine, RecognisesUsageAndVersionSwitches) {
  struct Case {
    const char* line;
    bool usage;
    bool version;
  } cases[] = {
      {"p /help", true, false},    {"p /?", true, false},      {"p /H", true, false},
      {"p /version", false, true}, {"p /V", false, true},      {"p RUN='x /?'", false, false},
      {"/? p", false, false},      {"p HELP=1", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AsksForUsage(c.line), c.usage) << c.line;
    EXPECT_EQ(AsksForVersion(c.line), c.version) << c.line;
  }
}

TEST(CommandLine, SurvivesAnyLengthAndUnbalancedQuotes) {
  std::string line = "p";
  for (int i = 0; i < 6000; ++i) line += " --A" + std::to_string(i % 7) + "='x";
  AreaMark mark;
  Slice normal = NormaliseCommandLine(Slice::Of(line));
  ASSERT_TRUE(normal.ok());
  // The quotes pair across arguments; values run to the next blank outside.
  EXPECT_EQ(CommandLineValue(normal, "A0").str(), "'x --A1='x");
  line += line;  // beyond a text's 65535 bytes: an error, not a crash
  EXPECT_TRUE(NormaliseCommandLine(Slice::Of(line)).is_error());
}

class OptionTest : public StartupTest {};

TEST_F(OptionTest, ReadsOptionsByNumberFromTheStoredCommandLine) {
  Environment("\"/usr/bin/tessaly\" --MODE=PDF -TRACE=yes /INPUT=in.txt");
  EXPECT_EQ(Env(kEnvCommandLine), "\"/usr/bin/tessaly\" /MODE=PDF /TRACE=yes /INPUT=in.txt");
  EXPECT_EQ(Option(kOptInput).str(), "in.txt");
  EXPECT_EQ(OptionNumber(kOptTrace), 1);  // a yes-word reads 1
  EXPECT_EQ(OptionInList(kOptMode, "TXT,PDF,PRN"), 2);
  EXPECT_EQ(OptionInList(kOptMode, "TXT"), 0);
  EXPECT_EQ(OptionInList(kOptRun, "PDF"), 0);
  EXPECT_EQ(OptionName(kOptPassw).str(), "PASSW");
  EXPECT_EQ(OptionName(20).str(), "");
}

TEST_F(OptionTest, RefusesAnOverLongCommandLine) {
  std::string line(kCommandLineLimit + 1, 'x');
  EXPECT_EQ(InitialiseEnvironment(Slice::Of(line)), Status::kBadCommandLine);
  ClearDetail();
}

}  // namespace
}  // namespace tessaly::testing
