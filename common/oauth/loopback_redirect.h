// The loopback end of the authorization (RFC 8252 section 7.3): the browser
// is sent to http://127.0.0.1:PORT/?code=...&state=... and the program,
// listening there, reads that one request. Sans-I/O: the driver feeds each
// receive of one accepted connection; the reader says when the request is
// whole and gives the HTTP reply to send before closing that connection.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tidewell {
namespace oauth {

// The pages the browser shows after the redirect, in the charset named (the
// program passes its own Shift_JIS texts).
struct RedirectPages {
  std::string charset = "Shift_JIS";
  std::string signed_in;  // the code arrived: the user may close the tab
  std::string failed;     // the provider refused, or the request was not ours
};

class LoopbackRedirect {
 public:
  // A request head larger than this is refused (the redirect is one line of
  // a few hundred bytes plus the browser's headers).
  static constexpr std::size_t kMaxRequest = 16 * 1024;
  // Longest code, state or error text kept.
  static constexpr std::size_t kMaxValue = 4096;

  enum class Status {
    kNeedMore,   // feed the next receive
    kCode,       // code() holds the authorization code; send reply(), close
    kDenied,     // the provider answered error=: error(), error_description()
    kBadState,   // state missing or not ours: not an answer to our request
    kMalformed,  // not an HTTP GET request we can read, or too large
    kIgnored,    // another path (such as /favicon.ico): 404, keep listening
  };

  LoopbackRedirect(std::string expected_state, RedirectPages pages);

  // Takes the bytes of one receive. Once a status other than kNeedMore is
  // given, further bytes are ignored and the same status is given again.
  Status Feed(std::string_view bytes);

  // The whole HTTP response to send (Connection: close), set with the final
  // status.
  const std::string& reply() const { return reply_; }
  const std::string& code() const { return code_; }
  const std::string& error() const { return error_; }
  const std::string& error_description() const { return error_description_; }

  // Whether the flow has its answer: kCode, kDenied. kBadState, kMalformed
  // and kIgnored leave the listener waiting for another connection.
  static bool Final(Status status) { return status == Status::kCode || status == Status::kDenied; }

 private:
  Status Finish(Status status);
  Status Examine(std::string_view request_line);

  std::string expected_state_;
  RedirectPages pages_;
  std::string head_;
  Status status_ = Status::kNeedMore;
  std::string reply_;
  std::string code_;
  std::string error_;
  std::string error_description_;
};

}  // namespace oauth
}  // namespace tidewell
