#include "common/win32/https_post.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <winhttp.h>

#include <map>
#include <utility>

#include "common/oauth/token.h"
#include "common/win32/tls_channel.h"

namespace tidewell {
namespace {

struct InternetTraits {
  using Handle = HINTERNET;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { WinHttpCloseHandle(h); }
};

class Internet {
 public:
  explicit Internet(HINTERNET h = nullptr) : h_(h) {}
  Internet(const Internet&) = delete;
  Internet& operator=(const Internet&) = delete;
  ~Internet() {
    if (h_) InternetTraits::Close(h_);
  }
  HINTERNET get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HINTERNET h_;
};

std::wstring Wide(const std::string& s) {
  if (s.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::string Failed(const char* step, DWORD error) {
  return std::string(step) + " failed (" + std::to_string(error) + ")";
}

// The errors of a certificate WinHTTP refused (the callback's flags say which
// check it was; SECURE_FAILURE alone also means a certificate).
bool CertificateRefused(DWORD error, DWORD secure_flags) {
  constexpr DWORD kCertificateFlags =
      WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED | WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT |
      WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED | WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA |
      WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID | WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID;
  if (secure_flags & kCertificateFlags) return true;
  switch (error) {
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
      return true;
    default:
      return false;
  }
}

// Some WinHTTPs (Wine's) report a refused certificate as a plain channel
// error. A handshake of our own with the same server, with the checks of the
// POP3 sessions and nothing sent after it, tells whether the certificate was
// the reason.
bool HandshakeRefusesCertificate(const std::wstring& whost, INTERNET_PORT port) {
  std::string host;
  for (wchar_t c : whost) {
    if (c > 0x7E || c < 0x21) return false;
    host += static_cast<char>(c);
  }
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;
  bool refused = false;
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) == 0) {
    for (addrinfo* a = found; a && !refused; a = a->ai_next) {
      SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
      if (s == INVALID_SOCKET) continue;
      DWORD timeout = kHttpsTimeoutMs;
      setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
      setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
      if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) {
        TlsChannel channel;
        TlsStep step = channel.Start(host);
        for (int round = 0; round < 64; ++round) {
          if (!step.send.empty() &&
              send(s, step.send.data(), static_cast<int>(step.send.size()), 0) != static_cast<int>(step.send.size()))
            break;
          if (step.failure != TlsFailure::kNone) {
            refused = step.failure == TlsFailure::kUntrusted || step.failure == TlsFailure::kNameMismatch ||
                      step.failure == TlsFailure::kExpired;
            break;
          }
          if (step.secured) break;
          char buffer[16384];
          const int got = recv(s, buffer, sizeof(buffer), 0);
          if (got <= 0) break;
          step = channel.Receive(std::string_view(buffer, static_cast<std::size_t>(got)));
        }
        closesocket(s);
        break;  // one server answered: its verdict stands
      }
      closesocket(s);
    }
    freeaddrinfo(found);
  }
  WSACleanup();
  return refused;
}

void CALLBACK SecureFailureCallback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
  if (status != WINHTTP_CALLBACK_STATUS_SECURE_FAILURE || !context || !info || length < sizeof(DWORD)) return;
  *reinterpret_cast<DWORD*>(context) |= *static_cast<DWORD*>(info);
}

// ---- the requests of this module ---------------------------------------

struct Request {
  HWND owner = nullptr;
  unsigned message = 0;
  bool done = false;
  HttpsAnswer answer;
};

CRITICAL_SECTION& Lock() {
  static CRITICAL_SECTION* lock = [] {
    static CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    return &cs;
  }();
  return *lock;
}
std::map<unsigned, Request>& Requests() {
  static std::map<unsigned, Request> requests;
  return requests;
}
unsigned g_next_id = 0;

class Locked {
 public:
  Locked() { EnterCriticalSection(&Lock()); }
  ~Locked() { LeaveCriticalSection(&Lock()); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

struct Job {
  unsigned id = 0;
  std::string url;
  std::string body;
  HMODULE module = nullptr;  // held until the worker ends
};

void RunJob(Job& job) {
  HttpsAnswer answer = HttpsPostNow(job.url, job.body);
  // Nothing secret stays in memory longer than needed.
  SecureZeroMemory(&job.body[0], job.body.size());
  HWND owner = nullptr;
  unsigned message = 0;
  {
    Locked lock;
    auto it = Requests().find(job.id);
    if (it == Requests().end()) return;  // cancelled
    it->second.answer = std::move(answer);
    it->second.done = true;
    owner = it->second.owner;
    message = it->second.message;
  }
  if (!PostMessageW(owner, message, static_cast<WPARAM>(job.id), 0)) {
    Locked lock;
    Requests().erase(job.id);  // the window is gone: nobody will take it
  }
}

DWORD WINAPI Worker(LPVOID param) {
  HMODULE module = nullptr;
  {
    Job* job = static_cast<Job*>(param);
    module = job->module;
    RunJob(*job);
    delete job;
  }
  // The module (Quillbox.dll may be unloaded while a refresh runs) goes
  // only after the thread has left its code.
  if (module) FreeLibraryAndExitThread(module, 0);
  return 0;
}

}  // namespace

HttpsAnswer HttpsPostNow(const std::string& url, const std::string& body) {
  HttpsAnswer answer;
  const std::wstring wurl = Wide(url);
  if (wurl.empty()) {
    answer.failure = "bad url";
    return answer;
  }
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wurl.c_str(), static_cast<DWORD>(wurl.size()), 0, &parts) || !parts.lpszHostName ||
      parts.dwHostNameLength == 0) {
    answer.failure = "bad url";
    return answer;
  }
  if (parts.nScheme != INTERNET_SCHEME_HTTPS) {
    answer.failure = "not https";
    return answer;
  }
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path;
  if (parts.lpszUrlPath) path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo) path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty() || path[0] != L'/') path.insert(path.begin(), L'/');

  Internet session(WinHttpOpen(L"Tidewell", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) {
    answer.failure = Failed("open", GetLastError());
    return answer;
  }
  WinHttpSetTimeouts(session.get(), kHttpsTimeoutMs, kHttpsTimeoutMs, kHttpsTimeoutMs, kHttpsTimeoutMs);
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols));
  Internet connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (!connection) {
    answer.failure = Failed("connect", GetLastError());
    return answer;
  }
  Internet request(WinHttpOpenRequest(connection.get(), L"POST", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                      WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
  if (!request) {
    answer.failure = Failed("request", GetLastError());
    return answer;
  }
  // Never follow a redirect with the body; never send the user's Windows
  // credentials; keep no cookies.
  DWORD redirect = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  if (!WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &redirect, sizeof(redirect))) {
    DWORD disable = WINHTTP_DISABLE_REDIRECTS;
    if (!WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof(disable))) {
      answer.failure = Failed("redirect policy", GetLastError());
      return answer;
    }
  }
  DWORD logon = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_AUTOLOGON_POLICY, &logon, sizeof(logon));
  DWORD cookies = WINHTTP_DISABLE_COOKIES;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &cookies, sizeof(cookies));

  DWORD secure_flags = 0;
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&secure_flags);
  WinHttpSetOption(request.get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof(context));
  WinHttpSetStatusCallback(request.get(), SecureFailureCallback, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);

  static const wchar_t kHeaders[] =
      L"Content-Type: application/x-www-form-urlencoded\r\nAccept: application/json\r\n";
  bool sent = false;
  for (int attempt = 0; attempt < 2 && !sent; ++attempt) {
    sent = WinHttpSendRequest(request.get(), kHeaders, static_cast<DWORD>(-1),
                              const_cast<char*>(body.data()), static_cast<DWORD>(body.size()),
                              static_cast<DWORD>(body.size()), 0) &&
           WinHttpReceiveResponse(request.get(), nullptr);
    if (sent) break;
    const DWORD error = GetLastError();
    if (error == ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED && attempt == 0) {
      // A server that asks for a client certificate gets none.
      WinHttpSetOption(request.get(), WINHTTP_OPTION_CLIENT_CERT_CONTEXT, WINHTTP_NO_CLIENT_CERT_CONTEXT, 0);
      continue;
    }
    if (error == ERROR_WINHTTP_RESEND_REQUEST && attempt == 0) continue;
    answer.certificate = CertificateRefused(error, secure_flags) ||
                         (error == ERROR_WINHTTP_SECURE_CHANNEL_ERROR && HandshakeRefusesCertificate(host, parts.nPort));
    answer.failure = answer.certificate ? Failed("certificate", error) : Failed("send", error);
    return answer;
  }
  if (!sent) {
    answer.failure = "send failed";
    return answer;
  }

  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    answer.failure = Failed("status", GetLastError());
    return answer;
  }
  std::string received;
  char chunk[8192];
  for (;;) {
    DWORD got = 0;
    if (!WinHttpReadData(request.get(), chunk, sizeof(chunk), &got)) {
      answer.failure = Failed("read", GetLastError());
      return answer;
    }
    if (got == 0) break;
    if (received.size() + got > oauth::kMaxTokenResponse) {
      answer.failure = "answer too large";
      return answer;
    }
    received.append(chunk, got);
  }
  answer.answered = true;
  answer.status = static_cast<int>(status);
  answer.body = std::move(received);
  return answer;
}

unsigned StartHttpsPost(HWND owner, unsigned message, const std::string& url, const std::string& body) {
  // Refused before any thread starts: not https, or not a URL at all.
  const std::wstring wurl = Wide(url);
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  if (wurl.empty() || !WinHttpCrackUrl(wurl.c_str(), static_cast<DWORD>(wurl.size()), 0, &parts) ||
      parts.nScheme != INTERNET_SCHEME_HTTPS)
    return 0;

  Job* job = new Job;
  job->url = url;
  job->body = body;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&Worker),
                          &job->module)) {
    delete job;
    return 0;
  }
  {
    Locked lock;
    do {
      job->id = ++g_next_id;
    } while (job->id == 0 || Requests().count(job->id));
    Request& r = Requests()[job->id];
    r.owner = owner;
    r.message = message;
  }
  const unsigned id = job->id;
  HANDLE thread = CreateThread(nullptr, 0, Worker, job, 0, nullptr);
  if (!thread) {
    {
      Locked lock;
      Requests().erase(id);
    }
    FreeLibrary(job->module);
    delete job;
    return 0;
  }
  CloseHandle(thread);
  return id;
}

bool TakeHttpsAnswer(unsigned id, HttpsAnswer& out) {
  Locked lock;
  auto it = Requests().find(id);
  if (it == Requests().end() || !it->second.done) return false;
  out = std::move(it->second.answer);
  Requests().erase(it);
  return true;
}

void CancelHttpsPost(unsigned id) {
  Locked lock;
  Requests().erase(id);
}

}  // namespace tidewell
