#include "tidewell/engine/notify_rules.h"

#include "tidewell/engine/check_cycle.h"
#include "tidewell/engine/engine_state.h"
#include "tidewell/engine/notify_support.h"

namespace tidewell {
namespace {

constexpr unsigned kMciNotifySuccessful = 1;
constexpr unsigned kMciNotifyFailure = 8;

bool Has(std::uint32_t flags, std::uint32_t bit) { return (flags & bit) != 0; }

// Smallest nonzero priority among the accounts with mail that pass `wanted`.
template <typename Wanted>
int SmallestPriority(const std::vector<NotifyAccount>& accounts, Wanted wanted) {
  int best = -1;
  for (int i = 0; i < static_cast<int>(accounts.size()); ++i) {
    const NotifyAccount& a = accounts[i];
    if (a.server_mail_count <= 0 || a.priority == 0 || !wanted(a)) continue;
    if (best < 0 || a.priority < accounts[best].priority) best = i;
  }
  return best;
}

bool EndAllowed(std::uint32_t flags) {
  return Has(flags, kEnd) && (!Has(flags, kCheckError) || Has(flags, kErrorDisregard));
}

}  // namespace

LeftClickAction ChooseLeftClick(std::uint32_t flags, int receive_click, int normal_click) {
  if (Has(flags, kChecking)) return LeftClickAction::kCheckingMessage;
  if (Has(flags, kMailShown)) {
    if (receive_click == 1) return LeftClickAction::kPostCheck;
    if (receive_click == 2) return LeftClickAction::kStartReceiveProgram;
    return Has(flags, kListLibraryPresent) ? LeftClickAction::kPostList : LeftClickAction::kNothing;
  }
  return normal_click == 1 ? LeftClickAction::kPostList : LeftClickAction::kPostCheck;
}

int PrioritisedProgramAccount(const std::vector<NotifyAccount>& accounts) {
  return SmallestPriority(accounts, [](const NotifyAccount& a) { return a.program_on; });
}

int PrioritisedSoundAccount(const std::vector<NotifyAccount>& accounts) {
  return SmallestPriority(accounts, [](const NotifyAccount& a) { return a.sound_on; });
}

int NextUnprioritisedSoundAccount(const std::vector<NotifyAccount>& accounts, int from) {
  for (int i = from < 0 ? 0 : from; i < static_cast<int>(accounts.size()); ++i) {
    const NotifyAccount& a = accounts[i];
    if (a.priority == 0 && a.sound_on && a.server_mail_count > 0) return i;
  }
  return -1;
}

bool ExitWhenSoundSequenceOver(std::uint32_t flags) {
  // The end rule of the check, now that the sequence no longer waits for a
  // sound (the one just started may still play; exit closes it). The sequence
  // only runs after new mail.
  return EndRuleHolds(flags & ~static_cast<std::uint32_t>(kSoundPlaying), 1);
}

bool ExitWhenLastSoundEnded(std::uint32_t flags) {
  return EndAllowed(flags) && !Has(flags, kListWindowOpen);
}

std::string DuplicateSearchText(std::string_view process_list, std::string_view program_path) {
  if (process_list.find('\\') == std::string_view::npos)
    return std::string(AfterLastBackslash(program_path));
  return std::string(program_path);
}

bool ProgramAlreadyRunning(std::string_view process_list, std::string_view program_path) {
  return process_list.find(DuplicateSearchText(process_list, program_path)) != std::string_view::npos;
}

LaunchTarget ResolveLaunchTarget(const std::string& program_path, const std::string& work_folder,
                                 const std::string& data_folder) {
  LaunchTarget target;
  std::size_t slash = LastBackslash(program_path);
  if (slash == std::string::npos) {
    target.file = data_folder + "\\" + program_path;
    target.folder = work_folder.empty() ? data_folder : work_folder;
  } else {
    target.file = program_path;
    target.folder = work_folder.empty() ? program_path.substr(0, slash) : work_folder;
  }
  return target;
}

std::string ProgramStartFailedMessage(const std::string& program_path) {
  return program_path + "が起動できませんでした。";
}

void Notifier::LeftClick(const NotifySettings& settings) {
  switch (ChooseLeftClick(flags_, settings.receive_click, settings.normal_click)) {
    case LeftClickAction::kCheckingMessage:
      host_.ShowMessage("メールチェック中");
      break;
    case LeftClickAction::kPostCheck:
      host_.PostCommand(kCmdMailCheck);
      break;
    case LeftClickAction::kStartReceiveProgram:
      host_.StartProgram(settings.exec_path, settings.exec_cmdline, settings.exec_work_folder,
                         Has(flags_, kExecDuplicate));
      host_.SetNormalState();
      break;
    case LeftClickAction::kPostList:
      host_.PostCommand(kCmdList);
      break;
    case LeftClickAction::kNothing:
      break;
  }
}

void Notifier::ListCommand(int account_count) {
  if (!Has(flags_, kListOpen)) host_.RemoveAccountIcons();
  if (Has(flags_, kChecking)) {
    host_.ShowMessage("メールチェック中");
    return;
  }
  if (Has(flags_, kListWindowOpen)) {
    host_.ActivateList();
    return;
  }
  if (!Has(flags_, kListAutoOpened)) host_.SetNormalState();
  // The list that new mail was to open cannot be shown (no library, no
  // ListShow, or no window from it): a check-once run ends as if the list had
  // been closed at once, instead of waiting for a close that never comes, and
  // later checks are not refused for a list that is not open.
  const auto cannot_show = [this] {
    flags_ &= ~static_cast<std::uint32_t>(kListWindowOpen);
    if (Has(flags_, kListAutoOpened) && Has(flags_, kEnd) && !Has(flags_, kExiting)) host_.PostCommand(kCmdExit);
  };
  if (!host_.LoadList()) {
    cannot_show();
    return;
  }
  flags_ |= kListWindowOpen;
  if (!host_.ShowList(account_count)) cannot_show();
}

void Notifier::ListClosed() {
  flags_ &= ~static_cast<std::uint32_t>(kListWindowOpen);
  host_.UnloadListAfterClose();
  if (Has(flags_, kListOpen)) host_.RemoveAccountIcons();
  if (Has(flags_, kListAutoOpened) && !Has(flags_, kExiting)) {
    host_.SetNormalState();
    if (Has(flags_, kEnd)) host_.PostCommand(kCmdExit);
  }
}

int Notifier::PlaySoundFile(const std::string& file) {
  int result = host_.PlaySoundFile(file);
  if (result == 1) {
    flags_ |= kSoundPlaying;
  } else {
    // Without a working sound device no sound is tried again until the
    // settings are loaded again.
    flags_ &= ~static_cast<std::uint32_t>(kSoundPlaying | kSoundCheck);
    result = -1;
  }
  return result;
}

void Notifier::CloseSound() {
  host_.CloseSound();
  flags_ &= ~static_cast<std::uint32_t>(kSoundPlaying);
}

void Notifier::StartAccountProgram(const NotifyAccount& account) {
  int result = host_.StartProgram(account.program_path, account.command_line, account.work_folder,
                                  account.program_single_instance);
  if (result != -1 && account.program_icon_reset == 1 && !Has(flags_, kCheckError)) host_.SetNormalState();
}

void Notifier::RunNewMailActions(const NotifySettings& settings, const std::vector<NotifyAccount>& accounts) {
  sound_next_ = 0;
  if (Has(flags_, kListOpen)) {
    flags_ |= kListAutoOpened;
    host_.PostCommand(kCmdList);
  }
  if (Has(flags_, kSoundCheck)) {
    PlaySoundFile(settings.sound_file);
  } else {
    host_.PostSoundDone();
  }
  if (Has(flags_, kExecCheck)) {
    int result = host_.StartProgram(settings.exec_path, settings.exec_cmdline, settings.exec_work_folder,
                                    Has(flags_, kExecDuplicate));
    if (result == -1) {
      flags_ &= ~static_cast<std::uint32_t>(kExecCheck);
    } else if (Has(flags_, kExecIconChange) && !Has(flags_, kCheckError)) {
      host_.SetNormalState();
    }
  }
  int first = PrioritisedProgramAccount(accounts);
  if (first >= 0) StartAccountProgram(accounts[first]);
  for (int i = 0; i < static_cast<int>(accounts.size()); ++i) {
    const NotifyAccount& a = accounts[i];
    if (a.server_mail_count <= 0) continue;
    if (a.priority == 0 && a.program_on) StartAccountProgram(a);
    if (a.icon_on) host_.ShowAccountIcon(i, a);
  }
}

void Notifier::SoundFailed(const std::vector<NotifyAccount>& accounts) {
  // The device took the sound but could not play it (no audio device): no
  // successful notice will come. Treat it like a failed play, so that a
  // check-once run still ends instead of waiting for the sound forever.
  CloseSound();
  flags_ &= ~static_cast<std::uint32_t>(kSoundCheck);
  if (Has(flags_, kChecking)) return;
  const int count = static_cast<int>(accounts.size());
  if (sound_next_ >= count) {
    if (ExitWhenLastSoundEnded(flags_)) host_.PostCommand(kCmdExit);
    return;
  }
  sound_next_ = count;
  FinishSoundSequence();
}

void Notifier::FinishSoundSequence() {
  if (ExitWhenSoundSequenceOver(flags_)) host_.PostCommand(kCmdExit);
}

void Notifier::SoundNotify(unsigned notify_code, const std::vector<NotifyAccount>& accounts) {
  if (notify_code == kMciNotifyFailure) {
    SoundFailed(accounts);
    return;
  }
  if (notify_code != kMciNotifySuccessful) return;
  CloseSound();
  // A check started since: it closed the device and the rest of the sequence
  // is dropped (the sequence must not run while a check is under way).
  if (Has(flags_, kChecking)) return;
  const int count = static_cast<int>(accounts.size());
  if (sound_next_ >= count) {
    if (ExitWhenLastSoundEnded(flags_)) host_.PostCommand(kCmdExit);
    return;
  }
  if (!Has(flags_, kPrioritySoundDone)) {
    flags_ |= kPrioritySoundDone;
    int prioritised = PrioritisedSoundAccount(accounts);
    if (prioritised < 0) {
      host_.PostSoundDone();
      return;
    }
    if (PlaySoundFile(accounts[prioritised].sound_file) == 1) return;
    // No completion notice will come: the sequence ends here.
    sound_next_ = count;
    FinishSoundSequence();
    return;
  }
  int next = NextUnprioritisedSoundAccount(accounts, sound_next_);
  if (next >= 0 && PlaySoundFile(accounts[next].sound_file) == 1) {
    sound_next_ = next + 1;
  } else {
    sound_next_ = count;
  }
  if (sound_next_ < count) return;
  FinishSoundSequence();
}

}  // namespace tidewell
