// Dialog template fonts: read from both template forms, replaced in the
// extended form with the items carried over whole and still aligned.
#include <gtest/gtest.h>

#include <string>

#include "tidewell/settings/dialog_template.h"

namespace tidewell {
namespace {

void Word(std::string& s, unsigned v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Dword(std::string& s, unsigned v) {
  Word(s, v & 0xFFFF);
  Word(s, v >> 16);
}
void Text(std::string& s, const std::u16string& t) {
  for (char16_t c : t) Word(s, c);
  Word(s, 0);
}
void Align(std::string& s) {
  while (s.size() % 4) s.push_back('\0');
}

// One extended template with a title, a font and one item (an edit, id 1001).
std::string ExTemplate(const std::u16string& title, const std::u16string& face, unsigned point,
                       std::string* item_bytes) {
  std::string s;
  Word(s, 1);
  Word(s, 0xFFFF);
  Dword(s, 0);           // help id
  Dword(s, 0);           // ex style
  Dword(s, 0x40 | 0x40000000u);  // DS_SETFONT | WS_CHILD
  Word(s, 1);            // items
  Word(s, 0); Word(s, 0); Word(s, 210); Word(s, 154);
  Word(s, 0);            // no menu
  Word(s, 0);            // default class
  Text(s, title);
  Word(s, point);
  Word(s, 400);
  s.push_back(0);
  s.push_back(static_cast<char>(128));  // SHIFTJIS_CHARSET
  Text(s, face);
  Align(s);
  std::string item;
  Dword(item, 0);             // help id
  Dword(item, 0);             // ex style
  Dword(item, 0x50010080u);   // style
  Word(item, 22); Word(item, 10); Word(item, 40); Word(item, 13);
  Dword(item, 1001);
  Word(item, 0xFFFF);
  Word(item, 0x0081);         // edit
  Text(item, u"");
  Word(item, 0);              // no creation data
  *item_bytes = item;
  return s + item;
}

TEST(DialogTemplate, ReplacesTheFontAndKeepsTheItems) {
  const std::u16string faces[] = {u"MS Shell Dlg", u"A", u"AB", u"ABC", u"ABCDEFGHIJKLMNOPQRSTUVWXYZ"};
  for (const std::u16string& title : {std::u16string(u"メッセージ"), std::u16string(u"x")}) {
    std::string item;
    const std::string t = ExTemplate(title, u"ＭＳ Ｐゴシック", 10, &item);
    DialogFont before;
    ASSERT_TRUE(ReadDialogFont(t, before));
    EXPECT_EQ(before.point, 10);
    EXPECT_EQ(before.weight, 400);
    EXPECT_EQ(before.charset, 128);
    EXPECT_EQ(before.face, u"ＭＳ Ｐゴシック");
    for (const std::u16string& face : faces) {
      DialogFont font;
      font.point = 8;
      font.face = face;
      std::string out;
      ASSERT_TRUE(ReplaceDialogFont(t, font, out));
      DialogFont after;
      ASSERT_TRUE(ReadDialogFont(out, after));
      EXPECT_EQ(after.point, 8);
      EXPECT_EQ(after.face, face);
      EXPECT_EQ(after.charset, 0);
      EXPECT_EQ(out.size() % 4, t.size() % 4);
      ASSERT_GE(out.size(), item.size());
      EXPECT_EQ(out.substr(out.size() - item.size()), item);
      EXPECT_EQ((out.size() - item.size()) % 4, 0u);
      EXPECT_EQ(out.substr(0, 26), t.substr(0, 26));  // header kept
    }
  }
}

TEST(DialogTemplate, PlainTemplateFontIsReadNotReplaced) {
  std::string s;
  Dword(s, 0x40 | 0x80000000u);  // DS_SETFONT | WS_POPUP
  Dword(s, 0);
  Word(s, 0);
  Word(s, 0); Word(s, 0); Word(s, 100); Word(s, 50);
  Word(s, 0xFFFF);  // menu by ordinal
  Word(s, 7);
  Text(s, u"cls");  // class by name
  Text(s, u"");
  Word(s, 8);
  Text(s, u"MS Shell Dlg");
  DialogFont font;
  ASSERT_TRUE(ReadDialogFont(s, font));
  EXPECT_EQ(font.point, 8);
  EXPECT_EQ(font.face, u"MS Shell Dlg");
  std::string out = "untouched";
  EXPECT_FALSE(ReplaceDialogFont(s, font, out));
  EXPECT_EQ(out, "untouched");
}

TEST(DialogTemplate, CutOrFontlessTemplatesAreRefused) {
  std::string item;
  const std::string t = ExTemplate(u"t", u"Face", 9, &item);
  DialogFont font;
  for (std::size_t n : {0u, 3u, 20u, 30u, 40u}) EXPECT_FALSE(ReadDialogFont(t.substr(0, n), font)) << n;
  std::string no_font = t;
  no_font[12] = 0;  // style without DS_SETFONT
  EXPECT_FALSE(ReadDialogFont(no_font, font));
  std::string out;
  EXPECT_FALSE(ReplaceDialogFont(no_font, font, out));
}

}  // namespace
}  // namespace tidewell
