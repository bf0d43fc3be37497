// The script objects of app/: each function registers one object (its method table) with
// the engine. The program calls them in its one registration list.
#pragma once

struct UIS_Env;

namespace kit::app {

void register_app_help(UIS_Env* env);

} // namespace kit::app
