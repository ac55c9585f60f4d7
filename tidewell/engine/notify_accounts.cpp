#include "tidewell/engine/notify_accounts.h"

namespace tidewell {

std::vector<NotifyAccount> ToNotifyAccounts(const AccountList& accounts, const std::vector<int>& server_mail_count) {
  std::vector<NotifyAccount> out;
  out.reserve(accounts.size());
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    const CAccount& a = accounts[i];
    NotifyAccount n;
    n.display_name = a.display_name.str();
    n.priority = a.priority;
    n.icon_on = a.icon_flag != 0;
    n.icon_file = a.icon_file.str();
    n.icon_index = a.icon_index;
    n.sound_on = a.sound_flag != 0;
    n.sound_file = a.sound_file.str();
    n.program_on = a.exec_flag != 0;
    n.program_path = a.program_path.str();
    n.command_line = a.command_line.str();
    n.work_folder = a.work_folder.str();
    n.program_single_instance = a.no_duplicate != 0;
    n.program_icon_reset = a.icon_to_normal;
    n.server_mail_count = i < server_mail_count.size() ? server_mail_count[i] : 0;
    out.push_back(std::move(n));
  }
  return out;
}

std::vector<std::string> DisplayNames(const AccountList& accounts) {
  std::vector<std::string> names;
  names.reserve(accounts.size());
  for (const CAccount& a : accounts) names.push_back(a.display_name.str());
  return names;
}

}  // namespace tidewell
