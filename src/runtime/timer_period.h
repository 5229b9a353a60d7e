// The one rule for writing a timer's period, which every backend applies.
//
// A negative value counts as 0. Writing the period the timer already has changes nothing: a
// running countdown goes on undisturbed. Any other value is stored, the running system timer is
// stopped, and a value above 0 starts a new one whose first tick is one full period later. The
// system timer never runs faster than kMinimumSystemPeriod; the stored period stays as written.
#pragma once

#include <cstdint>

namespace pelorin::runtime {

inline constexpr std::int32_t kMinimumSystemPeriod = 10;

struct PeriodChange {
  bool changed;            // false: leave the timer exactly as it is
  std::int32_t period;     // the new stored period (0 = stopped)
  std::int32_t system_ms;  // the system timer's period to start, 0 for none
};

constexpr PeriodChange apply_period(std::int32_t current, std::int32_t written) {
  const std::int32_t v = written < 0 ? 0 : written;
  if (v == current) return {false, current, 0};
  return {true, v, v == 0 ? 0 : (v < kMinimumSystemPeriod ? kMinimumSystemPeriod : v)};
}

}  // namespace pelorin::runtime
