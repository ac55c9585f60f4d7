// "Was this TOP reply in the previous account mail file?" answered for every
// mail of a session from one reading of the file, without scanning the whole
// file per mail.
//
// The answer is exactly that of file.find(reply) != npos. A TOP reply ends
// with the terminator "\r\n.\r\n" and holds it nowhere else, so a match in the
// file ends at the end of a terminator, and the reply's text after its first
// line break starts right after a line break of the file. The index keeps, for
// every line start of the file, a hash of the text from there to the end of
// the next terminator; a lookup hashes the reply's tail, and every candidate
// is checked by comparing the whole reply with the file. Replies of another
// shape (a trailing byte after the terminator, a terminator inside) fall back
// to a plain search.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tidewell {

class SeenIndex {
 public:
  explicit SeenIndex(std::string file);

  // True when the file holds `reply` anywhere.
  bool Contains(std::string_view reply) const;

  const std::string& file() const { return file_; }

  // Most line starts indexed (16 bytes each, 8 MiB in all); a file with more
  // is searched plainly. A full account mail file of real headers has far
  // fewer lines than that.
  static constexpr std::size_t kMaxIndexed = std::size_t{1} << 19;

 private:
  std::string file_;
  // (hash of text from a line start to the end of its terminator, line start)
  std::vector<std::pair<std::uint64_t, std::size_t>> starts_;
  bool plain_ = false;
};

}  // namespace tidewell
