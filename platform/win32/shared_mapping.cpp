// A named block of the page file, shared by name between the processes of the session. The
// view keeps the block alive, so the mapping's own handle is closed at once.
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

uint8_t* view_of(HANDLE mapping, size_t size) {
  if (!mapping) return nullptr;
  void* p = ::MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size);
  ::CloseHandle(mapping);
  return static_cast<uint8_t*>(p);
}
} // namespace

shared_mapping::~shared_mapping() { close(); }

bool shared_mapping::create(const std::string& name, size_t size) {
  if (data_ || size == 0) return false;
  HANDLE mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(static_cast<uint64_t>(size) >> 32),
                                        static_cast<DWORD>(size), object_name(name).c_str());
  if (mapping && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    // An existing block keeps its size: it must hold at least what is asked for.
    data_ = view_of(mapping, 0);
    if (!data_) return false;
    MEMORY_BASIC_INFORMATION region{};
    if (!::VirtualQuery(data_, &region, sizeof region) || region.RegionSize < size) {
      ::UnmapViewOfFile(data_);
      data_ = nullptr;
      return false;
    }
    size_ = size;
    return true;
  }
  data_ = view_of(mapping, size);
  if (!data_) return false;
  size_ = size;
  return true;
}

bool shared_mapping::open(const std::string& name, size_t size) {
  if (data_ || size == 0) return false;
  HANDLE mapping = ::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, object_name(name).c_str());
  data_ = view_of(mapping, 0);
  if (!data_) return false;
  MEMORY_BASIC_INFORMATION region{};
  if (!::VirtualQuery(data_, &region, sizeof region) || region.RegionSize < size) {
    ::UnmapViewOfFile(data_);
    data_ = nullptr;
    return false;
  }
  size_ = size;
  return true;
}

void shared_mapping::close() {
  if (data_) ::UnmapViewOfFile(data_);
  data_ = nullptr;
  size_ = 0;
}

} // namespace kit::platform
