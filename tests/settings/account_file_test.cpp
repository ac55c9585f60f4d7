// Account.dat and the legacy Tidewell.dat: byte images read by both readers,
// the writer's exact bytes, round trips, damaged files, and the engine's
// fall-back to the legacy conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "account_fixtures.h"
#include "tests/common/stand_in_protector.h"
#include "temp_folder.h"
#include "test_codec.h"
#include "tidewell/settings/account_file.h"
#include "tidewell/settings/sheet_rules.h"
#include "common/atomic_file.h"
#include "common/paths.h"

namespace tidewell {
namespace {

AccountList Parse(const std::string& bytes, AccountReader reader,
                  AccountFileStatus expected = AccountFileStatus::kOk) {
  AccountList list;
  EXPECT_EQ(ParseAccountFile(bytes, reader, list), expected);
  return list;
}

const AccountReader kBothReaders[] = {AccountReader::kSettingsPage, AccountReader::kEngine};

TEST(AccountFile, Version5ReadsEveryFieldWithBothReaders) {
  for (AccountReader reader : kBothReaders) {
    const AccountList list = Parse(kAccountV5, reader);
    ASSERT_EQ(list.size(), 2u);
    const CAccount& h = list[0];
    EXPECT_EQ(h.display_name, "Home");
    EXPECT_EQ(h.user_id, "abc");
    EXPECT_EQ(h.password, "abc");  // stored 61 63 65
    EXPECT_EQ(h.server, "pop.example.jp");
    EXPECT_EQ(h.apop, 1);
    EXPECT_EQ(h.port, 110);
    EXPECT_EQ(h.priority, 2);
    EXPECT_EQ(h.icon_flag, 1);
    EXPECT_EQ(h.icon_file, "C:\\i.ico");
    EXPECT_EQ(h.icon_index, 3);
    EXPECT_EQ(h.sound_flag, 0);
    EXPECT_EQ(h.sound_file, "");
    EXPECT_EQ(h.exec_flag, 1);
    EXPECT_EQ(h.icon_to_normal, 1);
    EXPECT_EQ(h.no_duplicate, 1);
    EXPECT_EQ(h.program_path, "C:\\p.exe");
    EXPECT_EQ(h.command_line, "-a");
    EXPECT_EQ(h.work_folder, "C:\\w");
    const CAccount& w = list[1];
    EXPECT_EQ(w.display_name, "Work");
    EXPECT_EQ(w.password, "pq");
    EXPECT_EQ(w.port, 500);
    EXPECT_EQ(w.sound_flag, 1);
    EXPECT_EQ(w.sound_file, "a.wav");
    EXPECT_EQ(w.exec_flag, 0);
    EXPECT_EQ(w.icon_to_normal, 1);
    EXPECT_EQ(w.no_duplicate, 0);
    EXPECT_EQ(w.mail_count, 0);  // run-time fields start empty
    EXPECT_EQ(w.icon_window, nullptr);
  }
}

TEST(AccountFile, WriterProducesTheVersion5And6BytesExactly) {
  AccountList list = Parse(kAccountV5, AccountReader::kSettingsPage);
  EXPECT_EQ(EncodeAccountFile(list, 5), kAccountV5);
  list[0].tls_mode = kTlsStls;
  list[1].tls_mode = kTlsOnConnect;
  EXPECT_EQ(EncodeAccountFile(list, 6), kAccountV6);
}

// The security byte of version 6, and what older records read as. Both
// readers agree; the rest of each record reads as in version 5.
TEST(AccountFile, SecurityModeByVersionAndPort) {
  const auto with_byte = [](char home, char work) {
    std::string b = kAccountV6;
    b[b.find("\x04" "Work") - 1] = home;
    b.back() = work;
    return b;
  };
  std::string v5_on_995 = kAccountV5;
  const std::size_t work_port = v5_on_995.find("\x01\xF4");
  v5_on_995[work_port] = '\x03';
  v5_on_995[work_port + 1] = '\xE3';  // Work: port 995
  struct Case {
    const char* what;
    std::string bytes;
    int home, work;
  };
  const Case cases[] = {
      {"v6 as stored", kAccountV6, kTlsStls, kTlsOnConnect},
      {"v6 none", with_byte('\x00', '\x00'), kTlsNone, kTlsNone},
      {"v6 unknown values", with_byte('\x03', '\xFF'), kTlsOnConnect, kTlsOnConnect},
      {"v5 port 110 and 500", kAccountV5, kTlsNone, kTlsNone},
      {"v5 port 995", v5_on_995, kTlsNone, kTlsOnConnect},
  };
  for (const Case& c : cases) {
    for (AccountReader reader : kBothReaders) {
      const AccountList list = Parse(c.bytes, reader);
      ASSERT_EQ(list.size(), 2u) << c.what;
      EXPECT_EQ(list[0].tls_mode, c.home) << c.what;
      EXPECT_EQ(list[1].tls_mode, c.work) << c.what;
      EXPECT_EQ(list[1].display_name, "Work") << c.what;
      EXPECT_EQ(list[1].sound_file, "a.wav") << c.what;
      EXPECT_EQ(list[1].icon_to_normal, 1) << c.what;
    }
  }
  // A version-6 file that ends before the last security byte drops that record.
  EXPECT_EQ(Parse(kAccountV6.substr(0, kAccountV6.size() - 1), AccountReader::kEngine).size(), 1u);
}

// Field 11 of versions 3 and 4: both readers take 0 or 1 as the
// external-program flag and a larger value as 0 (the settings page must save
// back what the engine acts on).
TEST(AccountFile, OlderVersionsReadField11ByEachReadersRule) {
  struct Case {
    const std::string* bytes;
    AccountReader reader;
    int exec_a, exec_b, no_dup_a;
  };
  const Case cases[] = {
      {&kAccountV4, AccountReader::kSettingsPage, 1, 0, 1},
      {&kAccountV4, AccountReader::kEngine, 1, 0, 1},
      {&kAccountV3, AccountReader::kSettingsPage, 1, 0, 0},
      {&kAccountV3, AccountReader::kEngine, 1, 0, 0},
  };
  for (const Case& c : cases) {
    const AccountList list = Parse(*c.bytes, c.reader);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].exec_flag, c.exec_a);
    EXPECT_EQ(list[1].exec_flag, c.exec_b);
    EXPECT_EQ(list[0].icon_to_normal, 0);
    EXPECT_EQ(list[0].no_duplicate, c.no_dup_a);
    EXPECT_EQ(list[0].program_path, "x");
    EXPECT_EQ(list[1].display_name, "B");  // the second record is not shifted
    EXPECT_EQ(list[1].user_id, "v");
  }
  EXPECT_EQ(Parse(kAccountV3, AccountReader::kEngine)[1].port, 111);
}

TEST(AccountFile, Versions5And6Field11CarriesBothDigits) {
  struct Case {
    int exec, icon_to_normal, stored;
  };
  const Case cases[] = {{0, 0, 0}, {1, 0, 1}, {0, 1, 10}, {1, 1, 11}};
  for (const Case& c : cases) {
    CAccount a;
    a.display_name = "n";
    a.exec_flag = c.exec;
    a.icon_to_normal = c.icon_to_normal;
    for (int version : {5, 6}) {
      const std::string bytes = EncodeAccountFile({a}, version);
      // Field 11 is the 8th byte from the end: 11, 12, then three empty
      // 2-byte lengths (and the security byte in version 6).
      EXPECT_EQ(static_cast<unsigned char>(bytes[bytes.size() - (version == 6 ? 9 : 8)]), c.stored);
      const CAccount back = Parse(bytes, AccountReader::kSettingsPage).at(0);
      EXPECT_EQ(back.exec_flag, c.exec);
      EXPECT_EQ(back.icon_to_normal, c.icon_to_normal);
    }
  }
}

TEST(AccountFile, PasswordIsScrambledByPosition) {
  CAccount a;
  a.password = std::string("abc") + "\xFF\xFE";
  const std::string bytes = EncodeAccountFile({a});
  // header 11, display name length 1, user ID length 1, password length 1
  EXPECT_EQ(bytes.substr(11, 8), TW_BYTES("\x00" "\x00" "\x05" "\x61\x63\x65\x02\x02"));
  EXPECT_EQ(Parse(bytes, AccountReader::kEngine).at(0).password, a.password);
}

TEST(AccountFile, LongTextsKeepTwoByteLengthsAndReadBackWhole) {
  CAccount a;
  a.display_name = "n";
  a.command_line = std::string(300, 'c');
  a.server = std::string(999, 's');
  const std::string bytes = EncodeAccountFile({a});
  EXPECT_NE(bytes.find(TW_BYTES("\x01\x2C") + std::string(300, 'c')), std::string::npos);
  EXPECT_NE(bytes.find(TW_BYTES("\x03\xE7") + std::string(999, 's')), std::string::npos);
  const CAccount back = Parse(bytes, AccountReader::kSettingsPage).at(0);
  EXPECT_EQ(back.command_line.size(), 300u);
  EXPECT_EQ(back.server.size(), 999u);
}

TEST(AccountFile, RoundTripKeepsEveryStoredField) {
  AccountList list;
  for (int i = 0; i < 3; ++i) {
    CAccount a;
    a.display_name = "\x83\x81\x81\x5B\x83\x8B" + std::to_string(i);  // Shift_JIS "メール"
    a.user_id = "user" + std::to_string(i);
    a.password = "p\x81\x40w";
    a.server = "mail" + std::to_string(i) + ".example.jp";
    a.apop = i & 1;
    a.port = 65535 - i;
    a.priority = i;
    a.icon_flag = 1;
    a.icon_file = "C:\\\x95\x5C\\x.ico";
    a.icon_index = 65535;
    a.sound_flag = i & 1;
    a.sound_file = "s.wav";
    a.command_line = std::string(999, 'q');
    a.program_path = std::string(259, 'p');
    a.work_folder = "w";
    a.exec_flag = 1;
    a.icon_to_normal = i & 1;
    a.no_duplicate = 1;
    a.tls_mode = i;  // none, STLS, TLS on connect
    a.signin_method = i == 2 ? kSignInOAuth : kSignInPassword;
    a.oauth_provider = i;  // none, Microsoft, Google
    a.oauth_account = "taro" + std::to_string(i) + "@example.jp";
    a.refresh_token = i == 0 ? "" : std::string(4096 - i, static_cast<char>('A' + i));
    a.mail_count = 9;  // not stored
    list.push_back(a);
  }
  StandInProtector protector;
  for (PasswordProtector* p : {static_cast<PasswordProtector*>(nullptr), static_cast<PasswordProtector*>(&protector)}) {
    for (AccountReader reader : kBothReaders) {
      AccountList back;
      ASSERT_EQ(ParseAccountFile(EncodeAccountFile(list, kAccountFileVersion, p), reader, back, p),
                AccountFileStatus::kOk);
      ASSERT_EQ(back.size(), list.size());
      for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_TRUE(SameStoredFields(back[i], list[i])) << i;
        EXPECT_EQ(back[i].mail_count, 0);
        EXPECT_FALSE(back[i].password_unreadable);
        EXPECT_FALSE(back[i].refresh_token_unreadable);
      }
    }
  }
}

// Version 7 keeps the password sealed after field 16: field 3 empty, the form
// byte 1, the sealed bytes with a 2-byte length. Nothing of the password is
// in the file, neither as typed nor scrambled.
TEST(AccountFile, Version7SealsThePasswordAfterTheSecurityByte) {
  CAccount a;
  a.display_name = "n";
  a.password = "hunter2";
  a.tls_mode = kTlsStls;
  StandInProtector protector;
  std::string sealed;
  ASSERT_TRUE(protector.Protect("hunter2", sealed));
  const std::string bytes = EncodeAccountFile({a}, 7, &protector);
  EXPECT_EQ(bytes.substr(0, 11), TW_BYTES("Tidewellv\x07\x01"));
  EXPECT_EQ(bytes.substr(11, 4), TW_BYTES("\x01n\x00\x00"));  // name, empty user ID, empty field 3
  const std::string tail = TW_BYTES("\x01\x01") + std::string(1, static_cast<char>(sealed.size() >> 8)) +
                           std::string(1, static_cast<char>(sealed.size() & 0xFF)) + sealed;
  ASSERT_GE(bytes.size(), tail.size());
  EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail);  // security byte, form, sealed
  EXPECT_EQ(bytes.find("hunter2"), std::string::npos);
  // header 11, name 2, user ID 1, password length 1: the scrambled password
  EXPECT_EQ(bytes.find(EncodeAccountFile({a}, 6).substr(15, 7)), std::string::npos);
  for (AccountReader reader : kBothReaders) {
    AccountList back;
    AccountFileFacts facts;
    ASSERT_EQ(ParseAccountFile(bytes, reader, back, &protector, &facts), AccountFileStatus::kOk);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].password, "hunter2");
    EXPECT_EQ(back[0].tls_mode, kTlsStls);
    EXPECT_EQ(facts.version, 7);
    EXPECT_TRUE(facts.whole);
    EXPECT_FALSE(facts.clear_passwords);
  }
}

// A file sealed for another user (or a form this build does not know): the
// password reads empty and is marked; the sealed bytes are written back as
// they were until the user enters a new password.
TEST(AccountFile, APasswordThatCannotBeOpenedReadsEmptyAndIsKept) {
  CAccount a;
  a.display_name = "n";
  a.password = "hunter2";
  StandInProtector taro("taro"), hanako("hanako");
  const std::string bytes = EncodeAccountFile({a}, 7, &taro);
  for (PasswordProtector* p : {static_cast<PasswordProtector*>(&hanako), static_cast<PasswordProtector*>(nullptr)}) {
    AccountList back;
    ASSERT_EQ(ParseAccountFile(bytes, AccountReader::kEngine, back, p), AccountFileStatus::kOk);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].password, "");
    EXPECT_TRUE(back[0].password_unreadable);
    EXPECT_EQ(EncodeAccountFile(back, 7, &hanako), bytes);  // kept for its owner
    back[0].password = "new";
    AccountList again;
    ParseAccountFile(EncodeAccountFile(back, 7, &hanako), AccountReader::kEngine, again, &hanako);
    EXPECT_EQ(again.at(0).password, "new");
    EXPECT_FALSE(again.at(0).password_unreadable);
  }
  // An unknown form: unreadable, and field 3 is not taken instead.
  std::string unknown = EncodeAccountFile({a}, 7, nullptr);  // form 0, field 3 scrambled
  unknown[unknown.size() - 3] = '\x09';
  AccountList back;
  ASSERT_EQ(ParseAccountFile(unknown, AccountReader::kSettingsPage, back, &taro), AccountFileStatus::kOk);
  EXPECT_EQ(back.at(0).password, "");
  EXPECT_TRUE(back.at(0).password_unreadable);
}

// A password that cannot be sealed now is stored scrambled (form 0) rather
// than lost; such a record counts as not protected.
TEST(AccountFile, APasswordThatCannotBeSealedIsStoredScrambled) {
  CAccount a;
  a.display_name = "n";
  a.password = "abc";
  StandInProtector protector;
  protector.set_refuse(true);
  const std::string bytes = EncodeAccountFile({a}, 7, &protector);
  EXPECT_EQ(bytes.substr(11, 7), TW_BYTES("\x01n\x00\x03\x61\x63\x65"));
  EXPECT_EQ(bytes.substr(bytes.size() - 3), TW_BYTES("\x00\x00\x00"));  // form 0, no sealed bytes
  AccountList back;
  AccountFileFacts facts;
  ParseAccountFile(bytes, AccountReader::kEngine, back, &protector, &facts);
  EXPECT_EQ(back.at(0).password, "abc");
  EXPECT_TRUE(facts.clear_passwords);
}

// Two accounts as version 8, sealed for taro: Home signs in with its
// password, Work (the last record) with OAuth at Google.
const char kWorkToken[] = "1//0e-refresh-token-of-work";

AccountList SignInAccounts() {
  AccountList list(2);
  list[0].display_name = "Home";
  list[0].password = "hunter2";
  list[1].display_name = "Work";
  list[1].user_id = "taro@example.jp";
  list[1].signin_method = kSignInOAuth;
  list[1].oauth_provider = 2;
  list[1].oauth_account = "Taro <taro@example.jp>";
  list[1].refresh_token = kWorkToken;
  list[1].tls_mode = kTlsOnConnect;
  return list;
}

std::string Scrambled(const std::string& plain) {
  std::string s = plain;
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>(s[i] + i);
  return s;
}

// Version 8 adds after field 18: the sign-in method, the provider, who
// signed in (1-byte length), the refresh-token form and the sealed refresh
// token (2-byte length). A password account has 0 in each. The refresh token
// is in the file neither as it is nor scrambled.
TEST(AccountFile, Version8KeepsTheSignInAfterThePassword) {
  const AccountList list = SignInAccounts();
  StandInProtector taro("taro");
  std::string sealed;
  ASSERT_TRUE(taro.Protect(kWorkToken, sealed));
  const std::string bytes = EncodeAccountFile(list, 8, &taro);
  EXPECT_EQ(bytes.substr(0, 11), TW_BYTES("Tidewellv\x08\x02"));
  const std::string who = "Taro <taro@example.jp>";
  const std::string tail = TW_BYTES("\x01\x02") + static_cast<char>(who.size()) + who + TW_BYTES("\x01") +
                           static_cast<char>(sealed.size() >> 8) + static_cast<char>(sealed.size() & 0xFF) + sealed;
  ASSERT_GE(bytes.size(), tail.size());
  EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail);
  const std::size_t work = bytes.find("\x04" "Work");
  EXPECT_EQ(bytes.substr(work - 6, 6), std::string(6, '\0'));  // Home: password, no provider, no token
  EXPECT_EQ(bytes.find(kWorkToken), std::string::npos);
  EXPECT_EQ(bytes.find(Scrambled(kWorkToken)), std::string::npos);
  for (AccountReader reader : kBothReaders) {
    AccountList back;
    AccountFileFacts facts;
    ASSERT_EQ(ParseAccountFile(bytes, reader, back, &taro, &facts), AccountFileStatus::kOk);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].signin_method, kSignInPassword);
    EXPECT_EQ(back[0].password, "hunter2");
    EXPECT_EQ(back[1].signin_method, kSignInOAuth);
    EXPECT_EQ(back[1].oauth_provider, 2);
    EXPECT_EQ(back[1].oauth_account, who);
    EXPECT_EQ(back[1].refresh_token, kWorkToken);
    EXPECT_EQ(back[1].tls_mode, kTlsOnConnect);
    EXPECT_TRUE(facts.whole);
    EXPECT_FALSE(facts.clear_passwords);
  }
}

// How the sign-in fields read: older versions as password sign-in, a method
// this build does not know as OAuth (never the password to such an account),
// a refresh-token form it does not know as unreadable (field 23 is not taken
// as the token), a refresh token in form 0 (tools/account_dat.py) as
// scrambled and not sealed.
TEST(AccountFile, SignInFieldsByVersionAndValue) {
  StandInProtector taro("taro");
  const std::string v8 = EncodeAccountFile(SignInAccounts(), 8, &taro);
  const std::size_t tail = v8.rfind("\x16" "Taro <") - 2;  // Work's field 19
  const auto with = [&](std::size_t at, char value) {
    std::string b = v8;
    b[tail + at] = value;
    return b;
  };
  struct Case {
    const char* what;
    std::string bytes;
    int method, provider;
    std::string token;
    bool unreadable, clear;
  };
  const Case cases[] = {
      {"version 8 as written", v8, kSignInOAuth, 2, kWorkToken, false, false},
      {"version 7", EncodeAccountFile(SignInAccounts(), 7, &taro), kSignInPassword, 0, "", false, false},
      {"version 6", EncodeAccountFile(SignInAccounts(), 6, &taro), kSignInPassword, 0, "", false, true},
      {"unknown method 7", with(0, '\x07'), kSignInOAuth, 2, kWorkToken, false, false},
      {"method 0 keeps its fields", with(0, '\x00'), kSignInPassword, 2, kWorkToken, false, false},
      {"unknown provider 9 is kept", with(1, '\x09'), kSignInOAuth, 9, kWorkToken, false, false},
      {"unknown token form 2", with(2 + 1 + 22, '\x02'), kSignInOAuth, 2, "", true, false},
      {"token scrambled (form 0)", EncodeAccountFile(SignInAccounts(), 8, nullptr), kSignInOAuth, 2, kWorkToken,
       false, true},
  };
  for (const Case& c : cases) {
    for (AccountReader reader : kBothReaders) {
      AccountList back;
      AccountFileFacts facts;
      ASSERT_EQ(ParseAccountFile(c.bytes, reader, back, &taro, &facts), AccountFileStatus::kOk) << c.what;
      ASSERT_EQ(back.size(), 2u) << c.what;
      const CAccount& w = back[1];
      EXPECT_EQ(w.signin_method, c.method) << c.what;
      EXPECT_EQ(w.oauth_provider, c.provider) << c.what;
      EXPECT_EQ(w.refresh_token, c.token) << c.what;
      EXPECT_EQ(w.refresh_token_unreadable, c.unreadable) << c.what;
      EXPECT_TRUE(w.sealed_refresh_token.empty()) << c.what;  // only a sealed token that did not open is kept
      EXPECT_EQ(facts.clear_passwords, c.clear) << c.what;
      EXPECT_EQ(w.display_name, "Work") << c.what;
      EXPECT_EQ(back[0].signin_method, kSignInPassword) << c.what;
    }
  }
}

// A refresh token sealed for another user (or with no protector) reads empty
// and marked, like a password; written back, its sealed bytes stay as they
// were until a new sign-in gives a new token. One that cannot be sealed now
// is stored scrambled rather than lost, and counts as not protected.
TEST(AccountFile, ARefreshTokenThatCannotBeOpenedIsKept) {
  StandInProtector taro("taro"), hanako("hanako");
  const std::string bytes = EncodeAccountFile(SignInAccounts(), 8, &taro);
  for (PasswordProtector* p : {static_cast<PasswordProtector*>(&hanako), static_cast<PasswordProtector*>(nullptr)}) {
    AccountList back;
    ASSERT_EQ(ParseAccountFile(bytes, AccountReader::kEngine, back, p), AccountFileStatus::kOk);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].refresh_token, "");
    EXPECT_TRUE(back[1].refresh_token_unreadable);
    EXPECT_FALSE(back[1].sealed_refresh_token.empty());
    EXPECT_EQ(back[1].oauth_account, "Taro <taro@example.jp>");  // the rest reads as usual
    EXPECT_EQ(EncodeAccountFile(back, 8, &hanako), bytes);     // kept for its owner
    back[1].refresh_token = "new-token-after-sign-in";
    AccountList again;
    ParseAccountFile(EncodeAccountFile(back, 8, &hanako), AccountReader::kEngine, again, &hanako);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[1].refresh_token, "new-token-after-sign-in");
    EXPECT_FALSE(again[1].refresh_token_unreadable);
  }
  StandInProtector refusing;
  refusing.set_refuse(true);
  const std::string scrambled = EncodeAccountFile(SignInAccounts(), 8, &refusing);
  EXPECT_EQ(scrambled.substr(scrambled.size() - 2 - std::strlen(kWorkToken) - 1, 3),
            TW_BYTES("\x00\x00") + static_cast<char>(std::strlen(kWorkToken)));  // form 0, length
  EXPECT_NE(scrambled.find(Scrambled(kWorkToken)), std::string::npos);
  AccountList back;
  AccountFileFacts facts;
  ParseAccountFile(scrambled, AccountReader::kEngine, back, &taro, &facts);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1].refresh_token, kWorkToken);
  EXPECT_TRUE(facts.clear_passwords);
}

// A version-8 file that ends anywhere inside its last record (also inside
// the new fields) drops that record and keeps the one before.
TEST(AccountFile, AVersion8RecordCutShortIsDropped) {
  StandInProtector taro("taro");
  const std::string bytes = EncodeAccountFile(SignInAccounts(), 8, &taro);
  const std::size_t work = bytes.find("\x04" "Work");
  for (std::size_t cut = work; cut < bytes.size(); ++cut) {
    AccountList list;
    AccountFileFacts facts;
    ASSERT_EQ(ParseAccountFile(bytes.substr(0, cut), AccountReader::kEngine, list, &taro, &facts),
              AccountFileStatus::kOk);
    ASSERT_EQ(list.size(), 1u) << cut;
    EXPECT_EQ(list[0].display_name, "Home");
    EXPECT_FALSE(facts.whole);
  }
}

// The account dialog's port follow-up when the security mode changes.
TEST(AccountTlsMode, PortFollowsTheModeOnlyFromTheUsualPorts) {
  struct Case {
    int from, to, port, expected;
  };
  const Case cases[] = {
      {kTlsNone, kTlsOnConnect, 110, 995}, {kTlsStls, kTlsOnConnect, 110, 995},
      {kTlsOnConnect, kTlsNone, 995, 110}, {kTlsOnConnect, kTlsStls, 995, 110},
      {kTlsNone, kTlsOnConnect, 8110, 8110},  // the user's own port stays
      {kTlsOnConnect, kTlsNone, 8995, 8995},
      {kTlsNone, kTlsStls, 110, 110},  // STLS runs on the POP3 port
      {kTlsStls, kTlsNone, 995, 995},
      {kTlsOnConnect, kTlsOnConnect, 110, 110},  // no change of mode, no change of port
  };
  for (const Case& c : cases)
    EXPECT_EQ(PortForTlsMode(c.from, c.to, c.port), c.expected) << c.from << "->" << c.to << " " << c.port;
}

TEST(AccountFile, ForeignAndUnknownFilesGiveAnEmptyList) {
  struct Case {
    std::string bytes;
    AccountFileStatus status;
  };
  const Case cases[] = {
      {"", AccountFileStatus::kEmpty},  // holds nothing: a list to fill
      {"Tidewel", AccountFileStatus::kEmpty},
      {"tidewellv\x05\x00", AccountFileStatus::kForeign},  // the header is case-sensitive
      {"Tide\nwellv\x05", AccountFileStatus::kForeign},
      {"Tidewellx\x05\x01", AccountFileStatus::kForeign},   // no "v"
      {"Tidewell", AccountFileStatus::kEmpty},
      {"Tidewellv", AccountFileStatus::kEmpty},
      {TW_BYTES("Tidewellv\x00"), AccountFileStatus::kOldVersion},
      {TW_BYTES("Tidewellv\x02\x01"), AccountFileStatus::kOldVersion},
      {TW_BYTES("Tidewellv\x09\x01"), AccountFileStatus::kNewVersion},
      {TW_BYTES("Tidewellv\x05"), AccountFileStatus::kOk},  // count at end of file counts as 0
      {TW_BYTES("Tidewellv\x05\x00"), AccountFileStatus::kOk},
  };
  for (const Case& c : cases) {
    for (AccountReader reader : kBothReaders) EXPECT_TRUE(Parse(c.bytes, reader, c.status).empty()) << c.bytes;
  }
}

TEST(AccountFile, ACountBeyondTheFileStopsAtItsEnd) {
  std::string bytes = kAccountV5;
  bytes[10] = '\x09';  // promises nine records, holds two
  EXPECT_EQ(Parse(bytes, AccountReader::kEngine).size(), 2u);
  // Every cut inside the second record drops that record and keeps the first.
  const std::size_t first_end = kAccountV5.find("\x04" "Work");
  for (std::size_t cut = first_end; cut < kAccountV5.size(); ++cut) {
    const AccountList list = Parse(kAccountV5.substr(0, cut), AccountReader::kSettingsPage);
    ASSERT_EQ(list.size(), 1u) << cut;
    EXPECT_EQ(list[0].display_name, "Home");
  }
}

TEST(AccountFile, OversizedTextsAreCutToTheirFields) {
  // A foreign writer's record: 255-byte name, 1200-byte server, 20000-byte
  // command line.
  std::string bytes = TW_BYTES("Tidewellv\x05\x01");
  bytes += '\xFF' + std::string(255, 'n');
  bytes += TW_BYTES("\x01" "u" "\x01" "p");
  bytes += TW_BYTES("\x04\xB0") + std::string(1200, 's');
  bytes += TW_BYTES("\x00" "\x00\x6E" "\x00\x00" "\x00" "\x00\x00" "\x00\x00" "\x00" "\x00\x00" "\x00" "\x00"
                    "\x00\x00");
  bytes += TW_BYTES("\x4E\x20") + std::string(20000, 'c');
  bytes += TW_BYTES("\x00\x01") + "w";
  const CAccount a = Parse(bytes, AccountReader::kEngine).at(0);
  EXPECT_EQ(a.display_name.str(), std::string(199, 'n'));
  EXPECT_EQ(a.server.str(), std::string(999, 's'));
  EXPECT_EQ(a.command_line.str(), std::string(999, 'c'));
  EXPECT_EQ(a.work_folder, "w");  // the fields after a long one are still in step
}

TEST(AccountFile, TextsEndAtAnEmbeddedNul) {
  std::string bytes = kAccountV5;
  bytes[13] = '\0';  // "Home" -> "H\0me"
  EXPECT_EQ(Parse(bytes, AccountReader::kEngine).at(0).display_name, "H");
}

TEST(AccountFile, WriterStopsAt255Records) {
  AccountList list(300);
  const std::string bytes = EncodeAccountFile(list);
  EXPECT_EQ(static_cast<unsigned char>(bytes[10]), 255);
  EXPECT_EQ(Parse(bytes, AccountReader::kEngine).size(), 255u);
}

TEST(AccountFile, UniqueNamesCountOnePassWide) {
  struct Case {
    std::vector<std::string> in, out;
  };
  const Case cases[] = {
      {{"x", "x", "x", "y", "y"}, {"x", "x_1", "x_2", "y", "y_3"}},
      {{"x", "y", "x", "y"}, {"x", "y", "x_1", "y_2"}},
      {{"x", "x", "x_1"}, {"x", "x_1", "x_1_2"}},
      {{"Home", "home"}, {"Home", "home"}},  // letter case counts
      {{"a_1", "a", "a"}, {"a_1", "a", "a_2"}},  // never onto a name already there
  };
  for (const Case& c : cases) {
    AccountList list;
    for (const std::string& n : c.in) {
      list.emplace_back();
      list.back().display_name = n;
    }
    MakeDisplayNamesUnique(list);
    std::vector<std::string> names;
    for (const CAccount& a : list) names.push_back(a.display_name.str());
    EXPECT_EQ(names, c.out);
  }
  // A full-length name still gets its suffix: the base is shortened.
  AccountList list(2);
  list[0].display_name = list[1].display_name = std::string(199, 'n');
  MakeDisplayNamesUnique(list);
  EXPECT_EQ(list[1].display_name.str(), std::string(197, 'n') + "_1");
}

TEST(LegacyFile, Version1MakesNamesFromUserAndServer) {
  MissingCodec codec;  // version 1 needs no decoding
  AccountList list;
  ASSERT_TRUE(ParseLegacyAccountFile(kLegacyV1, codec, list));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].display_name, "u1<s1>");
  EXPECT_EQ(list[0].user_id, "u1");
  EXPECT_EQ(list[0].server, "s1");
  EXPECT_EQ(list[0].password, "pw");
  EXPECT_EQ(list[0].apop, 1);
  EXPECT_EQ(list[0].port, 110);
  EXPECT_EQ(list[1].password, "");
  EXPECT_EQ(list[2].display_name, "u1<s1>");
  EXPECT_EQ(list[2].password, "z");
}

TEST(LegacyFile, DamagedFilesStopAtTheirEnd) {
  MissingCodec codec;
  AccountList list;
  EXPECT_TRUE(ParseLegacyAccountFile("", codec, list));
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(ParseLegacyAccountFile("v", codec, list));
  EXPECT_TRUE(list.empty());
  std::string bytes = kLegacyV1;
  bytes[0] = '\x50';  // promises 80 records
  ASSERT_TRUE(ParseLegacyAccountFile(bytes.substr(0, bytes.size() - 1), codec, list));
  EXPECT_EQ(list.size(), 2u);
}

#ifdef TIDEWELL_HAVE_INKWELL2
TEST(LegacyFile, Version2DecodesPasswordsWithBase64) {
  CoreCodec codec;
  AccountList list;
  ASSERT_TRUE(ParseLegacyAccountFile(kLegacyV2, codec, list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].password, "abc");
  EXPECT_EQ(list[0].display_name, "x");
  EXPECT_EQ(list[0].port, 111);
  EXPECT_EQ(list[0].apop, 1);
  EXPECT_EQ(list[1].password, "secret");
  EXPECT_EQ(list[1].port, 999);
  EXPECT_EQ(codec.base64_calls, 2);
}

TEST(EngineLoad, MissingAccountFileConvertsTheLegacyFile) {
  TempFolder dir;
  ASSERT_TRUE(WriteFileAtomically(LegacyAccountFilePath(dir.path()), kLegacyV2));
  CoreCodec codec;
  StandInProtector protector;
  const AccountList list = LoadEngineAccounts(dir.path(), codec, protector);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].display_name, "x");
  EXPECT_EQ(list[1].display_name, "x_1");
  EXPECT_EQ(list[1].password, "secret");
  // Account.dat is now a version-8 file with the passwords sealed, and
  // Tidewell.dat, which holds them readable, is gone.
  std::string written;
  ASSERT_TRUE(ReadWholeFile(AccountFilePath(dir.path()), written));
  EXPECT_EQ(written.substr(0, 11), TW_BYTES("Tidewellv\x08\x02"));
  EXPECT_FALSE(std::filesystem::exists(LegacyAccountFilePath(dir.path())));
  EXPECT_EQ(written.find("secret"), std::string::npos);
  AccountList again;
  ParseAccountFile(written, AccountReader::kEngine, again, &protector);
  ASSERT_EQ(again.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) EXPECT_TRUE(SameStoredFields(again[i], list[i]));
  EXPECT_EQ(written, EncodeAccountFile(list, 8, &protector));
  // The codec's own reader finds the converted accounts too.
  inkwell2::AccountQuery query{"x_1", -1, &protector};
  const inkwell2::AccountAnswer found = inkwell2::read_account(written, query);
  ASSERT_TRUE(found.found);
  EXPECT_EQ(found.password, "secret");
  EXPECT_EQ(found.port, 999);
}

// The engine's load seals what is not sealed yet: files of versions 3 to 7
// and version-8 files written by tools/account_dat.py (password or refresh
// token scrambled only) are rewritten as version 8 (and a Tidewell.dat left
// from an old conversion goes); a sealed version-8 file, or one the reader
// could not take whole, is left as it is.
TEST(EngineLoad, UnsealedFilesAreRewrittenSealedOnce) {
  CAccount tool_account;
  tool_account.display_name = "t";
  tool_account.password = "toolpw";
  CAccount tool_oauth;
  tool_oauth.display_name = "o";
  tool_oauth.signin_method = kSignInOAuth;
  tool_oauth.oauth_provider = 2;
  tool_oauth.oauth_account = "taro@example.jp";
  tool_oauth.refresh_token = "1//refresh-token-of-the-tool";
  StandInProtector protector;
  const std::string tool_v7 = EncodeAccountFile({tool_account}, 7, nullptr);
  const std::string sealed_v7 = EncodeAccountFile({tool_account}, 7, &protector);
  const std::string tool_v8 = EncodeAccountFile({tool_account, tool_oauth}, 8, nullptr);
  const std::string tool_v8_token = EncodeAccountFile({tool_oauth}, 8, nullptr);
  const std::string sealed_v8 = EncodeAccountFile({tool_account, tool_oauth}, 8, &protector);
  const auto scrambled = [](const std::string& plain) {
    std::string s = plain;
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>(s[i] + i);
    return s;
  };
  ASSERT_NE(tool_v8_token.find(scrambled(tool_oauth.refresh_token)), std::string::npos);
  struct Case {
    const char* what;
    std::string bytes;
    bool rewritten;
  };
  const Case cases[] = {
      {"version 3", kAccountV3, true},
      {"version 4", kAccountV4, true},
      {"version 5", kAccountV5, true},
      {"version 6", kAccountV6, true},
      {"version 7 of the tool", tool_v7, true},
      {"version 7 sealed", sealed_v7, true},
      {"version 8 of the tool", tool_v8, true},
      {"version 8 of the tool, a refresh token only", tool_v8_token, true},
      {"version 8 sealed", sealed_v8, false},
      {"version 6 cut short", kAccountV6.substr(0, kAccountV6.size() - 1), false},
      {"version 6 with bytes after its records", kAccountV6 + "x", false},
  };
  for (const Case& c : cases) {
    TempFolder dir;
    ASSERT_TRUE(WriteFileAtomically(AccountFilePath(dir.path()), c.bytes));
    ASSERT_TRUE(WriteFileAtomically(LegacyAccountFilePath(dir.path()), kLegacyV2));
    CoreCodec codec;
    AccountList before;
    ParseAccountFile(c.bytes, AccountReader::kEngine, before, &protector);
    const AccountList list = LoadEngineAccounts(dir.path(), codec, protector);
    ASSERT_EQ(list.size(), before.size()) << c.what;
    std::string now;
    ASSERT_TRUE(ReadWholeFile(AccountFilePath(dir.path()), now));
    EXPECT_EQ(now != c.bytes, c.rewritten) << c.what;
    EXPECT_EQ(std::filesystem::exists(LegacyAccountFilePath(dir.path())), !c.rewritten) << c.what;
    EXPECT_EQ(codec.base64_calls, 0) << c.what;  // never the legacy conversion
    if (!c.rewritten) continue;
    AccountList back;
    AccountFileFacts facts;
    ASSERT_EQ(ParseAccountFile(now, AccountReader::kEngine, back, &protector, &facts), AccountFileStatus::kOk);
    EXPECT_EQ(facts.version, 8) << c.what;
    EXPECT_FALSE(facts.clear_passwords) << c.what;
    ASSERT_EQ(back.size(), list.size());
    for (std::size_t i = 0; i < back.size(); ++i) {
      EXPECT_TRUE(SameStoredFields(back[i], list[i])) << c.what << i;
      // (The fixtures' short passwords may occur by chance in other fields.)
      if (list[i].password.size() >= 5) EXPECT_EQ(now.find(list[i].password.str()), std::string::npos) << c.what;
      if (!list[i].refresh_token.empty()) {
        EXPECT_EQ(back[i].refresh_token, tool_oauth.refresh_token) << c.what;
        EXPECT_EQ(now.find(list[i].refresh_token), std::string::npos) << c.what;
        EXPECT_EQ(now.find(scrambled(list[i].refresh_token)), std::string::npos) << c.what;
      }
    }
    // The next start finds nothing to do.
    const std::string sealed_now = now;
    LoadEngineAccounts(dir.path(), codec, protector);
    ASSERT_TRUE(ReadWholeFile(AccountFilePath(dir.path()), now));
    EXPECT_EQ(now, sealed_now) << c.what;
  }
}

TEST(EngineLoad, AnOldVersionIsConvertedAForeignFileIsNot) {
  struct Case {
    std::string account_dat;
    std::size_t accounts;
  };
  const Case cases[] = {
      {TW_BYTES("Tidewellv\x02\x00"), 2},  // below 3: converted
      {"Tidewellv", 2},                     // no version byte: holds nothing, converted
      {"", 2},                              // 0 bytes: converted as if missing
      {"Tidewell", 2},
      {TW_BYTES("Tidewellv\x09\x00"), 0},  // newer: empty
      {TW_BYTES("Tidewellv\x08\x00"), 0},  // version 8 read, empty
      {TW_BYTES("Tidewellv\x07\x00"), 0},  // version 7 read, empty
      {TW_BYTES("Tidewellv\x06\x00"), 0},  // version 6 read, empty
      {"garbage", 0},                       // foreign: empty
      {TW_BYTES("Tidewellv\x05\x00"), 0},  // a valid empty file stays empty
  };
  for (const Case& c : cases) {
    TempFolder dir;
    ASSERT_TRUE(WriteFileAtomically(AccountFilePath(dir.path()), c.account_dat));
    ASSERT_TRUE(WriteFileAtomically(LegacyAccountFilePath(dir.path()), kLegacyV2));
    CoreCodec codec;
    StandInProtector protector;
    EXPECT_EQ(LoadEngineAccounts(dir.path(), codec, protector).size(), c.accounts) << c.account_dat;
  }
}

TEST(EngineLoad, ReadsTheAccountFileByTheEngineRules) {
  TempFolder dir;
  ASSERT_TRUE(WriteFileAtomically(AccountFilePath(dir.path()), kAccountV4));
  ASSERT_TRUE(WriteFileAtomically(LegacyAccountFilePath(dir.path()), kLegacyV2));
  CoreCodec codec;
  StandInProtector protector;
  const AccountList list = LoadEngineAccounts(dir.path(), codec, protector);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].exec_flag, 1);
  EXPECT_EQ(codec.base64_calls, 0);  // no conversion
  // The version-8 file the load wrote keeps the flags as the engine read them.
  EXPECT_EQ(LoadPageAccounts(dir.path(), protector).at(0).exec_flag, 1);
}

TEST(AccountFile, CodecReaderAgreesWithTheWriter) {
  const AccountList list = Parse(kAccountV5, AccountReader::kEngine);
  const std::string bytes = EncodeAccountFile(list);
  const inkwell2::AccountAnswer work = inkwell2::read_account(bytes, {"Work", -1});
  ASSERT_TRUE(work.found);
  EXPECT_EQ(work.user, "u");
  EXPECT_EQ(work.password, "pq");
  EXPECT_EQ(work.server, "s");
  EXPECT_EQ(work.port, 500);
  EXPECT_EQ(work.tls_mode, 0);
  AccountList secured = list;
  secured[0].tls_mode = kTlsStls;
  secured[1].tls_mode = kTlsOnConnect;
  const std::string secured_bytes = EncodeAccountFile(secured);
  EXPECT_EQ(inkwell2::read_account(secured_bytes, {"Home", -1}).tls_mode, kTlsStls);
  EXPECT_EQ(inkwell2::read_account(secured_bytes, {"Work", -1}).tls_mode, kTlsOnConnect);
  const inkwell2::AccountAnswer second = inkwell2::read_account(bytes, {"", 2});
  EXPECT_TRUE(second.enumerated);
  EXPECT_EQ(second.name, "Work");
  // Sealed passwords: opened with the protector; another user's gives an
  // empty password, marked; the fields after the password still read.
  StandInProtector taro("taro"), hanako("hanako");
  const std::string sealed_bytes = EncodeAccountFile(secured, 7, &taro);
  const inkwell2::AccountAnswer mine = inkwell2::read_account(sealed_bytes, {"Work", -1, &taro});
  ASSERT_TRUE(mine.found);
  EXPECT_EQ(mine.password, "pq");
  EXPECT_FALSE(mine.password_unreadable);
  EXPECT_EQ(mine.tls_mode, kTlsOnConnect);
  for (PasswordProtector* p : {static_cast<PasswordProtector*>(&hanako), static_cast<PasswordProtector*>(nullptr)}) {
    const inkwell2::AccountAnswer other = inkwell2::read_account(sealed_bytes, {"Work", -1, p});
    ASSERT_TRUE(other.found);
    EXPECT_EQ(other.password, "");
    EXPECT_TRUE(other.password_unreadable);
    EXPECT_EQ(other.user, "u");
    EXPECT_EQ(other.port, 500);
  }
  EXPECT_EQ(inkwell2::read_account(sealed_bytes, {"", 2}).name, "Work");
}

// The codec's reader takes version 8 as the store writes it: the sign-in
// fields of the account asked for, its refresh token opened with the user's
// key (or given from its scrambled form), and the records after it in step.
TEST(AccountFile, CodecReaderReadsTheSignInOfVersion8) {
  AccountList list = SignInAccounts();
  CAccount last;
  last.display_name = "Last";
  last.user_id = "after";
  last.port = 1110;
  list.push_back(last);
  StandInProtector taro("taro"), hanako("hanako");
  const std::string sealed = EncodeAccountFile(list, 8, &taro);
  const std::string scrambled = EncodeAccountFile(list, 8, nullptr);
  struct Case {
    const char* what;
    const std::string* bytes;
    PasswordProtector* protector;
    std::string token, password;
    bool unreadable;
  };
  const Case cases[] = {
      {"sealed, its owner", &sealed, &taro, kWorkToken, "hunter2", false},
      {"sealed, another user", &sealed, &hanako, "", "", true},
      {"sealed, no protector", &sealed, nullptr, "", "", true},
      {"scrambled", &scrambled, nullptr, kWorkToken, "hunter2", false},
  };
  for (const Case& c : cases) {
    const inkwell2::AccountAnswer work = inkwell2::read_account(*c.bytes, {"Work", -1, c.protector});
    ASSERT_TRUE(work.found) << c.what;
    EXPECT_EQ(work.signin_method, kSignInOAuth) << c.what;
    EXPECT_EQ(work.oauth_provider, 2) << c.what;
    EXPECT_EQ(work.oauth_account, "Taro <taro@example.jp>") << c.what;
    EXPECT_EQ(work.refresh_token, c.token) << c.what;
    EXPECT_EQ(work.refresh_token_unreadable, c.unreadable) << c.what;
    EXPECT_EQ(work.tls_mode, kTlsOnConnect) << c.what;
    const inkwell2::AccountAnswer home = inkwell2::read_account(*c.bytes, {"Home", -1, c.protector});
    ASSERT_TRUE(home.found) << c.what;
    EXPECT_EQ(home.signin_method, kSignInPassword) << c.what;
    EXPECT_EQ(home.password, c.password) << c.what;
    EXPECT_EQ(home.refresh_token, "") << c.what;
    EXPECT_FALSE(home.refresh_token_unreadable) << c.what;
    const inkwell2::AccountAnswer after = inkwell2::read_account(*c.bytes, {"Last", -1, c.protector});
    ASSERT_TRUE(after.found) << c.what;
    EXPECT_EQ(after.user, "after") << c.what;
    EXPECT_EQ(after.port, 1110) << c.what;
    EXPECT_EQ(inkwell2::read_account(*c.bytes, {"", 3}).name, "Last") << c.what;
  }
  // An unknown method reads as OAuth here too.
  std::string unknown = sealed;
  unknown[unknown.rfind("\x16" "Taro <") - 2] = '\x05';
  EXPECT_EQ(inkwell2::read_account(unknown, {"Work", -1, &taro}).signin_method, kSignInOAuth);
  // A record cut inside its refresh token is not delivered.
  const std::string cut = sealed.substr(0, sealed.find("\x04" "Last") - 1);
  EXPECT_FALSE(inkwell2::read_account(cut, {"Work", -1, &taro}).found);
  EXPECT_TRUE(inkwell2::read_account(cut, {"Home", -1, &taro}).found);
}

// The longest entry the account dialog accepts (149-byte display name, user
// ID and password of two-byte characters, a 999-byte server) is saved and
// read back whole by every reader: the settings page, the engine, and the
// codec library's GetAccount (lookup and enumeration) that the list uses.
TEST(AccountFile, TheLongestDialogEntryReadsBackWholeEverywhere) {
  std::string two_byte_74, two_byte_499;
  for (int i = 0; i < 74; ++i) two_byte_74 += "\x82\xa0";   // あ
  for (int i = 0; i < 499; ++i) two_byte_499 += "\x95\x5c";  // 表, second byte a backslash
  AccountEntryTexts t;
  t.display_name = two_byte_74 + "n";
  t.user_id = two_byte_74 + "u";
  t.password = two_byte_74 + "p";
  t.server = two_byte_499 + "s";
  t.port = "110";
  t.priority = "0";
  CAccount entry;
  ASSERT_TRUE(TakeAccountEntry(t, "", {}, entry).ok);
  TempFolder dir;
  CAccount other;
  other.display_name = "other";
  ASSERT_TRUE(SaveAccounts(dir.path(), {other, entry}, TestProtector()));

  for (AccountReader reader : kBothReaders) {
    AccountList list;
    ASSERT_EQ(ReadAccountFile(dir.path(), reader, list, &TestProtector()), AccountFileStatus::kOk);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_TRUE(SameStoredFields(list[1], entry));
  }
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(AccountFilePath(dir.path()), bytes));
  const inkwell2::AccountAnswer found = inkwell2::read_account(bytes, {t.display_name, -1, &TestProtector()});
  ASSERT_TRUE(found.found);
  EXPECT_EQ(found.user, t.user_id);
  EXPECT_EQ(found.password, t.password);
  EXPECT_EQ(found.server, t.server);
  EXPECT_EQ(inkwell2::read_account(bytes, {"", 2}).name, t.display_name);
}
#endif

TEST(EngineLoad, WithoutTheCodecLibraryNothingIsConverted) {
  TempFolder dir;
  ASSERT_TRUE(WriteFileAtomically(LegacyAccountFilePath(dir.path()), kLegacyV1));
  MissingCodec codec;
  StandInProtector protector;
  EXPECT_TRUE(LoadEngineAccounts(dir.path(), codec, protector).empty());
  EXPECT_FALSE(std::filesystem::exists(AccountFilePath(dir.path())));
}

TEST(EngineLoad, NoFilesAtAllGiveAnEmptyList) {
  TempFolder dir;
  MissingCodec codec;
  StandInProtector protector;
  EXPECT_TRUE(LoadEngineAccounts(dir.path(), codec, protector).empty());
  EXPECT_TRUE(LoadPageAccounts(dir.path(), protector).empty());
}

TEST(SaveAccounts, AFailedWriteLeavesTheOldFileWhole) {
  TempFolder dir;
  ASSERT_TRUE(WriteFileAtomically(AccountFilePath(dir.path()), kAccountV5));
  // The temporary file cannot be created: a folder stands in its place.
  std::filesystem::create_directory(AccountFilePath(dir.path()) + ".tmp~");
  AccountList list(1);
  list[0].display_name = "new";
  StandInProtector protector;
  EXPECT_FALSE(SaveAccounts(dir.path(), list, protector));
  std::string now;
  ASSERT_TRUE(ReadWholeFile(AccountFilePath(dir.path()), now));
  EXPECT_EQ(now, kAccountV5);
  std::filesystem::remove(AccountFilePath(dir.path()) + ".tmp~");
  EXPECT_TRUE(SaveAccounts(dir.path(), list, protector));
  EXPECT_EQ(LoadPageAccounts(dir.path(), protector).at(0).display_name, "new");
}

}  // namespace
}  // namespace tidewell
