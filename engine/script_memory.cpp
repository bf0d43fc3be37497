#include "engine/script_memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define KIT_SCRIPT_BLOCKS_ARE_NOT_LEAKS 1
#endif

namespace kit::engine {

namespace {
// Plain atomics: the state is never closed, so blocks are freed during static destruction
// too, and these must still be there.
std::atomic<size_t> in_use{0};
std::atomic<size_t> limit{0};

constexpr int kFreedFill = 0xA5;
} // namespace

void* script_alloc(void*, void* block, size_t old_size, size_t new_size) {
  if (!block) old_size = 0;
  if (new_size == 0) {
    if (block) {
      std::memset(block, kFreedFill, old_size);
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
#ifdef KIT_SCRIPT_BLOCKS_ARE_NOT_LEAKS
  // The script state lives to process exit and is never closed, and the runtime reaches
  // some of its blocks only through tagged or offset pointers (the compiler's instruction
  // buffer, for one) that a leak checker cannot follow. Its blocks are therefore not leaks;
  // they are still scanned, so native objects they point to count as reachable, and every
  // other allocation is still checked.
  __lsan_ignore_object(grown);
#endif
  in_use += new_size;
  in_use -= old_size;
  return grown;
}

size_t script_memory_in_use() { return in_use.load(); }

void set_script_memory_limit(size_t bytes) { limit = bytes; }

} // namespace kit::engine
