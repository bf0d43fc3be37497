#include "utilities/win32_shell_object.h"

#include "utilities/registry_store.h"

CLuaWin32Shell::CLuaWin32Shell() = default;
CLuaWin32Shell::~CLuaWin32Shell() = default;

kit::utilities::registry_store& CLuaWin32Shell::registry() {
  if (!registry_) registry_ = std::make_unique<kit::utilities::registry_store>();
  return *registry_;
}
