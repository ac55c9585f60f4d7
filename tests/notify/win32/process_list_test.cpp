#include "tidewell/engine/win32/process_list.h"

#include <gtest/gtest.h>

#include "notify_win32_util.h"
#include "tidewell/engine/except_list.h"

namespace tidewell {
namespace {

using testing::ExeFolder;
using testing::ExePath;

// A started child, ended at the end of the scope.
class Child {
 public:
  explicit Child(const std::string& command_line) {
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    std::string cmd = command_line;
    started_ = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_) != 0;
  }
  ~Child() {
    if (!started_) return;
    TerminateProcess(pi_.hProcess, 0);
    WaitForSingleObject(pi_.hProcess, 5000);
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }
  bool started() const { return started_; }

 private:
  PROCESS_INFORMATION pi_{};
  bool started_ = false;
};

bool ContainsLine(const std::string& list, const std::string& name) {
  return list.find(name + "\r\n") != std::string::npos;
}

TEST(BuildProcessList, HoldsThisProgramAndAStartedChildByFullPath) {
  std::string list = BuildProcessList();
  ASSERT_FALSE(list.empty());
  EXPECT_LT(list.size(), kProcessListBuffer);
  EXPECT_EQ(list.substr(list.size() - 2), "\r\n");
  // The NT family lists the full path of each program's main module.
  EXPECT_TRUE(ContainsLine(list, ExePath())) << list;

  const std::string marker = ExeFolder() + "notify_marker.exe";
  EXPECT_FALSE(ContainsLine(list, marker));
  testing::TempFolder folder("plist");
  Child child("\"" + marker + "\" \"" + folder.File("m.txt") + "\" 20000");
  ASSERT_TRUE(child.started());
  // The child is listed once it has started up.
  ASSERT_TRUE(testing::PumpUntil([&] { return ContainsLine(BuildProcessList(), marker); }, 10000))
      << BuildProcessList();
}

TEST(ExcludedProgramRunning, SkipsWhileAListedProgramRuns) {
  testing::TempFolder data("except");
  const std::string exe = ExePath();
  const std::string own_name = exe.substr(exe.find_last_of('\\') + 1);
  // An entry with another folder and other letter case still names us.
  std::string upper = own_name;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  ASSERT_TRUE(testing::WriteFileBytes(data.File("except.dat"), "notrunning.exe\r\nX:\\Elsewhere\\" + upper + "\r\n"));
  EXPECT_TRUE(ExcludedProgramRunning(data.path(), BuildProcessList));

  ASSERT_TRUE(testing::WriteFileBytes(data.File("except.dat"), "notrunning.exe\r\n" + own_name));  // no break
  EXPECT_FALSE(ExcludedProgramRunning(data.path(), BuildProcessList));
}

}  // namespace
}  // namespace tidewell
