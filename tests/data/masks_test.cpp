#include "data/masks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/string_area.h"
#include "core/string_tables.h"
#include "tests/data/locale_fixture.h"

namespace tessaly {
namespace {

using MasksTest = LocaleTest;

// What the user typed into a field, what is stored, and what is shown back.
struct FieldCase {
  char type;
  int width;
  const char* language;
  const char* typed;
  const char* stored;  // "<168>" for an error status
  const char* shown;   // ignored when stored is an error
};

const FieldCase kFieldCases[] = {
    // Numbers: stored neutral with exactly the type's decimals, shown with the
    // language's point.
    {'2', 8, "ES", "12,5", "   12.50", "   12,50"},
    {'2', 8, "ES", "12.5", "   12.50", "   12,50"},  // the keypad point
    {'2', 10, "ES", "1.234,5", "   1234.50", "   1234,50"},
    {'2', 8, "EN", "12.5", "   12.50", "   12.50"},
    {'2', 8, "EN", "-.5", "   -0.50", "   -0.50"},
    {'2', 8, "EN", "1.005", "    1.01", "    1.01"},
    {'2', 8, "EN", "-1.005", "   -1.01", "   -1.01"},
    {'2', 8, "EN", "-0.004", "    0.00", "    0.00"},
    {'3', 8, "EN", "1.23456", "   1.235", "   1.235"},
    {'2', 8, "EN", "", "        ", "        "},
    {'2', 8, "EN", "  ", "        ", "        "},
    {'2', 5, "EN", "12345", "12345", "12345"},  // decimals given up to fit
    {'2', 5, "EN", "123456", "<168>", ""},
    {'9', 10, "EN", "0.5", "0.50000000", "0.50000000"},
    {'N', 3, "EN", "1234", "<168>", ""},
    {'1', 4, "EN", "12345.6", "<168>", ""},  // never the cut 2346
    {'N', 6, "EN", "999.5", "  1000", "  1000"},
    {'N', 3, "EN", "999.5", "<168>", ""},  // rounding carries past the width
    {'N', 6, "EN", "5D3", "  5000", "  5000"},
    {'N', 6, "EN", "007", "     7", "     7"},
    {'N', 6, "EN", "abc", "      ", "      "},
    {'N', 6, "EN", "--5", "      ", "      "},
    {'N', 6, "EN", "5-3", "     5", "     5"},
    {'N', 6, "EN", "1.2.3", "    12", "    12"},
    {'N', 10, "EN", "123456789012345678901234567890", "<168>", ""},
    {'N', 25, "EN", "123456789012345678901234567890", "     12345678901234567890",
     "     12345678901234567890"},
    // Logicals: typed letters of the language, stored " 01", shown words.
    {'L', 3, "EN", "y", "  1", "YES"},
    {'L', 3, "EN", " n", "  0", "NO "},
    {'L', 3, "EN", "x", "   ", "   "},
    {'L', 3, "ES", "s", "  1", "SI "},
    {'L', 3, "ES", "y", "   ", "   "},
    {'L', 1, "EN", "Y", "1", "Y"},
    // Dates.
    {'D', 8, "EN", "5/3/17", "20170503", "05-03-17"},
    {'D', 10, "ES", "5/3/17", "20170305  ", "05-03-2017"},
    {'D', 8, "EN", "050317", "20170305", "03-05-17"},
    {'D', 8, "ES", "31/02/2017", "<163>", ""},
    {'D', 8, "EN", "", "        ", "        "},
    {'F', 10, "EN", "", "          ", "          "},
    {'D', 6, "EN", "5/3/17", "170503", "      "},
    {'D', 9, "EN", "20170305", "20170305 ", "         "},
    // Texts.
    {'A', 5, "EN", "hello world", "hello", "hello"},
    {'A', 5, "EN", "hi", "hi   ", "hi   "},
    {'B', 6, "EN", "12-34 5x", "1234 5", "1234 5"},
    {'C', 6, "EN", " 1 2", "0102  ", "0102  "},
    {'C', 4, "EN", "  ", "    ", "    "},
    {'P', 6, "EN", "secret", "secret", "secret"},
    {'T', 4, "EN", "abcd", "abcd", "abcd"},
    {'T', 4, "EN", "abc", "    ", "    "},
    {'V', 4, "EN", "pass", "    ", "    "},
};

TEST_F(MasksTest, TypedValuesAreStoredAndShownByType) {
  for (const FieldCase& c : kFieldCases) {
    SCOPED_TRACE(std::string(1, c.type) + std::to_string(c.width) + " " + c.language + " [" +
                 c.typed + "]");
    UseLanguage(c.language);
    int depth = Area().Mark();
    Slice stored = ParseValue(c.type, c.typed, c.width);
    EXPECT_EQ(Text(stored), c.stored);
    if (stored.ok()) {
      EXPECT_EQ(Text(FormatValue(c.type, stored, c.width)), c.shown);
    }
    Area().Release(depth);
  }
}

TEST_F(MasksTest, ShownDateOfAnEmptyFieldFollowsTheTodayDefault) {
  SetWord(kAuxStat, 0);
  EXPECT_EQ(Text(FormatValue('D', "        ", 8)), "        ");
  SetWord(kAuxStat, 64);
  std::string today = Text(FormatValue('D', "", 10));
  EXPECT_EQ(today.size(), 10u);
  EXPECT_NE(today, "          ");
  // F never shows a date for an empty value.
  EXPECT_EQ(Text(FormatValue('F', "", 10)), "          ");
  EXPECT_EQ(Text(FormatValue('D', "20170305", 9)), "         ");
}

TEST_F(MasksTest, LogicalDisplayOfAnUnknownCharacterIsFalse) {
  EXPECT_EQ(Text(FormatValue('L', "1", 5)), "YES  ");
  EXPECT_EQ(Text(FormatValue('L', "?", 3)), "NO ");
  EXPECT_EQ(Text(FormatValue('L', " ", 3)), "   ");
}

struct StoreCase {
  char type;
  const char* value;
  int width;
  const char* stored;
};

TEST_F(MasksTest, StoreAndFitKeepTheWidthAndNeverCutANumber) {
  const StoreCase kStore[] = {
      {'2', "1234.567", 8, " 1234.57"},
      {'2', "7", 6, "  7.00"},
      {'2', "-0.001", 6, "  0.00"},
      {'N', "1234", 3, "<168>"},
      {'1', "12345.6", 4, "<168>"},
      {'N', "12", 5, "   12"},
      {'A', "x", 3, "x  "},
      {'D', "20170305", 6, "170305"},
      {'D', "20170305", 8, "20170305"},
      {'V', "x", 2, "  "},
      {'A', "abc", -1, "abc"},
  };
  for (const StoreCase& c : kStore) {
    SCOPED_TRACE(std::string(1, c.type) + " " + c.value);
    EXPECT_EQ(Text(StoreValue(c.type, c.value, c.width)), c.stored);
  }
  const StoreCase kFit[] = {
      {'N', "12.345", 5, "12.35"},    // fewer decimals: rounded
      {'N', "12345.6", 5, "12346"},   // no room for the point
      {'N', "123456.7", 5, "<168>"},  // the integer part cannot fit
      {'N', " 42 ", 5, "   42"},     {'L', "1", 1, "1"},     {'A', "abcdef", 3, "abc"},
      {'T', "abc", 3, "abc"},        {'Z', "abc", 3, "   "},
  };
  for (const StoreCase& c : kFit) {
    SCOPED_TRACE(std::string(1, c.type) + " " + c.value);
    EXPECT_EQ(Text(FitValue(c.type, c.value, c.width)), c.stored);
  }
}

struct MaskCase {
  const char* mask;
  const char* value;
  int mode;
  const char* language;
  const char* result;
};

const MaskCase kMaskCases[] = {
    // Numbers: separators, shifting and rounding.
    {"###,###.##", "1234567.891", 255, "EN", "1234567.89"},
    {"###,###.##", "123.4", 255, "EN", "    123.40"},
    {"###,###.##", "1234.5", 255, "EN", "  1,234.50"},
    {"#,##0.00", "1234.5", 255, "ES", "1.234,50"},
    {"#,##0.00", "1234.5", 1, "ES", "1,234.50"},
    {"#,##0.00", "-123", 255, "EN", " -123.00"},
    {"#,###", "-123", 255, "EN", " -123"},
    {"#,##0.00", "", 255, "EN", "    0.00"},
    {"###.##", "", 255, "EN", "      "},
    {"##.##", ".5", 255, "EN", " 0.50"},
    {"##.##", "-.5", 255, "EN", "-0.50"},
    {"###", "12.5", 255, "EN", " 13"},
    {"###", "-1", 255, "EN", " -1"},
    {"###", "-0.001", 255, "EN", "  0"},
    {"###", "1234", 255, "EN", "<168>"},
    {"###", "-123", 255, "EN", "<168>"},
    {"##,##0", "1234567", 255, "EN", "<168>"},
    {"##.#", "99.99", 255, "EN", "100."},
    {"0000", "42", 255, "EN", "0042"},
    {"#####", "1D3", 255, "EN", " 1000"},
    {"$ #,##0.00 EUR", "1234.5", 255, "EN", "$ 1,234.50 EUR"},
    {"(##)", "-5", 255, "EN", "(-5)"},
    // Text masks.
    {"\\\\-\\\\", "ABCD", 255, "EN", "AB-CD"},
    {"COM\\:", "1:", 255, "EN", "COM1:"},
    {"\\\\MENU", "TY", 255, "EN", "TYMENU"},
    {"\\  \\", "ABCD", 255, "EN", "ABCD"},
    {"?\?-?\?", "ABCDE", 255, "EN", "AB-DE"},
    {"\\\\\\", "A", 255, "EN", "A  "},
    {"###-\\\\", "12ab", 255, "EN", "###-12"},
    {"\\\\\\\\", "1234", 1, "EN", "1234"},
    // Masks that stand as written.
    {"Total", "5", 255, "EN", "Total"},
    {"###", "abc", 255, "EN", "###"},
    {"##.##", "12", 0, "EN", "##.##"},
};

TEST_F(MasksTest, ValuesLaidIntoMasks) {
  for (const MaskCase& c : kMaskCases) {
    SCOPED_TRACE(std::string(c.mask) + " <- [" + c.value + "] mode " + std::to_string(c.mode) +
                 " " + c.language);
    UseLanguage(c.language);
    EXPECT_EQ(Text(ApplyMask(c.mask, c.value, c.mode)), c.result);
  }
}

TEST_F(MasksTest, WideMasksAndValuesStayExact) {
  // A mask of 20000 decimals gives them up one by one for a wide number.
  const std::string mask = "." + std::string(20000, '#');
  const std::string nines(20000, '9');
  auto masked = [&](const std::string& value) {
    int depth = Area().Mark();
    std::string text = Text(ApplyMask(Slice::Of(mask), Slice::Of(value), kMaskNeutral));
    Area().Release(depth);
    return text;
  };
  EXPECT_TRUE(masked(nines.substr(1) + ".5") == nines.substr(1) + ".5");
  EXPECT_TRUE(masked(nines) == nines + ".");
  // Rounding carries through every digit and takes the point's place.
  EXPECT_TRUE(masked(nines + ".5") == "1" + std::string(20000, '0'));
  EXPECT_TRUE(masked(nines + "9") == nines + "9");
  EXPECT_EQ(masked(nines + "99"), "<168>");
  EXPECT_EQ(DefaultMask('N', 70000, true).status().code(), Status::kStringTooLong);
  EXPECT_EQ(DefaultMask('2', 65535, true).size(), 65535);
}

TEST_F(MasksTest, DefaultMasksAndShorthands) {
  EXPECT_EQ(Text(DefaultMask('2', 8, true)), "#####.##");
  EXPECT_EQ(Text(DefaultMask('N', 3, true)), "###");
  EXPECT_EQ(Text(DefaultMask('A', 3, true)), "\\\\\\");
  EXPECT_EQ(Text(DefaultMask('L', 2, true)), "\\\\");
  EXPECT_EQ(Text(DefaultMask('C', 3, true)), "");
  EXPECT_EQ(Text(DefaultMask('2', 3, true)), ".##");
  EXPECT_EQ(Text(DefaultMask('2', 2, true)), "##");
  EXPECT_EQ(Text(DefaultMask('2', -1, true)), "");
  UseLanguage("ES");
  EXPECT_EQ(Text(DefaultMask('2', 8, false)), "#####,##");
  EXPECT_EQ(Text(DefaultMask('2', 8, true)), "#####.##");

  const std::pair<const char*, const char*> kPrepared[] = {
      {"N5", "#####"},
      {"210", "#######.##"},
      {"A3", "\\\\\\"},
      {"N0", "N0"},
      {"Nx", "Nx"},
      {"X10", "X10"},
      {"#,##0,.2", "#,##0.00"},
      {"###,.", "#,###"},
      {"########,.1", "#,###,###.#"},
      {"#,##0,.2 EUR", "#,##0.00 EUR"},
      {"$#,##0,.", "$###,##0"},
      {"##.##", "##.##"},
  };
  for (const auto& [mask, prepared] : kPrepared) {
    SCOPED_TRACE(mask);
    EXPECT_EQ(Text(PrepareMask(mask)), prepared);
  }
}

TEST_F(MasksTest, SelfSizingMasksTakeTheirDecimalsFromTheMaskParameters) {
  ASSERT_EQ(strtab::Set(strtab::kEnvironment, 10, "0,3"), Status::kOk);
  EXPECT_EQ(Text(PrepareMask("#,##0,.")), "###,##0");            // item 1: no decimals
  EXPECT_EQ(Text(PrepareMask("#,##0,.1")), "###0.000");          // item 2: three decimals
  EXPECT_EQ(Text(PrepareMask("#,###,##0,.5")), "##,##0.00000");  // no item 6: the 5 itself
}

TEST_F(MasksTest, CleaningTypedNumbers) {
  const std::pair<const char*, const char*> kEnglish[] = {
      {"  12.50 ", "12.50"},
      {"007", "7"},
      {"0.5", "0.5"},
      {"00", "0"},
      {"-0012", "-0012"},
      {"12-3", "12"},
      {"--5", "-"},
      {"1,234", "1"},
      {"5D3", "5D3"},
      {"abc", ""},
      {"1a2", "1"},
      {"", ""},
      {"123456789012345678901234567890", "12345678901234567890"},
  };
  for (const auto& [typed, clean] : kEnglish) {
    SCOPED_TRACE(typed);
    EXPECT_EQ(Text(CleanNumber(typed)), clean);
  }
  UseLanguage("ES");
  const std::pair<const char*, const char*> kSpanish[] = {
      {"12,5", "12.5"}, {"0,5", "0.5"}, {"1.234,5", "1.234.5"}, {"-3,25", "-3.25"}};
  for (const auto& [typed, clean] : kSpanish) {
    SCOPED_TRACE(typed);
    EXPECT_EQ(Text(CleanNumber(typed)), clean);
  }
}

TEST_F(MasksTest, NumberFormatOfTheLanguage) {
  NumberFormat en = LanguageNumberFormat();
  EXPECT_EQ(en.decimal_point, '.');
  EXPECT_EQ(en.thousands, ',');
  EXPECT_EQ(en.accepted.str(), "0123456789.-D");
  EXPECT_EQ(en.logical_letters.str(), " NY");
  EXPECT_EQ(en.logical_words.str(), "  ,NO,YES");
  UseLanguage("ES");
  NumberFormat es = LanguageNumberFormat();
  EXPECT_EQ(es.decimal_point, ',');
  EXPECT_EQ(es.thousands, '.');
  EXPECT_EQ(es.logical_letters.str(), " NS");
  // The neutral copy never changes with the language.
  EXPECT_EQ(NeutralNumberFormat().decimal_point, '.');
  // A short text keeps the neutral items it does not give.
  NumberFormat partial = ReadNumberFormat(",.");
  EXPECT_EQ(partial.decimal_point, ',');
  EXPECT_EQ(partial.accepted.str(), "0123456789.-D");
}

TEST_F(MasksTest, EveryConversionKeepsOnlyItsResultOnTheStringArea) {
  UseLanguage("ES");
  StringArea& area = Area();
  int depth = area.Mark();
  size_t used = area.bytes_in_use();
  for (int i = 0; i < 1000; ++i) {
    (void)FormatValue('2', "  1234.50", 10);
    area.Release(depth);
    (void)ParseValue('D', "5/3/17", 8);
    area.Release(depth);
    (void)ApplyMask("#,##0.00", "-1234.5");
    area.Release(depth);
  }
  Slice r = ParseValue('2', "1.234,5", 10);
  EXPECT_EQ(area.Mark(), depth + 1);
  EXPECT_EQ(area.bytes_in_use(), used + r.size());
}

// Typed garbage of every shape through every conversion: never a crash, a
// status only where one is due, and every result exactly as wide as asked.
TEST_F(MasksTest, GarbageInputGivesAStatusOrAFittedText) {
  static const char kAlphabet[] = "0123456789-.,D \t\\?#'\"xA:/";
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  auto random_text = [&](size_t max) {
    std::string s(next(static_cast<uint32_t>(max) + 1), ' ');
    for (char& c : s) c = kAlphabet[next(sizeof kAlphabet - 1)];
    return s;
  };
  const int kWidths[] = {-1, 0, 1, 2, 5, 8, 10, 12, 30};
  const std::string types = std::string(kFieldTypes) + "Z0";
  for (int round = 0; round < 300; ++round) {
    UseLanguage(round % 2 ? "ES" : "EN");
    std::string value = random_text(round % 10 == 0 ? 60 : 14);
    for (char type : types) {
      for (int width : kWidths) {
        int depth = Area().Mark();
        SCOPED_TRACE(std::string(1, type) + std::to_string(width) + " [" + value + "]");
        Slice stored = ParseValue(type, Slice::Of(value), width);
        if (stored.ok()) {
          if (width >= 0) {
            EXPECT_EQ(stored.size(), width);
          }
          Slice shown = FormatValue(type, stored, width);
          EXPECT_TRUE(shown.ok()) << Text(shown);
          if (width >= 0 && shown.ok()) {
            EXPECT_EQ(shown.size(), width);
          }
          // With the neutral language a stored number shows as it is stored.
          if (round % 2 == 0 && IsNumericType(type) && width >= 0) {
            EXPECT_EQ(Text(shown), Text(stored));
          }
        } else {
          uint16_t code = stored.status().code();
          EXPECT_TRUE(code == Status::kDataOutBound || code == Status::kBadInputData) << code;
        }
        for (Slice s :
             {FitValue(type, Slice::Of(value), width), StoreValue(type, Slice::Of(value), width),
              FormatValue(type, Slice::Of(value), width)}) {
          if (!s.ok()) {
            EXPECT_EQ(s.status().code(), Status::kDataOutBound);
          } else if (width >= 0) {
            EXPECT_EQ(s.size(), width);
          }
        }
        Area().Release(depth);
      }
    }
    std::string mask = random_text(12);
    for (int mode : {0, 1, 255}) {
      int depth = Area().Mark();
      Slice r = ApplyMask(Slice::Of(mask), Slice::Of(value), mode);
      if (r.ok()) {
        EXPECT_EQ(r.size(), mask.size()) << mask << " <- " << value;
      } else {
        EXPECT_EQ(r.status().code(), Status::kDataOutBound);
      }
      EXPECT_TRUE(PrepareMask(Slice::Of(mask)).ok());
      EXPECT_TRUE(CleanNumber(Slice::Of(value)).ok());
      Area().Release(depth);
    }
  }
}

}  // namespace
}  // namespace tessaly
