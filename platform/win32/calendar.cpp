#include "platform/calendar.h"

#include <time.h>

namespace kit::platform {

std::tm local_time(std::time_t when) {
  std::tm out{};
  if (::localtime_s(&out, &when) != 0) out = std::tm{};
  return out;
}

std::tm utc_time(std::time_t when) {
  std::tm out{};
  if (::gmtime_s(&out, &when) != 0) out = std::tm{};
  return out;
}

} // namespace kit::platform
