#include "common/win32/inkwell_module.h"

#include <algorithm>
#include <vector>

namespace tidewell {

namespace {

using Md5CalcFn = int(WINAPI*)(const char* text, char* out);
using CodingFn = int(WINAPI*)(const char* src, char* dst, const char* file, int op);
using CodeConvFn = int(WINAPI*)(const char* src, char* dst, int code);
using GetAccountTlsFn = int(WINAPI*)(const char* name, const char* folder);
using GetAccountOAuthFn = int(WINAPI*)(const char* name, const char* folder, char* refresh_token, int size);

// Room for any refresh token Account.dat can hold (a 2-byte length) and its NUL.
constexpr std::size_t kRefreshTokenBuffer = 0x10000;
using GetAccountFn = int(WINAPI*)(char* name, const char* folder, char* user, char* password, char* server,
                                  int* apop, int* port, int index);

template <typename Fn>
Fn As(FARPROC proc) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

// The text an export wrote into buffer: up to its NUL, never past the end.
std::string TakeText(const std::vector<char>& buffer) {
  std::size_t n = 0;
  while (n < buffer.size() && buffer[n]) ++n;
  return std::string(buffer.data(), n);
}

}  // namespace

InkwellModule::InkwellModule(const std::string& path)
    : module_(LoadLibraryA(path.c_str())),
      code_conv_(module_ ? GetProcAddress(module_, "Code_Conv") : nullptr),
      base64_(module_ ? GetProcAddress(module_, "Base64_Coding") : nullptr),
      quoted_(module_ ? GetProcAddress(module_, "Quoted_Coding") : nullptr),
      md5_(module_ ? GetProcAddress(module_, "MD5Calc") : nullptr),
      get_account_(module_ ? GetProcAddress(module_, "GetAccount") : nullptr),
      get_account_tls_(module_ ? GetProcAddress(module_, "GetAccountTls") : nullptr),
      get_account_oauth_(module_ ? GetProcAddress(module_, "GetAccountOAuth") : nullptr) {}

InkwellModule::~InkwellModule() {
  if (module_) FreeLibrary(module_);
}

bool InkwellModule::CodeConv(const std::string& src, int code, std::string& out) {
  out.clear();
  if (!code_conv_) return false;
  std::vector<char> buffer(2 * src.size() + 1000, '\0');
  As<CodeConvFn>(code_conv_)(src.c_str(), buffer.data(), code);
  out = TakeText(buffer);
  return true;
}

bool InkwellModule::Base64Coding(const std::string& src, int op, std::string& out) {
  out.clear();
  if (!base64_) return false;
  std::vector<char> buffer(2 * src.size() + 1000, '\0');
  As<CodingFn>(base64_)(src.c_str(), buffer.data(), nullptr, op);
  out = TakeText(buffer);
  return true;
}

bool InkwellModule::QuotedCoding(const std::string& src, int op, std::string& out) {
  out.clear();
  if (!quoted_) return false;
  std::vector<char> buffer(4 * src.size() + 1000, '\0');
  As<CodingFn>(quoted_)(src.c_str(), buffer.data(), nullptr, op);
  out = TakeText(buffer);
  return true;
}

std::string InkwellModule::Md5(const std::string& text) {
  if (!md5_) return std::string();
  std::vector<char> buffer(33, '\0');
  As<Md5CalcFn>(md5_)(text.c_str(), buffer.data());
  buffer.back() = '\0';
  return TakeText(buffer);
}

std::string InkwellModule::AccountName(const std::string& data_folder, int index) {
  if (!get_account_) return std::string();
  std::vector<char> name(150, '\0'), user(150, '\0'), password(150, '\0'), server(1000, '\0');
  int apop = 0, port = 0;
  As<GetAccountFn>(get_account_)(name.data(), data_folder.c_str(), user.data(), password.data(), server.data(), &apop,
                                 &port, index);
  name.back() = '\0';
  return TakeText(name);
}

bool InkwellModule::AccountByName(const std::string& data_folder, const std::string& name, AccountLogin& out) {
  out = AccountLogin{};
  if (!get_account_ || name.empty() || name.size() >= 150) return false;
  std::vector<char> key(150, '\0'), user(150, '\0'), password(150, '\0'), server(1000, '\0');
  std::copy(name.begin(), name.end(), key.begin());
  int apop = 0, port = 0;
  As<GetAccountFn>(get_account_)(key.data(), data_folder.c_str(), user.data(), password.data(), server.data(), &apop,
                                 &port, -1);
  user.back() = password.back() = server.back() = '\0';
  out.user = TakeText(user);
  out.password = TakeText(password);
  out.server = TakeText(server);
  out.apop = apop;
  out.port = port;
  // The security mode; an account the library does not tell it for is not
  // taken as clear text (-1 only comes when the account vanished meanwhile).
  if (get_account_tls_) {
    const int mode = As<GetAccountTlsFn>(get_account_tls_)(key.data(), data_folder.c_str());
    out.tls_mode = mode == 0 || mode == 1 ? mode : 2;
  }
  return !out.server.empty();
}

int InkwellModule::AccountOAuth(const std::string& data_folder, const std::string& name, std::string& refresh_token) {
  refresh_token.clear();
  if (!get_account_oauth_ || name.empty() || name.size() >= 150) return -1;
  std::vector<char> buffer(kRefreshTokenBuffer, '\0');
  const int method = As<GetAccountOAuthFn>(get_account_oauth_)(name.c_str(), data_folder.c_str(), buffer.data(),
                                                               static_cast<int>(buffer.size()));
  buffer.back() = '\0';
  refresh_token = TakeText(buffer);
  std::fill(buffer.begin(), buffer.end(), '\0');
  return method < 0 ? -1 : method;
}

}  // namespace tidewell
