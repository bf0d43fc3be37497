#include "utilities/registry_store.h"

#include <cstdlib>
#include <sqlite3.h>

#include "common/text_convert.h"
#include "platform/file.h"
#include "platform/user_dirs.h"
#include "platform/windows_registry.h"

namespace kit::utilities {
namespace {

constexpr const char* kRoots[] = {"hkey_current_user", "hkey_classes_root", "hkey_local_machine", "hkey_users",
                                  "hkey_current_config"};

std::string lower(const std::string& s) {
  std::u16string u = kit::text::utf8_to_utf16(s);
  for (char16_t& c : u) c = kit::text::to_lower(c);
  return kit::text::utf16_to_utf8(u);
}

#ifndef _WIN32
// The key path in its stored form: names lowered, joined by "\", empty names dropped.
std::string normal_key(const std::string& key) {
  std::string out, name;
  auto flush = [&] {
    if (name.empty()) return;
    if (!out.empty()) out += '\\';
    out += lower(name);
    name.clear();
  };
  for (char c : key) {
    if (c == '\\' || c == '/') flush();
    else name += c;
  }
  flush();
  return out;
}

// A prepared statement that is finalised when it goes.
class statement {
public:
  statement(sqlite3* db, const char* sql) {
    if (db) sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
  }
  ~statement() { sqlite3_finalize(stmt_); }
  statement& bind(int i, const std::string& s) {
    if (stmt_) sqlite3_bind_text(stmt_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    return *this;
  }
  statement& bind(int i, int64_t n) {
    if (stmt_) sqlite3_bind_int64(stmt_, i, n);
    return *this;
  }
  int step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  sqlite3_stmt* get() const { return stmt_; }

private:
  sqlite3_stmt* stmt_ = nullptr;
};

void make_parent_dirs(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) platform::make_directories(path.substr(0, slash), 0700);
}

#endif

} // namespace


std::string registry_store::default_path() {
  std::string config = platform::user_config_dir();
  return config.empty() ? std::string() : config + "Mobrevist/registry.db";
}

std::optional<int> registry_store::root_of(const std::string& name) {
  std::string l = lower(name);
  for (int i = 0; i < 5; ++i)
    if (l == kRoots[i]) return i;
  return std::nullopt;
}

#ifdef _WIN32
namespace windows_registry = kit::platform::windows_registry;

// The Windows build keeps the keys in the system's registry; the file is not used.
registry_store::registry_store(const std::string&) {}
registry_store::~registry_store() = default;
bool registry_store::exec(const char*) { return false; }

bool registry_store::key_exists(int root, const std::string& key) { return windows_registry::key_exists(root, key); }
bool registry_store::create_key(int root, const std::string& key) { return windows_registry::create_key(root, key); }
bool registry_store::delete_key(int root, const std::string& key) { return windows_registry::delete_key(root, key); }
bool registry_store::set_value(int root, const std::string& key, const std::string& name, const registry_value& value) {
  return windows_registry::set_value(root, key, name, value);
}
std::optional<registry_value> registry_store::query_value(int root, const std::string& key, const std::string& name) {
  return windows_registry::query_value(root, key, name);
}
#else
registry_store::registry_store(const std::string& path) {
  std::string file = path.empty() ? default_path() : path;
  if (file.empty()) return;
  make_parent_dirs(file);
  if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db_);
    db_ = nullptr;
    return;
  }
  sqlite3_busy_timeout(db_, 5000);
  if (!exec("CREATE TABLE IF NOT EXISTS reg_keys(root INTEGER NOT NULL, path TEXT NOT NULL, PRIMARY KEY(root, path));"
            "CREATE TABLE IF NOT EXISTS reg_values(root INTEGER NOT NULL, path TEXT NOT NULL, name TEXT NOT NULL,"
            " dword INTEGER, text TEXT, PRIMARY KEY(root, path, name));")) {
    sqlite3_close(db_);
    db_ = nullptr;
  }
}

registry_store::~registry_store() { sqlite3_close(db_); }

bool registry_store::exec(const char* sql) { return db_ && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool registry_store::key_exists(int root, const std::string& key) {
  std::string path = normal_key(key);
  if (path.empty()) return db_ != nullptr;  // a root always exists
  statement s(db_, "SELECT 1 FROM reg_keys WHERE root=?1 AND path=?2");
  return s.bind(1, root).bind(2, path).step() == SQLITE_ROW;
}

bool registry_store::create_key(int root, const std::string& key) {
  if (!db_) return false;
  std::string path = normal_key(key);
  statement s(db_, "INSERT OR IGNORE INTO reg_keys(root, path) VALUES(?1, ?2)");
  // Every parent first: "a\b\c" makes "a", "a\b" and "a\b\c".
  for (size_t at = 0; !path.empty();) {
    size_t sep = path.find('\\', at);
    std::string part = path.substr(0, sep);
    sqlite3_reset(s.get());
    if (s.bind(1, root).bind(2, part).step() != SQLITE_DONE) return false;
    if (sep == std::string::npos) break;
    at = sep + 1;
  }
  return true;
}

bool registry_store::delete_key(int root, const std::string& key) {
  std::string path = normal_key(key);
  if (path.empty() || !key_exists(root, path)) return false;
  // The subtree: the key itself and every path below it ("key\..." compared byte for byte).
  const char* where = " WHERE root=?1 AND (path=?2 OR substr(path, 1, length(?2) + 1) = ?2 || '\\')";
  if (!exec("BEGIN")) return false;
  bool ok = statement(db_, (std::string("DELETE FROM reg_values") + where).c_str()).bind(1, root).bind(2, path).step() ==
                SQLITE_DONE &&
            statement(db_, (std::string("DELETE FROM reg_keys") + where).c_str()).bind(1, root).bind(2, path).step() ==
                SQLITE_DONE;
  exec(ok ? "COMMIT" : "ROLLBACK");
  return ok;
}

bool registry_store::set_value(int root, const std::string& key, const std::string& name, const registry_value& value) {
  std::string path = normal_key(key);
  if (!key_exists(root, path)) return false;
  statement s(db_, "INSERT OR REPLACE INTO reg_values(root, path, name, dword, text) VALUES(?1, ?2, ?3, ?4, ?5)");
  s.bind(1, root).bind(2, path).bind(3, lower(name));
  if (const uint32_t* n = std::get_if<uint32_t>(&value)) s.bind(4, static_cast<int64_t>(*n));
  else s.bind(5, std::get<std::string>(value));
  return s.step() == SQLITE_DONE;
}

std::optional<registry_value> registry_store::query_value(int root, const std::string& key, const std::string& name) {
  statement s(db_, "SELECT dword, text FROM reg_values WHERE root=?1 AND path=?2 AND name=?3");
  if (s.bind(1, root).bind(2, normal_key(key)).bind(3, lower(name)).step() != SQLITE_ROW) return std::nullopt;
  if (sqlite3_column_type(s.get(), 0) == SQLITE_INTEGER)
    return registry_value(static_cast<uint32_t>(sqlite3_column_int64(s.get(), 0)));
  const unsigned char* text = sqlite3_column_text(s.get(), 1);
  int n = sqlite3_column_bytes(s.get(), 1);
  return registry_value(std::string(text ? reinterpret_cast<const char*>(text) : "", static_cast<size_t>(n)));
}

#endif

} // namespace kit::utilities
