// A stand-in for the driver installers (dpinst64.exe, a package's setup.exe, msiexec.exe):
// it writes the command line it was started with, as UTF-8, to a file named after itself
// with ".args" added, and exits with 7 so that the caller can tell its status from
// "nothing ran".
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
std::string utf8(const wchar_t* text) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}
} // namespace

int main() {
  wchar_t self[MAX_PATH * 4] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  std::wstring record = std::wstring(self) + L".args";
  FILE* out = _wfopen(record.c_str(), L"wb");
  if (!out) return 1;
  std::string line = utf8(::GetCommandLineW());
  std::fwrite(line.data(), 1, line.size(), out);
  std::fclose(out);
  return 7;
}
