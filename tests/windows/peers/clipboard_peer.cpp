// A second Windows program for the clipboard tests, written against the Win32 calls alone
// (none of the host's code), so each side checks the other:
//   clipboard_peer get-text                  prints the clipboard's text
//   clipboard_peer set-text TEXT             places TEXT as Unicode text
//   clipboard_peer get-files                 prints the drop effect, then one path a line
//   clipboard_peer set-files EFFECT PATH...  places a file list (EFFECT 0: no drop effect)
// Output is UTF-8; exit 1 when the clipboard could not be used.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string to_utf8(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

void print(const std::wstring& line) {
  std::string bytes = to_utf8(line) + "\n";
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

bool open() {
  HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  for (int i = 0; i < 100; ++i) {
    if (OpenClipboard(owner)) return true;
    Sleep(10);
  }
  return false;
}

bool put(UINT format, const void* data, size_t size) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  std::memcpy(GlobalLock(memory), data, size);
  GlobalUnlock(memory);
  return SetClipboardData(format, memory) != nullptr;
}

} // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 2 || !open()) return 1;
  std::wstring verb = argv[1];
  UINT effect_format = RegisterClipboardFormatW(L"Preferred DropEffect");
  bool ok = true;
  if (verb == L"get-text") {
    HANDLE h = GetClipboardData(CF_UNICODETEXT);
    ok = h != nullptr;
    if (ok) {
      print(static_cast<const wchar_t*>(GlobalLock(h)));
      GlobalUnlock(h);
    }
  } else if (verb == L"set-text" && argc == 3) {
    std::wstring text = argv[2];
    ok = EmptyClipboard() && put(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  } else if (verb == L"get-files") {
    HDROP drop = static_cast<HDROP>(GetClipboardData(CF_HDROP));
    ok = drop != nullptr;
    if (ok) {
      HANDLE e = GetClipboardData(effect_format);
      DWORD effect = 0;
      if (e) {
        effect = *static_cast<const DWORD*>(GlobalLock(e));
        GlobalUnlock(e);
      }
      print(std::to_wstring(effect));
      UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        wchar_t path[MAX_PATH * 4];
        DragQueryFileW(drop, i, path, MAX_PATH * 4);
        print(path);
      }
    }
  } else if (verb == L"set-files" && argc >= 4) {
    DWORD effect = static_cast<DWORD>(_wtoi(argv[2]));
    std::wstring list;
    for (int i = 3; i < argc; ++i) list += std::wstring(argv[i]) + L'\0';
    list += L'\0';
    std::string block(sizeof(DROPFILES) + list.size() * sizeof(wchar_t), '\0');
    DROPFILES header{};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = TRUE;
    std::memcpy(block.data(), &header, sizeof header);
    std::memcpy(block.data() + sizeof header, list.data(), list.size() * sizeof(wchar_t));
    ok = EmptyClipboard() && put(CF_HDROP, block.data(), block.size());
    if (ok && effect != 0) ok = put(effect_format, &effect, sizeof effect);
  } else {
    ok = false;
  }
  CloseClipboard();
  std::fflush(stdout);
  return ok ? 0 : 1;
}
