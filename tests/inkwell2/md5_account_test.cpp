// MD5Calc and the Account.dat reader behind GetAccount.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inkwell2/codec.h"

using inkwell2::AccountAnswer;
using inkwell2::AccountQuery;
using inkwell2::read_account;

namespace {

TEST(Md5, Rfc1321Vectors) {
  const struct {
    std::string in, hex;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      // APOP example of RFC 1939: time stamp followed by the secret.
      {"<1896.697170952@dbc.mtview.ca.us>tanstaaf", "c4c9334bac560ecc979e58001b3e22fb"},
  };
  for (const auto& c : cases) EXPECT_EQ(inkwell2::md5_hex(c.in), c.hex) << c.in;
}

TEST(Md5, PiecewiseUpdatesAgreeAroundBlockEdges) {
  std::string data;
  for (int i = 0; i < 300; ++i) data.push_back(static_cast<char>(i * 7 + 3));
  for (std::size_t len : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 300u}) {
    const std::string whole = inkwell2::md5_hex(data.substr(0, len));
    for (std::size_t split = 0; split <= len; split += 13) {
      inkwell2::Md5 m;
      m.update(data.data(), split);
      m.update(data.data() + split, len - split);
      EXPECT_EQ(m.hex(), whole) << len << "/" << split;
    }
  }
  // The hex text is lower case and a second hex() gives the same digest.
  inkwell2::Md5 m;
  m.update("abc", 3);
  EXPECT_EQ(m.hex(), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(m.hex(), "900150983cd24fb0d6963f7d28e17f72");
}

// Two accounts, "home" (bob / abc, pop.ex.com, USER/PASS, 110) and
// "work" (alice / pw, mail, APOP, 995), in each file version.
const unsigned char kV5[] = {
    'T', 'i', 'd', 'e', 'w', 'e', 'l', 'l', 'v', 5, 2,
    // home
    4, 'h', 'o', 'm', 'e', 3, 'b', 'o', 'b', 3, 'a', 'c', 'e',
    0, 10, 'p', 'o', 'p', '.', 'e', 'x', '.', 'c', 'o', 'm', 0, 0, 110,
    0, 1, 1, 0, 0, 0, 0, 0, 0, 5, 'a', '.', 'w', 'a', 'v', 11, 0, 0, 0, 0, 0, 0, 0,
    // work
    4, 'w', 'o', 'r', 'k', 5, 'a', 'l', 'i', 'c', 'e', 2, 'p', 'x',
    0, 4, 'm', 'a', 'i', 'l', 1, 0x03, 0xE3,
    0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 3, 'a', '.', 'e', 0, 0, 0, 0};

const unsigned char kV4[] = {
    'T', 'i', 'd', 'e', 'w', 'e', 'l', 'l', 'v', 4, 2,
    4, 'h', 'o', 'm', 'e', 3, 'b', 'o', 'b', 3, 'a', 'c', 'e',
    0, 10, 'p', 'o', 'p', '.', 'e', 'x', '.', 'c', 'o', 'm', 0, 0, 110,
    0, 1, 1, 0, 0, 0, 0, 0, 0, 5, 'a', '.', 'w', 'a', 'v', 1, 0, 0, 0, 0, 0, 0, 0,
    4, 'w', 'o', 'r', 'k', 5, 'a', 'l', 'i', 'c', 'e', 2, 'p', 'x',
    0, 4, 'm', 'a', 'i', 'l', 1, 0x03, 0xE3,
    0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 3, 'a', '.', 'e', 0, 0, 0, 0};

// Version 3 has no field 12 (the no-duplicate byte).
const unsigned char kV3[] = {
    'T', 'i', 'd', 'e', 'w', 'e', 'l', 'l', 'v', 3, 2,
    4, 'h', 'o', 'm', 'e', 3, 'b', 'o', 'b', 3, 'a', 'c', 'e',
    0, 10, 'p', 'o', 'p', '.', 'e', 'x', '.', 'c', 'o', 'm', 0, 0, 110,
    0, 1, 1, 0, 0, 0, 0, 0, 0, 5, 'a', '.', 'w', 'a', 'v', 1, 0, 0, 0, 0, 0, 0,
    4, 'w', 'o', 'r', 'k', 5, 'a', 'l', 'i', 'c', 'e', 2, 'p', 'x',
    0, 4, 'm', 'a', 'i', 'l', 1, 0x03, 0xE3,
    0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 3, 'a', '.', 'e', 0, 0, 0, 0};

// Version 6: version 5 plus the security byte at the end of each record
// ("home" STLS, "work" TLS on connect).
const unsigned char kV6[] = {
    'T', 'i', 'd', 'e', 'w', 'e', 'l', 'l', 'v', 6, 2,
    4, 'h', 'o', 'm', 'e', 3, 'b', 'o', 'b', 3, 'a', 'c', 'e',
    0, 10, 'p', 'o', 'p', '.', 'e', 'x', '.', 'c', 'o', 'm', 0, 0, 110,
    0, 1, 1, 0, 0, 0, 0, 0, 0, 5, 'a', '.', 'w', 'a', 'v', 11, 0, 0, 0, 0, 0, 0, 0, 1,
    4, 'w', 'o', 'r', 'k', 5, 'a', 'l', 'i', 'c', 'e', 2, 'p', 'x',
    0, 4, 'm', 'a', 'i', 'l', 1, 0x03, 0xE3,
    0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 3, 'a', '.', 'e', 0, 0, 0, 0, 2};

std::string Bytes(const unsigned char* p, std::size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

// Version 7 as tools/account_dat.py writes it: version 6 plus, after each
// security byte, password form 0 (field 3 holds it) and no sealed bytes.
std::string V7Scrambled() {
  std::string b = Bytes(kV6, sizeof kV6);
  b[9] = 7;
  const std::size_t work = b.find("\x04work");
  b.insert(work, std::string(3, '\0'));
  return b + std::string(3, '\0');
}

AccountAnswer Lookup(const std::string& file, std::string_view name) { return read_account(file, {name, -1}); }
AccountAnswer Enumerate(const std::string& file, int index) { return read_account(file, {"", index}); }

class AccountVersions : public ::testing::TestWithParam<std::string> {};

TEST_P(AccountVersions, LooksUpEachAccount) {
  const std::string file = GetParam();
  AccountAnswer home = Lookup(file, "home");
  ASSERT_TRUE(home.found);
  EXPECT_EQ(home.user, "bob");
  EXPECT_EQ(home.password, "abc");
  EXPECT_EQ(home.server, "pop.ex.com");
  EXPECT_EQ(home.apop, 0);
  EXPECT_EQ(home.port, 110);
  EXPECT_EQ(home.result, 0);

  // The second record is only right when field 12 is read per version.
  AccountAnswer work = Lookup(file, "work");
  ASSERT_TRUE(work.found);
  EXPECT_EQ(work.user, "alice");
  EXPECT_EQ(work.password, "pw");
  EXPECT_EQ(work.server, "mail");
  EXPECT_EQ(work.apop, 1);
  EXPECT_EQ(work.port, 995);

  EXPECT_FALSE(Lookup(file, "Home").found);  // case-sensitive
  EXPECT_FALSE(Lookup(file, "hom").found);
  EXPECT_FALSE(Lookup(file, "other").found);
}

TEST_P(AccountVersions, EnumeratesNamesInFileOrder) {
  const std::string file = GetParam();
  EXPECT_EQ(Enumerate(file, 1).name, "home");
  EXPECT_TRUE(Enumerate(file, 1).enumerated);
  EXPECT_FALSE(Enumerate(file, 1).found);
  EXPECT_EQ(Enumerate(file, 2).name, "work");
  const AccountAnswer past = Enumerate(file, 3);
  EXPECT_FALSE(past.enumerated);
  EXPECT_FALSE(past.found);
  // Enumeration makes no name comparison: index 2 with name "home" gives "work".
  const AccountAnswer both = read_account(file, {"home", 2});
  EXPECT_TRUE(both.enumerated);
  EXPECT_FALSE(both.found);
  EXPECT_EQ(both.name, "work");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, AccountVersions,
                         ::testing::Values(Bytes(kV3, sizeof kV3), Bytes(kV4, sizeof kV4), Bytes(kV5, sizeof kV5),
                                           Bytes(kV6, sizeof kV6), V7Scrambled()));

// The security mode of a lookup: version 6 stores it; older records read as
// none, except port 995, which reads as TLS on connect; an unknown stored
// value reads as TLS on connect.
TEST(AccountReader, SecurityModeByVersion) {
  std::string v6_unknown = Bytes(kV6, sizeof kV6);
  v6_unknown[v6_unknown.size() - 1] = 7;
  std::string v6_clear_995 = Bytes(kV6, sizeof kV6);
  v6_clear_995[v6_clear_995.size() - 1] = 0;
  struct {
    const char* what;
    std::string file;
    int home, work;
  } cases[] = {
      {"v3", Bytes(kV3, sizeof kV3), 0, 2},
      {"v4", Bytes(kV4, sizeof kV4), 0, 2},
      {"v5", Bytes(kV5, sizeof kV5), 0, 2},
      {"v6", Bytes(kV6, sizeof kV6), 1, 2},
      {"v6 unknown value", v6_unknown, 1, 2},
      {"v6 stored none on 995", v6_clear_995, 1, 0},
      {"v7", V7Scrambled(), 1, 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Lookup(c.file, "home").tls_mode, c.home) << c.what;
    EXPECT_EQ(Lookup(c.file, "work").tls_mode, c.work) << c.what;
  }
  // A version-6 record without its security byte is not delivered.
  const std::string cut = Bytes(kV6, sizeof kV6 - 1);
  EXPECT_FALSE(Lookup(cut, "work").found);
  EXPECT_TRUE(Lookup(cut, "home").found);
}

TEST(AccountReader, VersionThreeReadAsFourWouldShiftTheNextRecord) {
  std::string as_four = Bytes(kV3, sizeof kV3);
  as_four[9] = 4;
  EXPECT_FALSE(Lookup(as_four, "work").found);
}

// Builds records for the cases the fixtures above do not show.
std::string Len1(const std::string& s) { return std::string(1, static_cast<char>(s.size())) + s; }
std::string Len2(const std::string& s) {
  return std::string{static_cast<char>(s.size() >> 8), static_cast<char>(s.size() & 0xFF)} + s;
}
std::string Record(const std::string& name, const std::string& user, const std::string& stored_password,
                   const std::string& server, const std::string& program = "") {
  return Len1(name) + Len1(user) + Len1(stored_password) + Len2(server) + std::string("\x01\x00\x6e", 3) +
         std::string(3, '\0') + Len2("") + std::string(3, '\0') + Len2("") + std::string(2, '\0') +
         Len2(program) + Len2("") + Len2("");
}
std::string File(int count, const std::string& records, int version = 5) {
  return std::string("Tidewellv") + static_cast<char>(version) + static_cast<char>(count) + records;
}

TEST(AccountReader, PasswordBytesLoseTheirPosition) {
  const std::string file = File(1, Record("n", "u", std::string("\x10\x00\x02\x03", 4), "s"));
  // 0x10 - 0, 0x00 - 1 = 0xFF, 0x02 - 2 = 0: the text ends there.
  EXPECT_EQ(Lookup(file, "n").password, "\x10\xff");
}

TEST(AccountReader, FirstOfTwoEqualNamesWins) {
  const std::string file = File(2, Record("x", "first", "", "a") + Record("x", "second", "", "b"));
  EXPECT_EQ(Lookup(file, "x").user, "first");
}

TEST(AccountReader, BadHeadersReadNothing) {
  const std::string good = File(1, Record("n", "u", "", "s"));
  struct {
    const char* what;
    std::string file;
  } cases[] = {
      {"wrong magic", "tidewellv\x05\x01" + Record("n", "u", "", "s")},
      {"no v", std::string("Tidewellx\x05\x01") + Record("n", "u", "", "s")},
      {"version 2", File(1, Record("n", "u", "", "s"), 2)},
      {"version 9", File(1, Record("n", "u", "", "s"), 9)},
      {"magic only", "Tidewell"},
      {"empty file", ""},
  };
  for (const auto& c : cases) {
    const AccountAnswer a = Lookup(c.file, "n");
    EXPECT_FALSE(a.found) << c.what;
    EXPECT_NE(a.result, 0) << c.what;
  }
  EXPECT_TRUE(Lookup(good, "n").found);
  // A count byte at the end of the file counts as 0.
  const AccountAnswer none = Lookup("Tidewellv\x05", "n");
  EXPECT_FALSE(none.found);
  EXPECT_EQ(none.result, 0);
}

TEST(AccountReader, FileCutAnywhereNeverDeliversGarbage) {
  const std::string file = Bytes(kV5, sizeof kV5);
  for (std::size_t cut = 0; cut < file.size(); ++cut) {
    const std::string part = file.substr(0, cut);
    const AccountAnswer work = Lookup(part, "work");
    if (work.found) {
      EXPECT_EQ(work.server, "mail") << cut;
      EXPECT_EQ(work.port, 995) << cut;
    }
    const AccountAnswer second = Enumerate(part, 2);
    if (second.enumerated) EXPECT_EQ(second.name, "work") << cut;
  }
  // The count promises more records than the file holds.
  std::string more = file;
  more[10] = 9;
  EXPECT_FALSE(Lookup(more, "missing").found);
  EXPECT_EQ(Lookup(more, "work").port, 995);
}

// A text longer than the caller's buffer (149 bytes of name, user and
// password, 999 of server) is never handed on cut: the record is not
// delivered, the caller's cleared buffers stay empty and the result says so.
// Texts that just fit come whole, also past a skipped field longer than the
// format's 10,000-byte work buffer.
TEST(AccountReader, TextsPastTheCallersBuffersAreNeverCut) {
  const std::string u149(149, 'u'), p149(149, 'p'), s999(999, 's');
  // Stored password bytes are plain + position.
  const auto scramble = [](std::string t) {
    for (std::size_t i = 0; i < t.size(); ++i) t[i] = static_cast<char>(t[i] + i);
    return t;
  };
  // 147 letters then a two-byte character: 149 bytes; one more letter: 150.
  const std::string name149 = std::string(147, 'n') + "\x88\x9f";
  const std::string name150 = name149 + "z";
  const std::string file = File(
      6, Record("whole", u149, scramble(p149), s999, std::string(20000, 'x')) + Record(name149, "u2", "", "s2") +
             Record("long user", u149 + "u", "", "s") + Record("long password", "u", scramble(p149 + "p"), "s") +
             Record("long server", "u", "", s999 + "s") + Record(name150, "u6", "", "s6"));
  const AccountAnswer whole = Lookup(file, "whole");
  ASSERT_TRUE(whole.found);
  EXPECT_EQ(whole.user, u149);
  EXPECT_EQ(whole.password, p149);
  EXPECT_EQ(whole.server, s999);
  EXPECT_EQ(Lookup(file, name149).user, "u2");
  EXPECT_EQ(Enumerate(file, 2).name, name149);
  for (const char* name : {"long user", "long password", "long server"}) {
    const AccountAnswer a = Lookup(file, name);
    EXPECT_FALSE(a.found) << name;
    EXPECT_EQ(a.result, inkwell2::kAccountTooLong) << name;
    EXPECT_TRUE(a.user.empty() && a.password.empty() && a.server.empty()) << name;
  }
  const AccountAnswer long_name = Enumerate(file, 6);
  EXPECT_FALSE(long_name.enumerated);
  EXPECT_EQ(long_name.result, inkwell2::kAccountTooLong);
  EXPECT_TRUE(long_name.name.empty());
}

}  // namespace
