// The Windows clipboard: Unicode text, and file lists as the shell exchanges them with
// their drop effect (the X form is clipboard_object.cpp).
#ifdef _WIN32
#include "platform/win32_clipboard.h"
#include "utilities/clipboard_object.h"

namespace clip = kit::platform::win32::clipboard;

std::string CLuaClipBoardData::GetText() { return clip::text().value_or(""); }

std::vector<std::string> CLuaClipBoardData::GetFormats() { return clip::formats(); }

void CLuaClipBoardData::SetText(const std::string& utf8) { clip::set_text(utf8); }

std::vector<std::string> CLuaClipBoardData::GetFiles(int& effect) {
  effect = kCopyEffect;
  std::optional<clip::file_list> files = clip::files();
  if (!files) return {};
  if (files->drop_effect == clip::kMoveEffect) effect = kMoveEffect;
  return files->paths;
}

void CLuaClipBoardData::SetFiles(const std::vector<std::string>& paths) {
  if (!paths.empty()) clip::set_files(paths, clip::kCopyEffect);
}
#endif
