// A small, bounded reader for the flat JSON objects the authorization servers
// answer with (token responses, SASL error challenges): the members of the
// top-level object whose values are strings, numbers, true, false or null.
// Nested objects and arrays are checked and skipped. Anything a server sends
// is bounded: the whole text, each string and the nesting depth.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace tidewell {
namespace oauth {

struct JsonLimits {
  std::size_t max_text = 64 * 1024;    // whole document, bytes
  std::size_t max_string = 16 * 1024;  // one decoded string, bytes
  int max_depth = 16;
};

struct JsonMember {
  enum class Kind { kString, kNumber, kTrue, kFalse, kNull };
  Kind kind = Kind::kNull;
  std::string text;  // decoded string (UTF-8), or the number as written
};

// False (members empty) when the text is not one JSON object (white space
// around it allowed), breaks a limit, or repeats a member name.
bool ReadJsonObject(std::string_view text, std::map<std::string, JsonMember>& members,
                    const JsonLimits& limits = JsonLimits());

}  // namespace oauth
}  // namespace tidewell
