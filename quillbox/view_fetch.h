// How much of a mail the list's view session fetches: Quillbox.ini [Message]
// Line (body lines; negative: the whole mail) and, for mails over 1 MiB by
// their LIST size, [Message] LargeLine.
//
// A Quillbox.ini without a Line key (a new one) gets Line -1 and LargeLine
// 200: whole mails up to 1 MiB, the header and 200 body lines of larger ones.
// An existing Line key is taken as the user set it: without a LargeLine key
// beside it nothing changes how much is fetched.
#pragma once

#include <string_view>

namespace tidewell {

constexpr int kDefaultViewLines = -1;
constexpr int kDefaultLargeViewLines = 200;
// Mails over this many bytes by their LIST size count as large.
constexpr long long kLargeMailBytes = 1024 * 1024;

struct ViewFetchSettings {
  int lines = kDefaultViewLines;             // [Message] Line
  int large_lines = kDefaultLargeViewLines;  // [Message] LargeLine
};

// The settings as read: line_key and large_key tell whether each key is in
// the file, with the values read where they are.
ViewFetchSettings ReadViewFetchSettings(bool line_key, int line, bool large_key, int large);

// The line count for TOP (0 or more) or -1 for RETR, for a mail whose Size
// column reads size_column ("n KB", n rounded up).
int ViewFetchLines(const ViewFetchSettings& settings, std::string_view size_column);

}  // namespace tidewell
