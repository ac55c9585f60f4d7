// What a check keeps of the mails it fetched, by their unique ids (UIDL), so
// that the next check of the same account asks the server only for mails it
// has not seen: the LIST reply line and the TOP reply of every mail.
//
// The file lives beside the account mail file: data folder + "\Mail\" + the
// MD5 text of the display name + ".uid". It starts with the account's server,
// port and user, so a cache written for another mailbox is never used; a file
// that is damaged in any way is ignored as a whole (the check then fetches
// every mail). Layout, all numbers in decimal:
//   "TidewellUidCache 1\n"
//   <length of key> "\n" <key bytes> "\n"
//   <entry count> "\n"
//   per entry: <uid> " " <message number> " " <length of LIST line> " "
//              <length of TOP reply> " " <header hash, or "-" for none> "\n"
//              <LIST line bytes> <TOP reply bytes>
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tidewell {

struct UidCacheEntry {
  int number = 0;          // message number the mail had when it was fetched
  std::string list_line;   // the LIST reply as stored in the account mail file
  std::string top_reply;   // the TOP reply, "+OK" line through "\r\n.\r\n"
  std::string hash;        // its header hash (32 hex digits), or empty for none
};

using UidCacheMap = std::unordered_map<std::string, UidCacheEntry>;

struct UidCacheRecord {
  std::string uid;
  UidCacheEntry entry;
};

// data folder + "\Mail\" + md5 text of the display name + ".uid".
std::string UidCachePath(const std::string& data_folder, const std::string& name_md5);

// The key of a mailbox: server, port and user, so that the cache of an
// account whose server or user changed is not used.
std::string UidCacheKey(const std::string& server, int port, const std::string& user);

std::string SerializeUidCache(const std::string& key, const std::vector<UidCacheRecord>& records);

// False (and `out` empty) when `text` is not a complete, well-formed cache of
// `key`.
bool ParseUidCache(std::string_view text, const std::string& key, UidCacheMap& out);

// A unique id as RFC 1939 allows it: 1 to 70 characters 0x21..0x7E.
bool ValidUid(std::string_view uid);

// The ids of a whole multi-line UIDL reply ("+OK" line through the
// terminator), indexed by message number - 1. False when the listing cannot
// be trusted to name every mail once: a line that is not "<n> <uid>", numbers
// out of order or not 1..count, an id used twice.
bool ParseUidlListing(std::string_view reply, int count, std::vector<std::string>& ids);

// The capabilities of a CAPA reply ("+OK" line through the terminator) that
// the check uses. Names are compared without regard to case.
struct Capabilities {
  bool pipelining = false;
  bool uidl = false;
};
Capabilities ParseCapabilities(std::string_view reply);

}  // namespace tidewell
