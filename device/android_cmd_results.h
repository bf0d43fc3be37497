// Turning the debug-bridge client's output into the small results the scripts receive:
// the task statuses of host/task_status.h (done, failed, the install failures).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/task_status.h"

namespace kit::device::android_result {

// Whether text contains word, ignoring the case of ASCII letters; false when either is
// empty.
bool contains_no_case(std::u16string_view text, std::u16string_view word);

struct device_entry {
  std::u16string serial;
  std::u16string state;
};

// The devices of a listing, in line order: the first two words of each line are serial
// and state; emulators are dropped, and only states containing "device" or "offline"
// are kept (which drops the header line and unauthorised devices).
std::vector<device_entry> parse_device_list(std::u16string_view output);

// kit::host::kTaskDone when the output reports success, else the code of the first known failure
// name found, else kit::host::kTaskFailed.
int32_t install_result(std::u16string_view output);
// kit::host::kTaskFailed when the output contains "error", else kit::host::kTaskDone (also for no output).
int32_t error_check(std::u16string_view output);
// kit::host::kTaskDone when the output contains "result=0", else kit::host::kTaskFailed.
int32_t broadcast_check(std::u16string_view output);

} // namespace kit::device::android_result
