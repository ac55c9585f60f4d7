// CAccount: one POP3 account, and the account list. The display name is the
// account's key: unique in the list, and the MD5 text of it names the
// account mail file <data folder>\Mail\<digest>.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tidewell/settings/text_field.h"

namespace tidewell {

// How an account's POP3 connection is secured.
constexpr int kTlsNone = 0;       // clear text
constexpr int kTlsStls = 1;       // clear greeting, STLS, then TLS before the login
constexpr int kTlsOnConnect = 2;  // TLS from the first byte (POP3S)

// The usual ports of the modes: choosing TLS on connect with port 110 moves
// the port to 995, and back.
constexpr int kPop3Port = 110;
constexpr int kPop3sPort = 995;

// The port after the user changed the security mode from `old_mode` to
// `new_mode` in the account dialog: TLS on connect moves port 110 to 995,
// leaving TLS on connect moves 995 back to 110; any other port is the
// user's own choice and stays.
int PortForTlsMode(int old_mode, int new_mode, int port);

// How an account signs in to its server.
constexpr int kSignInPassword = 0;  // USER/PASS, or APOP when apop is set
constexpr int kSignInOAuth = 1;     // SASL XOAUTH2/OAUTHBEARER with an OAuth 2.0 access token

// Longer refresh tokens are refused by the sign-in.
constexpr std::size_t kMaxRefreshToken = 4096;

class CAccount {
 public:
  virtual ~CAccount() = default;
  CAccount() = default;
  CAccount(const CAccount&) = default;
  CAccount& operator=(const CAccount&) = default;

  int icon_to_normal = 0;   // tray icon back to normal when the own program is started
  int no_duplicate = 0;     // do not start the own program when it already runs
  int mail_count = 0;       // run time (engine): mails on the server at the last check; not stored
  void* icon_window = nullptr;  // run time (engine): the account's own tray icon window; not stored
  int priority = 0;         // smaller wins, 1 is the first rank, 0 takes no rank
  FieldText<200> user_id;
  FieldText<200> password;  // plain in memory, scrambled in the file
  FieldText<200> display_name;
  FieldText<1000> server;
  int apop = 0;             // log in with APOP
  int port = 110;
  int icon_index = 0;
  FieldText<260> icon_file;
  int icon_flag = 0;        // use the own icon
  FieldText<260> sound_file;
  int sound_flag = 0;       // play the own sound
  FieldText<1000> command_line;
  FieldText<260> program_path;
  FieldText<260> work_folder;
  int exec_flag = 0;        // start the own program on new mail
  int tls_mode = kTlsNone;  // how the connection is secured (kTlsNone, kTlsStls, kTlsOnConnect)
  int signin_method = kSignInPassword;  // kSignInPassword or kSignInOAuth
  int oauth_provider = 0;   // oauth::OAuthProvider number (1 Microsoft, 2 Google, 3 Custom); 0 none
  FieldText<200> oauth_account;  // who signed in (shown in the account dialog)
  std::string refresh_token;     // plain in memory, sealed in the file

  // Run time (store): the file held a sealed password that could not be
  // opened (Account.dat of another user or machine); password is then empty
  // and the check asks the user to enter it again. The sealed bytes are
  // written back as they were while the password stays empty, so a passing
  // failure loses nothing. Neither is copied by CopyStoredFields.
  bool password_unreadable = false;
  std::string sealed_password;
  // The same for the refresh token of an OAuth account: when it cannot be
  // opened, refresh_token is empty (the check asks for a new sign-in) and
  // the sealed bytes are written back until a new sign-in replaces them.
  bool refresh_token_unreadable = false;
  std::string sealed_refresh_token;
};

// Copies every field that the account dialog edits and the file stores (all
// but the run-time fields mail_count, icon_window and the unreadable/sealed
// pairs of the password and the refresh token).
void CopyStoredFields(const CAccount& from, CAccount& to);

// True when every stored field is equal (run-time fields are ignored).
bool SameStoredFields(const CAccount& a, const CAccount& b);

// The list, in file order (the order of addition). Never sorted.
using AccountList = std::vector<CAccount>;

// The file stores the count in one byte.
constexpr std::size_t kMaxAccounts = 255;

}  // namespace tidewell
