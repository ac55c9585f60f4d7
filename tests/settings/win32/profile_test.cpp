// Tidewell.ini through the real profile functions, on real files: the value
// conventions that the in-memory profile of the unit tests copies.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "profile_cases.h"
#include "tidewell/settings/memory_profile.h"
#include "common/paths.h"
#include "tidewell/settings/settings_file.h"
#include "text_round_trip.h"
#include "tidewell/settings/win32/win32_profile.h"
#include "win32/win_temp_folder.h"

namespace tidewell {
namespace {

std::string ReadBytes(const std::string& path) {
  std::string out;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return out;
  char buf[4096];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n) out.append(buf, n);
  CloseHandle(h);
  return out;
}

TEST(Win32Profile, ReadsValuesAsTheStandInDoes) {
  WinTempFolder dir;
  const std::string ini = SettingsFilePath(dir.path());
  Win32Profile real;
  MemoryProfile stand_in;
  for (const ProfileReadCase& c : kProfileReadCases) {
    ASSERT_TRUE(WriteBytes(ini, std::string("[S]\r\nK=") + c.raw + "\r\n"));
    stand_in.WriteString(ini, "S", "K", c.raw);
    EXPECT_EQ(real.GetInt(ini, "S", "K", kProfileCaseDefault), c.as_int) << "value [" << c.raw << "]";
    EXPECT_EQ(real.GetString(ini, "S", "K", "dflt"), c.as_text) << "value [" << c.raw << "]";
    EXPECT_EQ(stand_in.GetInt(ini, "S", "K", kProfileCaseDefault), c.as_int) << "value [" << c.raw << "]";
  }
}

TEST(Win32Profile, MissingFileAndMissingKeyGiveTheDefaults) {
  WinTempFolder dir;
  Win32Profile p;
  const EngineOptions o = LoadEngineOptions(p, dir.path());
  EXPECT_EQ(o.flags, kFastCheck | kBalloon);  // the only options on by default
  EXPECT_EQ(o.time, 10);
  EXPECT_EQ(o.timeout, 5);
  EXPECT_EQ(ReadSettingText(p, dir.path(), "Receive", "Exec"), "");
  EXPECT_FALSE(Exists(SettingsFilePath(dir.path())));

  ASSERT_TRUE(WriteBytes(SettingsFilePath(dir.path()), "[Message]\r\nStart=1\r\n[Icon]\r\nNormalClick=1\r\n"));
  const EngineOptions o2 = LoadEngineOptions(p, dir.path());
  EXPECT_EQ(o2.flags, kStart | kFastCheck | kBalloon);
  EXPECT_EQ(o2.time, 10);
  EXPECT_EQ(o2.timeout, 5);
  EXPECT_EQ(o2.normal_click, 1);
}

TEST(Win32Profile, FlagRulesHoldOnTheRealFunctions) {
  WinTempFolder dir;
  Win32Profile p;
  ASSERT_TRUE(WriteBytes(SettingsFilePath(dir.path()),
                         "[Message]\r\nTimeCheck=3\r\nEnd=2\r\nTime=abc\r\nTimeout=7 minutes\r\n"
                         "[Receive]\r\nListOpen=5\r\n"
                         "[Icon]\r\nNormalCheck=3\r\nReceiveCheck=1\r\nConnectCheck=2\r\nReceiveNumber=4\r\n"));
  const EngineOptions o = LoadEngineOptions(p, dir.path());
  EXPECT_EQ(o.flags, kTimeCheck | kListOpen | kFastCheck | kBalloon);
  EXPECT_EQ(o.time, 0);  // present but not a number
  EXPECT_EQ(o.timeout, 7);
  EXPECT_FALSE(ReadIconChoice(p, dir.path(), TrayIconState::kNormal).use_own);
  EXPECT_TRUE(ReadIconChoice(p, dir.path(), TrayIconState::kReceive).use_own);
  EXPECT_EQ(ReadIconChoice(p, dir.path(), TrayIconState::kReceive).index, 4);
  EXPECT_FALSE(ReadIconChoice(p, dir.path(), TrayIconState::kConnect).use_own);
  const MessagePageValues m = LoadMessagePage(p, dir.path());
  EXPECT_TRUE(m.time_check);
  EXPECT_FALSE(m.end);
}

TEST(Win32Profile, LongTextIsCutToTheBuffer) {
  WinTempFolder dir;
  Win32Profile p;
  ASSERT_TRUE(WriteBytes(SettingsFilePath(dir.path()), "[Receive]\r\nExecCmdline=" + std::string(10000, 'a') +
                                                           "\r\nExec=" + std::string(9999, 'b') + "\r\n"));
  EXPECT_EQ(ReadSettingText(p, dir.path(), "Receive", "ExecCmdline"), std::string(9999, 'a'));
  EXPECT_EQ(ReadSettingText(p, dir.path(), "Receive", "Exec"), std::string(9999, 'b'));
  EXPECT_EQ(ReadSettingText(p, dir.path(), "Receive", "Exec", 260), std::string(259, 'b'));
}

TEST(Win32Profile, ExitOnAFreshFolderWritesTheSingleKeyTimeout) {
  WinTempFolder dir;
  Win32Profile p;
  const EngineOptions o = LoadEngineOptions(p, dir.path());
  WriteTimeout(p, dir.path(), o.timeout);
  const std::string text = ReadBytes(SettingsFilePath(dir.path()));
  EXPECT_NE(text.find("[Message]"), std::string::npos) << text;
  EXPECT_NE(text.find("Timeout=5"), std::string::npos) << text;
  EXPECT_EQ(text.find('=', text.find('=') + 1), std::string::npos) << text;  // one key only
  EXPECT_EQ(LoadEngineOptions(p, dir.path()).timeout, 5);
}

TEST(Win32Profile, PagesRoundTripThroughARealFileWithShiftJisTexts) {
  WinTempFolder dir;
  Win32Profile p;
  MessagePageValues m;
  m.time_check = true;
  m.time = 1440;
  m.new_message = true;
  SaveMessagePage(p, dir.path(), m);
  ReceivePageValues r;
  r.exec_check = true;
  r.exec = "C:\\\x83\x81\x81\x5B\x83\x8B\\mail.exe";  // "メール"
  r.exec_cmdline = "/a \x95\x5C";
  r.sound = "C:\\s.wav";
  SaveReceivePage(p, dir.path(), r);
  IconPageValues i;
  i.connect = {true, "C:\\c.ico", 12};
  SaveIconPage(p, dir.path(), i);
  SaveClickPage(p, dir.path(), {1, 2});

  EXPECT_TRUE(Exists(dir.path() + "\\Tidewell.ini"));
  const EngineOptions o = LoadEngineOptions(p, dir.path());
  EXPECT_EQ(o.flags, kTimeCheck | kNewMessage | kExecCheck | kFastCheck | kBalloon);
  EXPECT_EQ(o.time, 1440);
  EXPECT_EQ(o.normal_click, 1);
  EXPECT_EQ(o.receive_click, 2);
  const ReceivePageValues r2 = LoadReceivePage(p, dir.path());
  EXPECT_EQ(r2.exec, r.exec);
  EXPECT_EQ(r2.exec_cmdline, r.exec_cmdline);
  EXPECT_EQ(r2.sound, r.sound);
  const IconChoice c = ReadIconChoice(p, dir.path(), TrayIconState::kConnect);
  EXPECT_TRUE(c.use_own);
  EXPECT_EQ(c.path, "C:\\c.ico");
  EXPECT_EQ(c.index, 12);
  // Flags are stored as "0"/"1".
  const std::string text = ReadBytes(SettingsFilePath(dir.path()));
  EXPECT_NE(text.find("TimeCheck=1"), std::string::npos);
  EXPECT_NE(text.find("Start=0"), std::string::npos);
  EXPECT_NE(text.find("ConnectNumber=12"), std::string::npos);
}

TEST(Win32Profile, EveryTextKeyReadsBackExactlyThroughTheRealFunctions) {
  WinTempFolder dir;
  Win32Profile p;
  ExpectTextKeysRoundTrip(p, dir.path());
}

TEST(Win32Profile, ShiftJisDataFolderEndingIn0x5C) {
  SKIP_WITHOUT_SHIFT_JIS_FILE_NAMES();
  WinTempFolder dir("\x95\x5C");  // a data folder named "表"
  Win32Profile p;
  WriteTimeout(p, dir.path(), 9);
  EXPECT_TRUE(Exists(dir.path() + "\\Tidewell.ini"));
  EXPECT_EQ(LoadEngineOptions(p, dir.path()).timeout, 9);
}

}  // namespace
}  // namespace tidewell
