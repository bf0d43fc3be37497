// The Windows clipboard: Unicode text (CF_UNICODETEXT), and file lists as the shell
// exchanges them: a CF_HDROP list and a "Preferred DropEffect" that says whether the files
// were cut (2, move) or copied (5, copy and link). Writes are owned by a message-only window
// of the host's, as the clipboard requires; while another program holds the clipboard open,
// opening is retried for a short while. UI thread only.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace kit::platform::win32::clipboard {

constexpr int kMoveEffect = 2;
constexpr int kCopyEffect = 5;

// False when the clipboard could not be opened or the data not placed.
bool set_text(const std::string& utf8);
// The text on the clipboard; nothing when there is none or the clipboard is busy.
std::optional<std::string> text();

struct file_list {
  std::vector<std::string> paths;  // host paths ("/" separators)
  int drop_effect = kCopyEffect;
};
// Places the paths as a file list with the given drop effect; false for an empty list, a
// path that is not valid UTF-8, or a clipboard that could not be opened.
bool set_files(const std::vector<std::string>& paths, int drop_effect);
// The file list on the clipboard; nothing when there is none. A list without a drop effect
// counts as copied.
std::optional<file_list> files();

// The names of the formats on the clipboard, in the owner's order: "CF_UNICODETEXT",
// "CF_HDROP", ... for the standard ones, the registered name for the others.
std::vector<std::string> formats();

} // namespace kit::platform::win32::clipboard
