// Feeds the list session's delete run (and, by the first byte, a view
// session) arbitrary server chunks, continues and errors. Besides the
// sanitizers it checks that DELE is only ever sent for a number that was
// proven to be the row's mail: a header the matcher accepted for that very
// number, or a UIDL listing line "n uid" received since UIDL was sent.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "quillbox/list_session.h"

namespace {

using namespace tidewell;

class NullCodec : public ListCodec {
 public:
  bool CodeConv(const std::string& src, int, std::string& out) override {
    out = src;
    return true;
  }
  bool Base64Coding(const std::string& src, int, std::string& out) override {
    out = src;
    return true;
  }
  bool QuotedCoding(const std::string& src, int, std::string& out) override {
    out = src;
    return true;
  }
  std::string Md5Hex(const std::string& text) override { return text.empty() ? "" : std::string(32, 'a'); }
};

class NullCache : public CacheWriter {
 public:
  bool Begin(const std::string&) override { return open_ = true; }
  bool Append(std::string_view bytes) override {
    size_ += bytes.size();
    return open_;
  }
  bool Commit() override {
    open_ = false;
    return true;
  }
  void Discard() override { open_ = false; }

 private:
  bool open_ = false;
  std::size_t size_ = 0;
};

// Numbers the received UIDL listing gives to uid: lines "n uid" after the
// status line and before the "." line.
bool ListingNames(const std::string& listing, int number, const std::string& uid) {
  std::size_t pos = listing.find('\n');
  while (pos != std::string::npos && pos + 1 < listing.size()) {
    const std::size_t next = listing.find('\n', pos + 1);
    std::string line = listing.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
    if (next == std::string::npos) break;  // incomplete line
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == ".") break;
    // "n uid": the number in digits (leading zeros allowed), one or more
    // blanks, the id, trailing blanks.
    const std::size_t blank = line.find(' ');
    if (blank != std::string::npos && blank > 0 && blank <= 9 &&
        line.find_first_not_of("0123456789") == blank && std::atoi(line.c_str()) == number) {
      std::string rest = line.substr(blank);
      rest.erase(0, rest.find_first_not_of(" \t"));
      rest.erase(rest.find_last_not_of(" \t") + 1);
      if (rest == uid) return true;
    }
    pos = next;
  }
  return false;
}

MailRow Row(const char* account, const char* number, const char* uidl) {
  MailRow row;
  row.columns[kColName] = account;
  row.columns[kColNumber] = number;
  row.columns[kColUidl] = uidl;
  return row;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  NullCodec codec;
  NullCache cache;
  int top_number = 0;         // number of the TOP being answered
  int matched_number = -1;    // number whose header the matcher accepted last
  bool uidl_sent = false;
  std::string listing;        // text received since UIDL was sent
  const std::string uid = "u-1";
  ListSession session(codec, cache, [&](std::string_view reply, const MailRow&) {
    const bool yes = reply.find("X-Match: yes") != std::string_view::npos;
    matched_number = yes ? top_number : -1;
    return yes;
  });

  const bool view = data[0] & 1;
  ListLogin login;
  login.user = "u";
  login.password = "p";
  login.apop = data[0] & 2;
  if (view) {
    session.StartView(Row("A", "2", ""), login, "cache", (data[0] & 4) ? -1 : 10);
  } else {
    session.StartDeleteRun({Row("A", "2", "u-1"), Row("A", "3", ""), Row("B", "1", "")}, data[0] & 4);
    std::string account;
    if (session.NextAccount(account)) session.BeginAccount(login);
  }
  ++data;
  --size;

  std::deque<ListAction> posted;
  auto run = [&](const ListActions& actions) {
    for (const ListAction& a : actions) {
      switch (a.kind) {
        case ListAction::Kind::kSend: {
          const std::string& t = a.text;
          if (t.rfind("TOP ", 0) == 0) top_number = std::atoi(t.c_str() + 4);
          if (t == "UIDL\r\n") {
            uidl_sent = true;
            listing.clear();
          }
          if (t.rfind("DELE ", 0) == 0) {
            const int n = std::atoi(t.c_str() + 5);
            const bool by_header = n == matched_number;
            const bool by_uidl = uidl_sent && ListingNames(listing, n, uid);
            if (n <= 0 || (!by_header && !by_uidl)) {
              std::fprintf(stderr, "DELE %d without proof; matched %d; listing [", n, matched_number);
              for (char c : listing) std::fprintf(stderr, c >= 0x20 && c < 0x7f ? "%c" : "\\x%02x", c & 0xff);
              std::fprintf(stderr, "]\n");
              std::abort();
            }
            matched_number = -1;
          }
          if (t.rfind("TOP ", 0) == 0 || t == "STAT\r\n") uidl_sent = false;
          break;
        }
        case ListAction::Kind::kPostContinue:
        case ListAction::Kind::kPostError:
        case ListAction::Kind::kAccountDone: posted.push_back(a); break;
        default: break;
      }
    }
  };

  // Chunks: a length byte (1..255) and that many bytes; 0 is a posted
  // message's turn, 0xFF a broken connection.
  std::size_t i = 0;
  int steps = 0;
  while (i < size && steps++ < 10000) {
    const std::uint8_t len = data[i++];
    if (len == 0 || posted.empty() == false) {
      if (!posted.empty()) {
        const ListAction a = posted.front();
        posted.pop_front();
        if (a.kind == ListAction::Kind::kPostContinue) run(session.OnContinue());
        else if (a.kind == ListAction::Kind::kPostError) run(session.OnError(a.phase, a.detail));
        else {
          std::string account;
          if (session.NextAccount(account)) {
            session.BeginAccount(login);
            uidl_sent = false;
            matched_number = -1;
          } else {
            session.EndRun();
          }
        }
      }
      if (len == 0) continue;
    }
    if (len == 0xFF) {
      run(session.OnError(3, 9));
      continue;
    }
    const std::size_t n = len < size - i ? len : size - i;
    const std::string chunk(reinterpret_cast<const char*>(data + i), n);
    i += n;
    if (uidl_sent) listing += chunk;
    run(session.OnReceive(chunk));
  }
  session.Disconnect();
  return 0;
}
