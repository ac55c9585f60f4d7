// Small pieces shared by the notification modules of the tray program: the
// codec calls they need (injected, so that the portable code never loads a
// library) and the way they address files in the data folder.
#pragma once

#include <string>
#include <string_view>

#include "common/sjis.h"

namespace tidewell {

// The codec library calls used for the summary file and the mail folder
// clean-up. The Windows side binds them to Inkwell2.dll loaded by name; the
// unit tests bind them to the codec library's portable core.
// When the library is missing: GetHeader gives "", the coding steps hand back
// their input unchanged and Md5Hex gives "".
class NotifyCodec {
 public:
  virtual ~NotifyCodec() = default;
  // Value of header field `name` in `text`, cut to at most `max` - 1 bytes.
  virtual std::string GetHeader(std::string_view text, std::string_view name, int max) = 0;
  // Code_Conv with the given conversion code.
  virtual std::string CodeConv(std::string_view text, int code) = 0;
  // Base64_Coding / Quoted_Coding with the given operation code, no file.
  virtual std::string Base64Coding(std::string_view text, int op) = 0;
  virtual std::string QuotedCoding(std::string_view text, int op) = 0;
  // MD5Calc: 32 lower-case hexadecimal digits, or "" when unavailable.
  virtual std::string Md5Hex(std::string_view text) = 0;
};

// data folder + "\" + relative path (whose parts are separated by '\'). On
// Windows the text is kept as it is; elsewhere (the unit tests) the
// separators become '/' so that real files can be used.
inline std::string NotifyPath(const std::string& folder, std::string_view relative) {
#ifdef _WIN32
  std::string path = folder;
  if (!EndsWithBackslash(path)) path += '\\';  // a drive root keeps its one backslash
  path += relative;
  return path;
#else
  std::string path = folder;
  path += '/';
  for (char c : relative) path += (c == '\\') ? '/' : c;
  return path;
#endif
}

// The part after the last backslash (all of it when there is none).
inline std::string_view AfterLastBackslash(std::string_view text) {
  std::size_t p = LastBackslash(text);
  return p == std::string_view::npos ? text : text.substr(p + 1);
}

// ASCII letters to lower case, leaving both bytes of two-byte characters alone.
inline std::string LowerSjis(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (IsSjisLead(c) && i + 1 < out.size()) {
      ++i;
      continue;
    }
    if (c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace tidewell
