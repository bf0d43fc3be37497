// File and folder dialogs: the desktop portal's FileChooser on the session bus (Linux), the
// system's item dialogs (Windows).
// A call waits for the user's answer (the dialogs are modal); without a session bus or a
// portal it gives the cancelled result at once.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace kit::platform {

struct file_chooser_request {
  bool open = true;
  bool multiple = false;
  bool directory = false;
  std::string title;
  // (description, patterns) pairs.
  std::vector<std::pair<std::string, std::vector<std::string>>> filters;
  std::string current_folder;  // where the dialog starts
  std::string current_name;    // a file name offered for saving
};

// The URIs chosen; empty when cancelled or when no dialog can be shown.
std::vector<std::string> choose_file_uris(const file_chooser_request& request);

} // namespace kit::platform
