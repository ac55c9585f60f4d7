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

// The day file exists but could not be read: it is left as it is and the
// headers of this run are not saved (own line in the "削除エラー" box).
constexpr int kCodeDayFileUnreadable = 129;

// The "削除エラー" line of an unreadable day file (name as "Del20261207").
std::string DayFileErrorText(std::string_view day_file_name);

// File access of the finishing step.
class DeleteFiles {
 public:
  enum class Appended { kDone, kNotWritten, kUnreadable };
  virtual ~DeleteFiles() = default;
  virtual bool Read(const std::string& path, std::string& out) = 0;
  // Replaces the file whole; it is never left half-written.
  virtual bool Write(const std::string& path, std::string_view bytes) = 0;
  // Adds bytes at the end of the file, creating it when it is missing; the
  // old content is never left damaged. kNotWritten when it could not be
  // written (the folder is missing), kUnreadable when the file is there but
  // could not be read (it is left alone).
  virtual Appended Append(const std::string& path, std::string_view bytes) = 0;
};

// The disk, with atomic replacement (append = read, add, replace).
class DiskDeleteFiles : public DeleteFiles {
 public:
  bool Read(const std::string& path, std::string& out) override;
  bool Write(const std::string& path, std::string_view bytes) override;
  Appended Append(const std::string& path, std::string_view bytes) override;
};

// Path of the day file: data folder + "\Del\Del" + yyyymmdd.
std::string DeletedHeaderFilePath(const std::string& data_folder, std::string_view yyyymmdd);

// What the finishing step did.
struct DeleteFinish {
  int marked = 0;          // blocks marked deleted
  bool day_file_unreadable = false;
};

// Finishing a run: for each row whose account is in the table with code 0,
// the block "+OK <Number_Old> " of its account mail file gets "-DE" written
// over its "+OK"; with save_headers the stored headers of the blocks marked
// are appended to the day file, in row order. Each account mail file is read
// and replaced once, the day file once.
DeleteFinish FinishDeleteRun(ListCodec& codec, DeleteFiles& files, const std::string& data_folder,
                             const std::vector<MailRow>& rows, const std::vector<AccountResult>& accounts,
                             bool save_headers, std::string_view yyyymmdd);

}  // namespace tidewell
