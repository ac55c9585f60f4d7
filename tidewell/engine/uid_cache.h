// What a check keeps of the mails it fetched, by their unique ids (UIDL), so
// that the next check of the same account asks the server only for mails it
// has not seen: the size from the multi-line LIST, the LIST reply line and
// the TOP reply of every mail.
//
// A cached mail is taken only when its id and its size both match the
// server's listings, its stored header hash is the hash of its stored header
// and its checksum is that of its stored LIST line and TOP reply; anything
// else fetches the mail again. A listing whose ids are the message numbers
// themselves (which RFC 1939 forbids, as such ids change with every deletion)
// is not used at all.
//
// The file lives beside the account mail file: data folder + "\Mail\" + the
// MD5 text of the display name + ".uid". It starts with the account's server,
// port, user and security mode, so a cache written for another mailbox, or
// over another kind of connection, is never used; a file that is damaged in
// its framing is ignored as a whole (the check then fetches every mail).
// Layout, all numbers in decimal:
//   "TidewellUidCache 2\n"
//   <length of key> "\n" <key bytes> "\n"
//   <entry count> "\n"
//   per entry: <uid> " " <message number> " " <size> " " <length of LIST line> " "
//              <length of TOP reply> " " <header hash, or "-" for none> " "
//              <checksum: 16 hex digits> "\n"
//              <LIST line bytes> <TOP reply bytes>
#pragma once

#include <cstdint>
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
  std::uint64_t size = 0;  // its size in the multi-line LIST
  std::uint64_t check = 0;  // EntryChecksum of list_line and top_reply, as read
};

using UidCacheMap = std::unordered_map<std::string, UidCacheEntry>;

struct UidCacheRecord {
  std::string uid;
  UidCacheEntry entry;
};

// data folder + "\Mail\" + md5 text of the display name + ".uid".
std::string UidCachePath(const std::string& data_folder, const std::string& name_md5);

// The key of a mailbox: server, port, user and security mode (0 clear, 1
// STLS, 2 TLS on connect), so that the cache of an account whose server,
// user or connection changed is not used.
std::string UidCacheKey(const std::string& server, int port, const std::string& user, int security);

// 64-bit FNV-1a of a LIST line followed by a TOP reply: what a cached entry
// must still give to be used.
std::uint64_t EntryChecksum(std::string_view list_line, std::string_view top_reply);

// One entry to write, its texts seen where they already are (the session
// text) rather than copied.
struct UidCacheView {
  std::string_view uid;
  int number = 0;
  std::uint64_t size = 0;
  std::string_view list_line;
  std::string_view top_reply;
  std::string_view hash;
};

std::string SerializeUidCache(const std::string& key, const std::vector<UidCacheView>& records);
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

// The sizes of a whole multi-line LIST reply, indexed by message number - 1.
// False when the listing does not give every mail 1..count once, in order,
// as "<n> <size>" (anything after the size and a space is allowed).
bool ParseSizeListing(std::string_view reply, int count, std::vector<std::uint64_t>& sizes);

// True when every id of a non-empty listing is the decimal text of its own
// message number: such ids name positions, not mails.
bool IdsFollowNumbers(const std::vector<std::string>& ids);

// The capabilities of a CAPA reply ("+OK" line through the terminator) that
// the check uses. Names are compared without regard to case.
struct Capabilities {
  bool pipelining = false;
  bool uidl = false;
};
Capabilities ParseCapabilities(std::string_view reply);

}  // namespace tidewell
