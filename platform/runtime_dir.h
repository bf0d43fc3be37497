// Where the per-user kernel-object stand-ins (named locks, shared blocks) live.
#pragma once
#include <string>

namespace kit::platform {

// $XDG_RUNTIME_DIR when set, else /tmp/mobrevist-<uid>; created when missing. No trailing "/".
std::string runtime_dir();

// The file in runtime_dir() that stands for a named kernel object, with every character
// that is not a letter, digit, '.', '-' or '_' replaced by '_', and a suffix ("lock", "map").
std::string kernel_object_path(const std::string& name, const char* suffix);

} // namespace kit::platform
