// Code_Conv: the arithmetic codes 1-4 byte for byte, the Unicode codes
// through the platform backend, the output bound and hostile input.
#include <gtest/gtest.h>

#include <string>

#include "inkwell2/codec.h"

using inkwell2::code_conv;

namespace {

const std::string kEsc2 = "\x1b$B";  // enter JIS X 0208
const std::string kEsc1 = "\x1b(B";  // back to ASCII

struct ConvCase {
  const char* what;
  int code;
  std::string in;
  std::string out;
  int result;
};

class CodeConvTable : public ::testing::TestWithParam<ConvCase> {};

TEST_P(CodeConvTable, GivesBytesAndResult) {
  const ConvCase& c = GetParam();
  int result = -12345;
  EXPECT_EQ(code_conv(c.in, c.code, &result), c.out) << c.what;
  EXPECT_EQ(result, c.result) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    ArithmeticCodes, CodeConvTable,
    ::testing::Values(
        // code 1, Shift_JIS -> ISO-2022-JP
        ConvCase{"ascii unchanged, line ends made CR LF", 1, "ab\nc\rd\r\ne", "ab\r\nc\r\nd\r\ne", 11},
        ConvCase{"kanji then letter", 1, "\x88\x9f" "a", kEsc2 + "\x30\x21" + kEsc1 + "a", 9},
        ConvCase{"text ending in kanji closes the mode", 1, "a\x82\xa0", "a" + kEsc2 + "\x24\x22" + kEsc1, 9},
        ConvCase{"one escape for a run of kanji", 1, "\x88\x9f\x88\x9f", kEsc2 + "\x30\x21\x30\x21" + kEsc1, 10},
        ConvCase{"half-width katakana copied in ascii mode", 1, "\xb1", "\xb1", 1},
        ConvCase{"katakana after kanji leaves the mode first", 1, "\x88\x9f\xb1", kEsc2 + "\x30\x21" + kEsc1 + "\xb1", 9},
        ConvCase{"line end inside kanji run leaves the mode", 1, "\x88\x9f\n\x88\x9f",
                 kEsc2 + "\x30\x21" + kEsc1 + "\r\n" + kEsc2 + "\x30\x21" + kEsc1, 18},
        ConvCase{"last kanji of JIS X 0208 (0xEA 0xA4)", 1, "\xea\xa4", kEsc2 + "\x74\x26" + kEsc1, 8},
        ConvCase{"trail byte 0x80 and 0x9e", 1, "\x81\x80\x81\x9e", kEsc2 + "\x21\x60\x21\x7e" + kEsc1, 10},
        ConvCase{"user-defined area has no JIS code: geta mark", 1, "\xf0\x40" "a", kEsc2 + "\x22\x2e" + kEsc1 + "a", 9},
        ConvCase{"lead byte before a line end keeps the line end", 1, "\x88\r\nb", "\r\nb", 3},
        ConvCase{"lead byte at the very end is dropped", 1, "ab\x88", "ab", 2},
        // code 2, ISO-2022-JP -> Shift_JIS
        ConvCase{"kanji pair", 2, kEsc2 + "\x30\x21" + kEsc1, "\x88\x9f", 2},
        ConvCase{"hiragana a", 2, kEsc2 + "\x24\x22", "\x82\xa0", 2},
        ConvCase{"ESC $ @ enters two-byte mode", 2, "\x1b$@\x30\x21", "\x88\x9f", 2},
        ConvCase{"ESC ( J leaves it", 2, kEsc2 + "\x30\x21\x1b(J\x30\x21", "\x88\x9f\x30\x21", 4},
        ConvCase{"mode survives CR LF", 2, kEsc2 + "\x30\x21\r\n\x30\x21" + kEsc1, "\x88\x9f\r\n\x88\x9f", 6},
        ConvCase{"lone LF and lone CR become CR LF", 2, "a\nb\rc\r\nd", "a\r\nb\r\nc\r\nd", 10},
        ConvCase{"lone JIS byte before a space is dropped", 2, kEsc2 + "\x30 \x30\x21", " \x88\x9f", 3},
        ConvCase{"lone JIS byte at the end is dropped", 2, kEsc2 + "\x30\x21\x30", "\x88\x9f", 2},
        ConvCase{"8-bit byte copied in two-byte mode", 2, kEsc2 + "\xb1\x30\x21", "\xb1\x88\x9f", 3},
        ConvCase{"even first byte (row 2) and last row", 2, kEsc2 + "\x22\x21\x74\x26", "\x81\x9f\xea\xa4", 4},
        ConvCase{"ESC at the end steps over what is there", 2, "ab\x1b$", "ab", 2},
        ConvCase{"unknown escape swallows three bytes", 2, "\x1b$(Dx", "Dx", 2},
        // code 3, EUC-JP -> ISO-2022-JP
        ConvCase{"kanji", 3, "\xb0\xa1" "a", kEsc2 + "\x30\x21" + kEsc1 + "a", 9},
        ConvCase{"line end after kanji", 3, "\xb0\xa1\n", kEsc2 + "\x30\x21" + kEsc1 + "\r\n", 10},
        ConvCase{"half-width katakana becomes full-width", 3, "\x8e\xb1\x8e\xdf", kEsc2 + "\x25\x22\x21\x2c" + kEsc1, 10},
        ConvCase{"JIS X 0212 character becomes geta mark", 3, "\x8f\xb0\xa1", kEsc2 + "\x22\x2e" + kEsc1, 8},
        ConvCase{"pair byte without partner dropped", 3, "\xb0\r\na", "\r\na", 3},
        ConvCase{"broken code set 2 dropped", 3, "x\x8e", "x", 1},
        // code 4, EUC-JP -> Shift_JIS
        ConvCase{"kanji", 4, "\xb0\xa1", "\x88\x9f", 2},
        ConvCase{"mixed text", 4, "a\xa4\xa2 b\n", "a\x82\xa0 b\r\n", 7},
        ConvCase{"half-width katakana arrives full-width", 4, "\x8e\xb1", "\x83\x41", 2},
        // codes outside the table
        ConvCase{"code 0", 0, "abc", "", 0}, ConvCase{"code 8", 8, "abc", "", 0},
        ConvCase{"code 50", 50, "abc", "", 0}, ConvCase{"code -1", -1, "abc", "", 0},
        // empty input
        ConvCase{"empty code 1", 1, "", "", 0}, ConvCase{"empty code 2", 2, "", "", 0}));

// Every JIS X 0208 position survives code 1 and code 2 in both directions.
TEST(CodeConv, ShiftJisAndJisRoundTripOverAllRows) {
  for (int j1 = 0x21; j1 <= 0x7e; ++j1) {
    for (int j2 = 0x21; j2 <= 0x7e; ++j2) {
      const std::string jis = kEsc2 + std::string{char(j1), char(j2)} + kEsc1;
      const std::string sjis = code_conv(jis, 2);
      ASSERT_EQ(sjis.size(), 2u) << j1 << "," << j2;
      EXPECT_TRUE(inkwell2::is_sjis_lead(static_cast<unsigned char>(sjis[0])));
      EXPECT_TRUE(inkwell2::is_sjis_trail(static_cast<unsigned char>(sjis[1])));
      ASSERT_EQ(code_conv(sjis, 1), jis) << j1 << "," << j2;
    }
  }
}

// The 3x growth of codes 1 and 3 is kept as long as it fits the 2n + 1000
// bound of the export; past that the result is dropped, never cut.
TEST(CodeConv, GrowthBeyondTheBufferBoundIsDropped) {
  std::string small, big;
  for (int i = 0; i < 100; ++i) small += "\x88\x9f" "a";
  for (int i = 0; i < 1000; ++i) big += "\x88\x9f" "a";
  int result = -1;
  const std::string fits = code_conv(small, 1, &result);
  EXPECT_EQ(fits.size(), 900u);  // 3 bytes in, 9 out
  EXPECT_EQ(result, 900);
  EXPECT_LE(fits.size() + 1, inkwell2::output_limit(small.size()));

  EXPECT_EQ(code_conv(big, 1, &result), "");
  EXPECT_EQ(result, 0);

  std::string euc;
  for (int i = 0; i < 1000; ++i) euc += "\xb0\xa1" "a";
  EXPECT_EQ(code_conv(euc, 3, &result), "");
  EXPECT_EQ(result, 0);
  // Code 4 ends in Shift_JIS, which is never longer: it is not dropped.
  EXPECT_EQ(code_conv(euc, 4, &result).size(), 3000u);
}

struct UnicodeCase {
  const char* what;
  int code;
  std::string in;
  std::string out;
  int result;
};

class UnicodeTable : public ::testing::TestWithParam<UnicodeCase> {};

TEST_P(UnicodeTable, ConvertsThroughThePlatform) {
  const UnicodeCase& c = GetParam();
  int result = -12345;
  EXPECT_EQ(code_conv(c.in, c.code, &result), c.out) << c.what;
  EXPECT_EQ(result, c.result) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    UnicodeCodes, UnicodeTable,
    ::testing::Values(
        UnicodeCase{"utf-8 kanji and kana", 6, "\xe4\xba\x9c\xe3\x81\x82x", "\x88\x9f\x82\xa0x", 6},
        UnicodeCase{"utf-8 half-width katakana", 6, "\xef\xbd\xb1", "\xb1", 2},
        UnicodeCase{"utf-8 empty gives only the terminator", 6, "", "", 1},
        UnicodeCase{"utf-8 without a Shift_JIS code becomes ?", 6, "\xf0\x9f\x98\x80", "??", 3},
        UnicodeCase{"utf-8 broken sequence becomes ?", 6, "a\xe4\xba" "b", "a?b", 4},
        UnicodeCase{"utf-8 lone continuation byte", 6, "\x80" "a", "?a", 3},
        UnicodeCase{"utf-7 kanji", 5, "+TpwwQg-x", "\x88\x9f\x82\xa0x", 6},
        UnicodeCase{"utf-16 kanji, kana and U+3000", 7, std::string("\x9c\x4e\x42\x30\x00\x30", 6),
                    "\x88\x9f\x82\xa0\x81\x40", 7},
        UnicodeCase{"utf-16 ends at the first zero unit", 7, std::string("a\0b\0\0\0c\0", 8), "ab", 3},
        UnicodeCase{"utf-16 odd last byte ignored", 7, std::string("a\0b", 3), "a", 2},
        UnicodeCase{"to utf-8", 61, "\x88\x9f\x82\xa0x", "\xe4\xba\x9c\xe3\x81\x82x", 8},
        UnicodeCase{"to utf-8 half-width katakana", 61, "\xb1", "\xef\xbd\xb1", 4},
        UnicodeCase{"to utf-7", 51, "\x88\x9f\x82\xa0x", "+TpwwQg-x", 10},
        UnicodeCase{"to utf-16 counts units", 71, "\x88\x9f" "a", std::string("\x9c\x4e\x61\x00", 4), 3},
        UnicodeCase{"to utf-16 keeps zero high bytes", 71, "ab", std::string("a\0b\0", 4), 3}));

TEST(CodeConv, UnicodeOutputPastTheBoundIsDropped) {
  // Half-width katakana grows three times in UTF-8.
  const std::string kana(2000, '\xb1');
  int result = -1;
  EXPECT_EQ(code_conv(kana, 61, &result), "");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(code_conv(std::string(500, '\xb1'), 61, &result).size(), 1500u);
  EXPECT_EQ(result, 1501);
}

TEST(CodeConv, LongUnicodeTextIsConvertedWhole) {
  // More than the 100,000 units a fixed work area would hold.
  std::string utf8;
  for (int i = 0; i < 120000; ++i) utf8 += "\xe3\x81\x82";
  int result = 0;
  const std::string sjis = code_conv(utf8, 6, &result);
  ASSERT_EQ(sjis.size(), 240000u);
  EXPECT_EQ(sjis.substr(239998), "\x82\xa0");
  EXPECT_EQ(result, 240001);
}

// Hostile bytes never crash any code and the output stays within the bound.
TEST(CodeConv, ArbitraryBytesStayInBounds) {
  std::string all;
  for (int round = 0; round < 3; ++round)
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b * (round + 1) + round));
  all += "\x1b$B\x1b";
  for (int code : {1, 2, 3, 4, 5, 6, 7, 51, 61, 71}) {
    for (std::size_t cut = 0; cut <= all.size(); cut += 37) {
      const std::string_view in(all.data(), cut);
      const std::string out = code_conv(in, code);
      EXPECT_LE(out.size() + 1, inkwell2::output_limit(in.size())) << code;
    }
  }
}

}  // namespace
