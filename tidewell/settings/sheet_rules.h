// The decisions of the settings sheet and the account dialog that do not need
// a window: the engine's reload decision after the sheet, the integer and text
// checks of the dialogs' data exchange, the start of the file browse dialog,
// the icon picker's path bound, the account list view's row texts and the
// account dialog's OK checks. The Win32 pages (win32/settings_sheet.cpp,
// win32/account_dialog.cpp) only move texts between controls and these.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "tidewell/settings/account.h"
#include "tidewell/settings/profile.h"

namespace tidewell {

// ---- Reload decision ------------------------------------------------------

// The flags the pages leave behind when the sheet closes. A page that was
// never shown keeps 0 everywhere.
struct SheetFlags {
  int message_applied = 0;  // page "メッセージ" ran its apply at least once
  int message_changed = 0;  // page "メッセージ"
  int account_changed = 0;  // page "アカウント"
  int receive_changed = 0;  // page "受信時処理"
  int icon_changed = 0;     // page "アイコン" (never makes the engine reload)
  int click_changed = 0;    // page "左クリック"
};

// The engine reloads Tidewell.ini and Account.dat when page "メッセージ" was
// applied and one of the pages メッセージ, アカウント, 受信時処理 or 左クリック
// was changed. The icon keys are read at every icon change anyway.
bool EngineReloadsAfterSheet(const SheetFlags& flags);

// ---- Writes of Tidewell.ini ----------------------------------------------------

// Passes every call on to another profile and remembers whether a write
// failed, so that a page's apply can tell the user and keep the sheet open.
class WriteWatchProfile : public Profile {
 public:
  explicit WriteWatchProfile(Profile& inner) : inner_(inner) {}
  int GetInt(const std::string& path, const char* section, const char* key, int default_value) override {
    return inner_.GetInt(path, section, key, default_value);
  }
  std::string GetString(const std::string& path, const char* section, const char* key, const char* default_value,
                        std::size_t buffer_size = kTextBufferSize) override {
    return inner_.GetString(path, section, key, default_value, buffer_size);
  }
  bool WriteString(const std::string& path, const char* section, const char* key,
                   const std::string& value) override {
    const bool ok = inner_.WriteString(path, section, key, value);
    if (!ok) failed_ = true;
    return ok;
  }
  // Whether a write failed since the last Reset.
  bool failed() const { return failed_; }
  void Reset() { failed_ = false; }

 private:
  Profile& inner_;
  bool failed_ = false;
};

// ---- Data exchange --------------------------------------------------------

// Messages of the data exchange (owner: the dialog, caption "", OK button).
constexpr const char kIntegerText[] = "整数を入力してください。";
constexpr const char kUnsignedText[] = "正の整数を入力してください。";

// A signed integer as typed: optional blanks, optional sign, digits, optional
// blanks, within int. False for anything else (empty text included).
bool ParseIntText(std::string_view text, int& out);

// An unsigned integer (no sign) within 0..max. kNotNumber / kOutOfRange.
enum class NumberCheck { kOk, kNotNumber, kOutOfRange };
NumberCheck ParseUnsignedText(std::string_view text, unsigned max, unsigned& out);

// "0 から 65535 までの整数を入力してください。"
std::string RangeText(unsigned min, unsigned max);

// "このフィールドには 259 バイト以内で入力してください。"
std::string TooLongText(std::size_t max_bytes);

// "このフィールドには 100 文字以内で入力してください。"
std::string TooManyCharsText(std::size_t max_chars);

// Characters of a Shift_JIS text as an edit control counts them against its
// limit: a two-byte character is one.
std::size_t SjisCharCount(std::string_view text);

// The interval's up-down control offers 1..1440; a stored value outside is
// shown (and later written) at its nearest limit.
constexpr int kTimeMin = 1;
constexpr int kTimeMax = 1440;
int ClampTime(int minutes);

// ---- File browse ------------------------------------------------------------

// Where the open-file dialog starts for the current text of an edit: the text
// is split at its last backslash that is a character of its own (a Shift_JIS
// second byte 0x5C is not one): the part before is the initial folder, the
// part after the proposed file name. Without a backslash the whole text is
// the file name and there is no folder.
struct BrowseStart {
  std::string folder;
  std::string file;
};
BrowseStart SplitBrowsePath(std::string_view text);

// The two filters, "|" between description and pattern as the dialog takes
// them after "|" is turned into NUL.
constexpr const char kWaveFilter[] = "オーディオ ファイル(*.wav)|*.wav|";
constexpr const char kProgramFilter[] = "実行ファイル(*.exe)|*.exe|すべて(*.*)|*.*||";
// The icon files, where the shell's icon-selection dialog cannot be shown.
constexpr const char kIconFilter[] = "アイコン ファイル(*.ico;*.exe;*.dll)|*.ico;*.exe;*.dll|すべて(*.*)|*.*||";

// The filter in the open-file dialog's form: every "|" becomes NUL, and the
// result ends with two NULs.
std::string OpenFileFilter(std::string_view bar_filter);

// ---- Icon picker --------------------------------------------------------------

// The icon picker works on a path buffer of 260 characters. A path that does
// not fit (more than 259 bytes) is not cut, which could name another file:
// the picker starts without a path instead.
constexpr std::size_t kIconPathBuffer = 260;
std::string IconPickerStartPath(std::string_view path);

// ---- Page "アカウント" ------------------------------------------------------

struct AccountColumn {
  const char* title;
  int width;    // pixels
  int align;    // 0 left, 2 centre (LVCFMT_LEFT / LVCFMT_CENTER)
};
constexpr std::size_t kAccountColumnCount = 9;
extern const AccountColumn kAccountColumns[kAccountColumnCount];

// The nine texts of one list row: name, user ID, server, port, "○" for APOP,
// priority, icon file, sound file, program path.
std::array<std::string, kAccountColumnCount> AccountRowTexts(const CAccount& account);

// Page messages of its own (no caption, OK button).
constexpr const char kTooManyAccountsText[] =
    "アカウントは 255 個まで登録できます。\nこれ以上追加するには、使っていないアカウントを削除してください。";
constexpr const char kAccountSaveFailedText[] =
    "Account.dat を保存できませんでした。\n"
    "ディスクの空きや書き込みの許可を確かめてから、もう一度 OK か適用を押してください。";
constexpr const char kSettingsSaveFailedText[] =
    "Tidewell.ini を保存できませんでした。\n"
    "ディスクの空きや書き込みの許可を確かめてから、もう一度 OK か適用を押してください。";

// ---- Account dialog ----------------------------------------------------------

constexpr const char kDuplicateNameText[] = "表示名が一致するものは、追加・変更できません。";
constexpr const char kRequiredFieldsText[] = "必須項目を入力してください。";

// The mail list reads accounts through GetAccount, whose callers give 150
// bytes for the display name, the user ID and the password: a longer name
// would never find its mail, a longer user ID or password would log in with
// a cut value. The dialog keeps all three within 149 bytes.
constexpr std::size_t kDisplayNameMaxBytes = 149;
constexpr std::size_t kUserIdMaxBytes = 149;
constexpr std::size_t kPasswordMaxBytes = 149;
constexpr const char kDisplayNameTooLongText[] =
    "表示名が長すぎます。半角 149 文字（全角 74 文字）以内で入力してください。";
constexpr const char kUserIdTooLongText[] =
    "ID(アカウント名)が長すぎます。半角 149 文字（全角 74 文字）以内で入力してください。";
constexpr const char kPasswordTooLongText[] =
    "パスワードが長すぎます。半角 149 文字（全角 74 文字）以内で入力してください。";

// The connection security choices of the account dialog, in the order of
// their values (kTlsNone, kTlsStls, kTlsOnConnect).
constexpr const char* kSecurityNames[] = {"なし", "STLS", "SSL/TLS"};
constexpr int kSecurityCount = 3;

constexpr unsigned kPortMax = 65535;
constexpr unsigned kPriorityMax = 100000;

// Edit limits of the dialog (characters; set on the edits when it opens).
struct AccountEditLimit {
  int control;
  int chars;
};
constexpr std::size_t kAccountEditLimitCount = 10;
extern const AccountEditLimit kAccountEditLimits[kAccountEditLimitCount];

// The dialog's texts as the controls hold them.
struct AccountEntryTexts {
  std::string display_name, user_id, password, server, port, priority;
  std::string icon_file, sound_file, program_path, command_line, work_folder;
  bool password_required = true;  // false for an OAuth account: it signs in with a token
};

// The result of OK: on failure the message to show and the control to give
// the focus; the dialog stays open.
struct AccountEntryCheck {
  bool ok = false;
  std::string message;
  int control = 0;
};

// OK of the account dialog, steps 1 to 3: the texts are taken into out's
// text and number fields (each against its field size and range, the display
// name, user ID and password against 149 bytes); then the display name must not equal (byte for
// byte) another account's name of list unless it is the opening name; then
// the display name, user ID, password (unless !password_required) and server
// must not be empty. The check boxes are not touched.
AccountEntryCheck TakeAccountEntry(const AccountEntryTexts& texts, const std::string& opening_name,
                                   const AccountList& list, CAccount& out);

// The control ids of the account dialog (resource 136), shared with the .rc.
namespace account_dlg {
constexpr int kDisplayName = 1008, kApop = 1009, kUserId = 1010, kPassword = 1011, kServer = 1012, kPort = 1013;
constexpr int kIconFile = 1014, kIconCheck = 1015, kIconPick = 1016, kSoundFile = 1017, kSoundCheck = 1018;
constexpr int kSoundBrowse = 1019, kProgram = 1020, kExecCheck = 1021, kProgramBrowse = 1022, kCmdline = 1023;
constexpr int kIconPreview = 1024, kWorkFolder = 1025, kPriority = 1026, kNoDuplicate = 1055, kIconToNormal = 1056;
}  // namespace account_dlg

}  // namespace tidewell
