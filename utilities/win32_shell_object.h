// "Win32Shell.Object": desktop services for the scripts.
#pragma once
#include "engine/ui_engine.h"

class CLuaWin32Shell {
public:
  static constexpr const char* kGlobalName = "Win32Shell.Object";
  static constexpr const char* kClassName = "Win32Shell.Class";
  static void Register(UIS_Env* env);
};
