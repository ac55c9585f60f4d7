// TLS record framing fed any bytes in any pieces: the records handed out are
// the input in order, each with a valid header and whole body; a refused
// stream stays refused; nothing is lost or invented.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/tls_records.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte chooses the piece size (1 to 256 bytes).
  const std::size_t piece = static_cast<std::size_t>(data[0]) + 1;
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  tidewell::TlsRecordReader reader;
  std::string out;
  bool refused = false;
  for (std::size_t at = 0; at < input.size() && !refused; at += piece) {
    reader.Append(input.substr(at, piece));
    std::string record;
    tidewell::TlsRecordHeader header;
    while (true) {
      const auto s = reader.Next(record, header);
      if (s == tidewell::TlsRecordReader::Status::kMalformed) {
        refused = true;
        Check(reader.Next(record, header) == tidewell::TlsRecordReader::Status::kMalformed);
        break;
      }
      if (s == tidewell::TlsRecordReader::Status::kNeedMore) break;
      tidewell::TlsRecordHeader again;
      Check(tidewell::ParseTlsRecordHeader(record, again) == tidewell::TlsHeaderCheck::kOk);
      Check(record.size() == tidewell::kTlsHeaderSize + again.body && again.body <= tidewell::kTlsMaxBody);
      out += record;
    }
    // Never more than one unfinished record plus the last piece waits.
    Check(reader.buffered() <= tidewell::kTlsMaxRecord + piece);
  }
  Check(input.substr(0, out.size()) == out);
  if (!refused) Check(out.size() + reader.buffered() == input.size());
  return 0;
}
