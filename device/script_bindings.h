// The script objects of device/: each function registers one object (its method table)
// with the engine. The program calls them in its one registration list.
#pragma once

struct UIS_Env;

namespace kit::device {

void register_driver_manager(UIS_Env* env);
void register_android_con(UIS_Env* env);
void register_device_manager(UIS_Env* env);
void register_device_info_class(UIS_Env* env);

} // namespace kit::device
