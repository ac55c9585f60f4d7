// The authorization code flow's texts: the authorization URL, the loopback
// redirect read from receives cut anywhere (state checked, provider errors,
// requests that are not ours, bounds), the token endpoint's bodies and
// answers, and the bounded JSON reader under them.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/oauth/json_object.h"
#include "common/oauth/loopback_redirect.h"
#include "common/oauth/token.h"
#include "common/oauth/url.h"

namespace tidewell {
namespace oauth {
namespace {

TEST(OAuthUrl, PercentEncodingRoundTrips) {
  EXPECT_EQ(PercentEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(PercentEncode("a b/c:d?e=f&g+h%\xe3\x81\x82"), "a%20b%2Fc%3Ad%3Fe%3Df%26g%2Bh%25%E3%81%82");
  std::string out;
  ASSERT_TRUE(PercentDecode("a%20b+c%2fd%E3%81%82", out));
  EXPECT_EQ(out, "a b c/d\xe3\x81\x82");
  for (const char* bad : {"%", "%2", "%G0", "a%2"}) EXPECT_FALSE(PercentDecode(bad, out)) << bad;
  FormFields fields;
  ASSERT_TRUE(FormDecode("a=1&&b&c=x%3Dy&=z", fields));
  const FormFields want = {{"a", "1"}, {"b", ""}, {"c", "x=y"}, {"", "z"}};
  EXPECT_EQ(fields, want);
  EXPECT_EQ(FormEncode({{"k y", "v&w"}}), "k%20y=v%26w");
}

TEST(OAuthUrl, AuthorizationUrl) {
  AuthorizationRequest r;
  r.endpoint = "https://login.microsoftonline.com/common/oauth2/v2.0/authorize";
  r.client_id = "00000000-1111-2222-3333-444444444444";
  r.redirect_uri = LoopbackRedirectUri(53124);
  r.scope = "https://outlook.office.com/POP.AccessAsUser.All offline_access";
  r.state = "st_ate-1";
  r.code_challenge = "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";
  EXPECT_EQ(r.redirect_uri, "http://127.0.0.1:53124/");
  EXPECT_EQ(AuthorizationUrl(r),
            "https://login.microsoftonline.com/common/oauth2/v2.0/authorize?response_type=code"
            "&client_id=00000000-1111-2222-3333-444444444444&redirect_uri=http%3A%2F%2F127.0.0.1%3A53124%2F"
            "&scope=https%3A%2F%2Foutlook.office.com%2FPOP.AccessAsUser.All%20offline_access&state=st_ate-1"
            "&code_challenge=E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM&code_challenge_method=S256");
  // An endpoint with a query of its own keeps it; a login hint is added.
  r.endpoint = "https://auth.example.com/authorize?tenant=x";
  r.login_hint = "me@example.com";
  const std::string url = AuthorizationUrl(r);
  EXPECT_EQ(url.rfind("https://auth.example.com/authorize?tenant=x&response_type=code&", 0), 0u) << url;
  EXPECT_NE(url.find("&login_hint=me%40example.com"), std::string::npos) << url;
  r.endpoint = "https://auth.example.com/authorize?";
  EXPECT_EQ(AuthorizationUrl(r).rfind("https://auth.example.com/authorize?response_type=code&", 0), 0u);
}

RedirectPages Pages() {
  RedirectPages p;
  p.charset = "Shift_JIS";
  p.signed_in = "<p>signed in</p>";
  p.failed = "<p>failed</p>";
  return p;
}

constexpr const char* kState = "Zs0mE-state_value";

std::string Request(const std::string& target, const char* method = "GET", const char* version = "HTTP/1.1") {
  return std::string(method) + " " + target + " " + version +
         "\r\nHost: 127.0.0.1:53124\r\nUser-Agent: test\r\nAccept: text/html\r\n\r\n";
}

struct RedirectRow {
  const char* name;
  std::string request;
  LoopbackRedirect::Status status;
  const char* reply_status;
  const char* code;
  const char* error;
  const char* description;
};

using S = LoopbackRedirect::Status;

const std::vector<RedirectRow>& RedirectRows() {
  static const std::vector<RedirectRow> rows = {
      {"code", Request(std::string("/?code=M.C5_BAY%2Fab%2B1&state=") + kState + "&session_state=x"), S::kCode,
       "200 OK", "M.C5_BAY/ab+1", "", ""},
      {"state first, HTTP/1.0, fragment", Request(std::string("/?state=") + kState + "&code=abc#_=_", "GET",
                                                  "HTTP/1.0"),
       S::kCode, "200 OK", "abc", "", ""},
      {"denied", Request(std::string("/?error=access_denied&error_description=The+user+said+no.&state=") + kState),
       S::kDenied, "200 OK", "", "access_denied", "The user said no."},
      {"denied without description", Request(std::string("/?error=invalid_scope&state=") + kState), S::kDenied,
       "200 OK", "", "invalid_scope", ""},
      {"wrong state", Request("/?code=abc&state=Zs0mE-state_valuf"), S::kBadState, "400 Bad Request", "", "", ""},
      {"state prefix", Request("/?code=abc&state=Zs0mE"), S::kBadState, "400 Bad Request", "", "", ""},
      {"no state", Request("/?code=abc"), S::kBadState, "400 Bad Request", "", "", ""},
      {"error without state", Request("/?error=access_denied"), S::kBadState, "400 Bad Request", "", "", ""},
      {"no query", Request("/"), S::kBadState, "400 Bad Request", "", "", ""},
      {"two codes", Request(std::string("/?code=a&code=b&state=") + kState), S::kBadState, "400 Bad Request", "",
       "", ""},
      {"bad escape", Request(std::string("/?code=a%zz&state=") + kState), S::kBadState, "400 Bad Request", "", "",
       ""},
      {"empty error, no code", Request(std::string("/?error=&state=") + kState), S::kMalformed, "400 Bad Request",
       "", "", ""},
      {"empty code", Request(std::string("/?code=&state=") + kState), S::kMalformed, "400 Bad Request", "", "", ""},
      {"favicon", Request("/favicon.ico"), S::kIgnored, "404 Not Found", "", "", ""},
      {"other path with our query", Request(std::string("/x?code=abc&state=") + kState), S::kIgnored,
       "404 Not Found", "", "", ""},
      {"POST", Request(std::string("/?code=abc&state=") + kState, "POST"), S::kMalformed, "400 Bad Request", "",
       "", ""},
      {"HTTP/2", Request(std::string("/?code=abc&state=") + kState, "GET", "HTTP/2.0"), S::kMalformed,
       "400 Bad Request", "", "", ""},
      {"not HTTP", "\x16\x03\x01\x02\x01\r\n\r\n", S::kMalformed, "400 Bad Request", "", "", ""},
      {"huge code", Request("/?code=" + std::string(5000, 'c') + "&state=" + kState), S::kBadState,
       "400 Bad Request", "", "", ""},
  };
  return rows;
}

TEST(LoopbackRedirectReader, RowsInAnyPieces) {
  for (const RedirectRow& row : RedirectRows()) {
    for (std::size_t piece : {std::size_t(1), std::size_t(7), row.request.size()}) {
      SCOPED_TRACE(std::string(row.name) + " piece " + std::to_string(piece));
      LoopbackRedirect reader(kState, Pages());
      S status = S::kNeedMore;
      std::size_t at = 0;
      for (; at < row.request.size() && status == S::kNeedMore; at += piece) {
        status = reader.Feed(row.request.substr(at, piece));
      }
      // A request is answered when its head ends; only what is plainly no
      // GET request is refused earlier.
      if (row.status != S::kMalformed || row.request.rfind("GET ", 0) == 0) {
        EXPECT_GE(at, row.request.size()) << "answered before the head ended";
      }
      EXPECT_EQ(static_cast<int>(status), static_cast<int>(row.status));
      EXPECT_EQ(reader.code(), row.code);
      EXPECT_EQ(reader.error(), row.error);
      EXPECT_EQ(reader.error_description(), row.description);
      const std::string& reply = reader.reply();
      EXPECT_EQ(reply.rfind(std::string("HTTP/1.1 ") + row.reply_status + "\r\n", 0), 0u) << reply;
      EXPECT_NE(reply.find("\r\nConnection: close\r\n"), std::string::npos);
      EXPECT_NE(reply.find("\r\nContent-Type: text/html; charset=Shift_JIS\r\n"), std::string::npos);
      const std::string body = reply.substr(reply.find("\r\n\r\n") + 4);
      EXPECT_NE(reply.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos);
      if (row.status == S::kCode) {
        EXPECT_EQ(body, Pages().signed_in);
      } else if (row.status == S::kDenied || row.status == S::kBadState) {
        EXPECT_EQ(body, Pages().failed);
      }
      // Once answered, more bytes change nothing.
      EXPECT_EQ(reader.Feed("GET /?code=zzz&state=x HTTP/1.1\r\n\r\n"), row.status);
      EXPECT_EQ(reader.code(), row.code);
    }
  }
}

TEST(LoopbackRedirectReader, WaitsForTheWholeHeadWithinItsBound) {
  LoopbackRedirect reader(kState, Pages());
  EXPECT_EQ(reader.Feed(std::string("GET /?code=abc&state=") + kState + " HTTP/1.1\r\n"), S::kNeedMore);
  EXPECT_EQ(reader.Feed("Host: 127.0.0.1\r\n"), S::kNeedMore);
  EXPECT_EQ(reader.Feed("\r\nbody bytes after the head"), S::kCode);
  EXPECT_EQ(reader.code(), "abc");

  // What cannot begin a GET is refused at once, without waiting for a blank
  // line that may never come (a TLS hello, say).
  LoopbackRedirect tls(kState, Pages());
  EXPECT_EQ(tls.Feed("\x16\x03\x01"), S::kMalformed);
  LoopbackRedirect partial(kState, Pages());
  EXPECT_EQ(partial.Feed("GE"), S::kNeedMore);
  EXPECT_EQ(partial.Feed("X"), S::kMalformed);

  // Headers that never end are refused at the bound, not kept growing.
  LoopbackRedirect endless(kState, Pages());
  S status = endless.Feed(std::string("GET /?code=abc&state=") + kState + " HTTP/1.1\r\n");
  std::size_t fed = 0;
  while (status == S::kNeedMore && fed < 10 * LoopbackRedirect::kMaxRequest) {
    status = endless.Feed("X-Filler: 0123456789\r\n");
    fed += 22;
  }
  EXPECT_EQ(status, S::kMalformed);
  EXPECT_LE(fed, LoopbackRedirect::kMaxRequest);

  // A reader without a state of its own never takes a code.
  LoopbackRedirect unarmed("", Pages());
  EXPECT_EQ(unarmed.Feed(Request("/?code=abc&state=")), S::kBadState);
  EXPECT_TRUE(LoopbackRedirect::Final(S::kCode));
  EXPECT_TRUE(LoopbackRedirect::Final(S::kDenied));
  EXPECT_FALSE(LoopbackRedirect::Final(S::kBadState));
  EXPECT_FALSE(LoopbackRedirect::Final(S::kIgnored));
}

TEST(TokenEndpoint, RequestBodies) {
  EXPECT_EQ(AuthorizationCodeBody("cid", "", "M.C5/x+y", "http://127.0.0.1:53124/",
                                  "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
            "grant_type=authorization_code&code=M.C5%2Fx%2By&redirect_uri=http%3A%2F%2F127.0.0.1%3A53124%2F"
            "&client_id=cid&code_verifier=dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk");
  EXPECT_EQ(AuthorizationCodeBody("cid", "s&cret", "c", "r", "v"),
            "grant_type=authorization_code&code=c&redirect_uri=r&client_id=cid&code_verifier=v"
            "&client_secret=s%26cret");
  EXPECT_EQ(RefreshTokenBody("cid", "", "1//0g-refresh", ""),
            "grant_type=refresh_token&refresh_token=1%2F%2F0g-refresh&client_id=cid");
  EXPECT_EQ(RefreshTokenBody("cid", "sec", "rt", "https://mail.google.com/"),
            "grant_type=refresh_token&refresh_token=rt&client_id=cid&client_secret=sec"
            "&scope=https%3A%2F%2Fmail.google.com%2F");
}

struct TokenRow {
  const char* name;
  std::string body;
  bool ok;
  const char* access;
  const char* refresh;
  long long expires_in;
  const char* error;
  bool needs_sign_in;
};

TEST(TokenEndpoint, Answers) {
  const std::vector<TokenRow> rows = {
      {"microsoft",
       R"({"token_type":"Bearer","scope":"https://outlook.office.com/POP.AccessAsUser.All","expires_in":3599,)"
       R"("ext_expires_in":3599,"access_token":"eyJ0eXAi.eyJhdWQi.sig","refresh_token":"M.C5_BAY.0.U.-Cq"})",
       true, "eyJ0eXAi.eyJhdWQi.sig", "M.C5_BAY.0.U.-Cq", 3599, "", false},
      {"google refresh keeps the refresh token",
       "{\n  \"access_token\": \"ya29.a0Af\",\n  \"expires_in\": 3599,\n  \"scope\": \"https://mail.google.com/\",\n"
       "  \"token_type\": \"Bearer\"\n}\n",
       true, "ya29.a0Af", "", 3599, "", false},
      {"lifetime as a string, lower-case type", R"({"access_token":"a","token_type":"bearer","expires_in":"3600"})",
       true, "a", "", 3600, "", false},
      {"no lifetime, nested members skipped",
       R"({"access_token":"a","token_type":"Bearer","extra":{"x":[1,{"y":null}],"z":true},"list":[]})", true, "a",
       "", 0, "", false},
      {"lifetime in exponent form reads as none", R"({"access_token":"a","token_type":"Bearer","expires_in":1e30})",
       true, "a", "", 0, "", false},
      {"long lifetime clamped", R"({"access_token":"a","token_type":"Bearer","expires_in":99999999999999999999})",
       true, "a", "", 10LL * 365 * 24 * 3600, "", false},
      {"negative lifetime", R"({"access_token":"a","token_type":"Bearer","expires_in":-5})", true, "a", "", 0, "",
       false},
      {"invalid_grant",
       R"({"error":"invalid_grant","error_description":"AADSTS70000: The refresh token has expired.",)"
       R"("error_codes":[70000],"timestamp":"2026-12-10 10:00:00Z"})",
       false, "", "", 0, "invalid_grant", true},
      {"error wins over a token", R"({"error":"invalid_client","access_token":"a","token_type":"Bearer"})", false,
       "", "", 0, "invalid_client", false},
      {"no token type", R"({"access_token":"a"})", false, "", "", 0, "malformed", false},
      {"other token type", R"({"access_token":"a","token_type":"mac"})", false, "", "", 0, "malformed", false},
      {"token with a space", R"({"access_token":"a b","token_type":"Bearer"})", false, "", "", 0, "malformed",
       false},
      {"token with a control byte", R"({"access_token":"a\u0001","token_type":"Bearer"})", false, "", "", 0,
       "malformed", false},
      {"token not a string", R"({"access_token":5,"token_type":"Bearer"})", false, "", "", 0, "malformed", false},
      {"repeated member", R"({"access_token":"a","access_token":"b","token_type":"Bearer"})", false, "", "", 0,
       "malformed", false},
      {"HTML error page", "<html><body>502 Bad Gateway</body></html>", false, "", "", 0, "malformed", false},
      {"empty", "", false, "", "", 0, "malformed", false},
      {"cut short", R"({"access_token":"a","token_type":"Bea)", false, "", "", 0, "malformed", false},
      {"too large",
       R"({"access_token":"a","token_type":"Bearer","pad":")" + std::string(kMaxTokenResponse, 'p') + "\"}", false,
       "", "", 0, "malformed", false},
  };
  for (const TokenRow& row : rows) {
    SCOPED_TRACE(row.name);
    const TokenResponse r = ParseTokenResponse(row.body);
    EXPECT_EQ(r.ok, row.ok);
    EXPECT_EQ(r.access_token, row.access);
    EXPECT_EQ(r.refresh_token, row.refresh);
    EXPECT_EQ(r.expires_in, row.expires_in);
    EXPECT_EQ(r.error, row.error);
    EXPECT_EQ(TokenErrorNeedsSignIn(r), row.needs_sign_in);
  }
  EXPECT_EQ(ParseTokenResponse(R"({"error":"invalid_grant","error_description":"AADSTS70000: expired"})")
                .error_description,
            "AADSTS70000: expired");
}

TEST(TokenEndpoint, WhoSignedIn) {
  EXPECT_EQ(IdTokenUserName("eyJhbGciOiJub25lIn0.eyJhdWQiOiJ4IiwicHJlZmVycmVkX3VzZXJuYW1lIjoidGFyb0Bjb250b3NvLm9ubW"
                            "ljcm9zb2Z0LmNvbSIsIm5hbWUiOiJUYXJvIn0.sig"),
            "taro@contoso.onmicrosoft.com");
  // "email" goes before "preferred_username".
  EXPECT_EQ(IdTokenUserName("eyJhbGciOiJub25lIn0.eyJlbWFpbCI6ImhhbmFrb0BnbWFpbC5jb20iLCJwcmVmZXJyZWRfdXNlcm5hbWUiOiJv"
                            "dGhlciJ9."),
            "hanako@gmail.com");
  for (const char* bad : {"", "no-dots", "a.b", "eyJhbGciOiJub25lIn0.!!!.x", "x.eyJzdWIiOiIxIn0.y" /* {"sub":"1"} */,
                          "x.e30.y" /* {} */}) {
    EXPECT_EQ(IdTokenUserName(bad), "") << bad;
  }
}

TEST(JsonObjectReader, StringsNumbersAndLimits) {
  std::map<std::string, JsonMember> m;
  ASSERT_TRUE(ReadJsonObject(R"( {"s":"a\"\\\/\b\f\n\r\t\u00e9\u3042\ud83d\ude00","n":-1.5e+3,"t":true,)"
                             R"("f":false,"z":null} )",
                             m));
  EXPECT_EQ(m["s"].text, "a\"\\/\b\f\n\r\t\xc3\xa9\xe3\x81\x82\xf0\x9f\x98\x80");
  EXPECT_EQ(m["n"].kind, JsonMember::Kind::kNumber);
  EXPECT_EQ(m["n"].text, "-1.5e+3");
  EXPECT_EQ(m["t"].kind, JsonMember::Kind::kTrue);
  EXPECT_EQ(m["f"].kind, JsonMember::Kind::kFalse);
  EXPECT_EQ(m["z"].kind, JsonMember::Kind::kNull);
  ASSERT_TRUE(ReadJsonObject("{}", m));
  EXPECT_TRUE(m.empty());

  for (const char* bad : {R"({"a":"\ud83d"})", R"({"a":"\ude00"})", "{\"a\":\"x\ny\"}", R"({"a":"\x"})",
                          R"({"a":01})", R"({"a":1.})", R"({"a":-})", R"({"a":tru})", R"({"a":1,})",
                          R"({"a" 1})", R"({'a':1})", R"({"a":1}{})", R"([1])", R"({"a":[1,]})",
                          R"({"a":{"b":1})", R"({"a":[],"a":1})", R"({"a":1,"a":{}})", ""}) {
    EXPECT_FALSE(ReadJsonObject(bad, m)) << bad;
    EXPECT_TRUE(m.empty()) << bad;
  }
  JsonLimits small;
  small.max_depth = 3;
  small.max_string = 4;
  small.max_text = 40;
  EXPECT_TRUE(ReadJsonObject(R"({"a":[[[1]]]})", m, small));
  EXPECT_FALSE(ReadJsonObject(R"({"a":[[[[1]]]]})", m, small));
  EXPECT_TRUE(ReadJsonObject(R"({"a":"1234"})", m, small));
  EXPECT_FALSE(ReadJsonObject(R"({"a":"12345"})", m, small));
  EXPECT_FALSE(ReadJsonObject(R"({"a":1,                                    "b":2})", m, small));
  // Deep nesting of a server's answer fails at the bound, without recursion
  // running away.
  EXPECT_FALSE(ReadJsonObject("{\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}", m,
                              JsonLimits{1 << 20, 1024, 16}));
}

}  // namespace
}  // namespace oauth
}  // namespace tidewell
