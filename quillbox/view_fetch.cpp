#include "quillbox/view_fetch.h"

namespace tidewell {

ViewFetchSettings ReadViewFetchSettings(bool line_key, int line, bool large_key, int large) {
  ViewFetchSettings s;
  s.lines = line_key ? line : kDefaultViewLines;
  // A Line the user set stays whole for large mails too, unless they also
  // have a LargeLine.
  s.large_lines = large_key ? large : line_key ? s.lines : kDefaultLargeViewLines;
  return s;
}

int ViewFetchLines(const ViewFetchSettings& settings, std::string_view size_column) {
  if (settings.lines >= 0) return settings.lines;
  // "n KB" with n rounded up: n > 1024 exactly when the mail is over 1 MiB.
  long long kb = 0;
  std::size_t i = 0;
  while (i < size_column.size() && size_column[i] == ' ') ++i;
  for (; i < size_column.size() && size_column[i] >= '0' && size_column[i] <= '9' && kb <= kLargeMailBytes; ++i)
    kb = kb * 10 + (size_column[i] - '0');
  const bool large = kb * 1024 > kLargeMailBytes;
  if (!large) return -1;
  return settings.large_lines >= 0 ? settings.large_lines : -1;
}

}  // namespace tidewell
