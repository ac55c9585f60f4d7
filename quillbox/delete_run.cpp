#include "quillbox/delete_run.h"

#include <algorithm>

#include "common/atomic_file.h"
#include "common/paths.h"
#include "quillbox/list_session.h"
#include "viewer/header_text.h"

namespace tidewell {

std::vector<int> DeleteOrder(const std::vector<SelectedRow>& selected) {
  std::vector<SelectedRow> kept;
  for (const SelectedRow& row : selected)
    if (!row.number.empty()) kept.push_back(row);
  std::stable_sort(kept.begin(), kept.end(),
                   [](const SelectedRow& a, const SelectedRow& b) { return a.item < b.item; });
  std::vector<int> order;
  order.reserve(kept.size());
  for (const SelectedRow& row : kept) order.push_back(row.index);
  return order;
}

std::string DeleteErrorSummary(const std::vector<AccountResult>& accounts) {
  std::string summary;
  for (const AccountResult& account : accounts) {
    if (account.code == 0) continue;
    const std::string line = ListErrorText(account.code, account.name, false);
    summary.append(line, 0, SjisPrefix(line, kSummaryLineBuffer - 1));
  }
  return summary;
}

bool DiskDeleteFiles::Read(const std::string& path, std::string& out) { return ReadWholeFile(path, out); }

bool DiskDeleteFiles::Write(const std::string& path, std::string_view bytes) {
  return WriteFileAtomically(path, bytes);
}

bool DiskDeleteFiles::Append(const std::string& path, std::string_view bytes) {
  std::string text;
  if (!ReadWholeFile(path, text)) text.clear();
  text.append(bytes);
  return WriteFileAtomically(path, text);
}

std::string DeletedHeaderFilePath(const std::string& data_folder, std::string_view yyyymmdd) {
  return JoinPath(JoinPath(data_folder, "Del"), "Del" + std::string(yyyymmdd));
}

int FinishDeleteRun(ListCodec& codec, DeleteFiles& files, const std::string& data_folder,
                    const std::vector<MailRow>& rows, const std::vector<AccountResult>& accounts,
                    bool save_headers, std::string_view yyyymmdd) {
  int marked = 0;
  for (const MailRow& row : rows) {
    const std::string& name = row.columns[kColName];
    const auto account = std::find_if(accounts.begin(), accounts.end(),
                                      [&](const AccountResult& a) { return a.name == name; });
    if (account == accounts.end() || account->code != 0) continue;
    const std::string& old_number = row.columns[kColNumberOld];
    if (old_number.empty() || old_number.size() > 9 ||
        old_number.find_first_not_of("0123456789") != std::string::npos)
      continue;
    const std::string path = AccountMailPath(codec, data_folder, name);
    std::string file;
    if (path.empty() || !files.Read(path, file)) continue;
    const std::size_t at = FindMessageBlock(file, std::stoi(old_number), false);
    if (at == std::string::npos) continue;
    const std::string saved = save_headers ? StoredHeader(file, std::stoi(old_number)) : std::string();
    file.replace(at, 3, "-DE");
    // The marker first: a header in the day file always belongs to a mail
    // the list no longer shows.
    if (!files.Write(path, file)) continue;
    ++marked;
    if (!saved.empty()) files.Append(DeletedHeaderFilePath(data_folder, yyyymmdd), saved);
  }
  return marked;
}

}  // namespace tidewell
