// Removing folders on Windows without ever leaving them through a link. A junction or a
// symbolic link (a "name surrogate" reparse point) is removed itself; other reparse points
// (cloud placeholders, deduplicated files) are the files and folders they stand for. Each
// folder is held open without delete sharing while it is emptied, so neither it nor a folder
// above it can be renamed or swapped for a link meanwhile.
#include "platform/file_tree.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/wide.h"

namespace kit::platform {
namespace {

constexpr int kMaxDepth = 4096;

bool is_link(DWORD attributes, DWORD reparse_tag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(reparse_tag);
}

// Opens the folder itself (never what a link points to); nothing when it is no folder or a
// link. The handle reads the folder (an attributes-only handle would not count in sharing),
// so the missing delete sharing keeps it from being renamed.
HANDLE hold_folder(const std::wstring& path) {
  HANDLE h = ::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  FILE_ATTRIBUTE_TAG_INFO info{};
  if (::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &info, sizeof info) &&
      (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !is_link(info.FileAttributes, info.ReparseTag))
    return h;
  ::CloseHandle(h);
  return nullptr;
}

// Deletes a file, a link or an empty folder, clearing the read-only attribute that keeps a
// delete from working.
bool remove_entry(const std::wstring& path, DWORD attributes, BOOL(WINAPI* remove)(LPCWSTR)) {
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    DWORD writable = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY |
                                                      FILE_ATTRIBUTE_REPARSE_POINT);
    ::SetFileAttributesW(path.c_str(), writable ? writable : FILE_ATTRIBUTE_NORMAL);
  }
  return remove(path.c_str()) != 0;
}

// Empties the held folder at path, then closes it and removes it.
void remove_folder(const std::wstring& path, HANDLE held, int depth) {
  struct entry {
    std::wstring path;
    DWORD attributes;
    DWORD reparse_tag;
  };
  std::vector<entry> entries;
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      // dwReserved0 holds the reparse tag of a reparse point.
      if (name != L"." && name != L"..")
        entries.push_back({path + L"\\" + name, found.dwFileAttributes, found.dwReserved0});
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
  }
  for (const entry& e : entries) {
    if (is_link(e.attributes, e.reparse_tag) || !(e.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      remove_entry(e.path, e.attributes, e.attributes & FILE_ATTRIBUTE_DIRECTORY ? ::RemoveDirectoryW : ::DeleteFileW);
    } else if (HANDLE sub = depth < kMaxDepth ? hold_folder(e.path) : nullptr) {
      remove_folder(e.path, sub, depth + 1);
    }
  }
  FILE_BASIC_INFO basic{};
  bool known = ::GetFileInformationByHandleEx(held, FileBasicInfo, &basic, sizeof basic);
  ::CloseHandle(held);
  remove_entry(path, known ? basic.FileAttributes : 0, ::RemoveDirectoryW);
}

std::wstring without_trailing_slashes(const std::string& path) {
  std::wstring w = win32::wide_path(path);
  while (w.size() > 1 && w.back() == L'\\' && w[w.size() - 2] != L':') w.pop_back();
  return w;
}

} // namespace

bool remove_tree(const std::string& path) {
  std::wstring p = without_trailing_slashes(path);
  if (p.empty()) return false;
  HANDLE held = hold_folder(p);
  if (!held) return false;
  remove_folder(p, held, 0);
  DWORD attributes = ::GetFileAttributesW(p.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool remove_path(const std::string& path) {
  std::wstring p = without_trailing_slashes(path);
  // A name with a wildcard (which no file has) would be looked up as a pattern.
  if (p.empty() || p.find_first_of(L"*?") != std::wstring::npos) return false;
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileExW(p.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return false;
  ::FindClose(find);
  DWORD attributes = found.dwFileAttributes;
  if (!is_link(attributes, found.dwReserved0) && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return remove_tree(path);
  return remove_entry(p, attributes, (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryW : ::DeleteFileW);
}

} // namespace kit::platform
