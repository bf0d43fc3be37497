#include "app/host_config.h"

#include "app/script_objects.h"
#include "common/singleton_ex.h"
#include "device/android_connect_manager.h"
#include "device/device_manager.h"

using kit::design_pattern::singleton_ex;

kit::host::host_config MakeHostConfig() {
  kit::host::host_config config;
  // Managers in start-up order (released in reverse): icon imager, task store (acquired,
  // then initialised), driver installer, debug-bridge runner, device detector.
  config.managers.push_back({[] { singleton_ex<CAndroidConnectManager>::acquire(); },
                             [] { singleton_ex<CAndroidConnectManager>::release(); }});
  config.managers.push_back({[] { singleton_ex<CDeviceManager>::acquire(); },
                             [] { singleton_ex<CDeviceManager>::release(); }});
  config.register_objects = RegisterScriptObjects;
  return config;
}
