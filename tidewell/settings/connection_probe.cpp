#include "tidewell/settings/connection_probe.h"

#include <cstdio>
#include <utility>

#include "common/pop3_text.h"
#include "tidewell/settings/account.h"
#include "tidewell/settings/sheet_rules.h"

namespace tidewell {
namespace {

constexpr std::size_t kGreetingShown = 200;

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// Reads "%*s %lld %lld" of a STAT reply; false when either number is missing.
bool ReadStat(std::string_view reply, long long& count, long long& size) {
  std::string text(reply.substr(0, reply.find("\r\n")));
  long long a = -1, b = -1;
  if (std::sscanf(text.c_str(), "%*s %lld %lld", &a, &b) != 2 || a < 0 || b < 0) return false;
  count = a;
  size = b;
  return true;
}

}  // namespace

ConnectionProbe::ConnectionProbe(ProbeAccount account, Md5Function md5)
    : account_(std::move(account)), md5_(std::move(md5)) {
  if (!account_.oauth) return;
  int failure = account_.signin_failure;
  if (account_.tls_mode == kTlsNone) failure = kSignInNotSecured;
  if (failure == 0 && account_.access_token.empty()) failure = kSignInNeeded;
  if (failure == 0) return;
  refused_at_start_ = true;
  Fail(kSignInErrorPhase, failure);
}

ProbeStep ConnectionProbe::Fail(int phase, int code) {
  ProbeStep step;
  error_ = CheckErrorMessage(phase, code);
  state_ = State::kDone;
  step.done = true;
  return step;
}

ProbeStep ConnectionProbe::OnError(int phase, int code) {
  ProbeStep step;
  if (state_ == State::kDone) {
    step.done = true;
    return step;
  }
  if (state_ == State::kQuit) {  // the server closed after QUIT: the test is complete
    state_ = State::kDone;
    step.done = true;
    return step;
  }
  return Fail(phase, code);
}

ProbeStep ConnectionProbe::OnSecured(const ProbeCertificate& certificate) {
  ProbeStep step;
  secured_ = true;
  certificate_ = certificate;
  if (state_ == State::kHandshake) {
    // Capabilities may change once the connection is secured.
    capa_answered_ = false;
    state_ = State::kCapa;
    step.send = "CAPA\r\n";
  }
  return step;
}

ProbeStep ConnectionProbe::OnReceive(std::string_view text) {
  ProbeStep step;
  if (state_ == State::kDone || state_ == State::kHandshake) {
    // Text between STLS's +OK and the handshake was refused already; after
    // the end nothing more is read.
    step.done = state_ == State::kDone;
    return step;
  }
  buffer_.append(text);
  while (state_ != State::kDone) {
    std::size_t end;
    if (state_ == State::kCapa && !IsNegativeReply(buffer_)) {
      const std::size_t t = buffer_.find(kPop3Terminator);
      end = t == std::string::npos ? t : t + kPop3Terminator.size();
    } else {
      const std::size_t t = buffer_.find("\r\n");
      end = t == std::string::npos ? t : t + 2;
    }
    if (end == std::string::npos) {
      if (buffer_.size() > kMaxReply) return Fail(probe_error::kSessionPhase, probe_error::kTooLarge);
      return step;
    }
    const std::string reply = buffer_.substr(0, end);
    buffer_.erase(0, end);
    ProbeStep next = Reply(reply);
    step.send += next.send;
    step.start_tls = step.start_tls || next.start_tls;
    step.done = next.done;
    if (next.start_tls) {
      // Whatever came with the +OK of STLS was not protected: refuse it.
      if (!buffer_.empty()) return Fail(probe_error::kTlsPhase, probe_error::kTlsInjected);
      return step;
    }
  }
  return step;
}

ProbeStep ConnectionProbe::Login() {
  ProbeStep step;
  if (account_.oauth) {
    // Never a token over a connection that is not secured.
    if (!secured_) return Fail(kSignInErrorPhase, kSignInNotSecured);
    const oauth::SaslMechanism mechanism = oauth::ChooseSaslMechanism(capa_sasl_);
    std::string response = mechanism == oauth::SaslMechanism::kOAuthBearer
                               ? oauth::OAuthBearerInitialResponse(account_.user, account_.server, account_.port,
                                                                   account_.access_token)
                               : oauth::XOAuth2InitialResponse(account_.user, account_.access_token);
    // The initial response goes with the command when the line stays within
    // 255 octets (SaslLogin sends it after "+" otherwise).
    sasl_login_ = std::make_unique<oauth::SaslLogin>(mechanism, std::move(response), true);
    mechanism_ = oauth::SaslMechanismName(mechanism);
    step.send = sasl_login_->First();
    state_ = State::kAuth;
    return step;
  }
  if (account_.apop) {
    const std::string stamp = ApopTimestamp(greeting_ + "\r\n");
    if (stamp.empty() || !md5_) return Fail(probe_error::kLoginPhase, 2);
    step.send = "APOP " + account_.user + " " + md5_(stamp + account_.password) + "\r\n";
    state_ = State::kApop;
  } else {
    step.send = "USER " + account_.user + "\r\n";
    state_ = State::kUser;
  }
  return step;
}

void ConnectionProbe::ReadCapabilities(std::string_view reply) {
  capa_answered_ = true;
  uidl_ = pipelining_ = stls_ = have_sasl_ = false;
  sasl_.clear();
  capa_sasl_ = oauth::CapaSasl();
  std::size_t at = reply.find("\r\n");
  while (at != std::string_view::npos && at + 2 < reply.size()) {
    const std::size_t next = reply.find("\r\n", at + 2);
    if (next == std::string_view::npos) break;
    const std::string line = std::string(reply.substr(at + 2, next - at - 2));
    oauth::ReadCapaLine(line, capa_sasl_);
    const std::string upper = UpperAscii(line);
    const std::string word = upper.substr(0, upper.find(' '));
    if (word == "UIDL") uidl_ = true;
    if (word == "PIPELINING") pipelining_ = true;
    if (word == "STLS") stls_ = true;
    if (word == "SASL") {
      have_sasl_ = true;
      sasl_ = line.size() > 5 ? line.substr(5) : std::string();
      if (sasl_.size() > 100) sasl_.resize(100);
    }
    at = next;
  }
}

ProbeStep ConnectionProbe::Reply(std::string_view reply) {
  ProbeStep step;
  const bool refused = IsNegativeReply(reply);
  switch (state_) {
    case State::kGreeting:
      if (refused) return Fail(probe_error::kLoginPhase, 1);
      greeting_ = std::string(reply.substr(0, reply.size() - 2));
      if (greeting_.size() > kGreetingShown) greeting_.resize(kGreetingShown);
      state_ = State::kCapa;
      step.send = "CAPA\r\n";
      return step;
    case State::kCapa:
      if (refused) {
        capa_answered_ = false;
      } else {
        ReadCapabilities(reply);
      }
      if (account_.tls_mode == kTlsStls && !secured_) {
        state_ = State::kStls;
        step.send = "STLS\r\n";
        return step;
      }
      return Login();
    case State::kStls:
      if (refused) return Fail(probe_error::kLoginPhase, probe_error::kStlsRefused);
      state_ = State::kHandshake;
      step.start_tls = true;
      return step;
    case State::kUser:
      if (refused) return Fail(probe_error::kLoginPhase, 2);
      state_ = State::kPass;
      step.send = "PASS " + account_.password + "\r\n";
      return step;
    case State::kPass:
    case State::kApop:
      if (refused) return Fail(state_ == State::kPass ? probe_error::kLoginPhase : probe_error::kSessionPhase, 3);
      state_ = State::kStat;
      step.send = "STAT\r\n";
      return step;
    case State::kAuth: {
      std::string send;
      switch (sasl_login_->OnLine(reply, send)) {
        case oauth::SaslLogin::Result::kPending:
          step.send = send;
          return step;
        case oauth::SaslLogin::Result::kLoggedIn:
          sasl_login_.reset();
          state_ = State::kStat;
          step.send = "STAT\r\n";
          return step;
        default:
          // Refused, or an answer that fits no step of the exchange.
          if (!send.empty()) step.send = send;
          sasl_login_.reset();
          {
            ProbeStep fail = Fail(kSignInErrorPhase, kSignInTokenRefused);
            fail.send = step.send;
            return fail;
          }
      }
    }
    case State::kStat:
      if (refused || !ReadStat(reply, mail_count_, mail_size_)) return Fail(probe_error::kSessionPhase, 4);
      state_ = State::kQuit;
      step.send = "QUIT\r\n";
      return step;
    case State::kQuit:
      state_ = State::kDone;
      step.done = true;
      return step;
    case State::kHandshake:
    case State::kDone:
      break;
  }
  return step;
}

std::string ConnectionProbe::Report() const {
  std::string r = succeeded() ? "接続テストに成功しました。\r\n" : "接続テストに失敗しました。\r\n";
  if (!error_.empty()) r += error_ + "\r\n";
  r += "\r\n";
  const int mode = account_.tls_mode >= 0 && account_.tls_mode < kSecurityCount ? account_.tls_mode : kTlsOnConnect;
  r += std::string("接続の保護: ") + kSecurityNames[mode];
  if (mode != kTlsNone) r += secured_ ? "（暗号化済み）" : "（暗号化されていません）";
  r += "\r\n";
  if (secured_) {
    r += "証明書: " + certificate_.subject + "\r\n";
    r += "有効期限: " + certificate_.not_after + "\r\n";
  }
  if (account_.oauth) {
    r += "認証: OAuth 2.0";
    if (!mechanism_.empty()) r += " (" + mechanism_ + ")";
    r += "\r\n";
    if (refused_at_start_ && account_.tls_mode == kTlsNone)
      r += "アクセストークンは暗号化されていない接続では送りません。\r\n";
  }
  if (!greeting_.empty()) r += "応答: " + greeting_ + "\r\n";
  if (capa_answered_) {
    auto yes = [](bool on) { return on ? "あり" : "なし"; };
    r += std::string("機能: UIDL ") + yes(uidl_) + ", PIPELINING " + yes(pipelining_) + ", STLS " + yes(stls_) +
         ", SASL " + (have_sasl_ ? (sasl_.empty() ? std::string("あり") : sasl_) : std::string("なし")) + "\r\n";
  } else if (!greeting_.empty()) {
    r += "機能: CAPA に応答なし\r\n";
  }
  if (mail_count_ >= 0)
    r += "メール: " + std::to_string(mail_count_) + "通、" + std::to_string(mail_size_) + "バイト\r\n";
  return r;
}

}  // namespace tidewell
