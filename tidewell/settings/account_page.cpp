#include "tidewell/settings/account_page.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "tidewell/settings/account_file.h"
#include "tidewell/settings/sheet_rules.h"
#include "common/atomic_file.h"
#include "common/paths.h"

namespace tidewell {

namespace {

// Largest priority of the list, taken as at least 1.
int LargestPriority(const AccountList& accounts) {
  int m = 1;
  for (const CAccount& a : accounts) m = std::max(m, a.priority);
  return m;
}

// Every account but skip whose priority is not 0 and at least p moves down one rank.
void MakeRoomAt(AccountList& accounts, int p, std::size_t skip) {
  if (p == 0) return;
  for (std::size_t i = 0; i < accounts.size(); ++i)
    if (i != skip && accounts[i].priority != 0 && accounts[i].priority >= p) ++accounts[i].priority;
}

// Every account but skip whose priority is above z moves up one rank.
void CloseGapAt(AccountList& accounts, int z, std::size_t skip) {
  if (z == 0) return;
  for (std::size_t i = 0; i < accounts.size(); ++i)
    if (i != skip && accounts[i].priority > z) --accounts[i].priority;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == S_IFDIR;
}

}  // namespace

AccountFileStatus AccountPageList::Load(const std::string& data_folder, PasswordProtector& protector) {
  released_.clear();
  status_ = ReadAccountFile(data_folder, AccountReader::kSettingsPage, accounts_, &protector);
  may_save_ = PageMaySave(status_, !FileMissing(LegacyAccountFilePath(data_folder)));
  if (!may_save_) accounts_.clear();
  return status_;
}

bool PageMaySave(AccountFileStatus status, bool legacy_present) {
  switch (status) {
    case AccountFileStatus::kOk:
    case AccountFileStatus::kMissing:
    case AccountFileStatus::kEmpty: return true;
    case AccountFileStatus::kOldVersion: return !legacy_present;
    case AccountFileStatus::kUnreadable:
    case AccountFileStatus::kForeign:
    case AccountFileStatus::kNewVersion: return false;
  }
  return false;
}

const char* AccountPageNote(AccountFileStatus status, bool may_save) {
  if (may_save) return "";
  switch (status) {
    case AccountFileStatus::kUnreadable: return kAccountFileBusyNote;
    case AccountFileStatus::kNewVersion: return kAccountFileNewerNote;
    case AccountFileStatus::kOldVersion: return kAccountFileLegacyNote;
    default: return kAccountFileForeignNote;
  }
}

bool AccountPageList::Add(const CAccount& values) {
  if (!CanAdd()) return false;
  const int m = LargestPriority(accounts_);
  CAccount a;
  CopyStoredFields(values, a);
  if (a.priority > m + 1) a.priority = m + 1;
  accounts_.push_back(a);
  MakeRoomAt(accounts_, a.priority, accounts_.size() - 1);
  return true;
}

SelectionStatus AccountPageList::CheckSelection(int mark, std::string_view shown_name) const {
  if (mark < 0 || static_cast<std::size_t>(mark) >= accounts_.size()) return SelectionStatus::kNone;
  if (accounts_[static_cast<std::size_t>(mark)].display_name != shown_name) return SelectionStatus::kMismatch;
  return SelectionStatus::kOk;
}

bool AccountPageList::Change(int index, const CAccount& values) {
  if (index < 0 || static_cast<std::size_t>(index) >= accounts_.size()) return false;
  const std::size_t at = static_cast<std::size_t>(index);
  CAccount& a = accounts_[at];
  if (a.display_name != values.display_name) {
    released_ += a.display_name.str();
    released_ += '\n';
  }
  const int z = a.priority;
  const int m = LargestPriority(accounts_);
  CopyStoredFields(values, a);
  // A sign-in the dialog replaced or gave up takes the sealed token that
  // could not be opened with it.
  if (!values.refresh_token_unreadable) {
    a.refresh_token_unreadable = false;
    a.sealed_refresh_token.clear();
  }
  int p = a.priority;
  const int limit = z == 0 ? m + 1 : m;
  if (p > limit) p = limit;
  a.priority = p;
  CloseGapAt(accounts_, z, at);
  MakeRoomAt(accounts_, p, at);
  return true;
}

SelectionStatus AccountPageList::Delete(int mark, std::string_view shown_name) {
  const SelectionStatus status = CheckSelection(mark, shown_name);
  if (status != SelectionStatus::kOk) return status;
  const std::size_t at = static_cast<std::size_t>(mark);
  released_ += accounts_[at].display_name.str();
  released_ += '\n';
  const int d = accounts_[at].priority;
  accounts_.erase(accounts_.begin() + static_cast<std::ptrdiff_t>(at));
  CloseGapAt(accounts_, d, accounts_.size());
  return SelectionStatus::kOk;
}

bool DeleteAccountMailFile(const std::string& data_folder, const std::string& display_name, CodecCalls& codec) {
  const std::string digest = codec.Md5Hex(display_name);
  if (digest.empty()) return false;  // codec library missing: keep the file
  const std::string path = AccountMailFilePath(data_folder, digest);
  if (IsFolder(path)) return false;
  return std::remove(path.c_str()) == 0;
}

bool AccountPageList::Apply(const std::string& data_folder, CodecCalls& codec, PasswordProtector& protector) {
  // The file first: when it cannot be written, the old file still names the
  // released accounts, so their mail files stay too.
  if (!may_save_ || !SaveAccounts(data_folder, accounts_, protector)) return false;
  std::size_t begin = 0;
  while (begin < released_.size()) {
    std::size_t end = released_.find('\n', begin);
    if (end == std::string::npos) end = released_.size();
    DeleteAccountMailFile(data_folder, released_.substr(begin, end - begin), codec);
    begin = end + 1;
  }
  released_.clear();
  return true;
}

// ---- sign-in method ------------------------------------------------------------

SignInChoice SignInChoiceOf(const CAccount& account) {
  if (account.signin_method != kSignInPassword) return SignInChoice::kOAuth;
  return account.apop == 1 ? SignInChoice::kApop : SignInChoice::kPassword;
}

int ProviderIndexOf(const CAccount& account) {
  return account.oauth_provider >= 1 && account.oauth_provider <= kProviderCount ? account.oauth_provider - 1 : 0;
}

oauth::OAuthProvider ProviderOfIndex(int index) {
  if (index == 1) return oauth::OAuthProvider::kGoogle;
  if (index == 2) return oauth::OAuthProvider::kCustom;
  return oauth::OAuthProvider::kMicrosoft;
}

SignInControls SignInControlsFor(SignInChoice choice, bool signing_in) {
  SignInControls c;
  const bool oauth = choice == SignInChoice::kOAuth;
  c.password = !oauth;
  c.method = !signing_in;
  c.provider = oauth && !signing_in;
  c.signin = oauth || signing_in;
  return c;
}

std::string SignInStatusLine(const CAccount& account, SignInChoice choice, int provider_index) {
  if (choice != SignInChoice::kOAuth) return {};
  const bool same_provider = account.oauth_provider == provider_index + 1;
  if (!account.refresh_token.empty() && same_provider) {
    if (account.oauth_account.empty()) return "サインイン済み";
    return "サインイン済み: " + account.oauth_account.str();
  }
  if (account.refresh_token_unreadable && same_provider)
    return "未サインイン（保存されたトークンを読み取れません。サインインし直してください）";
  return "未サインイン（メールチェックの前にサインインしてください）";
}

std::string SignInNotes(SignInChoice choice, oauth::OAuthProvider provider, oauth::ProviderProblem problem,
                        int tls_mode) {
  if (choice != SignInChoice::kOAuth) return {};
  std::string notes = oauth::ProviderSettingsNote(provider, problem);
  if (tls_mode == kTlsNone) {
    if (!notes.empty()) notes += "\r\n";
    notes += kOAuthNotSecuredNote;
  }
  return notes;
}

namespace {

void DropSignIn(CAccount& account) {
  account.refresh_token.clear();
  account.oauth_account = "";
  account.refresh_token_unreadable = false;
  account.sealed_refresh_token.clear();
}

}  // namespace

void TakeSignInChoice(SignInChoice choice, int provider_index, CAccount& account) {
  if (choice != SignInChoice::kOAuth) {
    account.signin_method = kSignInPassword;
    account.apop = choice == SignInChoice::kApop ? 1 : 0;
    account.oauth_provider = 0;
    DropSignIn(account);
    return;
  }
  account.signin_method = kSignInOAuth;
  const int provider = provider_index >= 0 && provider_index < kProviderCount ? provider_index + 1 : 1;
  if (account.oauth_provider != provider) DropSignIn(account);
  account.oauth_provider = provider;
}

bool ApplySignIn(const oauth::SignInResult& result, oauth::OAuthProvider provider, CAccount& account) {
  if (result.outcome != oauth::SignInOutcome::kSignedIn) return false;
  account.signin_method = kSignInOAuth;
  account.oauth_provider = static_cast<int>(provider);
  account.oauth_account = result.user_name;
  account.refresh_token = result.refresh_token;
  account.refresh_token_unreadable = false;
  account.sealed_refresh_token.clear();
  if (!account.user_id.empty() || result.user_name.empty() || result.user_name.size() > kUserIdMaxBytes) return false;
  account.user_id = result.user_name;
  return true;
}

}  // namespace tidewell
