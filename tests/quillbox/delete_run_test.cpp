// The portable steps around a delete run: the order of the rows, the error
// summary, the finishing step on account mail files in a temporary data
// folder, and the external program's adoption rule.
#include "quillbox/delete_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "common/atomic_file.h"
#include "core_list_codec.h"
#include "fake_pop3.h"
#include "quillbox/external_program.h"
#include "tests/settings/temp_folder.h"

namespace tidewell {
namespace {

using testing::CoreListCodec;
using testing::FakePop3;
using testing::Mail;

TEST(DeleteOrder, ErrorRowsDroppedAndRowsOrderedByItemData) {
  const std::vector<SelectedRow> selected = {
      {0, 7, "3"}, {1, 2, "1"}, {2, 9, ""}, {3, 5, "2"}, {4, 2, "4"},  // item 2 twice: list order kept
  };
  EXPECT_EQ(DeleteOrder(selected), (std::vector<int>{1, 4, 3, 0}));
  EXPECT_TRUE(DeleteOrder({{0, 1, ""}}).empty());
}

TEST(DeleteErrorSummary, OneLinePerFailedAccountInTableOrder) {
  EXPECT_EQ(DeleteErrorSummary({{"a", 0}, {"b", 0}}), "");
  EXPECT_EQ(DeleteErrorSummary({{"b", 21}, {"a", 0}, {"c", 3}, {"d", 73}, {"e", 15}, {"f", 9}}),
            "b:接続に失敗しました。(21)\n"
            "c:接続中にエラーが発生しました。(3)\n"
            "d:接続中にエラーが発生しました。(73)\n"
            "e:認証に失敗しました。(15)\n"
            "f:エラーが発生しました。(9)\n");
  // A very long account name is cut to the line's buffer, never inside a character.
  const std::string name(400, '\x82');  // lead bytes only: pairs of 0x82 0x82
  const std::string summary = DeleteErrorSummary({{name, 25}});
  EXPECT_EQ(summary.size(), 248u);
}

class FinishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder.path() + "/Mail");
    std::filesystem::create_directories(folder.path() + "/Del");
    a.mails = {Mail("a1"), Mail("a2"), Mail("a3")};
    b.mails = {Mail("b1"), Mail("b2")};
    ASSERT_TRUE(WriteFileAtomically(Path("A"), a.AccountFile()));
    ASSERT_TRUE(WriteFileAtomically(Path("B"), b.AccountFile()));
  }
  std::string Path(const std::string& account) { return AccountMailPath(codec, folder.path(), account); }
  std::string Read(const std::string& path) {
    std::string text;
    ReadWholeFile(path, text);
    return text;
  }
  std::vector<MailRow> Rows(const std::string& account) {
    return BuildAccountRows(codec, Read(Path(account)), account, 0);
  }

  TempFolder folder;
  CoreListCodec codec;
  DiskDeleteFiles files;
  FakePop3 a, b;
};

TEST_F(FinishTest, MarkersAccumulateDayFileAppendsAndFailedAccountsStay) {
  const std::vector<MailRow> rows_a = Rows("A"), rows_b = Rows("B");
  const std::vector<MailRow> run = {rows_a[0], rows_a[2], rows_b[1]};
  const int marked = FinishDeleteRun(codec, files, folder.path(), run, {{"A", 0}, {"B", 25}}, true, "20261207").marked;
  EXPECT_EQ(marked, 2);
  std::string expect_a = a.AccountFile();
  expect_a.replace(expect_a.find("+OK 1 "), 3, "-DE");
  expect_a.replace(expect_a.find("+OK 3 "), 3, "-DE");
  EXPECT_EQ(Read(Path("A")), expect_a);
  EXPECT_EQ(Read(Path("B")), b.AccountFile());
  const std::string day = folder.path() + "/Del/Del20261207";
  EXPECT_EQ(Read(day), a.Top(1, 0).substr(5) + a.Top(3, 0).substr(5));

  // The rebuilt list: one row left, Number 1, Number_Old 2.
  const std::vector<MailRow> left = Rows("A");
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].columns[kColNumber], "1");
  EXPECT_EQ(left[0].columns[kColNumberOld], "2");

  // A second run of the same day appends; B now succeeds.
  FinishDeleteRun(codec, files, folder.path(), {rows_b[1]}, {{"A", 0}, {"B", 0}}, true, "20261207");
  EXPECT_EQ(Read(day), a.Top(1, 0).substr(5) + a.Top(3, 0).substr(5) + b.Top(2, 0).substr(5));
  EXPECT_EQ(Rows("B").size(), 1u);
}

TEST_F(FinishTest, NoDaysFileWithoutDeleteMsgSaveOrDelFolderAndUnknownRowsSkipped) {
  std::vector<MailRow> rows = Rows("A");
  rows[1].columns[kColNumberOld] = "9";  // no such block
  MailRow stranger = rows[0];
  stranger.columns[kColName] = "C";  // not in the table
  EXPECT_EQ(FinishDeleteRun(codec, files, folder.path(), {rows[1], stranger}, {{"A", 0}}, true, "20261207").marked, 0);
  EXPECT_EQ(Read(Path("A")), a.AccountFile());

  EXPECT_EQ(FinishDeleteRun(codec, files, folder.path(), {rows[0]}, {{"A", 0}}, false, "20261207").marked, 1);
  EXPECT_FALSE(std::filesystem::exists(folder.path() + "/Del/Del20261207"));
  std::filesystem::remove_all(folder.path() + "/Del");
  EXPECT_EQ(FinishDeleteRun(codec, files, folder.path(), {rows[2]}, {{"A", 0}}, true, "20261207").marked, 1);
  EXPECT_FALSE(std::filesystem::exists(folder.path() + "/Del"));
}

TEST_F(FinishTest, TextThatOnlyLooksLikeABlockInsideAHeaderIsNotMarked) {
  FakePop3 c;
  c.mails = {Mail("c1", "", "X-Note: +OK 2 10\r\n"), Mail("c2")};
  ASSERT_TRUE(WriteFileAtomically(Path("C"), c.AccountFile()));
  const std::vector<MailRow> rows = Rows("C");
  FinishDeleteRun(codec, files, folder.path(), {rows[1]}, {{"C", 0}}, false, "20261207");
  const std::string text = Read(Path("C"));
  EXPECT_NE(text.find("X-Note: +OK 2 10"), std::string::npos);
  EXPECT_EQ(Rows("C").size(), 1u);
  EXPECT_EQ(Rows("C")[0].columns[kColSubject], "c1");
}

// The disk, counting how often each file is read, replaced and appended to.
class CountingFiles : public DiskDeleteFiles {
 public:
  bool Read(const std::string& path, std::string& out) override {
    ++reads[path];
    return DiskDeleteFiles::Read(path, out);
  }
  bool Write(const std::string& path, std::string_view bytes) override {
    ++writes[path];
    return DiskDeleteFiles::Write(path, bytes);
  }
  Appended Append(const std::string& path, std::string_view bytes) override {
    ++appends[path];
    return DiskDeleteFiles::Append(path, bytes);
  }
  std::map<std::string, int> reads, writes, appends;
};

TEST_F(FinishTest, EachAccountFileIsReadAndReplacedOncePerRun) {
  const std::vector<MailRow> rows_a = Rows("A"), rows_b = Rows("B");
  CountingFiles counting;
  const DeleteFinish finish = FinishDeleteRun(codec, counting, folder.path(),
                                              {rows_a[0], rows_a[1], rows_a[2], rows_b[0], rows_b[1]},
                                              {{"A", 0}, {"B", 0}}, true, "20261207");
  EXPECT_EQ(finish.marked, 5);
  EXPECT_FALSE(finish.day_file_unreadable);
  const std::string day = folder.path() + "/Del/Del20261207";
  EXPECT_EQ(counting.reads, (std::map<std::string, int>{{Path("A"), 1}, {Path("B"), 1}}));
  EXPECT_EQ(counting.writes, (std::map<std::string, int>{{Path("A"), 1}, {Path("B"), 1}}));
  EXPECT_EQ(counting.appends, (std::map<std::string, int>{{day, 1}}));
  EXPECT_TRUE(Rows("A").empty());
  EXPECT_TRUE(Rows("B").empty());
  // Every header, in row order.
  EXPECT_EQ(Read(day), a.Top(1, 0).substr(5) + a.Top(2, 0).substr(5) + a.Top(3, 0).substr(5) +
                           b.Top(1, 0).substr(5) + b.Top(2, 0).substr(5));
  // The same row twice in a run is one mail: marked once, logged once.
  ASSERT_TRUE(WriteFileAtomically(Path("A"), a.AccountFile()));
  std::filesystem::remove(day);
  EXPECT_EQ(FinishDeleteRun(codec, files, folder.path(), {rows_a[1], rows_a[1]}, {{"A", 0}}, true, "20261207").marked,
            1);
  EXPECT_EQ(Read(day), a.Top(2, 0).substr(5));
}

TEST_F(FinishTest, UnreadableDayFileIsLeftAloneAndReported) {
  // A day file that is there but cannot be read (here: a folder in its
  // place; on Windows also a file another program holds open).
  const std::string day = folder.path() + "/Del/Del20261207";
  std::filesystem::create_directories(day + "/inside");
  const std::vector<MailRow> rows = Rows("A");
  const DeleteFinish finish = FinishDeleteRun(codec, files, folder.path(), {rows[1]}, {{"A", 0}}, true, "20261207");
  EXPECT_TRUE(finish.day_file_unreadable);
  EXPECT_EQ(finish.marked, 1);  // the mail is gone from the server: the list must not show it
  EXPECT_TRUE(std::filesystem::exists(day + "/inside"));
  EXPECT_EQ(Rows("A").size(), 2u);
  EXPECT_EQ(DayFileErrorText("Del20261207"),
            "Del20261207:削除したメールの記録ファイルを読めないため、ヘッダーを保存しませんでした。(129)\n");
  // A missing day file is simply created.
  std::filesystem::remove_all(day);
  EXPECT_FALSE(FinishDeleteRun(codec, files, folder.path(), {rows[2]}, {{"A", 0}}, true, "20261207").day_file_unreadable);
  EXPECT_EQ(Read(day), a.Top(3, 0).substr(5));
}

TEST(AtomicFileWriter, CacheFileAppearsOnlyWhenComplete) {
  TempFolder folder;
  const std::string path = folder / "cache";
  {
    AtomicFileWriter w;
    ASSERT_TRUE(w.Begin(path));
    ASSERT_TRUE(w.Append("+OK\r\nSubject: x\r\n"));
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_TRUE(w.Append(".\r\n"));
    ASSERT_TRUE(w.Commit());
  }
  std::string text;
  ASSERT_TRUE(ReadWholeFile(path, text));
  EXPECT_EQ(text, "+OK\r\nSubject: x\r\n.\r\n");
  {
    AtomicFileWriter w;  // a second fetch cut short leaves the good file alone
    ASSERT_TRUE(w.Begin(path));
    w.Append("+OK\r\nhalf");
  }
  ASSERT_TRUE(ReadWholeFile(path, text));
  EXPECT_EQ(text, "+OK\r\nSubject: x\r\n.\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

// ---- external program ---------------------------------------------------------------

class MapProfile : public ListProfile {
 public:
  std::string GetString(const std::string& file, const char* section, const char* key, std::size_t size) override {
    auto it = values.find({file, section, key});
    if (it == values.end()) return std::string();
    return it->second.substr(0, size - 1);
  }
  int GetInt(const std::string& file, const char* section, const char* key, int def) override {
    auto it = values.find({file, section, key});
    return it == values.end() ? def : std::stoi(it->second);
  }
  void WriteString(const std::string& file, const char* section, const char* key, const std::string& v) override {
    values[{file, section, key}] = v;
  }
  std::map<std::tuple<std::string, std::string, std::string>, std::string> values;
};

const std::string kData = "C:\\Data";
const std::string kQuillbox = "C:\\Data/Quillbox.ini";
const std::string kTidewell = "C:\\Data/Tidewell.ini";

TEST(ExternalProgram, AdoptsTheNewMailProgramOnceThenClosesTheListTheSecondTime) {
  MapProfile p;
  p.values[{kTidewell, "Receive", "Exec"}] = "C:\\Mail\\client.exe";
  p.values[{kTidewell, "Receive", "ExecCmdline"}] = "/check";
  ExternalLaunch first = PlanExternalProgram(p, kData);
  EXPECT_EQ(first.outcome, ExternalLaunch::Outcome::kRun);
  EXPECT_EQ(first.program, "C:\\Mail\\client.exe");
  EXPECT_EQ(first.parameters, "/check");
  EXPECT_EQ(first.folder, "C:\\Mail");
  EXPECT_EQ(p.values[(std::tuple<std::string, std::string, std::string>{kQuillbox, "Setting", "Exec"})],
            "C:\\Mail\\client.exe");
  EXPECT_EQ(p.values[(std::tuple<std::string, std::string, std::string>{kQuillbox, "Setting", "ExecCmdline"})],
            "/check");
  EXPECT_EQ(p.values.count({kQuillbox, "Setting", "ExecWorkFolder"}), 1u);
  EXPECT_FALSE(CloseListAfterLaunch(p, kData));
  EXPECT_EQ(p.values[(std::tuple<std::string, std::string, std::string>{kQuillbox, "Setting", "ExecEndCheck"})],
            "1");
  // Second use: Quillbox.ini's own copy, and the list closes.
  p.values[{kTidewell, "Receive", "Exec"}] = "C:\\Other\\changed.exe";
  EXPECT_EQ(PlanExternalProgram(p, kData).program, "C:\\Mail\\client.exe");
  EXPECT_TRUE(CloseListAfterLaunch(p, kData));
}

TEST(ExternalProgram, FoldersNamesAndEndCheckValues) {
  struct Case {
    const char* name;
    std::string exec, folder;
    ExternalLaunch::Outcome outcome;
    std::string program, work;
  };
  const std::vector<Case> cases = {
      {"bare name runs from the data folder", "run.bat", "", ExternalLaunch::Outcome::kRun, "C:\\Data/run.bat",
       kData},
      {"given folder kept", "C:\\x\\p.exe", "D:\\w", ExternalLaunch::Outcome::kRun, "C:\\x\\p.exe", "D:\\w"},
      {"only a leading backslash", "\\p.exe", "", ExternalLaunch::Outcome::kNoFile, "", ""},
      // "表" ends in 0x5C: not a separator.
      {"Shift_JIS second byte", "C:\\\x95\\\\p.exe", "", ExternalLaunch::Outcome::kRun, "C:\\\x95\\\\p.exe",
       "C:\\\x95\\"},
      {"nothing anywhere", "", "", ExternalLaunch::Outcome::kNothing, "", ""},
  };
  for (const Case& c : cases) {
    MapProfile p;
    if (!c.exec.empty()) p.values[{kQuillbox, "Setting", "Exec"}] = c.exec;
    if (!c.folder.empty()) p.values[{kQuillbox, "Setting", "ExecWorkFolder"}] = c.folder;
    const ExternalLaunch l = PlanExternalProgram(p, kData);
    EXPECT_EQ(l.outcome, c.outcome) << c.name;
    EXPECT_EQ(l.program, c.program) << c.name;
    EXPECT_EQ(l.folder, c.work) << c.name;
  }
  for (int v : {0, 2}) {
    MapProfile p;
    p.values[{kQuillbox, "Setting", "ExecEndCheck"}] = std::to_string(v);
    EXPECT_FALSE(CloseListAfterLaunch(p, kData));
    EXPECT_FALSE(CloseListAfterLaunch(p, kData));
    EXPECT_EQ(p.values[(std::tuple<std::string, std::string, std::string>{kQuillbox, "Setting", "ExecEndCheck"})],
              std::to_string(v));
  }
}

}  // namespace
}  // namespace tidewell
