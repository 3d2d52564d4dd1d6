#include "app/spanish_words.h"

#include <gtest/gtest.h>

#include <string>

#include "core/flags.h"
#include "tests/app/app_fixture.h"

namespace tessaly {
namespace {

using SpanishWords = AppTest;

struct WordsCase {
  const char* expression;
  int dx;
  const char* words;  // Windows-1252
};

TEST_F(SpanishWords, NumbersInWords) {
  const WordsCase cases[] = {
      {"FN$TXTN(0)", 2, ""},
      {"FN$TXTN(20)", 2, "veinte"},
      {"FN$TXTN(30)", 2, "treinta"},
      {"FN$TXTN(31)", 2, "treinta y uno"},
      {"FN$TXTN(16)", 2, "dieciseis"},
      {"FN$TXTN(11)", 2, "once"},
      {"FN$TXTN(7)", 2, "siete"},
      {"FN$TXTN(100)", 2, "cien"},
      {"FN$TXTN(101)", 2, "ciento uno"},
      {"FN$TXTN(125)", 2, "ciento veinticinco"},
      {"FN$TXTN(200)", 2, "dos cientos"},
      {"FN$TXTN(999)", 2, "novecientos noventa y nueve"},
      {"FN$TXTN(1000)", 2, "mil"},
      {"FN$TXTN(1100)", 2, "mil cien"},
      {"FN$TXTN(2000)", 2, "dos mil"},
      {"FN$TXTN(21000)", 2, "veintiuno mil"},
      {"FN$TXTN(100000)", 2, "cien mil"},
      {"FN$TXTN(100001)", 2, "cien mil uno"},
      {"FN$TXTN(1500000)", 2, "un mill\xF3n quinientos mil"},
      {"FN$TXTN(1000000)", 2, "un mill\xF3n"},
      {"FN$TXTN(2000000)", 2, "dos millones"},
      {"FN$TXTN(1000500)", 2, "un mill\xF3n quinientos"},
      {"FN$TXTN(12000012)", 2, "doce millones doce"},
      {"FN$TXTN(100000000)", 2, "cien millones"},
      {"FN$TXTN(1000000000)", 2, "mil millones"},
      {"FN$TXTN(3000000.25)", 2, "tres millones con veinticinco"},
      {"FN$TXTN(125.5)", 2, "ciento veinticinco con cincuenta"},
      {"FN$TXTN(125.05)", 2, "ciento veinticinco con cinco"},
      // Without _DX the decimals keep their own places: .5 is fifty cents.
      {"FN$TXTN(125.5)", 0, "ciento veinticinco con cincuenta"},
      {"FN$TXTN(-25)", 2, "veinticinco negativas "},
      {"FN$TXTN('125')", 2, "ciento veinticinco"},
  };
  for (const WordsCase& c : cases) {
    SetWord(kDx, static_cast<uint16_t>(c.dx));
    SetWord(kUser03, 9);
    EXPECT_EQ(Eval(c.expression), c.words) << c.expression;
    EXPECT_EQ(Word(kUser03), 0) << c.expression;
  }
}

TEST_F(SpanishWords, WiderDecimalsArePaddedToDx) {
  Run("_PRECIS=3");
  SetWord(kDx, 3);
  EXPECT_EQ(Eval("FN$TXTN(2.5)"), "dos con quinientos");
  EXPECT_EQ(NumberInWords(2050, 3, 0).str(), "dos con cincuenta");
}

TEST_F(SpanishWords, TextComesInLinesCutAtBlanks) {
  struct Step {
    const char* expression;
    const char* piece;
    int cursor_after;
  };
  const Step steps[] = {
      {"FN$TXTN('uno dos tres';5)", "uno", 4},
      {"FN$TXTN('uno dos tres';5)", "dos", 8},
      {"FN$TXTN('uno dos tres';5)", "tres", 13},
      {"FN$TXTN('uno dos tres';5)", "", 14},
      {"FN$TXTN(50)", "cincuenta", 0},              // the number form starts again
      {"FN$TXTN('abcdefgh ij';4)", "abcdefgh", 9},  // no blank in reach: the first one
      {"FN$TXTN('abcdefgh ij';4)", "ij", 12},
      {"FN$TXTN(50)", "cincuenta", 0},
      {"FN$TXTN('abcdefgh';4)", "", 1},       // no blank at all
      {"FN$TXTN('abcdefgh')", "bcdefgh", 0},  // width 0: the whole rest
      {"FN$TXTN('ab cd ef';0)", "ab cd ef", 0},
      {"FN$TXTN('one two three four';9)", "one two", 8},
      {"FN$TXTN('one two three four';9)", "three", 14},
      {"FN$TXTN('one two three four';9)", "four", 19},
  };
  SetWord(kUser03, 0);
  for (const Step& s : steps) {
    EXPECT_EQ(Eval(s.expression), s.piece) << s.expression;
    EXPECT_EQ(Word(kUser03), s.cursor_after) << s.expression;
  }
}

TEST_F(SpanishWords, ArgumentCountsAndKinds) {
  EXPECT_EQ(Eval("FN$TXTN()"), "#147");
  EXPECT_EQ(Eval("FN$TXTN('a';1;2)"), "#147");
  EXPECT_EQ(Eval("FN$TXTN('a b';'x')"), "#128");
}

}  // namespace
}  // namespace tessaly
