// "Win32Shell.Object": desktop services for the scripts.
#pragma once
#include <memory>


namespace kit::utilities {
class registry_store;
}

class CLuaWin32Shell {
public:

  CLuaWin32Shell();
  ~CLuaWin32Shell();
  // The per-user registry, opened on first use.
  kit::utilities::registry_store& registry();

private:
  std::unique_ptr<kit::utilities::registry_store> registry_;
};
