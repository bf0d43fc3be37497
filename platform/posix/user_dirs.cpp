#include "platform/user_dirs.h"

#include <cstdlib>

namespace kit::platform {

namespace {

std::string slashed(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

std::string base_dir(const char* variable, const char* under_home) {
  if (const char* value = std::getenv(variable); value && *value == '/') return slashed(value);
  std::string home = home_dir();
  return home.empty() ? std::string() : home + under_home;
}

} // namespace

std::string home_dir() {
  const char* home = std::getenv("HOME");
  return home && *home == '/' ? slashed(home) : std::string();
}

std::string user_data_dir() { return base_dir("XDG_DATA_HOME", ".local/share/"); }
std::string user_state_dir() { return base_dir("XDG_STATE_HOME", ".local/state/"); }
std::string user_config_dir() { return base_dir("XDG_CONFIG_HOME", ".config/"); }

} // namespace kit::platform
