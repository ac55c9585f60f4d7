#include "tidewell/engine/except_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tidewell {
namespace {

struct ExceptCase {
  const char* label;
  std::string except_text;
  std::string process_list;
  bool excluded;
};

TEST(ExceptListMatches, WalksTheLinesOfExceptDat) {
  const std::string nt = "C:\\Windows\\explorer.exe\r\nC:\\Games\\Game.exe\r\n";
  const std::string w9x = "EXPLORER.EXE\r\nGAME.EXE\r\n";
  const ExceptCase cases[] = {
      {"bare name", "game.exe\r\n", nt, true},
      {"last line without a break is not read", "game.exe", nt, false},
      {"second line without a break", "other.exe\r\ngame.exe", nt, false},
      {"folder before the name", "D:\\Elsewhere\\game.exe\r\n", nt, true},
      {"letter case differs", "GAME.exe\r\n", nt, true},
      {"bare names in the list", "C:\\Games\\game.exe\r\n", w9x, true},
      {"tail of a longer name", "me.exe\r\n", nt, true},
      {"not running", "tool.exe\r\n", nt, false},
      {"several entries", "a.exe\r\nb.exe\r\nexplorer.exe\r\n", nt, true},
      // The blank line's break starts the next entry, which then only matches
      // a name that starts a line of the list (not the first one).
      {"blank line, name starts a line", "\r\ngame.exe\r\n", "a.exe\r\ngame.exe\r\n", true},
      {"blank line, name inside a path", "\r\ngame.exe\r\n", nt, false},
      {"blank line, name is the first line", "\r\ngame.exe\r\n", "game.exe\r\n", false},
      {"entry that is a folder", "C:\\Games\\\r\n", nt, false},
      {"only blank lines", "\r\n\r\n\r\n", nt, false},
      {"empty file", "", nt, false},
      {"empty list", "game.exe\r\n", "", false},
      // A backslash inside a two-byte character is not a folder separator.
      {"two-byte name with a 0x5C byte", "D:\\ソフト.exe\r\n", "C:\\x\\ギフト.exe\r\n", false},
      {"two-byte name found", "D:\\ソフト.exe\r\n", "C:\\x\\ソフト.exe\r\n", true},
      // The second byte of "ア" is 'A'; lowering it would make "ヂ".
      {"two-byte letters are not lowered", "ア.exe\r\n", "C:\\ヂ.exe\r\n", false},
  };
  for (const ExceptCase& c : cases)
    EXPECT_EQ(ExceptListMatches(c.except_text, c.process_list), c.excluded) << c.label;
}

TEST(AppendProcessName, KeepsTheListInsideItsBuffer) {
  std::string list;
  AppendProcessName(list, "");
  EXPECT_EQ(list, "");
  AppendProcessName(list, "a.exe");
  EXPECT_EQ(list, "a.exe\r\n");

  // Fill to exactly the usable 99,999 bytes: the last name that fits goes in,
  // one byte more is dropped, a shorter one after it still fits.
  list.assign(kProcessListBuffer - 1 - 12, 'x');
  AppendProcessName(list, std::string(11, 'n'));  // 11 + 2 = 13 > 12: dropped
  EXPECT_EQ(list.size(), kProcessListBuffer - 1 - 12);
  AppendProcessName(list, std::string(10, 'm'));  // 10 + 2 = 12: fits
  EXPECT_EQ(list.size(), kProcessListBuffer - 1);
  AppendProcessName(list, "z");
  EXPECT_EQ(list.size(), kProcessListBuffer - 1);
}

TEST(ExcludedProgramRunning, ReadsExceptDatAndBuildsTheListOnlyWhenNeeded) {
  auto dir = std::filesystem::temp_directory_path() / "tidewell_except_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  int builds = 0;
  auto list = [&builds] {
    ++builds;
    return std::string("C:\\Games\\game.exe\r\n");
  };
  EXPECT_FALSE(ExcludedProgramRunning(dir.string(), list));  // no except.dat
  std::ofstream(dir / "except.dat", std::ios::binary) << "";
  EXPECT_FALSE(ExcludedProgramRunning(dir.string(), list));  // empty
  EXPECT_EQ(builds, 0);
  std::ofstream(dir / "except.dat", std::ios::binary) << "GAME.EXE\r\n";
  EXPECT_TRUE(ExcludedProgramRunning(dir.string(), list));
  EXPECT_EQ(builds, 1);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tidewell
