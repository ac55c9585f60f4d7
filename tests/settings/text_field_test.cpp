// Cutting texts to their record fields, and joining paths under the data
// folder.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tidewell/settings/account.h"
#include "common/paths.h"
#include "tidewell/settings/text_field.h"

namespace tidewell {
namespace {

TEST(CutText, CutsAtNulAtTheLimitAndBetweenCharacters) {
  struct Case {
    std::string text;
    std::size_t max;
    std::string expected;
  };
  const Case cases[] = {
      {"abcdef", 6, "abcdef"},
      {"abcdef", 4, "abcd"},
      {std::string("ab\0cd", 5), 4, "ab"},           // a text ends at its NUL
      {"a\x82\xA0\x82\xA2", 4, "a\x82\xA0"},         // never half a two-byte character
      {"a\x82\xA0\x82\xA2", 5, "a\x82\xA0\x82\xA2"},
      {"\xB1\xB2\xB3", 2, "\xB1\xB2"},               // half-width katakana is one byte
      {"\x95\x5C\x95\x5C", 3, "\x95\x5C"},           // trail byte 0x5C is not a character
      {"", 0, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CutText(c.text, c.max), c.expected) << c.text << " / " << c.max;
}

TEST(CutText, CopyOutNeverPassesTheBuffer) {
  char buf[5];
  std::memset(buf, 'Z', sizeof buf);
  EXPECT_EQ(CopyTextOut("abcdefgh", buf, 4), 3u);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(buf[4], 'Z');
  EXPECT_EQ(CopyTextOut("x", buf, 0), 0u);
}

TEST(FieldText, AccountFieldsHoldOneByteLessThanTheirSize) {
  CAccount a;
  a.display_name = std::string(300, 'n');
  a.server = std::string(1500, 's');
  a.command_line = std::string(1000, 'c');
  a.icon_file = std::string(260, 'i');
  EXPECT_EQ(a.display_name.size(), 199u);
  EXPECT_EQ(a.server.size(), 999u);
  EXPECT_EQ(a.command_line.size(), 999u);
  EXPECT_EQ(a.icon_file.size(), 259u);
  CAccount b = a;  // copying copies every field
  EXPECT_TRUE(SameStoredFields(a, b));
  b.work_folder = "w";
  EXPECT_FALSE(SameStoredFields(a, b));
}

TEST(Paths, JoinAddsOneSeparatorUnlessTheFolderEndsWithOne) {
  const std::string s(1, kPathSeparator);
  struct Case {
    std::string folder, name, expected;
  };
  const Case cases[] = {
      {"C:\\data", "Account.dat", "C:\\data" + s + "Account.dat"},
      {"C:\\", "Tidewell.ini", "C:\\Tidewell.ini"},                  // drive root keeps its one backslash
      {"/tmp/x/", "Account.dat", "/tmp/x/Account.dat"},
      {"C:\\\x95\x5C", "Account.dat", "C:\\\x95\x5C" + s + "Account.dat"},  // "表": 0x5C is a trail byte
      {"C:\\\x95\x5C\\", "Account.dat", "C:\\\x95\x5C\\Account.dat"},
      {"", "Account.dat", "Account.dat"},
  };
  for (const Case& c : cases) EXPECT_EQ(JoinPath(c.folder, c.name), c.expected) << c.folder;
  EXPECT_EQ(AccountMailFilePath("D", "0123"), "D" + s + "Mail" + s + "0123");
  EXPECT_EQ(SettingsFilePath("D"), "D" + s + "Tidewell.ini");
}

}  // namespace
}  // namespace tidewell
