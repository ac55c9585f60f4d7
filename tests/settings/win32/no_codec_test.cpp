// Without Inkwell2.dll (this test runs from a folder of its own): the library
// calls report failure, the legacy conversion does nothing, and an apply
// still writes Account.dat while the mail files stay.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "account_fixtures.h"
#include "tidewell/settings/account_file.h"
#include "tidewell/settings/account_page.h"
#include "common/atomic_file.h"
#include "common/win32/dpapi_protector.h"
#include "common/win32/inkwell_dll.h"
#include "win32/win_temp_folder.h"

namespace tidewell {
namespace {

class NoCodec : public ::testing::Test {
 protected:
  void SetUp() override {
    // The current folder is a temporary one (where the planted library goes).
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.path().c_str()));
    ASSERT_FALSE(InkwellAvailable()) << "Inkwell2.dll was found; the test needs a folder without it";
  }
  void TearDown() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    SetCurrentDirectoryA(temp);  // so the folder can be removed
  }
  WinTempFolder dir_;
  InkwellDllCodec codec_;
};

TEST_F(NoCodec, CallsReportFailure) {
  EXPECT_EQ(InkwellMd5("abc"), "");
  std::string out = "stale";
  EXPECT_FALSE(InkwellBase64("YWJj", 11, out));
  EXPECT_EQ(out, "");
  EXPECT_FALSE(InkwellQuoted("a", 11, out));
  EXPECT_FALSE(InkwellCodeConv("a", 1, out));
}

TEST_F(NoCodec, LegacyFileIsNotConverted) {
  ASSERT_TRUE(WriteBytes(dir_ / "Tidewell.dat", kLegacyV1));
  EXPECT_TRUE(LoadEngineAccounts(dir_.path(), codec_, SystemPasswordProtector()).empty());
  EXPECT_FALSE(Exists(dir_ / "Account.dat"));
}

TEST_F(NoCodec, ApplyWritesTheFileAndKeepsTheMailFiles) {
  ASSERT_TRUE(CreateDirectoryA((dir_ / "Mail").c_str(), nullptr));
  const std::string mail_home = dir_ / "Mail" + "\\" + "8cf04a9734132302f96da8e113e80ce5";  // MD5 of "Home"
  ASSERT_TRUE(WriteBytes(mail_home, "+OK"));
  ASSERT_TRUE(WriteBytes(dir_ / "Account.dat", kAccountV5));
  AccountPageList list;
  list.Load(dir_.path(), SystemPasswordProtector());
  ASSERT_EQ(list.Delete(0, "Home"), SelectionStatus::kOk);
  EXPECT_TRUE(list.Apply(dir_.path(), codec_, SystemPasswordProtector()));
  EXPECT_TRUE(Exists(mail_home));
  const AccountList back = LoadPageAccounts(dir_.path(), SystemPasswordProtector());
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].display_name, "Work");
}

#ifdef TIDEWELL_HAVE_PLANTED_INKWELL
// A stranger's Inkwell2.dll in the current folder and on the PATH is never
// loaded in place of the missing one beside the program: no call finds it,
// and its start-up never runs (it would leave a file in the current folder).
TEST_F(NoCodec, ADllOfThatNameInTheCurrentFolderOrOnThePathIsNeverLoaded) {
  char exe[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  std::string planted = exe;
  planted = planted.substr(0, planted.rfind('\\') + 1) + "planted\\Inkwell2.dll";
  ASSERT_TRUE(CopyFileA(planted.c_str(), (dir_ / "Inkwell2.dll").c_str(), FALSE)) << planted;
  char path[32768] = "";
  GetEnvironmentVariableA("PATH", path, sizeof path);
  const std::string old_path = path;
  SetEnvironmentVariableA("PATH", (dir_.path() + ";" + old_path).c_str());
  EXPECT_FALSE(InkwellAvailable());
  EXPECT_EQ(InkwellMd5("abc"), "");
  std::string out;
  EXPECT_FALSE(InkwellCodeConv("a", 1, out));
  EXPECT_EQ(LoadInkwellLibrary(), nullptr);
  EXPECT_EQ(GetModuleHandleA("Inkwell2.dll"), nullptr);
  EXPECT_FALSE(Exists(dir_ / "planted-inkwell-loaded.txt"));
  SetEnvironmentVariableA("PATH", old_path.c_str());
  // The same file loaded by its full path does leave its mark: the check
  // above can see a load.
  HMODULE direct = LoadLibraryA((dir_ / "Inkwell2.dll").c_str());
  ASSERT_NE(direct, nullptr);
  FreeLibrary(direct);
  EXPECT_TRUE(Exists(dir_ / "planted-inkwell-loaded.txt"));
}
#endif

}  // namespace
}  // namespace tidewell
