// The MIME reader of the message display: turns the bytes of one message file
// (a cache file as the server sent it, or a saved .eml file) into the text
// the message window shows.
//
// What it reads: the header, unfolded; every part's Content-Type with its
// charset, boundary and name parameters and its Content-Transfer-Encoding;
// multiparts depth first (alternative: the text/plain part, else the HTML
// one; mixed, related and the others: every part in order), message/rfc822
// parts with their own sender, date and subject lines, HTML as plain text,
// and one line for each attachment with its decoded file name and size. A
// cache file's status line, dot-stuffing and terminator are undone; lines
// may end in LF alone.
//
// Bounds: the work is linear in the size of the file (the boundary search
// looks at each line once per nesting level; nesting and the number of
// parts are capped), and the text is cut to the body buffer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/text_codec.h"
#include "viewer/mime_text.h"

namespace tidewell {

// Why a message cannot be read; the numbers are those of the messages
// "メッセージ表示に失敗しました。(n)".
enum class ReadError : int {
  kNone = 0,
  kNoBoundary = 1,       // multipart without a usable boundary parameter
  kNoHeaderEnd = 2,      // multipart without a blank line after the header
  kNoPartHeaderEnd = 3,  // its first part missing, or without a blank line after its header
};

// Deepest nesting of multiparts and enclosed messages that is read.
constexpr int kMaxMimeDepth = 16;
// Most parts read in one message; the rest is left out.
constexpr std::size_t kMaxMimeParts = 2000;

struct MessageRead {
  ReadError error = ReadError::kNone;
  // The message header, with "\r\n" put in front: the header text functions
  // (GetFieldValue) never look at the first line of their text.
  std::string header;
  // What the window shows: Shift_JIS, CR LF line ends, at most text_limit
  // bytes. A message that ends before its end (a fetch cut short, a
  // multipart without its closing delimiter) says so on the last line.
  std::string text;
  // Decoded bytes of the first text part shown (the code menu converts them
  // again with the code the user picks), at most kPartByteLimit bytes.
  std::string part;
  bool part_html = false;
};

// Most bytes of one part decoded for the text.
constexpr std::size_t kPartByteLimit = 800000;

struct ReadOptions {
  // The list library's files always start with the server's status line,
  // which is dropped whatever it holds; otherwise only a first line starting
  // with "+OK" is (and then the file is a POP3 reply: dot-stuffed, ended by
  // a line "."), and a first header line is read as such.
  bool first_line_is_status = false;
  std::size_t text_limit = 199999;
};

MessageRead ReadMessage(TextCodec& codec, std::string_view file, const ReadOptions& options);

// A parameter of a Content-Type or Content-Disposition value (name in any
// letter case, value quoted or not, in any place among the others), without
// decoding: "" when missing.
std::string MimeParameter(std::string_view value, std::string_view name);

// A file name parameter (filename, or name) decoded to Shift_JIS: RFC 2231
// forms (name*=charset'lang'..., continuations name*0, name*1*) and encoded
// words.
std::string MimeFileName(TextCodec& codec, std::string_view value, std::string_view name);

}  // namespace tidewell
