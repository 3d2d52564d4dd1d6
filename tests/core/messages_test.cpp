#include "core/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "core/message_box.h"
#include "core/string_area.h"
#include "core/string_tables.h"

namespace tessaly {

// Failures show texts, not bytes. (The same inline definition in every test
// file of the layer.)
inline void PrintTo(const Slice& s, std::ostream* os) {
  if (s.ok()) {
    *os << '"' << s.view() << '"';
  } else {
    *os << "error slice " << s.status().code();
  }
}

namespace {

// Language files the fake reader knows, by the path the runtime asks for.
std::map<std::string, std::vector<std::string>>& Files() {
  static std::map<std::string, std::vector<std::string>> files;
  return files;
}
std::vector<std::string>& PathsAsked() {
  static std::vector<std::string> asked;
  return asked;
}

int FakeReader(Slice path) {
  PathsAsked().push_back(path.str());
  auto it = Files().find(path.str());
  if (it == Files().end()) return -1;
  for (const std::string& line : it->second) {
    if (!strtab::Push(strtab::kLineQueue, Slice::Of(line)).ok()) return -1;
  }
  return static_cast<int>(it->second.size());
}

class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    strtab::ClearAll();
    Files().clear();
    PathsAsked().clear();
    ForceLastError(0, 0);
    SetLineFileReader(FakeReader);
    SetLanguageLinesSupplier(nullptr);
    ResetLanguage();
    depth_ = Area().Mark();
  }
  void TearDown() override {
    Area().Release(depth_);
    SetLineFileReader(nullptr);
    ResetLanguage();
    strtab::ClearAll();
  }
  static void SetLanguage(const char* code, const char* folders) {
    ASSERT_TRUE(strtab::Set(strtab::kEnvironment, 4, code).ok());
    ASSERT_TRUE(strtab::Set(strtab::kEnvironment, 5, folders).ok());
  }
  int depth_ = 0;
};

struct MessageCase {
  const char* request;
  const char* expected;
};

TEST_F(MessagesTest, BuiltInCatalogueGivesTheExactTexts) {
  static const MessageCase kCases[] = {
      {"0040", "View Log?"},
      {"0999", ""},
      {"1003", "Redundant data. %s identical registries. Confirm Deletion?"},
      {"0001", "Unable to initialize String area"},
      {"1012", "SELL_DNOTES,REGISTRY,EXPIRATIONS"},
      {"0069", ""},  // a gap between entries
      {"0000", ""},
      {"0039", "Continue?"},  // last of its block
      {"0090", "Database access"},
      {"0011", "Yy,Nn"},
      {"0033",
       "Remember your Safety Copies\n\r\xBF"
       "Do you want to Close Program? (%i Screens, %i Windows)"},
      {"0019", ".,'0123456789.-D',' NY','  ,NO,YES'"},
      {"0080", "(Bigger than),(Smaller than),(Equal to),(From),(To)  ,(No Equal to)"},
      {"0110", "'Reports','\tCreate New,[$]','\tReports,[$]%APNAME%report.ppn'"},
      {"0120", "'Help','\tHelp,Help','\tAbout,Help About'"},
      // A request with a text carries its own default before the catalogue.
      {"0040 Ver registro?", "Ver registro?"},
      {"0999 Fallback", "Fallback"},
      {"0040 ", ""},
      {"40", "View Log?"},
  };
  for (const MessageCase& c : kCases) {
    EXPECT_EQ(Message(Slice(c.request)).str(), c.expected) << c.request;
  }
  EXPECT_EQ(Message(Slice::Error(Status::kOutOfMemory)), Slice::Error(Status::kOutOfMemory));
  EXPECT_EQ(Message(1003), Slice("Redundant data. %s identical registries. Confirm Deletion?"));
  EXPECT_EQ(Message(0), Slice());
  EXPECT_EQ(Message(10000), Slice());
}

TEST_F(MessagesTest, MenuTextKeepsEveryTab) {
  Slice menu = Message("0111");
  EXPECT_EQ(menu.size(), 316);
  EXPECT_TRUE(menu.view().starts_with("'Transactions','\tExport','\t\tRelative,[$]4',"));
  EXPECT_TRUE(menu.view().ends_with(",'\tPredefinined,[$]0'"));
  EXPECT_EQ(std::count(menu.begin(), menu.end(), '\t'), 28);
}

TEST_F(MessagesTest, LanguageFileReplacesTheCatalogue) {
  SetLanguage("ES", "C:\\APP\\;D:\\OTHER");
  Files()["C:\\APP\\KV_LANG_ES.MSJ"] = {
      "0001 Primero",
      "0003 Tercero\\nsegunda linea",
      "0011 Ss,Nn\r",
  };
  EXPECT_EQ(Message("0001"), Slice("Primero"));
  EXPECT_EQ(CurrentLanguageState(), LanguageState::kLoaded);
  EXPECT_EQ(Message("0002"), Slice(""));  // skipped by the file: empty
  EXPECT_EQ(Message("0003"), Slice("Tercero\r\nsegunda linea"));
  EXPECT_EQ(Message("0011"), Slice("Ss,Nn"));
  // After a load, neither the catalogue nor a request's default answers.
  EXPECT_EQ(Message("0040"), Slice(""));
  EXPECT_EQ(Message("0040 View Log?"), Slice(""));
  // Number 0 is no message: the default text answers.
  EXPECT_EQ(Message("0000 zero"), Slice("zero"));
  EXPECT_EQ(PathsAsked(), std::vector<std::string>{"C:\\APP\\KV_LANG_ES.MSJ"});
  EXPECT_EQ(strtab::Count(strtab::kLineQueue), 0);
  EXPECT_EQ(strtab::Get(strtab::kLanguage, 2).str(), "PrimeroTercero\r\nsegunda lineaSs,Nn");

  // The answer letters follow the language.
  RecordingMessageBoxUi ui;
  ScopedMessageBoxUi scoped(&ui);
  ui.Answer(BoxButton::kYes);
  ui.Answer(BoxButton::kNo);
  EXPECT_EQ(ShowMessageBox("?", BoxKind::kYesNo), 'S');
  EXPECT_EQ(ShowMessageBox("?", BoxKind::kYesNo), 'N');
}

TEST_F(MessagesTest, FilesSpanningMoreThan256NumbersAreIndexedWhole) {
  SetLanguage("EN", "/apps/demo");
  auto line = [](int n, const char* text) {
    AreaMark mark;
    return FormatMessage(40, "%04d %s%d", n, text, n).str();
  };
  std::vector<std::string> lines;
  for (int n = 1; n <= 130; ++n) lines.push_back(line(n, "m"));
  for (int n = 1001; n <= 1012; ++n) lines.push_back(line(n, "a"));
  lines.push_back("9999 last");
  Files()["/apps/demo\\KV_LANG_EN.MSJ"] = lines;
  EXPECT_EQ(Message("0001"), Slice("m1"));
  EXPECT_EQ(Message("0130"), Slice("m130"));
  EXPECT_EQ(Message("0131"), Slice(""));
  EXPECT_EQ(Message("1001"), Slice("a1001"));
  EXPECT_EQ(Message("1012"), Slice("a1012"));
  EXPECT_EQ(Message("5000"), Slice(""));
  EXPECT_EQ(Message("9999"), Slice("last"));
}

TEST_F(MessagesTest, MalformedLinesLoadAsFarAsValid) {
  SetLanguage("FR", "");
  Files()["KV_LANG_FR.MSJ"] = {
      "",
      "abc",
      "0000 zero is skipped",
      "12",    // number 12, no text
      "0020",  // number 20, no text
      "0030 trente",
      "0025 going back is skipped",
      "0030 repeated is skipped",
      "0031\\",  // the backslash sits where the separator goes
      "0032 \\",
      "0040 last",
  };
  EXPECT_EQ(Message("0030"), Slice("trente"));
  EXPECT_EQ(Message("0012"), Slice(""));
  EXPECT_EQ(Message("0020"), Slice(""));
  EXPECT_EQ(Message("0025"), Slice(""));
  EXPECT_EQ(Message("0031"), Slice(""));
  EXPECT_EQ(Message("0032"), Slice("\\"));
  EXPECT_EQ(Message("0040"), Slice("last"));
  EXPECT_EQ(CurrentLanguageState(), LanguageState::kLoaded);
}

// A reader that claims more lines than it queued.
int OverclaimingReader(Slice) {
  (void)strtab::Push(strtab::kLineQueue, "0007 seven");
  return 50;
}

TEST_F(MessagesTest, ReaderCountBeyondTheQueueIsClamped) {
  SetLineFileReader(OverclaimingReader);
  EXPECT_EQ(Message("0007"), Slice("seven"));
  EXPECT_EQ(strtab::Count(strtab::kLineQueue), 0);
}

TEST_F(MessagesTest, FileWithoutUsableLinesKeepsTheCatalogue) {
  SetLanguage("DE", "");
  Files()["KV_LANG_DE.MSJ"] = {"", "hello", "0000 x"};
  EXPECT_EQ(Message("0040"), Slice("View Log?"));
  EXPECT_EQ(CurrentLanguageState(), LanguageState::kBuiltIn);
  EXPECT_EQ(strtab::Count(strtab::kLineQueue), 0);
}

TEST_F(MessagesTest, LinesBeingReadByAnotherReaderAreLeftAlone) {
  SetLanguage("IT", "");
  ASSERT_TRUE(strtab::Push(strtab::kLineQueue, "someone else's line").ok());
  Files()["KV_LANG_IT.MSJ"] = {"0040 Vedere il registro?"};
  EXPECT_EQ(Message("0040"), Slice("Vedere il registro?"));
  ASSERT_EQ(strtab::Count(strtab::kLineQueue), 1);
  EXPECT_EQ(strtab::Top(strtab::kLineQueue), Slice("someone else's line"));
}

TEST_F(MessagesTest, FileNameFollowsTheLanguageSettings) {
  // Before the language is set: "*", and the catalogue answers.
  EXPECT_EQ(Message("0040"), Slice("View Log?"));
  EXPECT_EQ(CurrentLanguageState(), LanguageState::kBuiltIn);
  EXPECT_EQ(PathsAsked(), std::vector<std::string>{"KV_LANG_*.MSJ"});
  // Asking again with unchanged settings does not read again.
  (void)Message("0041");
  EXPECT_EQ(PathsAsked().size(), 1u);
  // Settling the language and folders later tries again.
  Files()["F:\\KV\\KV_LANG_ES.MSJ"] = {"0040 Ver registro?"};
  SetLanguage("ES", "F:\\KV,G:\\X");
  EXPECT_EQ(Message("0040"), Slice("Ver registro?"));
  EXPECT_EQ(PathsAsked().back(), "F:\\KV\\KV_LANG_ES.MSJ");
  // A language change reloads; an absent file gives the catalogue back.
  SetLanguage("EN", "F:\\KV,G:\\X");
  EXPECT_EQ(Message("0040"), Slice("View Log?"));
  EXPECT_EQ(PathsAsked().back(), "F:\\KV\\KV_LANG_EN.MSJ");
  EXPECT_EQ(CurrentLanguageState(), LanguageState::kBuiltIn);
}

TEST_F(MessagesTest, OverlongLanguageCodeIsRefusedByTheNameLimit) {
  SetLanguage("SPANISH", "");  // "KV_LANG_SPANISH.MSJ" is 19 characters
  EXPECT_EQ(LoadLanguage(), Status::kStringTooLong);
  EXPECT_TRUE(PathsAsked().empty());
  EXPECT_EQ(Message("0040"), Slice("View Log?"));
  EXPECT_EQ(GetLastError().code, Status::kStringTooLong);
  EXPECT_EQ(GetLastError().area, static_cast<uint16_t>(ErrorArea::kFormatStrings));
}

int SupplyLines(Slice code) {
  if (code != Slice("ES")) return 0;
  (void)strtab::Push(strtab::kLineQueue, "0005 Proceso terminado");
  return 1;
}

TEST_F(MessagesTest, SupplierStandsInForAnAbsentFile) {
  SetLanguageLinesSupplier(SupplyLines);
  SetLanguage("ES", "");
  EXPECT_EQ(Message("0005"), Slice("Proceso terminado"));
  EXPECT_EQ(PathsAsked().size(), 1u);
  ResetLanguage();
  SetLineFileReader(nullptr);  // no reader installed: the supplier alone
  EXPECT_EQ(Message("0005"), Slice("Proceso terminado"));
  SetLanguage("EN", "");
  EXPECT_EQ(Message("0005"), Slice("Process Completed Succesfully"));
}

TEST_F(MessagesTest, ResetForgetsTheLoadedTexts) {
  SetLanguage("ES", "");
  Files()["KV_LANG_ES.MSJ"] = {"0040 Ver registro?"};
  EXPECT_EQ(Message("0040"), Slice("Ver registro?"));
  Files().clear();
  ResetLanguage();
  EXPECT_EQ(CurrentLanguageState(), LanguageState::kNotTried);
  EXPECT_EQ(strtab::Get(strtab::kLanguage, 2), Slice(""));
  EXPECT_EQ(Message("0040"), Slice("View Log?"));
}

struct FormatCase {
  const char* format;
  std::vector<FormatArg> args;
  const char* expected;
};

TEST_F(MessagesTest, FormatMessageFollowsPrintf) {
  const FormatCase kCases[] = {
      {"%s-%s", {"a", "b"}, "a-b"},
      {"There are windows open (%i Screens, %i Windows)",
       {2, 3},
       "There are windows open (2 Screens, 3 Windows)"},
      {"[%5s|%-5s]", {"ab", "cd"}, "[   ab|cd   ]"},
      {"%05d|%-4d|%4d", {-42, 7, 7}, "-0042|7   |   7"},
      {"%.2s", {"abcdef"}, "ab"},
      {"%x %X %u %ld", {255, 255, 3, 9}, "ff FF 3 9"},
      {"%c%c", {65, "Bz"}, "AB"},
      {"100%% %q", {}, "100% %q"},
      {"%s and %s", {"one"}, "one and "},  // a missing value writes nothing
      {"%s%s", {Slice::Error(Status::kOutOfMemory), "x"}, "x"},
      {"%d items, %s rows", {"12", 5}, "12 items, 5 rows"},
      {"tail %", {}, "tail %"},
  };
  for (const FormatCase& c : kCases) {
    Slice r = FormatMessageV(kMessageLimit, c.format, c.args);
    EXPECT_EQ(r.str(), c.expected) << c.format;
  }
  EXPECT_EQ(FormatMessage(kMessageLimit, Slice::Error(Status::kBadInputData)),
            Slice::Error(Status::kBadInputData));
}

TEST_F(MessagesTest, FormatMessageLimit) {
  EXPECT_EQ(FormatMessage(5, "%s", "abcde"), Slice("abcde"));
  EXPECT_EQ(GetLastError().code, 0);
  EXPECT_EQ(FormatMessage(5, "%s", "abcdef"), Slice::Error(Status::kStringTooLong));
  EXPECT_EQ(GetLastError().code, Status::kStringTooLong);
  EXPECT_EQ(GetLastError().area, static_cast<uint16_t>(ErrorArea::kFormatStrings));
  EXPECT_EQ(FormatMessage(10, "%99999d", 1), Slice::Error(Status::kStringTooLong));
  EXPECT_EQ(FormatMessage(0, ""), Slice(""));
}

struct VariantCase {
  const char* code;
  const char* name;
  int n;
  const char* expected;
};

TEST_F(MessagesTest, LanguageNumberAndVariants) {
  const struct {
    const char* code;
    int number;
  } kNumbers[] = {{"EN", 1}, {"ES", 2}, {"IT", 5}, {"", 0}, {"es", 0}, {"E", 0}, {"EN,ES", 0}};
  for (const auto& c : kNumbers) {
    ASSERT_TRUE(strtab::Set(strtab::kEnvironment, 4, c.code).ok());
    EXPECT_EQ(LanguageNumber(), c.number) << c.code;
  }
  static const VariantCase kVariants[] = {
      {"", "index.html", 2, "index_es.html"},
      {"DE", "index.html", 0, "index_de.html"},
      {"", "report.tar.gz", 3, "report_fr.tar.gz"},
      {"", "HELP", 1, "HELP_en"},
      {"", "C:\\APP.V2\\help\\page.htm", 5, "C:\\APP.V2\\help\\page_it.htm"},
      {"", "..\\data/readme", 2, "..\\data/readme_es"},
      {"", ".profile", 2, ".profile_es"},
      {"", "index.html", 6, "index.html"},
      {"XX", "index.html", 0, "index.html"},
  };
  for (const VariantCase& c : kVariants) {
    ASSERT_TRUE(strtab::Set(strtab::kEnvironment, 4, c.code).ok());
    EXPECT_EQ(LanguageVariant(c.name, c.n).str(), c.expected) << c.name << " " << c.n;
  }
}

}  // namespace
}  // namespace tessaly
