// Header text functions shared by the mail list, the message display and the
// standalone viewer: they read header fields straight from raw message text
// and turn them into Shift_JIS display text.
//
// Every function returns a byte string; where a caller has a fixed buffer, the
// result is already cut to the size it asks for (max bytes, no terminator
// counted), so copying it out with CopyToBuffer never writes past the buffer.
// Texts are byte strings that may be Shift_JIS, ISO-2022-JP or 8-bit; nothing
// here stops at a zero byte.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/text_codec.h"

namespace tidewell {

// Bytes a caller reserves for FormatMailDate's result, terminator included.
constexpr std::size_t kMailDateBuffer = 50;

// Largest encoded word, "=?" through "?=", that DecodeEncodedWords decodes;
// longer ones stay as they are.
constexpr std::size_t kMaxEncodedWord = 1000;

// The unfolded value of the first field called name (any letter case) on a
// line after the first line of text: folded lines are joined with no space
// put in; the separator after the name is stepped over (":" always, one space
// or tab). Empty when the field is missing. At most max bytes.
std::string GetFieldValue(std::string_view text, std::string_view name, std::size_t max);

// The same field's lines as they stand, from its name to the end of its last
// folded line (line ends and indentation kept, the final CR LF not included).
// Empty when missing. At most max bytes.
std::string GetFieldRaw(std::string_view text, std::string_view name, std::size_t max);

// text with the first occurrence of key replaced by replacement; when key is
// empty or not found, text itself. At most max bytes.
std::string ReplaceFirst(std::string_view text, std::size_t max, std::string_view key,
                         std::string_view replacement);

// The piece of text from the first start marker through the next end marker
// (searched from one byte after the start marker's first byte); without an
// end marker, to the end of text. exact: markers compared byte for byte,
// otherwise without regard to ASCII letter case. inner: both markers cut off.
// Empty when start is missing or when the piece is empty, overlaps itself or
// is longer than max (a piece is never cut).
std::string ExtractBetween(std::string_view text, std::size_t max, std::string_view start,
                           std::string_view end, bool exact, bool inner);

// text with its MIME encoded words (B or Q) decoded to Shift_JIS: words in
// ISO-2022-JP (and its -1/-2/-3 names), Shift_JIS, Windows-31J, CP932,
// US-ASCII, UTF-8, EUC-JP, ISO-8859-1 and Windows-1252, charset names in any
// letter case (an RFC 2231 language after '*' ignored). Converting mode (raw
// false) first converts the whole text from ISO-2022-JP, so raw JIS in a
// header becomes readable too, and decodes ISO-2022-JP words to Shift_JIS;
// raw mode keeps the ISO-2022-JP bytes of such words. The other charsets are
// converted to Shift_JIS in both modes ("?" for characters it lacks). Words
// in other character sets, words longer than kMaxEncodedWord and words whose
// decoding is not available stay as they are; the search goes on after each
// decoded word, once over the text. Without the codec library converting
// mode gives an empty text. At most max bytes.
std::string DecodeEncodedWords(TextCodec& codec, std::string_view text, std::size_t max, bool raw);

// A Date value rewritten as year/month/day and time: "Wed, 3 Jan 2007
// 03:46:20 +0900" gives "2007/1/3 03:46:20" (year and time as written, the
// zone dropped, an unknown month name counts as 1). A text whose day is
// missing or outside 1-31, or that has no year, comes back unchanged. The
// result always fits kMailDateBuffer with its terminator.
std::string FormatMailDate(std::string_view text);

// Copies text into dst[0..size) with a terminator, cut so that it fits (at
// a Shift_JIS character boundary). Does nothing when size is 0.
void CopyToBuffer(std::string_view text, char* dst, std::size_t size);

// Longest prefix of text of at most limit bytes that does not end inside a
// Shift_JIS two-byte character.
std::size_t SjisPrefix(std::string_view text, std::size_t limit);

}  // namespace tidewell
