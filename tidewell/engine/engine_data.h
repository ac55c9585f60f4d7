// The part of the tray program's state that the check cycle and the POP3
// check session share: the flag word, the counters of the running check, the
// hash list and the run-time fields of every account. Portable: the Win32 side
// (TrayWindow) owns one EngineData and hands it to CheckCycle and Pop3Session.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tidewell/engine/engine_state.h"

namespace tidewell {

struct EngineData {
  // Flag word, bits of EngineFlag (engine_state.h).
  std::uint32_t flags = 0;

  // Data folder (no trailing backslash unless a drive root).
  std::string data_folder;

  // Message/Time: minutes between timed checks.
  int check_interval = 10;
  // Message/Timeout: session time-out in one-minute ticks. A value below 1 is
  // replaced by 5 when the watchdog next uses it; the value in use is what
  // the exit step writes back.
  int timeout = 5;

  // Minutes counted towards the next timed check.
  int minute_counter = 0;
  // Index of the account being checked; 0 outside a check.
  int current_account = 0;
  // Mails counted as new in this check (STAT counts less the seen mails).
  int new_count = 0;
  // Mails recognised as unchanged since the previous check (NewMessage mode).
  int seen_count = 0;
  // Header hashes of this check, each followed by "\n" (the text of
  // \Mail\hash.dat).
  std::string hash_list;

  // Run-time "server mail count" of every account, indexed like the account
  // list; its size is the account count. Not reset when a check starts.
  std::vector<int> server_mail_count;

  int account_count() const { return static_cast<int>(server_mail_count.size()); }
  // Called after the account list was (re)loaded: n accounts, counts 0.
  void ResetAccounts(int n) { server_mail_count.assign(n > 0 ? n : 0, 0); }

  // new count + seen count: the mails on the servers at this check.
  int total_count() const;

  bool Has(std::uint32_t bits) const { return (flags & bits) != 0; }
  void Set(std::uint32_t bits) { flags |= bits; }
  void Clear(std::uint32_t bits) { flags &= ~bits; }
};

// Adds without overflowing int (a server may report any count).
int SaturatingAdd(int a, int b);

}  // namespace tidewell
