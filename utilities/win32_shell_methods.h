// The methods of Win32Shell.Object, grouped by what they reach (files, profile files, the
// registry, processes, launching, the desktop); win32_shell_object.cpp lists them.
#pragma once
#include <string>

#include "engine/ui_engine.h"

class CLuaWin32Shell;

namespace kit::utilities::shell {

// Argument 1 is the shell object.
bool is_shell(lua_State* L);
// The shell object behind argument 1, or null.
CLuaWin32Shell* shell(lua_State* L);
// A text the script must give: raises the usual argument error when it is missing.
std::string check_text(lua_State* L, int idx);

// Files and folders.
int GetTmpDir(lua_State* L);
int Rename(lua_State* L);
int DeletePathFile(lua_State* L);
int EnumFile(lua_State* L);
int GetExtFiles(lua_State* L);
int SplitString(lua_State* L);
int GetDirSize(lua_State* L);
int CopyFile(lua_State* L);

// Profile files.
int ReadINIInteger(lua_State* L);
int ReadINIString(lua_State* L);
int WriteINI(lua_State* L);

// The registry.
int DeleteRegKey(lua_State* L);
int CreateRegKey(lua_State* L);
int SetRegValue(lua_State* L);
int QueryRegValue(lua_State* L);

// Processes and the machine.
int GetProcessList(lua_State* L);
int TerminateProcess(lua_State* L);
int RebootMachine(lua_State* L);

// Documents and programs.
int ShellOpen(lua_State* L);
int OpenDir(lua_State* L);
int ShellExecute(lua_State* L);
int RefreshIcon(lua_State* L);
int MessageBox(lua_State* L);

// The desktop: dialogs, pointer, keys, screen.
int FileDialog(lua_State* L);
int FolderDialog(lua_State* L);
int GetCursorPos(lua_State* L);
int GetWorkArea(lua_State* L);
int IsKeyDown(lua_State* L);
int GetKeyState(lua_State* L);
int GetAsyncKeyState(lua_State* L);
int ShowCursor(lua_State* L);
int GetScreenSize(lua_State* L);
int IsNowFullScreen(lua_State* L);

} // namespace kit::utilities::shell
