// The one list of script objects, in registration order. Objects that are not built yet
// keep their place as a comment so the order stays right as they arrive.
#include "app/script_objects.h"

#include "device/android_con_object.h"
#include "device/driver_manager_object.h"
#include "device/lua_device_manager.h"
#include "app/app_help_object.h"
#include "net/asyn_http_file_object.h"
#include "net/asyn_http_object.h"
#include "net/data_report_manager.h"
#include "net/download_manager_object.h"
#include "net/server_request_manager.h"
#include "phonelink/get_file_manager.h"
#include "phonelink/send_file_manager.h"
#include "phonelink/socket_message_manager.h"
#include "utilities/clipboard_object.h"
#include "utilities/filesystem_objects.h"
#include "utilities/icon_manager_object.h"
#include "utilities/tray_object.h"
#include "utilities/win32_shell_object.h"

void RegisterScriptObjects(UIS_Env* env) {
  if (!env) return;
  // File-system utilities, HTTP classes and their factories, as one group:
  //   kit.filesystem.dir_utility, kit.filesystem.disk_utility, kit.filesystem.file_utility,
  //   kit.filesystem.path_utility (+ kit.pathsystem.path_utility), class kit.win32.net.asyn_http,
  //   kit.win32.net.asyn_http.factory, class kit.win32.net.asyn_http_file, its factory.
  kit::utilities::RegisterFileSystemObjects(env);
  kit::net::asyn_http_factory::RegisterClass(env);
  kit::net::asyn_http_factory::Register(env);
  kit::net::asyn_http_file_factory::RegisterClass(env);
  kit::net::asyn_http_file_factory::Register(env);
  CLuaAppeHelp::Register(env);
  CLuaDeviceManager::Register(env);
  CLuaAndroidConnectManager::Register(env);
  CLuaDriverManager::Register(env);
  CLuaSocketMessageManager::Register(env);
  CLuaGetFile::Register(env);
  CLuaClipBoardData::Register(env);
  kit::net::CLuaDataReport::Register(env);
  CLuaDownloadManager::Register(env);
  CLuaIconManager::Register(env);  // with class Zezazo.UIGraphic.Bitmap of its icons
  CLuaWin32Shell::Register(env);
  CLuaNotifyTray::Register(env);
  kit::net::CLuaSubHttpRequest::Register(env);
  CLuaSendFile::Register(env);
  CLuaDeviceManager::RegisterDeviceInfoClass(env);  // class DeviceInfo.Class, after every global object
}
