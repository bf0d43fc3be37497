#include "app/host_config.h"

#include "app/script_objects.h"
#include "common/singleton_ex.h"
#include "device/android_connect_manager.h"
#include "device/device_manager.h"
#include "device/driver_manager.h"
#include "engine/console_input.h"
#include "host/app_paths.h"
#include "host/host_startup.h"
#include "host/owned_objects.h"
#include "host/thread_pool.h"
#include "app/update_check.h"
#include "archive/extract_archive.h"
#include "net/task_store.h"
#include "platform/dbus_buses.h"
#include "platform/x11_display.h"
#include "utilities/icon_imager.h"

using kit::design_pattern::singleton_ex;

kit::host::host_config MakeHostConfig() {
  kit::host::host_config config;
  // The profile folder exists before anything that keeps files there starts (contact
  // backups and their index; the scripts' own files): filling the paths creates it.
  config.managers.push_back({[] { GetAppPaths()->GetProfileDir(); }, [] {}});
  // Managers in start-up order (released in reverse): icon imager, task store (acquired,
  // then initialised), driver installer, debug-bridge runner, device detector.
  config.managers.push_back({[] { singleton_ex<CIconImagerCreator>::acquire(); },
                             [] { singleton_ex<CIconImagerCreator>::release(); }});
  // The task store is open before the script objects are registered, so the download
  // manager finds the stored tasks and the next free id.
  config.managers.push_back({[] { singleton_ex<CSqliteManager>::acquire()->open_task_store(); },
                             [] { singleton_ex<CSqliteManager>::release(); }});
  config.managers.push_back({[] { singleton_ex<CDriverManager>::acquire(); },
                             [] { singleton_ex<CDriverManager>::release(); }});
  config.managers.push_back({[] { singleton_ex<CAndroidConnectManager>::acquire(); },
                             [] { singleton_ex<CAndroidConnectManager>::release(); }});
  config.managers.push_back({[] { singleton_ex<CDeviceManager>::acquire(); },
                             [] { singleton_ex<CDeviceManager>::release(); }});
  config.register_objects = RegisterScriptObjects;
  // Start-up step 11: after the package has loaded, before the message loop.
  config.update_check = [] { kit::app::run_update_check(GetAppPaths()->GetExeDir()); };
  // What owns a thread, a child process or a socket stops here, before the managers above
  // are released and the message window goes.
  // 1. The console reader: standard input is read no more.
  config.shutdown_steps.push_back(kit::engine::stop_console_input);
  // 2. A running extraction stops at its next write (removing its partial item); then the
  //    pool's worker finishes the item it is running; what is left is cleaned up.
  config.shutdown_steps.push_back(kit::archive::cancel_extractions);
  config.shutdown_steps.push_back(CThreadPool::Shutdown);
  // 3. The script objects, newest first: SendFile.Manager joins its worker, GetFile.Manager
  //    and Socket.Manager close their sockets, DownloadManger.Manager ends its transfer
  //    (the task store stays open until the managers above are released), AndroidCon.Manager
  //    cancels its commands at the debug-bridge runner (whose worker ends, killing a running
  //    command, when it is released next), Driver.Manager ends a running installer and joins
  //    the installer's worker, Device.Manager ends the device notices; all give back their
  //    script functions while the script state still exists.
  config.shutdown_steps.push_back(kit::host::release_owned_objects);
  // 4. The desktop connections the script objects shared: the X display, the buses.
  config.shutdown_steps.push_back(kit::platform::x11::close);
  config.shutdown_steps.push_back(kit::platform::dbus::close);
  return config;
}
