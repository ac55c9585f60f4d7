#include "common/oauth/pop3_signin.h"

#include <utility>

namespace tidewell {
namespace oauth {

namespace {

constexpr std::string_view kEnd = "\r\n.\r\n";

}  // namespace

Pop3SignIn::Pop3SignIn(std::string user, std::string host, int port, std::string token, bool token_fresh)
    : user_(std::move(user)), host_(std::move(host)), port_(port), token_(std::move(token)), token_fresh_(token_fresh) {}

std::string Pop3SignIn::Begin() {
  phase_ = Phase::kCapa;
  capa_ = CapaSasl{};
  reply_.clear();
  return "CAPA\r\n";
}

Pop3SignIn::Step Pop3SignIn::End(Outcome outcome) {
  phase_ = Phase::kDone;
  std::string().swap(reply_);
  std::string().swap(token_);
  sasl_.reset();
  Step step;
  step.outcome = outcome;
  return step;
}

Pop3SignIn::Step Pop3SignIn::AskForToken() {
  token_asked_ = true;
  std::string().swap(token_);
  sasl_.reset();
  reply_.clear();
  phase_ = Phase::kToken;
  Step step;
  step.outcome = Outcome::kNeedToken;
  return step;
}

Pop3SignIn::Step Pop3SignIn::StartAuth() {
  if (token_.empty()) return token_asked_ ? End(Outcome::kNoToken) : AskForToken();
  const SaslMechanism mechanism = ChooseSaslMechanism(capa_);
  std::string response = mechanism == SaslMechanism::kOAuthBearer
                             ? OAuthBearerInitialResponse(user_, host_, port_, token_)
                             : XOAuth2InitialResponse(user_, token_);
  sasl_.emplace(mechanism, std::move(response), /*sasl_ir=*/true);
  reply_.clear();
  phase_ = Phase::kAuth;
  Step step;
  step.send.push_back(sasl_->First());
  return step;
}

Pop3SignIn::Step Pop3SignIn::OnToken(std::string token) {
  if (phase_ != Phase::kToken) return {};
  if (token.empty()) return End(Outcome::kNoToken);
  token_ = std::move(token);
  token_fresh_ = true;
  return StartAuth();
}

Pop3SignIn::Step Pop3SignIn::OnText(std::string_view chunk) {
  if (phase_ != Phase::kCapa && phase_ != Phase::kAuth) return {};
  if (reply_.size() + chunk.size() > kMaxReply) return End(Outcome::kTooLarge);
  reply_.append(chunk);
  if (phase_ == Phase::kCapa) {
    if (!reply_.empty() && reply_[0] == '-') {
      // No CAPA: XOAUTH2, which is all such a server could take.
      if (reply_.find("\r\n") == std::string::npos) return {};
    } else {
      const std::size_t end = reply_.find(kEnd);
      if (end == std::string::npos) return {};
      std::string_view lines = std::string_view(reply_).substr(0, end + 2);
      lines.remove_prefix(lines.find("\r\n") + 2);  // the status line
      while (!lines.empty()) {
        const std::size_t eol = lines.find("\r\n");
        ReadCapaLine(lines.substr(0, eol), capa_);
        lines.remove_prefix(eol + 2);
      }
    }
    return StartAuth();
  }
  Step step;
  std::size_t at = 0;
  for (;;) {
    const std::size_t eol = reply_.find("\r\n", at);
    if (eol == std::string::npos) break;
    std::string send;
    const SaslLogin::Result result = sasl_->OnLine(std::string_view(reply_).substr(at, eol - at), send);
    at = eol + 2;
    switch (result) {
      case SaslLogin::Result::kPending:
        if (!send.empty()) step.send.push_back(std::move(send));
        continue;
      case SaslLogin::Result::kLoggedIn:
        // What else came is no reply to anything the session asked.
        return End(Outcome::kLoggedIn);
      case SaslLogin::Result::kRefused: {
        const bool mechanism_named = !capa_.announced || capa_.xoauth2 || capa_.oauthbearer;
        if (sasl_->refused_token() && mechanism_named && !token_fresh_ && !token_asked_) return AskForToken();
        return End(Outcome::kRefused);
      }
      case SaslLogin::Result::kProtocol:
        return End(Outcome::kRefused);
    }
  }
  reply_.erase(0, at);
  return step;
}

}  // namespace oauth
}  // namespace tidewell
