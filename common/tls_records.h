// TLS record framing for a client that talks through a non-blocking socket.
//
// Received bytes arrive in pieces that have nothing to do with record
// boundaries: one receive may hold part of a record, or several records. The
// reader collects them and hands out whole records (5-byte header + body),
// one at a time, so that the TLS layer above is given complete input and is
// asked again as long as complete records are waiting. Headers are checked
// before a body is waited for: a stream that is not TLS (a clear-text reply,
// an injected line) or promises an oversized record is refused at once
// instead of being buffered.
//
// No I/O and no cryptography here; the Schannel channel (common/win32) uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tidewell {

// Record content types.
enum class TlsContentType : std::uint8_t {
  kChangeCipherSpec = 20,
  kAlert = 21,
  kHandshake = 22,
  kApplicationData = 23,
};

constexpr std::size_t kTlsHeaderSize = 5;
// The largest body a peer may send: 2^14 plaintext bytes plus the 2048 bytes
// the record layer may add (RFC 5246 6.2.3).
constexpr std::size_t kTlsMaxBody = 16384 + 2048;
constexpr std::size_t kTlsMaxRecord = kTlsHeaderSize + kTlsMaxBody;

struct TlsRecordHeader {
  TlsContentType type = TlsContentType::kHandshake;
  std::uint8_t major = 0, minor = 0;
  std::size_t body = 0;  // length of the body that follows the header
};

enum class TlsHeaderCheck {
  kShort,      // fewer than 5 bytes
  kOk,
  kMalformed,  // unknown content type, not version 3.x, empty or oversized body
};

// Reads and checks the header at the start of `bytes`.
TlsHeaderCheck ParseTlsRecordHeader(std::string_view bytes, TlsRecordHeader& out);

// What a record that arrives once the handshake is done stands for. TLS 1.3
// sends its post-handshake messages (session tickets, key updates) inside
// application-data records; a record of the handshake type after the
// handshake is a TLS 1.2 (or older) renegotiation: a new handshake whose
// certificate the client would have to check all over again. It is refused:
// the connection ends with the channel error.
enum class TlsLateRecord {
  kData,           // application data (and TLS 1.3 post-handshake messages)
  kAlert,          // close_notify or a fatal alert: the peer has finished
  kRenegotiation,  // a handshake record: refused
  kUnexpected,     // change_cipher_spec outside a handshake: refused
};

TlsLateRecord ClassifyRecordAfterHandshake(const TlsRecordHeader& header);

class TlsRecordReader {
 public:
  enum class Status {
    kNeedMore,   // no whole record buffered: wait for the next receive
    kRecord,     // `record` holds one whole record, taken off the buffer
    kMalformed,  // the stream is not TLS: stop reading from this peer
  };

  // Adds received bytes. Nothing is dropped; the buffer never holds more than
  // one incomplete record plus the bytes of one receive, because the caller
  // takes records out until kNeedMore after every Append.
  void Append(std::string_view bytes);

  // Takes the next whole record off the front of the buffer. After
  // kMalformed, every further call gives kMalformed.
  Status Next(std::string& record, TlsRecordHeader& header);

  // Puts bytes back in front of the buffer: what the TLS layer left
  // unconsumed of the records it was given.
  void PutBack(std::string_view bytes);

  // Takes every whole record at once (the handshake is given all of them
  // together); kRecord when at least one was taken.
  Status TakeAll(std::string& records);

  std::size_t buffered() const { return buffer_.size() - start_; }
  // Whether an alert record has been handed out (after the handshake it
  // is encrypted: close_notify or a fatal error, either way the end).
  bool alert_seen() const { return alert_seen_; }

 private:
  std::string buffer_;
  std::size_t start_ = 0;  // bytes before this were handed out
  bool malformed_ = false;
  bool alert_seen_ = false;
};

}  // namespace tidewell
