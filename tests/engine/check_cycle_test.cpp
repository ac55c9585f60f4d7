// The check cycle: when a check starts, the result step with its tray states
// and the end rule, as tables of flag combinations.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tidewell/engine/check_cycle.h"

namespace tidewell {
namespace {

using K = CycleAction::Kind;

std::vector<K> Kinds(const CycleActions& actions) {
  std::vector<K> out;
  for (const auto& a : actions) out.push_back(a.kind);
  return out;
}

TEST(CheckCycle, CheckCommandStartsOnlyWhenAllowed) {
  struct Case {
    const char* name;
    std::uint32_t flags;
    int accounts;
    bool excluded_running;
    std::vector<K> kinds;
  };
  const Case cases[] = {
      {"idle", 0, 2, false, {K::kSetTray, K::kStartSession}},
      {"sound playing is stopped", kSoundPlaying, 1, false,
       {K::kSetTray, K::kCloseSoundDevice, K::kStartSession}},
      {"already checking", kChecking, 2, false, {}},
      {"list window open", kListWindowOpen, 2, false, {}},
      {"no accounts", 0, 0, false, {K::kMessageBox}},
      {"excluded program running", kExceptProgram, 2, true, {}},
      {"excluded program not running", kExceptProgram, 2, false, {K::kSetTray, K::kStartSession}},
      {"excluded test off", 0, 2, true, {K::kSetTray, K::kStartSession}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EngineData d;
    d.flags = c.flags | kCheckError | kPrioritySoundDone | kMailShown;
    d.ResetAccounts(c.accounts);
    d.new_count = 4;
    d.seen_count = 2;
    d.current_account = 1;
    d.hash_list = "abc\n";
    CheckCycle cycle(d);
    int asked = 0;
    CycleActions a = cycle.OnCheckCommand([&] {
      ++asked;
      return c.excluded_running;
    });
    EXPECT_EQ(Kinds(a), c.kinds);
    EXPECT_EQ(asked, (c.flags & kExceptProgram) && !(c.flags & (kChecking | kListWindowOpen)) ? 1 : 0);
    const bool started = !c.kinds.empty() && c.kinds.back() == K::kStartSession;
    if (started) {
      EXPECT_EQ(a.front().tray, TrayState::kChecking);
      EXPECT_EQ(a.back().account, 0);
      EXPECT_TRUE(d.Has(kChecking));
      EXPECT_FALSE(d.Has(kCheckError | kPrioritySoundDone));
      EXPECT_TRUE(d.Has(kMailShown)) << "checking leaves MailShown alone";
      EXPECT_EQ(d.new_count, 0);
      EXPECT_EQ(d.seen_count, 0);
      EXPECT_EQ(d.current_account, 0);
      EXPECT_EQ(d.hash_list, "");
    } else {
      EXPECT_EQ(d.new_count, 4);
      EXPECT_EQ(d.hash_list, "abc\n");
      EXPECT_TRUE(d.Has(kCheckError));
    }
    if (c.accounts == 0) {
      EXPECT_EQ(a[0].text, "アカウントを設定してください。");
    }
  }
}

TEST(CheckCycle, AccountDoneVisitsEveryAccountInOrder) {
  EngineData d;
  d.ResetAccounts(3);
  CheckCycle cycle(d);
  ASSERT_EQ(cycle.OnCheckCommand(nullptr).back().account, 0);
  for (int next : {1, 2}) {
    CycleActions a = cycle.OnAccountDone();
    ASSERT_EQ(Kinds(a), std::vector<K>{K::kStartSession});
    EXPECT_EQ(a[0].account, next);
  }
  EXPECT_EQ(Kinds(cycle.OnAccountDone()), (std::vector<K>{K::kSetTray, K::kEvaluateEndRule}));
  EXPECT_FALSE(d.Has(kChecking));
  EXPECT_EQ(d.current_account, 0);
  // A notice left over after the check ended (disconnect) starts nothing.
  EXPECT_TRUE(cycle.OnAccountDone().empty());
}

TEST(CheckCycle, ResultStepChoosesTrayStateAndActions) {
  struct Case {
    const char* name;
    std::uint32_t flags;
    int new_count, seen_count;
    TrayState tray;
    bool new_mail;
  };
  const Case cases[] = {
      {"nothing", 0, 0, 0, TrayState::kNormal, false},
      {"nothing new, mail shown, seen mail", kMailShown, 0, 2, TrayState::kMail, false},
      {"nothing new, mail shown, nothing seen", kMailShown, 0, 0, TrayState::kNormal, false},
      {"nothing new, seen but icon cleared", 0, 0, 2, TrayState::kNormal, false},
      {"error", kCheckError, 0, 0, TrayState::kError, false},
      {"error, mail shown, seen mail", kCheckError | kMailShown, 0, 3, TrayState::kErrorWithMail, false},
      {"error, mail shown, nothing seen", kCheckError | kMailShown, 0, 0, TrayState::kError, false},
      {"new mail", 0, 3, 1, TrayState::kMail, true},
      {"new mail and an error", kCheckError, 3, 0, TrayState::kErrorWithMail, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EngineData d;
    d.ResetAccounts(1);
    d.flags = c.flags | kChecking;
    d.new_count = c.new_count;
    d.seen_count = c.seen_count;
    CheckCycle cycle(d);
    CycleActions a = cycle.OnAccountDone();
    if (c.new_mail) {
      ASSERT_EQ(Kinds(a), (std::vector<K>{K::kWriteSummaryFiles, K::kSetTray, K::kRunNewMailActions,
                                           K::kEvaluateEndRule}));
      EXPECT_EQ(a[0].count, c.new_count + c.seen_count);
      EXPECT_EQ(a[1].tray, c.tray);
    } else {
      ASSERT_EQ(Kinds(a), (std::vector<K>{K::kSetTray, K::kEvaluateEndRule}));
      EXPECT_EQ(a[0].tray, c.tray);
    }
    EXPECT_EQ(d.Has(kMailShown), c.tray == TrayState::kMail || c.tray == TrayState::kErrorWithMail);
  }
}

TEST(CheckCycle, EndRule) {
  struct Case { std::uint32_t flags; int new_count; bool ends; };
  const Case cases[] = {
      {0, 0, false},
      {kErrorDisregard, 0, false},
      {kEnd, 0, true},
      {kEnd, 2, true},
      {kEnd | kCheckError, 0, false},
      {kEnd | kCheckError, 2, false},
      {kEnd | kCheckError | kErrorDisregard, 2, true},
      {kEnd | kCheckError | kErrorDisregard | kListAutoOpened, 2, false},
      {kEnd | kListAutoOpened, 2, false},
      {kEnd | kSoundPlaying, 2, false},
      {kEnd | kSoundPlaying, 0, true},
      {kEnd | kListAutoOpened, 0, true},
      {kEnd | kCheckError | kErrorDisregard | kSoundPlaying, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.flags << " new " << c.new_count);
    EXPECT_EQ(EndRuleHolds(c.flags, c.new_count), c.ends);
    EngineData d;
    d.flags = c.flags;
    d.new_count = c.new_count;
    EXPECT_EQ(Kinds(CheckCycle(d).EvaluateEndRule()),
              c.ends ? std::vector<K>{K::kStartEndTimer} : std::vector<K>{});
  }
}

// Two accounts, the first with 3 mails, the second failing, End on: the new
// mail actions run and the program ends only with ErrorDisregard.
TEST(CheckCycle, NewMailWithAFailingAccount) {
  for (bool disregard : {false, true}) {
    EngineData d;
    d.ResetAccounts(2);
    d.flags = kEnd | (disregard ? kErrorDisregard : 0u);
    CheckCycle cycle(d);
    cycle.OnCheckCommand(nullptr);
    d.new_count += 3;  // first session's STAT
    cycle.OnAccountDone();
    d.Set(kCheckError);  // second session failed
    CycleActions a = cycle.OnAccountDone();
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[0].count, 3);
    EXPECT_EQ(a[1].tray, TrayState::kErrorWithMail);
    EXPECT_EQ(Kinds(cycle.EvaluateEndRule()).size(), disregard ? 1u : 0u);
  }
}

TEST(CheckCycle, MinuteTickCountsTowardsTimedChecks) {
  struct Case {
    const char* name;
    std::uint32_t flags;
    int interval, counter_before;
    int counter_after;
    bool posts;
  };
  const Case cases[] = {
      {"timed checks off", 0, 10, 7, 0, false},
      {"counting", kTimeCheck, 10, 3, 4, false},
      {"interval reached", kTimeCheck, 10, 9, 0, true},
      {"past the interval", kTimeCheck, 10, 15, 0, true},
      {"list open keeps counting", kTimeCheck | kListWindowOpen, 10, 9, 10, false},
      {"checking keeps counting", kTimeCheck | kChecking, 10, 12, 13, false},
      {"interval 0 checks every tick", kTimeCheck, 0, 0, 0, true},
      {"negative interval checks every tick", kTimeCheck, -3, 0, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EngineData d;
    d.flags = c.flags;
    d.check_interval = c.interval;
    d.minute_counter = c.counter_before;
    CycleActions a = CheckCycle(d).OnMinuteTick();
    EXPECT_EQ(Kinds(a), c.posts ? std::vector<K>{K::kPostCheckCommand} : std::vector<K>{});
    EXPECT_EQ(d.minute_counter, c.counter_after);
  }
}

TEST(CheckCycle, SocketStartupFailureAndDisconnectEndTheCheck) {
  EngineData d;
  d.ResetAccounts(3);
  d.flags = kMailShown;
  CheckCycle cycle(d);
  cycle.OnCheckCommand(nullptr);
  cycle.OnAccountDone();
  d.Set(kCheckError);
  CycleActions a = cycle.OnSocketStartupFailed();
  ASSERT_EQ(Kinds(a), (std::vector<K>{K::kMessageBox, K::kSetTray}));
  EXPECT_EQ(a[0].text, "SOCKETの作成に失敗しました。");
  EXPECT_EQ(a[1].tray, TrayState::kError);
  EXPECT_FALSE(d.Has(kChecking | kCheckError | kMailShown));
  EXPECT_EQ(d.current_account, 0);
  EXPECT_TRUE(cycle.OnAccountDone().empty());

  cycle.OnCheckCommand(nullptr);
  cycle.OnAccountDone();
  a = cycle.OnDisconnect();
  ASSERT_EQ(Kinds(a), std::vector<K>{K::kSetTray});
  EXPECT_EQ(a[0].tray, TrayState::kNormal);
  EXPECT_FALSE(d.Has(kChecking));
  EXPECT_TRUE(cycle.OnAccountDone().empty()) << "no further account after a disconnect";
}

}  // namespace
}  // namespace tidewell
