// The file-system utility objects of the scripts: kit.filesystem.file_utility, dir_utility,
// path_utility (also as kit.pathsystem.path_utility) and disk_utility. They are stateless:
// each method takes a path (either separator), asks the file system and returns at once.
#pragma once
#include "engine/ui_engine.h"

namespace kit::utilities {

// Registers the four objects (and the second name of the path utility), in that order.
void RegisterFileSystemObjects(UIS_Env* env);

// One registration of a stateless object; its native object is an owned T.
struct fs_object_names {
  const char* global_name;
  const char* class_name;
};
void register_fs_object(UIS_Env* env, fs_object_names names, void* (*getter)(void*), const UIS_Method* methods);

void RegisterFileUtility(UIS_Env* env);
void RegisterDirUtility(UIS_Env* env);
void RegisterPathUtility(UIS_Env* env);
void RegisterDiskUtility(UIS_Env* env);

} // namespace kit::utilities
