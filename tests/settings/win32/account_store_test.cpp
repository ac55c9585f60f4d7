// The account store on Windows: Inkwell2.dll calls by name, the legacy
// conversion end to end with the real library, the apply step deleting
// account mail files named by MD5Calc, atomic replacement of Account.dat.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "account_fixtures.h"
#include "tidewell/settings/account_file.h"
#include "tidewell/settings/account_page.h"
#include "common/atomic_file.h"
#include "common/paths.h"
#include "common/win32/handles.h"
#include "common/win32/inkwell_dll.h"
#include "win32/win_temp_folder.h"

namespace tidewell {
namespace {

class AccountStore : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!InkwellAvailable()) {
#ifdef TIDEWELL_HAVE_INKWELL2_DLL
      FAIL() << "Inkwell2.dll is not beside the test program";
#else
      GTEST_SKIP() << "Inkwell2.dll is not built in this tree";
#endif
    }
  }
  InkwellDllCodec codec_;
};

TEST_F(AccountStore, LibraryCallsUseTheExports) {
  EXPECT_EQ(InkwellMd5("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(InkwellMd5(""), "d41d8cd98f00b204e9800998ecf8427e");
  std::string out;
  ASSERT_TRUE(InkwellBase64("YWJj", 11, out));
  EXPECT_EQ(out, "abc");
  ASSERT_TRUE(InkwellBase64("abc", 1, out));
  EXPECT_EQ(out, "YWJj");
  const std::string long_text(5000, 'x');  // the output buffer grows with the input
  ASSERT_TRUE(InkwellBase64(long_text, 1, out));
  EXPECT_EQ(out.size(), 6668u);
  ASSERT_TRUE(InkwellQuoted("a=3Db", 11, out));
  EXPECT_EQ(out, "a=b");
  ASSERT_TRUE(InkwellCodeConv("\x82\xA0", 1, out));  // "あ" to ISO-2022-JP
  EXPECT_EQ(out, "\x1B$B\x24\x22\x1B(B");
}

TEST_F(AccountStore, LegacyFileIsConvertedWithTheRealLibrary) {
  WinTempFolder dir;
  ASSERT_TRUE(WriteBytes(dir / "Tidewell.dat", kLegacyV2));
  const AccountList list = LoadEngineAccounts(dir.path(), codec_);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].display_name, "x");
  EXPECT_EQ(list[0].password, "abc");
  EXPECT_EQ(list[0].server, "srv");
  EXPECT_EQ(list[0].port, 111);
  EXPECT_EQ(list[1].display_name, "x_1");
  EXPECT_EQ(list[1].password, "secret");
  std::string written;
  ASSERT_TRUE(ReadWholeFile(dir / "Account.dat", written));
  EXPECT_EQ(written, EncodeAccountFile(list, 4));
  EXPECT_TRUE(Exists(dir / "Tidewell.dat"));
  // The next start reads the converted file; the legacy file is not read again.
  ASSERT_TRUE(WriteBytes(dir / "Tidewell.dat", kLegacyV1));
  const AccountList again = LoadEngineAccounts(dir.path(), codec_);
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again[1].display_name, "x_1");
}

// An Account.dat that another program holds open without sharing cannot be
// read, but it exists: the engine starts with no accounts and neither the
// file nor its contents are replaced from the old Tidewell.dat.
TEST_F(AccountStore, LockedAccountFileIsNotReplacedByTheLegacyFile) {
  WinTempFolder dir;
  AccountList mine;
  mine.push_back(CAccount());
  mine[0].display_name = "mine";
  const std::string current = EncodeAccountFile(mine, 5);
  ASSERT_TRUE(WriteBytes(dir / "Account.dat", current));
  ASSERT_TRUE(WriteBytes(dir / "Tidewell.dat", kLegacyV2));
  {
    UniqueFile lock(CreateFileA((dir / "Account.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock);
    EXPECT_TRUE(LoadEngineAccounts(dir.path(), codec_).empty());
  }
  std::string after;
  ASSERT_TRUE(ReadWholeFile(dir / "Account.dat", after));
  EXPECT_EQ(after, current);
  const AccountList list = LoadEngineAccounts(dir.path(), codec_);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].display_name, "mine");
}

TEST_F(AccountStore, Version1LegacyNamesAreMadeUnique) {
  WinTempFolder dir;
  ASSERT_TRUE(WriteBytes(dir / "Tidewell.dat", kLegacyV1));
  const AccountList list = LoadEngineAccounts(dir.path(), codec_);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].display_name, "u1<s1>");
  EXPECT_EQ(list[1].display_name, "u2<s2>");
  EXPECT_EQ(list[2].display_name, "u1<s1>_1");
}

TEST_F(AccountStore, ApplyDeletesMailFilesNamedByMd5Calc) {
  WinTempFolder dir;
  ASSERT_TRUE(CreateDirectoryA((dir / "Mail").c_str(), nullptr));
  const std::string mail_a = dir / "Mail" + "\\" + InkwellMd5("A");
  const std::string mail_b = dir / "Mail" + "\\" + InkwellMd5("B");
  ASSERT_TRUE(WriteBytes(mail_a, "+OK"));
  ASSERT_TRUE(WriteBytes(mail_b, "+OK"));
  ASSERT_TRUE(WriteBytes(dir / "Account.dat", kAccountV6));

  AccountPageList list;
  list.Load(dir.path());
  ASSERT_EQ(list.accounts().size(), 2u);
  CAccount a;
  a.display_name = "A";
  a.priority = 1;
  ASSERT_TRUE(list.Add(a));
  ASSERT_EQ(list.Delete(2, "A"), SelectionStatus::kOk);
  EXPECT_TRUE(list.Apply(dir.path(), codec_));
  EXPECT_FALSE(Exists(mail_a));
  EXPECT_TRUE(Exists(mail_b));
  // Account.dat was replaced whole, and no temporary file is left.
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(dir / "Account.dat", bytes));
  EXPECT_EQ(bytes, kAccountV6);
  EXPECT_FALSE(Exists(dir / "Account.dat.tmp~"));
}

TEST_F(AccountStore, ShiftJisDataFolderEndingIn0x5C) {
  SKIP_WITHOUT_SHIFT_JIS_FILE_NAMES();
  WinTempFolder dir("\x95\x5C");  // "表": its second byte is 0x5C
  ASSERT_TRUE(CreateDirectoryA((dir / "Mail").c_str(), nullptr));
  const std::string mail = dir / "Mail" + "\\" + InkwellMd5("Home");
  ASSERT_TRUE(WriteBytes(mail, "+OK"));
  ASSERT_TRUE(WriteBytes(dir / "Account.dat", kAccountV5));
  AccountPageList list;
  list.Load(dir.path());
  ASSERT_EQ(list.Delete(0, "Home"), SelectionStatus::kOk);
  EXPECT_TRUE(list.Apply(dir.path(), codec_));
  EXPECT_FALSE(Exists(mail));
  EXPECT_EQ(LoadPageAccounts(dir.path()).size(), 1u);
}

TEST_F(AccountStore, SaveReplacesAnExistingFile) {
  WinTempFolder dir;
  ASSERT_TRUE(WriteBytes(dir / "Account.dat", kAccountV3));
  AccountList list(1);
  list[0].display_name = "only";
  ASSERT_TRUE(SaveAccounts(dir.path(), list));
  const AccountList back = LoadPageAccounts(dir.path());
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].display_name, "only");
}

}  // namespace
}  // namespace tidewell
