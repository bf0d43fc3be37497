#include "engine/script_memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace kit::engine {

namespace {
// Plain atomics: the state is never closed, so blocks are freed during static destruction
// too, and these must still be there.
std::atomic<size_t> in_use{0};
std::atomic<size_t> limit{0};

#ifndef NDEBUG
constexpr int kFreedFill = 0xA5;
#endif
} // namespace

void* script_alloc(void*, void* block, size_t old_size, size_t new_size) {
  if (!block) old_size = 0;
  if (new_size == 0) {
    if (block) {
#ifndef NDEBUG
      std::memset(block, kFreedFill, old_size);
#endif
      std::free(block);
      in_use -= old_size;
    }
    return nullptr;
  }
  if (new_size > old_size) {
    size_t cap = limit.load();
    if (cap != 0 && in_use.load() + (new_size - old_size) > cap) return nullptr;
  }
  void* grown = std::realloc(block, new_size);
  if (!grown) return nullptr;  // the old block stays valid, as the runtime expects
  in_use += new_size;
  in_use -= old_size;
  return grown;
}

size_t script_memory_in_use() { return in_use.load(); }

void set_script_memory_limit(size_t bytes) { limit = bytes; }

} // namespace kit::engine
