#include "app/pay_dates.h"

#include <gtest/gtest.h>

#include "tests/app/app_fixture.h"

namespace tessaly {
namespace {

using PayDates = AppTest;

struct PayCase {
  const char* expression;
  const char* result;
};

TEST_F(PayDates, SchedulesAndPayDays) {
  const PayCase cases[] = {
      // Steps of days or months from the first date.
      {"PayDate$('20170829';0;30;0;3)", "20171028"},
      {"PayDate$('20170829';0;0;1;3)", "20171029"},
      {"PayDate$('20170829';60;0;0;1)", "20171029"},  // 60 days count as two months
      {"PayDate$('20170829';45;0;0;1)", "20171013"},
      {"PayDate$('20170829';30;10;0;1)", "20170928"},  // with a day step, days are days
      {"PayDate$('20170829';30;10;0;3)", "20171018"},
      {"PayDate$('20170829';0;0;0;5)", "20170829"},  // no steps: every payment the same day
      {"PayDate$('20171215';0;0;1;2)", "20180115"},
      // n = 0 gives the date back whatever it is.
      {"PayDate$('not a date';5;5;5;0)", "not a date"},
      // Month moves clamp the day to shorter months.
      {"PayDate$('20170131';0;0;1;2)", "20170228"},
      {"PayDate$('20160131';0;0;1;2)", "20160229"},
      {"PayDate$('20170131';0;0;1;4)", "20170430"},
      {"PayDate$('20170131';30;0;0;1)", "20170228"},
      // Pay days.
      {"PayDate$('20170829';0;0;0;1;'5,20')", "20170905"},
      {"PayDate$('20170810';0;0;0;1;'5,20')", "20170820"},
      {"PayDate$('20170820';0;0;0;1;'5,20')", "20170820"},
      {"PayDate$('20170210';0;0;0;1;'30')", "20170228"},     // past the month's end: its last day
      {"PayDate$('20170210';0;0;0;1;'15,30')", "20170215"},  // never skips a nearer pay day
      {"PayDate$('20171229';0;0;0;1;'25')", "20180125"},
      {"PayDate$('20170829';0;0;0;1;'0,40,10')", "20170910"},  // 0 and 40 ignored
      {"PayDate$('20170829';0;0;0;1;'x,,')", "20170829"},
      {"PayDate$('20170829';0;0;0;1;'')", "20170829"},
      {"PayDate$('20170829';0;0;1;2;'5')", "20171005"},
  };
  for (const PayCase& c : cases) EXPECT_EQ(Eval(c.expression), c.result) << c.expression;
}

TEST_F(PayDates, BadArguments) {
  const PayCase cases[] = {
      {"PayDate$('20170829';0;30;0)", "#147"},     {"PayDate$('20170829';0;30;0;1;'5';1)", "#147"},
      {"PayDate$('20170829';'a';30;0;1)", "#128"}, {"PayDate$('2017-08-29';0;30;0;1)", "#163"},
      {"PayDate$('20170230';0;30;0;1)", "#163"},   {"PayDate$('';0;30;0;1)", "#163"},
      {"PayDate$('99991201';0;0;1;3)", "#163"},  // beyond the calendar
  };
  for (const PayCase& c : cases) EXPECT_EQ(Eval(c.expression), c.result) << c.expression;
}

}  // namespace
}  // namespace tessaly
