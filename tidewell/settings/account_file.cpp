#include "tidewell/settings/account_file.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "common/atomic_file.h"
#include "common/paths.h"

namespace tidewell {

namespace {

constexpr char kMagic[] = "Tidewell";
constexpr std::size_t kMagicSize = 8;

// Reads bytes front to back; every read fails once the bytes are used up,
// and the failure sticks, so a record is either read whole or not at all.
class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  bool at_end() const { return pos_ >= bytes_.size(); }

  int Byte() {
    if (!ok_ || pos_ >= bytes_.size()) {
      ok_ = false;
      return 0;
    }
    return static_cast<unsigned char>(bytes_[pos_++]);
  }
  int Word() {
    const int high = Byte();
    const int low = Byte();
    return (high << 8) | low;
  }
  std::string_view Text(std::size_t n) {
    if (!ok_ || bytes_.size() - pos_ < n) {
      ok_ = false;
      pos_ = bytes_.size();
      return {};
    }
    std::string_view t = bytes_.substr(pos_, n);
    pos_ += n;
    return t;
  }
  std::string_view ShortText() { return Text(static_cast<std::size_t>(Byte())); }
  std::string_view LongText() { return Text(static_cast<std::size_t>(Word())); }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

void PutByte(std::string& out, int value) { out += static_cast<char>(value & 0xFF); }

void PutWord(std::string& out, int value) {
  PutByte(out, (value >> 8) & 0xFF);
  PutByte(out, value & 0xFF);
}

void PutShortText(std::string& out, std::string_view text) {
  // Every 1-byte-length field is at most 199 bytes long (FieldText<200>).
  PutByte(out, static_cast<int>(text.size()));
  out += text;
}

void PutLongText(std::string& out, std::string_view text) {
  PutWord(out, static_cast<int>(text.size()));
  out += text;
}

std::string Scramble(std::string_view plain) {
  std::string s(plain);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<char>((static_cast<unsigned char>(s[i]) + i) & 0xFF);
  return s;
}

std::string Unscramble(std::string_view stored) {
  std::string s(stored);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<char>((static_cast<unsigned char>(s[i]) - i) & 0xFF);
  return s;
}

// Both readers take versions 3 and 4 by the engine's rule: a page that
// cleared the flags would save them cleared, and the engine would stop
// starting the programs it started before.
void ReadProgramFlags(int value, int version, AccountReader /*reader*/, CAccount& a) {
  if (version >= 5) {
    a.exec_flag = value % 10;
    a.icon_to_normal = (value / 10) % 10;
  } else {
    a.exec_flag = value <= 1 ? value : 0;
    a.icon_to_normal = 0;
  }
}

// What a form byte (field 17 or 22) says of a sealed text. Form 0 keeps the
// text scrambled in its own field (`scrambled_plain`, already unscrambled);
// form 1 keeps it sealed with the user's key. A text sealed (or of a form
// this build does not know) never falls back to its scrambled field.
struct OpenedText {
  std::string plain;
  bool unreadable = false;
  std::string sealed;  // kept for writing back when it could not be opened
  bool clear = false;  // a non-empty text stored scrambled, not sealed
};

OpenedText OpenText(int form, std::string_view sealed, std::string_view scrambled_plain,
                    PasswordProtector* protector) {
  OpenedText t;
  if (form == kPasswordScrambled) {
    t.plain.assign(scrambled_plain);
    t.clear = !t.plain.empty();
    return t;
  }
  if (form == kPasswordSealed && protector && protector->Unprotect(sealed, t.plain)) return t;
  std::fill(t.plain.begin(), t.plain.end(), '\0');
  t.plain.clear();
  t.unreadable = true;
  if (form == kPasswordSealed) t.sealed.assign(sealed);
  return t;
}

void Wipe(std::string& s) {
  std::fill(s.begin(), s.end(), '\0');
  s.clear();
}

// Fields 17 and 18 (versions 7 and 8): the password sealed, or field 3 as it is.
void ReadPasswordForm(ByteReader& in, PasswordProtector* protector, std::string_view scrambled, CAccount& a,
                      bool& clear) {
  const int form = in.Byte();
  const std::string_view sealed = in.LongText();
  if (!in.ok()) return;
  if (form == kPasswordScrambled) {
    clear = !scrambled.empty();
    return;
  }
  OpenedText t = OpenText(form, sealed, {}, protector);
  a.password = t.plain;
  a.password_unreadable = t.unreadable;
  a.sealed_password = std::move(t.sealed);
  Wipe(t.plain);
}

// Fields 19 to 23 of version 8: the sign-in method, the provider, who
// signed in, and the refresh token (form byte as field 17; form 0 keeps it
// scrambled in field 23 itself).
void ReadSignIn(ByteReader& in, PasswordProtector* protector, CAccount& a, bool& clear) {
  const int method = in.Byte();
  const int provider = in.Byte();
  const std::string_view who = in.ShortText();
  const int form = in.Byte();
  const std::string_view stored = in.LongText();
  if (!in.ok()) return;
  // A method this build does not know is taken as OAuth: the password is
  // never sent to an account that meant to sign in another way.
  a.signin_method = method == kSignInPassword ? kSignInPassword : kSignInOAuth;
  a.oauth_provider = provider;
  a.oauth_account = who;
  std::string unscrambled = form == kPasswordScrambled ? Unscramble(stored) : std::string();
  OpenedText t = OpenText(form, stored, unscrambled, protector);
  Wipe(unscrambled);
  a.refresh_token = t.plain;
  a.refresh_token_unreadable = t.unreadable;
  a.sealed_refresh_token = std::move(t.sealed);
  if (t.clear) clear = true;
  Wipe(t.plain);
}

bool ReadRecord(ByteReader& in, int version, AccountReader reader, PasswordProtector* protector, CAccount& a,
                bool& clear) {
  a.display_name = in.ShortText();
  a.user_id = in.ShortText();
  const std::string_view scrambled = in.ShortText();
  a.password = Unscramble(scrambled);
  clear = !scrambled.empty();
  a.server = in.LongText();
  a.apop = in.Byte();
  a.port = in.Word();
  a.priority = in.Word();
  a.icon_flag = in.Byte();
  a.icon_file = in.LongText();
  a.icon_index = in.Word();
  a.sound_flag = in.Byte();
  a.sound_file = in.LongText();
  ReadProgramFlags(in.Byte(), version, reader, a);
  a.no_duplicate = version >= 4 ? in.Byte() : 0;
  a.program_path = in.LongText();
  a.command_line = in.LongText();
  a.work_folder = in.LongText();
  if (version >= 6) {
    const int mode = in.Byte();
    a.tls_mode = (mode == kTlsNone || mode == kTlsStls) ? mode : kTlsOnConnect;
  } else {
    a.tls_mode = a.port == kPop3sPort ? kTlsOnConnect : kTlsNone;
  }
  if (version >= 7) ReadPasswordForm(in, protector, scrambled, a, clear);
  if (version >= 8) ReadSignIn(in, protector, a, clear);
  return in.ok();
}

// A secret text as its form byte and field: sealed with the user's key when
// it can be, the sealed bytes that could not be opened written back while
// no new text replaced them, else scrambled (form 0).
struct StoredText {
  int form = kPasswordScrambled;
  std::string field;  // the sealed bytes (form 1) or the scrambled text (form 0)
};

constexpr std::size_t kLongTextMax = 0xFFFF;

bool SealText(std::string_view plain, bool unreadable, const std::string& kept, PasswordProtector* protector,
              StoredText& out) {
  if (plain.empty() && unreadable && !kept.empty()) {
    out.form = kPasswordSealed;
    out.field = kept;
    return true;
  }
  std::string sealed;
  if (!plain.empty() && protector && protector->Protect(plain, sealed) && !sealed.empty() &&
      sealed.size() <= kLongTextMax) {
    out.form = kPasswordSealed;
    out.field = std::move(sealed);
    return true;
  }
  return false;
}

// Field 3 and, from version 7, fields 17 and 18 of one record.
struct StoredPassword {
  std::string scrambled;  // field 3
  StoredText text;        // fields 17 and 18
};

StoredPassword PasswordFields(const CAccount& a, int version, PasswordProtector* protector) {
  StoredPassword p;
  if (version >= 7 && SealText(a.password.view(), a.password_unreadable, a.sealed_password, protector, p.text))
    return p;
  p.scrambled = Scramble(a.password.view());
  return p;
}

// Fields 22 and 23 of version 8. A refresh token too long for its field
// even scrambled is not kept (the account then asks for a new sign-in).
StoredText RefreshTokenFields(const CAccount& a, PasswordProtector* protector) {
  StoredText t;
  if (SealText(a.refresh_token, a.refresh_token_unreadable, a.sealed_refresh_token, protector, t)) return t;
  if (a.refresh_token.size() <= kLongTextMax) t.field = Scramble(a.refresh_token);
  return t;
}

void WriteRecord(std::string& out, const CAccount& a, int version, PasswordProtector* protector) {
  const StoredPassword password = PasswordFields(a, version, protector);
  PutShortText(out, a.display_name.view());
  PutShortText(out, a.user_id.view());
  PutShortText(out, password.scrambled);
  PutLongText(out, a.server.view());
  PutByte(out, a.apop);
  PutWord(out, a.port);
  PutWord(out, a.priority);
  PutByte(out, a.icon_flag);
  PutLongText(out, a.icon_file.view());
  PutWord(out, a.icon_index);
  PutByte(out, a.sound_flag);
  PutLongText(out, a.sound_file.view());
  PutByte(out, version >= 5 ? a.exec_flag + 10 * a.icon_to_normal : a.exec_flag);
  if (version >= 4) PutByte(out, a.no_duplicate);
  PutLongText(out, a.program_path.view());
  PutLongText(out, a.command_line.view());
  PutLongText(out, a.work_folder.view());
  if (version >= 6) PutByte(out, a.tls_mode);
  if (version >= 7) {
    PutByte(out, password.text.form);
    PutLongText(out, password.text.field);
  }
  if (version >= 8) {
    const StoredText token = RefreshTokenFields(a, protector);
    PutByte(out, a.signin_method == kSignInPassword ? kSignInPassword : kSignInOAuth);
    PutByte(out, a.oauth_provider);
    PutShortText(out, a.oauth_account.view());
    PutByte(out, token.form);
    PutLongText(out, token.field);
  }
}

}  // namespace

AccountFileStatus ParseAccountFile(std::string_view bytes, AccountReader reader, AccountList& out,
                                   PasswordProtector* protector, AccountFileFacts* facts) {
  out.clear();
  AccountFileFacts unused;
  AccountFileFacts& f = facts ? *facts : unused;
  f = AccountFileFacts();
  // A file that ends before its version byte (a write cut short, a file made
  // empty by hand) holds no account, and nothing a newer program wrote.
  const std::string_view header_start("Tidewellv", kMagicSize + 1);
  if (bytes.size() <= header_start.size() && header_start.substr(0, bytes.size()) == bytes)
    return AccountFileStatus::kEmpty;
  // The header is read as a line of up to 8 characters: a line feed or a NUL
  // inside it makes it differ from "Tidewell" just as another letter does.
  if (bytes.substr(0, kMagicSize) != std::string_view(kMagic, kMagicSize)) return AccountFileStatus::kForeign;
  ByteReader in(bytes.substr(kMagicSize));
  if (in.Byte() != 'v' || !in.ok()) return AccountFileStatus::kForeign;
  const int version = in.Byte();  // end of file counts as 0
  const int count = in.Byte();
  if (version < 3) return AccountFileStatus::kOldVersion;
  if (version > kAccountFileVersion) return AccountFileStatus::kNewVersion;
  f.version = version;
  bool whole = in.ok();
  for (int i = 0; i < count; ++i) {
    CAccount a;
    bool clear = false;
    if (!ReadRecord(in, version, reader, protector, a, clear)) {  // the file ends inside this record
      whole = false;
      break;
    }
    if (clear) f.clear_passwords = true;
    out.push_back(a);
  }
  f.whole = whole && in.at_end();
  return AccountFileStatus::kOk;
}

std::string EncodeAccountFile(const AccountList& accounts, int version, PasswordProtector* protector) {
  const std::size_t count = accounts.size() < kMaxAccounts ? accounts.size() : kMaxAccounts;
  std::string out(kMagic, kMagicSize);
  out += 'v';
  PutByte(out, version);
  PutByte(out, static_cast<int>(count));
  for (std::size_t i = 0; i < count; ++i) WriteRecord(out, accounts[i], version, protector);
  return out;
}

AccountFileStatus ReadAccountFile(const std::string& data_folder, AccountReader reader, AccountList& out,
                                  PasswordProtector* protector, AccountFileFacts* facts) {
  out.clear();
  const std::string path = AccountFilePath(data_folder);
  std::string bytes;
  if (!ReadWholeFile(path, bytes))
    return FileMissing(path) ? AccountFileStatus::kMissing : AccountFileStatus::kUnreadable;
  const AccountFileStatus status = ParseAccountFile(bytes, reader, out, protector, facts);
  std::fill(bytes.begin(), bytes.end(), '\0');
  return status;
}

AccountList LoadPageAccounts(const std::string& data_folder, PasswordProtector& protector) {
  AccountList list;
  ReadAccountFile(data_folder, AccountReader::kSettingsPage, list, &protector);
  return list;
}

bool SaveAccounts(const std::string& data_folder, const AccountList& accounts, PasswordProtector& protector) {
  return WriteFileAtomically(AccountFilePath(data_folder),
                             EncodeAccountFile(accounts, kAccountFileVersion, &protector));
}

namespace {

// The passwords of the legacy file live on in Account.dat now.
void RemoveLegacyFile(const std::string& data_folder) {
  const std::string legacy = LegacyAccountFilePath(data_folder);
  if (!FileMissing(legacy)) std::remove(legacy.c_str());
}

}  // namespace

AccountList LoadEngineAccounts(const std::string& data_folder, CodecCalls& codec, PasswordProtector& protector) {
  AccountList list;
  AccountFileFacts facts;
  const AccountFileStatus status =
      ReadAccountFile(data_folder, AccountReader::kEngine, list, &protector, &facts);
  // An Account.dat that exists but cannot be read now (locked, no access) is
  // not replaced from the old file: only a missing one, one that holds
  // nothing, or one of a version before 3 is.
  if (status == AccountFileStatus::kMissing || status == AccountFileStatus::kEmpty ||
      status == AccountFileStatus::kOldVersion) {
    ConvertLegacyAccounts(data_folder, codec, protector, list);
  } else if (status == AccountFileStatus::kOk && facts.whole &&
             (facts.version < kAccountFileVersion || facts.clear_passwords)) {
    // Older files are brought to the newest version, and those of
    // tools/account_dat.py keep their passwords and refresh tokens readable
    // to anyone who reads the file: they are sealed now, once.
    if (WriteFileAtomically(AccountFilePath(data_folder), EncodeAccountFile(list, kAccountFileVersion, &protector)))
      RemoveLegacyFile(data_folder);
  }
  return list;
}

bool ParseLegacyAccountFile(std::string_view bytes, CodecCalls& codec, AccountList& out) {
  out.clear();
  ByteReader in(bytes);
  int version = 1;
  int count = in.Byte();  // end of file counts as 0
  if (in.ok() && count == 'v') {
    version = in.Byte();
    count = in.Byte();
  }
  for (int i = 0; i < count; ++i) {
    CAccount a;
    a.user_id = in.ShortText();
    a.server = in.LongText();
    const std::string_view password = in.ShortText();
    a.apop = in.Byte();
    if (version == 2) {
      a.display_name = in.ShortText();
      a.port = in.Word();
    }
    if (!in.ok()) break;  // the file ends inside this record
    if (version == 2) {
      std::string plain;
      if (!codec.Base64Decode(std::string(password), plain)) {
        out.clear();
        return false;
      }
      a.password = plain;
    } else {
      a.password = password;
      a.display_name = a.user_id.str() + "<" + a.server.str() + ">";
    }
    out.push_back(a);
  }
  return true;
}

void MakeDisplayNamesUnique(AccountList& accounts) {
  // Names at positions up to `last` are settled: no later pass renames them.
  const auto settled = [&accounts](std::string_view name, std::size_t last) {
    for (std::size_t m = 0; m <= last; ++m)
      if (accounts[m].display_name == name) return true;
    return false;
  };
  int k = 1;
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    for (std::size_t j = i + 1; j < accounts.size(); ++j) {
      if (accounts[j].display_name != accounts[i].display_name) continue;
      // A made-up name equal to a settled one (an earlier "x_1" beside two
      // later "x") would share its key and its mail file for good: the
      // counter moves on until the name is free. Equality with a later name
      // is resolved when that name's turn comes. The base is shortened when
      // the suffix would not fit the field.
      std::string name;
      do {
        const std::string suffix = "_" + std::to_string(k++);
        const std::size_t room = decltype(CAccount::display_name)::kMaxBytes - suffix.size();
        name = CutText(accounts[i].display_name.view(), room) + suffix;
      } while (settled(name, i));
      accounts[j].display_name = name;
    }
  }
}

bool ConvertLegacyAccounts(const std::string& data_folder, CodecCalls& codec, PasswordProtector& protector,
                           AccountList& out) {
  out.clear();
  if (!codec.Available()) return false;
  std::string bytes;
  if (!ReadWholeFile(LegacyAccountFilePath(data_folder), bytes)) return false;
  AccountList list;
  if (!ParseLegacyAccountFile(bytes, codec, list)) return false;
  if (list.size() > kMaxAccounts) list.resize(kMaxAccounts);
  MakeDisplayNamesUnique(list);
  if (WriteFileAtomically(AccountFilePath(data_folder), EncodeAccountFile(list, kAccountFileVersion, &protector)))
    RemoveLegacyFile(data_folder);
  out = std::move(list);
  return true;
}

}  // namespace tidewell
