// The display pipeline: turns the text of one message file (a cache file as
// the server sent it, or a saved .eml file) into the four display fields of
// the message window: subject, sender, date and body. The body is the text of
// the MIME reader (viewer/mime_reader.h): transfer encodings undone, the
// charset converted, HTML as text, attachments listed.
//
// Buffers: the window keeps each field in a buffer of fixed size (subject and
// sender 500 bytes in the list library, 250 in the standalone viewer; date 50;
// body 200,000). Every field comes out of here already cut to its buffer less
// one byte for the terminator, so a large or hostile message can never
// overrun it. A body longer than the buffer is cut, not dropped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/text_codec.h"

namespace tidewell {

// Bytes of the display buffers, terminator included.
constexpr std::size_t kListNameBuffer = 500;        // subject, sender (list library)
constexpr std::size_t kStandaloneNameBuffer = 250;  // subject, sender (Peekglass.exe)
constexpr std::size_t kBodyBuffer = 200000;
// Longest header value read before decoding.
constexpr std::size_t kFieldReadLimit = 1000;

struct DisplayFields {
  std::string subject;
  std::string sender;
  std::string date;
  std::string body;
  // Decoded bytes of the text part on display, which the code menu converts
  // again in the code the user picks; part_html: it is HTML.
  std::string part;
  bool part_html = false;
};

// Why a message could not be shown; the numbers are those of the messages
// "メッセージ表示に失敗しました。(n)".
enum class DisplayError : int {
  kNone = 0,
  kNoBoundary = 1,         // multipart without a usable boundary parameter
  kNoHeaderEnd = 2,        // multipart without a blank line after the header
  kNoPartHeaderEnd = 3,    // first part missing or without a blank line after its header
  kCannotOpen = 4,         // the message file cannot be opened (Win32 side)
};

struct PipelineOptions {
  // Standalone viewer: header fields are also searched on the first line, so
  // a plain .eml file whose first line is a field is read.
  bool search_first_line = false;
  // Buffer of the subject and sender fields, terminator included.
  std::size_t name_buffer = kListNameBuffer;

  static PipelineOptions List() { return {}; }
  static PipelineOptions Standalone() { return {true, kStandaloneNameBuffer}; }
};

// Fills fields from the message text (fields are cleared first). On an error
// the fields filled so far stay and the body is empty.
DisplayError BuildDisplay(TextCodec& codec, std::string_view text, const PipelineOptions& options,
                          DisplayFields& fields);

// The boundary parameter of a multipart Content-Type value (quoted or not,
// any letter case, anywhere among the parameters). Empty when there is none.
std::string BoundaryOf(std::string_view content_type);

// The body as the code menu shows it for command (40019-40024): the part's
// decoded bytes converted with that code (HTML then made text), CR LF line
// ends, at most kBodyBuffer - 1 bytes. An unknown command gives "".
std::string BodyTextForCode(TextCodec& codec, const DisplayFields& fields, int command);

}  // namespace tidewell
