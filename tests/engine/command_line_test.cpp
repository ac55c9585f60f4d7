#include "tidewell/engine/command_line.h"

#include <gtest/gtest.h>

#include <string>

#include "tidewell/engine/engine_state.h"

namespace tidewell {
namespace {

TEST(SecondInstance, OnlyTheFirstLowerOrElseUpperXCounts) {
  struct Case {
    const char* line;
    bool allowed;
  } cases[] = {
      {"", false},
      {"-x1", true},
      {"-X1", true},
      {"-e1 -x1", true},
      {"abc-x1def", true},  // inside a longer argument
      {"-x2", false},
      {"-x", false},        // nothing after the switch
      {"-x0 -x1", false},   // only the first -x is examined
      {"-x -X1", false},    // -x present: -X is never looked at
      {"-X0 -x1", true},    // lower case is searched first
      {"/x1", false},
  };
  for (const Case& c : cases) EXPECT_EQ(AllowsSecondInstance(c.line), c.allowed) << c.line;
}

TEST(CommandLine, ExactShortFormsOverrideSeveralOptions) {
  const std::uint32_t all = kEnd | kStart | kListOpen | kNewMessage | kSoundCheck;
  struct Case {
    const char* line;
    std::uint32_t before, after;
  } cases[] = {
      {"-s", all, all & ~kEnd},
      {"/S", kEnd, 0},
      {"-n", kNewMessage | kSoundCheck, kStart | kEnd | kListOpen | kSoundCheck},
      {"/N", 0, kStart | kEnd | kListOpen},
      // not exactly the short form: read as switches, where s and n mean nothing
      {"-s ", kEnd, kEnd},
      {"-n1", kNewMessage, kNewMessage},
  };
  for (const Case& c : cases) EXPECT_EQ(ApplyCommandLine(c.line, c.before), c.after) << c.line;
}

TEST(CommandLine, LetterSwitchesTurnTheirOptionOnOrOff) {
  struct Case {
    const char* line;
    std::uint32_t before, after;
  } cases[] = {
      {"-d1", 0, kListOpen},
      {"-e1", 0, kEnd},
      {"-f1", 0, kStart},
      {"-i1", 0, kErrorDisregard},
      {"-m1", 0, kNewMessage},
      {"-p1", 0, kExecCheck},
      {"-w1", 0, kSoundCheck},
      {"/W0", kSoundCheck | kEnd, kEnd},
      {"-E1 /w0", kSoundCheck, kEnd},
      {"-f1 -e1 -i1", 0, kStart | kEnd | kErrorDisregard},
      {"-e1 -e0", 0, 0},              // the last piece wins
      {"-e1x", 0, kEnd},              // characters after the third are ignored
      {"-e2 -ex e1 -1e", kEnd, kEnd},  // not a switch
      {"-z1 -x1", kTimeCheck, kTimeCheck},  // letters without an option
      {"--e1", 0, 0},
      {"  -e1  ", 0, kEnd},           // empty pieces between spaces
  };
  for (const Case& c : cases) EXPECT_EQ(ApplyCommandLine(c.line, c.before), c.after) << c.line;
}

TEST(CommandLine, SwitchesCountOnlyUpToOneHundredCharacters) {
  std::string line = "-e1 -w0";
  line += std::string(100 - line.size(), ' ');
  ASSERT_EQ(line.size(), 100u);
  EXPECT_EQ(ApplyCommandLine(line, kSoundCheck), kEnd);
  line += ' ';
  EXPECT_EQ(ApplyCommandLine(line, kSoundCheck), kSoundCheck);
}

}  // namespace
}  // namespace tidewell
