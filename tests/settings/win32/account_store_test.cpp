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
#include "common/win32/dpapi_protector.h"
#include "common/win32/handles.h"
#include "common/win32/inkwell_module.h"
#include "common/win32/inkwell_dll.h"
#include "win32/win_temp_folder.h"

namespace tidewell {
namespace {

std::string ModuleFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path);
  return folder.substr(0, folder.find_last_of('\\'));
}

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
  const AccountList list = LoadEngineAccounts(dir.path(), codec_, SystemPasswordProtector());
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].display_name, "x");
  EXPECT_EQ(list[0].password, "abc");
  EXPECT_EQ(list[0].server, "srv");
  EXPECT_EQ(list[0].port, 111);
  EXPECT_EQ(list[1].display_name, "x_1");
  EXPECT_EQ(list[1].password, "secret");
  // Account.dat is version 8 with the passwords sealed; Tidewell.dat, which
  // holds them readable, is gone.
  std::string written;
  ASSERT_TRUE(ReadWholeFile(dir / "Account.dat", written));
  EXPECT_EQ(written.substr(0, 10), "Tidewellv\x08");
  EXPECT_EQ(written.find("secret"), std::string::npos);
  EXPECT_FALSE(Exists(dir / "Tidewell.dat"));
  // The next start reads the converted file; the legacy file is not read again.
  ASSERT_TRUE(WriteBytes(dir / "Tidewell.dat", kLegacyV1));
  const AccountList again = LoadEngineAccounts(dir.path(), codec_, SystemPasswordProtector());
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
    EXPECT_TRUE(LoadEngineAccounts(dir.path(), codec_, SystemPasswordProtector()).empty());
  }
  std::string after;
  ASSERT_TRUE(ReadWholeFile(dir / "Account.dat", after));
  EXPECT_EQ(after, current);
  const AccountList list = LoadEngineAccounts(dir.path(), codec_, SystemPasswordProtector());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].display_name, "mine");
}

TEST_F(AccountStore, Version1LegacyNamesAreMadeUnique) {
  WinTempFolder dir;
  ASSERT_TRUE(WriteBytes(dir / "Tidewell.dat", kLegacyV1));
  const AccountList list = LoadEngineAccounts(dir.path(), codec_, SystemPasswordProtector());
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
  list.Load(dir.path(), SystemPasswordProtector());
  ASSERT_EQ(list.accounts().size(), 2u);
  CAccount a;
  a.display_name = "A";
  a.priority = 1;
  ASSERT_TRUE(list.Add(a));
  ASSERT_EQ(list.Delete(2, "A"), SelectionStatus::kOk);
  EXPECT_TRUE(list.Apply(dir.path(), codec_, SystemPasswordProtector()));
  EXPECT_FALSE(Exists(mail_a));
  EXPECT_TRUE(Exists(mail_b));
  // Account.dat was replaced whole (as version 8), and no temporary file is left.
  AccountList before;
  ASSERT_EQ(ParseAccountFile(kAccountV6, AccountReader::kSettingsPage, before), AccountFileStatus::kOk);
  const AccountList after = LoadPageAccounts(dir.path(), SystemPasswordProtector());
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < after.size(); ++i) EXPECT_TRUE(SameStoredFields(after[i], before[i])) << i;
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
  list.Load(dir.path(), SystemPasswordProtector());
  ASSERT_EQ(list.Delete(0, "Home"), SelectionStatus::kOk);
  EXPECT_TRUE(list.Apply(dir.path(), codec_, SystemPasswordProtector()));
  EXPECT_FALSE(Exists(mail));
  EXPECT_EQ(LoadPageAccounts(dir.path(), SystemPasswordProtector()).size(), 1u);
}

TEST_F(AccountStore, SaveReplacesAnExistingFile) {
  WinTempFolder dir;
  ASSERT_TRUE(WriteBytes(dir / "Account.dat", kAccountV3));
  AccountList list(1);
  list[0].display_name = "only";
  ASSERT_TRUE(SaveAccounts(dir.path(), list, SystemPasswordProtector()));
  const AccountList back = LoadPageAccounts(dir.path(), SystemPasswordProtector());
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].display_name, "only");
}

// Version 8 on disk: no password in clear or scrambled, and every reader
// (the settings page, the engine, GetAccount in the real Inkwell2.dll) opens
// it with the user's key. An account sealed elsewhere reads with an empty
// password, marked, through all of them.
TEST_F(AccountStore, SealedPasswordsOpenForEveryReader) {
  WinTempFolder dir;
  AccountList list(2);
  list[0].display_name = "Home";
  list[0].user_id = "taro";
  list[0].password = "Kw9#shiosai";
  list[0].server = "pop.example.jp";
  list[1].display_name = "Work";
  list[1].server = "s";
  list[1].password = std::string("\x83\x70\x83\x58\x83\x8F\x81\x5B\x83\x68", 10);  // パスワード
  ASSERT_TRUE(SaveAccounts(dir.path(), list, SystemPasswordProtector()));
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(dir / "Account.dat", bytes));
  EXPECT_EQ(bytes[9], 8);
  for (const CAccount& a : list) {
    EXPECT_EQ(bytes.find(a.password.str()), std::string::npos) << a.display_name.str();
    // nor scrambled, as version 6 would keep it
    const std::string v6 = EncodeAccountFile({a}, 6);
    const std::string scrambled = v6.substr(11 + 1 + a.display_name.size() + 1 + a.user_id.size() + 1,
                                            a.password.size());
    EXPECT_EQ(bytes.find(scrambled), std::string::npos) << a.display_name.str();
  }
  for (const AccountList& back : {LoadPageAccounts(dir.path(), SystemPasswordProtector()),
                                  LoadEngineAccounts(dir.path(), codec_, SystemPasswordProtector())}) {
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].password, list[0].password);
    EXPECT_EQ(back[1].password, list[1].password);
  }
  std::string again;
  ASSERT_TRUE(ReadWholeFile(dir / "Account.dat", again));
  EXPECT_EQ(again, bytes);  // the engine found nothing to seal
  InkwellModule inkwell(ModuleFolder() + "\\Inkwell2.dll");
  ASSERT_TRUE(inkwell.loaded());
  AccountLogin login;
  ASSERT_TRUE(inkwell.AccountByName(dir.path(), "Home", login));
  EXPECT_EQ(login.password, "Kw9#shiosai");
  EXPECT_EQ(login.user, "taro");
  ASSERT_TRUE(inkwell.AccountByName(dir.path(), "Work", login));
  EXPECT_EQ(login.password, list[1].password.str());

  // Sealed for someone else: the bytes of a blob this user's key cannot open.
  // Work is the last record: its sealed password comes just before its six
  // bytes of sign-in fields (password sign-in, none of the rest).
  ASSERT_EQ(bytes.substr(bytes.size() - 6), std::string(6, '\0'));
  std::string foreign = bytes;
  const std::size_t in_blob = foreign.size() - 6 - 20;
  foreign[in_blob] = static_cast<char>(foreign[in_blob] ^ 0x55);
  ASSERT_TRUE(WriteBytes(dir / "Account.dat", foreign));
  const AccountList other = LoadPageAccounts(dir.path(), SystemPasswordProtector());
  ASSERT_EQ(other.size(), 2u);
  EXPECT_EQ(other[0].password, list[0].password);
  EXPECT_EQ(other[1].password, "");
  EXPECT_TRUE(other[1].password_unreadable);
  login = AccountLogin();
  login.password = "left over";
  ASSERT_TRUE(inkwell.AccountByName(dir.path(), "Work", login));
  EXPECT_EQ(login.password, "");
  // Saved again without a new password, the sealed bytes stay as they were.
  ASSERT_TRUE(SaveAccounts(dir.path(), other, SystemPasswordProtector()));
  AccountList reread = LoadPageAccounts(dir.path(), SystemPasswordProtector());
  ASSERT_EQ(reread.size(), 2u);
  EXPECT_EQ(reread[1].sealed_password, other[1].sealed_password);
}

// An OAuth account's refresh token on disk: sealed with the user's key like
// the password, nowhere in clear or scrambled, opened by the settings page,
// the engine and GetAccountOAuth in the real Inkwell2.dll. A token sealed
// elsewhere reads empty everywhere, and is kept when the list is saved again.
TEST_F(AccountStore, RefreshTokensAreSealedAndEveryReaderOpensThem) {
  WinTempFolder dir;
  AccountList list(2);
  list[0].display_name = "Home";
  list[0].password = "Kw9#shiosai";
  list[0].server = "pop.example.jp";
  list[1].display_name = "Work";
  list[1].user_id = "taro@example.onmicrosoft.com";
  list[1].server = "outlook.office365.com";
  list[1].tls_mode = kTlsOnConnect;
  list[1].signin_method = kSignInOAuth;
  list[1].oauth_provider = 1;
  list[1].oauth_account = "Taro";
  list[1].refresh_token = "M.C507_BAY.0.U.-Cq4refresh!token*of*work";
  ASSERT_TRUE(SaveAccounts(dir.path(), list, SystemPasswordProtector()));
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(dir / "Account.dat", bytes));
  std::string scrambled = list[1].refresh_token;
  for (std::size_t i = 0; i < scrambled.size(); ++i) scrambled[i] = static_cast<char>(scrambled[i] + i);
  EXPECT_EQ(bytes.find(list[1].refresh_token), std::string::npos);
  EXPECT_EQ(bytes.find(scrambled), std::string::npos);
  for (const AccountList& back : {LoadPageAccounts(dir.path(), SystemPasswordProtector()),
                                  LoadEngineAccounts(dir.path(), codec_, SystemPasswordProtector())}) {
    ASSERT_EQ(back.size(), 2u);
    EXPECT_TRUE(SameStoredFields(back[1], list[1]));
  }
  InkwellModule inkwell(ModuleFolder() + "\\Inkwell2.dll");
  ASSERT_TRUE(inkwell.loaded());
  std::string token = "left over";
  EXPECT_EQ(inkwell.AccountOAuth(dir.path(), "Work", token), 1);
  EXPECT_EQ(token, list[1].refresh_token);
  EXPECT_EQ(inkwell.AccountOAuth(dir.path(), "Home", token), 0);
  EXPECT_EQ(token, "");
  EXPECT_EQ(inkwell.AccountOAuth(dir.path(), "Nobody", token), -1);
  AccountLogin login;
  ASSERT_TRUE(inkwell.AccountByName(dir.path(), "Work", login));  // GetAccount reads past the new fields
  EXPECT_EQ(login.user, "taro@example.onmicrosoft.com");
  EXPECT_EQ(login.tls_mode, 2);

  // Work's sealed refresh token ends the file: damaged, no key opens it.
  std::string foreign = bytes;
  foreign[foreign.size() - 20] = static_cast<char>(foreign[foreign.size() - 20] ^ 0x55);
  ASSERT_TRUE(WriteBytes(dir / "Account.dat", foreign));
  token = "left over";
  EXPECT_EQ(inkwell.AccountOAuth(dir.path(), "Work", token), 1);
  EXPECT_EQ(token, "");
  const AccountList other = LoadPageAccounts(dir.path(), SystemPasswordProtector());
  ASSERT_EQ(other.size(), 2u);
  EXPECT_EQ(other[1].refresh_token, "");
  EXPECT_TRUE(other[1].refresh_token_unreadable);
  EXPECT_EQ(other[0].password, list[0].password);
  ASSERT_TRUE(SaveAccounts(dir.path(), other, SystemPasswordProtector()));
  std::string again;
  ASSERT_TRUE(ReadWholeFile(dir / "Account.dat", again));
  EXPECT_EQ(again.substr(again.size() - other[1].sealed_refresh_token.size()), other[1].sealed_refresh_token);
}

}  // namespace
}  // namespace tidewell
