#include "tidewell/engine/seen_index.h"

#include <algorithm>

namespace tidewell {

namespace {

constexpr std::string_view kTerminator = "\r\n.\r\n";

// Polynomial hash modulo the Mersenne prime 2^61 - 1, in plain 64-bit
// arithmetic so the 32-bit build needs no 128-bit type.
constexpr std::uint64_t kMod = (1ull << 61) - 1;
constexpr std::uint64_t kBase = 0x5a3c1f7e9b2d4ull;

std::uint64_t Reduce(std::uint64_t x) {
  std::uint64_t r = (x >> 61) + (x & kMod);
  return r >= kMod ? r - kMod : r;
}

std::uint64_t MulMod(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t mask30 = (1ull << 30) - 1, mask31 = (1ull << 31) - 1;
  std::uint64_t au = a >> 31, ad = a & mask31;
  std::uint64_t bu = b >> 31, bd = b & mask31;
  std::uint64_t mid = ad * bu + au * bd;
  std::uint64_t midu = mid >> 30, midd = mid & mask30;
  return Reduce(au * bu * 2 + midu + (midd << 31) + ad * bd);
}

// One step of the hash read backwards: h(c + rest) from h(rest).
std::uint64_t Step(std::uint64_t h, unsigned char c) {
  std::uint64_t r = MulMod(h, kBase) + c + 1;
  return r >= kMod ? r - kMod : r;
}

std::uint64_t HashOf(std::string_view text) {
  std::uint64_t h = 0;
  for (std::size_t i = text.size(); i-- > 0;) h = Step(h, static_cast<unsigned char>(text[i]));
  return h;
}

bool LineStartAt(const std::string& f, std::size_t i) {
  return i >= 2 && f[i - 2] == '\r' && f[i - 1] == '\n';
}

}  // namespace

SeenIndex::SeenIndex(std::string file) : file_(std::move(file)) {
  // Every terminator in order, overlapping ones included. A line start s
  // belongs to the first terminator that starts at or after it.
  std::size_t lo = 0;
  for (std::size_t t = file_.find(kTerminator); t != std::string::npos;
       t = file_.find(kTerminator, t + 1)) {
    const std::size_t end = t + kTerminator.size();
    std::uint64_t h = 0;
    for (std::size_t i = end; i-- > lo;) {
      h = Step(h, static_cast<unsigned char>(file_[i]));
      if (i <= t && LineStartAt(file_, i)) starts_.emplace_back(h, i);
    }
    if (starts_.size() > kMaxIndexed) {
      // A file of tiny lines (only a hostile server sends such headers):
      // plain searches cost time, the index would cost too much memory.
      std::vector<std::pair<std::uint64_t, std::size_t>>().swap(starts_);
      plain_ = true;
      return;
    }
    lo = t + 1;
  }
  std::sort(starts_.begin(), starts_.end());
}

bool SeenIndex::Contains(std::string_view reply) const {
  const std::size_t term = reply.find(kTerminator);
  const std::size_t first_break = reply.find("\r\n");
  // Only the usual shape can be looked up: the terminator once, at the end,
  // and a line break before it.
  if (plain_ || term == std::string_view::npos || term + kTerminator.size() != reply.size() ||
      first_break == term) {
    return file_.find(reply) != std::string::npos;
  }
  const std::size_t lead = first_break + 2;  // first line and its line break
  const std::uint64_t h = HashOf(reply.substr(lead));
  auto it = std::lower_bound(starts_.begin(), starts_.end(), std::make_pair(h, std::size_t{0}));
  for (; it != starts_.end() && it->first == h; ++it) {
    const std::size_t s = it->second;
    if (s >= lead && file_.compare(s - lead, reply.size(), reply) == 0) return true;
  }
  return false;
}

}  // namespace tidewell
