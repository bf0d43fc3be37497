// The script objects of utilities/: each function registers one object (its method table)
// with the engine. The program calls them in its one registration list.
#pragma once

struct UIS_Env;

namespace kit::utilities {

void register_clipboard(UIS_Env* env);
void register_icon_manager(UIS_Env* env);  // with the class of its icons' bitmaps
void register_tray(UIS_Env* env);
void register_win32_shell(UIS_Env* env);

} // namespace kit::utilities
