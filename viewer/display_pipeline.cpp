#include "viewer/display_pipeline.h"

#include <algorithm>

#include "viewer/header_text.h"

namespace tidewell {

namespace {

constexpr std::string_view kBlankLine = "\r\n\r\n";
constexpr std::size_t kBodyLimit = kBodyBuffer - 1;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(a) == lower(b);
  });
}

// A decoded subject or sender, cut to its buffer at a character boundary.
std::string DisplayName(TextCodec& codec, std::string_view header, std::string_view name,
                        std::size_t buffer) {
  const std::string value = GetFieldValue(header, name, kFieldReadLimit);
  if (value.empty() || buffer == 0) return std::string();
  const std::string decoded = DecodeEncodedWords(codec, value, value.size(), false);
  return decoded.substr(0, SjisPrefix(decoded, buffer - 1));
}

// The first part of a multipart message: the text between the first two
// boundaries after the header, without its own header lines and without the
// line end and "--" before the next delimiter.
DisplayError FirstPart(std::string_view text, std::string_view content_type, std::string& body) {
  const std::string boundary = BoundaryOf(content_type);
  if (boundary.empty()) return DisplayError::kNoBoundary;
  const std::size_t header_end = text.find(kBlankLine);
  if (header_end == std::string_view::npos) return DisplayError::kNoHeaderEnd;
  const std::string part =
      ExtractBetween(text.substr(header_end), text.size(), boundary, boundary, false, true);
  const std::size_t part_header_end = part.find(kBlankLine);
  if (part_header_end == std::string::npos) return DisplayError::kNoPartHeaderEnd;
  std::string_view rest = std::string_view(part).substr(part_header_end + kBlankLine.size());
  const std::size_t last_cr = rest.rfind('\r');
  if (last_cr != std::string_view::npos) rest = rest.substr(0, last_cr);
  body.assign(CutTo(rest, kBodyLimit));
  return DisplayError::kNone;
}

}  // namespace

std::string_view CutTo(std::string_view text, std::size_t limit) {
  return text.substr(0, std::min(text.size(), limit));
}

std::string BoundaryOf(std::string_view content_type) {
  // "boundary" and the character after it ("=") are 9 bytes.
  const std::string found = ExtractBetween(content_type, kFieldReadLimit, "boundary", "\r\n", false, false);
  if (found.size() <= 9) return std::string();
  std::string boundary = found.substr(9);
  if (boundary[0] == '"') boundary = boundary.size() >= 2 ? boundary.substr(1, boundary.size() - 2) : std::string();
  return boundary;
}

DisplayError BuildDisplay(TextCodec& codec, std::string_view text, const PipelineOptions& options,
                          DisplayFields& fields) {
  fields = DisplayFields();
  // Field search never looks at the first line (a cache file starts with the
  // server's status line); the standalone viewer also reads files whose first
  // line is a field, so it searches behind a line end put in front.
  std::string prefixed;
  std::string_view header = text;
  if (options.search_first_line) {
    prefixed.reserve(text.size() + 2);
    prefixed.append("\r\n").append(text);
    header = prefixed;
  }

  const std::string content_type = GetFieldValue(header, "content-type", kFieldReadLimit);
  fields.subject = DisplayName(codec, header, "subject", options.name_buffer);
  fields.sender = DisplayName(codec, header, "from", options.name_buffer);
  fields.date = FormatMailDate(GetFieldValue(header, "date", kFieldReadLimit));

  if (StartsWithNoCase(content_type, "multipart")) {
    const DisplayError error = FirstPart(text, content_type, fields.body);
    if (error != DisplayError::kNone) return error;
  } else {
    // Everything after the header up to the terminating line, or to the end
    // of a file that has none (a partly fetched message).
    const std::string body = ExtractBetween(text, text.size(), kBlankLine, "\r\n.\r\n", false, true);
    fields.body.assign(CutTo(body, kBodyLimit));
  }

  if (options.decode_quoted_jis && fields.body.find("=1B") != std::string::npos) {
    std::string decoded;
    if (codec.QuotedCoding(fields.body, 12, decoded)) fields.body.assign(CutTo(decoded, kBodyLimit));
  }
  return DisplayError::kNone;
}

}  // namespace tidewell
