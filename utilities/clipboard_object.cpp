// The X clipboard (Linux); the Windows form is clipboard_object_win32.cpp.
#ifndef _WIN32
#include "utilities/clipboard_object.h"

#include <algorithm>

#include "platform/desktop_session.h"
#include "platform/x11_clipboard.h"
#include "platform/x11_display.h"
#include "utilities/file_list_text.h"

namespace clip = kit::platform::x11::clipboard;

namespace {

constexpr const char* kUriList = "text/uri-list";
constexpr const char* kCopiedFiles = "x-special/gnome-copied-files";

bool have_display() {
  if (kit::platform::x11::connection()) return true;
  kit::platform::note_no_desktop("display");
  return false;
}

bool offers(const std::vector<std::string>& targets, const char* name) {
  return std::find(targets.begin(), targets.end(), name) != targets.end();
}

// Latin-1 text as UTF-8, and UTF-8 as Latin-1 ("?" for what Latin-1 lacks).
std::string latin1_to_utf8(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}
std::string utf8_to_latin1(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if ((c == 0xC2 || c == 0xC3) && i + 1 < s.size() && (static_cast<unsigned char>(s[i + 1]) & 0xC0) == 0x80) {
      out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3F));
    } else {
      out += '?';
    }
    i += len;
  }
  return out;
}
} // namespace

std::string CLuaClipBoardData::GetText() {
  if (!have_display()) return "";
  std::vector<std::string> targets = clip::targets();
  if (offers(targets, "UTF8_STRING")) return clip::get("UTF8_STRING").value_or("");
  if (offers(targets, "text/plain;charset=utf-8")) return clip::get("text/plain;charset=utf-8").value_or("");
  if (offers(targets, "STRING")) return latin1_to_utf8(clip::get("STRING").value_or(""));
  return "";
}

std::vector<std::string> CLuaClipBoardData::GetFormats() {
  std::vector<std::string> formats;
  if (!have_display()) return formats;
  for (const std::string& t : clip::targets()) {
    if (t == "TARGETS" || t == "TIMESTAMP" || t == "MULTIPLE" || t == "SAVE_TARGETS" || t == "DELETE") continue;
    formats.push_back(t);
  }
  return formats;
}

void CLuaClipBoardData::SetText(const std::string& utf8) {
  if (!have_display()) return;
  clip::set({{"UTF8_STRING", utf8}, {"text/plain;charset=utf-8", utf8}, {"STRING", utf8_to_latin1(utf8)}},
            {{"TEXT", "UTF8_STRING"}});
}

std::vector<std::string> CLuaClipBoardData::GetFiles(int& effect) {
  effect = kCopyEffect;
  if (!have_display()) return {};
  std::vector<std::string> targets = clip::targets();
  if (offers(targets, kCopiedFiles)) {
    kit::utilities::copied_files files = kit::utilities::parse_copied_files(clip::get(kCopiedFiles).value_or(""));
    if (!files.paths.empty()) {
      if (files.cut) effect = kMoveEffect;
      return files.paths;
    }
  }
  if (offers(targets, kUriList)) return kit::utilities::paths_of_uri_list(clip::get(kUriList).value_or(""));
  return {};
}

void CLuaClipBoardData::SetFiles(const std::vector<std::string>& paths) {
  if (paths.empty() || !have_display()) return;
  clip::set({{kUriList, kit::utilities::uri_list_text(paths)}, {kCopiedFiles, kit::utilities::copied_files_text(paths, false)}});
}
#endif
