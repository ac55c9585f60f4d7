// What the tray program does to tell the user about mail: the left-click
// actions, the list command and the list's close, the new-mail actions in
// their order and the sound sequence (the general sound, then the prioritised
// account's sound, then the sounds of the unprioritised accounts with mail in
// list order), plus the rules for starting an external program.
//
// The decisions live here, portable; everything that touches the platform
// (sound device, programs, list library, tray icons, posted messages) goes
// through NotifyHost, which the main window implements with the Win32 modules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell {

// What the notification needs of one account (display name, priority, own
// icon, sound and program settings) and its server mail count of this check.
struct NotifyAccount {
  std::string display_name;
  int priority = 0;
  bool icon_on = false;
  std::string icon_file;
  int icon_index = 0;
  bool sound_on = false;
  std::string sound_file;
  bool program_on = false;
  std::string program_path;
  std::string command_line;
  std::string work_folder;
  bool program_single_instance = false;
  int program_icon_reset = 0;
  int server_mail_count = 0;
};

// Settings read from Tidewell.ini at the moment of use.
struct NotifySettings {
  int receive_click = 0;          // Icon/ReceiveClick
  int normal_click = 0;           // Icon/NormalClick
  std::string sound_file;         // Receive/Sound
  std::string exec_path;          // Receive/Exec
  std::string exec_cmdline;       // Receive/ExecCmdline
  std::string exec_work_folder;   // Receive/ExecWorkFolder
};

// ---- pure decisions -------------------------------------------------------

enum class LeftClickAction {
  kCheckingMessage,     // a check runs: tell the user
  kPostCheck,           // post command 32773
  kStartReceiveProgram, // start Receive/Exec, then the normal state
  kPostList,            // post command 32776
  kNothing,
};

// Left button on the main tray icon.
LeftClickAction ChooseLeftClick(std::uint32_t flags, int receive_click, int normal_click);

// Account whose program is started before the others: mail waiting, program
// on, priority not 0, the smallest priority (first in list order on a tie).
// -1 when there is none.
int PrioritisedProgramAccount(const std::vector<NotifyAccount>& accounts);

// The same choice for the sound: mail waiting, sound on, priority not 0.
int PrioritisedSoundAccount(const std::vector<NotifyAccount>& accounts);

// From index `from` on, the next account with priority 0, sound on and mail
// waiting; -1 when there is none.
int NextUnprioritisedSoundAccount(const std::vector<NotifyAccount>& accounts, int from);

// Exit after the sound sequence is over (the last sound has been started):
// End on, no error or errors disregarded, list not opened by the new mail.
bool ExitWhenSoundSequenceOver(std::uint32_t flags);

// Exit when the last sound has ended: as above, but the list must be closed.
bool ExitWhenLastSoundEnded(std::uint32_t flags);

// ---- starting an external program -----------------------------------------

// With the no-duplicate option: the text looked for in the process name
// list: the path itself, or only its file name when the list holds no path
// at all (the 95/98/Me family lists bare file names).
std::string DuplicateSearchText(std::string_view process_list, std::string_view program_path);

// Whether the program already runs (exact case).
bool ProgramAlreadyRunning(std::string_view process_list, std::string_view program_path);

// File and working folder handed to the shell. A bare file name is taken from
// the data folder and started there unless a work folder is given; a path is
// started in its own folder unless a work folder is given.
struct LaunchTarget {
  std::string file;
  std::string folder;
};
LaunchTarget ResolveLaunchTarget(const std::string& program_path, const std::string& work_folder,
                                 const std::string& data_folder);

// Message shown when the program cannot be started (Shift_JIS).
std::string ProgramStartFailedMessage(const std::string& program_path);

// ---- the sequences ----------------------------------------------------------

// Platform side of the notification, implemented by the main window.
class NotifyHost {
 public:
  virtual ~NotifyHost() = default;
  virtual void PostCommand(unsigned command) = 0;  // WM_COMMAND to the main window
  virtual void PostSoundDone() = 0;                // MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL
  virtual int PlaySoundFile(const std::string& file) = 0;  // 1 playing, -1 failed
  virtual void CloseSound() = 0;
  // 1 started, 0 already running (not started again), -1 failed (the user
  // has been told).
  virtual int StartProgram(const std::string& path, const std::string& parameters,
                           const std::string& work_folder, bool no_duplicate) = 0;
  virtual void SetNormalState() = 0;  // tray icon to the normal state
  virtual void ShowAccountIcon(int index, const NotifyAccount& account) = 0;
  virtual void RemoveAccountIcons() = 0;
  virtual void ShowMessage(const std::string& text) = 0;  // modal, OK, no caption
  // The list library: load Quillbox.dll and look up ListShow (false when
  // either is missing), show the list, activate it, and after its close wait
  // 100 ms and unload the library. ShowList is false when ListShow gave no
  // window (its dialog could not be created); the library is then unloaded
  // at once.
  virtual bool LoadList() = 0;
  virtual bool ShowList(int account_count) = 0;
  virtual void ActivateList() = 0;
  virtual void UnloadListAfterClose() = 0;
};

class Notifier {
 public:
  Notifier(std::uint32_t& flags, NotifyHost& host) : flags_(flags), host_(host) {}

  // WM_TRAY_NOTIFY / WM_LBUTTONDOWN on the main icon.
  void LeftClick(const NotifySettings& settings);
  // Command 32776. When the list that new mail was to open cannot be loaded,
  // a check-once run (End on) ends at once.
  void ListCommand(int account_count);
  // WM_LIST_CLOSED.
  void ListClosed();
  // After a check with new mail, in order: list, general sound, general
  // program, prioritised account's program, then per account with mail its
  // program (priority 0) and its own icon.
  void RunNewMailActions(const NotifySettings& settings, const std::vector<NotifyAccount>& accounts);
  // MM_MCINOTIFY: a successful end advances the sound sequence; a device
  // failure ends it (and switches the sound off); other notices (a sound
  // stopped by closing the device) are ignored.
  void SoundNotify(unsigned notify_code, const std::vector<NotifyAccount>& accounts);
  // Closes the sound device (check start, exit).
  void CloseSound();

  // Next account index of the sound sequence (for tests and diagnostics).
  int sound_next() const { return sound_next_; }

 private:
  int PlaySoundFile(const std::string& file);
  void StartAccountProgram(const NotifyAccount& account);
  void SoundFailed(const std::vector<NotifyAccount>& accounts);
  void FinishSoundSequence();

  std::uint32_t& flags_;
  NotifyHost& host_;
  // Position of the sound sequence in the account list; the list's length
  // once the sequence is over.
  int sound_next_ = 0;
};

}  // namespace tidewell
