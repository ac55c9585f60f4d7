// Every text key of Tidewell.ini written by its page and read back by the
// page, by the engine's text lookup and by the icon selection, for values
// that the profile functions would change if they were written as they are.
// Run against MemoryProfile natively and against the real functions under
// Wine.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tidewell/settings/settings_file.h"

namespace tidewell {

inline constexpr const char* kTextRoundTripValues[] = {
    "\"C:\\My Documents\\inbox.txt\"",  // a quoted argument
    "\"a\" \"b\"",                       // begins and ends with a quote
    "'single'",
    "\"\"",
    "\"",
    "\"x",
    " leading space",
    "trailing tab\t",
    "  ",
    "plain C:\\p.exe",
    "\x83\x81\x81\x5B\x83\x8B \"\x95\x5C\"",  // Shift_JIS "メール" and a quoted "表"
    "",
};

inline void ExpectTextKeysRoundTrip(Profile& profile, const std::string& folder) {
  for (const char* value : kTextRoundTripValues) {
    SCOPED_TRACE(std::string("value [") + value + "]");
    ReceivePageValues r;
    r.sound = value;
    r.exec = value;
    r.exec_cmdline = value;
    r.exec_work_folder = value;
    SaveReceivePage(profile, folder, r);
    IconPageValues i;
    i.normal = {true, value, 1};
    i.receive = {true, value, 2};
    i.connect = {true, value, 3};
    SaveIconPage(profile, folder, i);

    const ReceivePageValues r2 = LoadReceivePage(profile, folder);
    EXPECT_EQ(r2.sound, value);
    EXPECT_EQ(r2.exec, value);
    EXPECT_EQ(r2.exec_cmdline, value);
    EXPECT_EQ(r2.exec_work_folder, value);
    for (const char* key : {"Sound", "Exec", "ExecCmdline", "ExecWorkFolder"})
      EXPECT_EQ(ReadSettingText(profile, folder, kSectionReceive, key), value) << key;
    const IconPageValues i2 = LoadIconPage(profile, folder);
    EXPECT_EQ(i2.normal.path, value);
    EXPECT_EQ(i2.receive.path, value);
    EXPECT_EQ(i2.connect.path, value);
    for (TrayIconState s : {TrayIconState::kNormal, TrayIconState::kReceive, TrayIconState::kConnect})
      EXPECT_EQ(ReadIconChoice(profile, folder, s).path, value);
  }
}

}  // namespace tidewell
