#include "common/oauth/loopback_redirect.h"

#include <algorithm>

#include "common/oauth/url.h"

namespace tidewell {
namespace oauth {
namespace {

std::string Response(const char* status, const std::string& charset, const std::string& body) {
  std::string r = "HTTP/1.1 ";
  r += status;
  r += "\r\nContent-Type: text/html; charset=" + charset;
  r += "\r\nContent-Length: " + std::to_string(body.size());
  r += "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
  return r + body;
}

// Constant-time comparison: the state is a secret of the request.
bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace

LoopbackRedirect::LoopbackRedirect(std::string expected_state, RedirectPages pages)
    : expected_state_(std::move(expected_state)), pages_(std::move(pages)) {}

LoopbackRedirect::Status LoopbackRedirect::Finish(Status status) {
  status_ = status;
  head_.clear();
  head_.shrink_to_fit();
  switch (status) {
    case Status::kCode:
      reply_ = Response("200 OK", pages_.charset, pages_.signed_in);
      break;
    case Status::kIgnored:
      reply_ = Response("404 Not Found", pages_.charset, std::string());
      break;
    case Status::kDenied:
      reply_ = Response("200 OK", pages_.charset, pages_.failed);
      break;
    default:
      reply_ = Response("400 Bad Request", pages_.charset, pages_.failed);
      break;
  }
  return status_;
}

LoopbackRedirect::Status LoopbackRedirect::Feed(std::string_view bytes) {
  if (status_ != Status::kNeedMore) return status_;
  const std::size_t before = head_.size();
  head_.append(bytes.substr(0, kMaxRequest - before));
  // Bytes that cannot begin "GET " are refused without waiting for more.
  const std::string_view get = "GET ";
  const std::size_t start = std::min(head_.size(), get.size());
  if (std::string_view(head_).substr(0, start) != get.substr(0, start)) return Finish(Status::kMalformed);
  // Only the new bytes (and the three before them) can complete the blank line.
  const std::size_t end = head_.find("\r\n\r\n", before < 3 ? 0 : before - 3);
  if (end == std::string::npos) {
    // A head that does not end within the bound is refused.
    if (head_.size() >= kMaxRequest) return Finish(Status::kMalformed);
    return Status::kNeedMore;
  }
  const std::size_t line_end = head_.find("\r\n");
  return Examine(std::string_view(head_).substr(0, line_end));
}

LoopbackRedirect::Status LoopbackRedirect::Examine(std::string_view line) {
  // "GET <target> HTTP/1.x"
  if (line.substr(0, 4) != "GET ") return Finish(Status::kMalformed);
  line.remove_prefix(4);
  const std::size_t sp = line.find(' ');
  if (sp == std::string_view::npos) return Finish(Status::kMalformed);
  const std::string_view version = line.substr(sp + 1);
  if (version != "HTTP/1.1" && version != "HTTP/1.0") return Finish(Status::kMalformed);
  std::string_view target = line.substr(0, sp);
  const std::size_t hash = target.find('#');
  if (hash != std::string_view::npos) target = target.substr(0, hash);
  const std::size_t q = target.find('?');
  const std::string_view path = target.substr(0, q);
  if (path != "/") return Finish(Status::kIgnored);
  FormFields fields;
  if (q == std::string_view::npos || !FormDecode(target.substr(q + 1), fields)) return Finish(Status::kBadState);
  const std::string* state = nullptr;
  const std::string* code = nullptr;
  const std::string* error = nullptr;
  const std::string* description = nullptr;
  for (const auto& f : fields) {
    const std::string** slot = f.first == "state"               ? &state
                               : f.first == "code"              ? &code
                               : f.first == "error"             ? &error
                               : f.first == "error_description" ? &description
                                                                : nullptr;
    if (slot == nullptr) continue;
    if (*slot != nullptr || f.second.size() > kMaxValue) return Finish(Status::kBadState);  // repeated or huge
    *slot = &f.second;
  }
  if (state == nullptr || expected_state_.empty() || !SameText(*state, expected_state_)) {
    return Finish(Status::kBadState);
  }
  if (error != nullptr && !error->empty()) {
    error_ = *error;
    if (description != nullptr) error_description_ = *description;
    return Finish(Status::kDenied);
  }
  if (code == nullptr || code->empty()) return Finish(Status::kMalformed);
  code_ = *code;
  return Finish(Status::kCode);
}

}  // namespace oauth
}  // namespace tidewell
