// The check cycle as a state machine without I/O: when a check may start,
// the counters of a check, the result step after the last account and the
// rule that ends a check-once run.
//
// The Win32 driver calls the On... methods from its message handlers and
// carries out the returned actions in order:
//   WM_COMMAND 32773        -> OnCheckCommand(except_test)
//   MinuteTimer tick         -> OnMinuteTick()
//   WM_TRAY_ACCOUNTDONE      -> OnAccountDone()
//   WSAStartup failed when a session starts -> OnSocketStartupFailed()
//   Disconnect (32775)       -> OnDisconnect() (after closing the connection
//                               and Pop3Session::Abort)
// The result step ends with kEvaluateEndRule: carry out the actions before it
// (the new-mail actions set ListAutoOpened / SoundPlaying), then run the
// actions of EvaluateEndRule().
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tidewell/engine/engine_data.h"
#include "tidewell/engine/tray_state.h"

namespace tidewell {

struct CycleAction {
  enum class Kind {
    kMessageBox,         // modal box: `text`, empty caption, OK button
    kSetTray,            // tray update to `tray` (MailShown already applied)
    kCloseSoundDevice,   // close the sound device (clears SoundPlaying)
    kStartSession,       // start the POP3 session for account `account`
    kWriteSummaryFiles,  // Tidewell.tmp and Tidewl_cnt.tmp with `count` (total)
    kRunNewMailActions,  // the new-mail actions (list, sounds, programs, icons)
    kEvaluateEndRule,    // after the actions above: run EvaluateEndRule()
    kStartEndTimer,      // SetTimer(EndTimer, 100 ms)
    kPostCheckCommand,   // post WM_COMMAND 32773 to the window
  };
  CycleAction(Kind k) : kind(k) {}  // NOLINT: implicit on purpose

  Kind kind;
  std::string text;                    // kMessageBox
  TrayState tray = TrayState::kNormal; // kSetTray
  int account = 0;                     // kStartSession
  int count = 0;                       // kWriteSummaryFiles

  bool operator==(const CycleAction& o) const {
    return kind == o.kind && text == o.text && tray == o.tray && account == o.account &&
           count == o.count;
  }
};
using CycleActions = std::vector<CycleAction>;

// The end rule after a check: End on, and either (CheckError clear or
// ErrorDisregard on) with neither ListAutoOpened nor SoundPlaying set, or
// CheckError clear with no new mail. Pure, so the tray program can ask again
// after the list closes or the last sound ends.
bool EndRuleHolds(std::uint32_t flags, int new_count);

// The message box shown when a check is asked for without accounts.
std::string NoAccountMessage();
// The message box shown when the socket layer cannot be started.
std::string SocketStartupFailedMessage();

class CheckCycle {
 public:
  // `data` must outlive the cycle.
  explicit CheckCycle(EngineData& data) : data_(data) {}

  // Command 32773. `excluded_program_running` is asked only when
  // ExceptProgram is on (it enumerates processes).
  CycleActions OnCheckCommand(const std::function<bool()>& excluded_program_running);
  // MinuteTimer tick.
  CycleActions OnMinuteTick();
  // WM_TRAY_ACCOUNTDONE: next account, or the result step. Ignored when no
  // check is running (a notice left in the queue after a disconnect).
  CycleActions OnAccountDone();
  // After the new-mail actions ran: kStartEndTimer when the end rule holds.
  CycleActions EvaluateEndRule() const;
  // WSAStartup failed at the start of a session: the check ends at once.
  CycleActions OnSocketStartupFailed();
  // Disconnect: the check ends, no further account is visited.
  CycleActions OnDisconnect();

  EngineData& data() { return data_; }

 private:
  CycleAction Tray(TrayState state);

  EngineData& data_;
};

}  // namespace tidewell
