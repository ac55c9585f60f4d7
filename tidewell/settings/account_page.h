// The account list of the settings page "アカウント": the page's own copy of
// Account.dat, the three commands Add, Change and Delete with the priority
// invariant, and the released-name list with its apply step.
//
// The commands take the values that the account dialog returned, so the page
// only wires them to its controls:
//   Add:    if (!list.CanAdd()) refuse; run the dialog with a default CAccount
//           and list.accounts(); on OK list.Add(dialog values).
//   Change: list.CheckSelection(mark, first column text); on kMismatch show
//           kChangeErrorText; on kOk run the dialog with accounts()[mark];
//           on OK list.Change(mark, dialog values).
//   Delete: list.Delete(mark, first column text); on kMismatch show
//           kDeleteErrorText.
//   Apply:  list.Apply(data_folder, codec, protector).
// Every command that returns success changed the list: refill the list view
// and mark the page modified.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "tidewell/settings/account.h"
#include "tidewell/settings/account_file.h"
#include "common/codec_calls.h"
#include "common/oauth/providers.h"
#include "common/oauth/signin_flow.h"

namespace tidewell {

// Message box texts of the page (no caption, OK button).
constexpr const char kChangeErrorText[] = "エラーのため、変更できません。";
constexpr const char kDeleteErrorText[] = "削除に失敗しました。";

// The line under the list when the page keeps Account.dat as it is (its
// commands are off meanwhile).
constexpr const char kAccountFileBusyNote[] =
    "Account.dat を開けません（使用中かアクセス拒否）。設定を開き直すと読み込みます。";
constexpr const char kAccountFileNewerNote[] = "Account.dat が新しい版のため、変更できません。";
constexpr const char kAccountFileForeignNote[] = "Account.dat の形式が違うため、変更できません。";
constexpr const char kAccountFileLegacyNote[] =
    "Account.dat が古い版です（Tidewell.dat の変換待ち）。アカウントは変更できません。";

enum class SelectionStatus {
  kOk,
  kNone,      // no selection mark, or past the last record: do nothing
  kMismatch,  // the list view shows another name at that position
};

class AccountPageList {
 public:
  AccountPageList() = default;
  explicit AccountPageList(AccountList accounts) : accounts_(std::move(accounts)) {}

  // Page initialisation: the list of Account.dat, released names emptied.
  // Returns how the file read. A file whose accounts the page cannot take
  // (see PageMaySave) gives an empty list that must never be saved over it:
  // Apply then refuses (may_save()). Every showing of the sheet loads anew.
  AccountFileStatus Load(const std::string& data_folder, PasswordProtector& protector);

  // False after Load found a file that must be kept as it is.
  bool may_save() const { return may_save_; }
  AccountFileStatus status() const { return status_; }

  const AccountList& accounts() const { return accounts_; }

  // "name\n" for every display name whose account mail file is to be deleted
  // at the next apply, in the order collected.
  const std::string& released_names() const { return released_; }

  // A 256th account is never created (the file counts in one byte).
  bool CanAdd() const { return accounts_.size() < kMaxAccounts; }

  // Appends the dialog's values as a new account. Its priority P is limited to
  // M + 1 (M the largest priority, at least 1); when P is not 0, every other
  // non-zero priority >= P moves down one rank. Returns false, list unchanged,
  // when the list is full.
  bool Add(const CAccount& values);

  // Selection test for Change and Delete: mark is the list view's selection
  // mark (-1 for none), shown_name the first-column text of that item.
  SelectionStatus CheckSelection(int mark, std::string_view shown_name) const;

  // Copies the dialog's values into the record at index. A changed display
  // name releases the old one. Priorities: with Z the old priority and M the
  // largest one (old value in place, at least 1), P is limited to M + 1 when Z
  // is 0, else to M; when Z is not 0 the others above Z move up one rank; then
  // when P is not 0 the other non-zero priorities >= P move down one rank.
  // Returns false when index is out of range.
  bool Change(int index, const CAccount& values);

  // Deletes the selected record (no question asked): releases its name,
  // closes the gap, and the priorities above the removed one move up a rank.
  SelectionStatus Delete(int mark, std::string_view shown_name);

  // Save list (version 6, atomic), then apply the released names: for each
  // one, its digest through codec.Md5Hex names <folder>\Mail\<digest>, which
  // is deleted when it exists and is not a folder; the names are then
  // removed. Without the codec no file is deleted. Returns false, deleting
  // nothing and keeping the released names for the next apply, when the file
  // could not be written or must be kept (may_save() false).
  bool Apply(const std::string& data_folder, CodecCalls& codec, PasswordProtector& protector);

 private:
  AccountList accounts_;
  std::string released_;
  bool may_save_ = true;
  AccountFileStatus status_ = AccountFileStatus::kMissing;
};

// Whether the page may fill the list and save it over what Load found
// (legacy_present: Tidewell.dat exists in the data folder):
//   missing, holding nothing, or read          yes
//   there but not readable now                 no (another program holds it, or no access: read again next time)
//   foreign, or newer than this build          no
//   older than version 3                       only without Tidewell.dat (with it, the engine converts that file)
bool PageMaySave(AccountFileStatus status, bool legacy_present);

// The line the page shows when it may not save: why, and that the accounts
// cannot be changed. "" when it may.
const char* AccountPageNote(AccountFileStatus status, bool may_save);

// ---- The account dialog's sign-in method ------------------------------------

// The choices of the method control, in their order. APOP is the stored apop
// flag of a password account.
enum class SignInChoice { kPassword = 0, kApop = 1, kOAuth = 2 };
constexpr const char* kSignInChoiceNames[] = {"パスワード", "APOP", "OAuth 2.0"};
constexpr int kSignInChoiceCount = 3;
// The provider control's choices: provider numbers 1, 2, 3 in this order.
constexpr const char* kProviderNames[] = {"Microsoft", "Google", "カスタム"};
constexpr int kProviderCount = 3;

// What the method control shows for an account: OAuth for every method but
// the password one (a method this build does not know is checked as OAuth,
// so it shows so), else APOP or password by the apop flag.
SignInChoice SignInChoiceOf(const CAccount& account);
// The provider control's index (0..2) for an account; Microsoft for none.
int ProviderIndexOf(const CAccount& account);
oauth::OAuthProvider ProviderOfIndex(int index);

// Which controls the method enables: the password edit for password and
// APOP; the provider control and the sign-in button for OAuth. While a
// sign-in runs the method and provider controls are off (its answer belongs
// to the provider it started with) and the button reads "中止".
struct SignInControls {
  bool password = false;
  bool method = true;
  bool provider = false;
  bool signin = false;
};
SignInControls SignInControlsFor(SignInChoice choice, bool signing_in);

// The dialog's line under the provider: who signed in, or that a sign-in is
// needed before a check; "" for the password methods. provider_index is what
// the provider control shows: another provider than the one signed in with
// needs a new sign-in.
std::string SignInStatusLine(const CAccount& account, SignInChoice choice, int provider_index);

// The warnings under it: the provider's settings problem (naming the
// Tidewell.ini section and key) and OAuth over a connection that is not
// secured. "" when there is none.
std::string SignInNotes(SignInChoice choice, oauth::OAuthProvider provider, oauth::ProviderProblem problem,
                        int tls_mode);
constexpr const char kOAuthNotSecuredNote[] =
    "OAuth 2.0 では接続の保護を STLS か SSL/TLS にしてください（トークンは暗号化しない接続では送りません）。";

// OK: the method and provider into the account. Password and APOP set the
// method and the apop flag and drop an OAuth sign-in (no token is kept that
// is not used); OAuth keeps the apop flag as stored, and a provider other
// than the signed-in one drops that sign-in.
void TakeSignInChoice(SignInChoice choice, int provider_index, CAccount& account);

// A finished sign-in into the account: method OAuth with that provider, who
// signed in and the refresh token (replacing one that could not be read).
// An empty user ID is filled with who signed in when that fits the user ID
// field (kUserIdMaxBytes). Returns true when the user ID was filled.
bool ApplySignIn(const oauth::SignInResult& result, oauth::OAuthProvider provider, CAccount& account);

// Deletes the account mail file of one display name when it exists and is not
// a folder. Returns true when a file was deleted.
bool DeleteAccountMailFile(const std::string& data_folder, const std::string& display_name, CodecCalls& codec);

}  // namespace tidewell
