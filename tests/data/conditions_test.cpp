#include "data/conditions.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/data/locale_fixture.h"

namespace tessaly {
namespace {

using ConditionsTest = LocaleTest;

struct TermCase {
  const char* field;
  int comparison;
  const char* value;
  const char* existing;
  const char* connective;
  const char* format;
  const char* condition;  // "<163>" for a refused term
};

TEST_F(ConditionsTest, TermsJoinedToTheExistingCondition) {
  const TermCase kCases[] = {
      {"PRICE", 3, "10", "", "", "", "PRICE>='10'"},
      {"PRICE", 1, "10", "", "", "", "PRICE=='10'"},
      {"PRICE", 6, "10", "", "", "", "PRICE<>'10'"},
      {"PRICE", 4, "10", "A>1", "", "", "A>1&&PRICE<'10'"},
      {"PRICE", 5, "10", "A>1", "||", "", "A>1||PRICE<='10'"},
      {"PRICE", 3, "", "A>1", "", "", "A>1"},  // no value, no term
      {"PRICE", 3, "", "", "", "", ""},
      {"NAME", 1, "O'Brien", "", "", "", "NAME==\"O'Brien\""},
      {"NAME", 1, "say \"hi\"", "", "", "", "NAME=='say \"hi\"'"},
      {"NAME", 1, "it's \"x\"", "", "", "", "<163>"},
      {"NAME", 1, "x'||1=='1", "", "", "", "NAME==\"x'||1=='1\""},  // stays one operand
      {"PRICE", 7, "10", "", "", "", "<163>"},
      {"PRICE", 0, "10", "", "", "", "<163>"},
      {"PRICE", 2, "10", "", "", "%s %s %s", "PRICE > 10"},
      {"PRICE", 2, "10", "", "", "%s%s%s%%", "PRICE>10%"},
      {"PRICE", 2, "10", "", "", "%s%s%s%s%d", "PRICE>10%d"},
  };
  for (const TermCase& c : kCases) {
    SCOPED_TRACE(std::string(c.field) + " " + std::to_string(c.comparison) + " " + c.value);
    EXPECT_EQ(
        Text(BuildCondition(c.field, c.comparison, c.value, c.existing, c.connective, c.format)),
        c.condition);
  }
}

TEST_F(ConditionsTest, JoiningConditions) {
  const char* kCases[][4] = {
      {"A>1", "B<2", "&&", "(A>1)&&(B<2)"},
      {"A>1", "B<2", "", "(A>1)&&(B<2)"},
      {"A>1", "B<2", "||", "(A>1)||(B<2)"},
      {"1&&A>1", "B<2", "&&", "A>1"},
      {"A>1", "1&&B<2", "&&", "B<2"},
      {"", "B<2", "&&", "B<2"},
      {"A>1", "", "&&", "A>1"},
      {"", "", "&&", ""},
      {"1&&", "B<2", "&&", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c[0]) + " / " + c[1]);
    EXPECT_EQ(Text(JoinConditions(c[0], c[1], c[2])), c[3]);
  }
  EXPECT_EQ(Text(JoinConditions(Slice::Error(Status::kBadInputData), "B<2")), "<163>");
}

TEST_F(ConditionsTest, ValueMarks) {
  EXPECT_EQ(Text(ReplaceValueMark("(KEY$()>'[$]~')", "B00")), "(KEY$()>'B00~')");
  EXPECT_EQ(Text(ReplaceValueMark("[$]+[$]", "x")), "x+x");
  EXPECT_EQ(Text(ReplaceValueMark("'[$]'", "x")), "'x'");  // marks inside quotes too
  EXPECT_EQ(Text(ReplaceValueMark("none", "x")), "none");
}

}  // namespace
}  // namespace tessaly
