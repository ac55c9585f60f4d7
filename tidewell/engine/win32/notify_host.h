// The Win32 side of the notification: sound device, external programs, the
// list library, the accounts' own icons and messages to the main window.
// The main window owns one of these and one Notifier over it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "tidewell/engine/notify_rules.h"
#include "tidewell/engine/win32/account_icons.h"
#include "tidewell/engine/win32/list_library.h"
#include "tidewell/engine/win32/sound_player.h"

namespace tidewell {

class Win32NotifyHost : public NotifyHost {
 public:
  // `window` receives the posted commands and MM_MCINOTIFY; `data_folder`
  // must outlive the host; `set_normal_state` is the tray update to the
  // normal state.
  Win32NotifyHost(HWND window, HINSTANCE instance, const std::string& data_folder,
                  std::function<void()> set_normal_state)
      : window_(window), data_folder_(data_folder), set_normal_state_(std::move(set_normal_state)),
        icons_(instance) {}

  void PostCommand(unsigned command) override;
  void PostSoundDone() override;
  int PlaySoundFile(const std::string& file) override;
  void CloseSound() override;
  int StartProgram(const std::string& path, const std::string& parameters, const std::string& work_folder,
                   bool no_duplicate) override;
  void SetNormalState() override;
  void ShowAccountIcon(int index, const NotifyAccount& account) override;
  void RemoveAccountIcons() override;
  void ShowMessage(const std::string& text) override;
  bool LoadList() override;
  bool ShowList(int account_count) override;
  void ActivateList() override;
  void UnloadListAfterClose() override;

  AccountIcons& icons() { return icons_; }
  ListLibrary& list() { return list_; }
  SoundPlayer& sound() { return sound_; }

 private:
  HWND window_;
  const std::string& data_folder_;
  std::function<void()> set_normal_state_;
  SoundPlayer sound_;
  ListLibrary list_;
  AccountIcons icons_;
};

}  // namespace tidewell
