// The one period rule every backend's timers follow.
#include <gtest/gtest.h>

#include <cstdint>

#include "runtime/timer_period.h"

namespace pelorin::runtime {
namespace {

struct Row {
  const char* name;
  std::int32_t current, written;
  PeriodChange expected;
};

TEST(TimerPeriod, FollowsTheRule) {
  const Row rows[] = {
      {"start", 0, 3000, {true, 3000, 3000}},
      {"the same period leaves the countdown alone", 3000, 3000, {false, 3000, 0}},
      {"a new period restarts", 3000, 5000, {true, 5000, 5000}},
      {"zero stops", 3000, 0, {true, 0, 0}},
      {"negative counts as zero and stops", 3000, -100, {true, 0, 0}},
      {"negative on a stopped timer changes nothing", 0, -5, {false, 0, 0}},
      {"zero on a stopped timer changes nothing", 0, 0, {false, 0, 0}},
      {"below the system minimum runs at the minimum", 0, 1, {true, 1, kMinimumSystemPeriod}},
      {"the stored period stays as written", 1, 1, {false, 1, 0}},
      {"the largest period", 0, INT32_MAX, {true, INT32_MAX, INT32_MAX}},
      {"the smallest number", 500, INT32_MIN, {true, 0, 0}},
  };
  for (const Row& r : rows) {
    const PeriodChange got = apply_period(r.current, r.written);
    EXPECT_EQ(got.changed, r.expected.changed) << r.name;
    EXPECT_EQ(got.period, r.expected.period) << r.name;
    EXPECT_EQ(got.system_ms, r.expected.system_ms) << r.name;
  }
}

}  // namespace
}  // namespace pelorin::runtime
