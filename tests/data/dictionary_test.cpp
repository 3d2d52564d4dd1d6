#include "data/dictionary.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/flags.h"
#include "core/runtime_arrays.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "data/streams.h"
#include "data/structures.h"

namespace tessaly {

inline void PrintTo(const Slice& s, std::ostream* os) {
  if (s.ok()) {
    *os << '"' << s.view() << '"';
  } else {
    *os << "<status " << s.status().code() << ">";
  }
}

namespace {

namespace fs = std::filesystem;

const std::string kFixtures = std::string(TESSALY_FIXTURES) + "/dict";

std::string Runtime(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// A field line: width in columns 10-12, type in 14, name from 15.
std::string FieldLine(const char* nn, int width, char type, const char* name) {
  char text[128];
  std::snprintf(text, sizeof text, "%s       %03d %c%s", nn, width, type, name);
  return text;
}

class DictionaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rtarray::FreeAll();
    strtab::ClearAll();
    StructClearAll();
    ClearDetail();
    ForceLastError(0, 0);
    depth_ = Area().Mark();
    char tmpl[] = "/tmp/tessaly_dict_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    StructClearAll();
    StreamCloseAll();
    Area().Release(depth_);
    fs::remove_all(dir_);
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
  }
  Status Load(const char* code) {
    return DictionaryLoad(code, "DEF", Slice::Of("\\nowhere," + dir_));
  }
  int depth_ = 0;
  std::string dir_;
};

TEST_F(DictionaryTest, FixtureWithIncludeKeysAndRelations) {
  ASSERT_EQ(DictionaryLoad("TSHOP", "C:\\DEF", Slice::Of("\\nowhere," + kFixtures)), Status::kOk);
  ASSERT_EQ(FileCount(), 5);
  struct Want {
    const char* name;
    const char* folder;
    int attribute;
    int fields;
    uint16_t length;
    int keys;
  };
  const Want want[] = {
      {"customers", "DATA", 10, 3, 46, 3},
      {"lines", "C:\\DEF", 11, 4, 26, 1},     // no key line: the default key
      {"articles", "C:\\DEF", 12, 3, 46, 1},  // a blank folder is the default one
      {"families", "FAM", 20, 2, 22, 1},      // included: its key line counts from its file 1
      {"notes", "C:\\DEF", 21, 2, 44, 1},     // the included dictionary's last file
  };
  for (int f = 1; f <= 5; ++f) {
    const Want& w = want[f - 1];
    EXPECT_EQ(FileName(f), Slice(w.name)) << f;
    EXPECT_EQ(FileFolder(f), Slice(w.folder)) << f;
    EXPECT_EQ(FileAttribute(f), w.attribute) << f;
    EXPECT_EQ(FieldCount(f), w.fields) << f;
    EXPECT_EQ(RecordLength(f), w.length) << f;
    EXPECT_EQ(KeyCount(f), w.keys) << f;
  }
  KeyLayout k;
  ASSERT_EQ(KeySegments(1, 3, &k), Status::kOk);
  EXPECT_EQ(k.count, 2);
  EXPECT_EQ(k.segments[0].offset, 6);
  EXPECT_EQ(k.segments[1].length, 6);
  ASSERT_EQ(KeySegments(2, 1, &k), Status::kOk);
  EXPECT_EQ(k.segments[0].length, 12);  // offset 0 up to the end of N_LINE
  ASSERT_EQ(KeySegments(4, 1, &k), Status::kOk);
  EXPECT_EQ(k.segments[0].length, 2);
  ASSERT_EQ(KeySegments(5, 1, &k), Status::kOk);
  EXPECT_EQ(k.segments[0].length, 44);

  EXPECT_EQ(FileRelations(1), Slice(":2R1K1=CODE{}"));
  EXPECT_EQ(FileRelations(2), Slice(":3R1K1=ITEM{}"));
  EXPECT_EQ(FileRelations(4), Slice(":3R1K1=FCODE{}"));  // the include's own file 1
  FieldDesc d;
  ASSERT_EQ(FieldReference("FNAME{FAMILIES}", &d), Status::kOk);
  EXPECT_EQ(d.offset, 2);
}

TEST_F(DictionaryTest, MissingDictionaryNamesTheFileAndTheFolders) {
  EXPECT_EQ(Load("ZZ"), Status::kFileNotFound);
  EXPECT_EQ(GetDetail().str(), "ZZDICC.DAT [\\nowhere," + dir_ + "]");
  EXPECT_EQ(GetLastError().code, Status::kFileNotFound);
  // A missing REL.DAT is no error.
  Write("ZZDICC.DAT", "01**00A\n" + FieldLine("01", 3, 'A', "X") + "\n");
  EXPECT_EQ(Load("ZZ"), Status::kOk);
  EXPECT_EQ(KeyCount(1), 1);
}

TEST_F(DictionaryTest, MalformedLinesStopTheLoadAndNameTheLine) {
  const std::string good = "01**00FILE\n" + FieldLine("01", 6, 'A', "CODE") + "\n" +
                           FieldLine("01", 30, 'A', "NAME") + "\n";
  struct Case {
    const char* what;
    std::string dicc;
    uint16_t status;
    int line;
  };
  const Case cases[] = {
      {"short line", good + "0\n", Status::kBadInputData, 4},
      {"letters in the number", good + "0X**00B\n", Status::kBadInputData, 4},
      {"number beyond 90", good + "91:x\n", Status::kBadInputData, 4},
      {"letters in the width", good + "01       0A6 AX\n", Status::kBadInputData, 4},
      {"unknown type", good + FieldLine("01", 6, 'Q', "X") + "\n", Status::kBadInputData, 4},
      {"field line without name", good + "01       006 A\n", Status::kBadInputData, 4},
      {"field before any file", FieldLine("01", 6, 'A', "X") + "\n", Status::kBadInputData, 1},
      {"file line without name", "01**00\n", Status::kBadInputData, 1},
      {"attribute not digits", "01**XXFILE\n", Status::kBadInputData, 1},
      {"key beyond the record", good + "31<0030010>\n", Status::kInternalError, 4},
      {"key letters", good + "31<00a1006>\n", Status::kBadInputData, 4},
      {"key for no file", good + "32<0001006>\n", Status::kBadFileNumber, 4},
      {"relation without colon", good + "61 2R1K1\n", Status::kBadInputData, 4},
      {"file without fields", good + "02**00EMPTY\n", Status::kBadInputData, 4},
      {"include of itself", good + "02*$*00QQ\n", Status::kBadInputData, 4},
      {"binary line", good + std::string("01\x00\x01\xff\x1b*", 7) + "\n", Status::kBadInputData,
       4},
      {"line longer than 512", good + "01" + std::string(600, 'x') + "\n", Status::kStringTooLong,
       4},
  };
  for (const Case& c : cases) {
    StructClearAll();
    ClearDetail();
    Write("QQDICC.DAT", c.dicc);
    EXPECT_EQ(Load("QQ").code(), c.status) << c.what;
    // The detail names the path as the runtime found it, in its own form.
    std::string where = Runtime(dir_ + "/QQDICC.DAT") + " line " + std::to_string(c.line);
    EXPECT_NE(GetDetail().str().find(where), std::string::npos)
        << c.what << ": " << GetDetail().str();
    EXPECT_EQ(FileCount(), 0) << c.what;  // a failed load leaves nothing behind
  }
}

TEST_F(DictionaryTest, ThirtiethFileIsRefused) {
  std::string dicc;
  for (int i = 1; i <= 30; ++i) {
    dicc += "01**00F" + std::to_string(i) + "\n" + FieldLine("01", 2, 'A', "X") + "\n";
  }
  Write("QQDICC.DAT", dicc);
  EXPECT_EQ(Load("QQ"), Status::kFileOutBound);
  EXPECT_NE(GetDetail().str().find("line 59"), std::string::npos) << GetDetail().str();
  EXPECT_EQ(FileCount(), 0);
}

TEST_F(DictionaryTest, KeyLinesAfterAnIncludeMayGiveEarlierFilesDefaultKeys) {
  // Key lines are meant to come in ascending file order: here the include's
  // key line arrives first and gives file 1 its default key, so the key line
  // written later for file 1 becomes its second key.
  Write("AADICC.DAT", "01**00ONE\n" + FieldLine("01", 4, 'A', "A") + "\n" +
                          FieldLine("01", 4, 'A', "B") + "\n02*$*00BB\n31<0005004>\n");
  Write("BBDICC.DAT", "01**00TWO\n" + FieldLine("01", 2, 'A', "C") + "\n31<0001002>\n");
  ASSERT_EQ(Load("AA"), Status::kOk);
  EXPECT_EQ(KeyCount(1), 2);
  EXPECT_EQ(KeyCount(2), 1);
  KeyLayout k;
  ASSERT_EQ(KeySegments(1, 1, &k), Status::kOk);
  EXPECT_EQ(k.segments[0].length, 4);  // default: field 1
  ASSERT_EQ(KeySegments(1, 2, &k), Status::kOk);
  EXPECT_EQ(k.segments[0].offset, 4);
}

TEST_F(DictionaryTest, FileNamesOfTheDictionary) {
  EXPECT_EQ(DictionaryFileName("TSHOP", kDictionaryFields), Slice("TSDICC.DAT"));
  EXPECT_EQ(DictionaryFileName("TS", kDictionaryRelations), Slice("TSREL.DAT"));
  EXPECT_EQ(DictionaryFileName("TS", kDictionaryMenu), Slice("TSMENU.PPN"));
  EXPECT_EQ(DictionaryFileName("TS", 6), Slice(""));
  EXPECT_EQ(DictionaryLoad("T", "", ""), Status::kLoadStrError);
}

}  // namespace
}  // namespace tessaly
