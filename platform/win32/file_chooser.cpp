// File and folder dialogs on Windows: the system's common item dialogs (IFileOpenDialog and
// IFileSaveDialog), owned by the active window. A call waits in the dialog's own message loop
// until the user answers. Chosen paths come back as file: URIs ("file:///C:/a%20b"), the form
// the portal gives on Linux.
#include "platform/portal_file_chooser.h"

#include <windows.h>
#include <shobjidl.h>

#include <cstdio>

#include "platform/win32/com_ptr.h"
#include "platform/win32/wide.h"

namespace kit::platform {

namespace {

using win32::com_ptr;

std::string file_uri(const std::wstring& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string uri = "file:///";
  for (unsigned char c : win32::host_path(path)) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '/' || c == ':' || c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += hex[c >> 4];
      uri += hex[c & 15];
    }
  }
  return uri;
}

std::wstring item_path(IShellItem* item) {
  wchar_t* name = nullptr;
  if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &name)) || !name) return {};
  std::wstring path = name;
  ::CoTaskMemFree(name);
  return path;
}

// The dialog's settings from the request; false when the system refused one that matters.
bool configure(IFileDialog* dialog, const file_chooser_request& request) {
  FILEOPENDIALOGOPTIONS options = 0;
  if (FAILED(dialog->GetOptions(&options))) return false;
  options |= FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST;
  if (request.directory) options |= FOS_PICKFOLDERS;
  if (request.open) options |= FOS_FILEMUSTEXIST;
  if (request.open && request.multiple) options |= FOS_ALLOWMULTISELECT;
  if (!request.open) options |= FOS_OVERWRITEPROMPT;
  if (FAILED(dialog->SetOptions(options))) return false;
  if (!request.title.empty()) dialog->SetTitle(win32::wide(request.title).c_str());
  if (!request.directory && !request.filters.empty()) {
    std::vector<std::wstring> texts;  // kept alive while the dialog copies them
    for (const auto& [description, patterns] : request.filters) {
      std::string joined;
      for (const std::string& p : patterns) joined += (joined.empty() ? "" : ";") + p;
      texts.push_back(win32::wide(description));
      texts.push_back(win32::wide(joined));
    }
    std::vector<COMDLG_FILTERSPEC> specs;
    for (size_t i = 0; i + 1 < texts.size(); i += 2) specs.push_back({texts[i].c_str(), texts[i + 1].c_str()});
    dialog->SetFileTypes(static_cast<UINT>(specs.size()), specs.data());
  }
  if (!request.current_folder.empty()) {
    // The shell finds no folder with an empty part ("C:\a\\b") or a final separator ("C:\a\",
    // but "C:\"); a path joined from parts may have both.
    const std::wstring given = win32::wide_path(request.current_folder);
    std::wstring path;
    for (size_t i = 0; i < given.size(); ++i) {
      if (given[i] == L'\\' && i > 1 && given[i - 1] == L'\\') continue;  // "\\server" keeps its start
      path += given[i];
    }
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    com_ptr<IShellItem> folder;
    if (SUCCEEDED(::SHCreateItemFromParsingName(path.c_str(), nullptr, IID_PPV_ARGS(folder.put()))))
      dialog->SetFolder(folder.p);
  }
  if (!request.current_name.empty()) dialog->SetFileName(win32::wide(request.current_name).c_str());
  return true;
}

std::vector<std::string> results(IFileDialog* dialog, bool open) {
  std::vector<std::string> chosen;
  if (open) {
    com_ptr<IShellItemArray> items;
    if (FAILED(static_cast<IFileOpenDialog*>(dialog)->GetResults(items.put()))) return chosen;
    DWORD count = 0;
    items->GetCount(&count);
    for (DWORD i = 0; i < count; ++i) {
      com_ptr<IShellItem> item;
      if (FAILED(items->GetItemAt(i, item.put()))) continue;
      std::wstring path = item_path(item.p);
      if (!path.empty()) chosen.push_back(file_uri(path));
    }
    return chosen;
  }
  com_ptr<IShellItem> item;
  if (SUCCEEDED(dialog->GetResult(item.put()))) {
    std::wstring path = item_path(item.p);
    if (!path.empty()) chosen.push_back(file_uri(path));
  }
  return chosen;
}

} // namespace

std::vector<std::string> choose_file_uris(const file_chooser_request& request) {
  // The dialogs live in a single-threaded apartment; a thread already in another kind
  // cannot show them.
  HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  if (FAILED(init)) {
    std::fprintf(stderr, "file dialog: COM refused this thread (0x%08lx)\n", static_cast<unsigned long>(init));
    return {};
  }
  std::vector<std::string> chosen;
  {
    const bool open = request.open || request.directory;
    com_ptr<IFileDialog> dialog;
    HRESULT made = open ? ::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IFileOpenDialog, reinterpret_cast<void**>(dialog.put()))
                        : ::CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IFileSaveDialog, reinterpret_cast<void**>(dialog.put()));
    if (FAILED(made)) {
      std::fprintf(stderr, "file dialog: the system's dialog could not be made (0x%08lx)\n",
                   static_cast<unsigned long>(made));
    } else if (configure(dialog.p, request)) {
      // Cancelling answers HRESULT_FROM_WIN32(ERROR_CANCELLED): no paths.
      if (SUCCEEDED(dialog->Show(::GetActiveWindow()))) chosen = results(dialog.p, open);
    } else {
      std::fprintf(stderr, "file dialog: the system's dialog refused its options\n");
    }
  }
  ::CoUninitialize();
  return chosen;
}

} // namespace kit::platform
