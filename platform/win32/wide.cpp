#include "platform/win32/wide.h"

#include <windows.h>

namespace kit::platform::win32 {

std::wstring wide(std::string_view utf8_text) {
  if (utf8_text.empty()) return {};
  int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8_text.data(), static_cast<int>(utf8_text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8_text.data(), static_cast<int>(utf8_text.size()), out.data(), n);
  return out;
}

std::string utf8(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  int n = ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n, nullptr, nullptr);
  return out;
}

namespace {
// The plain form of a path reaches no further than 248 characters (a folder's name must leave
// room for a file's 8.3 name below it). Beyond that an absolute path is given in the "\\?\"
// form, which the system takes as it stands: separators are collapsed, and a path with "."
// or ".." parts is left as it is (to fail as before rather than reach another file).
std::wstring long_form(std::wstring path) {
  constexpr size_t kPlainLimit = 248;
  if (path.size() < kPlainLimit || path.compare(0, 4, L"\\\\?\\") == 0) return path;
  bool unc = path.size() > 2 && path[0] == L'\\' && path[1] == L'\\';
  bool drive = path.size() > 2 && path[1] == L':' && path[2] == L'\\';
  if (!unc && !drive) return path;
  std::wstring rest;
  for (size_t k = unc ? 2 : 0; k < path.size(); ++k)
    if (!(path[k] == L'\\' && !rest.empty() && rest.back() == L'\\')) rest += path[k];
  for (size_t start = 0; start <= rest.size();) {
    size_t end = rest.find(L'\\', start);
    std::wstring_view part(rest.data() + start, (end == std::wstring::npos ? rest.size() : end) - start);
    if (part == L"." || part == L"..") return path;
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  return (unc ? L"\\\\?\\UNC\\" : L"\\\\?\\") + rest;
}
} // namespace

std::wstring wide_path(std::string_view path) {
  // A name that is not UTF-8 has no UTF-16 form: rather than reach another file (one with
  // U+FFFD in its name, shared by every such name) it reaches none.
  if (!path.empty() && ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                                             nullptr, 0) == 0)
    return {};
  std::wstring out = wide(path);
  for (auto& c : out)
    if (c == L'/') c = L'\\';
  return long_form(std::move(out));
}

std::string host_path(std::wstring_view path) {
  if (path.substr(0, 8) == L"\\\\?\\UNC\\") {
    std::wstring unc = L"\\\\" + std::wstring(path.substr(8));
    return host_path(unc);
  }
  if (path.substr(0, 4) == L"\\\\?\\") path.remove_prefix(4);
  std::string out = utf8(path);
  for (auto& c : out)
    if (c == '\\') c = '/';
  return out;
}

std::string environment(const wchar_t* name) {
  DWORD n = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return {};
  std::wstring value(n, L'\0');
  n = ::GetEnvironmentVariableW(name, value.data(), n);
  value.resize(n);
  return utf8(value);
}

std::string with_slash(std::string path) {
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  return path;
}

bool is_absolute_path(std::string_view path) {
  if (path.size() >= 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':' &&
      (path[2] == '/' || path[2] == '\\'))
    return true;
  return path.size() >= 2 && (path[0] == '/' || path[0] == '\\') && (path[1] == '/' || path[1] == '\\');
}

std::string module_file(void* module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameW(static_cast<HMODULE>(module), path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return host_path(std::wstring_view(path.data(), n));
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

} // namespace kit::platform::win32
