// Volume figures and file-system types on Windows, asked of the volume's root: the drive
// ("C:\") or the folder another volume is mounted on, which the figures and the type belong to.
#include "platform/volume_info.h"

#include <windows.h>

#include <cwctype>

#include "platform/win32/wide.h"

namespace kit::platform {
namespace {

// The path itself when it exists, else its nearest existing parent.
std::string existing(std::string path) {
  while (!path.empty() && ::GetFileAttributesW(win32::wide_path(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
    while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    size_t slash = path.find_last_of("/\\");
    path = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  }
  return path;
}

// The root of the volume that holds the path (or its nearest existing parent), with its
// final "\"; empty when there is none.
std::wstring volume_root(const std::string& path) {
  std::string p = existing(path);
  if (p.empty()) return {};
  std::wstring root(MAX_PATH + 1, L'\0');
  if (!::GetVolumePathNameW(win32::wide_path(p).c_str(), root.data(), static_cast<DWORD>(root.size()))) return {};
  root.resize(root.find(L'\0'));
  return root;
}

} // namespace

std::optional<volume_figures> volume_of(const std::string& path) {
  std::wstring root = volume_root(path);
  ULARGE_INTEGER available{}, total{};
  // Both figures are the caller's: a disk quota lowers them.
  if (root.empty() || !::GetDiskFreeSpaceExW(root.c_str(), &available, &total, nullptr)) return std::nullopt;
  return volume_figures{total.QuadPart, available.QuadPart};
}

// The system names the type ("NTFS", "FAT32", "exFAT"); it is given in lower case, as mount
// tables write types. There is no mount table here, so MOBREVIST_MOUNTINFO has no meaning
// and is not read.
std::string file_system_type(const std::string& path) {
  std::wstring root = volume_root(path);
  wchar_t type[MAX_PATH + 1] = {};
  if (root.empty() ||
      !::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, type, MAX_PATH + 1))
    return {};
  for (wchar_t* c = type; *c; ++c) *c = static_cast<wchar_t>(std::towlower(*c));
  return win32::utf8(type);
}

} // namespace kit::platform
