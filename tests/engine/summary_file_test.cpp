#include "tidewell/engine/summary_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "notify_test_codec.h"
#include "common/atomic_file.h"

namespace tidewell {
namespace {

using testing::CoreNotifyCodec;
using testing::MissingNotifyCodec;

// "テスト" as ISO-2022-JP, in a Base64 word and as quoted-printable.
constexpr char kJisB64[] = "GyRCJUYlOSVIGyhC";
constexpr char kJisQ[] = "=1B$B%F%9%H=1B(B";
// "テスト" as Shift_JIS bytes, in Base64.
constexpr char kSjisB64[] = "g2WDWINn";

std::string Entry(const std::string& subject_line) {
  return "+OK 1 321\r\n+OK\r\nReceived: x\r\n" + subject_line + "\r\nX-Other: y\r\n\r\n";
}

struct HeaderCase {
  const char* label;
  std::string subject;  // the field value as it is in the mail
  std::string expected;
};

TEST(SummaryHeaderValue, DecodesTheEncodedWordsOfTheTwoCharacterSets) {
  CoreNotifyCodec codec;
  const std::string b = std::string("=?ISO-2022-JP?B?") + kJisB64 + "?=";
  const std::string q = std::string("=?iso-2022-jp?Q?") + kJisQ + "?=";
  const HeaderCase cases[] = {
      {"plain", "Hello world", "Hello world"},
      {"one B word", b, "テスト"},
      {"charset in lower case", std::string("=?iso-2022-jp?b?") + kJisB64 + "?=", "テスト"},
      {"charset in mixed case", std::string("=?Iso-2022-Jp?B?") + kJisB64 + "?=", "テスト"},
      {"one Q word", q, "テスト"},
      {"text around the word", "Re: " + b + " (2)", "Re: テスト (2)"},
      {"the same word twice", b + " " + b, "テスト テスト"},
      {"Shift_JIS B word", std::string("=?shift_jis?B?") + kSjisB64 + "?=", "テスト"},
      // Decoded since the summary shares the list's decoder:
      {"Shift_JIS Q word", "=?shift_jis?Q?=83e?=", "\x83" "e"},
      {"UTF-8 B word", "=?utf-8?B?44OG44K544OI?=", "テスト"},
      {"UTF-8 Q word", "=?UTF-8?Q?=E3=83=86=E3=82=B9=E3=83=88?=", "テスト"},
      {"EUC-JP B word", "=?euc-jp?B?pcaluaXI?=", "テスト"},
      {"Windows-1252 Q word", "=?windows-1252?Q?x?=", "x"},
      {"other charsets are left", "=?koi8-r?Q?x?=", "=?koi8-r?Q?x?="},
      {"raw ISO-2022-JP", "\x1b$B%F%9%H\x1b(B", "テスト"},
      {"charset name without the word's start", "iso-2022-jp?B?GyRC?=", "iso-2022-jp?B?GyRC?="},
      {"no closing", std::string("=?iso-2022-jp?B?") + kJisB64, std::string("=?iso-2022-jp?B?") + kJisB64},
      // After the B word is decoded no "?b?" is left, so the Q word that
      // follows is decoded as quoted-printable.
      {"B word then Q word", b + " " + q, "テスト テスト"},
  };
  for (const HeaderCase& c : cases) {
    EXPECT_EQ(SummaryHeaderValue(codec, Entry("Subject: " + c.subject), "subject"), c.expected) << c.label;
  }
}

// Each word is decoded by its own letter: a Q word in a header that also
// holds a B word is no longer taken for Base64.
TEST(SummaryHeaderValue, AQWordBeforeABWordIsDecodedAsQuotedPrintable) {
  CoreNotifyCodec codec;
  const std::string q = std::string("=?iso-2022-jp?Q?") + kJisQ + "?=";
  const std::string b = std::string("=?iso-2022-jp?B?") + kJisB64 + "?=";
  EXPECT_EQ(SummaryHeaderValue(codec, Entry("Subject: " + q + " " + b), "subject"), "テスト テスト");
}

TEST(SummaryHeaderValue, MissingFieldAndLongValue) {
  CoreNotifyCodec codec;
  EXPECT_EQ(SummaryHeaderValue(codec, Entry("X-Subject: no"), "subject"), "");
  // GetHeader's 1024-byte buffer keeps at most 1023 bytes.
  std::string value = SummaryHeaderValue(codec, Entry("Subject: " + std::string(3000, 'a')), "subject");
  EXPECT_EQ(value, std::string(1023, 'a'));
}

TEST(SummaryHeaderValue, WithoutTheCodecLibraryTheValueIsEmpty) {
  MissingNotifyCodec codec;
  EXPECT_EQ(SummaryHeaderValue(codec, Entry("Subject: hello"), "subject"), "");
}

TEST(MailEntrySize, ReadsTheThirdWordOfTheFirstLine) {
  const std::pair<const char*, int> cases[] = {
      {"+OK 1 1234\r\n+OK\r\n", 1234},
      {"+OK 2 0\r\n", 0},
      {"  +OK   3   77 trailing\r\n", 77},
      {"+OK 1\r\n", -1},
      {"+OK 1 -5\r\n", -1},
      {"+OK x 5\r\n", -1},
      {"+OK 1 size\r\n", -1},
      {"+OK 1 99999999999\r\n", -1},
      {"\r\n+OK 1 5\r\n", -1},
      {"+OK 1 5", -1},
      {"*ERR\r\nmessage", -1},
      {"", -1},
  };
  for (const auto& [entry, size] : cases) EXPECT_EQ(MailEntrySize(entry), size) << entry;
}

TEST(SplitMailEntries, CutsAtTerminatorsAndIgnoresTheRest) {
  auto entries = SplitMailEntries("a\r\n.\r\nb\r\nc\r\n.\r\ntail");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], "a");
  EXPECT_EQ(entries[1], "b\r\nc");
  EXPECT_TRUE(SplitMailEntries("").empty());
  EXPECT_TRUE(SplitMailEntries("no terminator\r\n").empty());
}

TEST(SummaryLines, QuotesSizesAndErrorEntries) {
  CoreNotifyCodec codec;
  const std::string mail =
      "+OK 1 2048\r\n+OK\r\nReturn-Path: <a@b>\r\nSubject: say \"hi\"\r\nFrom: \"Ann\" <ann@example.com>\r\n"
      "Date: Mon, 1 \"Jan\" 2024\r\n\r\n\r\n.\r\n"
      "+OK 2 9\r\n+OK\r\nX: y\r\nSubject: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=\r\n\r\n\r\n.\r\n";
  EXPECT_EQ(SummaryLines(codec, mail, "box \"1\""),
            "\"say \"\"hi\"\"\",\"\"\"Ann\"\" <ann@example.com>\",\"Mon, 1 \"Jan\" 2024\",2048,\"box \"\"1\"\"\"\r\n"
            "\"テスト\",\"\",\"\",9,\"box \"\"1\"\"\"\r\n");
  EXPECT_EQ(SummaryLines(codec, "*ERR\r\n接続に失敗しました。\r\n.\r\n", "acct"), "\"\",\"\",\"\",-1,\"acct\"\r\n");
  EXPECT_EQ(SummaryLines(codec, "", "acct"), "");
}

class SummaryFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tidewell_summary_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ / "Mail");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void WriteMailFile(const std::string& display_name, const std::string& content) {
    std::ofstream(dir_ / "Mail" / inkwell2::md5_hex(display_name), std::ios::binary) << content;
  }
  std::string Read(const char* name) {
    std::string text;
    EXPECT_TRUE(ReadWholeFile((dir_ / name).string(), text)) << name;
    return text;
  }
  std::filesystem::path dir_;
};

TEST_F(SummaryFilesTest, AccountsInListOrderMissingFilesGiveNoLines) {
  CoreNotifyCodec codec;
  WriteMailFile("second", "+OK 1 10\r\n+OK\r\nX: 1\r\nSubject: two\r\n\r\n\r\n.\r\n");
  WriteMailFile("first", "+OK 1 5\r\n+OK\r\nX: 1\r\nSubject: one\r\n\r\n\r\n.\r\n");
  WriteMailFile("broken", "*ERR\r\nerror\r\n.\r\n");
  std::ofstream(dir_ / "Tidewell.tmp") << "old content that is longer than the new one";
  WriteSummaryFiles(codec, dir_.string(), {"first", "absent", "broken", "second"}, 7);
  EXPECT_EQ(Read("Tidewell.tmp"),
            "\"one\",\"\",\"\",5,\"first\"\r\n"
            "\"\",\"\",\"\",-1,\"broken\"\r\n"
            "\"two\",\"\",\"\",10,\"second\"\r\n");
  EXPECT_EQ(Read("Tidewl_cnt.tmp"), "7");
}

TEST_F(SummaryFilesTest, WithoutTheCodecLibraryNoMailFileIsFound) {
  MissingNotifyCodec codec;
  WriteMailFile("first", "+OK 1 5\r\n+OK\r\nX: 1\r\nSubject: one\r\n\r\n\r\n.\r\n");
  WriteSummaryFiles(codec, dir_.string(), {"first"}, 1);
  EXPECT_EQ(Read("Tidewell.tmp"), "");
  EXPECT_EQ(Read("Tidewl_cnt.tmp"), "1");
}

}  // namespace
}  // namespace tidewell
