// UTF-8 text of the host and UTF-16 text of the Win32 calls, converted at the boundary.
#pragma once

#include <string>
#include <string_view>

namespace kit::platform::win32 {

// An invalid sequence becomes U+FFFD.
std::wstring wide(std::string_view utf8);
// A lone surrogate becomes U+FFFD.
std::string utf8(std::wstring_view utf16);
// A path for the Win32 calls: UTF-16 with "\" separators; an absolute path too long for the
// calls' plain form in the "\\?\" form. Empty (a path every call refuses) when the path is
// not valid UTF-8.
std::wstring wide_path(std::string_view path);
// A path the Win32 calls gave, for the host: UTF-8 with "/" separators and without the
// "\\?\" prefix of a final path.
std::string host_path(std::wstring_view path);
// The value of an environment variable; empty when it is unset.
std::string environment(const wchar_t* name);
// path with a final "/" (unless empty).
std::string with_slash(std::string path);
// The file a loaded module came from (null: the program), as a host path; empty when the
// system cannot say.
std::string module_file(void* module);
// Whether a path is absolute ("C:/...", "//server/..." or "\\server\...").
bool is_absolute_path(std::string_view path);

} // namespace kit::platform::win32
