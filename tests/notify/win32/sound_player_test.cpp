#include "tidewell/engine/win32/sound_player.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "notify_win32_util.h"
#include "tidewell/engine/engine_state.h"
#include "tidewell/engine/win32/notify_host.h"

namespace tidewell {
namespace {

// A valid PCM .wav of 0.1 s of silence.
std::string SilentWave() {
  const unsigned rate = 8000, samples = 800;
  std::string w;
  auto u32 = [&w](unsigned v) {
    for (int i = 0; i < 4; ++i) w += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  auto u16 = [&w](unsigned v) {
    w += static_cast<char>(v & 0xFF);
    w += static_cast<char>((v >> 8) & 0xFF);
  };
  w += "RIFF";
  u32(36 + samples);
  w += "WAVEfmt ";
  u32(16);
  u16(1);  // PCM
  u16(1);  // mono
  u32(rate);
  u32(rate);  // bytes per second
  u16(1);     // block align
  u16(8);     // bits per sample
  w += "data";
  u32(samples);
  w.append(samples, static_cast<char>(0x80));
  return w;
}

Notifier* g_notifier = nullptr;
int g_failure_notices = 0;

// The owner of the sound device hands MM_MCINOTIFY to the notifier, as the
// main window does.
LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == MM_MCINOTIFY) {
    if (wparam == MCI_NOTIFY_FAILURE) ++g_failure_notices;
    if (g_notifier) g_notifier->SoundNotify(static_cast<unsigned>(wparam), {});
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

HWND MakeOwner() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = OwnerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "NotifySoundOwner";
  RegisterClassA(&wc);
  return CreateWindowExA(WS_EX_TOOLWINDOW, "NotifySoundOwner", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

TEST(SoundPlayer, AFileThatCannotBeOpenedFails) {
  testing::TempFolder folder("sound_missing");
  HWND window = MakeOwner();
  SoundPlayer player;
  EXPECT_EQ(player.Play(window, folder.File("missing.wav")), -1);
  EXPECT_FALSE(player.is_open());
  EXPECT_FALSE(player.last_error().empty());
  ASSERT_TRUE(testing::WriteFileBytes(folder.File("bad.wav"), "not a wave file"));
  EXPECT_EQ(player.Play(window, folder.File("bad.wav")), -1);
  EXPECT_FALSE(player.is_open());
  DestroyWindow(window);
}

// Wine here has no audio device. Depending on its drivers either the open
// fails, or the device opens, takes the sound and reports MCI_NOTIFY_FAILURE
// at once. Either way the new-mail sound goes off for the run, the device is
// closed and a check-once run ends instead of waiting for the sound.
TEST(SoundPlayer, WithoutAnAudioDeviceSoundGoesOffAndTheRunEnds) {
  testing::TempFolder folder("sound");
  const std::string wave = folder.File("new.wav");
  ASSERT_TRUE(testing::WriteFileBytes(wave, SilentWave()));
  HWND window = MakeOwner();
  ASSERT_NE(window, nullptr);

  std::string data = folder.path();
  std::uint32_t flags = kSoundCheck | kEnd;
  Win32NotifyHost host(window, GetModuleHandleA(nullptr), data, nullptr);
  Notifier notifier(flags, host);
  g_notifier = &notifier;
  NotifySettings settings;
  settings.sound_file = wave;
  notifier.RunNewMailActions(settings, {});
  bool exit_posted = false;
  testing::PumpUntil([&] {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_COMMAND && m.wParam == kCmdExit) exit_posted = true;
      DispatchMessageA(&m);
    }
    return exit_posted;
  }, 3000);
  EXPECT_TRUE(exit_posted);
  EXPECT_FALSE(flags & kSoundCheck);
  EXPECT_FALSE(flags & kSoundPlaying);
  EXPECT_FALSE(host.sound().is_open());
  std::printf("device failure notices: %d\n", g_failure_notices);
  g_notifier = nullptr;
  DestroyWindow(window);
}

}  // namespace
}  // namespace tidewell
