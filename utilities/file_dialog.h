// The shell object's file and folder dialogs: the script's filter text and starting name
// turned into a request for the desktop's file chooser, and its answer into paths.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace kit::utilities {

struct file_dialog_request {
  bool open = true;
  bool multiple = false;
  bool directory = false;
  std::string title;
  // Description and pattern fields separated by "|": "Text|*.txt;*.log|All|*.*".
  std::string filter;
  std::string default_ext;   // added to a saved name without an extension
  std::string initial_name;  // a file name or path to start from
  std::string initial_folder;
};

// The chosen paths; empty when cancelled or when no dialog can be shown.
std::vector<std::string> choose_files(const file_dialog_request& request);

// The chooser's filters from a "|"-separated filter text: (description, patterns) pairs,
// the patterns split at ";". A description without patterns is dropped.
std::vector<std::pair<std::string, std::vector<std::string>>> parse_filter(const std::string& filter);
// The path of a file: URI ("file:///a%20b" -> "/a b", on Windows "file:///C:/a" -> "C:/a");
// empty for other URIs.
std::string path_of_file_uri(const std::string& uri);
// The nearest existing folder of a path (cutting at the last separator until a folder
// exists), with a trailing "/"; empty when none is left.
std::string nearest_existing_folder(const std::string& path);

} // namespace kit::utilities
