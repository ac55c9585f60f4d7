// The portable decisions of deleting mails from the servers: which rows a
// run works on and in what order, the summary of the accounts that failed,
// and the finishing step that marks the deleted mails in the account mail
// files and keeps their headers in the day file under \Del.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "quillbox/list_codec.h"
#include "quillbox/mail_rows.h"

namespace tidewell {

// Most rows one run deletes.
constexpr std::size_t kMaxDeleteRows = 5000;
// Longest line of the error summary (terminator included).
constexpr std::size_t kSummaryLineBuffer = 250;

// A selected row of the list view.
struct SelectedRow {
  int index = 0;       // list-view row index
  int item = 0;        // item data: insertion number over all accounts
  std::string number;  // Number column; empty for error rows
};

// The row indices of a run: error rows dropped, the rest ordered by their
// item data (account order, then file order), ties kept in list order.
std::vector<int> DeleteOrder(const std::vector<SelectedRow>& selected);

// An account of the list with the error code of its last session in a run.
struct AccountResult {
  std::string name;
  int code = 0;
};

// The "削除エラー" text: one line per account whose code is not 0, in table
// order, each cut to fit kSummaryLineBuffer. Empty when all went well.
std::string DeleteErrorSummary(const std::vector<AccountResult>& accounts);

// File access of the finishing step.
class DeleteFiles {
 public:
  virtual ~DeleteFiles() = default;
  virtual bool Read(const std::string& path, std::string& out) = 0;
  // Replaces the file whole; it is never left half-written.
  virtual bool Write(const std::string& path, std::string_view bytes) = 0;
  // Adds bytes at the end of the file, creating it; the old content is never
  // left damaged. False when the folder is missing.
  virtual bool Append(const std::string& path, std::string_view bytes) = 0;
};

// The disk, with atomic replacement (append = read, add, replace).
class DiskDeleteFiles : public DeleteFiles {
 public:
  bool Read(const std::string& path, std::string& out) override;
  bool Write(const std::string& path, std::string_view bytes) override;
  bool Append(const std::string& path, std::string_view bytes) override;
};

// Path of the day file: data folder + "\Del\Del" + yyyymmdd.
std::string DeletedHeaderFilePath(const std::string& data_folder, std::string_view yyyymmdd);

// Finishing a run: for each row (in order) whose account is in the table
// with code 0, the block "+OK <Number_Old> " of its account mail file gets
// "-DE" written over its "+OK"; with save_headers its stored header is
// appended to the day file. Each row re-reads the file, so the markers of
// several rows accumulate. Returns the number of blocks marked.
int FinishDeleteRun(ListCodec& codec, DeleteFiles& files, const std::string& data_folder,
                    const std::vector<MailRow>& rows, const std::vector<AccountResult>& accounts,
                    bool save_headers, std::string_view yyyymmdd);

}  // namespace tidewell
