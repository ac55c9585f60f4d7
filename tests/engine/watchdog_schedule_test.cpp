// The watchdog schedule against a timer restarted at every socket event: the
// ticks must come at the same times, while the timer is set only when it
// fires early, not at every event.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "tidewell/engine/pop3_session.h"

namespace tidewell {
namespace {

constexpr std::uint32_t kPeriod = WatchdogSchedule::kPeriod;

// A Windows timer: fires every `period` ms after it was last set; setting it
// again restarts it.
struct Timer {
  std::uint32_t set_at = 0;
  std::uint32_t period = kPeriod;
  std::uint32_t next() const { return set_at + period; }
};

// Ticks of the plain rule (restart the timer at every event) up to `end`,
// as offsets from `start`.
std::vector<std::uint32_t> RestartTicks(std::uint32_t start, const std::vector<std::uint32_t>& events,
                                        std::uint32_t end) {
  std::vector<std::uint32_t> ticks;
  Timer t{start};
  std::size_t e = 0;
  for (std::uint32_t now = 0; now <= end; ++now) {
    if (e < events.size() && events[e] == now) {
      t.set_at = start + now;
      ++e;
    }
    if (start + now == t.next()) {
      ticks.push_back(now);
      t.set_at = start + now;
    }
  }
  return ticks;
}

struct ScheduleRun {
  std::vector<std::uint32_t> ticks;
  int timer_sets = 0;  // SetTimer calls after the start
};

// The same events with the schedule: events only note the time, the timer
// is set again only when a fire asks for it.
ScheduleRun ScheduleTicks(std::uint32_t start, const std::vector<std::uint32_t>& events, std::uint32_t end) {
  ScheduleRun run;
  WatchdogSchedule s;
  s.Start(start);
  Timer t{start};
  std::size_t e = 0;
  for (std::uint32_t now = 0; now <= end; ++now) {
    if (e < events.size() && events[e] == now) {
      s.Event(start + now);
      ++e;
    }
    if (start + now == t.next()) {
      const WatchdogSchedule::Fire f = s.OnFire(start + now);
      t.set_at = start + now;
      if (f.rearm != 0) {
        t.period = f.rearm;
        ++run.timer_sets;
      }
      if (f.tick) run.ticks.push_back(now);
    }
  }
  return run;
}

struct Case {
  const char* name;
  std::uint32_t start;
  std::vector<std::uint32_t> events;  // ms after the start, ascending
  std::uint32_t end;  // half a period off any tick, so both runs see the same number
};

TEST(WatchdogSchedule, TicksWhenRestartingAtEveryEventWould) {
  const std::uint32_t near_wrap = 0xFFFFFFFFu - 90000;  // the tick counter wraps mid-session
  const std::vector<Case> cases = {
      {"no event: a tick every period", 1000, {}, 4 * kPeriod + kPeriod / 2},
      {"one event late in the first period", 1000, {59000}, 3 * kPeriod + kPeriod / 2},
      {"a busy session then silence", 5, {10, 20, 30, 40000, 40001, 119999}, 5 * kPeriod + kPeriod / 2},
      {"events right after a tick", 0, {kPeriod + 1, 2 * kPeriod + 5}, 5 * kPeriod + kPeriod / 2},
      {"events right before the due time", 0, {kPeriod - 60, 2 * kPeriod - 100}, 4 * kPeriod + kPeriod / 2},
      {"counter wraps", near_wrap, {30000, 70000, 100000}, 4 * kPeriod + kPeriod / 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::uint32_t> want = RestartTicks(c.start, c.events, c.end);
    const ScheduleRun got = ScheduleTicks(c.start, c.events, c.end);
    ASSERT_EQ(got.ticks.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      // A fire within the tolerance of the due time is taken as the tick.
      EXPECT_LE(got.ticks[i], want[i]);
      EXPECT_LE(want[i] - got.ticks[i], WatchdogSchedule::kTolerance) << "tick " << i;
    }
  }
}

TEST(WatchdogSchedule, SetsTheTimerOnlyWhenItFiresEarly) {
  // Silence: the timer is never touched again.
  EXPECT_EQ(ScheduleTicks(0, {}, 10 * kPeriod).timer_sets, 0);

  // Two thousand mails a few milliseconds apart in one period: one re-arm
  // for the rest of the period and one back to the full period after the
  // tick, in place of a restart per event.
  std::vector<std::uint32_t> busy;
  for (std::uint32_t t = 1; t <= 4000; t += 2) busy.push_back(t);
  const ScheduleRun run = ScheduleTicks(0, busy, 3 * kPeriod);
  EXPECT_EQ(run.timer_sets, 2);
  EXPECT_EQ(run.ticks, (std::vector<std::uint32_t>{4000 - 1 + kPeriod, 4000 - 1 + 2 * kPeriod}));
}

}  // namespace
}  // namespace tidewell
