#include "platform/shared_mapping.h"
#include "platform/runtime_dir.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kit::platform {

shared_mapping::~shared_mapping() { close(); }

bool shared_mapping::map(int fd, size_t size) {
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ::close(fd);
  if (p == MAP_FAILED) return false;
  data_ = static_cast<uint8_t*>(p);
  size_ = size;
  return true;
}

bool shared_mapping::create(const std::string& name, size_t size) {
  if (data_) return false;
  int fd = ::open(kernel_object_path(name, "map").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || (static_cast<size_t>(st.st_size) < size && ::ftruncate(fd, size) != 0)) {
    ::close(fd);
    return false;
  }
  return map(fd, size);
}

bool shared_mapping::open(const std::string& name, size_t size) {
  if (data_) return false;
  int fd = ::open(kernel_object_path(name, "map").c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) < size) {
    ::close(fd);
    return false;
  }
  return map(fd, size);
}

void shared_mapping::close() {
  if (data_) ::munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
}

} // namespace kit::platform
