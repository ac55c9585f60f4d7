#include "viewer/display_pipeline.h"

#include "viewer/body_codes.h"
#include "viewer/header_text.h"
#include "viewer/mime_reader.h"
#include "viewer/mime_text.h"

namespace tidewell {

namespace {

constexpr std::size_t kBodyLimit = kBodyBuffer - 1;

// A decoded subject or sender, cut to its buffer at a character boundary.
std::string DisplayName(TextCodec& codec, std::string_view header, std::string_view name,
                        std::size_t buffer) {
  const std::string value = GetFieldValue(header, name, kFieldReadLimit);
  if (value.empty() || buffer == 0) return std::string();
  const std::string decoded = DecodeEncodedWords(codec, value, value.size(), false);
  return decoded.substr(0, SjisPrefix(decoded, buffer - 1));
}

}  // namespace

std::string BoundaryOf(std::string_view content_type) { return MimeParameter(content_type, "boundary"); }

DisplayError BuildDisplay(TextCodec& codec, std::string_view text, const PipelineOptions& options,
                          DisplayFields& fields) {
  fields = DisplayFields();
  ReadOptions read_options;
  // The list's cache files start with the server's status line; the
  // standalone viewer also reads files whose first line is a field.
  read_options.first_line_is_status = !options.search_first_line;
  read_options.text_limit = kBodyLimit;
  MessageRead read = ReadMessage(codec, text, read_options);

  fields.subject = DisplayName(codec, read.header, "subject", options.name_buffer);
  fields.sender = DisplayName(codec, read.header, "from", options.name_buffer);
  fields.date = FormatMailDate(GetFieldValue(read.header, "date", kFieldReadLimit));
  if (read.error != ReadError::kNone) return static_cast<DisplayError>(read.error);
  fields.body = std::move(read.text);
  fields.part = std::move(read.part);
  fields.part_html = read.part_html;
  return DisplayError::kNone;
}

std::string BodyTextForCode(TextCodec& codec, const DisplayFields& fields, int command) {
  std::string shown = BodyForCode(codec, fields.part, command);
  if (fields.part_html) shown = HtmlToText(codec, shown);
  shown = CrLfText(shown);
  shown.resize(SjisPrefix(shown, kBodyLimit));
  return shown;
}

}  // namespace tidewell
