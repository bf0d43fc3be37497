// The shell object's file and folder dialogs on Windows, answered as a user would: the
// system's dialog is found among the program's windows and its OK or Cancel button pressed.
// Wine shows no dialog without a display driver: the test runs on a private display
// (tests/windows/on_display.py) and is skipped elsewhere, so that no dialog ever reaches the
// desktop of the machine's own user.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>
#include <dlgs.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>

#include "support/temp_dir.h"
#include "utilities/file_dialog.h"

namespace {

using kit::utilities::file_dialog_request;

BOOL CALLBACK find_dialog(HWND window, LPARAM found) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  wchar_t name[16] = {};
  ::GetClassNameW(window, name, 16);
  if (pid != ::GetCurrentProcessId() || std::wstring(name) != L"#32770" || !::IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// Shows the dialog on a thread of its own and, once it is up, types the name (when one is
// given) into its file name field and presses the button.
std::vector<std::string> answer(const file_dialog_request& request, int button, const wchar_t* typed = nullptr) {
  auto shown = std::async(std::launch::async, [request] { return kit::utilities::choose_files(request); });
  HWND dialog = nullptr;
  for (int i = 0; i < 600 && !dialog; ++i) {
    if (shown.wait_for(std::chrono::milliseconds(100)) == std::future_status::ready) break;
    ::EnumWindows(find_dialog, reinterpret_cast<LPARAM>(&dialog));
  }
  EXPECT_NE(dialog, nullptr) << "no dialog was shown";
  // The button is clicked as a user would click it.
  // The button is clicked as a user would click it.
  if (dialog && typed) ::SendMessageW(::GetDlgItem(dialog, edt1), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed));
  if (dialog) ::PostMessageW(::GetDlgItem(dialog, button), BM_CLICK, 0, 0);
  // A dialog that did not take the button is closed, so that the test ends either way.
  for (int i = 0; i < 300 && shown.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready; ++i) {
    if (i % 50 != 49) continue;
    HWND open = nullptr;  // the dialog, or a message box it raised
    ::EnumWindows(find_dialog, reinterpret_cast<LPARAM>(&open));
    if (open) ::PostMessageW(open, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
  EXPECT_EQ(shown.wait_for(std::chrono::seconds(0)), std::future_status::ready) << "the dialog did not close";
  return shown.get();
}

bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(std::filesystem::u8path(a), std::filesystem::u8path(b), ec);
}

} // namespace

TEST(WindowsFileDialogs, OpenSaveFolderAndCancelGiveTheChosenPaths) {
  if (!std::getenv("MOBREVIST_PRIVATE_DISPLAY")) GTEST_SKIP() << "runs on a private display only";
  testsupport::temp_dir dir;
  // A name that needs escaping in a URI and is beyond ASCII.
  const std::string name = "a b%#\xc3\xa9.txt";
  testsupport::write_file(dir / name, "x");
  testsupport::make_dirs(dir / "sub");

  file_dialog_request open;
  open.filter = "Text|*.txt|All|*.*";
  open.initial_folder = dir.path() + "/";
  open.initial_name = name;
  auto opened = answer(open, IDOK);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_TRUE(same_file(opened[0], dir / name)) << opened[0];

  file_dialog_request save;
  save.open = false;
  save.filter = "CSV|*.csv";
  save.default_ext = "csv";
  save.initial_folder = dir.path() + "/";
  save.initial_name = "report";
  auto saved = answer(save, IDOK);
  ASSERT_EQ(saved.size(), 1u);
  const size_t slash = saved[0].rfind('/');
  ASSERT_NE(slash, std::string::npos) << saved[0];
  EXPECT_EQ(saved[0].substr(slash + 1), "report.csv");
  EXPECT_TRUE(same_file(saved[0].substr(0, slash), dir.path())) << saved[0];

  file_dialog_request folder;
  folder.directory = true;
  folder.title = "Pick";
  folder.initial_folder = dir.path();
  auto picked = answer(folder, IDOK, L"sub");
  ASSERT_EQ(picked.size(), 1u);
  EXPECT_TRUE(same_file(picked[0], dir / "sub")) << picked[0];

  EXPECT_TRUE(answer(open, IDCANCEL).empty());
}
#endif
