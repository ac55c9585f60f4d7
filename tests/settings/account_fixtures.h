// Byte images of account files, written out by hand.
#pragma once

#include <string>

#define TW_BYTES(literal) std::string(literal, sizeof(literal) - 1)

// Version 5, two records.
//   Home: user abc, password abc, server pop.example.jp, APOP, port 110,
//         priority 2, own icon C:\i.ico #3, program C:\p.exe -a in C:\w,
//         external program on, icon-to-normal on, no-duplicate on.
//   Work: user u, password pq, server s, port 500, own sound a.wav,
//         icon-to-normal on only.
inline const std::string kAccountV5 = TW_BYTES(
    "Tidewell" "v" "\x05" "\x02"
    "\x04" "Home"
    "\x03" "abc"
    "\x03" "\x61\x63\x65"
    "\x00\x0E" "pop.example.jp"
    "\x01"
    "\x00\x6E"
    "\x00\x02" "\x01"
    "\x00\x08" "C:\\i.ico"
    "\x00\x03" "\x00"
    "\x00\x00"
    "\x0B"
    "\x01"
    "\x00\x08" "C:\\p.exe"
    "\x00\x02" "-a"
    "\x00\x04" "C:\\w"
    "\x04" "Work"
    "\x01" "u"
    "\x02" "\x70\x72"
    "\x00\x01" "s"
    "\x00"
    "\x01\xF4"
    "\x00\x00" "\x00"
    "\x00\x00"
    "\x00\x00" "\x01"
    "\x00\x05" "a.wav"
    "\x0A"
    "\x00"
    "\x00\x00"
    "\x00\x00"
    "\x00\x00");

// Version 6: the records of kAccountV5, each followed by its security byte
// (Home STLS, Work TLS on connect).
inline const std::string kAccountV6 = [] {
  std::string b = kAccountV5;
  b[9] = '\x06';
  const std::size_t work = b.find("\x04" "Work");
  b.insert(work, 1, '\x01');
  b += '\x02';
  return b;
}();

// Version 4: field 11 holds the external-program flag alone (1, then 2).
inline const std::string kAccountV4 = TW_BYTES(
    "Tidewell" "v" "\x04" "\x02"
    "\x01" "A" "\x01" "u" "\x01" "p" "\x00\x01" "s" "\x00" "\x00\x6E" "\x00\x01" "\x00"
    "\x00\x00" "\x00\x00" "\x00" "\x00\x00"
    "\x01"
    "\x01"
    "\x00\x01" "x" "\x00\x00" "\x00\x00"
    "\x01" "B" "\x01" "v" "\x01" "q" "\x00\x01" "t" "\x00" "\x00\x6E" "\x00\x00" "\x00"
    "\x00\x00" "\x00\x00" "\x00" "\x00\x00"
    "\x02"
    "\x00"
    "\x00\x00" "\x00\x00" "\x00\x00");

// Version 3: no field 12. Reading it as version 4 would shift record B.
inline const std::string kAccountV3 = TW_BYTES(
    "Tidewell" "v" "\x03" "\x02"
    "\x01" "A" "\x01" "u" "\x01" "p" "\x00\x01" "s" "\x00" "\x00\x6E" "\x00\x01" "\x00"
    "\x00\x00" "\x00\x00" "\x00" "\x00\x00"
    "\x01"
    "\x00\x01" "x" "\x00\x00" "\x00\x00"
    "\x01" "B" "\x01" "v" "\x01" "q" "\x00\x01" "t" "\x00" "\x00\x6F" "\x00\x00" "\x00"
    "\x00\x00" "\x00\x00" "\x00" "\x00\x00"
    "\x00"
    "\x00\x00" "\x00\x00" "\x00\x00");

// Legacy Tidewell.dat version 1 (no marker): user, server, plain password,
// APOP; the second account repeats the first one's user and server.
inline const std::string kLegacyV1 = TW_BYTES(
    "\x03"
    "\x02" "u1" "\x00\x02" "s1" "\x02" "pw" "\x01"
    "\x02" "u2" "\x00\x02" "s2" "\x00" "\x00"
    "\x02" "u1" "\x00\x02" "s1" "\x01" "z" "\x00");

// Legacy version 2: user, server, Base64 password, APOP, display name, port.
// Passwords "abc" (YWJj) and "secret" (c2VjcmV0); names x, x.
inline const std::string kLegacyV2 = TW_BYTES(
    "v" "\x02" "\x02"
    "\x01" "u" "\x00\x03" "srv" "\x04" "YWJj" "\x01" "\x01" "x" "\x00\x6F"
    "\x01" "w" "\x00\x01" "t" "\x08" "c2VjcmV0" "\x00" "\x01" "x" "\x03\xE7");
