#include "common/pop3_text.h"

#include <climits>

namespace tidewell {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::string ApopTimestamp(std::string_view greeting) {
  const std::size_t lt = greeting.find('<');
  if (lt == std::string_view::npos) return {};
  std::string_view stamp = greeting.substr(lt);
  if (stamp.find("\r\n") == std::string_view::npos) return {};
  return std::string(stamp.substr(0, stamp.size() - 2));
}

int ParseStatCount(std::string_view reply) {
  // sscanf works on C text: a zero byte ends it.
  const std::size_t nul = reply.find('\0');
  if (nul != std::string_view::npos) reply = reply.substr(0, nul);
  std::size_t i = 0;
  const std::size_t n = reply.size();
  while (i < n && IsSpace(reply[i])) ++i;  // %*s skips leading white space
  if (i == n) return 0;
  while (i < n && !IsSpace(reply[i])) ++i;  // ...and takes one word
  while (i < n && IsSpace(reply[i])) ++i;   // " %d" skips white space
  bool negative = false;
  if (i < n && (reply[i] == '+' || reply[i] == '-')) negative = reply[i++] == '-';
  if (i == n || reply[i] < '0' || reply[i] > '9') return 0;
  long long value = 0;
  for (; i < n && reply[i] >= '0' && reply[i] <= '9'; ++i) {
    if (value <= INT_MAX) value = value * 10 + (reply[i] - '0');
  }
  if (negative) return 0;
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

}  // namespace tidewell
