#include "common/tls_records.h"

namespace tidewell {

TlsHeaderCheck ParseTlsRecordHeader(std::string_view bytes, TlsRecordHeader& out) {
  if (bytes.size() < kTlsHeaderSize) return TlsHeaderCheck::kShort;
  const auto byte = [&bytes](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::uint8_t type = byte(0);
  if (type < static_cast<std::uint8_t>(TlsContentType::kChangeCipherSpec) ||
      type > static_cast<std::uint8_t>(TlsContentType::kApplicationData))
    return TlsHeaderCheck::kMalformed;
  out.type = static_cast<TlsContentType>(type);
  out.major = byte(1);
  out.minor = byte(2);
  out.body = static_cast<std::size_t>(byte(3)) << 8 | byte(4);
  // SSL 3.0 to TLS 1.3 all carry 3.x on the wire.
  if (out.major != 3 || out.body == 0 || out.body > kTlsMaxBody) return TlsHeaderCheck::kMalformed;
  return TlsHeaderCheck::kOk;
}

TlsLateRecord ClassifyRecordAfterHandshake(const TlsRecordHeader& header) {
  switch (header.type) {
    case TlsContentType::kApplicationData: return TlsLateRecord::kData;
    case TlsContentType::kAlert: return TlsLateRecord::kAlert;
    case TlsContentType::kHandshake: return TlsLateRecord::kRenegotiation;
    case TlsContentType::kChangeCipherSpec: break;
  }
  return TlsLateRecord::kUnexpected;
}

void TlsRecordReader::Append(std::string_view bytes) {
  if (start_ > 0 && start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
  buffer_.append(bytes);
}

void TlsRecordReader::PutBack(std::string_view bytes) {
  buffer_.erase(0, start_);
  start_ = 0;
  buffer_.insert(0, bytes);
}

TlsRecordReader::Status TlsRecordReader::Next(std::string& record, TlsRecordHeader& header) {
  if (malformed_) return Status::kMalformed;
  const std::string_view rest = std::string_view(buffer_).substr(start_);
  switch (ParseTlsRecordHeader(rest, header)) {
    case TlsHeaderCheck::kShort: return Status::kNeedMore;
    case TlsHeaderCheck::kMalformed: malformed_ = true; return Status::kMalformed;
    case TlsHeaderCheck::kOk: break;
  }
  const std::size_t whole = kTlsHeaderSize + header.body;
  if (rest.size() < whole) return Status::kNeedMore;
  record.assign(rest.substr(0, whole));
  start_ += whole;
  if (header.type == TlsContentType::kAlert) alert_seen_ = true;
  // Compact once the handed-out part dominates, so the buffer stays small.
  if (start_ > kTlsMaxRecord && start_ * 2 > buffer_.size()) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  return Status::kRecord;
}

TlsRecordReader::Status TlsRecordReader::TakeAll(std::string& records) {
  records.clear();
  std::string one;
  TlsRecordHeader header;
  while (true) {
    const Status s = Next(one, header);
    if (s == Status::kMalformed) return s;
    if (s == Status::kNeedMore) break;
    records += one;
  }
  return records.empty() ? Status::kNeedMore : Status::kRecord;
}

}  // namespace tidewell
