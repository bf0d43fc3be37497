// "Win32Shell.Object": desktop services for the scripts.
#pragma once
#include <memory>

#include "engine/ui_engine.h"

namespace kit::utilities {
class registry_store;
}

class CLuaWin32Shell {
public:
  static constexpr const char* kGlobalName = "Win32Shell.Object";
  static constexpr const char* kClassName = "Win32Shell.Class";
  static void Register(UIS_Env* env);

  CLuaWin32Shell();
  ~CLuaWin32Shell();
  // The per-user registry, opened on first use.
  kit::utilities::registry_store& registry();

private:
  std::unique_ptr<kit::utilities::registry_store> registry_;
};
