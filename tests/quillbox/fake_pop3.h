// A POP3 mailbox in memory for the list session tests: it answers the
// commands the session sends, deletes only at QUIT (as RFC 1939 says) and can
// be told to refuse commands or to cut its replies into small chunks.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/oauth/base64.h"
#include "inkwell2/codec.h"

namespace tidewell::testing {

struct FakeMail {
  std::string header;  // header lines, each ending in CRLF
  std::string body;    // body lines, each ending in CRLF
  std::string uidl;
};

class FakePop3 {
 public:
  std::vector<FakeMail> mails;
  std::string greeting = "+OK ready <1896.697170952@dbc.mtview.ca.us>\r\n";
  std::string password = "secret";
  bool uidl_supported = true;
  std::map<std::string, std::string> override_reply;  // verb -> reply
  std::size_t chunk = 0;                              // 0: one chunk per reply
  std::vector<std::string> log;                       // commands received
  std::set<int> removed;                              // numbers deleted at QUIT
  // OAuth: the reply to CAPA, the access tokens AUTH XOAUTH2 / OAUTHBEARER
  // takes (with the response in the command or after "+"), and the token of
  // every AUTH in order.
  std::string capa = "+OK\r\nUIDL\r\nSASL PLAIN XOAUTH2\r\n.\r\n";
  std::set<std::string> tokens;
  std::vector<std::string> auth_tokens;

  // TOP n lines reply of mail n (1-based), as the server sends it.
  std::string Top(int n, int lines) const {
    const FakeMail& m = mails[n - 1];
    std::string reply = "+OK\r\n" + m.header + "\r\n";
    std::size_t pos = 0;
    for (int i = 0; i < lines && pos < m.body.size(); ++i) {
      const std::size_t e = m.body.find("\r\n", pos);
      reply += m.body.substr(pos, e + 2 - pos);
      pos = e + 2;
    }
    return reply + ".\r\n";
  }

  // The account mail file the tray program would have written.
  std::string AccountFile() const {
    std::string file;
    for (std::size_t i = 0; i < mails.size(); ++i) {
      const FakeMail& m = mails[i];
      file += "+OK " + std::to_string(i + 1) + " " + std::to_string(m.header.size() + m.body.size() + 2) +
              "\r\n" + Top(static_cast<int>(i) + 1, 0);
    }
    return file;
  }

  std::vector<std::string> Handle(const std::string& command) {
    log.push_back(command);
    const std::string line = command.substr(0, command.size() - 2);
    if (awaiting_response_) {
      awaiting_response_ = false;
      return Cut(SaslResponse(line));
    }
    const std::string verb = line.substr(0, line.find(' '));
    if (override_reply.count(verb)) return Cut(override_reply[verb]);
    int a = 0, b = -1;
    std::sscanf(line.c_str(), "%*s %d %d", &a, &b);
    const bool valid = a >= 1 && a <= static_cast<int>(mails.size()) && !marked_.count(a);
    if (verb == "CAPA") return Cut(capa);
    if (verb == "AUTH") {
      const std::size_t blank = line.find(' ', 5);
      if (blank != std::string::npos) return Cut(SaslResponse(line.substr(blank + 1)));
      awaiting_response_ = true;
      return Cut("+ \r\n");
    }
    if (verb == "USER") return Cut("+OK\r\n");
    if (verb == "PASS") return Cut(line == "PASS " + password ? "+OK\r\n" : "-ERR bad\r\n");
    if (verb == "APOP") {
      const std::string stamp = greeting.substr(greeting.find('<'), greeting.find('>') - greeting.find('<') + 1);
      const std::string want = inkwell2::md5_hex(stamp + password);
      return Cut(line.substr(line.rfind(' ') + 1) == want ? "+OK\r\n" : "-ERR bad\r\n");
    }
    if (verb == "STAT") {
      int count = 0;
      for (std::size_t i = 1; i <= mails.size(); ++i) count += marked_.count(static_cast<int>(i)) ? 0 : 1;
      return Cut("+OK " + std::to_string(count) + " 0\r\n");
    }
    if (verb == "TOP") return Cut(valid ? Top(a, b) : "-ERR no such message\r\n");
    if (verb == "RETR") return Cut(valid ? Top(a, 1 << 20) : "-ERR no such message\r\n");
    if (verb == "UIDL") {
      if (!uidl_supported) return Cut("-ERR unknown command\r\n");
      std::string reply = "+OK\r\n";
      for (std::size_t i = 1; i <= mails.size(); ++i)
        if (!marked_.count(static_cast<int>(i))) reply += std::to_string(i) + " " + mails[i - 1].uidl + "\r\n";
      return Cut(reply + ".\r\n");
    }
    if (verb == "DELE") {
      if (!valid) return Cut("-ERR no such message\r\n");
      marked_.insert(a);
      return Cut("+OK\r\n");
    }
    if (verb == "RSET") {
      marked_.clear();
      return Cut("+OK\r\n");
    }
    if (verb == "QUIT") {
      removed.insert(marked_.begin(), marked_.end());
      marked_.clear();
      return Cut("+OK bye\r\n");
    }
    return Cut("-ERR\r\n");
  }

  // Mails left once the deleted ones are gone (as the next session sees them).
  void Expunge() {
    std::vector<FakeMail> left;
    for (std::size_t i = 0; i < mails.size(); ++i)
      if (!removed.count(static_cast<int>(i) + 1)) left.push_back(mails[i]);
    mails = left;
    removed.clear();
  }

  std::vector<std::string> Cut(const std::string& reply) const {
    if (chunk == 0) return {reply};
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < reply.size(); i += chunk) parts.push_back(reply.substr(i, chunk));
    return parts;
  }

 private:
  // The token of an XOAUTH2 or OAUTHBEARER response: after "auth=Bearer ".
  std::string SaslResponse(const std::string& base64) {
    std::string raw;
    if (!oauth::Base64Decode(base64, raw)) return "-ERR bad base64\r\n";
    const std::size_t at = raw.find("auth=Bearer ");
    if (at == std::string::npos) return "-ERR no token\r\n";
    const std::size_t from = at + 12;
    const std::string token = raw.substr(from, raw.find('\x01', from) - from);
    auth_tokens.push_back(token);
    return tokens.count(token) ? "+OK signed in\r\n" : "-ERR [AUTH] invalid token\r\n";
  }

  bool awaiting_response_ = false;
  std::set<int> marked_;
};

inline FakeMail Mail(const std::string& subject, const std::string& uidl = "", const std::string& extra = "") {
  FakeMail m;
  m.header = "Subject: " + subject + "\r\nFrom: sender@example.jp\r\nDate: Wed, 3 Jan 2007 03:46:20 +0900\r\n" +
             "Message-ID: <" + subject + "@example.jp>\r\n" + extra;
  if (!uidl.empty()) m.header += "X-UIDL: " + uidl + "\r\n";
  m.uidl = uidl.empty() ? "srv-" + subject : uidl;
  m.body = "line one of " + subject + "\r\nline two\r\n";
  return m;
}

}  // namespace tidewell::testing
