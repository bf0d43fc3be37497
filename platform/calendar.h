// Broken-down times of the calendar, in the local time zone or in UTC.
#pragma once
#include <ctime>

namespace kit::platform {

std::tm local_time(std::time_t when);
std::tm utc_time(std::time_t when);

} // namespace kit::platform
