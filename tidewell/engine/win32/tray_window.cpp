#include "tidewell/engine/win32/tray_window.h"

#include <shellapi.h>

#include <utility>

#include "resource.h"
#include "tidewell/engine/command_line.h"
#include "tidewell/engine/data_folder.h"
#include "tidewell/engine/engine_state.h"
#include "tidewell/engine/mail_cleanup.h"
#include "tidewell/engine/notify_accounts.h"
#include "tidewell/engine/session_account.h"
#include "tidewell/engine/settings_reload.h"
#include "tidewell/engine/summary_file.h"
#include "tidewell/engine/win32/help_file.h"
#include "tidewell/engine/win32/list_library.h"
#include "tidewell/engine/win32/mail_folder.h"
#include "tidewell/engine/win32/notify_codec.h"
#include "tidewell/engine/win32/tray_balloon.h"
#include "tidewell/engine/win32/version_dialog.h"

namespace tidewell {

namespace {

constexpr char kClassName[] = "Tidewell_TrayWindow";
constexpr char kTitle[] = "Tidewell";
constexpr UINT kTrayIconId = 1;

void MessageBoxPlain(HWND owner, const std::string& text) { MessageBoxA(owner, text.c_str(), "", MB_OK); }

// Creates folder unless it already is a directory; failures are not reported
// (later file operations in it fail quietly).
void EnsureFolder(const std::string& folder) {
  if (GetFileAttributesA(folder.c_str()) != FILE_ATTRIBUTE_DIRECTORY) CreateDirectoryA(folder.c_str(), nullptr);
}

std::string CurrentDirectory() {
  std::string dir(520, '\0');
  DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(dir.size()), &dir[0]);
  if (n >= dir.size()) {  // longer than the buffer: take it whole, the length rule refuses it
    dir.assign(n + 1, '\0');
    n = GetCurrentDirectoryA(static_cast<DWORD>(dir.size()), &dir[0]);
  }
  dir.resize(n < dir.size() ? n : 0);
  return dir;
}

}  // namespace

TrayWindow::TrayWindow(HINSTANCE instance, std::string command_line)
    : instance_(instance), command_line_(std::move(command_line)) {}

bool TrayWindow::Create() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = &TrayWindow::WindowProc;
  wc.hInstance = instance_;
  wc.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_PROGRAM));
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.lpszClassName = kClassName;
  if (!RegisterClassA(&wc)) return false;
  return CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, kTitle, 0, 0, 0, 0, 0, nullptr, nullptr, instance_, this) !=
         nullptr;
}

LRESULT CALLBACK TrayWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  TrayWindow* self;
  if (msg == WM_NCCREATE) {
    self = static_cast<TrayWindow*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<TrayWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
  return self->Handle(msg, wp, lp);
}

LRESULT TrayWindow::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  // The shell's restart message has no fixed number: it is compared first.
  if (taskbar_message_ != 0 && msg == taskbar_message_) {
    tray_.Add(data_.data_folder);
    return 0;
  }
  switch (msg) {
    case WM_CREATE: return OnCreate();
    case WM_TIMER:
      OnTimer(wp);
      break;  // every tick also gets the default processing
    case WM_COMMAND: OnCommand(LOWORD(wp)); return 0;
    case kWmTrayHostFound: session_.OnHostFound(wp, lp); return 0;
    case kWmTraySocket: session_.OnSocket(wp, lp); return 0;
    case kWmTrayContinue: session_.OnContinue(); return 0;
    case kWmTrayError: session_.OnError(static_cast<int>(wp), static_cast<int>(lp)); return 0;
    case kWmTrayToken: session_.OnTokenAnswer(wp); return 0;
    case kWmTrayAccountDone: OnAccountDone(); return 0;
    case kWmListClosed: OnListClosed(); return 0;
    case kWmTrayRestoreIcon: OnRestoreIcon(); return 0;
    case kWmTrayQuit: OnExit(); return 0;
    // Asked to close (taskkill without /F, a task manager): the same exit as
    // the menu's, so the program ends instead of running on without its
    // window and keeping every later start out.
    case WM_CLOSE: OnExit(); return 0;
    case kWmTrayNotify: OnTrayNotify(lp); return 0;
    case kMmMciNotify: OnMciNotify(wp); return 0;
    default: break;
  }
  return DefWindowProcA(hwnd_, msg, wp, lp);
}

// ---- creation ----------------------------------------------------------

LRESULT TrayWindow::OnCreate() {
  session_.SetWindow(hwnd_);
  menu_.reset(LoadMenuA(instance_, MAKEINTRESOURCEA(IDR_POPUP)));
  tray_ = TrayIcon(hwnd_, kTrayIconId);
  notify_host_ = std::make_unique<Win32NotifyHost>(hwnd_, instance_, data_.data_folder,
                                                   [this] { ShowTray(TrayState::kNormal); });
  notifier_ = std::make_unique<Notifier>(data_.flags, *notify_host_);

  data_.data_folder = DataFolderFromCurrentDirectory(CurrentDirectory());
  if (!IsDataFolderAccepted(data_.data_folder)) {
    MessageBoxPlain(hwnd_, DataFolderTooLongMessage());
    PostQuitMessage(0);
    return 0;
  }
  EnsureFolder(DataPath(data_.data_folder, "Mail"));
  EnsureFolder(DataPath(data_.data_folder, "Del"));

  LoadEngineSettings();
  data_.flags = ApplyCommandLine(command_line_, data_.flags);

  taskbar_message_ = RegisterWindowMessageA("TaskbarCreated");
  tray_.Add(data_.data_folder);

  Set(kMailShown | kCheckError | kPrioritySoundDone | kListWindowOpen | kListAutoOpened | kChecking |
          kSoundPlaying | kExiting,
      false);
  data_.current_account = data_.minute_counter = data_.new_count = data_.seen_count = 0;
  TestListLibrary();
  accounts_ = LoadAccounts(data_.data_folder);
  data_.ResetAccounts(static_cast<int>(accounts_.size()));
  data_.hash_list = ReadHashList(data_.data_folder);

  if (Has(kStart)) PostCommand(kCmdMailCheck);
  SetTimer(hwnd_, kMinuteTimer, 60000, nullptr);
  return 0;
}

// ---- timers ------------------------------------------------------------

void TrayWindow::OnTimer(UINT_PTR id) {
  switch (id) {
    case kMinuteTimer: OnMinuteTick(); break;
    case kEndTimer: OnEndTimer(); break;
    case kWatchdogTimer: session_.OnWatchdogTick(); break;
    case kDeadlineTimer: session_.OnDeadlineTick(); break;
    default: break;
  }
}

void TrayWindow::OnEndTimer() {
  if (Has(kEnd)) PostCommand(kCmdExit);
  KillTimer(hwnd_, kEndTimer);
}

// ---- commands ----------------------------------------------------------

void TrayWindow::OnCommand(UINT id) {
  switch (id) {
    case kCmdMailCheck: OnMailCheck(); break;
    case kCmdDisconnect: OnDisconnect(); break;
    case kCmdList: OnList(); break;
    case kCmdSettings: OnSettings(); break;
    case kCmdHelp: OnHelp(); break;
    case kCmdVersion: OnVersion(); break;
    case kCmdExit: OnExit(); break;
    default: break;
  }
}

void TrayWindow::OnDisconnect() {
  session_.Stop();
  Run(cycle_.OnDisconnect());
  ShowTray(TrayState::kNormal);
  AfterCheckStep();
}

// The settings sheet is shown modally on this thread. A reload asked for
// while a check runs, or while the sound sequence of the last new mail plays,
// waits until both are over: the running session keeps the account it was
// started with, and the new-mail actions of the finished check complete with
// the accounts and counts they were started for.
void TrayWindow::OnSettings() {
  RemoveAccountIcons();
  const bool reload = ShowSettingsSheet(data_.data_folder);
  // The program was asked to end while the sheet was open: the exit has
  // removed the icons and released the accounts, and nothing may come back.
  if (Has(kExiting)) return;
  if (reload) {
    if (SettingsReloadMayRun(data_.flags, notifier_->sound_sequence_running()))
      ReloadSettingsAndAccounts();
    else
      reload_after_check_ = true;
  }
  ShowTray(TrayState::kNormal);
}

// Engine options and the account list anew. The accounts' own icons and the
// counts of the last check stay when the reload waited for that check and
// the list still holds the same accounts in the same places; otherwise they
// belong to accounts that moved or went, and are cleared.
void TrayWindow::ReloadSettingsAndAccounts() {
  const bool after_check = reload_after_check_;
  reload_after_check_ = false;
  LoadEngineSettings();
  AccountList fresh = LoadAccounts(data_.data_folder);
  if (!after_check || !SameAccountNames(accounts_, fresh)) {
    RemoveAccountIcons();
    data_.ResetAccounts(static_cast<int>(fresh.size()));
  }
  accounts_ = std::move(fresh);
  for (std::size_t i = 0; i < accounts_.size() && i < data_.server_mail_count.size(); ++i)
    accounts_[i].mail_count = data_.server_mail_count[i];
}

// Engine load of Tidewell.ini: the option bits of the flag word (state bits
// are kept), interval, timeout and the two click actions.
void TrayWindow::LoadEngineSettings() {
  const EngineOptions o = LoadEngineOptions(TheProfile(), data_.data_folder);
  data_.flags = MergeOptionFlags(data_.flags, o.flags);
  data_.check_interval = o.time;
  data_.timeout = o.timeout;
  normal_click_ = o.normal_click;
  receive_click_ = o.receive_click;
}

// The help file beside the program; nothing happens without HTML Help.
void TrayWindow::OnHelp() { ShowHelp(); }

void TrayWindow::OnVersion() { ShowVersionDialog(instance_, hwnd_); }

// Exit. The command can arrive twice (the end timer and the end of the
// sound sequence may both ask for it); the second one finds Exiting set and
// is dropped, so the clean-up is not run over a released account list.
void TrayWindow::OnExit() {
  if (Has(kExiting)) return;
  WriteTimeout(TheProfile(), data_.data_folder, data_.timeout);
  Set(kExiting, true);
  if (Has(kSoundPlaying)) CloseSoundDevice();
  if (Has(kChecking)) session_.Stop();  // no QUIT, no account file
  if (Has(kListWindowOpen) && notify_host_->list().window()) {
    SendMessageA(notify_host_->list().window(), WM_COMMAND, IDCANCEL, 0);
    Sleep(500);
  }
  CleanUpMailFolder();
  tray_.Delete();
  RemoveAccountIcons();
  accounts_ = AccountList();
  data_.ResetAccounts(0);
  notify_host_->list().Unload();
  menu_.reset();
  KillTimer(hwnd_, kMinuteTimer);
  PostQuitMessage(0);
}

// ---- tray icon ---------------------------------------------------------

void TrayWindow::ShowTray(TrayState state) {
  tray_.Show(state, data_.total_count(), data_.data_folder);
  data_.flags = FlagsAfterTrayState(state, data_.flags);
}

void TrayWindow::OnRestoreIcon() { tray_.Add(data_.data_folder); }

void TrayWindow::OnTrayNotify(LPARAM mouse) {
  switch (mouse) {
    case WM_RBUTTONDOWN: ShowPopupMenu(); break;
    case WM_LBUTTONDOWN: notifier_->LeftClick(CurrentNotifySettings()); break;
    case NIN_BALLOONUSERCLICK: OnBalloonClick(); break;
    default: break;
  }
}

void TrayWindow::ShowPopupMenu() {
  TestListLibrary();
  HMENU popup = GetSubMenu(menu_.get(), 0);
  if (!popup) return;
  const bool gray = !Has(kListLibraryPresent) || Has(kMsgCheck);
  EnableMenuItem(popup, kCmdList, MF_BYCOMMAND | (gray ? MF_GRAYED : MF_ENABLED));
  SetForegroundWindow(hwnd_);
  POINT pt;
  GetCursorPos(&pt);
  TrackPopupMenu(popup, 0, pt.x, pt.y, 0, hwnd_, nullptr);
}

void TrayWindow::TestListLibrary() { Set(kListLibraryPresent, ListLibraryPresent()); }

// ---- mail list ---------------------------------------------------------

void TrayWindow::OnList() { notifier_->ListCommand(static_cast<int>(accounts_.size())); }

void TrayWindow::OnListClosed() { notifier_->ListClosed(); }

// ---- check cycle -------------------------------------------------------

void TrayWindow::OnMailCheck() {
  Run(cycle_.OnCheckCommand([this] { return ExcludedProgramRunning(data_.data_folder); }));
}

void TrayWindow::OnMinuteTick() { Run(cycle_.OnMinuteTick()); }

void TrayWindow::OnAccountDone() {
  Run(cycle_.OnAccountDone());
  AfterCheckStep();
}

// A settings reload asked for during the check is made once the check and
// the sound sequence of its new mail are over.
void TrayWindow::AfterCheckStep() {
  if (reload_after_check_ && !Has(kExiting) && SettingsReloadMayRun(data_.flags, notifier_->sound_sequence_running()))
    ReloadSettingsAndAccounts();
}

void TrayWindow::StartAccountSession(int index) {
  if (index < 0 || index >= static_cast<int>(accounts_.size())) return;
  const CAccount& stored = accounts_[static_cast<std::size_t>(index)];
  const SessionAccount account = ToSessionAccount(stored);
  const oauth::OAuthAccount oauth = ToOAuthAccount(stored);
  if (!session_.Start(account, data_, index, account.oauth ? &oauth : nullptr)) {
    Run(cycle_.OnSocketStartupFailed());
    AfterCheckStep();
  }
}

void TrayWindow::Run(const CycleActions& actions) {
  for (const CycleAction& a : actions) {
    switch (a.kind) {
      case CycleAction::Kind::kMessageBox: MessageBoxPlain(hwnd_, a.text); break;
      case CycleAction::Kind::kSetTray: ShowTray(a.tray); break;
      case CycleAction::Kind::kCloseSoundDevice: CloseSoundDevice(); break;
      case CycleAction::Kind::kStartSession: StartAccountSession(a.account); break;
      case CycleAction::Kind::kWriteSummaryFiles: WriteSummaryFiles(a.count); break;
      case CycleAction::Kind::kRunNewMailActions: RunNewMailActions(); break;
      case CycleAction::Kind::kEvaluateEndRule: Run(cycle_.EvaluateEndRule()); break;
      case CycleAction::Kind::kStartEndTimer: SetTimer(hwnd_, kEndTimer, 100, nullptr); break;
      case CycleAction::Kind::kPostCheckCommand: PostCommand(kCmdMailCheck); break;
    }
  }
  // The run-time mail count of each account follows the engine's.
  for (std::size_t i = 0; i < accounts_.size() && i < data_.server_mail_count.size(); ++i)
    accounts_[i].mail_count = data_.server_mail_count[i];
}

// ---- notification --------------------------------------------------------

// The texts of Tidewell.ini that the notification reads at the moment of use,
// with the two click actions of the last engine load.
NotifySettings TrayWindow::CurrentNotifySettings() const {
  Profile& profile = TheProfile();
  NotifySettings s;
  s.receive_click = receive_click_;
  s.normal_click = normal_click_;
  s.sound_file = ReadSettingText(profile, data_.data_folder, "Receive", "Sound");
  s.exec_path = ReadSettingText(profile, data_.data_folder, "Receive", "Exec");
  s.exec_cmdline = ReadSettingText(profile, data_.data_folder, "Receive", "ExecCmdline");
  s.exec_work_folder = ReadSettingText(profile, data_.data_folder, "Receive", "ExecWorkFolder");
  return s;
}

// The accounts with the server mail counts of the last check.
std::vector<NotifyAccount> TrayWindow::NotifyAccounts() const {
  return ToNotifyAccounts(accounts_, data_.server_mail_count);
}

// The new-mail actions after a check with new mail, in their order: open the
// list, the sound sequence, the external program, the prioritised account's
// program, then every account's program and own icon.
void TrayWindow::RunNewMailActions() {
  ShowNewMailBalloon();
  notifier_->RunNewMailActions(CurrentNotifySettings(), NotifyAccounts());
}

// The balloon: the number of new mails and the newest senders and subjects.
void TrayWindow::ShowNewMailBalloon() {
  if (!BalloonWanted(data_.flags, data_.new_count)) return;
  Win32NotifyCodec codec;
  const std::vector<BalloonMail> newest =
      NewestMails(codec, ReadAccountMailFiles(data_.data_folder, DisplayNames(accounts_)));
  ShowBalloon(hwnd_, kTrayIconId, BuildBalloonNotice(data_.new_count, newest));
}

// A click on the balloon opens the list, as the list command does.
void TrayWindow::OnBalloonClick() {
  TestListLibrary();
  if (Has(kListLibraryPresent)) PostCommand(kCmdList);
}

// Tidewell.tmp and Tidewl_cnt.tmp for other programs.
void TrayWindow::WriteSummaryFiles(int total_count) {
  Win32NotifyCodec codec;
  tidewell::WriteSummaryFiles(codec, data_.data_folder, DisplayNames(accounts_), total_count);
}

void TrayWindow::RemoveAccountIcons() { notify_host_->icons().RemoveAll(); }

void TrayWindow::CloseSoundDevice() { notifier_->StopSoundSequence(); }

// MM_MCINOTIFY: the next step of the sound sequence.
void TrayWindow::OnMciNotify(WPARAM code) {
  notifier_->SoundNotify(static_cast<unsigned>(code), NotifyAccounts());
  AfterCheckStep();
}

// Exit-time clean-up of the \Mail folder: stale account files and cached
// messages of mails no longer on the servers.
void TrayWindow::CleanUpMailFolder() {
  Win32NotifyCodec codec;
  Win32MailFolder folder(data_.data_folder);
  tidewell::CleanUpMailFolder(codec, DisplayNames(accounts_), data_.hash_list, folder);
}

}  // namespace tidewell
