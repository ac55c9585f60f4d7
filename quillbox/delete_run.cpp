#include "quillbox/delete_run.h"

#include <algorithm>
#include <cstdio>
#include <map>

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

namespace {

// Reads a file whole; false when it cannot be opened or a read fails (a
// file that is there but cannot be read must not pass for an empty one).
bool ReadAll(const std::string& path, std::string& out) {
  out.clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  const bool ok = std::ferror(f) == 0;
  std::fclose(f);
  return ok;
}

}  // namespace

DeleteFiles::Appended DiskDeleteFiles::Append(const std::string& path, std::string_view bytes) {
  std::string text;
  if (!ReadAll(path, text)) {
    if (!FileMissing(path)) return Appended::kUnreadable;
    text.clear();
  }
  text.append(bytes);
  return WriteFileAtomically(path, text) ? Appended::kDone : Appended::kNotWritten;
}

std::string DayFileErrorText(std::string_view day_file_name) {
  return std::string(day_file_name) + ":削除したメールの記録ファイルを読めないため、ヘッダーを保存しませんでした。(" +
         std::to_string(kCodeDayFileUnreadable) + ")\n";
}

std::string DeletedHeaderFilePath(const std::string& data_folder, std::string_view yyyymmdd) {
  return JoinPath(JoinPath(data_folder, "Del"), "Del" + std::string(yyyymmdd));
}

namespace {

bool OldNumber(const MailRow& row, int& out) {
  const std::string& text = row.columns[kColNumberOld];
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  out = std::stoi(text);
  return true;
}

}  // namespace

DeleteFinish FinishDeleteRun(ListCodec& codec, DeleteFiles& files, const std::string& data_folder,
                             const std::vector<MailRow>& rows, const std::vector<AccountResult>& accounts,
                             bool save_headers, std::string_view yyyymmdd) {
  DeleteFinish result;
  // The rows of one account, in row order, under the account's first row.
  std::vector<std::string> order;
  std::map<std::string, std::vector<int>> numbers;
  for (const MailRow& row : rows) {
    const std::string& name = row.columns[kColName];
    const auto account = std::find_if(accounts.begin(), accounts.end(),
                                      [&](const AccountResult& a) { return a.name == name; });
    int number = 0;
    if (account == accounts.end() || account->code != 0 || !OldNumber(row, number)) continue;
    auto [it, added] = numbers.try_emplace(name);
    if (added) order.push_back(name);
    it->second.push_back(number);
  }
  std::string saved;
  for (const std::string& name : order) {
    const std::string path = AccountMailPath(codec, data_folder, name);
    std::string file;
    if (path.empty() || !files.Read(path, file)) continue;
    const MessageBlockIndex index(file, false);
    std::string headers;
    int marked = 0;
    for (int number : numbers[name]) {
      const std::size_t at = index.Find(number);
      if (at == std::string::npos || file.compare(at, 3, "+OK") != 0) continue;  // missing, or marked already
      if (save_headers) headers += StoredHeaderAt(file, at);
      file.replace(at, 3, "-DE");
      ++marked;
    }
    // The markers first: a header in the day file always belongs to a mail
    // the list no longer shows.
    if (marked == 0 || !files.Write(path, file)) continue;
    result.marked += marked;
    saved += headers;
  }
  if (!saved.empty() &&
      files.Append(DeletedHeaderFilePath(data_folder, yyyymmdd), saved) == DeleteFiles::Appended::kUnreadable)
    result.day_file_unreadable = true;
  return result;
}

}  // namespace tidewell
