// The Spanish language file shipped with the application: loaded through the
// runtime's language loader, it must give every built-in message a text
// that the code using the message can still take apart the same way.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "data/dates.h"
#include "data/definitions.h"
#include "data/masks.h"
#include "tests/app/app_fixture.h"

namespace tessaly {
namespace {

int ReadLines(Slice file_name) { return DefinitionLines(file_name, 0, 0); }

class SpanishLanguageFile : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    SetLineFileReader(&ReadLines);
    (void)strtab::Set(strtab::kEnvironment, 4, "ES");
    (void)strtab::Set(strtab::kEnvironment, 5, TESSALY_SOURCE_DIR "/apps/tessaly");
    ResetLanguage();
    ASSERT_EQ(LoadLanguage().code(), 0);
    ASSERT_EQ(CurrentLanguageState(), LanguageState::kLoaded);
  }
  void TearDown() override {
    ResetLanguage();
    SetLineFileReader(nullptr);
    AppTest::TearDown();
  }
};

std::vector<std::string> AllMatches(const std::string& text, const std::regex& pattern) {
  std::vector<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
       it != std::sregex_iterator(); ++it) {
    found.push_back(it->str());
  }
  return found;
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(SpanishLanguageFile, EveryBuiltInMessageKeepsItsShape) {
  const std::regex placeholders("%[-0-9.]*[sidcuxX]");
  const std::regex type_codes("'[A-Z][0-9]+'");
  int checked = 0;
  for (int n = 1; n <= 9999; ++n) {
    AreaMark mark;
    Slice english = BuiltInMessage(n);
    if (english.empty()) continue;
    ++checked;
    Slice spanish = Message(n);
    ASSERT_FALSE(spanish.empty()) << n;
    const std::string en = english.str(), es = spanish.str();
    EXPECT_EQ(CountItems(spanish, ','), CountItems(english, ',')) << n << ": " << es;
    EXPECT_EQ(AllMatches(es, placeholders), AllMatches(en, placeholders)) << n << ": " << es;
    EXPECT_EQ(AllMatches(es, type_codes), AllMatches(en, type_codes)) << n << ": " << es;
    EXPECT_EQ(Occurrences(es, "\t"), Occurrences(en, "\t")) << n;
    EXPECT_EQ(Occurrences(es, "[$]"), Occurrences(en, "[$]")) << n;
    EXPECT_EQ(Occurrences(es, "\r\n"), Occurrences(en, "\r\n") + Occurrences(en, "\n\r")) << n;
    // Windows-1252, not UTF-8: no lead bytes of two-byte UTF-8 letters.
    EXPECT_EQ(es.find_first_of("\xC2\xC3"), std::string::npos) << n << ": " << es;
  }
  EXPECT_GT(checked, 100);
}

TEST_F(SpanishLanguageFile, SpanishTextsConventionsAndActions) {
  EXPECT_EQ(Message(1).str(), "No se puede inicializar el \xE1rea de textos");
  EXPECT_EQ(Message("0040").str(), "\xBFVer el registro?");
  EXPECT_EQ(Message(11).str(), "Ss,Nn");
  // Menu lines keep their actions, which are process requests.
  EXPECT_EQ(Item(Message(120), ',', 3).str(), "'\tAcerca de,Help About'");
  EXPECT_NE(Message(33).str().find("\r\n\xBF"), std::string::npos);

  ASSERT_EQ(SetLocaleTexts(Message(19), Message(117)).code(), 0);
  NumberFormat number = LanguageNumberFormat();
  EXPECT_EQ(number.decimal_point, ',');
  EXPECT_EQ(number.thousands, '.');
  EXPECT_NE(number.accepted.view().find(','), std::string_view::npos);
  EXPECT_EQ(FormatDate("20170829", 4).str(), "29 de agosto de 2017");
  EXPECT_TRUE(LanguageDayFirst());
}

}  // namespace
}  // namespace tessaly
