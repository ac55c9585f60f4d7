#include "tidewell/engine/mail_cleanup.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "notify_test_codec.h"

namespace tidewell {
namespace {

using testing::CoreNotifyCodec;
using testing::MissingNotifyCodec;

// A folder listing in memory that records what was deleted.
class FakeMailFolder : public MailFolder {
 public:
  explicit FakeMailFolder(std::vector<std::string> names) : names_(std::move(names)) {}
  std::vector<std::string> Names() override { return names_; }
  void Delete(const std::string& name) override { deleted.push_back(name); }
  std::vector<std::string> deleted;

 private:
  std::vector<std::string> names_;
};

TEST(CleanUpMailFolder, KeepsCurrentAccountsAndLastCheckHashes) {
  CoreNotifyCodec codec;
  const std::string kept_account = inkwell2::md5_hex("current");
  const std::string removed_account = inkwell2::md5_hex("removed");
  const std::string cached_kept = inkwell2::md5_hex("header of a mail still on the server");
  const std::string cached_stale = inkwell2::md5_hex("header of a mail gone from the server");
  std::string upper = kept_account;
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  const std::string hash_list = cached_kept + "\n";

  FakeMailFolder folder({".", "..", kept_account, removed_account, cached_kept, cached_stale, upper, "hash.dat",
                         "mailtemp.eml", kept_account.substr(1), kept_account + "0", kept_account + ".uid",
                         removed_account + ".uid", removed_account + ".UID", removed_account + ".uidx",
                         "hash.dat.uid"});
  CleanUpMailFolder(codec, {"current", "other"}, hash_list, folder);

  // An account's unique-id cache stays with the account and goes with it.
  std::vector<std::string> expected = {removed_account, cached_stale, upper, removed_account + ".uid",
                                       "mailtemp.eml"};
  EXPECT_EQ(folder.deleted, expected);
}

TEST(CleanUpMailFolder, WithoutDigestsOnlyTheTemporaryMessageGoes) {
  MissingNotifyCodec codec;
  const std::string account_file = inkwell2::md5_hex("current");
  FakeMailFolder folder({account_file, "hash.dat"});
  CleanUpMailFolder(codec, {"current"}, "", folder);
  EXPECT_EQ(folder.deleted, std::vector<std::string>{"mailtemp.eml"});
}

TEST(CleanupKeepText, DigestsThenHashList) {
  CoreNotifyCodec codec;
  bool ok = false;
  EXPECT_EQ(CleanupKeepText(codec, {"a", "b"}, "h1\nh2\n", &ok),
            inkwell2::md5_hex("a") + "\n" + inkwell2::md5_hex("b") + "\nh1\nh2\n");
  EXPECT_TRUE(ok);
  EXPECT_TRUE(ShouldDeleteMailFile(std::string(32, 'f'), "abc"));
  EXPECT_FALSE(ShouldDeleteMailFile(std::string(31, 'f'), "abc"));
}

}  // namespace
}  // namespace tidewell
