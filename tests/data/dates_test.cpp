#include "data/dates.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "platform/fault_env.h"
#include "tests/data/locale_fixture.h"

namespace tessaly {
namespace {

// The format tests with the clock stopped at 5 March 2017, 10:30:15.500.
class DatesTest : public LocaleTest {
 protected:
  void SetUp() override {
    LocaleTest::SetUp();
    platform::LocalTime now;
    now.year = 2017;
    now.month = 3;
    now.day = 5;
    now.ms_of_day = 37815500;
    env_.SetNow(now);
  }
  platform::FaultEnv env_;
  platform::ScopedEnv use_{&env_};
};

struct DateTextCase {
  const char* language;
  const char* stored;
  int form;
  const char* text;
};

TEST_F(DatesTest, DateTextsFollowTheLanguage) {
  const DateTextCase kCases[] = {
      {"EN", "20170305", 0, "20170305"},
      {"EN", "20170305", 1, "03-05-17"},
      {"EN", "20170305", 2, "03-05-2017"},
      {"EN", "20170305", 3, "Mar 2017"},
      {"EN", "20170305", 4, "March 05,2017"},
      {"EN", "00010101", 2, "01-01-0001"},
      {"ES", "20170305", 0, "20170305"},
      {"ES", "20170305", 1, "05-03-17"},
      {"ES", "20170305", 2, "05-03-2017"},
      {"ES", "20170305", 3, "Mar 2017"},
      {"ES", "20170305", 4, "05 de Marzo de 2017"},
      {"ES", "20171231", 3, "Dic 2017"},
      // Invalid dates: blanks of the form's width, else nothing.
      {"EN", "20170229", 1, "        "},
      {"EN", "20170229", 2, "          "},
      {"EN", "20170229", 4, ""},
      {"EN", "2017-03-05", 2, "          "},
      {"EN", "abc", 1, "        "},
      {"EN", "", 1, "        "},
      {"EN", "20170305", 9, ""},
  };
  for (const DateTextCase& c : kCases) {
    SCOPED_TRACE(std::string(c.language) + " " + c.stored + " form " + std::to_string(c.form));
    UseLanguage(c.language);
    EXPECT_EQ(Text(FormatDate(c.stored, c.form)), c.text);
  }
  // FR and IT write the day first too; DE does not.
  for (const char* lang : {"FR", "IT", "DE"}) {
    ASSERT_EQ(strtab::Set(strtab::kEnvironment, 4, lang), Status::kOk);
    EXPECT_EQ(Text(FormatDate("20170305", 1)), std::string(lang) == "DE" ? "03-05-17" : "05-03-17");
  }
}

TEST_F(DatesTest, AnEmptyDateIsTodayOnlyWithTheTodayDefault) {
  EXPECT_EQ(Text(FormatDate("", 2)), "          ");
  EXPECT_EQ(Text(ParseDate("")), "        ");
  SetWord(kAuxStat, kTodayDefaultBit | 1);
  EXPECT_EQ(Text(FormatDate("", 2)), "03-05-2017");
  EXPECT_EQ(Text(FormatDate("  ", 0)), "20170305");
  EXPECT_EQ(Text(ParseDate("")), "20170305");
  EXPECT_EQ(TodayDate(), 20170305);
  EXPECT_EQ(TimeNow(), 37815000);
}

struct TypedDateCase {
  const char* language;
  const char* typed;
  const char* stored;  // "<163>" for an invalid date
};

TEST_F(DatesTest, TypedDatesInEachLanguage) {
  const TypedDateCase kCases[] = {
      {"EN", "5/3/17", "20170503"},
      {"ES", "5/3/17", "20170305"},
      {"EN", "050317", "20170305"},  // six digits: day first in every language
      {"ES", "050317", "20170305"},
      {"EN", "03-05-2017", "20170305"},
      {"ES", "5.3.2017", "20170305"},
      {"ES", " 5/3/2017 ", "20170305"},
      {"EN", "20170305", "20170305"},  // the stored form typed directly
      {"EN", "1/1/79", "20790101"},
      {"EN", "1/1/80", "19800101"},
      {"EN", "1/1/00", "20000101"},
      {"EN", "2/29/1900", "19000229"},  // every fourth year is a leap year
      {"ES", "29/2/2017", "<163>"},
      {"ES", "31/4/2017", "<163>"},
      {"ES", "105/2/2017", "<163>"},  // never folded into 5 March
      {"ES", "5/13/2017", "<163>"},
      {"EN", "2017-03-05", "<163>"},
      {"EN", "abc", "<163>"},
      {"EN", "abcdef", "<163>"},
      {"EN", "20171345", "<163>"},
      {"EN", "1/1/10000", "<163>"},
      {"EN", "0/0/0", ""},
      {"EN", "5/3", ""},
      {"EN", "5/3/", ""},
      {"EN", "000000", ""},
  };
  for (const TypedDateCase& c : kCases) {
    SCOPED_TRACE(std::string(c.language) + " [" + c.typed + "]");
    UseLanguage(c.language);
    EXPECT_EQ(Text(ParseDate(c.typed)), c.stored);
  }
}

TEST_F(DatesTest, TheYearWindowComesFromTheSystemVariables) {
  EXPECT_EQ(WidenYear(79), 2079);
  EXPECT_EQ(WidenYear(80), 1980);
  SetWord(kBYear, 1900);
  SetWord(kBkYear, 50);
  EXPECT_EQ(WidenYear(49), 1949);
  EXPECT_EQ(WidenYear(50), 1850);
  EXPECT_EQ(Text(ParseDate("1/2/49")), "19490102");
}

struct ShiftCase {
  const char* stored;
  int64_t amount;
  int unit;
  int64_t result;
};

TEST_F(DatesTest, ShiftingDates) {
  const ShiftCase kCases[] = {
      {"20170131", 1, kDateMonths, 20170228},
      {"20160131", 1, kDateMonths, 20160229},
      {"19000131", 1, kDateMonths, 19000229},
      {"20171231", 2, kDateMonths, 20180228},  // the day clamps in the month it lands in
      {"20170331", 11, kDateMonths, 20180228},
      {"20170131", -1, kDateMonths, 20161231},
      {"20170305", -12, kDateMonths, 20160305},
      {"20170305", -27, kDateMonths, 20141205},
      {"20170301", -1, kDateDays, 20170228},
      {"20160301", -1, kDateDays, 20160229},
      {"20171231", 1, kDateDays, 20180101},
      {"20170115", 4 * 365 + 1, kDateDays, 20210115},
      {"20170115", -(4 * 365 + 1), kDateDays, 20130115},
      {"20170305", 36500, kDateDays, 21170208},
      {"20170305", -736000, kDateDays, 20212},
      {"20160229", 1, kDateYears, 20170301},
      {"20160229", 4, kDateYears, 20200229},
      {"20170305", 0, kDateDays, 20170305},
      {"20170300", 0, kDateDays, 20170228},  // day 0 is the end of the month before
      {"20170305", 1, kDateWhole, 20170305},
      {"abc", 1, kDateDays, 0},
  };
  for (const ShiftCase& c : kCases) {
    SCOPED_TRACE(std::string(c.stored) + " + " + std::to_string(c.amount) + " unit " +
                 std::to_string(c.unit));
    EXPECT_EQ(DateShift(c.stored, c.amount, c.unit), c.result);
  }
  // Amounts beyond the calendar give an invalid date, never an overflow.
  for (int unit : {kDateDays, kDateMonths, kDateYears}) {
    for (int64_t amount :
         {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()}) {
      EXPECT_FALSE(IsValidDateNumber(DateShift("20170305", amount, unit)));
    }
  }
}

TEST_F(DatesTest, DistancesCountWholeYearsAs365Days) {
  const ShiftCase kCases[] = {
      {"20170301", 20170131, kDateDays, 29},   {"20170131", 20170301, kDateDays, -29},
      {"20170101", 20160101, kDateDays, 365},  {"20160301", 20160131, kDateDays, 30},
      {"20171231", 20170101, kDateDays, 364},  {"20170305", 20170305, kDateDays, 0},
      {"20170305", 20160101, kDateMonths, 14}, {"20170105", 20171201, kDateMonths, -11},
      {"20170305", 20100101, kDateYears, 7},   {"20170305", 20170301, kDateWhole, 4},
  };
  for (const ShiftCase& c : kCases) {
    SCOPED_TRACE(std::string(c.stored) + " - " + std::to_string(c.amount));
    EXPECT_EQ(DateDistance(c.stored, c.amount, c.unit), c.result);
  }
  EXPECT_EQ(DateDistance("20170305", std::numeric_limits<int64_t>::max(), kDateWhole),
            20170305 - 4'000'000'000'000'000'000);
  (void)DateDistance("20170305", std::numeric_limits<int64_t>::min(), kDateDays);
}

TEST_F(DatesTest, PartsMonthLengthsAndDateNumbers) {
  EXPECT_EQ(DatePart("20170305", kDateDays), 5);
  EXPECT_EQ(DatePart("20170305", kDateMonths), 3);
  EXPECT_EQ(DatePart("20170305", kDateYears), 2017);
  EXPECT_EQ(DatePart("20170305", kDateWhole), 20170305);
  EXPECT_EQ(DatePart("2017xx05", kDateWhole), 0);
  EXPECT_EQ(DatePart("", kDateYears), 0);

  const std::pair<const char*, int> kLengths[] = {
      {"20170201", 28}, {"20160201", 29}, {"19000201", 29}, {"21000201", 29},
      {"20170401", 30}, {"20171101", 30}, {"20171201", 31}, {"20170101", 31},
  };
  for (const auto& [date, days] : kLengths) EXPECT_EQ(DaysInMonth(date), days) << date;

  EXPECT_EQ(Text(DateFromNumber(20160229)), "20160229");
  EXPECT_EQ(Text(DateFromNumber(99991231)), "99991231");
  EXPECT_EQ(Text(DateFromNumber(101)), "00000101");
  for (int64_t bad : {int64_t{20170229}, int64_t{20171301}, int64_t{20170100}, int64_t{100000101},
                      int64_t{-1}, int64_t{0}}) {
    EXPECT_EQ(Text(DateFromNumber(bad)), "<163>") << bad;
  }
}

TEST_F(DatesTest, TimesOfDay) {
  const std::pair<const char*, int64_t> kTimes[] = {
      {"10:30:15.5", 37815500},
      {"90", 90000},
      {"1:30", 90000},
      {"10:30:15.123", 37815123},
      {"10:30:15.1239", 37815123},
      {"00:00:00.05", 50},
      {"1:2:3:4.5", 500},
      {"x", 0},
      {"99999999999999:0:0", 3600000000000000},
  };
  for (const auto& [text, ms] : kTimes) EXPECT_EQ(ParseTime(text), ms) << text;
  EXPECT_EQ(ParseTime(""), 37815000);  // now

  const std::pair<int, const char*> kForms[] = {
      {0, "1030"},     {1, "10:30"},      {2, "103015"},
      {3, "10:30:15"}, {6, "103015.500"}, {7, "10:30:15.500"},
  };
  for (const auto& [form, text] : kForms) EXPECT_EQ(Text(FormatTime(37815500, form)), text);
  EXPECT_EQ(Text(FormatTime(0, 3)), "00:00:00");
  EXPECT_EQ(Text(FormatTime(-5, 3)), "00:00:00");
}

}  // namespace
}  // namespace tessaly
