// The UI thread's message-only window. Its procedure is reached through DispatchMessageW in
// the UI loop's pump, so posted messages and timers run on the UI thread like the loop's own
// handlers.
#include "platform/system_window.h"

#include <windows.h>

#include <cstdio>
#include <exception>

#include "platform/win32/wide.h"

namespace kit::platform {

namespace {

class message_only_window final : public system_window {
public:
  explicit message_only_window(procedure proc) : proc_(std::move(proc)) {}
  ~message_only_window() override {
    if (window_) ::DestroyWindow(window_);
  }

  bool open(const std::string& name) {
    const std::wstring title = win32::wide(name);
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = dispatch;
    window_class.hInstance = instance;
    window_class.lpszClassName = title.c_str();
    // A class made by an earlier window of the same name serves again.
    if (!::RegisterClassW(&window_class) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    window_ = ::CreateWindowExW(0, title.c_str(), title.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
    return window_ != nullptr;
  }

  bool post(uint32_t message, uintptr_t wparam, uintptr_t lparam) override {
    return ::PostMessageW(window_, message, wparam, static_cast<LPARAM>(lparam)) != 0;
  }
  bool set_timer(uint32_t id, unsigned period_ms) override { return ::SetTimer(window_, id, period_ms, nullptr) != 0; }
  void kill_timer(uint32_t id) override { ::KillTimer(window_, id); }

private:
  static LRESULT CALLBACK dispatch(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<message_only_window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    // The host's messages go to the procedure; the system's own (creation, destruction and
    // the like) keep their default answers.
    const bool hosts = message == WM_TIMER || message == WM_DEVICECHANGE || message >= WM_USER;
    if (!self || !hosts) return ::DefWindowProcW(window, message, wparam, lparam);
    // No exception may cross the system's frames of the dispatch.
    try {
      return static_cast<LRESULT>(self->proc_(message, wparam, static_cast<uintptr_t>(lparam)));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "message window: %s\n", e.what());
    } catch (...) {
      std::fprintf(stderr, "message window: unknown exception\n");
    }
    return 0;
  }

  procedure proc_;
  HWND window_ = nullptr;
};

} // namespace

std::unique_ptr<system_window> system_window::make(const std::string& name, procedure proc) {
  auto made = std::make_unique<message_only_window>(std::move(proc));
  if (!made->open(name)) return nullptr;
  return made;
}

} // namespace kit::platform
