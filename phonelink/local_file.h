// The local side of a pull: files written where the script asked, with their folders.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kit::transfer {

// Creates (or truncates) the file at path for writing, making its missing parent folders
// one level after the other. Both '/' and '\' separate folders. Returns a descriptor, or
// -1 when the file cannot be made.
int create_local_file(const std::string& path);
// Writes what it can; returns the count written (short on an error).
size_t write_local_file(int fd, const void* data, size_t length);
void close_local_file(int& fd);
void remove_local_file(const std::string& path);

} // namespace kit::transfer
