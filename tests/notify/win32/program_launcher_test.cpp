#include "tidewell/engine/win32/program_launcher.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "notify_win32_util.h"

namespace tidewell {
namespace {

using testing::ExeFolder;
using testing::ReadFileBytes;
using testing::TempFolder;

int Lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

// The data folder holds a copy of the marker program; it writes its working
// folder to a marker file and stays alive a while.
class ProgramLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CopyFileA((ExeFolder() + "notify_marker.exe").c_str(), data_.File(kProgram).c_str(), FALSE));
    CreateDirectoryA(work_.c_str(), nullptr);
  }
  void TearDown() override {
    // Let the started markers end before the folder goes.
    Sleep(200);
    for (int i = 0; i < 50 && !DeleteFileA(data_.File(kProgram).c_str()); ++i) Sleep(100);
    RemoveDirectoryA(work_.c_str());
  }
  bool WaitForLines(int n) {
    return testing::PumpUntil([&] { return Lines(ReadFileBytes(marker_)) >= n; }, 10000);
  }

  static constexpr const char* kProgram = "tw_marker.exe";
  TempFolder data_{"launch"};
  TempFolder other_{"launch_other"};
  std::string work_ = other_.File("work");
  std::string marker_ = other_.File("marker.txt");
  std::vector<std::string> told_;
  ShowMessageFn tell_ = [this](const std::string& text) { told_.push_back(text); };
};

TEST_F(ProgramLauncherTest, BareNameStartsFromTheDataFolder) {
  EXPECT_EQ(StartExternalProgram(kProgram, "\"" + marker_ + "\" 0", "", false, data_.path(), tell_), 1);
  ASSERT_TRUE(WaitForLines(1));
  EXPECT_EQ(ReadFileBytes(marker_), data_.path() + "\n");
  EXPECT_TRUE(told_.empty());
}

TEST_F(ProgramLauncherTest, WorkFolderWins) {
  EXPECT_EQ(StartExternalProgram(kProgram, "\"" + marker_ + "\" 0", work_, false, data_.path(), tell_), 1);
  ASSERT_TRUE(WaitForLines(1));
  EXPECT_EQ(ReadFileBytes(marker_), work_ + "\n");
}

TEST_F(ProgramLauncherTest, FullPathStartsInItsOwnFolder) {
  EXPECT_EQ(StartExternalProgram(data_.File(kProgram), "\"" + marker_ + "\" 0", "", false, other_.path(), tell_), 1);
  ASSERT_TRUE(WaitForLines(1));
  EXPECT_EQ(ReadFileBytes(marker_), data_.path() + "\n");
}

TEST_F(ProgramLauncherTest, NotStartedTwiceWhileItRuns) {
  const std::string args = "\"" + marker_ + "\" 4000";
  EXPECT_EQ(StartExternalProgram(kProgram, args, "", true, data_.path(), tell_), 1);
  ASSERT_TRUE(WaitForLines(1));
  EXPECT_EQ(StartExternalProgram(kProgram, args, "", true, data_.path(), tell_), 0);
  EXPECT_EQ(StartExternalProgram(data_.File(kProgram), args, "", true, data_.path(), tell_), 0);
  // Without the option a second copy starts.
  EXPECT_EQ(StartExternalProgram(kProgram, args, "", false, data_.path(), tell_), 1);
  ASSERT_TRUE(WaitForLines(2));
  Sleep(300);
  EXPECT_EQ(Lines(ReadFileBytes(marker_)), 2);
  EXPECT_TRUE(told_.empty());
}

TEST_F(ProgramLauncherTest, FailureTellsTheUser) {
  EXPECT_EQ(StartExternalProgram("missing.exe", "", "", false, data_.path(), tell_), -1);
  EXPECT_EQ(StartExternalProgram("", "", "", false, data_.path(), tell_), -1);
  ASSERT_EQ(told_.size(), 2u);
  EXPECT_EQ(told_[0], "missing.exeが起動できませんでした。");
  EXPECT_EQ(told_[1], "が起動できませんでした。");
}

}  // namespace
}  // namespace tidewell
