// Local date and time of day, with a clock that tests can replace so that
// time-out rules are checked without waiting.
#pragma once

#include <cstdint>
#include <functional>

namespace dizora::platform {

struct LocalTime {
  int32_t year = 0;         // e.g. 2024
  int32_t month = 0;        // 1..12
  int32_t day = 0;          // 1..31
  int32_t hour = 0;         // 0..23
  int32_t minute = 0;       // 0..59
  int32_t second = 0;       // 0..59
  int32_t millisecond = 0;  // 0..999
};

// The current local date and time: the test clock when one is set, else the
// system's.
LocalTime CurrentLocalTime();

// The time of day of `t` as a fraction of a day, 0 <= result < 1.
double TimeOfDay(const LocalTime& t);

// Replaces the clock for the whole process; an empty function restores the
// system clock. For tests only. Safe to call while other threads read the clock.
void SetClockForTesting(std::function<LocalTime()> clock);

// The system's local time, ignoring any test clock.
LocalTime SystemLocalTime();

}  // namespace dizora::platform
