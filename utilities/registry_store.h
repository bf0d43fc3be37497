// The per-user registry: keys named by paths under five roots, holding DWORD and string
// values, kept in one SQLite file ($XDG_CONFIG_HOME/Mobrevist/registry.db); on Windows the
// system's registry itself (the path is not used there). Key paths and value names compare
// without letter case; "\" and "/" both separate key names.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

struct sqlite3;

namespace kit::utilities {

// A value: a DWORD or a string.
using registry_value = std::variant<uint32_t, std::string>;

class registry_store {
public:
  // Opens (creating when missing) the file at path; an empty path means the per-user file.
  explicit registry_store(const std::string& path = {});
  ~registry_store();
  registry_store(const registry_store&) = delete;
  registry_store& operator=(const registry_store&) = delete;

  // The number of a root name (case ignored): 0..4 for HKEY_CURRENT_USER, HKEY_CLASSES_ROOT,
  // HKEY_LOCAL_MACHINE, HKEY_USERS and HKEY_CURRENT_CONFIG; nothing for any other text.
  static std::optional<int> root_of(const std::string& name);
  static std::string default_path();

  // Creates the key and its missing parents; true when it exists afterwards.
  bool create_key(int root, const std::string& key);
  bool key_exists(int root, const std::string& key);
  // Deletes the key, its values and everything below it; false for the root itself or a
  // missing key.
  bool delete_key(int root, const std::string& key);
  // Sets a value of an existing key; false when the key does not exist.
  bool set_value(int root, const std::string& key, const std::string& name, const registry_value& value);
  std::optional<registry_value> query_value(int root, const std::string& key, const std::string& name);

private:
  bool exec(const char* sql);
  sqlite3* db_ = nullptr;
};

} // namespace kit::utilities
