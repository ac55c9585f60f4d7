// The MIME reader over message files as current mail programs send them
// (tests/viewer/mail, made by Python's email library: make_mail.py) and over
// small hand-made cases; hostile files within their time.
#include "viewer/mime_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core_text_codec.h"
#include "viewer/body_codes.h"
#include "viewer/display_pipeline.h"

namespace tidewell {
namespace {

using testing::CoreTextCodec;

std::string ReadMail(const std::string& name) {
  std::ifstream in(std::string(TIDEWELL_SOURCE_DIR) + "/tests/viewer/mail/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  EXPECT_FALSE(s.str().empty()) << name;
  return s.str();
}

const std::string kText = "こんにちは、世界。\r\n二行目です。\r\n";
const std::string kEndedEarly = "（メッセージはここで途切れています。続きは受信していません）";

struct ShownCase {
  const char* file;
  std::string subject;
  std::vector<std::string> shows;    // texts the body holds, in this order
  std::vector<std::string> hides;    // texts it must not hold
};

// Markup and transfer encodings that must never reach the window.
const std::vector<std::string> kNeverShown = {"Content-Type", "Content-Transfer-Encoding", "==_b0", "<p>",
                                              "</", "44GT", "=E3=81", "=82=B1"};

TEST(MimeReader, MessagesAsCurrentMailProgramsSendThem) {
  const ShownCase cases[] = {
      {"utf8-base64.eml", "UTF-8 Base64", {kText}, {}},
      {"utf8-qp.eml", "UTF-8 quoted-printable", {kText}, {}},
      {"sjis-qp.eml", "Shift_JIS quoted-printable", {kText}, {}},
      {"euc-8bit.eml", "EUC-JP 8bit", {kText}, {}},
      {"utf8-lf.eml", "UTF-8 8bit, LF only", {kText}, {}},
      {"alternative.eml", "alternative", {kText}, {"HTML版"}},
      {"html-only.eml",
       "HTML only",
       // A copyright sign has no Shift_JIS form.
       {"お知らせ&ご案内\r\n\r\n一段落目\r\n改行後\r\n\r\n<タグ> \"引用\" あい ?  終わり\r\n\r\n項目一\r\n"
        "項目二\r\n\r\nA B\r\n"},
       {"alert", "color", "注釈", "件名"}},
      {"mixed.eml",
       "mixed",
       {kText, "添付ファイル：見積書.pdf (1,024 バイト)\r\n", "添付ファイル：資料.zip (100 バイト)\r\n"},
       {"HTML版", "PK"}},
      {"forward.eml",
       "forward",
       {"転送します。\r\n", "送信者：Hanako <hanako@example.jp>\r\n", "日時：2024/1/9 11:30:00\r\n",
        "件名：元の件名\r\n", "転送された本文です。\r\n"},
       {}},
      {"rtf.eml", "RTF looking body", {"{\\rtf1\\ansi {\\fonttbl\\f0 Arial;}\\f0 hidden\\v secret\\v0 shown}\r\n"}, {}},
      {"utf16.eml", "UTF-16", {"日本語のテキスト\r\n"}, {}},
      {"latin1.eml", "Latin", {"Caf? § × ÷\r\n"}, {}},
      {"cp1252.eml", "Windows-1252", {"“quoted” ? ?5 na?ve\r\n"}, {}},
      {"dots-cache.eml", "dot-stuffed cache", {".点で始まる行\r\n.\r\n..\r\n最後の行\r\n"}, {"+OK", kEndedEarly}},
      {"qp-jis.eml", "お昼ご飯", {"お昼はカレーにしましょう。\r\n"}, {}},
      {"jis-cache.eml", "会議の予定について", {"明日の会議は十時からです。\r\n", "よろしくお願いします。\r\n"},
       {"+OK", kEndedEarly}},
  };
  for (const ShownCase& c : cases) {
    for (const PipelineOptions& options : {PipelineOptions::List(), PipelineOptions::Standalone()}) {
      SCOPED_TRACE(std::string(c.file) + (options.search_first_line ? " standalone" : " list"));
      CoreTextCodec codec;
      DisplayFields fields;
      // The list reads cache files: a saved file becomes one with a status
      // line in front.
      std::string file = ReadMail(c.file);
      if (!options.search_first_line && file.compare(0, 3, "+OK") != 0) file = "+OK\r\n" + file;
      ASSERT_EQ(BuildDisplay(codec, file, options, fields), DisplayError::kNone);
      EXPECT_EQ(fields.subject, c.subject);
      std::size_t at = 0;
      for (const std::string& want : c.shows) {
        const std::size_t found = fields.body.find(want, at);
        EXPECT_NE(found, std::string::npos) << "wanted: " << want << "\nbody: " << fields.body;
        if (found != std::string::npos) at = found + want.size();
      }
      for (const std::string& hidden : c.hides) EXPECT_EQ(fields.body.find(hidden), std::string::npos) << hidden;
      for (const std::string& hidden : kNeverShown) {
        if (std::string(c.file) == "rtf.eml") continue;
        EXPECT_EQ(fields.body.find(hidden), std::string::npos) << hidden << "\n" << fields.body;
      }
    }
  }
}

TEST(MimeReader, FetchCutShortDecodesAsFarAsItGoesAndSaysSo) {
  CoreTextCodec codec;
  DisplayFields fields;
  ASSERT_EQ(BuildDisplay(codec, ReadMail("cut-base64.eml"), PipelineOptions::List(), fields), DisplayError::kNone);
  EXPECT_EQ(fields.subject, "cut short");
  // Dot-stuffing undone before the Base64 text is read.
  EXPECT_EQ(fields.body.find(".この行は点で始まる\r\n..二つの点\r\n長い本文の行です。\r\n"), 0u) << fields.body;
  const std::string last = kEndedEarly + "\r\n";
  ASSERT_GE(fields.body.size(), last.size());
  EXPECT_EQ(fields.body.substr(fields.body.size() - last.size()), last);
  EXPECT_EQ(fields.body.find("big.bin"), std::string::npos);  // never received
}

struct InlineCase {
  const char* name;
  std::string message;   // header and body after "+OK\r\n"
  std::string body;      // the whole shown text
};

TEST(MimeReader, ContentTypeParameters) {
  const std::string utf8_b64 = "Content-Transfer-Encoding: base64\r\n\r\n44GC44GE\r\n";  // "あい"
  const std::string parts = "\r\n\r\npreamble\r\n--b1\r\nContent-Type: text/plain\r\n\r\nfirst\r\n--b1--\r\n";
  const InlineCase cases[] = {
      {"charset quoted", "Content-Type: text/plain; charset=\"utf-8\"\r\n" + utf8_b64, "あい"},
      {"charset unquoted", "Content-Type: text/plain; charset=utf-8\r\n" + utf8_b64, "あい"},
      {"charset upper case", "CONTENT-TYPE: Text/Plain; CHARSET=UTF-8\r\n" + utf8_b64, "あい"},
      {"charset folded, further parameters", "Content-Type: text/plain;\r\n\tformat=flowed;\r\n charset=UTF-8; x=y\r\n" +
                                                 utf8_b64,
       "あい"},
      {"boundary with further parameters", "Content-Type: multipart/mixed; boundary=\"b1\"; charset=x" + parts,
       "first"},
      {"boundary unquoted, parameter before", "Content-Type: multipart/mixed; type=a; BOUNDARY=b1" + parts, "first"},
      {"boundary never in the body", "Content-Type: multipart/mixed; boundary=zz" + parts, ""},
      {"no charset: ISO-2022-JP reading", "Subject: s\r\n\r\n\x1b$B$\"\x1b(B\r\n", "あ\r\n"},
      {"no charset, valid UTF-8", "Subject: s\r\n\r\n\xe3\x81\x82\r\n", "あ\r\n"},
      {"unknown transfer encoding taken as it stands", "Content-Transfer-Encoding: x-uuencode\r\n\r\nabc\r\n",
       "abc\r\n"},
      {"{\\rtf body is text", "Subject: s\r\n\r\n{\\rtf1 x}\r\n", "{\\rtf1 x}\r\n"},
  };
  for (const InlineCase& c : cases) {
    SCOPED_TRACE(c.name);
    CoreTextCodec codec;
    DisplayFields fields;
    const DisplayError error = BuildDisplay(codec, "+OK\r\n" + c.message + ".\r\n", PipelineOptions::List(), fields);
    if (std::string(c.name).find("never") != std::string::npos) {
      EXPECT_EQ(error, DisplayError::kNoPartHeaderEnd);
      continue;
    }
    EXPECT_EQ(error, DisplayError::kNone);
    EXPECT_EQ(fields.body, c.body);
  }
}

TEST(MimeReader, FileNames) {
  CoreTextCodec codec;
  const struct {
    std::string value;
    std::string name;
  } cases[] = {
      {"attachment; filename=\"a b.txt\"", "a b.txt"},
      {"attachment; filename*=utf-8''%E8%B3%87%E6%96%99.pdf", "資料.pdf"},
      {"attachment; filename*=ISO-2022-JP'ja'%1B%24B%3Bq%4EA%1B%28B.doc", "資料.doc"},
      {"attachment; filename*0*=utf-8''%E8%B3%87%E6; filename*1*=%96%99; filename*2=\".pdf\"", "資料.pdf"},
      {"attachment; filename*1=\".pdf\"; filename*0*=utf-8''%E8%B3%87%E6%96%99", "資料.pdf"},
      {"attachment; filename=\"=?UTF-8?B?6LOH5paZLnBkZg==?=\"", "資料.pdf"},
      {"attachment; filename=\"=?ISO-2022-JP?B?GyRCO3FOQRsoQg==?=\"", "資料"},
      {"attachment", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(MimeFileName(codec, c.value, "filename"), c.name);
  }
  EXPECT_EQ(MimeParameter("multipart/mixed; Boundary=\"a\\\"b\"; x=1", "boundary"), "a\"b");
  EXPECT_EQ(BoundaryOf("multipart/mixed; boundary=b1; charset=x"), "b1");
}

TEST(MimeReader, CodeMenuRereadsThePartOnDisplay) {
  CoreTextCodec codec;
  DisplayFields fields;
  ASSERT_EQ(BuildDisplay(codec, ReadMail("mixed.eml"), PipelineOptions::Standalone(), fields), DisplayError::kNone);
  // The part's decoded bytes, not its Base64 lines, in the code picked.
  EXPECT_EQ(BodyTextForCode(codec, fields, kCodeUtf8), kText);
  EXPECT_EQ(BodyTextForCode(codec, fields, kCodeSjis), "\xe3\x81\x93\xe3\x82\x93\xe3\x81\xab\xe3\x81\xa1\xe3\x81\xaf"
                                                       "\xe3\x80\x81\xe4\xb8\x96\xe7\x95\x8c\xe3\x80\x82\r\n"
                                                       "\xe4\xba\x8c\xe8\xa1\x8c\xe7\x9b\xae\xe3\x81\xa7\xe3\x81\x99"
                                                       "\xe3\x80\x82\r\n");
  // An HTML part stays text in every code.
  ASSERT_EQ(BuildDisplay(codec, ReadMail("html-only.eml"), PipelineOptions::Standalone(), fields), DisplayError::kNone);
  EXPECT_TRUE(fields.part_html);
  const std::string utf8 = BodyTextForCode(codec, fields, kCodeUtf8);
  EXPECT_NE(utf8.find("お知らせ&ご案内"), std::string::npos) << utf8;
  EXPECT_EQ(utf8.find("<"), utf8.find("<タグ>"));
  // A mislabelled part can still be read by hand.
  ASSERT_EQ(BuildDisplay(codec, "Content-Type: text/plain; charset=iso-2022-jp\r\n\r\n\xa4\xa2\r\n",
                         PipelineOptions::Standalone(), fields),
            DisplayError::kNone);
  EXPECT_EQ(BodyTextForCode(codec, fields, kCodeEuc), "あ\r\n");
}

TEST(MimeReader, ShownTextFitsTheBodyBuffer) {
  CoreTextCodec codec;
  std::string big;
  for (int i = 0; i < 150000; ++i) big += "あい\r\n";  // 900,000 bytes of UTF-8 lines
  const std::string message = "Subject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                              "Content-Type: text/plain; charset=utf-8\r\n\r\n" + big +
                              "--b\r\nContent-Type: application/pdf; name=a.pdf\r\n\r\nxyz\r\n--b--\r\n";
  DisplayFields fields;
  ASSERT_EQ(BuildDisplay(codec, message, PipelineOptions::Standalone(), fields), DisplayError::kNone);
  EXPECT_LE(fields.body.size(), kBodyBuffer - 1);
  EXPECT_GT(fields.body.size(), kBodyBuffer - 200);
  // The attachment line survives the cut, after a note that says so.
  EXPECT_NE(fields.body.find("（長すぎるため、ここから先は表示していません）\r\n\r\n添付ファイル：a.pdf (3 バイト)\r\n"),
            std::string::npos);
  EXPECT_LE(BodyTextForCode(codec, fields, kCodeUtf8).size(), kBodyBuffer - 1);
}

double SecondsFor(const std::string& message) {
  CoreTextCodec codec;
  DisplayFields fields;
  const auto start = std::chrono::steady_clock::now();
  BuildDisplay(codec, message, PipelineOptions::Standalone(), fields);
  EXPECT_LE(fields.body.size(), kBodyBuffer - 1);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(MimeReader, HostileFilesAreReadWithinASecond) {
  // Deep nesting.
  std::string nested = "Content-Type: multipart/mixed; boundary=b0\r\n\r\n";
  for (int i = 1; i < 5000; ++i)
    nested += "--b" + std::to_string(i - 1) + "\r\nContent-Type: multipart/mixed; boundary=b" + std::to_string(i) +
              "\r\n\r\n";
  nested += "text\r\n";
  EXPECT_LT(SecondsFor(nested), 1.0);
  // Deep alternatives over a megabyte: the choice of a part looks ahead two
  // levels only.
  std::string alternatives = "Content-Type: multipart/alternative; boundary=a0\r\n\r\n";
  for (int i = 1; i < 40; ++i)
    alternatives += "--a" + std::to_string(i - 1) + "\r\nContent-Type: multipart/alternative; boundary=a" +
                    std::to_string(i) + "\r\n\r\n";
  alternatives += "--a39\r\nContent-Type: text/html\r\n\r\n" + std::string(1 << 20, 'h') + "\r\n";
  EXPECT_LT(SecondsFor(alternatives), 1.0);
  // A part header of megabytes.
  std::string header = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nX-Long: ";
  header += std::string(4 << 20, 'a');
  header += "\r\n" + std::string(20000, ' ') + "\r\n\r\nbody\r\n--b--\r\n";
  EXPECT_LT(SecondsFor(header), 1.0);
  std::string fields = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n";
  for (int i = 0; i < 200000; ++i) fields += "X-F: v\r\n";
  fields += "\r\nbody\r\n--b--\r\n";
  EXPECT_LT(SecondsFor(fields), 1.0);
  // A boundary of 1,000 bytes over megabytes of lines that almost match it.
  const std::string boundary(1000, 'x');
  std::string body = "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n--" + boundary + "\r\n\r\n";
  const std::string near = "--" + boundary.substr(0, 999) + "y\r\n";
  while (body.size() < (4u << 20)) body += near;
  EXPECT_LT(SecondsFor(body), 1.0);
  // Many parts, each a nested alternative.
  std::string many = "Content-Type: multipart/mixed; boundary=m\r\n\r\n";
  for (int i = 0; i < 20000; ++i)
    many += "--m\r\nContent-Type: multipart/alternative; boundary=a\r\n\r\n--a\r\n\r\nx\r\n--a--\r\n";
  EXPECT_LT(SecondsFor(many), 1.0);
  // HTML of unclosed tags and quotes.
  std::string html = "Content-Type: text/html\r\n\r\n";
  for (int i = 0; i < 200000; ++i) html += "<a href=\"x <b '";
  EXPECT_LT(SecondsFor(html), 1.0);
}

TEST(HtmlText, TagsEntitiesAndBlankLines) {
  CoreTextCodec codec;
  const struct {
    std::string html;
    std::string text;
  } cases[] = {
      {"a<br>b<BR/>c", "a\r\nb\r\nc\r\n"},
      {"<p>one</p>\n\n\n<p>two</p>", "one\r\n\r\ntwo\r\n"},
      {"<div>a</div><div>b</div>", "a\r\nb\r\n"},
      {"x<script type=\"a\">if (a < b) {}</script>y<style>p{}</style>z", "xyz\r\n"},
      {"<pre>  a\n   b</pre>", "  a\r\n   b\r\n"},
      {"a   \n  b", "a b\r\n"},
      {"&lt;&gt;&amp;&quot;&apos;&#65;&#x42;&unknown;&", "<>&\"'AB&unknown;&\r\n"},
      {"&#12354;&hellip;", "あ…\r\n"},
      {"<img alt=\"a>b\" src=x>t", "t\r\n"},
      {"a<!-- <p>hidden</p> -->b", "ab\r\n"},
      {"1 < 2", "1 < 2\r\n"},
      {"<br><br><br><br>x<br><br><br><br>", "x\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.html);
    EXPECT_EQ(HtmlToText(codec, c.html), c.text);
  }
}

TEST(MimeText, TransferDecodingGoesAsFarAsTheTextGoes) {
  EXPECT_EQ(DecodeBase64("44GC44GE"), "\xe3\x81\x82\xe3\x81\x84");
  EXPECT_EQ(DecodeBase64("44GC4\r\n4GE"), "\xe3\x81\x82\xe3\x81\x84");
  EXPECT_EQ(DecodeBase64("44GC44"), "\xe3\x81\x82\xe3");     // a group cut short
  EXPECT_EQ(DecodeBase64("QQ==QUFB"), "A");                  // padding ends it
  EXPECT_EQ(DecodeBase64("QUFBQUFB", 4), "AAAA");
  EXPECT_EQ(DecodedSize("QUFB\r\nQUE", "BASE64"), 5u);
  EXPECT_EQ(DecodedSize("QUFBQUE=\r\nQQ", "BASE64"), 5u);
  EXPECT_EQ(DecodeQuotedPrintable("a=3Db=\r\nc=3d=\n=XY=Z"), "a=bc==XY=Z");
  EXPECT_EQ(DecodeQuotedPrintable("abc="), "abc");            // cut short after '='
  EXPECT_EQ(DecodeQuotedPrintable("=E3=81=82", 2), "\xe3\x81");
  EXPECT_EQ(DecodeTransfer("abc", "7bit"), "abc");
}

TEST(MimeText, Charsets) {
  CoreTextCodec codec;
  const struct {
    const char* name;
    std::string bytes;
    std::string sjis;
  } cases[] = {
      {"iso-2022-jp-2", "\x1b$B$\"\x1b(B", "あ"},
      {"Windows-31J", "\x82\xa0", "あ"},
      {"CP932", "\x82\xa0", "あ"},
      {"euc-jp", "\xa4\xa2", "あ"},
      {"utf-8", "\xef\xbb\xbf\xe3\x81\x82", "あ"},
      {"utf-16", std::string("\xfe\xff\x30\x42", 4), "あ"},
      {"utf-16", std::string("\xff\xfe\x42\x30", 4), "あ"},
      {"utf-16", std::string("\x30\x42\x00\x41", 4), "あA"},      // no mark: big-endian
      {"utf-16", std::string("A\0B\0", 4), "AB"},                // plainly little-endian
      {"utf-16le", std::string("\x42\x30", 2), "あ"},
      {"UTF-16BE", std::string("\x30\x42\x00", 3), "あ"},
      {"us-ascii", "abc\r\ndef", "abc\r\ndef"},
      {"iso-8859-1", "caf\xe9 \xa7", "caf? §"},
      {"windows-1252", "\x93x\x94 \x80", "“x” ?"},
      {"x-unknown", "\xe3\x81\x82", "あ"},
      {"utf-7", "+MEI-", "あ"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out;
    EXPECT_TRUE(ConvertToSjis(codec, c.bytes, CharsetOf(c.name), out));
    EXPECT_EQ(out, c.sjis);
  }
  testing::MissingTextCodec missing;
  std::string out;
  EXPECT_FALSE(ConvertToSjis(missing, "\xe3\x81\x82", Charset::kUtf8, out));
  EXPECT_TRUE(ConvertToSjis(missing, "\x82\xa0", Charset::kSjis, out));
  EXPECT_EQ(out, "あ");
  EXPECT_TRUE(ConvertToSjis(missing, "plain", Charset::kUtf8, out));  // ASCII needs no conversion
  EXPECT_EQ(out, "plain");
}

}  // namespace
}  // namespace tidewell
