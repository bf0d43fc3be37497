// A named block of the page file, shared by name between the processes of the session. The
// mapping's handle is kept with the view: a view alone keeps the block, but not its name.
#include "platform/shared_mapping.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace kit::platform {

namespace {
std::wstring object_name(const std::string& name) {
  std::wstring out = win32::wide(name);
  for (auto& c : out)
    if (c == L'\\') c = L'_';
  return out;
}

// A view of the mapping, or null (and the mapping's handle closed).
uint8_t* view_of(HANDLE mapping, size_t size) {
  if (!mapping) return nullptr;
  void* p = ::MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size);
  if (!p) ::CloseHandle(mapping);
  return static_cast<uint8_t*>(p);
}
} // namespace

shared_mapping::~shared_mapping() { close(); }

// Maps a view of the mapping (all of it) and keeps both, when the block holds at least size
// bytes; else closes the mapping's handle.
static bool adopt(HANDLE mapping, size_t size, uint8_t*& data, void*& handle) {
  uint8_t* view = view_of(mapping, 0);
  if (!view) return false;
  MEMORY_BASIC_INFORMATION region{};
  if (!::VirtualQuery(view, &region, sizeof region) || region.RegionSize < size) {
    ::UnmapViewOfFile(view);
    ::CloseHandle(mapping);
    return false;
  }
  data = view;
  handle = mapping;
  return true;
}

bool shared_mapping::create(const std::string& name, size_t size) {
  if (data_ || size == 0) return false;
  // An existing block keeps its size: it must hold at least what is asked for.
  HANDLE mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(static_cast<uint64_t>(size) >> 32),
                                        static_cast<DWORD>(size), object_name(name).c_str());
  if (!adopt(mapping, size, data_, handle_)) return false;
  size_ = size;
  return true;
}

bool shared_mapping::open(const std::string& name, size_t size) {
  if (data_ || size == 0) return false;
  HANDLE mapping = ::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, object_name(name).c_str());
  if (!adopt(mapping, size, data_, handle_)) return false;
  size_ = size;
  return true;
}

void shared_mapping::close() {
  if (data_) ::UnmapViewOfFile(data_);
  if (handle_) ::CloseHandle(handle_);
  data_ = nullptr;
  handle_ = nullptr;
  size_ = 0;
}

} // namespace kit::platform
