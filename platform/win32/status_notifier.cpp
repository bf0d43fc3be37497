// The notification-area icon on Windows: Shell_NotifyIconW for a hidden window of class
// "LuaNotifyTray", whose callback message 1034 brings the icon's mouse messages (the same
// numbers the item reports elsewhere). The window lives on the UI thread, whose loop pumps
// its messages. When Explorer starts again ("TaskbarCreated") a shown icon is added again.
#include "platform/status_notifier.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "platform/win32/wide.h"

namespace kit::platform {

namespace {
constexpr wchar_t kClassName[] = L"LuaNotifyTray";
constexpr UINT kTrayMessage = 1034;
constexpr UINT kIconId = 1;

UINT taskbar_created() {
  static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

// A 32-bit icon of the pixmap (straight ARGB in network order); null for an empty one.
HICON make_icon(const status_notifier::pixmap& icon) {
  if (icon.width <= 0 || icon.height <= 0 || icon.argb.size() < static_cast<size_t>(icon.width) * icon.height * 4)
    return nullptr;
  BITMAPV5HEADER header{};
  header.bV5Size = sizeof header;
  header.bV5Width = icon.width;
  header.bV5Height = -icon.height;  // rows from the top
  header.bV5Planes = 1;
  header.bV5BitCount = 32;
  header.bV5Compression = BI_RGB;
  void* bits = nullptr;
  HDC screen = ::GetDC(nullptr);
  HBITMAP color = ::CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
  ::ReleaseDC(nullptr, screen);
  if (!color) return nullptr;
  auto* out = static_cast<uint8_t*>(bits);
  for (size_t i = 0; i < static_cast<size_t>(icon.width) * icon.height; ++i) {
    const uint8_t* p = &icon.argb[i * 4];  // A, R, G, B
    out[i * 4 + 0] = p[3];
    out[i * 4 + 1] = p[2];
    out[i * 4 + 2] = p[1];
    out[i * 4 + 3] = p[0];
  }
  HBITMAP mask = ::CreateBitmap(icon.width, icon.height, 1, 1, nullptr);
  ICONINFO info{TRUE, 0, 0, mask, color};
  HICON made = ::CreateIconIndirect(&info);
  ::DeleteObject(mask);
  ::DeleteObject(color);
  return made;
}
} // namespace

struct status_notifier::state {
  std::function<void(int)> on_click;
  HWND window = nullptr;
  HICON icon = nullptr;  // ours to destroy; null: the system's application icon
  std::wstring tip;
  bool shown = false;

  NOTIFYICONDATAW data(UINT flags) const {
    NOTIFYICONDATAW d{};
    d.cbSize = sizeof d;
    d.hWnd = window;
    d.uID = kIconId;
    d.uFlags = flags;
    d.uCallbackMessage = kTrayMessage;
    d.hIcon = icon ? icon : ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    std::wstring shown_tip = tip.substr(0, std::size(d.szTip) - 1);
    std::copy(shown_tip.begin(), shown_tip.end(), d.szTip);
    return d;
  }
  bool add() {
    NOTIFYICONDATAW d = data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    shown = ::Shell_NotifyIconW(NIM_ADD, &d) != 0;
    return shown;
  }
  void set_icon(const pixmap& pixels) {
    if (icon) ::DestroyIcon(icon);
    icon = make_icon(pixels);
  }

  static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<state*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == kTrayMessage) {
      if (self->on_click) self->on_click(static_cast<int>(LOWORD(lparam)));
      return 0;
    }
    if (self && message == taskbar_created() && self->shown) {
      self->add();
      return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }

  bool make_window() {
    if (window) return true;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = proc;
    window_class.hInstance = instance;
    window_class.lpszClassName = kClassName;
    ::RegisterClassW(&window_class);  // a second registration fails harmlessly
    // A hidden top-level window, so that Explorer's restart reaches it; a message-only one
    // where no top-level window can be made (a session without a display).
    window = ::CreateWindowExW(0, kClassName, kClassName, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (!window)
      window = ::CreateWindowExW(0, kClassName, kClassName, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    if (window) ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return window != nullptr;
  }
};

status_notifier::status_notifier(std::function<void(int message)> on_click) : state_(std::make_unique<state>()) {
  state_->on_click = std::move(on_click);
}

status_notifier::~status_notifier() {
  hide();
  if (state_->window) ::DestroyWindow(state_->window);
  if (state_->icon) ::DestroyIcon(state_->icon);
}

bool status_notifier::show(const std::string& title, pixmap icon) {
  hide();
  if (!state_->make_window()) return false;
  state_->tip = win32::wide(title);
  state_->set_icon(icon);
  return state_->add();
}

void status_notifier::set_tooltip(const std::string& title) {
  state_->tip = win32::wide(title);
  if (!state_->shown) return;
  NOTIFYICONDATAW d = state_->data(NIF_TIP);
  ::Shell_NotifyIconW(NIM_MODIFY, &d);
}

void status_notifier::set_icon(pixmap icon) {
  state_->set_icon(icon);
  if (!state_->shown) return;
  NOTIFYICONDATAW d = state_->data(NIF_ICON);
  ::Shell_NotifyIconW(NIM_MODIFY, &d);
}

void status_notifier::hide() {
  if (!state_->shown) return;
  NOTIFYICONDATAW d = state_->data(0);
  ::Shell_NotifyIconW(NIM_DELETE, &d);
  state_->shown = false;
}

bool status_notifier::shown() const { return state_->shown; }

// Windows has no bus: the tray window's class names the item.
std::string status_notifier::bus_name() const { return state_->shown ? "LuaNotifyTray" : ""; }

} // namespace kit::platform
