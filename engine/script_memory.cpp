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
  in_use += new_size;
  in_use -= old_size;
  return grown;
}

size_t script_memory_in_use() { return in_use.load(); }

void set_script_memory_limit(size_t bytes) { limit = bytes; }

} // namespace kit::engine

// The script state lives to process exit and is never closed. Some of its blocks are known
// to the runtime only through tagged or offset pointers (the compiler's instruction buffer,
// for one), which a leak checker cannot follow, so it would take them for leaks at exit.
// Leak reports for blocks the runtime allocated are therefore dropped; everything else is
// still checked. The hooks are only consulted by the leak checker.
extern "C" const char* __lsan_default_suppressions() { return "leak:libluajit\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
