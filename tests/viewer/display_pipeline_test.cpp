// The display pipeline over the fixture messages of tests/viewer/mail and over
// small multipart cases, decoded through the codec library's core; the code
// menu conversions of the message window.
#include "viewer/display_pipeline.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core_text_codec.h"
#include "viewer/body_codes.h"

namespace tidewell {
namespace {

using testing::CoreTextCodec;
using testing::MissingTextCodec;

std::string ReadMail(const std::string& name) {
  std::ifstream in(std::string(TIDEWELL_SOURCE_DIR) + "/tests/viewer/mail/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  EXPECT_FALSE(s.str().empty()) << name;
  return s.str();
}

// The body through a code menu command.
std::string Shown(const std::string& body, int command = kCodeJis) {
  CoreTextCodec codec;
  return BodyForCode(codec, body, command);
}

const std::string kEndedEarly = "（メッセージはここで途切れています。続きは受信していません）";

struct FileCase {
  const char* file;
  bool standalone;
  std::string subject;
  std::string sender;
  std::string date;
  std::string body;   // the body as the window first shows it
};

TEST(DisplayPipeline, FixtureMessages) {
  const std::string long_line =
      "この行はとても長いので、自動折り返しを有効にすると複数の行に分かれて表示されます。"
      "この行はとても長いので、自動折り返しを有効にすると複数の行に分かれて表示されます。"
      "この行はとても長いので、自動折り返しを有効にすると複数の行に分かれて表示されます。";
  const std::string jis_body = "明日の会議は十時からです。\r\n" + long_line + "\r\nよろしくお願いします。\r\n";
  const FileCase cases[] = {
      // A cache file: status line and terminator line left out.
      {"jis-cache.eml", false, "会議の予定について", "山田太郎 <taro@example.jp>", "2024/1/2 09:15:00", jis_body},
      {"jis-cache.eml", true, "会議の予定について", "山田太郎 <taro@example.jp>", "2024/1/2 09:15:00", jis_body},
      // First line "Subject:": only the standalone viewer reads it.
      {"sjis.eml", false, "", "佐藤花子 <hanako@example.jp>", "2024/1/3 18:30:00",
       "見積書を添付いたしました。ご確認ください。\r\n"},
      {"sjis.eml", true, "見積書の送付", "佐藤花子 <hanako@example.jp>", "2024/1/3 18:30:00",
       "見積書を添付いたしました。ご確認ください。\r\n"},
      {"utf8.eml", true, "新年のご挨拶", "鈴木一郎 <ichiro@example.jp>", "2024/1/4 07:00:00",
       "本年もよろしくお願いいたします。\r\n"},
      // Quoted-printable ISO-2022-JP, decoded in both windows.
      {"qp-jis.eml", true, "お昼ご飯", "jiro@example.jp", "2024/1/5 12:00:00", "お昼はカレーにしましょう。\r\n"},
      {"qp-jis.eml", false, "お昼ご飯", "", "2024/1/5 12:00:00", "お昼はカレーにしましょう。\r\n"},
      // The first part and the attachment's line. First line "From:": the
      // list library's pipeline leaves it out.
      {"multipart.eml", false, "資料をお送りします", "", "2024/1/6 20:45:00",
       "資料を添付します。\r\n\r\n添付ファイル：a.bin (4 バイト)\r\n"},
      {"multipart.eml", true, "資料をお送りします", "高橋次郎 <jiro@example.jp>", "2024/1/6 20:45:00",
       "資料を添付します。\r\n\r\n添付ファイル：a.bin (4 バイト)\r\n"},
  };
  for (const FileCase& c : cases) {
    SCOPED_TRACE(std::string(c.file) + (c.standalone ? " standalone" : " list"));
    CoreTextCodec codec;
    DisplayFields fields;
    const PipelineOptions options = c.standalone ? PipelineOptions::Standalone() : PipelineOptions::List();
    EXPECT_EQ(BuildDisplay(codec, ReadMail(c.file), options, fields), DisplayError::kNone);
    EXPECT_EQ(fields.subject, c.subject);
    EXPECT_EQ(fields.sender, c.sender);
    EXPECT_EQ(fields.date, c.date);
    EXPECT_EQ(fields.body, c.body);
  }
}

TEST(DisplayPipeline, SinglePartWithoutTerminatorSaysItEndsEarly) {
  CoreTextCodec codec;
  DisplayFields fields;
  const std::string text = "+OK\r\nSubject: a\r\n\r\nline 1\r\nline 2\r\n";
  EXPECT_EQ(BuildDisplay(codec, text, PipelineOptions::List(), fields), DisplayError::kNone);
  EXPECT_EQ(fields.body, "line 1\r\nline 2\r\n\r\n" + kEndedEarly + "\r\n");
  // With the terminator, only it is left out.
  BuildDisplay(codec, text + ".\r\n", PipelineOptions::List(), fields);
  EXPECT_EQ(fields.body, "line 1\r\nline 2\r\n");
}

struct MultipartCase {
  const char* name;
  std::string content_type;
  std::string after_header;  // the text after the header's blank line
  DisplayError error;
  std::string body;
};

TEST(DisplayPipeline, MultipartBoundaries) {
  const std::string parts =
      "preamble\r\n--b1\r\nContent-Type: text/plain\r\n\r\nfirst\r\nsecond\r\n--b1\r\n\r\nother\r\n--b1--\r\n";
  const std::string both = "first\r\nsecond\r\n\r\nother";
  const MultipartCase cases[] = {
      {"quoted", "multipart/mixed; boundary=\"b1\"", parts, DisplayError::kNone, both},
      {"unquoted", "multipart/mixed; boundary=b1", parts, DisplayError::kNone, both},
      {"letter case", "MULTIPART/mixed; BOUNDARY=\"B1\"", parts, DisplayError::kNone, both},
      {"folded", "multipart/mixed;\r\n\tboundary=\"b1\"", parts, DisplayError::kNone, both},
      {"alternative: the plain part", "multipart/alternative; boundary=b1",
       "--b1\r\nContent-Type: text/html\r\n\r\n<b>html</b>\r\n--b1\r\n\r\nplain\r\n--b1--\r\n", DisplayError::kNone,
       "plain"},
      {"alternative without a plain part: the HTML one as text", "multipart/alternative; boundary=b1",
       "--b1\r\nContent-Type: image/png\r\n\r\nxx\r\n--b1\r\nContent-Type: text/html\r\n\r\n<b>html</b>\r\n--b1--\r\n",
       DisplayError::kNone, "html\r\n"},
      {"empty", "multipart/mixed; boundary=", parts, DisplayError::kNoBoundary, ""},
      {"empty quotes", "multipart/mixed; boundary=\"\"", parts, DisplayError::kNoBoundary, ""},
      {"lone quote", "multipart/mixed; boundary=\"", parts, DisplayError::kNoBoundary, ""},
      {"no parameter", "multipart/mixed", parts, DisplayError::kNoBoundary, ""},
      {"parameter after", "multipart/mixed; boundary=\"b1\"; charset=x", parts, DisplayError::kNone, both},
      {"boundary not in body", "multipart/mixed; boundary=zz", parts, DisplayError::kNoPartHeaderEnd, ""},
      {"part without blank line", "multipart/mixed; boundary=b1", "--b1\r\nContent-Type: text/plain\r\n--b1--\r\n",
       DisplayError::kNoPartHeaderEnd, ""},
      {"no closing delimiter, LF-only delimiter", "multipart/mixed; boundary=b1", "--b1\n\r\n\r\nabc--b1",
       DisplayError::kNone, "\r\nabc--b1\r\n\r\n" + kEndedEarly + "\r\n"},
  };
  for (const MultipartCase& c : cases) {
    SCOPED_TRACE(c.name);
    CoreTextCodec codec;
    DisplayFields fields;
    const std::string text =
        "+OK\r\nSubject: s\r\nContent-Type: " + c.content_type + "\r\n\r\n" + c.after_header + "\r\n.\r\n";
    EXPECT_EQ(BuildDisplay(codec, text, PipelineOptions::List(), fields), c.error);
    EXPECT_EQ(fields.body, c.body);
    EXPECT_EQ(fields.subject, "s");  // filled before the body
  }
}

TEST(DisplayPipeline, MultipartWithoutBlankLineAfterHeader) {
  CoreTextCodec codec;
  DisplayFields fields;
  const std::string text = "+OK\r\nSubject: s\r\nContent-Type: multipart/mixed; boundary=b1\r\n--b1\r\n";
  EXPECT_EQ(BuildDisplay(codec, text, PipelineOptions::List(), fields), DisplayError::kNoHeaderEnd);
  EXPECT_EQ(fields.subject, "s");
  EXPECT_TRUE(fields.body.empty());
}

TEST(DisplayPipeline, BodiesAreCutToTheBodyBuffer) {
  CoreTextCodec codec;
  const std::size_t sizes[] = {kBodyBuffer - 4, kBodyBuffer - 3, kBodyBuffer, kBodyBuffer + 50000};
  for (std::size_t size : sizes) {
    SCOPED_TRACE(size);
    const std::string big(size, 'x');
    DisplayFields fields;
    BuildDisplay(codec, "+OK\r\nSubject: s\r\n\r\n" + big + "\r\n.\r\n", PipelineOptions::List(), fields);
    if (size + 2 <= kBodyBuffer - 1) {
      EXPECT_EQ(fields.body, big + "\r\n");
    } else {
      EXPECT_LE(fields.body.size(), kBodyBuffer - 1);
      EXPECT_GT(fields.body.size(), kBodyBuffer - 200);
    }
    const std::string multipart = "+OK\r\nContent-Type: multipart/mixed; boundary=b1\r\n\r\n--b1\r\n\r\n" + big +
                                  "\r\n--b1--\r\n.\r\n";
    EXPECT_EQ(BuildDisplay(codec, multipart, PipelineOptions::List(), fields), DisplayError::kNone);
    EXPECT_LE(fields.body.size(), kBodyBuffer - 1);
    EXPECT_GT(fields.body.size(), kBodyBuffer - 200);
    // A decoded quoted-printable body is cut likewise.
    std::string qp;
    for (std::size_t i = 0; i < size / 3; ++i) qp += "=41";
    BuildDisplay(codec, "Content-Transfer-Encoding: quoted-printable\r\n\r\n" + qp, PipelineOptions::Standalone(),
                 fields);
    EXPECT_LE(fields.body.size(), kBodyBuffer - 1);
  }
}

TEST(DisplayPipeline, SubjectAndSenderFitTheirBuffersAtCharacterBoundaries) {
  std::string long_name = "xx";
  for (int i = 0; i < 400; ++i) long_name += "あ";
  const std::string text = "+OK\r\nSubject: " + long_name + "\r\nFrom: " + long_name + "\r\n\r\nb";
  CoreTextCodec codec;
  DisplayFields fields;
  BuildDisplay(codec, text, PipelineOptions::List(), fields);
  EXPECT_EQ(fields.subject, long_name.substr(0, 498));
  EXPECT_EQ(fields.sender, long_name.substr(0, 498));
  BuildDisplay(codec, text, PipelineOptions::Standalone(), fields);
  EXPECT_EQ(fields.subject, long_name.substr(0, 248));
  EXPECT_EQ(fields.sender, long_name.substr(0, 248));
}

TEST(DisplayPipeline, WithoutTheCodecLibrary) {
  MissingTextCodec codec;
  DisplayFields fields;
  EXPECT_EQ(BuildDisplay(codec, ReadMail("qp-jis.eml"), PipelineOptions::Standalone(), fields), DisplayError::kNone);
  EXPECT_EQ(fields.subject, "");
  EXPECT_EQ(fields.sender, "");
  EXPECT_EQ(fields.date, "2024/1/5 12:00:00");
  EXPECT_EQ(fields.body, "");
  // The code menu: conversions show nothing, SJIS shows the part as stored.
  EXPECT_EQ(BodyTextForCode(codec, fields, kCodeJis), "");
  EXPECT_EQ(BodyTextForCode(codec, fields, kCodeSjis), "\x1b$B$*Ck$O%+%l!<$K$7$^$7$g$&!#\x1b(B\r\n");
}

struct CodeCase {
  const char* name;
  int command;
  std::string body;
  std::string shown;
};

TEST(BodyCodes, CodeMenuConversions) {
  const CodeCase cases[] = {
      {"JIS", kCodeJis, "\x1b$B$3$s$K$A$O\x1b(B\r\nabc", "こんにちは\r\nabc"},
      {"SJIS as stored", kCodeSjis, "こんにちは\r\n", "こんにちは\r\n"},
      {"EUC", kCodeEuc, "\xa4\xb3\xa4\xf3\xa4\xcb\xa4\xc1\xa4\xcf", "こんにちは"},
      {"UTF-7", kCodeUtf7, "+MFMwkzBrMGEwbw-", "こんにちは"},
      {"UTF-8", kCodeUtf8, "\xe3\x81\x93\xe3\x82\x93", "こん"},
      {"UTF-16 little-endian mark", kCodeUtf16, std::string("\xff\xfe\x53\x30\x93\x30", 6), "こん"},
      {"UTF-16 big-endian mark", kCodeUtf16, std::string("\xfe\xff\x30\x53\x30\x93", 6), "こん"},
      {"UTF-16 half unit dropped", kCodeUtf16, std::string("\xff\xfe\x53\x30\x41", 5), "こ"},
      {"UTF-16 up to a zero unit", kCodeUtf16, std::string("\xff\xfe" "A\0\0\0B\0", 8), "A"},
      {"UTF-16 without mark", kCodeUtf16, std::string("\x53\x30\x93\x30", 4), ""},
      {"UTF-16 mark only", kCodeUtf16, "\xff\xfe", ""},
      {"byte code stops at a zero byte", kCodeUtf8, std::string("ab\0cd", 5), "ab"},
      {"unknown command", 40030, "abc", ""},
  };
  for (const CodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Shown(c.body, c.command), c.shown);
  }
}

TEST(BodyCodes, Utf16SourceEndsWithAZeroUnit) {
  const std::string bodies[] = {std::string("\xff\xfe\x41\x00\x42", 5), std::string("\xfe\xff\x00\x41", 4),
                                std::string("\xff\xfe", 2)};
  for (const std::string& body : bodies) {
    const std::string src = Utf16Source(body);
    ASSERT_GE(src.size(), 2u);
    EXPECT_EQ(src.size() % 2, 0u);
    EXPECT_EQ(src.substr(src.size() - 2), std::string(2, '\0'));
  }
  EXPECT_EQ(Utf16Source(std::string("\xfe\xff\x00\x41", 4)), std::string("\x41\x00\x00\x00", 4));
}

TEST(BodyCodes, ShownTextFitsTheBodyBufferAtACharacterBoundary) {
  std::string body;
  for (int i = 0; i < 100000; ++i) body += "あ";  // 200,000 bytes
  const std::string shown = Shown(body, kCodeSjis);
  EXPECT_EQ(shown.size(), kBodyBuffer - 2);
  const std::string euc = Shown(std::string(kBodyBuffer + 10, 'a'), kCodeEuc);
  EXPECT_EQ(euc.size(), kBodyBuffer - 1);
}

}  // namespace
}  // namespace tidewell
