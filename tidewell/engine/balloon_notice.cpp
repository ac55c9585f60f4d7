#include "tidewell/engine/balloon_notice.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "tidewell/engine/summary_file.h"
#include "tidewell/engine/tray_state.h"
#include "tidewell/settings/flag_word.h"

namespace tidewell {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Splits a Date value at white space and commas.
std::vector<std::string_view> Words(std::string_view s) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == ',' || s[i] == '\r' || s[i] == '\n')) ++i;
    std::size_t j = i;
    while (j < s.size() && !(s[j] == ' ' || s[j] == '\t' || s[j] == ',' || s[j] == '\r' || s[j] == '\n')) ++j;
    if (j > i) out.push_back(s.substr(i, j - i));
    i = j;
  }
  return out;
}

bool Number(std::string_view s, long long& out, std::size_t max_digits = 4) {
  if (s.empty() || s.size() > max_digits) return false;
  out = 0;
  for (char c : s) {
    if (!IsDigit(c)) return false;
    out = out * 10 + (c - '0');
  }
  return true;
}

int MonthOf(std::string_view s) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  if (s.size() < 3) return 0;
  char m[4] = {static_cast<char>(std::tolower(static_cast<unsigned char>(s[0]))),
               static_cast<char>(std::tolower(static_cast<unsigned char>(s[1]))),
               static_cast<char>(std::tolower(static_cast<unsigned char>(s[2]))), 0};
  for (int i = 0; i < 12; ++i)
    if (std::strcmp(m, kMonths[i]) == 0) return i + 1;
  return 0;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, long long m, long long d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// Appends text to out within `room` bytes, cutting at a Shift_JIS character
// boundary; a cut text ends in "…" (two bytes) when there is room for it.
void AppendCut(std::string& out, std::string_view text, std::size_t room) {
  if (text.size() <= room) {
    out += text;
    return;
  }
  static const char kEllipsis[] = "\x81\x63";  // "…" in Shift_JIS
  const std::size_t keep = room >= 2 ? room - 2 : 0;
  out += CutShiftJis(std::string(text), keep);
  if (room >= 2) out += kEllipsis;
}

}  // namespace

long long MailDateSeconds(std::string_view date) {
  std::vector<std::string_view> w = Words(date);
  std::size_t i = 0;
  if (i < w.size() && !w[i].empty() && !IsDigit(w[i][0])) ++i;  // day name
  if (w.size() < i + 4) return -1;
  long long day, year, hour, minute, second = 0;
  const int month = MonthOf(w[i + 1]);
  if (!Number(w[i], day, 2) || month == 0 || !Number(w[i + 2], year, 4)) return -1;
  if (w[i + 2].size() == 2) year += year < 50 ? 2000 : 1900;
  // hh:mm[:ss]
  std::string_view t = w[i + 3];
  std::size_t c1 = t.find(':');
  if (c1 == std::string_view::npos || !Number(t.substr(0, c1), hour, 2)) return -1;
  std::string_view rest = t.substr(c1 + 1);
  std::size_t c2 = rest.find(':');
  if (!Number(rest.substr(0, c2), minute, 2)) return -1;
  if (c2 != std::string_view::npos && !Number(rest.substr(c2 + 1), second, 2)) return -1;
  if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return -1;
  long long zone = 0;
  if (w.size() > i + 4) {
    std::string_view z = w[i + 4];
    long long hhmm;
    if (z.size() == 5 && (z[0] == '+' || z[0] == '-') && Number(z.substr(1), hhmm, 4)) {
      zone = (hhmm / 100) * 3600 + (hhmm % 100) * 60;
      if (z[0] == '-') zone = -zone;
    }
  }
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - zone;
}

std::vector<BalloonMail> NewestMails(NotifyCodec& codec, const std::vector<std::string>& mail_files,
                                     std::size_t max) {
  struct Candidate {
    long long date;
    std::size_t order;  // position over all files, later is larger
    std::string_view entry;
  };
  std::vector<Candidate> all;
  std::size_t order = 0;
  for (const std::string& file : mail_files) {
    for (std::string_view entry : SplitMailEntries(file)) {
      ++order;
      if (entry.substr(0, 4) == "*ERR") continue;
      all.push_back({MailDateSeconds(SummaryHeaderValue(codec, entry, "date")), order, entry});
    }
  }
  std::sort(all.begin(), all.end(), [](const Candidate& a, const Candidate& b) {
    return a.date != b.date ? a.date > b.date : a.order > b.order;
  });
  std::vector<BalloonMail> out;
  for (std::size_t i = 0; i < all.size() && i < max; ++i)
    out.push_back({SummaryHeaderValue(codec, all[i].entry, "from"), SummaryHeaderValue(codec, all[i].entry, "subject")});
  return out;
}

BalloonNotice BuildBalloonNotice(int new_count, const std::vector<BalloonMail>& newest) {
  BalloonNotice notice;
  char title[kBalloonTitleSize];
  std::snprintf(title, sizeof title, "Tidewell: %d通の新着メール", new_count);
  notice.title = CutShiftJis(title, kBalloonTitleSize - 1);
  const std::size_t limit = kBalloonTextSize - 1;
  // Every mail gets an even share of the field so that the third still shows.
  const std::size_t lines = std::min(newest.size(), kBalloonMails);
  for (std::size_t i = 0; i < lines; ++i) {
    if (i > 0) notice.text += "\r\n";
    const std::size_t left = limit - notice.text.size();
    const std::size_t share = (left - 2 * (lines - 1 - i)) / (lines - i);
    std::string line = newest[i].from + ": " + (newest[i].subject.empty() ? "(件名なし)" : newest[i].subject);
    AppendCut(notice.text, line, share);
  }
  return notice;
}

bool BalloonWanted(std::uint32_t flags, int new_count) {
  return (flags & kBalloon) != 0 && (flags & kEnd) == 0 && new_count >= 1;
}

}  // namespace tidewell
