// Inkwell2.dll loaded from a given path for as long as the object lives, for
// work that makes many codec calls in a row (building the mail list's rows):
// one load instead of one per call. The calls follow the library's buffer
// conventions as inkwell_dll.h does; a missing export makes its call fail.
#pragma once

#include <windows.h>

#include <string>

#include "common/text_codec.h"

namespace tidewell {

// Connection data of one account as GetAccount gives it.
struct AccountLogin {
  std::string user;
  std::string password;
  std::string server;
  int apop = 0;
  int port = 110;
  int tls_mode = 0;  // GetAccountTls: 0 none, 1 STLS, 2 TLS on connect
};

class InkwellModule : public TextCodec {
 public:
  // Loads path (LoadLibraryA); loaded() tells whether that worked.
  explicit InkwellModule(const std::string& path);
  ~InkwellModule() override;
  InkwellModule(const InkwellModule&) = delete;
  InkwellModule& operator=(const InkwellModule&) = delete;

  bool loaded() const { return module_ != nullptr; }

  bool CodeConv(const std::string& src, int code, std::string& out) override;
  bool Base64Coding(const std::string& src, int op, std::string& out) override;
  bool QuotedCoding(const std::string& src, int op, std::string& out) override;
  // MD5Calc: 32 lower-case hex digits, "" on failure.
  std::string Md5(const std::string& text);
  // GetAccount by 1-based position: the display name (at most 149 bytes), ""
  // when there is none or the call fails.
  std::string AccountName(const std::string& data_folder, int index);
  // GetAccount by display name (index -1): false when no account of that
  // name has a server.
  bool AccountByName(const std::string& data_folder, const std::string& name, AccountLogin& out);
  // GetAccountOAuth: how the account named `name` signs in. -1 when the
  // account (or the export) is missing, 0 password sign-in, 1 to 3 OAuth 2.0
  // with that provider (1 Microsoft, 2 Google, 3 custom), 4 OAuth with a
  // provider this build does not know. refresh_token gets the opened refresh
  // token; empty when there is none or it cannot be opened (sign in again).
  int AccountOAuth(const std::string& data_folder, const std::string& name, std::string& refresh_token);

 private:
  HMODULE module_;
  FARPROC code_conv_, base64_, quoted_, md5_, get_account_, get_account_tls_, get_account_oauth_;
};

}  // namespace tidewell
