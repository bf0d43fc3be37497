// The script state's memory in builds with assertions (the test build): the C library's
// heap, counted, with an optional limit. Freed blocks are filled with a pattern and go
// straight back to the heap, so that a pointer into a collected object fails at once
// instead of reading what it used to hold, and memory checkers see such pointers.
// Optimised builds keep the runtime's own heap, which is faster for allocation-heavy
// scripts; there the count stays 0 and the limit has no effect.
#pragma once
#include <cstddef>

namespace kit::engine {

// The allocator given to the script state.
void* script_alloc(void* user_data, void* block, size_t old_size, size_t new_size);

// Bytes the script state holds now.
size_t script_memory_in_use();

// Makes growth beyond limit bytes in use fail as the runtime's memory error; 0 removes the
// limit (the default). Tests use it to run out of memory at a chosen point.
void set_script_memory_limit(size_t limit);

} // namespace kit::engine
