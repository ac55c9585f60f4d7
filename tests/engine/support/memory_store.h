// Session file access kept in memory, with a log of reads and writes, for the
// session tests.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/engine/pop3_session.h"

namespace tidewell::testing {

class MemoryStore : public SessionStore {
 public:
  bool Read(const std::string& path, std::string& out) override {
    reads.push_back(path);
    auto it = files.find(path);
    if (it == files.end()) return false;
    out = it->second;
    return true;
  }
  bool Write(const std::string& path, std::string_view bytes) override {
    writes.push_back(path);
    files[path] = std::string(bytes);
    return true;
  }
  int ReadsOf(const std::string& path) const {
    int n = 0;
    for (const auto& p : reads) n += p == path;
    return n;
  }
  int WritesOf(const std::string& path) const {
    int n = 0;
    for (const auto& p : writes) n += p == path;
    return n;
  }

  std::map<std::string, std::string> files;
  std::vector<std::string> reads, writes;
};

}  // namespace tidewell::testing
