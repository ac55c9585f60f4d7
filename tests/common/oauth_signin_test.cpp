// The interactive sign-in's decisions: the authorization URL it opens, what
// it does with each request that reaches the loopback listener, the code
// exchange it posts and what it makes of the token endpoint's answer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/oauth/base64.h"
#include "common/oauth/pkce.h"
#include "common/oauth/signin_flow.h"
#include "common/oauth/url.h"

namespace tidewell {
namespace oauth {
namespace {

using Step = SignInFlow::RedirectStep;

ProviderSettings Settings(OAuthProvider p) {
  ProviderSettings s = ProviderDefaults(p);
  s.client_id = "client-1";
  if (p == OAuthProvider::kCustom) {
    s.authorize_url = "https://127.0.0.1:8443/authorize?tenant=t";
    s.token_url = "https://127.0.0.1:8443/token";
    s.scope = "pop";
  }
  return s;
}

const std::string kStateRandom(kSignInStateBytes, '\x11');
const std::string kVerifierRandom(kSignInVerifierBytes, '\x22');

// The query of the authorization URL, decoded.
FormFields Query(const std::string& url) {
  FormFields fields;
  EXPECT_TRUE(FormDecode(url.substr(url.find('?') + 1), fields)) << url;
  return fields;
}
std::string Field(const FormFields& fields, const std::string& name) {
  for (const auto& f : fields)
    if (f.first == name) return f.second;
  return "(missing)";
}

// Feeds one whole request to a fresh reader of the flow and gives the step.
Step Deliver(SignInFlow& flow, const std::string& request) {
  LoopbackRedirect reader = flow.NewReader();
  return flow.OnRedirect(reader.Feed(request), reader);
}
std::string Get(const std::string& target) { return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"; }

std::string IdToken(const std::string& payload) {
  return Base64UrlEncode("{\"alg\":\"none\"}") + "." + Base64UrlEncode(payload) + ".sig";
}

TEST(SignInFlow, AuthorizationUrlPerProvider) {
  const struct {
    OAuthProvider provider;
    const char* redirect;
    const char* scope;
  } rows[] = {
      {OAuthProvider::kMicrosoft, "http://localhost:50123/",
       "https://outlook.office.com/POP.AccessAsUser.All offline_access openid email"},
      {OAuthProvider::kGoogle, "http://127.0.0.1:50123/", "https://mail.google.com/ openid email"},
      {OAuthProvider::kCustom, "http://127.0.0.1:50123/", "pop"},
  };
  for (const auto& row : rows) {
    SignInFlow flow(row.provider, Settings(row.provider), SignInPages());
    ASSERT_TRUE(flow.Begin(kStateRandom, kVerifierRandom, 50123, row.provider == OAuthProvider::kGoogle ? "" : "taro@x"));
    const std::string& url = flow.authorization_url();
    EXPECT_EQ(url.rfind(Settings(row.provider).authorize_url + (row.provider == OAuthProvider::kCustom ? "&" : "?"), 0),
              0u)
        << url;
    const FormFields q = Query(url);
    EXPECT_EQ(Field(q, "client_id"), "client-1");
    EXPECT_EQ(Field(q, "redirect_uri"), row.redirect);
    EXPECT_EQ(Field(q, "scope"), row.scope);
    EXPECT_EQ(Field(q, "state"), StateFromRandom(kStateRandom));
    EXPECT_EQ(Field(q, "code_challenge"), PkceChallengeS256(PkceVerifierFromRandom(kVerifierRandom)));
    EXPECT_EQ(Field(q, "code_challenge_method"), "S256");
    EXPECT_EQ(Field(q, "login_hint"), row.provider == OAuthProvider::kGoogle ? "(missing)" : "taro@x");
    EXPECT_FALSE(flow.finished());
  }
  // A scope that asks for openid already is left as written.
  EXPECT_EQ(SignInScope(OAuthProvider::kGoogle, "openid https://mail.google.com/"), "openid https://mail.google.com/");
  EXPECT_EQ(SignInScope(OAuthProvider::kGoogle, "openidx"), "openidx openid email");
}

TEST(SignInFlow, UnfitSettingsOrRandomEndBeforeAnything) {
  ProviderSettings no_id = Settings(OAuthProvider::kMicrosoft);
  no_id.client_id.clear();
  ProviderSettings plain = Settings(OAuthProvider::kCustom);
  plain.token_url = "http://127.0.0.1:8080/token";
  ProviderSettings no_url = Settings(OAuthProvider::kCustom);
  no_url.authorize_url.clear();
  const struct {
    ProviderSettings settings;
    std::string state_random, verifier_random;
    int port;
    SignInOutcome outcome;
    ProviderProblem problem;
  } rows[] = {
      {no_id, kStateRandom, kVerifierRandom, 1, SignInOutcome::kSettings, ProviderProblem::kNoClientId},
      {plain, kStateRandom, kVerifierRandom, 1, SignInOutcome::kSettings, ProviderProblem::kNotHttps},
      {no_url, kStateRandom, kVerifierRandom, 1, SignInOutcome::kSettings, ProviderProblem::kNoEndpoint},
      {Settings(OAuthProvider::kGoogle), "", kVerifierRandom, 1, SignInOutcome::kNoRandom, ProviderProblem::kNone},
      {Settings(OAuthProvider::kGoogle), kStateRandom, std::string(8, 'x'), 1, SignInOutcome::kNoRandom,
       ProviderProblem::kNone},
      {Settings(OAuthProvider::kGoogle), kStateRandom, kVerifierRandom, 0, SignInOutcome::kListenFailed,
       ProviderProblem::kNone},
  };
  for (const auto& row : rows) {
    SignInFlow flow(OAuthProvider::kCustom, row.settings, SignInPages());
    EXPECT_FALSE(flow.Begin(row.state_random, row.verifier_random, row.port, ""));
    EXPECT_TRUE(flow.finished());
    EXPECT_EQ(flow.result().outcome, row.outcome);
    EXPECT_EQ(flow.result().settings_problem, row.problem);
    EXPECT_TRUE(flow.authorization_url().empty());
    EXPECT_FALSE(SignInResultText(flow.result(), OAuthProvider::kCustom).empty());
  }
}

// Requests that are not the answer keep the listener waiting; the answer
// starts the exchange once; a later request changes nothing.
TEST(SignInFlow, RedirectRequestsInTurn) {
  SignInFlow flow(OAuthProvider::kGoogle, Settings(OAuthProvider::kGoogle), SignInPages());
  ASSERT_TRUE(flow.Begin(kStateRandom, kVerifierRandom, 50123, ""));
  const std::string state = StateFromRandom(kStateRandom);
  const struct {
    std::string request;
    Step step;
  } rows[] = {
      {Get("/favicon.ico"), Step::kReplyAndListen},
      {Get("/?code=c1&state=forged"), Step::kReplyAndListen},
      {Get("/?code=c1"), Step::kReplyAndListen},
      {"POST / HTTP/1.1\r\n\r\n", Step::kReplyAndListen},
      {"GET /?code=c1&state=" + state + " HTTP/1.1\r\nHost: 127.0.0.1", Step::kRead},  // head not whole yet
      {Get("/?code=the-code&state=" + state), Step::kReplyAndExchange},
      {Get("/?code=other&state=" + state), Step::kReplyAndListen},
      {Get("/?error=access_denied&state=" + state), Step::kReplyAndListen},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Deliver(flow, row.request), row.step) << row.request;
  }
  ASSERT_TRUE(flow.exchanging());
  EXPECT_FALSE(flow.finished());
  EXPECT_EQ(flow.token_url(), "https://oauth2.googleapis.com/token");
  FormFields body;
  ASSERT_TRUE(FormDecode(flow.ExchangeBody(), body));
  EXPECT_EQ(Field(body, "grant_type"), "authorization_code");
  EXPECT_EQ(Field(body, "code"), "the-code");
  EXPECT_EQ(Field(body, "redirect_uri"), Field(Query(flow.authorization_url()), "redirect_uri"));
  EXPECT_EQ(Field(body, "code_verifier"), PkceVerifierFromRandom(kVerifierRandom));
  EXPECT_EQ(PkceChallengeS256(Field(body, "code_verifier")), Field(Query(flow.authorization_url()), "code_challenge"));
  EXPECT_EQ(Field(body, "client_id"), "client-1");
}

TEST(SignInFlow, ProviderRefusalEndsTheFlowWithItsWords) {
  SignInFlow flow(OAuthProvider::kMicrosoft, Settings(OAuthProvider::kMicrosoft), SignInPages());
  ASSERT_TRUE(flow.Begin(kStateRandom, kVerifierRandom, 50123, ""));
  LoopbackRedirect reader = flow.NewReader();
  const LoopbackRedirect::Status status = reader.Feed(
      Get("/?error=access_denied&error_description=The+user+declined%0D%0A%E3%81%82&state=" +
          StateFromRandom(kStateRandom)));
  EXPECT_EQ(flow.OnRedirect(status, reader), Step::kReplyAndEnd);
  EXPECT_NE(reader.reply().find("200 OK"), std::string::npos);
  ASSERT_TRUE(flow.finished());
  EXPECT_EQ(flow.result().outcome, SignInOutcome::kDenied);
  // Control bytes and non-ASCII of the provider's text never reach the box.
  EXPECT_EQ(flow.result().detail, "access_denied: The user declined?????");
  EXPECT_TRUE(flow.ExchangeBody().empty());
  const std::string text = SignInResultText(flow.result(), OAuthProvider::kMicrosoft);
  EXPECT_NE(text.find("access_denied"), std::string::npos) << text;
}

TEST(SignInFlow, TokenAnswers) {
  const std::int64_t now = 1700000000;
  const std::string long_token(kSignInMaxRefreshToken + 1, 'r');
  const std::string edge_token(kSignInMaxRefreshToken, 'r');
  const std::string id = IdToken(R"({"email":"taro@example.com"})");
  const std::string wide_id = IdToken("{\"email\":\"\xe5\xa4\xaa\xe9\x83\x8e@example.com\"}");
  const struct {
    const char* name;
    bool answered;
    int status;
    std::string body;
    bool certificate;
    SignInOutcome outcome;
    std::string detail;
  } rows[] = {
      {"unreachable", false, 0, "", false, SignInOutcome::kUnreachable, ""},
      {"certificate", false, 0, "", true, SignInOutcome::kCertificate, ""},
      {"invalid_grant", true, 400, R"({"error":"invalid_grant","error_description":"AADSTS70000 bad code"})", false,
       SignInOutcome::kTokenRefused, "invalid_grant: AADSTS70000 bad code"},
      {"server error page", true, 500, "<html>oops</html>", false, SignInOutcome::kTokenRefused, "malformed"},
      {"token under an error status", true, 400, R"({"access_token":"a","token_type":"Bearer","refresh_token":"r"})",
       false, SignInOutcome::kTokenRefused, "HTTP 400"},
      {"no refresh token", true, 200, R"({"access_token":"a","token_type":"Bearer","expires_in":3600})", false,
       SignInOutcome::kNoRefreshToken, ""},
      {"refresh token too long", true, 200,
       R"({"access_token":"a","token_type":"Bearer","refresh_token":")" + long_token + "\"}", false,
       SignInOutcome::kTooLong, ""},
      {"refresh token at the limit", true, 200,
       R"({"access_token":"a","token_type":"Bearer","refresh_token":")" + edge_token + "\"}", false,
       SignInOutcome::kSignedIn, ""},
      {"signed in", true, 200,
       R"({"access_token":"at","token_type":"Bearer","expires_in":3600,"refresh_token":"rt","id_token":")" + id + "\"}",
       false, SignInOutcome::kSignedIn, ""},
      {"name not shown", true, 200,
       R"({"access_token":"at","token_type":"Bearer","refresh_token":"rt","id_token":")" + wide_id + "\"}", false,
       SignInOutcome::kSignedIn, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SignInFlow flow(OAuthProvider::kGoogle, Settings(OAuthProvider::kGoogle), SignInPages());
    ASSERT_TRUE(flow.Begin(kStateRandom, kVerifierRandom, 50123, ""));
    ASSERT_EQ(Deliver(flow, Get("/?code=c&state=" + StateFromRandom(kStateRandom))), Step::kReplyAndExchange);
    flow.OnExchangeAnswer(row.answered, row.status, row.body, row.certificate, now);
    ASSERT_TRUE(flow.finished());
    const SignInResult& r = flow.result();
    EXPECT_EQ(r.outcome, row.outcome);
    EXPECT_EQ(r.detail, row.detail);
    EXPECT_FALSE(SignInResultText(r, OAuthProvider::kGoogle).empty());
    if (r.outcome != SignInOutcome::kSignedIn) {
      EXPECT_TRUE(r.refresh_token.empty() && r.access_token.empty());
    }
  }
  SignInFlow flow(OAuthProvider::kGoogle, Settings(OAuthProvider::kGoogle), SignInPages());
  ASSERT_TRUE(flow.Begin(kStateRandom, kVerifierRandom, 50123, ""));
  Deliver(flow, Get("/?code=c&state=" + StateFromRandom(kStateRandom)));
  flow.OnExchangeAnswer(true, 200,
                        R"({"access_token":"at","token_type":"Bearer","expires_in":3600,"refresh_token":"rt",)"
                        R"("id_token":")" + id + "\"}",
                        false, now);
  EXPECT_EQ(flow.result().refresh_token, "rt");
  EXPECT_EQ(flow.result().access_token, "at");
  EXPECT_EQ(flow.result().expires_at, now + 3600);
  EXPECT_EQ(flow.result().user_name, "taro@example.com");
  EXPECT_EQ(SignInResultText(flow.result(), OAuthProvider::kGoogle), "サインインしました: taro@example.com");
}

// The driver's own failures end the flow once; what arrives afterwards (a
// late answer, the redirect) changes nothing.
TEST(SignInFlow, FailuresEndOnce) {
  for (SignInOutcome why : {SignInOutcome::kTimedOut, SignInOutcome::kCancelled, SignInOutcome::kNoBrowser}) {
    SignInFlow flow(OAuthProvider::kGoogle, Settings(OAuthProvider::kGoogle), SignInPages());
    ASSERT_TRUE(flow.Begin(kStateRandom, kVerifierRandom, 50123, ""));
    flow.Fail(why);
    flow.Fail(SignInOutcome::kUnreachable);
    EXPECT_EQ(Deliver(flow, Get("/?code=c&state=" + StateFromRandom(kStateRandom))), Step::kReplyAndListen);
    EXPECT_EQ(flow.result().outcome, why);
    EXPECT_EQ(SignInResultText(flow.result(), OAuthProvider::kGoogle).empty(), why == SignInOutcome::kCancelled);
  }
  // A time-out during the exchange: the late answer is dropped.
  SignInFlow flow(OAuthProvider::kGoogle, Settings(OAuthProvider::kGoogle), SignInPages());
  ASSERT_TRUE(flow.Begin(kStateRandom, kVerifierRandom, 50123, ""));
  Deliver(flow, Get("/?code=c&state=" + StateFromRandom(kStateRandom)));
  flow.Fail(SignInOutcome::kTimedOut);
  flow.OnExchangeAnswer(true, 200, R"({"access_token":"a","token_type":"Bearer","refresh_token":"r"})", false, 1);
  EXPECT_EQ(flow.result().outcome, SignInOutcome::kTimedOut);
  EXPECT_TRUE(flow.result().refresh_token.empty());
  EXPECT_TRUE(flow.ExchangeBody().empty());
}

TEST(SignInFlow, SettingsNoteNamesSectionAndKey) {
  const std::string note = ProviderSettingsNote(OAuthProvider::kGoogle, ProviderProblem::kNoClientId);
  EXPECT_NE(note.find("[OAuth.Google]"), std::string::npos) << note;
  EXPECT_NE(note.find("ClientId="), std::string::npos) << note;
  EXPECT_NE(ProviderSettingsNote(OAuthProvider::kCustom, ProviderProblem::kNoEndpoint).find("[OAuth.Custom]"),
            std::string::npos);
  EXPECT_EQ(ProviderSettingsNote(OAuthProvider::kMicrosoft, ProviderProblem::kNone), "");
}

}  // namespace
}  // namespace oauth
}  // namespace tidewell
