// The program's notification-area icon (the script face, "Tray.Manager", is
// tray_binding.cpp). Its clicks reach the attached script functions as (icon number 0,
// mouse message). The icons are the program's ICON
// resources: resource N is the PNG file mobrevist.rsrc/ICON/N beside the program.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "host/lua_event.h"

namespace kit::platform {
class status_notifier;
}

class CLuaNotifyTray {
public:
  static constexpr int kProgramIcon = 130;
  static constexpr size_t kMaxTipLength = 127;  // characters shown of a tooltip

  CLuaNotifyTray();
  ~CLuaNotifyTray();
  CLuaNotifyTray(const CLuaNotifyTray&) = delete;
  CLuaNotifyTray& operator=(const CLuaNotifyTray&) = delete;

  // True when the icon is shown (a desktop's tray is there to show it).
  bool Create();
  void SetTips(const std::string& utf8);
  void SetIcon(int64_t resource);
  void Delete();
  // Called with the mouse message of each click on the icon.
  void SetClickHandler(std::function<void(int message)> handler) { click_handler_ = std::move(handler); }
  LuaEventContainer& Events() { return events_; }

  // The file of the program's icon resource.
  static std::string IconResourcePath(int64_t resource);

private:
  void OnClick(int message);
  std::unique_ptr<kit::platform::status_notifier> item_;
  LuaEventContainer events_;
  std::function<void(int)> click_handler_;
  std::string tips_ = "Mobrevant";
  int64_t icon_ = kProgramIcon;
};
