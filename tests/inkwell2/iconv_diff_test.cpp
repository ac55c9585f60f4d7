// Differential test against glibc iconv: Japanese text that iconv writes as
// ISO-2022-JP, EUC-JP and UTF-8 must come back from codes 2, 4 and 6 as the
// bytes iconv gives for CP932, and code 1 output must decode with iconv.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "inkwell2/codec.h"

using inkwell2::code_conv;

namespace {

// Converts with iconv; false when iconv refuses any part of the text.
bool Iconv(const char* to, const char* from, const std::string& in, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string buf(in.size() * 4 + 16, '\0');
  char* ip = const_cast<char*>(in.data());
  size_t il = in.size();
  char* op = buf.data();
  size_t ol = buf.size();
  bool ok = iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1) &&
            iconv(cd, nullptr, nullptr, &op, &ol) != static_cast<size_t>(-1);
  iconv_close(cd);
  out.assign(buf.data(), buf.size() - ol);
  return ok;
}

// Every JIS X 0208 character that iconv maps both ways.
TEST(IconvDifferential, EveryJisX0208CharacterAgreesWithIconv) {
  int compared = 0;
  for (int j1 = 0x21; j1 <= 0x74; ++j1) {
    for (int j2 = 0x21; j2 <= 0x7e; ++j2) {
      const std::string jis = std::string("\x1b$B") + char(j1) + char(j2) + "\x1b(B";
      std::string utf8, cp932, euc;
      if (!Iconv("UTF-8", "ISO-2022-JP", jis, utf8) || !Iconv("CP932", "UTF-8", utf8, cp932) ||
          !Iconv("EUC-JP", "UTF-8", utf8, euc))
        continue;
      ++compared;
      ASSERT_EQ(code_conv(jis, 2), cp932) << std::hex << j1 << " " << j2;
      ASSERT_EQ(code_conv(euc, 4), cp932) << std::hex << j1 << " " << j2;
      ASSERT_EQ(code_conv(utf8, 6), cp932) << std::hex << j1 << " " << j2;
      std::string back;
      ASSERT_TRUE(Iconv("UTF-8", "ISO-2022-JP", code_conv(cp932, 1), back)) << std::hex << j1 << " " << j2;
      ASSERT_EQ(back, utf8);
      std::string again;
      ASSERT_TRUE(Iconv("CP932", "UTF-8", code_conv(cp932, 61), again));
      ASSERT_EQ(again, cp932);
    }
  }
  // Kana, kanji of both levels and the symbol rows: nearly all of the 6879.
  EXPECT_GT(compared, 6800);
}

const char kMail[] =
    u8"お世話になっております。株式会社潮見の山田です。\r\n"
    u8"先日ご依頼いただいた見積書（第３版）を添付いたします。\r\n"
    u8"ご確認のほど、よろしくお願い申し上げます。\r\n"
    u8"\r\n"
    u8"■日時：２０２４年５月１日（水）１４時～\r\n"
    u8"■場所：本社３階 会議室Ａ\r\n"
    u8"※変更がある場合は、前日までにご連絡ください。\r\n"
    u8"-- \r\n"
    u8"山田 太郎 <yamada@example.jp>\r\n";

TEST(IconvDifferential, MailTextAgreesWithIconv) {
  // ISO-2022-JP and EUC-JP have no code for U+FF5E; mail writes the JIS
  // wave dash U+301C there, which iconv's CP932 also maps to 0x8160.
  std::string text = kMail;
  const std::string tilde = u8"～";
  text.replace(text.find(tilde), tilde.size(), u8"〜");
  std::string jis, euc, cp932;
  ASSERT_TRUE(Iconv("ISO-2022-JP", "UTF-8", text, jis));
  ASSERT_TRUE(Iconv("EUC-JP", "UTF-8", text, euc));
  ASSERT_TRUE(Iconv("CP932", "UTF-8", text, cp932));
  ASSERT_NE(cp932.find("\x81\x60"), std::string::npos);

  EXPECT_EQ(code_conv(jis, 2), cp932);
  EXPECT_EQ(code_conv(euc, 4), cp932);
  EXPECT_EQ(code_conv(text, 6), cp932);
  std::string cp932_tilde;
  ASSERT_TRUE(Iconv("CP932", "UTF-8", kMail, cp932_tilde));
  EXPECT_EQ(code_conv(kMail, 6), cp932_tilde);

  std::string back;
  ASSERT_TRUE(Iconv("UTF-8", "ISO-2022-JP", code_conv(cp932, 1), back));
  EXPECT_EQ(back, text);
}

}  // namespace
