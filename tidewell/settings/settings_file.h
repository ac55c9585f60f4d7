// Tidewell.ini: the table of every key, the engine's load, its text lookup
// and icon selection, the exit write of Timeout, and the load/save pair of
// each settings page.
//
// Value conventions (the same through MemoryProfile and the real functions):
//   - flags are written "0"/"1", integers with "%d", texts as they are unless
//     reading would change them (ProfileTextToWrite);
//   - flags of Message and Receive count by their lowest bit (2 is off,
//     3 is on); the three Icon check keys are on only when exactly 1;
//   - an integer is the leading number of the value; a present value that does
//     not start with a number reads 0; a missing file or key gives the default;
//   - texts are read with a 10,000-byte buffer (at most 9,999 bytes), default "".
// Every function builds the path from the data folder it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tidewell/settings/flag_word.h"
#include "tidewell/settings/profile.h"

namespace tidewell {

constexpr const char kSectionMessage[] = "Message";
constexpr const char kSectionReceive[] = "Receive";
constexpr const char kSectionIcon[] = "Icon";

enum class SettingType { kFlag, kInteger, kText };

// How a flag value counts as on.
enum class FlagRule { kNone, kLowestBit, kExactlyOne };

// The settings page that writes a key (kNone: the engine or nobody).
enum class SettingPage { kNone, kMessage, kReceive, kIcon, kClick };

// Who reads a key (bit set).
enum SettingReader : unsigned {
  kReadByPage = 1u << 0,          // its settings page
  kReadByEngineLoad = 1u << 1,    // LoadEngineOptions
  kReadByEngineOnUse = 1u << 2,   // the engine at the moment of use
  kReadByQuillbox = 1u << 3,      // the list library seeds its own settings
};

struct SettingKey {
  const char* section;
  const char* key;
  SettingType type;
  int default_value;    // flags and integers; texts default to ""
  FlagRule flag_rule;
  SettingPage page;     // writer
  unsigned readers;     // SettingReader bits
  std::uint32_t engine_bit;  // flag word bit of the engine (0: none)
};

// Every key of Tidewell.ini, in the order of the file's documentation.
extern const SettingKey kSettingKeys[];
extern const std::size_t kSettingKeyCount;

// The table entry of section/key (exact spelling), or nullptr.
const SettingKey* FindSettingKey(const char* section, const char* key);

// Reads one flag or integer key with its default and flag rule: flags give 0
// or 1, integers the number as read.
int ReadSettingValue(Profile& profile, const std::string& data_folder, const SettingKey& key);

// ---- Engine ----

// Flag word bits that the engine load fills (the options of Message and
// Receive); every other bit of the flag word is engine state.
constexpr std::uint32_t kEngineOptionFlags = kMsgCheck | kStart | kTimeCheck | kExceptProgram | kSoundCheck |
                                             kExecCheck | kExecDuplicate | kExecIconChange | kEnd | kListOpen |
                                             kNewMessage | kErrorDisregard | kFastCheck | kBalloon;

struct EngineOptions {
  std::uint32_t flags = 0;  // only kEngineOptionFlags bits
  int time = 10;            // Message/Time, minutes between timed checks
  int timeout = 5;          // Message/Timeout as stored (see EffectiveTimeout)
  int normal_click = 0;     // Icon/NormalClick
  int receive_click = 0;    // Icon/ReceiveClick
};

// Engine load, in this order: TimeCheck, Time, Start, End, MsgCheck,
// NewMessage, ExceptProgram, Timeout, ErrorDisregard, FastCheck (default on),
// ExecCheck, ExecDuplicate, ExecIconChange, SoundCheck, ListOpen, NormalClick,
// ReceiveClick, Balloon (default on).
EngineOptions LoadEngineOptions(Profile& profile, const std::string& data_folder);

// The flag word with its option bits replaced by those of options.flags and
// its state bits kept.
inline std::uint32_t MergeOptionFlags(std::uint32_t flag_word, std::uint32_t option_flags) {
  return (flag_word & ~kEngineOptionFlags) | (option_flags & kEngineOptionFlags);
}

// A stored timeout below 1 acts as 5.
inline int EffectiveTimeout(int timeout) { return timeout < 1 ? 5 : timeout; }

// The value text that WritePrivateProfileStringA must be given for `text`
// to read back exactly through GetPrivateProfileStringA: the text itself, or,
// when reading would drop white space at either end or a pair of quotes
// around it, the text inside one more pair of double quotes. Every text key
// of Tidewell.ini is written this way.
std::string ProfileTextToWrite(const std::string& text);

// Engine text lookup (e.g. Receive/Sound, Receive/Exec, Icon/Normal): the
// text of section/key, default "", cut to buffer_size - 1 bytes.
std::string ReadSettingText(Profile& profile, const std::string& data_folder, const char* section,
                            const char* key, std::size_t buffer_size = Profile::kTextBufferSize);

// The three tray icon states that may use an icon of the user's choice.
enum class TrayIconState { kNormal, kReceive, kConnect };

struct IconChoice {
  bool use_own = false;  // NormalCheck/ReceiveCheck/ConnectCheck is exactly 1
  std::string path;      // Normal/Receive/Connect
  int index = 0;         // NormalNumber/ReceiveNumber/ConnectNumber
};

// Engine icon selection: the check key, path and index of one state, read
// anew at each call.
IconChoice ReadIconChoice(Profile& profile, const std::string& data_folder, TrayIconState state);

// Exit: Message/Timeout := timeout ("%d").
void WriteTimeout(Profile& profile, const std::string& data_folder, int timeout);

// ---- Settings pages ----
// Load reads every key of the page with its default; Save writes every key of
// the page, changed or not, one write per key, in table order.

// Page "メッセージ".
struct MessagePageValues {
  bool time_check = false;
  int time = 10;
  bool start = false;
  bool end = false;
  bool error_disregard = false;
  bool msg_check = false;
  bool new_message = false;
};
MessagePageValues LoadMessagePage(Profile& profile, const std::string& data_folder);
void SaveMessagePage(Profile& profile, const std::string& data_folder, const MessagePageValues& values);

// Page "受信時処理".
struct ReceivePageValues {
  bool sound_check = false;
  std::string sound;
  bool exec_check = false;
  std::string exec;
  std::string exec_cmdline;
  std::string exec_work_folder;
  bool exec_duplicate = false;
  bool exec_icon_change = false;
  bool list_open = false;
  bool balloon = true;  // Message/Balloon, shown on this page
};
ReceivePageValues LoadReceivePage(Profile& profile, const std::string& data_folder);
void SaveReceivePage(Profile& profile, const std::string& data_folder, const ReceivePageValues& values);

// Page "アイコン": one IconChoice per state (normal, new mail, checking).
struct IconPageValues {
  IconChoice normal, receive, connect;
};
IconPageValues LoadIconPage(Profile& profile, const std::string& data_folder);
void SaveIconPage(Profile& profile, const std::string& data_folder, const IconPageValues& values);

// Page "左クリック".
struct ClickPageValues {
  int normal_click = 0;   // 0 mail check, 1 list
  int receive_click = 0;  // 0 list, 1 mail check, 2 external program of Receive/Exec
};
ClickPageValues LoadClickPage(Profile& profile, const std::string& data_folder);
void SaveClickPage(Profile& profile, const std::string& data_folder, const ClickPageValues& values);

}  // namespace tidewell
