// The settings sheet's decisions without windows: the engine's reload after
// the sheet, the integer checks of the data exchange, where the file browse
// dialog starts, the icon picker's path bound, the account list's rows and
// the account dialog's OK checks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tidewell/settings/sheet_rules.h"

namespace tidewell {
namespace {

TEST(SheetRules, EngineReloadsOnlyWhenMessagePageAppliedAndAPageOtherThanIconsChanged) {
  struct Case {
    const char* what;
    SheetFlags flags;
    bool reload;
  };
  // applied, message, account, receive, icon, click
  const Case cases[] = {
      {"OK without touching anything", {1, 0, 0, 0, 0, 0}, false},
      {"cancelled at once", {0, 0, 0, 0, 0, 0}, false},
      {"only icons changed", {1, 0, 0, 0, 1, 0}, false},
      {"message page changed", {1, 1, 0, 0, 0, 0}, true},
      {"account changed", {1, 0, 1, 0, 0, 0}, true},
      {"receive page changed", {1, 0, 0, 1, 0, 0}, true},
      {"click page changed", {1, 0, 0, 0, 0, 1}, true},
      {"changed, then cancelled without apply", {0, 1, 1, 1, 1, 1}, false},
      {"icons and accounts changed", {1, 0, 1, 0, 1, 0}, true},
  };
  for (const Case& c : cases) EXPECT_EQ(EngineReloadsAfterSheet(c.flags), c.reload) << c.what;
}

TEST(SheetRules, IntegerTextIsTakenAsTypedOrRefused) {
  struct Case {
    const char* text;
    bool ok;
    int value;
  };
  const Case cases[] = {
      {"10", true, 10},       {"0", true, 0},          {"-5", true, -5},       {" 1440 ", true, 1440},
      {"+7", true, 7},        {"2147483647", true, 2147483647},               {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0}, {"", false, 0},        {"-", false, 0},        {"1a", false, 0},
      {"１０", false, 0},     {"1 0", false, 0},
  };
  for (const Case& c : cases) {
    int v = 12345;
    EXPECT_EQ(ParseIntText(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

TEST(SheetRules, UnsignedTextWithinItsRange) {
  struct Case {
    const char* text;
    unsigned max;
    NumberCheck check;
    unsigned value;
  };
  const Case cases[] = {
      {"110", 65535, NumberCheck::kOk, 110},         {"0", 65535, NumberCheck::kOk, 0},
      {"65535", 65535, NumberCheck::kOk, 65535},     {"65536", 65535, NumberCheck::kOutOfRange, 0},
      {"99999999999999999999", 65535, NumberCheck::kOutOfRange, 0},
      {"100000", 100000, NumberCheck::kOk, 100000},  {"100001", 100000, NumberCheck::kOutOfRange, 0},
      {"-1", 65535, NumberCheck::kNotNumber, 0},     {"", 65535, NumberCheck::kNotNumber, 0},
      {"12x", 65535, NumberCheck::kNotNumber, 0},
  };
  for (const Case& c : cases) {
    unsigned v = 7;
    EXPECT_EQ(ParseUnsignedText(c.text, c.max, v), c.check) << c.text;
    if (c.check == NumberCheck::kOk) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  EXPECT_EQ(RangeText(0, 65535), "0 から 65535 までの整数を入力してください。");
}

TEST(SheetRules, CharactersCountAsTheEditCountsThem) {
  EXPECT_EQ(SjisCharCount(""), 0u);
  EXPECT_EQ(SjisCharCount("abc"), 3u);
  EXPECT_EQ(SjisCharCount("表示名"), 3u);
  EXPECT_EQ(SjisCharCount("ｷｬﾝｾﾙ"), 5u);  // one-byte katakana
  EXPECT_EQ(SjisCharCount("a表\\"), 3u);   // 0x95 0x5C is one character
  EXPECT_EQ(SjisCharCount(std::string("\x82", 1)), 1u);  // a lone lead byte at the end
}

TEST(SheetRules, StoredTimeIsShownAtTheNearestLimit) {
  EXPECT_EQ(ClampTime(0), 1);
  EXPECT_EQ(ClampTime(-3), 1);
  EXPECT_EQ(ClampTime(10), 10);
  EXPECT_EQ(ClampTime(1440), 1440);
  EXPECT_EQ(ClampTime(5000), 1440);
}

TEST(SheetRules, BrowseStartsAtTheLastBackslashOfItsOwn) {
  struct Case {
    std::string text, folder, file;
  };
  const Case cases[] = {
      {"C:\\Windows\\Media\\ding.wav", "C:\\Windows\\Media", "ding.wav"},
      {"ding.wav", "", "ding.wav"},
      {"", "", ""},
      {"C:\\Sounds\\", "C:\\Sounds", ""},
      // "表" is 0x95 0x5C: its second byte is no separator.
      {"C:\\音\\表.wav", "C:\\音", "表.wav"},
      {"表", "", "表"},
  };
  for (const Case& c : cases) {
    const BrowseStart s = SplitBrowsePath(c.text);
    EXPECT_EQ(s.folder, c.folder) << c.text;
    EXPECT_EQ(s.file, c.file) << c.text;
  }
}

TEST(SheetRules, FiltersBecomeNulSeparatedPairs) {
  const std::string nul(1, '\0');
  EXPECT_EQ(OpenFileFilter(kWaveFilter), std::string("オーディオ ファイル(*.wav)") + nul + "*.wav" + nul + nul);
  EXPECT_EQ(OpenFileFilter(kProgramFilter),
            std::string("実行ファイル(*.exe)") + nul + "*.exe" + nul + "すべて(*.*)" + nul + "*.*" + nul + nul);
  EXPECT_EQ(OpenFileFilter("a|b"), std::string("a") + nul + "b" + nul + nul);
}

TEST(SheetRules, IconPickerNeverGetsAPathPastItsBuffer) {
  const std::string fits(259, 'a');
  const std::string too_long(260, 'a');
  EXPECT_EQ(IconPickerStartPath(fits), fits);
  EXPECT_EQ(IconPickerStartPath(too_long), "");
  EXPECT_EQ(IconPickerStartPath(std::string(5000, 'b')), "");
  EXPECT_EQ(IconPickerStartPath("C:\\icons.dll"), "C:\\icons.dll");
}

TEST(SheetRules, AccountRowShowsPortApopAndPriority) {
  CAccount a;
  a.display_name = "会社";
  a.user_id = "taro";
  a.server = "pop.example.jp";
  a.port = 995;
  a.apop = 1;
  a.priority = 3;
  a.icon_file = "i.ico";
  a.sound_file = "s.wav";
  a.program_path = "p.exe";
  const auto row = AccountRowTexts(a);
  const std::array<std::string, 9> want = {"会社", "taro", "pop.example.jp", "995", "○", "3",
                                           "i.ico", "s.wav", "p.exe"};
  EXPECT_EQ(row, want);
  a.apop = 0;
  EXPECT_EQ(AccountRowTexts(a)[4], "");
  a.apop = 2;  // only 1 shows the mark
  EXPECT_EQ(AccountRowTexts(a)[4], "");
  EXPECT_STREQ(kAccountColumns[3].title, "ポート");
  EXPECT_EQ(kAccountColumns[8].width, 180);
}

AccountEntryTexts Entry(const std::string& name) {
  AccountEntryTexts t;
  t.display_name = name;
  t.user_id = "user";
  t.password = "pw";
  t.server = "pop.example.jp";
  t.port = "110";
  t.priority = "0";
  return t;
}

AccountList Existing() {
  AccountList list(2);
  list[0].display_name = "Home";
  list[1].display_name = "会社";
  return list;
}

TEST(SheetRules, AccountEntryChecksInTheirOrder) {
  namespace id = account_dlg;
  struct Case {
    const char* what;
    AccountEntryTexts texts;
    std::string opening;
    std::string message;  // "" when accepted
    int control;
  };
  std::vector<Case> cases;
  cases.push_back({"new account", Entry("Work"), "", "", 0});
  cases.push_back({"duplicate", Entry("Home"), "", kDuplicateNameText, id::kDisplayName});
  {
    AccountEntryTexts t;  // every other field empty: uniqueness is tested first
    t.display_name = "会社";
    t.port = "110";
    t.priority = "0";
    cases.push_back({"duplicate with empty fields", t, "", kDuplicateNameText, id::kDisplayName});
  }
  cases.push_back({"own name kept", Entry("Home"), "Home", "", 0});
  cases.push_back({"renamed onto another", Entry("会社"), "Home", kDuplicateNameText, id::kDisplayName});
  cases.push_back({"letter case differs", Entry("home"), "", "", 0});
  {
    AccountEntryTexts t = Entry("Work");
    t.password = "";
    cases.push_back({"empty password", t, "", kRequiredFieldsText, id::kPassword});
    t.password_required = false;  // an OAuth account signs in with a token
    cases.push_back({"OAuth without a password", t, "", "", 0});
    t.user_id = "";
    cases.push_back({"OAuth still needs the user ID", t, "", kRequiredFieldsText, id::kUserId});
  }
  {
    AccountEntryTexts t = Entry("");
    cases.push_back({"empty name", t, "", kRequiredFieldsText, id::kDisplayName});
    t = Entry("Work");
    t.server = "";
    cases.push_back({"empty server", t, "", kRequiredFieldsText, id::kServer});
  }
  // 74 two-byte characters (148 bytes) and one more byte fit; 75 do not.
  std::string name148;
  for (int i = 0; i < 74; ++i) name148 += "あ";
  cases.push_back({"149 bytes", Entry(name148 + "x"), "", "", 0});
  cases.push_back({"150 bytes", Entry(name148 + "あ"), "", kDisplayNameTooLongText, id::kDisplayName});
  {
    AccountEntryTexts t = Entry(name148 + "あ");  // too long is told before a duplicate
    cases.push_back({"too long and unique test", t, "", kDisplayNameTooLongText, id::kDisplayName});
    t = Entry("Work");
    t.port = "65536";
    cases.push_back({"port range", t, "", RangeText(0, 65535), id::kPort});
    t.port = "abc";
    cases.push_back({"port not a number", t, "", kUnsignedText, id::kPort});
    t = Entry("Work");
    t.priority = "100001";
    cases.push_back({"priority range", t, "", RangeText(0, 100000), id::kPriority});
    std::string two_byte_100;
    for (int i = 0; i < 100; ++i) two_byte_100 += "あ";
    // The user ID and the password: what every reader keeps (149 bytes).
    // 75 two-byte characters fit the edit (100) and the record field (199),
    // and would reach the mail list cut.
    t = Entry("Work");
    t.user_id = name148 + "x";
    t.password = name148 + "y";
    cases.push_back({"149-byte user ID and password", t, "", "", 0});
    t.user_id = name148 + "あ";
    cases.push_back({"150-byte user ID", t, "", kUserIdTooLongText, id::kUserId});
    t.user_id = "user";
    t.password = name148 + "あ";
    cases.push_back({"150-byte password", t, "", kPasswordTooLongText, id::kPassword});
    t = Entry("Work");
    t.user_id = two_byte_100;  // 100 characters fit the edit
    cases.push_back({"user ID of 200 bytes", t, "", kUserIdTooLongText, id::kUserId});
    t.user_id = std::string(101, 'u');
    cases.push_back({"user ID over its edit", t, "", TooManyCharsText(100), id::kUserId});
    cases.push_back({"display name over its edit", Entry(std::string(101, 'n')), "", TooManyCharsText(100),
                     id::kDisplayName});
    t = Entry("Work");
    t.icon_file = two_byte_100 + two_byte_100.substr(0, 60);  // 130 characters, 260 bytes
    cases.push_back({"icon file over its field", t, "", TooLongText(259), id::kIconFile});
    t.icon_file = std::string(260, 'i');
    cases.push_back({"icon file over its edit", t, "", TooManyCharsText(259), id::kIconFile});
    t = Entry("Work");
    t.command_line = std::string(999, 'c');
    cases.push_back({"command line fills its field", t, "", "", 0});
  }
  for (const Case& c : cases) {
    CAccount out;
    const AccountEntryCheck check = TakeAccountEntry(c.texts, c.opening, Existing(), out);
    EXPECT_EQ(check.ok, c.message.empty()) << c.what;
    EXPECT_EQ(check.message, c.message) << c.what;
    EXPECT_EQ(check.control, c.control) << c.what;
  }
}

TEST(SheetRules, AcceptedEntryFillsTheRecord) {
  AccountEntryTexts t = Entry("自宅");
  t.port = "995";
  t.priority = "100000";
  t.icon_file = "C:\\i.ico";
  t.sound_file = "C:\\s.wav";
  t.program_path = "C:\\p.exe";
  t.command_line = "/x";
  t.work_folder = "C:\\w";
  CAccount out;
  out.icon_index = 4;  // not a text: kept
  out.apop = 1;        // check boxes are read by the dialog itself
  ASSERT_TRUE(TakeAccountEntry(t, "", Existing(), out).ok);
  EXPECT_EQ(out.display_name, "自宅");
  EXPECT_EQ(out.user_id, "user");
  EXPECT_EQ(out.password, "pw");
  EXPECT_EQ(out.server, "pop.example.jp");
  EXPECT_EQ(out.port, 995);
  EXPECT_EQ(out.priority, 100000);
  EXPECT_EQ(out.icon_file, "C:\\i.ico");
  EXPECT_EQ(out.sound_file, "C:\\s.wav");
  EXPECT_EQ(out.program_path, "C:\\p.exe");
  EXPECT_EQ(out.command_line, "/x");
  EXPECT_EQ(out.work_folder, "C:\\w");
  EXPECT_EQ(out.icon_index, 4);
  EXPECT_EQ(out.apop, 1);
}

}  // namespace
}  // namespace tidewell
