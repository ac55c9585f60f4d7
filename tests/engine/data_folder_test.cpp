#include "tidewell/engine/data_folder.h"

#include <gtest/gtest.h>

namespace tidewell {
namespace {

TEST(DataFolder, TrailingBackslashIsDroppedExceptAtADriveRoot) {
  struct Case {
    const char* current;
    const char* folder;
  } cases[] = {
      {"C:\\", "C:\\"},
      {"C:\\Mail\\", "C:\\Mail"},
      {"C:\\Mail", "C:\\Mail"},
      {"Z:\\work\\data", "Z:\\work\\data"},
      {"\\\\srv\\share\\", "\\\\srv\\share"},
      // "表" ends in the byte 0x5C: it is part of the name, not a separator.
      {"C:\\表", "C:\\表"},
      {"C:\\表\\", "C:\\表"},
  };
  for (const Case& c : cases) EXPECT_EQ(DataFolderFromCurrentDirectory(c.current), c.folder) << c.current;
}

TEST(DataFolder, AcceptsUpTo220Characters) {
  const std::string base = "C:\\";
  EXPECT_TRUE(IsDataFolderAccepted(base + std::string(217, 'a')));   // 220
  EXPECT_FALSE(IsDataFolderAccepted(base + std::string(218, 'a')));  // 221
  // The check is made after the trailing backslash went away.
  EXPECT_TRUE(IsDataFolderAccepted(DataFolderFromCurrentDirectory(base + std::string(217, 'a') + "\\")));
}

TEST(DataFolder, TooLongMessageNamesTheLimit) {
  const std::string m = DataFolderTooLongMessage();
  EXPECT_EQ(m, "Tidewellをインストールするフォルダを変更してください。\n（フォルダ名の長さは220文字以内）");
}

TEST(DataFolder, PathsDoNotDoubleTheRootBackslash) {
  EXPECT_EQ(DataPath("C:\\", "Mail"), "C:\\Mail");
  EXPECT_EQ(DataPath("C:\\data", "Mail"), "C:\\data\\Mail");
  EXPECT_EQ(DataPath("C:\\表", "Mail"), "C:\\表\\Mail");
}

}  // namespace
}  // namespace tidewell
