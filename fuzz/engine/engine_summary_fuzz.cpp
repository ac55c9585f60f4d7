// The summary file over arbitrary account mail files: splitting into
// entries, the size of each, and the header values taken with GetHeader and
// decoded (ISO-2022-JP, Base64 and quoted-printable encoded words), with the
// codec library's portable core behind the calls.
//
// Checked: nothing crashes or reads past its input; every entry gives exactly
// line at least, the text ends in CR LF and names the account last; each
// decoded header value stays within the 1,023 bytes GetHeader takes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "inkwell2/codec.h"
#include "tidewell/engine/summary_file.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

class CoreCodec : public tidewell::NotifyCodec {
 public:
  std::string GetHeader(std::string_view text, std::string_view name, int max) override {
    return inkwell2::get_header(text, name, max);
  }
  std::string CodeConv(std::string_view text, int code) override { return inkwell2::code_conv(text, code); }
  std::string Base64Coding(std::string_view text, int op) override { return inkwell2::base64_coding(text, op); }
  std::string QuotedCoding(std::string_view text, int op) override { return inkwell2::quoted_coding(text, op); }
  std::string Md5Hex(std::string_view text) override { return inkwell2::md5_hex(text); }
};

std::size_t CountLines(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t at = text.find("\r\n"); at != std::string_view::npos; at = text.find("\r\n", at + 2)) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  CoreCodec codec;
  const auto entries = tidewell::SplitMailEntries(file);
  for (std::string_view entry : entries) {
    Check(entry.data() >= file.data() && entry.data() + entry.size() <= file.data() + file.size());
    Check(tidewell::MailEntrySize(entry) >= -1);
    for (const char* name : {"Subject", "From", "Date"}) {
      const std::string value = tidewell::SummaryHeaderValue(codec, entry, name);
      // GetHeader takes at most 1,023 bytes and decoding never lengthens them.
      Check(value.size() <= 1023);
    }
  }
  const std::string lines = tidewell::SummaryLines(codec, file, "acct");
  // One line per entry: header values that hold a line end would add lines,
  // so the count is at least the number of entries and every line of the
  // file ends with the account.
  Check(CountLines(lines) >= entries.size());
  Check(lines.empty() == entries.empty());
  if (!lines.empty()) {
    Check(lines.size() >= 2 && lines.compare(lines.size() - 2, 2, "\r\n") == 0);
    Check(lines.size() >= 9 && lines.compare(lines.size() - 9, 9, ",\"acct\"\r\n") == 0);
  }
  return 0;
}
