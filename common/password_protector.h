// Protection of the passwords that Account.dat keeps: the store seals a
// password before it is written and opens it again when the file is read.
// Windows seals with the current user's key (win32/dpapi_protector.h); the
// native tests use a stand-in. No I/O and no platform headers here.
#pragma once

#include <string>
#include <string_view>

namespace tidewell {

class PasswordProtector {
 public:
  virtual ~PasswordProtector() = default;

  // Seals a password; false (sealed unspecified) when it cannot be sealed now.
  virtual bool Protect(std::string_view plain, std::string& sealed) = 0;

  // Opens a sealed password; false when it was sealed for another user or
  // machine, or is damaged.
  virtual bool Unprotect(std::string_view sealed, std::string& plain) = 0;
};

}  // namespace tidewell
