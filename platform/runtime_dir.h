// Where the per-user kernel-object stand-ins (named locks, shared blocks) live.
#pragma once
#include <string>

namespace kit::platform {

// $XDG_RUNTIME_DIR when set, else /tmp/mobrevist-<uid>; created (mode 0700) when missing.
// No trailing "/". The /tmp folder is used only when it is safely ours (see private_dir.h);
// otherwise the result is empty and no named object can be made.
std::string runtime_dir();
// The same with its inputs given: the value of XDG_RUNTIME_DIR (null or empty when unset)
// and the folder that holds the per-user fallback (normally /tmp).
std::string runtime_dir_for(const char* xdg_runtime_dir, const std::string& fallback_parent);

// The file in runtime_dir() that stands for a named kernel object, with every character
// that is not a letter, digit, '.', '-' or '_' replaced by '_', and a suffix ("lock", "map").
// Empty when there is no usable runtime folder.
std::string kernel_object_path(const std::string& name, const char* suffix);

} // namespace kit::platform
