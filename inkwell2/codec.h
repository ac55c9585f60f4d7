// The codec library's algorithms, free of any platform call except the
// character-set backend (unicode_backend.h). Every function takes and returns
// byte strings; the exports of Inkwell2.dll (inkwell2/dll/) copy these results
// into the caller's buffers.
//
// Each function returns exactly what the matching export writes to its output
// buffer (without the terminating NUL), and stores the export's return value
// in *result when result is not null. Texts are Shift_JIS unless said
// otherwise; a function that takes a NUL-terminated text in the export sees
// only the bytes before the first NUL here too (callers pass string_view
// without a NUL).
//
// Output bound: the exports promise nothing about the caller's buffer beyond
// the working-buffer size of the call: 2 * n + 1000 bytes (4 * n + 1000 for
// quoted_coding), n being the input length, NUL included. A result that would
// not fit that bound (possible with pathological input to codes 1, 3, 51 and
// 61 and the encoders that use code 1) is not delivered: the output is empty
// and the return value 0. output_limit() gives the bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/password_protector.h"

namespace inkwell2 {

// Conversion codes of code_conv.
enum ConvCode : int {
  kSjisToJis = 1,
  kJisToSjis = 2,
  kEucToJis = 3,
  kEucToSjis = 4,
  kUtf7ToSjis = 5,
  kUtf8ToSjis = 6,
  kUtf16ToSjis = 7,
  kSjisToUtf7 = 51,
  kSjisToUtf8 = 61,
  kSjisToUtf16 = 71,
};

// Largest number of bytes, NUL included, that an export may write to the
// caller's buffer for an input of n bytes: 2n + 1000 (factor 4 for
// quoted_coding).
std::size_t output_limit(std::size_t n, int factor = 2);

// Code_Conv. For code 7 src is UTF-16 little-endian (read up to the first zero
// unit); for code 71 the output is UTF-16 little-endian without its zero unit.
std::string code_conv(std::string_view src, int code, int* result = nullptr);

// Base64_Coding, ops 1, 2, 3, 11, 12, 13, 14. file is used by op 3 only.
std::string base64_coding(std::string_view src, int op, const char* file = nullptr, int* result = nullptr);

// Quoted_Coding, ops 1, 2, 3, 11, 12, 13. file is used by ops 3 and 13.
std::string quoted_coding(std::string_view src, int op, const char* file = nullptr, int* result = nullptr);

// ToCrLf: every CR, LF or CR LF becomes CR LF, and an LF directly after a
// line end is stepped over. *result is the output length, -1 for empty src.
std::string to_crlf(std::string_view src, int* result = nullptr);

// FilePut: writes text to path, replacing the file. Returns 1 on success,
// 0 when the file cannot be created or written.
int file_put(std::string_view text, const char* path);

// GetHeader: the unfolded value of the first field called name (any case)
// after the first line of text, at most max bytes. Empty when missing.
std::string get_header(std::string_view text, std::string_view name, int max);

// Source_Split. *result as the export returns it. When the export leaves its
// buffer untouched (text under 45 bytes) *touched is set to false.
std::string source_split(std::string_view text, std::string_view boundary, int n, int mode,
                         int* result = nullptr, bool* touched = nullptr);

// MD5Calc: 32 lower-case hex digits of the RFC 1321 digest of text.
std::string md5_hex(std::string_view text);

// Incremental MD5 (RFC 1321).
class Md5 {
 public:
  Md5() { reset(); }
  void reset();
  void update(const void* data, std::size_t len);
  void finish(unsigned char digest[16]);
  std::string hex();  // finishes first when not finished

 private:
  void block(const unsigned char* p, std::size_t blocks);
  std::uint32_t state_[4];
  std::uint64_t bytes_;
  unsigned char buf_[64];
  unsigned char digest_[16];
  bool finished_;
};

// Reading Account.dat (GetAccount) from its bytes.
struct AccountQuery {
  std::string_view name;  // lookup: display name to find
  int index = -1;         // 1-based position to enumerate; no match = lookup
  // Opens the passwords (and refresh tokens) that versions 7 and 8 keep
  // sealed; without it, or when it cannot open one, it is delivered empty.
  tidewell::PasswordProtector* protector = nullptr;
};

struct AccountAnswer {
  int result = 0;            // the export's return value
  bool found = false;        // a lookup hit: the fields below are filled
  bool enumerated = false;   // an enumeration hit: name is filled
  std::string name;          // display name (enumeration hit)
  std::string user, password, server;
  int apop = 0;
  int port = 0;
  // Connection security (lookup hit): 0 none, 1 STLS, 2 TLS on connect. Field
  // 16 of version 6; older records read as 0, or 2 with port 995. Unknown
  // values read as 2, so the password is never sent in clear by mistake.
  int tls_mode = 0;
  // Lookup hit: the record's sealed password could not be opened (another
  // user's or machine's file); password is empty.
  bool password_unreadable = false;
  // Lookup hit, fields 19 to 23 of version 8 (older records: password
  // sign-in, no provider). signin_method 0 is the password (USER/PASS or
  // APOP), 1 OAuth 2.0; a value this build does not know reads as 1.
  int signin_method = 0;
  int oauth_provider = 0;     // 1 Microsoft, 2 Google, 3 custom; 0 none
  std::string oauth_account;  // who signed in
  // The opened refresh token; empty when there is none or it cannot be
  // opened (refresh_token_unreadable then tells the latter).
  std::string refresh_token;
  bool refresh_token_unreadable = false;
};

// Caller buffer sizes the exports assume for GetAccount's text outputs.
constexpr std::size_t kAccountNameBuffer = 150;
constexpr std::size_t kAccountUserBuffer = 150;
constexpr std::size_t kAccountPasswordBuffer = 150;
constexpr std::size_t kAccountServerBuffer = 1000;

// The result when the record asked for holds a text longer than its caller's
// buffer (NUL included): nothing is delivered, rather than a cut value.
constexpr int kAccountTooLong = 2;

// Walks the records of an Account.dat image. A record whose delivered texts
// do not fit the buffer sizes above is not delivered (result kAccountTooLong).
AccountAnswer read_account(std::string_view file, const AccountQuery& query);

// "Mail\\" file name part: MD5 hex of key. Kept here so callers agree.
inline std::string mail_file_name(std::string_view key) { return md5_hex(key); }

// Shift_JIS byte classes.
inline bool is_sjis_lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
inline bool is_sjis_trail(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

// Longest prefix of text of at most limit bytes that does not end inside a
// Shift_JIS two-byte character.
std::size_t sjis_cut(std::string_view text, std::size_t limit);

}  // namespace inkwell2
