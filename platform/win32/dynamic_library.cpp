#include "platform/dynamic_library.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace kit::platform {

std::unique_ptr<dynamic_library> dynamic_library::open(const std::string& path, lifetime keep) {
  // A path with a folder is loaded from there alone, with the libraries it needs looked
  // up beside it first; a bare name goes through the system's search.
  bool has_folder = path.find_first_of("/\\") != std::string::npos;
  std::wstring name = has_folder ? win32::wide_path(path) : win32::wide(path);
  if (name.empty()) return nullptr;
  HMODULE module = ::LoadLibraryExW(name.c_str(), nullptr, has_folder ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
  if (!module) return nullptr;
  if (keep == lifetime::process) {
    // Pinned: FreeLibrary in the destructor then leaves it loaded.
    HMODULE pinned = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCWSTR>(module), &pinned);
  }
  return std::unique_ptr<dynamic_library>(new dynamic_library(module, path));
}

dynamic_library::~dynamic_library() {
  if (handle_) ::FreeLibrary(static_cast<HMODULE>(handle_));
}

void* dynamic_library::symbol(const char* name) const {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string dynamic_library::folder() const {
  std::string file = win32::module_file(handle_);
  if (file.empty()) file = path_;
  auto slash = file.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

} // namespace kit::platform
