#include "tidewell/engine/mail_cleanup.h"

namespace tidewell {
namespace {

constexpr std::size_t kMailFileNameLength = 32;

}  // namespace

std::string CleanupKeepText(NotifyCodec& codec, const std::vector<std::string>& display_names,
                            std::string_view hash_list, bool* digests_ok) {
  std::string keep;
  bool ok = true;
  for (const std::string& name : display_names) {
    std::string digest = codec.Md5Hex(name);
    if (digest.size() != kMailFileNameLength) ok = false;
    keep += digest;
    keep += '\n';
  }
  keep += hash_list;
  if (digests_ok) *digests_ok = ok;
  return keep;
}

bool ShouldDeleteMailFile(std::string_view name, std::string_view keep_text) {
  // The unique-id cache of an account goes with the account's mail file.
  constexpr std::string_view kUidCacheSuffix = ".uid";
  if (name.size() == kMailFileNameLength + kUidCacheSuffix.size() &&
      name.substr(kMailFileNameLength) == kUidCacheSuffix)
    name = name.substr(0, kMailFileNameLength);
  else if (name.size() != kMailFileNameLength)
    return false;
  return keep_text.find(name) == std::string_view::npos;
}

void CleanUpMailFolder(NotifyCodec& codec, const std::vector<std::string>& display_names,
                       std::string_view hash_list, MailFolder& folder) {
  bool digests_ok = true;
  std::string keep = CleanupKeepText(codec, display_names, hash_list, &digests_ok);
  if (digests_ok) {
    for (const std::string& name : folder.Names())
      if (ShouldDeleteMailFile(name, keep)) folder.Delete(name);
  }
  folder.Delete("mailtemp.eml");
}

}  // namespace tidewell
