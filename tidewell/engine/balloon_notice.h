// The balloon notice of a check with new mail (Message/Balloon): the number
// of new mails in its title and the sender and subject of the newest mails,
// at most three, in its text, decoded like the summary file. Portable: the
// tray icon hands the texts to the shell (NIF_INFO).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/engine/notify_support.h"

namespace tidewell {

// The fields of NOTIFYICONDATA's balloon (terminator included).
constexpr std::size_t kBalloonTitleSize = 64;
constexpr std::size_t kBalloonTextSize = 256;
constexpr std::size_t kBalloonMails = 3;

struct BalloonMail {
  std::string from;
  std::string subject;
};

struct BalloonNotice {
  std::string title;  // at most kBalloonTitleSize - 1 bytes, whole Shift_JIS characters
  std::string text;   // at most kBalloonTextSize - 1 bytes, whole Shift_JIS characters
};

// A Date field as seconds since 1970 in UTC ("Wed, 3 Jan 2024 11:00:00
// +0900", the day name and the seconds optional, zone +hhmm/-hhmm or a
// name read as UTC); -1 when it cannot be read.
long long MailDateSeconds(std::string_view date);

// The newest message entries of the account mail files (in account list
// order; error entries are skipped), at most `max`: by their Date, newest
// first; a mail without a readable date counts as older than every dated
// one, and of equal dates the one later in its file and in the list comes first.
std::vector<BalloonMail> NewestMails(NotifyCodec& codec, const std::vector<std::string>& mail_files,
                                     std::size_t max = kBalloonMails);

// Title "Tidewell: %d通の新着メール"; one line "sender: subject" per mail, cut
// at a character boundary to fit the field, a line cut short ending in "…".
BalloonNotice BuildBalloonNotice(int new_count, const std::vector<BalloonMail>& newest);

// Whether a check with new_count new mails shows the balloon: the switch on
// (kBalloon), at least one new mail, and not a check-once run (kEnd), which
// ends as soon as the check is over.
bool BalloonWanted(std::uint32_t flags, int new_count);

}  // namespace tidewell
