// GetHeader and Source_Split.
#include <gtest/gtest.h>

#include <string>

#include "inkwell2/codec.h"

using inkwell2::get_header;
using inkwell2::source_split;

namespace {

struct HeaderCase {
  const char* what;
  std::string text;
  std::string name;
  int max;
  std::string value;
};

class GetHeaderTable : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(GetHeaderTable, FindsTheValue) {
  const HeaderCase& c = GetParam();
  EXPECT_EQ(get_header(c.text, c.name, c.max), c.value) << c.what;
}

const std::string kBlock = "+OK\r\nFrom: a@b\r\nSubject: hello\r\nTo: c@d\r\n\r\n.\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, GetHeaderTable,
    ::testing::Values(
        HeaderCase{"any case of the name", kBlock, "subject", 1024, "hello"},
        HeaderCase{"upper-case field", "x\r\nSUBJECT: x\r\n", "subject", 1024, "x"},
        HeaderCase{"longer field name is another field", "x\r\nSubject-Line: x\r\n", "subject", 1024, ""},
        HeaderCase{"first line never examined", "Subject: first\r\nX: y\r\n", "subject", 1024, ""},
        HeaderCase{"folded lines joined without space", "x\r\nSubject: =?a?=\r\n =?b?=\r\n", "subject", 1024,
                   "=?a?==?b?="},
        HeaderCase{"tab and several blanks of a fold dropped", "x\r\nSubject: a\r\n\t  b\r\nX: 1\r\n", "subject",
                   1024, "ab"},
        HeaderCase{"last field before blank line and dot", "x\r\nA: 1\r\nSubject: v\r\n\r\n.\r\n", "subject", 1024, "v"},
        HeaderCase{"no space after colon", "x\r\nSubject:abc\r\n", "subject", 1024, "abc"},
        HeaderCase{"second blank kept", "x\r\nSubject:  abc\r\n", "subject", 1024, " abc"},
        HeaderCase{"blank before colon", "x\r\nSubject : abc\r\n", "subject", 1024, " abc"},
        HeaderCase{"tab separator", "x\r\nSubject\tabc\r\n", "subject", 1024, "abc"},
        HeaderCase{"max cuts exactly", kBlock, "subject", 3, "hel"},
        HeaderCase{"max zero", kBlock, "subject", 0, ""},
        HeaderCase{"first match in the text wins", "x\r\nSubject: 1\r\nSubject: 2\r\n", "subject", 1024, "1"},
        HeaderCase{"body searched when header lacks it", "x\r\nA: 1\r\n\r\nSubject: body\r\n", "subject", 1024,
                   "body"},
        HeaderCase{"value runs to the end of the text", "x\r\nSubject: end", "subject", 1024, "end"},
        HeaderCase{"name at the very end", "x\r\nSubject", "subject", 1024, ""},
        HeaderCase{"fold at the very end", "x\r\nSubject: a\r\n", "subject", 1024, "a"},
        HeaderCase{"missing field", kBlock, "cc", 1024, ""},
        HeaderCase{"empty name finds nothing", kBlock, "", 1024, ""},
        HeaderCase{"name holding a line end (found by fuzzing)", "x\r\nJJ:\r\n\r\n\tv", "\r\n", 1024, ""},
        HeaderCase{"name running past a fold", "x\r\nA\r\n b: v\r\n", "a\r\n b", 1024, ""}));

const std::string kMultipart =
    "From: a@b\r\n"
    "Content-Type: multipart/mixed; boundary=\"XYZ\"\r\n"
    "\r\n"
    "This is a multi-part message in MIME format.\r\n"
    "\r\n"
    "--XYZ\r\n"
    "Content-Type: text/plain\r\n"
    "\r\n"
    "first body\r\n"
    "--XYZ\r\n"
    "Content-Type: text/html\r\n"
    "\r\n"
    "<p>second</p>\r\n"
    "--XYZ--\r\n";

struct SplitCase {
  const char* what;
  std::string text;
  std::string boundary;
  int n, mode;
  std::string out;
  int result;
};

class SourceSplitTable : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SourceSplitTable, Splits) {
  const SplitCase& c = GetParam();
  int result = -12345;
  bool touched = false;
  EXPECT_EQ(source_split(c.text, c.boundary, c.n, c.mode, &result, &touched), c.out) << c.what;
  EXPECT_EQ(result, c.result) << c.what;
  EXPECT_TRUE(touched) << c.what;
}

const std::string kPlain = "A: b\r\nSubject: a text long enough to be split\r\n\r\nbody";

INSTANTIATE_TEST_SUITE_P(
    Cases, SourceSplitTable,
    ::testing::Values(
        SplitCase{"mode 2 body", kPlain, "", 1, 2, "body", 999},
        SplitCase{"mode 2 header", kPlain, "", 2, 2, "A: b\r\nSubject: a text long enough to be split", 999},
        SplitCase{"mode 2 other n", kPlain, "", 3, 2, "", 999},
        SplitCase{"mode 2 without blank line", std::string(50, 'x'), "", 1, 2, "", 999},
        SplitCase{"part 0 is the body alone", kMultipart, "XYZ", 0, 1, "first body", 0},
        SplitCase{"part 1 keeps its header lines", kMultipart, "XYZ", 1, 1,
                  "Content-Type: text/html\r\n\r\n<p>second</p>", 1},
        SplitCase{"part past the closing delimiter", kMultipart, "XYZ", 2, 1, "", 1},
        SplitCase{"part far past the end", kMultipart, "XYZ", 5, 1, "", 2},
        SplitCase{"no multipart marker", kPlain + std::string(20, 'x'), "XYZ", 0, 1, "", -1},
        SplitCase{"boundary absent", kMultipart, "QQQ", 0, 1, "", -1},
        SplitCase{"empty boundary", kMultipart, "", 0, 1, "", -1},
        SplitCase{"part content shorter than four bytes", 
                  "This is a multi-part message in MIME format.\r\n--B\r\n\r\n--B\r\nx\r\n--B--", "B", 0, 1, "", 0},
        SplitCase{"part 0 without blank line after it",
                  "This is a multi-part message in MIME format.\r\n--B\r\nContent-Type: x", "B", 0, 1, "", -1},
        SplitCase{"unknown mode", kMultipart, "XYZ", 0, 3, "", -1},
        SplitCase{"negative part", kMultipart, "XYZ", -1, 1, "", -1}));

TEST(SourceSplit, ShortTextLeavesTheBufferAlone) {
  for (int mode : {1, 2, 7}) {
    int result = 0;
    bool touched = true;
    EXPECT_EQ(source_split(std::string(44, 'x'), "B", 0, mode, &result, &touched), "");
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(touched);
  }
  int result = 0;
  source_split(std::string(45, 'x'), "B", 1, 2, &result);
  EXPECT_EQ(result, 999);
}

}  // namespace
