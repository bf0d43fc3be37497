#include "host/share_memory.h"

#include <cstring>

namespace kit::multiprocess {

const char* const share_memory::kGuardName = "MobrevistManager.mulprocess{7DAECE14-71A2-47C0-AE41-0B649A58B859}";
const char* const share_memory::kMappingName = "MobrevistManager.mulprocess{7786957B-9898-415F-9EBF-D7374290AEDA}";

share_memory::~share_memory() { close(); }

bool share_memory::open(mode m) {
  if (is_open() || guard_.is_open()) return false;
  if (m == mode::client) {
    if (!guard_.open(kGuardName) || !guard_.wait(kGuardWaitMs)) {
      close();
      return false;
    }
    bool ok = mapping_.open(kMappingName, kBlockSize);
    guard_.release();
    if (!ok) close();
    return ok;
  }
  bool existed = false;
  if (!guard_.create(kGuardName, true, &existed)) return false;
  if (existed && !guard_.wait(kGuardWaitMs)) {
    close();
    return false;
  }
  if (!mapping_.create(kMappingName, kBlockSize)) {
    close();
    return false;
  }
  uint32_t cap = kCapacity;
  std::memcpy(mapping_.data(), &cap, 4);
  if (!existed) Clear(mapping_.data() + 4, kCapacity);
  guard_.release();
  return true;
}

void share_memory::close() {
  mapping_.close();
  guard_.close();
}

uint32_t share_memory::capacity() const {
  if (!is_open()) return 0;
  uint32_t cap;
  std::memcpy(&cap, mapping_.data(), 4);
  return cap > kCapacity ? kCapacity : cap;
}

char16_t* share_memory::data_area() const {
  return is_open() ? reinterpret_cast<char16_t*>(mapping_.data() + 4) : nullptr;
}

void share_memory::Clear(void* start, size_t bytes) { std::memset(start, 0, bytes); }

bool hand_over_command_line(share_memory& block, const std::u16string& line) {
  if (!block.is_open() || !block.lock_guard(-1)) return false;
  char16_t* data = block.data_area();
  size_t capacity = block.capacity() / 2;
  size_t i = 0;
  while (i + 1 < capacity && !(data[i] == 0 && data[i + 1] == 0)) ++i;
  bool written = false;
  if (line.size() + i + 3 <= capacity) {
    size_t at = i == 0 ? 0 : i + 1;
    std::memcpy(data + at, line.data(), line.size() * sizeof(char16_t));
    data[at + line.size()] = 0;
    data[at + line.size() + 1] = 0;
    written = true;
  }
  block.unlock_guard();
  return written;
}

} // namespace kit::multiprocess
