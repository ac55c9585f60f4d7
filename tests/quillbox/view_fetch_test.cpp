// How much of a mail the view session fetches, from Quillbox.ini's Line and
// LargeLine keys and the mail's Size column.
#include "quillbox/view_fetch.h"

#include <gtest/gtest.h>

namespace tidewell {
namespace {

TEST(ViewFetch, NewSettingsFetchWholeMailsUpTo1MiB) {
  const ViewFetchSettings s = ReadViewFetchSettings(false, 0, false, 0);
  EXPECT_EQ(s.lines, -1);
  EXPECT_EQ(s.large_lines, 200);
  EXPECT_EQ(ViewFetchLines(s, "1 KB"), -1);
  EXPECT_EQ(ViewFetchLines(s, "1024 KB"), -1);  // 1 MiB exactly (sizes are rounded up)
  EXPECT_EQ(ViewFetchLines(s, "1025 KB"), 200);
  EXPECT_EQ(ViewFetchLines(s, "99999999999 KB"), 200);
  EXPECT_EQ(ViewFetchLines(s, ""), -1);
}

TEST(ViewFetch, ALineKeyIsTakenAsTheUserSetIt) {
  const struct {
    bool line_key;
    int line;
    bool large_key;
    int large;
    int small_mail;
    int large_mail;
  } cases[] = {
      {true, 10, false, 0, 10, 10},    // the old default, written by every list window
      {true, 0, false, 0, 0, 0},
      {true, -1, false, 0, -1, -1},    // whole mails, also large ones
      {true, -1, true, 200, -1, 200},  // as a new file has it after the first close
      {true, -1, true, -5, -1, -1},
      {true, 30, true, 200, 30, 30},
  };
  for (const auto& c : cases) {
    const ViewFetchSettings s = ReadViewFetchSettings(c.line_key, c.line, c.large_key, c.large);
    EXPECT_EQ(ViewFetchLines(s, "3 KB"), c.small_mail) << c.line << " " << c.large;
    EXPECT_EQ(ViewFetchLines(s, "2048 KB"), c.large_mail) << c.line << " " << c.large;
  }
}

}  // namespace
}  // namespace tidewell
