#include "platform/win32_clipboard.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "platform/win32/wide.h"

namespace kit::platform::win32::clipboard {

namespace {

// The clipboard's owner: a message-only window made on first use on the UI thread. With no
// owner, EmptyClipboard leaves the clipboard ownerless and SetClipboardData fails.
HWND owner_window() {
  static HWND window = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"MobrevistClipboardOwner";
    ::RegisterClassW(&wc);
    return ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  }();
  return window;
}

// Opens the clipboard for the scope; another program may hold it open for a moment, so
// opening is tried for up to about half a second.
class open_clipboard {
public:
  open_clipboard() {
    for (int attempt = 0; attempt < 50 && !open_; ++attempt) {
      open_ = ::OpenClipboard(owner_window()) != 0;
      if (!open_) ::Sleep(10);
    }
  }
  ~open_clipboard() {
    if (open_) ::CloseClipboard();
  }
  open_clipboard(const open_clipboard&) = delete;
  open_clipboard& operator=(const open_clipboard&) = delete;
  explicit operator bool() const { return open_; }

private:
  bool open_ = false;
};

UINT drop_effect_format() {
  static UINT format = ::RegisterClipboardFormatW(L"Preferred DropEffect");
  return format;
}

// Global memory holding the bytes, as SetClipboardData takes it; null when out of memory.
HGLOBAL global_copy(const void* data, size_t size) {
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, size);
  if (!memory) return nullptr;
  void* at = ::GlobalLock(memory);
  if (!at) {
    ::GlobalFree(memory);
    return nullptr;
  }
  std::memcpy(at, data, size);
  ::GlobalUnlock(memory);
  return memory;
}

// Places one format; the clipboard owns the memory only when the call succeeds.
bool place(UINT format, const void* data, size_t size) {
  HGLOBAL memory = global_copy(data, size);
  if (!memory) return false;
  if (::SetClipboardData(format, memory)) return true;
  ::GlobalFree(memory);
  return false;
}

// The bytes of one format while the clipboard is open; nothing when absent.
std::optional<std::string> bytes_of(UINT format) {
  HANDLE handle = ::GetClipboardData(format);
  if (!handle) return std::nullopt;
  size_t size = ::GlobalSize(handle);
  const void* at = ::GlobalLock(handle);
  if (!at) return std::nullopt;
  std::string bytes(static_cast<const char*>(at), size);
  ::GlobalUnlock(handle);
  return bytes;
}

std::string standard_name(UINT format) {
  switch (format) {
    case CF_TEXT: return "CF_TEXT";
    case CF_BITMAP: return "CF_BITMAP";
    case CF_OEMTEXT: return "CF_OEMTEXT";
    case CF_DIB: return "CF_DIB";
    case CF_UNICODETEXT: return "CF_UNICODETEXT";
    case CF_HDROP: return "CF_HDROP";
    case CF_LOCALE: return "CF_LOCALE";
    case CF_DIBV5: return "CF_DIBV5";
    default: return "CF_" + std::to_string(format);
  }
}

} // namespace

bool set_text(const std::string& utf8) {
  std::wstring text = wide(utf8);
  open_clipboard open;
  if (!open || !::EmptyClipboard()) return false;
  return place(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

std::optional<std::string> text() {
  open_clipboard open;
  if (!open) return std::nullopt;
  std::optional<std::string> bytes = bytes_of(CF_UNICODETEXT);
  if (!bytes) return std::nullopt;
  // The text ends at its first NUL; the memory block may be larger than the text.
  std::wstring_view units(reinterpret_cast<const wchar_t*>(bytes->data()), bytes->size() / sizeof(wchar_t));
  return utf8(units.substr(0, units.find(L'\0')));
}

bool set_files(const std::vector<std::string>& paths, int drop_effect) {
  if (paths.empty()) return false;
  // DROPFILES, then the wide paths one after another, each ending in NUL, and a final NUL.
  std::wstring list;
  for (const std::string& path : paths) {
    std::wstring wide = wide_path(path);
    if (wide.empty()) return false;
    list += wide;
    list += L'\0';
  }
  list += L'\0';
  std::string block(sizeof(DROPFILES) + list.size() * sizeof(wchar_t), '\0');
  DROPFILES header{};
  header.pFiles = sizeof(DROPFILES);
  header.fWide = TRUE;
  std::memcpy(block.data(), &header, sizeof header);
  std::memcpy(block.data() + sizeof header, list.data(), list.size() * sizeof(wchar_t));
  DWORD effect = static_cast<DWORD>(drop_effect);
  open_clipboard open;
  if (!open || !::EmptyClipboard()) return false;
  return place(CF_HDROP, block.data(), block.size()) && place(drop_effect_format(), &effect, sizeof effect);
}

std::optional<file_list> files() {
  open_clipboard open;
  if (!open) return std::nullopt;
  HANDLE handle = ::GetClipboardData(CF_HDROP);
  if (!handle) return std::nullopt;
  HDROP drop = static_cast<HDROP>(handle);
  file_list list;
  UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    UINT got = ::DragQueryFileW(drop, i, path.data(), length + 1);
    path.resize(got);
    if (!path.empty()) list.paths.push_back(host_path(path));
  }
  std::optional<std::string> effect = bytes_of(drop_effect_format());
  if (effect && effect->size() >= sizeof(DWORD)) {
    DWORD value = 0;
    std::memcpy(&value, effect->data(), sizeof value);
    list.drop_effect = (value & DROPEFFECT_MOVE) ? kMoveEffect : kCopyEffect;
  }
  return list;
}

std::vector<std::string> formats() {
  std::vector<std::string> names;
  open_clipboard open;
  if (!open) return names;
  for (UINT format = ::EnumClipboardFormats(0); format != 0; format = ::EnumClipboardFormats(format)) {
    wchar_t name[256];
    int length = ::GetClipboardFormatNameW(format, name, 256);
    names.push_back(length > 0 ? utf8(std::wstring_view(name, static_cast<size_t>(length))) : standard_name(format));
  }
  return names;
}

} // namespace kit::platform::win32::clipboard
