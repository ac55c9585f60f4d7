// Feeds the list session's delete run (and, by the first byte, a view
// session) arbitrary server chunks, continues and errors. Besides the
// sanitizers it checks that DELE is only ever sent for a number whose header,
// received in that connection as the reply to TOP n 0, is the header of the
// row being deleted (a UIDL listing alone proves nothing: the X-UIDL of a
// mail is written by its sender); and that no login command goes out before
// a connection that wants TLS was reported secured.
//
// With OAuth (bit 6 of the first byte; bit 7: no token yet): no USER, PASS
// or APOP at all; nothing whatever without TLS; AUTH only on a secured
// connection; the token never as it is, its Base64 responses only in AUTH
// or as the line after "+"; at most one token request per connection,
// answered by the input with a token or a failure.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "common/oauth/sasl.h"
#include "common/pop3_text.h"
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

MailRow Row(const char* account, const char* number, const char* uidl) {
  MailRow row;
  row.columns[kColName] = account;
  row.columns[kColNumber] = number;
  row.columns[kColUidl] = uidl;
  row.columns[kColHash] = std::string(32, 'a');
  return row;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  NullCodec codec;
  NullCache cache;
  // The header of a row is the one naming its Number column.
  auto header_of = [](std::string_view reply, const MailRow& row) {
    return reply.find("X-Row: " + row.columns[kColNumber] + "\r\n") != std::string_view::npos;
  };
  // The replies to "TOP n 0" of the running connection, as received: what
  // came after the command up to the first terminator.
  std::map<int, std::string> tops;
  int answering = 0;  // number whose TOP reply is arriving, 0 = none
  ListSession session(codec, cache, header_of);

  const bool view = data[0] & 1;
  ListLogin login;
  login.user = "u";
  login.password = "p";
  login.apop = data[0] & 2;
  // Bits 3-4: the account's TLS mode (3 is STLS again); bit 5: a TLS on
  // connect handshake that is reported before the greeting.
  const int tls_bits = (data[0] >> 3) & 3;
  login.tls = tls_bits == 2 ? ListTls::kOnConnect : tls_bits == 0 ? ListTls::kNone : ListTls::kStls;
  const bool secure_early = data[0] & 32;
  bool secured = false;
  login.oauth = data[0] & 64;
  login.access_token = (data[0] & 128) ? "" : "tok-first";
  login.server = "h";
  std::vector<std::string> tokens, responses;
  for (const std::string& token : {std::string("tok-first"), std::string("tok-fresh")}) {
    tokens.push_back(token);
    responses.push_back(oauth::XOAuth2InitialResponse(login.user, token));
    responses.push_back(oauth::OAuthBearerInitialResponse(login.user, login.server, login.port, token));
  }
  int refreshes = 0;  // token requests of the running connection
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
          if (login.tls != ListTls::kNone && !secured &&
              (t.rfind("USER ", 0) == 0 || t.rfind("PASS ", 0) == 0 || t.rfind("APOP ", 0) == 0)) {
            std::fprintf(stderr, "login before the connection was secured: %s", t.c_str());
            std::abort();
          }
          if (login.oauth) {
            if (t.rfind("USER ", 0) == 0 || t.rfind("PASS ", 0) == 0 || t.rfind("APOP ", 0) == 0 ||
                login.tls == ListTls::kNone) {
              std::fprintf(stderr, "OAuth account sent %s", t.c_str());
              std::abort();
            }
            if (t.rfind("AUTH ", 0) == 0 && !secured) std::abort();
          }
          for (const std::string& token : tokens)
            if (t.find(token) != std::string::npos) std::abort();
          for (const std::string& r : responses)
            if (t.find(r) != std::string::npos && (!login.oauth || !secured || (t.rfind("AUTH ", 0) != 0 && t != r + "\r\n")))
              std::abort();
          answering = 0;
          if (!view && t.rfind("TOP ", 0) == 0 && t.find(" 0\r\n") != std::string::npos) {
            answering = std::atoi(t.c_str() + 4);
            tops[answering].clear();
          }
          if (t.rfind("DELE ", 0) == 0) {
            const int n = std::atoi(t.c_str() + 5);
            const MailRow& row = session.rows()[session.position()];
            const auto top = tops.find(n);
            std::string reply = top == tops.end() ? std::string() : top->second;
            const std::size_t end = reply.find("\r\n.\r\n");
            const bool proven = n > 0 && end != std::string::npos && !IsNegativeReply(reply) &&
                                header_of(std::string_view(reply).substr(0, end + 5), row);
            if (!proven) {
              std::fprintf(stderr, "DELE %d for row %s without its header; TOP reply [", n,
                           row.columns[kColNumber].c_str());
              for (char c : reply) std::fprintf(stderr, c >= 0x20 && c < 0x7f ? "%c" : "\\x%02x", c & 0xff);
              std::fprintf(stderr, "]\n");
              std::abort();
            }
          }
          break;
        }
        case ListAction::Kind::kPostContinue:
        case ListAction::Kind::kPostError:
        case ListAction::Kind::kAccountDone:
        case ListAction::Kind::kStartTls: posted.push_back(a); break;
        case ListAction::Kind::kRefreshToken:
          if (!login.oauth || !secured || refreshes++ != 0) std::abort();
          posted.push_back(a);
          break;
        default: break;
      }
    }
  };

  if (login.tls == ListTls::kOnConnect && secure_early) {
    secured = true;
    run(session.OnSecured());
  }

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
        else if (a.kind == ListAction::Kind::kStartTls) {
          secured = true;  // the handshake succeeded
          run(session.OnSecured());
        }
        else if (a.kind == ListAction::Kind::kRefreshToken) {
          // The driver's answer: a fresh token, or a failure (the next byte).
          const std::uint8_t how = i < size ? data[i] : 0;
          run((how & 1) ? session.OnToken("tok-fresh") : session.OnTokenFailure(how >> 1));
        }
        else {
          std::string account;
          if (session.NextAccount(account)) {
            session.BeginAccount(login);
            tops.clear();
            answering = 0;
            secured = false;
            refreshes = 0;
            if (login.tls == ListTls::kOnConnect && secure_early) {
              secured = true;
              run(session.OnSecured());
            }
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
    if (answering > 0) tops[answering] += chunk;
    run(session.OnReceive(chunk));
  }
  session.Disconnect();
  return 0;
}
