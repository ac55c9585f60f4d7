#include "common/oauth/json_object.h"

#include <cstdint>
#include <set>

namespace tidewell {
namespace oauth {
namespace {

class Reader {
 public:
  Reader(std::string_view text, const JsonLimits& limits) : s_(text), limits_(limits) {}

  bool Document(std::map<std::string, JsonMember>& members) {
    Space();
    if (!Take('{')) return false;
    Space();
    if (Take('}')) return End();
    for (;;) {
      Space();
      std::string name;
      if (!String(name)) return false;
      Space();
      if (!Take(':')) return false;
      Space();
      JsonMember member;
      if (Peek() == '{' || Peek() == '[') {
        if (!Skip(1)) return false;
        if (members.count(name) != 0 || !nested_names_.insert(name).second) return false;
      } else {
        if (!Scalar(member)) return false;
        if (nested_names_.count(name) != 0 || !members.emplace(name, member).second) return false;
      }
      Space();
      if (Take(',')) continue;
      if (Take('}')) return End();
      return false;
    }
  }

 private:
  char Peek() const { return at_ < s_.size() ? s_[at_] : '\0'; }
  bool Take(char c) {
    if (at_ < s_.size() && s_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  void Space() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\r' || s_[at_] == '\n')) ++at_;
  }
  bool End() {
    Space();
    return at_ == s_.size();
  }

  bool Literal(std::string_view word) {
    if (s_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  static void PutUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  bool Hex4(std::uint32_t& v) {
    if (s_.size() - at_ < 4) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = s_[at_++];
      v <<= 4;
      if (c >= '0' && c <= '9') v |= static_cast<std::uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') v |= static_cast<std::uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') v |= static_cast<std::uint32_t>(c - 'A' + 10);
      else return false;
    }
    return true;
  }

  bool String(std::string& out) {
    out.clear();
    if (!Take('"')) return false;
    while (at_ < s_.size()) {
      const char c = s_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
      } else {
        if (at_ >= s_.size()) return false;
        const char e = s_[at_++];
        switch (e) {
          case '"': out += '"'; break;
          case '\\': out += '\\'; break;
          case '/': out += '/'; break;
          case 'b': out += '\b'; break;
          case 'f': out += '\f'; break;
          case 'n': out += '\n'; break;
          case 'r': out += '\r'; break;
          case 't': out += '\t'; break;
          case 'u': {
            std::uint32_t cp;
            if (!Hex4(cp)) return false;
            if (cp >= 0xD800 && cp <= 0xDBFF) {
              std::uint32_t low;
              if (!Literal("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
              cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
              return false;
            }
            PutUtf8(out, cp);
            break;
          }
          default: return false;
        }
      }
      if (out.size() > limits_.max_string) return false;
    }
    return false;
  }

  bool Number(std::string& out) {
    const std::size_t start = at_;
    Take('-');
    if (Take('0')) {
    } else if (Peek() >= '1' && Peek() <= '9') {
      while (Peek() >= '0' && Peek() <= '9') ++at_;
    } else {
      return false;
    }
    if (Take('.')) {
      if (!(Peek() >= '0' && Peek() <= '9')) return false;
      while (Peek() >= '0' && Peek() <= '9') ++at_;
    }
    if (Peek() == 'e' || Peek() == 'E') {
      ++at_;
      if (Peek() == '+' || Peek() == '-') ++at_;
      if (!(Peek() >= '0' && Peek() <= '9')) return false;
      while (Peek() >= '0' && Peek() <= '9') ++at_;
    }
    out.assign(s_.substr(start, at_ - start));
    return true;
  }

  bool Scalar(JsonMember& m) {
    const char c = Peek();
    if (c == '"') {
      m.kind = JsonMember::Kind::kString;
      return String(m.text);
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
      m.kind = JsonMember::Kind::kNumber;
      return Number(m.text);
    }
    if (Literal("true")) {
      m.kind = JsonMember::Kind::kTrue;
      return true;
    }
    if (Literal("false")) {
      m.kind = JsonMember::Kind::kFalse;
      return true;
    }
    if (Literal("null")) {
      m.kind = JsonMember::Kind::kNull;
      return true;
    }
    return false;
  }

  // A nested object or array at `depth` (the top-level object is depth 0).
  bool Skip(int depth) {
    if (depth > limits_.max_depth) return false;
    const bool object = Take('{');
    if (!object && !Take('[')) return false;
    const char close = object ? '}' : ']';
    Space();
    if (Take(close)) return true;
    for (;;) {
      Space();
      if (object) {
        std::string name;
        if (!String(name)) return false;
        Space();
        if (!Take(':')) return false;
        Space();
      }
      if (Peek() == '{' || Peek() == '[') {
        if (!Skip(depth + 1)) return false;
      } else {
        JsonMember ignored;
        if (!Scalar(ignored)) return false;
      }
      Space();
      if (Take(',')) continue;
      return Take(close);
    }
  }

  std::string_view s_;
  const JsonLimits& limits_;
  std::size_t at_ = 0;
  std::set<std::string> nested_names_;  // skipped members, to refuse a repeat
};

}  // namespace

bool ReadJsonObject(std::string_view text, std::map<std::string, JsonMember>& members, const JsonLimits& limits) {
  members.clear();
  if (text.size() > limits.max_text) return false;
  Reader reader(text, limits);
  if (!reader.Document(members)) {
    members.clear();
    return false;
  }
  return true;
}

}  // namespace oauth
}  // namespace tidewell
