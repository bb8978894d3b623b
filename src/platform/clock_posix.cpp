// POSIX local time: clock_gettime and localtime_r.
#include <time.h>

#include "platform/clock.h"

namespace dizora::platform {

LocalTime SystemLocalTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  LocalTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second reads as :59
  t.millisecond = static_cast<int32_t>(now.tv_nsec / 1000000);
  return t;
}

}  // namespace dizora::platform
