#include "app/numbering.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "app/vat_summary.h"
#include "core/flags.h"
#include "core/string_tables.h"
#include "data/dates.h"
#include "data/structures.h"
#include "platform/fault_env.h"
#include "tests/app/app_fixture.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

class Counters : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    fs::create_directories(Scratch() / "apps");
    fs::create_directories(Scratch() / "data");
    (void)strtab::Set(strtab::kEnvironment, 2, "TSHOP");
    (void)strtab::Set(strtab::kEnvironment, 5, Slice::Of((Scratch() / "apps").string()));
    Run("CCO=1");
    file_ = Scratch() / "data" / "TSCOUNT.DAT";
  }

  std::string Header() { return ReadAll(file_).substr(0, kCounterHeaderSize); }
  std::string SlotText(int i) { return ReadAll(file_).substr(4096 + 8 * (i - 1), 8); }
  static std::string Blocks(int n) {
    std::string block(4094, ' ');
    block += "\r\n";
    std::string all;
    for (int i = 0; i < n; ++i) all += block;
    return all;
  }
  // A counter file whose header holds `names`.
  void WriteFile(const std::string& names, int blocks) {
    std::string all = Blocks(blocks);
    all.replace(0, names.size(), names);
    WriteAll(file_, all);
  }

  fs::path file_;
};

TEST_F(Counters, TheFileLivesInTheDataFolderUnlessCcoIsZero) {
  std::string path = CounterFilePath().str();
  std::replace(path.begin(), path.end(), '\\', '/');  // the platform reads both separators
  EXPECT_EQ(fs::path(path).lexically_normal(), file_.lexically_normal());
  Run("CCO=0");
  EXPECT_EQ(CounterFilePath().str(), "TSCOUNT.DAT");
}

TEST_F(Counters, ReadNextStoreAndGrow) {
  EXPECT_EQ(Eval("AUTONUM('INV')"), "=1");
  EXPECT_FALSE(fs::exists(file_));  // reading creates nothing

  EXPECT_EQ(Eval("AUTONUM('INV';7)"), "=7");
  EXPECT_EQ(Eval("AUTONUM('INV')"), "=8");
  std::string all = ReadAll(file_);
  ASSERT_EQ(all.size(), 8192u);  // the header block and one slot block
  EXPECT_EQ(all.substr(0, 5), "_INV ");
  EXPECT_EQ(all.substr(4094, 2), "\r\n");
  EXPECT_EQ(SlotText(1), "       7");
  EXPECT_EQ(all.substr(8190, 2), "\r\n");

  EXPECT_EQ(Eval("AUTONUM('DEL';12.6)"), "=13");  // whole numbers
  EXPECT_EQ(Eval("AUTONUM('DEL')"), "=14");
  EXPECT_EQ(Header().substr(0, 10), "_INV,_DEL ");
  EXPECT_EQ(SlotText(2), "      13");
  EXPECT_EQ(Eval("AUTONUM('INV';-3)"), "=-3");
  EXPECT_EQ(Eval("AUTONUM('INV')"), "=-2");
  EXPECT_EQ(ReadAll(file_).size(), 8192u);
}

TEST_F(Counters, ASlotBeyondTheEndGrowsTheFileByWholeBlocks) {
  std::string names;
  for (int i = 1; i <= 600; ++i) names += (i > 1 ? "," : "") + std::to_string(i);
  WriteFile(names, 1);
  EXPECT_EQ(Eval("AUTONUM('N')"), "=1");
  EXPECT_EQ(Eval("AUTONUM('N';42)"), "=42");  // slot 601 ends at byte 8904
  std::string all = ReadAll(file_);
  ASSERT_EQ(all.size(), 3u * 4096);
  for (int block = 1; block < 3; ++block) EXPECT_EQ(all.substr(block * 4096 + 4094, 2), "\r\n");
  EXPECT_EQ(SlotText(601), "      42");
  EXPECT_EQ(Eval("AUTONUM('N')"), "=43");
  EXPECT_EQ(Eval("AUTONUM('1')"), "=1");  // a blank slot reads as 0
}

TEST_F(Counters, AFullHeaderRefusesANewCounter) {
  WriteFile(std::string(4090, 'x'), 2);
  const std::string before = ReadAll(file_);
  EXPECT_EQ(Eval("AUTONUM('LONG';1)"), "#168");
  EXPECT_EQ(ReadAll(file_), before);
  EXPECT_EQ(Eval("AUTONUM('A';1)"), "=1");  // ",_A" makes 4093 bytes: it fits
  EXPECT_EQ(Eval("AUTONUM('A')"), "=2");
  EXPECT_EQ(Eval("AUTONUM('B';1)"), "#168");
}

TEST_F(Counters, DamageReadsAsTheDefaultAndIsMendedByTheNextStore) {
  WriteAll(file_, "_INV,garbage that ends early");  // shorter than its header
  EXPECT_EQ(Eval("AUTONUM('INV')"), "=1");
  EXPECT_EQ(Eval("AUTONUM('INV';5)"), "=5");
  EXPECT_EQ(ReadAll(file_).size(), 8192u);
  EXPECT_EQ(Header().substr(0, 5), "_INV ");
  EXPECT_EQ(Header().substr(4094), "\r\n");
  EXPECT_EQ(Eval("AUTONUM('INV')"), "=6");

  std::string all = ReadAll(file_);
  all.replace(4096, 8, std::string("ab\x01\0cdef", 8));  // garbage in the slot
  WriteAll(file_, all);
  EXPECT_EQ(Eval("AUTONUM('INV')"), "=1");
  EXPECT_EQ(Eval("AUTONUM('INV';3)"), "=3");
  EXPECT_EQ(Eval("AUTONUM('INV')"), "=4");

  WriteAll(file_, ReadAll(file_).substr(0, 4100));  // cut in the middle of the slot
  EXPECT_EQ(Eval("AUTONUM('INV')"), "=1");
  EXPECT_EQ(Eval("AUTONUM('INV';9)"), "=9");
  EXPECT_EQ(Eval("AUTONUM('INV')"), "=10");
}

TEST_F(Counters, AFailingDiskNeverGivesACounterAValueItWasNotGiven) {
  ASSERT_EQ(Eval("AUTONUM('INV';7)"), "=7");
  platform::FaultEnv env;
  platform::ScopedEnv use(&env);
  ASSERT_EQ(Eval("AUTONUM('NEW';3)"), "=3");  // count the writes of adding a counter
  const int writes = env.count(platform::FaultEnv::kWrite);
  ASSERT_GT(writes, 0);
  for (int n = 1; n <= writes; ++n) {
    WriteFile("_INV", 2);
    std::string all = ReadAll(file_);
    all.replace(4096, 8, "       7");
    WriteAll(file_, all);
    env.FailNth(platform::FaultEnv::kWrite, n);
    EXPECT_EQ(Eval("AUTONUM('NEW';3)"), "#137") << n;
    env.Reset();
    EXPECT_EQ(Eval("AUTONUM('INV')"), "=8") << n;
    std::string next = Eval("AUTONUM('NEW')");
    EXPECT_TRUE(next == "=1" || next == "=4") << n << " " << next;
  }
}

TEST_F(Counters, BadArguments) {
  EXPECT_EQ(Eval("AUTONUM()"), "#147");
  EXPECT_EQ(Eval("AUTONUM('A';1;2)"), "#147");
  EXPECT_EQ(Eval("AUTONUM('A';'1')"), "#147");
  EXPECT_EQ(Eval("AUTONUM('A,B';1)"), "#163");
  EXPECT_EQ(Eval("AUTONUM('A';123456789)"), "#168");
  EXPECT_EQ(Eval("AUTONUM('A';-9999999)"), "=-9999999");
}

TEST_F(Counters, TheKeyCarriesTheCurrentFilesName) {
  ASSERT_EQ(FileStructDefine("invoices", "NUMBER;6;N", "").code(), 0);
  EXPECT_EQ(CounterKey("INV").str(), FileName(Word(kCurFil)).str() + "_INV");
  EXPECT_EQ(Eval("AUTONUM('INV';2)"), "=2");
  FileStructRestore();
  EXPECT_EQ(Eval("AUTONUM('INV')"), "=1");  // another counter without the file
}

// ---- Series codes -----------------------------------------------------------------

using SeriesCodes = AppTest;

TEST_F(SeriesCodes, SeriesAndYear) {
  const int64_t today = TodayDate();
  const std::string year = std::to_string(today / 10000).substr(2, 2);
  struct Case {
    const char* expression;
    bool letters;
    std::string code;
  };
  const Case cases[] = {
      {"DocSer$('A';'20170829')", false, "A17"}, {"DocSer$('A';'20170829')", true, "AB7"},
      {"DocSer$('Bx';'20051231')", true, "BA5"}, {"DocSer$('A';'20251231')", true, "A25"},
      {"DocSer$('A';20170829)", false, "A17"},   {"DocSer$('';'')", false, " " + year},
      {"DocSer$()", false, " " + year},          {"DocSer$('A';'201')", false, "#163"},
      {"DocSer$('A';'1';'2')", false, "#147"},
  };
  for (const Case& c : cases) {
    if (c.letters) {
      SetBits(kCompat, kCompatLetterYears);
    } else {
      ClearBits(kCompat, kCompatLetterYears);
    }
    EXPECT_EQ(Eval(c.expression), c.code) << c.expression;
  }
}

// ---- VAT summaries ----------------------------------------------------------------

using VatSummaries = AppTest;

TEST_F(VatSummaries, AccumulateByRate) {
  Run("T$=VAT$('';21;10)");
  Run("T$=VAT$(T$;21;5)");
  Run("T$=VAT$(T$;10;2.5)");
  Run("T$=VAT$(T$;4;0)");  // a zero amount adds no entry
  Run("T$=VAT$(T$;21;-1.25)");
  const struct {
    const char* expression;
    const char* value;
  } cases[] = {
      {"VATv(T$;0)", "=2"},       {"VATv(T$;1)", "=21"},    {"VATv(T$;1;1)", "=13.75"},
      {"VATv(T$;2)", "=10"},      {"VATv(T$;2;1)", "=2.5"}, {"VATv(T$;3)", "=0"},
      {"VATv(T$;-1)", "=0"},      {"VATv(T$;1;2)", "#147"}, {"VATv(T$)", "#147"},
      {"VATv(T$;1;1;1)", "#147"},
  };
  for (const auto& c : cases) EXPECT_EQ(Eval(c.expression), c.value) << c.expression;
  AreaMark mark;
  ASSERT_EQ(ReadVariable("T$"), kTextValue);
  EXPECT_EQ(Area().Top().size(), 2 * kVatEntrySize);
}

TEST_F(VatSummaries, EntriesFromARateList) {
  Run("T$=VAT$('';'21,10,4')");
  EXPECT_EQ(Eval("VATv(T$;0)"), "=3");
  EXPECT_EQ(Eval("VATv(T$;2)"), "=10");
  EXPECT_EQ(Eval("VATv(T$;3;1)"), "=0");
  Run("T$=VAT$(T$;10;100)");
  EXPECT_EQ(Eval("VATv(T$;2;1)"), "=100");
  Run("T$=VAT$(T$;'10,5.5')");  // only the new rate is added
  EXPECT_EQ(Eval("VATv(T$;0)"), "=4");
  EXPECT_EQ(Eval("VATv(T$;4)"), "=5.5");
  EXPECT_EQ(Eval("VATv(T$;2;1)"), "=100");
}

TEST_F(VatSummaries, DamagedSummariesAndBadArguments) {
  EXPECT_EQ(Eval("VAT$('abc';21;10)"), "#163");
  EXPECT_EQ(Eval("VATv('abc';1)"), "#163");
  EXPECT_EQ(Eval("VAT$('';'21,x')"), "#163");
  EXPECT_EQ(Eval("VAT$('')"), "#147");
  EXPECT_EQ(Eval("VAT$('';21;10;1)"), "#147");
  EXPECT_EQ(Eval("VAT$('';'21';10)"), "#128");
  EXPECT_EQ(Eval("VATv('';0)"), "=0");
  // Rates compare exactly: 21 and 21.001 are two entries at three decimals.
  Run("_PRECIS=3");
  Run("T$=VAT$(VAT$('';21;1);21.001;1)");
  EXPECT_EQ(Eval("VATv(T$;0)"), "=2");
}

}  // namespace
}  // namespace tessaly
