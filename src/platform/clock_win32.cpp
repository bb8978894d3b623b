// Win32 local time: GetLocalTime.
#include <windows.h>

#include "platform/clock.h"

namespace dizora::platform {

LocalTime SystemLocalTime() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  LocalTime t;
  t.year = now.wYear;
  t.month = now.wMonth;
  t.day = now.wDay;
  t.hour = now.wHour;
  t.minute = now.wMinute;
  t.second = now.wSecond;
  t.millisecond = now.wMilliseconds;
  return t;
}

}  // namespace dizora::platform
