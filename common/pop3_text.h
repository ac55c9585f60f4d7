// Reading POP3 replies: what the check session of the tray program and the
// list library's session both need (RFC 1939 with APOP).
#pragma once

#include <string>
#include <string_view>

namespace tidewell {

// End of a multi-line reply.
constexpr std::string_view kPop3Terminator = "\r\n.\r\n";

// A reply is refused when its first character is '-'.
inline bool IsNegativeReply(std::string_view reply) { return !reply.empty() && reply[0] == '-'; }

// The APOP time stamp of a greeting: from its first '<' to its end, less the
// last two characters when that text holds "\r\n" anywhere; empty otherwise.
std::string ApopTimestamp(std::string_view greeting);

// The message count of a STAT reply read as sscanf "%*s %d %d" reads it:
// unreadable gives 0, negative gives 0, too large saturates.
int ParseStatCount(std::string_view reply);

}  // namespace tidewell
