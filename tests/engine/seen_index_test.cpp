// The seen-before index must answer exactly as a plain search of the previous
// account mail file does.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tidewell/engine/seen_index.h"

namespace tidewell {
namespace {

bool BruteForce(const std::string& file, const std::string& reply) {
  return file.find(reply) != std::string::npos;
}

TEST(SeenIndex, TrickyFilesAndReplies) {
  struct Case { const char* name; std::string file; std::string reply; };
  const std::string a = "+OK\r\nFrom: a\r\n\r\n.\r\n";
  const Case cases[] = {
      {"whole entry", "+OK 1 10\r\n" + a, a},
      {"empty file", "", a},
      {"entry cut short", "+OK 1 10\r\n" + a.substr(0, a.size() - 1), a},
      {"reply is a suffix of a longer first line", "+OK 1 10\r\nX+OK\r\nFrom: a\r\n\r\n.\r\n", a},
      {"first line differs", "+OK 1 10\r\n+OK x\r\nFrom: a\r\n\r\n.\r\n", a},
      {"tail differs", "+OK 1 10\r\n+OK\r\nFrom: b\r\n\r\n.\r\n", a},
      {"second entry", "+OK 1 10\r\n+OK\r\nFrom: b\r\n\r\n.\r\n+OK 2 10\r\n" + a, a},
      {"spans two entries", "+OK\r\nX: 1\r\n.\r\n+OK\r\nY\r\n.\r\n", "+OK\r\nX: 1\r\n.\r\n+OK\r\nY\r\n.\r\n"},
      {"overlapping terminators", "+OK\r\n.\r\n.\r\n", "+OK\r\n.\r\n.\r\n"},
      {"no header lines", "+OK 1 1\r\n+OK\r\n.\r\n", "+OK\r\n.\r\n"},
      {"no header lines, absent", "+OK 1 1\r\n+OK \r\n.\r\n", "+OK\r\n.\r\n"},
      {"bytes after the terminator", "+OK 1 10\r\n" + a + "zz", a + "z"},
      {"no terminator in the reply", "+OK 1 10\r\n" + a, "From: a"},
      {"empty reply", "abc", ""},
      {"zero bytes", std::string("+OK\r\nA\0B\r\n.\r\n", 13), std::string("+OK\r\nA\0B\r\n.\r\n", 13)},
      {"error entry", "*ERR\r\nmessage\r\n.\r\n", "*ERR\r\nmessage\r\n.\r\n"},
  };
  for (const Case& c : cases) {
    SeenIndex index(c.file);
    EXPECT_EQ(index.Contains(c.reply), BruteForce(c.file, c.reply)) << c.name;
  }
}

// Small alphabets make line breaks, dots and terminators collide in every
// possible way; the index must agree with std::string::find on all of them.
TEST(SeenIndex, AgreesWithPlainSearchOnRandomInput) {
  std::mt19937 rng(20240101);
  const char alphabet[] = {'\r', '\n', '.', '+', 'a', 'b'};
  auto random_text = [&](std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += alphabet[rng() % sizeof alphabet];
    return s;
  };
  int found = 0;
  for (int round = 0; round < 300; ++round) {
    // A file of entries "+OK n\r\n" + reply, some with random noise.
    std::vector<std::string> replies;
    std::string file;
    const int entries = 1 + rng() % 8;
    for (int e = 0; e < entries; ++e) {
      std::string reply = "+OK" + random_text(rng() % 3) + "\r\n" + random_text(rng() % 12) + "\r\n.\r\n";
      replies.push_back(reply);
      file += "+OK " + std::to_string(e) + "\r\n" + reply;
      if (rng() % 4 == 0) file += random_text(rng() % 6);
    }
    SeenIndex index(file);
    std::vector<std::string> queries = replies;
    for (int q = 0; q < 20; ++q) {
      std::string r = replies[rng() % replies.size()];
      switch (rng() % 4) {
        case 0: r[rng() % r.size()] = alphabet[rng() % sizeof alphabet]; break;
        case 1: r = random_text(rng() % 4) + "\r\n" + random_text(rng() % 8) + "\r\n.\r\n"; break;
        case 2: r = r.substr(rng() % r.size()); break;
        default: r = random_text(1 + rng() % 12); break;
      }
      queries.push_back(r);
    }
    for (const std::string& q : queries) {
      const bool expected = BruteForce(file, q);
      found += expected;
      ASSERT_EQ(index.Contains(q), expected) << "round " << round;
    }
  }
  EXPECT_GT(found, 300);  // the table above must not be only misses
}

// A previous file of tiny header lines (more line starts than the index
// keeps) is searched plainly, with the same answers.
TEST(SeenIndex, FileOfTinyLinesIsSearchedPlainly) {
  std::string tiny = "+OK\r\n";
  for (std::size_t i = 0; i <= SeenIndex::kMaxIndexed; ++i) tiny += "a\r\n";
  tiny += "\r\n.\r\n";
  const std::string other = "+OK\r\nFrom: b\r\n\r\n.\r\n";
  const std::string file = "+OK 1 10\r\n" + tiny + "+OK 2 10\r\n" + other;
  SeenIndex index(file);
  EXPECT_TRUE(index.Contains(tiny));
  EXPECT_TRUE(index.Contains(other));
  EXPECT_FALSE(index.Contains("+OK\r\nFrom: c\r\n\r\n.\r\n"));
}

}  // namespace
}  // namespace tidewell
