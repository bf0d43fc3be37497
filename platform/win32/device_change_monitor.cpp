// Device-change notices on Windows: a message-only window on a thread of its own, registered
// for the arrival and removal of every device interface (a message-only window gets no
// broadcasts, so it asks for them), hands each WM_DEVICECHANGE arrival or removal to the UI
// loop.
#include "platform/device_change_monitor.h"

#include <windows.h>
#include <dbt.h>

#include <atomic>
#include <thread>

#include <boost/asio/post.hpp>

#include "platform/ui_loop_asio.h"

namespace kit::platform {

namespace {
constexpr wchar_t kClassName[] = L"MobrevistDeviceChangeWindow";

struct shared_state {
  device_notice_fn notify;
  std::atomic<bool> stopped{false};
};

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DEVICECHANGE && (wparam == DBT_DEVICEARRIVAL || wparam == DBT_DEVICEREMOVECOMPLETE)) {
    auto* shared = reinterpret_cast<std::shared_ptr<shared_state>*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (shared) {
      std::shared_ptr<shared_state> state = *shared;
      uintptr_t notice = wparam == DBT_DEVICEARRIVAL ? kDeviceArrival : kDeviceRemoved;
      boost::asio::post(ui_io_context(), [state, notice] {
        if (!state->stopped && state->notify) state->notify(notice);
      });
    }
    return TRUE;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}
} // namespace

struct device_change_monitor::impl {
  std::shared_ptr<shared_state> state = std::make_shared<shared_state>();
  std::thread thread;
  std::atomic<DWORD> thread_id{0};
  std::atomic<bool> looping{false};  // the thread has its window and reads its queue
};

device_change_monitor::device_change_monitor() = default;
device_change_monitor::~device_change_monitor() { stop(); }

void device_change_monitor::start(device_notice_fn notify) {
  stop();
  impl_ = std::make_unique<impl>();
  impl_->state->notify = std::move(notify);
  HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  impl* self = impl_.get();
  self->thread = std::thread([self, ready] {
    self->thread_id = ::GetCurrentThreadId();
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.lpszClassName = kClassName;
    ::RegisterClassW(&window_class);  // fails harmlessly when a monitor registered it before
    HWND window = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    std::shared_ptr<shared_state> state = self->state;
    HDEVNOTIFY registration = nullptr;
    if (window) {
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
      DEV_BROADCAST_DEVICEINTERFACE_W filter{};
      filter.dbcc_size = sizeof filter;
      filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
      registration = ::RegisterDeviceNotificationW(window, &filter,
                                                   DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
    }
    self->looping = window != nullptr;
    ::SetEvent(ready);
    MSG message;
    while (window && ::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    if (registration) ::UnregisterDeviceNotification(registration);
    if (window) ::DestroyWindow(window);
  });
  ::WaitForSingleObject(ready, 10000);
  ::CloseHandle(ready);
}

void device_change_monitor::stop() {
  if (!impl_) return;
  impl_->state->stopped = true;
  if (impl_->thread.joinable()) {
    // WM_QUIT ends the thread's message loop; a thread that never made its window ends by
    // itself.
    if (impl_->looping) ::PostThreadMessageW(impl_->thread_id, WM_QUIT, 0, 0);
    impl_->thread.join();
  }
  impl_.reset();
}

} // namespace kit::platform
