// The password protector on Windows: sealed with the current user's key by
// the real CryptProtectData, opened again by CryptUnprotectData; the sealed
// bytes never hold the password, and damaged or foreign bytes do not open.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>

#include "common/win32/dpapi_protector.h"

namespace tidewell {
namespace {

TEST(DpapiProtector, RoundTripThroughTheUsersKey) {
  DpapiProtector p;
  const std::string passwords[] = {"x", "hunter2hunter2", std::string("\x83\x70\x83\x58\x00\x41", 6),
                                   std::string(199, 'p')};
  for (const std::string& plain : passwords) {
    std::string sealed, back;
    ASSERT_TRUE(p.Protect(plain, sealed)) << plain;
    EXPECT_GT(sealed.size(), plain.size());
    EXPECT_LE(sealed.size(), 0xFFFFu);  // fits the file's 2-byte length
    if (plain.size() > 3) EXPECT_EQ(sealed.find(plain), std::string::npos) << plain;
    ASSERT_TRUE(p.Unprotect(sealed, back)) << plain;
    EXPECT_EQ(back, plain);
    // Sealing twice gives other bytes (a fresh salt) that open to the same text.
    std::string again;
    ASSERT_TRUE(p.Protect(plain, again));
    EXPECT_NE(again, sealed);
  }
  EXPECT_EQ(&SystemPasswordProtector(), &SystemPasswordProtector());
}

TEST(DpapiProtector, DamagedOrForeignBytesDoNotOpen) {
  DpapiProtector p;
  std::string sealed, out;
  ASSERT_TRUE(p.Protect("secret", sealed));
  EXPECT_FALSE(p.Unprotect("", out));
  EXPECT_FALSE(p.Unprotect("not a sealed password", out));
  EXPECT_FALSE(p.Unprotect(sealed.substr(0, sealed.size() / 2), out));
  std::string flipped = sealed;
  flipped[flipped.size() - 5] = static_cast<char>(flipped[flipped.size() - 5] ^ 0x40);
  EXPECT_FALSE(p.Unprotect(flipped, out));
  // Sealed by another program of the same user, without this store's
  // entropy: not taken for a password of ours.
  std::string plain = "secret";
  DATA_BLOB in = {static_cast<DWORD>(plain.size()), reinterpret_cast<BYTE*>(plain.data())};
  DATA_BLOB other = {};
  ASSERT_TRUE(CryptProtectData(&in, L"x", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &other));
  const std::string foreign(reinterpret_cast<const char*>(other.pbData), other.cbData);
  LocalFree(other.pbData);
  EXPECT_FALSE(p.Unprotect(foreign, out));
}

}  // namespace
}  // namespace tidewell
