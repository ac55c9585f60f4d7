// The XOAUTH2 and OAUTHBEARER client responses (Google's documented example,
// RFC 7628's), the server's error challenge, and the POP3 AUTH step as rows:
// SASL-IR or the "+" continuation, a token accepted, a token refused with or
// without a challenge, replies that fit no step.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/oauth/base64.h"
#include "common/oauth/sasl.h"

namespace tidewell {
namespace oauth {
namespace {

std::string Decoded(const std::string& b64) {
  std::string out;
  EXPECT_TRUE(Base64Decode(b64, out)) << b64;
  return out;
}

TEST(SaslStrings, XOAuth2MatchesTheDocumentedExample) {
  EXPECT_EQ(XOAuth2InitialResponse("someuser@example.com", "ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg"),
            "dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQFhdXRoPUJlYXJlciB5YTI5LnZGOWRmdDRxbVRjMk52YjNSbGNrQmhkSFJoZG1semRHRX"
            "VZMjl0Q2cBAQ==");
}

TEST(SaslStrings, OAuthBearerFollowsRfc7628) {
  EXPECT_EQ(Decoded(OAuthBearerInitialResponse("user@example.com", "server.example.com", 143,
                                               "vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==")),
            "n,a=user@example.com,\x01host=server.example.com\x01port=143\x01"
            "auth=Bearer vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==\x01\x01");
  // ',' and '=' in the authorization identity are escaped; no host, no port.
  EXPECT_EQ(Decoded(OAuthBearerInitialResponse("a,b=c", "", 995, "t")),
            std::string("n,a=a=2Cb=3Dc,\x01" "auth=Bearer t\x01\x01"));
}

TEST(SaslStrings, CapaChoosesTheMechanism) {
  const struct {
    std::vector<std::string> lines;
    bool announced, xoauth2, oauthbearer;
    SaslMechanism chosen;
  } rows[] = {
      {{"TOP", "UIDL", "SASL PLAIN XOAUTH2 OAUTHBEARER\r\n", "USER"}, true, true, true, SaslMechanism::kOAuthBearer},
      {{"sasl plain xoauth2"}, true, true, false, SaslMechanism::kXOAuth2},
      {{"SASL\tOAuthBearer"}, true, false, true, SaslMechanism::kOAuthBearer},
      {{"SASL"}, true, false, false, SaslMechanism::kXOAuth2},
      {{"SASLX OAUTHBEARER", "X-SASL OAUTHBEARER", "IMPLEMENTATION OAUTHBEARER"}, false, false, false,
       SaslMechanism::kXOAuth2},
      {{"SASL XOAUTH2X OAUTHBEARERS"}, true, false, false, SaslMechanism::kXOAuth2},
  };
  for (const auto& row : rows) {
    CapaSasl capa;
    for (const std::string& line : row.lines) ReadCapaLine(line, capa);
    SCOPED_TRACE(row.lines[0]);
    EXPECT_EQ(capa.announced, row.announced);
    EXPECT_EQ(capa.xoauth2, row.xoauth2);
    EXPECT_EQ(capa.oauthbearer, row.oauthbearer);
    EXPECT_EQ(ChooseSaslMechanism(capa), row.chosen);
  }
}

TEST(SaslStrings, ErrorChallenge) {
  SaslErrorChallenge c;
  // RFC 7628 section 4.3.
  ASSERT_TRUE(ParseSaslErrorChallenge(
      "eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIiwic2NvcGUiOiJleGFtcGxlX3Njb3BlIiwib3BlbmlkLWNvbmZpZ3VyYXRpb24iOiJodHRw"
      "czovL2V4YW1wbGUuY29tLy53ZWxsLWtub3duL29wZW5pZC1jb25maWd1cmF0aW9uIn0=",
      c));
  EXPECT_EQ(c.status, "invalid_token");
  EXPECT_EQ(c.scope, "example_scope");
  EXPECT_EQ(c.openid_configuration, "https://example.com/.well-known/openid-configuration");
  EXPECT_TRUE(ChallengeSaysTokenRefused(c));
  // Google's XOAUTH2 shape, with a status that a new token does not mend.
  ASSERT_TRUE(ParseSaslErrorChallenge(
      " eyJzdGF0dXMiOiI0MDAiLCJzY2hlbWVzIjoiQmVhcmVyIiwic2NvcGUiOiJodHRwczovL21haWwuZ29vZ2xlLmNvbS8ifQ==", c));
  EXPECT_EQ(c.status, "400");
  EXPECT_EQ(c.schemes, "Bearer");
  EXPECT_FALSE(ChallengeSaysTokenRefused(c));
  c.status = "401";
  EXPECT_TRUE(ChallengeSaysTokenRefused(c));

  for (std::string bad : {std::string("not base64!"), Base64Encode("[1,2]"), Base64Encode("{\"scope\":\"x\"}"),
                          Base64Encode("{\"status\":401}"), Base64Encode("{\"status\":\"a\"} trailing"),
                          Base64Encode("{\"status\":\"" + std::string(2000, 'x') + "\"}")}) {
    EXPECT_FALSE(ParseSaslErrorChallenge(bad, c)) << bad;
  }
}

// One exchange: what the server answers, what the client must send, and the
// result after each line.
struct Reply {
  std::string line;
  std::string send;
  SaslLogin::Result result;
};

struct LoginRow {
  const char* name;
  SaslMechanism mechanism;
  bool sasl_ir;
  std::size_t token_size;
  bool first_carries_response;
  std::vector<Reply> replies;
  bool refused_token;  // checked after kRefused
  const char* challenge_status;
};

const std::string kInvalidToken = "+ " + Base64Encode("{\"status\":\"invalid_token\"}");
const std::string kBadScope = "+ " + Base64Encode("{\"status\":\"insufficient_scope\",\"scope\":\"pop\"}");
constexpr const char* kResponse = "<response>";  // stands for the initial response in `send`

using R = SaslLogin::Result;

const LoginRow kRows[] = {
    {"continuation", SaslMechanism::kXOAuth2, false, 20, false,
     {{"+ ", kResponse, R::kPending}, {"+OK Logged in.\r\n", "", R::kLoggedIn}}, false, nullptr},
    {"bare plus", SaslMechanism::kOAuthBearer, false, 20, false,
     {{"+", kResponse, R::kPending}, {"+OK", "", R::kLoggedIn}}, false, nullptr},
    {"sasl-ir", SaslMechanism::kXOAuth2, true, 20, true, {{"+OK welcome", "", R::kLoggedIn}}, false, nullptr},
    {"sasl-ir but too long", SaslMechanism::kXOAuth2, true, 1500, false,
     {{"+ ", kResponse, R::kPending}, {"+OK", "", R::kLoggedIn}}, false, nullptr},
    {"oauthbearer refused", SaslMechanism::kOAuthBearer, true, 20, true,
     {{kInvalidToken, "AQ==\r\n", R::kPending}, {"-ERR [AUTH] Authentication failed.", "", R::kRefused}}, true,
     "invalid_token"},
    {"xoauth2 refused after continuation", SaslMechanism::kXOAuth2, false, 1500, false,
     {{"+ ", kResponse, R::kPending}, {kInvalidToken, "\r\n", R::kPending}, {"-ERR nope", "", R::kRefused}}, true,
     "invalid_token"},
    {"scope refused", SaslMechanism::kXOAuth2, true, 20, true,
     {{kBadScope, "\r\n", R::kPending}, {"-ERR", "", R::kRefused}}, false, "insufficient_scope"},
    {"plain -ERR", SaslMechanism::kXOAuth2, false, 20, false,
     {{"+ ", kResponse, R::kPending}, {"-ERR Authentication failed.", "", R::kRefused}}, true, nullptr},
    {"AUTH unknown", SaslMechanism::kOAuthBearer, false, 20, false,
     {{"-ERR Unsupported mechanism", "", R::kRefused}}, true, nullptr},
    {"+OK without a token", SaslMechanism::kXOAuth2, false, 20, false, {{"+OK", "", R::kProtocol}}, false, nullptr},
    {"junk", SaslMechanism::kXOAuth2, true, 20, true, {{"* OK hello", "", R::kProtocol}}, false, nullptr},
    {"+OKAY is not +OK", SaslMechanism::kXOAuth2, true, 20, true, {{"+OKAY", "", R::kProtocol}}, false, nullptr},
    {"second challenge", SaslMechanism::kOAuthBearer, true, 20, true,
     {{kInvalidToken, "AQ==\r\n", R::kPending}, {"+ ", "", R::kProtocol}}, false, nullptr},
    {"line after the end", SaslMechanism::kXOAuth2, true, 20, true,
     {{"+OK", "", R::kLoggedIn}, {"+OK", "", R::kProtocol}}, false, nullptr},
};

TEST(SaslLoginStep, Rows) {
  for (const LoginRow& row : kRows) {
    SCOPED_TRACE(row.name);
    const std::string token(row.token_size, 't');
    const std::string response = row.mechanism == SaslMechanism::kXOAuth2
                                     ? XOAuth2InitialResponse("me@example.com", token)
                                     : OAuthBearerInitialResponse("me@example.com", "pop.example.com", 995, token);
    SaslLogin login(row.mechanism, response, row.sasl_ir);
    const std::string name = SaslMechanismName(row.mechanism);
    EXPECT_EQ(login.First(),
              row.first_carries_response ? "AUTH " + name + " " + response + "\r\n" : "AUTH " + name + "\r\n");
    for (const Reply& reply : row.replies) {
      std::string send = "stale";
      const SaslLogin::Result result = login.OnLine(reply.line, send);
      EXPECT_EQ(static_cast<int>(result), static_cast<int>(reply.result)) << reply.line;
      EXPECT_EQ(send, reply.send == std::string(kResponse) ? response + "\r\n" : reply.send) << reply.line;
      if (result == R::kRefused) {
        EXPECT_EQ(login.refused_token(), row.refused_token);
        EXPECT_EQ(login.has_challenge(), row.challenge_status != nullptr);
        if (row.challenge_status != nullptr) {
          EXPECT_EQ(login.challenge().status, row.challenge_status);
        }
      }
    }
  }
}

TEST(SaslLoginStep, InitialResponseGoesWithTheCommandUpTo255Octets) {
  // "AUTH XOAUTH2 " + response + CRLF: find the response lengths on both
  // sides of the bound.
  for (std::size_t size = 230; size < 250; ++size) {
    const std::string response(size, 'A');
    SaslLogin login(SaslMechanism::kXOAuth2, response, true);
    const std::string first = login.First();
    const std::size_t whole = std::string("AUTH XOAUTH2 ").size() + size + 2;
    EXPECT_EQ(first.size() == whole, whole <= 255) << size;
    EXPECT_LE(first.size(), 255u);
  }
}

TEST(SaslLoginStep, RefusalTextIsKept) {
  SaslLogin login(SaslMechanism::kXOAuth2, "abc", true);
  login.First();
  std::string send;
  ASSERT_EQ(login.OnLine("-ERR [AUTH] Authentication failed.\r\n", send), R::kRefused);
  EXPECT_EQ(login.server_text(), "[AUTH] Authentication failed.");
}

}  // namespace
}  // namespace oauth
}  // namespace tidewell
