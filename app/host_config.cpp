#include "app/host_config.h"

#include "app/script_objects.h"
#include "device/device_manager.h"

kit::host::host_config MakeHostConfig() {
  kit::host::host_config config;
  // Managers in start-up order (released in reverse): icon imager, task store (acquired,
  // then initialised), driver installer, debug-bridge runner, device detector.
  // Device detector (last):
  config.managers.push_back({[] { CDeviceManager::acquire(); }, [] { CDeviceManager::release(); }});
  config.register_objects = RegisterScriptObjects;
  return config;
}
