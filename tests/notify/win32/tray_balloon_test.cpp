// What the balloon hands to the shell: NIM_MODIFY of the main icon with
// NIF_INFO alone (icon and tooltip untouched), the structure size that
// carries the balloon fields, the texts as built, the info icon; and the
// shell's answer passed back.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tidewell/engine/win32/tray_balloon.h"

namespace tidewell {
namespace {

DWORD g_message = 0;
NOTIFYICONDATAA g_data;
BOOL g_answer = TRUE;
int g_calls = 0;

BOOL WINAPI RecordNotify(DWORD message, PNOTIFYICONDATAA data) {
  ++g_calls;
  g_message = message;
  std::memcpy(&g_data, data, sizeof g_data);
  return g_answer;
}

TEST(TrayBalloon, ModifiesTheIconWithTheBalloonFieldsOnly) {
  const BalloonNotice notice =
      BuildBalloonNotice(2, {{"ann@example.com", "会議の件"}, {"=?bad?= <b@x>", "件名"}});
  HWND owner = reinterpret_cast<HWND>(0x1234);
  g_calls = 0;
  g_answer = TRUE;
  EXPECT_TRUE(ShowBalloon(owner, 1, notice, RecordNotify));
  ASSERT_EQ(g_calls, 1);
  EXPECT_EQ(g_message, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_EQ(g_data.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V2_SIZE));
  EXPECT_EQ(g_data.hWnd, owner);
  EXPECT_EQ(g_data.uID, 1u);
  EXPECT_EQ(g_data.uFlags, static_cast<UINT>(NIF_INFO));
  EXPECT_EQ(g_data.dwInfoFlags, static_cast<DWORD>(NIIF_INFO));
  EXPECT_EQ(g_data.uTimeout, 10000u);
  EXPECT_STREQ(g_data.szInfoTitle, "Tidewell: 2通の新着メール");
  EXPECT_STREQ(g_data.szInfo, "ann@example.com: 会議の件\r\n=?bad?= <b@x>: 件名");
  EXPECT_EQ(g_data.szTip[0], '\0');

  g_answer = FALSE;
  EXPECT_FALSE(ShowBalloon(owner, 1, notice, RecordNotify)) << "the shell's refusal comes back";
}

TEST(TrayBalloon, LongestTextsStayTerminatedInTheirFields) {
  std::string subject(600, 'x');
  const BalloonNotice notice = BuildBalloonNotice(
      2147483647, {{std::string(300, 'a'), subject}, {std::string(300, 'b'), subject}, {"c", subject}});
  const NOTIFYICONDATAA data = BalloonData(nullptr, 7, notice);
  EXPECT_EQ(std::strlen(data.szInfo), notice.text.size());
  EXPECT_LT(std::strlen(data.szInfo), sizeof data.szInfo);
  EXPECT_EQ(std::string(data.szInfoTitle), notice.title);
}

}  // namespace
}  // namespace tidewell
