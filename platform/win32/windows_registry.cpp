#include "platform/windows_registry.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace kit::platform::windows_registry {

namespace {

HKEY root_key(int root) {
  static const HKEY roots[] = {HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_USERS,
                               HKEY_CURRENT_CONFIG};
  return root >= 0 && root < 5 ? roots[root] : nullptr;
}

// The key path as the registry takes it: names joined by "\", empty names dropped.
std::wstring key_path(const std::string& key) {
  std::string out, name;
  auto flush = [&] {
    if (name.empty()) return;
    if (!out.empty()) out += '\\';
    out += name;
    name.clear();
  };
  for (char c : key) {
    if (c == '\\' || c == '/') flush();
    else name += c;
  }
  flush();
  return win32::wide(out);
}

// The open key, closed when it goes.
struct open_key {
  HKEY h = nullptr;
  open_key(int root, const std::string& key, REGSAM access) {
    HKEY base = root_key(root);
    if (base && ::RegOpenKeyExW(base, key_path(key).c_str(), 0, access, &h) != ERROR_SUCCESS) h = nullptr;
  }
  ~open_key() {
    if (h) ::RegCloseKey(h);
  }
};

} // namespace

bool create_key(int root, const std::string& key) {
  HKEY base = root_key(root);
  if (!base) return false;
  std::wstring path = key_path(key);
  if (path.empty()) return true;  // a root always exists
  HKEY made = nullptr;
  if (::RegCreateKeyExW(base, path.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &made, nullptr) != ERROR_SUCCESS)
    return false;
  ::RegCloseKey(made);
  return true;
}

bool key_exists(int root, const std::string& key) { return open_key(root, key, KEY_READ).h != nullptr; }

bool delete_key(int root, const std::string& key) {
  HKEY base = root_key(root);
  std::wstring path = key_path(key);
  if (!base || path.empty()) return false;
  return ::RegDeleteTreeW(base, path.c_str()) == ERROR_SUCCESS;
}

bool set_value(int root, const std::string& key, const std::string& name, const value& v) {
  open_key k(root, key, KEY_SET_VALUE);
  if (!k.h) return false;
  std::wstring value_name = win32::wide(name);
  if (const uint32_t* n = std::get_if<uint32_t>(&v)) {
    DWORD d = *n;
    return ::RegSetValueExW(k.h, value_name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d), sizeof d) ==
           ERROR_SUCCESS;
  }
  std::wstring text = win32::wide(std::get<std::string>(v));
  return ::RegSetValueExW(k.h, value_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::optional<value> query_value(int root, const std::string& key, const std::string& name) {
  open_key k(root, key, KEY_QUERY_VALUE);
  if (!k.h) return std::nullopt;
  std::wstring value_name = win32::wide(name);
  DWORD type = 0, size = 0;
  if (::RegQueryValueExW(k.h, value_name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  if (type == REG_DWORD) {
    DWORD d = 0;
    size = sizeof d;
    if (::RegQueryValueExW(k.h, value_name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&d), &size) != ERROR_SUCCESS ||
        size != sizeof d)
      return std::nullopt;
    return value(static_cast<uint32_t>(d));
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (::RegQueryValueExW(k.h, value_name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  // The stored bytes may or may not end with a terminator.
  text.resize(size / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return value(win32::utf8(text));
}

} // namespace kit::platform::windows_registry
