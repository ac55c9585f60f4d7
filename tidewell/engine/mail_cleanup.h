// Clean-up of the "\Mail" folder at program exit: account mail files (and
// their unique-id caches) of accounts that no longer exist and cached message
// files of mails that were not on the servers at the last check are deleted,
// then "mailtemp.eml".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tidewell/engine/notify_support.h"

namespace tidewell {

// The folder being cleaned: its file names and a way to delete one.
class MailFolder {
 public:
  virtual ~MailFolder() = default;
  // Names of the folder's entries (without the folder).
  virtual std::vector<std::string> Names() = 0;
  // Deletes one entry by name; a failure leaves it for the next exit.
  virtual void Delete(const std::string& name) = 0;
};

// The names to keep: every account's mail file name (MD5 text of its display
// name) followed by "\n", then the hash list of the last check.
// *digests_ok (when given) tells whether every digest could be made.
std::string CleanupKeepText(NotifyCodec& codec, const std::vector<std::string>& display_names,
                            std::string_view hash_list, bool* digests_ok = nullptr);

// A name is deleted when it is exactly 32 characters long and does not occur
// in the keep text (exact case). The unique-id cache of an account (its mail
// file name + ".uid") is deleted by the same rule applied to its first 32
// characters, so it stays exactly as long as the account's mail file.
bool ShouldDeleteMailFile(std::string_view name, std::string_view keep_text);

// Runs the clean-up over the folder. When the digest of a display name cannot
// be made (codec library missing) no account file could be recognised, so
// nothing but "mailtemp.eml" is deleted.
void CleanUpMailFolder(NotifyCodec& codec, const std::vector<std::string>& display_names,
                       std::string_view hash_list, MailFolder& folder);

}  // namespace tidewell
