// Rows of the mail list from small account mail files, the stored header, the
// re-decode commands and the sort comparison.
#include "quillbox/mail_rows.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core_list_codec.h"
#include "inkwell2/codec.h"
#include "tests/settings/temp_folder.h"
#include "common/header_hash.h"

namespace tidewell {
namespace {

using testing::CoreListCodec;

// One message block as the tray program stores it: upper-cased LIST line,
// TOP reply through its terminator.
std::string Block(int number, long long size, const std::string& header) {
  return "+OK " + std::to_string(number) + " " + std::to_string(size) + "\r\n+OK\r\n" + header + "\r\n.\r\n";
}

const std::string kHeader1 =
    "Subject: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=\r\n"
    "From: =?utf-8?B?5ryi5a2X?= <kanji@example.jp>\r\n"
    "Date: Wed, 3 Jan 2007 03:46:20 +0900\r\n"
    "Message-ID: <one@example.jp>\r\n"
    "X-UIDL: uidl-one\r\n"
    "Content-Type: text/plain; charset=ISO-2022-JP\r\n";
const std::string kHeader2 = "Subject: second\r\nFrom: b@example.jp\r\n";
const std::string kHeader3 =
    "Subject: third\r\nStatus: RO\r\nContent-Type: multipart/mixed;\r\n boundary=x\r\nDate: 12 Dec 2009 1:02:03\r\n";

TEST(MailRowsTest, DeletedBlockSkippedAndLaterRowsRenumbered) {
  std::string deleted = Block(2, 500, kHeader2);
  deleted.replace(0, 3, "-DE");
  const std::string file = Block(1, 1024, kHeader1) + deleted + Block(3, 1025, kHeader3) + "trailing junk";
  CoreListCodec codec;
  const std::vector<MailRow> rows = BuildAccountRows(codec, file, "会社", 7);
  ASSERT_EQ(rows.size(), 2u);

  const MailRow& a = rows[0];
  EXPECT_EQ(a.item, 7);
  EXPECT_EQ(a.image, kImageText);
  EXPECT_EQ(a.columns[kColSubject], "テスト");
  EXPECT_EQ(a.columns[kColFrom], "漢字 <kanji@example.jp>");
  EXPECT_EQ(a.columns[kColDate], "2007/1/3 03:46:20");
  EXPECT_EQ(a.columns[kColSize], "1 KB");
  EXPECT_EQ(a.columns[kColName], "会社");
  EXPECT_EQ(a.columns[kColNumber], "1");
  EXPECT_EQ(a.columns[kColNumberOld], "1");
  EXPECT_EQ(a.columns[kColUidl], "uidl-one");
  EXPECT_EQ(a.columns[kColMsgId], "<one@example.jp>");
  EXPECT_EQ(a.columns[kColHash], inkwell2::md5_hex(kHeader1 + "\r\n.\r\n"));

  const MailRow& b = rows[1];
  EXPECT_EQ(b.item, 8);
  EXPECT_EQ(b.image, kImageOther);
  EXPECT_EQ(b.columns[kColSubject], "third");
  EXPECT_EQ(b.columns[kColDate], "2009/12/12 1:02:03");
  EXPECT_EQ(b.columns[kColSize], "2 KB");
  EXPECT_EQ(b.columns[kColNumber], "2");
  EXPECT_EQ(b.columns[kColNumberOld], "3");
  EXPECT_EQ(b.columns[kColUidl], "");
}

TEST(MailRowsTest, SizesInKilobytesRoundedUp) {
  const struct {
    long long octets;
    const char* shown;
  } cases[] = {{0, "0 KB"}, {1, "1 KB"}, {1024, "1 KB"}, {1025, "2 KB"}, {2147483647, "2097152 KB"}, {-5, "0 KB"}};
  std::string file;
  for (int i = 0; i < 6; ++i) file += Block(i + 1, cases[i].octets, "Subject: s\r\n");
  CoreListCodec codec;
  const std::vector<MailRow> rows = BuildAccountRows(codec, file, "a", 0);
  ASSERT_EQ(rows.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(rows[i].columns[kColSize], cases[i].shown) << cases[i].octets;
}

TEST(MailRowsTest, ImageFromContentType) {
  const struct {
    const char* header;
    int image;
  } cases[] = {
      {"Subject: s\r\n", kImageText},
      {"Content-Type: TEXT/plain\r\n", kImageText},
      {"Content-Type: text/html; charset=utf-8\r\n", kImageText},
      {"Content-Type: multipart/mixed; boundary=x\r\n", kImageOther},
      {"Content-Type: application/octet-stream\r\n", kImageOther},
  };
  CoreListCodec codec;
  for (const auto& c : cases) {
    const std::vector<MailRow> rows = BuildAccountRows(codec, Block(1, 10, c.header), "a", 0);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].image, c.image) << c.header;
  }
}

TEST(MailRowsTest, ErrorBlockGivesErrorRow) {
  const std::string file = "*ERR\r\nサーバーに接続できませんでした\r\n.\r\n";
  CoreListCodec codec;
  const std::vector<MailRow> rows = BuildAccountRows(codec, file, "自宅", 3);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].image, kImageError);
  EXPECT_EQ(rows[0].item, 3);
  EXPECT_EQ(rows[0].columns[kColSubject], "サーバーに接続できませんでした");
  EXPECT_EQ(rows[0].columns[kColName], "自宅");
  for (int c = 0; c < kListColumnCount; ++c) {
    if (c != kColSubject && c != kColName) {
      EXPECT_EQ(rows[0].columns[c], "") << c;
    }
  }
}

TEST(MailRowsTest, EmptyAndUnterminatedFilesGiveNoRows) {
  CoreListCodec codec;
  EXPECT_TRUE(BuildAccountRows(codec, "", "a", 0).empty());
  EXPECT_TRUE(BuildAccountRows(codec, "+OK 1 10\r\n+OK\r\nSubject: cut off", "a", 0).empty());
}

TEST(HeaderHashTest, StatusFieldDoesNotChangeTheHashAndMatchesTheTrayRule) {
  const std::string plain = "Subject: s\r\nFrom: f\r\nDate: d\r\n";
  // Forms the tray program and the list once hashed differently.
  const std::string headers[] = {
      plain,
      "Status: RO\r\nSubject: s\r\nFrom: f\r\nDate: d\r\n",
      "Subject: s\r\nStatus: RO\r\nFrom: f\r\nDate: d\r\n",
      "Subject: s\r\nFrom: f\r\nstatus: U\r\nDate: d\r\n",
      "Subject: s\r\nFrom: f\r\nDate: d\r\nStatus: O\r\n",
      "Subject: s\r\nStatus : RO\r\nFrom: f\r\nDate: d\r\n",
      "Subject: s\r\nStatus: R\r\n O\r\nFrom: f\r\nDate: d\r\n",
  };
  CoreListCodec codec;
  const std::string expected = inkwell2::md5_hex(plain + "\r\n.\r\n");
  for (const std::string& header : headers) {
    SCOPED_TRACE(header);
    const std::string block = Block(1, 10, header);
    EXPECT_EQ(BlockHeaderHash(codec, block), expected);
    // The tray program records the same hash for the same mail.
    std::string text;
    ASSERT_TRUE(HeaderHashText(block, text));
    EXPECT_EQ(inkwell2::md5_hex(text), expected);
  }
  // Only the first Status field goes.
  EXPECT_EQ(BlockHeaderHash(codec, Block(1, 10, "Subject: s\r\nStatus: O\r\nFrom: f\r\nStatus: O\r\nDate: d\r\n")),
            inkwell2::md5_hex("Subject: s\r\nFrom: f\r\nStatus: O\r\nDate: d\r\n\r\n.\r\n"));
  EXPECT_NE(BlockHeaderHash(codec, Block(1, 10, "Subject: t\r\nFrom: f\r\nDate: d\r\n")), expected);
}

TEST(StoredHeaderTest, FindsTheBlockByItsOldNumberAtABlockStart) {
  const std::string file = Block(1, 10, "Subject: one\r\nX-Note: +OK 2 x\r\n") + Block(12, 20, "Subject: twelve\r\n") +
                           Block(2, 30, "Subject: two\r\n");
  EXPECT_EQ(StoredHeader(file, 1), "Subject: one\r\nX-Note: +OK 2 x\r\n\r\n.\r\n");
  EXPECT_EQ(StoredHeader(file, 2), "Subject: two\r\n\r\n.\r\n");
  EXPECT_EQ(StoredHeader(file, 12), "Subject: twelve\r\n\r\n.\r\n");
  EXPECT_EQ(StoredHeader(file, 3), "");
  EXPECT_EQ(StoredHeader("+OK 5 10\r\n+OK\r\nSubject: no end\r\n", 5), "");
  EXPECT_EQ(StoredHeader("+ok 5 10\r\n+OK\r\nSubject: s\r\n\r\n.\r\n", 5), "");  // exact case
}

// The index of a file finds, in one pass, every block the search from the
// start of the file finds, and nothing else.
TEST(MessageBlockIndexTest, FindsWhatTheSearchFromTheStartFinds) {
  const std::string file = Block(1, 10, "Subject: one\r\nX-Note: +OK 2 x\r\n") + "-DE 2 10\r\n+OK\r\nS: gone\r\n\r\n.\r\n" +
                           "+ok 3 10\r\n+OK\r\nS: lower\r\n\r\n.\r\n" + Block(12, 20, "Subject: twelve\r\n") +
                           Block(12, 30, "Subject: twelve again\r\n") + "+OK 05 10\r\n+OK\r\n\r\n.\r\n" +
                           "+OK 7x 10\r\n+OK\r\n\r\n.\r\n" + Block(2000000000, 5, "S: big\r\n") + "+OK 8 cut";
  for (bool ignore_case : {false, true}) {
    const MessageBlockIndex index(file, ignore_case);
    for (int n : {0, 1, 2, 3, 5, 7, 8, 12, 13, 2000000000}) {
      SCOPED_TRACE(n);
      EXPECT_EQ(index.Find(n), FindMessageBlock(file, n, ignore_case));
    }
  }
  // Re-decoding through the index gives what the search gives.
  CoreListCodec codec;
  const MessageBlockIndex index(file, true);
  std::pair<std::string, std::string> by_index, by_search;
  ASSERT_TRUE(RedecodeRow(codec, file, index, 12, 40009, by_index));
  ASSERT_TRUE(RedecodeRow(codec, file, 12, 40009, by_search));
  EXPECT_EQ(by_index, by_search);
  EXPECT_EQ(by_index.first, "twelve");
  EXPECT_FALSE(RedecodeRow(codec, file, index, 2, 40009, by_index));
}

TEST(RedecodeTest, EveryCodeCommand) {
  const struct {
    const char* name;
    std::string subject;
    int command;
  } cases[] = {
      {"JIS", "=?iso-2022-jp?B?GyRCJUYlOSVIGyhC?=", 40008},
      {"SJIS labelled as JIS", "=?iso-2022-jp?B?g2WDWINn?=", 40009},
      {"EUC labelled as JIS", "=?iso-2022-jp?B?pcaluaXI?=", 40010},
      {"raw EUC bytes", "\xa5\xc6\xa5\xb9\xa5\xc8", 40010},
      {"UTF-7", "+MMYwuTDI-", 40011},
      {"UTF-8 in a Q word", "=?iso-2022-jp?Q?=E3=83=86=E3=82=B9=E3=83=88?=", 40012},
      {"UTF-16 little-endian mark", "=?iso-2022-jp?B?//7GMLkwyDA=?=", 40013},
      {"UTF-16 big-endian mark", "=?iso-2022-jp?B?/v8wxjC5MMg=?=", 40013},
      {"UTF-16 without mark", "=?iso-2022-jp?B?xjC5MMgw?=", 40013},
  };
  CoreListCodec codec;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = Block(4, 10, "Subject: " + c.subject + "\r\nFrom: " + c.subject + "\r\n");
    std::pair<std::string, std::string> out;
    ASSERT_TRUE(RedecodeRow(codec, file, 4, c.command, out));
    EXPECT_EQ(out.first, "テスト");
    EXPECT_EQ(out.second, "テスト");
  }
  std::pair<std::string, std::string> out;
  EXPECT_FALSE(RedecodeRow(codec, Block(4, 10, "Subject: s\r\n"), 5, 40008, out));
  // The block is found whatever the case of its "+OK".
  EXPECT_TRUE(RedecodeRow(codec, "+ok 5 10\r\n+OK\r\nSubject: s\r\n\r\n.\r\n", 5, 40009, out));
  EXPECT_EQ(out.first, "s");
}

TEST(SortTest, ComparisonTable) {
  const struct {
    int column;
    const char* a;
    const char* b;
    int ascending;  // sign of the comparison with direction 0
  } cases[] = {
      {kColDate, "2007/1/3 03:46:20", "2007/10/3 03:46:20", -1},
      {kColDate, "2007/2/9 10:00:00", "2007/2/10 9:00:00", -1},
      {kColDate, "2007/2/10 9:00:00", "2007/2/10 10:00:00", -1},
      {kColDate, "2008/1/1 0:00:00", "2007/12/31 23:59:59", 1},
      {kColDate, "2007/1/3 03:46:20", "2007/1/3 3:46:20", 0},
      {kColSize, "9 KB", "10 KB", -1},
      {kColSize, "100 KB", "99 KB", 1},
      {kColSize, "1 KB", "1 KB", 0},
      {kColNumber, "9", "10", 1},  // hidden number columns compare as text
      {kColSubject, "abc", "abd", -1},
      {kColSubject, "\x82\xa0", "z", 1},  // bytes compare unsigned
      {kColSubject, "", "a", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " | " + c.b);
    const int up = CompareRowTexts(c.column, c.a, c.b, false);
    const int down = CompareRowTexts(c.column, c.a, c.b, true);
    EXPECT_EQ((up > 0) - (up < 0), c.ascending);
    EXPECT_EQ((down > 0) - (down < 0), -c.ascending);
  }
}

TEST(MailRowsTest, AllAccountsFromTheMailFolder) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "Mail");
  CoreListCodec codec;
  const auto write = [&](const std::string& account, const std::string& bytes) {
    std::ofstream(folder / ("Mail/" + inkwell2::md5_hex(account)), std::ios::binary) << bytes;
  };
  write("one", Block(1, 10, "Subject: a\r\n") + Block(2, 10, "Subject: b\r\n"));
  write("three", Block(1, 10, "Subject: c\r\n"));
  const std::vector<MailRow> rows = BuildAllRows(codec, folder.path(), {"one", "two", "three"});
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2].columns[kColSubject], "c");
  EXPECT_EQ(rows[2].columns[kColName], "three");
  EXPECT_EQ(rows[2].columns[kColNumber], "1");
  EXPECT_EQ(rows[2].item, 2);
}

}  // namespace
}  // namespace tidewell
