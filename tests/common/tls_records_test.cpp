// TLS record framing: whole records out of receives cut anywhere, several
// records in one receive, and streams that are not TLS refused at the header.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/tls_records.h"

namespace tidewell {
namespace {

std::string Record(int type, const std::string& body, int major = 3, int minor = 3) {
  std::string r;
  r += static_cast<char>(type);
  r += static_cast<char>(major);
  r += static_cast<char>(minor);
  r += static_cast<char>(body.size() >> 8);
  r += static_cast<char>(body.size() & 0xFF);
  return r + body;
}

// Feeds `pieces` one receive at a time and takes records after each, as the
// channel does; returns the records in order, or stops at kMalformed.
struct Fed {
  std::vector<std::string> records;
  std::vector<int> types;
  bool malformed = false;
  std::size_t left = 0;
  bool alert = false;
};

Fed Feed(const std::vector<std::string>& pieces) {
  Fed fed;
  TlsRecordReader reader;
  for (const std::string& piece : pieces) {
    reader.Append(piece);
    std::string record;
    TlsRecordHeader header;
    TlsRecordReader::Status s;
    while ((s = reader.Next(record, header)) == TlsRecordReader::Status::kRecord) {
      fed.records.push_back(record);
      fed.types.push_back(static_cast<int>(header.type));
    }
    if (s == TlsRecordReader::Status::kMalformed) {
      fed.malformed = true;
      break;
    }
  }
  fed.left = reader.buffered();
  fed.alert = reader.alert_seen();
  return fed;
}

const std::string kHello = Record(22, std::string(90, 'h'));
const std::string kCcs = Record(20, "\x01");
const std::string kFinished = Record(22, std::string(40, 'f'));
const std::string kData = Record(23, std::string(300, 'd'));
const std::string kBig = Record(23, std::string(kTlsMaxBody, 'b'));
const std::string kCloseNotify = Record(21, std::string(26, 'a'));  // encrypted alert

TEST(TlsRecords, WholeRecordsComeOutWhereverTheReceivesAreCut) {
  const std::string stream = kHello + kCcs + kFinished + kData + kBig + kCloseNotify;
  const std::vector<std::string> expected = {kHello, kCcs, kFinished, kData, kBig, kCloseNotify};
  struct Case {
    const char* what;
    std::vector<std::string> pieces;
  };
  std::vector<Case> cases = {
      {"one receive holds everything", {stream}},
      {"header split after 1 byte", {stream.substr(0, 1), stream.substr(1)}},
      {"header split after 4 bytes", {stream.substr(0, 4), stream.substr(4)}},
      {"body split", {stream.substr(0, 50), stream.substr(50)}},
      {"record end and next header in one piece",
       {stream.substr(0, kHello.size() - 2), stream.substr(kHello.size() - 2, 5), stream.substr(kHello.size() + 3)}},
      {"receives of 8192 bytes", {}},
      {"byte by byte", {}},
  };
  for (std::size_t i = 0; i < stream.size(); i += 8192) cases[5].pieces.push_back(stream.substr(i, 8192));
  for (char c : stream) cases[6].pieces.push_back(std::string(1, c));
  for (const Case& c : cases) {
    const Fed fed = Feed(c.pieces);
    EXPECT_FALSE(fed.malformed) << c.what;
    EXPECT_EQ(fed.records, expected) << c.what;
    EXPECT_EQ(fed.types, (std::vector<int>{22, 20, 22, 23, 23, 21})) << c.what;
    EXPECT_EQ(fed.left, 0u) << c.what;
    EXPECT_TRUE(fed.alert) << c.what;  // the close_notify is seen as the end
  }
}

TEST(TlsRecords, AnIncompleteRecordWaitsAndStaysBuffered) {
  const Fed fed = Feed({kHello + kData.substr(0, 10)});
  EXPECT_EQ(fed.records, std::vector<std::string>{kHello});
  EXPECT_EQ(fed.left, 10u);
  EXPECT_FALSE(fed.alert);
}

// Anything that is not a TLS record header is refused as soon as its five
// bytes are there, before any body is waited for.
TEST(TlsRecords, StreamsThatAreNotTlsAreRefusedAtTheHeader) {
  struct Case {
    const char* what;
    std::string bytes;
    std::size_t good_records;
  };
  const Case cases[] = {
      {"clear-text reply", "+OK POP3 ready\r\n", 0},
      {"clear text after a record", kHello + "USER x\r\n", 1},
      {"unknown content type 24", Record(24, "x"), 0},
      {"content type 19", Record(19, "x"), 0},
      {"SSL 2 style major version", Record(22, "x", 2, 0), 0},
      {"empty body", Record(23, ""), 0},
      {"oversized body", std::string("\x17\x03\x03\x48\x01", 5), 0},
  };
  for (const Case& c : cases) {
    const Fed fed = Feed({c.bytes});
    EXPECT_TRUE(fed.malformed) << c.what;
    EXPECT_EQ(fed.records.size(), c.good_records) << c.what;
  }
  // Once refused, the reader stays refused, even when good records follow.
  TlsRecordReader reader;
  reader.Append("-ERR\r\n" + kHello);
  std::string record;
  TlsRecordHeader header;
  EXPECT_EQ(reader.Next(record, header), TlsRecordReader::Status::kMalformed);
  EXPECT_EQ(reader.Next(record, header), TlsRecordReader::Status::kMalformed);
}

TEST(TlsRecords, TakeAllAndPutBackKeepTheStreamInOrder) {
  TlsRecordReader reader;
  reader.Append(kHello + kCcs + kFinished.substr(0, 7));
  std::string all;
  ASSERT_EQ(reader.TakeAll(all), TlsRecordReader::Status::kRecord);
  EXPECT_EQ(all, kHello + kCcs);
  // The layer consumed the hello and asks for the rest again later.
  reader.PutBack(kCcs);
  EXPECT_EQ(reader.buffered(), kCcs.size() + 7);
  reader.Append(kFinished.substr(7) + kData);
  ASSERT_EQ(reader.TakeAll(all), TlsRecordReader::Status::kRecord);
  EXPECT_EQ(all, kCcs + kFinished + kData);
  EXPECT_EQ(reader.TakeAll(all), TlsRecordReader::Status::kNeedMore);
  EXPECT_EQ(reader.buffered(), 0u);
}

TEST(TlsRecords, HeaderFields) {
  TlsRecordHeader h;
  EXPECT_EQ(ParseTlsRecordHeader(std::string("\x16\x03\x01\x00", 4), h), TlsHeaderCheck::kShort);
  ASSERT_EQ(ParseTlsRecordHeader(std::string("\x16\x03\x01\x48\x00", 5), h), TlsHeaderCheck::kOk);
  EXPECT_EQ(h.type, TlsContentType::kHandshake);
  EXPECT_EQ(h.minor, 1);
  EXPECT_EQ(h.body, kTlsMaxBody);  // the largest body allowed
}

// Once the handshake is done: TLS 1.3 tickets and key updates travel as
// application data; a handshake record is a TLS 1.2 renegotiation, refused.
TEST(TlsRecords, RecordsAfterTheHandshake) {
  struct Case {
    const char* header;
    TlsLateRecord expected;
  };
  const Case cases[] = {
      {"\x17\x03\x03\x00\x20", TlsLateRecord::kData},           // application data (also 1.3 tickets)
      {"\x15\x03\x03\x00\x1A", TlsLateRecord::kAlert},          // close_notify, encrypted
      {"\x16\x03\x03\x00\x20", TlsLateRecord::kRenegotiation},  // HelloRequest under TLS 1.2
      {"\x14\x03\x03\x00\x01", TlsLateRecord::kUnexpected},     // change_cipher_spec
  };
  for (const Case& c : cases) {
    TlsRecordHeader h;
    ASSERT_EQ(ParseTlsRecordHeader(std::string(c.header, 5), h), TlsHeaderCheck::kOk);
    EXPECT_EQ(ClassifyRecordAfterHandshake(h), c.expected) << static_cast<int>(c.header[0]);
  }
}

}  // namespace
}  // namespace tidewell
