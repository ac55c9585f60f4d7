// The account list of the settings page: Add, Change and Delete with the
// priority invariant, the 255-account limit, the released names and the
// apply step that deletes account mail files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/common/stand_in_protector.h"
#include "account_fixtures.h"
#include "temp_folder.h"
#include "test_codec.h"
#include "tidewell/settings/account_file.h"
#include "tidewell/settings/account_page.h"
#include "common/atomic_file.h"
#include "common/paths.h"

namespace tidewell {
namespace {

CAccount Named(const std::string& name, int priority) {
  CAccount a;
  a.display_name = name;
  a.user_id = "u";
  a.password = "p";
  a.server = "s";
  a.priority = priority;
  return a;
}

AccountPageList ListOf(const std::vector<std::pair<std::string, int>>& accounts) {
  AccountList list;
  for (const auto& a : accounts) list.push_back(Named(a.first, a.second));
  return AccountPageList(list);
}

std::vector<int> Priorities(const AccountPageList& list) {
  std::vector<int> p;
  for (const CAccount& a : list.accounts()) p.push_back(a.priority);
  return p;
}

TEST(AccountPage, AddTakesTheAskedRankAndMovesTheOthers) {
  struct Case {
    std::vector<int> before;
    int asked;
    std::vector<int> after;  // the new account last
  };
  const Case cases[] = {
      {{}, 5, {2}},             // empty list: M is taken as 1
      {{}, 1, {1}},
      {{}, 0, {0}},
      {{1, 2, 3}, 1, {2, 3, 4, 1}},
      {{1, 2, 3}, 2, {1, 3, 4, 2}},
      {{1, 2, 3}, 9, {1, 2, 3, 4}},  // at most M + 1
      {{1, 0, 2}, 2, {1, 0, 3, 2}},  // 0 stays 0
      {{1, 2}, 0, {1, 2, 0}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<std::string, int>> named;
    for (std::size_t i = 0; i < c.before.size(); ++i) named.emplace_back("a" + std::to_string(i), c.before[i]);
    AccountPageList list = ListOf(named);
    ASSERT_TRUE(list.Add(Named("new", c.asked)));
    EXPECT_EQ(Priorities(list), c.after) << "asked " << c.asked;
    EXPECT_EQ(list.accounts().back().display_name, "new");
  }
}

TEST(AccountPage, ChangeRenumbersAroundTheChangedAccount) {
  struct Case {
    std::vector<int> before;
    int index, asked;
    std::vector<int> after;
  };
  const Case cases[] = {
      {{1, 2, 3}, 1, 1, {2, 1, 3}},
      {{1, 2, 3}, 1, 3, {1, 3, 2}},
      {{1, 2, 3}, 1, 9, {1, 3, 2}},  // a ranked account is limited to M
      {{1, 2, 0}, 2, 9, {1, 2, 3}},  // an unranked one to M + 1
      {{1, 2, 0}, 2, 1, {2, 3, 1}},
      {{1, 2, 3}, 0, 0, {0, 1, 2}},  // leaving the ranks closes the gap
      {{1, 2, 3}, 1, 2, {1, 2, 3}},
      {{0, 0}, 0, 5, {2, 0}},        // M is at least 1
  };
  for (const Case& c : cases) {
    std::vector<std::pair<std::string, int>> named;
    for (std::size_t i = 0; i < c.before.size(); ++i) named.emplace_back("a" + std::to_string(i), c.before[i]);
    AccountPageList list = ListOf(named);
    CAccount values = list.accounts()[static_cast<std::size_t>(c.index)];
    values.priority = c.asked;
    ASSERT_TRUE(list.Change(c.index, values));
    EXPECT_EQ(Priorities(list), c.after) << "index " << c.index << " asked " << c.asked;
    EXPECT_EQ(list.released_names(), "");  // the name did not change
  }
}

TEST(AccountPage, DeleteClosesTheGap) {
  struct Case {
    std::vector<int> before;
    int index;
    std::vector<int> after;
  };
  const Case cases[] = {
      {{1, 2, 0}, 0, {1, 0}},
      {{3, 1, 2}, 1, {2, 1}},
      {{1, 0, 2}, 1, {1, 2}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<std::string, int>> named;
    for (std::size_t i = 0; i < c.before.size(); ++i) named.emplace_back("a" + std::to_string(i), c.before[i]);
    AccountPageList list = ListOf(named);
    const std::string name = "a" + std::to_string(c.index);
    EXPECT_EQ(list.Delete(c.index, name), SelectionStatus::kOk);
    EXPECT_EQ(Priorities(list), c.after);
    EXPECT_EQ(list.released_names(), name + "\n");
    for (const CAccount& a : list.accounts()) EXPECT_NE(a.display_name, name);
  }
}

TEST(AccountPage, SelectionMustMatchTheListView) {
  AccountPageList list = ListOf({{"A", 1}, {"B", 2}});
  EXPECT_EQ(list.CheckSelection(-1, ""), SelectionStatus::kNone);
  EXPECT_EQ(list.CheckSelection(2, "A"), SelectionStatus::kNone);
  EXPECT_EQ(list.CheckSelection(1, "A"), SelectionStatus::kMismatch);
  EXPECT_EQ(list.CheckSelection(1, "B"), SelectionStatus::kOk);
  EXPECT_EQ(list.Delete(0, "B"), SelectionStatus::kMismatch);
  EXPECT_EQ(list.Delete(5, "B"), SelectionStatus::kNone);
  EXPECT_EQ(list.accounts().size(), 2u);
  EXPECT_EQ(list.released_names(), "");
  EXPECT_FALSE(list.Change(2, Named("X", 0)));
  EXPECT_FALSE(list.Change(-1, Named("X", 0)));
  EXPECT_EQ(list.accounts()[0].display_name, "A");
}

TEST(AccountPage, NeverA256thAccount) {
  AccountPageList list;
  for (int i = 0; i < 255; ++i) ASSERT_TRUE(list.Add(Named("n" + std::to_string(i), 0)));
  EXPECT_FALSE(list.CanAdd());
  EXPECT_FALSE(list.Add(Named("one too many", 1)));
  EXPECT_EQ(list.accounts().size(), 255u);
  EXPECT_EQ(list.Delete(0, "n0"), SelectionStatus::kOk);
  EXPECT_TRUE(list.CanAdd());
}

TEST(AccountPage, ChangeCopiesTheDialogValuesButNotTheRunTimeFields) {
  AccountList start{Named("A", 0)};
  start[0].mail_count = 4;
  AccountPageList list(start);
  CAccount values = Named("A", 0);
  values.server = "new.example.jp";
  values.port = 995;
  values.icon_index = 7;
  values.no_duplicate = 1;
  values.icon_to_normal = 1;
  values.mail_count = 99;
  ASSERT_TRUE(list.Change(0, values));
  const CAccount& a = list.accounts()[0];
  EXPECT_TRUE(SameStoredFields(a, values));
  EXPECT_EQ(a.mail_count, 4);
}

TEST(AccountPage, RenamesReleaseEveryOldName) {
  AccountPageList list = ListOf({{"A", 0}});
  CAccount values = list.accounts()[0];
  values.display_name = "B";
  ASSERT_TRUE(list.Change(0, values));
  values.display_name = "A";
  ASSERT_TRUE(list.Change(0, values));
  EXPECT_EQ(list.released_names(), "A\nB\n");
}

#ifdef TIDEWELL_HAVE_INKWELL2
// Renaming A to B and back before applying deletes both mail files; other
// accounts' files, and folders, stay.
TEST(AccountPage, ApplyDeletesTheReleasedMailFilesThenSaves) {
  TempFolder dir;
  CoreCodec codec;
  std::filesystem::create_directory(MailFolderPath(dir.path()));
  const auto mail = [&](const std::string& name) { return AccountMailFilePath(dir.path(), codec.Md5Hex(name)); };
  for (const char* name : {"A", "B", "C"}) ASSERT_TRUE(WriteFileAtomically(mail(name), "+OK"));
  std::filesystem::create_directory(mail("D"));

  AccountPageList list = ListOf({{"A", 1}, {"C", 0}, {"D", 2}});
  CAccount values = list.accounts()[0];
  values.display_name = "B";
  ASSERT_TRUE(list.Change(0, values));
  values.display_name = "A";
  ASSERT_TRUE(list.Change(0, values));
  ASSERT_EQ(list.Delete(2, "D"), SelectionStatus::kOk);
  EXPECT_TRUE(list.Apply(dir.path(), codec, TestProtector()));

  EXPECT_FALSE(std::filesystem::exists(mail("A")));
  EXPECT_FALSE(std::filesystem::exists(mail("B")));
  EXPECT_TRUE(std::filesystem::exists(mail("C")));
  EXPECT_TRUE(std::filesystem::is_directory(mail("D")));
  EXPECT_EQ(list.released_names(), "");
  const AccountList saved = LoadPageAccounts(dir.path(), TestProtector());
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[0].display_name, "A");
  EXPECT_EQ(saved[1].display_name, "C");
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(AccountFilePath(dir.path()), bytes));
  EXPECT_EQ(bytes[9], 8);  // version 8

  // A second apply in the same sheet: nothing left to delete, file rewritten.
  ASSERT_TRUE(WriteFileAtomically(mail("A"), "+OK"));
  EXPECT_TRUE(list.Apply(dir.path(), codec, TestProtector()));
  EXPECT_TRUE(std::filesystem::exists(mail("A")));
}
#endif

TEST(AccountPage, ApplyWithoutTheCodecStillWritesTheFile) {
  TempFolder dir;
  MissingCodec codec;
  std::filesystem::create_directory(MailFolderPath(dir.path()));
  // The digest of "A" (what MD5Calc would name its mail file).
  const std::string mail_a = AccountMailFilePath(dir.path(), "7fc56270e7a70fa81a5935b72eacbe29");
  ASSERT_TRUE(WriteFileAtomically(mail_a, "+OK"));
  AccountPageList list = ListOf({{"A", 0}, {"B", 0}});
  ASSERT_EQ(list.Delete(0, "A"), SelectionStatus::kOk);
  EXPECT_TRUE(list.Apply(dir.path(), codec, TestProtector()));
  EXPECT_TRUE(std::filesystem::exists(mail_a));
  EXPECT_TRUE(std::filesystem::is_directory(MailFolderPath(dir.path())));
  ASSERT_EQ(LoadPageAccounts(dir.path(), TestProtector()).size(), 1u);
}

TEST(AccountPage, LoadStartsWithNoReleasedNames) {
  TempFolder dir;
  AccountPageList list = ListOf({{"A", 0}});
  ASSERT_EQ(list.Delete(0, "A"), SelectionStatus::kOk);
  list.Load(dir.path(), TestProtector());
  EXPECT_EQ(list.released_names(), "");
  EXPECT_TRUE(list.accounts().empty());
}

// What the page takes from each kind of Account.dat, and what its apply then
// does with an account added: a file that holds accounts or nothing may be
// filled and saved; one the page cannot take is kept byte for byte, its
// buttons stay off and a line says why.
TEST(AccountPage, LoadAndApplyRulesForEveryKindOfFile) {
  enum class Setup { kNone, kBytes, kFolder };
  struct Case {
    const char* what;
    Setup setup;
    std::string bytes;
    bool legacy;  // Tidewell.dat beside it
    AccountFileStatus status;
    bool may_save;
    std::size_t loaded;
    const char* note;
  };
  const Case cases[] = {
      {"missing", Setup::kNone, "", false, AccountFileStatus::kMissing, true, 0, ""},
      // A folder in its place: there, but no file to read (as a file held
      // open without sharing by another program is, on Windows).
      {"unreadable", Setup::kFolder, "", false, AccountFileStatus::kUnreadable, false, 0, kAccountFileBusyNote},
      {"0 bytes", Setup::kBytes, "", false, AccountFileStatus::kEmpty, true, 0, ""},
      {"Tidewell", Setup::kBytes, "Tidewell", false, AccountFileStatus::kEmpty, true, 0, ""},
      {"Tidewellv", Setup::kBytes, "Tidewellv", false, AccountFileStatus::kEmpty, true, 0, ""},
      {"cut in the header", Setup::kBytes, "Tide", false, AccountFileStatus::kEmpty, true, 0, ""},
      {"version 2 without Tidewell.dat", Setup::kBytes, TW_BYTES("Tidewellv\x02\x00"), false,
       AccountFileStatus::kOldVersion, true, 0, ""},
      {"version 2 with Tidewell.dat", Setup::kBytes, TW_BYTES("Tidewellv\x02\x00"), true,
       AccountFileStatus::kOldVersion, false, 0, kAccountFileLegacyNote},
      {"version 9", Setup::kBytes, TW_BYTES("Tidewellv\x09\x01\x01X"), false, AccountFileStatus::kNewVersion, false,
       0, kAccountFileNewerNote},
      {"foreign", Setup::kBytes, "[Message]\r\nTime=10\r\n", false, AccountFileStatus::kForeign, false, 0,
       kAccountFileForeignNote},
      {"good v3", Setup::kBytes, kAccountV3, false, AccountFileStatus::kOk, true, 2, ""},
      {"good v4", Setup::kBytes, kAccountV4, true, AccountFileStatus::kOk, true, 2, ""},
      {"good v6", Setup::kBytes, kAccountV6, false, AccountFileStatus::kOk, true, 2, ""},
  };
  for (const Case& c : cases) {
    TempFolder dir;
    MissingCodec codec;
    const std::string path = AccountFilePath(dir.path());
    if (c.setup == Setup::kBytes) {
      ASSERT_TRUE(WriteFileAtomically(path, c.bytes)) << c.what;
    } else if (c.setup == Setup::kFolder) {
      ASSERT_TRUE(std::filesystem::create_directory(path)) << c.what;
    }
    if (c.legacy) {
      ASSERT_TRUE(WriteFileAtomically(LegacyAccountFilePath(dir.path()), kLegacyV2)) << c.what;
    }

    AccountPageList list;
    EXPECT_EQ(list.Load(dir.path(), TestProtector()), c.status) << c.what;
    EXPECT_EQ(list.may_save(), c.may_save) << c.what;
    EXPECT_EQ(list.accounts().size(), c.loaded) << c.what;
    EXPECT_STREQ(AccountPageNote(list.status(), list.may_save()), c.note) << c.what;
    const AccountList before = list.accounts();

    ASSERT_TRUE(list.Add(Named("added", 0))) << c.what;
    EXPECT_EQ(list.Apply(dir.path(), codec, TestProtector()), c.may_save) << c.what;
    if (!c.may_save) {
      if (c.setup == Setup::kFolder) {
        EXPECT_TRUE(std::filesystem::is_directory(path)) << c.what;
      } else {
        std::string after;
        ASSERT_TRUE(ReadWholeFile(path, after)) << c.what;
        EXPECT_EQ(after, c.bytes) << c.what;
      }
      continue;
    }
    // Saved: the accounts read, then the new one, by every reader.
    AccountList saved;
    ASSERT_EQ(ReadAccountFile(dir.path(), AccountReader::kEngine, saved, &TestProtector()), AccountFileStatus::kOk) << c.what;
    ASSERT_EQ(saved.size(), c.loaded + 1) << c.what;
    for (std::size_t i = 0; i < before.size(); ++i) EXPECT_TRUE(SameStoredFields(saved[i], before[i])) << c.what;
    EXPECT_EQ(saved.back().display_name, "added") << c.what;
  }
}

// A file that could not be read when the sheet opened is read again by the
// next showing of the sheet.
TEST(AccountPage, ALaterLoadReadsTheFileAgain) {
  TempFolder dir;
  const std::string path = AccountFilePath(dir.path());
  ASSERT_TRUE(std::filesystem::create_directory(path));
  AccountPageList list;
  EXPECT_EQ(list.Load(dir.path(), TestProtector()), AccountFileStatus::kUnreadable);
  std::filesystem::remove(path);
  ASSERT_TRUE(WriteFileAtomically(path, kAccountV6));
  EXPECT_EQ(list.Load(dir.path(), TestProtector()), AccountFileStatus::kOk);
  EXPECT_TRUE(list.may_save());
  EXPECT_EQ(list.accounts().size(), 2u);
}

// Versions 3 and 4 carry the external-program flag alone: the page reads it
// as the engine does, so loading and applying keeps every flag.
TEST(AccountPage, OlderProgramFlagsSurviveLoadAndApply) {
  for (const std::string* bytes : {&kAccountV3, &kAccountV4}) {
    TempFolder dir;
    MissingCodec codec;
    ASSERT_TRUE(WriteFileAtomically(AccountFilePath(dir.path()), *bytes));
    AccountList engine_before;
    ReadAccountFile(dir.path(), AccountReader::kEngine, engine_before, &TestProtector());
    AccountPageList list;
    ASSERT_EQ(list.Load(dir.path(), TestProtector()), AccountFileStatus::kOk);
    ASSERT_TRUE(list.Apply(dir.path(), codec, TestProtector()));
    AccountList engine_after;
    ASSERT_EQ(ReadAccountFile(dir.path(), AccountReader::kEngine, engine_after, &TestProtector()), AccountFileStatus::kOk);
    ASSERT_EQ(engine_after.size(), 2u);
    EXPECT_EQ(engine_after[0].exec_flag, 1);  // stored 1
    EXPECT_EQ(engine_after[1].exec_flag, 0);  // stored 2 (v4) or 0 (v3)
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(engine_after[i].exec_flag, engine_before[i].exec_flag);
      EXPECT_EQ(engine_after[i].no_duplicate, engine_before[i].no_duplicate);
      EXPECT_EQ(engine_after[i].program_path, engine_before[i].program_path);
    }
  }
}

#ifdef TIDEWELL_HAVE_INKWELL2
// A failed write deletes no mail file and keeps the released names, so the
// next apply (after the user freed the place) does the whole step.
TEST(AccountPage, FailedSaveKeepsMailFilesAndReleasedNames) {
  TempFolder dir;
  CoreCodec codec;
  std::filesystem::create_directory(MailFolderPath(dir.path()));
  const std::string mail_a = AccountMailFilePath(dir.path(), codec.Md5Hex("A"));
  ASSERT_TRUE(WriteFileAtomically(mail_a, "+OK"));
  // Account.dat is a folder: the replacing rename fails.
  std::filesystem::create_directory(AccountFilePath(dir.path()));
  AccountPageList list = ListOf({{"A", 0}, {"B", 0}});
  ASSERT_EQ(list.Delete(0, "A"), SelectionStatus::kOk);
  EXPECT_FALSE(list.Apply(dir.path(), codec, TestProtector()));
  EXPECT_TRUE(std::filesystem::exists(mail_a));
  EXPECT_EQ(list.released_names(), "A\n");
  EXPECT_EQ(list.accounts().size(), 1u);

  std::filesystem::remove(AccountFilePath(dir.path()));
  EXPECT_TRUE(list.Apply(dir.path(), codec, TestProtector()));
  EXPECT_FALSE(std::filesystem::exists(mail_a));
  EXPECT_EQ(list.released_names(), "");
  EXPECT_EQ(LoadPageAccounts(dir.path(), TestProtector()).size(), 1u);
}
#endif

// ---- the account dialog's sign-in method ---------------------------------------

CAccount SignedIn(int provider) {
  CAccount a = Named("M", 0);
  a.signin_method = kSignInOAuth;
  a.oauth_provider = provider;
  a.oauth_account = "taro@example.com";
  a.refresh_token = "rt";
  a.apop = 1;
  return a;
}

TEST(AccountSignIn, MethodShownForEveryStoredMethod) {
  const struct {
    int method, apop;
    SignInChoice choice;
  } rows[] = {
      {kSignInPassword, 0, SignInChoice::kPassword}, {kSignInPassword, 1, SignInChoice::kApop},
      {kSignInOAuth, 0, SignInChoice::kOAuth},       {kSignInOAuth, 1, SignInChoice::kOAuth},
      {7, 0, SignInChoice::kOAuth},  // a method of a newer build is checked as OAuth: shown so
  };
  for (const auto& r : rows) {
    CAccount a;
    a.signin_method = r.method;
    a.apop = r.apop;
    EXPECT_EQ(SignInChoiceOf(a), r.choice) << r.method << "/" << r.apop;
  }
  CAccount a;
  for (int provider : {0, 4, -1}) {
    a.oauth_provider = provider;
    EXPECT_EQ(ProviderIndexOf(a), 0) << provider;
  }
  a.oauth_provider = 3;
  EXPECT_EQ(ProviderIndexOf(a), 2);
  EXPECT_EQ(ProviderOfIndex(ProviderIndexOf(a)), oauth::OAuthProvider::kCustom);
}

TEST(AccountSignIn, TakenChoiceKeepsOrDropsTheSignIn) {
  const struct {
    const char* what;
    SignInChoice choice;
    int provider_index;
    int method, apop, provider;
    const char* refresh_token;
    const char* who;
  } rows[] = {
      {"password drops the token", SignInChoice::kPassword, 1, kSignInPassword, 0, 0, "", ""},
      {"APOP drops the token", SignInChoice::kApop, 1, kSignInPassword, 1, 0, "", ""},
      {"same provider keeps it, apop as stored", SignInChoice::kOAuth, 1, kSignInOAuth, 1, 2, "rt",
       "taro@example.com"},
      {"another provider drops it", SignInChoice::kOAuth, 0, kSignInOAuth, 1, 1, "", ""},
  };
  for (const auto& r : rows) {
    CAccount a = SignedIn(2);
    a.sealed_refresh_token = "sealed";
    TakeSignInChoice(r.choice, r.provider_index, a);
    EXPECT_EQ(a.signin_method, r.method) << r.what;
    EXPECT_EQ(a.apop, r.apop) << r.what;
    EXPECT_EQ(a.oauth_provider, r.provider) << r.what;
    EXPECT_EQ(a.refresh_token, r.refresh_token) << r.what;
    EXPECT_EQ(a.oauth_account, r.who) << r.what;
    EXPECT_EQ(a.sealed_refresh_token.empty(), std::string(r.refresh_token).empty()) << r.what;
  }
}

TEST(AccountSignIn, ControlsFollowTheMethod) {
  const struct {
    SignInChoice choice;
    bool signing_in;
    bool password, method, provider, signin;
  } rows[] = {
      {SignInChoice::kPassword, false, true, true, false, false},
      {SignInChoice::kApop, false, true, true, false, false},
      {SignInChoice::kOAuth, false, false, true, true, true},
      {SignInChoice::kOAuth, true, false, false, false, true},  // the button cancels meanwhile
  };
  for (const auto& r : rows) {
    const SignInControls c = SignInControlsFor(r.choice, r.signing_in);
    EXPECT_EQ(c.password, r.password);
    EXPECT_EQ(c.method, r.method);
    EXPECT_EQ(c.provider, r.provider);
    EXPECT_EQ(c.signin, r.signin);
  }
}

TEST(AccountSignIn, StatusLineAndNotes) {
  const std::string needed = "未サインイン（メールチェックの前にサインインしてください）";
  CAccount nameless = SignedIn(1);
  nameless.oauth_account = "";
  CAccount unreadable = SignedIn(1);
  unreadable.refresh_token.clear();
  unreadable.refresh_token_unreadable = true;
  CAccount fresh = Named("F", 0);
  fresh.signin_method = kSignInOAuth;
  const struct {
    CAccount account;
    SignInChoice choice;
    int provider_index;
    std::string line;
  } rows[] = {
      {SignedIn(1), SignInChoice::kOAuth, 0, "サインイン済み: taro@example.com"},
      {nameless, SignInChoice::kOAuth, 0, "サインイン済み"},
      {SignedIn(1), SignInChoice::kOAuth, 1, needed},  // the provider control shows another provider
      {unreadable, SignInChoice::kOAuth, 0, "未サインイン（保存されたトークンを読み取れません。サインインし直してください）"},
      {fresh, SignInChoice::kOAuth, 0, needed},
      {SignedIn(1), SignInChoice::kPassword, 0, ""},
  };
  for (const auto& r : rows) EXPECT_EQ(SignInStatusLine(r.account, r.choice, r.provider_index), r.line);

  using oauth::OAuthProvider;
  using oauth::ProviderProblem;
  const std::string no_id = oauth::ProviderSettingsNote(OAuthProvider::kMicrosoft, ProviderProblem::kNoClientId);
  EXPECT_NE(no_id.find("[OAuth.Microsoft]"), std::string::npos);
  EXPECT_EQ(SignInNotes(SignInChoice::kOAuth, OAuthProvider::kMicrosoft, ProviderProblem::kNoClientId, kTlsNone),
            no_id + "\r\n" + kOAuthNotSecuredNote);
  EXPECT_EQ(SignInNotes(SignInChoice::kOAuth, OAuthProvider::kGoogle, ProviderProblem::kNone, kTlsNone),
            kOAuthNotSecuredNote);
  EXPECT_EQ(SignInNotes(SignInChoice::kOAuth, OAuthProvider::kGoogle, ProviderProblem::kNone, kTlsStls), "");
  EXPECT_EQ(SignInNotes(SignInChoice::kApop, OAuthProvider::kGoogle, ProviderProblem::kNoClientId, kTlsNone), "");
}

TEST(AccountSignIn, FinishedSignInFillsTheAccount) {
  oauth::SignInResult ok;
  ok.outcome = oauth::SignInOutcome::kSignedIn;
  ok.refresh_token = "new-rt";
  ok.user_name = "hanako@example.com";
  const std::string name149(149, 'n');
  const struct {
    const char* what;
    std::string user_id;
    std::string user_name;
    bool filled;
    std::string user_after;
  } rows[] = {
      {"empty user ID filled", "", "hanako@example.com", true, "hanako@example.com"},
      {"typed user ID kept", "taro", "hanako@example.com", false, "taro"},
      {"no name: stays empty", "", "", false, ""},
      {"149 bytes fit", "", name149, true, name149},
      {"150 bytes do not", "", name149 + "n", false, ""},
  };
  for (const auto& r : rows) {
    CAccount a = Named("A", 0);
    a.user_id = r.user_id;
    a.refresh_token_unreadable = true;
    a.sealed_refresh_token = "old";
    oauth::SignInResult result = ok;
    result.user_name = r.user_name;
    EXPECT_EQ(ApplySignIn(result, oauth::OAuthProvider::kGoogle, a), r.filled) << r.what;
    EXPECT_EQ(a.user_id, r.user_after) << r.what;
    EXPECT_EQ(a.signin_method, kSignInOAuth);
    EXPECT_EQ(a.oauth_provider, 2);
    EXPECT_EQ(a.refresh_token, "new-rt");
    EXPECT_EQ(a.oauth_account, r.user_name.substr(0, 199));
    EXPECT_FALSE(a.refresh_token_unreadable);
    EXPECT_TRUE(a.sealed_refresh_token.empty());
  }
  oauth::SignInResult denied;
  denied.outcome = oauth::SignInOutcome::kDenied;
  CAccount a = SignedIn(1);
  EXPECT_FALSE(ApplySignIn(denied, oauth::OAuthProvider::kGoogle, a));
  EXPECT_TRUE(SameStoredFields(a, SignedIn(1)));
}

// The page keeps a sealed token it could not open until the dialog replaces
// or drops the sign-in.
TEST(AccountSignIn, ChangeKeepsAnUnreadableTokenUntilReplaced) {
  CAccount stored = SignedIn(1);
  stored.refresh_token.clear();
  stored.refresh_token_unreadable = true;
  stored.sealed_refresh_token = "sealed";
  for (bool replaced : {false, true}) {
    AccountPageList list(AccountList{stored});
    CAccount values = stored;  // the dialog's copy
    values.priority = 0;
    if (replaced) {
      oauth::SignInResult r;
      r.outcome = oauth::SignInOutcome::kSignedIn;
      r.refresh_token = "rt2";
      ApplySignIn(r, oauth::OAuthProvider::kMicrosoft, values);
    }
    ASSERT_TRUE(list.Change(0, values));
    const CAccount& after = list.accounts()[0];
    EXPECT_EQ(after.sealed_refresh_token, replaced ? "" : "sealed");
    EXPECT_EQ(after.refresh_token_unreadable, !replaced);
    EXPECT_EQ(after.refresh_token, replaced ? "rt2" : "");
  }
}

}  // namespace
}  // namespace tidewell
