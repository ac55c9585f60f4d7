// GetHeader and Source_Split.
#include "inkwell2/conv_internal.h"

namespace inkwell2 {
namespace {

inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool starts_with_nocase(std::string_view text, std::size_t at, std::string_view name) {
  if (text.size() - at < name.size()) return false;
  for (std::size_t k = 0; k < name.size(); ++k)
    if (lower(text[at + k]) != lower(name[k])) return false;
  return true;
}

constexpr std::string_view kMultipartMarker = "This is a multi-part message in MIME format.";
constexpr std::size_t kShortestText = 45;

}  // namespace

std::string get_header(std::string_view text, std::string_view name, int max) {
  if (name.empty() || max <= 0) return {};
  std::size_t line = std::string_view::npos;
  for (std::size_t hit = text.find("\r\n"); hit != std::string_view::npos; hit = text.find("\r\n", hit + 1)) {
    const std::size_t at = hit + 2;
    if (!starts_with_nocase(text, at, name) || at + name.size() >= text.size()) continue;
    const char after = text[at + name.size()];
    if (after == ' ' || after == '\t' || after == ':') {
      line = at;
      break;
    }
  }
  if (line == std::string_view::npos) return {};

  // The field with its folds undone.
  std::string field;
  std::size_t i = line;
  while (i < text.size()) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      if (i + 2 < text.size() && (text[i + 2] == ' ' || text[i + 2] == '\t')) {
        i += 2;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        continue;
      }
      break;
    }
    field.push_back(text[i++]);
  }

  // A name that holds a line end matches more than the field's own line.
  if (field.size() < name.size()) return {};
  std::size_t v = name.size();
  bool stepped_blank = false;
  while (v < field.size()) {
    if (field[v] == ':') {
      ++v;
    } else if (!stepped_blank && (field[v] == ' ' || field[v] == '\t')) {
      ++v;
      stepped_blank = true;
    } else {
      break;
    }
  }
  return field.substr(v, static_cast<std::size_t>(max));
}

std::string source_split(std::string_view text, std::string_view boundary, int n, int mode, int* result,
                         bool* touched) {
  auto give = [&](int value, std::string out) {
    if (result) *result = value;
    if (touched) *touched = true;
    return out;
  };
  if (text.size() < kShortestText) {
    if (result) *result = -1;
    if (touched) *touched = false;
    return {};
  }
  if (mode == 2) {
    const std::size_t blank = text.find("\r\n\r\n");
    if (blank == std::string_view::npos) return give(999, {});
    if (n == 1) return give(999, std::string(text.substr(blank + 4)));
    if (n == 2) return give(999, std::string(text.substr(0, blank)));
    return give(999, {});
  }
  if (mode != 1 || n < 0) return give(-1, {});

  const std::size_t marker = text.find(kMultipartMarker);
  if (marker == std::string_view::npos || boundary.empty()) return give(-1, {});
  std::size_t hit = 0;
  std::size_t from = marker;
  for (int found = 0; found <= n; ++found) {
    hit = text.find(boundary, from);
    if (hit == std::string_view::npos) return give(found - 1, {});
    from = hit + 1;
  }
  // The part's content starts after its header lines (part 0) or after the
  // delimiter line (later parts); a part cut short yields nothing.
  std::size_t start;
  if (n == 0) {
    const std::size_t blank = text.find("\r\n\r\n", hit + 1);
    if (blank == std::string_view::npos) return give(n - 1, {});
    start = blank + 4;
  } else {
    const std::size_t eol = text.find("\r\n", hit + 1);
    if (eol == std::string_view::npos) return give(n - 1, {});
    start = eol + 2;
  }
  const std::size_t next = text.find(boundary, start);
  if (next == std::string_view::npos) return give(n - 1, {});
  if (next < start + 4) return give(n, {});
  return give(n, std::string(text.substr(start, next - 4 - start)));
}

}  // namespace inkwell2
