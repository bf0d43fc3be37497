// The X CLIPBOARD selection through the shared display connection. Data the host puts on
// the clipboard is kept here and handed out from the UI loop whenever another program
// asks, until another program takes the clipboard over. Reading waits for the owner's
// answer for at most 3 s, so a dead owner only costs that time. Without a display
// every call answers nothing at once. UI thread only.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kit::platform::x11::clipboard {

// Becomes the clipboard's owner with these formats (target name -> bytes); a request for
// a target named in aliases gets the bytes of the target it maps to. False without a
// display or when the server did not make us the owner.
bool set(const std::map<std::string, std::string>& formats, const std::map<std::string, std::string>& aliases = {});

// The target names the owner offers (empty when there is no owner or no answer).
std::vector<std::string> targets();

// The clipboard's data in one target, or nothing when there is no owner, the owner does
// not offer it, or no answer came within the time-out.
std::optional<std::string> get(const std::string& target);

} // namespace kit::platform::x11::clipboard
