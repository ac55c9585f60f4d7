// Passwords sealed with the current user's data protection key
// (CryptProtectData, never with a user interface): only the same user on the
// same machine (or the user's roaming profile) can open them again.
#pragma once

#include "common/password_protector.h"

namespace tidewell {

class DpapiProtector : public PasswordProtector {
 public:
  bool Protect(std::string_view plain, std::string& sealed) override;
  bool Unprotect(std::string_view sealed, std::string& plain) override;
};

// The protector of the account store on Windows.
PasswordProtector& SystemPasswordProtector();

}  // namespace tidewell
