// The replaceable clock and the time-of-day fraction; the system's local time
// comes from the platform file (clock_posix.cpp, clock_win32.cpp).
#include "platform/clock.h"

#include <memory>
#include <mutex>

namespace dizora::platform {

namespace {

using ClockFunction = std::function<LocalTime()>;

struct TestClock {
  std::mutex lock;
  std::shared_ptr<const ClockFunction> clock;  // null: the system clock
};

TestClock& Clock() {
  static TestClock instance;
  return instance;
}

}  // namespace

LocalTime CurrentLocalTime() {
  std::shared_ptr<const ClockFunction> clock;
  {
    std::lock_guard<std::mutex> guard(Clock().lock);
    clock = Clock().clock;
  }
  return clock ? (*clock)() : SystemLocalTime();
}

double TimeOfDay(const LocalTime& t) {
  constexpr double kMillisecondsPerDay = 86400000.0;
  const double ms = ((static_cast<double>(t.hour) * 60.0 + t.minute) * 60.0 + t.second) * 1000.0 + t.millisecond;
  return ms / kMillisecondsPerDay;
}

void SetClockForTesting(std::function<LocalTime()> clock) {
  auto replacement = clock ? std::make_shared<const ClockFunction>(std::move(clock)) : nullptr;
  std::lock_guard<std::mutex> guard(Clock().lock);
  Clock().clock = std::move(replacement);
}

}  // namespace dizora::platform
