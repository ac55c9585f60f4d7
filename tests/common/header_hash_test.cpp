// The one header hash rule of the tray program, the list and the delete
// match: the header after the status line with its first Status field gone.
#include "common/header_hash.h"

#include <gtest/gtest.h>

#include <string>

namespace tidewell {
namespace {

TEST(HeaderHash, FirstStatusFieldGoesWithItsFoldedLinesAndLineBreak) {
  struct Case {
    const char* name;
    std::string header;
    std::string text;
  };
  const std::string tail = "\r\n.\r\n";
  const Case cases[] = {
      {"no status", "A: 1\r\nB: 2\r\n", "A: 1\r\nB: 2\r\n"},
      {"status in the middle", "A: 1\r\nStatus: RO\r\nB: 2\r\n", "A: 1\r\nB: 2\r\n"},
      {"status last", "A: 1\r\nStatus: O\r\n", "A: 1\r\n"},
      {"status first", "Status: RO\r\nA: 1\r\n", "A: 1\r\n"},
      {"any letter case", "A: 1\r\nSTATUS: R\r\n", "A: 1\r\n"},
      {"blanks before the colon", "A: 1\r\nStatus \t: RO\r\nB: 2\r\n", "A: 1\r\nB: 2\r\n"},
      {"folded", "A: 1\r\nStatus: R\r\n O\r\n\tU\r\nB: 2\r\n", "A: 1\r\nB: 2\r\n"},
      {"only the first of two", "A: 1\r\nStatus: O\r\nB: 2\r\nStatus: O\r\n", "A: 1\r\nB: 2\r\nStatus: O\r\n"},
      {"a longer second one stays whole", "A: 1\r\nStatus: O\r\nStatus: OR\r\n", "A: 1\r\nStatus: OR\r\n"},
      {"X-Status stays", "A: 1\r\nX-Status: F\r\n", "A: 1\r\nX-Status: F\r\n"},
      {"no colon is no field", "A: 1\r\nStatusline here\r\n", "A: 1\r\nStatusline here\r\n"},
      {"status inside a value", "Subject: Status: fine\r\n", "Subject: Status: fine\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text;
    ASSERT_TRUE(HeaderHashText("+OK 1 100\r\n+OK\r\n" + c.header + tail, text));
    EXPECT_EQ(text, c.text + tail);
    // A reply as the server sends it gives the same text, with or without
    // body lines (a Status line in the body is the body's business).
    ASSERT_TRUE(ReplyHeaderHashText("+OK\r\n" + c.header + tail, text));
    EXPECT_EQ(text, c.text + tail);
    ASSERT_TRUE(ReplyHeaderHashText("+OK 120 octets\r\n" + c.header + "\r\nStatus: body\r\nline\r\n.\r\n", text));
    EXPECT_EQ(text, c.text + tail);
  }
}

TEST(HeaderHash, IncompleteTextGivesNoHash) {
  std::string text = "x";
  EXPECT_FALSE(HeaderHashText("+OK 1 100\r\n+OK", text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(ReplyHeaderHashText("+OK", text));
  EXPECT_FALSE(ReplyHeaderHashText("+OK\r\nSubject: s\r\nFrom: f", text));
  // A mail without body and without empty line is its own header; a bare
  // terminator is an empty header.
  ASSERT_TRUE(ReplyHeaderHashText("+OK\r\nSubject: s\r\n.\r\n", text));
  EXPECT_EQ(text, "Subject: s\r\n.\r\n");
  ASSERT_TRUE(ReplyHeaderHashText("+OK\r\n.\r\n", text));
  EXPECT_EQ(text, ".\r\n");
}

}  // namespace
}  // namespace tidewell
