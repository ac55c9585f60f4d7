// The balloon notice: which mails are the newest, how their senders and
// subjects are decoded and fitted into the shell's fields, and when a check
// shows one at all.
#include "tidewell/engine/balloon_notice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notify_test_codec.h"
#include "tidewell/settings/flag_word.h"

namespace tidewell {
namespace {

using testing::CoreNotifyCodec;

std::string Entry(int n, const std::string& from, const std::string& subject, const std::string& date) {
  std::string e = "+OK " + std::to_string(n) + " 100\r\n+OK\r\n";
  if (!from.empty()) e += "From: " + from + "\r\n";
  if (!subject.empty()) e += "Subject: " + subject + "\r\n";
  if (!date.empty()) e += "Date: " + date + "\r\n";
  return e + "\r\n\r\n.\r\n";
}

TEST(MailDateSeconds, ReadsZonesAndOptionalParts) {
  struct Case {
    const char* date;
    long long seconds;
  } cases[] = {
      {"Thu, 1 Jan 1970 00:00:00 +0000", 0},
      {"1 Jan 1970 09:00:00 +0900", 0},
      {"Wed, 31 Dec 1969 19:00 -0500", 0},
      {"Mon, 1 Jan 2024 09:00:00 +0900", 1704067200},
      {"Mon, 01 Jan 24 00:00:00 GMT", 1704067200},    // two-digit year, a zone name as UTC
      {"Thu, 29 Feb 2024 12:30:15 +0000", 1709209815},  // leap day
      {"", -1},
      {"Mon, 1 Foo 2024 09:00:00 +0900", -1},
      {"Mon, 32 Jan 2024 09:00:00 +0900", -1},
      {"Mon, 1 Jan 2024 9h00 +0900", -1},
      {"Mon, 1 Jan", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(MailDateSeconds(c.date), c.seconds) << c.date;
}

TEST(NewestMails, NewestByDateOverAllAccountsErrorsSkippedDecoded) {
  CoreNotifyCodec codec;
  const std::vector<std::string> files = {
      Entry(1, "old@example.com", "old", "Mon, 1 Jan 2024 09:00:00 +0900") +
          Entry(2, "undated@example.com", "undated", "") +
          // The same instant as the next account's first mail: the later in the list wins.
          Entry(3, "tie-a@example.com", "tie a", "Tue, 2 Jan 2024 01:00:00 +0000"),
      "*ERR\r\n接続に失敗しました。\r\n.\r\n",
      Entry(1, "tie-b@example.com", "tie b", "Tue, 2 Jan 2024 10:00:00 +0900") +
          Entry(2, "=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?= <t@example.com>", "=?UTF-8?B?44OG44K544OI?=",
                "Wed, 3 Jan 2024 11:00:00 +0900"),
  };
  const std::vector<BalloonMail> newest = NewestMails(codec, files);
  ASSERT_EQ(newest.size(), 3u);
  EXPECT_EQ(newest[0].from, "テスト <t@example.com>");
  EXPECT_EQ(newest[0].subject, "テスト");
  EXPECT_EQ(newest[1].from, "tie-b@example.com");
  EXPECT_EQ(newest[2].from, "tie-a@example.com");

  // Fewer mails than three; an undated mail still counts, after the dated.
  const std::vector<BalloonMail> two = NewestMails(codec, {Entry(1, "u@x", "u", "") + Entry(2, "d@x", "d",
                                                                                             "1 Jan 2000 00:00 +0000")});
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].from, "d@x");
  EXPECT_EQ(two[1].from, "u@x");
  EXPECT_TRUE(NewestMails(codec, {"", "*ERR\r\nx\r\n.\r\n"}).empty());
}

TEST(BuildBalloonNotice, TitleCountLinesAndFieldLimits) {
  const BalloonNotice n = BuildBalloonNotice(5, {{"ann@example.com", "会議"}, {"bob@example.com", ""}});
  EXPECT_EQ(n.title, "Tidewell: 5通の新着メール");
  EXPECT_EQ(n.text, "ann@example.com: 会議\r\nbob@example.com: (件名なし)");

  // Three long Japanese subjects: each line keeps its share, cut at a
  // character boundary with "…", and all three are shown within 255 bytes.
  std::string long_subject;
  for (int i = 0; i < 200; ++i) long_subject += "あ";
  const BalloonNotice cut =
      BuildBalloonNotice(123456789, {{"a@x", long_subject}, {"b@x", long_subject}, {"c@x", long_subject}});
  EXPECT_LE(cut.text.size(), kBalloonTextSize - 1);
  EXPECT_LE(cut.title.size(), kBalloonTitleSize - 1);
  std::size_t lines = 0, at = 0;
  for (const char* who : {"a@x: ", "b@x: ", "c@x: "}) {
    const std::size_t p = cut.text.find(who, at);
    ASSERT_NE(p, std::string::npos) << who;
    at = p + 1;
    ++lines;
  }
  EXPECT_EQ(lines, 3u);
  // Every line ends in the ellipsis (0x81 0x63) right after a whole "あ" (0x82 0xA0).
  for (std::size_t end = cut.text.find("\r\n");; end = cut.text.find("\r\n", end + 2)) {
    const std::size_t stop = end == std::string::npos ? cut.text.size() : end;
    ASSERT_GE(stop, 4u);
    EXPECT_EQ(cut.text.substr(stop - 4, 4), "\x82\xa0\x81\x63");
    if (end == std::string::npos) break;
  }
}

TEST(BalloonWanted, SwitchNewMailAndNotACheckOnceRun) {
  EXPECT_TRUE(BalloonWanted(kBalloon, 1));
  EXPECT_TRUE(BalloonWanted(kBalloon | kListOpen | kSoundCheck, 3));
  EXPECT_FALSE(BalloonWanted(0, 3));
  EXPECT_FALSE(BalloonWanted(kBalloon, 0));
  EXPECT_FALSE(BalloonWanted(kBalloon | kEnd, 3));
}

}  // namespace
}  // namespace tidewell
