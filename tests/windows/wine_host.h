// What a Windows test under Wine can do on the Linux side: the Linux name of a Windows
// path, and starting a Linux shell command (Wine starts it but gives no handle to wait on
// or end, so callers know their Linux processes by the ids they write to files).
#pragma once
#include <string>

namespace testsupport {

// The Linux path of a Windows path, as Wine maps it; "" outside Wine.
std::string unix_path(const std::string& windows_path);
// A Windows path (a drive, a colon, a separator) as the Linux side names it, folders that do
// not exist yet named after the nearest one that does; other text as it is.
std::string linux_name(const std::string& value);
// The Linux process id of this program under Wine; 0 when it cannot be told.
int linux_process_id();
// Starts /bin/sh -c script on the Linux side; false when it could not be started.
bool run_linux_shell(const std::string& script);
// Whether a Linux path exists (through Wine's drive for the Linux root).
bool linux_file_exists(const std::string& linux_path);
// The text as one word of a Linux shell command.
std::string shell_word(const std::string& text);

} // namespace testsupport
