// The local side of a pull: files written where the script asked, with their folders.
#pragma once
#include <string>

#include "platform/file.h"

namespace kit::phonelink {

// Creates (or truncates) the file at path for writing, making its missing parent folders
// one level after the other. Both '/' and '\' separate folders. False when the file cannot
// be made.
bool create_local_file(const std::string& path, platform::file& out);
void remove_local_file(const std::string& path);

} // namespace kit::phonelink
