// The code menu of the message window: the body converted for display in the
// character code the user picks.
#pragma once

#include <string>
#include <string_view>

#include "common/text_codec.h"

namespace tidewell {

// Commands of the code menu.
enum BodyCodeCommand : int {
  kCodeJis = 40019,
  kCodeSjis = 40020,
  kCodeEuc = 40021,
  kCodeUtf7 = 40022,
  kCodeUtf8 = 40023,
  kCodeUtf16 = 40024,
};

// UTF-16 body bytes as Code_Conv code 7 reads them: little-endian units
// after the byte-order mark (0xFF 0xFE as they stand, 0xFE 0xFF with each
// pair swapped), a trailing half unit dropped, ended by a zero unit (two
// zero bytes). Empty when the body has no byte-order mark.
std::string Utf16Source(std::string_view body);

// The body as the window shows it for a code menu command, at most
// kBodyBuffer - 1 bytes, cut at a Shift_JIS character boundary. SJIS shows
// the body as stored; the other codes convert it to Shift_JIS and give an
// empty text when the conversion yields nothing (library missing, UTF-16
// without a mark). The byte codes read the body up to its first zero byte,
// as the codec library does. An unknown command gives an empty text.
std::string BodyForCode(TextCodec& codec, std::string_view body, int command);

}  // namespace tidewell
