// Chunks made from script files: run the file, then its entry function.
#include <cstdio>
#include <string>

#include "common/text_convert.h"
#include "engine/engine_state.h"

struct UIS_Chunk {
  std::string name;
  std::string path;
  std::string entry;
};

namespace {
// Upvalue 1: the compiled file; upvalue 2: the entry name.
int run_chunk(lua_State* L) {
  lua_pushvalue(L, lua_upvalueindex(1));
  lua_call(L, 0, 0);
  const char* entry = lua_tostring(L, lua_upvalueindex(2));
  if (entry && *entry) {
    lua_getglobal(L, entry);
    if (lua_isfunction(L, -1)) {
      lua_call(L, 0, 0);
    } else {
      lua_pop(L, 1);
    }
  }
  return 0;
}
} // namespace

int UIS_CreateChunkFromModule(const char16_t* chunk_name, const char16_t* path, const char* entry, UIS_Chunk** chunk) {
  if (!chunk) return -1;
  *chunk = nullptr;
  if (!path) return -1;
  std::string p = kit::text::utf16_to_utf8(path);
  std::FILE* f = std::fopen(p.c_str(), "rb");
  if (!f) return -1;
  std::fclose(f);
  *chunk = new UIS_Chunk{chunk_name ? kit::text::utf16_to_utf8(chunk_name) : p, p, entry ? entry : ""};
  return 0;
}

int UIS_PrepareChunk(UIS_Runtime* runtime, UIS_Chunk* chunk) {
  if (!runtime || !chunk) return -1;
  lua_State* L = kit::engine::get().L;
  std::string label = "@" + chunk->name;
  std::FILE* f = std::fopen(chunk->path.c_str(), "rb");
  if (!f) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  std::fclose(f);
  if (luaL_loadbuffer(L, text.data(), text.size(), label.c_str()) != 0) {
    std::fprintf(stderr, "%s: %s\n", chunk->path.c_str(), lua_tostring(L, -1));
    std::fflush(stderr);
    lua_pop(L, 1);
    return -1;
  }
  lua_pushstring(L, chunk->entry.c_str());
  lua_pushcclosure(L, run_chunk, 2);
  return 0;
}

void UIS_ReleaseChunk(UIS_Chunk* chunk) { delete chunk; }
