#include "platform/paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/encoding.h"
#include "platform/fault_env.h"
#include "tests/platform/temp_folder.h"

namespace tessaly::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

TEST(Encoding, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
}

TEST(Encoding, Conversions) {
  struct Case {
    const char* cp1252;
    const char* utf8;
  };
  const Case cases[] = {
      {"Espa\xF1" "a", "España"},
      {"\x80 10", "€ 10"},
      {"\x93quoted\x94", "“quoted”"},
      {"\x8A\x9F", "ŠŸ"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cp1252ToUtf8(c.cp1252), c.utf8);
    EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252);
  }
  // A character outside the code page, and a byte that is not UTF-8.
  EXPECT_EQ(Utf8ToCp1252("日x"), "?x");
  EXPECT_EQ(Utf8ToCp1252("caf\xE9"), "caf\xE9");
}

TEST(Encoding, NameKeysIgnoreLetterCase) {
  EXPECT_EQ(NameKey("CUSTOMERS.DIR"), NameKey("Customers.dir"));
  EXPECT_EQ(NameKey("AÑO.TXT"), NameKey("año.txt"));
  EXPECT_EQ(NameKey("ŒUVRE"), NameKey("œuvre"));
  // A name stored in a single-byte encoding meets its UTF-8 spelling.
  EXPECT_EQ(NameKey("A\xD1O"), NameKey("año"));
  EXPECT_NE(NameKey("a"), NameKey("b"));
}

TEST(TranslatePath, Forms) {
  FaultEnv env;
  ScopedEnv use(&env);
  env.SetVariable("TESSALY_DRIVE_D", "/srv/shop/");
  env.SetVariable("TESSALY_DRIVE_C", std::nullopt);
  struct Case {
    const char* runtime;
    const char* native;
  };
  const Case cases[] = {
      {"DATA\\CUSTOMERS.DIR", "DATA/CUSTOMERS.DIR"},
      {"C:\\KV\\DATA", "/KV/DATA"},
      {"c:\\kv", "/kv"},
      {"D:\\DATA\\X.DIR", "/srv/shop/DATA/X.DIR"},
      {"d:DATA", "/srv/shop/DATA"},
      {"D:", "/srv/shop/"},
      {"\\\\server\\share\\f", "//server/share/f"},
      {"NAME.", "NAME"},
      {"DIR \\NAME.DAT  ", "DIR/NAME.DAT"},
      {"..\\.\\x", ".././x"},
      {"A\xF1o", "Año"},
      {"already/unix", "already/unix"},
  };
  for (const Case& c : cases) EXPECT_EQ(TranslatePath(c.runtime), c.native) << c.runtime;
}

TEST(MatchPattern, WildcardsIgnoreCase) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"*.DIR", "customers.dir", true},  {"*.DIR", "customers.ndx", false},
      {"CUST*.*", "Customers.dir", true}, {"*.*", "Makefile", true},
      {"README.*", "readme", true},       {"?.TXT", "a.txt", true},
      {"?.TXT", "ab.txt", false},         {"*", "", true},
      {"A*B*C", "aXbYc", true},          {"A*B*C", "aXbY", false},
      {"\xD1*", "\xF1o", true},           {"exact", "EXACT", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchPattern(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
  }
}

class ResolveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ForgetAllPaths();
    env_.SetVariable("TESSALY_DRIVE_T", folder_.path());
  }
  std::string Resolved(const char* runtime, Resolve mode = Resolve::kExisting) {
    std::string native;
    int err = ResolvePath(runtime, mode, &native);
    return err == 0 ? native.substr(folder_.path().size()) : "errno " + std::to_string(err);
  }

  TempFolder folder_{"mixedcase"};
  FaultEnv env_;
  ScopedEnv use_{&env_};
};

TEST_F(ResolveTest, ComponentsMatchWithoutRegardToCase) {
  EXPECT_EQ(Resolved("T:\\DATA\\CUSTOMERS.DIR"), "/data/Customers.dir");
  EXPECT_EQ(Resolved("T:\\data\\Customers.dir"), "/data/Customers.dir");
  EXPECT_EQ(Resolved("T:\\REPORTS\\A\xD1O.TXT"), "/Reports/Año.txt");
  EXPECT_EQ(Resolved("T:\\DATA\\MISSING.DIR"), "errno 2");
  EXPECT_EQ(Resolved("T:\\NOFOLDER\\X", Resolve::kForCreate), "errno 2");
  // A new file keeps its name as written inside the folder that matched.
  EXPECT_EQ(Resolved("T:\\DATA\\NEW.DAT", Resolve::kForCreate), "/data/NEW.DAT");
  // A file that exists under another spelling is found, never doubled.
  EXPECT_EQ(Resolved("T:\\DATA\\INVOICES.ndx", Resolve::kForCreate), "/data/Invoices.NDX");
  // A file is not a folder.
  EXPECT_EQ(Resolved("T:\\DATA\\CUSTOMERS.DIR\\X"), "errno 20");
}

TEST_F(ResolveTest, RemembersOnlyWhatStillExists) {
  ASSERT_EQ(Resolved("T:\\DATA\\CUSTOMERS.DIR"), "/data/Customers.dir");
  // Renamed behind the runtime's back: the remembered match is checked and
  // the new spelling found.
  fs::rename(folder_ / "data/Customers.dir", folder_ / "data/CUSTOMERS.Dir");
  EXPECT_EQ(Resolved("T:\\DATA\\CUSTOMERS.DIR"), "/data/CUSTOMERS.Dir");
  // Deleted: gone, and a new file is created as written.
  fs::remove(folder_ / "data/CUSTOMERS.Dir");
  EXPECT_EQ(Resolved("T:\\DATA\\CUSTOMERS.DIR"), "errno 2");
  EXPECT_EQ(Resolved("T:\\DATA\\CUSTOMERS.DIR", Resolve::kForCreate), "/data/CUSTOMERS.DIR");
  // Created exactly as written: that spelling wins over any remembered one.
  std::ofstream(folder_ / "data/CUSTOMERS.DIR") << "x";
  EXPECT_EQ(Resolved("T:\\DATA\\CUSTOMERS.DIR"), "/data/CUSTOMERS.DIR");
  // The folder itself renamed: the remembered folder is gone too.
  fs::rename(folder_ / "data", folder_ / "Datos");
  fs::rename(folder_ / "Datos", folder_ / "DaTa");
  EXPECT_EQ(Resolved("T:\\DATA\\INVOICES.NDX"), "/DaTa/Invoices.NDX");
}

TEST_F(ResolveTest, SeveralSpellingsPickTheFirstInByteOrder) {
  std::ofstream(folder_ / "data/customers.DIR") << "y";
  EXPECT_EQ(Resolved("T:\\DATA\\CUSTOMERS.DIR"), "/data/Customers.dir");
}

}  // namespace
}  // namespace tessaly::platform
