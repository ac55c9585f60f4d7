#include "tidewell/engine/command_line.h"

#include "tidewell/engine/engine_state.h"

namespace tidewell {

namespace {

constexpr std::size_t kMaxSwitchLine = 100;

bool IsOneOf(std::string_view text, std::initializer_list<std::string_view> options) {
  for (std::string_view o : options)
    if (text == o) return true;
  return false;
}

// The flag bit a switch letter controls, or 0 for letters without a meaning.
std::uint32_t FlagOfLetter(char letter) {
  switch (letter | 0x20) {  // upper and lower case alike
    case 'd': return kListOpen;
    case 'e': return kEnd;
    case 'f': return kStart;
    case 'i': return kErrorDisregard;
    case 'm': return kNewMessage;
    case 'p': return kExecCheck;
    case 'w': return kSoundCheck;
    default: return 0;
  }
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::uint32_t ApplyPiece(std::string_view piece, std::uint32_t flags) {
  if (piece.size() < 3 || (piece[0] != '-' && piece[0] != '/') || !IsAsciiLetter(piece[1]))
    return flags;
  const std::uint32_t bit = FlagOfLetter(piece[1]);
  if (piece[2] == '1') return flags | bit;
  if (piece[2] == '0') return flags & ~bit;
  return flags;
}

}  // namespace

bool AllowsSecondInstance(std::string_view command_line) {
  std::size_t at = command_line.find("-x");
  if (at == std::string_view::npos) at = command_line.find("-X");
  return at != std::string_view::npos && at + 2 < command_line.size() && command_line[at + 2] == '1';
}

std::uint32_t ApplyCommandLine(std::string_view command_line, std::uint32_t flags) {
  if (IsOneOf(command_line, {"-s", "-S", "/s", "/S"})) return flags & ~kEnd;
  if (IsOneOf(command_line, {"-n", "-N", "/n", "/N"}))
    return (flags | kStart | kEnd | kListOpen) & ~kNewMessage;
  if (command_line.size() > kMaxSwitchLine) return flags;
  std::size_t pos = 0;
  while (pos <= command_line.size()) {
    std::size_t end = command_line.find(' ', pos);
    if (end == std::string_view::npos) end = command_line.size();
    flags = ApplyPiece(command_line.substr(pos, end - pos), flags);
    pos = end + 1;
  }
  return flags;
}

}  // namespace tidewell
