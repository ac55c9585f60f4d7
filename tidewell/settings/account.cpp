#include "tidewell/settings/account.h"

namespace tidewell {

int PortForTlsMode(int old_mode, int new_mode, int port) {
  const bool was_pop3s = old_mode == kTlsOnConnect;
  const bool is_pop3s = new_mode == kTlsOnConnect;
  if (is_pop3s && !was_pop3s && port == kPop3Port) return kPop3sPort;
  if (was_pop3s && !is_pop3s && port == kPop3sPort) return kPop3Port;
  return port;
}

void CopyStoredFields(const CAccount& from, CAccount& to) {
  to.icon_to_normal = from.icon_to_normal;
  to.no_duplicate = from.no_duplicate;
  to.priority = from.priority;
  to.user_id = from.user_id;
  to.password = from.password;
  to.display_name = from.display_name;
  to.server = from.server;
  to.apop = from.apop;
  to.port = from.port;
  to.icon_index = from.icon_index;
  to.icon_file = from.icon_file;
  to.icon_flag = from.icon_flag;
  to.sound_file = from.sound_file;
  to.sound_flag = from.sound_flag;
  to.command_line = from.command_line;
  to.program_path = from.program_path;
  to.work_folder = from.work_folder;
  to.exec_flag = from.exec_flag;
  to.tls_mode = from.tls_mode;
  to.signin_method = from.signin_method;
  to.oauth_provider = from.oauth_provider;
  to.oauth_account = from.oauth_account;
  to.refresh_token = from.refresh_token;
}

bool SameStoredFields(const CAccount& a, const CAccount& b) {
  return a.icon_to_normal == b.icon_to_normal && a.no_duplicate == b.no_duplicate && a.priority == b.priority &&
         a.user_id == b.user_id && a.password == b.password && a.display_name == b.display_name &&
         a.server == b.server && a.apop == b.apop && a.port == b.port && a.icon_index == b.icon_index &&
         a.icon_file == b.icon_file && a.icon_flag == b.icon_flag && a.sound_file == b.sound_file &&
         a.sound_flag == b.sound_flag && a.command_line == b.command_line && a.program_path == b.program_path &&
         a.work_folder == b.work_folder && a.exec_flag == b.exec_flag && a.tls_mode == b.tls_mode &&
         a.signin_method == b.signin_method && a.oauth_provider == b.oauth_provider &&
         a.oauth_account == b.oauth_account && a.refresh_token == b.refresh_token;
}

}  // namespace tidewell
