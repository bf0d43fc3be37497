// The one list of script objects, in registration order. Objects that are not built yet
// keep their place as a comment so the order stays right as they arrive.
#include "app/script_objects.h"

#include "device/script_bindings.h"
#include "app/script_bindings.h"
#include "net/script_bindings.h"
#include "phonelink/script_bindings.h"
#include "utilities/filesystem_objects.h"
#include "utilities/script_bindings.h"

void RegisterScriptObjects(UIS_Env* env) {
  if (!env) return;
  // File-system utilities, HTTP classes and their factories, as one group:
  //   kit.filesystem.dir_utility, kit.filesystem.disk_utility, kit.filesystem.file_utility,
  //   kit.filesystem.path_utility (+ kit.pathsystem.path_utility), class kit.win32.net.asyn_http,
  //   kit.win32.net.asyn_http.factory, class kit.win32.net.asyn_http_file, its factory.
  kit::utilities::RegisterFileSystemObjects(env);
  kit::net::register_http_client(env);
  kit::net::register_http_file(env);
  kit::app::register_app_help(env);
  kit::device::register_device_manager(env);
  kit::device::register_android_con(env);
  kit::device::register_driver_manager(env);
  kit::phonelink::register_socket_manager(env);
  kit::phonelink::register_get_file(env);
  kit::utilities::register_clipboard(env);
  kit::net::register_data_report(env);
  kit::net::register_download_manager(env);
  kit::utilities::register_icon_manager(env);  // with class Zezazo.UIGraphic.Bitmap of its icons
  kit::utilities::register_win32_shell(env);
  kit::utilities::register_tray(env);
  kit::net::register_server_request(env);
  kit::net::register_web_ui(env);
  kit::phonelink::register_send_file(env);
  kit::device::register_device_info_class(env);  // class DeviceInfo.Class, after every global object
}
