#include "tidewell/engine/win32/notify_host.h"

#include <mmsystem.h>

#include "tidewell/engine/win32/program_launcher.h"

namespace tidewell {

void Win32NotifyHost::PostCommand(unsigned command) { PostMessageA(window_, WM_COMMAND, command, 0); }

void Win32NotifyHost::PostSoundDone() { PostMessageA(window_, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 0); }

int Win32NotifyHost::PlaySoundFile(const std::string& file) { return sound_.Play(window_, file); }

void Win32NotifyHost::CloseSound() { sound_.Close(); }

int Win32NotifyHost::StartProgram(const std::string& path, const std::string& parameters,
                                  const std::string& work_folder, bool no_duplicate) {
  return StartExternalProgram(path, parameters, work_folder, no_duplicate, data_folder_);
}

void Win32NotifyHost::SetNormalState() {
  if (set_normal_state_) set_normal_state_();
}

void Win32NotifyHost::ShowAccountIcon(int index, const NotifyAccount& account) {
  icons_.Show(window_, index, account.display_name, account.icon_file, account.icon_index);
}

void Win32NotifyHost::RemoveAccountIcons() { icons_.RemoveAll(); }

void Win32NotifyHost::ShowMessage(const std::string& text) { ShowMessageBox(text); }

bool Win32NotifyHost::LoadList() { return list_.Load(); }

bool Win32NotifyHost::ShowList(int account_count) {
  if (list_.Show(window_, account_count, data_folder_)) return true;
  list_.Unload();  // ListShow could not create its window: nothing will report a close
  return false;
}

void Win32NotifyHost::ActivateList() { list_.Activate(); }

void Win32NotifyHost::UnloadListAfterClose() { list_.UnloadAfterClose(); }

}  // namespace tidewell
