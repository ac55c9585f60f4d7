// The Account.dat reader behind GetAccount: walks the records and delivers
// the login fields of one of them. A record cut short by the end of the file
// is not delivered, nor one whose text does not fit the caller's buffer: a
// cut user ID or password would only fail the login, a cut name would find
// another account's mail or none.
#include <algorithm>

#include "inkwell2/conv_internal.h"

namespace inkwell2 {
namespace {

constexpr std::string_view kMagic = "Tidewell";

class Reader {
 public:
  explicit Reader(std::string_view b) : b_(b) {}
  bool ok() const { return ok_; }
  int byte() {
    if (pos_ >= b_.size()) {
      ok_ = false;
      return -1;
    }
    return static_cast<unsigned char>(b_[pos_++]);
  }
  int word() {  // high byte first
    const int hi = byte();
    const int lo = byte();
    return ok_ ? (hi << 8 | lo) : -1;
  }
  std::string_view text(int len) {
    if (!ok_ || len < 0) return {};
    if (b_.size() - pos_ < static_cast<std::size_t>(len)) {
      ok_ = false;
      pos_ = b_.size();
      return {};
    }
    std::string_view s = b_.substr(pos_, static_cast<std::size_t>(len));
    pos_ += static_cast<std::size_t>(len);
    return s;
  }
  std::string_view text1() { return text(byte()); }
  std::string_view text2() { return text(word()); }
  void skip(int k) {
    for (int i = 0; i < k; ++i) byte();
  }

 private:
  std::string_view b_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// A field as the NUL-terminated text it is handed on as.
std::string_view as_text(std::string_view s) {
  const std::size_t z = s.find('\0');
  return z == std::string_view::npos ? s : s.substr(0, z);
}

// Whether that text and its NUL fit a caller's buffer.
bool fits(std::string_view s, std::size_t buffer) { return as_text(s).size() < buffer; }

// A password or refresh token by its form byte: 0 the scrambled field (byte
// i stored as plain + i), 1 sealed with the user's key. False (plain empty)
// when it cannot be opened, or the form is one this build does not know.
bool open_secret(int form, std::string_view sealed, std::string_view scrambled,
                 tidewell::PasswordProtector* protector, std::string& plain) {
  plain.clear();
  if (form == 0) {
    plain.assign(scrambled);
    for (std::size_t i = 0; i < plain.size(); ++i)
      plain[i] = static_cast<char>(static_cast<unsigned char>(plain[i]) - static_cast<unsigned char>(i));
    return true;
  }
  if (form == 1 && protector && protector->Unprotect(sealed, plain)) return true;
  std::fill(plain.begin(), plain.end(), '\0');
  plain.clear();
  return false;
}

}  // namespace

AccountAnswer read_account(std::string_view file, const AccountQuery& query) {
  AccountAnswer a;
  Reader r(file);
  if (file.substr(0, kMagic.size()) != kMagic) {
    a.result = 1;
    return a;
  }
  r.skip(static_cast<int>(kMagic.size()));
  // Without the "v" the version and count are unknown: no record is read.
  if (r.byte() != 'v') {
    a.result = 1;
    return a;
  }
  const int version = r.byte();
  int count = r.byte();
  if (count < 0) count = 0;
  if (version < 3 || version > 8) {
    a.result = 1;
    return a;
  }
  // An index that names a record selects enumeration: then no record is
  // taken by its name, even one before the index whose name equals the text
  // left in the caller's name buffer.
  const bool enumerating = query.index >= 1 && query.index <= count;
  const std::string_view wanted = query.name.substr(0, std::min(query.name.find('\0'), query.name.size()));

  for (int position = 1; position <= count && r.ok(); ++position) {
    const std::string_view name = r.text1();
    if (!r.ok()) break;
    bool enumerated = false, found = false;
    std::string_view name_text = name.substr(0, std::min(name.find('\0'), name.size()));
    if (position == query.index)
      enumerated = true;
    else if (!enumerating && name_text == wanted)
      found = true;
    const std::string_view user = r.text1();
    const std::string_view password = r.text1();
    const std::string_view server = r.text2();
    const int apop = r.byte();
    const int port = r.word();
    if (enumerated) {
      if (!fits(name, kAccountNameBuffer)) {
        a.result = kAccountTooLong;
        return a;
      }
      a.enumerated = true;
      a.name = std::string(as_text(name));
      break;
    }
    if (!r.ok()) break;
    // Fields 7 to 15, the security byte of versions 6 and later.
    r.skip(3);
    r.text2();
    r.skip(3);
    r.text2();
    r.skip(version >= 4 ? 2 : 1);
    r.text2();
    r.text2();
    r.text2();
    int tls_mode = port == 995 ? 2 : 0;
    if (version >= 6) {
      const int stored = r.byte();
      tls_mode = (stored == 0 || stored == 1) ? stored : 2;
    }
    // Versions 7 and 8: the password form, and the password sealed with the
    // user's key (form 1; field 3 is then empty and never used).
    int form = 0;
    std::string_view sealed;
    if (version >= 7) {
      form = r.byte();
      sealed = r.text2();
    }
    // Version 8: the sign-in method, the provider, who signed in, and the
    // refresh token (form byte as the password's; form 0 keeps it scrambled
    // in its own field).
    int method = 0, provider = 0, token_form = 0;
    std::string_view who, token;
    if (version >= 8) {
      method = r.byte();
      provider = r.byte();
      who = r.text1();
      token_form = r.byte();
      token = r.text2();
    }
    if (found) {
      // A record cut short is not delivered: its security byte is unknown.
      if (!r.ok()) break;
      std::string plain;
      a.password_unreadable = !open_secret(form, sealed, password, query.protector, plain);
      a.refresh_token_unreadable = !open_secret(token_form, token, token, query.protector, a.refresh_token);
      if (!fits(user, kAccountUserBuffer) || !fits(plain, kAccountPasswordBuffer) ||
          !fits(server, kAccountServerBuffer)) {
        std::fill(plain.begin(), plain.end(), '\0');
        std::fill(a.refresh_token.begin(), a.refresh_token.end(), '\0');
        a = AccountAnswer();
        a.result = kAccountTooLong;
        return a;
      }
      a.found = true;
      a.user = std::string(as_text(user));
      a.password = std::string(as_text(plain));
      std::fill(plain.begin(), plain.end(), '\0');
      a.server = std::string(as_text(server));
      a.apop = apop;
      a.port = port;
      a.tls_mode = tls_mode;
      a.signin_method = method == 0 ? 0 : 1;
      a.oauth_provider = provider;
      a.oauth_account = std::string(as_text(who));
      break;
    }
  }
  a.result = 0;
  return a;
}

}  // namespace inkwell2
