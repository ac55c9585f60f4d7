// A blocking POSIX stand-in for the tray window's socket driver, for tests
// that run the check session against real servers on the loopback address:
// one socket, poll() for reads, a queue for the messages the session posts,
// a watchdog tick after every quiet interval. Test support only.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tidewell/engine/pop3_session.h"

namespace tidewell::testing {

struct DriveOutcome {
  bool finished = false;                    // WM_TRAY_ACCOUNTDONE was posted
  std::vector<std::string> sent;            // commands, in order
  std::vector<std::pair<int, int>> errors;  // WM_TRAY_ERROR posts, in order
  std::vector<std::size_t> chunks;          // sizes of the received chunks
};

// Runs one session of `account` (server 127.0.0.1, account.port) to its end.
// A watchdog tick is given after every `tick_ms` without a socket event; the
// run gives up after `limit_ms`.
DriveOutcome DriveSession(Pop3Session& session, const SessionAccount& account, EngineData& data,
                          int index, int tick_ms = 60000, int limit_ms = 30000);

// A child process whose first output line is a port number (the test
// servers' CLI). Killed and reaped when destroyed.
class ServerProcess {
 public:
  explicit ServerProcess(const std::vector<std::string>& argv);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  int port() const { return port_; }

 private:
  int pid_ = -1;
  int port_ = 0;
};

// Runs a command and returns its standard output (empty on failure).
std::string RunCommand(const std::vector<std::string>& argv, int* status = nullptr);

bool IsRoot();
bool HaveProgram(const char* path);

}  // namespace tidewell::testing
