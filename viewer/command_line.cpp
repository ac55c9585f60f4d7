#include "viewer/command_line.h"

namespace tidewell {

std::string PathFromCommandLine(std::string_view line) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!line.empty() && blank(line.front())) line.remove_prefix(1);
  while (!line.empty() && blank(line.back())) line.remove_suffix(1);
  if (!line.empty() && line.front() == '"') {
    line.remove_prefix(1);
    if (!line.empty() && line.back() == '"') line.remove_suffix(1);
  }
  return std::string(line);
}

}  // namespace tidewell
