#include "tidewell/engine/win32/list_library.h"

#include <gtest/gtest.h>

#include "notify_win32_util.h"
#include "tidewell/engine/engine_state.h"
#include "tidewell/engine/win32/notify_host.h"

namespace tidewell {
namespace {

// The owner window: hands WM_LIST_CLOSED to the notifier, as the main
// window does.
Notifier* g_notifier = nullptr;
int g_closed_notices = 0;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kWmListClosed) {
    ++g_closed_notices;
    if (g_notifier) g_notifier->ListClosed();
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

HWND MakeOwner() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = OwnerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "NotifyListOwner";
  RegisterClassA(&wc);
  return CreateWindowExA(WS_EX_TOOLWINDOW, "NotifyListOwner", "Tidewell", 0, 0, 0, 0, 0, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

TEST(ListLibrary, OpensTheListAndUnloadsAfterItsClose) {
  ASSERT_TRUE(ListLibraryPresent());  // the stand-in lies beside this program
  HWND owner = MakeOwner();
  ASSERT_NE(owner, nullptr);
  std::string data = "C:\\Tidewell data";
  std::uint32_t flags = 0;
  int normal_states = 0;
  Win32NotifyHost host(owner, GetModuleHandleA(nullptr), data, [&] { ++normal_states; });
  Notifier notifier(flags, host);
  g_notifier = &notifier;

  notifier.ListCommand(3);
  ASSERT_TRUE(flags & kListWindowOpen);
  EXPECT_TRUE(host.list().loaded());
  EXPECT_NE(GetModuleHandleA("Quillbox.dll"), nullptr);
  HWND list = host.list().window();
  ASSERT_TRUE(IsWindow(list));
  char title[400] = {};
  GetWindowTextA(list, title, sizeof(title));
  EXPECT_STREQ(title, "3|C:\\Tidewell data");
  EXPECT_EQ(normal_states, 1);

  // A second list command only brings the open list forward.
  notifier.ListCommand(3);
  EXPECT_EQ(host.list().window(), list);
  EXPECT_EQ(normal_states, 1);

  DestroyWindow(list);
  ASSERT_TRUE(testing::PumpUntil([] { return g_closed_notices > 0; }, 5000));
  EXPECT_FALSE(flags & kListWindowOpen);
  EXPECT_FALSE(host.list().loaded());
  EXPECT_EQ(host.list().window(), nullptr);
  EXPECT_EQ(GetModuleHandleA("Quillbox.dll"), nullptr);

  // The list opens again after its close.
  notifier.ListCommand(3);
  EXPECT_TRUE(flags & kListWindowOpen);
  DestroyWindow(host.list().window());
  ASSERT_TRUE(testing::PumpUntil([] { return g_closed_notices > 1; }, 5000));
  g_notifier = nullptr;
  DestroyWindow(owner);
}

TEST(ListLibrary, CheckOnceRunEndsWhenTheAutoOpenedListCloses) {
  HWND owner = MakeOwner();
  std::string data = "C:\\d";
  std::uint32_t flags = kListOpen | kEnd;
  Win32NotifyHost host(owner, GetModuleHandleA(nullptr), data, nullptr);
  Notifier notifier(flags, host);
  g_notifier = &notifier;
  g_closed_notices = 0;

  NotifySettings settings;
  notifier.RunNewMailActions(settings, {});  // posts 32776 and the sound notice
  bool exit_posted = false;
  bool list_posted = false;
  MSG msg;
  while (PeekMessageA(&msg, owner, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_COMMAND && msg.wParam == kCmdList) list_posted = true;
  }
  ASSERT_TRUE(list_posted);
  EXPECT_TRUE(flags & kListAutoOpened);
  notifier.ListCommand(1);
  ASSERT_TRUE(flags & kListWindowOpen);
  DestroyWindow(host.list().window());
  ASSERT_TRUE(testing::PumpUntil([&] {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_COMMAND && m.wParam == kCmdExit) exit_posted = true;
      DispatchMessageA(&m);
    }
    return exit_posted;
  }, 5000));
  EXPECT_FALSE(host.list().loaded());
  g_notifier = nullptr;
  DestroyWindow(owner);
}

TEST(ListLibrary, ListShowWithoutAWindowUnloadsAndEndsACheckOnceRun) {
  HWND owner = MakeOwner();
  std::string data = "C:\\no-window";
  std::uint32_t flags = kListOpen | kListAutoOpened | kEnd;
  Win32NotifyHost host(owner, GetModuleHandleA(nullptr), data, nullptr);
  Notifier notifier(flags, host);

  notifier.ListCommand(2);
  EXPECT_FALSE(flags & kListWindowOpen);  // later checks are not refused
  EXPECT_FALSE(host.list().loaded());
  EXPECT_EQ(host.list().window(), nullptr);
  EXPECT_EQ(GetModuleHandleA("Quillbox.dll"), nullptr);
  bool exit_posted = false;
  MSG msg;
  while (PeekMessageA(&msg, owner, 0, 0, PM_REMOVE))
    if (msg.message == WM_COMMAND && msg.wParam == kCmdExit) exit_posted = true;
  EXPECT_TRUE(exit_posted);  // the -n run ends instead of waiting for a close
  DestroyWindow(owner);
}

}  // namespace
}  // namespace tidewell
