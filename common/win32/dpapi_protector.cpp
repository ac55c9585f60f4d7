#include "common/win32/dpapi_protector.h"

#include <windows.h>
#include <wincrypt.h>

namespace tidewell {

namespace {

// Ties the sealed passwords to this use: another program of the same user
// that opens blobs without it gets nothing.
constexpr char kEntropy[] = "Tidewell Account.dat password";

DATA_BLOB Blob(std::string_view bytes) {
  DATA_BLOB b;
  b.cbData = static_cast<DWORD>(bytes.size());
  b.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()));
  return b;
}

// The output of CryptProtectData/CryptUnprotectData, freed with LocalFree.
// What it held is wiped first: it may be a password.
class LocalBlob {
 public:
  LocalBlob() { blob.cbData = 0, blob.pbData = nullptr; }
  ~LocalBlob() {
    if (blob.pbData) {
      SecureZeroMemory(blob.pbData, blob.cbData);
      LocalFree(blob.pbData);
    }
  }
  LocalBlob(const LocalBlob&) = delete;
  LocalBlob& operator=(const LocalBlob&) = delete;
  DATA_BLOB blob;
};

}  // namespace

bool DpapiProtector::Protect(std::string_view plain, std::string& sealed) {
  DATA_BLOB in = Blob(plain);
  DATA_BLOB entropy = Blob(std::string_view(kEntropy, sizeof kEntropy - 1));
  LocalBlob out;
  if (!CryptProtectData(&in, L"Tidewell", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out.blob))
    return false;
  sealed.assign(reinterpret_cast<const char*>(out.blob.pbData), out.blob.cbData);
  return true;
}

bool DpapiProtector::Unprotect(std::string_view sealed, std::string& plain) {
  if (sealed.empty()) return false;
  DATA_BLOB in = Blob(sealed);
  DATA_BLOB entropy = Blob(std::string_view(kEntropy, sizeof kEntropy - 1));
  LocalBlob out;
  if (!CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out.blob))
    return false;
  plain.assign(reinterpret_cast<const char*>(out.blob.pbData), out.blob.cbData);
  return true;
}

PasswordProtector& SystemPasswordProtector() {
  static DpapiProtector protector;
  return protector;
}

}  // namespace tidewell
