// When a settings reload may run, and when the accounts' run-time state
// survives it.
#include "tidewell/engine/settings_reload.h"

#include <gtest/gtest.h>

#include "tidewell/engine/engine_state.h"

namespace tidewell {
namespace {

TEST(SettingsReload, WaitsForTheCheckAndTheSoundSequence) {
  const struct {
    std::uint32_t flags;
    bool sequence;
    bool may_run;
  } cases[] = {
      {0, false, true},
      {kChecking, false, false},
      {0, true, false},
      {kChecking, true, false},
      {kSoundCheck | kMailShown, false, true},
  };
  for (const auto& c : cases) EXPECT_EQ(SettingsReloadMayRun(c.flags, c.sequence), c.may_run) << c.flags;
}

AccountList Named(std::initializer_list<const char*> names) {
  AccountList list;
  for (const char* n : names) {
    CAccount a;
    a.display_name = n;
    list.push_back(a);
  }
  return list;
}

TEST(SettingsReload, RunTimeStateKeptOnlyForTheSameNamesInOrder) {
  EXPECT_TRUE(SameAccountNames(Named({"a", "b"}), Named({"a", "b"})));
  EXPECT_TRUE(SameAccountNames(Named({}), Named({})));
  EXPECT_FALSE(SameAccountNames(Named({"a", "b"}), Named({"b", "a"})));
  EXPECT_FALSE(SameAccountNames(Named({"a", "b"}), Named({"a"})));
  EXPECT_FALSE(SameAccountNames(Named({"a"}), Named({"A"})));
  AccountList changed = Named({"a", "b"});
  changed[1].server = "other";  // other fields may change
  EXPECT_TRUE(SameAccountNames(Named({"a", "b"}), changed));
}

}  // namespace
}  // namespace tidewell
