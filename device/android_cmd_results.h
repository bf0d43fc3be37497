// Turning the debug-bridge client's output into the small results the scripts receive:
// 5 means success and 4 failure throughout.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace android_result {

constexpr int32_t kSuccess = 5;
constexpr int32_t kFailure = 4;
constexpr int32_t kInsufficientStorage = 2000;
constexpr int32_t kInvalidApk = 2001;
constexpr int32_t kOlderSdk = 2002;
constexpr int32_t kFileNotFound = 2003;
constexpr int32_t kMediaUnavailable = 2004;

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

// kSuccess when the output reports success, else the code of the first known failure
// name found, else kFailure.
int32_t install_result(std::u16string_view output);
// kFailure when the output contains "error", else kSuccess (also for no output).
int32_t error_check(std::u16string_view output);
// kSuccess when the output contains "result=0", else kFailure.
int32_t broadcast_check(std::u16string_view output);

} // namespace android_result
