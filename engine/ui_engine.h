// The UI engine's calls: package loader (UIL_), script runtime (UIS_) and bitmaps (UIG_).
// The engine runs LuaJIT on the UI thread. Besides the standard libraries, scripts see
// GetObject(name), SetTimer(ms, fn), KillTimer(id), ReadConsole(fn) and print.
#pragma once
#include <cstdint>
#include <lua.hpp>

#include "engine/ui_graphic.h"

// One row of a method table; a table ends with a row whose name is null. Two rows may
// share one function.
struct UIS_Method {
  const char* name;
  lua_CFunction func;
  intptr_t reserved;
};

// Registration of a global object. The getter makes the native object on its first call
// and returns the same address afterwards.
struct UIS_GlobalObjRecord {
  void* (*getter)(void* user_data);
  void* user_data;
  const char* name;
  const char* class_name;
  const UIS_Method* methods;
  void* reserved;
};

struct UIS_Env;
struct UIS_Runtime;
struct UIS_Chunk;

int UIL_InitLoader(int reserved);
int UIL_AddPackageSearchPath(const char16_t* folder);
// Finds the package folder by name (letter case ignored) in the search paths and runs its
// onload.lua. Returns 0 on success.
int UIL_LoadPackage(const char* name);

UIS_Env* UIS_GetEnv(const char* name);
int UIS_RegisterGlobalObj(UIS_Env* env, UIS_GlobalObjRecord record);
int UIS_RegisterClass(UIS_Env* env, const char* class_name, const UIS_Method* methods, int reserved1, int reserved2);
// Pushes a new instance of a registered class holding the native address.
int UIS_PushObject(lua_State* L, const char* class_name, void* native);
UIS_Runtime* UIS_GetRuntime(UIS_Env* env, const char* name);
lua_State* UIS_GetLuaState(UIS_Runtime* runtime);
// Makes a chunk that runs the file and then its global function named entry. Returns 0
// and sets *chunk when the file can be read.
int UIS_CreateChunkFromModule(const char16_t* chunk_name, const char16_t* path, const char* entry, UIS_Chunk** chunk);
// Compiles the chunk and pushes the callable that runs it; 0 on success (nothing pushed
// on failure, which is reported on standard error).
int UIS_PrepareChunk(UIS_Runtime* runtime, UIS_Chunk* chunk);
void UIS_ReleaseChunk(UIS_Chunk* chunk);
// Protected call of the function below the nargs arguments. Consumes them and leaves
// exactly nresults values (nils when the call failed; a negative count means none). A
// script error is written to standard error as "<context>: <message>" with a traceback.
// When the stack holds fewer than nargs + 1 values nothing is called or removed (the
// caller's values stay) and nresults nils are pushed; a result count the stack cannot make
// room for is refused the same way, without results. Returns 0 on success.
int UIS_LuaCall(lua_State* L, int nargs, int nresults, const char* context);

// The main state of the state L belongs to: L itself when L is the main state, else the
// state whose coroutine L is. A state the engine did not make counts as its own main state.
// Null only when the stack has no room for the look-up.
lua_State* UIS_GetMainState(lua_State* L);

// The native address held by the object at idx when it is an instance of class_name (or
// the global object registered with that class), else null. Never raises.
void* UIS_ToObject(lua_State* L, int idx, const char* class_name);
