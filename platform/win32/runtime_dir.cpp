// The per-user runtime folder on Windows: %LOCALAPPDATA%\Mobrevist unless XDG_RUNTIME_DIR
// names one. Named kernel objects need no folder here (they are real kernel objects), but
// the host's private temporary folder falls back to this one.
#include "platform/runtime_dir.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

#include "platform/private_dir.h"
#include "platform/user_dirs.h"
#include "platform/win32/wide.h"

namespace kit::platform {

std::string runtime_dir() {
  std::string xdg = win32::environment(L"XDG_RUNTIME_DIR");
  std::string local = user_state_dir();
  if (!local.empty()) local.pop_back();
  return runtime_dir_for(xdg.c_str(), local);
}

std::string runtime_dir_for(const char* xdg, const std::string& fallback_parent) {
  if (xdg && *xdg) {
    std::string dir = xdg;
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    ::CreateDirectoryW(win32::wide_path(dir).c_str(), nullptr);
    return dir;
  }
  if (fallback_parent.empty()) return {};
  std::string dir = fallback_parent + "/Mobrevist";
  if (ensure_private_dir(dir)) return dir;
  static std::atomic<bool> told{false};
  if (!told.exchange(true))
    std::fprintf(stderr, "mobrevist: %s is not a private folder of this user\n", dir.c_str());
  return {};
}

std::string kernel_object_path(const std::string& name, const char* suffix) {
  std::string dir = runtime_dir();
  if (dir.empty()) return {};
  std::string clean;
  for (unsigned char c : name) {
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                c == '-' || c == '_';
    clean += keep ? static_cast<char>(c) : '_';
  }
  return dir + "/" + clean + "." + suffix;
}

} // namespace kit::platform
