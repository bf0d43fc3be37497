#include "device/android_cmd_results.h"

namespace kit::device::android_result {

namespace {
char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool is_space(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f'; }

// The first two words of a line, when it has two.
bool two_words(std::u16string_view line, std::u16string_view& first, std::u16string_view& second) {
  size_t i = 0;
  auto skip_space = [&] {
    while (i < line.size() && is_space(line[i])) ++i;
  };
  auto take_word = [&](std::u16string_view& word) {
    size_t start = i;
    while (i < line.size() && !is_space(line[i])) ++i;
    word = line.substr(start, i - start);
    return !word.empty();
  };
  skip_space();
  if (!take_word(first)) return false;
  skip_space();
  return take_word(second);
}
} // namespace

bool contains_no_case(std::u16string_view text, std::u16string_view word) {
  if (text.empty() || word.empty() || word.size() > text.size()) return false;
  for (size_t start = 0; start + word.size() <= text.size(); ++start) {
    size_t k = 0;
    while (k < word.size() && lower(text[start + k]) == lower(word[k])) ++k;
    if (k == word.size()) return true;
  }
  return false;
}

std::vector<device_entry> parse_device_list(std::u16string_view output) {
  std::vector<device_entry> devices;
  size_t start = 0;
  while (start <= output.size()) {
    size_t end = output.find(u'\n', start);
    if (end == std::u16string_view::npos) end = output.size();
    std::u16string_view serial, state;
    if (two_words(output.substr(start, end - start), serial, state)) {
      bool emulator = serial.find(u"emulator") != std::u16string_view::npos;
      bool usable = state.find(u"offline") != std::u16string_view::npos ||
                    state.find(u"device") != std::u16string_view::npos;
      if (!emulator && usable) devices.push_back({std::u16string(serial), std::u16string(state)});
    }
    start = end + 1;
  }
  return devices;
}

int32_t install_result(std::u16string_view output) {
  if (contains_no_case(output, u"success")) return kit::host::kTaskDone;
  struct failure {
    const char16_t* name;
    int32_t code;
  };
  static constexpr failure kFailures[] = {
      {u"INSTALL_FAILED_INSUFFICIENT_STORAGE", kit::host::kInstallNoSpace},
      {u"INSTALL_FAILED_INVALID_APK", kit::host::kInstallInvalidApk},
      {u"INSTALL_FAILED_OLDER_SDK", kit::host::kInstallOlderSdk},
      {u"can't find", kit::host::kInstallFileNotFound},
      {u"INSTALL_FAILED_MEDIA_UNAVAILABLE", kit::host::kInstallMediaUnavailable},
  };
  for (const auto& f : kFailures) {
    if (contains_no_case(output, f.name)) return f.code;
  }
  return kit::host::kTaskFailed;
}

int32_t error_check(std::u16string_view output) { return contains_no_case(output, u"error") ? kit::host::kTaskFailed : kit::host::kTaskDone; }

int32_t broadcast_check(std::u16string_view output) {
  return contains_no_case(output, u"result=0") ? kit::host::kTaskDone : kit::host::kTaskFailed;
}

} // namespace kit::device::android_result
