// The replaceable clock and the time-of-day fraction; the system's local time
// comes from the platform file (clock_posix.cpp, clock_win32.cpp).
#include "platform/clock.h"

#include <memory>
#include <mutex>

#include "platform/process_state.h"

namespace dizora::platform {

namespace {

using ClockFunction = std::function<LocalTime()>;

struct TestClock {
  std::mutex lock;
  std::shared_ptr<const ClockFunction> clock;  // null: the system clock
};

// Created by the first SetClockForTesting (never in a product) and never
// destroyed: a host thread may read the clock while the process exits.
constinit ProcessState<TestClock> g_test_clock;

}  // namespace

LocalTime CurrentLocalTime() {
  TestClock* test = g_test_clock.Find();
  if (test == nullptr) return SystemLocalTime();
  std::shared_ptr<const ClockFunction> clock;
  {
    std::lock_guard<std::mutex> guard(test->lock);
    clock = test->clock;
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
  TestClock& test = g_test_clock.Get();
  std::lock_guard<std::mutex> guard(test.lock);
  test.clock = std::move(replacement);
}

}  // namespace dizora::platform
