// Base64_Coding, Quoted_Coding, ToCrLf and FilePut.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "inkwell2/codec.h"

using inkwell2::base64_coding;
using inkwell2::quoted_coding;

namespace {

struct CodingCase {
  const char* what;
  int op;
  std::string in;
  std::string out;
  int result;
};

class Base64Table : public ::testing::TestWithParam<CodingCase> {};

TEST_P(Base64Table, Codes) {
  const CodingCase& c = GetParam();
  int result = -12345;
  EXPECT_EQ(base64_coding(c.in, c.op, nullptr, &result), c.out) << c.what;
  EXPECT_EQ(result, c.result) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Ops, Base64Table,
    ::testing::Values(
        CodingCase{"three bytes", 1, "abc", "YWJj", 4}, CodingCase{"two bytes pad one", 1, "ab", "YWI=", 4},
        CodingCase{"one byte pads two", 1, "a", "YQ==", 4}, CodingCase{"empty", 1, "", "", 0},
        CodingCase{"last six bits zero", 1, "\xff\xff\xc0", "///A", 4},
        CodingCase{"op 2 encodes the JIS form", 2, "\x88\x9f", "GyRCMCEbKEI=", 12},
        CodingCase{"decode", 11, "YWJj", "abc", 3}, CodingCase{"decode with pad", 11, "YQ==", "a", 1},
        CodingCase{"CR LF anywhere is removed", 11, "Y\r\nW\nJ\rj", "abc", 3},
        CodingCase{"incomplete group completed with zeros", 11, "YWJjZA", "abcd", 4},
        CodingCase{"foreign characters count as zero, in place", 11, "Y W!", "`\x05\x80", 3},
        CodingCase{"decoded zero byte ends the text", 11, "YQBi", "a", 1},
        CodingCase{"op 12 converts JIS to Shift_JIS", 12, "GyRCMCEbKEI=", "\x88\x9f", 2},
        CodingCase{"op 13 decodes", 13, "YWJj", "abc", 3}, CodingCase{"op 14 decodes", 14, "YWJj", "abc", 3},
        CodingCase{"unknown op 0", 0, "YWJj", "", 0}, CodingCase{"unknown op 4", 4, "YWJj", "", 0},
        CodingCase{"unknown op 15", 15, "YWJj", "", 0}));

TEST(Base64, EncodesAllByteValuesAndDecodesThemBack) {
  std::string bytes;
  for (int i = 1; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  for (std::size_t len = 0; len <= bytes.size(); len += 7) {
    const std::string part = bytes.substr(0, len);
    const std::string enc = base64_coding(part, 1);
    EXPECT_EQ(enc.size(), (len + 2) / 3 * 4);
    EXPECT_EQ(base64_coding(enc, 11), part) << len;
  }
  EXPECT_EQ(base64_coding(std::string(60, 'x'), 1).size(), 80u);
  EXPECT_EQ(base64_coding(std::string(60, 'x'), 1).find('\r'), std::string::npos);
}

class TempDir : public ::testing::Test {
 protected:
  std::string Path(const char* name) {
    return std::string(TIDEWELL_BINARY_DIR) + "/inkwell2_coding_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + name;
  }
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
  }
};

using Base64File = TempDir;

TEST_F(Base64File, Op3BreaksLinesAfter76Characters) {
  const std::string file = Path("60");
  Write(file, std::string(60, 'x'));
  int result = 0;
  const std::string out = base64_coding("any", 3, file.c_str(), &result);
  const std::string line = base64_coding(std::string(60, 'x'), 1);
  EXPECT_EQ(out, line.substr(0, 76) + "\r\n" + line.substr(76));
  EXPECT_EQ(result, 82);

  // 114 bytes give 152 characters: exactly two lines, no line end after the last.
  Write(file, std::string(114, 'y'));
  const std::string two = base64_coding(std::string(100, 'a'), 3, file.c_str(), &result);
  EXPECT_EQ(two.size(), 154u);
  EXPECT_EQ(two.substr(76, 2), "\r\n");
  EXPECT_NE(two.substr(152), "\r\n");
}

TEST_F(Base64File, Op3StopsAtZeroByteAndAtTheWorkingBuffer) {
  const std::string file = Path("z");
  Write(file, std::string("abc\0def", 7));
  EXPECT_EQ(base64_coding("x", 3, file.c_str()), "YWJj");
  // A file longer than the working buffer (2n + 1000) is read only that far,
  // and its encoding then does not fit the bound: nothing is delivered.
  Write(file, std::string(5000, 'q'));
  int result = -1;
  EXPECT_EQ(base64_coding("x", 3, file.c_str(), &result), "");
  EXPECT_EQ(result, 0);
}

TEST_F(Base64File, Op3WithoutFileGivesNothing) {
  int result = -1;
  EXPECT_EQ(base64_coding("abc", 3, Path("missing").c_str(), &result), "");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(base64_coding("abc", 3, nullptr, &result), "");
  EXPECT_EQ(result, 0);
}

class QuotedTable : public ::testing::TestWithParam<CodingCase> {};

TEST_P(QuotedTable, Codes) {
  const CodingCase& c = GetParam();
  int result = -12345;
  EXPECT_EQ(quoted_coding(c.in, c.op, nullptr, &result), c.out) << c.what;
  EXPECT_EQ(result, c.result) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Ops, QuotedTable,
    ::testing::Values(
        CodingCase{"equals sign escaped", 1, "a=b", "a=3Db", 5},
        CodingCase{"space before line end", 1, "a \r\nb", "a=20\r\nb", 7},
        CodingCase{"space elsewhere kept", 1, "a b ", "a b ", 4},
        CodingCase{"lone LF", 1, "\n", "\r\n", 2}, CodingCase{"LF LF is one line end", 1, "a\n\nb", "a\r\nb", 4},
        CodingCase{"CR CR is two", 1, "a\r\rb", "a\r\n\r\nb", 6}, CodingCase{"tab", 1, "\t", "=09", 3},
        CodingCase{"8-bit and DEL", 1, "\x88\x7f", "=88=7F", 6},
        CodingCase{"op 2 encodes the JIS form", 2, "\x88\x9f", "=1B$B0!=1B(B", 12},
        CodingCase{"soft break", 11, "a=\r\nb", "ab", 2}, CodingCase{"soft break with LF", 11, "a=\nb", "ab", 2},
        CodingCase{"lower-case hex", 11, "a=3db", "a=b", 3},
        CodingCase{"space before line end dropped", 11, "a \r\nb", "ab", 2},
        CodingCase{"hard line end kept", 11, "a\r\nb", "a\r\nb", 4},
        CodingCase{"bad hex digits count as zero", 11, "=G1x", "\x01x", 2},
        CodingCase{"escape cut off by the end kept", 11, "ab=4", "ab=4", 4},
        CodingCase{"decoded zero ends the text, the result counts every byte", 11, "a=00b", "a", 3},
        CodingCase{"decoded zero first", 11, "=00=41=42=43", "", 4},
        CodingCase{"op 12 converts JIS", 12, "=1B$B0!=1B(B", "\x88\x9f", 2},
        CodingCase{"unknown op", 5, "abc", "", 0}, CodingCase{"unknown op 14", 14, "abc", "", 0}));

TEST(Quoted, SoftLineBreaksKeepLinesShortAndEscapesWhole) {
  const std::string out = quoted_coding(std::string(200, 'a'), 1);
  EXPECT_EQ(out, std::string(72, 'a') + "=\r\n" + std::string(73, 'a') + "=\r\n" + std::string(55, 'a'));

  // Escapes near the end of a line move to the next line whole.
  const std::string bytes(100, '\xe9');
  const std::string esc = quoted_coding(bytes, 1);
  std::size_t start = 0;
  while (start < esc.size()) {
    std::size_t end = esc.find("\r\n", start);
    if (end == std::string::npos) end = esc.size();
    const std::string line = esc.substr(start, end - start);
    EXPECT_LE(line.size(), 74u) << line;
    for (std::size_t i = 0; i < line.size(); ++i)
      if (line[i] == '=' && i + 1 < line.size()) EXPECT_NE(line[i + 1], '\r');
    start = end + 2;
  }
  EXPECT_EQ(quoted_coding(esc, 11), bytes);
}

TEST(Quoted, EncodeDecodeRoundTripsText) {
  std::string text;
  for (int i = 1; i < 256; ++i)
    if (i != '\r' && i != '\n') text.push_back(static_cast<char>(i));
  text += "\r\nnext line \r\nend";
  EXPECT_EQ(quoted_coding(quoted_coding(text, 1), 11), text);
}

using QuotedFile = TempDir;

TEST_F(QuotedFile, Op3EscapesAsManyFileBytesAsSrcHasCharacters) {
  const std::string file = Path("in");
  Write(file, std::string("A\r\n\0zzzz", 8));
  int result = 0;
  EXPECT_EQ(quoted_coding("1234", 3, file.c_str(), &result), "=41=0D=0A=00");
  EXPECT_EQ(result, 12);
  EXPECT_EQ(quoted_coding("123", 3, Path("none").c_str(), &result), "");
  EXPECT_EQ(result, 0);
}

TEST_F(QuotedFile, Op13WritesEveryDecodedByteAndReturnsTheName) {
  const std::string file = Path("out");
  int result = 0;
  EXPECT_EQ(quoted_coding("a=00b=\r\nc", 13, file.c_str(), &result), file);
  EXPECT_EQ(result, static_cast<int>(file.size()));
  EXPECT_EQ(Read(file), std::string("a\0bc", 4));
  // A file that cannot be created: nothing reported as written.
  const std::string bad = Path("no/such/dir/x");
  EXPECT_EQ(quoted_coding("abc", 13, bad.c_str(), &result), "");
  EXPECT_EQ(result, 0);
}

TEST(ToCrLf, MakesEveryLineEndCrLf) {
  const struct {
    std::string in, out;
  } cases[] = {{"a\n\nb", "a\r\nb"}, {"a\r\n\r\nb", "a\r\n\r\nb"}, {"a\rb", "a\r\nb"},
               {"a\r\rb", "a\r\n\r\nb"}, {"\n", "\r\n"}, {"plain", "plain"}};
  for (const auto& c : cases) {
    int result = 0;
    EXPECT_EQ(inkwell2::to_crlf(c.in, &result), c.out) << c.in;
    EXPECT_EQ(result, static_cast<int>(c.out.size()));
  }
  int result = 0;
  EXPECT_EQ(inkwell2::to_crlf("", &result), "");
  EXPECT_EQ(result, -1);
}

using FilePut = TempDir;

TEST_F(FilePut, ReplacesTheWholeFile) {
  const std::string file = Path("f");
  Write(file, "a much longer old content");
  EXPECT_EQ(inkwell2::file_put("new", file.c_str()), 1);
  EXPECT_EQ(Read(file), "new");
  EXPECT_EQ(inkwell2::file_put("", file.c_str()), 1);
  EXPECT_EQ(Read(file), "");
  EXPECT_EQ(inkwell2::file_put("x", Path("missing/dir/f").c_str()), 0);
  EXPECT_EQ(inkwell2::file_put("x", nullptr), 0);
}

TEST(Bounds, EncodersDropWhatWouldNotFitTheCallersBuffer) {
  // Base64 op 2 of alternating kanji and letters: 3x from code 1, 4/3 from Base64.
  std::string mixed;
  for (int i = 0; i < 2000; ++i) mixed += "\x88\x9f" "a";
  int result = -1;
  EXPECT_EQ(base64_coding(mixed, 2, nullptr, &result), "");
  EXPECT_EQ(result, 0);
  // Quoted-printable has room for every byte escaped (4n + 1000).
  const std::string high(3000, '\xff');
  EXPECT_EQ(quoted_coding(high, 1, nullptr, &result).size(), 9000u + 3 * (9000 / 72 - 1));
  EXPECT_LE(static_cast<std::size_t>(result) + 1, inkwell2::output_limit(high.size(), 4));
}

}  // namespace
