#include "support/pop3_socket_driver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <deque>

namespace tidewell::testing {

namespace {

using Kind = SessionAction::Kind;
using Clock = std::chrono::steady_clock;

struct Driver {
  Pop3Session& session;
  DriveOutcome& out;
  int fd = -1;
  bool watchdog = false;
  bool eof = false;
  std::deque<SessionAction> queue;

  void Close() {
    if (fd < 0) return;
    shutdown(fd, SHUT_WR);
    // At most 64 KiB, as the tray program: a server that keeps sending would
    // keep an unbounded loop going.
    char buf[1024];
    for (int i = 0; i < 64 && recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0; ++i) {
    }
    shutdown(fd, SHUT_RDWR);
    close(fd);
    fd = -1;
  }

  void Run(const SessionActions& actions) {
    for (const auto& a : actions) {
      switch (a.kind) {
        case Kind::kSend:
          out.sent.push_back(a.text);
          if (fd >= 0) (void)send(fd, a.text.data(), a.text.size(), MSG_NOSIGNAL);
          break;
        case Kind::kPostContinue:
        case Kind::kPostError:
        case Kind::kAccountDone: queue.push_back(a); break;
        case Kind::kKillWatchdog: watchdog = false; break;
        case Kind::kCloseConnection: Close(); break;
        // This driver has no TLS layer: the session fails as a handshake would.
        case Kind::kStartTls: PostError(kTlsErrorPhase, kTlsHandshakeFailed); break;
        // Nor a token endpoint: a fresh token cannot be had.
        case Kind::kRefreshToken: queue.push_back(a); break;
      }
    }
  }

  void PostError(int phase, int code) { queue.push_back(SessionAction(Kind::kPostError, "", phase, code)); }
};

}  // namespace

DriveOutcome DriveSession(Pop3Session& session, const SessionAccount& account, EngineData& data,
                          int index, int tick_ms, int limit_ms) {
  DriveOutcome out;
  Driver d{session, out, -1, false, false, {}};
  session.Start(account, data, index);

  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<unsigned short>(account.port));
  inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
  d.fd = socket(AF_INET, SOCK_STREAM, 0);
  if (d.fd < 0) {
    d.PostError(1, 3);
  } else if (connect(d.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(d.fd);
    d.fd = -1;
    d.PostError(1, 5);
  }
  d.watchdog = true;

  const auto deadline = Clock::now() + std::chrono::milliseconds(limit_ms);
  while (Clock::now() < deadline) {
    if (!d.queue.empty()) {
      SessionAction m = d.queue.front();
      d.queue.pop_front();
      if (m.kind == Kind::kAccountDone) {
        out.finished = true;
        break;
      }
      if (m.kind == Kind::kPostContinue) {
        d.Run(session.OnContinue());
      } else if (m.kind == Kind::kRefreshToken) {
        d.Run(session.OnTokenFailure(kSignInRefreshFailed));
      } else {
        out.errors.emplace_back(m.phase, m.code);
        d.Run(session.OnError(m.phase, m.code));
      }
      continue;
    }
    if (d.fd < 0 || d.eof) {
      if (!d.watchdog) break;  // nothing can happen any more
      usleep(static_cast<useconds_t>(tick_ms) * 1000);
      d.Run(session.OnWatchdogTick());
      continue;
    }
    pollfd p{d.fd, POLLIN, 0};
    const int r = poll(&p, 1, d.watchdog ? tick_ms : 100);
    if (r == 0) {
      if (d.watchdog) d.Run(session.OnWatchdogTick());
      continue;
    }
    if (r < 0) continue;
    session.OnSocketEvent();
    char buf[kMaxChunk];
    const ssize_t n = recv(d.fd, buf, sizeof buf, 0);
    if (n <= 0) {
      // Like FD_READ, a closed connection reports once.
      d.eof = true;
      d.PostError(3, 1);
      continue;
    }
    out.chunks.push_back(static_cast<std::size_t>(n));
    d.Run(session.OnReceive(std::string_view(buf, static_cast<std::size_t>(n))));
  }
  d.Close();
  return out;
}

ServerProcess::ServerProcess(const std::vector<std::string>& argv) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(pipefd[1], 1);
    close(pipefd[0]);
    close(pipefd[1]);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(pipefd[1]);
  std::string line;
  char c;
  while (read(pipefd[0], &c, 1) == 1 && c != '\n') line += c;
  close(pipefd[0]);
  port_ = std::atoi(line.c_str());
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

std::string RunCommand(const std::vector<std::string>& argv, int* status) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipefd[1], 1);
    close(pipefd[0]);
    close(pipefd[1]);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(pipefd[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = read(pipefd[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
  close(pipefd[0]);
  int st = 0;
  waitpid(pid, &st, 0);
  if (status) *status = st;
  return out;
}

bool IsRoot() { return geteuid() == 0; }

bool HaveProgram(const char* path) { return access(path, X_OK) == 0; }

}  // namespace tidewell::testing
