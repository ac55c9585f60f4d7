#include "common/oauth/token_cache.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "common/atomic_file.h"
#include "common/oauth/sha256.h"
#include "common/paths.h"

namespace tidewell {
namespace oauth {

namespace {

constexpr std::string_view kMagic = "TidewellT";
constexpr int kVersion = 1;
constexpr std::size_t kMaxEntries = 255;
constexpr std::size_t kOriginSize = 32;
constexpr std::size_t kMaxShortText = 0xFF;
constexpr std::size_t kMaxLongText = 0xFFFF;

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool ok() const { return ok_; }
  bool at_end() const { return pos_ == bytes_.size(); }
  std::string_view Take(std::size_t n) {
    if (!ok_ || bytes_.size() - pos_ < n) {
      ok_ = false;
      return {};
    }
    const std::string_view t = bytes_.substr(pos_, n);
    pos_ += n;
    return t;
  }
  unsigned Byte() {
    const std::string_view b = Take(1);
    return b.empty() ? 0 : static_cast<unsigned char>(b[0]);
  }
  std::size_t Word() {
    const unsigned high = Byte();
    return (static_cast<std::size_t>(high) << 8) | Byte();
  }
  std::uint64_t Quad() {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | Byte();
    return v;
  }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

void PutByte(std::string& out, std::size_t v) { out += static_cast<char>(v & 0xFF); }

void PutWord(std::string& out, std::size_t v) {
  PutByte(out, v >> 8);
  PutByte(out, v);
}

void PutQuad(std::string& out, std::uint64_t v) {
  for (int shift = 56; shift >= 0; shift -= 8) PutByte(out, static_cast<std::size_t>(v >> shift));
}

std::string Origin(std::string_view refresh_token) {
  const Sha256::Digest d = Sha256::Of(refresh_token);
  return std::string(reinterpret_cast<const char*>(d.data()), d.size());
}

std::string TokenFilePath(const std::string& data_folder) { return JoinPath(data_folder, kTokenFileName); }

void Wipe(std::string& s) {
  std::fill(s.begin(), s.end(), '\0');
  s.clear();
}

// The entries now in Token.dat. False when the file exists but cannot be
// read now (another writer holds it, no access): it is then not replaced.
// A missing or damaged file has no entries.
bool ReadEntries(const std::string& data_folder, std::vector<TokenEntry>& out) {
  out.clear();
  const std::string path = TokenFilePath(data_folder);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return FileMissing(path);
  // No more than one byte past the largest file is read: a larger one is
  // not ours and has no entries.
  std::string bytes(kMaxTokenFile + 1, '\0');
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return false;
  bytes.resize(got);
  ParseTokenFile(bytes, out);
  return true;
}

bool WriteEntries(const std::string& data_folder, const std::vector<TokenEntry>& entries) {
  return WriteFileAtomically(TokenFilePath(data_folder), EncodeTokenFile(entries));
}

bool Fits(const TokenEntry& e) {
  return e.account.size() <= kMaxShortText && e.origin.size() == kOriginSize &&
         e.sealed_access_token.size() <= kMaxLongText && e.sealed_refresh_token.size() <= kMaxLongText;
}

}  // namespace

bool ParseTokenFile(std::string_view bytes, std::vector<TokenEntry>& out) {
  out.clear();
  if (bytes.size() > kMaxTokenFile) return false;
  Reader in(bytes);
  if (in.Take(kMagic.size()) != kMagic || in.Byte() != kVersion) return false;
  const unsigned count = in.Byte();
  std::vector<TokenEntry> entries;
  for (unsigned i = 0; i < count && in.ok(); ++i) {
    TokenEntry e;
    e.account.assign(in.Take(in.Byte()));
    e.origin.assign(in.Take(kOriginSize));
    e.expires_at = static_cast<std::int64_t>(in.Quad());
    e.sealed_access_token.assign(in.Take(in.Word()));
    e.sealed_refresh_token.assign(in.Take(in.Word()));
    if (in.ok()) entries.push_back(std::move(e));
  }
  // A file cut short, or with bytes after its entries, is not one we wrote
  // whole: none of it is trusted.
  if (!in.ok() || !in.at_end()) return false;
  out = std::move(entries);
  return true;
}

std::string EncodeTokenFile(const std::vector<TokenEntry>& entries) {
  std::string body;
  std::size_t count = 0;
  for (const TokenEntry& e : entries) {
    if (count == kMaxEntries) break;
    if (!Fits(e)) continue;
    std::string one;
    PutByte(one, e.account.size());
    one += e.account;
    one += e.origin;
    PutQuad(one, static_cast<std::uint64_t>(e.expires_at));
    PutWord(one, e.sealed_access_token.size());
    one += e.sealed_access_token;
    PutWord(one, e.sealed_refresh_token.size());
    one += e.sealed_refresh_token;
    // Entries that would make the file too large to be read again are left
    // out (the earlier ones are the newer).
    if (kMagic.size() + 2 + body.size() + one.size() > kMaxTokenFile) break;
    body += one;
    ++count;
  }
  std::string out(kMagic);
  PutByte(out, kVersion);
  PutByte(out, count);
  out += body;
  return out;
}

bool LoadCachedToken(const std::string& data_folder, std::string_view account, std::string_view origin_refresh_token,
                     PasswordProtector& protector, CachedToken& out) {
  out = CachedToken();
  std::vector<TokenEntry> entries;
  if (!ReadEntries(data_folder, entries)) return false;
  const std::string origin = Origin(origin_refresh_token);
  for (const TokenEntry& e : entries) {
    if (e.account != account || e.origin != origin) continue;
    CachedToken t;
    t.expires_at = e.expires_at;
    if (e.sealed_access_token.empty() || !protector.Unprotect(e.sealed_access_token, t.access_token) ||
        t.access_token.empty() ||
        (!e.sealed_refresh_token.empty() && !protector.Unprotect(e.sealed_refresh_token, t.refresh_token))) {
      Wipe(t.access_token);
      Wipe(t.refresh_token);
      return false;
    }
    out = std::move(t);
    return true;
  }
  return false;
}

bool StoreCachedToken(const std::string& data_folder, std::string_view account, std::string_view origin_refresh_token,
                      const CachedToken& token, PasswordProtector& protector) {
  if (account.empty() || account.size() > kMaxShortText || token.access_token.empty()) return false;
  TokenEntry e;
  e.account.assign(account);
  e.origin = Origin(origin_refresh_token);
  e.expires_at = token.expires_at;
  // Never a token in clear: what cannot be sealed is not kept.
  if (!protector.Protect(token.access_token, e.sealed_access_token) || e.sealed_access_token.empty()) return false;
  if (!token.refresh_token.empty() &&
      (!protector.Protect(token.refresh_token, e.sealed_refresh_token) || e.sealed_refresh_token.empty()))
    return false;
  if (!Fits(e)) return false;
  std::vector<TokenEntry> entries;
  if (!ReadEntries(data_folder, entries)) return false;
  // One entry per account, the newest first.
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [account](const TokenEntry& old) { return old.account == account; }),
                entries.end());
  entries.insert(entries.begin(), std::move(e));
  return WriteEntries(data_folder, entries);
}

bool ForgetCachedToken(const std::string& data_folder, std::string_view account, PasswordProtector& /*protector*/) {
  std::vector<TokenEntry> entries;
  if (!ReadEntries(data_folder, entries)) return false;
  const std::size_t before = entries.size();
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [account](const TokenEntry& old) { return old.account == account; }),
                entries.end());
  if (entries.size() == before) return true;  // nothing to forget: the file stays as it is
  return WriteEntries(data_folder, entries);
}

}  // namespace oauth
}  // namespace tidewell
