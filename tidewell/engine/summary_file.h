// The summary file "Tidewell.tmp" and the count file "Tidewl_cnt.tmp", left in
// the data folder after a check with new mail for other programs to read.
//
// Tidewell.tmp holds one line per entry of every account mail file, accounts
// in list order:  "subject","from","date",size,"account"\r\n
// Subject, sender and account have their inner double quotes doubled; the
// date is quoted as it is. An error entry gives "","","",-1,"account".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tidewell/engine/notify_support.h"

namespace tidewell {

// Entries of an account mail file: the texts between "\r\n.\r\n"
// terminators (not included); text after the last terminator is ignored.
std::vector<std::string_view> SplitMailEntries(std::string_view file);

// Size from the entry's first line ("+OK n size"), or -1 when there is no
// line, it cannot be read or it is negative.
int MailEntrySize(std::string_view entry);

// The decoded value of one header field of an entry: GetHeader (1024-byte
// buffer), then the list's encoded-word decoder (viewer/header_text.h): raw
// ISO-2022-JP converted, and the ISO-2022-JP, Shift_JIS, UTF-8 and EUC-JP
// words decoded each by its own letter (B or Q).
std::string SummaryHeaderValue(NotifyCodec& codec, std::string_view entry, std::string_view name);

// The summary lines of one account mail file.
std::string SummaryLines(NotifyCodec& codec, std::string_view mail_file, std::string_view display_name);

// Account mail file name: the MD5 text of the display name, under "\Mail".
std::string AccountMailFilePath(NotifyCodec& codec, const std::string& data_folder,
                                std::string_view display_name);

// Writes Tidewell.tmp from the account mail files of the accounts (display
// names in list order) and Tidewl_cnt.tmp with the total count. Both are
// replaced whole and atomically; failures are not reported.
void WriteSummaryFiles(NotifyCodec& codec, const std::string& data_folder,
                       const std::vector<std::string>& display_names, int total_count);

}  // namespace tidewell
