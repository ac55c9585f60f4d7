// The account list as the notification and the summary file see it.
#pragma once

#include <string>
#include <vector>

#include "tidewell/engine/notify_rules.h"
#include "tidewell/settings/account.h"

namespace tidewell {

// One NotifyAccount per account, with the server mail count of this check
// (indexed like the accounts; missing counts read as 0).
std::vector<NotifyAccount> ToNotifyAccounts(const AccountList& accounts, const std::vector<int>& server_mail_count);

// The display names in list order (summary file, clean-up).
std::vector<std::string> DisplayNames(const AccountList& accounts);

}  // namespace tidewell
