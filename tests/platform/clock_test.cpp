// Local time, the time-of-day fraction and the replaceable test clock.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/test_sync.h"
#include "platform/clock.h"

namespace dizora::platform {
namespace {

LocalTime At(int32_t hour, int32_t minute, int32_t second, int32_t ms) {
  LocalTime t;
  t.year = 2024, t.month = 2, t.day = 29;
  t.hour = hour, t.minute = minute, t.second = second, t.millisecond = ms;
  return t;
}

bool Same(const LocalTime& a, const LocalTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
         a.second == b.second && a.millisecond == b.millisecond;
}

class ClockTest : public ::testing::Test {
 protected:
  void TearDown() override { SetClockForTesting(nullptr); }
};

// Catches a month counted from 0, a year counted from 1900 and the like.
TEST_F(ClockTest, SystemTimeFieldsAreInRange) {
  const LocalTime t = CurrentLocalTime();
  const struct {
    const char* name;
    int32_t value, low, high;
  } fields[] = {{"year", t.year, 2020, 9999}, {"month", t.month, 1, 12},   {"day", t.day, 1, 31},
                {"hour", t.hour, 0, 23},      {"minute", t.minute, 0, 59}, {"second", t.second, 0, 59},
                {"millisecond", t.millisecond, 0, 999}};
  for (const auto& f : fields) {
    EXPECT_GE(f.value, f.low) << f.name;
    EXPECT_LE(f.value, f.high) << f.name;
  }
}

TEST_F(ClockTest, TimeOfDayIsFractionOfDay) {
  EXPECT_EQ(TimeOfDay(At(0, 0, 0, 0)), 0.0);
  EXPECT_EQ(TimeOfDay(At(12, 0, 0, 0)), 0.5);
  EXPECT_EQ(TimeOfDay(At(6, 0, 0, 0)), 0.25);
  EXPECT_DOUBLE_EQ(TimeOfDay(At(0, 0, 1, 0)), 1.0 / 86400.0);
  EXPECT_DOUBLE_EQ(TimeOfDay(At(0, 0, 0, 1)), 1.0 / 86400000.0);
  const double last = TimeOfDay(At(23, 59, 59, 999));
  EXPECT_LT(last, 1.0);
  EXPECT_DOUBLE_EQ(last, 1.0 - 1.0 / 86400000.0);
  // The date does not enter the time of day.
  LocalTime other_day = At(12, 0, 0, 0);
  other_day.day = 1;
  EXPECT_EQ(TimeOfDay(other_day), 0.5);
}

TEST_F(ClockTest, TestClockReplacesAndRestoresSystemClock) {
  const LocalTime fixed = At(23, 59, 58, 500);
  int calls = 0;
  SetClockForTesting([&] {
    ++calls;
    return fixed;
  });
  EXPECT_TRUE(Same(CurrentLocalTime(), fixed));
  EXPECT_TRUE(Same(CurrentLocalTime(), fixed));
  EXPECT_EQ(calls, 2);  // read afresh on every call

  SetClockForTesting(nullptr);
  EXPECT_GE(CurrentLocalTime().year, 2020);
  EXPECT_EQ(calls, 2);
}

TEST_F(ClockTest, ReplacingDuringConcurrentReadsIsSafe) {
  const LocalTime a = At(1, 0, 0, 0);
  const LocalTime b = At(2, 0, 0, 0);
  SetClockForTesting([a] { return a; });
  constexpr int kReaders = 3;
  constexpr int kRounds = 2000;
  dz_test::Barrier start(kReaders + 1);
  std::atomic<int> unexpected{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < kReaders; ++r) {
    readers.emplace_back([&] {
      EXPECT_TRUE(start.ArriveAndWait());
      for (int i = 0; i < kRounds; ++i) {
        const LocalTime t = CurrentLocalTime();
        if (!Same(t, a) && !Same(t, b)) ++unexpected;
      }
    });
  }
  EXPECT_TRUE(start.ArriveAndWait());
  for (int i = 0; i < kRounds; ++i) {
    if (i % 2 == 0) {
      SetClockForTesting([b] { return b; });
    } else {
      SetClockForTesting([a] { return a; });
    }
  }
  for (auto& t : readers) t.join();
  EXPECT_EQ(unexpected.load(), 0);
}

}  // namespace
}  // namespace dizora::platform
