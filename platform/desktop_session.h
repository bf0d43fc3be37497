// What the shell object knows of the user's desktop session: whether there is a display
// to open documents on, and the requests that go to the session's services.
#pragma once
#include <optional>
#include <string>

namespace kit::platform {

// True when DISPLAY or WAYLAND_DISPLAY names a display.
bool has_display();
// Writes one line to standard error the first time a desktop method finds no desktop.
void note_no_desktop(const char* what);
// Asks the login manager on the system bus to restart the machine; does nothing when
// there is no system bus.
void request_reboot();
// Hands a document or folder to the desktop's opener and waits a few seconds for its
// answer: accepted (also when the opener says it does not exist, as the shell would),
// refused, or nothing when there is no desktop or no opener.
std::optional<bool> open_document(const std::string& target);
// Shows a folder in the desktop's file manager without waiting.
void open_folder(const std::string& folder);
// Rebuilds the cache of the user's application entries, so new file associations count.
void refresh_file_associations();

} // namespace kit::platform
