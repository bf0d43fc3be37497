// "Tray.Manager": the program's notification-area icon. Its clicks reach the attached
// script functions as (icon number 0, mouse message). The icons are the program's ICON
// resources: resource N is the PNG file mobrevist.rsrc/ICON/N beside the program.
#pragma once
#include <memory>
#include <string>

#include "engine/ui_engine.h"
#include "host/lua_event.h"

namespace kit::platform {
class status_notifier;
}

class CLuaNotifyTray {
public:
  static constexpr const char* kGlobalName = "Tray.Manager";
  static constexpr const char* kClassName = "Tray.Manager.Class";
  static constexpr int kProgramIcon = 130;
  static constexpr size_t kMaxTipLength = 127;  // characters shown of a tooltip
  static void Register(UIS_Env* env);

  CLuaNotifyTray();
  ~CLuaNotifyTray();
  CLuaNotifyTray(const CLuaNotifyTray&) = delete;
  CLuaNotifyTray& operator=(const CLuaNotifyTray&) = delete;

  void Create();
  void SetTips(const std::string& utf8);
  void SetIcon(int64_t resource);
  void Delete();
  LuaEventContainer& Events() { return events_; }

  // The file of the program's icon resource.
  static std::string IconResourcePath(int64_t resource);

private:
  void OnClick(int message);
  std::unique_ptr<kit::platform::status_notifier> item_;
  LuaEventContainer events_;
  std::string tips_ = "Mobrevant";
  int64_t icon_ = kProgramIcon;
};
