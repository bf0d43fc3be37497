// Reading the program's standard input from a thread that must be able to stop waiting.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kit::platform {

class wait_event;

// Waits for standard input and reads up to size bytes: the count read, 0 at its end, -1 on
// a failure or when wake (if given) was set before anything arrived.
int64_t read_standard_input(void* buffer, size_t size, const wait_event* wake = nullptr);

} // namespace kit::platform
