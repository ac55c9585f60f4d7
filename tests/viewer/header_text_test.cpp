// The header text functions over tables of header texts, decoded through the
// codec library's core.
#include "viewer/header_text.h"

#include <gtest/gtest.h>

#include <chrono>

#include <string>

#include "core_text_codec.h"

namespace tidewell {
namespace {

using testing::CoreTextCodec;
using testing::MissingTextCodec;
using testing::NoQuotedTextCodec;

// A cached message: POP3 status line, header, body, terminator.
const std::string kMessage =
    "+OK 120 octets\r\n"
    "Received: from a\r\n"
    "\tby b\r\n"
    "Subject: =?iso-2022-jp?B?GyRCJUYlOSVIGyhC?=\r\n"
    " =?iso-2022-jp?B?GyRCNEE7ehsoQg==?=\r\n"
    "From:  taro <taro@example.jp>\r\n"
    "X-Subject-Tag: no\r\n"
    "Date: Wed, 3 Jan 2007 03:46:20 +0900\r\n"
    "\r\n"
    "Subject: in the body\r\n"
    "\r\n.\r\n";

struct FieldCase {
  const char* name;
  std::string text;
  std::string field;
  std::size_t max;
  std::string value;
  std::string raw;
};

TEST(HeaderFieldTest, ValueAndRawLines) {
  const FieldCase cases[] = {
      {"one space stepped over", "+OK\r\nSubject: abc\r\n", "subject", 100, "abc", "Subject: abc"},
      {"second space kept", "+OK\r\nSubject:  abc\r\n", "Subject", 100, " abc", "Subject:  abc"},
      {"blank before colon", "+OK\r\nSubject : abc\r\n", "Subject", 100, " abc", "Subject : abc"},
      {"tab separator", "+OK\r\nSubject\tabc\r\n", "Subject", 100, "abc", "Subject\tabc"},
      {"folded lines joined without space", "+OK\r\nSubject: ab\r\n \t cd\r\n\tef\r\nX: y\r\n", "Subject", 100,
       "abcdef", "Subject: ab\r\n \t cd\r\n\tef"},
      {"longer name is another field", "+OK\r\nSubjects: no\r\nSubject: yes\r\n", "Subject", 100, "yes",
       "Subject: yes"},
      {"first line never examined", "Subject: first\r\nX: y\r\n", "Subject", 100, "", ""},
      {"missing field", "+OK\r\nX: y\r\n", "Subject", 100, "", ""},
      {"last line without line end", "+OK\r\nSubject: end", "Subject", 100, "end", "Subject: end"},
      {"cut at max", "+OK\r\nSubject: abcdef\r\n", "Subject", 3, "abc", "Sub"},
      {"empty value", "+OK\r\nSubject:\r\nX: y\r\n", "Subject", 100, "", "Subject:"},
      {"first match wins", "+OK\r\nSubject: one\r\nSubject: two\r\n", "Subject", 100, "one", "Subject: one"},
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GetFieldValue(c.text, c.field, c.max), c.value);
    EXPECT_EQ(GetFieldRaw(c.text, c.field, c.max), c.raw);
  }
}

TEST(HeaderFieldTest, FieldsOfACachedMessage) {
  EXPECT_EQ(GetFieldValue(kMessage, "From", 100), " taro <taro@example.jp>");
  EXPECT_EQ(GetFieldValue(kMessage, "Received", 100), "from aby b");
  EXPECT_EQ(GetFieldValue(kMessage, "Subject", 1000),
            "=?iso-2022-jp?B?GyRCJUYlOSVIGyhC?==?iso-2022-jp?B?GyRCNEE7ehsoQg==?=");
  EXPECT_EQ(GetFieldRaw(kMessage, "subject", 1000),
            "Subject: =?iso-2022-jp?B?GyRCJUYlOSVIGyhC?=\r\n =?iso-2022-jp?B?GyRCNEE7ehsoQg==?=");
}

TEST(ReplaceFirstTest, Table) {
  struct Case {
    const char* text;
    std::size_t max;
    const char* key;
    const char* replacement;
    std::string expected;
  } cases[] = {
      {"a-key-b-key", 100, "key", "X", "a-X-b-key"},
      {"a-key-b", 100, "key", "", "a--b"},
      {"a-key-b", 100, "zzz", "X", "a-key-b"},
      {"a-key-b", 100, "", "X", "a-key-b"},
      {"a-key-b", 4, "key", "LONG", "a-LO"},
      {"abcdef", 3, "zzz", "X", "abc"},  // not found: cut as well, never past the buffer
      {"key", 100, "key", "much longer text", "much longer text"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ReplaceFirst(c.text, c.max, c.key, c.replacement), c.expected);
  }
}

TEST(ExtractBetweenTest, Table) {
  struct Case {
    const char* name;
    std::string text;
    std::size_t max;
    const char* start;
    const char* end;
    bool exact, inner;
    std::string expected;
  } cases[] = {
      {"body of a cached message", kMessage, 1000, "\r\n\r\n", "\r\n.\r\n", true, true,
       "Subject: in the body\r\n"},
      {"body without terminator", "head\r\n\r\nbody\r\nmore", 1000, "\r\n\r\n", "\r\n.\r\n", true, true,
       "body\r\nmore"},
      {"markers kept", "xx<a>yy</a>zz", 100, "<a>", "</a>", true, false, "<a>yy</a>"},
      {"markers kept, no end", "xx<a>yy", 100, "<a>", "</a>", true, false, "<a>yy"},
      {"case ignored", "xx<A>yy</a>zz", 100, "<a>", "</A>", false, true, "yy"},
      {"exact misses other case", "xx<A>yy</a>zz", 100, "<a>", "</a>", true, true, ""},
      {"start missing", "xxyy", 100, "<a>", "</a>", false, true, ""},
      {"empty piece", "<a></a>", 100, "<a>", "</a>", true, true, ""},
      {"overlapping markers", "abab", 100, "abab", "ba", true, true, ""},
      {"longer than max gives nothing", "<a>123456</a>", 5, "<a>", "</a>", true, true, ""},
      {"exactly max", "<a>12345</a>", 5, "<a>", "</a>", true, true, "12345"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ExtractBetween(c.text, c.max, c.start, c.end, c.exact, c.inner), c.expected);
  }
}

struct DecodeCase {
  const char* name;
  std::string text;
  bool raw;
  std::string expected;
};

TEST(DecodeEncodedWordsTest, Table) {
  const std::string kTest = "テスト";
  const std::string kTestJis = "\x1b$B%F%9%H\x1b(B";
  const DecodeCase cases[] = {
      {"B word, upper-case charset", "=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=", false, kTest},
      {"B word inside text", "Re: =?iso-2022-jp?b?GyRCJUYlOSVIGyhC?= ok", false, "Re: " + kTest + " ok"},
      {"Q word starting with =1B", "=?iso-2022-jp?Q?=1B$B%F%9%H=1B(B?=", false, kTest},
      {"Shift_JIS B word", "=?shift_jis?B?g2WDWINn?=", false, kTest},
      {"UTF-8 B word", "=?utf-8?B?44OG44K544OI?=", false, kTest},
      {"UTF-8 Q word", "=?UTF-8?Q?=E3=83=86=E3=82=B9=E3=83=88?=", false, kTest},
      {"EUC-JP B word", "=?euc-jp?B?pcaluaXI?=", false, kTest},
      {"raw JIS in the header converted", "x " + kTestJis, false, "x " + kTest},
      {"adjacent words decoded one by one", "=?iso-2022-jp?B?GyRCJUYlOSVIGyhC?==?utf-8?B?5ryi5a2X?=", false,
       kTest + "漢字"},
      {"windows-1252 Q word", "=?windows-1252?Q?=93x=94_=80?=", false, "“x”_?"},
      {"iso-8859-1 B word", "=?ISO-8859-1?B?Y2Fm6Q==?=", false, "caf?"},
      {"iso-8859-1 in raw mode", "=?iso-8859-1?Q?caf=E9?=", true, "caf?"},
      {"Windows-31J B word", "=?Windows-31J?B?g2WDWINn?=", false, kTest},
      {"CP932 Q word", "=?cp932?Q?=83e=83X=83g?=", false, kTest},
      {"US-ASCII word", "=?us-ascii?Q?abc?=", false, "abc"},
      {"language after the charset", "=?utf-8*ja?B?44OG44K544OI?=", false, kTest},
      {"unknown charset left alone", "=?koi8-r?Q?x?=", false, "=?koi8-r?Q?x?="},
      {"word after a one-byte word", "=?utf-8?Q?A?==?utf-8?Q?B?=", false, "AB"},
      {"word after an empty word", "=?utf-8?Q??==?utf-8?Q?B?=", false, "B"},
      {"decoded text is not searched again", "=?utf-8?Q?=3D=3Futf-8=3FQ=3Fx=3F=3D?=", false, "=?utf-8?Q?x?="},
      {"unknown letter takes the text", "=?utf-8?X?abc?=", false, "abc"},
      {"underscore stays", "=?iso-2022-jp?Q?a_b?=", false, "a_b"},
      {"no closing", "=?iso-2022-jp?B?GyRCJUYlOSVIGyhC", false, "=?iso-2022-jp?B?GyRCJUYlOSVIGyhC"},
      {"closing right after the letter is not the end", "=?utf-8?Q?=41?= tail", false, "A tail"},
      {"raw keeps ISO-2022-JP bytes", "=?iso-2022-jp?B?GyRCJUYlOSVIGyhC?=", true, kTestJis},
      {"raw keeps raw JIS", "x " + kTestJis, true, "x " + kTestJis},
      {"raw converts UTF-8", "=?utf-8?B?44OG44K544OI?=", true, kTest},
      {"raw converts EUC-JP", "=?euc-jp?B?pcaluaXI?=", true, kTest},
      {"word at 999 bytes decoded", "=?utf-8?Q?" + std::string(987, 'a') + "?=", false, std::string(987, 'a')},
      {"word of 1000 bytes kept", "=?utf-8?Q?" + std::string(988, 'a') + "?=", false,
       "=?utf-8?Q?" + std::string(988, 'a') + "?="},
      {"word broken by a line end: only its first line is taken", "=?utf-8?Q?ab\r\n cd?=", false, "ab\r\n cd?="},
      {"plain text", "hello", false, "hello"},
      {"empty", "", false, ""},
  };
  CoreTextCodec codec;
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DecodeEncodedWords(codec, c.text, 10000, c.raw), c.expected);
  }
}

TEST(DecodeEncodedWordsTest, LinearInTheHeaderSize) {
  // 50,000 words in one text: each is decoded once, the text is never copied
  // per word (the old search took minutes on this).
  CoreTextCodec codec;
  std::string text, want;
  for (int i = 0; i < 50000; ++i) {
    text += "=?utf-8?B?44OG?=";
    want += "テ";
  }
  text += " =?utf-8?Q?";  // unclosed: looked at no further than a word can reach
  for (int i = 0; i < 20000; ++i) text += "=?utf-8?Q?a";
  const auto start = std::chrono::steady_clock::now();
  const std::string decoded = DecodeEncodedWords(codec, text, text.size(), false);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(decoded.substr(0, want.size()), want);
  EXPECT_LT(seconds, 2.0);
}

TEST(DecodeEncodedWordsTest, FoldedSubjectBecomesOneRun) {
  CoreTextCodec codec;
  const std::string value = GetFieldValue(kMessage, "Subject", 1000);
  EXPECT_EQ(DecodeEncodedWords(codec, value, 1000, false), "テスト漢字");
}

TEST(DecodeEncodedWordsTest, CutAtMax) {
  CoreTextCodec codec;
  EXPECT_EQ(DecodeEncodedWords(codec, "=?utf-8?Q?abcdef?=", 4, false), "abcd");
}

TEST(DecodeEncodedWordsTest, WithoutTheCodecLibrary) {
  MissingTextCodec missing;
  const std::string word = "=?iso-2022-jp?B?GyRCJUYlOSVIGyhC?= x";
  EXPECT_EQ(DecodeEncodedWords(missing, word, 1000, false), "");
  EXPECT_EQ(DecodeEncodedWords(missing, word, 1000, true), word);
  EXPECT_EQ(DecodeEncodedWords(missing, "=?utf-8?X?abc?=", 1000, true), "=?utf-8?X?abc?=");
}

TEST(DecodeEncodedWordsTest, MissingCoderLeavesItsWords) {
  NoQuotedTextCodec codec;
  EXPECT_EQ(DecodeEncodedWords(codec, "=?utf-8?Q?=41?= =?utf-8?B?44OG44K544OI?=", 1000, false),
            "=?utf-8?Q?=41?= テスト");
}

TEST(FormatMailDateTest, Table) {
  struct Case {
    std::string text;
    std::string expected;
  } cases[] = {
      {"Wed, 3 Jan 2007 03:46:20 +0900", "2007/1/3 03:46:20"},
      {"3 jan 2007 10:00:00 +0900", "2007/1/3 10:00:00"},
      {"Sun, 31 DEC 99 23:59:59 -0000", "99/12/31 23:59:59"},
      {"Wed, 32 Jan 2007 10:00:00", "Wed, 32 Jan 2007 10:00:00"},
      {"Wed, 0 Jan 2007 10:00:00", "Wed, 0 Jan 2007 10:00:00"},
      {"Wed, 3 Foo 2007 10:00:00 +0900", "2007/1/3 10:00:00"},
      {"Wed, 3 January 2007 10:00:00 +0900", "2007/1/3 10:00:00"},
      {"not a date", "not a date"},
      {"", ""},
      {"Wed, 3 Jan", "Wed, 3 Jan"},
      {"Wed, 3 Jan 2007", "2007/1/3 "},
      {"Wed, 3 Jan 99999999999 10:00", "Wed, 3 Jan 99999999999 10:00"},
      {"Wed,", "Wed,"},
      {"3 Jan 2007 " + std::string(100, '1'), ("2007/1/3 " + std::string(100, '1')).substr(0, 49)},
      {std::string(100, 'x'), std::string(49, 'x')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string got = FormatMailDate(c.text);
    EXPECT_EQ(got, c.expected);
    EXPECT_LT(got.size(), kMailDateBuffer);
  }
}

TEST(CopyToBufferTest, CutsAtCharacterBoundary) {
  char buffer[6];
  CopyToBuffer("abcdefgh", buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "abcde");
  CopyToBuffer("abcテ", buffer, sizeof buffer);  // テ is two bytes: 3 + 2 fits
  EXPECT_STREQ(buffer, "abcテ");
  CopyToBuffer("abcdテ", buffer, sizeof buffer);  // would split テ
  EXPECT_STREQ(buffer, "abcd");
}

}  // namespace
}  // namespace tidewell
