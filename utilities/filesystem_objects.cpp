#include "utilities/filesystem_objects.h"

namespace kit::utilities {

void register_fs_object(UIS_Env* env, fs_object_names names, void* (*getter)(void*), const UIS_Method* methods) {
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, names.global_name, names.class_name, methods, nullptr});
}

void RegisterFileSystemObjects(UIS_Env* env) {
  if (!env) return;
  RegisterDirUtility(env);
  RegisterDiskUtility(env);
  RegisterFileUtility(env);
  RegisterPathUtility(env);
}

} // namespace kit::utilities
