// A password protector for the native tests: seals by a reversible mask
// under the name of a "user", so that a file sealed for one user does not
// open for another, and never holds the password bytes as they are.
#pragma once

#include <string>
#include <string_view>

#include "common/password_protector.h"

namespace tidewell {

class StandInProtector : public PasswordProtector {
 public:
  explicit StandInProtector(std::string user = "taro") : user_(std::move(user)) {}

  bool Protect(std::string_view plain, std::string& sealed) override {
    ++protected_;
    if (refuse_) return false;
    sealed = Prefix();
    for (std::size_t i = 0; i < plain.size(); ++i)
      sealed += static_cast<char>(static_cast<unsigned char>(plain[i]) ^ Mask(i));
    return true;
  }

  bool Unprotect(std::string_view sealed, std::string& plain) override {
    const std::string prefix = Prefix();
    if (sealed.substr(0, prefix.size()) != prefix) return false;
    plain.clear();
    for (std::size_t i = prefix.size(); i < sealed.size(); ++i)
      plain += static_cast<char>(static_cast<unsigned char>(sealed[i]) ^ Mask(i - prefix.size()));
    return true;
  }

  void set_refuse(bool refuse) { refuse_ = refuse; }  // Protect fails (no key now)
  int protect_calls() const { return protected_; }

 private:
  std::string Prefix() const { return "sealed for " + user_ + ":"; }
  static unsigned char Mask(std::size_t i) { return static_cast<unsigned char>(0xA5 + 7 * i); }

  std::string user_;
  bool refuse_ = false;
  int protected_ = 0;
};

// One stand-in for tests that only need the store to work.
inline StandInProtector& TestProtector() {
  static StandInProtector protector;
  return protector;
}

}  // namespace tidewell
