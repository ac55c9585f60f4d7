// Quoted_Coding, ToCrLf and FilePut.
#include <cstdio>

#include "inkwell2/conv_internal.h"

namespace inkwell2 {
namespace {

const char kHex[] = "0123456789ABCDEF";

inline void put_escape(std::string& out, unsigned char c) {
  out.push_back('=');
  out.push_back(kHex[c >> 4]);
  out.push_back(kHex[c & 15]);
}

// First pass. Text mode keeps printable ASCII and line ends (made CR LF);
// all-bytes mode escapes everything.
std::string escape(std::string_view src, bool all_bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(src.data());
  const std::size_t n = src.size();
  std::string out;
  out.reserve(n + n / 2);
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = p[i];
    if (all_bytes) {
      put_escape(out, c);
    } else if (c >= 0x21 && c <= 0x7E && c != '=') {
      out.push_back(static_cast<char>(c));
    } else if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (i + 1 < n && p[i + 1] == '\n') ++i;
    } else if (c == ' ') {
      if (i + 1 < n && (p[i + 1] == '\r' || p[i + 1] == '\n'))
        out += "=20";
      else
        out.push_back(' ');
    } else {
      put_escape(out, c);
    }
  }
  return out;
}

// Second pass: soft line breaks, so that no line is longer than 74
// characters and no escape is split.
std::string soft_breaks(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 24 + 4);
  int col = 0;
  for (char c : s) {
    if (c == '\r') {
      col = 0;
      out.push_back(c);
      continue;
    }
    ++col;
    if (col >= 73 || (c == '=' && col >= 71)) {
      out += "=\r\n";
      col = 0;
    }
    out.push_back(c);
  }
  return out;
}

inline int hex_value(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

// Decodes all bytes, zero bytes included.
std::string decode(std::string_view src) {
  const auto* p = reinterpret_cast<const unsigned char*>(src.data());
  const std::size_t n = src.size();
  std::string out;
  out.reserve(n);
  std::size_t i = 0;
  // Steps over a CR and an LF directly after it, or a lone LF, at i.
  auto skip_line_end = [&] {
    if (i < n && p[i] == '\r') ++i;
    if (i < n && p[i] == '\n') ++i;
  };
  while (i < n) {
    const unsigned char c = p[i];
    if (c == '=' && i + 1 < n && (p[i + 1] == '\r' || p[i + 1] == '\n')) {
      ++i;
      skip_line_end();
    } else if (c == '=' && i + 2 < n) {
      out.push_back(static_cast<char>(hex_value(p[i + 1]) << 4 | hex_value(p[i + 2])));
      i += 3;
    } else if (c == ' ' && i + 1 < n && (p[i + 1] == '\r' || p[i + 1] == '\n')) {
      ++i;
      skip_line_end();
    } else {
      out.push_back(static_cast<char>(c));  // also a "=" cut off by the end
      ++i;
    }
  }
  return out;
}

std::string up_to_nul(std::string s) {
  const std::size_t z = s.find('\0');
  if (z != std::string::npos) s.resize(z);
  return s;
}

int to_int(std::size_t v) { return v > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(v); }

}  // namespace

std::string quoted_coding(std::string_view src, int op, const char* file, int* result) {
  const std::size_t n = src.size();
  std::string out;
  switch (op) {
    case 1:
      out = soft_breaks(escape(src, false));
      break;
    case 2:
      out = soft_breaks(escape(sjis_to_iso2022jp(src), false));
      break;
    case 3: {
      // As many bytes of the file as src has characters.
      std::string data;
      if (!file || !read_file_prefix(file, n, data)) {
        if (result) *result = 0;
        return {};
      }
      out = soft_breaks(escape(data, true));
      break;
    }
    case 11: {
      // dst is C text and ends at a decoded zero byte; the result counts
      // every decoded byte, so a caller can tell that the text went on.
      const std::string decoded = decode(src);
      out = up_to_nul(decoded);
      return deliver_bounded(out, n, 4, to_int(decoded.size()), result);
    }
    case 12:
      out = iso2022jp_to_sjis(up_to_nul(decode(src)));
      break;
    case 13: {
      if (!file || !write_file(file, decode(src))) {
        if (result) *result = 0;
        return {};
      }
      out = file;
      break;
    }
    default:
      if (result) *result = 0;
      return {};
  }
  return deliver_bounded(out, n, 4, to_int(out.size()), result);
}

std::string to_crlf(std::string_view src, int* result) {
  if (src.empty()) {
    if (result) *result = -1;
    return {};
  }
  std::string out;
  out.reserve(src.size() + src.size() / 16);
  for (std::size_t i = 0; i < src.size(); ++i) {
    const char c = src[i];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (i + 1 < src.size() && src[i + 1] == '\n') ++i;
    } else {
      out.push_back(c);
    }
  }
  if (result) *result = to_int(out.size());
  return out;
}

int file_put(std::string_view text, const char* path) { return path && write_file(path, text) ? 1 : 0; }

bool read_file_prefix(const char* path, std::size_t max, std::string& out) {
  out.clear();
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char buf[65536];
  while (out.size() < max) {
    const std::size_t want = std::min(sizeof buf, max - out.size());
    const std::size_t got = std::fread(buf, 1, want, f);
    if (got == 0) break;
    out.append(buf, got);
  }
  std::fclose(f);
  return true;
}

bool write_file(const char* path, std::string_view bytes) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

}  // namespace inkwell2
