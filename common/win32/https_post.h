// HTTPS POST for the OAuth token endpoint: WinHTTP on a worker thread, the
// answer handed back to a window as a posted message, so no window waits.
//
// Only https:// is accepted. Redirects are never followed (a POST carries a
// refresh token or an authorization code, which must go nowhere else), so a
// 3xx comes back as an answer of its own. The server's certificate is checked
// by WinHTTP (a chain to a root the user or the machine trusts, the host
// name); a refused certificate is never overridden. The body read is bounded
// by oauth::kMaxTokenResponse; every wait (name, connect, send, receive) by
// kHttpsTimeoutMs.
#pragma once

#include <windows.h>

#include <string>

namespace tidewell {

constexpr int kHttpsTimeoutMs = 30000;

struct HttpsAnswer {
  bool answered = false;     // an HTTP response arrived (any status)
  int status = 0;
  std::string body;          // at most oauth::kMaxTokenResponse bytes (more: not answered, failure set)
  std::string failure;       // why not answered: a short English reason for logs/tests, never shown as is
  bool certificate = false;  // not answered because the server's certificate was refused
};

// POSTs application/x-www-form-urlencoded `body` to the https:// `url` on a
// worker thread; when done, posts `message` to `owner` with wParam = the
// returned id. 0 when it could not start. http:// URLs are refused (0).
unsigned StartHttpsPost(HWND owner, unsigned message, const std::string& url, const std::string& body);

// The answer of a finished request (once); false when unknown, cancelled or
// not finished.
bool TakeHttpsAnswer(unsigned id, HttpsAnswer& out);

// Drops a request (its message may still arrive and is then ignored by
// TakeHttpsAnswer returning false). The worker runs on to its time-outs at
// most; it keeps the module that started it loaded until it ends.
void CancelHttpsPost(unsigned id);

// The answer for `url` and `body` on the calling thread (what the worker
// runs). For tests and callers that are themselves on a worker.
HttpsAnswer HttpsPostNow(const std::string& url, const std::string& body);

}  // namespace tidewell
