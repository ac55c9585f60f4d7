#include "tidewell/engine/check_cycle.h"

#include <climits>

namespace tidewell {

int SaturatingAdd(int a, int b) {
  long long sum = static_cast<long long>(a) + b;
  if (sum > INT_MAX) return INT_MAX;
  if (sum < INT_MIN) return INT_MIN;
  return static_cast<int>(sum);
}

int EngineData::total_count() const { return SaturatingAdd(new_count, seen_count); }

bool EndRuleHolds(std::uint32_t flags, int new_count) {
  if (!(flags & kEnd)) return false;
  const bool error = (flags & kCheckError) != 0;
  const bool busy = (flags & (kListAutoOpened | kSoundPlaying)) != 0;
  if ((!error || (flags & kErrorDisregard)) && !busy) return true;
  return !error && new_count < 1;
}

std::string NoAccountMessage() { return "アカウントを設定してください。"; }

std::string SocketStartupFailedMessage() { return "SOCKETの作成に失敗しました。"; }

CycleAction CheckCycle::Tray(TrayState state) {
  data_.flags = FlagsAfterTrayState(state, data_.flags);
  CycleAction a{CycleAction::Kind::kSetTray};
  a.tray = state;
  return a;
}

CycleActions CheckCycle::OnCheckCommand(const std::function<bool()>& excluded_program_running) {
  // The flag tests come first: they cost nothing, and the process list is
  // only enumerated when a check could otherwise start.
  if (data_.Has(kChecking | kListWindowOpen)) return {};
  if (data_.Has(kExceptProgram) && excluded_program_running && excluded_program_running())
    return {};
  if (data_.account_count() == 0) {
    CycleAction box{CycleAction::Kind::kMessageBox};
    box.text = NoAccountMessage();
    return {box};
  }
  CycleActions out{Tray(TrayState::kChecking)};
  data_.Clear(kCheckError | kPrioritySoundDone);
  data_.Set(kChecking);
  data_.current_account = 0;
  data_.new_count = 0;
  data_.seen_count = 0;
  data_.hash_list.clear();
  if (data_.Has(kSoundPlaying)) out.push_back({CycleAction::Kind::kCloseSoundDevice});
  CycleAction start{CycleAction::Kind::kStartSession};
  start.account = 0;
  out.push_back(start);
  return out;
}

CycleActions CheckCycle::OnMinuteTick() {
  if (!data_.Has(kTimeCheck)) {
    data_.minute_counter = 0;
    return {};
  }
  data_.minute_counter += 1;
  if (data_.Has(kListWindowOpen | kChecking) || data_.minute_counter < data_.check_interval)
    return {};
  data_.minute_counter = 0;
  return {{CycleAction::Kind::kPostCheckCommand}};
}

CycleActions CheckCycle::OnAccountDone() {
  if (!data_.Has(kChecking)) return {};
  data_.current_account += 1;
  if (data_.current_account < data_.account_count()) {
    CycleAction start{CycleAction::Kind::kStartSession};
    start.account = data_.current_account;
    return {start};
  }
  data_.current_account = 0;
  data_.Clear(kChecking);

  CycleActions out;
  const bool error = data_.Has(kCheckError);
  if (data_.new_count < 1) {
    const bool keep_mail = data_.Has(kMailShown) && data_.seen_count != 0;
    if (error)
      out.push_back(Tray(keep_mail ? TrayState::kErrorWithMail : TrayState::kError));
    else
      out.push_back(Tray(keep_mail ? TrayState::kMail : TrayState::kNormal));
  } else {
    CycleAction files{CycleAction::Kind::kWriteSummaryFiles};
    files.count = data_.total_count();
    out.push_back(files);
    out.push_back(Tray(error ? TrayState::kErrorWithMail : TrayState::kMail));
    out.push_back({CycleAction::Kind::kRunNewMailActions});
  }
  out.push_back({CycleAction::Kind::kEvaluateEndRule});
  return out;
}

CycleActions CheckCycle::EvaluateEndRule() const {
  if (!EndRuleHolds(data_.flags, data_.new_count)) return {};
  return {{CycleAction::Kind::kStartEndTimer}};
}

CycleActions CheckCycle::OnSocketStartupFailed() {
  CycleAction box{CycleAction::Kind::kMessageBox};
  box.text = SocketStartupFailedMessage();
  data_.Clear(kCheckError);
  CycleActions out{box, Tray(TrayState::kError)};
  data_.Clear(kChecking);
  data_.current_account = 0;
  return out;
}

CycleActions CheckCycle::OnDisconnect() {
  data_.Clear(kChecking);
  data_.current_account = 0;
  return {Tray(TrayState::kNormal)};
}

}  // namespace tidewell
