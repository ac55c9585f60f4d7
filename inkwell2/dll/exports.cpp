// Inkwell2.dll: the exports, each a thin wrapper that runs the portable code
// of inkwell2_core and copies its result into the caller's buffer.
//
// Buffer conventions: an export cannot see the size of a caller's buffer.
// It writes at most what the calling conventions promise: the result and its
// NUL, never more than 2n + 1000 bytes (4n + 1000 for Quoted_Coding), n being
// the input length; inkwell2_core drops a result that would not fit (empty
// output, result 0). GetHeader writes at most max bytes, MD5Calc 33,
// GetMailMessage size, GetAccount 150 / 1000 per text, GetAccountOAuth size.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "common/win32/dpapi_protector.h"
#include "inkwell2/codec.h"

namespace {

HMODULE g_module = nullptr;

std::string_view text_of(const char* s) { return s ? std::string_view(s) : std::string_view(); }

void copy_out(char* dst, const std::string& s) {
  if (!dst) return;
  if (!s.empty()) std::memcpy(dst, s.data(), s.size());
  dst[s.size()] = '\0';
}

// UTF-16 text given as bytes: up to its first zero unit (two zero bytes at an
// even offset). Callers end UTF-16 text with a zero unit.
std::string_view utf16_of(const char* s) {
  if (!s) return {};
  std::size_t i = 0;
  while (s[i] != 0 || s[i + 1] != 0) i += 2;
  return std::string_view(s, i);
}

// The data folder when it is a usable plain folder, else the library's own.
std::string folder_or_own(const char* folder) {
  if (folder && folder[0] && strnlen(folder, MAX_PATH) < MAX_PATH &&
      GetFileAttributesA(folder) == FILE_ATTRIBUTE_DIRECTORY)
    return folder;
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD got = GetModuleFileNameA(g_module, path.data(), static_cast<DWORD>(path.size()));
    if (got == 0) return {};
    if (got < path.size()) {
      path.resize(got);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

class File {
 public:
  File(const std::string& path, DWORD share)
      : h_(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~File() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
  long long size() const {
    LARGE_INTEGER s;
    return GetFileSizeEx(h_, &s) ? s.QuadPart : 0;
  }
  // Reads up to max bytes; returns the count read.
  std::size_t read(char* dst, std::size_t max) const {
    std::size_t total = 0;
    while (total < max) {
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(max - total, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(h_, dst + total, want, &got, nullptr) || got == 0) break;
      total += got;
    }
    return total;
  }

 private:
  HANDLE h_;
};

// Larger Account.dat files than this are not ours (255 records of at most
// about 330 KB each).
constexpr long long kLargestAccountFile = 128ll << 20;

enum class AccountFile { kMissing, kTooLarge, kRead };

// The bytes of <folder>\Account.dat (the library's own folder when folder is
// not a usable one), shared with a writer that replaces it.
AccountFile load_account_file(const char* folder, std::string& bytes) {
  File f(folder_or_own(folder) + "\\Account.dat", FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!f.ok()) return AccountFile::kMissing;
  const long long size = f.size();
  if (size > kLargestAccountFile) return AccountFile::kTooLarge;
  bytes.assign(static_cast<std::size_t>(size), '\0');
  bytes.resize(f.read(bytes.data(), bytes.size()));
  return AccountFile::kRead;
}

void wipe(std::string& s) { std::fill(s.begin(), s.end(), '\0'); }

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

#define INKWELL_API extern "C" __declspec(dllexport)

INKWELL_API int WINAPI Code_Conv(const char* src, char* dst, int code) {
  int result = 0;
  const std::string out = inkwell2::code_conv(code == inkwell2::kUtf16ToSjis ? utf16_of(src) : text_of(src),
                                              code, &result);
  copy_out(dst, out);
  if (dst && code == inkwell2::kSjisToUtf16) dst[out.size() + 1] = '\0';  // the zero unit
  return result;
}

INKWELL_API int WINAPI Base64_Coding(const char* src, char* dst, const char* file, int op) {
  int result = 0;
  copy_out(dst, inkwell2::base64_coding(text_of(src), op, file, &result));
  return result;
}

INKWELL_API int WINAPI Quoted_Coding(const char* src, char* dst, const char* file, int op) {
  int result = 0;
  copy_out(dst, inkwell2::quoted_coding(text_of(src), op, file, &result));
  return result;
}

INKWELL_API int WINAPI ToCrLf(const char* src, char* dst) {
  int result = 0;
  const std::string out = inkwell2::to_crlf(text_of(src), &result);
  if (result >= 0) copy_out(dst, out);
  return result;
}

INKWELL_API int WINAPI FilePut(const char* text, const char* path) {
  return inkwell2::file_put(text_of(text), path);
}

INKWELL_API int WINAPI Source_Split(const char* text, char* dst, const char* boundary, int n, int mode) {
  int result = 0;
  bool touched = false;
  const std::string out = inkwell2::source_split(text_of(text), text_of(boundary), n, mode, &result, &touched);
  if (touched) copy_out(dst, out);
  return result;
}

// Writes at most max bytes: the value, and its NUL only when the value is
// shorter than max. Callers that give a buffer of exactly max bytes are safe;
// callers that want a terminated value give max + 1 cleared bytes.
INKWELL_API int WINAPI GetHeader(const char* text, const char* name, char* dst, int max) {
  if (!dst || max <= 0) return 1;
  const std::string value = inkwell2::get_header(text_of(text), text_of(name), max);
  std::memcpy(dst, value.data(), value.size());
  if (value.size() < static_cast<std::size_t>(max)) dst[value.size()] = '\0';
  return 1;
}

INKWELL_API int WINAPI GetMailMessage(const char* key, const char* folder, char* buffer, int size) {
  const std::string path = folder_or_own(folder) + "\\Mail\\" + inkwell2::md5_hex(text_of(key));
  const std::size_t limit = size > 0 ? static_cast<std::size_t>(size) : 0;
  File f(path, 0);  // no sharing: a file being written is not read half-done
  if (!f.ok()) {
    if (buffer && limit) std::memset(buffer, 0, limit);
    return 0;
  }
  if (!buffer) {
    const long long s = f.size();
    return s > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(s);
  }
  return static_cast<int>(f.read(buffer, limit));
}

INKWELL_API int WINAPI MD5Calc(const char* text, char* out) {
  const std::string hex = inkwell2::md5_hex(text_of(text));
  copy_out(out, hex);
  return static_cast<int>(hex.size());
}

INKWELL_API int WINAPI GetAccount(char* name, const char* folder, char* user, char* password, char* server,
                                  int* apop, int* port, int index) {
  std::string bytes;
  switch (load_account_file(folder, bytes)) {
    case AccountFile::kMissing: return 0;
    case AccountFile::kTooLarge: return 1;
    case AccountFile::kRead: break;
  }
  inkwell2::AccountQuery query;
  if (name) query.name = std::string_view(name, strnlen(name, inkwell2::kAccountNameBuffer));
  query.index = index;
  query.protector = &tidewell::SystemPasswordProtector();
  inkwell2::AccountAnswer a = inkwell2::read_account(bytes, query);
  wipe(bytes);
  wipe(a.refresh_token);
  if (a.enumerated) {
    copy_out(name, a.name);
  } else if (a.found) {
    copy_out(user, a.user);
    copy_out(password, a.password);
    copy_out(server, a.server);
    if (apop) *apop = a.apop;
    if (port) *port = a.port;
  }
  wipe(a.password);
  return a.result;
}

// The connection security of the account named `name` (0 none, 1 STLS, 2 TLS
// on connect), read from the same file GetAccount reads; -1 when the file or
// the account is missing. GetAccount keeps its arguments for its callers.
INKWELL_API int WINAPI GetAccountTls(const char* name, const char* folder) {
  if (!name) return -1;
  std::string bytes;
  if (load_account_file(folder, bytes) != AccountFile::kRead) return -1;
  inkwell2::AccountQuery query;
  query.name = std::string_view(name, strnlen(name, inkwell2::kAccountNameBuffer));
  const inkwell2::AccountAnswer a = inkwell2::read_account(bytes, query);
  return a.found ? a.tls_mode : -1;
}

// How the account named `name` signs in, from the same file GetAccount
// reads: -1 when the file or the account is missing; 0 password sign-in
// (USER/PASS or APOP); 1 to 3 OAuth 2.0 with that provider (1 Microsoft,
// 2 Google, 3 custom); 4 OAuth with a provider this build does not know.
// refresh_token (size bytes, may be NULL) gets the opened refresh token,
// NUL-terminated, when it fits; else, or when there is none or it cannot be
// opened, an empty text.
INKWELL_API int WINAPI GetAccountOAuth(const char* name, const char* folder, char* refresh_token, int size) {
  if (refresh_token && size > 0) refresh_token[0] = '\0';
  if (!name) return -1;
  std::string bytes;
  if (load_account_file(folder, bytes) != AccountFile::kRead) return -1;
  inkwell2::AccountQuery query;
  query.name = std::string_view(name, strnlen(name, inkwell2::kAccountNameBuffer));
  query.protector = &tidewell::SystemPasswordProtector();
  inkwell2::AccountAnswer a = inkwell2::read_account(bytes, query);
  wipe(bytes);
  wipe(a.password);
  int result = -1;
  if (a.found) {
    result = a.signin_method == 0 ? 0 : (a.oauth_provider >= 1 && a.oauth_provider <= 3 ? a.oauth_provider : 4);
    if (refresh_token && size > 0 && a.refresh_token.size() < static_cast<std::size_t>(size))
      copy_out(refresh_token, a.refresh_token);
  }
  wipe(a.refresh_token);
  return result;
}

INKWELL_API int WINAPI getversion() { return 100; }

INKWELL_API int WINAPI fnInkwell() { return 42; }

extern "C" {
__declspec(dllexport) int nInkwell = 0;
}

class __declspec(dllexport) CInkwell {
 public:
  CInkwell();
  CInkwell& operator=(const CInkwell&);
};

CInkwell::CInkwell() {}

CInkwell& CInkwell::operator=(const CInkwell&) { return *this; }
