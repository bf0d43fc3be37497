#include "platform/calendar.h"

#include <time.h>

namespace kit::platform {

std::tm local_time(std::time_t when) {
  std::tm out{};
  ::localtime_r(&when, &out);
  return out;
}

std::tm utc_time(std::time_t when) {
  std::tm out{};
  ::gmtime_r(&when, &out);
  return out;
}

} // namespace kit::platform
