// "ClipBoardData.Manager": text and file lists exchanged with other programs through the
// X clipboard, or the Windows clipboard. Without a display every read is empty and every
// write does nothing.
#pragma once
#include <string>
#include <vector>


class CLuaClipBoardData {
public:

  // Drop effects of a file list: 2 when the files were cut, 5 (copy and link) otherwise.
  static constexpr int kMoveEffect = 2;
  static constexpr int kCopyEffect = 5;

  std::string GetText();
  // The formats the clipboard's owner offers (MIME types and X target names), without the
  // bookkeeping targets every owner has; empty without a display or an owner.
  std::vector<std::string> GetFormats();
  void SetText(const std::string& utf8);
  // The file list's paths and its drop effect; no paths when there is no file list.
  std::vector<std::string> GetFiles(int& effect);
  // Does nothing for an empty list.
  void SetFiles(const std::vector<std::string>& paths);
};
