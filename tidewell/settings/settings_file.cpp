#include "tidewell/settings/settings_file.h"

#include <cstdio>
#include <cstring>

#include "common/paths.h"

namespace tidewell {

namespace {

constexpr unsigned kPage = kReadByPage;
constexpr unsigned kLoad = kReadByEngineLoad;
constexpr unsigned kOnUse = kReadByEngineOnUse;
constexpr unsigned kQuill = kReadByQuillbox;

constexpr SettingType kFlag = SettingType::kFlag;
constexpr SettingType kInt = SettingType::kInteger;
constexpr SettingType kText = SettingType::kText;

constexpr FlagRule kNoRule = FlagRule::kNone;
constexpr FlagRule kLowBit = FlagRule::kLowestBit;
constexpr FlagRule kOne = FlagRule::kExactlyOne;

}  // namespace

// section, key, type, default, flag rule, written by, read by, engine flag bit
const SettingKey kSettingKeys[] = {
    {kSectionMessage, "TimeCheck", kFlag, 0, kLowBit, SettingPage::kMessage, kPage | kLoad, kTimeCheck},
    {kSectionMessage, "Time", kInt, 10, kNoRule, SettingPage::kMessage, kPage | kLoad, 0},
    {kSectionMessage, "Start", kFlag, 0, kLowBit, SettingPage::kMessage, kPage | kLoad, kStart},
    {kSectionMessage, "End", kFlag, 0, kLowBit, SettingPage::kMessage, kPage | kLoad, kEnd},
    {kSectionMessage, "ErrorDisregard", kFlag, 0, kLowBit, SettingPage::kMessage, kPage | kLoad, kErrorDisregard},
    {kSectionMessage, "MsgCheck", kFlag, 0, kLowBit, SettingPage::kMessage, kPage | kLoad, kMsgCheck},
    {kSectionMessage, "NewMessage", kFlag, 0, kLowBit, SettingPage::kMessage, kPage | kLoad, kNewMessage},
    {kSectionMessage, "Timeout", kInt, 5, kNoRule, SettingPage::kNone, kLoad, 0},
    {kSectionMessage, "ExceptProgram", kFlag, 0, kLowBit, SettingPage::kNone, kLoad, kExceptProgram},
    {kSectionMessage, "FastCheck", kFlag, 1, kLowBit, SettingPage::kNone, kLoad, kFastCheck},
    {kSectionReceive, "SoundCheck", kFlag, 0, kLowBit, SettingPage::kReceive, kPage | kLoad, kSoundCheck},
    {kSectionReceive, "Sound", kText, 0, kNoRule, SettingPage::kReceive, kPage | kOnUse, 0},
    {kSectionReceive, "ExecCheck", kFlag, 0, kLowBit, SettingPage::kReceive, kPage | kLoad, kExecCheck},
    {kSectionReceive, "Exec", kText, 0, kNoRule, SettingPage::kReceive, kPage | kOnUse | kQuill, 0},
    {kSectionReceive, "ExecCmdline", kText, 0, kNoRule, SettingPage::kReceive, kPage | kOnUse | kQuill, 0},
    {kSectionReceive, "ExecWorkFolder", kText, 0, kNoRule, SettingPage::kReceive, kPage | kOnUse | kQuill, 0},
    {kSectionReceive, "ExecDuplicate", kFlag, 0, kLowBit, SettingPage::kReceive, kPage | kLoad, kExecDuplicate},
    {kSectionReceive, "ExecIconChange", kFlag, 0, kLowBit, SettingPage::kReceive, kPage | kLoad, kExecIconChange},
    {kSectionReceive, "ListOpen", kFlag, 0, kLowBit, SettingPage::kReceive, kPage | kLoad, kListOpen},
    {kSectionIcon, "NormalCheck", kFlag, 0, kOne, SettingPage::kIcon, kPage | kOnUse, 0},
    {kSectionIcon, "Normal", kText, 0, kNoRule, SettingPage::kIcon, kPage | kOnUse, 0},
    {kSectionIcon, "NormalNumber", kInt, 0, kNoRule, SettingPage::kIcon, kPage | kOnUse, 0},
    {kSectionIcon, "ReceiveCheck", kFlag, 0, kOne, SettingPage::kIcon, kPage | kOnUse, 0},
    {kSectionIcon, "Receive", kText, 0, kNoRule, SettingPage::kIcon, kPage | kOnUse, 0},
    {kSectionIcon, "ReceiveNumber", kInt, 0, kNoRule, SettingPage::kIcon, kPage | kOnUse, 0},
    {kSectionIcon, "ConnectCheck", kFlag, 0, kOne, SettingPage::kIcon, kPage | kOnUse, 0},
    {kSectionIcon, "Connect", kText, 0, kNoRule, SettingPage::kIcon, kPage | kOnUse, 0},
    {kSectionIcon, "ConnectNumber", kInt, 0, kNoRule, SettingPage::kIcon, kPage | kOnUse, 0},
    {kSectionIcon, "NormalClick", kInt, 0, kNoRule, SettingPage::kClick, kPage | kLoad, 0},
    {kSectionIcon, "ReceiveClick", kInt, 0, kNoRule, SettingPage::kClick, kPage | kLoad, 0},
    // The balloon notice on new mail; on unless the file says otherwise.
    {kSectionMessage, "Balloon", kFlag, 1, kLowBit, SettingPage::kReceive, kPage | kLoad, kBalloon},
};
const std::size_t kSettingKeyCount = sizeof kSettingKeys / sizeof kSettingKeys[0];

const SettingKey* FindSettingKey(const char* section, const char* key) {
  for (std::size_t i = 0; i < kSettingKeyCount; ++i)
    if (std::strcmp(kSettingKeys[i].section, section) == 0 && std::strcmp(kSettingKeys[i].key, key) == 0)
      return &kSettingKeys[i];
  return nullptr;
}

namespace {

const SettingKey& Key(const char* section, const char* key) {
  const SettingKey* k = FindSettingKey(section, key);
  // Every name used below is in the table; a typo is caught by the tests.
  return k ? *k : kSettingKeys[0];
}

int ApplyFlagRule(FlagRule rule, int value) {
  switch (rule) {
    case FlagRule::kLowestBit: return value & 1;
    case FlagRule::kExactlyOne: return value == 1 ? 1 : 0;
    case FlagRule::kNone: break;
  }
  return value;
}

int ReadValue(Profile& profile, const std::string& path, const SettingKey& key) {
  const int value = profile.GetInt(path, key.section, key.key, key.default_value);
  return key.type == SettingType::kFlag ? ApplyFlagRule(key.flag_rule, value) : value;
}

int Read(Profile& profile, const std::string& path, const char* section, const char* key) {
  return ReadValue(profile, path, Key(section, key));
}

std::string ReadText(Profile& profile, const std::string& path, const char* section, const char* key) {
  return profile.GetString(path, section, key, "", Profile::kTextBufferSize);
}

void WriteInt(Profile& profile, const std::string& path, const char* section, const char* key, int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  profile.WriteString(path, section, key, text);
}

// Texts are written so that they read back exactly. The profile functions
// drop white space around a value and one pair of matching quotes, so a
// value that would lose something that way (a quoted path as a command line,
// a name beginning with a space) goes to the file inside one more pair of
// double quotes, which is all the reading takes off again.
void WriteText(Profile& profile, const std::string& path, const char* section, const char* key,
               const std::string& text) {
  profile.WriteString(path, section, key, ProfileTextToWrite(text));
}

void WriteFlag(Profile& profile, const std::string& path, const char* section, const char* key, bool on) {
  profile.WriteString(path, section, key, on ? "1" : "0");
}

struct IconKeys {
  const char* check;
  const char* path;
  const char* number;
};

IconKeys KeysOf(TrayIconState state) {
  switch (state) {
    case TrayIconState::kReceive: return {"ReceiveCheck", "Receive", "ReceiveNumber"};
    case TrayIconState::kConnect: return {"ConnectCheck", "Connect", "ConnectNumber"};
    case TrayIconState::kNormal: break;
  }
  return {"NormalCheck", "Normal", "NormalNumber"};
}

IconChoice ReadIcon(Profile& profile, const std::string& path, TrayIconState state) {
  const IconKeys keys = KeysOf(state);
  IconChoice choice;
  choice.use_own = Read(profile, path, kSectionIcon, keys.check) != 0;
  choice.path = ReadText(profile, path, kSectionIcon, keys.path);
  choice.index = Read(profile, path, kSectionIcon, keys.number);
  return choice;
}

void WriteIcon(Profile& profile, const std::string& path, TrayIconState state, const IconChoice& choice) {
  const IconKeys keys = KeysOf(state);
  WriteFlag(profile, path, kSectionIcon, keys.check, choice.use_own);
  WriteText(profile, path, kSectionIcon, keys.path, choice.path);
  WriteInt(profile, path, kSectionIcon, keys.number, choice.index);
}

}  // namespace

int ReadSettingValue(Profile& profile, const std::string& data_folder, const SettingKey& key) {
  return ReadValue(profile, SettingsFilePath(data_folder), key);
}

EngineOptions LoadEngineOptions(Profile& profile, const std::string& data_folder) {
  const std::string path = SettingsFilePath(data_folder);
  EngineOptions o;
  auto flag = [&](const char* section, const char* key) {
    const SettingKey& k = Key(section, key);
    if (ReadValue(profile, path, k)) o.flags |= k.engine_bit;
  };
  flag(kSectionMessage, "TimeCheck");
  o.time = Read(profile, path, kSectionMessage, "Time");
  flag(kSectionMessage, "Start");
  flag(kSectionMessage, "End");
  flag(kSectionMessage, "MsgCheck");
  flag(kSectionMessage, "NewMessage");
  flag(kSectionMessage, "ExceptProgram");
  o.timeout = Read(profile, path, kSectionMessage, "Timeout");
  flag(kSectionMessage, "ErrorDisregard");
  flag(kSectionMessage, "FastCheck");
  flag(kSectionReceive, "ExecCheck");
  flag(kSectionReceive, "ExecDuplicate");
  flag(kSectionReceive, "ExecIconChange");
  flag(kSectionReceive, "SoundCheck");
  flag(kSectionReceive, "ListOpen");
  o.normal_click = Read(profile, path, kSectionIcon, "NormalClick");
  o.receive_click = Read(profile, path, kSectionIcon, "ReceiveClick");
  flag(kSectionMessage, "Balloon");
  return o;
}

std::string ProfileTextToWrite(const std::string& text) {
  if (text.empty()) return text;
  const auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
  };
  const char first = text.front(), last = text.back();
  const bool quoted = text.size() >= 2 && (first == '"' || first == '\'') && last == first;
  if (!quoted && !blank(first) && !blank(last)) return text;
  return "\"" + text + "\"";
}

std::string ReadSettingText(Profile& profile, const std::string& data_folder, const char* section, const char* key,
                            std::size_t buffer_size) {
  return profile.GetString(SettingsFilePath(data_folder), section, key, "", buffer_size);
}

IconChoice ReadIconChoice(Profile& profile, const std::string& data_folder, TrayIconState state) {
  return ReadIcon(profile, SettingsFilePath(data_folder), state);
}

void WriteTimeout(Profile& profile, const std::string& data_folder, int timeout) {
  WriteInt(profile, SettingsFilePath(data_folder), kSectionMessage, "Timeout", timeout);
}

MessagePageValues LoadMessagePage(Profile& profile, const std::string& data_folder) {
  const std::string path = SettingsFilePath(data_folder);
  MessagePageValues v;
  v.time_check = Read(profile, path, kSectionMessage, "TimeCheck") != 0;
  v.time = Read(profile, path, kSectionMessage, "Time");
  v.start = Read(profile, path, kSectionMessage, "Start") != 0;
  v.end = Read(profile, path, kSectionMessage, "End") != 0;
  v.error_disregard = Read(profile, path, kSectionMessage, "ErrorDisregard") != 0;
  v.msg_check = Read(profile, path, kSectionMessage, "MsgCheck") != 0;
  v.new_message = Read(profile, path, kSectionMessage, "NewMessage") != 0;
  return v;
}

void SaveMessagePage(Profile& profile, const std::string& data_folder, const MessagePageValues& v) {
  const std::string path = SettingsFilePath(data_folder);
  WriteFlag(profile, path, kSectionMessage, "TimeCheck", v.time_check);
  WriteInt(profile, path, kSectionMessage, "Time", v.time);
  WriteFlag(profile, path, kSectionMessage, "Start", v.start);
  WriteFlag(profile, path, kSectionMessage, "End", v.end);
  WriteFlag(profile, path, kSectionMessage, "ErrorDisregard", v.error_disregard);
  WriteFlag(profile, path, kSectionMessage, "MsgCheck", v.msg_check);
  WriteFlag(profile, path, kSectionMessage, "NewMessage", v.new_message);
}

ReceivePageValues LoadReceivePage(Profile& profile, const std::string& data_folder) {
  const std::string path = SettingsFilePath(data_folder);
  ReceivePageValues v;
  v.sound_check = Read(profile, path, kSectionReceive, "SoundCheck") != 0;
  v.sound = ReadText(profile, path, kSectionReceive, "Sound");
  v.exec_check = Read(profile, path, kSectionReceive, "ExecCheck") != 0;
  v.exec = ReadText(profile, path, kSectionReceive, "Exec");
  v.exec_cmdline = ReadText(profile, path, kSectionReceive, "ExecCmdline");
  v.exec_work_folder = ReadText(profile, path, kSectionReceive, "ExecWorkFolder");
  v.exec_duplicate = Read(profile, path, kSectionReceive, "ExecDuplicate") != 0;
  v.exec_icon_change = Read(profile, path, kSectionReceive, "ExecIconChange") != 0;
  v.list_open = Read(profile, path, kSectionReceive, "ListOpen") != 0;
  v.balloon = Read(profile, path, kSectionMessage, "Balloon") != 0;
  return v;
}

void SaveReceivePage(Profile& profile, const std::string& data_folder, const ReceivePageValues& v) {
  const std::string path = SettingsFilePath(data_folder);
  WriteFlag(profile, path, kSectionReceive, "SoundCheck", v.sound_check);
  WriteText(profile, path, kSectionReceive, "Sound", v.sound);
  WriteFlag(profile, path, kSectionReceive, "ExecCheck", v.exec_check);
  WriteText(profile, path, kSectionReceive, "Exec", v.exec);
  WriteText(profile, path, kSectionReceive, "ExecCmdline", v.exec_cmdline);
  WriteText(profile, path, kSectionReceive, "ExecWorkFolder", v.exec_work_folder);
  WriteFlag(profile, path, kSectionReceive, "ExecDuplicate", v.exec_duplicate);
  WriteFlag(profile, path, kSectionReceive, "ExecIconChange", v.exec_icon_change);
  WriteFlag(profile, path, kSectionReceive, "ListOpen", v.list_open);
  WriteFlag(profile, path, kSectionMessage, "Balloon", v.balloon);
}

IconPageValues LoadIconPage(Profile& profile, const std::string& data_folder) {
  const std::string path = SettingsFilePath(data_folder);
  IconPageValues v;
  v.normal = ReadIcon(profile, path, TrayIconState::kNormal);
  v.receive = ReadIcon(profile, path, TrayIconState::kReceive);
  v.connect = ReadIcon(profile, path, TrayIconState::kConnect);
  return v;
}

void SaveIconPage(Profile& profile, const std::string& data_folder, const IconPageValues& v) {
  const std::string path = SettingsFilePath(data_folder);
  WriteIcon(profile, path, TrayIconState::kNormal, v.normal);
  WriteIcon(profile, path, TrayIconState::kReceive, v.receive);
  WriteIcon(profile, path, TrayIconState::kConnect, v.connect);
}

ClickPageValues LoadClickPage(Profile& profile, const std::string& data_folder) {
  const std::string path = SettingsFilePath(data_folder);
  ClickPageValues v;
  v.normal_click = Read(profile, path, kSectionIcon, "NormalClick");
  v.receive_click = Read(profile, path, kSectionIcon, "ReceiveClick");
  return v;
}

void SaveClickPage(Profile& profile, const std::string& data_folder, const ClickPageValues& v) {
  const std::string path = SettingsFilePath(data_folder);
  WriteInt(profile, path, kSectionIcon, "NormalClick", v.normal_click);
  WriteInt(profile, path, kSectionIcon, "ReceiveClick", v.receive_click);
}

}  // namespace tidewell
