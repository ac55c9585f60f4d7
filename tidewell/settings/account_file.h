// Account.dat: reading (versions 3 to 8, by the settings page's rules or the
// engine's), writing (version 8), the engine's upgrade of older files, and the
// conversion of the older Tidewell.dat.
//
// Layout: "Tidewell", "v", version byte, count byte, then count records:
//   1 display name (1-byte length)   2 user ID (1-byte length)
//   3 password, byte i stored as plain + i (1-byte length)
//   4 server (2-byte length)   5 APOP (1 byte)   6 port (2 bytes)
//   7 priority (2 bytes), icon flag (1 byte)   8 icon file (2-byte length)
//   9 icon index (2 bytes), sound flag (1 byte)   10 sound file (2-byte length)
//   11 program flags (1 byte): from v5 the external-program flag + 10 * icon-to-normal;
//      v4/v3 the external-program flag alone
//   12 no-duplicate flag (1 byte; versions 4 and later)
//   13 program path, 14 command line, 15 working folder (2-byte lengths)
//   16 connection security (1 byte; versions 6 and later): 0 none, 1 STLS,
//      2 TLS on connect. Any other value reads as TLS on connect, so that an
//      unknown mode never sends the password in clear. Records of versions 3
//      to 5 read as 0, except those with port 995, which read as TLS on
//      connect (clear POP3 on 995 never works).
//   17 password form (1 byte; versions 7 and 8): 0 the password is field 3,
//      scrambled (written so by tools/account_dat.py, or when it could not be
//      sealed); 1 the password is sealed with the user's key in field 18 and
//      field 3 is empty. Any other value: the password cannot be read.
//   18 sealed password (2-byte length; versions 7 and 8), empty for form 0
//   19 sign-in method (1 byte; version 8): 0 password (USER/PASS or APOP),
//      1 OAuth 2.0. Any other value reads as OAuth, so that the password is
//      never sent to an account meant to sign in another way. Records of
//      versions 3 to 7 read as 0.
//   20 OAuth provider (1 byte; version 8): 1 Microsoft, 2 Google, 3 custom,
//      0 none
//   21 who signed in (1-byte length; version 8)
//   22 refresh-token form (1 byte; version 8), as field 17: 0 field 23 holds
//      the refresh token scrambled like field 3 (empty: none); 1 field 23
//      holds it sealed with the user's key. Any other value: it cannot be read.
//   23 refresh token (2-byte length; version 8)
// 2-byte values and lengths are high byte first.
//
// Damaged files never go past their end: a record that the file does not hold
// whole is dropped, and reading stops there. A text longer than its field is
// cut to the field.
#pragma once

#include <string>
#include <string_view>

#include "tidewell/settings/account.h"
#include "common/codec_calls.h"
#include "common/password_protector.h"

namespace tidewell {

// Who reads the file. Both read field 11 of versions 3 and 4 alike (0 or 1 is
// the external-program flag, a larger value gives 0, icon-to-normal 0), so
// that the settings page saves back the flags the engine acts on.
enum class AccountReader {
  kSettingsPage,
  kEngine,
};

enum class AccountFileStatus {
  kOk,          // records read (possibly none)
  kMissing,     // nothing is there
  kUnreadable,  // the file is there but cannot be read now (held open without
                // sharing by another program, no access): empty list
  kEmpty,       // 0 bytes, or no more than the start of the header
                // ("Tidewell", "Tidewellv"): holds no account
  kForeign,     // not "Tidewell" + "v": empty list
  kOldVersion,  // version below 3: empty list
  kNewVersion,  // version above 8: empty list
};

// What a read found besides the records.
struct AccountFileFacts {
  int version = 0;
  bool whole = false;            // the file ends right after its last record
  // A non-empty password or refresh token stored scrambled, not sealed.
  bool clear_passwords = false;
};

// Password forms of field 17 (and refresh-token forms of field 22).
constexpr int kPasswordScrambled = 0;
constexpr int kPasswordSealed = 1;

// Decodes an Account.dat image into out (cleared first). Sealed passwords and
// refresh tokens are opened with `protector`; one that cannot be opened (or
// without a protector) gives an empty text with password_unreadable
// (refresh_token_unreadable) set and the sealed bytes kept in sealed_password
// (sealed_refresh_token).
AccountFileStatus ParseAccountFile(std::string_view bytes, AccountReader reader, AccountList& out,
                                   PasswordProtector* protector = nullptr, AccountFileFacts* facts = nullptr);

// The newest version, the one Save list writes.
constexpr int kAccountFileVersion = 8;

// Encodes a list as Account.dat of the given version (8; 3 to 7 for tests of
// older files). At most 255 records are written. Versions 7 and 8 seal every
// non-empty password (and version 8 every refresh token) with `protector`;
// without one, or when sealing fails, it is stored scrambled (form 0). An
// account whose sealed password (refresh token) could not be opened and is
// still empty gets its sealed bytes back unchanged.
std::string EncodeAccountFile(const AccountList& accounts, int version = kAccountFileVersion,
                              PasswordProtector* protector = nullptr);

// Reads <folder>\Account.dat into out (cleared first): kMissing or
// kUnreadable when it cannot be opened, else as ParseAccountFile.
AccountFileStatus ReadAccountFile(const std::string& data_folder, AccountReader reader, AccountList& out,
                                  PasswordProtector* protector = nullptr, AccountFileFacts* facts = nullptr);

// Settings page load: the list of <folder>\Account.dat; empty when the file
// is missing, foreign or damaged.
AccountList LoadPageAccounts(const std::string& data_folder, PasswordProtector& protector);

// Save list: writes <folder>\Account.dat as version 8, replacing the old file
// atomically (a failed write leaves the old file whole). Returns false when
// nothing could be written.
bool SaveAccounts(const std::string& data_folder, const AccountList& accounts, PasswordProtector& protector);

// Engine load: <folder>\Account.dat by the engine's rules; when that file does
// not exist, holds nothing (kEmpty) or its version is below 3, the legacy
// Tidewell.dat is converted instead (see ConvertLegacyAccounts). An
// Account.dat that exists but cannot be read (locked, no access) gives an
// empty list and is left alone.
// A file of versions 3 to 7, or one with passwords or refresh tokens not
// sealed (written by tools/account_dat.py), is rewritten as version 8 sealed,
// atomically, when it was read whole (a damaged file is left to the settings
// page); after that rewrite a Tidewell.dat left beside it is removed, since
// it holds the same passwords readable.
AccountList LoadEngineAccounts(const std::string& data_folder, CodecCalls& codec, PasswordProtector& protector);

// Legacy Tidewell.dat image -> accounts. The first byte is "v" (version and
// count bytes follow) or the count itself (version 1). Version 2 records:
// user ID, server, Base64 password, APOP, display name, port; every other
// version: user ID, server, plain password, APOP, and the display name made
// as user ID "<" server ">". Returns false (out empty) when a Base64 password
// cannot be decoded because the codec is missing.
bool ParseLegacyAccountFile(std::string_view bytes, CodecCalls& codec, AccountList& out);

// Makes display names unique: a counter k starts at 1 for the whole pass; for
// each account i and each later account j with the same name, j becomes
// name(i) + "_" + k and k grows by 1. (x, x, x, y, y -> x, x_1, x_2, y, y_3.)
// A made-up name that equals a name no later step revisits is skipped (k
// grows again), so the result is always unique: a_1, a, a -> a_1, a, a_2.
void MakeDisplayNamesUnique(AccountList& accounts);

// Convert legacy file: when the codec library is available and
// <folder>\Tidewell.dat can be read, builds the list from it, makes the names
// unique and writes Account.dat as version 8 with sealed passwords
// (atomically); once that file is written, Tidewell.dat is removed. Returns
// false (out empty, nothing written) when there is nothing to convert.
bool ConvertLegacyAccounts(const std::string& data_folder, CodecCalls& codec, PasswordProtector& protector,
                           AccountList& out);

}  // namespace tidewell
