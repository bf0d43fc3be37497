// A block of memory shared between processes by name (a file mapped in the runtime folder).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kit::platform {

class shared_mapping {
public:
  shared_mapping() = default;
  ~shared_mapping();
  shared_mapping(const shared_mapping&) = delete;
  shared_mapping& operator=(const shared_mapping&) = delete;

  // Creates the block, or opens it when it exists, at the given size.
  bool create(const std::string& name, size_t size);
  // Opens an existing block; fails when there is none or it is smaller than size.
  bool open(const std::string& name, size_t size);
  void close();
  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

private:
  bool map(int fd, size_t size);
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  // Windows: the mapping object's handle, kept while the block is open, as a named object
  // loses its name (and cannot be opened by another process) once no handle is left.
  void* handle_ = nullptr;
};

} // namespace kit::platform
