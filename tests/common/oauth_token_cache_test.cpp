// Token.dat: the access tokens of the OAuth accounts between checks, keyed by
// account and origin refresh token, sealed, replaced whole; damaged files
// read as no entries.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/atomic_file.h"
#include "common/oauth/sha256.h"
#include "common/oauth/token_cache.h"
#include "common/paths.h"
#include "tests/common/stand_in_protector.h"
#include "tests/settings/temp_folder.h"

namespace tidewell {
namespace oauth {
namespace {

const char kOrigin[] = "1//origin-refresh-token-of-home";

CachedToken Token(const std::string& access, std::int64_t expires_at, const std::string& rotated = "") {
  CachedToken t;
  t.access_token = access;
  t.expires_at = expires_at;
  t.refresh_token = rotated;
  return t;
}

std::string FileBytes(const TempFolder& dir) {
  std::string bytes;
  ReadWholeFile(JoinPath(dir.path(), kTokenFileName), bytes);
  return bytes;
}

TEST(TokenCache, StoredTokensLoadBackForTheirAccountAndOrigin) {
  TempFolder dir;
  StandInProtector taro("taro");
  CachedToken out;
  EXPECT_FALSE(LoadCachedToken(dir.path(), "Home", kOrigin, taro, out));  // no file yet
  ASSERT_TRUE(StoreCachedToken(dir.path(), "Home", kOrigin, Token("ya29.home-access", 1700000000, "1//rotated"),
                               taro));
  ASSERT_TRUE(StoreCachedToken(dir.path(), "Work", "1//work-origin", Token("EwA-work-access", -1), taro));
  ASSERT_TRUE(LoadCachedToken(dir.path(), "Home", kOrigin, taro, out));
  EXPECT_EQ(out.access_token, "ya29.home-access");
  EXPECT_EQ(out.expires_at, 1700000000);
  EXPECT_EQ(out.refresh_token, "1//rotated");
  ASSERT_TRUE(LoadCachedToken(dir.path(), "Work", "1//work-origin", taro, out));
  EXPECT_EQ(out.access_token, "EwA-work-access");
  EXPECT_EQ(out.expires_at, -1);
  EXPECT_EQ(out.refresh_token, "");  // none rotated: Account.dat's holds

  // Nothing of the tokens, nor the origin refresh token, is in the file as
  // it is; the origin is its SHA-256 alone.
  const std::string bytes = FileBytes(dir);
  for (const char* secret : {"ya29.home-access", "1//rotated", "EwA-work-access", kOrigin, "1//work-origin"})
    EXPECT_EQ(bytes.find(secret), std::string::npos) << secret;
  const Sha256::Digest origin = Sha256::Of(kOrigin);
  EXPECT_NE(bytes.find(std::string(reinterpret_cast<const char*>(origin.data()), origin.size())), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(JoinPath(dir.path(), kTokenFileName) + ".tmp~"));
}

// The entry is used only by its account, with the refresh token it came
// from, and by the user who sealed it.
TEST(TokenCache, AnEntryOfAnotherOriginAccountOrUserGivesNone) {
  TempFolder dir;
  StandInProtector taro("taro"), hanako("hanako");
  ASSERT_TRUE(StoreCachedToken(dir.path(), "Home", kOrigin, Token("access", 100), taro));
  struct Case {
    const char* what;
    std::string account, origin;
    PasswordProtector* protector;
  };
  const Case cases[] = {
      {"a new sign-in (another refresh token)", "Home", "1//after-a-new-sign-in", &taro},
      {"no refresh token", "Home", "", &taro},
      {"another account", "home", kOrigin, &taro},
      {"a name that starts alike", "Hom", kOrigin, &taro},
      {"another user's key", "Home", kOrigin, &hanako},
  };
  for (const Case& c : cases) {
    CachedToken out = Token("left over", 5, "left over");
    EXPECT_FALSE(LoadCachedToken(dir.path(), c.account, c.origin, *c.protector, out)) << c.what;
    EXPECT_EQ(out.access_token, "") << c.what;
    EXPECT_EQ(out.refresh_token, "") << c.what;
    EXPECT_EQ(out.expires_at, 0) << c.what;
  }
}

// Each store replaces the account's one entry (whatever its origin) and
// keeps the others; Forget removes the account's entry only.
TEST(TokenCache, StoreAndForgetKeepTheOtherAccounts) {
  TempFolder dir;
  StandInProtector taro;
  ASSERT_TRUE(StoreCachedToken(dir.path(), "Home", kOrigin, Token("home-1", 1), taro));
  ASSERT_TRUE(StoreCachedToken(dir.path(), "Work", "w", Token("work-1", 2), taro));
  ASSERT_TRUE(StoreCachedToken(dir.path(), "Home", "1//new-origin", Token("home-2", 3), taro));
  std::vector<TokenEntry> entries;
  ASSERT_TRUE(ParseTokenFile(FileBytes(dir), entries));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].account, "Home");  // the newest first
  EXPECT_EQ(entries[1].account, "Work");
  CachedToken out;
  EXPECT_FALSE(LoadCachedToken(dir.path(), "Home", kOrigin, taro, out));  // the old origin's entry is gone
  ASSERT_TRUE(LoadCachedToken(dir.path(), "Home", "1//new-origin", taro, out));
  EXPECT_EQ(out.access_token, "home-2");
  ASSERT_TRUE(LoadCachedToken(dir.path(), "Work", "w", taro, out));
  EXPECT_EQ(out.access_token, "work-1");

  ASSERT_TRUE(ForgetCachedToken(dir.path(), "Home", taro));
  EXPECT_FALSE(LoadCachedToken(dir.path(), "Home", "1//new-origin", taro, out));
  ASSERT_TRUE(LoadCachedToken(dir.path(), "Work", "w", taro, out));
  EXPECT_EQ(out.access_token, "work-1");
  const std::string before = FileBytes(dir);
  EXPECT_TRUE(ForgetCachedToken(dir.path(), "Nobody", taro));  // nothing to forget
  EXPECT_EQ(FileBytes(dir), before);
  TempFolder empty;
  EXPECT_TRUE(ForgetCachedToken(empty.path(), "Home", taro));  // no file: nothing written
  EXPECT_FALSE(std::filesystem::exists(JoinPath(empty.path(), kTokenFileName)));
}

// What cannot be sealed is not kept at all: no token in clear, the file
// stays as it was.
TEST(TokenCache, ATokenThatCannotBeSealedIsNotStored) {
  TempFolder dir;
  StandInProtector taro;
  ASSERT_TRUE(StoreCachedToken(dir.path(), "Work", "w", Token("work-1", 2), taro));
  const std::string before = FileBytes(dir);
  StandInProtector refusing;
  refusing.set_refuse(true);
  EXPECT_FALSE(StoreCachedToken(dir.path(), "Home", kOrigin, Token("home-access", 1), refusing));
  EXPECT_EQ(FileBytes(dir), before);
  EXPECT_FALSE(StoreCachedToken(dir.path(), "Home", kOrigin, Token("", 1), taro));  // no access token
  EXPECT_FALSE(StoreCachedToken(dir.path(), "", kOrigin, Token("a", 1), taro));     // no account
  EXPECT_EQ(FileBytes(dir), before);
}

// A damaged Token.dat has no entries: cut anywhere, bytes after its last
// entry, another header, larger than the cap. It is never read past its end,
// and the next store starts it afresh.
TEST(TokenCache, DamagedFilesHoldNoEntries) {
  TempFolder dir;
  StandInProtector taro;
  ASSERT_TRUE(StoreCachedToken(dir.path(), "Work", "w", Token("work-1", 2, "rotated"), taro));
  ASSERT_TRUE(StoreCachedToken(dir.path(), "Home", kOrigin, Token("home-1", 1), taro));
  const std::string good = FileBytes(dir);
  std::vector<TokenEntry> entries;
  ASSERT_TRUE(ParseTokenFile(good, entries));
  ASSERT_EQ(entries.size(), 2u);
  std::vector<std::string> damaged;
  for (std::size_t cut = 0; cut < good.size(); ++cut) damaged.push_back(good.substr(0, cut));
  damaged.push_back(good + "x");
  std::string other_version = good;
  other_version[9] = '\x02';
  damaged.push_back(other_version);
  std::string more = good;
  more[10] = '\x03';  // promises three entries, holds two
  damaged.push_back(more);
  std::string huge = good + std::string(kMaxTokenFile, '\0');
  huge[10] = '\xFF';
  damaged.push_back(huge);
  for (const std::string& bytes : damaged) {
    EXPECT_FALSE(ParseTokenFile(bytes, entries)) << bytes.size();
    EXPECT_TRUE(entries.empty());
    ASSERT_TRUE(WriteFileAtomically(JoinPath(dir.path(), kTokenFileName), bytes));
    CachedToken out;
    EXPECT_FALSE(LoadCachedToken(dir.path(), "Home", kOrigin, taro, out)) << bytes.size();
  }
  ASSERT_TRUE(StoreCachedToken(dir.path(), "Home", kOrigin, Token("home-2", 1), taro));
  CachedToken out;
  ASSERT_TRUE(LoadCachedToken(dir.path(), "Home", kOrigin, taro, out));
  EXPECT_EQ(out.access_token, "home-2");
}

// The writer never makes a file its reader refuses: at most 255 entries and
// kMaxTokenFile bytes, the later (older) entries left out first; entries
// whose texts do not fit their fields are skipped.
TEST(TokenCache, TheWriterStaysWithinWhatTheReaderTakes) {
  std::vector<TokenEntry> many(300);
  for (std::size_t i = 0; i < many.size(); ++i) {
    many[i].account = "a" + std::to_string(i);
    many[i].origin = std::string(32, static_cast<char>(i));
    many[i].expires_at = static_cast<std::int64_t>(i) - 1;
    many[i].sealed_access_token = "sealed" + std::to_string(i);
  }
  many[1].account = std::string(256, 'n');  // longer than its 1-byte length
  many[2].origin = "short";
  std::vector<TokenEntry> back;
  ASSERT_TRUE(ParseTokenFile(EncodeTokenFile(many), back));
  ASSERT_EQ(back.size(), 255u);
  EXPECT_EQ(back[0].account, "a0");
  EXPECT_EQ(back[1].account, "a3");
  EXPECT_EQ(back[254].account, "a256");
  EXPECT_EQ(back[254].expires_at, 255);
  EXPECT_EQ(back[0].expires_at, -1);

  std::vector<TokenEntry> large(20);
  for (std::size_t i = 0; i < large.size(); ++i) {
    large[i].account = "big" + std::to_string(i);
    large[i].origin = std::string(32, 'o');
    large[i].sealed_access_token = std::string(60000, 'a');
  }
  const std::string bytes = EncodeTokenFile(large);
  EXPECT_LE(bytes.size(), kMaxTokenFile);
  ASSERT_TRUE(ParseTokenFile(bytes, back));
  ASSERT_EQ(back.size(), 17u);  // 17 entries of about 60 KB fit in 1 MiB
  EXPECT_EQ(back[16].account, "big16");
}

}  // namespace
}  // namespace oauth
}  // namespace tidewell
