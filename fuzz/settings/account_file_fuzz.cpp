// Damaged account files: the readers never read past the input, never store
// a text past its field, and what they return survives a write and a read
// unchanged (sealed passwords and refresh tokens included, and those that
// cannot be opened keep their sealed bytes). The legacy reader's result
// always gets unique names.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tests/common/stand_in_protector.h"
#include "tidewell/settings/account_file.h"

namespace {

// Base64 decoding is the codec library's business: here every password
// "decodes" to itself, which keeps the reader's own paths in play.
class EchoCodec : public tidewell::CodecCalls {
 public:
  bool Available() override { return true; }
  bool Base64Decode(const std::string& src, std::string& out) override {
    out = src;
    return true;
  }
  std::string Md5Hex(const std::string&) override { return std::string(); }
};

void Check(bool ok) {
  if (!ok) std::abort();
}

bool FieldsFit(const tidewell::CAccount& a) {
  return a.display_name.size() < 200 && a.user_id.size() < 200 && a.password.size() < 200 &&
         a.server.size() < 1000 && a.icon_file.size() < 260 && a.sound_file.size() < 260 &&
         a.command_line.size() < 1000 && a.program_path.size() < 260 && a.work_folder.size() < 260 &&
         a.oauth_account.size() < 200 && a.refresh_token.size() <= 0xFFFF &&
         (a.signin_method == tidewell::kSignInPassword || a.signin_method == tidewell::kSignInOAuth) &&
         // a token that did not open is empty; only a sealed one is kept
         (!a.refresh_token_unreadable || a.refresh_token.empty()) &&
         (a.sealed_refresh_token.empty() || a.refresh_token_unreadable);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  using tidewell::AccountList;
  using tidewell::AccountReader;

  tidewell::StandInProtector protector;
  AccountList page, engine;
  const auto status = tidewell::ParseAccountFile(bytes, AccountReader::kSettingsPage, page, &protector);
  Check(tidewell::ParseAccountFile(bytes, AccountReader::kEngine, engine, &protector) == status);
  Check(page.size() == engine.size() && page.size() <= 255);
  // Both readers take every field alike: the page saves what the engine uses.
  for (std::size_t i = 0; i < page.size(); ++i)
    Check(FieldsFit(page[i]) && tidewell::SameStoredFields(page[i], engine[i]));

  // Written as version 8 and read back, the settings page's list is unchanged.
  AccountList again;
  Check(tidewell::ParseAccountFile(tidewell::EncodeAccountFile(page, 8, &protector), AccountReader::kSettingsPage,
                                   again, &protector) == tidewell::AccountFileStatus::kOk);
  Check(again.size() == page.size());
  for (std::size_t i = 0; i < page.size(); ++i) {
    Check(tidewell::SameStoredFields(again[i], page[i]));
    Check(again[i].sealed_password == page[i].sealed_password);
    Check(again[i].sealed_refresh_token == page[i].sealed_refresh_token);
    // Only a password (refresh token) that could not be opened and was kept
    // stays unreadable.
    Check(again[i].password_unreadable == (page[i].password_unreadable && !page[i].sealed_password.empty()));
    Check(again[i].refresh_token_unreadable ==
          (page[i].refresh_token_unreadable && !page[i].sealed_refresh_token.empty()));
  }

  EchoCodec codec;
  AccountList legacy;
  Check(tidewell::ParseLegacyAccountFile(bytes, codec, legacy));
  Check(legacy.size() <= 255);
  tidewell::MakeDisplayNamesUnique(legacy);
  for (std::size_t i = 0; i < legacy.size(); ++i) {
    Check(FieldsFit(legacy[i]));
    for (std::size_t j = i + 1; j < legacy.size(); ++j) Check(legacy[i].display_name != legacy[j].display_name);
  }
  return 0;
}
