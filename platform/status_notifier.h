// A notification-area icon as a StatusNotifierItem on the session bus: the item object is
// served from the UI loop, registered with the StatusNotifierWatcher when one is there (and
// again whenever one appears), and its clicks come back as the mouse messages a tray icon
// reports. Without a session bus nothing is shown and nothing blocks. UI thread only.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kit::platform {

class status_notifier {
public:
  // Mouse messages the item's methods are reported as.
  static constexpr int kLeftDoubleClick = 0x203;   // Activate
  static constexpr int kRightButtonUp = 0x205;     // ContextMenu
  static constexpr int kMiddleButtonUp = 0x208;    // SecondaryActivate

  struct pixmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> argb;  // 32-bit ARGB in network byte order, rows of width * 4 bytes
  };

  explicit status_notifier(std::function<void(int message)> on_click);
  ~status_notifier();
  status_notifier(const status_notifier&) = delete;
  status_notifier& operator=(const status_notifier&) = delete;

  // Shows the item (again, if it was shown); false without a session bus.
  bool show(const std::string& title, pixmap icon);
  void set_tooltip(const std::string& title);
  void set_icon(pixmap icon);
  // Takes the item off the bus.
  void hide();
  bool shown() const;
  // The item's bus name while shown ("" otherwise).
  std::string bus_name() const;

  struct state;

private:
  std::unique_ptr<state> state_;
};

} // namespace kit::platform
