#include "common/oauth/sasl.h"

#include <map>

#include "common/oauth/base64.h"
#include "common/oauth/json_object.h"

namespace tidewell {
namespace oauth {
namespace {

// RFC 5801 saslname: ',' and '=' escaped.
std::string SaslName(std::string_view user) {
  std::string out;
  for (char c : user) {
    if (c == ',') out += "=2C";
    else if (c == '=') out += "=3D";
    else out += c;
  }
  return out;
}

std::string_view WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

// "+OK", "-ERR" (alone or followed by a space), "+" (alone or followed by a
// space): the reply's status word, case as RFC 1939 writes it.
bool StartsWord(std::string_view line, std::string_view word) {
  return line.substr(0, word.size()) == word && (line.size() == word.size() || line[word.size()] == ' ');
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace

void ReadCapaLine(std::string_view line, CapaSasl& capa) {
  const std::string up = Upper(WithoutLineEnd(line));
  if (up.rfind("SASL", 0) != 0 || (up.size() > 4 && up[4] != ' ' && up[4] != '\t')) return;
  capa.announced = true;
  std::size_t at = 4;
  while (at < up.size()) {
    while (at < up.size() && (up[at] == ' ' || up[at] == '\t')) ++at;
    std::size_t end = at;
    while (end < up.size() && up[end] != ' ' && up[end] != '\t') ++end;
    const std::string_view name(up.data() + at, end - at);
    if (name == "XOAUTH2") capa.xoauth2 = true;
    if (name == "OAUTHBEARER") capa.oauthbearer = true;
    at = end;
  }
}

SaslMechanism ChooseSaslMechanism(const CapaSasl& capa) {
  return capa.oauthbearer ? SaslMechanism::kOAuthBearer : SaslMechanism::kXOAuth2;
}

const char* SaslMechanismName(SaslMechanism mechanism) {
  return mechanism == SaslMechanism::kXOAuth2 ? "XOAUTH2" : "OAUTHBEARER";
}

std::string XOAuth2InitialResponse(std::string_view user, std::string_view token) {
  std::string raw = "user=";
  raw.append(user);
  raw += "\x01" "auth=Bearer ";
  raw.append(token);
  raw += "\x01\x01";
  return Base64Encode(raw);
}

std::string OAuthBearerInitialResponse(std::string_view user, std::string_view host, int port,
                                       std::string_view token) {
  std::string raw = "n,a=" + SaslName(user) + ",";
  if (!host.empty()) {
    raw += "\x01" "host=";
    raw.append(host);
    raw += "\x01" "port=" + std::to_string(port);
  }
  raw += "\x01" "auth=Bearer ";
  raw.append(token);
  raw += "\x01\x01";
  return Base64Encode(raw);
}

bool ParseSaslErrorChallenge(std::string_view base64, SaslErrorChallenge& out) {
  out = SaslErrorChallenge();
  while (!base64.empty() && base64.front() == ' ') base64.remove_prefix(1);
  while (!base64.empty() && base64.back() == ' ') base64.remove_suffix(1);
  std::string json;
  if (!Base64Decode(base64, json)) return false;
  JsonLimits limits;
  limits.max_text = 4096;
  limits.max_string = 1024;
  std::map<std::string, JsonMember> members;
  if (!ReadJsonObject(json, members, limits)) return false;
  auto text = [&](const char* name) {
    auto it = members.find(name);
    return it == members.end() || it->second.kind != JsonMember::Kind::kString ? std::string() : it->second.text;
  };
  auto status = members.find("status");
  if (status == members.end() || status->second.kind != JsonMember::Kind::kString) return false;
  out.status = status->second.text;
  out.scope = text("scope");
  out.schemes = text("schemes");
  out.openid_configuration = text("openid-configuration");
  return true;
}

bool ChallengeSaysTokenRefused(const SaslErrorChallenge& challenge) {
  return challenge.status.empty() || challenge.status == "invalid_token" || challenge.status == "401";
}

SaslLogin::SaslLogin(SaslMechanism mechanism, std::string initial_response, bool sasl_ir)
    : mechanism_(mechanism), response_(std::move(initial_response)), sasl_ir_(sasl_ir) {}

std::string SaslLogin::First() {
  std::string line = std::string("AUTH ") + SaslMechanismName(mechanism_);
  const std::size_t with_response = line.size() + 1 + response_.size() + 2;
  if (sasl_ir_ && with_response <= kMaxCommandLine) {
    step_ = Step::kSentResponse;
    return line + " " + response_ + "\r\n";
  }
  step_ = Step::kAwaitFirst;
  return line + "\r\n";
}

SaslLogin::Result SaslLogin::OnLine(std::string_view line, std::string& send) {
  send.clear();
  line = WithoutLineEnd(line);
  if (step_ == Step::kStart || step_ == Step::kDone) return Result::kProtocol;
  if (StartsWord(line, "+OK")) {
    if (step_ == Step::kAwaitFirst) {
      step_ = Step::kDone;
      return Result::kProtocol;  // logged in without a token: not a server we know
    }
    step_ = Step::kDone;
    return Result::kLoggedIn;
  }
  if (StartsWord(line, "-ERR")) {
    step_ = Step::kDone;
    server_text_.assign(line.size() > 5 ? line.substr(5) : std::string_view());
    return Result::kRefused;
  }
  if (StartsWord(line, "+")) {
    switch (step_) {
      case Step::kAwaitFirst:
        send = response_ + "\r\n";
        step_ = Step::kSentResponse;
        return Result::kPending;
      case Step::kSentResponse:
        has_challenge_ = ParseSaslErrorChallenge(line.substr(1), challenge_);
        // RFC 7628: the client answers the error challenge with a lone ^A;
        // XOAUTH2 with an empty line. The server then sends "-ERR".
        send = mechanism_ == SaslMechanism::kOAuthBearer ? "AQ==\r\n" : "\r\n";
        step_ = Step::kSentAcknowledgement;
        return Result::kPending;
      default:
        break;
    }
  }
  step_ = Step::kDone;
  return Result::kProtocol;
}

bool SaslLogin::refused_token() const {
  return has_challenge_ ? ChallengeSaysTokenRefused(challenge_) : true;
}

}  // namespace oauth
}  // namespace tidewell
