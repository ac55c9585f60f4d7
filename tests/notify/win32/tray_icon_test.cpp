// The icon the tray shows for each state, through the real profile functions
// and ExtractIconExA: the icon of the user's choice only when the state's
// check key is exactly 1 and the file holds an icon at that index, else the
// built-in icon of the state. Icon index 0 of this test program is the
// "user's" icon; the built-in icons are linked into it as into Tidewell.exe.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notify_win32_util.h"
#include "resource.h"
#include "tidewell/engine/win32/tray_icon.h"

namespace tidewell {
namespace {

using testing::ExePath;
using testing::TempFolder;
using testing::WriteFileBytes;

// The mask and colour bits of an icon: equal bits, equal picture.
std::string IconBits(HICON icon) {
  ICONINFO info{};
  if (!icon || !GetIconInfo(icon, &info)) return "<none>";
  std::string out;
  for (HBITMAP bitmap : {info.hbmMask, info.hbmColor}) {
    if (!bitmap) continue;
    BITMAP b{};
    GetObjectA(bitmap, sizeof b, &b);
    std::string bits(static_cast<std::size_t>(b.bmWidthBytes) * b.bmHeight * b.bmPlanes, '\0');
    GetBitmapBits(bitmap, static_cast<LONG>(bits.size()), &bits[0]);
    out += std::to_string(b.bmWidth) + "x" + std::to_string(b.bmHeight) + ":" + bits;
    DeleteObject(bitmap);
  }
  return out;
}

std::string BitsAndDestroy(HICON icon) {
  std::string bits = IconBits(icon);
  if (icon) DestroyIcon(icon);
  return bits;
}

std::string BuiltIn(int id) {
  return IconBits(static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                LR_SHARED)));
}

std::string UserIcon() {
  HICON small_icon = nullptr;
  ExtractIconExA(ExePath().c_str(), 0, nullptr, &small_icon, 1);
  return BitsAndDestroy(small_icon);
}

TEST(TrayIcon, UserIconOnlyByTheSettingsRuleElseTheBuiltInIcon) {
  const std::string user = UserIcon();
  ASSERT_NE(user, "<none>");
  ASSERT_NE(user, BuiltIn(IDI_TRAY_NORMAL)) << "the two icons must differ for the test to tell them apart";
  ASSERT_NE(user, BuiltIn(IDI_TRAY_MAIL));

  struct Case {
    const char* what;
    TrayState state;
    const char* check;  // value of the state's check key (nullptr: absent)
    bool with_file;
    const char* index;
    bool user_icon;
    int built_in;
  };
  const Case cases[] = {
      {"normal, key 1", TrayState::kNormal, "1", true, "0", true, IDI_TRAY_NORMAL},
      {"normal, key 3 is not exactly 1", TrayState::kNormal, "3", true, "0", false, IDI_TRAY_NORMAL},
      {"normal, key absent", TrayState::kNormal, nullptr, true, "0", false, IDI_TRAY_NORMAL},
      {"normal, no such icon index", TrayState::kNormal, "1", true, "99", false, IDI_TRAY_NORMAL},
      {"normal, no file named", TrayState::kNormal, "1", false, "0", false, IDI_TRAY_NORMAL},
      {"new mail, key 1", TrayState::kMail, "1", true, "0", true, IDI_TRAY_MAIL},
      {"new mail, bad index", TrayState::kMail, "1", true, "-5", false, IDI_TRAY_MAIL},
      {"checking, key 1", TrayState::kChecking, "1", true, "0", true, IDI_TRAY_CHECKING},
      {"error: never a user icon", TrayState::kError, "1", true, "0", false, IDI_TRAY_ERROR},
      {"error with mail: never a user icon", TrayState::kErrorWithMail, "1", true, "0", false,
       IDI_TRAY_ERROR_MAIL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder("trayicon");
    std::string ini = "[Icon]\r\n";
    for (const char* prefix : {"Normal", "Receive", "Connect"}) {
      if (c.check) ini += std::string(prefix) + "Check=" + c.check + "\r\n";
      if (c.with_file) ini += std::string(prefix) + "=" + ExePath() + "\r\n";
      ini += std::string(prefix) + "Number=" + c.index + "\r\n";
    }
    ASSERT_TRUE(WriteFileBytes(folder.File("Tidewell.ini"), ini));
    const std::string shown = BitsAndDestroy(LoadTrayStateIcon(GetModuleHandleA(nullptr), c.state, folder.path()));
    EXPECT_EQ(shown, c.user_icon ? user : BuiltIn(c.built_in));
  }
}

}  // namespace
}  // namespace tidewell
