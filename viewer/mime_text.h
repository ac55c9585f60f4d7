// Pieces of reading a MIME part as text: its transfer encoding undone, its
// character set converted to Shift_JIS, HTML turned into plain text. The
// character-set conversions go through the codec library's Code_Conv (the
// TextCodec); only what it has no code for (ISO-8859-1, Windows-1252, the byte
// order of UTF-16) is prepared here first.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/text_codec.h"

namespace tidewell {

// Character sets a part or an encoded word may name.
enum class Charset {
  kNone,       // no charset parameter: read as ISO-2022-JP (or UTF-8 when it is valid UTF-8)
  kUnknown,    // a name not known here: as kNone
  kJis,        // ISO-2022-JP and its -1, -2, -3 forms, as far as Code_Conv code 2 goes
  kSjis,       // Shift_JIS, Windows-31J, CP932
  kEuc,        // EUC-JP
  kUtf8,
  kUtf7,
  kUtf16,      // byte-order mark, else big-endian (or what the bytes show)
  kUtf16Le,
  kUtf16Be,
  kAscii,
  kLatin1,     // ISO-8859-1 (and -15, close enough to read)
  kWindows1252,
};

// The charset a MIME name stands for (any letter case, surrounding quotes
// and blanks ignored).
Charset CharsetOf(std::string_view name);

// bytes in charset converted to Shift_JIS, with CR LF line ends and no zero
// bytes. Characters without a Shift_JIS form become "?". False (out empty)
// when a conversion was needed and the codec library could not do it.
bool ConvertToSjis(TextCodec& codec, std::string_view bytes, Charset charset, std::string& out);

// Whether bytes hold at least one multi-byte UTF-8 sequence and nothing that
// is not UTF-8.
bool LooksLikeUtf8(std::string_view bytes);

// Base64 text decoded: characters outside the alphabet are stepped over, a
// truncated last group gives the bytes it holds, decoding stops at "=" or
// once limit bytes are out.
std::string DecodeBase64(std::string_view text, std::size_t limit = static_cast<std::size_t>(-1));

// Quoted-printable text decoded (soft line breaks joined, "=XX" with either
// letter case; a broken "=" kept as it stands), at most limit bytes.
std::string DecodeQuotedPrintable(std::string_view text, std::size_t limit = static_cast<std::size_t>(-1));

// Number of bytes a part's encoded text decodes to, without decoding it.
std::size_t DecodedSize(std::string_view text, std::string_view transfer_encoding);

// A part's bytes with its Content-Transfer-Encoding undone (base64,
// quoted-printable; 7bit, 8bit, binary and unknown names taken as they are),
// at most limit bytes.
std::string DecodeTransfer(std::string_view text, std::string_view transfer_encoding,
                           std::size_t limit = static_cast<std::size_t>(-1));

// Shift_JIS HTML as plain text: tags removed; br, p, div, li, tr, headings and
// the like as line breaks; script, style and head content dropped; white
// space collapsed outside pre; character references and the common named
// entities decoded (the codec converts those outside ASCII); runs of blank
// lines collapsed to one. CR LF line ends.
std::string HtmlToText(TextCodec& codec, std::string_view html);

// CR, LF and CR LF each become CR LF; zero bytes are dropped.
std::string CrLfText(std::string_view text);

}  // namespace tidewell
