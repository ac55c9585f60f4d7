#include "tidewell/engine/tray_state.h"
#include "common/paths.h"
#include "tidewell/settings/memory_profile.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tidewell/engine/engine_state.h"

namespace tidewell {
namespace {

TEST(TrayState, IconsTooltipsAndMailShownOfEveryState) {
  struct Case {
    TrayState state;
    int icon;
    const char* tip;  // for total = 7
    bool mail_shown_from_clear, mail_shown_from_set;
  } cases[] = {
      {TrayState::kNormal, 131, "Tidewell", false, false},
      {TrayState::kMail, 132, "7通の新着メールがあります。", true, true},
      {TrayState::kChecking, 133, "メールチェック中", false, true},
      {TrayState::kErrorWithMail, 134, "接続エラー ＆\n7通の新着メールがあります。", true, true},
      {TrayState::kError, 135, "接続エラー", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.icon);
    EXPECT_EQ(TrayIconResource(c.state), c.icon);
    EXPECT_EQ(TrayTooltip(c.state, 7), c.tip);
    EXPECT_EQ((FlagsAfterTrayState(c.state, kEnd) & kMailShown) != 0, c.mail_shown_from_clear);
    EXPECT_EQ((FlagsAfterTrayState(c.state, kEnd | kMailShown) & kMailShown) != 0, c.mail_shown_from_set);
    EXPECT_TRUE(FlagsAfterTrayState(c.state, kEnd) & kEnd);  // other bits untouched
  }
}

// Each state reads its own keys of [Icon] by the settings' rule (on only when
// the check key is exactly 1); the error states never use a user icon.
TEST(TrayState, UserIconOfEachStateByTheSettingsRule) {
  const std::string folder = "C:\\tw";
  const std::string ini = SettingsFilePath(folder);
  struct Case { TrayState state; const char* check; const char* check_value; bool use_own; const char* path; int index; };
  const Case cases[] = {
      {TrayState::kNormal, "NormalCheck", "1", true, "n.ico", 1},
      {TrayState::kNormal, "NormalCheck", "3", false, "n.ico", 1},
      {TrayState::kMail, "ReceiveCheck", "1", true, "r.ico", 2},
      {TrayState::kMail, "ReceiveCheck", "2", false, "r.ico", 2},
      {TrayState::kChecking, "ConnectCheck", "1", true, "c.ico", 3},
      {TrayState::kChecking, "ConnectCheck", "0", false, "c.ico", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.check + std::string("=") + c.check_value);
    MemoryProfile p;
    for (const char* k : {"NormalCheck", "ReceiveCheck", "ConnectCheck"}) p.WriteString(ini, "Icon", k, "1");
    p.WriteString(ini, "Icon", c.check, c.check_value);
    p.WriteString(ini, "Icon", "Normal", "n.ico");
    p.WriteString(ini, "Icon", "NormalNumber", "1");
    p.WriteString(ini, "Icon", "Receive", "r.ico");
    p.WriteString(ini, "Icon", "ReceiveNumber", "2");
    p.WriteString(ini, "Icon", "Connect", "c.ico");
    p.WriteString(ini, "Icon", "ConnectNumber", "3");
    const IconChoice choice = TrayUserIcon(p, folder, c.state);
    EXPECT_EQ(choice.use_own, c.use_own);
    EXPECT_EQ(choice.path, c.path);
    EXPECT_EQ(choice.index, c.index);
    for (TrayState error : {TrayState::kError, TrayState::kErrorWithMail})
      EXPECT_FALSE(TrayUserIcon(p, folder, error).use_own);
  }
}

TEST(TrayState, TooltipsFitTheTipFieldForEveryCount) {
  for (int total : {0, -1, 2147483647, -2147483647 - 1}) {
    for (TrayState s : {TrayState::kMail, TrayState::kErrorWithMail}) {
      const std::string tip = TrayTooltip(s, total);
      EXPECT_LT(tip.size(), kTrayTipSize);
      EXPECT_NE(tip.find(std::to_string(total)), std::string::npos) << tip;
    }
  }
}

TEST(TrayState, CutShiftJisNeverSplitsADoubleByteCharacter) {
  const std::string text = "ab接続";  // a b, then two double-byte characters
  ASSERT_EQ(text.size(), 6u);
  struct Case {
    std::size_t max;
    std::size_t kept;
  } cases[] = {{0, 0}, {2, 2}, {3, 2}, {4, 4}, {5, 4}, {6, 6}, {100, 6}};
  for (const Case& c : cases) EXPECT_EQ(CutShiftJis(text, c.max), text.substr(0, c.kept)) << c.max;
  // A lone lead byte at the very end is kept as one byte.
  EXPECT_EQ(CutShiftJis("a\x82", 2), "a\x82");
}

}  // namespace
}  // namespace tidewell
