// The UI engine's calls: package loader (UIL_), script runtime (UIS_) and bitmaps (UIG_).
// The engine runs LuaJIT on the UI thread. Besides the standard libraries, scripts see
// GetObject(name), SetTimer(ms, fn), KillTimer(id), ReadConsole(fn) and print.
#pragma once
#include <cstdint>
#include <lua.hpp>

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

struct UIG_GraphicParam {
  uint32_t flags;
  uint32_t reserved[7];
};

struct UIS_Env;
struct UIS_Runtime;
struct UIS_Chunk;
struct UIG_Bitmap;

int UIL_InitLoader(int reserved);
int UIL_AddPackageSearchPath(const char16_t* folder);
// Finds the package folder by name (letter case ignored) in the search paths and runs its
// onload.lua. Returns 0 on success.
int UIL_LoadPackage(const char* name);

void UIG_PrepareGraphicParam(UIG_GraphicParam* param);
int UIG_InitGraphicLib(UIG_GraphicParam* param);
void UIG_SetFreeTypeEnabled(int enabled);
// A reference-counted 32-bit BGRA bitmap (count 1), or null.
UIG_Bitmap* UIG_CreateBitmap(int reserved, int width, int height);
// Address of pixel (x, y); rows are 4 * width bytes.
uint8_t* UIG_GetBitmapBuffer(UIG_Bitmap* bitmap, int x, int y);
int UIG_GetBitmapWidth(const UIG_Bitmap* bitmap);
int UIG_GetBitmapHeight(const UIG_Bitmap* bitmap);
int UIG_AddRefBitmap(UIG_Bitmap* bitmap);
int UIG_ReleaseBitmap(UIG_Bitmap* bitmap);

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
