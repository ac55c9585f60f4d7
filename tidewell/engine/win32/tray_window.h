// TrayWindow: the hidden main window of the tray program. It owns the tray
// icon, the timers, the popup menu and the POP3 check session, and every
// step of the program runs in one of its message handlers.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tidewell/engine/check_cycle.h"
#include "tidewell/engine/engine_data.h"
#include "tidewell/engine/notify_rules.h"
#include "tidewell/engine/pop3_session.h"
#include "tidewell/engine/tray_state.h"
#include "tidewell/engine/win32/engine_glue.h"
#include "common/win32/handles.h"
#include "tidewell/engine/win32/notify_host.h"
#include "tidewell/engine/win32/session_driver.h"
#include "tidewell/engine/win32/tray_icon.h"

namespace tidewell {

class TrayWindow {
 public:
  TrayWindow(HINSTANCE instance, std::string command_line);
  TrayWindow(const TrayWindow&) = delete;
  TrayWindow& operator=(const TrayWindow&) = delete;

  // Registers the class and creates the hidden tool window titled "Tidewell".
  bool Create();

  // The modeless list window while it is open (null otherwise): the message
  // loop hands it its keyboard messages through IsDialogMessage.
  HWND ListWindow() const { return notify_host_ ? notify_host_->list().window() : nullptr; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);

  // Messages.
  LRESULT OnCreate();
  void OnTimer(UINT_PTR id);
  void OnCommand(UINT id);
  void OnTrayNotify(LPARAM mouse);
  void OnListClosed();
  void OnRestoreIcon();
  void OnMciNotify(WPARAM code);

  // Commands.
  void OnMailCheck();
  void OnDisconnect();
  void OnList();
  void OnSettings();
  void OnHelp();
  void OnVersion();
  void OnExit();

  // Timers.
  void OnMinuteTick();
  void OnEndTimer();

  // The check cycle around the session.
  void Run(const CycleActions& actions);
  void StartAccountSession(int index);
  void OnAccountDone();
  void AfterCheckStep();

  // New-mail notification (list, sounds, programs, account icons) and the
  // files written after a check with new mail and cleaned up at exit.
  void RunNewMailActions();
  void ShowNewMailBalloon();
  void OnBalloonClick();
  void WriteSummaryFiles(int total_count);
  void RemoveAccountIcons();
  void CloseSoundDevice();
  void CleanUpMailFolder();
  NotifySettings CurrentNotifySettings() const;
  std::vector<NotifyAccount> NotifyAccounts() const;

  // Chores.
  void ShowTray(TrayState state);
  void LoadEngineSettings();
  void ReloadSettingsAndAccounts();
  void TestListLibrary();
  void ShowPopupMenu();
  void Post(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { PostMessageA(hwnd_, msg, wp, lp); }
  void PostCommand(UINT id) const { Post(WM_COMMAND, id, 0); }
  bool Has(std::uint32_t bit) const { return data_.Has(bit); }
  void Set(std::uint32_t bit, bool on) { on ? data_.Set(bit) : data_.Clear(bit); }

  HINSTANCE instance_;
  std::string command_line_;
  HWND hwnd_ = nullptr;
  UniqueMenu menu_;
  TrayIcon tray_{nullptr, 0};
  UINT taskbar_message_ = 0;

  EngineData data_;            // flag word, counters, hash list, data folder
  int normal_click_ = 0;       // Icon/NormalClick
  int receive_click_ = 0;      // Icon/ReceiveClick
  AccountList accounts_;
  bool reload_after_check_ = false;

  // The notification side: sound device, programs, list library, account
  // icons (host) and the rules that drive them (notifier, over data_.flags).
  std::unique_ptr<Win32NotifyHost> notify_host_;
  std::unique_ptr<Notifier> notifier_;

  CheckCycle cycle_{data_};
  DiskSessionStore store_;
  Pop3Session pop3_{InkwellMd5Function(), store_};
  SessionDriver session_{pop3_};
};

}  // namespace tidewell
