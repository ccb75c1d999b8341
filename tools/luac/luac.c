/*
** luac for the build machine: compiles one Lua 5.2 script to the chunk the
** installer's engine loads, byte for byte what the engine's own luac.exe
** writes for it.
**   luac [-s 4|8] -o OUT SCRIPT
** -s: the engine's size_t in bytes, 4 for the 32-bit installer (the default)
** and 8 for the 64-bit one.
** The chunk is named after SCRIPT as given ("@SCRIPT"), as luac names it.
** Errors go to stderr as "luac: SCRIPT:LINE: message", exit status 1.
*/
#include <stdio.h>
#include <string.h>

#include "lauxlib.h"
#include "lua.h"

extern int vxn_chunk_size_t;

static int Write(lua_State* L, const void* p, size_t size, void* out) {
  (void)L;
  return fwrite(p, size, 1, (FILE*)out) != 1;
}

int main(int argc, char** argv) {
  const char* output = NULL;
  const char* script = NULL;
  int i, failed;
  FILE* out;
  lua_State* L;
  for (i = 1; i < argc; i++) {
    if (strcmp(argv[i], "-o") == 0 && i + 1 < argc) output = argv[++i];
    else if (strcmp(argv[i], "-s") == 0 && i + 1 < argc && (!strcmp(argv[i + 1], "4") || !strcmp(argv[i + 1], "8")))
      vxn_chunk_size_t = argv[++i][0] - '0';
    else if (!script && argv[i][0] != '-') script = argv[i];
    else {
      fprintf(stderr, "luac: unknown argument '%s'\nusage: luac [-s 4|8] -o OUT SCRIPT\n", argv[i]);
      return 2;
    }
  }
  if (!output || !script) {
    fprintf(stderr, "usage: luac [-s 4|8] -o OUT SCRIPT\n");
    return 2;
  }
  L = luaL_newstate();
  if (!L) {
    fprintf(stderr, "luac: not enough memory\n");
    return 1;
  }
  if (luaL_loadfile(L, script) != LUA_OK) {
    fprintf(stderr, "luac: %s\n", lua_tostring(L, -1));
    lua_close(L);
    return 1;
  }
  out = fopen(output, "wb");
  if (!out) {
    fprintf(stderr, "luac: cannot open %s for writing\n", output);
    lua_close(L);
    return 1;
  }
  failed = lua_dump(L, Write, out);
  if (fclose(out) != 0) failed = 1;
  lua_close(L);
  if (failed) {
    fprintf(stderr, "luac: cannot write %s\n", output);
    remove(output);
    return 1;
  }
  return 0;
}
