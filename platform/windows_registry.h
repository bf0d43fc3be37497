// The Windows registry, for the registry store of the Windows build. Roots are numbered as
// the store numbers them: 0 HKEY_CURRENT_USER, 1 HKEY_CLASSES_ROOT, 2 HKEY_LOCAL_MACHINE,
// 3 HKEY_USERS, 4 HKEY_CURRENT_CONFIG. Key paths are UTF-8 with "\" or "/" between names
// (empty names are dropped); the registry itself ignores letter case.
#pragma once
#ifdef _WIN32
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace kit::platform::windows_registry {

using value = std::variant<uint32_t, std::string>;  // REG_DWORD or REG_SZ

// Creates the key and its missing parents; true when it exists afterwards.
bool create_key(int root, const std::string& key);
bool key_exists(int root, const std::string& key);
// Deletes the key with everything below it; false for a root or a missing key.
bool delete_key(int root, const std::string& key);
// Sets a value of an existing key; false when the key does not exist.
bool set_value(int root, const std::string& key, const std::string& name, const value& v);
// A DWORD or a string value (REG_EXPAND_SZ as written); nothing for another type.
std::optional<value> query_value(int root, const std::string& key, const std::string& name);

} // namespace kit::platform::windows_registry
#endif
