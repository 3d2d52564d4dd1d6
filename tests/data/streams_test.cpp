#include "data/streams.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/status.h"
#include "core/string_area.h"
#include "platform/fault_env.h"
#include "platform/paths.h"
#include "tests/platform/temp_folder.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using platform::FaultEnv;
using testing::TempFolder;

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Store(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Every test runs against a copy of the mixed-case fixture reached through
// drive T:, with a clean error record and no stream left open.
class StreamsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ForgetAllPaths();
    env_.SetVariable("TESSALY_DRIVE_T", folder_.path());
    ForceLastError(0, 0);
    ClearDetail();
    mark_ = Area().Mark();
  }
  void TearDown() override {
    StreamCloseAll();
    Area().Release(mark_);
  }
  // A runtime path to a file of the copy, written as an application would.
  static std::string T(const std::string& rest) { return "T:\\" + rest; }
  std::string Native(const std::string& rest) { return folder_ / rest; }

  std::vector<std::string> Lines(const std::string& bytes, size_t buffer_size = 256) {
    Store(Native("lines.txt"), bytes);
    int slot = StreamOpen(Slice::Of(T("LINES.TXT")), kStreamReadOnly);
    EXPECT_GE(slot, kFirstFileSlot);
    std::vector<std::string> lines;
    std::vector<char> buffer(buffer_size);
    for (int n; (n = StreamRead(slot, -1, -1, buffer.data(), buffer.size())) >= 0;) {
      lines.emplace_back(buffer.data(), static_cast<size_t>(n));
    }
    StreamClose(slot);
    return lines;
  }

  void ExpectRecorded(uint16_t code, const std::string& detail) {
    EXPECT_EQ(GetLastError().code, code);
    EXPECT_EQ(GetLastError().area, static_cast<uint16_t>(ErrorArea::kStreams));
    EXPECT_EQ(GetDetail().str(), detail);
  }

  TempFolder folder_{"mixedcase"};
  FaultEnv env_;
  platform::ScopedEnv use_{&env_};
  int mark_ = 0;
};

TEST(StreamMode, FromFlags) {
  struct Case {
    int flags;
    const char* mode;
  };
  const Case cases[] = {
      {0, "rb+"},  {kStreamUpdate, "rb+"}, {kStreamWrite, "wb+"}, {kStreamAppend, "ab+"},
      {kStreamReadOnly, "rb"}, {kStreamReadOnly | kStreamUpdate, "rb"},
      {kStreamWrite | kStreamReadOnly, "wb"}, {kStreamWrite | kStreamAppend, "wb+"},
      {kStreamAppend | kStreamReadOnly | kStreamSilent, "ab"},
  };
  for (const Case& c : cases) EXPECT_STREQ(StreamMode(c.flags), c.mode) << c.flags;
}

TEST_F(StreamsTest, MixedCasePathsReachTheFiles) {
  int slot = StreamOpen(Slice::Of(T("DATA\\CUSTOMERS.DIR")), kStreamReadOnly);
  ASSERT_GE(slot, kFirstFileSlot);
  char line[64];
  ASSERT_EQ(StreamRead(slot, -1, -1, line, sizeof line), 9);
  EXPECT_EQ(std::string(line, 9), "Ana Lopez");

  // Opening for update creates a missing file as written, inside the folder
  // that matched.
  int created = StreamOpen(Slice::Of(T("DATA\\NEWFILE.DAT")), kStreamUpdate);
  ASSERT_GE(created, kFirstFileSlot);
  EXPECT_EQ(StreamWriteAll(created, -1, "uno"), 0);
  StreamClose(created);
  EXPECT_EQ(Contents(Native("data/NEWFILE.DAT")), "uno");
  EXPECT_FALSE(fs::exists(Native("DATA")));

  // Truncating an existing file under another spelling empties that file
  // rather than making a second one.
  int truncated = StreamOpen(Slice::Of(T("data\\invoices.ndx")), kStreamWrite);
  ASSERT_GE(truncated, kFirstFileSlot);
  EXPECT_EQ(StreamSize(truncated), 0);
  StreamClose(truncated);
  EXPECT_EQ(Contents(Native("data/Invoices.NDX")), "");
  EXPECT_EQ(FileList(Slice::Of(T("DATA\\*.*"))),
            Slice("Customers.dir\0Invoices.NDX\0NEWFILE.DAT", 38));
}

TEST_F(StreamsTest, OpenFailures) {
  const std::string long_path(384, 'x');
  struct Case {
    std::string path;
    int flags;
    uint16_t status;
  };
  const Case cases[] = {
      {"", 0, Status::kBadInputData},
      {long_path, 0, Status::kBadInputData},
      {T("DATA\\MISSING.DIR"), kStreamReadOnly, Status::kFileNotFound},
      {T("NOFOLDER\\NEW.DAT"), kStreamUpdate, Status::kFileNotFound},
      {T("DATA"), kStreamReadOnly, Status::kFileNotFound},
  };
  for (const Case& c : cases) {
    ForceLastError(0, 0);
    Status status;
    EXPECT_EQ(StreamOpen(Slice::Of(c.path), c.flags, &status), kNoStream) << c.path;
    EXPECT_EQ(status, c.status) << c.path;
    ExpectRecorded(c.status, c.path);
    // Silent: the same answer, nothing recorded.
    ForceLastError(0, 0);
    EXPECT_EQ(StreamOpen(Slice::Of(c.path), c.flags | kStreamSilent, &status), kNoStream);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(GetLastError().code, 0);
  }
  EXPECT_EQ(StreamOpen(Slice::Of(std::string(383, 'x')), kStreamReadOnly | kStreamSilent),
            kNoStream);
  // A failing open left its slot free.
  EXPECT_EQ(StreamOpen(Slice::Of(T("DATA\\CUSTOMERS.DIR")), kStreamReadOnly), kFirstFileSlot);
}

TEST_F(StreamsTest, ThirtySeventhFileIsTheLast) {
  std::vector<int> slots;
  for (int i = 0; i < kStreamSlots - kFirstFileSlot; ++i) {
    int slot = StreamOpen(Slice::Of(T("DATA\\CUSTOMERS.DIR")), kStreamReadOnly);
    ASSERT_EQ(slot, kFirstFileSlot + i);
    slots.push_back(slot);
  }
  Status status;
  EXPECT_EQ(StreamOpen(Slice::Of(T("DATA\\CUSTOMERS.DIR")), kStreamReadOnly, &status), kNoStream);
  EXPECT_EQ(status, Status::kDataOutBound);
  ExpectRecorded(Status::kDataOutBound, T("DATA\\CUSTOMERS.DIR"));
  StreamClose(slots[10]);
  StreamClose(slots[10]);  // already free: nothing happens
  EXPECT_EQ(StreamOpen(Slice::Of(T("DATA\\CUSTOMERS.DIR")), kStreamReadOnly), slots[10]);
}

TEST_F(StreamsTest, ConsoleIsTheStandardStreams) {
  platform::MemoryFile in("first\r\nsecond\rthird\n\nlast", /*sequential=*/true);
  platform::MemoryFile out("", /*sequential=*/true);
  env_.SetStandardStream(0, &in);
  env_.SetStandardStream(1, &out);

  EXPECT_EQ(StreamOpen("CON", kStreamWrite), 1);
  EXPECT_EQ(StreamOpen("con", kStreamWrite | kStreamSilent), 1);
  EXPECT_EQ(StreamOpen("CON", 0), 0);
  EXPECT_EQ(StreamOpen("CON", kStreamWrite | kStreamAppend), 0);
  std::string big(1300, 'z');
  EXPECT_EQ(StreamWrite(1, -1, Slice::Of(big)), 1300);
  EXPECT_EQ(out.contents(), big);

  std::vector<std::string> lines;
  char buffer[16];
  for (int n; (n = StreamRead(0, 5, -1, buffer, sizeof buffer)) >= 0;) {
    lines.emplace_back(buffer, static_cast<size_t>(n));
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"first", "second", "third", "", "last"}));
  StreamClose(0);
  StreamClose(1);
  EXPECT_EQ(StreamSize(0), -1);
  EXPECT_EQ(StreamTell(0), 0);
  EXPECT_EQ(StreamSeek(1, 0), Status::kDiskIo);
}

TEST_F(StreamsTest, LineEnds) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
  };
  const std::string long_line(700, 'L');
  const Case cases[] = {
      {"mixed", "a\r\nb\rc\nd", {"a", "b", "c", "d"}},
      {"LF then CR", "a\n\rb", {"a", "", "b"}},
      {"empty lines", "\r\n\n\r", {"", "", ""}},
      {"trailing terminator", "a\r\n", {"a"}},
      {"final Ctrl-Z alone", "a\r\nb\r\n\x1A", {"a", "b"}},
      {"Ctrl-Z ending the last line", "a\r\nb\x1A", {"a", "b"}},
      {"Ctrl-Z inside", "a\x1A" "b\r\n", {"a\x1A" "b"}},
      {"NUL bytes", std::string("a\0b\nc", 5), {std::string("a\0b", 3), "c"}},
      {"lines across transfer units", long_line + "\r\n" + long_line, {long_line, long_line}},
      {"CR LF split by a transfer unit", std::string(511, 'x') + "\r\ny", {std::string(511, 'x'), "y"}},
      {"CR ending a transfer unit", std::string(511, 'x') + "\ry", {std::string(511, 'x'), "y"}},
      {"empty file", "", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Lines(c.bytes, 1024), c.lines) << c.name;
}

TEST_F(StreamsTest, LineLongerThanTheBufferLosesNothing) {
  Store(Native("long.txt"), "short\r\n" + std::string(100, 'x') + "\r\n" + std::string(3000, 'y') +
                               "\nnext");
  int slot = StreamOpen("T:\\LONG.TXT", kStreamReadOnly);
  char small[50];
  ASSERT_EQ(StreamRead(slot, -1, -1, small, sizeof small), 5);
  EXPECT_EQ(StreamRead(slot, -1, -1, small, sizeof small), -1);
  EXPECT_EQ(StreamTell(slot), 7);  // still at the start of the long line
  EXPECT_FALSE(StreamAtEnd(slot));
  char exact[100];
  EXPECT_EQ(StreamRead(slot, -1, -1, exact, sizeof exact), 100);
  EXPECT_EQ(StreamReadNew(slot, -1, -1), Slice::Of(std::string(3000, 'y')));
  Slice next = StreamReadNew(slot, -1, -1);
  EXPECT_EQ(next, Slice("next"));
  EXPECT_TRUE(StreamAtEnd(slot));
  EXPECT_EQ(StreamReadNew(slot, -1, -1).status(), Status::kDiskIo);
  EXPECT_EQ(GetLastError().code, 0);  // the end of a file is not an error

  // A binary file: no line fits, nothing breaks, nothing is recorded.
  std::string binary;
  for (int i = 0; i < 5000; ++i) binary.push_back(static_cast<char>(i * 7 % 9 == 0 ? 0 : 200));
  Store(Native("bin.dat"), binary);
  int bin = StreamOpen("T:\\BIN.DAT", kStreamReadOnly);
  EXPECT_EQ(StreamRead(bin, -1, -1, small, sizeof small), -1);
  EXPECT_EQ(StreamReadNew(bin, -1, -1).size(), 5000);
  EXPECT_EQ(GetLastError().code, 0);
}

TEST_F(StreamsTest, BlockReadsStopAtTheEnd) {
  std::string bytes(1000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
  Store(Native("block.bin"), bytes);
  int slot = StreamOpen("T:\\BLOCK.BIN", kStreamReadOnly);
  char buffer[1000];
  EXPECT_EQ(StreamRead(slot, 950, 100, buffer, sizeof buffer), 50);
  EXPECT_EQ(std::string(buffer, 50), bytes.substr(950));
  EXPECT_TRUE(StreamAtEnd(slot));
  EXPECT_EQ(StreamRead(slot, 1000, 100, buffer, sizeof buffer), -1);
  EXPECT_EQ(StreamRead(slot, 0, 1000, buffer, 10), 10);  // never past the buffer
  EXPECT_EQ(StreamTell(slot), 10);
  EXPECT_EQ(StreamRead(slot, -1, 700, buffer, sizeof buffer), 700);
  EXPECT_EQ(std::string(buffer, 700), bytes.substr(10, 700));
  EXPECT_EQ(StreamSeek(slot, 998), Status::kOk);
  EXPECT_EQ(StreamReadNew(slot, -1, 5), Slice::Of(bytes.substr(998)));
  EXPECT_EQ(StreamSize(slot), 1000);
  EXPECT_EQ(StreamSeek(slot, -5), Status::kDiskIo);
  EXPECT_EQ(StreamSeek(30, 0), Status::kDiskIo);
  EXPECT_EQ(StreamRead(30, 0, 10, buffer, sizeof buffer), -1);
}

TEST_F(StreamsTest, WritesGoInTransferUnits) {
  int slot = StreamOpen("T:\\OUT.DAT", kStreamUpdate);
  ASSERT_GE(slot, kFirstFileSlot);
  std::string text(1300, 'a');
  env_.Reset();
  EXPECT_EQ(StreamWriteAll(slot, 0, Slice::Of(text)), 0);
  EXPECT_EQ(env_.count(FaultEnv::kWrite), 3);
  EXPECT_EQ(StreamWrite(slot, -1, "END", 3), 3);
  EXPECT_EQ(StreamTell(slot), 1303);
  EXPECT_EQ(StreamWrite(slot, 2, "XY", 2), 2);
  EXPECT_EQ(Contents(Native("OUT.DAT")), "aaXY" + std::string(1296, 'a') + "END");

  // The second unit fails: the first is on disk, the call reports -1 and
  // the error names the file.
  env_.FailNth(FaultEnv::kWrite, 2);
  EXPECT_EQ(StreamWriteAll(slot, 0, Slice::Of(std::string(1000, 'b'))), -1);
  EXPECT_EQ(Contents(Native("OUT.DAT")).substr(0, 513), std::string(512, 'b') + "a");
  ExpectRecorded(Status::kFileIo, "T:\\OUT.DAT");
}

TEST_F(StreamsTest, AppendStreamsWriteAtTheEnd) {
  int slot = StreamOpen(Slice::Of(T("REPORTS\\SALES.TXT")), kStreamAppend);
  ASSERT_GE(slot, kFirstFileSlot);
  EXPECT_EQ(StreamWrite(slot, 0, "more\r\n", 6), 6);
  EXPECT_EQ(Contents(Native("Reports/Sales.txt")), "ventas\r\nmore\r\n");
  EXPECT_EQ(StreamTell(slot), 14);
  char line[16];
  EXPECT_EQ(StreamRead(slot, 0, -1, line, sizeof line), 6);
}

TEST_F(StreamsTest, WholeFileReads) {
  EXPECT_EQ(FileRead(Slice::Of(T("DATA\\CUSTOMERS.DIR")), 0), Slice("Ana Lopez\r\nBeatriz Ruiz\r\n"));
  EXPECT_EQ(FileRead(Slice::Of(T("DATA\\CUSTOMERS.DIR")), 4, 5), Slice("Lopez"));
  EXPECT_EQ(FileRead(Slice::Of(T("DATA\\CUSTOMERS.DIR")), 500), Slice(""));
  EXPECT_EQ(FileReadLines(Slice::Of(T("DATA\\CUSTOMERS.DIR")), ';'), Slice("Ana Lopez;Beatriz Ruiz;"));
  Store(Native("mixed.txt"), "a\r\nb\nc\rd");
  EXPECT_EQ(FileReadLines("T:\\MIXED.TXT", ','), Slice("a,b,c\rd"));

  EXPECT_EQ(FileRead(Slice::Of(T("DATA\\NONE.DIR")), 0).status(), Status::kFileNotFound);
  ExpectRecorded(Status::kFileNotFound, T("DATA\\NONE.DIR"));
  EXPECT_EQ(FileRead(Slice(), 0).status(), Status::kBadInputData);
  EXPECT_EQ(FileRead(Slice::Error(Status::kStringTooLong), 0).status(), Status::kStringTooLong);

  // Larger than the free string area: refused, the area untouched.
  Store(Native("big.txt"), std::string(40000, 'x'));
  StringArea& area = Area();
  int depth = area.Mark();
  while (area.free_bytes() > 30000) ASSERT_TRUE(area.Reserve(4096).ok());
  size_t used = area.bytes_in_use();
  EXPECT_EQ(FileRead("T:\\BIG.TXT", 0).status(), Status::kOutOfMemory);
  EXPECT_EQ(area.bytes_in_use(), used);
  EXPECT_EQ(FileRead("T:\\BIG.TXT", 0, 100).size(), 100);
  area.Release(depth);
  EXPECT_EQ(FileRead("T:\\BIG.TXT", 0).size(), 40000);
  Store(Native("huge.txt"), std::string(70000, 'x'));
  EXPECT_EQ(FileRead("T:\\HUGE.TXT", 0).status(), Status::kOutOfMemory);
}

TEST_F(StreamsTest, WholeFileWrites) {
  EXPECT_EQ(FileWrite("T:\\REPORTS\\NEW.TXT", -1, "one"), 3);
  EXPECT_EQ(FileWrite("T:\\REPORTS\\NEW.TXT", -1, "two"), 3);
  EXPECT_EQ(FileWrite("T:\\REPORTS\\NEW.TXT", 1, "X"), 1);
  EXPECT_EQ(Contents(Native("Reports/NEW.TXT")), "oXetwo");
  EXPECT_EQ(FileWrite("T:\\REPORTS\\NEW.TXT", -2, "z"), 1);
  EXPECT_EQ(Contents(Native("Reports/NEW.TXT")), "z");
  EXPECT_EQ(FileSize("T:\\REPORTS\\NEW.TXT"), 1);
  EXPECT_EQ(FileSize("T:\\REPORTS\\NONE.TXT"), 0);
  EXPECT_EQ(FileWrite("T:\\NOFOLDER\\X.TXT", -1, "a"), -1);
  EXPECT_EQ(FileWrite("T:\\REPORTS\\NEW.TXT", -3, "a"), -1);

  // A replace that meets a full disk keeps the old contents whole.
  ForceLastError(0, 0);
  std::string big(5000, 'n');
  env_.FailNth(FaultEnv::kWrite, 4, ENOSPC, /*sticky=*/true);
  EXPECT_EQ(FileWriteChecked(Slice::Of(T("DATA\\CUSTOMERS.DIR")), -2, Slice::Of(big)),
            Status::kFileIo);
  EXPECT_EQ(Contents(Native("data/Customers.dir")), "Ana Lopez\r\nBeatriz Ruiz\r\n");
  ExpectRecorded(Status::kFileIo, T("DATA\\CUSTOMERS.DIR"));
  env_.Reset();
  EXPECT_EQ(FileWriteChecked(Slice::Of(T("DATA\\CUSTOMERS.DIR")), -2, Slice::Of(big)), Status::kOk);
  EXPECT_EQ(Contents(Native("data/Customers.dir")), big);
  EXPECT_EQ(env_.count(FaultEnv::kWrite), 10);  // 512-byte units
}

TEST_F(StreamsTest, FileSystemOperations) {
  EXPECT_EQ(FileExists(Slice::Of(T("DATA\\CUSTOMERS.DIR"))), Status::kOk);
  EXPECT_EQ(FileExists(Slice::Of(T("DATA\\*.NDX"))), Status::kOk);
  EXPECT_EQ(FileExists(Slice::Of(T("DATA\\*.TXT"))), Status::kFileNotFound);
  EXPECT_EQ(FileExists(""), Status::kFileNotFound);
  EXPECT_EQ(FileList(Slice::Of(T("REPORTS\\*.TXT"))), Slice("A\xF1o.txt\0Sales.txt", 17));
  EXPECT_EQ(FileList(Slice::Of(T("REPORTS\\*.DIR"))).status(), Status::kFileNotFound);
  EXPECT_EQ(GetLastError().code, 0);  // questions record nothing

  EXPECT_EQ(FileLength(Slice::Of(T("DATA\\INVOICES.NDX"))), 5);
  EXPECT_EQ(FileLength(Slice::Of(T("DATA\\*.NDX"))), 5);
  EXPECT_EQ(FileLength(Slice::Of(T("DATA\\NONE"))), -1);

  EXPECT_EQ(FileRename(Slice::Of(T("DATA\\INVOICES.NDX")), Slice::Of(T("DATA\\OLD.NDX"))), 0);
  EXPECT_TRUE(fs::exists(Native("data/OLD.NDX")));
  EXPECT_EQ(FileRename(Slice::Of(T("DATA\\OLD.NDX")), Slice::Of(T("DATA\\customers.dir"))), -1);
  ExpectRecorded(Status::kFileExist, T("DATA\\customers.dir"));
  EXPECT_EQ(Contents(Native("data/Customers.dir")), "Ana Lopez\r\nBeatriz Ruiz\r\n");

  ForceLastError(0, 0);
  EXPECT_EQ(FileDelete(Slice::Of(T("DATA\\OLD.NDX"))), 0);
  EXPECT_EQ(FileDelete(Slice::Of(T("DATA\\OLD.NDX"))), -1);
  EXPECT_EQ(GetLastError().code, 0);
  EXPECT_EQ(FileExists(Slice::Of(T("DATA\\OLD.NDX"))), Status::kFileNotFound);

  EXPECT_EQ(DirMake(Slice::Of(T("DATA\\BACKUP\\2024\\01"))), 0);
  EXPECT_TRUE(fs::is_directory(Native("data/BACKUP/2024/01")));
  EXPECT_EQ(DirMake(Slice::Of(T("DATA\\BACKUP"))), 0);
  EXPECT_EQ(DirMake(Slice::Of(T("DATA\\CUSTOMERS.DIR\\X"))), -1);
}

TEST_F(StreamsTest, TimesAndAttributes) {
  // 2024-03-15 10:20:30 local time.
  struct tm tm = {};
  tm.tm_year = 124;
  tm.tm_mon = 2;
  tm.tm_mday = 15;
  tm.tm_hour = 10;
  tm.tm_min = 20;
  tm.tm_sec = 30;
  tm.tm_isdst = -1;
  time_t when = mktime(&tm);
  fs::last_write_time(Native("data/Customers.dir"),
                      std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(when)));
  const std::string customers = T("DATA\\CUSTOMERS.DIR");
  Slice path = Slice::Of(customers);
  EXPECT_EQ(FileTime(path, kFileWritten, kFileDate), 20240315);
  EXPECT_EQ(FileTime(path, kFileWritten, kFileTimeOfDay), 10 * 3600000 + 20 * 60000 + 30000);
  EXPECT_GT(FileTime(path, kFileCreated, kFileDate), 20000101);
  EXPECT_EQ(FileTime(Slice::Of(T("DATA\\NONE")), kFileWritten, kFileDate), -1);

  EXPECT_EQ(FileAttributes(path), kAttrArchive);
  EXPECT_EQ(FileAttributes(Slice::Of(T("DATA"))), kAttrFolder);
  Store(Native("data/.hidden"), "h");
  EXPECT_EQ(FileAttributes(Slice::Of(T("DATA\\.HIDDEN"))), kAttrArchive | kAttrHidden);
  EXPECT_EQ(FileAttributes("T:\\DATA\\NONE"), -1);
  if (geteuid() != 0) {  // root may write anything
    fs::permissions(Native("data/Invoices.NDX"), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ(FileAttributes(Slice::Of(T("DATA\\INVOICES.NDX"))), kAttrArchive | kAttrReadOnly);
  }
}

TEST_F(StreamsTest, CurrentFolderEnvironmentAndTempNames) {
  Slice before = DirCurrent();
  ASSERT_FALSE(before.empty());
  std::string saved = before.str();
  ASSERT_EQ(DirChange(Slice::Of(T("REPORTS"))), Status::kOk);
  EXPECT_EQ(DirCurrent(), Slice::Of(platform::RuntimeFormOf(fs::canonical(Native("Reports")).string())));
  EXPECT_EQ(FileRead("SALES.TXT", 0), Slice("ventas\r\n"));

  Slice first = TempName("TMP");
  std::string first_name = first.str();
  Slice second = TempName("");
  EXPECT_NE(first_name, second.str());
  EXPECT_EQ(first_name.find('.'), first_name.size() - 4);
  EXPECT_EQ(first_name.substr(first_name.size() - 4), ".TMP");
  EXPECT_EQ(second.str().find('.'), std::string::npos);
  // A leftover file of the next name is cleared first.
  std::string last = second.str();
  size_t cut = last.rfind('_') + 1;
  std::string next = last.substr(0, cut) + std::to_string(std::stoi(last.substr(cut)) + 1);
  Store(Native("Reports/" + next + ".LEFT"), "old");
  EXPECT_EQ(TempName("LEFT"), Slice::Of(next + ".LEFT"));
  EXPECT_FALSE(fs::exists(Native("Reports/" + next + ".LEFT")));
  ASSERT_EQ(DirChange(Slice::Of(saved)), Status::kOk);

  EXPECT_EQ(DirChange(Slice::Of(T("NOWHERE"))), Status::kFileNotFound);
  ExpectRecorded(Status::kFileNotFound, T("NOWHERE"));

  env_.SetVariable("TEMP", std::nullopt);
  env_.SetVariable("TMPDIR", "/var/tmp");
  env_.SetVariable("KVDATA", "D:\\KV");
  EXPECT_EQ(EnvValue("TEMP"), Slice("/var/tmp"));
  EXPECT_EQ(EnvValue("KVDATA"), Slice("D:\\KV"));
  EXPECT_EQ(EnvValue("NO_SUCH_VARIABLE_HERE"), Slice(""));
}

TEST(PathBuilding, PathJoin) {
  struct Case {
    const char* directory;
    const char* name;
    const char* joined;
  };
  const Case cases[] = {
      {"", "NAME.DAT", "NAME.DAT"},
      {"C:\\DATA", "NAME.DAT", "C:\\DATA\\NAME.DAT"},
      {"C:\\DATA\\", "NAME.DAT", "C:\\DATA\\NAME.DAT"},
      {"C:\\DATA", "\\NAME.DAT", "C:\\DATA\\NAME.DAT"},
      {"C:/DATA", "SUB/NAME.DAT", "C:\\DATA\\SUB\\NAME.DAT"},
      {"C:\\DATA", "", "C:\\DATA"},
  };
  for (const Case& c : cases) EXPECT_EQ(PathJoin(c.directory, c.name), Slice(c.joined)) << c.joined;
}

TEST(PathBuilding, PathPart) {
  struct Case {
    const char* path;
    int parts;
    const char* result;
  };
  const Case cases[] = {
      {"C:\\A.B\\FILE", kPartExtension, ""},
      {"C:\\DATA\\FILE.DAT", kPartDrive, "C:"},
      {"C:\\DATA\\FILE.DAT", kPartDirectory, "\\DATA"},
      {"C:\\DATA\\FILE.DAT", kPartName, "FILE"},
      {"C:\\DATA\\FILE.DAT", kPartExtension, ".DAT"},
      {"C:\\DATA\\FILE.DAT", kPartName | kPartExtension, "FILE.DAT"},
      {"C:\\DATA\\FILE.DAT", kPartDrive | kPartDirectory, "C:\\DATA"},
      {"C:\\DATA\\FILE.DAT", kPartDrive | kPartDirectory | kPartName, "C:\\DATA\\FILE"},
      {"C:\\DATA\\FILE.DAT", kPartDrive | kPartName, "C:FILE"},
      {"C:\\FILE.DAT", kPartDrive | kPartDirectory | kPartName, "C:\\FILE"},
      {"DATA\\SUB\\FILE", kPartDirectory | kPartName, "DATA\\SUB\\FILE"},
      {"FILE.TAR.GZ", kPartName, "FILE.TAR"},
      {"FILE", kPartDirectory | kPartName | kPartExtension, "FILE"},
      {"/tmp/x.dat", kPartDirectory, "/tmp"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PathPart(c.path, c.parts), Slice(c.result)) << c.path << " " << c.parts;
  }
}

TEST(PathBuilding, NamesAndKinds) {
  EXPECT_EQ(NameWithExt("CUSTOMERS", "DIR"), Slice("CUSTOMERS.DIR"));
  EXPECT_EQ(NameWithExt("CUSTOMERS", ""), Slice("CUSTOMERS"));
  EXPECT_EQ(NameWithExt("CUSTOMERS", KindExtension(kKindNone)), Slice("CUSTOMERS"));
  const char* expected[] = {"", "FD", "DIR", "NDX", "TMP", "TXT", ""};
  for (int kind = 0; kind <= 6; ++kind) {
    EXPECT_EQ(KindExtension(kind), Slice(expected[kind]));
    EXPECT_EQ(KindExtension(kind | kKindLowerCase).str(),
              [&] {
                std::string s = expected[kind];
                for (char& ch : s) ch = static_cast<char>(std::tolower(ch));
                return s;
              }());
  }
}

}  // namespace
}  // namespace tessaly
